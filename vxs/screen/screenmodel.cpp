// The screen model (screenmodel.h): the console's and the windows' cells, the actions on them,
// the composite a front end draws, and how an attribute maps to a terminal's colours.
#include "vxs/screen/screenmodel.h"

#include <algorithm>
#include <cstddef>

#include "vxs/errors/errors.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

constexpr uint32_t kFgColour = kFontFgBlue | kFontFgGreen | kFontFgRed | kFontFgWhite | kFontFgRgb;
constexpr uint32_t kBgColour = kFontBgBlue | kFontBgGreen | kFontBgRed | kFontBgWhite | kFontBgRgb;
constexpr uint32_t kBgBits =
    kFontBgBlue | kFontBgGreen | kFontBgRed | kFontBgIntense | kFontBgWhite | kFontBgRgb;

bool invisible(const CellAttr& attr) {
    return (attr.flags & kFontInvisible) != 0 || (attr.looks & kLookI) != 0;
}

unsigned char shown(unsigned char c) {
    return c < 32 ? ' ' : c;
}

}  // namespace

CellAttr cellAttrOf(int32_t attr, int32_t a, int32_t b, int32_t c) {
    CellAttr out;
    out.flags = static_cast<uint32_t>(attr);
    out.fg = static_cast<uint32_t>(a) & 0xFFFFFF;
    out.bg = static_cast<uint32_t>(b) & 0xFFFFFF;
    out.looks = static_cast<uint16_t>(c & 0xFFFF);
    return out;
}

void ScreenModel::reset() {
    console_ = Window{};
    console_.height = kRows;
    console_.width = kColumns;
    console_.cells.assign(static_cast<size_t>(kRows * kColumns), ScreenCell{});
    stack_.clear();
    bottomUsed_ = false;
}

ScreenModel::Window* ScreenModel::find(int32_t number) {
    if (number == 0) return &console_;
    for (Window& w : stack_)
        if (w.number == number) return &w;
    return nullptr;
}

const ScreenModel::Window* ScreenModel::find(int32_t number) const {
    return const_cast<ScreenModel*>(this)->find(number);
}

bool ScreenModel::isOpen(int32_t number) const {
    return find(number) != nullptr;
}

int ScreenModel::openWindow(int32_t number, int row, int column, int height, int width, int border,
                            std::string_view caption, const CellAttr& attr) {
    if (number <= 0) return kErrFileNumber;
    if (row < 0 || row > kMaxSize || column < 0 || column > kMaxSize || height < 1 ||
        height > kMaxSize || width < 1 || width > kMaxSize || border < 0 || border > 3)
        return kErrWindowGeometry;
    // A window opened again under its number goes to the top as the new one.
    const auto old = std::find_if(stack_.begin(), stack_.end(),
                                  [number](const Window& w) { return w.number == number; });
    if (old == stack_.end() && static_cast<int>(stack_.size()) >= kMaxWindows) return kErrFileOpen;
    if (old != stack_.end()) stack_.erase(old);
    Window w;
    w.number = number;
    w.row = row;
    w.column = column;
    w.height = height;
    w.width = width;
    w.border = static_cast<BorderKind>(border);
    w.caption.assign(caption.substr(0, static_cast<size_t>(width)));
    w.attr = attr;
    w.attr.looks = 0;
    ScreenCell blank;
    blank.attr = w.attr;
    w.cells.assign(static_cast<size_t>(height * width), blank);
    stack_.push_back(std::move(w));
    return 0;
}

int ScreenModel::closeWindow(int32_t number) {
    const auto it = std::find_if(stack_.begin(), stack_.end(),
                                 [number](const Window& w) { return w.number == number; });
    if (number == 0 || it == stack_.end()) return kErrFileNotOpen;
    stack_.erase(it);
    return 0;
}

void ScreenModel::fillRow(Window& w, int row, std::string_view text, const CellAttr& attr) {
    ScreenCell* cells = &w.cells[static_cast<size_t>(row * w.width)];
    const bool hide = invisible(attr);
    for (int c = 0; c < w.width; ++c) {
        const bool has = static_cast<size_t>(c) < text.size();
        cells[c] = ScreenCell{};
        cells[c].ch = has && !hide ? shown(static_cast<unsigned char>(text[c])) : ' ';
        cells[c].attr = attr;
    }
}

