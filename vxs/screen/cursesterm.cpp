// The full-screen terminal front end (cursesterm.h).  It owns the terminal while attached: the
// screen model (the console window's 24 rows, scrolled up by each line written, and the windows
// above it), the status line's fields, the command line editor with its recall list, and the
// keys read from the raw terminal.
// Invariants: the terminal library is active exactly while `active_` is set, and the saved tty
// modes are given back whenever it stops (SYSTEM, a fatal message, a signal that ends the
// process); the recall list never holds more than MAXRECALL lines; every colour pair handed out
// is in `pairs_` and below the terminal's pair count (pair 0 once they run out).
#include "vxs/screen/cursesterm.h"

// Functions rather than macros: the library's macro names (clear, erase, move) would rewrite
// member calls of the standard containers.
#define NCURSES_NOMACROS
#include <curses.h>
#include <term.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <string_view>

#include "vxs/clientserver/common.h"
#include "vxs/config/config.h"
#include "vxs/config/statline.h"
#include "vxs/control/utils.h"
#include "vxs/control/version.h"
#include "vxs/debugger/debug.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/platform/ttymodes.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/helpview.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/screenmodel.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

constexpr int kRows = 24;                // console window rows
constexpr int kColumns = kConsoleWidth;  // console window columns
constexpr int kStatusRow = kRows;        // the status line, directly below the console
constexpr int kFieldRow = kRows - 1;     // the command line's input field

// Key codes as the system knows them.
constexpr int32_t kKeyCtrlC = 3;
constexpr int32_t kKeyDelete = 4;
constexpr int32_t kKeyBackspace = 8;
constexpr int32_t kKeyDown = 10;
constexpr int32_t kKeyUp = 11;
constexpr int32_t kKeyRight = 12;
constexpr int32_t kKeyEnter = 13;
constexpr int32_t kKeyLeft = 14;
constexpr int32_t kKeyInsert = 17;
constexpr int32_t kKeyEscape = 27;
constexpr int32_t kKeyHome = 0x7700;
constexpr int32_t kKeyEnd = 0x7800;
constexpr int32_t kKeyPageUp = 0x8900;
constexpr int32_t kKeyPageDown = 0x8A00;

// How often a running program's keyboard polls look at the terminal: a tight loop polls far
// more often than anyone types.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// The system's code of a key the terminal library reported, or -1 for one it does not use.
int32_t keyCode(int ch) {
    switch (ch) {
        case KEY_UP: return kKeyUp;
        case KEY_DOWN: return kKeyDown;
        case KEY_RIGHT: return kKeyRight;
        case KEY_LEFT: return kKeyLeft;
        case KEY_HOME: return kKeyHome;
        case KEY_END: return kKeyEnd;
        case KEY_DC: return kKeyDelete;
        case KEY_IC: return kKeyInsert;
        case KEY_PPAGE: return kKeyPageUp;
        case KEY_NPAGE: return kKeyPageDown;
        case KEY_BACKSPACE: return kKeyBackspace;
        case KEY_ENTER: return kKeyEnter;
        case 127: return kKeyBackspace;  // what most terminals send for Backspace
        default: break;
    }
    if (ch >= KEY_F(1) && ch <= KEY_F(12)) return (ch - KEY_F(0)) << 8;
    if (ch > 0 && ch < 256) return ch;  // control characters as their code, text as its byte
    return -1;
}

// What a console cell shows for a byte: control bytes as blanks (they would take two cells).
chtype cell(unsigned char c) {
    if (c < 32 || c == 127) return ' ';
    if (c > 127) return '?';
    return c;
}

class CursesFrontEnd final : public FrontEnd {
  public:
    // Takes the terminal; false (terminal untouched or given back) when it cannot serve.
    bool open();
    // Gives the terminal back as it was found.
    void close();

