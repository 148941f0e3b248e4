// Interpreter state shared by the run loop and its helpers: the chain of loaded program control
// blocks with the current and the pending one, and the run loop's entry.
#pragma once

#include "vxs/compiler/pcb.h"

namespace vxs {

struct RunState {
    pcb* curpcb = nullptr;   // the program being edited or run
    pcb* pcbhead = nullptr;  // the first program loaded in the session; the chain runs via next
    pcb* pendpcb = nullptr;  // to become current on the next run (resume or end)
};
extern RunState t;

// The run loop: entered with action code 2 or 3 to run the current program, or 4 to end it.  It
// sets the next action code before it returns.
void runLoop();

}  // namespace vxs
