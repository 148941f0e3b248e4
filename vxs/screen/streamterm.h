// The stream front end: the terminal side used when standard input is not a terminal (scripts,
// tests, CI).  Its contract, which transcripts and scripts rely on:
// - each line of standard input is one line typed at the command prompt or in answer to an
//   input statement; end of input at the command prompt acts as the SYSTEM command;
// - every line that the console window writes goes to standard output, one line per window
//   line, trailing blanks removed, flushed per line; typed input is not echoed; the prompt
//   prints nothing;
// - every error shown on the status line writes one line to standard error: "ERROR n", or
//   "ERROR n at LLLLL:CC" for an error in a running program; other status-line texts are not
//   written;
// - a fatal message is written to standard error, and the answer is not to carry on.
#pragma once

#include <cstdio>

namespace vxs {

// Installs the stream front end's handlers in the remote operation layer, marks the terminal
// attached and sends the version check.  `in`, `out` and `err` are descriptors (0, 1 and 2 in
// the process; tests pass pipes).
void attachStreamTerminal(int in = 0, int out = 1, int err = 2);
// Removes its handlers again (tests).
void detachStreamTerminal();

// Whether the terminal side was told that the main window may close now.
bool streamCanClose();

}  // namespace vxs
