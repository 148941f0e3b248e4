// The run loop's fast lane (see fastlane.h).
//
// The lane keeps the run position in locals: the line index, its decoded line and the clause's
// index there.  Every transfer of control goes through one place, which follows the rules by
// which the run loop treats a jump: a jump to the start of a line starts that line (its
// line-start work), a jump into another line goes on at that clause without it, and a jump back
// inside the line counts as a line for the attention poll.
//
// A clause without a fast form runs on the general path here, as the run loop would run it;
// what follows an error, a stop or a call into a library goes back to the run loop.  A fast form
// gives up (the run loop then runs the clause on the general path) only before it has changed
// anything: the forms are built so that every check that can fail comes first.  The exceptions
// are FOR, whose start is assigned before its limit and step are known (the assignment is undone
// when the clause gives up), and a form resumed after its function call, which raises its errors
// itself.
#include "vxs/errors/errors.h"
#include "vxs/interpreter/fastlane.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vxs/compiler/command2.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {


// The numeric cell of a dictionary index: 0, or the error the general path raises for it (920
// for a free or unknown slot, 9301 for a string where a number is due).
inline int numberCell(const pcb& pc, int index, Cell*& e) {
    e = cellAt(pc, index);
    if (!e) return kErrDictionary;
    return isStringCell(e) ? kErrDamaged : 0;
}

// The address of an element of array `op.index`: `count` subscripts at `subscripts`, or the
// constant subscript of the operation when `count` is 0.  Returns 0 or the error.
inline int elementOf(const pcb& pc, const EvalEnv& env, const NumOp& op, const double* subscripts,
                     int count, uint8_t*& at) {
    const Cell* array = cellAt(pc, op.index);
    if (!array) return kErrDictionary;
    if (isStringCell(array)) return kErrDamaged;
    if (count == 0) return elementAddressConstant(env, array, static_cast<int>(op.value), at);
    return elementAddress(env, array, subscripts, count, at);
}

// Pushes the element of array `op.index` at `count` subscripts (0: the operation's constant):
// its value, or for an assignment its address.  Returns 0 or the error.
template <bool kAddress>
[[gnu::always_inline]] inline int pushElement(const pcb& pc, const EvalEnv& env, const NumOp& op,
                                              const double* subscripts, int count, double* d,
                                              uint8_t** p, int& n) {
    uint8_t* at;
    if (int err = elementOf(pc, env, op, subscripts, count, at)) return err;
    if (kAddress) p[n] = at;
    else memcpy(&d[n], at, sizeof(double));
    ++n;
    return 0;
}

inline uint8_t* numberAddress(Cell* e) {
    return (e->kind & DE_STORAGE) && e->storage ? static_cast<uint8_t*>(e->storage) : e->value;
}

// The decoded lines of the running program, looked up without the checks of cachedLine while
// the cache keeps them (within one run the program's code does not move).
class LineLookup {
  public:
    explicit LineLookup(const pcb& pc) : pc_(pc) {}
    const CachedLine* operator()(int16_t line) {
        if (p_ && p_ == interp.lines.last && !interp.lines.stale &&
            static_cast<uint16_t>(line) < static_cast<uint16_t>(pc_.linecnt))
            if (const CachedLine* l = lines_[line].get()) return l;
        const CachedLine* l = cachedLine(pc_, line);
        p_ = interp.lines.last;
        if (p_ && p_->program == &pc_ && p_->lines.size() >= static_cast<size_t>(pc_.linecnt))
            lines_ = p_->lines.data();
        else
            p_ = nullptr;
        return l;
    }

  private:
    const pcb& pc_;
    const ProgramLines* p_ = nullptr;
    const std::unique_ptr<CachedLine>* lines_ = nullptr;
};

// The assignment a FOR form made before it gave up, to be undone.
struct Undo {
    uint8_t* at = nullptr;
    double old = 0;
};

