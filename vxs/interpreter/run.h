// The run loop: its entry, the preparation of a run, watched variables and the run's controls
// (their state is `t`, part of the interpreter's state in state.h).  What the statement
// handlers share with it (the run position, the general path of a clause) is in clause.h.
//
// States of a run: entered with action code 2 (run from the current line), 3 (resume at the
// saved position) or 4 (end the program); it leaves by setting action code 0 with the run status
// telling why: 14 ended, 4 paused or stopped with an error shown, 2 attention, 7 break, 8 damaged
// code.  runLoop makes every transition; the position is saved in the program control block.
// While nothing watches the run clause by clause, runLoop lets the fast lane (fastlane.h) carry
// the run between the points where its own work is due; the lane returns to it and never calls
// it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <span>

#include "vxs/compiler/pcb.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/interpreter/clause.h"
#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/state.h"

namespace vxs {

// Prepares the current program for a run from its start: the stacks emptied, then the
// program's variables prepared (prepareVariables).
void prepareRun(pcb& pc);

// The value of a watched variable as DISPLAY shows it.
std::string watchValue(const pcb& pc, int index);
// Compares the watched variables with their last values: DISPLAY shows changes, BREAK requests
// a stop at the next line.
void checkWatches(const pcb& pc);

// The run's controls as a fresh session has them: no open frames, no stepping, break request,
// trace or watched variable, no typed statement, the stacks empty.  The program chain (pcb.h),
// the programs' own break points and the configured BREAK line count are kept.  (Tests and
// fuzz targets start each case here.)
void resetRunControls();
// The whole interpreter as at start-up, the loaded programs kept (Interpreter::reset).  The one
// reset that tests and fuzz targets use between cases.
inline void resetInterpreter() { interp.reset(); }
// Recomputes t.watched after stepping, a break point or a watched variable changed.
void noteWatchChange();
// Stores the code of a statement typed without a line number, as the next run's first line.
void setImmediateStatement(std::vector<uint8_t> code);

// The run loop (action codes 2, 3 and 4).  It sets the next action code before it returns.
void runLoop();

}  // namespace vxs
