// The decoded lines of a run and the fast numeric forms (see clausecache.h).
//
// A numeric form is found by running the clause's items over a symbolic copy of the RPN stack:
// each entry remembers the operation that put its value on the double stack, so that an
// assignment can turn the operation of its target (a variable's value, an element's value) into
// the target's address.  The same walk counts what the general path would need of both stacks.
#include "vxs/interpreter/clausecache.h"

#include <cstring>
#include <new>

#include "vxs/compiler/codes.h"
#include "vxs/compiler/command2.h"

namespace vxs {

namespace detail {
bool g_fastForms = true;
}

namespace {

// The operations of a numeric form.
enum NumOpCode : uint8_t {
    NLoad,              // the number of variable `index` (a string: give up)
    NConst,             // `value`
    NBinary,            // operator `kind` on the two top values
    NCompare,           // comparison `kind` of the two top values: 1 or 0
    NUnary,             // operator `kind` on the top value
    NElement,           // `kind` subscripts: the value of that element of array `index`
    NElementConst,      // subscript `value`: the value of that element of array `index`
    NVarRef,            // the address of variable `index`'s number (an assignment's target)
    NElementRef,        // as NElement, its address
    NElementConstRef,   // as NElementConst, its address
    NStore,             // the top value into the address below it; the last operation
    // Combined operations, made from the ones above once a form is complete:
    NBinaryConst,       // NConst `value`, NBinary `kind`
    NBinaryVar,         // NLoad `operand`, NBinary `kind`
    NCompareConst,      // NConst `value`, NCompare `kind`
    NCompareVar,        // NLoad `operand`, NCompare `kind`
    NElementVar,        // NLoad `operand`, NElement of one subscript
    NElementRefVar,     // NLoad `operand`, NElementRef of one subscript
    NStoreVar,          // NVarRef `index` first, NStore last: the top value into the variable
    NEnd,               // the value of the form (IF); the last operation
};

// Combines operations of the form at ops[first..]: fewer of them to run, the same effect (every
// check of the operations combined is made by the combination).
void combine(std::vector<NumOp>& ops, size_t first) {
    std::vector<NumOp>::iterator begin = ops.begin() + static_cast<long>(first);
    if (ops.back().op == NStore && begin->op == NVarRef) {
        ops.back() = {NStoreVar, 0, begin->index, 0, 0};
        ops.erase(begin);
    } else if (ops.back().op != NStore) {
        ops.push_back({NEnd, 0, 0, 0, 0});
    }
    size_t out = first;
    for (size_t i = first; i < ops.size(); ++i) {
        const NumOp& a = ops[i];
        const NumOp* b = i + 1 < ops.size() ? &ops[i + 1] : nullptr;
        NumOp c = a;
        if (b && (a.op == NConst || a.op == NLoad) &&
            (b->op == NBinary || b->op == NCompare)) {
            const bool constant = a.op == NConst;
            c = {static_cast<uint8_t>(b->op == NBinary ? (constant ? NBinaryConst : NBinaryVar)
                                                       : (constant ? NCompareConst : NCompareVar)),
                 b->kind, 0, a.index, a.value};
            ++i;
        } else if (b && a.op == NLoad && (b->op == NElement || b->op == NElementRef) &&
                   b->kind == 1) {
            c = {static_cast<uint8_t>(b->op == NElement ? NElementVar : NElementRefVar), 1,
                 b->index, a.index, 0};
            ++i;
        }
        ops[out++] = c;
    }
    ops.resize(out);
}

constexpr int kMaxDepth = 32;  // values a numeric form may hold at once

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
    Entry stack[kMaxDepth];
    int depth = 0;
    int maxDepth = 0;     // of the general path's RPN stack
    size_t tempBytes = 0; // of the general path's work stack
    int first;            // the form's first operation in ops

