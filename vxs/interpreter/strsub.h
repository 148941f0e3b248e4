// The string built-in functions (operator 33): system texts (WSID$, PROGRAM$, TIME$, DATE$,
// KSTAT$ and the rest), trimming, case, hex, STR$, CHR$, repeating and padding, SREP$, XLATE$,
// MIN$, MAX$, the FORM functions CFORM$ and CNVRT$, and the substring s$(x:y).  Also the
// system's own environment table that SETENV and ENV$ share, and the settings some of these
// functions read and set (PIC$, LOGIN_NAME$).
#pragma once

#include <string>
#include <string_view>

#include "vxs/config/environment.h"
#include "vxs/interpreter/primop.h"

namespace vxs {

// Calls string function `code` with its `args` arguments on top of the RPN stack and replaces
// them by the result.  Returns 0 or an error number (302 for a function this build does not
// have; 304 for arguments of the wrong kind or number).
[[nodiscard]] int callStringFunction(const EvalEnv& env, int code, int args);

// STR$: the display conversion at width 30 without leading blanks, into `out` of at least
// kDisplayCapacity bytes.  Returns 0 with the length, or 2 for a value that is not a number.
[[nodiscard]] int textOfNumber(double value, char decimalChar, char* out, int& length);

// ---- settings ----
char currencyCharacter();  // PIC$, "$" at start-up
void setCurrencyCharacter(char c);
// LOGIN_NAME$: the account's name until a program or the configuration sets another.
// VARIABLE$: the variable involved in the last error ("*CALCULATED" for an expression), noted
// by the statement that failed; empty until one is noted.
void noteErrorVariable(std::string_view name);
const std::string& errorVariable();

}  // namespace vxs
