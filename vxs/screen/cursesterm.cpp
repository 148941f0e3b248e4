// The full-screen terminal front end (cursesterm.h).  It owns the terminal while attached: the
// screen model (the console window's 24 rows, scrolled up by each line written, and the windows
// above it), the status line's fields, the command line editor with its recall list, and the
// keys read from the raw terminal.
// Where the status line goes: on a terminal of 25 rows or more, the row below the console.  On
// one of exactly 24 rows it takes the console's top row while command mode has the terminal (a
// command is read or carried out: the top row then holds the oldest line scrolled up) and gives
// it back while a program runs, so that a program's screen shows all 24 rows.  A terminal made
// smaller than 80x24 shows a note on its first row and the input field on its last.
// Invariants: the terminal library is active exactly while `active_` is set, and the saved tty
// modes are given back (and standard error released) whenever it stops (SYSTEM, a fatal message,
// a signal that ends the process); the recall list never holds more than MAXRECALL lines; every
// colour pair handed out is in `pairs_` and below the terminal's pair count (pair 0 once they run
// out); the cursor is drawn at (cursorRow_, cursorColumn_), console coordinates, after every
// redraw.
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
#include <iterator>
#include <map>
#include <string>
#include <string_view>

#include "vxs/base/process.h"
#include "vxs/base/version.h"
#include "vxs/clientserver/common.h"
#include "vxs/config/config.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/platform/ttymodes.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/helpview.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/lineedit.h"
#include "vxs/screen/screenmodel.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

constexpr int kRows = 24;                // console window rows
constexpr int kColumns = kConsoleWidth;  // console window columns
constexpr int kFieldRow = kRows - 1;     // the command line's input field
// The status line's parts: the run status, the error or message, the cursor's place in field
// input, the editing mode.
constexpr int kStatusColumn = 1, kStatusWidth = 7;
constexpr int kMessageColumn = 9;
constexpr int kRowColumnColumn = 64, kRowColumnWidth = 6;
constexpr int kModeColumn = 72, kModeWidth = 7;

// Key codes as the system knows them.
constexpr int32_t kKeyCtrlC = 3;
constexpr int kEscapeByte = 27;
constexpr int kCtrlL = 12;  // the raw byte: redraw the screen (the system's code 12 is Right)
constexpr int32_t kKeyDelete = 4;
constexpr int32_t kKeyBackspace = 8;
constexpr int32_t kKeyDown = 10;
constexpr int32_t kKeyUp = 11;
constexpr int32_t kKeyRight = 12;
constexpr int32_t kKeyEnter = 13;
constexpr int32_t kKeyLeft = 14;
constexpr int32_t kKeyInsert = 17;
constexpr int32_t kKeyHome = 0x7700;
constexpr int32_t kKeyEnd = 0x7800;
constexpr int32_t kKeyPageUp = 0x8900;
constexpr int32_t kKeyPageDown = 0x8A00;

