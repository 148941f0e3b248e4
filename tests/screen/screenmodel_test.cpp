// The screen model: windows over the console, what shows where, scrolling, refusals, and the
// mapping of attributes to terminal colours.
#include "vxs/screen/screenmodel.h"

#include <gtest/gtest.h>

#include <string>

#include "vxs/errors/errors.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

// The characters of a screen row as the composite shows them: border lines as - | + (corners),
// double ones as = " #.
std::string shownRow(const ScreenModel& m, int row) {
    std::string s;
    for (int c = 0; c < ScreenModel::kColumns; ++c) {
        const ScreenCell cell = m.composite(row, c);
        const bool dbl = cell.border == BorderKind::Double;
        switch (cell.line) {
            case LinePart::None: s += static_cast<char>(cell.ch); break;
            case LinePart::Horizontal: s += dbl ? '=' : '-'; break;
            case LinePart::Vertical: s += dbl ? '"' : '|'; break;
            default: s += dbl ? '#' : '+'; break;
        }
    }
    return s;
}

std::string slice(const ScreenModel& m, int row, int column, int width) {
    return shownRow(m, row).substr(static_cast<size_t>(column), static_cast<size_t>(width));
}

CellAttr colour(uint32_t flags) {
    CellAttr a;
    a.flags = flags;
    return a;
}

TEST(ScreenModel, WindowsOverlapAndClosingShowsWhatLayBeneath) {
    ScreenModel m;
    ASSERT_EQ(m.writeText(0, 2, 0, "console console console", {}), 0);
    ASSERT_EQ(m.openWindow(1, 2, 4, 3, 10, 1, "", colour(kFontBgBlue)), 0);
    ASSERT_EQ(m.writeText(1, 0, 0, "one", {}), 0);
    ASSERT_EQ(m.openWindow(2, 3, 8, 2, 10, 0, "", colour(kFontBgRed)), 0);
    ASSERT_EQ(m.writeText(2, 0, 0, "two", {}), 0);

    EXPECT_EQ(slice(m, 1, 3, 12), "+----------+");
    EXPECT_EQ(slice(m, 2, 0, 16), "con|one       | ");
    EXPECT_EQ(slice(m, 3, 3, 16), "|    two        ");
    // The uncovered part of the lower window keeps its own attribute; the text written without
    // a colour took the window's default.
    EXPECT_EQ(m.composite(2, 5).attr.flags, kFontBgBlue);
    EXPECT_EQ(m.composite(3, 8).attr.flags, kFontBgRed);

    // Closing the lower window first: the upper one stays whole above the console.
    ASSERT_EQ(m.closeWindow(1), 0);
    EXPECT_EQ(slice(m, 2, 0, 23), "console console console");
    EXPECT_EQ(slice(m, 3, 8, 3), "two");
    ASSERT_EQ(m.closeWindow(2), 0);
    EXPECT_EQ(slice(m, 3, 0, 12), "            ");
    EXPECT_EQ(m.closeWindow(2), kErrFileNotOpen);
    EXPECT_EQ(m.closeWindow(0), kErrFileNotOpen) << "the console is never closed";
    EXPECT_EQ(m.windowCount(), 0);
}

TEST(ScreenModel, OpeningAgainReplacesTheWindowAndPutsItOnTop) {
    ScreenModel m;
    ASSERT_EQ(m.openWindow(1, 5, 5, 2, 5, 0, "", {}), 0);
    ASSERT_EQ(m.writeText(1, 0, 0, "AAAAA", {}), 0);
    ASSERT_EQ(m.openWindow(2, 5, 5, 2, 5, 0, "", {}), 0);
    ASSERT_EQ(m.writeText(2, 0, 0, "BBBBB", {}), 0);
    ASSERT_EQ(m.openWindow(1, 5, 7, 1, 2, 0, "", {}), 0);
    EXPECT_EQ(slice(m, 5, 5, 5), "BB  B") << "the new #1 is blank and on top";
    EXPECT_EQ(m.windowCount(), 2);
    ASSERT_EQ(m.closeWindow(1), 0);
    EXPECT_EQ(slice(m, 5, 5, 5), "BBBBB");
}

