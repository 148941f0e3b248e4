// The decoded form of the lines a run executes: every clause decoded once (its ClauseView), and
// for the common shapes of clause a fast form that the run loop's fast lane (fastlane.h) carries
// out without the general evaluator.  The cache is only an accelerator: a line or clause it does
// not hold, and a fast form that meets anything out of the ordinary, take the general path, which
// then does exactly what it always did.
//
// Fast forms:
// - numeric LET: one assignment of a numeric expression (+ - * / **, plain AND/OR, comparisons,
//   NOT ~ - ABS INT SGN, array elements, at most one user-function call) to a numeric variable
//   or element;
// - numeric IF: the same kind of expression as the IF's value, with its target;
// - LET and IF with strings or the common built-in functions: mixed forms (mixform.h);
// - FOR with numeric start, limit and step; NEXT of a variable;
// - the direct GOTO and GOSUB, RETURN, FNEND, block skips, and statements that do nothing when
//   reached (REM, labels, DEF, DATA ...).
// A numeric form computes its value on a private stack of doubles and changes nothing until the
// value is known, so giving up half way (an error, a string operand, stacks that the general
// path would find too full) leaves no trace: the general path then raises the error itself.  A
// form with a user-function call suspends at the call (the called body runs as usual) and is
// resumed by the function's return; after that point it raises its errors itself, as the general
// evaluator would.
//
// Invariants: the cache holds the lines of one run loop entry, by program and line index; a
// program is not edited while the run loop runs, and it is resolved before its first line is
// decoded.  Whatever resolves or frees a program in the middle of a run (library programs) calls
// clearClauseCache(): the lines are forgotten, but stay readable until the run loop frees them
// at its next line start (releaseForgottenLines) or its next entry (freeClauseCache).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "vxs/compiler/pcb.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/mixform.h"
#include "vxs/interpreter/regform.h"