// How often a running program's keyboard polls look at the terminal: a tight loop polls far
// more often than anyone types.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// How long the rest of a pasted block may take to arrive after its first part.
constexpr int kPasteGapMs = 30;

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
        case '\n': return kKeyEnter;     // a line feed (Ctrl-J, pasted text) ends a line too
        default: break;
    }
    if (ch == KEY_MOUSE) {
        // A press of the first button is a click on its cell; other mouse events are no keys.
        MEVENT e;
        if (getmouse(&e) != OK || !(e.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED))) return -1;
        noteMouseCell(e.y, e.x);
        return keys::kMouseClick;
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
    // A line longer than the console goes on in the rows below it, as printed text wraps.
    void writeLine(std::string_view text) override {
        if (!active_) return;
        const int column = writeConsoleText(model_, text, bottomFresh_);
        for (int r = 0; r < kRows; ++r) drawRow(r);
        placeCursor(kFieldRow, column);
        refresh();
    }

    void statusText(int32_t field, std::string_view text) override {
        status_.setText(field, text);
        if (field == kStatusFieldStatus && updateLayout()) return;
        redrawStatus();
    }
    // The error stays in the message part, beside the run status, until a later line is
    // accepted (error 0).
    void statusError(int32_t error, int32_t lineNumber, int32_t clause) override {
        status_.setError(error, lineNumber, clause);
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
    // The system's code of a key the terminal library reported (keyCode), with a click on a
    // hot field's text pressing that field: its key.
    int32_t termKey(int ch) const;
    void newBottomRow() {
        model_.newBottomRow();
        for (int r = 0; r < kRows; ++r) drawRow(r);
    }
    bool tooSmall() const { return lines_ < kRows || cols_ < kColumns; }
    // The terminal row that shows console row `row`, or -1 when none does.
    int terminalRow(int row) const {
        if (tooSmall()) return row == kFieldRow && lines_ >= 2 ? lines_ - 1 : -1;
        if (row == 0 && lines_ == kRows && statusShown_) return -1;
        return row;
    }
    int statusRow() const {
        if (tooSmall()) return -1;
        if (lines_ > kRows) return kRows;
        return statusShown_ ? 0 : -1;
    }
    // Whether the status line is shown on a 24-row terminal now: while command mode has the
    // terminal, not while a program runs.  True when that changed (the screen is redrawn).
    bool updateLayout() {
        const bool shown = readingCommand_ || status_.status != "RUN";
        if (shown == statusShown_) return false;
        statusShown_ = shown;
        if (!active_ || lines_ != kRows) return false;
        redrawAll();
        refresh();
        return true;
    }
    void drawRow(int row) {
        const int at = terminalRow(row);
        if (at < 0) return;
        move(at, 0);
        const int width = std::min(kColumns, cols_);
        for (int c = 0; c < width; ++c) addch(shown(model_.composite(row, c)));
    }
    // The menu of DISPLAY MENU on the terminal, opened at bar item `entry`: the bar on the top
    // row and the entry's list in a box below it; Up and Down move, Left and Right go to the
    // next entry, Enter or an item's letter chooses (the event key is queued: FKEY 98 in field
    // input, ON EVENT while running), Escape closes.  The screen is drawn again afterwards.
    void workMenu(int entry);
    // Redraws the console window's rows and puts the cursor back where it was.
    void redrawRows() {
        for (int r = 0; r < kRows; ++r) drawRow(r);
        placeCursor(cursorRow_, cursorColumn_);
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
        drawStatus();
        placeCursor(cursorRow_, cursorColumn_);
        refresh();
    }
    // Everything again, from a blank screen, with the cursor where input is.
    void redrawAll();
    // The terminal's size changed (or is looked at first).
    void takeSize() {
        lines_ = LINES;
        cols_ = COLS;
    }
    // Puts the terminal's cursor at console row `row`, column `column`, and keeps it there
    // across redraws.
    void placeCursor(int row, int column) {
        cursorRow_ = std::clamp(row, 0, kRows - 1);
        cursorColumn_ = std::clamp(column, 0, kColumns - 1);
        const int at = terminalRow(cursorRow_);
        if (at >= 0) move(at, std::min(cursorColumn_, std::max(cols_ - 1, 0)));
    }
    // Keys of the system's own that the terminal layer acts on before anyone reads them: the
    // redraw key and a changed size.  True when `ch` was one.
    bool screenKey(int ch) {
        if (ch == kEscapeByte && !menu().items().empty() && !tooSmall()) {
            // Alt with a letter arrives as Escape and the letter at once: with the letter of an
            // entry of the menu bar it opens the menu.
            nodelay(stdscr, TRUE);
            const int next = getch();
            const int entry =
                next > 0 && next < 128 ? menu().barItemOfLetter(static_cast<char>(next)) : 0;
            if (entry == 0) {
                if (next != ERR) ungetch(next);
                return false;
            }
            workMenu(entry);
            nodelay(stdscr, TRUE);
        } else if (ch == KEY_RESIZE) {
            takeSize();
        } else if (ch == kCtrlL) {
            clearok(curscr, TRUE);
        } else {
            return false;
        }
        redrawAll();
        refresh();
        return true;
    }
    // The keys that arrive right after a rejected line's (the rest of a pasted block) wait
    // until the line is corrected.
    void holdPastedKeys();
    // Shows the field's text from `offset` on the bottom row with the cursor at `at`.
    void drawField(const std::string& text, size_t at, size_t& offset, size_t width);
    // The line editor's host: keys from the terminal, the field on the bottom row or in the
    // window an input statement names.
    class Editing final : public LineEditor::Host {
      public:
        explicit Editing(CursesFrontEnd& f) : f_(f) {}
        int32_t nextKey() override { return f_.nextKey(); }
        void showField(const std::string& text, size_t at, size_t& offset, size_t width) override {
            f_.drawField(text, at, offset, width);
        }
        void beep() override { ::beep(); }
        void modeChanged(bool insert) override {
            f_.status_.mode = insert ? "INSERT" : "OVER";
            f_.redrawStatus();
        }
        void dropped() override {
            f_.held_.clear();  // and the pasted lines held behind a rejected one
            if (!f_.note_.empty()) {
                f_.note_.clear();
                f_.redrawStatus();
            }
        }

      private:
        CursesFrontEnd& f_;
    };

    bool active_ = false;
    SCREEN* screen_ = nullptr;
    ScreenModel model_;
    int colours_ = 0;              // the terminal's colours; 0 when it shows none
    bool defaultColours_ = false;  // colour -1 (the terminal's own) may stand in a pair
    int pairLimit_ = 0;            // pairs that may be made: 1 .. pairLimit_ - 1
    std::map<int, short> pairs_;   // (fg + 1) << 16 | (bg + 1) -> pair
    int lines_ = 0, cols_ = 0;     // the terminal's size
    int cursorRow_ = kFieldRow, cursorColumn_ = 0;
    bool statusShown_ = true;      // on a 24-row terminal: the status line has the top row
    bool readingCommand_ = false;  // a command line is being read
    // The console's bottom row is the blank one that the Enter of the last line made: the next
    // line written goes there.  A program's screen is then drawn after the scroll, and ending
    // the program moves nothing.
    bool bottomFresh_ = false;
    StatusParts status_;
    std::string note_;          // the front end's own note: pasted lines waiting
    std::deque<int32_t> held_;  // pasted keys held back behind a rejected line
    // Where the next input statement's line is typed: a window's row and column (window -1:
    // the console's bottom row).
    InputPlace place_;
    bool insert_ = true;  // the editor's mode, kept from line to line
    RecallList recall_;
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
    if (height < kRows || width < kColumns) {
        char text[160];
        snprintf(text, sizeof text,
                 "The terminal is %dx%d; the full screen needs %dx%d: line mode.\n", width, height,
                 kColumns, kRows);
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
    // Clicks position the cursor in fields; the terminal's own selection stays on Shift.
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr);
    mouseinterval(0);
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
    status_ = StatusParts{};
    note_.clear();
    attention_ = false;
    keys_.clear();
    held_.clear();
    bottomFresh_ = false;
    statusShown_ = true;
    readingCommand_ = false;
    takeSize();
    // What the process or a child writes to standard error would land inside the screen.
    (void)platform::holdStandardError();
    active_ = true;
    placeCursor(kFieldRow, 0);
    redrawAll();
    writeLine(kFrontEndHint);
    return true;
}

