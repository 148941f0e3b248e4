// The run loop (see run.h): line by line and clause by clause through the current program,
// with the per-line work (stop line, attention poll, trace), the per-clause work (stack check,
// stepping, break points, evaluation, dispatch) and the one error path.
#include "vxs/interpreter/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/screen/statline.h"
#include "vxs/interpreter/endrun.h"
#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"
#include "vxs/debugger/debug.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/chain.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/fastlane.h"
#include "vxs/interpreter/filestmt.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/strsub.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

bool isDamagedCode(int err) {
    return err == kErrDictionary || err == kErrDamaged || err == kErrDamagedCall ||
           err == kErrBadCondition;
}

uint32_t lineNumberOf(const pcb& pc, int16_t line) {
    return line >= 0 && line < pc.linecnt ? pc.lineptr[static_cast<size_t>(line)].lineno() : 0;
}


// Where the run stops, and with which status; `offset` is where it resumes.
struct Stop {
    int16_t line;
    size_t offset;
};

void saveAndLeave(pcb& pc, const Stop& at, bool immediate) {
    t.stoppedInImmediate = immediate;
    if (immediate) {
        pc.curline = 0;
        pc.savedclauseoffset = 0;
    } else {
        pc.curline = at.line >= 0 && at.line < pc.linecnt ? at.line : 0;
        pc.savedclauseoffset = static_cast<int16_t>(at.offset);
        pc.nextline = at.line >= 0 && at.line < pc.linecnt
                          ? pc.lineptr[static_cast<size_t>(at.line)].next
                          : kEndOfChain;
    }
    resetStacks();
    setActionCode(kActCommand);
}

// The error path: records and reports an error raised in the clause at (line, offset).
void reportError(pcb& pc, int err, int16_t line, std::span<const uint8_t> code, size_t offset) {
    const bool numbered = line >= 0;
    if (numbered) {
        pc.lasterror = err;
        pc.errorline = line;
        pc.erroroffset = static_cast<int16_t>(offset);
    }
    if (isDamagedCode(err)) {
        setRunStatusShown(RUNSTAT_SYSERR);
    } else {
        setRunStatus(RUNSTAT_PAUSE);
        setRunStatusShown(RUNSTAT_ERROR);
    }
    flushPartialLine(consoleLine());
    if (numbered)
        statusShowError(err, static_cast<int>(lineNumberOf(pc, line)), clauseNumberAt(code, offset));
    else
        statusShowError(err, 0, 0);  // a statement typed without a line number: position 0
}

// A stop at a break point or a step says where the program stands.
void showBreakAt(uint32_t lineNumber, int clause) {
    char text[40];
    snprintf(text, sizeof text, "Break at %05u:%02d", lineNumber, clause);
    statusShowMessage(text);
}

// The key rules at a poll of the keyboard, at (line, offset) of the running program.
enum class Poll { GoOn, Stopped, Jumped };
Poll keyRules(int32_t key, pcb& pc, int16_t& line, size_t& offset, bool immediate,
              std::span<const uint8_t> code) {
    if (!key) return Poll::GoOn;
    if (key == kKeyAttention) {
        setRunStatusShown(RUNSTAT_ATTN);
        saveAndLeave(pc, {line, offset}, immediate);
        return Poll::Stopped;
    }
    const KeyAction a = keyAtPoll(pc, key);
    if (!a.error) return Poll::GoOn;
    if (a.line < 0 || immediate) {  // raised and not trapped (a typed statement traps nothing)
        reportError(pc, a.error, immediate ? -1 : line, code, offset);
        saveAndLeave(pc, {line, offset}, immediate);
        return Poll::Stopped;
    }
    pc.lasterror = a.error;
    pc.errorline = line;
    pc.erroroffset = static_cast<int16_t>(offset);
    line = a.line;
    offset = 0;
    return Poll::Jumped;
}
Poll pollKeys(pcb& pc, int16_t& line, size_t& offset, bool immediate, std::span<const uint8_t> code) {
    return keyRules(pollKeyboard(), pc, line, offset, immediate, code);
}

// A break at (line, offset) that the run stopped at last is passed over once on resuming.
bool passesBreak(int16_t line, size_t offset) {
    return t.passBreakLine == line && t.passBreakOffset == offset;
}
void holdBreak(int16_t line, size_t offset) {
    t.passBreakLine = line;
    t.passBreakOffset = offset;
}

}  // namespace

void prepareRun(pcb& pc) {
    resetFlow();  // open calls give their slots back first, so that every entry is cleared
    forgetForms();
    prepareVariables(pc);
    interp.files.data = DataPointer{};  // READ starts again at the program's first DATA
    t.breakflags &= static_cast<uint8_t>(~kBreakRequested);
}