// Runs the operations from `op` on the stack `d` of `n` values (with the addresses of assignment
// targets in `p`).  Returns 0 at the form's end, kCallPending at its call (`op` is then the NCall),
// or the error that the general evaluator raises there.
[[gnu::always_inline]] inline int runOps(const NumOp*& op, const pcb& pc, const EvalEnv& env,
                                         double* d, uint8_t** p, int& n, Undo& undo) {
    Cell* e;
    int err;
    for (;; ++op) {
        switch (op->op) {
            case NLoad:
                if ((err = numberCell(pc, op->index, e))) return err;
                d[n++] = cellNumber(e);
                break;
            case NConst: d[n++] = op->value; break;
            case NAdd:
                --n;
                d[n - 1] = d[n - 1] + d[n];
                break;
            case NSub:
                --n;
                d[n - 1] = d[n - 1] - d[n];
                break;
            case NMul:
                --n;
                if (std::fabs(d[n - 1]) > 1e150 || std::fabs(d[n]) > 1e150) return 6;
                d[n - 1] = d[n - 1] * d[n];
                break;
            case NDiv:
                --n;
                if (d[n] > -1e-10 && d[n] < 1e-10) return 6;
                d[n - 1] = d[n - 1] / d[n];
                break;
            case NBinary:
                --n;
                if ((err = arithmetic(op->kind, d[n - 1], d[n], d[n - 1]))) return err;
                break;
            case NAddConst: d[n - 1] = d[n - 1] + op->value; break;
            case NSubConst: d[n - 1] = d[n - 1] - op->value; break;
            case NMulConst:
                if (std::fabs(d[n - 1]) > 1e150 || std::fabs(op->value) > 1e150) return 6;
                d[n - 1] = d[n - 1] * op->value;
                break;
            case NDivConst:
                if (op->value > -1e-10 && op->value < 1e-10) return 6;
                d[n - 1] = d[n - 1] / op->value;
                break;
            case NBinaryConst:
                if ((err = arithmetic(op->kind, d[n - 1], op->value, d[n - 1]))) return err;
                break;
            case NAddVar:
            case NSubVar:
            case NMulVar:
            case NDivVar:
            case NBinaryVar:
                if ((err = numberCell(pc, op->operand, e))) return err;
                if ((err = arithmetic(op->kind, d[n - 1], cellNumber(e), d[n - 1]))) return err;
                break;
            case NCompare:
                --n;
                d[n - 1] = compareResult(op->kind, compareNumbers(d[n - 1], d[n])) ? 1.0 : 0.0;
                break;
            case NCompareConst:
                d[n - 1] = compareResult(op->kind, compareNumbers(d[n - 1], op->value)) ? 1.0 : 0.0;
                break;
            case NCompareVar:
                if ((err = numberCell(pc, op->operand, e))) return err;
                d[n - 1] = compareResult(op->kind, compareNumbers(d[n - 1], cellNumber(e))) ? 1.0 : 0.0;
                break;
            case NUnary: d[n - 1] = unaryOperation(op->kind, d[n - 1]); break;
            case NInt: d[n - 1] = floorNumber(d[n - 1] + kTolerance); break;
            case NElement:
                n -= op->kind;
                if ((err = pushElement<false>(pc, env, *op, d + n, op->kind, d, p, n))) return err;
                break;
            case NElementRef:
                n -= op->kind;
                if ((err = pushElement<true>(pc, env, *op, d + n, op->kind, d, p, n))) return err;
                break;
            case NElementConst:
                if ((err = pushElement<false>(pc, env, *op, nullptr, 0, d, p, n))) return err;
                break;
            case NElementConstRef:
                if ((err = pushElement<true>(pc, env, *op, nullptr, 0, d, p, n))) return err;
                break;
            case NElementVar:
            case NElementRefVar: {
                if ((err = numberCell(pc, op->operand, e))) return err;
                const double subscript = cellNumber(e);
                err = op->op == NElementVar ? pushElement<false>(pc, env, *op, &subscript, 1, d, p, n)
                                            : pushElement<true>(pc, env, *op, &subscript, 1, d, p, n);
                if (err) return err;
                break;
            }
            case NVarRef:
                if ((err = numberCell(pc, op->index, e))) return err;
                p[n++] = numberAddress(e);
                break;
            case NStore:  // FOR's start: the target stays below the limit and step to come
                --n;
                undo.at = p[n - 1];
                memcpy(&undo.old, undo.at, sizeof(double));
                memcpy(p[n - 1], &d[n], sizeof(double));
                break;
            case NStoreEnd: memcpy(p[n - 2], &d[n - 1], sizeof(double)); return 0;
            case NStoreVar:
                if ((err = numberCell(pc, op->index, e))) return err;
                memcpy(numberAddress(e), &d[n - 1], sizeof(double));
                return 0;
            case NCall: return kCallPending;
            case NEnd: return 0;
            default: return kErrDamaged;  // NReload is passed over by the call's resumption
        }
    }
}

