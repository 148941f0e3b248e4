// The interpreter side's windows: the place of each window opened as a file (its rows and
// columns inside its parent, its border, caption and default attribute), worked out when OPEN
// makes its ufcb and sent to the terminal; the lines PRINT writes to a window; and the text each
// window shows where programs put it, which INPUT FIELDS starts editing from.
//
// Invariant: the shown text of a window (windowText) exists exactly while the window is open; the
// console's (window 0) always, 24 rows of 80 columns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vxs/screen/fields.h"

namespace vxs {

class FileBlocks;
struct Ufcb;

// Installs the window layer's hooks into the data-file layer (OPEN, lines, CLOSE).
void installWindowLayer();

// Brings the colour list, the attribute list and the screen tables in line with the COLOR,
// ATTRIBUTE and SCREEN statements of the configuration, when they changed since the last time:
// 0, or the first statement's error (812, 858, 9500; the tables then stay as they were).
[[nodiscard]] int currentDisplayTables();

// Works out the place of window `u` from its OPEN keywords (SROW=, SCOL=, EROW=, ECOL=, ROWS=,
// COLS=, PARENT=, BORDER=, N=, CAPTION=) and shows it, then sends the keywords of its look that
// a graphical front end shows (the FONT family, FONTSIZE=, CHAR.WIDTH=, CHAR.HEIGHT=,
// ROW.HEIGHT=, BUTTONROWS=, MAXIMIZE, NOMAXIMIZE) and the picture of PICTURE=.  Errors: 630
// (geometry outside the parent, or a start, end and size all given), 642 (PARENT= names no open
// window), 605 (a number, border or look size that does not parse: windowlook.h), the attribute
// errors of N=, and readPictureFile's for PICTURE=.
[[nodiscard]] int placeWindow(FileBlocks& fb, Ufcb& u);

// A BORDER= text: "S" (single line), "D" (double), "B" (blank) or "N"/"NONE", any case, with
// anything after a ":" or "," (the border's own attribute) taken as an attribute text.  0 with
// the kind (terminal.h kBorder*), or 605.
[[nodiscard]] int parseBorder(std::string_view text, int& kind);

// The bytes of a picture file that the front ends show (PNG, JPEG, GIF or BMP, at most 16 MiB),
// named as programs name files: 0, 4152 when it cannot be read, 6248 when it is no such picture
// or larger.
[[nodiscard]] int readPictureFile(std::string_view name, std::string& bytes);

// The field window of file number `n`: its rows, columns and default attribute (0: the
// console).  704 when `n` is not open, 721 when it is no window.
[[nodiscard]] int fieldWindow(FileBlocks& fb, int n, FieldWindow& out);

// Sends text to the terminal at a 0-based position in window `window`, in attribute `a`, and
// keeps it as the text the window shows.  An editing display (`editing`: a field being edited,
// or as its editing left it) goes as such, with the terminal's cursor at offset `cursor` of the
// text when that is 0 or more.
void showWindowText(int window, int row, int column, std::string_view text, const FontFlags& a,
                    bool editing = false, int cursor = -1);
// The text window `window` shows at the position, `length` bytes (blanks where it shows
// nothing, or past its edge).
std::string windowText(int window, int row, int column, int length);

// The console scrolled up one row with `line` at its bottom (a form feed in it blanks the
// console first): kept in the console's shown text.
void noteConsoleLine(std::string_view line);

// The row (0-based) where window `window`'s next line goes.
int windowCurrentRow(int window);
// A line typed in window `u` at its current row: kept as shown there (an editing display, which
// front ends without a screen leave out), then the window moves to its next row.
void windowTypedLine(Ufcb& u, std::string_view text);

// Forgets every window's shown text and blanks the console's (tests, a new session).
void resetWindowTexts();

}  // namespace vxs