void ScreenModel::scrollUp(Window& w) {
    const size_t width = static_cast<size_t>(w.width);
    std::move(w.cells.begin() + static_cast<ptrdiff_t>(width), w.cells.end(), w.cells.begin());
    fillRow(w, w.height - 1, {}, w.attr);
}

int ScreenModel::writeText(int32_t number, int row, int column, std::string_view text,
                           const CellAttr& attr) {
    Window* w = find(number);
    if (w == nullptr) return kErrFileNotOpen;
    if (row < 0 || row >= w->height) return kErrFieldRow;
    if (column < 0 || column >= w->width) return kErrFieldColumn;
    CellAttr use = attr;
    // Colours left open come from the window's default attribute.
    if ((use.flags & (kFgColour | kBgColour)) == 0) {
        use.flags |= w->attr.flags & (kFontColorBits | kFontIntensityBits);
        use.fg = w->attr.fg;
        use.bg = w->attr.bg;
    } else if ((use.flags & kFontTransparent) != 0 && (use.flags & kBgColour) == 0) {
        use.flags |= w->attr.flags & kBgBits;
        use.bg = w->attr.bg;
    }
    const bool hide = invisible(use);
    const size_t room = static_cast<size_t>(w->width - column);
    const size_t n = std::min(text.size(), room);
    ScreenCell* cells = &w->cells[static_cast<size_t>(row * w->width + column)];
    for (size_t i = 0; i < n; ++i) {
        cells[i] = ScreenCell{};
        cells[i].ch = hide ? ' ' : shown(static_cast<unsigned char>(text[i]));
        cells[i].attr = use;
    }
    return 0;
}

int ScreenModel::windowLine(int32_t number, std::string_view text) {
    if (number == 0) {
        consoleLine(text);
        return 0;
    }
    Window* w = find(number);
    if (w == nullptr) return kErrFileNotOpen;
    fillRow(*w, w->current, text, w->attr);
    return 0;
}

int ScreenModel::lineFeed(int32_t number) {
    if (number == 0) {
        bottomUsed_ = true;  // the console's next line goes to a fresh bottom row
        return 0;
    }
    Window* w = find(number);
    if (w == nullptr) return kErrFileNotOpen;
    if (w->current + 1 < w->height)
        ++w->current;
    else
        scrollUp(*w);
    return 0;
}

int ScreenModel::clearWindow(int32_t number) {
    Window* w = find(number);
    if (w == nullptr) return kErrFileNotOpen;
    for (int r = 0; r < w->height; ++r) fillRow(*w, r, {}, w->attr);
    w->current = 0;
    if (number == 0) bottomUsed_ = false;
    return 0;
}

void ScreenModel::consoleLine(std::string_view text) {
    // A form feed (PRINT NEWPAGE) blanks the console; what follows it is the next line.
    const size_t ff = text.rfind('\f');
    if (ff != std::string_view::npos) {
        (void)clearWindow(0);
        bottomUsed_ = false;
        text.remove_prefix(ff + 1);
        if (text.empty()) return;
    }
    newBottomRow();
    setBottomRow(text, true);
}

void ScreenModel::newBottomRow() {
    if (!bottomUsed_) return;
    scrollUp(console_);
    bottomUsed_ = false;
}

void ScreenModel::setBottomRow(std::string_view text, bool finished) {
    fillRow(console_, kRows - 1, text, console_.attr);
    bottomUsed_ = finished;
}

std::string_view ScreenModel::consoleRowText(int row) const {
    rowText_.clear();
    if (row < 0 || row >= kRows) return rowText_;
    for (int c = 0; c < kColumns; ++c)
        rowText_ += static_cast<char>(console_.cells[static_cast<size_t>(row * kColumns + c)].ch);
    return rowText_;
}

