// The terminal side's picture of the screen: the console window (24 rows of 80 columns) and the
// windows opened above it, each with its own cells, and the composite of them that a front end
// draws.  No terminal library here: a front end turns cells into what its terminal shows.
// Invariants: the console always exists as window 0 and is never in the stack; the stack holds
// each window number at most once, in opening order (the last one on top); every window's cell
// buffer holds exactly rows x columns cells; the console's bottom row is "used" (bottomUsed)
// exactly when a finished line stands there, so that the next line scrolls first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

// The attribute of one cell: FontFlags' display bits and RGB colours, and its look letters.
struct CellAttr {
    uint32_t flags = 0;  // kFont* display bits (screen/fields.h)
    uint32_t fg = 0;     // 0xRRGGBB, valid with kFontFgRgb
    uint32_t bg = 0;     // 0xRRGGBB, valid with kFontBgRgb
    uint16_t looks = 0;  // kLook* letters
    bool operator==(const CellAttr&) const = default;
};

// The attribute as a screen action carries it: attr = display bits, a = RGB foreground,
// b = RGB background, low 16 bits of c = look letters.
CellAttr cellAttrOf(int32_t attr, int32_t a, int32_t b, int32_t c);

// Border kinds (the values of kBorder* in terminal.h).
enum class BorderKind : uint8_t { None = 0, Single = 1, Double = 2, Blank = 3 };
// The line character a border cell shows; None for a text cell.
enum class LinePart : uint8_t {
    None,
    Horizontal,
    Vertical,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight
};

// One visible cell: a byte (0..255; a front end decides how to show bytes above 126) or a border
// line, in an attribute.
struct ScreenCell {
    unsigned char ch = ' ';
    LinePart line = LinePart::None;
    BorderKind border = BorderKind::None;  // Single or Double when `line` is set
    CellAttr attr;
    bool operator==(const ScreenCell&) const = default;
};

class ScreenModel {
  public:
    static constexpr int kRows = 24, kColumns = 80;
    // Limits of a window: its interior at most kMaxSize rows and columns at a position of at
    // most kMaxSize (larger values cannot travel in a screen position); at most kMaxWindows open.
    static constexpr int kMaxSize = 250;
    static constexpr int kMaxWindows = 128;

    ScreenModel() { reset(); }

    // A blank console, no windows.
    void reset();

    // Opens window `number` (> 0) above every other window, replacing one of that number:
    // interior at absolute screen row/column, rows x columns, border kind 0..3, caption in the
    // top border.  Returns kErrFileNumber for a number <= 0, kErrWindowGeometry for sizes or
    // positions out of range or a bad border kind, kErrFileOpen when kMaxWindows are open.
    // A window that reaches past the screen is kept whole and shown clipped.
    [[nodiscard]] int openWindow(int32_t number, int row, int column, int height, int width,
                                 int border, std::string_view caption, const CellAttr& attr);
    // Closes a window: what lay beneath shows again.  kErrFileNotOpen when it is not open
    // (the console, 0, cannot be closed).
    [[nodiscard]] int closeWindow(int32_t number);
    // Writes text at a row and column of a window's interior (0 the console), cut at the right
    // edge; bytes below 32 show as blanks, an invisible attribute (bit or look letter I) as
    // blanks.  An attribute without colours takes the window's default colours; a transparent
    // background takes the window's background.  kErrFileNotOpen, or kErrFieldRow /
    // kErrFieldColumn for a position outside the interior.
    [[nodiscard]] int writeText(int32_t number, int row, int column, std::string_view text,
                                const CellAttr& attr);
    // Replaces the window's current row with `text` in the default attribute.  On the console
    // this is consoleLine.
    [[nodiscard]] int windowLine(int32_t number, std::string_view text);
    // Moves the current row down one; at the bottom the interior scrolls up one row and the new
    // bottom row is blank.  On the console the next line scrolls first.
    [[nodiscard]] int lineFeed(int32_t number);
    // Blanks the interior; the current row becomes 0.
    [[nodiscard]] int clearWindow(int32_t number);