void CursesFrontEnd::close() {
    if (!active_) return;
    active_ = false;
    endwin();
    delscreen(screen_);
    screen_ = nullptr;
    platform::restoreTerminalModes();
    platform::releaseStandardError();
}

void CursesFrontEnd::drawStatus() {
    const int row = statusRow();
    if (row < 0) return;
    attron(A_REVERSE);
    move(row, 0);
    for (int c = 0; c < kColumns; ++c) addch(' ');
    const auto put = [row](int column, std::string_view text, size_t width) {
        move(row, column);
        for (size_t i = 0; i < text.size() && i < width; ++i)
            addch(cell(static_cast<unsigned char>(text[i])));
    };
    put(kStatusColumn, status_.status, kStatusWidth);
    // The error with its words, else the front end's note, else the message; a text that does
    // not fit ends in ">" (F1 shows an error in full).
    std::string text = status_.shown(note_.empty() ? status_.message : note_);
    const int end = status_.rowColumn.empty() && status_.mode.empty() ? kColumns - 1
                    : status_.rowColumn.empty()                       ? kModeColumn - 1
                                                                      : kRowColumnColumn - 1;
    const size_t width = static_cast<size_t>(end - kMessageColumn);
    if (text.size() > width) {
        text.resize(width - 1);
        text += '>';
    }
    put(kMessageColumn, text, width);
    put(kRowColumnColumn, status_.rowColumn, kRowColumnWidth);
    put(kModeColumn, status_.mode, kModeWidth);
    attroff(A_REVERSE);
}