    bool push(EntryKind kind, const NumOp& op) {
        if (depth == kMaxDepth) return false;
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
        return true;
    }
};

bool isArithmetic(int kind) {
    return kind == OpAnd || kind == OpOr || kind == OpPower || kind == OpMul || kind == OpDiv ||
           kind == OpAdd || kind == OpSub;
}
bool isComparison(int kind) { return kind >= OpGt && kind <= OpEq; }
bool isUnary(int kind) { return kind >= OpNot && kind <= OpSgn; }

// Translates the expression of clause `v` into a numeric form (LET or IF).  False when the
// clause holds anything else; `ops` then keeps what it had.
bool translateNumeric(const pcb& pc, std::span<const uint8_t> code, CachedLine& l, CachedClause& c) {
    const ClauseView& v = c.view;
    if (v.direct || (v.code != StLet && v.code != StIf)) return false;
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
            x.ops.push_back({static_cast<uint8_t>(unary ? NUnary : NCompare),
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
        } else if (kind == OpInteger) {
            if (!x.push(kSmall, {NConst, 0, 0, 0, static_cast<double>(word(0) & 0x7FFF)})) return fail();
        } else {
            return fail();
        }
        if (x.maxDepth < x.depth) x.maxDepth = x.depth;
        for (int i = params; i < words; ++i)
            if (!x.pushWord(word(i))) return fail();
    }
    // LET: one assignment, the last operation; IF: one value.
    const bool assigned = x.depth == 1 && x.stack[0].kind == kAssigned;
    if (v.code == StLet ? !assigned || x.ops.back().op != NStore : x.depth != 1 || assigned)
        return fail();
    if (x.maxDepth > 0xFFFF || x.tempBytes > 0xFFFF) return fail();
    combine(l.ops, static_cast<size_t>(x.first));
    c.form = v.code == StLet ? FastForm::Let : FastForm::If;
    c.opsAt = static_cast<uint16_t>(x.first);
    c.opsCount = static_cast<uint16_t>(l.ops.size() - static_cast<size_t>(x.first));
    c.rpnDepth = static_cast<uint16_t>(x.maxDepth);
    c.workBytes = static_cast<uint16_t>(x.tempBytes);
    return true;
}

// NEXT of a variable: its one count word, an empty expression, the statement with its POS.
bool translateNext(std::span<const uint8_t> code, CachedClause& c) {
    const ClauseView& v = c.view;
    if (v.direct || v.code != StNext || v.count != 1 || v.words != 2) return false;
    const uint16_t w = readWord(code.data() + v.start + 1);
    if (w < kFirstDictIndex || code[v.itemsAt] != kTerminator) return false;
    c.form = FastForm::Next;
    c.variable = w;
    c.rpnDepth = 1;
    return true;
}

bool decodeLine(const pcb& pc, std::span<const uint8_t> code, CachedLine& l) {
    l.code = code;
    size_t pos = 0;
    while (!atLineEnd(code, pos)) {
        CachedClause c;
        if (decodeClause(code, pos, c.view)) break;  // the general path reports it
        if (!translateNumeric(pc, code, l, c)) (void)translateNext(code, c);
        l.clauses.push_back(c);
        pos = c.view.next;
    }
    return l.ops.size() <= 0xFFFF;
}

}  // namespace

namespace detail {
std::vector<ProgramLines> g_programs;
ProgramLines* g_last = nullptr;
bool g_stale = false;
}  // namespace detail

using detail::g_last;
using detail::g_programs;
using detail::g_stale;

