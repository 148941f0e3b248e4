// The interpreter side's requests to the terminal: each one is a remote operation.  A front end
// (the stream front end, later the full-screen and window front ends) installs the handlers
// that carry them out and marks the terminal attached.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

// Screen action codes.  `window` is the window's file number (0: the console window, 24 rows
// of 80 columns at the screen's top left corner); a position is 0-based inside the window's
// interior (its border lies outside it).  Colours travel as FontFlags (screen/fields.h): its
// display bits in `attr`, its RGB foreground in `a` and background in `b`, its look letters
// (kLook*, FontFlags::value2) in the low 16 bits of `c`.
inline constexpr int32_t kScreenOpen = 1280;      // open the screen at start-up
inline constexpr int32_t kScreenShutdown = 2304;  // the end of the terminal
inline constexpr int32_t kScreenBeep = 80;        // the error signal
// Opens window `window` above every window open: position = the absolute screen row and column
// (0-based) of its interior's first cell; c = rows << 16 | columns << 8 | border kind
// (kBorder*); text = its caption (shown in the top border), attr/a/b its default attribute
// (no look letters).  The interior starts blank in that attribute; its current row is 0.
inline constexpr int32_t kScreenOpenWindow = 1536;
// Closes a window: what lay beneath shows again.
inline constexpr int32_t kScreenCloseFile = 2048;
// Writes `text` at the position in the window's interior (a field of PRINT FIELDS), cut at the
// window's right edge; bytes below 32 show as blanks, an invisible attribute shows blanks.
inline constexpr int32_t kScreenWriteText = 241;
// The same while a field is being edited, with the terminal's cursor placed at offset
// (c >> 16) - 1 of the text (no cursor when c >> 16 is 0).  Front ends that show no screen
// (the stream front end) leave it out.
inline constexpr int32_t kScreenShowField = 242;
// One finished line of PRINT to a window: `text` replaces the window's current row in its
// default attribute.
inline constexpr int32_t kScreenWindowLine = 225;
// A line feed in a window: the current row moves down one; at the bottom the interior scrolls
// up one row instead.
inline constexpr int32_t kScreenLineFeed = 48;
// Blanks the window's interior (a form feed printed to it); the current row becomes 0.
inline constexpr int32_t kScreenClearWindow = 1792;

// Lends the terminal to another program (an editor): the screen is put aside and the terminal's
// modes become the shell's; kScreenResume takes it back and draws the screen again.
inline constexpr int32_t kScreenSuspend = 2560;
inline constexpr int32_t kScreenResume = 2816;

// The next line read for an input statement is typed in window `window` at the position, in a
// field of `a` columns, instead of on the console's bottom row.  Front ends without a screen
// leave it out.
inline constexpr int32_t kScreenInputPlace = 3072;

// Where the last mouse click fell in window `window`'s interior: the result is its row << 8 |
// column (0-based), or -1 when no click was read, or it fell outside the interior or where
// another window covers it.  Front ends without a screen answer -1.
inline constexpr int32_t kScreenMousePlace = 3328;

// The look of a window just opened, for the front ends that show it: `text` holds one
// "KEYWORD=value" line per keyword of its OPEN string that concerns the look (FONT, FONT.NAME,
// FONT.SIZE, FONT.TEXT..., FONT.LABELS..., FONT.BUTTONS..., FONTSIZE, CHAR.WIDTH, CHAR.HEIGHT,
// ROW.HEIGHT, BUTTONROWS, MAXIMIZE, NOMAXIMIZE; read with windowlook.h).  A picture behind the
// window's text: `text` holds the picture file's bytes.
inline constexpr int32_t kScreenWindowLook = 3584;
inline constexpr int32_t kScreenWindowPicture = 3840;

// Border kinds of kScreenOpenWindow.
inline constexpr int32_t kBorderNone = 0, kBorderSingle = 1, kBorderDouble = 2, kBorderBlank = 3;

// The width of the command line's input field.
inline constexpr int32_t kCommandFieldWidth = 800;
// Columns of the console window (#0); the stream front end's lines are as wide.
inline constexpr int32_t kConsoleWidth = 80;

bool terminalAttached();
// Marks the terminal attached or detached; either way its keys count as not announced.
void setTerminalAttached(bool attached);
// Whether the terminal side announces its keys (KEYSAVAILABLE), as every FrontEnd does.  When it
// does not, every keyboard request is sent, since nothing else would tell that keys wait.
void setKeysAnnounced(bool announced);
int32_t terminalIdentifier();

// The position parameter of a screen action: the row in the high byte, the column in the low.
inline int32_t screenPosition(int32_t row, int32_t column) {
    return row << 8 | column;
}

// A screen action (parameters: window file control block, action, position, two integers,
// text, a further integer, attribute value); returns the action's result.  A row or column above
// 250 is a consistency failure.
// Texts travel with their lengths: a text may hold bytes of value 0.  A text without data (the
// default) travels as "no text".
int32_t screenAction(int32_t action, int32_t row = 0, int32_t column = 0, int32_t a = 0,
                     int32_t b = 0, std::string_view text = {}, int32_t c = 0, int32_t attr = 0);