namespace vxs {

// The operations of a numeric form, on its stack of doubles (d) with the addresses of
// assignment targets beside them (p).
enum NumOpCode : uint8_t {
    NLoad,             // push the number of variable `index`
    NConst,            // push `value`
    NAdd, NSub, NMul, NDiv,  // the two top values; the result replaces them
    NBinary,           // operator `kind` (AND, OR, power) on the two top values
    NAddConst, NSubConst, NMulConst, NDivConst, NBinaryConst,  // top value op `value`
    NAddVar, NSubVar, NMulVar, NDivVar, NBinaryVar,            // top value op variable `operand`
    NCompare,          // comparison `kind` of the two top values: 1 or 0
    NCompareConst,     // the top value compared with `value`
    NCompareVar,       // the top value compared with variable `operand`
    NUnary,            // operator `kind` on the top value
    NInt,              // INT of the top value
    NElement,          // `kind` subscripts: the value of that element of array `index`
    NElementConst,     // subscript `value`: the value of that element of array `index`
    NElementVar,       // subscript variable `operand`: the value of that element of `index`
    NVarRef,           // the address of variable `index`'s number (an assignment's target)
    NElementRef,       // as NElement, its address
    NElementConstRef,  // as NElementConst, its address
    NElementRefVar,    // as NElementVar, its address
    NStore,            // the top value into the address below it, which stays as the target
    NStoreEnd,         // as NStore, and the form ends (LET)
    NStoreVar,         // the top value into variable `index`; the form ends (LET)
    NCall,             // call user function `index` with `kind` arguments (the top values)
    NReload,           // after NCall: on resuming, position `operand` reads variable `index` again
    NEnd,              // the form ends with its values on the stack (IF: 1, FOR: 3)
};

struct NumOp {
    uint8_t op = 0;        // NumOpCode
    uint8_t kind = 0;      // operator kind; subscript or argument count
    uint16_t index = 0;    // dictionary index of a variable, an array or a function
    uint16_t operand = 0;  // dictionary index of a variable operand; a stack position (NReload)
    double value = 0;      // a constant
};

enum class FastForm : uint8_t {
    None,     // the general path runs the clause
    Let,      // numeric assignment
    If,       // numeric IF; `target` is its target word
    For,      // FOR: start assigned, limit, step; `jumpLine`/`jumpOffset` after the NEXT
    Next,     // NEXT of `variable`; `jumpLine`/`jumpOffset` the loop's first clause
    Goto,     // direct GOTO to line `target`
    Gosub,    // direct GOSUB to line `target`
    Return,   // RETURN
    Fnend,    // FNEND
    Skip,     // block skip; `target` is its target line (-2: in sequence)
    Nothing,  // reached in sequence, it does nothing
    Def,      // a DEF whose function a fast form may call (numeric formals by value, numeric
              // result); `opsAt` its formals, `jumpOffset` its body; reached, as Nothing
    MixLet,   // LET as a mixed form (mixform.h): `opsAt`/`opsCount` in CachedLine::mix
    MixIf,    // IF as a mixed form; its target as a numeric IF's
};

inline constexpr uint16_t kNoCall = 0xFFFF;

struct CachedLine;
// Where a transition to the start of a line ended the last time it was made: the first
// executable line at or after its target, and that line's decoded form.  Kept by the fast lane
// in the line or clause the transition leaves from; valid while the decoded lines are (a memo
// only ever points into the lines of its own program's decoding).
struct LineMemo {
    const CachedLine* line = nullptr;
    int16_t index = 0;
};
inline constexpr int kMaxFormDepth = 32;  // values a numeric form may hold at once

struct CachedClause {
    ClauseView view;
    FastForm form = FastForm::None;
    uint16_t opsAt = 0;     // the form's operations in CachedLine::ops (DEF: its formals)
    uint16_t opsCount = 0;
    uint16_t rpnDepth = 0;  // RPN entries the general path would hold at most
    uint16_t workBytes = 0; // work-stack bytes of the general path's temporaries
    uint16_t variable = 0;  // FOR, NEXT: the control variable
    int16_t target = 0;     // IF, GOTO, GOSUB, block skip
    int16_t jumpLine = 0;   // FOR, NEXT: a position (line, offset); DEF: the body's
    uint16_t jumpOffset = 0;
    // A form with a call: the call's operation, and what the general path would hold below the
    // call's arguments at that point (RPN entries, work-stack bytes).
    uint16_t callAt = kNoCall;
    uint16_t callBase = 0;
    uint16_t callWork = 0;
    // LET, IF: the register form (regform.h) in CachedLine::regs, when the clause has one.
    uint16_t regAt = kNoRegForm;
    // The fast lane's memo of the line start its fixed jump reaches (GOTO, GOSUB, a false IF,
    // FOR past its NEXT, NEXT back to the loop, a block skip).
    mutable LineMemo jumpMemo;
};

struct CachedLine {
    const uint8_t* area = nullptr;  // the program's code area and the line's offset in it, when
    uint32_t at = 0;                // it was decoded
    std::span<const uint8_t> code;
    std::vector<CachedClause> clauses;  // in order; ends before a clause that does not decode
    std::vector<NumOp> ops;
    std::vector<RegOp> regs;        // the register forms of its clauses
    std::vector<double> consts;     // their constants
    std::vector<MixOp> mix;         // the mixed forms of its clauses
    std::vector<uint8_t> regConstMask;  // while decoding: which operands are constants
    std::vector<uint8_t> clauseAt;  // by byte offset: the clause starting there, or 0xFF
    mutable LineMemo nextMemo;      // the fast lane's memo of the line after this one
    // The clause starting at byte `offset`; -1 when the line has none there.
    int find(size_t offset) const {
        if (offset >= clauseAt.size()) return -1;
        const uint8_t k = clauseAt[offset];
        return k == 0xFF ? -1 : k;
    }
};

// The decoded lines of each program a run has used (a run may switch programs), by line index.
struct ProgramLines {
    const pcb* program;
    std::vector<std::unique_ptr<CachedLine>> lines;
    // By dictionary index: 1 for a name that some DEF of the program has as a formal.  A call on
    // the general path binds such a name to a fresh cell for the body, so no register form
    // resolves it to a place.
    std::vector<uint8_t> formals;
};
namespace detail {
// The line when it is decoded already, from the program used last, and its code has not moved.
inline const CachedLine* lookupLine(const pcb& pc, int16_t line) {
    const ProgramLines* p = interp.lines.last;
    if (interp.lines.stale || !p || p->program != &pc || line < 0 || line >= pc.linecnt ||
        static_cast<size_t>(line) >= p->lines.size())
        return nullptr;
    const CachedLine* l = p->lines[static_cast<size_t>(line)].get();
    return l && l->area == pc.codearea.data() && l->at == pc.lineptr[static_cast<size_t>(line)].code
               ? l
               : nullptr;
}
}  // namespace detail
// Decodes line `line` of `pc` for cachedLine.
const CachedLine* decodeCachedLine(const pcb& pc, int16_t line);

// The decoded line `line` of `pc`, decoded on its first use in this run (and again should its
// code have moved).  Null for a line index outside the table, or when it cannot be held
// (memory): the line then takes the general path.  Decoding may forget every other decoded line
// (clearClauseCache); a forgotten line stays readable until the run loop's next line start.
inline const CachedLine* cachedLine(const pcb& pc, int16_t line) {
    const CachedLine* l = detail::lookupLine(pc, line);
    return l ? l : decodeCachedLine(pc, line);
}
// Forgets every decoded line (a program resolved or released during a run).  The forgotten
// lines stay readable, since the run loop or a statement may hold one, until
// releaseForgottenLines.
void clearClauseCache();
// Frees the forgotten lines: only where no decoded line is held (the run loop's line start).
void releaseForgottenLines();
// Frees every decoded line: the run loop's entry, where nothing holds one.
void freeClauseCache();

// Whether clauses may take their fast forms (on unless turned off): off, every clause takes the
// general path, so that tests can hold the two paths against each other.
inline void setFastForms(bool on) { interp.lines.fastForms = on; }
inline bool fastFormsOn() { return interp.lines.fastForms; }
// Whether numeric forms get register forms and clauses with strings get mixed forms (on unless
// turned off; takes effect on lines decoded afterwards): off, numeric forms run on their stack
// and string clauses on the general path, so that tests can hold the tiers against each other.
inline void setRegisterForms(bool on) { interp.lines.registerForms = on; }

// A numeric form suspended at its call, kept with the call's frame until the function returns.
struct SuspendedForm {
    SuspendedForm() {}  // the values are written before they are read: not cleared on every call
    int16_t line = 0;     // the caller's line and clause (its byte offset)
    uint16_t clause = 0;
    uint16_t callAt = 0;  // the form's NCall operation
    uint8_t depth = 0;    // values below the arguments
    double result = 0;    // the function's value, once it has returned
    double values[kMaxFormDepth];
};
// Where a form is suspended: its line, clause and call, and its values below the arguments.
struct FormAtCall {
    int16_t line;
    uint16_t clause;
    uint16_t callAt;
    uint8_t depth;
    const double* values;
};

}  // namespace vxs