void prepareVariables(pcb& pc) {
    for (int i = 0; i < pc.dictcnt; ++i) {
        de* e = pc.dictEntryPointer[static_cast<size_t>(i)].get();
        if (!e || e->isLiteral()) continue;
        if (e->kind & DE_STORAGE) {
            std::free(e->storage);
            e->storage = nullptr;
            e->kind &= static_cast<uint8_t>(~DE_STORAGE);
        }
        for (uint16_t& d : e->dims) d = 0;
        memset(e->value, 0, sizeof e->value);
        e->slen = 0;
    }
    pc.lasterror = 0;
    pc.errorline = -1;
    pc.erroroffset = 0;
    resetConditions(pc);
}

std::string watchValue(const pcb& pc, int index) {
    const de* e = dictEntry(pc, index);
    if (!e) return {};
    if (e->isString()) return std::string(cellString(e));
    return displayNumber(cellNumber(e), 25, pc.progoptions[3] ? ',' : '.');
}

void checkWatches(const pcb& pc) {
    for (Watch& w : t.watches) {
        std::string now = watchValue(pc, w.index);
        if (now == w.last) continue;
        w.last = std::move(now);
        if (w.display) {
            flushPartialLine(consoleLine());
            consoleOutput(dictName(pc, w.index) + " = " + w.last);
        } else {
            t.breakflags |= kBreakRequested;
            debugReportVariableBreak(dictName(pc, w.index));
        }
    }
}

void noteWatchChange() {
    bool breakPoints = false;
    for (const pcb* p = pchain.pcbhead; p && !breakPoints; p = p->next)
        breakPoints = !p->breakpoints.empty();
    t.watched = ((t.stepmode & (kStepInto | kStepOver)) != 0) + breakPoints + !t.watches.empty();
}

void resetRunControls() {
    resetFlow();  // function frames give their slots back first
    const uint32_t serial = t.immediateSerial;  // returns into typed statements stay refused
    const int breakLines = t.breakLines;         // configuration (BREAK)
    t = RunState{};
    t.immediateSerial = serial + 1;
    t.breakLines = breakLines;
    resetStacks();
    noteWatchChange();
}

void setImmediateStatement(std::vector<uint8_t> code) {
    t.immediate = std::move(code);
    ++t.immediateSerial;
    t.runImmediate = true;
}