const CachedLine* decodeCachedLine(const pcb& pc, int16_t line) {
    if (g_stale) {
        g_programs.clear();
        g_last = nullptr;
        g_stale = false;
    }
    if (line < 0 || line >= pc.linecnt) return nullptr;
    if (const CachedLine* l = detail::lookupLine(pc, line)) return l;
    try {
        ProgramLines* p = g_last && g_last->program == &pc ? g_last : nullptr;
        for (size_t i = 0; i < g_programs.size() && !p; ++i)
            if (g_programs[i].program == &pc) p = &g_programs[i];
        if (!p) p = &g_programs.emplace_back(ProgramLines{&pc, {}});
        g_last = p;
        if (p->lines.size() < static_cast<size_t>(pc.linecnt))
            p->lines.resize(static_cast<size_t>(pc.linecnt));
        auto l = std::make_unique<CachedLine>();
        l->area = pc.codearea.data();
        l->at = pc.lineptr[static_cast<size_t>(line)].code;
        if (!decodeLine(pc, lineCode(pc, line), *l)) return nullptr;
        p->lines[static_cast<size_t>(line)] = std::move(l);
        return p->lines[static_cast<size_t>(line)].get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void clearClauseCache() { g_stale = true; }

bool runNumeric(const CachedLine& l, const CachedClause& c, const EvalEnv& env, double& value) {
    // What the general path would find too full, it must meet itself.
    const RpnStack& rs = rpnStack();
    const WorkStack& ws = workStack();
    if (rs.limit - rs.rpnStackNext < c.rpnDepth || ws.limit - ws.next < c.workBytes) return false;
    // The values, and beside them the addresses of assignment targets.
    double d[kMaxDepth];
    uint8_t* p[kMaxDepth];
    int n = 0;
    const pcb& pc = *env.pc;
    // A numeric cell of the dictionary, or null (a free slot, a string).
    auto number = [&pc](uint16_t index) -> Cell* {
        Cell* e = cellAt(pc, index);
        return e && !isStringCell(e) ? e : nullptr;
    };
    // The address of element `subscripts` (below the top n) of numeric array `index`.
    auto element = [&](const NumOp& op, const double* subscripts, uint8_t*& at) {
        const Cell* array = cellAt(pc, op.index);
        if (!array || isStringCell(array)) return false;
        if (op.op == NElementConst || op.op == NElementConstRef)
            return elementAddressConstant(env, array, static_cast<int>(op.value), at) == 0;
        return elementAddress(env, array, subscripts, op.kind, at) == 0;
    };
    for (const NumOp* op = l.ops.data() + c.opsAt;; ++op) {
        switch (op->op) {
            case NLoad: {
                const Cell* e = number(op->index);
                if (!e) return false;
                d[n++] = cellNumber(e);
                break;
            }
            case NConst: d[n++] = op->value; break;
            case NBinary:
                --n;
                if (arithmetic(op->kind, d[n - 1], d[n], d[n - 1])) return false;
                break;
            case NBinaryConst:
                if (arithmetic(op->kind, d[n - 1], op->value, d[n - 1])) return false;
                break;
            case NBinaryVar: {
                const Cell* e = number(op->operand);
                if (!e || arithmetic(op->kind, d[n - 1], cellNumber(e), d[n - 1])) return false;
                break;
            }
            case NCompare:
                --n;
                d[n - 1] = compareResult(op->kind, compareNumbers(d[n - 1], d[n])) ? 1.0 : 0.0;
                break;
            case NCompareConst:
                d[n - 1] = compareResult(op->kind, compareNumbers(d[n - 1], op->value)) ? 1.0 : 0.0;
                break;
            case NCompareVar: {
                const Cell* e = number(op->operand);
                if (!e) return false;
                d[n - 1] = compareResult(op->kind, compareNumbers(d[n - 1], cellNumber(e))) ? 1.0 : 0.0;
                break;
            }
            case NUnary: d[n - 1] = unaryOperation(op->kind, d[n - 1]); break;
            case NElement:
            case NElementRef:
            case NElementConst:
            case NElementConstRef:
            case NElementVar:
            case NElementRefVar: {
                double subscript;
                const double* subscripts = &subscript;
                if (op->op == NElementVar || op->op == NElementRefVar) {
                    const Cell* e = number(op->operand);
                    if (!e) return false;
                    subscript = cellNumber(e);
                } else if (op->op == NElement || op->op == NElementRef) {
                    n -= op->kind;
                    subscripts = d + n;
                }
                uint8_t* at;
                if (!element(*op, subscripts, at)) return false;
                if (op->op == NElementRef || op->op == NElementConstRef || op->op == NElementRefVar)
                    p[n++] = at;
                else
                    memcpy(&d[n++], at, sizeof(double));
                break;
            }
            case NVarRef: {
                Cell* e = number(op->index);
                if (!e) return false;
                p[n++] = (e->kind & DE_STORAGE) && e->storage ? static_cast<uint8_t*>(e->storage)
                                                                : e->value;
                break;
            }
            case NStore:
                value = d[n - 1];
                memcpy(p[n - 2], &value, sizeof value);
                return true;
            case NStoreVar: {
                Cell* e = number(op->index);
                if (!e) return false;
                value = d[n - 1];
                setCellNumber(e, value);
                return true;
            }
            case NEnd:
                value = d[0];
                return true;
            default: return false;
        }
    }
}

}  // namespace vxs
