// Flow control (see flow.h): GOSUB/RETURN and ON expression GOTO/GOSUB on the flow stack,
// FOR/NEXT on the FOR stack, DO/LOOP, SYSTEM, ON condition, CONTINUE/RETRY and the condition
// search that maps an error to a statement exit, an ON-table line, IGNORE or no trap.
#include "vxs/interpreter/flow.h"

#include <cmath>
#include <iterator>
#include <vector>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/command2.h"
#include "vxs/control/errors.h"
#include "vxs/control/utils.h"
#include "vxs/interpreter/values.h"

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

constexpr int16_t kNotSet = -2, kIgnore = -3;

struct FlowEntry {
    int16_t line;
    size_t returnOffset;
    int16_t kind;  // -1: a GOSUB frame
};

struct ForEntry {
    Cell* var;
    double step;
    double limit;  // widened by the tolerance
    bool up;       // step >= 0
};

struct FlowState {
    std::vector<FlowEntry> flow;
    std::vector<ForEntry> fors;
    size_t forBase = 0;
    size_t flowLimit = 50;
    size_t forLimit = 30;
    int16_t eventTarget = kIgnore;  // ON EVENT
    bool shutdown = false;
};
FlowState g;

constexpr double kLimitTolerance = 5e-07;

int16_t wordAt(const RunCtx& r, size_t at) {
    return static_cast<int16_t>(readWord(r.code.data() + at));
}

int popNumber(double& x) {
    RpnEntry e;
    if (!rpnPop(e)) return 9301;
    const Cell* c = rpnCellOf(e);
    if (c && isStringCell(c)) return 9301;
    x = c ? cellNumber(c) : rpnSmallValue(e);
    return 0;
}

int jumpToLine(RunCtx& r, int16_t index, size_t offset = 0) {
    if (index == kImmediateLine) {
        r.jump = true;
        r.jumpLine = index;
        r.jumpOffset = offset;
        return 0;
    }
    if (index < 0 || index >= r.pc->linecnt) return kErrNoTarget;
    if (offset > lineCode(*r.pc, index).size()) return 9301;
    r.jump = true;
    r.jumpLine = index;
    r.jumpOffset = offset;
    return 0;
}

// A POS operand (line index, byte offset) at `at`.
int jumpToPosition(RunCtx& r, size_t at) {
    const int16_t line = wordAt(r, at);
    const int16_t offset = wordAt(r, at + 2);
    if (line < 0 || offset < 0) return kErrNoTarget;
    return jumpToLine(r, line, static_cast<size_t>(offset));
}

int pushGosub(RunCtx& r, size_t returnOffset) {
    if (g.flow.size() >= g.flowLimit) return kErrFlowStackFull;
    g.flow.push_back({r.line, returnOffset, -1});
    ++t.calldepth;
    return 0;
}

int gotoOrGosub(RunCtx& r, const ClauseView& v, bool gosub) {
    int16_t target;
    if (v.direct) {
        if (v.words < kLrefWords) return 9301;
        target = readLineRef(r.code.data() + v.wordsAt).index;
    } else {
        // ON x: n, LREF x n, has-NONE, and the NONE target's LREF when it has one
        if (v.words < 1) return 9301;
        const int n = wordAt(r, v.wordsAt);
        if (n < 0 || v.words < 2 + kLrefWords * n) return 9301;
        const bool hasNone = wordAt(r, v.wordsAt + 2 + 6 * static_cast<size_t>(n)) != 0;
        if (v.words != 2 + kLrefWords * (n + (hasNone ? 1 : 0))) return 9301;
        double x;
        if (int err = popNumber(x)) return err;
        const double k = std::floor(x + 0.500001);
        const size_t lrefs = v.wordsAt + 2;
        if (k >= 1 && k <= n) {
            target = readLineRef(r.code.data() + lrefs + 6 * (static_cast<size_t>(k) - 1)).index;
        } else {
            const size_t noneAt = lrefs + 6 * static_cast<size_t>(n);
            if (wordAt(r, noneAt) == 0) return 0;  // no NONE: the next clause
            target = readLineRef(r.code.data() + noneAt + 2).index;
        }
    }
    if (target < 0 || target >= r.pc->linecnt) return kErrNoTarget;
    if (gosub)
        if (int err = pushGosub(r, v.next)) return err;
    return jumpToLine(r, target);
}

int forStatement(RunCtx& r, const ClauseView& v) {
    if (v.words != 2) return 9301;
    double step, limit;
    if (int err = popNumber(step)) return err;
    if (int err = popNumber(limit)) return err;
    RpnEntry assigned, control;
    if (!rpnPop(assigned) || !rpnPop(control)) return 9301;
    Cell* var = rpnCellOf(control);
    if (!var || isStringCell(var)) return 9301;
    const bool up = step >= 0;
    const double widened = up ? limit + kLimitTolerance : limit - kLimitTolerance;
    size_t i = g.forBase;
    while (i < g.fors.size() && g.fors[i].var != var) ++i;
    if (i == g.fors.size()) {
        if (g.fors.size() >= g.forLimit) return kErrForStackFull;
        g.fors.push_back({});
    }
    g.fors[i] = {var, step, widened, up};
    const double value = cellNumber(var);
    if (up ? value > widened : value < widened) return jumpToPosition(r, v.wordsAt);
    return 0;
}

