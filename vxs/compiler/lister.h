// The program lister: restores the typed form of a line from its stored source text.
#pragma once

#include <string>
#include <string_view>

#include "vxs/compiler/pcb.h"

namespace vxs {

// The typed text of a stored source (the tokens of codes.h turned back into text).
std::string restoreSource(std::string_view stored);
// A line as LIST shows it: its five-digit number, a blank and the text as typed.  Empty when
// the program is held without source.
std::string listLine(const pcb& pc, int index);

}  // namespace vxs
