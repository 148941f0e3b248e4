// Flow control (see flow.h): GOSUB/RETURN and ON expression GOTO/GOSUB on the flow stack,
// FOR/NEXT on the FOR stack, DO/LOOP, SYSTEM, ON condition, CONTINUE/RETRY and the condition
// search that maps an error to a statement exit, an ON-table line, IGNORE or no trap.
#include "vxs/interpreter/flow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <iterator>
#include <vector>

#include "vxs/compiler/codes.h"
#include "vxs/config/config.h"
#include "vxs/compiler/linetable.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/debugger/help.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/state.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

// Condition codes as the statements carry them, reduced to their low 6 bits.
enum Cond : uint8_t {
    CSoflow = 96 & 63, CConv = 97 & 63, COflow = 98 & 63, CHelp = 99 & 63, CZdiv = 100 & 63,
    CAttn = 101 & 63, CFnkey = 102 & 63, CEvent = 103 & 63, CError = 104 & 63,
    CLocked = 107 & 63, CEof = 120 & 63, CIoerr = 121 & 63, CNokey = 122 & 63,
    CNorec = 123 & 63, CDuprec = 124 & 63, CPageoflow = 125 & 63, CTimeout = 126 & 63,
    CExit = 127 & 63,
};

// ON-table entries.
enum Entry { ESoflow = 0, EConv = 1, EOflow = 2, EHelp = 3, EZdiv = 4, EPageoflow = 5,
             EIoerr = 6, EError = 8, ELocked = 9, EEvent = 10 };

constexpr int16_t kNotSet = -2, kIgnore = kOnTableIgnore;

// The flow state and the stacks (state.h).
constexpr FlowState& g = interp.flow;
constexpr FlowStacks& fs = interp.stacks;

int16_t wordAt(const RunCtx& r, size_t at) {
    return static_cast<int16_t>(readWord(r.code.data() + at));
}

// The line index of a resolved line reference (its first word) at `at`.
int16_t lrefLine(const uint8_t* at) { return static_cast<int16_t>(readWord(at)); }

int jumpToLine(RunCtx& r, int16_t index, size_t offset = 0) {
    if (index == kImmediateLine) {
        r.jump = true;
        r.jumpLine = index;
        r.jumpOffset = offset;
        return 0;
    }
    if (index < 0 || index >= r.pc->linecnt) return kErrNoTarget;
    if (offset == 0) {  // the start of a line: always there
    } else if (index == r.line) {  // a loop inside the line
        if (offset > r.code.size()) return kErrDamaged;
    } else {
        const CachedLine* target = cachedLine(*r.pc, index);  // the run goes there next
        if (offset > (target ? target->code : lineCode(*r.pc, index)).size()) return kErrDamaged;
    }
    r.jump = true;
    r.jumpLine = index;
    r.jumpOffset = offset;
    return 0;
}

// A POS operand (line index, byte offset) at `at`.
int jumpToPosition(RunCtx& r, size_t at) {
    const int16_t line = wordAt(r, at);
    const int16_t offset = wordAt(r, at + 2);
    if ((line < 0 && !(line == kImmediateLine && r.line == kImmediateLine)) || offset < 0)
        return kErrNoTarget;
    return jumpToLine(r, line, static_cast<size_t>(offset));
}

int pushGosub(RunCtx& r, size_t returnOffset) {
    if (fs.flow.size() >= fs.flowLimit) return kErrFlowStack;
    fs.flow.push_back({r.line, returnOffset, -1, lineIdentity(*r.pc, r.line)});
    fs.noteFlowDepth();
    ++t.calldepth;
    return 0;
}

int gotoOrGosub(RunCtx& r, const ClauseView& v, bool gosub) {
    int16_t target;
    if (v.direct) {
        if (v.words < kLrefWords) return kErrDamaged;
        target = lrefLine(r.code.data() + v.wordsAt);
    } else {
        // ON x: n, LREF x n, has-NONE, and the NONE target's LREF when it has one
        if (v.words < 1) return kErrDamaged;
        const int n = wordAt(r, v.wordsAt);
        if (n < 0 || v.words < 2 + kLrefWords * n) return kErrDamaged;
        const bool hasNone = wordAt(r, v.wordsAt + 2 + 6 * static_cast<size_t>(n)) != 0;
        if (v.words != 2 + kLrefWords * (n + (hasNone ? 1 : 0))) return kErrDamaged;
        double x;
        if (int err = popNumber(x)) return err;
        const double k = std::floor(x + 0.500001);
        const size_t lrefs = v.wordsAt + 2;
        if (k >= 1 && k <= n) {
            target = lrefLine(r.code.data() + lrefs + 6 * (static_cast<size_t>(k) - 1));
        } else {
            const size_t noneAt = lrefs + 6 * static_cast<size_t>(n);
            if (wordAt(r, noneAt) == 0) return 0;  // no NONE: the next clause
            target = lrefLine(r.code.data() + noneAt + 2);
        }
    }
    if (target < 0 || target >= r.pc->linecnt) return kErrNoTarget;
    if (gosub)
        if (int err = pushGosub(r, v.next)) return err;
    return jumpToLine(r, target);
}

