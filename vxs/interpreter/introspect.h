// What the STATUS command shows of the interpreter: the use of its four stacks with their
// high-water marks, the call chain of a stopped program, the memory a program's dictionary
// holds, and the DIM bookkeeping of its variables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vxs/compiler/pcb.h"

namespace vxs {

struct StackUse {
    const char* name;  // "Work Stack", "Flow Stack", "RPN Stack", "FOR Stack"
    uint64_t max = 0, inUse = 0, maxUsed = 0;  // bytes (work stack) or entries
};
// The four stacks.  Free space of the work and RPN stacks is kept filled with 0xCC; their mark
// is the deepest position whose byte differs.  The flow and FOR stacks count their deepest use.
std::vector<StackUse> stackUse();
// Starts the marks again from what is in use now.
void resetStackMarks();
// Fills the free space of the work and RPN stacks (after they are allocated).
void fillFreeStackSpace();

// One open GOSUB or function frame of the stopped program, innermost first.
struct CallerLine {
    uint32_t line = 0;
    int clause = 0;
    std::string program;
    std::string function;  // empty for a GOSUB
};
std::vector<CallerLine> callChain();

// Bytes a program's dictionary holds: entries, names and value storage.
uint64_t dictionaryBytes(const pcb& pc);

// Variables of a program as DIM sees them: used without a DIM, named in a DIM but used nowhere
// else, and named in more than one DIM.
struct DimsReport {
    std::vector<std::string> undimmed, unreferenced, duplicates;
};
DimsReport dimsReport(const pcb& pc);

}  // namespace vxs
