// Register forms: the second tier of the fast lane for numeric LET and IF clauses.  A numeric
// form (clausecache.h) is translated once more into three-address operations whose operands are
// resolved places: the value of a plain numeric variable, a constant of the line, or a slot of a
// small scratch file that holds the expression's intermediate values.  The operations are
// dispatched by computed goto; an assignment's last operation writes straight into its target,
// and an IF that ends in a comparison branches on it without storing a truth value.
//
// Contract (the same as the numeric forms'): a register form changes nothing until its value is
// known.  Every check that can fail (an overflow, a zero divisor, a subscript or an array's
// shape) is made before the one write at its end; a form that meets one gives up, and the clause
// then runs on the general path, which raises the error itself.
//
// Invariants: a variable operand is resolved only while its cell holds its number inline (a
// numeric scalar, not dimensioned, without storage of its own); whatever gives such a cell
// storage during a run (DIM) forgets the decoded lines (clearClauseCache), and the lane leaves
// a line whose decoded form was forgotten before it runs another clause of it.  Arrays are
// resolved to their cells: an element's place is worked out from the array's shape and storage
// as they are when the operation runs.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/values.h"

namespace vxs {

enum RegCode : uint8_t {
    RAdd, RSub, RMul, RDiv,  // dst = a op b (RMul and RDiv give up where the operator errs)
    RBinary,                 // dst = a op b for AND, OR and power (`kind`)
    RCompare,                // dst = 1 or 0: comparison `kind` of a and b
    RUnary,                  // dst = operator `kind` of a
    RInt,                    // dst = INT(a)
    RMove,                   // dst = a
    RElement1,               // dst = element a of one-dimensional `array`
    RElement2,               // dst = element (a, b) of two-dimensional `array`
    RElementConst,           // dst = element `subscript` (a constant subscript item)
    RStore1,                 // element a of `array` = c; the form ends
    RStore2,                 // element (a, b) of `array` = c; the form ends
    RStoreConst,             // element `subscript` of `array` = c; the form ends
    REnd,                    // the form ends (its last operation wrote the target)
    RIfValue,                // the form ends: the IF's truth is a
    RIfCompare,              // the form ends: the IF's truth is comparison `kind` of a and b
    RCodeCount,
};

// One operation.  Places are untyped: variables' values are byte arrays in their cells, read and
// written through memcpy.
struct RegOp {
    uint8_t code = 0;
    uint8_t kind = 0;        // the operator kind (RBinary, RCompare, RUnary, RIfCompare)
    uint16_t subscript = 0;  // RElementConst, RStoreConst: the item's subscript word
    void* dst = nullptr;
    const void* a = nullptr;
    const void* b = nullptr;
    const void* c = nullptr;  // the value of a store
    Cell* array = nullptr;
};

inline constexpr uint16_t kNoRegForm = 0xFFFF;

struct CachedLine;
struct CachedClause;
// Translates the numeric form of clause `c` of line `l` (a LET or IF without a call) into
// register operations appended to l.regs; false when it holds anything a register form does not
// take (the clause then keeps its numeric form).  `consts` receives the constants to place; the
// operations' constant operands are their indexes there until placeRegConstants runs.
// `formals` marks the dictionary indexes a call may bind to other cells (ProgramLines::formals):
// they are never resolved.
bool translateRegForm(const pcb& pc, const std::vector<uint8_t>& formals, CachedLine& l,
                      CachedClause& c);
// Points the constant operands of the line's register operations at their final places, once
// the line is complete (its vectors no longer move).
void placeRegConstants(CachedLine& l);

namespace detail {
inline double regLoad(const void* p) {
    double v;
    memcpy(&v, p, sizeof v);
    return v;
}
inline void regStore(void* p, double v) { memcpy(p, &v, sizeof v); }
}  // namespace detail

// The place of element `s` of a one-dimensional numeric array: elementAddress's checks and
// result, with the element's width known (a register form's arrays are numeric by their
// names).  False where elementAddress gives an error.
inline bool numericElement1(const EvalEnv& env, const Cell* a, double s, uint8_t*& at) {
    if ((a->attr & (DA_DIMENSIONED | DA_DIMS)) != (DA_DIMENSIONED | 1) || !a->storage) return false;
    // A subscript in 0..65534 rounds as toSubscript rounds it, without its clamping.
    const int v = (s >= 0 && s < 65535.0 ? static_cast<int>(s + 0.5) : toSubscript(s)) - env.base;
    if (v < 0 || v >= a->dims[0]) return false;
    at = static_cast<uint8_t*>(a->storage) + static_cast<size_t>(v) * sizeof(double);
    return true;
}

}  // namespace vxs
