// The front-end interface: what every terminal side provides (the stream front end now, the
// full-screen terminal and the graphical window later), the terminal side's handlers of the
// remote operations, which decode each message and call into the attached front end.  The
// keyboard routine behind KEYBOARDCALL, its event queue and type-ahead ring are keyboard.h's.
//
// The interpreter side never calls a front end: it sends remote operations (terminal.h), whose
// handlers here turn them into calls of the attached FrontEnd.  Only the event pump is driven
// directly, by the waiting helpers (base/process.h) and the run loop's keyboard poll, as the
// window system's loop would be.
//
// States: detached (no handlers, terminalAttached() false) -> attached (attachFrontEnd installs
// the handlers and marks the terminal attached) -> detached (detachFrontEnd).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/screen/controls.h"
#include "vxs/screen/menu.h"
#include "vxs/screen/msgbox.h"

namespace vxs {

// A screen action as it arrives (SCREENACTIONCALL's eight parameters).
struct ScreenRequest {
    int32_t window = 0;    // the window's file control block
    int32_t action = 0;    // the screen action code
    int32_t position = 0;  // row in the high byte, column in the low
    int32_t a = 0, b = 0;
    std::string_view text;  // empty when none was given
    int32_t c = 0;
    int32_t attr = 0;  // FontFlags
};

// A key event as the key event queue holds it (keyboard.h).
struct KeyEvent {
    int32_t code = 0;
    void* control = nullptr;  // the control that produced it, or null
    int32_t x = 0, y = 0;     // position data of a mouse event (0 for keys)
    bool hasData = false;     // set when it carries a control or position data
};

class FrontEnd {
  public:
    FrontEnd() = default;
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;
    virtual ~FrontEnd() = default;

    // ---- the event pump ----
    // Dispatches the pending events.  The default dispatches the process's event loop (queued
    // and posted calls) when one is published.
    virtual void dispatchPending();
    // One round of idle processing; true when it asks for another.  The default is the process
    // event loop's idle processing (false without a loop).
    virtual bool processIdle();
    // A cheap look at the key sources that no event loop watches (an interrupt signal), made at
    // every keyboard poll of a running program, however tight its loop.  Keys found are queued
    // (keysQueued).  Default: none.
    virtual void pollEvents() {}

    // ---- the key source ----
    // A front end delivers its keys either by queuing them from its key handlers (enqueueKey,
    // keyboard.h), which the defaults below read, or through its own source by overriding these.
    // The next key code without waiting, or -1.  Default: none outside the queue.
    virtual int32_t pollKey() { return -1; }
    // The next key code within `seconds` (0: without limit), or -1 when none came or none can
    // come (a front end without a keyboard answers at once).  Default: yields until the queue
    // holds an event, or the time passed.
    virtual int32_t readKey(int32_t seconds);
    // Takes the attention key when it is waiting: it goes ahead of every other key.  Default: the
    // queue's attention keys are found there.
    virtual bool attention() { return false; }
    // The key reader met code 16: the event taken last belongs to a control, which handles it.
    virtual void controlEvent(const KeyEvent&) {}
    // The status key (operation 59): shows `text`, the status line's latest text.
    virtual void statusKey(std::string_view) {}

    // ---- console text ----
    // Reads one line typed on the console: at most `max` bytes, with `preset` offered in the
    // input field (typing goes after it, or replaces it when `selected`).  `purpose` is
    // kInputCommand or kInputStatement.  Returns kInputLine, kInputTooLong, kInputInterrupted
    // (the attention key ended the typing) or kInputEnded (remoteops.h).
    virtual int32_t readLine(std::string& line, size_t max, int32_t purpose,
                             std::string_view preset, bool selected) = 0;
    // Writes one finished line of the console window.
    virtual void writeLine(std::string_view text) = 0;

    // ---- the status line ----
    virtual void statusText(int32_t field, std::string_view text) = 0;
    // An error; `lineNumber` is -1 for an error of a command.  Error 0 takes the error shown
    // away (a later line was accepted).  Its words follow as field kStatusFieldErrorWords.
    virtual void statusError(int32_t error, int32_t lineNumber, int32_t clause) = 0;

    // ---- the rest of the terminal ----
    virtual int32_t screenAction(const ScreenRequest& request) = 0;
    // Shows a fatal message; nonzero when the process is to carry on.
    virtual int32_t fatalMessage(std::string_view text) = 0;
    // An unused identifier of the terminal layer (the session number at start-up).
    virtual int32_t unusedId(int32_t kind) = 0;
    virtual void setCanClose(bool) {}
    virtual void setTitle(std::string_view) {}
    virtual void endSession() {}

    // ---- help ----
    // Shows a help topic (HELPSHOWCALL): `title` names it, `text` is its lines, each ended by
    // "\n".  Returns once the user has closed it, with what the display hands back to HELP$: the
    // empty string when the user just closed it.  Default: shows nothing.
    virtual std::string showHelp(std::string_view /*title*/, std::string_view /*text*/) {
        return {};
    }

