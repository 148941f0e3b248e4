// The evaluator of compiled expressions and the primitive operations it performs: arithmetic,
// comparison, logic with short-circuit skipping, assignment and substring assignment,
// concatenation (primop0), and the reference operations: array elements, ranges, dimensioning,
// built-in string functions it owns, and the MAT statement's whole-array operations (primop1).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vxs/errors/errors.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/pcb.h"
#include "vxs/interpreter/values.h"

namespace vxs {

// Pops a number (a cell or a small integer); a string or an empty stack is damaged code (9301).
[[nodiscard]] inline int popNumber(double& v) {
    RpnEntry e;
    if (!rpnPop(e)) return kErrDamaged;
    if (rpnIsSmall(e)) {
        v = rpnSmallValue(e);
        return 0;
    }
    const Cell* c = rpnCellOf(e);
    if (isStringCell(c)) return kErrDamaged;
    v = cellNumber(c);
    return 0;
}

// The cell of dictionary index `index` as a run finds it (dictEntry without a call): null for a
// free slot or an index outside the used range.
inline Cell* cellAt(const pcb& pc, int index) {
    const auto i = static_cast<unsigned>(index - kFirstDictIndex);
    return i < static_cast<unsigned>(pc.dictcnt) ? pc.dictEntryPointer[i].get() : nullptr;
}

// What evaluation needs to know about the running program.
struct EvalEnv {
    pcb* pc = nullptr;
    int base = 0;             // OPTION BASE
    bool alternate = false;   // COLLATE ALTERNATE
    // Whether string overflow truncates: the program's SOFLOW condition is IGNORE in its ON
    // table as it is now (an ON SOFLOW earlier in the same line counts).
    bool soflowIgnore() const { return pc && pc->condtargets[0] == -3; }
};

// ---- the numeric operators (the evaluator and the run loop's fast forms share them) ----

// The result of a binary numeric operator of kind `kind` (the in-place forms too): 0, 6 for an
// overflow (a factor beyond 1e150, a divisor within 1e-10 of zero) or 9301 for another kind.
[[nodiscard]] inline int arithmetic(int kind, double l, double r, double& out) {
    switch (kind) {
        case OpAnd: out = isTrue(l) && isTrue(r) ? 1.0 : 0.0; return 0;
        case OpOr: out = isTrue(l) || isTrue(r) ? 1.0 : 0.0; return 0;
        case OpPower: out = std::pow(l, r); return 0;
        case OpMul:
        case OpMulAssign:
            if (std::fabs(l) > 1e150 || std::fabs(r) > 1e150) return 6;
            out = l * r;
            return 0;
        case OpDiv:
        case OpDivAssign:  // in place too: a zero divisor is an error, not an infinity
            if (r > -1e-10 && r < 1e-10) return 6;
            out = l / r;
            return 0;
        case OpAdd:
        case OpAddAssign: out = l + r; return 0;
        case OpSub:
        case OpSubAssignNum: out = l - r; return 0;
    }
    return kErrDamaged;
}

// Whether a comparison of kind `kind` holds for the three-way result `cmp`.
inline bool compareResult(int kind, int cmp) {
    switch (kind) {
        case OpGt: return cmp > 0;
        case OpLt: return cmp < 0;
        case OpGe: return cmp >= 0;
        case OpLe: return cmp <= 0;
        case OpNe: return cmp != 0;
        default: return cmp == 0;  // OpEq
    }
}

// The result of a unary operator (NOT, ~, unary minus, ABS, INT, SGN).
inline double unaryOperation(int kind, double x) {
    switch (kind) {
        case OpNot:
        case OpTilde: return isTrue(x) ? 0.0 : 1.0;
        case OpNeg: return 0 - x;  // 0 - x, so that minus zero never arises
        case OpAbs: return std::fabs(x);
        case OpInt: return floorNumber(x + kTolerance);
        default: return compareNumbers(x, 0);  // OpSgn
    }
}

// The element of `array` at the `n` subscripts `s` (before OPTION BASE is taken off): 0 with its
// address, 123 when the array does not have n dimensions, 122 when a subscript is out of range.
[[nodiscard]] inline int elementAddress(const EvalEnv& env, const Cell* array, const double* s,
                                        int n, uint8_t*& at) {
    if (!isArrayCell(array) || cellDims(array) != n) return kErrDimensions;
    int32_t index = 0;
    for (int i = 0; i < n; ++i) {
        const int v = toSubscript(s[i]) - env.base;
        if (v < 0 || v >= array->dims[i] || !array->storage) return kErrSubscript;
        index = index * array->dims[i] + v;
    }
    at = elementAt(array, index);
    return 0;
}
// The same with a constant subscript of a one-dimensional array (its low 6 bits count).
[[nodiscard]] inline int elementAddressConstant(const EvalEnv& env, const Cell* array,
                                                int subscript, uint8_t*& at) {
    if (!isArrayCell(array) || cellDims(array) != 1) return kErrDimensions;
    const int v = (subscript & 0x3F) - env.base;
    if (v < 0 || v >= array->dims[0] || !array->storage) return kErrSubscript;
    at = elementAt(array, v);
    return 0;
}

// Runs the operator items of a clause from `pos` (after its count words) up to the terminator
// (consumed) or a direct statement byte (not consumed).  Operands stay on the RPN stack.
// Returns 0 or an error number; malformed code is 9301 / 9302 / 920, never a crash.
[[nodiscard]] int evaluate(const EvalEnv& env, std::span<const uint8_t> code, size_t& pos);

// evaluate() returns kCallPending when it meets a user-function call: the arguments are on the
// RPN stack and callRequest() says which function and where evaluation resumes.
struct CallRequest {
    int fn = 0;
    int args = 0;
    size_t resume = 0;    // after the call's item
    size_t extraAt = 0;   // the item's words after its parameters, pushed after the value
    int extra = 0;
};
CallRequest& callRequest();

// Pushes operand word `w` (a small integer, or the dictionary cell of index w).  Returns 0, 920
// for an index past the dictionary, or 9002.
[[nodiscard]] inline int pushWord(const EvalEnv& env, uint16_t w) {
    if (w < kFirstDictIndex) return rpnPush(rpnSmall(w));
    Cell* c = cellAt(*env.pc, w);
    if (!c) return kErrDictionary;
    return rpnPush(rpnCell(c));
}

// Assigns `source` to `target` with the capacity rule (error 4 unless SOFLOW is ignored).
[[nodiscard]] int assignCell(const EvalEnv& env, Cell* target, const Cell* source);
// Assigns a string (the same rule).
[[nodiscard]] int assignString(const EvalEnv& env, Cell* target, std::string_view text);

// ---- primop1 ----
[[nodiscard]] int opElement(const EvalEnv& env, Cell* array, int subscripts);
[[nodiscard]] int opElementConstant(const EvalEnv& env, Cell* array, int subscript);
[[nodiscard]] int opRange(const EvalEnv& env, Cell* array);
[[nodiscard]] int opDim(const EvalEnv& env, Cell* array, int bounds, int capacity);
[[nodiscard]] int opCallString(const EvalEnv& env, int code, int args);
[[nodiscard]] int opCallNumeric(const EvalEnv& env, int code, int args);
// The MAT statement: `sub` is its sub-code; its operands are on the RPN stack.
[[nodiscard]] int matStatement(const EvalEnv& env, int sub);

// Pops n entries (for calls whose handler does not exist).
void dropEntries(int n);

}  // namespace vxs
