// The full-screen terminal front end: the terminal side used when standard input and output are
// both a terminal that can address its cursor.  It shows the console window (24 rows of 80
// columns at the top left) with the status line directly below it, reads command and input lines
// with a line editor on the console's bottom row, and takes its keys from the raw terminal.
#pragma once

namespace vxs {

// Attaches the full-screen front end (frontend.h) and sends the version check when standard
// input and output are a terminal that can show it.  False, with the terminal left untouched,
// when they are not; a terminal smaller than the console window and its status line gets a
// message on standard error and false as well (the caller then uses the stream front end).
bool attachCursesTerminal();
// Gives the terminal back as it was found and detaches the front end (nothing when it is not
// attached).
void detachCursesTerminal();

}  // namespace vxs
