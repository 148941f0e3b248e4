// Mixed forms: the fast lane's form for LET and IF clauses that hold strings or the common
// built-in functions, which numeric and register forms do not take.  A mixed form is a short
// stack program over numbers and string views: a string operand is read where it lies (a
// variable's text, an element of a string array, a literal), and what an operation makes (a
// concatenation, a substring, a function's text) goes to a scratch buffer, never to a
// temporary cell on the work stack.
//
// Contract (the numeric forms' contract): a mixed form changes nothing until its value is known.
// Every check that can fail (a subscript, an overflow, a conversion, a string too long for its
// target, the room the general path's temporaries would take on the work stack) comes before the
// one write at its end; a form that meets one gives up, and the clause then runs on the general
// path, which raises the error itself.  Operands are looked up by dictionary index when the form
// runs, so a formal bound to another cell by a call is read where it is bound now.
//
// Taken: numbers, string variables, literals and elements; + - * / ** AND OR, comparisons of
// numbers and of strings, NOT ~ - ABS INT SGN, &, s$(x:y), LEN, POS, VAL, ORD, STR$, CHR$,
// LPAD$, RPAD$, MOD and REM; one assignment to a variable or an element, or an IF's value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "vxs/compiler/pcb.h"
#include "vxs/interpreter/primop.h"

namespace vxs {

enum MixCode : uint8_t {
    MNumber,       // push `value`
    MNumberVar,    // push the number of variable `index`
    MString,       // push the text of string variable or literal `index`
    MElement,      // `kind` subscripts: push element of numeric array `index`
    MElementText,  // the same for a string array
    MArith,        // operator `kind` on two numbers
    MCompare,      // comparison `kind` of two numbers: 1 or 0
    MCompareText,  // comparison `kind` of two strings: 1 or 0
    MUnary,        // operator `kind` on a number
    MConcat,       // s & t
    MSubstring,    // s$(x:y)
    MLen,
    MVal,
    MOrd,
    MPos,  // `kind` arguments (2 or 3)
    MStr,
    MChr,
    MPad,            // `kind` arguments (2 or 3); `index` 1 for LPAD$, 0 for RPAD$
    MRemainder,      // REM (`index` 0) or MOD (`index` 1)
    MTargetVar,      // the assignment's target, variable `index` (nothing is pushed)
    MTargetElement,  // `kind` subscripts: the target is that element of array `index`
    MStoreNumber,    // the value into the target; the form ends
    MStoreText,      // the text into the target; the form ends
    MIfEnd,          // the form ends: the IF's truth is the value
};

struct MixOp {
    uint8_t code = 0;
    uint8_t kind = 0;
    uint16_t index = 0;
    double value = 0;
};

struct CachedLine;
struct CachedClause;
// Translates clause `c` (a LET or IF, not in direct form) of `code` into a mixed form appended to
// l.mix; false when it holds anything the form does not take.  On success the clause's form is
// MixLet or MixIf, opsAt/opsCount its operations in l.mix and rpnDepth what the general path's
// RPN stack would hold at most.
bool translateMixedForm(const pcb& pc, std::span<const uint8_t> code, CachedLine& l,
                        CachedClause& c);

// Runs a mixed form.  Returns true when it ran to its end (an IF's truth then in `truth`), false
// when it gave up having changed nothing.  `workRoom` is the room the general path would find
// on the work stack.
bool runMixedForm(const EvalEnv& env, const MixOp* op, ptrdiff_t workRoom, bool& truth);

}  // namespace vxs