    void pollEvents() override {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPoll_ < kPollInterval) return;
        lastPoll_ = now;
        drain(true);
    }
    int32_t pollKey() override {
        drain(true);
        if (takeAttention()) return kKeyAttention;
        if (keys_.empty()) return -1;
        const int32_t key = keys_.front();
        keys_.pop_front();
        return key;
    }
    int32_t readKey(int32_t seconds) override;
    bool attention() override {
        drain(true);
        return takeAttention();
    }

    int32_t readLine(std::string& line, size_t max, int32_t purpose, std::string_view preset,
                     bool selected) override;
    void writeLine(std::string_view text) override {
        if (!active_) return;
        newBottomRow();
        text = text.substr(0, kColumns);
        model_.setBottomRow(text, true);
        drawRow(kFieldRow);
        placeCursor(kFieldRow, static_cast<int>(text.size()));
        refresh();
    }

    void statusText(int32_t field, std::string_view text) override {
        // The run status, the editing mode and the cursor's place of field input have fields of
        // their own; anything else is a message.
        if (field == 0)
            status_.assign(text);
        else if (field == kStatusFieldMode)
            mode_.assign(text);
        else if (field == kStatusFieldRowColumn)
            rowColumn_.assign(text);
        else
            message_.assign(text);
        redrawStatus();
    }
    void statusError(int32_t error, int32_t lineNumber, int32_t clause) override {
        char text[64];
        if (lineNumber < 0)
            snprintf(text, sizeof text, "ERROR %d", error);
        else
            snprintf(text, sizeof text, "ERROR %d at %05ld:%02d", error,
                     static_cast<long>(lineNumber), clause);
        status_ = text;
        redrawStatus();
    }

    int32_t screenAction(const ScreenRequest& request) override;
    // The message goes to standard error once the terminal is given back, where it stays
    // readable after the process ends.
    int32_t fatalMessage(std::string_view text) override {
        close();
        std::string line(text);
        line += '\n';
        (void)platform::writeAll(platform::kStderr, line.data(), line.size());
        return 0;
    }
    int32_t unusedId(int32_t) override { return 1; }
    void endSession() override { close(); }
    // A help topic fills the terminal until it is closed; then the screen comes back whole,
    // with the cursor where it was.
    std::string showHelp(std::string_view title, std::string_view text) override {
        if (!active_) return {};
        int y = 0, x = 0;
        getyx(stdscr, y, x);
        std::string answer = showHelpScreen(title, text);
        redrawAll();
        move(y, x);
        refresh();
        return answer;
    }

  private:
    // Moves the keys typed so far into the queue.  The attention key (Ctrl-A, and Ctrl-C when
    // `running`: a running program's poll) is kept apart, ahead of every other key.
    void drain(bool running);
    bool takeAttention() {
        const bool pressed = attention_;
        attention_ = false;
        return pressed;
    }
    // The next key: queued first, else from the terminal, waiting without limit.  -1 only
    // when the terminal is gone.
    int32_t nextKey();
    int32_t waitForKey(int32_t seconds);
    void newBottomRow() {
        model_.newBottomRow();
        for (int r = 0; r < kRows; ++r) drawRow(r);
    }
    void drawRow(int row) {
        move(row, 0);
        for (int c = 0; c < kColumns; ++c) addch(shown(model_.composite(row, c)));
    }
    // Redraws the console window's rows and puts the cursor back where it was.
    void redrawRows() {
        int y = 0, x = 0;
        getyx(stdscr, y, x);
        for (int r = 0; r < kRows; ++r) drawRow(r);
        move(y, x);
        refresh();
    }
    // What the terminal shows for a cell of the composite.
    chtype shown(const ScreenCell& cell);
    chtype attributes(const CellAttr& attr);
    // The colour pair of a foreground and background (-1: the terminal's default), made on
    // first use; pair 0 once the terminal has no more.
    short colourPair(int fg, int bg);
    void drawStatus();
    void redrawStatus() {
        if (!active_) return;
        int y = 0, x = 0;
        getyx(stdscr, y, x);
        drawStatus();
        move(y, x);
        refresh();
    }
    void redrawAll() {
        clear();
        for (int r = 0; r < kRows; ++r) drawRow(r);
        drawStatus();
    }
    void placeCursor(int row, int column) { move(row, column < kColumns ? column : kColumns - 1); }
    // Shows the field's text from `offset` on the bottom row with the cursor at `at`.
    void drawField(const std::string& text, size_t at, size_t& offset, size_t width);
    void remember(const std::string& line);

    bool active_ = false;
    SCREEN* screen_ = nullptr;
    ScreenModel model_;
    int colours_ = 0;              // the terminal's colours; 0 when it shows none
    bool defaultColours_ = false;  // colour -1 (the terminal's own) may stand in a pair
    int pairLimit_ = 0;            // pairs that may be made: 1 .. pairLimit_ - 1
    std::map<int, short> pairs_;   // (fg + 1) << 16 | (bg + 1) -> pair
    std::string status_, message_;
    // Where the next input statement's line is typed: a window's row and column (window -1:
    // the console's bottom row).
    struct InputPlace {
        int window = -1, row = 0, column = 0, width = 0;
    };
    InputPlace place_;
    std::string mode_;       // "INSERT" or "OVER" while a line or field is edited
    std::string rowColumn_;  // the cursor's row and column in field input
    bool insert_ = true;     // the editor's mode, kept from line to line
    std::deque<std::string> recall_;
    bool attention_ = false;
    std::deque<int32_t> keys_;
    std::chrono::steady_clock::time_point lastPoll_{};
};

