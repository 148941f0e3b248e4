// The interpreter side's windows (see windows.h): geometry from the OPEN keywords, the screen
// actions that show windows, their lines and positioned text, and the shown text kept per window.
#include "vxs/screen/windows.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/config/environment.h"
#include "vxs/datafiles/engine.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/files.h"
#include "vxs/screen/terminal.h"
#include "vxs/screen/windowlook.h"

namespace vxs {

namespace {

constexpr int kConsoleRows = 24;

// The text a window shows: its rows, each as wide as the window, kept as a ring whose first row
// is `top` (scrolling moves `top` instead of the rows), and its current row for lines.
struct ShownText {
    std::vector<std::string> ring;
    size_t top = 0;
    int columns = 0;
    int current = 0;
    void reset(int nrows, int ncolumns) {
        columns = ncolumns;
        ring.assign(static_cast<size_t>(nrows), std::string(static_cast<size_t>(ncolumns), ' '));
        top = 0;
        current = 0;
    }
    int rows() const { return static_cast<int>(ring.size()); }
    std::string& row(int r) { return ring[(top + static_cast<size_t>(r)) % ring.size()]; }
    void put(int r, int column, std::string_view text) {
        if (r < 0 || r >= rows() || column < 0) return;
        std::string& line = row(r);
        for (size_t i = 0; i < text.size() && column + static_cast<int>(i) < columns; ++i)
            line[static_cast<size_t>(column) + i] = text[i];
    }
    void scroll() {
        if (ring.empty()) return;
        ring[top].assign(static_cast<size_t>(columns), ' ');  // the top row comes back at the bottom
        top = (top + 1) % ring.size();
    }
};

std::map<int, ShownText>& shown() {
    static std::map<int, ShownText> windows;
    if (windows.find(0) == windows.end()) windows[0].reset(kConsoleRows, kConsoleWidth);
    return windows;
}

std::string upperOf(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Decimal digits filling `text`, at most `most` of them; false otherwise.
bool digits(std::string_view text, size_t most, int& out) {
    if (text.empty() || text.size() > most) return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

// A geometry number: digits, with the "T" suffix that the display layer reads, 1 .. 250.
int geometryNumber(std::string_view text, int& out) {
    text = trimmed(text);
    if (!text.empty() && (text.back() == 'T' || text.back() == 't')) text.remove_suffix(1);
    int v = 0;
    if (!digits(text, 6, v)) return kErrOpenSyntax;
    if (v < 1 || v > 250) return kErrWindowGeometry;
    out = v;
    return 0;
}

// One dimension: start, end and size as given (0: not given) against the parent's extent.
int resolveSpan(int start, int end, int size, int extent, int& first, int& count) {
    if (start && end && size) return kErrWindowGeometry;
    if (size) {
        if (!start && end) start = end - size + 1;
        if (!start) start = 1;
        if (!end) end = start + size - 1;
    }
    if (!start) start = 1;
    if (!end) end = extent;
    if (start < 1 || end < start || end > extent) return kErrWindowGeometry;
    first = start;
    count = end - start + 1;
    return 0;
}

// PARENT=: "n", "#n" or NONE (the console).
int parentNumber(std::string_view text, int& out) {
    text = trimmed(text);
    if (upperOf(text) == "NONE") {
        out = 0;
        return 0;
    }
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    return digits(text, 4, out) ? 0 : kErrOpenSyntax;
}

WindowPlace consolePlace() {
    return WindowPlace{};
}

int32_t looksOf(const FontFlags& a) {
    return a.value2;
}

// The window moves to its next row, scrolling at the bottom.
void lineFeed(Ufcb& u, ShownText& s) {
    if (s.current + 1 < s.rows())
        ++s.current;
    else
        s.scroll();
    windowAction(u.ufnbr, kScreenLineFeed);
}

void windowLine(Ufcb& u, std::string_view text, int lineFeeds) {
    ShownText& s = shown()[u.ufnbr];
    if (s.ring.empty()) s.reset(u.place.rows, u.place.columns);
    const size_t ff = text.rfind('\f');
    if (ff != std::string_view::npos) {  // a form feed blanks the window first
        s.reset(u.place.rows, u.place.columns);
        windowAction(u.ufnbr, kScreenClearWindow);
        text.remove_prefix(ff + 1);
    }
    std::string row(text.substr(0, static_cast<size_t>(s.columns)));
    row.resize(static_cast<size_t>(s.columns), ' ');
    s.row(s.current) = row;
    windowAction(u.ufnbr, kScreenWindowLine, 0, 0, 0, 0, text);
    for (int i = 0; i < lineFeeds; ++i) lineFeed(u, s);
}

// The fonts a window's look gives its text, labels and buttons, kept as the environment entries
// "OPEN#n.FONT.TEXT", "OPEN#n.FONT.LABELS" and "OPEN#n.FONT.BUTTONS" (ENV$, STATUS ENV) while it
// is open: "face", "face,points" or ",points", as the window's text and widgets are drawn.
constexpr const char* kFontParts[] = {"TEXT", "LABELS", "BUTTONS"};

std::string fontEntry(int window, const char* part) {
    return "OPEN#" + std::to_string(window) + ".FONT." + part;
}

void noteWindowFonts(int window, const WindowLook& look) {
    const LookFont* fonts[] = {&look.text, &look.labels, &look.buttons};
    for (size_t i = 0; i < std::size(kFontParts); ++i) {
        const LookFont& f = *fonts[i];
        const std::string value = f.face + (f.points ? "," + std::to_string(f.points) : "");
        (void)setEnvironmentVariable(fontEntry(window, kFontParts[i]), value);
    }
}

void windowClosed(Ufcb& u) {
    for (const char* part : kFontParts) (void)setEnvironmentVariable(fontEntry(u.ufnbr, part), "");
    shown().erase(u.ufnbr);
    windowAction(u.ufnbr, kScreenCloseFile);
}

}  // namespace

int currentDisplayTables() {
    // The statements as they stand, in one text: rebuilt only when it differs.
    static std::string built;
    const DisplayConfig& d = displayConfig();
    std::string now;
    for (const auto* list : {&d.colors, &d.attributes, &d.screen}) {
        for (const std::string& item : *list) {
            now += item;
            now += '\n';
        }
        now += '\f';
    }
    if (now == built) return 0;
    if (int err = buildDisplayTables(d)) return err;
    built = std::move(now);
    return 0;
}

int parseBorder(std::string_view text, int& kind) {
    const size_t cut = text.find_first_of(":,");
    const std::string w = upperOf(trimmed(text.substr(0, cut)));
    if (w == "S" || w == "SINGLE") kind = kBorderSingle;
    else if (w == "D" || w == "DOUBLE") kind = kBorderDouble;
    else if (w == "B" || w == "BLANK") kind = kBorderBlank;
    else if (w == "N" || w == "NONE") kind = kBorderNone;
    else return kErrOpenSyntax;
    if (cut != std::string_view::npos) {
        FontFlags f;
        if (parseAttributeText(text.substr(cut + 1), f)) return kErrOpenSyntax;
    }
    return 0;
}

int placeWindow(FileBlocks& fb, Ufcb& u) {
    if (int err = currentDisplayTables()) return err;
    int srow = 0, scol = 0, erow = 0, ecol = 0, nrows = 0, ncols = 0, parent = 0, border = 0;
    std::string caption, look, picture;
    AttributeResult attr;
    for (const auto& [key, value] : u.windowAttributes) {
        std::string k = upperOf(key);
        if (!k.empty() && k.back() == '=') k.pop_back();
        int err = 0;
        if (k == "SROW") err = geometryNumber(value, srow);
        else if (k == "SCOL") err = geometryNumber(value, scol);
        else if (k == "EROW") err = geometryNumber(value, erow);
        else if (k == "ECOL") err = geometryNumber(value, ecol);
        else if (k == "ROWS") err = geometryNumber(value, nrows);
        else if (k == "COLS") err = geometryNumber(value, ncols);
        else if (k == "PARENT") err = parentNumber(value, parent);
        else if (k == "BORDER") err = parseBorder(value, border);
        else if (k == "CAPTION") caption = value;
        else if (k == "PICTURE")
            err = readPictureFile(trimmed(value), picture);
        else if (k.starts_with("FONT") || k == "BUTTONROWS" || k == "MAXIMIZE" ||
                 k == "NOMAXIMIZE" || k.starts_with("CHAR.") || k == "ROW.HEIGHT")
            look += k + "=" + value + "\n";
        else if (k == "N") {
            size_t used = 0;
            err = parseAttributes(value, AttributeContext{}, attr, &used);
            if (!err && used < value.size()) err = kErrFieldSeparator;
        }
        if (err) return err;
    }
    // The look's sizes must read before anything shows, though only a graphical front end uses
    // them.
    WindowLook shownLook;
    if (int err = parseWindowLook(look, shownLook)) return err;
    WindowPlace p = consolePlace();
    if (parent != 0) {
        const Ufcb* pu = fb.find(parent);
        if (!pu || pu->uftype != kFileWindow || pu == &u) return kErrNoParent;
        p = pu->place;
    }
    WindowPlace w;
    int firstRow = 0, firstColumn = 0;
    if (int err = resolveSpan(srow, erow, nrows, p.rows, firstRow, w.rows)) return err;
    if (int err = resolveSpan(scol, ecol, ncols, p.columns, firstColumn, w.columns)) return err;
    w.row = p.row + firstRow - 1;
    w.column = p.column + firstColumn - 1;
    w.border = border;
    w.parent = parent;
    w.flags = attr.attr.flags;
    w.foreground = attr.attr.foreground;
    w.background = attr.attr.background;
    u.place = w;
    shown()[u.ufnbr].reset(w.rows, w.columns);
    windowAction(u.ufnbr, kScreenOpenWindow, w.row, w.column, static_cast<int32_t>(w.foreground),
                 static_cast<int32_t>(w.background), caption,
                 w.rows << 16 | w.columns << 8 | w.border, static_cast<int32_t>(w.flags));
    noteWindowFonts(u.ufnbr, shownLook);
    if (!look.empty()) windowAction(u.ufnbr, kScreenWindowLook, 0, 0, 0, 0, look);
    if (!picture.empty()) windowAction(u.ufnbr, kScreenWindowPicture, 0, 0, 0, 0, picture);
    return 0;
}

int readPictureFile(std::string_view name, std::string& bytes) {
    constexpr size_t kMostBytes = 16 << 20;
    bytes.clear();
    std::string path;
    if (int err = mapFileName(name, path)) return err;
    std::vector<uint8_t> b;
    const int got = platform::readWholeFile(path, b, kMostBytes);
    if (got < 0) return kErrFileNotFound;
    const auto starts = [&b](std::string_view magic) {
        return b.size() >= magic.size() &&
               std::equal(magic.begin(), magic.end(), b.begin(),
                          [](char m, uint8_t c) { return static_cast<uint8_t>(m) == c; });
    };
    if (got > 0 ||
        !(starts("\x89PNG\r\n\x1a\n") || starts("\xff\xd8\xff") || starts("GIF8") || starts("BM")))
        return kErrBadPicture;
    bytes.assign(b.begin(), b.end());
    return 0;
}

void installWindowLayer() {
    WindowHooks h;
    h.open = placeWindow;
    h.line = windowLine;
    h.close = windowClosed;
    setWindowHooks(h);
}

int fieldWindow(FileBlocks& fb, int n, FieldWindow& out) {
    out = FieldWindow{};
    if (n == 0) return 0;
    const Ufcb* u = fb.find(n);
    if (!u) return kErrFileNotOpen;
    if (u->uftype != kFileWindow) return kErrWrongMode;
    out.rows = u->place.rows;
    out.columns = u->place.columns;
    out.defaultAttr.flags = u->place.flags;
    out.defaultAttr.foreground = u->place.foreground;
    out.defaultAttr.background = u->place.background;
    return 0;
}

void showWindowText(int window, int row, int column, std::string_view text, const FontFlags& a,
                    bool editing, int cursor) {
    auto& all = shown();
    auto it = all.find(window);
    if (it != all.end()) it->second.put(row, column, text);
    const int32_t c = looksOf(a) | (cursor >= 0 ? (cursor + 1) << 16 : 0);
    windowAction(window, editing ? kScreenShowField : kScreenWriteText, row, column,
                 static_cast<int32_t>(a.foreground), static_cast<int32_t>(a.background), text, c,
                 static_cast<int32_t>(a.flags));
}

std::string windowText(int window, int row, int column, int length) {
    std::string out(static_cast<size_t>(std::max(length, 0)), ' ');
    auto& all = shown();
    auto it = all.find(window);
    if (it == all.end() || row < 0 || row >= it->second.rows()) return out;
    const std::string& r = it->second.row(row);
    for (int i = 0; i < length && column + i < static_cast<int>(r.size()); ++i)
        if (column + i >= 0) out[static_cast<size_t>(i)] = r[static_cast<size_t>(column + i)];
    return out;
}

void noteConsoleLine(std::string_view line) {
    ShownText& s = shown()[0];
    const size_t ff = line.rfind('\f');
    if (ff != std::string_view::npos) {
        s.reset(kConsoleRows, kConsoleWidth);
        line.remove_prefix(ff + 1);
    }
    s.scroll();
    s.put(kConsoleRows - 1, 0, line);
}

int windowCurrentRow(int window) {
    auto& all = shown();
    auto it = all.find(window);
    return it == all.end() ? 0 : it->second.current;
}

void windowTypedLine(Ufcb& u, std::string_view text) {
    ShownText& s = shown()[u.ufnbr];
    if (s.ring.empty()) s.reset(u.place.rows, u.place.columns);
    std::string row(text.substr(0, static_cast<size_t>(s.columns)));
    row.resize(static_cast<size_t>(s.columns), ' ');
    FontFlags look;
    look.flags = u.place.flags;
    look.foreground = u.place.foreground;
    look.background = u.place.background;
    showWindowText(u.ufnbr, s.current, 0, row, look, true);
    lineFeed(u, s);
}

void resetWindowTexts() {
    shown().clear();
}

}  // namespace vxs
