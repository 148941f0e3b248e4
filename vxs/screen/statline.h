// The status line: the run status name, messages, and errors with their position and their
// words.  The texts go to the terminal side as remote operations; a field is resent only when its
// text changes.  An error and a message stay until the next line is accepted (statusClear).
#pragma once

#include <string>
#include <string_view>

namespace vxs {

// Status-line fields (STATUSLINETEXT's first parameter).
inline constexpr int kStatusFieldStatus = 0;   // the run status name
inline constexpr int kStatusFieldMessage = 1;  // messages
inline constexpr int kStatusFieldMode = 2;     // the editing mode: "INSERT" or "OVER"
inline constexpr int kStatusFieldRowColumn = 3;  // the cursor's row and column in field input
// The words of the error shown last: its text from the error table and the file it concerns,
// sent right after the error itself.  Front ends that write errors as lines leave it out.
inline constexpr int kStatusFieldErrorWords = 4;

// The cues of a listing that waits after a screenful: for a line, and for a key.
inline constexpr char kMoreCue[] = "-- More --  Enter: next screen   Q, Enter: stop";
inline constexpr char kMoreKeyCue[] = "-- More --  any key: next screen   Ctrl-C: stop";

// Texts keep their length: a byte of value 0 is part of the text.
void statusShowStatus(std::string_view name);
void statusShowMessage(std::string_view text);
// Shows an error: "ERROR" with its number and, for an error in a running program, the line
// number (else -1) and the clause, then its words (statusErrorWords).  The error stays the one
// the help key refers to until statusClear.
void statusShowError(int error, int lineNumber, int clause);
int statusLastError();  // the error shown, 0 when none is

// What the status line says after an error's number: its short text from the error table
// (for the 4000 series only with OPTION 17 on), and the file that a file error concerns.
std::string statusErrorWords(int error);

// What a failure that is about to become an error has to say about itself (the first line a
// failed spool command wrote): shown after the words of the next error, until statusClear.
void statusNoteErrorDetail(std::string_view text);

// A command's own text for the error it is about to report (the file commands' " File Not
// Found"): shown in the message field now, and in place of the table's text after the error.
void statusNoteErrorText(std::string_view text);

// A line was accepted: the error and the message shown for the one before are taken away (an
// error 0 tells the terminal side to take its error display away).
void statusClear();

const std::string& statusText(int field);
void statusLineFree();

}  // namespace vxs