bool CursesFrontEnd::open() {
    if (!platform::isTerminal(platform::kStdin) || !platform::isTerminal(platform::kStdout))
        return false;
    // The terminal's description and size are looked at before the library takes the terminal
    // (which changes its modes): a terminal left to the stream front end keeps its lines typed
    // ahead as lines.  One that cannot address its cursor is a line terminal.
    int failure = 0;
    if (setupterm(nullptr, platform::kStdout, &failure) != OK) return false;
    const char* address = tigetstr("cup");
    const bool addressable = address != nullptr && address != reinterpret_cast<char*>(-1);
    const int height = tigetnum("lines"), width = tigetnum("cols");
    del_curterm(cur_term);
    if (!addressable) return false;
    if (height < kRows + 1 || width < kColumns) {
        char text[160];
        snprintf(text, sizeof text,
                 "The terminal is %dx%d; the full screen needs %dx%d: line mode.\n", width, height,
                 kColumns, kRows + 1);
        (void)platform::writeAll(platform::kStderr, text, strlen(text));
        return false;
    }
    if (platform::saveTerminalModes(platform::kStdin) != 0) return false;
    screen_ = newterm(nullptr, stdout, stdin);
    if (screen_ == nullptr) {
        platform::restoreTerminalModes();
        return false;
    }
    // What the terminal needs to be itself again if a signal ends the process.
    std::string reset;
    for (const char* cap : {"sgr0", "cnorm", "rmkx", "rmcup"}) {
        const char* s = tigetstr(cap);
        if (s != nullptr && s != reinterpret_cast<char*>(-1)) reset += s;
    }
    reset += "\r\n";
    platform::setTerminalResetText(reset);
    platform::catchFatalSignals();
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(50);
    nodelay(stdscr, TRUE);
    model_.reset();
    pairs_.clear();
    colours_ = 0;
    defaultColours_ = false;
    pairLimit_ = 0;
    if (has_colors() && start_color() == OK) {
        defaultColours_ = use_default_colors() == OK;
        colours_ = COLORS;
        // A pair number must fit the attribute's eight colour bits.
        pairLimit_ = std::min(COLOR_PAIRS, 256);
    }
    status_.clear();
    message_.clear();
    mode_.clear();
    rowColumn_.clear();
    attention_ = false;
    keys_.clear();
    active_ = true;
    redrawAll();
    placeCursor(kFieldRow, 0);
    refresh();
    return true;
}

void CursesFrontEnd::close() {
    if (!active_) return;
    active_ = false;
    endwin();
    delscreen(screen_);
    screen_ = nullptr;
    platform::restoreTerminalModes();
}

void CursesFrontEnd::drawStatus() {
    attron(A_REVERSE);
    move(kStatusRow, 0);
    for (int c = 0; c < kColumns; ++c) addch(' ');
    // The status name (or the error with its position), the message, the editing mode.
    const auto put = [](int column, std::string_view text, size_t width) {
        move(kStatusRow, column);
        for (size_t i = 0; i < text.size() && i < width; ++i)
            addch(cell(static_cast<unsigned char>(text[i])));
    };
    put(1, status_, 22);
    put(24, message_, 38);
    put(64, rowColumn_, 6);
    put(72, mode_, 7);
    attroff(A_REVERSE);
}