int forStatement(RunCtx& r, const ClauseView& v) {
    if (v.words != 2) return kErrDamaged;
    double step, limit;
    if (int err = popNumber(step)) return err;
    if (int err = popNumber(limit)) return err;
    RpnEntry assigned, control;
    if (!rpnPop(assigned) || !rpnPop(control)) return kErrDamaged;
    Cell* var = rpnCellOf(control);
    if (!var || isStringCell(var)) return kErrDamaged;
    const size_t i = loopEntry(fs, var);
    if (i == fs.fors.size() && i >= fs.forLimit) return kErrForStack;
    if (!openLoop(fs, i, var, limit, step)) return jumpToPosition(r, v.wordsAt);
    return 0;
}

int nextStatement(RunCtx& r, const ClauseView& v) {
    RpnEntry control;
    if (v.words != 2 || !rpnPop(control)) return kErrDamaged;
    return nextLoop(r, rpnCellOf(control), v);
}

}  // namespace

int nextLoop(RunCtx& r, Cell* var, const ClauseView& v) {
    if (v.words != 2 || !var || isStringCell(var)) return kErrDamaged;
    const ForEntry* loop = innermostLoop(fs, var);
    if (!loop) return kErrNextWithoutFor;
    const ForEntry& f = *loop;
    const double value = cellNumber(var) + f.step;
    setCellNumber(var, value);
    if (f.up ? value <= f.limit : value >= f.limit) return jumpToPosition(r, v.wordsAt);
    return 0;
}