// resumeForm, inlined into the lane.
[[gnu::noinline]] int resumeSuspended(RunCtx& r, const CachedLine& l, const CachedClause& c,
                                      const SuspendedForm* s) {
    if (!s) return kErrDamaged;
    const pcb& pc = *r.pc;
    double d[kMaxFormDepth];
    uint8_t* p[kMaxFormDepth];
    int n = s->depth;
    const NumOp* op = l.ops.data() + c.opsAt + c.callAt;
    // The clause must be the form that was suspended.
    if ((c.form != FastForm::Let && c.form != FastForm::If) || c.callAt == kNoCall ||
        s->line != r.line || s->clause != c.view.start || s->callAt != c.callAt ||
        op->op != NCall || n + 1 > kMaxFormDepth) {
        dropResumedForm();
        return kErrDamaged;
    }
    copyNumbers(d, s->values, n);
    // Variables read before the call are read again: the general path reads them only now.
    const int reloads = op->operand;
    for (int i = 1; i <= reloads; ++i) {
        if (op[i].op != NReload || op[i].kind != 0) continue;
        Cell* e;
        if (op[i].operand >= n) {
            dropResumedForm();
            return kErrDamaged;
        }
        if (int err = numberCell(pc, op[i].index, e)) {
            dropResumedForm();
            return err;
        }
        d[op[i].operand] = cellNumber(e);
    }
    d[n++] = s->result;
    dropResumedForm();
    op += 1 + reloads;
    Undo undo;
    int err = runOps(op, pc, r.env, d, p, n, undo);
    if (err == kCallPending) err = kErrDamaged;  // a form holds one call
    if (err) return err;
    if (c.form == FastForm::If && !isTrue(d[n - 1])) {
        r.jump = true;
        r.jumpLine = c.jumpLine;
        r.jumpOffset = c.jumpOffset;
    }
    return 0;
}

}  // namespace

int resumeForm(RunCtx& r, const CachedLine& l, const CachedClause& c) {
    return resumeSuspended(r, l, c, resumedForm());
}

