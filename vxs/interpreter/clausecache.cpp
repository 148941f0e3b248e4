// The decoded lines of a run and the translation of clauses into fast forms (see clausecache.h).
//
// A numeric form is found by running the clause's items over a symbolic copy of the RPN stack:
// each entry remembers the operation that put its value on the double stack, so that an
// assignment can turn the operation of its target (a variable's value, an element's value) into
// the target's address.  The same walk counts what the general path would need of both stacks.
// Jump targets are checked here as the general path checks them when it jumps: a clause whose
// target the general path would refuse keeps no fast form, so that the general path raises the
// error.
#include "vxs/interpreter/clausecache.h"

#include "vxs/interpreter/filestmt.h"

#include <cstring>
#include <new>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/state.h"

namespace vxs {

namespace {

constexpr DecodedLines& g_lines = interp.lines;  // state.h

NumOpCode arithmeticOp(int kind, NumOpCode plain, NumOpCode add, NumOpCode sub, NumOpCode mul,
                       NumOpCode div) {
    switch (kind) {
        case OpAdd: return add;
        case OpSub: return sub;
        case OpMul: return mul;
        case OpDiv: return div;
        default: return plain;
    }
}

// Combines operations of the form at ops[first..]: fewer of them to run, the same effect (every
// check of the operations combined is made by the combination).
void combine(std::vector<NumOp>& ops, size_t first) {
    std::vector<NumOp>::iterator begin = ops.begin() + static_cast<long>(first);
    if (ops.back().op == NStoreEnd && begin->op == NVarRef) {
        ops.back() = {NStoreVar, 0, begin->index, 0, 0};
        ops.erase(begin);
    }
    size_t out = first;
    for (size_t i = first; i < ops.size(); ++i) {
        const NumOp& a = ops[i];
        const NumOp* b = i + 1 < ops.size() ? &ops[i + 1] : nullptr;
        NumOp c = a;
        if (b && (a.op == NConst || a.op == NLoad) && b->op == NBinary) {
            const bool constant = a.op == NConst;
            const NumOpCode op = constant ? arithmeticOp(b->kind, NBinaryConst, NAddConst,
                                                         NSubConst, NMulConst, NDivConst)
                                          : arithmeticOp(b->kind, NBinaryVar, NAddVar, NSubVar,
                                                         NMulVar, NDivVar);
            c = {op, b->kind, 0, a.index, a.value};
            ++i;
        } else if (b && (a.op == NConst || a.op == NLoad) && b->op == NCompare) {
            c = {a.op == NConst ? NCompareConst : NCompareVar, b->kind, 0, a.index, a.value};
            ++i;
        } else if (b && a.op == NLoad && (b->op == NElement || b->op == NElementRef) &&
                   b->kind == 1) {
            c = {b->op == NElement ? NElementVar : NElementRefVar, 1, b->index, a.index, 0};
            ++i;
        } else if (a.op == NBinary) {
            c.op = arithmeticOp(a.kind, NBinary, NAdd, NSub, NMul, NDiv);
        }
        ops[out++] = c;
    }
    ops.resize(out);
}

// An entry of the symbolic RPN stack.
enum EntryKind : uint8_t {
    kSmall,     // a small integer (not a cell: it cannot be assigned from directly)
    kConstant,  // a numeric literal, held as its value
    kVariable,  // a dictionary cell, read when used
    kValue,     // a temporary the general path would allocate
    kElement,   // an element reference
    kAssigned,  // an assignment's target after the assignment
};
struct Entry {
    EntryKind kind;
    int op;  // the operation that computes it
};

struct Translation {
    const pcb& pc;
    std::vector<NumOp>& ops;
    Entry stack[kMaxFormDepth];
    int depth = 0;
    int maxDepth = 0;     // of the general path's RPN stack
    size_t tempBytes = 0; // of the general path's work stack
    int first;            // the form's first operation in ops
    bool stored = false;  // an assignment has been made
    int callAt = -1;      // the call's operation
    int callBase = 0, callWork = 0;