namespace {

int conditionEntry(uint8_t cond) {
    switch (cond & 63) {
        case CSoflow: return ESoflow;
        case CConv: return EConv;
        case COflow: return EOflow;
        case CHelp: return EHelp;
        case CZdiv: return EZdiv;
        case CPageoflow: return EPageoflow;
        case CIoerr: case CEof: case CNokey: case CNorec: case CDuprec: return EIoerr;
        case CError: return EError;
        case CLocked: case CTimeout: return ELocked;
        case CEvent: return EEvent;
        default: return -1;
    }
}

int onStatement(RunCtx& r, const ClauseView& v) {
    if (v.words != 2 + kLrefWords) return kErrDamaged;
    const uint8_t cond = static_cast<uint8_t>(wordAt(r, v.wordsAt) & 63);
    const int action = wordAt(r, v.wordsAt + 2);
    int16_t target;
    if (action == kOnSystem) {
        target = kNotSet;
    } else if (action == kOnIgnore) {
        target = kIgnore;
    } else if (action == kOnGoto) {
        target = lrefLine(r.code.data() + v.wordsAt + 4);
        if (target < 0 || target >= r.pc->linecnt) return kErrNoTarget;
    } else {
        return kErrDamaged;
    }
    pcb& pc = *r.pc;
    if (cond == CFnkey) {
        double x;
        if (int err = popNumber(x)) return err;
        const int n = toCount(x);
        if (n >= 1 && n <= 10) pc.condnumbered[n - 1] = target;
        else if (n == 99) pc.condfurther = target;
        else return kErrFnkeyNumber;
        return 0;
    }
    if (cond == CAttn) {
        pc.condnumbered[9] = target;
        return 0;
    }
    if (cond == CEvent) {
        g.eventTarget = target;
        return 0;
    }
    const int entry = conditionEntry(cond);
    if (entry < 0 || entry >= static_cast<int>(std::size(pc.condtargets))) return kErrBadCondition;
    pc.condtargets[entry] = target;
    return 0;
}

// CONTINUE and RETRY: back to the clause of the last error.
int recoverStatement(RunCtx& r, bool retry) {
    const pcb& pc = *r.pc;
    if (pc.errorline < 0 || pc.errorline >= pc.linecnt) return kErrNoRecordedError;
    const std::span<const uint8_t> code = lineCode(pc, pc.errorline);
    const size_t at = static_cast<size_t>(pc.erroroffset);
    if (at >= code.size()) return kErrDamaged;
    if (retry || pc.lasterror == 1) return jumpToLine(r, pc.errorline, at);
    ClauseView failed;
    if (decodeClause(code, at, failed)) return kErrDamaged;
    return jumpToLine(r, pc.errorline, failed.next);
}

int systemStatement(RunCtx& r) {
    RpnEntry e;
    if (rpnPop(e)) {
        const Cell* c = rpnCellOf(e);
        if (c && isStringCell(c)) return kErrDamaged;
        setExitCode(toSubscript(c ? cellNumber(c) : rpnSmallValue(e)));
    }
    if (pchain.pendpcb) {
        pchain.curpcb = pchain.pendpcb;
        pchain.pendpcb = nullptr;
    }
    g.shutdown = true;
    r.jump = true;
    r.jumpLine = kLineEndOfProgram;
    return 0;
}

// The row of the error-to-condition table for `err`: its condition code and ON-table entry.
struct Row {
    uint8_t cond;
    int entry;
};
uint8_t conditionCode(ErrorCondition c) {
    switch (c) {
        case ErrorCondition::EVENT: return CEvent;
        case ErrorCondition::CONV: return CConv;
        case ErrorCondition::SOFLOW: return CSoflow;
        case ErrorCondition::OFLOW: return COflow;
        case ErrorCondition::HELP: return CHelp;
        case ErrorCondition::ZDIV: return CZdiv;
        case ErrorCondition::DUPREC: return CDuprec;
        case ErrorCondition::NOKEY: return CNokey;
        case ErrorCondition::NOREC: return CNorec;
        case ErrorCondition::EOF_: return CEof;
        case ErrorCondition::PAGEOFLOW: return CPageoflow;
        case ErrorCondition::LOCKED: return CLocked;
        case ErrorCondition::TIMEOUT: return CTimeout;
        case ErrorCondition::ERROR: break;
    }
    return CError;
}
Row rowOf(int err) {
    const uint8_t cond = conditionCode(errorCondition(err));
    return {cond, conditionEntry(cond)};
}

// Scans the error-exit parts of clause `v`: the line of the first match, -2 when none,
// or -4 when an EXIT reference is bad.
int scanExits(const pcb& pc, std::span<const uint8_t> code, const ClauseView& v, const Row& row,
              int err, bool io, bool nested) {
    if (v.direct) return kNotSet;
    size_t p = v.partsAt;
    while (p < v.endAt) {
        uint8_t h;
        size_t wordsAt, next;
        int n;
        if (decodeItem(code, p, h, wordsAt, n, next)) return kNotSet;
        p = next;
        if ((h & 0x3F) != kPartExit || n != 4) continue;
        const uint8_t cond = static_cast<uint8_t>(readWord(code.data() + wordsAt) & 63);
        const int16_t line = static_cast<int16_t>(readWord(code.data() + wordsAt + 2));
        if (cond == CExit && !nested) {
            if (line < 0 || line >= pc.linecnt) return -4;
            const std::span<const uint8_t> exitCode = lineCode(pc, line);
            ClauseView ev;
            if (atLineEnd(exitCode, 0) || decodeClause(exitCode, 0, ev) || ev.code != StExit)
                return -4;
            const int found = scanExits(pc, exitCode, ev, row, err, io, true);
            if (found != kNotSet) return found;
            continue;
        }
        const bool catchAll = err != 701 && (cond == CError || (io && cond == CIoerr));
        if (cond == row.cond || catchAll) return line >= 0 && line < pc.linecnt ? line : kNotSet;
    }
    return kNotSet;
}



DePtr& slotOf(pcb& pc, int index) { return pc.dictEntryPointer[static_cast<size_t>(index - kFirstDictIndex)]; }

constexpr size_t kSpareLocals = 64;

// Keeps a numeric local without storage for a later call (entries are at least sizeof(de));
// any other is freed.
void recycleLocal(DePtr e) {
    if (!e || (e->kind & (DE_STORAGE | DE_STRING)) || g.spareLocals.size() >= kSpareLocals) return;
    if (g.spareLocals.capacity() < kSpareLocals) {
        try {
            g.spareLocals.reserve(kSpareLocals);
        } catch (const std::bad_alloc&) {
            return;
        }
    }
    g.spareLocals.push_back(std::move(e));
}

// Puts the caller's entries back into their slots, newest first; by-reference scalars hand
// their value back to the actual (unless `handBack` is off: a call that failed or is abandoned).
int restoreSlots(CallFrame& f, const EvalEnv& env, bool handBack = true) {
    int first = 0;
    if (f.fast) {
        while (g.values.size() > f.bindings) {
            const SavedValue& s = g.values.back();
            Cell* c = s.cell;
            if (c->kind != s.kind || c->attr) {  // dimensioned by the body
                if (c->kind & DE_STORAGE) std::free(c->storage);
                c->storage = nullptr;
                c->kind = s.kind;
                c->attr = 0;
                c->dimlen = 0;
                for (uint16_t& d : c->dims) d = 0;
            }
            memcpy(c->value, &s.value, sizeof s.value);
            g.values.pop_back();
        }
        return 0;
    }
    for (size_t i = g.slots.size(); i-- > f.bindings;) {
        SavedSlot& s = g.slots[i];
        DePtr& slot = slotOf(*f.program, s.index);
        if (handBack && s.copyBack && slot) {
            const int err = assignCell(env, s.copyBack, slot.get());
            if (err && !first) first = err;
        }
        // A function's entry takes the link its stand-in was given while the call was open: a
        // program resolved again meanwhile (edited lines) linked the stand-in, not the entry.
        if (slot && s.saved && s.saved->isFunction() && slot->isFunction())
            s.saved->fnline = slot->fnline;
        DePtr local = std::move(slot);
        slot = std::move(s.saved);
        recycleLocal(std::move(local));
    }
    g.slots.resize(f.bindings);
    return first;
}

bool isVariableEntry(const pcb& pc, const Cell* c) {
    return c && !(c->kind & DE_LITERAL) && findEntry(pc, c) != 0;
}

// Where function `fn` of `caller` runs: its own DEF line, or a library's through the link
// table.  Returns 0, 2282 (not linked) or the library's error.
int functionTarget(pcb& caller, int fn, const de& fe, pcb*& program, int& index, int16_t& line) {
    if (fe.fnline == kFnUnlinked) return kErrNotLinked;
    if (fe.fnline < kFnLibraryLink) {
        if (fe.fnline >= static_cast<uint32_t>(caller.linecnt)) return kErrNotLinked;
        program = &caller;
        index = fn;
        line = static_cast<int16_t>(fe.fnline);
        return 0;
    }
    const size_t k = fe.fnline - kFnLibraryLink;
    if (k >= caller.liblinks.size() || !caller.liblinks[k].lib) return kErrNotLinked;
    LibLink& link = caller.liblinks[k];
    if (int err = prepareLink(link)) return err;
    program = link.lib;
    index = link.libfn;
    line = link.defline;
    return 0;
}

// A fresh local for a formal or a result: the formal's kind, room for `capacity` characters.
DePtr newLocal(const de& like, size_t capacity) {
    const uint8_t kind = static_cast<uint8_t>(like.kind & (DE_STRING | DE_FUNCTION));
    DePtr e;
    if (!like.isString() && !g.spareLocals.empty()) {
        e = std::move(g.spareLocals.back());
        g.spareLocals.pop_back();
        *e = de{};
        e->kind = kind;
    } else {
        e = newDictEntry(kind, like.isString() ? capacity : 0);
    }
    if (!e) return e;
    e->fnline = like.fnline;
    if (like.isString()) e->dimlen = static_cast<uint16_t>(capacity);
    return e;
}

// Binds one formal (marker, dictionary index) to an actual (null `actual`: a missing optional).
int bindFormal(const EvalEnv& env, CallFrame& f, uint16_t marker, int index, const RpnEntry* actual) {
    pcb& pc = *f.program;
    de* formal = dictEntry(pc, index);
    if (!formal || formal->isFunction() || formal->isLiteral()) return kErrDefLayout;
    DePtr local;
    Cell* copyBack = nullptr;
    if (!actual) {
        local = newLocal(*formal, static_cast<size_t>(stringCapacity(formal)));
        if (!local) return kErrNoMemory;
        if (marker == kFormalArray) local->kind |= DE_FIXED;  // stays undimensioned
    } else {
        Cell* a = rpnCellOf(*actual);
        const bool aString = a && isStringCell(a);
        if (aString != formal->isString()) return kErrArgumentKind;
        if (marker == kFormalArray) {
            // The array itself: a local that shares the actual's elements.
            if (!isVariableEntry(*f.caller, a)) return kErrNotVariable;
            if (!isArrayCell(a) || cellDims(a) != formal->dimensions()) return kErrArgumentKind;
            local = newDictEntry(static_cast<uint8_t>(a->kind & (DE_STRING)), 0);
            if (!local) return kErrNoMemory;
            local->kind |= DE_FIXED;  // the storage stays the actual's: no redimensioning
            local->attr = a->attr;
            local->dimlen = a->dimlen;
            for (int d = 0; d < kMaxDims; ++d) local->dims[d] = a->dims[d];
            local->storage = a->storage;
        } else {
            if (a && isArrayCell(a)) return kErrArgumentKind;
            if (marker == kFormalReference) {
                if (!isVariableEntry(*f.caller, a)) return kErrNotVariable;
                copyBack = a;
            }
            size_t capacity = static_cast<size_t>(stringCapacity(formal));
            if (aString) capacity = std::max(capacity, cellString(a).size());
            local = newLocal(*formal, capacity);
            if (!local) return kErrNoMemory;
            if (a) {
                if (int err = assignCell(env, local.get(), a)) return err;
            } else {
                local->setNumber(rpnSmallValue(*actual));
            }
        }
    }
    DePtr& slot = slotOf(pc, index);
    g.slots.push_back({index, std::move(slot), copyBack});
    slot = std::move(local);
    return 0;
}

// The caller's stacks as they were at the call: the RPN stack and the work stack at their bases
// (the body's entries above them), the FOR stack back to the caller's frame.
void restoreStacks(const CallFrame& f) {
    RpnStack& rs = rpnStack();
    WorkStack& ws = workStack();
    rs.rpnStackNext = rs.rpn_stkbase;
    rs.rpn_stkbase = f.rpnBase;
    ws.base = f.workBase;
    ws.next = f.workNext;
    if (fs.fors.size() > f.forTop) fs.fors.resize(f.forTop);
    fs.forBase = f.forBase;
}

// The jump to a function's body: at `body` in the DEF's line, or the line after it (0).
void jumpToBody(RunCtx& r, const pcb& pc, int16_t defLine, size_t body) {
    r.jump = true;
    r.jumpLine = body == 0 ? pc.lineptr[static_cast<size_t>(defLine)].next : defLine;
    r.jumpOffset = body;
}

int16_t tableEntry(const pcb& pc, int entry) {
    if (entry == EEvent) return g.eventTarget;
    if (entry < 0 || entry >= static_cast<int>(std::size(pc.condtargets))) return kNotSet;
    return pc.condtargets[entry];
}

}  // namespace