// The lane's loop is the hottest code of a run: aligned to a cache line, its layout (and so its
// speed) does not move with the size of unrelated code linked before it.
__attribute__((aligned(64))) LaneStop runFastLane(RunCtx& r, const CachedLine* l, int k,
                                                  LanePosition& at, int& err) {
    pcb& pc = *r.pc;
    const EvalEnv& env = r.env;
    FlowStacks& flow = flowStacks();
    RpnStack& rs = rpnStack();
    WorkStack& ws = workStack();
    const int breakLines = t.breakLines;
    int16_t line = at.line;
    int polls = at.linesSincePoll;
    int16_t lastLine = at.lastLine;
    size_t lastClause = at.lastClause;
    double d[kMaxFormDepth];
    uint8_t* p[kMaxFormDepth];
    LineLookup lineAt(pc);
    // The room on both stacks, as the general path finds it at a clause start: it changes only
    // where a function is called or returns.
    ptrdiff_t rpnRoom = rs.limit - rs.rpnStackNext;
    ptrdiff_t workRoom = ws.limit - ws.next;
    // Line starts with work for the run loop: only a general clause changes these.
    auto lineStartWork = [&] { return pc.stopline != 0 || (t.breakflags & (kBreakRequested | kTraceOn)); };
    bool lineWork = lineStartWork();
    if (!t.typedRun) t.passBreakLine = -1;  // the run loop clears it as each clause starts

    auto leave = [&](int16_t toLine, size_t offset, bool fresh, LaneStop stop) {
        at.line = toLine;
        at.offset = offset;
        at.freshLine = fresh;
        at.linesSincePoll = polls;
        at.lastLine = lastLine;
        at.lastClause = lastClause;
        return stop;
    };
    // The attention poll, due at (line, offset) where the run goes on: a key goes to the run loop.
    auto poll = [&] {
        polls = 0;
        at.key = pollKeyboard();
        return at.key != 0;
    };

    // The room on the stacks again, after a call or a return moved their bases.
    auto measureRoom = [&] {
        rpnRoom = rs.limit - rs.rpnStackNext;
        workRoom = ws.limit - ws.next;
    };

    for (;;) {
        const CachedClause& c = l->clauses[static_cast<size_t>(k)];
        // The clause that runs and the byte after it (after FNEND: the resumed one's).
        size_t from = c.view.start;
        size_t next = c.view.next;
        int16_t toLine = 0;
        size_t toOffset = 0;
        bool jump = false;
        LineMemo* memo = nullptr;  // where a transition to a line start is remembered
        const CachedLine* target = nullptr;  // the decoded line of a jump into another line, if known
        auto jumpTo = [&](int16_t targetLine, size_t offset) {
            toLine = targetLine;
            toOffset = offset;
            jump = true;
        };
        // A jump fixed in the clause: its line start is remembered in the clause.
        auto fixedJump = [&](int16_t targetLine, size_t offset) {
            jumpTo(targetLine, offset);
            memo = &c.jumpMemo;
        };
        switch (c.form) {
            case FastForm::Let:
            case FastForm::If: {
                // What the general path would find too full, it must meet itself.
                if (rpnRoom < c.rpnDepth || workRoom < c.workBytes)
                    return leave(line, from, false, LaneStop::General);
                if (c.regAt != kNoRegForm) {
                    // The register form, run here rather than called: its operations are the
                    // lane's own (regops.inc).
                    const RegOp* op = l->regs.data() + c.regAt;
                    bool truth = true;
#define VX_REG_GIVE_UP return leave(line, from, false, LaneStop::General)
#define VX_REG_DONE goto registerFormDone
#include "vxs/interpreter/regops.inc"
#undef VX_REG_GIVE_UP
#undef VX_REG_DONE
                registerFormDone:
                    if (c.form == FastForm::If && !truth) fixedJump(c.jumpLine, c.jumpOffset);
                    break;
                }
                const NumOp* op = l->ops.data() + c.opsAt;
                int n = 0;
                Undo undo;
                const int e = runOps(op, pc, env, d, p, n, undo);
                if (e == kCallPending) {
                    const int fn = op->index;
                    const int nargs = op->kind;
                    for (int i = 1; i <= op->operand; ++i) {  // an array is not a number
                        const Cell* a = cellAt(pc, op[i].index);
                        if (op[i].kind == 1 && (!a || isArrayCell(a)))
                            return leave(line, from, false, LaneStop::General);
                    }
                    const Cell* fe = cellAt(pc, fn);
                    if (!fe || !fe->isFunction() || fe->fnline >= static_cast<uint32_t>(pc.linecnt))
                        return leave(line, from, false, LaneStop::General);
                    const int16_t defLine = static_cast<int16_t>(fe->fnline);
                    const FormAtCall form{line, static_cast<uint16_t>(from), c.callAt,
                                          static_cast<uint8_t>(n - nargs), d};
                    const size_t rpnBelow = c.callBase, workBelow = c.callWork;
                    // Decoding the DEF's line may forget this one: nothing of it is used after.
                    const CachedLine* dl = lineAt(defLine);
                    if (!dl || dl->clauses.empty() || dl->clauses[0].form != FastForm::Def ||
                        dl->clauses[0].variable != fn)
                        return leave(line, from, false, LaneStop::General);
                    if (beginFastCall(r, fn, defLine, dl->clauses[0], *dl, d + form.depth, nargs,
                                      form, rpnBelow, workBelow))
                        return leave(line, from, false, LaneStop::General);
                    measureRoom();
                    if (defLine == line) l = dl;
                    jumpTo(r.jumpLine, r.jumpOffset);  // the body
                    break;
                }
                if (e) return leave(line, from, false, LaneStop::General);
                if (c.form == FastForm::If && !isTrue(d[n - 1])) fixedJump(c.jumpLine, c.jumpOffset);
                break;
            }
            case FastForm::MixLet:
            case FastForm::MixIf: {
                bool truth = true;
                if (rpnRoom < c.rpnDepth || !runMixedForm(env, l->mix.data() + c.opsAt, workRoom, truth))
                    return leave(line, from, false, LaneStop::General);
                if (c.form == FastForm::MixIf && !truth) fixedJump(c.jumpLine, c.jumpOffset);
                break;
            }
            case FastForm::For: {
                Cell* var;
                if (numberCell(pc, c.variable, var) ||
                    rpnRoom < c.rpnDepth || workRoom < c.workBytes)
                    return leave(line, from, false, LaneStop::General);
                const size_t i = loopEntry(flow, var);
                if (i == flow.fors.size() && i >= flow.forLimit)
                    return leave(line, from, false, LaneStop::General);
                const NumOp* op = l->ops.data() + c.opsAt;
                int n = 0;
                Undo undo;
                if (runOps(op, pc, env, d, p, n, undo)) {
                    if (undo.at) memcpy(undo.at, &undo.old, sizeof(double));
                    return leave(line, from, false, LaneStop::General);
                }
                if (!openLoop(flow, i, var, d[n - 2], d[n - 1]))  // the body is passed over
                    fixedJump(c.jumpLine, c.jumpOffset);
                break;
            }
            case FastForm::Next: {
                Cell* var;
                if (rpnRoom < 1 || numberCell(pc, c.variable, var))
                    return leave(line, from, false, LaneStop::General);
                const ForEntry* loop = innermostLoop(flow, var);
                if (!loop)
                    return leave(line, from, false, LaneStop::General);
                uint8_t* const place = numberAddress(var);
                double value;
                memcpy(&value, place, sizeof value);
                value += loop->step;
                memcpy(place, &value, sizeof value);
                if (loop->up ? value <= loop->limit : value >= loop->limit)
                    fixedJump(c.jumpLine, c.jumpOffset);
                break;
            }
            case FastForm::Goto: fixedJump(c.target, 0); break;
            case FastForm::Gosub:
                if (flow.flow.size() >= flow.flowLimit) return leave(line, from, false, LaneStop::General);
                flow.flow.push_back({line, c.view.next, -1, lineIdentity(pc, line)});
                flow.noteFlowDepth();
                ++t.calldepth;
                fixedJump(c.target, 0);
                break;
            case FastForm::Return: {
                if (flow.flow.empty() || flow.flow.back().kind != -1)
                    return leave(line, from, false, LaneStop::General);
                const FlowEntry e = flow.flow.back();
                if (e.line < 0 || e.line >= pc.linecnt || e.code != lineIdentity(pc, e.line))
                    return leave(line, from, false, LaneStop::General);
                if (e.returnOffset != 0) {
                    // Where it returns to is checked as the general path checks a jump.
                    const CachedLine* to = e.line == line ? l : lineAt(e.line);
                    if (!to || e.returnOffset > to->code.size())
                        return leave(line, from, false, LaneStop::General);
                    target = to;
                }
                flow.flow.pop_back();
                --t.calldepth;
                jumpTo(e.line, e.returnOffset);
                break;
            }
            case FastForm::Fnend: {
                const SuspendedForm* s = returnFromFastCall(r, err);
                if (err) {  // the calling line was replaced: the error is the FNEND's
                    resetStacks();
                    return leave(line, from, false, LaneStop::Error);
                }
                if (!s) return leave(line, from, false, LaneStop::General);
                // Back in the caller's clause, which goes on with the function's value.  `c` is
                // not used from here on: the caller's line may have been decoded anew.
                line = r.jumpLine;
                const size_t clause = r.resumeClause;
                l = lineAt(line);
                const int j = l ? l->find(clause) : -1;
                if (j < 0) return leave(line, clause, false, LaneStop::Resume);
                k = j;
                const CachedClause& rc = l->clauses[static_cast<size_t>(k)];
                from = rc.view.start;
                next = rc.view.next;
                r.line = line;
                r.jump = false;
                err = resumeSuspended(r, *l, rc, s);
                resetStacks();
                measureRoom();
                if (err) return leave(line, from, false, LaneStop::Error);
                if (r.jump) {  // a false IF: its targets lie ahead of it
                    r.jump = false;
                    jumpTo(r.jumpLine, r.jumpOffset);
                }
                break;
            }
            case FastForm::Skip:
                if (c.target != kTargetNextLine)
                    fixedJump(pc.lineptr[static_cast<size_t>(c.target)].next, 0);
                break;
            case FastForm::Nothing:
            case FastForm::Def: break;
            case FastForm::None: {
                // The general path, as the run loop runs a clause; what needs the run loop
                // afterwards (an error or a stop, another program entered) goes back to it.
                r.line = line;
                r.code = l->code;
                r.jump = r.resume = r.fastResume = false;
                ws.next = ws.base;
                err = runGeneralClause(r, c.view, from);
                if (err) {
                    resetStacks();
                    return leave(line, from, false, LaneStop::Error);
                }
                if (r.resume) return leave(r.jumpLine, r.resumeClause, false, LaneStop::Resume);
                resetStacks();
                lastLine = line;
                lastClause = from;
                if (r.pc != &pc)  // a library's function: the run goes on in its body
                    return leave(r.jumpLine, r.jumpOffset, r.jumpOffset == 0, LaneStop::Switched);
                // A watch set while the clause waited (a key, a lock, the debugger link): the
                // run loop takes over at once, so that a break point in this line is not missed.
                // So does a clause that made the decoded lines stale (DIM): this line's forms
                // may be resolved to places its variables left.
                if (t.watched || interp.lines.stale) {
                    if (r.jump) return leave(r.jumpLine, r.jumpOffset, r.jumpOffset == 0, LaneStop::General);
                    return leave(line, next, false, LaneStop::General);
                }
                // A general call moved the stacks' bases; a TRACE changed what line starts need.
                measureRoom();
                lineWork = lineStartWork();
                if (r.jump) jumpTo(r.jumpLine, r.jumpOffset);
                break;
            }
        }
        lastLine = line;
        lastClause = from;
        if (!jump) {  // on to the next clause
            if (static_cast<size_t>(k) + 1 < l->clauses.size()) {
                ++k;
                continue;
            }
            if (!atLineEnd(l->code, next)) return leave(line, next, false, LaneStop::General);
            toLine = pc.lineptr[static_cast<size_t>(line)].next;
            toOffset = 0;
            memo = &l->nextMemo;
        }
        // ---- a jump to (toLine, toOffset) ----
        if (toOffset != 0) {  // to a clause: inside this line, or into another without its start
            if (toLine == line) {
                if (toOffset <= from && ++polls >= breakLines && poll())
                    return leave(line, toOffset, false, LaneStop::Key);
            } else {
                line = toLine;
                l = target ? target : lineAt(line);
                if (!l) return leave(line, toOffset, false, LaneStop::General);
            }
            const int j = l->find(toOffset);
            if (j >= 0) {
                k = j;
                continue;
            }
            if (!atLineEnd(l->code, toOffset)) return leave(line, toOffset, false, LaneStop::General);
            toLine = pc.lineptr[static_cast<size_t>(line)].next;  // past its end: the next line
            toOffset = 0;
            memo = nullptr;
        }
        // ---- the start of line toLine ----
        if (memo && memo->line) {  // reached before: the same line, without looking it up
            if (lineWork || t.watched) return leave(toLine, 0, true, LaneStop::General);
            line = memo->index;
            if (++polls >= breakLines && poll()) return leave(line, 0, false, LaneStop::Key);
            l = memo->line;
            k = 0;
            continue;
        }
        for (;;) {
            line = toLine;
            if (line < 0 || lineWork || t.watched) return leave(line, 0, true, LaneStop::General);
            const linetbl& entry = pc.lineptr[static_cast<size_t>(line)];
            if (!(entry.flags() & LF_NOT_EXECUTABLE)) break;
            toLine = entry.next;
        }
        if (++polls >= breakLines && poll()) return leave(line, 0, false, LaneStop::Key);
        // Decoding this line may forget the one the transition left (and its memo with it);
        // the memo is written only while the lines stay.
        const ProgramLines* generation = interp.lines.last;
        l = lineAt(line);
        if (!l || l->clauses.empty()) return leave(line, 0, false, LaneStop::General);
        if (memo && generation == interp.lines.last && !interp.lines.stale) *memo = {l, line};
        k = 0;
    }
}

}  // namespace vxs