void CursesFrontEnd::redrawAll() {
    erase();
    if (tooSmall()) {
        char text[128];
        snprintf(text, sizeof text, "The terminal is %dx%d: the screen needs %dx%d.", cols_, lines_,
                 kColumns, kRows);
        move(0, 0);
        for (int i = 0; text[i] != '\0' && i < cols_; ++i)
            addch(static_cast<unsigned char>(text[i]));
    }
    for (int r = 0; r < kRows; ++r) drawRow(r);
    drawStatus();
    placeCursor(cursorRow_, cursorColumn_);
}

void CursesFrontEnd::workMenu(int entry) {
    const MenuModel& m = menu();
    const std::vector<int> bar = m.barItems();
    size_t at = static_cast<size_t>(std::find(bar.begin(), bar.end(), entry) - bar.begin());
    int current = 0;  // the item the list's highlight is on (0: none can be chosen)
    const auto firstChoosable = [&m](const std::vector<int>& list) {
        for (const int n : list)
            if (m.choosable(n)) return n;
        return 0;
    };
    std::vector<int> list = m.listOf(bar[at]);
    current = firstChoosable(list);
    for (;;) {
        // The bar, each entry at its column.
        std::vector<int> places;
        attron(A_REVERSE);
        move(0, 0);
        for (int c = 0; c < std::min(kColumns, cols_); ++c) addch(' ');
        int column = 1;
        for (size_t i = 0; i < bar.size(); ++i) {
            const std::string text = MenuModel::shownText(m.item(bar[i])->text);
            places.push_back(column);
            if (i == at) attroff(A_REVERSE);
            mvaddnstr(0, column, (" " + text + " ").c_str(), std::max(0, cols_ - column));
            if (i == at) attron(A_REVERSE);
            column += static_cast<int>(text.size()) + 3;
        }
        attroff(A_REVERSE);
        // The list in a box: deeper items indented, separators as lines, grayed items dim.
        size_t width = 8;
        for (const int n : list) {
            const MenuItem* it = m.item(n);
            width = std::max(width, MenuModel::shownText(it->text).size() +
                                        2 * static_cast<size_t>(it->depth) + 4);
        }
        const int left = std::min(places[at], std::max(0, kColumns - static_cast<int>(width) - 2));
        const int height = static_cast<int>(list.size()) + 2;
        WINDOW* panel = list.empty() ? nullptr
                                     : newwin(std::min(height, kRows - 1),
                                              static_cast<int>(width) + 2, 1, left);
        if (panel) {
            werase(panel);
            box(panel, 0, 0);
            for (size_t i = 0; i < list.size() && static_cast<int>(i) + 2 < kRows; ++i) {
                const MenuItem* it = m.item(list[i]);
                const int y = static_cast<int>(i) + 1;
                if (it->separator()) {
                    mvwhline(panel, y, 1, ACS_HLINE, static_cast<int>(width));
                    continue;
                }
                std::string text = std::string(2 * static_cast<size_t>(it->depth - 1), ' ') +
                                   (it->checked() ? "* " : "  ") + MenuModel::shownText(it->text);
                text.resize(width, ' ');
                const chtype look = list[i] == current ? A_REVERSE
                                    : it->grayed()     ? A_DIM
                                                       : A_NORMAL;
                wattron(panel, look);
                mvwaddnstr(panel, y, 1, text.c_str(), static_cast<int>(width));
                wattroff(panel, look);
            }
            wnoutrefresh(stdscr);
            wnoutrefresh(panel);
            doupdate();
        } else {
            refresh();
        }
        nodelay(stdscr, FALSE);
        const int ch = getch();
        if (panel) delwin(panel);
        int chosen = 0;
        const auto step = [&](int direction) {
            const auto here = std::find(list.begin(), list.end(), current);
            long i = here == list.end() ? -1 : here - list.begin();
            for (size_t k = 0; k < list.size(); ++k) {
                i = (i + direction + static_cast<long>(list.size())) %
                    static_cast<long>(list.size());
                if (m.choosable(list[static_cast<size_t>(i)])) {
                    current = list[static_cast<size_t>(i)];
                    return;
                }
            }
        };
        if (ch == ERR || ch == kEscapeByte) break;
        if (ch == KEY_UP || ch == KEY_DOWN) {
            step(ch == KEY_UP ? -1 : 1);
        } else if (ch == KEY_LEFT || ch == KEY_RIGHT) {
            at = (at + (ch == KEY_LEFT ? bar.size() - 1 : 1)) % bar.size();
            list = m.listOf(bar[at]);
            current = firstChoosable(list);
        } else if (ch == '\r' || ch == '\n' || ch == KEY_ENTER) {
            chosen = current;
        } else if (ch > 0 && ch < 128) {
            // An item's "&" letter chooses it.
            std::vector<int> open;
            std::copy_if(list.begin(), list.end(), std::back_inserter(open),
                         [&m](int n) { return m.choosable(n); });
            chosen = m.itemOfLetter(open, static_cast<char>(ch));
        }
        if (chosen) {
            menu().choose(chosen);
            if (keys_.size() < kTypeAheadKeys) keys_.push_back(keys::kEvent);
            keysQueued();
            break;
        }
    }
    redrawAll();
    refresh();
}