void setFlowLimits(size_t flowEntries, size_t forEntries) {
    fs.flowLimit = flowEntries;
    fs.forLimit = forEntries;
}
void setIoerrExemption(bool on) { g.ioerrExemption = on; }

void applyRunSettings() {
    const ConfigLimits& l = configLimits();
    t.breakLines = l.breakLines;
    setIoerrExemption(l.ioerrExempt);
    setFlowLimits(static_cast<size_t>(l.flowStack), static_cast<size_t>(l.forStack));
}
size_t flowStackUse() { return fs.flow.size(); }
size_t forStackUse() { return fs.fors.size(); }

void resetFlow() {
    // Function frames give the caller's entries back to their slots; the stacks return to
    // the bases of the outermost call.
    RpnStack& rs = rpnStack();
    WorkStack& ws = workStack();
    const EvalEnv none;
    for (size_t i = g.calls.size(); i-- > 0;) {
        CallFrame& f = g.calls[i];
        (void)restoreSlots(f, none, false);
        if (f.program->activecalls > 0) --f.program->activecalls;
        rs.rpn_stkbase = f.rpnBase;
        ws.base = f.workBase;
        pchain.curpcb = f.caller;  // the outermost caller is current at the end
    }
    g.calls.clear();
    g.suspended.clear();
    g.resumed = false;
    rs.rpnStackNext = rs.rpn_stkbase;
    ws.next = ws.base;
    fs.flow.clear();
    fs.fors.clear();
    fs.forBase = 0;
    t.calldepth = 0;
}

