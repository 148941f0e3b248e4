// Library programs: blocks loaded in library mode beside the main program, each program's link
// table of library functions, the LIBRARY statement, and the rules that release a library (when
// its last call returns, at the end of a run, never for a resident one).
#pragma once

#include <string>

#include "vxs/compiler/vxexe.h"
#include "vxs/interpreter/clause.h"

namespace vxs {


// LIBRARY [RELEASE,] [name] [: FNa, FNb$ ...] (run-code 13): its operands are on the RPN stack.
[[nodiscard]] int libraryStatement(RunCtx& r, const ClauseView& v);

// Makes a link callable: the library's DEF line is looked up when not yet known (2272), and the
// library's variables are set up when this run has not used it yet.  0 or an error.
[[nodiscard]] int prepareLink(LibLink& link);

// The loaded library whose file is `path`, null when none.
pcb* findLibrary(const std::string& path);
// Reads the compiled program at `path` in library mode into a new block of the chain with
// library mode `mode` (kLibLoaded or kLibResident).  0 or an error; nothing stays loaded then.
[[nodiscard]] int loadLibrary(const std::string& path, uint8_t mode, pcb*& out);

// Cuts every link to `lib` and frees it.
void releaseLibrary(pcb* lib);
// The end of a run of the main program: every program's links are removed and the libraries
// that are not resident (or are marked for release) are released.
void endRunLibraries();

// How many links of all programs lead to `lib` (for `lib` the main program: its own links).
int linkCount(const pcb* lib);

}  // namespace vxs