TEST(ScreenModel, BordersAndCaptions) {
    ScreenModel m;
    ASSERT_EQ(m.openWindow(1, 1, 1, 1, 6, 2, "A long caption", {}), 0);
    EXPECT_EQ(slice(m, 0, 0, 8), "#A long#") << "the caption is cut to the interior's width";
    EXPECT_EQ(slice(m, 1, 0, 8), "\"      \"");
    EXPECT_EQ(slice(m, 2, 0, 8), "#======#");

    ASSERT_EQ(m.openWindow(2, 10, 10, 1, 4, 3, "T", colour(kFontBgGreen)), 0);
    EXPECT_EQ(slice(m, 9, 9, 6), " T    ");
    EXPECT_EQ(m.composite(11, 14).attr.flags, kFontBgGreen) << "a blank border is coloured";
    EXPECT_EQ(m.composite(11, 15).attr.flags, 0u);

    // Without a border the caption has no place.
    ASSERT_EQ(m.openWindow(3, 20, 10, 1, 4, 0, "X", {}), 0);
    EXPECT_EQ(slice(m, 19, 9, 6), "      ");
}

TEST(ScreenModel, WindowsPastTheScreenAreClipped) {
    ScreenModel m;
    ASSERT_EQ(m.openWindow(1, 22, 76, 10, 20, 1, "", {}), 0);
    ASSERT_EQ(m.writeText(1, 1, 0, "abcdefgh", {}), 0);
    EXPECT_EQ(slice(m, 21, 75, 5), "+----");
    EXPECT_EQ(slice(m, 23, 75, 5), "|abcd");
    ASSERT_EQ(m.openWindow(2, 0, 0, 3, 3, 1, "", {}), 0);  // its top and left border are off
    EXPECT_EQ(slice(m, 3, 0, 4), "---+");
    // Text past the interior's right edge is cut; positions outside it are refused.
    ASSERT_EQ(m.writeText(2, 0, 1, "xyz", {}), 0);
    EXPECT_EQ(slice(m, 0, 0, 4), " xy|");
    EXPECT_EQ(m.writeText(2, 3, 0, "x", {}), kErrFieldRow);
    EXPECT_EQ(m.writeText(2, 0, 3, "x", {}), kErrFieldColumn);
    EXPECT_EQ(m.writeText(2, -1, 0, "x", {}), kErrFieldRow);
    EXPECT_EQ(m.writeText(9, 0, 0, "x", {}), kErrFileNotOpen);
    // A whole frame agrees with the composite, and cells off the screen are blank.
    std::vector<ScreenCell> frame;
    m.render(frame);
    ASSERT_EQ(frame.size(), static_cast<size_t>(ScreenModel::kRows * ScreenModel::kColumns));
    for (int r = 0; r < ScreenModel::kRows; ++r)
        for (int c = 0; c < ScreenModel::kColumns; ++c)
            ASSERT_EQ(frame[static_cast<size_t>(r * ScreenModel::kColumns + c)], m.composite(r, c))
                << r << "," << c;
    EXPECT_EQ(m.composite(-1, 0), ScreenCell{});
    EXPECT_EQ(m.composite(24, 79), ScreenCell{});
}

TEST(ScreenModel, BadGeometryIsRefused) {
    ScreenModel m;
    EXPECT_EQ(m.openWindow(0, 1, 1, 1, 1, 0, "", {}), kErrFileNumber);
    EXPECT_EQ(m.openWindow(-3, 1, 1, 1, 1, 0, "", {}), kErrFileNumber);
    struct Geometry {
        int row, col, rows, cols, border;
    };
    const Geometry bad[] = {{-1, 0, 1, 1, 0},     {0, -1, 1, 1, 0},  {0, 0, 0, 1, 0},
                            {0, 0, 1, 0, 0},      {0, 0, -5, 1, 0},  {0, 0, 251, 1, 0},
                            {0, 0, 1, 100000, 0}, {251, 0, 1, 1, 0}, {0, 0, 1, 1, 4},
                            {0, 0, 1, 1, -1}};
    for (const Geometry& g : bad)
        EXPECT_EQ(m.openWindow(1, g.row, g.col, g.rows, g.cols, g.border, "", {}),
                  kErrWindowGeometry)
            << g.row << " " << g.col << " " << g.rows << " " << g.cols << " " << g.border;
    EXPECT_EQ(m.windowCount(), 0);
    for (int n = 1; n <= ScreenModel::kMaxWindows; ++n)
        ASSERT_EQ(m.openWindow(n, 0, 0, 1, 1, 0, "", {}), 0);
    EXPECT_EQ(m.openWindow(ScreenModel::kMaxWindows + 1, 0, 0, 1, 1, 0, "", {}), kErrFileOpen);
    EXPECT_EQ(m.openWindow(1, 0, 0, 2, 2, 0, "", {}), 0) << "reopening needs no new place";
}

