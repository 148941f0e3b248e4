// The line compiler: splits a typed line into its line number, label and clauses, recognises
// each clause's statement, parses it against the statement's syntax program (a table-driven,
// backtracking walker) or its own routine, and produces the line's code and stored source.
// Storing the result in the program is the line table's job (linetable.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/compiler/compile.h"
#include "vxs/compiler/pcb.h"

namespace vxs {

struct CompiledLine {
    uint32_t number = 0;        // 0 for a statement typed without a line number
    std::vector<uint8_t> code;  // the clauses and the line end 0x7F, at most 255 bytes
    std::string source;         // the stored source text (tokens of codes.h)
    bool executable = true;     // false when the line has no executable clause
    bool empty = false;         // a line number alone: the line is to be deleted
    size_t errorPos = 0;        // on failure: where in the typed text
};

// Compiles one typed line.  With `numbered`, the text must begin with a line number 1..99999;
// otherwise it is a statement to run at once (number 0).  New dictionary entries stay in
// `pending` for the caller to commit when it keeps the line.  Returns 0 or a negative compile
// error (the dictionary and the program are unchanged).
[[nodiscard]] int compileLine(pcb& pc, std::string_view text, PendingDict& pending,
                              const CompileOptions& options, CompiledLine& out,
                              bool numbered = true);

// Compiles a numbered line and stores it in the program (replacing a line of that number), or
// deletes the line when only its number was typed.  Returns 0 or a negative compile error, with
// the failing position in *errorPos.
[[nodiscard]] int enterLine(pcb& pc, std::string_view text, const CompileOptions& options,
                            size_t* errorPos = nullptr);

}  // namespace vxs