// The same on window `window` (a file number; screenAction acts on the console, 0).
int32_t windowAction(int32_t window, int32_t action, int32_t row = 0, int32_t column = 0,
                     int32_t a = 0, int32_t b = 0, std::string_view text = {}, int32_t c = 0,
                     int32_t attr = 0);
// Reads one console line (at most maxLength bytes).  Returns kInputLine, kInputTooLong,
// kInputInterrupted or kInputEnded (remoteops.h).  `preset` is offered in the input field:
// typing goes after it, or replaces it when `selected`.
int32_t consoleInput(std::string& line, int32_t maxLength, int32_t purpose,
                     std::string_view preset = {}, bool selected = false);
// Writes one finished line of the console window.
void consoleOutput(std::string_view line);
void terminalStatusText(int32_t field, std::string_view text);
void terminalStatusError(int32_t error, int32_t lineNumber, int32_t clause);
void terminalSetCanClose(bool canClose);
// The title of the terminal's window (the window front end's title bar; others show none).
void terminalSetTitle(std::string_view title);
// Shows a help topic on the terminal side (its title, and its text as lines ended by "\n") until
// the user closes it; returns what the help display hands back ("" when it was just closed, or
// when no terminal shows help).
std::string terminalShowHelp(std::string_view title, std::string_view text);
// MSGBOX on the terminal side: the number of the button pressed (msgbox.h).  Without a
// terminal, what closing the box gives (the default button when it cannot be closed).
int32_t terminalMessageBox(std::string_view prompt, std::string_view title, int32_t set,
                           int32_t icon);
// Controls (controls.h) on the terminal side: an output (0 or the error the terminal side
// found; 0 without a terminal), the operator's turn on one (status 0 with the exit code, or
// kInputEnded / kInputInterrupted; kInputEnded without a terminal) and a read (empty without
// a terminal).
struct ControlOutput;
struct ControlPlace;
struct ControlRead;
struct ControlAnswer;
int32_t terminalControlOutput(const ControlOutput& out);
void terminalControlEdit(const ControlPlace& place, int32_t wait, bool singleSelect,
                         int32_t& status, int32_t& exitCode);
ControlAnswer terminalControlRead(const ControlPlace& place, const ControlRead& what);
// The menu bar (menu.h): a DISPLAY of a part with its lists; the item chosen last (0 none);
// choosing item n as the program does; item n's text (false when there is none).  Without a
// terminal nothing is kept: 0 and false.
void terminalSetMenu(int part, const std::vector<std::vector<std::string>>& lists);
int32_t terminalMenuOption();
// The fonts the terminal side draws the console and the status line in, one line each
// ("CONSOLE face,points", "STATUS face,points"); empty when it uses the terminal's own font.
std::string terminalFonts();
// INPUT MENU: part 1 (texts, with the dots of their depth), 2 (data) or 3 (statuses) of every
// item; none without a terminal.
std::vector<std::string> terminalMenuPart(int part);
void terminalMenuChoose(int32_t item);
bool terminalMenuItem(int32_t item, std::string& text);
// A finished job of WIN: (device 1) or PREVIEW: (device 0) for a front end that prints itself
// (FrontEnd::printJob): 0 done, an error number, or 1 when no front end takes it.
int32_t terminalPrintJob(int32_t device, std::string_view path, int32_t flags,
                         int32_t linesPerPage);
// Key codes that the poll reports: attention, help, function keys n x 256 (n = 1..10) and the
// two further keys of the function-key table.
inline constexpr int32_t kKeyAttention = 1;
inline constexpr int32_t kKeyHelp = 25;
inline constexpr int32_t kKeyFunction99 = 0x6300;
inline constexpr int32_t kKeyEvent = 0x6200;
// The key pressed since the last poll that the run loop acts on (0 when none); the keys typed
// meanwhile are kept for later reads.  The poll first lets the front end look at its key sources
// (pollEvents), then asks the keyboard routine only when keys were announced, so a poll without
// keys costs no message.
int32_t pollKeyboard();
// Whether that key is the attention key.
bool pollAttention();
// A keyboard request (action, argument) to the terminal side's keyboard routine: action 1 reads
// one key (argument -1: without waiting), action 2 one key within argument seconds, 9 drains
// the keys typed ahead (1 when the attention key was among them).  Returns the key code, or -1
// when none came or none can be expected: when the terminal side announces its keys, actions
// other than 2, 3, 4, 6 and 7 are sent only when it announced keys (KEYSAVAILABLE) since the last
// request of their class (9 and 10, or the others), or the previous one found a key.
int32_t keyboardRequest(int32_t action, int32_t argument);
// KEYSAVAILABLE's effect: keys are worth asking for, in both classes.
void noteKeysAvailable();
// An unused identifier from the terminal layer (the session number at start-up).
int32_t terminalUnusedId(int32_t kind);
// The end of the terminal at shut-down: screen action 2304, then the end of the session.
void terminalShutdown();

// Frees the key tables and marks the process terminated for the terminal layer (shut-down).
void freeKeyTables();
void terminalMarkTerminated();
bool terminalTerminated();

}  // namespace vxs
