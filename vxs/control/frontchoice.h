// Which front end serves the session: the window, the full-screen terminal or the stream front
// end, chosen before start-up takes a workstation number or a lock.  VX_FRONTEND=gui, terminal
// or stream chooses; without it, standard input that is the null device or closed, with a display
// set, gives the window, a terminal gives the full-screen terminal, anything else the stream.
// The window is a second executable (veltrix-window, beside this one, linked to the window
// system's libraries): choosing it replaces this process by that one.
#pragma once

#include <string>

namespace vxs {

enum class FrontEndChoice : unsigned char { Automatic, Terminal, Stream, Window };

// The choice VX_FRONTEND makes (Automatic when it is not set).  False, with the message to show,
// for a value it does not know.
bool frontEndFromEnvironment(FrontEndChoice& choice, std::string& message);
// Whether the automatic choice is the window: standard input is the null device or closed and a
// display is set.
bool windowWanted();
// Whether a display (X11 or Wayland) is set for the window.
bool displayAvailable();
// The window executable's path: veltrix-window beside the running executable.
std::string windowExecutable();

// Decides the front end for the console executable.  Returns -1 when this process goes on (its
// front end then set with setFrontEndChoice); otherwise the exit status after a message on
// standard error (99), the window executable not having started.  When the window is chosen and
// can start, this does not return.
int chooseFrontEnd(int argc, char** argv);

// Says on standard error why the front end cannot serve (a line of `text`); the exit status
// that follows, 99.
int frontEndRefused(const std::string& text);
inline constexpr const char kNoDisplay[] =
    "VX_FRONTEND=gui: no display is set (DISPLAY or WAYLAND_DISPLAY).";

// The choice start-up follows, and the function that attaches the window front end (set by the
// window executable).
void setFrontEndChoice(FrontEndChoice choice);
FrontEndChoice frontEndChoice();
using WindowAttacher = bool (*)();
void setWindowAttacher(WindowAttacher attach);
WindowAttacher windowAttacher();

}  // namespace vxs