    bool push(EntryKind kind, const NumOp& op) {
        if (depth == kMaxFormDepth) return false;
        stack[depth++] = {kind, static_cast<int>(ops.size())};
        ops.push_back(op);
        if (depth > maxDepth) maxDepth = depth;
        return true;
    }
    // Operand word `w` as the general path pushes it.
    bool pushWord(uint16_t w) {
        if (w < kFirstDictIndex) return push(kSmall, {NConst, 0, 0, 0, static_cast<double>(w)});
        const Cell* e = cellAt(pc, w);
        if (e && isStringCell(e)) return false;  // a string has no numeric form
        if (e && e->isLiteral() && !isStringCell(e) && !(e->kind & DE_STORAGE) && !isArrayCell(e))
            return push(kConstant, {NConst, 0, 0, 0, e->number()});
        return push(kVariable, {NLoad, 0, w, 0, 0});
    }
    // The value of the operation just added, in place of the operands it took (so there is room).
    void result(EntryKind kind = kValue) {
        stack[depth++] = {kind, static_cast<int>(ops.size()) - 1};
    }
    // Pops n values (anything but an assigned target).
    bool popValues(int n) {
        if (depth < n) return false;
        for (int i = 0; i < n; ++i)
            if (stack[depth - 1 - i].kind == kAssigned) return false;
        depth -= n;
        return true;
    }
    // The assignment of the top value to the entry below it, which becomes its address.
    bool assignTo(int at) {
        if (at < 0) return false;
        Entry& target = stack[at];
        NumOp& op = ops[static_cast<size_t>(target.op)];
        if (target.kind == kVariable && op.op == NLoad) op.op = NVarRef;
        else if (target.kind == kElement && op.op == NElement) op.op = NElementRef;
        else if (target.kind == kElement && op.op == NElementConst) op.op = NElementConstRef;
        else return false;
        target.kind = kAssigned;
        ops.push_back({NStore, 0, 0, 0, 0});
        stored = true;
        return true;
    }
};

bool isArithmetic(int kind) {
    return kind == OpAnd || kind == OpOr || kind == OpPower || kind == OpMul || kind == OpDiv ||
           kind == OpAdd || kind == OpSub;
}
bool isComparison(int kind) { return kind >= OpGt && kind <= OpEq; }
bool isUnary(int kind) { return kind >= OpNot && kind <= OpSgn; }

// Values taken from and put on the double stack by an operation of a finished form.
void stackEffect(const NumOp& op, int& pops, int& pushes) {
    pops = 0;
    pushes = 1;
    switch (op.op) {
        case NLoad: case NConst: case NElementConst: case NElementVar: case NVarRef:
        case NElementConstRef: case NElementRefVar: break;
        case NAdd: case NSub: case NMul: case NDiv: case NBinary: case NCompare: pops = 2; break;
        case NElement: case NElementRef: pops = op.kind; break;
        case NCall: pops = op.kind; break;
        case NStore: case NStoreEnd: case NStoreVar: pops = 1; pushes = 0; break;  // the target stays
        case NReload: case NEnd: pushes = 0; break;
        default: pops = 1; break;  // the operations on the top value
    }
}

// The form's call: what its operations hold below the arguments when the call is made.  Values
// of variables are read again when the form resumes (the general path reads them only when an
// operator uses them, after the call); element values and addresses cannot wait across it.
// Arguments that are variables are checked at the call (an array is not a number).  Adds the
// NReload entries after the call; false when the form cannot keep its values across the call.
bool planCall(std::vector<NumOp>& ops, size_t first, size_t& callAt) {
    int producer[kMaxFormDepth];
    int n = 0;
    size_t i = first;
    for (; ops[i].op != NCall; ++i) {
        int pops, pushes;
        stackEffect(ops[i], pops, pushes);  // (no assignment comes before a call)
        n -= pops;
        if (n < 0) return false;
        for (int k = 0; k < pushes; ++k) {
            if (n == kMaxFormDepth) return false;
            producer[n++] = static_cast<int>(i);
        }
    }
    callAt = i;
    const int args = ops[i].kind;
    if (n < args) return false;
    std::vector<NumOp> reloads;
    for (int pos = 0; pos < n; ++pos) {
        const NumOp& from = ops[static_cast<size_t>(producer[pos])];
        const bool argument = pos >= n - args;
        switch (from.op) {
            case NLoad:
                reloads.push_back({NReload, static_cast<uint8_t>(argument ? 1 : 0), from.index,
                                   static_cast<uint16_t>(pos), 0});
                break;
            case NElement: case NElementConst: case NElementVar:
                if (!argument) return false;  // read after the call by the general path
                break;
            case NVarRef: case NElementRef: case NElementConstRef: case NElementRefVar:
                return false;
            default: break;  // a computed value or a constant: fixed before the call
        }
    }
    ops[i].operand = static_cast<uint16_t>(reloads.size());
    ops.insert(ops.begin() + static_cast<long>(i) + 1, reloads.begin(), reloads.end());
    return true;
}

// Translates the expression of clause `v` into a numeric form (LET, IF or FOR).  False when the
// clause holds anything else; `ops` then keeps what it had.
bool translateNumeric(const pcb& pc, std::span<const uint8_t> code, CachedLine& l, CachedClause& c) {
    const ClauseView& v = c.view;
    if (v.direct || (v.code != StLet && v.code != StIf && v.code != StFor)) return false;
    Translation x{pc, l.ops, {}, 0, 0, 0, static_cast<int>(l.ops.size())};
    auto fail = [&] {
        l.ops.resize(static_cast<size_t>(x.first));
        return false;
    };
    for (int i = 0; i < v.count; ++i)
        if (!x.pushWord(readWord(code.data() + v.start + 1 + 2 * static_cast<size_t>(i)))) return fail();
    const size_t tempSize = tempBytes(8);
    size_t pos = v.itemsAt;
    for (;;) {
        uint8_t h;
        size_t wordsAt, next;
        int words;
        if (decodeItem(code, pos, h, wordsAt, words, next)) return fail();
        const int kind = h & 0x3F;
        const int params = operatorParameterWords(kind);
        if (params > words) return fail();
        auto word = [&](int i) { return readWord(code.data() + wordsAt + 2 * static_cast<size_t>(i)); };
        pos = next;
        if (kind == OpEnd) {
            for (int i = 0; i < words; ++i)
                if (!x.pushWord(word(i))) return fail();
            break;
        }
        if (isArithmetic(kind)) {
            if (!x.popValues(2)) return fail();
            x.ops.push_back({NBinary, static_cast<uint8_t>(kind), 0, 0, 0});
            if (words == 0 && pos < code.size() && code[pos] == OpAssign) {
                // The general path's fused form: the result goes straight into the target.
                ++pos;
                if (!x.assignTo(x.depth - 1)) return fail();
            } else {
                x.result();
                x.tempBytes += tempSize;
            }
        } else if (isComparison(kind) || isUnary(kind)) {
            const bool unary = isUnary(kind);
            if (!x.popValues(unary ? 1 : 2)) return fail();
            x.ops.push_back({static_cast<uint8_t>(kind == OpInt ? NInt : unary ? NUnary : NCompare),
                             static_cast<uint8_t>(kind), 0, 0, 0});
            x.result();
            x.tempBytes += tempSize;
        } else if (kind == OpAssign) {
            // The source must be a cell: a small integer is not one.
            if (x.depth < 2 || x.stack[x.depth - 1].kind == kSmall || !x.popValues(1)) return fail();
            if (!x.assignTo(x.depth - 1)) return fail();
        } else if (kind == OpElement || kind == OpElementConst) {
            const int subscripts = kind == OpElement ? word(1) : 0;
            if (kind == OpElement && (subscripts < 1 || subscripts > kMaxDims)) return fail();
            const Cell* array = cellAt(pc, word(0));
            if ((array && isStringCell(array)) || !x.popValues(subscripts)) return fail();
            if (kind == OpElement)
                x.ops.push_back({NElement, static_cast<uint8_t>(subscripts), word(0), 0, 0});
            else
                x.ops.push_back({NElementConst, 0, word(0), 0, static_cast<double>(word(1))});
            x.result(kElement);
            x.tempBytes += tempSize;
        } else if (kind == OpCallFn) {
            // One call of a numeric user function, before anything is assigned.
            const int args = word(1);
            const Cell* fn = cellAt(pc, word(0));
            if (v.code == StFor || x.callAt >= 0 || x.stored || !fn || !fn->isFunction() ||
                isStringCell(fn) || args > 63 || x.depth < args)
                return fail();
            for (int i = 0; i < args; ++i)
                if (x.stack[x.depth - 1 - i].kind == kAssigned) return fail();
            x.callBase = x.depth - args;
            x.callWork = static_cast<int>(x.tempBytes);
            x.depth -= args;
            x.callAt = static_cast<int>(x.ops.size());
            x.ops.push_back({NCall, static_cast<uint8_t>(args), word(0), 0, 0});
            x.result();
            x.tempBytes += tempSize;  // the general path's function value
        } else if (kind == OpInteger) {
            if (!x.push(kSmall, {NConst, 0, 0, 0, static_cast<double>(word(0) & 0x7FFF)})) return fail();
        } else {
            return fail();
        }
        if (x.maxDepth < x.depth) x.maxDepth = x.depth;
        for (int i = params; i < words; ++i)
            if (!x.pushWord(word(i))) return fail();
    }
    // LET: one assignment, the last operation; IF: one value; FOR: the control variable, its
    // assigned start, the limit and the step.
    if (v.code == StLet) {
        if (x.depth != 1 || x.stack[0].kind != kAssigned || x.ops.back().op != NStore) return fail();
        x.ops.back().op = NStoreEnd;
    } else if (v.code == StIf) {
        if (x.depth != 1 || x.stack[0].kind == kAssigned) return fail();
        x.ops.push_back({NEnd, 0, 0, 0, 0});
    } else {
        if (x.depth != 4 || x.stack[0].kind != kVariable || x.stack[1].kind != kAssigned ||
            x.stack[2].kind == kAssigned || x.stack[3].kind == kAssigned)
            return fail();
        const NumOp& control = x.ops[static_cast<size_t>(x.stack[0].op)];
        if (control.op != NLoad || x.stack[0].op != x.first) return fail();
        c.variable = control.index;
        // The FOR statement takes the control variable's cell, not its value.
        x.ops.erase(x.ops.begin() + x.first);
        x.ops.push_back({NEnd, 0, 0, 0, 0});
    }
    if (x.maxDepth > 0xFFFF || x.tempBytes > 0xFFFF) return fail();
    combine(l.ops, static_cast<size_t>(x.first));
    if (x.callAt >= 0) {
        size_t callAt;
        if (!planCall(l.ops, static_cast<size_t>(x.first), callAt)) return fail();
        c.callAt = static_cast<uint16_t>(callAt - static_cast<size_t>(x.first));
        c.callBase = static_cast<uint16_t>(x.callBase);
        c.callWork = static_cast<uint16_t>(x.callWork);
    }
    c.form = v.code == StLet ? FastForm::Let : v.code == StIf ? FastForm::If : FastForm::For;
    c.opsAt = static_cast<uint16_t>(x.first);
    c.opsCount = static_cast<uint16_t>(l.ops.size() - static_cast<size_t>(x.first));
    c.rpnDepth = static_cast<uint16_t>(x.maxDepth);
    c.workBytes = static_cast<uint16_t>(x.tempBytes);
    return true;
}

// Whether the general path would accept a jump to (line, offset) from a clause of line `from`
// (jumpToLine's checks), for a target read from the code.
bool validPosition(const pcb& pc, int16_t from, std::span<const uint8_t> code, int16_t line,
                   int16_t offset) {
    if (line < 0 || line >= pc.linecnt || offset < 0) return false;
    if (offset == 0) return true;
    const size_t size = line == from ? code.size() : lineCode(pc, line).size();
    return static_cast<size_t>(offset) <= size;
}

// A position at the end of its line is the start of the next line: the run goes there without
// the line-start work of the line it passes (as the run loop does when it reaches the end).
void settle(const pcb& pc, int16_t& line, uint16_t& offset) {
    if (offset != 0 && line >= 0 && line < pc.linecnt && atLineEnd(lineCode(pc, line), offset)) {
        line = pc.lineptr[static_cast<size_t>(line)].next;
        offset = 0;
    }
}

// The jump of a numeric IF (where a false test goes on) or FOR (past its NEXT), checked as the
// general path checks it: false when that path would refuse it, so that it raises the error.
bool formJump(const pcb& pc, int16_t line, std::span<const uint8_t> code, CachedClause& c) {
    const ClauseView& v = c.view;
    auto wordAt = [&](int i) {
        return static_cast<int16_t>(readWord(code.data() + v.wordsAt + 2 * static_cast<size_t>(i)));
    };
    if (c.form == FastForm::If || c.form == FastForm::MixIf) {
        if (v.words != 1) return false;
        c.target = wordAt(0);
        int16_t toLine;
        size_t toOffset;
        if (falseTestTarget(pc, line, code, c.target, false, v.next, toLine, toOffset)) return false;
        c.jumpLine = toLine;
        c.jumpOffset = static_cast<uint16_t>(toOffset);
    } else if (c.form == FastForm::For) {
        if (v.words != 2 || !validPosition(pc, line, code, wordAt(0), wordAt(1))) return false;
        c.jumpLine = wordAt(0);
        c.jumpOffset = static_cast<uint16_t>(wordAt(1));
    }
    settle(pc, c.jumpLine, c.jumpOffset);
    return true;
}

// A DEF whose function a fast form may call: every formal numeric and by value, the result
// numeric, the body where the general path would find it.  Its formals become its operations.
void translateDef(const pcb& pc, std::span<const uint8_t> code, CachedLine& l, CachedClause& c) {
    const ClauseView& v = c.view;
    c.form = FastForm::Nothing;
    if (v.start != 0 || v.words < 3 || (v.words - 3) % 2) return;
    const uint8_t* w = code.data() + v.wordsAt;
    const Cell* fn = cellAt(pc, readWord(w));
    const size_t body = readWord(w + 2);
    if (!fn || !fn->isFunction() || isStringCell(fn)) return;
    if (body != 0 && (body >= code.size() || body < v.next)) return;
    const size_t first = l.ops.size();
    for (int i = 3; i + 1 < v.words; i += 2) {
        const Cell* formal = cellAt(pc, readWord(w + 2 * i + 2));
        if (readWord(w + 2 * i) != kFormalValue || !formal || formal->isFunction() ||
            formal->isLiteral() || isStringCell(formal)) {
            l.ops.resize(first);
            return;
        }
        l.ops.push_back({NLoad, 0, readWord(w + 2 * i + 2), 0, 0});
    }
    c.form = FastForm::Def;
    c.variable = readWord(w);
    c.jumpOffset = static_cast<uint16_t>(body);
    c.opsAt = static_cast<uint16_t>(first);
    c.opsCount = static_cast<uint16_t>(l.ops.size() - first);
}

// The fast form of a clause that is not a numeric form.
void translateStatement(const pcb& pc, int16_t line, std::span<const uint8_t> code, CachedLine& l,
                        CachedClause& c) {
    const ClauseView& v = c.view;
    auto wordAt = [&](int i) {
        return static_cast<int16_t>(readWord(code.data() + v.wordsAt + 2 * static_cast<size_t>(i)));
    };
    // Nothing to push or evaluate before the statement: a direct form right after the count,
    // or a statement item after a bare terminator.
    const bool bare = v.count == 0 && (v.direct ? v.itemsAt == v.stmtAt : v.itemsAt + 1 == v.stmtAt);
    switch (v.code) {
        case StNext: {
            if (v.direct || v.count != 1 || v.words != 2 || code[v.itemsAt] != kTerminator) return;
            const uint16_t w = readWord(code.data() + v.start + 1);
            if (w < kFirstDictIndex || !validPosition(pc, line, code, wordAt(0), wordAt(1))) return;
            c.form = FastForm::Next;
            c.variable = w;
            c.rpnDepth = 1;
            c.jumpLine = wordAt(0);
            c.jumpOffset = static_cast<uint16_t>(wordAt(1));
            settle(pc, c.jumpLine, c.jumpOffset);
            return;
        }
        case StGoto:
        case StGosub:
            if (!v.direct || !bare || v.words < kLrefWords) return;
            if (wordAt(0) < 0 || wordAt(0) >= pc.linecnt) return;
            c.form = v.code == StGoto ? FastForm::Goto : FastForm::Gosub;
            c.target = wordAt(0);
            return;
        case StReturn:
        case StFnend:
            if (v.direct && bare) c.form = v.code == StReturn ? FastForm::Return : FastForm::Fnend;
            return;
        case StSkip:
            if (!v.direct || !bare || v.words < 1) return;
            if (wordAt(0) != kTargetNextLine && (wordAt(0) < 0 || wordAt(0) >= pc.linecnt)) return;
            c.form = FastForm::Skip;
            c.target = wordAt(0);
            return;
        case StDef:
            if (!v.direct && bare) translateDef(pc, code, l, c);
            return;
        case StRem:
        case StLabel:
        case StExit:
        case StIgnore:
        case StData:
        case StForm:
            // Nothing to do when reached, and nothing to evaluate before.
            if (bare) c.form = FastForm::Nothing;
            return;
        default: return;
    }
}

bool decodeLine(const pcb& pc, const std::vector<uint8_t>& formals, int16_t line,
                std::span<const uint8_t> code, CachedLine& l) {
    l.code = code;
    l.clauseAt.assign(code.size() + 1, 0xFF);
    size_t pos = 0;
    while (!atLineEnd(code, pos)) {
        CachedClause c;
        if (decodeClause(code, pos, c.view)) break;  // the general path reports it
        if (translateNumeric(pc, code, l, c)) {
            if (!formJump(pc, line, code, c)) c.form = FastForm::None;
            else if (g_lines.registerForms) (void)translateRegForm(pc, formals, l, c);
        } else if (g_lines.registerForms && translateMixedForm(pc, code, l, c)) {
            if (!formJump(pc, line, code, c)) c.form = FastForm::None;
        } else {
            translateStatement(pc, line, code, l, c);
        }
        l.clauseAt[pos] = static_cast<uint8_t>(l.clauses.size());
        l.clauses.push_back(c);
        pos = c.view.next;
    }
    placeRegConstants(l);
    return l.ops.size() <= 0xFFFF;
}

// The names that some DEF of the program binds as formals, by dictionary index (every index the
// program can hold is covered; a DEF that does not decode marks nothing: its call fails anyway).
std::vector<uint8_t> formalsOf(const pcb& pc) {
    std::vector<uint8_t> marks(static_cast<size_t>(kFirstDictIndex + pc.dictcnt) + 1, 0);
    for (int16_t i = 0; i < pc.linecnt; ++i) {
        const std::span<const uint8_t> code = lineCode(pc, i);
        size_t pos = 0;
        while (!atLineEnd(code, pos)) {
            ClauseView v;
            if (decodeClause(code, pos, v)) break;
            if (v.code == StDef && v.words >= 3) {
                const uint8_t* w = code.data() + v.wordsAt;
                for (int k = 3; k + 1 < v.words; k += 2) {
                    const uint16_t index = readWord(w + 2 * k + 2);
                    if (index < marks.size()) marks[index] = 1;
                }
            }
            pos = v.next;
        }
    }
    return marks;
}

}  // namespace

const CachedLine* decodeCachedLine(const pcb& pc, int16_t line) {
    if (g_lines.stale) {
        for (ProgramLines& p : g_lines.programs) g_lines.forgotten.push_back(std::move(p));
        g_lines.programs.clear();
        g_lines.last = nullptr;
        g_lines.stale = false;
    }
    if (line < 0 || line >= pc.linecnt) return nullptr;
    if (const CachedLine* l = detail::lookupLine(pc, line)) return l;
    try {
        ProgramLines* p = g_lines.last && g_lines.last->program == &pc ? g_lines.last : nullptr;
        for (size_t i = 0; i < g_lines.programs.size() && !p; ++i)
            if (g_lines.programs[i].program == &pc) p = &g_lines.programs[i];
        if (!p) p = &g_lines.programs.emplace_back(ProgramLines{&pc, {}, formalsOf(pc)});
        g_lines.last = p;
        if (p->lines.size() < static_cast<size_t>(pc.linecnt))
            p->lines.resize(static_cast<size_t>(pc.linecnt));
        auto l = std::make_unique<CachedLine>();
        l->area = pc.codearea.data();
        l->at = pc.lineptr[static_cast<size_t>(line)].code;
        if (!decodeLine(pc, p->formals, line, lineCode(pc, line), *l)) return nullptr;
        p->lines[static_cast<size_t>(line)] = std::move(l);
        return p->lines[static_cast<size_t>(line)].get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void clearClauseCache() {
    g_lines.stale = true;
    forgetForms();  // compiled forms hold dictionary indexes of the programs too
}

void releaseForgottenLines() { g_lines.forgotten.clear(); }

void freeClauseCache() {
    g_lines.programs.clear();
    g_lines.forgotten.clear();
    g_lines.last = nullptr;
    g_lines.stale = false;
}

}  // namespace vxs