bool ScreenModel::covers(const Window& w, int row, int column, ScreenCell& out) {
    const int r = row - w.row, c = column - w.column;
    if (r >= 0 && r < w.height && c >= 0 && c < w.width) {
        out = w.cells[static_cast<size_t>(r * w.width + c)];
        return true;
    }
    if (w.border == BorderKind::None || r < -1 || r > w.height || c < -1 || c > w.width)
        return false;
    out = ScreenCell{};
    out.attr = w.attr;
    if (r == -1 && c >= 0 && static_cast<size_t>(c) < w.caption.size()) {
        out.ch = invisible(w.attr) ? ' ' : shown(static_cast<unsigned char>(w.caption[c]));
        return true;
    }
    if (w.border == BorderKind::Blank) return true;
    out.border = w.border;
    const bool top = r == -1, bottom = r == w.height, left = c == -1, right = c == w.width;
    if (top && left)
        out.line = LinePart::TopLeft;
    else if (top && right)
        out.line = LinePart::TopRight;
    else if (bottom && left)
        out.line = LinePart::BottomLeft;
    else if (bottom && right)
        out.line = LinePart::BottomRight;
    else if (top || bottom)
        out.line = LinePart::Horizontal;
    else
        out.line = LinePart::Vertical;
    return true;
}

ScreenCell ScreenModel::composite(int row, int column) const {
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return ScreenCell{};
    ScreenCell out;
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it)
        if (covers(*it, row, column, out)) return out;
    return console_.cells[static_cast<size_t>(row * kColumns + column)];
}

const CellAttr* ScreenModel::defaultAttr(int32_t number) const {
    const Window* w = find(number);
    return w ? &w->attr : nullptr;
}

bool ScreenModel::interiorSize(int32_t number, int& height, int& width) const {
    const Window* w = find(number);
    if (!w) return false;
    height = w->height;
    width = w->width;
    return true;
}

int32_t ScreenModel::windowAt(int row, int column, int& interiorRow, int& interiorColumn) const {
    interiorRow = interiorColumn = -1;
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns) return -1;
    ScreenCell cell;
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
        if (!covers(*it, row, column, cell)) continue;
        const int r = row - it->row, c = column - it->column;
        if (r >= 0 && r < it->height && c >= 0 && c < it->width) {
            interiorRow = r;
            interiorColumn = c;
        }
        return it->number;
    }
    interiorRow = row;
    interiorColumn = column;
    return 0;
}

void ScreenModel::render(std::vector<ScreenCell>& frame) const {
    frame = console_.cells;
    // Each window paints the part of its rectangle (border included) that lies on the screen,
    // bottom to top, so the topmost shows.
    for (const Window& w : stack_) {
        const int edge = w.border == BorderKind::None ? 0 : 1;
        const int r0 = std::max(w.row - edge, 0), r1 = std::min(w.row + w.height + edge, kRows);
        const int c0 = std::max(w.column - edge, 0);
        const int c1 = std::min(w.column + w.width + edge, kColumns);
        for (int r = r0; r < r1; ++r)
            for (int c = c0; c < c1; ++c)
                (void)covers(w, r, c, frame[static_cast<size_t>(r * kColumns + c)]);
    }
}

int ScreenModel::absolute(int32_t number, int row, int column, int& screenRow,
                          int& screenColumn) const {
    const Window* w = find(number);
    if (w == nullptr) return kErrFileNotOpen;
    screenRow = w->row + row;
    screenColumn = w->column + column;
    return 0;
}

// ---- terminal colours ----

int basicColour(uint32_t bits) {
    // Display bits run blue, green, red from bit 0; terminal colour numbers run red, green, blue.
    return ((bits & 4) ? 1 : 0) | ((bits & 2) ? 2 : 0) | ((bits & 1) ? 4 : 0);
}