void CursesFrontEnd::drain(bool running) {
    if (!active_) return;
    bool added = false;
    for (int ch; (ch = getch()) != ERR;) {
        if (ch == KEY_RESIZE) {
            redrawAll();
            continue;
        }
        const int32_t key = keyCode(ch);
        if (key < 0) continue;
        if (key == kKeyAttention || (running && key == kKeyCtrlC)) {
            attention_ = true;
        } else if (keys_.size() < kTypeAheadKeys) {
            keys_.push_back(key);
        }
        added = true;
    }
    if (added) keysQueued();
}

int32_t CursesFrontEnd::nextKey() {
    if (!keys_.empty()) {
        const int32_t key = keys_.front();
        keys_.pop_front();
        return key;
    }
    return active_ ? waitForKey(0) : -1;
}

int32_t CursesFrontEnd::readKey(int32_t seconds) {
    const int32_t key = pollKey();
    if (key >= 0 || !active_) return key;
    return seconds == 0 ? nextKey() : waitForKey(seconds);
}

// The next key typed on the terminal, within `seconds` (0: without limit): the rest of the time
// after each key the system does not use; a resize redraws and the wait goes on.
int32_t CursesFrontEnd::waitForKey(int32_t seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int32_t key = -1;
    for (;;) {
        // With a debugger linked the wait goes in slices that serve the link; a key it injects
        // is the key read.
        const bool linked = debugLinkOpen();
        if (linked) {
            key = takeInjectedKey();
            if (key >= 0) break;
        }
        if (seconds == 0 && linked) {
            timeout(10);
        } else if (seconds == 0) {
            nodelay(stdscr, FALSE);
        } else {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            timeout(static_cast<int>(left.count()));
        }
        const int ch = getch();
        if (ch == ERR && seconds == 0 && linked) {
            yieldControl();
            continue;
        }
        if (ch == ERR) break;  // the time is up, or the terminal is gone
        if (ch == KEY_RESIZE) {
            redrawAll();
            continue;
        }
        key = keyCode(ch);
        if (key >= 0) break;
    }
    nodelay(stdscr, TRUE);
    return key;
}

void CursesFrontEnd::drawField(const std::string& text, size_t at, size_t& offset, size_t width) {
    if (at < offset) offset = at;
    if (at >= offset + width) offset = at - width + 1;
    std::string_view shown = std::string_view(text).substr(offset, width);
    int y = 0, x = 0;
    if (place_.window >= 0 &&
        model_.absolute(place_.window, place_.row, place_.column, y, x) == 0) {
        // A line typed in a window: its field, blank-filled to the field's width.
        std::string field(shown);
        field.resize(width, ' ');
        (void)model_.writeText(place_.window, place_.row, place_.column, field, CellAttr{});
        redrawRows();
        move(y, std::min(x + static_cast<int>(at - offset), kColumns - 1));
        refresh();
        return;
    }
    model_.setBottomRow(shown, false);
    drawRow(kFieldRow);
    placeCursor(kFieldRow, static_cast<int>(at - offset));
    refresh();
}

void CursesFrontEnd::remember(const std::string& line) {
    if (line.empty() || (!recall_.empty() && recall_.back() == line)) return;
    recall_.push_back(line);
    const size_t most = static_cast<size_t>(std::max(configLimits().maxRecall, 0));
    while (recall_.size() > most) recall_.pop_front();
}

