// MSGBOX: the button sets and icons a program names, the numbers of the buttons, and the box as
// the console front ends ask it (lines on the console, an answer typed).  The window shows it as
// a dialog of its own.
//   Button sets: OK (default), OKC (OK, Cancel), YN (Yes, No), YNC (Yes, No, Cancel), RC (Retry,
//   Cancel), ARI (Abort, Retry, Ignore).  Icons: none (default), I information, ! warning,
//   ? question, X error.  The result: the button pressed, OK 1, Cancel 2, Abort 3, Retry 4,
//   Ignore 5, Yes 6, No 7; Escape (or a closed box) is Cancel where the set has one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

enum class BoxButtons : int32_t { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class BoxIcon : int32_t { None, Information, Warning, Question, Error };

inline constexpr int32_t kBoxOk = 1, kBoxCancel = 2, kBoxAbort = 3, kBoxRetry = 4, kBoxIgnore = 5,
                         kBoxYes = 6, kBoxNo = 7;

struct BoxButton {
    int32_t result;
    const char* label;  // its first letter is the key that presses it
};

// The set and icon a program's texts name (case and blanks do not matter; empty: the default).
// False for a text that names none.
bool boxButtonsOf(std::string_view text, BoxButtons& kind);
bool boxIconOf(std::string_view text, BoxIcon& icon);
// The buttons of a set, left to right; the first is the default.
std::vector<BoxButton> boxButtons(BoxButtons kind);
// What closing the box without a button gives: Cancel where the set has one, else 0 (it cannot
// be closed so).
int32_t boxEscape(BoxButtons kind);
// The button a typed answer names: its first non-blank letter against the buttons' first letters
// (an empty answer: the default); 0 when it names none.
int32_t boxAnswer(BoxButtons kind, std::string_view answer);
// The choice line the console shows: "[O]K  [C]ancel".
std::string boxChoices(BoxButtons kind);
// The icon's word for the console ("Warning: "), empty for none.
const char* boxIconWord(BoxIcon icon);

}  // namespace vxs
