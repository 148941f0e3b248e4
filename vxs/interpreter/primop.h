// The evaluator of compiled expressions and the primitive operations it performs: arithmetic,
// comparison, logic with short-circuit skipping, assignment and substring assignment,
// concatenation (primop0), and the reference operations: array elements, ranges, dimensioning,
// built-in string functions it owns, and the MAT statement's whole-array operations (primop1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vxs/compiler/pcb.h"
#include "vxs/interpreter/values.h"

namespace vxs {

// Pops a number (a cell or a small integer); a string or an empty stack is damaged code (9301).
[[nodiscard]] int popNumber(double& v);

// What evaluation needs to know about the running program.
struct EvalEnv {
    pcb* pc = nullptr;
    int base = 0;             // OPTION BASE
    bool alternate = false;   // COLLATE ALTERNATE
    bool soflowIgnore = false;
};

// Runs the operator items of a clause from `pos` (after its count words) up to the terminator
// (consumed) or a direct statement byte (not consumed).  Operands stay on the RPN stack.
// Returns 0 or an error number; malformed code is 9301 / 9302 / 920, never a crash.
[[nodiscard]] int evaluate(const EvalEnv& env, std::span<const uint8_t> code, size_t& pos);

// evaluate() returns kCallPending when it meets a user-function call: the arguments are on the
// RPN stack and callRequest() says which function and where evaluation resumes.
inline constexpr int kCallPending = -3;
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
[[nodiscard]] int pushWord(const EvalEnv& env, uint16_t w);

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