    // ---- the console ----
    // One finished console line: when the bottom row holds a finished line, the rows scroll up
    // one first; the text then fills the bottom row, which is finished.
    void consoleLine(std::string_view text);
    // Makes the bottom row free for a line being typed (scrolls when it holds a finished one).
    void newBottomRow();
    // Rewrites the bottom row (the line editor's field); `finished` marks it as a finished line.
    void setBottomRow(std::string_view text, bool finished);
    // The text of a console row, trailing blanks kept (tests, diagnostics).
    std::string_view consoleRowText(int row) const;

    // ---- what shows ----
    // The visible cell at an absolute row and column: the topmost window whose interior or
    // border covers it, else the console.  Outside the screen: a blank cell.
    ScreenCell composite(int row, int column) const;
    // The whole screen at once.
    void render(std::vector<ScreenCell>& frame) const;  // kRows x kColumns, row by row
    // The absolute screen position of a window's interior cell (for a cursor).
    [[nodiscard]] int absolute(int32_t number, int row, int column, int& screenRow,
                               int& screenColumn) const;
    // The window a person sees at an absolute cell: the topmost whose interior or border covers
    // it, else the console (0); with the cell's place in its interior, or -1 and -1 on a border.
    // Outside the screen: -1.
    int32_t windowAt(int row, int column, int& interiorRow, int& interiorColumn) const;
    bool isOpen(int32_t number) const;
    // The default attribute of an open window (the console's for 0), or null.
    const CellAttr* defaultAttr(int32_t number) const;
    // The rows (height) and columns (width) of an open window's interior; false when it is not
    // open.
    bool interiorSize(int32_t number, int& height, int& width) const;
    int windowCount() const { return static_cast<int>(stack_.size()); }

  private:
    struct Window {
        int32_t number = 0;
        int row = 0, column = 0, height = 0, width = 0;
        BorderKind border = BorderKind::None;
        std::string caption;
        CellAttr attr;
        int current = 0;
        std::vector<ScreenCell> cells;  // rows x columns, row by row
    };
    Window* find(int32_t number);
    const Window* find(int32_t number) const;
    static void fillRow(Window& w, int row, std::string_view text, const CellAttr& attr);
    static void scrollUp(Window& w);
    // The cell a window shows at an absolute position; false when it does not cover it.
    static bool covers(const Window& w, int row, int column, ScreenCell& out);

    Window console_;
    std::vector<Window> stack_;
    bool bottomUsed_ = false;
    mutable std::string rowText_;  // consoleRowText's answer
};

struct ScreenRequest;
// What a screen action does to the model, as every front end with a screen carries it out:
// opening and closing windows, text and fields written, a window's lines, line feeds and
// clearing.  Sets `handled` for those actions (the others are the front end's own: the beep,
// the shut-down, the input place, a console line); returns 0 or the model's error.  For a
// field being edited (kScreenShowField with an editing offset) `cursorRow`/`cursorColumn` get
// the absolute place of its cursor, else they are left as they were.
[[nodiscard]] int applyScreenRequest(ScreenModel& model, const ScreenRequest& r, bool& handled,
                                     int& cursorRow, int& cursorColumn);

// kScreenMousePlace's answer: where the last click fell in the interior of `window`, as a
// screen position, or -1 (no click, or not where that window shows its interior).
int32_t mousePlace(const ScreenModel& model, int32_t window);

// How a terminal with `colours` colours shows an attribute: colour indexes in the 256-colour
// numbering (0..7 the basic colours, 8..15 bright, 16..255 the cube and greys), -1 for the
// terminal's default colour.
struct TerminalLook {
    int fg = -1, bg = -1;
    bool bold = false, underline = false, blink = false, reverse = false;
};
TerminalLook terminalLook(const CellAttr& attr, int colours);
// The basic colour (0..7: black, red, green, yellow, blue, magenta, cyan, white) of three
// display bits in FontFlags order (blue 1, green 2, red 4).
int basicColour(uint32_t bits);
// The nearest colour to 0xRRGGBB among the first `colours` (8, 16 or 256) of the terminal.
int nearestColour(uint32_t rgb, int colours);

}  // namespace vxs