void resetConditions(pcb& pc) {
    for (int i = 0; i < 10; ++i) pc.condtargets[i] = kNotSet;
    pc.condtargets[EPageoflow] = kIgnore;
    for (int16_t& k : pc.condnumbered) k = kIgnore;
    pc.condfurther = kIgnore;
    if (pc.libmode == kLibNone) g.eventTarget = kIgnore;  // one for the whole run
}

int skipPastLoop(RunCtx& r, size_t from) {
    int depth = 0;
    size_t pos = from;
    while (!atLineEnd(r.code, pos)) {
        ClauseView c;
        if (decodeClause(r.code, pos, c)) return kErrDamaged;
        if (c.code == StDo) {
            ++depth;
        } else if (c.code == StLoop) {
            if (depth == 0) return jumpToLine(r, r.line, c.next);
            --depth;
        }
        pos = c.next;
    }
    return kErrNoTarget;
}

int beginCall(RunCtx& r, size_t clauseStart) {
    const CallRequest q = callRequest();
    pcb& caller = *r.pc;
    const de* called = dictEntry(caller, q.fn);
    if (!called || !called->isFunction()) return kErrNotFunction;
    pcb* program = nullptr;
    int fn = 0;
    int16_t line = -1;
    if (int err = functionTarget(caller, q.fn, *called, program, fn, line)) return err;
    pcb& pc = *program;
    de* fe = dictEntry(pc, fn);
    if (!fe || !fe->isFunction()) return kErrNotFunction;
    // The DEF clause as the run decoded it, or decoded now.
    const CachedLine* defLine = cachedLine(pc, line);
    const std::span<const uint8_t> code = defLine ? defLine->code : lineCode(pc, line);
    ClauseView decoded;
    const ClauseView* view = &decoded;
    if (defLine && !defLine->clauses.empty()) view = &defLine->clauses[0].view;
    else if (atLineEnd(code, 0) || decodeClause(code, 0, decoded)) return kErrDefLayout;
    const ClauseView& def = *view;
    if (def.code != StDef || def.words < 1 || readWord(code.data() + def.wordsAt) != fn)
        return kErrDefLayout;
    if (def.words < 3 || (def.words - 3) % 2) return kErrDefLayout;
    const uint8_t* w = code.data() + def.wordsAt;
    const size_t bodyOffset = readWord(w + 2);
    if (bodyOffset != 0 && (bodyOffset >= code.size() || bodyOffset < def.next)) return kErrDefBody;

    RpnStack& rs = rpnStack();
    WorkStack& ws = workStack();
    if (q.args < 0 || rs.size() < static_cast<size_t>(q.args)) return kErrDamaged;
    if (rs.limit - rs.rpnStackNext < 2 * q.args + 12) return kErrRpnStack;
    if (fs.flow.size() >= fs.flowLimit) return kErrFlowStack;
    // The actuals stay where they are: binding pushes nothing, and the body's stack starts there
    // only once they are bound.
    rs.rpnStackNext -= q.args;
    const RpnEntry* const args = rs.rpnStackNext;

    CallFrame f{&pc, &caller, fn, g.slots.size(), rs.rpn_stkbase, ws.base, ws.next, fs.forBase,
                fs.fors.size(), r.line, clauseStart, q.resume, q.extraAt, q.extra, false,
                lineIdentity(caller, r.line)};
    // The result: a fresh zero or empty value for this call.
    DePtr result = newLocal(*fe, static_cast<size_t>(fe->isString() ? stringCapacity(fe) : 0));
    if (!result) return kErrNoMemory;
    DePtr& fnSlot = slotOf(pc, fn);
    g.slots.push_back({fn, std::move(fnSlot), nullptr});
    fnSlot = std::move(result);

    int err = 0, k = 0, formals = 0;
    bool optional = false;
    for (int i = 3; i + 1 < def.words && !err; i += 2) {
        const uint16_t marker = readWord(w + 2 * i);
        const int index = readWord(w + 2 * i + 2);
        if (marker == kFormalOptional) {
            optional = true;
            continue;
        }
        if (marker < kFormalValue || marker > kFormalArray) {
            err = kErrFormalMarker;
            break;
        }
        const RpnEntry* actual = k < q.args ? args + k : nullptr;
        if (!actual && !optional) {
            err = kErrArgumentCount;
            break;
        }
        ++k;
        err = bindFormal(r.env, f, marker, index, actual);
        if (!err) ++formals;
    }
    if (!err && k < q.args) err = kErrArgumentCount;
    if (err) {
        (void)restoreSlots(f, r.env, false);
        return err;
    }

    rs.rpn_stkbase = rs.rpnStackNext;
    ws.base = ws.next;
    fs.forBase = fs.fors.size();
    fs.flow.push_back({r.line, q.resume, static_cast<int16_t>(formals), f.callerCode});
    fs.noteFlowDepth();
    g.calls.push_back(std::move(f));
    ++t.calldepth;
    ++pc.activecalls;
    if (&pc != &caller) enterProgram(r, &pc);
    jumpToBody(r, pc, line, bodyOffset);
    return 0;
}

