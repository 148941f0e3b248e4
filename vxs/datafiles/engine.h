// The file-level operations of the record engine that OPEN and CLOSE use (inside the data-file
// layer only): opening a physical file with its creation and share class, reading or writing
// its header, and closing it again.
#pragma once

#include <string>
#include <string_view>

#include "vxs/datafiles/fcb.h"

namespace vxs {

struct EngineOpen {
    int mode = kModeInput;
    int create = kCreateNone;
    int shareClass = 0;
    int recl = 0;  // RECL= (0: not given)
    bool reserve = false;
    bool versionGiven = false;
    int version = 0;
    bool linked = false;  // LINKED: a new file gets the deleted-record chain field
};
// Opens the fcb's file (f.path, f.type, f.device set): disk files through the sharing layer,
// printers into their spool file, the console and the debugger channel without a handle.
// INTERNAL files get their header read, or written when the file is new or empty.
[[nodiscard]] int engineOpenFcb(Fcb& f, const EngineOpen& o);
// Closes the fcb's file: pending text is written, an INTERNAL file open for output gets its
// record count recounted from its size and its header rewritten; `drop` empties the file first
// (to its header).  Whatever fails, the handle is closed.
[[nodiscard]] int engineCloseFcb(Fcb& f, bool drop);
// Where a new DISPLAY ufcb starts: output after the last byte unless the file was just made or
// replaced; input at the start.
void enginePositionDisplay(Ufcb& u, int create);

// The console as a file: lines written to it and read from it go through these, which the
// interpreter installs (the data-file layer knows no terminal).
using ConsoleLineWriter = void (*)(std::string_view line);
using ConsoleLineReader = int (*)(std::string& line, int maxLength);
void setConsoleHooks(ConsoleLineWriter writer, ConsoleLineReader reader);

// The spool file that printer output goes to until printing has a spooler: in the print
// directory (else the current one), named after the printer ("PRN:/10" -> "PRN_10.prt").
std::string printerSpoolPath(std::string_view printer);

}  // namespace vxs
