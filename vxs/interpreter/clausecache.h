// The decoded form of the lines a run executes: every clause decoded once (its ClauseView), and
// for the common shapes of clause a fast form that the run loop carries out without the general
// evaluator.  The cache is only an accelerator: a line or clause it does not hold, and a fast form
// that meets anything out of the ordinary, take the general path, which then does exactly what it
// always did.
//
// Fast forms:
// - numeric LET: one assignment of a numeric expression (+ - * / **, plain AND/OR, comparisons,
//   NOT ~ - ABS INT SGN, array elements) to a numeric variable or element;
// - numeric IF: the same kind of expression as the IF's value;
// - NEXT of a variable.
// A fast form computes its value on a private stack of doubles and changes nothing until the
// value is known, so giving up half way (an error, a string operand, stacks that the general
// path would find too full) leaves no trace: the general path then raises the error itself.
//
// Invariants: the cache holds the lines of one run loop entry, by program and line index; a
// program is not edited while the run loop runs, and it is resolved before its first line is
// decoded.  Whatever resolves or frees a program in the middle of a run (library programs) calls
// clearClauseCache().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "vxs/compiler/pcb.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/interpreter/primop.h"

namespace vxs {

// One operation of a fast numeric form, on its stack of doubles.
struct NumOp {
    uint8_t op = 0;      // NumOpCode (clausecache.cpp)
    uint8_t kind = 0;    // operator kind; subscript count of an element
    uint16_t index = 0;  // dictionary index of a variable or an array
    uint16_t operand = 0;  // dictionary index of a variable operand (combined operations)
    double value = 0;    // a constant
};

enum class FastForm : uint8_t { None, Let, If, Next };

struct CachedClause {
    ClauseView view;
    FastForm form = FastForm::None;
    uint16_t opsAt = 0;     // the fast form's operations in CachedLine::ops
    uint16_t opsCount = 0;
    uint16_t rpnDepth = 0;  // RPN entries the general path would hold at most
    uint16_t workBytes = 0; // work-stack bytes of the general path's temporaries
    uint16_t variable = 0;  // NEXT: the control variable
};

struct CachedLine {
    const uint8_t* area = nullptr;  // the program's code area and the line's offset in it, when
    uint32_t at = 0;                // it was decoded
    std::span<const uint8_t> code;
    std::vector<CachedClause> clauses;  // in order; ends before a clause that does not decode
    std::vector<NumOp> ops;
    // The clause starting at byte `offset`, looked for from clause `hint` on; -1 when the line
    // has none there.
    int find(size_t offset, int hint) const {
        const int n = static_cast<int>(clauses.size());
        if (hint >= 0 && hint < n && clauses[static_cast<size_t>(hint)].view.start == offset) return hint;
        for (int i = 0; i < n; ++i)
            if (clauses[static_cast<size_t>(i)].view.start == offset) return i;
        return -1;
    }
};

// The decoded lines of each program a run has used (a run may switch programs), by line index.
struct ProgramLines {
    const pcb* program;
    std::vector<std::unique_ptr<CachedLine>> lines;
};
namespace detail {
extern std::vector<ProgramLines> g_programs;
extern ProgramLines* g_last;  // the one used last
// Set when the lines are to be forgotten: that happens at the next line start, because the run
// loop still reads the clauses of the line it is in.
extern bool g_stale;
// The line when it is decoded already, from the program used last, and its code has not moved.
inline const CachedLine* lookupLine(const pcb& pc, int16_t line) {
    const ProgramLines* p = g_last;
    if (g_stale || !p || p->program != &pc || line < 0 || line >= pc.linecnt ||
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
// (memory): the line then takes the general path.
inline const CachedLine* cachedLine(const pcb& pc, int16_t line) {
    const CachedLine* l = detail::lookupLine(pc, line);
    return l ? l : decodeCachedLine(pc, line);
}
// Forgets every decoded line (the run loop's entry; a program resolved or released during a
// run).  The line the run loop is in stays readable until it starts its next line.
void clearClauseCache();

// Whether clauses may take their fast forms (on unless turned off): off, every clause takes the
// general path, so that tests can hold the two paths against each other.
namespace detail {
extern bool g_fastForms;
}
inline void setFastForms(bool on) { detail::g_fastForms = on; }
inline bool fastFormsOn() { return detail::g_fastForms; }

// The value of the numeric form of `c` (LET: assigned as well).  False when the clause must take
// the general path; nothing has changed then.
[[nodiscard]] bool runNumeric(const CachedLine& l, const CachedClause& c, const EvalEnv& env,
                              double& value);

}  // namespace vxs
