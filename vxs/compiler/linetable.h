// The line table of a program (`pcb::lineptr`, entries described in pcb.h): finding, storing,
// replacing and deleting lines, the code and stored source of each line, and the lines in
// number order.  A stored line's code and source are appended to the code area; a replaced or
// deleted line's old bytes stay there until the program is saved and loaded again.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "vxs/compiler/pcb.h"

namespace vxs {

// Index of the line with this number, -1 when none.
int findLine(const pcb& pc, uint32_t number);

// Stores a line in number order, or replaces the code and source of the line of that number.
// `code` is the line's code ending with the line end 0x7F (1..255 bytes); `source` its stored
// source text (at most 65535 bytes, may be empty); without `executable` the run loop skips the
// line.  Marks the program unresolved.  Returns 0 or kErrNoMemory (9000) when the code area or
// the table (at most 32000 lines) cannot grow; the program is then unchanged.
[[nodiscard]] int storeLine(pcb& pc, uint32_t number, std::span<const uint8_t> code,
                            std::string_view source, bool executable);

// Removes the line with this number; the last entry of the table moves into its place, so
// line indexes other than the last one's stay valid.  Marks the program unresolved.  Returns
// false when there is no such line.
bool deleteLine(pcb& pc, uint32_t number);

// A line's code (ending with 0x7F) by line index; empty for an index out of range or an entry
// whose offsets do not fit its area.
std::span<const uint8_t> lineCode(const pcb& pc, int index);
// A line's stored source by line index; empty when held without source, for an index out of
// range or an entry whose offsets do not fit its area.
std::string_view lineSource(const pcb& pc, int index);

// Indexes of the lines in line-number order, following the chain from firstline (a damaged
// chain that loops is cut off after linecnt + 1 entries).
std::vector<int> linesInOrder(const pcb& pc);

}  // namespace vxs
