// The executable form of a program: decoding compiled clauses, the resolution step that turns
// line references into line indexes and fills in the targets of block statements (IF/ELSE/END
// IF, FOR/NEXT, DO/LOOP, DEF/FNEND, SELECT/CASE) before a run and after every edit, load or
// renumber, and a disassembler for tests and the debugger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vxs/compiler/pcb.h"
#include "vxs/errors/errors.h"

namespace vxs {

// One clause of a line's code, as positions in that code.
struct ClauseView {
    size_t start = 0;     // the count byte
    int count = 0;        // leading operand words
    size_t itemsAt = 0;   // the first operator item (or the statement)
    size_t stmtAt = 0;    // the statement byte
    uint8_t code = 0;     // the statement code
    bool direct = false;  // the direct form
    size_t wordsAt = 0;   // the statement's words
    int words = 0;
    size_t partsAt = 0;  // the first part (non-direct forms)
    size_t endAt = 0;    // the clause end byte (non-direct forms)
    size_t next = 0;     // the next clause or the line end
};

// Damaged-code errors.

// Decodes the clause at `pos`.  Returns 0, or 9301 when the bytes are not a well-formed clause
// (nothing is read outside `code`).
[[nodiscard]] int decodeClause(std::span<const uint8_t> code, size_t pos, ClauseView& out);
// Whether `pos` is the line end (a byte of 0x40 or above where a clause would start).
inline bool atLineEnd(std::span<const uint8_t> code, size_t pos) {
    return pos >= code.size() || code[pos] >= 0x40;
}

// One item at `pos`: its header, where its words start and how many.  Returns 0, or 9301.
[[nodiscard]] int decodeItem(std::span<const uint8_t> code, size_t pos, uint8_t& header,
                             size_t& wordsAt, int& words, size_t& next);

// Resolves every line reference and block target of the program (pc.resolved becomes true).
// References to lines that do not exist, and blocks without their partner, stay -1.  Returns
// the number of such unresolved targets.
int resolveProgram(pcb& pc);
// The same, and every resolved line-number reference takes the new number of its line
// (`renumber[index]`); the caller then renumbers the line table itself.
int resolveAndRenumber(pcb& pc, const std::vector<uint32_t>* renumber);

// Resolves the references and blocks of a statement typed without a line number against the
// program's lines; positions inside the statement name line index `self`.  Returns the number
// of unresolved targets.
int resolveTypedLine(pcb& pc, std::vector<uint8_t>& code, int16_t self);

// The line of each function's DEF (the first one in line order), by dictionary slot (index -
// 256); -1 for slots without one.  A DEF is the first clause of its line.
std::vector<int16_t> functionDefLines(const pcb& pc);
// Sets the link field of every function entry: the line of its DEF, unless the function is
// linked to a library that is still loaded; kFnUnlinked when neither.  Part of the resolution.
void linkFunctions(pcb& pc);

// The clause number (from 1) of the clause that starts at `offset` of a line's code.
int clauseNumberAt(std::span<const uint8_t> code, size_t offset);

// A readable form of a line's code, one item per line ("offset: what").
std::string disassemble(std::span<const uint8_t> code);

}  // namespace vxs
