// The general path of a clause, and what the statement handlers share with whoever runs them:
// the run position (RunCtx), the statement dispatch and the general evaluation of a clause.
// The run loop (run.h) and its fast lane (fastlane.h) both run clauses through this header;
// the lane never reaches the run loop: it stops and hands the position back (LaneStop).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vxs/compiler/pcb.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/interpreter/primop.h"

namespace vxs {

// Break and trace flags.
inline constexpr uint8_t kBreakRequested = 0x80;
inline constexpr uint8_t kTraceOn = 0x40;
inline constexpr uint8_t kTraceToPrinter = 0x20;
// Step mode bits.
inline constexpr uint16_t kStepInto = 0x01, kStepOver = 0x02, kStepArmed = 0x04;
inline constexpr uint16_t kStepLine = 0x08;
// The line index of a statement typed without a line number.
inline constexpr int16_t kImmediateLine = -5;
// Where a run goes that leaves the program's lines: past the last line without END (an error),
// and to end-of-program processing (END, STOP, SYSTEM, CHAIN).
inline constexpr int16_t kLinePastEnd = -1;
inline constexpr int16_t kLineEndOfProgram = -2;

// What a statement handler sees of the run, and how it changes the run's course.
struct RunCtx {
    pcb* pc = nullptr;
    EvalEnv env;
    char decimalChar = '.';
    int16_t line = 0;                  // the current line index (kImmediateLine for a typed one)
    std::span<const uint8_t> code;     // its code
    // Set by a handler that transfers control: continue at (line, offset); kLinePastEnd runs off
    // the end of the program, kLineEndOfProgram asks for end-of-program processing.
    bool jump = false;
    int16_t jumpLine = 0;
    size_t jumpOffset = 0;
    // With a jump: a function returned; the clause at resumeClause of jumpLine goes on
    // evaluating at jumpOffset with the result on the RPN stack.
    bool resume = false;
    size_t resumeClause = 0;
    // With resume: the clause is a numeric form suspended at its call (resumedForm()).
    bool fastResume = false;
};

// CHAIN: keeps the request (chain.h) and ends the program.
[[nodiscard]] int chainStatement(RunCtx& r, const ClauseView& v);
// EXECUTE: hands its command to command mode.
[[nodiscard]] int executeStatement(RunCtx& r, const ClauseView& v);

// Runs the statement of the clause `v` (its operands on the RPN stack).  Returns 0, an error
// number, or kPaused (PAUSE: the run stops after the clause).
[[nodiscard]] int dispatchStatement(RunCtx& r, const ClauseView& v);
// Where the run goes on after a false IF or CASE test (and DO's, with `afterOnly`) in line `line`
// (`code`): `target` -2 is the next line; -k byte k of this line, which lies ahead of the test,
// at `after` (the clause after it) or beyond; a line index, the line after it, or just after
// the block skip that begins it.  Returns 0 with the position, 9301 or 1110.
[[nodiscard]] int falseTestTarget(const pcb& pc, int16_t line, std::span<const uint8_t> code,
                                  int16_t target, bool afterOnly, size_t after, int16_t& toLine,
                                  size_t& toOffset);

// Runs the clause `v` of r.code (starting at `clauseStart`) on the general path: its count words
// pushed, its items evaluated and its statement dispatched; a user-function call begins the
// function's body instead (the clause resumes when it returns).  With `resumeAt` the clause goes
// on evaluating there, its operands and the function's value on the RPN stack.  Returns 0 or
// the clause's error (negative: kPaused, kExecuteStop).
[[nodiscard]] int runGeneralClause(RunCtx& r, const ClauseView& v, size_t clauseStart,
                                   size_t resumeAt = 0);

// Makes `p` the running program: the handlers' view of it, its evaluation settings, and
// pchain.curpcb (a library function runs with its library current).
void enterProgram(RunCtx& r, pcb* p);

// Variables of a program back to 0 and empty, arrays undimensioned, the last error cleared, the
// ON table as at the start of a run.  For the main program and each library it calls.
void prepareVariables(pcb& pc);

}  // namespace vxs
