// The window front end: the session in a desktop window.  The main window holds the console's
// 24 rows of 80 character cells in a fixed-pitch font that grows and shrinks with the window,
// the windows programs open on it, and the status line below (run status, message, the cursor's
// row and column in field input, INSERT or OVER).  Keys typed in it go to the key queue; the
// window's size and place are kept between sessions.
#pragma once

namespace vxs {

// Opens the main window and attaches the front end (screen/frontend.h).  False when the window
// could not open.
bool attachWindowTerminal();

}  // namespace vxs