void CursesFrontEnd::holdPastedKeys() {
    for (int32_t k : keys_) held_.push_back(k);
    keys_.clear();
    timeout(kPasteGapMs);
    for (int ch; (ch = getch()) != ERR;) {
        if (screenKey(ch)) continue;
        const int32_t key = termKey(ch);
        if (key >= 0 && held_.size() < 4 * kCommandFieldWidth) held_.push_back(key);
    }
    nodelay(stdscr, TRUE);
    const auto waiting = std::count(held_.begin(), held_.end(), kKeyEnter);
    char text[160];
    snprintf(text, sizeof text,
             "(%ld more pasted line(s) wait: correct this one, Enter; Ctrl-C drops them)",
             static_cast<long>(waiting));
    writeLine(text);
    note_ = "Pasted lines wait";
}

void CursesFrontEnd::drain(bool running) {
    if (!active_) return;
    bool added = false;
    for (int ch; (ch = getch()) != ERR;) {
        if (screenKey(ch)) continue;
        const int32_t key = termKey(ch);
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

int32_t CursesFrontEnd::termKey(int ch) const {
    const int32_t key = keyCode(ch);
    int y = 0, x = 0, row = -1, column = -1;
    if (key != keys::kMouseClick || !lastMouseCell(y, x)) return key;
    const int32_t window = model_.windowAt(y, x, row, column);
    if (row < 0) return key;
    for (const auto& [place, c] : controls_.all())
        if ((c.kind == ControlKind::Button || c.kind == ControlKind::HotText) && c.group > 0 &&
            place.window == window && c.covers(row, column))
            return c.group;
    return key;
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
        const bool linked = linkOpen();
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
        if (screenKey(ch)) {
            if (keys_.empty()) continue;
            key = keys_.front();  // a menu's choice
            keys_.pop_front();
            break;
        }
        key = termKey(ch);
        if (key == kKeyCtrlC) key = kKeyAttention;  // the interrupt key is the attention key
        if (key >= 0) break;
    }
    nodelay(stdscr, TRUE);
    return key;
}

void CursesFrontEnd::drawField(const std::string& text, size_t at, size_t& offset, size_t width) {
    int y = 0, x = 0;
    if (showInputField(model_, place_, text, at, offset, width, y, x)) {
        placeCursor(y, x);  // kept by the redraw, which puts it back after drawing
        redrawRows();
        return;
    }
    drawRow(kFieldRow);
    placeCursor(y, x);
    refresh();
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
    readingCommand_ = purpose == kInputCommand;
    (void)updateLayout();
    // A rejected line offered again while more pasted text follows: the rest waits.
    if (selected && !preset.empty() && !keys_.empty() && purpose == kInputCommand) holdPastedKeys();
    if (place_.window < 0 && !bottomFresh_) newBottomRow();
    bottomFresh_ = false;
    size_t width = max < static_cast<size_t>(kColumns) ? std::max<size_t>(max, 1) : kColumns;
    if (place_.window >= 0) width = std::min<size_t>(width, static_cast<size_t>(place_.width));
    std::string text;
    Editing editing(*this);
    const int32_t result =
        LineEditor::edit(editing, text, preset, selected, max, width, purpose, recall_, insert_);
    if (place_.window >= 0) {
        // In a window the program shows the finished line itself.
        place_ = InputPlace{};
    } else {
        // The finished line stays as typed, from its start, and the Enter moves it up at once.
        model_.setBottomRow(std::string_view(text).substr(0, kColumns), true);
        drawRow(kFieldRow);
        if (result == kInputHelp) {
            bottomFresh_ = true;  // the field comes back here with the text after the help
        } else if (result != kInputEnded) {
            newBottomRow();
            bottomFresh_ = true;
        }
    }
    status_.mode.clear();
    readingCommand_ = false;
    // Pasted keys held back go on now, ahead of anything typed since.
    if (!held_.empty()) {
        keys_.insert(keys_.begin(), held_.begin(), held_.end());
        held_.clear();
    }
    note_.clear();
    const int column = bottomFresh_ ? 0 : static_cast<int>(std::min<size_t>(text.size(), kColumns));
    drawStatus();
    placeCursor(kFieldRow, column);
    refresh();
    if (result == kInputEnded) return result;
    if (purpose == kInputCommand && result == kInputLine)
        recall_.remember(text, static_cast<size_t>(std::max(configLimits().maxRecall, 0)));
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
        case kScreenMousePlace: return mousePlace(model_, r.window);
        case kScreenSuspend:  // an editor or shell gets the terminal as it is
            def_prog_mode();
            endwin();
            platform::releaseStandardError();
            return 0;
        case kScreenResume:
            (void)platform::holdStandardError();
            reset_prog_mode();
            takeSize();
            clearok(curscr, TRUE);
            redrawAll();
            refresh();
            return 0;
        case kScreenWindowLine:
            if (r.window == 0) {
                writeLine(r.text);
                return 0;
            }
            break;
        default: break;
    }
    bool handled = false;
    int y = -1, x = -1;
    result = applyScreenRequest(model_, r, handled, y, x);
    if (!handled || result != 0) return result;
    redrawRows();
    // A field being edited shows the terminal cursor at its editing position, where it stays
    // while the next key is awaited.
    if (y >= 0) {
        placeCursor(y, x);
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
