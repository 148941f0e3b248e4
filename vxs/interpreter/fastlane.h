// The run loop's fast lane: the clauses that have fast forms (clausecache.h), the others on the
// general path, and the line changes between them, run while nothing watches the run clause by
// clause (no stepping, break points or watched variables: t.watched, looked at on every line).  The lane polls the keyboard where the run loop would (every
// BREAK lines) and hands a key to the run loop; the rest of the line-start work (trace, a break
// request, the stop line), the clauses whose fast form gives up, and whatever follows an error
// or a stop are left to the run loop: the lane stops at that line start or clause, in a state
// the general path could have left there, and the run loop goes on from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/clause.h"

namespace vxs {

// The run loop's position, as the lane takes it and leaves it.
struct LanePosition {
    int16_t line = 0;
    size_t offset = 0;       // a clause start of `line`; 0 with freshLine
    bool freshLine = false;  // the line start's work is still to be done
    int linesSincePoll = 0;  // lines started since the last attention poll
    int16_t lastLine = 0;    // the clause run last (running off the end reports it)
    size_t lastClause = 0;
    int32_t key = 0;         // LaneStop::Key: the key
};

enum class LaneStop : uint8_t {
    General,  // the run loop goes on at the position: its line start, or its clause
    Error,    // the clause at the position raised the error that runFastLane returned
    Resume,   // a function returned: the run loop resumes the clause at the position (r.fastResume:
              // its suspended form; else its evaluation at r.jumpOffset)
    Switched, // a general clause called a library's function: the run goes on in its program
              // (r.pc) at the position
    Key,      // the attention poll found a key: the run loop takes it at the position, where the
              // run goes on (the line-start work done)
};

// Whether the lane may run clauses now: fast forms on, nothing watched, and the decoded lines
// current (a DIM in the clause just run may have made them stale: register forms in them may be
// resolved to places that no longer hold their variables).
inline bool laneOpen() {
    return fastFormsOn() && t.watched == 0 && !interp.lines.stale;
}

// Runs from clause `k` of the decoded line `l` at `at` (its line-start work done) until a
// clause or line start needs the run loop.  Returns the error with LaneStop::Error.
[[nodiscard]] LaneStop runFastLane(RunCtx& r, const CachedLine* l, int k, LanePosition& at,
                                   int& err);

// Resumes the numeric form of clause `c` of line `l` after its function returned
// (resumedForm()): the rest of its operations and its statement.  Returns 0 or the error to
// raise at the clause; a false IF asks for its jump in `r`.
[[nodiscard]] int resumeForm(RunCtx& r, const CachedLine& l, const CachedClause& c);

}  // namespace vxs
