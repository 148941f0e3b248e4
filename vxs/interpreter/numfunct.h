// The numeric built-in functions (operator 34): system values, string measures (LEN, VAL, ORD,
// POS), arithmetic and transcendental functions, MIN, MAX, ROUND, REM, MOD, the array functions
// UDIM, SRCH and SUM, SLEEP, the date functions DATE and DAYS, and the random generator with
// RANDOMIZE.  Also the system values that statements leave for these functions to read.
#pragma once

#include <string_view>

#include "vxs/interpreter/primop.h"

namespace vxs {

// Calls numeric function `code` with its `args` arguments on top of the RPN stack and replaces
// them by the result.  Returns 0 or an error number (302 for a function this build does not
// have; 304 for arguments of the wrong kind or number).
[[nodiscard]] int callNumericFunction(const EvalEnv& env, int code, int args);

// Values that statements set and functions read (SystemValues, state.h).
SystemValues& systemValues();

// VAL: the number a text represents, by the numeric input conversion.  Returns 0 or 2.
[[nodiscard]] int valueOfText(std::string_view text, char decimalChar, double& value);

// The random generator: r is the last value returned.  The next one is
// frac(100 x sqrt(s) + 0.131313) with s the seed when given, else r; a negative seed gives 0.
double nextRandom();
double nextRandom(double seed);
// RANDOMIZE: r = frac(100 x sqrt(t / 131713) + 0.131313), t the clock in seconds since 1970.
void randomize(double clockSeconds);
double randomState();
void setRandomState(double r);

}  // namespace vxs