TEST(ScreenModel, InvisibleAndControlBytesShowAsBlanks) {
    ScreenModel m;
    ASSERT_EQ(m.writeText(0, 0, 0, std::string("a\tb\0c", 5), {}), 0);
    EXPECT_EQ(slice(m, 0, 0, 5), "a b c");
    ASSERT_EQ(m.writeText(0, 1, 0, "secret", colour(kFontInvisible | kFontBgRed)), 0);
    EXPECT_EQ(slice(m, 1, 0, 6), "      ");
    EXPECT_EQ(m.composite(1, 0).attr.flags, kFontInvisible | kFontBgRed);
    CellAttr hidden;
    hidden.looks = kLookI;
    ASSERT_EQ(m.writeText(0, 2, 0, "secret", hidden), 0);
    EXPECT_EQ(slice(m, 2, 0, 6), "      ");
    // A window whose default attribute is invisible shows blank lines and caption.
    ASSERT_EQ(m.openWindow(1, 5, 1, 2, 8, 1, "Cap", colour(kFontInvisible)), 0);
    ASSERT_EQ(m.windowLine(1, "hidden"), 0);
    EXPECT_EQ(slice(m, 4, 0, 10), "+   -----+");
    EXPECT_EQ(slice(m, 5, 1, 8), "        ");
}

TEST(ScreenModel, AttributesTakeTheWindowsColoursWhenTheyHaveNone) {
    ScreenModel m;
    CellAttr rgb;
    rgb.flags = kFontFgWhite | kFontBgRgb;
    rgb.bg = 0x102030;
    ASSERT_EQ(m.openWindow(1, 0, 0, 2, 10, 0, "", rgb), 0);
    CellAttr under;
    under.looks = kLookU;
    ASSERT_EQ(m.writeText(1, 0, 0, "x", under), 0);
    EXPECT_EQ(m.composite(0, 0).attr.flags, kFontFgWhite | kFontBgRgb);
    EXPECT_EQ(m.composite(0, 0).attr.bg, 0x102030u);
    EXPECT_EQ(m.composite(0, 0).attr.looks, kLookU);
    // Red on a transparent background: the window's background shows through.
    ASSERT_EQ(m.writeText(1, 1, 0, "y", colour(kFontFgRed | kFontTransparent)), 0);
    EXPECT_EQ(m.composite(1, 0).attr.flags, kFontFgRed | kFontTransparent | kFontBgRgb);
    EXPECT_EQ(m.composite(1, 0).attr.bg, 0x102030u);
    // A colour of its own stays.
    ASSERT_EQ(m.writeText(1, 1, 1, "z", colour(kFontFgGreen)), 0);
    EXPECT_EQ(m.composite(1, 1).attr.flags, kFontFgGreen);
}

TEST(ScreenModel, WindowLinesAndLineFeedsScrollTheInterior) {
    ScreenModel m;
    ASSERT_EQ(m.openWindow(4, 10, 20, 3, 6, 1, "", {}), 0);
    for (const char* line : {"one", "two", "three", "four"}) {
        ASSERT_EQ(m.windowLine(4, line), 0);
        ASSERT_EQ(m.lineFeed(4), 0);
    }
    EXPECT_EQ(slice(m, 10, 20, 6), "three ");
    EXPECT_EQ(slice(m, 11, 20, 6), "four  ");
    EXPECT_EQ(slice(m, 12, 20, 6), "      ");
    EXPECT_EQ(slice(m, 13, 19, 8), "+------+") << "the border does not scroll";
    // A window line rewrites its whole row in the default attribute.
    ASSERT_EQ(m.writeText(4, 2, 0, "xxxxxx", colour(kFontFgRed)), 0);
    ASSERT_EQ(m.windowLine(4, "ab"), 0);
    EXPECT_EQ(slice(m, 12, 20, 6), "ab    ");
    EXPECT_EQ(m.composite(12, 23).attr.flags, 0u);
    ASSERT_EQ(m.clearWindow(4), 0);
    ASSERT_EQ(m.windowLine(4, "top"), 0);
    EXPECT_EQ(slice(m, 10, 20, 6), "top   ");
    EXPECT_EQ(slice(m, 11, 20, 6), "      ");
    EXPECT_EQ(m.windowLine(5, "x"), kErrFileNotOpen);
    EXPECT_EQ(m.lineFeed(5), kErrFileNotOpen);
    EXPECT_EQ(m.clearWindow(5), kErrFileNotOpen);
}