int32_t CursesFrontEnd::readLine(std::string& line, size_t max, int32_t purpose,
                                 std::string_view preset, bool selected) {
    line.clear();
    if (!active_) return kInputEnded;
    drain(false);
    // An attention key left over from a command or a finished run must not stop the next line;
    // one pressed for a waiting input statement interrupts it.
    // A place in a window holds for this one line of an input statement.
    const InputPlace place = purpose == kInputStatement ? place_ : InputPlace{};
    place_ = InputPlace{};
    if (takeAttention() && purpose == kInputStatement) return kInputInterrupted;
    place_ = place;
    if (place_.window < 0) newBottomRow();
    std::string text(preset.substr(0, max));
    size_t at = text.size();
    bool replace = selected && !text.empty();  // the first typed character replaces the offer
    size_t width = max < static_cast<size_t>(kColumns) ? std::max<size_t>(max, 1) : kColumns;
    if (place_.window >= 0) width = std::min<size_t>(width, static_cast<size_t>(place_.width));
    size_t offset = 0;
    size_t recallAt = recall_.size();  // the recalled line; the end is the line being typed
    std::string typed;                 // what was typed before recalling
    mode_ = insert_ ? "INSERT" : "OVER";
    redrawStatus();
    int32_t result = kInputLine;
    for (bool done = false; !done;) {
        drawField(text, at, offset, width);
        const int32_t key = nextKey();
        if (key < 0) {
            result = kInputEnded;
            break;
        }
        const bool wasReplace = replace;
        replace = false;
        switch (key) {
            case kKeyEnter: done = true; break;
            case kKeyAttention:
                if (purpose == kInputStatement) {
                    result = kInputInterrupted;
                    done = true;
                } else {
                    text.clear();  // at the command prompt it drops what was typed
                    at = 0;
                }
                break;
            case kKeyLeft:
                if (at > 0) --at;
                break;
            case kKeyRight:
                if (at < text.size()) ++at;
                break;
            case kKeyHome: at = 0; break;
            case kKeyEnd: at = text.size(); break;
            case kKeyBackspace:
                if (wasReplace) {
                    text.clear();
                    at = 0;
                } else if (at > 0) {
                    text.erase(--at, 1);
                }
                break;
            case kKeyDelete:
                if (wasReplace) {
                    text.clear();
                    at = 0;
                } else if (at < text.size()) {
                    text.erase(at, 1);
                }
                break;
            case kKeyEscape:
                text.clear();
                at = 0;
                break;
            case kKeyInsert:
                insert_ = !insert_;
                mode_ = insert_ ? "INSERT" : "OVER";
                redrawStatus();
                break;
            case kKeyUp:
            case kKeyDown:
                if (key == kKeyUp && recallAt == 0) {
                    beep();
                    break;
                }
                if (key == kKeyDown && recallAt >= recall_.size()) break;
                if (recallAt == recall_.size()) typed = text;
                recallAt += key == kKeyUp ? -1 : 1;
                text = recallAt < recall_.size() ? recall_[recallAt] : typed;
                if (text.size() > max) text.resize(max);
                at = text.size();
                break;
            default:
                if (key < 32 || key > 255 || key == 127) break;  // other keys do not edit
                if (wasReplace) {
                    text.clear();
                    at = 0;
                }
                if (at < text.size() && !insert_) {
                    text[at++] = static_cast<char>(key);
                } else if (text.size() < max) {
                    text.insert(at++, 1, static_cast<char>(key));
                } else {
                    beep();  // the field is full
                }
                break;
        }
    }
    if (place_.window >= 0) {
        // In a window the program shows the finished line itself.
        place_ = InputPlace{};
    } else {
        // The finished line stays on the bottom row as typed, from its start.
        model_.setBottomRow(std::string_view(text).substr(0, kColumns), true);
        drawRow(kFieldRow);
    }
    mode_.clear();
    drawStatus();
    placeCursor(kFieldRow, static_cast<int>(std::min<size_t>(text.size(), kColumns)));
    refresh();
    if (result == kInputEnded) return result;
    if (purpose == kInputCommand && result == kInputLine) remember(text);
    line = std::move(text);
    return result;
}