int beginFastCall(RunCtx& r, int fn, int16_t defLine, const CachedClause& def,
                  const CachedLine& defCode, const double* args, int nargs,
                  const FormAtCall& form, size_t rpnBelow, size_t workBelow) {
    pcb& pc = *r.pc;
    RpnStack& rs = rpnStack();
    WorkStack& ws = workStack();
    // What the general path would refuse, it refuses itself.
    if (def.opsCount != nargs || fs.flow.size() >= fs.flowLimit) return kDeclined;
    if (static_cast<size_t>(rs.limit - rs.rpnStackNext) < rpnBelow + 3 * static_cast<size_t>(nargs) + 12 ||
        static_cast<size_t>(ws.limit - ws.next) < workBelow)
        return kDeclined;
    // The result entry and the formals are bound in place: each must be a plain scalar.
    Cell* fe = cellAt(pc, fn);
    if (!fe || fe->kind != DE_FUNCTION || fe->attr) return kDeclined;
    const NumOp* formals = defCode.ops.data() + def.opsAt;
    for (int i = 0; i < nargs; ++i) {
        const Cell* formal = cellAt(pc, formals[i].index);
        if (!formal || formal->kind != 0 || formal->attr) return kDeclined;
    }

    g.calls.push_back({&pc, &pc, fn, g.values.size(), rs.rpn_stkbase, ws.base,
                       ws.next + workBelow, fs.forBase, fs.fors.size(), form.line, form.clause, 0,
                       0, 0, true, lineIdentity(pc, form.line)});
    // The result first, then the formals in order, as the general path binds them.
    g.values.push_back({fe, cellNumber(fe), fe->kind});
    setCellNumber(fe, 0);
    for (int i = 0; i < nargs; ++i) {
        Cell* formal = cellAt(pc, formals[i].index);
        g.values.push_back({formal, cellNumber(formal), 0});
        setCellNumber(formal, args[i]);
    }
    rs.rpn_stkbase = rs.rpnStackNext + rpnBelow;
    rs.rpnStackNext = rs.rpn_stkbase;
    ws.base = ws.next + workBelow;
    ws.next = ws.base;
    fs.forBase = fs.fors.size();
    fs.flow.push_back({form.line, 0, static_cast<int16_t>(nargs), lineIdentity(pc, form.line)});
    fs.noteFlowDepth();
    SuspendedForm& kept = g.suspended.emplace_back();
    kept.line = form.line;
    kept.clause = form.clause;
    kept.callAt = form.callAt;
    kept.depth = form.depth;
    copyNumbers(kept.values, form.values, form.depth);
    ++t.calldepth;
    ++pc.activecalls;
    jumpToBody(r, pc, defLine, def.jumpOffset);
    return 0;
}

