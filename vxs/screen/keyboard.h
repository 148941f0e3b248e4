// The terminal side's keyboard: the key codes, the key event queue that a front end's key
// handlers fill, the main keyboard entry routine (Escape translation, the line-drawing keypad,
// keyboard macros), the type-ahead ring and the keyboard routine behind KEYBOARDCALL.
//
// Invariants: the event queue holds 0..200 events and the ring 0..128 keys, both in arrival
// order; the macro cursor is at or below the macro end, both inside the macro code array; every
// table here is touched on the main thread only (the key handlers run inside event dispatch).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "vxs/screen/frontend.h"

namespace vxs {

// ---- key codes ----
// A character key is its code (1..255).  A key without a character is a 16-bit code whose low
// byte is 0 and whose high byte names the key.  Programs never see Escape as 27: the keyboard
// entry routine delivers it as kEscape.
namespace keys {
inline constexpr int32_t kAttention = 1;  // the break key: goes ahead of every other key
inline constexpr int32_t kDelete = 4;
inline constexpr int32_t kBackTab = 7;  // Shift-Tab: back to the previous field
inline constexpr int32_t kBackspace = 8;
inline constexpr int32_t kTab = 9;
inline constexpr int32_t kDown = 10;
inline constexpr int32_t kUp = 11;
inline constexpr int32_t kRight = 12;
inline constexpr int32_t kEnter = 13;
inline constexpr int32_t kLeft = 14;
inline constexpr int32_t kControlEvent = 16;  // internal: a control's event (mouse, click)
inline constexpr int32_t kInsert = 17;
inline constexpr int32_t kHelp = 25;
inline constexpr int32_t kEscapeTyped = 27;      // as a front end delivers it
inline constexpr int32_t kLineDrawToggle = 28;   // internal: line-drawing keypad on/off
inline constexpr int32_t kStatusKey = 29;        // internal: show the status text
inline constexpr int32_t kIgnored = 30;          // internal: read and dropped
inline constexpr int32_t kF1 = 0x0100;           // F1..F12: 0x0100..0x0C00
inline constexpr int32_t kF12 = 0x0C00;
inline constexpr int32_t kEvent = 0x6200;
inline constexpr int32_t kEscape = 0x6300;
inline constexpr int32_t kHome = 0x7700;
inline constexpr int32_t kEnd = 0x7800;
inline constexpr int32_t kPageUp = 0x8900;
inline constexpr int32_t kPageDown = 0x8A00;
inline constexpr int32_t kMouseClick = 0xB600;  // a click: its cell with lastMouseCell
// Function key n (1..12).
constexpr int32_t functionKey(int n) {
    return n << 8;
}
}  // namespace keys

// The keys a line of text stands for, as a script types them: each character is its own key,
// and a key name in braces is that key: {ENTER}, {TAB}, {BACKTAB}, {BACKSPACE}, {DELETE}, {INSERT},
// {ESC}, {UP}, {DOWN}, {LEFT}, {RIGHT}, {HOME}, {END}, {PGUP}, {PGDN}, {F1} ... {F12},
// {CTRL-A} ... {CTRL-Z}, {ATTENTION} (any case); "{{" is a brace.  Anything else in braces
// stays as typed.  Bytes of value 0 are no keys.
std::vector<int32_t> keysOfText(std::string_view text);

// ---- the key event queue ----
inline constexpr int kKeyQueueEvents = 200;

// Queues a key event from a front end's key handler (`control`: the control that produced it,
// or null).  Tells the interpreter side that keys wait (KEYSAVAILABLE) unless that was told
// since its last keyboard request.  A code whose low byte is not 0 is stored as that byte.
// Returns 0, or -1 when the queue already holds 200 events (the event is dropped).
int enqueueKey(int32_t code, void* control = nullptr);
// The same with the position data of a mouse event.
int enqueueKeyAt(int32_t code, int32_t x, int32_t y);
// Events waiting in the queue.
int queuedKeyEvents();

// The screen cell (absolute row and column, 0-based) of the last click (kMouseClick) read; false
// when none was read since the keyboard was reset.  A click queued with enqueueKeyAt(kMouseClick,
// column, row) notes its cell when it is read; a front end reading its own key source notes it
// with noteMouseCell before it hands out kMouseClick.
bool lastMouseCell(int& row, int& column);
void noteMouseCell(int row, int column);
// True once when the key taken last was a click: a control that the click moved field input to
// claims it and does on itself what the click does there (a row chosen, a box checked).
bool claimLastClick();

// Pushes one key back to be read again before any other (menu and accelerator handling).
void pushBackKey(int32_t code);

// Gathers a key typed as Alt and keypad digits: the front end calls altPressed when Alt goes
// down, keypadDigit for each keypad digit while it is held (not queued then), and altReleased,
// which queues the gathered code modulo 1000 when it is not 0.
class AltCodeEntry {
  public:
    void altPressed() { code_ = 0; }
    void keypadDigit(int digit) { code_ = (code_ * 10 + digit) % 1000000; }
    void altReleased() {
        if (code_ % 1000 != 0) (void)enqueueKey(code_ % 1000);
        code_ = 0;
    }

  private:
    int32_t code_ = 0;
};

// ---- keyboard macros ----
// Adds a macro from a KEYBOARD text: "kkkk,item[,item...]" where kkkk is the key's code in hex
// (1..4 digits, not 0) and each item is a text in double quotes (its characters, each a key) or
// a key code in hex (1..4 digits, not 0).  Returns 0, or kErrUnrecognized for a text of any
// other form (nothing is added).  A key defined twice keeps its first expansion.
[[nodiscard]] int addKeyboardMacro(std::string_view text);
void clearKeyboardMacros();
// Builds the macro table from the configuration's KEYBOARD texts (called whenever they may have
// changed; rebuilds only when they did).  Texts that are refused are logged and left out.
// Returns 0, or kErrUnrecognized when any was refused.
int loadKeyboardMacros();

// ---- the routines ----
// The next key after the Escape translation, the line-drawing keypad and macro lookup: without
// waiting (-1 when none), or within `seconds` (0: without limit; -1 when the time passed).
int32_t mainKeyboardEntry(bool wait, int32_t seconds);
// The keyboard routine (KEYBOARDCALL's action and argument); its result goes back in
// KEYBOARDRET.  An unknown action is a consistency failure.
int32_t keyboardRoutine(int32_t action, int32_t argument);
// Whether the line-drawing keypad is on.
bool lineDrawingMode();
// Keys waiting in the type-ahead ring.
int typeAheadCount();

// ---- for the front-end layer ----
// KEYSAVAILABLE once until the next keyboard request (frontend.cpp's FrontEnd::keysQueued).
void announceKeys();
// A keyboard request reached the terminal side: a further key is worth announcing again.
void rearmKeyAnnouncement();
// A key injected by the debugger link (INJECTKEY), read ahead of the queue while it is open.
void injectKey(int32_t code);
// The injected key not yet read (and forgets it), or -1.  Front ends that read lines on their
// own take it while they wait: an injected Enter ends the line being typed.
int32_t takeInjectedKey();
// The status line's latest text, sent with the status key.
void noteStatusText(std::string_view text);
// Empties the queue, the ring, the pushed-back key, the macro cursor and the line-drawing mode
// (attaching and detaching a front end).
void resetKeyboard();
// A default FrontEnd's timed wait: yields until an event is queued or `seconds` (0: without
// limit) passed; returns the event's code or -1.
int32_t waitForQueuedKey(int32_t seconds);

}  // namespace vxs