int32_t CursesFrontEnd::screenAction(const ScreenRequest& r) {
    if (!active_) return 0;
    const int row = r.position >> 8, column = r.position & 0xFF;
    int result = 0;
    switch (r.action) {
        case kScreenBeep: beep(); return 0;
        case kScreenShutdown: close(); return 0;
        case kScreenInputPlace:
            if (!model_.isOpen(r.window) || r.a < 1) return 0;
            place_ = InputPlace{r.window, row, column, r.a};
            return 0;
        case kScreenSuspend:
            def_prog_mode();
            endwin();
            return 0;
        case kScreenResume:
            reset_prog_mode();
            redrawAll();
            refresh();
            return 0;
        case kScreenOpenWindow:
            result = model_.openWindow(r.window, row, column, r.c >> 16, r.c >> 8 & 0xFF,
                                       r.c & 0xFF, r.text, cellAttrOf(r.attr, r.a, r.b, 0));
            break;
        case kScreenCloseFile:
            // Closing a file that is no window is no screen matter.
            if (!model_.isOpen(r.window) || r.window == 0) return 0;
            result = model_.closeWindow(r.window);
            break;
        case kScreenWriteText:
        case kScreenShowField:
            result =
                model_.writeText(r.window, row, column, r.text, cellAttrOf(r.attr, r.a, r.b, r.c));
            break;
        case kScreenWindowLine:
            if (r.window == 0) {
                writeLine(r.text);
                return 0;
            }
            result = model_.windowLine(r.window, r.text);
            break;
        case kScreenLineFeed: result = model_.lineFeed(r.window); break;
        case kScreenClearWindow: result = model_.clearWindow(r.window); break;
        default: return 0;
    }
    if (result != 0) return result;
    redrawRows();
    // A field being edited shows the terminal cursor at its editing position, where it stays
    // while the next key is awaited.
    int y = 0, x = 0;
    const int offset = (r.c >> 16) - 1;
    if (r.action == kScreenShowField && offset >= 0 &&
        model_.absolute(r.window, row, column + offset, y, x) == 0) {
        move(std::clamp(y, 0, kRows - 1), std::clamp(x, 0, kColumns - 1));
        refresh();
    }
    return 0;
}

chtype CursesFrontEnd::shown(const ScreenCell& c) {
    chtype attr = attributes(c.attr);
    if (c.line == LinePart::None) return cell(c.ch) | attr;
    // The terminal's line set has single lines only: a double border is drawn bold.
    if (c.border == BorderKind::Double) attr |= A_BOLD;
    switch (c.line) {
        case LinePart::Horizontal: return ACS_HLINE | attr;
        case LinePart::Vertical: return ACS_VLINE | attr;
        case LinePart::TopLeft: return ACS_ULCORNER | attr;
        case LinePart::TopRight: return ACS_URCORNER | attr;
        case LinePart::BottomLeft: return ACS_LLCORNER | attr;
        case LinePart::BottomRight: return ACS_LRCORNER | attr;
        case LinePart::None: break;
    }
    return ' ' | attr;
}

chtype CursesFrontEnd::attributes(const CellAttr& attr) {
    const TerminalLook look = terminalLook(attr, colours_);
    chtype out = A_NORMAL;
    if (look.bold) out |= A_BOLD;
    if (look.underline) out |= A_UNDERLINE;
    if (look.blink) out |= A_BLINK;
    if (look.reverse) out |= A_REVERSE;
    if (colours_ > 0 && (look.fg >= 0 || look.bg >= 0))
        out |= COLOR_PAIR(colourPair(look.fg, look.bg));
    return out;
}

short CursesFrontEnd::colourPair(int fg, int bg) {
    if (!defaultColours_) {
        if (fg < 0) fg = COLOR_WHITE;
        if (bg < 0) bg = COLOR_BLACK;
    }
    if (fg >= colours_) fg = COLOR_WHITE;
    if (bg >= colours_) bg = COLOR_BLACK;
    const int key = (fg + 1) << 16 | (bg + 1);
    if (const auto it = pairs_.find(key); it != pairs_.end()) return it->second;
    const int next = static_cast<int>(pairs_.size()) + 1;
    if (next >= pairLimit_) return 0;
    if (init_pair(static_cast<short>(next), static_cast<short>(fg), static_cast<short>(bg)) != OK)
        return 0;
    pairs_.emplace(key, static_cast<short>(next));
    return static_cast<short>(next);
}

CursesFrontEnd g_curses;

}  // namespace

bool attachCursesTerminal() {
    if (!g_curses.open()) return false;
    attachFrontEnd(g_curses);
    // The terminal side introduces itself; the interpreter side stops on a mismatch.
    (void)CallFunctionRemote(VERSIONCHECK, ORIGIN, {rpText(kVersionText)});
    return true;
}

void detachCursesTerminal() {
    if (attachedFrontEnd() == &g_curses) detachFrontEnd();
    g_curses.close();
}

}  // namespace vxs
