// The translation of numeric forms into register forms (see regform.h).
//
// The numeric form's operations are walked over a symbolic stack of operands, as the form's own
// stack of doubles would hold them: a variable, a constant, or a slot holding a value computed
// on the way (the slot of the stack depth it sits at, so that a value is dead once popped).  An
// assignment's target stays on the stack as a target until the value is known.
#include "vxs/interpreter/regform.h"

#include <cmath>

#include "vxs/interpreter/clausecache.h"

namespace vxs {

namespace {

// The scratch file of intermediate values: one slot per depth of the expression's stack.  Forms
// do not nest (a form with a function call has no register form), so one file serves them all.
double g_slots[kMaxFormDepth];

enum class OperandKind : uint8_t { Variable, Constant, Slot, Target };

struct Operand {
    OperandKind kind = OperandKind::Slot;
    void* place = nullptr;   // Variable: the value's bytes in its cell
    uint32_t index = 0;      // Constant: its index in the line's constants; Slot: the depth
    // Target: an element (array set) or a variable (array null, `place` its value).
    Cell* array = nullptr;
    int subscripts = 0;      // 1 or 2 operands below, or 0 with `subscript` (a constant item)
    uint16_t subscript = 0;
    int sub[2] = {};         // the stack positions of the subscripts' operands, in order
};

// The bits of CachedLine::regConstMask that mark an operation's constant operands until they
// are placed.
constexpr uint8_t kConstA = 1, kConstB = 2, kConstC = 4;

struct RegTranslation {
    const pcb& pc;
    const std::vector<uint8_t>& formals;
    CachedLine& l;
    std::vector<RegOp> out;
    std::vector<uint8_t> constMask;  // per operation of `out`
    Operand stack[kMaxFormDepth + 2];
    Operand saved[kMaxFormDepth * 2];  // subscript operands of targets, kept aside
    int savedCount = 0;
    int depth = 0;
    bool ok = true;