    // ---- message boxes ----
    // MSGBOX: shows `prompt` (lines ended by "\n") with its title, icon and buttons until one is
    // pressed; returns that button's number (msgbox.h).  Default: the box as console lines, the
    // answer typed as a line (its first letter names the button; an empty line the default;
    // the end of input, or the attention key, what Escape gives).
    virtual int32_t messageBox(std::string_view prompt, std::string_view title, BoxButtons kind,
                               BoxIcon icon);

    // ---- controls (controls.h) ----
    // An output to a control (CONTROLOUTPUTCALL); 0 or an error number.  Default: the model
    // takes it and the control is drawn in characters.
    virtual int32_t controlOutput(const ControlOutput& out);
    // The operator works the control at `place` (CONTROLEDITCALL) until a key ends it: `status`
    // 0 with the exit code, or kInputEnded / kInputInterrupted.  `wait` is a time limit in
    // seconds (0 none; when it passes the exit code is 101).  Default: the keys of controlKey
    // on the character screen; a COMBO is edited as a text field, PgUp and PgDn stepping through
    // its list.
    virtual void controlEdit(const ControlPlace& place, int32_t wait, bool singleSelect,
                             int32_t& status, int32_t& exitCode);
    // What a read of a control gives (CONTROLREADCALL).
    virtual ControlAnswer controlRead(const ControlPlace& place, const ControlRead& what) {
        return controls_.read(place, what);
    }
    // A window was closed or cleared: its controls go.
    virtual void dropControls(int32_t window) {
        controls_.dropWindow(window);
        std::erase_if(drawn_, [window](const auto& e) { return e.first.window == window; });
    }

    // ---- the menu bar (menu.h) ----
    // DISPLAY MENU, TEXT, DATA or STATUS (MENUSET).  Default: the model takes it; no bar shows.
    virtual void setMenu(MenuPart part, const std::vector<std::vector<std::string>>& lists) {
        menu_.set(part, lists);
    }
    MenuModel& menu() { return menu_; }

    // ---- fonts ----
    // The fonts the front end draws the console and the status line in, one line each
    // ("CONSOLE face,points", "STATUS face,points"; STATUSFONTSCALL); empty for a front end
    // that uses the terminal's own font (the default).
    virtual std::string fonts() { return {}; }

    // ---- native printing ----
    // A finished job of WIN: or PREVIEW: (`preview`) in the spool file `path`; `flags` bit 0
    // leaves unsupported escapes out, bit 1 places fixed-width characters one by one;
    // `linesPerPage` 0 fills the pages.  Returns 0 when the front end showed or printed it
    // (or the operator cancelled), an error number, or 1 when it does not print itself
    // (the default): the job then becomes a PDF file.
    virtual int32_t printJob(bool /*preview*/, std::string_view /*path*/, int32_t /*flags*/,
                             int32_t /*linesPerPage*/) {
        return 1;
    }

  protected:
    MenuModel menu_;
    // Draws a control in characters through this front end's own screen actions; only the
    // lines that changed since it was last drawn are written again.
    void drawControl(const Control& c, bool focused);
    ControlTable controls_;
    std::map<ControlPlace, std::vector<ControlLine>> drawn_;  // what drawControl wrote last

    // Tells the interpreter side that keys are waiting (KEYSAVAILABLE), once until its next
    // keyboard request reaches the keyboard routine.
    void keysQueued();
};

// The first line a full-screen front end shows.
inline constexpr const char kFrontEndHint[] =
    "Veltrix!  F1 or HELP: help (on the error shown, or HELP LIST)   SYSTEM: leave";

// An error as every front end shows it: "ERROR 2104" for a command, "ERROR 4 at 00020:01" with
// the line number and clause of a program line (`lineNumber` -1: a command).
std::string errorWithPosition(int32_t error, int32_t lineNumber, int32_t clause);

// The status line's parts as the front ends with a screen keep them.
struct StatusParts {
    std::string status;             // the run status
    std::string message;            // the latest message
    std::string mode;               // "INSERT" or "OVER" while a line or field is edited
    std::string rowColumn;          // the cursor's row and column in field input
    std::string error, errorWords;  // the error shown ("ERROR n at l:c") and its words
    // A text for status field `field` (statline.h): the run status, the editing mode, the
    // cursor's place and the error's words have parts of their own; anything else is a message.
    void setText(int32_t field, std::string_view text);
    // An error (0 takes the error shown away); its words come as a text of their own.
    void setError(int32_t number, int32_t lineNumber, int32_t clause);
    // What the message part shows: the error with its words while there is one, else `other`.
    std::string shown(std::string_view other) const;
};

// Attaches `frontEnd` (which must outlive the attachment): installs the terminal side's
// handlers and marks the terminal attached.  Replaces a front end attached before.
void attachFrontEnd(FrontEnd& frontEnd);
// Removes the handlers, marks the terminal detached and empties the keyboard's queue and ring.
void detachFrontEnd();
// The attached front end, or null.
FrontEnd* attachedFrontEnd();

// The pump as the waiting helpers drive it: through the attached front end, else the process's
// event loop alone.
void frontEndDispatchPending();
bool frontEndProcessIdle();
void frontEndPollEvents();

// The type-ahead ring's capacity: keys that a drain moves out of the front end's way.
inline constexpr int kTypeAheadKeys = 128;

}  // namespace vxs