void runLoop() {
    pcb* pc = pchain.curpcb;
    if (!pc) {
        setActionCode(kActCommand);
        return;
    }
    if (!pc->resolved) resolveProgram(*pc);
    if (t.runImmediate) resolveTypedLine(*pc, t.immediate, kImmediateLine);
    // Lines are decoded afresh in every run (an edit may lie before it); nothing holds a decoded
    // line between runs, so this is where the decoded lines are freed.
    freeClauseCache();
    noteWatchChange();

    RunCtx r;
    enterProgram(r, pc);

    const int32_t action = actionCode();
    const bool immediate = t.runImmediate;
    t.runImmediate = false;
    t.typedRun = immediate;
    int16_t line;
    size_t offset = 0;
    if (action == kActEndProgram) {
        line = kLineEndOfProgram;
    } else if (immediate) {
        line = kImmediateLine;
    } else {
        line = pc->curline;
        if (action != kActRun) offset = static_cast<size_t>(pc->savedclauseoffset);
        if (pc->firstline == kNoLines) {
            line = kLineEndOfProgram;  // nothing to run
        } else if (line < 0 || line >= pc->linecnt) {
            // The saved line is an index into the line table (an unsigned one in the program
            // control block's terms): a negative one is past the table too.
            vxassertion("cur_line < pchain.curpcb -> linecnt", __FILE__, __LINE__);
        }
    }

    // The status line says that a program runs (not for a statement typed at the prompt).
    if (!immediate && line != kLineEndOfProgram) setRunStatusShown(RUNSTAT_RUN);

    int16_t lastLine = line;
    size_t lastClause = 0;
    int linesSincePoll = t.breakLines;  // poll at the first line of the run
    bool freshLine = offset == 0;
    // A run resumed at the start of the line it stopped at does not stop there again for a
    // break request: that stop has been made, and a step from it must get past it.
    int16_t resumedLine = action == kActResume && !immediate && offset == 0 ? line : int16_t{-1};
    bool resuming = false;      // the next clause goes on after a function call (resumePos)
    bool fastResuming = false;  // ... and is a numeric form suspended at its call
    size_t resumePos = 0;
    bool laneDeclined = false;  // the fast lane stopped at this clause: the general path runs it
    int laneError = 0;          // ... or it raised this error there
    int32_t laneKey = 0;        // ... or its poll found this key here
    ClauseView decodedNow;      // a clause that the decoded line does not hold
    for (;;) {
        // ---- line start ----
        if (line == kLinePastEnd || line == kLineEndOfProgram) {
            flushPartialLine(consoleLine());
            if (line == kLinePastEnd) {  // ran past the last line without END
                const std::span<const uint8_t> code = lineCode(*pc, lastLine);
                reportError(*pc, kErrPastEnd, lastLine, code, lastClause);
                saveAndLeave(*pc, {lastLine, lastClause}, false);
                return;
            }
            if (int err = endOfRun(kEndProgram)) statusShowError(err, 0, 0);
            resetFlow();  // open calls return to their callers: the main program is current
            pc = pchain.curpcb;
            if (pc->libmode != kLibNone) {  // a library current without a call to return from
                statusShowError(kErrLibraryCurrent, 0, 0);
                while (pchain.curpcb && pchain.curpcb->libmode != kLibNone)
                    pchain.curpcb = pchain.curpcb->next;
                if (!pchain.curpcb) pchain.curpcb = pchain.pcbhead;
                pc = pchain.curpcb;
            }
            endRunLibraries();
            setRunStatusShown(RUNSTAT_READY);
            pc->curline = 0;
            pc->savedclauseoffset = 0;
            resetStacks();
            if (shutdownRequested()) {  // SYSTEM: shut down with the exit code now set
                clearShutdownRequest();
                setActionCode(kActShutdown);
                return;
            }
            setActionCode(kActCommand);
            return;
        }
        const bool isImmediate = line == kImmediateLine;
        r.line = line;
        releaseForgottenLines();  // no decoded line is held here
        const CachedLine* decodedLine = isImmediate ? nullptr : cachedLine(*pc, line);
        r.code = decodedLine  ? decodedLine->code
                 : isImmediate ? std::span<const uint8_t>(t.immediate)
                               : lineCode(*pc, line);
        if (laneKey) {  // the key the lane's poll found, taken here as at a poll of this loop
            const int32_t key = laneKey;
            laneKey = 0;
            const Poll p = keyRules(key, *pc, line, offset, false, r.code);
            if (p == Poll::Stopped) return;
            if (p == Poll::Jumped) {
                freshLine = true;
                continue;
            }
            laneDeclined = false;  // nothing ran at this position yet
        }
        if (freshLine && !isImmediate) {
            const linetbl& entry = pc->lineptr[static_cast<size_t>(line)];
            if (pc->stopline && entry.lineno() == pc->stopline && !passesBreak(line, 0)) {
                setRunStatusShown(RUNSTAT_STEP);
                showBreakAt(entry.lineno(), 1);
                debugReportLineBreak(static_cast<int>(entry.lineno()), 1);
                holdBreak(line, 0);
                saveAndLeave(*pc, {line, 0}, false);
                return;
            }
            if (entry.flags() & LF_NOT_EXECUTABLE) {
                line = entry.next;
                continue;
            }
            if (++linesSincePoll >= t.breakLines) {
                linesSincePoll = 0;
                const Poll p = pollKeys(*pc, line, offset, false, r.code);
                if (p == Poll::Stopped) return;
                if (p == Poll::Jumped) continue;  // a fresh line: the key's target
            }
            if (t.breakflags & (kBreakRequested | kTraceOn)) {
                if (t.breakflags & kTraceOn) {
                    char number[16];
                    snprintf(number, sizeof number, "%05u ", entry.lineno());
                    placeText(consoleLine(), number);
                }
                // Stepping stops at clauses; step mode 8 stops here, but only at depth 0.
                if ((t.breakflags & kBreakRequested) && line != resumedLine &&
                    (t.stepmode == 0 || (t.stepmode == kStepLine && t.calldepth == 0))) {
                    t.breakflags &= static_cast<uint8_t>(~kBreakRequested);
                    setRunStatusShown(RUNSTAT_STEP);
                    showBreakAt(entry.lineno(), 1);
                    debugReportBeginBreak();
                    holdBreak(line, 0);  // resuming runs the line's first clause
                    saveAndLeave(*pc, {line, 0}, false);
                    return;
                }
            }
            resumedLine = -1;
        }
        freshLine = false;

        // ---- clauses ----
        bool lineDone = false;
        while (!lineDone) {
            if (atLineEnd(r.code, offset)) {
                if (isImmediate) {  // the typed statement is done
                    flushPartialLine(consoleLine());
                    setRunStatusShown(RUNSTAT_READY);
                    saveAndLeave(*pc, {0, 0}, true);
                    return;
                }
                line = pc->lineptr[static_cast<size_t>(line)].next;
                offset = 0;
                freshLine = true;
                break;
            }
            if (!resuming && !rpnStack().empty()) {
                char text[160];
                snprintf(text, sizeof text, "\nNEXTCLAUSE RPNSTACK rpnStackNext=%lx rpnstkbase=%lx\n\n",
                         static_cast<unsigned long>(reinterpret_cast<uintptr_t>(rpnStack().rpnStackNext)),
                         static_cast<unsigned long>(reinterpret_cast<uintptr_t>(rpnStack().rpn_stkbase)));
                vxassertion(text, __FILE__, __LINE__);
            }
            // While nothing watches the run clause by clause, the clauses and the line changes
            // between them run in the fast lane.  It stops at a line start or a clause that
            // needs this loop, and the loop goes on from there.
            if (!resuming && !laneDeclined && decodedLine && laneOpen()) {
                const int k = decodedLine->find(offset);
                if (k >= 0) {
                    LanePosition at{line, offset, false, linesSincePoll, lastLine, lastClause, 0};
                    const LaneStop stop = runFastLane(r, decodedLine, k, at, laneError);
                    line = at.line;
                    offset = at.offset;
                    freshLine = at.freshLine;
                    linesSincePoll = at.linesSincePoll;
                    lastLine = at.lastLine;
                    lastClause = at.lastClause;
                    laneDeclined = !freshLine;
                    if (stop != LaneStop::Error) laneError = 0;
                    if (stop == LaneStop::Resume) {
                        resuming = true;
                        fastResuming = r.fastResume;
                        resumePos = r.jumpOffset;
                    }
                    if (stop == LaneStop::Key) laneKey = at.key;
                    if (stop == LaneStop::Switched) pc = r.pc;
                    break;  // the line (now) at the position is read afresh
                }
            }
            laneDeclined = false;
            const size_t clauseStart = offset;
            lastLine = line;
            lastClause = clauseStart;
            // Stepping: exactly one clause runs, then the run stops before the next.  A clause
            // that resumes after a function call is the same clause: it is not stopped again.
            // An error the lane raised belongs to the clause it ran.
            if (!resuming && !laneError &&
                ((t.stepmode & kStepInto) || ((t.stepmode & kStepOver) && t.calldepth == 0))) {
                if (t.stepmode & kStepArmed) {
                    t.stepmode = 0;
                    noteWatchChange();
                    t.breakflags |= kBreakRequested;
                    setRunStatusShown(RUNSTAT_STEP);
                    if (!isImmediate) {
                        showBreakAt(lineNumberOf(*pc, line), clauseNumberAt(r.code, clauseStart));
                        holdBreak(line, clauseStart);  // a break point here is where it stopped
                    }
                    debugReportBeginBreak();
                    saveAndLeave(*pc, {line, clauseStart}, isImmediate);
                    return;
                }
                t.stepmode |= kStepArmed;
            }
            // Break points on (line number, clause).
            if (!resuming && !laneError && !isImmediate && !pc->breakpoints.empty()) {
                const uint32_t number = lineNumberOf(*pc, line);
                const int clause = clauseNumberAt(r.code, clauseStart);
                for (size_t i = 0; i < pc->breakpoints.size(); ++i) {
                    const pcb::BreakPoint& bp = pc->breakpoints[i];
                    if (bp.line != number || bp.clause != clause) continue;
                    if (passesBreak(line, clauseStart)) break;
                    if (bp.oneShot) {
                        pc->breakpoints.erase(pc->breakpoints.begin() + static_cast<long>(i));
                        noteWatchChange();
                    }
                    holdBreak(line, clauseStart);
                    setRunStatusShown(RUNSTAT_STEP);
                    showBreakAt(number, clause);
                    debugReportLineBreak(static_cast<int>(number), clause);
                    saveAndLeave(*pc, {line, clauseStart}, false);
                    return;
                }
            }
            if (!resuming) {
                if (!immediate) t.passBreakLine = -1;  // the resumed program has moved on
                workStack().next = workStack().base;
            }

            // The clause as decoded when its line was first reached, or decoded now.
            const int k = decodedLine ? decodedLine->find(clauseStart) : -1;
            const CachedClause* cached = k >= 0 ? &decodedLine->clauses[static_cast<size_t>(k)] : nullptr;
            int err = cached ? 0 : decodeClause(r.code, clauseStart, decodedNow);
            const ClauseView& v = cached ? cached->view : decodedNow;
            const bool decoded = err == 0;
            r.jump = false;
            r.resume = false;
            r.fastResume = false;
            if (laneError) {  // raised by the clause the lane ran
                err = laneError;
                laneError = 0;
            } else if (fastResuming) {  // the form goes on with its function's value
                resuming = fastResuming = false;
                if (cached) {
                    err = resumeForm(r, *decodedLine, *cached);
                } else {
                    dropResumedForm();
                    err = err ? err : kErrDamaged;
                }
            } else {
                // A clause resuming after a function call has its operands and the function's
                // value on the stack.
                if (!err) err = runGeneralClause(r, v, clauseStart, resuming ? resumePos : 0);
                resuming = false;
            }
            if (!r.resume) resetStacks();
            // A library function called or returned from: its program runs from here on.
            const bool switched = r.pc != pc;
            if (switched) pc = r.pc;
            if (!t.watches.empty() && pc->libmode == kLibNone) checkWatches(*pc);
            if (err) {
                if (err == kPaused) {  // PAUSE: stop after this clause
                    setRunStatusShown(RUNSTAT_PAUSE);
                    saveAndLeave(*pc, {line, v.next}, isImmediate);
                    return;
                }
                if (err == kExecuteStop) {  // command mode runs the command, then resumes
                    flushPartialLine(consoleLine());
                    setRunStatus(isImmediate ? RUNSTAT_READY : RUNSTAT_EXEC);
                    saveAndLeave(*pc, {line, v.next}, isImmediate);
                    return;
                }
                if (err == kErrInterrupted) {  // an interrupted input runs again on resuming
                    setRunStatusShown(RUNSTAT_ATTN);
                    saveAndLeave(*pc, {line, clauseStart}, isImmediate);
                    return;
                }
                if (!decoded) {
                    reportError(*pc, err, isImmediate ? -1 : line, r.code, clauseStart);
                    saveAndLeave(*pc, {line, clauseStart}, isImmediate);
                    return;
                }
                if (!isImmediate && !isDamagedCode(err)) {
                    // The statement's error exits, then the ON table, decide.
                    const int to = conditionSearch(*pc, err, r.code, v);
                    if (to == -3) {  // IGNORE: on after the failed statement
                        offset = v.next;
                        continue;
                    }
                    if (to >= 0 && to < pc->linecnt) {
                        if (err != kErrKeyNotFoundNear) pc->lasterror = err;
                        pc->errorline = line;
                        pc->erroroffset = static_cast<int16_t>(clauseStart);
                        line = static_cast<int16_t>(to);
                        offset = 0;
                        freshLine = true;
                        lineDone = true;
                        continue;
                    }
                }
                reportError(*pc, err, isImmediate ? -1 : line, r.code, clauseStart);
                saveAndLeave(*pc, {line, clauseStart}, isImmediate);
                return;
            }
            if (!r.jump) {
                offset = v.next;
                continue;
            }
            if (r.resume) {  // back in the caller's clause after the function
                resuming = true;
                fastResuming = r.fastResume;
                resumePos = r.jumpOffset;
                if (r.jumpLine == line && !switched) {
                    offset = r.resumeClause;
                    continue;
                }
                line = r.jumpLine;
                offset = r.resumeClause;
                freshLine = false;
                lineDone = true;
                continue;
            }
            // A jump to a place inside this line carries on with its clauses; a jump to the
            // start of a line (this one too) starts that line, with its trace, break and
            // attention poll, so that a one-line loop can be interrupted.
            // A loop that stays inside one line (DO ... LOOP, FOR ... NEXT, a typed
            // statement's) is polled as often as lines are, so that it can be interrupted.
            const bool inLine = r.jumpLine == line && !switched &&
                                (isImmediate || r.jumpOffset != 0);
            if (inLine && r.jumpOffset <= clauseStart && ++linesSincePoll >= t.breakLines) {
                linesSincePoll = 0;
                size_t at = r.jumpOffset;
                const Poll p = pollKeys(*pc, line, at, isImmediate, r.code);
                if (p == Poll::Stopped) return;
                if (p == Poll::Jumped) {
                    offset = 0;
                    freshLine = true;
                    lineDone = true;
                    continue;
                }
            }
            if (inLine && !isImmediate) {
                offset = r.jumpOffset;
                continue;
            }
            line = r.jumpLine;
            offset = r.jumpOffset;
            freshLine = offset == 0;
            lineDone = true;
        }
    }
}

}  // namespace vxs