int nextStatement(RunCtx& r, const ClauseView& v) {
    if (v.words != 2) return 9301;
    RpnEntry control;
    if (!rpnPop(control)) return 9301;
    Cell* var = rpnCellOf(control);
    if (!var || isStringCell(var)) return 9301;
    size_t i = g.fors.size();
    while (i > g.forBase && g.fors[i - 1].var != var) --i;
    if (i == g.forBase) return kErrNextWithoutFor;
    const ForEntry& f = g.fors[i - 1];
    const double value = cellNumber(var) + f.step;
    setCellNumber(var, value);
    if (f.up ? value <= f.limit : value >= f.limit) return jumpToPosition(r, v.wordsAt);
    return 0;
}

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
    if (v.words != 2 + kLrefWords) return 9301;
    const uint8_t cond = static_cast<uint8_t>(wordAt(r, v.wordsAt) & 63);
    const int action = wordAt(r, v.wordsAt + 2);
    int16_t target;
    if (action == kOnSystem) {
        target = kNotSet;
    } else if (action == kOnIgnore) {
        target = kIgnore;
    } else if (action == kOnGoto) {
        target = readLineRef(r.code.data() + v.wordsAt + 4).index;
        if (target < 0 || target >= r.pc->linecnt) return kErrNoTarget;
    } else {
        return 9301;
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
    if (at >= code.size()) return 9301;
    if (retry || pc.lasterror == 1) return jumpToLine(r, pc.errorline, at);
    ClauseView failed;
    if (decodeClause(code, at, failed)) return 9301;
    return jumpToLine(r, pc.errorline, failed.next);
}

int systemStatement(RunCtx& r) {
    RpnEntry e;
    if (rpnPop(e)) {
        const Cell* c = rpnCellOf(e);
        if (c && isStringCell(c)) return 9301;
        setExitCode(toSubscript(c ? cellNumber(c) : rpnSmallValue(e)));
    }
    if (t.pendpcb) {
        t.curpcb = t.pendpcb;
        t.pendpcb = nullptr;
    }
    g.shutdown = true;
    r.jump = true;
    r.jumpLine = -2;
    return 0;
}

// The row of the error-to-condition table for `err`.
struct Row {
    uint8_t cond;
    int entry;
};
Row rowOf(int err) {
    switch (err) {
        case 1: return {CEvent, EEvent};
        case 2: case 726: return {CConv, EConv};
        case 4: case 58: return {CSoflow, ESoflow};
        case 3: return {COflow, EOflow};
        case 5: case 10005: return {CHelp, EHelp};
        case 6: return {CZdiv, EZdiv};
        case 53: return {CDuprec, EIoerr};
        case 4272: case 4273: return {CNokey, EIoerr};
        case 57: return {CNorec, EIoerr};
        case 54: case 4270: case 4239: return {CEof, EIoerr};
        case 701: return {CPageoflow, EPageoflow};
        case 4148: case 61: return {CLocked, ELocked};
        case 4145: return {CTimeout, ELocked};
        default: return {CError, EError};
    }
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

int16_t tableEntry(const pcb& pc, int entry) {
    if (entry == EEvent) return g.eventTarget;
    if (entry < 0 || entry >= static_cast<int>(std::size(pc.condtargets))) return kNotSet;
    return pc.condtargets[entry];
}

}  // namespace

void setFlowLimits(size_t flowEntries, size_t forEntries) {
    g.flowLimit = flowEntries;
    g.forLimit = forEntries;
}
size_t flowStackUse() { return g.flow.size(); }
size_t forStackUse() { return g.fors.size(); }

void resetFlow() {
    g.flow.clear();
    g.fors.clear();
    g.forBase = 0;
    t.calldepth = 0;
}

void resetConditions(pcb& pc) {
    for (int i = 0; i < 10; ++i) pc.condtargets[i] = kNotSet;
    pc.condtargets[EPageoflow] = kIgnore;
    for (int16_t& k : pc.condnumbered) k = kIgnore;
    pc.condfurther = kIgnore;
    g.eventTarget = kIgnore;
}

int skipPastLoop(RunCtx& r, size_t from) {
    int depth = 0;
    size_t pos = from;
    while (!atLineEnd(r.code, pos)) {
        ClauseView c;
        if (decodeClause(r.code, pos, c)) return 9301;
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

bool shutdownRequested() { return g.shutdown; }
void clearShutdownRequest() { g.shutdown = false; }

int flowControl(RunCtx& r, const ClauseView& v) {
    switch (v.code) {
        case StGoto: return gotoOrGosub(r, v, false);
        case StGosub: return gotoOrGosub(r, v, true);
        case StReturn: {
            if (g.flow.empty() || g.flow.back().kind != -1) return kErrReturnWithoutGosub;
            const FlowEntry e = g.flow.back();
            g.flow.pop_back();
            --t.calldepth;
            return jumpToLine(r, e.line, e.returnOffset);
        }
        case StFnend:
            if (g.flow.empty() || g.flow.back().kind == -1) return kErrFnendWithoutCall;
            return kErrNotAvailable;
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
        default: return -2;
    }
}

int conditionSearch(const pcb& pc, int& err, std::span<const uint8_t> code, const ClauseView& v) {
    if (err == 10005) err = 5;
    const Row row = rowOf(err);
    const bool io = (v.code >= 16 && v.code <= 31) || v.code == StExecute;
    const int found = scanExits(pc, code, v, row, err, io, false);
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
