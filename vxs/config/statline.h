// The status line: the run status name, messages, and errors with their position.  The texts go
// to the terminal side as remote operations; a field is resent only when its text changes.
#pragma once

#include <string>
#include <string_view>

namespace vxs {

// Status-line fields (STATUSLINETEXT's first parameter).
inline constexpr int kStatusFieldStatus = 0;   // the run status name
inline constexpr int kStatusFieldMessage = 1;  // messages
inline constexpr int kStatusFieldMode = 2;     // the editing mode: "INSERT" or "OVER"
inline constexpr int kStatusFieldRowColumn = 3;  // the cursor's row and column in field input

// Texts keep their length: a byte of value 0 is part of the text.
void statusShowStatus(std::string_view name);
void statusShowMessage(std::string_view text);
// Shows an error: "ERROR" with its number and, for an error in a running program, the line
// number (else -1) and the clause.  The error stays the one the help key refers to.
void statusShowError(int error, int lineNumber, int clause);
int statusLastError();  // the error shown last, 0 when none

const std::string& statusText(int field);
void statusLineFree();

}  // namespace vxs
