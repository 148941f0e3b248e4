// The string built-in functions (operator 33): system texts (WSID$, PROGRAM$, TIME$, DATE$,
// KSTAT$ and the rest), trimming, case, hex, STR$, CHR$, repeating and padding, SREP$, XLATE$,
// MIN$, MAX$, the FORM functions CFORM$ and CNVRT$, and the substring s$(x:y).  Also the
// system's own environment table that SETENV and ENV$ share, and the settings some of these
// functions read and set (PIC$, LOGIN_NAME$).
#pragma once

#include <string>
#include <string_view>

#include "vxs/interpreter/primop.h"

namespace vxs {

// Calls string function `code` with its `args` arguments on top of the RPN stack and replaces
// them by the result.  Returns 0 or an error number (302 for a function this build does not
// have; 304 for arguments of the wrong kind or number).
[[nodiscard]] int callStringFunction(const EvalEnv& env, int code, int args);

// STR$: the display conversion at width 30 without leading blanks, into `out` of at least
// kDisplayCapacity bytes.  Returns 0 with the length, or 2 for a value that is not a number.
[[nodiscard]] int textOfNumber(double value, char decimalChar, char* out, int& length);

// ---- the system's own environment table ----
// Sets a variable (an empty value removes it).  Names are letters, digits, "-" and "_", at most
// 1000 bytes, kept in upper case.  Returns 0, 2 for a bad name, 9000 when the table is full.
[[nodiscard]] int setEnvironmentVariable(std::string_view name, std::string_view value);
// ENV$'s lookup: the table first (without regard to case), then the process environment.
bool environmentVariable(std::string_view name, std::string& value);
void clearEnvironmentTable();

// ---- settings ----
char currencyCharacter();  // PIC$, "$" at start-up
void setCurrencyCharacter(char c);
// LOGIN_NAME$: the account's name until a program or the configuration sets another.
const std::string& loginName();
[[nodiscard]] int setLoginName(std::string_view name);  // 0, or 4 above 63 bytes
// VARIABLE$: the variable involved in the last error ("*CALCULATED" for an expression), noted
// by the statement that failed; empty until one is noted.
void noteErrorVariable(std::string_view name);
const std::string& errorVariable();

}  // namespace vxs
