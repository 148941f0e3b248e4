// The numbered remote operations between the interpreter side and the terminal side.
// One line per operation: number, name, meaning.  A call that is answered has its reply at the
// next number.  Numbers run from 1 to kRemoteOpLimit - 1; the dispatcher's table is indexed by
// them.
#pragma once

#include <cstdint>

namespace vxs {

#define VX_REMOTE_OPERATIONS(X)                                                          \
    X(2, INJECTKEY, "inject a key code into the terminal's key queue")                   \
    X(3, SCREENACTIONCALL, "screen action on a window (8 parameters)")                   \
    X(4, SCREENACTIONRET, "result of a screen action")                                   \
    X(9, KEYBOARDCALL, "keyboard routine (action, argument)")                            \
    X(10, KEYBOARDRET, "result of the keyboard routine")                                 \
    X(22, STATUSFONTSCALL, "ask for the status-line fonts")                              \
    X(23, STATUSFONTSRET, "status-line fonts")                                           \
    X(24, SCREENTITLE, "set the title of the terminal window")                           \
    X(25, ENDSESSION, "end of the session: the terminal side closes")                    \
    X(26, EXITREQUESTCALL, "the user closes the main window (exit status)")              \
    X(27, EXITREQUESTRET, "answer to an exit request")                                   \
    X(28, VERSIONCHECK, "the other side's version text")                                 \
    X(29, KEYSAVAILABLE, "the terminal side has queued key events")                      \
    X(32, MENUGETCALL, "INPUT MENU: a part of the menu (1 texts, 2 data, 3 statuses)")   \
    X(33, MENUGETRET, "that part, one text per item")                                    \
    X(36, MENUGETOPTIONCALL, "ask for the menu option value")                            \
    X(37, MENUGETOPTIONRET, "menu option value")                                         \
    X(38, MENUGETDATACALL, "ask for a menu item's data")                                 \
    X(39, MENUGETDATARET, "menu item value and text")                                    \
    X(40, CONTROLOUTPUTCALL, "output to a control (window, row, column, kind, height, width, operation, group, look, cells per row, texts)") \
    X(41, CONTROLOUTPUTRET, "result of a control output (0 or an error number)")         \
    X(42, CONTROLEDITCALL, "the operator works a control (window, row, column, wait seconds, single select)") \
    X(43, CONTROLEDITRET, "status (0, -2 end of input, -3 attention) and the exit code") \
    X(44, CONTROLREADCALL, "read a control (window, row, column, operation, selection)")  \
    X(45, CONTROLREADRET, "cells per row and the texts read")                            \
    X(46, MENUSET, "DISPLAY MENU, TEXT, DATA or STATUS: the part and one list of texts per array") \
    X(48, PRINTNATIVECALL, "a finished job for the front end's own printing (device 0 preview 1 print, spool file, flags, lines per page)") \
    X(49, PRINTNATIVERET, "0 printed or shown, 1 not a front end that prints, or an error number") \
    X(52, CONFIGPREFIX, "configuration message prefix")                                  \
    X(53, CONFIGPRINT, "configuration message at a position")                            \
    X(54, CONFIGWAITCALL, "wait after a configuration message")                          \
    X(55, CONFIGWAITRET, "end of the wait after a configuration message")                \
    X(59, STATUSTEXTCALL, "the current status text, for the status key")                 \
    X(60, STATUSTEXTRET, "status text shown")                                            \
    X(63, FATALMSGCALL, "show a fatal message (terminal, text, flags)")                  \
    X(64, FATALMSGRET, "nonzero when the process is to carry on")                        \
    X(65, SESSIONIDCALL, "ask for the session identifier")                               \
    X(66, SESSIONIDRET, "the session identifier")                                        \
    X(69, GETUNUSEDIDCALL, "ask for an unused identifier")                               \
    X(70, GETUNUSEDIDRET, "an unused identifier")                                        \
    X(72, SETCANCLOSECALL, "whether the main window may close (no program active)")      \
    X(73, TERMINALVALUE, "the process's terminal value")                                 \
    X(75, GETPICTUREDATACALL, "ask for a picture file's contents")                       \
    X(76, GETPICTUREDATARET, "picture file size and contents")                           \
    X(91, PROGRAMCONTROL, "step mode of the program")                                    \
    X(108, REMOTEOPENCALL, "open a file on the terminal side")                           \
    X(109, REMOTEOPENRET, "result of a remote open")                                     \
    X(110, REMOTEWRITECALL, "write to a file opened on the terminal side")               \
    X(111, REMOTEWRITERET, "result of a remote write")                                   \
    X(139, MENUSETOPTIONCALL, "set the menu option value")                               \
    X(140, CONSOLEINPUTCALL, "read one line typed on the console (max length, purpose[, offered text, selected])") \
    X(141, CONSOLEINPUTRET, "status (0, 1 too long, -2 end of input, -3 attention, -4 help) and the line")      \
    X(142, CONSOLEOUTPUT, "one finished line of the console window")                     \
    X(143, STATUSLINETEXT, "a text for the status line (field, text)")                   \
    X(144, STATUSLINEERROR, "an error on the status line (error, line number or -1, clause)") \
    X(145, HELPSHOWCALL, "show a help topic (title, text) until the user closes it")      \
    X(146, HELPSHOWRET, "what the help display hands back (a text, empty when just closed)") \
    X(147, MSGBOXCALL, "show a message box (prompt, title, button set, icon)")            \
    X(148, MSGBOXRET, "the number of the button pressed")

enum RemoteOp : int32_t {
#define VX_REMOTE_ENUM(number, name, meaning) name = number,
    VX_REMOTE_OPERATIONS(VX_REMOTE_ENUM)
#undef VX_REMOTE_ENUM
};

inline constexpr int kRemoteOpLimit = 154;  // operation numbers 1..153

// Direction word of a message.
inline constexpr int32_t ORIGIN = 0;   // a call
inline constexpr int32_t IN_RESP = 1;  // a reply

// What the console input is read for (CONSOLEINPUTCALL's second parameter).
inline constexpr int32_t kInputCommand = 0;    // the command prompt
inline constexpr int32_t kInputStatement = 1;  // an input statement of a running program

// Statuses of CONSOLEINPUTRET.
inline constexpr int32_t kInputLine = 0;
inline constexpr int32_t kInputTooLong = 1;  // the line was cut at the maximum length
inline constexpr int32_t kInputEnded = -2;   // no further input will come
inline constexpr int32_t kInputInterrupted = -3;  // the attention key ended the typing
// The help key (F1, or the help key 25) ended the typing at the command prompt: the line holds
// what was typed so far, for command mode to offer again after the help.
inline constexpr int32_t kInputHelp = -4;

// Name of an operation number for messages and statistics; "?" when it has none.
const char* remoteOpName(int op);

}  // namespace vxs
