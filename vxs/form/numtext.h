// Numeric text conversion, one module for PRINT, STR$, VAL, FORM and field input: numbers to
// text at most 15 significant digits, rounded half away from zero at the requested decimals, in
// a right-aligned field; and text back to numbers.
#pragma once

#include <string>
#include <string_view>

namespace vxs {

// Writes `value` with exactly `decimals` decimals right-aligned into a field of `length`
// characters (blank-filled on the left).  Digits beyond the 15th significant one are written as
// 0; a value that rounds to zero has no minus sign.  Returns false when it does not fit.
bool formatFixed(double value, int length, int decimals, char decimalChar, std::string& out);
// The same into `out` (at least `length` bytes of `capacity`); returns `length`, or -1 when the
// value does not fit.
int formatFixedInto(double value, int length, int decimals, char decimalChar, char* out,
                    int capacity);

// How many decimals `value` needs at 15 significant digits (trailing zeros dropped).
int decimalsNeeded(double value);

// The numeric display conversion: the value with as many decimals as it needs in a field of
// `width`, leading blanks removed; a value too long for the field is written in exponent form
// ("1.5E+20").
std::string displayNumber(double value, int width, char decimalChar);
// The same into `out` without touching the heap; returns the length written.  A capacity of
// kDisplayCapacity holds every result of a width up to kDisplayCapacity.
inline constexpr int kDisplayCapacity = 64;
int displayNumberInto(double value, int width, char decimalChar, char* out, int capacity);

// Numeric text input: blanks are ignored, one sign, the decimal character once, one exponent
// (E or e, an optional sign and digits).  Without a typed decimal character the value is divided
// by 10 to `impliedDecimals`.  Returns false when the text is not a number or its exponent
// would pass 307.
bool parseNumber(std::string_view text, char decimalChar, int impliedDecimals, double& value);

}  // namespace vxs
