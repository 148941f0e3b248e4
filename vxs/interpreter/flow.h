// Flow control of a run: the flow stack (GOSUB frames), the FOR stack, the handlers of the
// jump, loop, ON and error-recovery statements, and the condition search that turns an error
// into a trap line, IGNORE or a report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/clause.h"

namespace vxs {

// ---- the flow stack and the FOR stack (FlowStacks, state.h) ----
// The run loop's fast lane works on them directly; everything else goes through the handlers
// below.
// What identifies the code of line `line` of `pc` while it stays as it is: its code offset, or
// for a statement typed without a line number, its serial number.
inline uint32_t lineIdentity(const pcb& pc, int16_t line) {
    if (line == kImmediateLine) return t.immediateSerial;
    return line >= 0 && line < pc.linecnt ? pc.lineptr[static_cast<size_t>(line)].code : 0;
}
inline FlowStacks& flowStacks() { return interp.stacks; }
// A FOR limit is widened by the tolerance, so that a loop reaches a limit that its steps miss
// by a rounding.
inline constexpr double kLimitTolerance = 5e-07;
// The FOR entry that a FOR of `var` takes: the loop of `var` in this frame, else a new one at
// the end (s.fors.size(); the FOR stack is full when that is s.forLimit).
inline size_t loopEntry(const FlowStacks& s, const Cell* var) {
    size_t i = s.forBase;
    while (i < s.fors.size() && s.fors[i].var != var) ++i;
    return i;
}
// Opens the loop of `var` (its start assigned) in entry i: whether its body runs, the value not
// being beyond the limit.
inline bool openLoop(FlowStacks& s, size_t i, Cell* var, double limit, double step) {
    const bool up = step >= 0;
    const double widened = up ? limit + kLimitTolerance : limit - kLimitTolerance;
    if (i == s.fors.size()) {
        s.fors.push_back({});
        if (s.fors.size() > s.forHigh) s.forHigh = s.fors.size();
    }
    s.fors[i] = {var, step, widened, up};
    const double value = cellNumber(var);
    return !(up ? value > widened : value < widened);  // a NaN start runs the body
}
// The FOR entry of the innermost loop of `var` in this frame; null when there is none.
inline ForEntry* innermostLoop(FlowStacks& s, const Cell* var) {
    size_t i = s.fors.size();
    while (i > s.forBase && s.fors[i - 1].var != var) --i;
    return i == s.forBase ? nullptr : &s.fors[i - 1];
}


// Stack sizes (FLOWSTACK, FORSTACK); changeable for a session.
void setFlowLimits(size_t flowEntries, size_t forEntries);
// When on, an IOERR exit of an I/O statement no longer catches SOFLOW, CONV and OFLOW.
void setIoerrExemption(bool on);
// The settings listener of the run (config.h): BREAK's line count, FLOWSTACK, FORSTACK and
// IOERR_EXEMPT from the configuration.
void applyRunSettings();
size_t flowStackUse();
size_t forStackUse();

// Empties both stacks and the call depth (start and end of a run).
void resetFlow();

// Sets the program's ON table to the state of a fresh run.
void resetConditions(pcb& pc);

// Runs the flow statement of clause `v` (run-codes 32-63 that the loop does not handle itself).
// Returns 0, an error number, or kDeclined when the code is not a flow statement.
[[nodiscard]] int flowControl(RunCtx& r, const ClauseView& v);

// NEXT of the control variable `var` (clause `v`): the innermost loop of `var` in this frame
// steps on, and continues at the loop's start unless it has passed its limit.  Returns 0, 220
// (no such loop) or 9301 (not a numeric variable).
[[nodiscard]] int nextLoop(RunCtx& r, Cell* var, const ClauseView& v);

// A false DO test whose LOOP is in the same line: continues after that LOOP clause, found
// from clause offset `from` on (nested DO/LOOP pairs passed over).
[[nodiscard]] int skipPastLoop(RunCtx& r, size_t from);

// A user-function call that the evaluator handed over (callRequest()) from the clause at
// `clauseStart`: binds the formals, saves the caller's frame and jumps to the body.
[[nodiscard]] int beginCall(RunCtx& r, size_t clauseStart);
// The function return: restores the caller, pushes the result and asks the run loop to resume
// the caller's evaluation (r.resume).  9301 when the calling line was replaced (edited) while
// the call was open: the frame is gone, and nothing is resumed.  A frame of a numeric form's call leaves the result with
// the suspended form instead (resumedForm()), and asks for r.fastResume as well.
[[nodiscard]] int returnFromCall(RunCtx& r);
// The return from the innermost function frame when a numeric form's call made it (a fast
// frame): as returnFromCall, and the form it resumes is returned (resumedForm()).  Null, with
// nothing done and `err` 0, when the innermost frame is not a fast frame; null with `err` 9301
// when the frame is gone but its calling line was replaced while it was open.
SuspendedForm* returnFromFastCall(RunCtx& r, int& err);

// A call of function `fn` of the running program from a numeric form (the fast lane): `def` is
// the function's DEF clause (form Def) in its line `defLine`, the `nargs` arguments are
// the values `args`.  `form` names the form (line, clause, call) and holds its values below the
// arguments, kept for its resumption.  The general path would hold `rpnBelow` RPN entries and
// `workBelow` work-stack bytes below the arguments at this point; the called body finds the
// stacks as it would.  Binds the formals, pushes the frame and asks for the jump to the body
// (r.jump).  Returns 0, or kDeclined when the general path must make the call: nothing has
// changed then.
[[nodiscard]] int beginFastCall(RunCtx& r, int fn, int16_t defLine, const CachedClause& def,
                                const CachedLine& defCode, const double* args, int nargs,
                                const FormAtCall& form, size_t rpnBelow, size_t workBelow);
// The form that the last return from a fast frame resumes, with the function's value; null
// when none waits.  dropResumedForm() once it has been resumed (or given up).
SuspendedForm* resumedForm();
void dropResumedForm();

// What a key found by the run loop's poll (other than attention) does: continue at `line` with
// error `error` recorded at the interrupted line, raise `error` (line -1), or nothing (error 0).
// The help key takes the HELP entry of the ON table (error 5), else shows the current help
// topic; function keys take their entry of the function-key table, IGNORE passes them over, and
// one without a line raises error 1, which ON EVENT (or ON ERROR) may take.
struct KeyAction {
    int16_t line = -1;
    int error = 0;
};
KeyAction keyAtPoll(const pcb& pc, int32_t key);

// True once a SYSTEM statement asked for a shut-down after the program's end.
bool shutdownRequested();
void clearShutdownRequest();

// The condition search for error `err` raised in the clause `v` of `code` (line `line`).
// Returns a line index to continue at, -3 (IGNORE: continue after the failed statement) or
// -2 (not trapped).  `err` may be replaced (230 for a bad EXIT reference).
[[nodiscard]] int conditionSearch(const pcb& pc, int& err, std::span<const uint8_t> code,
                                  const ClauseView& v);

}  // namespace vxs