SuspendedForm* resumedForm() { return g.resumed && !g.suspended.empty() ? &g.suspended.back() : nullptr; }

void dropResumedForm() {
    if (g.resumed && !g.suspended.empty()) g.suspended.pop_back();
    g.resumed = false;
}

SuspendedForm* returnFromFastCall(RunCtx& r, int& err) {
    err = 0;
    if (fs.flow.empty() || fs.flow.back().kind == -1 || g.calls.empty() || !g.calls.back().fast)
        return nullptr;
    CallFrame& f = g.calls.back();
    const double number = cellNumber(g.values[f.bindings].cell);  // the result entry
    restoreStacks(f);
    (void)restoreSlots(f, r.env);  // by value only: nothing is handed back
    if (f.program->activecalls > 0) --f.program->activecalls;
    const bool stale = f.callerCode != lineIdentity(*f.caller, f.line);
    const int16_t line = f.line;
    const size_t clause = f.clauseStart;
    g.calls.pop_back();
    fs.flow.pop_back();
    --t.calldepth;
    if (stale) {  // the calling line was replaced: nothing to resume
        g.suspended.pop_back();
        err = kErrDamaged;
        return nullptr;
    }
    r.jump = true;
    r.resume = true;
    r.fastResume = true;
    r.jumpLine = line;
    r.resumeClause = clause;
    r.jumpOffset = 0;
    SuspendedForm& form = g.suspended.back();
    form.result = number;
    g.resumed = true;
    return &form;
}

int returnFromCall(RunCtx& r) {
    if (fs.flow.empty() || fs.flow.back().kind == -1 || g.calls.empty()) return kErrFnendWithoutCall;
    if (g.calls.back().fast) {
        int err;
        return returnFromFastCall(r, err) ? 0 : err ? err : kErrFnendWithoutCall;
    }
    CallFrame f = std::move(g.calls.back());
    g.calls.pop_back();
    fs.flow.pop_back();
    --t.calldepth;
    // The result's value goes into a temporary of the caller's clause before its entry goes.
    const de* res = dictEntry(*f.program, f.fn);
    const bool isString = res && res->isString();
    restoreStacks(f);
    Cell* value;
    if (isString) {
        const std::string_view text = cellString(res);
        value = newStringTemp(static_cast<int>(text.size()));
        if (value) copyText(value->stringText(), text);
    } else {
        value = newNumberTemp(res ? cellNumber(res) : 0);
    }
    const int err = restoreSlots(f, r.env);
    if (!value) return kErrWorkStack;
    if (int perr = rpnPush(rpnCell(value))) return perr;
    if (err) return err;
    if (f.program->activecalls > 0) --f.program->activecalls;
    const bool stale = f.callerCode != lineIdentity(*f.caller, f.line);
    const std::span<const uint8_t> caller =
        f.line == kImmediateLine ? std::span<const uint8_t>(t.immediate) : lineCode(*f.caller, f.line);
    if (f.program != f.caller) {
        enterProgram(r, f.caller);
        // A library marked for release goes when its last call has returned.
        if (f.program->librelease && f.program->activecalls == 0) releaseLibrary(f.program);
    }
    // A calling line replaced while the call was open has no clause to go on with.
    if (stale || f.extraAt + 2 * static_cast<size_t>(f.extra) > caller.size()) return kErrDamaged;
    for (int i = 0; i < f.extra; ++i)
        if (int perr = pushWord(r.env, readWord(caller.data() + f.extraAt + 2 * static_cast<size_t>(i))))
            return perr;
    r.jump = true;
    r.resume = true;
    r.jumpLine = f.line;
    r.resumeClause = f.clauseStart;
    r.jumpOffset = f.resumePos;
    return 0;
}