    bool push(const Operand& o) {
        if (depth >= kMaxFormDepth) return ok = false;
        stack[depth++] = o;
        return true;
    }
    Operand pop() {
        if (depth <= 0) {
            ok = false;
            return {};
        }
        return stack[--depth];
    }
    // A plain numeric variable's value, resolved to its place.
    bool variable(uint16_t index, Operand& o) {
        if (index >= formals.size() || formals[index]) return ok = false;
        Cell* e = cellAt(pc, index);
        if (!e || isStringCell(e) || e->isFunction() || isArrayCell(e) || (e->kind & DE_STORAGE))
            return ok = false;
        o = {};
        o.kind = OperandKind::Variable;
        o.place = e->value;
        return true;
    }
    Operand constant(double v) {
        Operand o;
        o.kind = OperandKind::Constant;
        o.index = static_cast<uint32_t>(l.consts.size());
        l.consts.push_back(v);
        return o;
    }
    Operand slot(int at) {
        Operand o;
        o.kind = OperandKind::Slot;
        o.index = static_cast<uint32_t>(at);
        return o;
    }
    // Fills an operand field of `op`: a constant's index stands in its place until placed.
    void operand(RegOp& op, uint8_t& mask, int which, const Operand& o) {
        const void* p = nullptr;
        switch (o.kind) {
            case OperandKind::Variable: p = o.place; break;
            case OperandKind::Slot: p = &g_slots[o.index]; break;
            case OperandKind::Constant:
                p = reinterpret_cast<const void*>(static_cast<uintptr_t>(o.index));
                mask |= static_cast<uint8_t>(which == 0 ? kConstA : which == 1 ? kConstB : kConstC);
                break;
            case OperandKind::Target: ok = false; break;
        }
        (which == 0 ? op.a : which == 1 ? op.b : op.c) = p;
    }
    void emit(uint8_t code, uint8_t kind, const Operand* a, const Operand* b, const Operand* c,
              int dstSlot, Cell* array = nullptr, uint16_t subscript = 0) {
        RegOp op;
        op.code = code;
        op.kind = kind;
        op.subscript = subscript;
        op.array = array;
        uint8_t mask = 0;
        if (a) operand(op, mask, 0, *a);
        if (b) operand(op, mask, 1, *b);
        if (c) operand(op, mask, 2, *c);
        if (dstSlot >= 0) op.dst = &g_slots[dstSlot];
        out.push_back(op);
        constMask.push_back(mask);
    }
    // A binary operation of the two top operands into the slot of the lower one.
    void binary(uint8_t code, uint8_t kind, const Operand* right = nullptr) {
        const Operand b = right ? *right : pop();
        const Operand a = pop();
        if (!ok) return;
        const int at = depth;
        emit(code, kind, &a, &b, nullptr, at);
        push(slot(at));
    }
    void unary(uint8_t code, uint8_t kind) {
        const Operand a = pop();
        if (!ok) return;
        const int at = depth;
        emit(code, kind, &a, nullptr, nullptr, at);
        push(slot(at));
    }
    // The subscripts of an element operation into `s`: its variable operand (the ...Var forms),
    // or `op.kind` (1 or 2) operands off the stack.  Returns how many, 0 when it cannot.
    int subscripts(const NumOp& op, bool byVariable, Operand s[2]) {
        if (byVariable) return variable(op.operand, s[0]) ? 1 : 0;
        const int n = op.kind;
        if (n < 1 || n > 2) return ok = false;
        for (int i = n - 1; i >= 0; --i) s[i] = pop();
        return ok ? n : 0;
    }
    // The array of an element operation: a numeric array's cell (its shape is checked when the
    // operation runs).
    Cell* array(uint16_t index) {
        if (index >= formals.size() || formals[index]) {  // MAT formals are bound per call
            ok = false;
            return nullptr;
        }
        Cell* a = cellAt(pc, index);
        if (!a || isStringCell(a) || a->isFunction()) {
            ok = false;
            return nullptr;
        }
        return a;
    }
};

uint8_t arithmeticCode(int kind) {
    switch (kind) {
        case OpAdd: return RAdd;
        case OpSub: return RSub;
        case OpMul: return RMul;
        case OpDiv: return RDiv;
        default: return RBinary;
    }
}

}  // namespace

bool translateRegForm(const pcb& pc, const std::vector<uint8_t>& formals, CachedLine& l,
                      CachedClause& c) {
    if ((c.form != FastForm::Let && c.form != FastForm::If) || c.callAt != kNoCall) return false;
    const size_t constsBefore = l.consts.size();
    RegTranslation x{pc, formals, l, {}, {}, {}, {}, 0, 0, true};
    const NumOp* op = l.ops.data() + c.opsAt;
    const NumOp* const end = op + c.opsCount;
    bool finished = false;
    for (; op < end && x.ok && !finished; ++op) {
        Operand o;
        switch (op->op) {
            case NLoad:
                if (x.variable(op->index, o)) x.push(o);
                break;
            case NConst: x.push(x.constant(op->value)); break;
            case NAdd: case NSub: case NMul: case NDiv:
                x.binary(op->op == NAdd ? RAdd : op->op == NSub ? RSub : op->op == NMul ? RMul : RDiv, 0);
                break;
            case NBinary: x.binary(arithmeticCode(op->kind), op->kind); break;
            case NAddConst: case NSubConst: case NMulConst: case NDivConst: case NBinaryConst: {
                const Operand k = x.constant(op->value);
                x.binary(arithmeticCode(op->kind), op->kind, &k);
                break;
            }
            case NAddVar: case NSubVar: case NMulVar: case NDivVar: case NBinaryVar:
                if (x.variable(op->operand, o)) x.binary(arithmeticCode(op->kind), op->kind, &o);
                break;
            case NCompare: x.binary(RCompare, op->kind); break;
            case NCompareConst: {
                const Operand k = x.constant(op->value);
                x.binary(RCompare, op->kind, &k);
                break;
            }
            case NCompareVar:
                if (x.variable(op->operand, o)) x.binary(RCompare, op->kind, &o);
                break;
            case NUnary: x.unary(RUnary, op->kind); break;
            case NInt: x.unary(RInt, 0); break;
            case NElement:
            case NElementVar:
            case NElementConst: {
                Cell* a = x.array(op->index);
                if (!a) break;
                if (op->op == NElementConst) {
                    const int at = x.depth;
                    x.emit(RElementConst, 0, nullptr, nullptr, nullptr, at, a,
                           static_cast<uint16_t>(op->value));
                    x.push(x.slot(at));
                    break;
                }
                Operand s[2];
                const int n = x.subscripts(*op, op->op == NElementVar, s);
                if (!n) break;
                const int at = x.depth;
                x.emit(n == 1 ? RElement1 : RElement2, 0, &s[0], n == 2 ? &s[1] : nullptr, nullptr,
                       at, a);
                x.push(x.slot(at));
                break;
            }
            case NVarRef:
                if (x.variable(op->index, o)) {
                    o.kind = OperandKind::Target;
                    x.push(o);
                }
                break;
            case NElementRef:
            case NElementRefVar:
            case NElementConstRef: {
                Operand t;
                t.kind = OperandKind::Target;
                t.array = x.array(op->index);
                if (!t.array) break;
                if (op->op == NElementConstRef) {
                    t.subscript = static_cast<uint16_t>(op->value);
                } else {
                    Operand s[2];
                    const int n = x.subscripts(*op, op->op == NElementRefVar, s);
                    if (!n || x.savedCount + n > kMaxFormDepth * 2) {
                        x.ok = false;
                        break;
                    }
                    // A subscript computed into a slot would be overwritten by the value: only
                    // variables and constants are kept aside for the store.
                    for (int i = 0; i < n; ++i) {
                        if (s[i].kind == OperandKind::Slot) x.ok = false;
                        t.sub[i] = x.savedCount;
                        x.saved[x.savedCount++] = s[i];
                    }
                    t.subscripts = n;
                }
                x.push(t);
                break;
            }
            case NStoreEnd:
            case NStoreVar: {
                Operand value = x.pop();
                Operand target;
                if (op->op == NStoreVar) {
                    if (!x.variable(op->index, target)) break;
                    target.kind = OperandKind::Target;
                } else {
                    target = x.pop();
                }
                if (!x.ok || target.kind != OperandKind::Target || x.depth != 0) {
                    x.ok = false;
                    break;
                }
                if (!target.array) {
                    // The value's last operation writes straight into the variable.
                    if (value.kind == OperandKind::Slot && !x.out.empty() &&
                        x.out.back().dst == &g_slots[value.index]) {
                        x.out.back().dst = target.place;
                    } else {
                        x.emit(RMove, 0, &value, nullptr, nullptr, -1);
                        x.out.back().dst = target.place;
                    }
                    x.emit(REnd, 0, nullptr, nullptr, nullptr, -1);
                } else if (target.subscripts == 0) {
                    x.emit(RStoreConst, 0, nullptr, nullptr, &value, -1, target.array,
                           target.subscript);
                } else {
                    const Operand& s0 = x.saved[target.sub[0]];
                    const Operand* s1 = target.subscripts == 2 ? &x.saved[target.sub[1]] : nullptr;
                    x.emit(target.subscripts == 1 ? RStore1 : RStore2, 0, &s0, s1, &value, -1,
                           target.array);
                }
                finished = true;
                break;
            }
            case NEnd: {
                const Operand value = x.pop();
                if (!x.ok || x.depth != 0 || c.form != FastForm::If) {
                    x.ok = false;
                    break;
                }
                if (value.kind == OperandKind::Slot && !x.out.empty() &&
                    x.out.back().code == RCompare && x.out.back().dst == &g_slots[value.index]) {
                    x.out.back().code = RIfCompare;  // the comparison is the branch
                    x.out.back().dst = nullptr;
                } else {
                    x.emit(RIfValue, 0, &value, nullptr, nullptr, -1);
                }
                finished = true;
                break;
            }
            default: x.ok = false; break;  // FOR's store, a call
        }
    }
    if (!x.ok || !finished || op != end || x.out.size() > 0xFFFF - l.regs.size()) {
        l.consts.resize(constsBefore);
        return false;
    }
    c.regAt = static_cast<uint16_t>(l.regs.size());
    for (size_t i = 0; i < x.out.size(); ++i) {
        l.regs.push_back(x.out[i]);
        l.regConstMask.push_back(x.constMask[i]);
    }
    return true;
}

void placeRegConstants(CachedLine& l) {
    for (size_t i = 0; i < l.regs.size(); ++i) {
        RegOp& op = l.regs[i];
        const uint8_t mask = l.regConstMask[i];
        auto place = [&](const void*& p) {
            p = &l.consts[static_cast<size_t>(reinterpret_cast<uintptr_t>(p))];
        };
        if (mask & kConstA) place(op.a);
        if (mask & kConstB) place(op.b);
        if (mask & kConstC) place(op.c);
    }
    l.regConstMask.clear();
    l.regConstMask.shrink_to_fit();
}

}  // namespace vxs