TEST(ScreenModel, ConsoleLinesScrollOnlyWhenTheBottomRowIsFinished) {
    ScreenModel m;
    m.consoleLine("first");
    EXPECT_EQ(m.consoleRowText(23).substr(0, 6), "first ");
    m.consoleLine("second");
    EXPECT_EQ(m.consoleRowText(22).substr(0, 5), "first");
    EXPECT_EQ(m.consoleRowText(23).substr(0, 6), "second");
    // The line editor types in a free bottom row; its finished line stays there.
    m.newBottomRow();
    m.setBottomRow("typing", false);
    m.setBottomRow("typed", false);
    EXPECT_EQ(m.consoleRowText(22).substr(0, 6), "second");
    m.setBottomRow("typed", true);
    m.consoleLine("output");
    EXPECT_EQ(m.consoleRowText(22).substr(0, 5), "typed");
    EXPECT_EQ(m.consoleRowText(23).substr(0, 6), "output");
    // Scrolling the console leaves the windows above it in place.
    ASSERT_EQ(m.openWindow(1, 22, 0, 1, 3, 0, "", {}), 0);
    ASSERT_EQ(m.writeText(1, 0, 0, "WIN", {}), 0);
    m.consoleLine(std::string(100, 'x'));
    EXPECT_EQ(slice(m, 22, 0, 6), "WINput");
    EXPECT_EQ(m.consoleRowText(23), std::string(80, 'x')) << "cut at the console's width";
    // On the console, a window line is a console line and a line feed frees the next row.
    ASSERT_EQ(m.windowLine(0, "via 225"), 0);
    ASSERT_EQ(m.lineFeed(0), 0);
    ASSERT_EQ(m.windowLine(0, "next"), 0);
    EXPECT_EQ(m.consoleRowText(22).substr(0, 7), "via 225");
    EXPECT_EQ(m.consoleRowText(23).substr(0, 4), "next");
    ASSERT_EQ(m.clearWindow(0), 0);
    m.consoleLine("after clear");
    EXPECT_EQ(m.consoleRowText(22), std::string(80, ' '));
    EXPECT_EQ(m.consoleRowText(23).substr(0, 11), "after clear");
    // A printed form feed blanks the console; the text after it is the next line.
    m.consoleLine("\f");
    EXPECT_EQ(m.consoleRowText(23), std::string(80, ' '));
    m.consoleLine("above");
    m.consoleLine("x\fpage two");
    EXPECT_EQ(m.consoleRowText(22), std::string(80, ' '));
    EXPECT_EQ(m.consoleRowText(23).substr(0, 8), "page two");
}

TEST(ScreenModel, AbsolutePositionsOfCells) {
    ScreenModel m;
    ASSERT_EQ(m.openWindow(3, 5, 7, 4, 4, 1, "", {}), 0);
    int r = 0, c = 0;
    ASSERT_EQ(m.absolute(3, 1, 2, r, c), 0);
    EXPECT_EQ(r, 6);
    EXPECT_EQ(c, 9);
    ASSERT_EQ(m.absolute(0, 23, 79, r, c), 0);
    EXPECT_EQ(r, 23);
    EXPECT_EQ(c, 79);
    EXPECT_EQ(m.absolute(4, 0, 0, r, c), kErrFileNotOpen);
}

// A click answers for the window a person sees at its cell: the topmost window's interior, not
// its border, nor a window beneath it.
TEST(ScreenModel, ClicksFallOnTheWindowThatShows) {
    ScreenModel m;
    ASSERT_EQ(m.openWindow(3, 5, 7, 4, 4, 1, "", {}), 0);
    ASSERT_EQ(m.openWindow(4, 7, 9, 3, 3, 0, "", {}), 0);
    int r = 0, c = 0;
    EXPECT_EQ(m.windowAt(5, 7, r, c), 3);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(m.windowAt(4, 7, r, c), 3) << "the top border";
    EXPECT_EQ(r, -1);
    EXPECT_EQ(m.windowAt(8, 10, r, c), 4) << "window 4 covers window 3 there";
    EXPECT_EQ(r, 1);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(m.windowAt(0, 0, r, c), 0);
    EXPECT_EQ(m.windowAt(24, 0, r, c), -1);

    resetKeyboard();
    EXPECT_EQ(mousePlace(m, 0), -1) << "no click yet";
    noteMouseCell(6, 9);
    EXPECT_EQ(mousePlace(m, 3), screenPosition(1, 2));
    EXPECT_EQ(mousePlace(m, 0), -1) << "the console lies beneath window 3 there";
    noteMouseCell(4, 8);
    EXPECT_EQ(mousePlace(m, 3), -1) << "a border is no place of the interior";
    noteMouseCell(20, 70);
    EXPECT_EQ(mousePlace(m, 0), screenPosition(20, 70));
    resetKeyboard();
}