KeyAction keyAtPoll(const pcb& pc, int32_t key) {
    if (key == kKeyHelp) {
        const int16_t entry = tableEntry(pc, EHelp);
        if (entry >= 0 && entry < pc.linecnt) return {entry, 5};
        if (entry == kNotSet) showHelpTopic(currentHelpTopic());  // then the run goes on
        return {};
    }
    int16_t entry;
    if (key >= 256 && key <= 10 * 256 && key % 256 == 0)
        entry = pc.condnumbered[key / 256 - 1];
    else if (key == kKeyFunction99)
        entry = pc.condfurther;
    else if (key == kKeyEvent)
        entry = g.eventTarget;
    else
        return {};  // not a key the run loop acts on
    if (entry == kIgnore) return {};
    if (entry >= 0 && entry < pc.linecnt) return {entry, 1};
    // No line for it: error 1, taken by the EVENT entry of the ON table, else by ON ERROR.
    int16_t trap = g.eventTarget;
    if (trap == kNotSet) trap = tableEntry(pc, EError);
    if (trap >= 0 && trap < pc.linecnt) return {trap, 1};
    if (trap == kIgnore) return {};
    return {-1, 1};
}

bool shutdownRequested() { return g.shutdown; }
void clearShutdownRequest() { g.shutdown = false; }

int flowControl(RunCtx& r, const ClauseView& v) {
    switch (v.code) {
        case StGoto: return gotoOrGosub(r, v, false);
        case StGosub: return gotoOrGosub(r, v, true);
        case StReturn: {
            if (fs.flow.empty() || fs.flow.back().kind != -1) return kErrReturnWithoutGosub;
            const FlowEntry e = fs.flow.back();
            fs.flow.pop_back();
            --t.calldepth;
            // The GOSUB's line was replaced or deleted (or another statement was typed) while
            // the subroutine ran: there is no clause to go on with.
            if (e.code != lineIdentity(*r.pc, e.line)) return kErrDamaged;
            return jumpToLine(r, e.line, e.returnOffset);
        }
        case StFnend: return returnFromCall(r);
        case StFor: return forStatement(r, v);
        case StNext: return nextStatement(r, v);
        case StLoop: {
            if (!v.direct) {
                double x;
                if (int err = popNumber(x)) return err;
                if (!isTrue(x)) return 0;
            }
            return jumpToPosition(r, v.wordsAt);
        }
        case StOn: return onStatement(r, v);
        case StContinue: return recoverStatement(r, false);
        case StRetry: return recoverStatement(r, true);
        case StSystem: return systemStatement(r);
        default: return kDeclined;
    }
}

int conditionSearch(const pcb& pc, int& err, std::span<const uint8_t> code, const ClauseView& v) {
    if (err == kErrHelpRequest) err = kErrHelpKey;
    const Row row = rowOf(err);
    const bool io = (v.code >= 16 && v.code <= 31) || v.code == StExecute;
    // IOERR in the statement's own exits catches everything, except the overflow and
    // conversion conditions when the session exempts them.
    const bool exempt = g.ioerrExemption &&
                        (row.cond == CSoflow || row.cond == CConv || row.cond == COflow);
    const int found = scanExits(pc, code, v, row, err, io && !exempt, false);
    Row use = row;
    if (found == -4) {
        err = kErrBadExitLine;
        use = rowOf(err);
    } else if (found != kNotSet) {
        return found;
    }
    int16_t entry = tableEntry(pc, use.entry);
    if (use.entry == EHelp && entry != kIgnore) return entry;
    if (io && (use.entry == EError || entry == kNotSet)) {
        const int16_t ioerr = tableEntry(pc, EIoerr);
        entry = ioerr != kNotSet ? ioerr : tableEntry(pc, EError);
    } else if (entry == kNotSet) {
        entry = tableEntry(pc, EError);
    }
    return entry;
}

}  // namespace vxs
