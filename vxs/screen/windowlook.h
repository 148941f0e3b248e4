// The look a window's OPEN string asks of a graphical front end: the fonts of the window's text,
// labels and buttons, the size of the console's character cells (FONTSIZE=, CHAR.WIDTH=,
// CHAR.HEIGHT=, ROW.HEIGHT=), the rows of the tool bar (BUTTONROWS=) and whether the main window
// is maximized.  The interpreter side checks the keywords with this parser when the window
// opens; the window front end applies what it returns.
#pragma once

#include <string>
#include <string_view>

namespace vxs {

// A font a look names: its face (empty: the front end's own) and its size in points (0: the
// front end's own).
struct LookFont {
    std::string face;
    int points = 0;
    bool operator==(const LookFont&) const = default;
    bool given() const { return !face.empty() || points != 0; }
};

struct WindowLook {
    LookFont text, labels, buttons;
    // FONTSIZE=, CHAR.WIDTH=, CHAR.HEIGHT=, ROW.HEIGHT=: the cells in pixels; 0 when not given
    int cellWidth = 0, cellHeight = 0;
    int buttonRows = 0;  // BUTTONROWS=: 0 when not given
    bool maximize = false, restore = false;
};

inline constexpr int kLookFewestPoints = 4, kLookMostPoints = 99;
inline constexpr int kLookMostButtonRows = 9;

// Reads the "KEYWORD=value" lines of a window's look (screen action 3584; MAXIMIZE and NOMAXIMIZE
// may stand without "=").  FONT= and FONT.x= take "face[,points[,...]]" (a second item that is no
// number, and any further item, is a style the front end may ignore); FONT.NAME= and FONT.x.NAME=
// a face; FONT.SIZE= and FONT.x.SIZE= points, 4 to 99; x is TEXT, LABELS or BUTTONS, and FONT=,
// FONT.NAME= and FONT.SIZE= stand for all three where they give nothing.  Later lines override
// earlier ones.  FONTSIZE= is "WxH" (width 4 to 64, height 6 to 128 pixels); CHAR.WIDTH= gives
// the width alone, CHAR.HEIGHT= and ROW.HEIGHT= the height alone; BUTTONROWS= is 1 to 9.
// Returns 0, or 605 (nothing is kept) for a size, FONTSIZE= or BUTTONROWS= that does not read.
[[nodiscard]] int parseWindowLook(std::string_view lines, WindowLook& out);

}  // namespace vxs
