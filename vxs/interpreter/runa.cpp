// The general path of a clause (see clause.h): its evaluation, then the statement dispatch,
// where the run-code of each clause's statement goes to its handler, in three groups (general
// statements 0-15, input and output 16-31, flow control and the rest 32-63).
// Handlers whose work belongs to facilities this build does not have yet answer with error 302.
#include <cmath>

#include "vxs/interpreter/clause.h"

#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/interpreter/filestmt.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/run.h"

namespace vxs {

namespace {


int16_t wordAt(const RunCtx& r, size_t at) { return static_cast<int16_t>(readWord(r.code.data() + at)); }

// Continues with the line after line `target`; -2 in sequence.
int continueAfterLine(RunCtx& r, int16_t target) {
    if (target == kTargetNextLine) return 0;
    if (target < 0 || target >= r.pc->linecnt) return kErrNoTarget;
    r.jump = true;
    r.jumpLine = r.pc->lineptr[static_cast<size_t>(target)].next;
    r.jumpOffset = 0;
    return 0;
}

// The target of a false IF or CASE test (and of DO's, with `afterOnly`).
int takeTarget(RunCtx& r, int16_t target, bool afterOnly, size_t after) {
    int16_t line;
    size_t offset;
    if (int err = falseTestTarget(*r.pc, r.line, r.code, target, afterOnly, after, line, offset))
        return err;
    r.jump = true;
    r.jumpLine = line;
    r.jumpOffset = offset;
    return 0;
}

int popTruth(bool& truth) {
    double x;
    if (int err = popNumber(x)) return err;
    truth = isTrue(x);
    return 0;
}

// General statements (run-codes 0-15).
int generalStatement(RunCtx& r, const ClauseView& v) {
    switch (v.code) {
        case StMat: {
            if (v.words != 1) return kErrDamaged;
            return matStatement(r.env, readWord(r.code.data() + v.wordsAt));
        }
        case StPause: return kPaused;
        case StTrace: {
            const int sub = v.words ? readWord(r.code.data() + v.wordsAt) : 4;
            if (sub == 4) t.breakflags |= kTraceOn;
            else if (sub == 5) t.breakflags &= static_cast<uint8_t>(~(kTraceOn | kTraceToPrinter));
            else t.breakflags |= kTraceToPrinter;
            return 0;
        }
        case StRandomize:
            randomize(systemClock());
            return 0;
        case StLibrary: return libraryStatement(r, v);
        default:  // LET, REM, USE, OPTION, DIM, DATA: done by the expression or at compile time
            return 0;
    }
}

// Input and output statements (run-codes 16-31).
int ioStatement(RunCtx& r, const ClauseView& v) {
    switch (v.code) {
        case StPrint: return printStatement(r.env, r.code, v, r.decimalChar);
        case StInput:
        case StLinput:
        case StRinput: return inputStatement(r.env, r.code, v, r.decimalChar);
        case StDisplay: return displayStatement(r.code, v, r.decimalChar);
        case StReserve: return kErrReserved;
        case StForm: return 0;
        default: return fileStatement(r, v);
    }
}

// Flow control and the rest (run-codes 32-63).
int flowStatement(RunCtx& r, const ClauseView& v) {
    // A block skip, IF, CASE and DO carry their target as their first word: code without it is
    // damaged.
    const bool targetWord = v.code == StSkip || v.code == StIf || v.code == StCase ||
                            (v.code == StDo && !v.direct);
    if (targetWord && v.words < 1) return kErrDamaged;
    switch (v.code) {
        case StSkip: {
            const int16_t target = wordAt(r, v.wordsAt);
            if (target == kTargetNextLine) return 0;
            return continueAfterLine(r, target);
        }
        case StIf:
        case StCase: {
            bool truth;
            if (int err = popTruth(truth)) return err;
            if (truth) return 0;
            return takeTarget(r, wordAt(r, v.wordsAt), false, v.next);
        }
        case StStop:
        case StEnd: {
            double value = 0;  // the exit value, when the statement has one
            if (!rpnStack().empty())
                if (int err = popNumber(value)) return err;
            setExitCode(toSubscript(value));
            if (pchain.pendpcb) {  // a pending main program becomes current again
                pchain.curpcb = pchain.pendpcb;
                pchain.pendpcb = nullptr;
            }
            r.jump = true;
            r.jumpLine = kLineEndOfProgram;
            return 0;
        }
        case StExit:     // an error-exit line reached in sequence: nothing to do
        case StLabel:
        case StDef:      // its body is passed over by the block skip after it
        case StSelect:
        case StBreak:
        case StIgnore:
            return 0;
        case StExecute: return executeStatement(r, v);
        case StChain: return chainStatement(r, v);
        case StDo: {
            if (v.direct) return 0;  // the marker of a plain DO
            bool truth;
            if (int err = popTruth(truth)) return err;
            if (truth) return 0;
            const int16_t target = wordAt(r, v.wordsAt);
            // DO ... LOOP within one line: the rest of the line after the LOOP still runs.
            if (target == r.line) return skipPastLoop(r, v.next);
            return takeTarget(r, target, true, v.next);
        }
        default: {
            // Jumps, loops, ON and error recovery; CALL is not built yet.
            const int err = flowControl(r, v);
            return err == kDeclined ? kErrNotAvailable : err;
        }
    }
}

}  // namespace

int falseTestTarget(const pcb& pc, int16_t line, std::span<const uint8_t> code, int16_t target,
                    bool afterOnly, size_t after, int16_t& toLine, size_t& toOffset) {
    if (target == kTargetNextLine) {
        if (line == kImmediateLine) {
            // A typed statement has no next line: the rest of it is passed over.
            toLine = kImmediateLine;
            toOffset = code.size();
        } else {
            toLine = pc.lineptr[static_cast<size_t>(line)].next;
            toOffset = 0;
        }
        return 0;
    }
    if (target <= -3) {  // a byte offset in this line
        if (static_cast<size_t>(-target) >= code.size() || static_cast<size_t>(-target) < after)
            return kErrDamaged;
        toLine = line;
        toOffset = static_cast<size_t>(-target);
        return 0;
    }
    if (target < 0 || target >= pc.linecnt) return kErrNoTarget;
    if (!afterOnly) {
        // A line that begins with a block skip: continue just after that skip.
        const std::span<const uint8_t> at = lineCode(pc, target);
        ClauseView first;
        if (!atLineEnd(at, 0) && decodeClause(at, 0, first) == 0 && first.direct &&
            first.code == StSkip) {
            toLine = target;
            toOffset = first.next;
            return 0;
        }
    }
    toLine = pc.lineptr[static_cast<size_t>(target)].next;
    toOffset = 0;
    return 0;
}

int dispatchStatement(RunCtx& r, const ClauseView& v) {
    if (v.code < 16) return generalStatement(r, v);
    if (v.code < 32) return ioStatement(r, v);
    return flowStatement(r, v);
}

int runGeneralClause(RunCtx& r, const ClauseView& v, size_t clauseStart, size_t resumeAt) {
    size_t pos = resumeAt;
    int err = 0;
    if (!resumeAt) {
        pos = clauseStart + 1;
        for (int i = 0; !err && i < v.count; ++i, pos += 2)
            err = pushWord(r.env, readWord(r.code.data() + pos));
    }
    if (!err) err = evaluate(r.env, r.code, pos);
    if (err == kCallPending) return beginCall(r, clauseStart);  // its body runs, then the clause resumes
    if (!err) err = dispatchStatement(r, v);
    return err;
}

void enterProgram(RunCtx& r, pcb* p) {
    r.pc = p;
    r.decimalChar = p->progoptions[3] ? ',' : '.';
    r.env.pc = p;
    r.env.base = p->progoptions[1] ? 1 : 0;
    r.env.alternate = p->progoptions[2] != 0;
    pchain.curpcb = p;
}

}  // namespace vxs
