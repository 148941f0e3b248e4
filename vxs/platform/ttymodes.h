// A terminal's modes as they were found, given back at the end: by the front end that changed
// them, and by the handlers of the signals that end the process, which write the terminal's
// reset text, restore the saved modes and then end the process as the signal would have.
// Invariant: the handlers are installed only while modes are saved.
#pragma once

#include <string_view>

namespace vxs::platform {

// Saves the modes of terminal `fd`.  Returns 0, or -1 with the last error set.
[[nodiscard]] int saveTerminalModes(int fd);
// Gives the saved modes back (nothing when none are saved) and forgets them.
// Keys typed ahead stay for whoever reads the terminal next.
void restoreTerminalModes();
// The bytes written to the terminal before its modes are given back on a fatal signal (the
// terminal library's reset sequence); at most 255 are kept.
void setTerminalResetText(std::string_view text);
// While modes are saved, the signals that end the process (hang-up, termination, quit, abort
// and the faults) first give the terminal back.  Released by restoreTerminalModes.
void catchFatalSignals();

}  // namespace vxs::platform

namespace vxs::platform {

// Standard error while a full screen owns the terminal: what the process and its children write
// there is kept in an unnamed file instead of landing inside the screen, and written to the real
// standard error when the hold ends (the last kStderrHoldBytes of it; earlier bytes are cut with
// a note).  Returns 0, or -1 with the last error set (standard error is then left as it was).
inline constexpr long kStderrHoldBytes = 1 << 20;
[[nodiscard]] int holdStandardError();
// Ends the hold (nothing when none is active): standard error is the terminal again.
void releaseStandardError();

}  // namespace vxs::platform
