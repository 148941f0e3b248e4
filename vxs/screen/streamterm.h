// The stream front end: the terminal side used when standard input is not a terminal (scripts,
// tests, CI), and until the full-screen front end exists on a terminal too.  Its contract, which
// transcripts and scripts rely on:
// - each line of standard input is one line typed at the command prompt or in answer to an
//   input statement; end of input at the command prompt acts as the SYSTEM command;
// - end of input while an input statement waits interrupts the program as the attention key
//   does (command mode reports it as error 9999, and the SYSTEM that the end of input then acts
//   as ends the process with status 1);
// - a key wait without a time limit takes the next input line as keys (its characters; an
//   empty line is the Enter key, 13; end of input answers -1); the keys it leaves are dropped
//   when a line is read; timed waits answer at once;
// - every line that the console window writes goes to standard output, one line per window
//   line, trailing blanks removed, flushed per line; bytes of value 0 are written as they are;
//   typed input is not echoed; the prompt prints nothing; a line printed to another window
//   (screen action 225) is written the same way;
// - text written at a position in a window (screen action 241, PRINT FIELDS) writes one line
//   "#<window> <row>,<column>: <text>", row and column 1-based inside the window, control bytes
//   as blanks, trailing blanks removed; invisible text leaves nothing after the colon
//   ("#0 5,10:"); no other screen action writes anything;
// - every error shown on the status line writes one line to standard error: "ERROR n", or
//   "ERROR n at LLLLL:CC" for an error in a running program; other status-line texts are not
//   written;
// - a help topic (HELP, the help key, HELP$) writes its title and then its lines to standard
//   output as console lines are written; at the command prompt a line that ends in "{F1}" is the
//   help key pressed after the text before it (help for that text's command, or the error
//   shown, or the command menu), and that text is read again as the next line's beginning;
// - a fatal message is written to standard error, and the answer is not to carry on;
// - on a terminal, the interrupt key (Ctrl-C) is the attention key: it interrupts a running
//   program or an input statement, and at the command prompt drops the line being typed.
#pragma once

#include <cstdio>

namespace vxs {

// Attaches the stream front end (frontend.h) and sends the version check.  `in`, `out` and
// `err` are descriptors (0, 1 and 2 in the process; tests pass pipes).  When `in` is a
// terminal, the interrupt signal becomes the attention key until the front end is detached.
void attachStreamTerminal(int in = 0, int out = 1, int err = 2);
// Detaches it again (tests).
void detachStreamTerminal();

// Whether the terminal side was told that the main window may close now.
bool streamCanClose();

}  // namespace vxs
