// The expression compiler: turns the text of an expression into postfix code items appended to
// the clause's expression section, entering names and literals in the pending dictionary as it
// goes.  An operator-precedence translator with an explicit operator stack; string operands,
// concatenation and relations share the same stack.
#pragma once

#include <cstdint>
#include <string_view>

#include "vxs/compiler/compile.h"

namespace vxs {

enum class ExprType : char { Any = 0, Numeric = 'n', String = 's' };

// Compiles the expression at c.pos.  Returns 0 with c.pos after it and its type in *type, or a
// negative compile error with the context restored to where the expression started.  With a
// `smallInt` slot, an expression that is one unsigned integer literal below 64 is returned there
// instead of being compiled (*smallInt is -1 otherwise).
[[nodiscard]] int compileExpression(CompileCtx& c, ExprType want, ExprType* type = nullptr,
                                    int* smallInt = nullptr);

// What a compiled target refers to.
enum class TargetKind { Scalar, Element, Substring, Array, Function };
struct Target {
    TargetKind kind = TargetKind::Scalar;
    ExprType type = ExprType::Numeric;
    int index = 0;  // dictionary index of the variable, array or function
};
// Compiles a reference to a variable (A, A$), an array element (A(I,J)), a substring target
// (A$(X:Y): its variable and positions, the caller emits the substring assignment), a whole
// array (MAT A, or a name dimensioned as an array when `arrays` is set) or the current function's
// result (FNA).  Returns 0 or a negative compile error (context restored).
[[nodiscard]] int compileTarget(CompileCtx& c, Target& out, bool arrays = false);

// The dictionary index of a name, entering it (pending) when new.  `kind` gives the flags of a
// new entry (DE_STRING, DE_FUNCTION); `array` marks a new entry as an array of `dims` dimensions,
// refused while a program is active.  Returns 0 or a negative compile error.
[[nodiscard]] int internName(CompileCtx& c, std::string_view name, uint8_t kind, int& index,
                             bool array = false, int dims = 0);
[[nodiscard]] int internNumber(CompileCtx& c, double value, int& index);
[[nodiscard]] int internString(CompileCtx& c, std::string_view text, int& index);

// Parses a numeric literal at c.pos (digits, fraction of at most 9 digits, exponent up to 307,
// an optional leading '-').  Returns the characters it takes, 0 when there is no number there,
// or a negative compile error for a malformed one.
int scanNumber(const CompileCtx& c, size_t p, double& value);
// Parses a quoted string at c.pos into `text`.  Returns the characters taken, 0 when there is no
// quote there, or -4 / -1001 for one too long or unterminated.
int scanString(const CompileCtx& c, size_t p, std::string& text);

// The default capacity of a string variable that no DIM gave a length.
inline constexpr int kDefaultStringCapacity = 18;
inline constexpr int kMaxNameLength = 30;
inline constexpr int kMaxStringLiteral = 250;

}  // namespace vxs