TEST(TerminalLook, DisplayBitsBecomeTerminalColours) {
    // Blue is bit 0 of the display bits but colour 4 of the terminal; red the other way round.
    EXPECT_EQ(basicColour(0), 0);
    EXPECT_EQ(basicColour(kFontFgBlue), 4);
    EXPECT_EQ(basicColour(kFontFgGreen), 2);
    EXPECT_EQ(basicColour(kFontFgRed), 1);
    EXPECT_EQ(basicColour(kFontFgRed | kFontFgGreen), 3);
    EXPECT_EQ(basicColour(kFontFgBlue | kFontFgRed), 5);
    EXPECT_EQ(basicColour(kFontFgBlue | kFontFgGreen), 6);
    EXPECT_EQ(basicColour(7), 7);

    TerminalLook t = terminalLook(colour(kFontFgBlue | kFontBgRed | kFontBgGreen), 8);
    EXPECT_EQ(t.fg, 4);
    EXPECT_EQ(t.bg, 3);
    // Intensity: the bright colour with 16 colours, bold for the foreground with 8.
    t = terminalLook(colour(kFontFgRed | kFontFgIntense | kFontBgBlue | kFontBgIntense), 16);
    EXPECT_EQ(t.fg, 9);
    EXPECT_EQ(t.bg, 12);
    EXPECT_FALSE(t.bold);
    t = terminalLook(colour(kFontFgRed | kFontFgIntense | kFontBgBlue | kFontBgIntense), 8);
    EXPECT_EQ(t.fg, 1);
    EXPECT_EQ(t.bg, 4);
    EXPECT_TRUE(t.bold);
    t = terminalLook(colour(kFontFgWhite | kFontBgWhite), 256);
    EXPECT_EQ(t.fg, 7);
    EXPECT_EQ(t.bg, 7);
    // One side coloured: the other side without bits is black.
    t = terminalLook(colour(kFontBgWhite), 8);
    EXPECT_EQ(t.fg, 0);
    EXPECT_EQ(t.bg, 7);
    // A transparent background without colour is the terminal's own.
    t = terminalLook(colour(kFontFgGreen | kFontTransparent), 8);
    EXPECT_EQ(t.bg, -1);
}

TEST(TerminalLook, LooksAndTheirColourlessCases) {
    CellAttr a;
    a.looks = kLookH | kLookU | kLookB | kLookR;
    TerminalLook t = terminalLook(a, 256);
    EXPECT_TRUE(t.bold && t.underline && t.blink && t.reverse);
    EXPECT_EQ(t.fg, -1) << "no colour bits: the terminal's default colours";
    EXPECT_EQ(t.bg, -1);
    // With colours, R is already drawn by them: no reverse on top.
    a.flags = kFontBgWhite;
    t = terminalLook(a, 256);
    EXPECT_FALSE(t.reverse);
    // A terminal without colours shows R as reverse and intensity as bold.
    a.flags = kFontBgWhite | kFontFgIntense;
    t = terminalLook(a, 0);
    EXPECT_TRUE(t.reverse);
    EXPECT_TRUE(t.bold);
    EXPECT_EQ(t.fg, -1);
}

TEST(TerminalLook, RgbGoesToTheNearestColour) {
    EXPECT_EQ(nearestColour(0xFF0000, 256), 196);
    EXPECT_EQ(nearestColour(0x000000, 256), 16);
    EXPECT_EQ(nearestColour(0xFFFFFF, 256), 231);
    EXPECT_EQ(nearestColour(0x5F87AF, 256), 16 + 36 * 1 + 6 * 2 + 3);
    EXPECT_EQ(nearestColour(0x808080, 256), 244) << "a grey takes the grey ramp";
    EXPECT_EQ(nearestColour(0xFF0000, 8), 1);
    EXPECT_EQ(nearestColour(0x0000F0, 8), 4);
    EXPECT_EQ(nearestColour(0xF0F0F0, 8), 7);
    EXPECT_EQ(nearestColour(0x101010, 16), 0);
    CellAttr a;
    a.flags = kFontFgRgb | kFontBgRgb;
    a.fg = 0x00FF00;
    a.bg = 0x0000FF;
    const TerminalLook t = terminalLook(a, 256);
    EXPECT_EQ(t.fg, 46);
    EXPECT_EQ(t.bg, 21);
    EXPECT_EQ(cellAttrOf(0x100000, 0x7F00FF00, -1, 0x10011).fg, 0x00FF00u) << "24 bits kept";
    EXPECT_EQ(cellAttrOf(0, 0, -1, 0x10011).looks, kLookH | kLookI);
}

}  // namespace
}  // namespace vxs