int nearestColour(uint32_t rgb, int colours) {
    const int r = static_cast<int>(rgb >> 16 & 0xFF), g = static_cast<int>(rgb >> 8 & 0xFF),
              b = static_cast<int>(rgb & 0xFF);
    const auto distance = [&](int r2, int g2, int b2) {
        return (r - r2) * (r - r2) + (g - g2) * (g - g2) + (b - b2) * (b - b2);
    };
    if (colours >= 256) {
        // The 6x6x6 cube (levels 0, 95, 135, ... 255) against the 24 greys (8, 18, ... 238).
        static constexpr int kLevel[6] = {0, 95, 135, 175, 215, 255};
        const auto step = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
        const int ri = step(r), gi = step(g), bi = step(b);
        const int cube = 16 + 36 * ri + 6 * gi + bi;
        const int cubeDistance = distance(kLevel[ri], kLevel[gi], kLevel[bi]);
        const int average = (r + g + b) / 3;
        const int gi2 = average < 8 ? 0 : std::min((average - 8 + 5) / 10, 23);
        const int grey = 8 + 10 * gi2;
        return distance(grey, grey, grey) < cubeDistance ? 232 + gi2 : cube;
    }
    static constexpr int kBasic[8][3] = {{0, 0, 0},     {205, 0, 0},    {0, 205, 0},
                                         {205, 205, 0}, {0, 0, 238},    {205, 0, 205},
                                         {0, 205, 205}, {229, 229, 229}};
    int best = 0;
    for (int i = 1; i < 8; ++i)
        if (distance(kBasic[i][0], kBasic[i][1], kBasic[i][2]) <
            distance(kBasic[best][0], kBasic[best][1], kBasic[best][2]))
            best = i;
    return best;
}

int32_t mousePlace(const ScreenModel& model, int32_t window) {
    int y = 0, x = 0, row = -1, column = -1;
    if (!lastMouseCell(y, x) || model.windowAt(y, x, row, column) != window || row < 0) return -1;
    return screenPosition(row, column);
}

int applyScreenRequest(ScreenModel& model, const ScreenRequest& r, bool& handled,
                       int& cursorRow, int& cursorColumn) {
    const int row = r.position >> 8, column = r.position & 0xFF;
    int result = 0;
    handled = true;
    switch (r.action) {
        case kScreenOpenWindow:
            result = model.openWindow(r.window, row, column, r.c >> 16, r.c >> 8 & 0xFF, r.c & 0xFF,
                                      r.text, cellAttrOf(r.attr, r.a, r.b, 0));
            break;
        case kScreenCloseFile:
            // Closing a file that is no window is no screen matter.
            if (!model.isOpen(r.window) || r.window == 0) return 0;
            result = model.closeWindow(r.window);
            break;
        case kScreenWriteText:
        case kScreenShowField:
            result = model.writeText(r.window, row, column, r.text, cellAttrOf(r.attr, r.a, r.b, r.c));
            break;
        case kScreenWindowLine:
            if (r.window == 0) {  // the console's lines are the front end's
                handled = false;
                return 0;
            }
            result = model.windowLine(r.window, r.text);
            break;
        case kScreenLineFeed: result = model.lineFeed(r.window); break;
        case kScreenClearWindow: result = model.clearWindow(r.window); break;
        default: handled = false; return 0;
    }
    if (result != 0) return result;
    // A field being edited shows the cursor at its editing position.
    int y = 0, x = 0;
    const int offset = (r.c >> 16) - 1;
    if (r.action == kScreenShowField && offset >= 0 &&
        model.absolute(r.window, row, column + offset, y, x) == 0) {
        cursorRow = y;
        cursorColumn = x;
    }
    return 0;
}

TerminalLook terminalLook(const CellAttr& attr, int colours) {
    TerminalLook t;
    const uint32_t f = attr.flags;
    t.bold = (attr.looks & kLookH) != 0;
    t.underline = (attr.looks & kLookU) != 0;
    t.blink = (attr.looks & kLookB) != 0;
    if (colours < 8 || (f & (kFgColour | kBgColour)) == 0) {
        // The colour table draws R as colours; without colours it is reverse video.
        t.reverse = (attr.looks & kLookR) != 0;
        if (f & kFontFgIntense) t.bold = true;
        return t;
    }
    if (f & kFontFgRgb) {
        t.fg = nearestColour(attr.fg, colours);
    } else {
        t.fg = (f & kFontFgWhite) ? 7 : basicColour(f & 7);
        if (f & kFontFgIntense) {
            if (colours >= 16)
                t.fg += 8;
            else
                t.bold = true;
        }
    }
    if (f & kFontBgRgb) {
        t.bg = nearestColour(attr.bg, colours);
    } else if ((f & kFontTransparent) && (f & kBgColour) == 0) {
        t.bg = -1;
    } else {
        t.bg = (f & kFontBgWhite) ? 7 : basicColour(f >> 4 & 7);
        if ((f & kFontBgIntense) && colours >= 16) t.bg += 8;
    }
    return t;
}

}  // namespace vxs
