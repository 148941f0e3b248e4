// The controls that programs show in their windows (GRID, LIST, COMBO, CHECK, RADIO) as the
// terminal side keeps them: their columns, rows, selections and texts; what an output of the
// interpreter side does to them; what a read gives back; how a character screen shows them and
// the keys that work them there.  A front end with native controls keeps the same model and
// shows it its own way, so that every front end answers the same operations alike.
//
// Invariants: every row of a GRID or LIST holds exactly columnCount() cells; `selected`, `changed`
// and `rowAttr` hold one entry per row; `current` is -1 exactly when there are no rows, else a
// row index; `column` is a column index (0 when there are none); 0 <= top <= current whenever
// current >= 0.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vxs {

// Picture shows an image file (PNG, JPEG) over its field's cells; a character screen shows the
// file's name in brackets.  Button and HotText stand over a hot field that PRINT FIELDS showed:
// pressing one queues the field's key (`group` holds its key code); the field's own text shows on a
// character screen.
enum class ControlKind : uint8_t {
    Grid = 0,
    List = 1,
    Combo = 2,
    Check = 3,
    Radio = 4,
    Button = 5,
    HotText = 6,
    Picture = 7  // a picture field: `text` its file's name, `choices[0]` the file's bytes
};

// Where a control stands: its window and the 0-based row and column of its field there.
struct ControlPlace {
    int32_t window = 0;
    int row = 0, column = 0;
    auto operator<=>(const ControlPlace&) const = default;
};

struct Control {
    ControlKind kind = ControlKind::List;
    ControlPlace place;
    int height = 1, width = 1;  // the cells it covers in its window
    uint32_t look = 0;          // look letters of its field (fields.h kLook*)
    int group = 0;  // RADIO: the controls of one group exclude each other; Button: its key
    // ---- GRID and LIST ----
    std::vector<std::string> headers;
    std::vector<int> widths;    // display width of each column
    std::vector<char> numeric;  // columns shown right-aligned
    std::vector<std::vector<std::string>> rows;
    std::vector<char> selected;     // rows the operator marked
    std::vector<char> changed;      // rows the operator edited since the last output
    std::vector<uint32_t> rowAttr;  // look letters of each row (ATTR), 0 for none
    int current = -1, column = 0, top = 0;
    // ---- COMBO, CHECK, RADIO ----
    std::string text;                  // the caption or the combo's text
    std::vector<std::string> choices;  // the combo's list
    bool checked = false;

    int columnCount() const { return static_cast<int>(headers.size()); }
    // Data rows visible at once (a GRID or LIST spends its first row on the headers).
    int visibleRows() const { return height > 1 ? height - 1 : 1; }
    // Moves `current` to `row` (clamped) and scrolls so that it shows.
    void moveTo(int row);
    // Whether the cell at `row`, `column` of its window is one of the control's.
    bool covers(int row, int column) const {
        return row >= place.row && row < place.row + height && column >= place.column &&
               column < place.column + width;
    }
};

// What CONTROLOUTPUT asks: `op` is the field's list operation (fields.h ListOp's values) and
// `values` its data, row by row with `perRow` cells each (0: the control's own columns).
struct ControlOutput {
    ControlPlace place;
    ControlKind kind = ControlKind::List;
    int height = 1, width = 1;
    int op = 0;
    int group = 0;
    uint32_t look = 0;
    int perRow = 0;
    std::vector<std::string> values;
};

// The operation of a SEARCH field's output: the GRID or LIST at the place (whatever its kind and
// size) makes its first row whose first cell begins with values[0] (blanks around it dropped,
// letters in either case) the current row; nothing changes when no row does, or no list is there.
inline constexpr int kControlSearch = 100;

// What a read asks (CONTROLREAD): the field's list operation and its selection word (fields.h
// ListOp and ListSelect values).  The answer is `perRow` cells per row in `values`.
struct ControlRead {
    int op = 0, selection = 0;
};
struct ControlAnswer {
    int perRow = 1;
    std::vector<std::string> values;
};

// One line of a control as a character screen shows it.
struct ControlLine {
    int row = 0, column = 0;  // in the window
    std::string text;
    uint32_t look = 0;  // look letters (R reverse, U underline)
};

class ControlTable {
  public:
    // Applies an output, creating the control (or replacing one of another kind or size at that
    // place).  Returns 0, kErrArrayCounts for a row whose cells do not match the columns,
    // kErrFieldKind for an operation the control does not take, kErrBound for a row number or
    // sort column outside the control.
    [[nodiscard]] int output(const ControlOutput& out);
    // Answers a read of the control at `place`; an unknown place gives an empty answer.
    ControlAnswer read(const ControlPlace& place, const ControlRead& what) const;
    Control* find(const ControlPlace& place);
    const Control* find(const ControlPlace& place) const;
    // A window closed or cleared: its controls go.  Window 0 clearing drops the console's.
    void dropWindow(int32_t window);
    void clear() { controls_.clear(); }
    // Checks a RADIO control and unchecks the others of its group in its window.
    void checkRadio(Control& c);
    // What shows anew when the control at `place` changed: that control and, for a RADIO, the
    // other radios of its window (checking one may have unchecked them).
    std::vector<const Control*> shownWith(const ControlPlace& place) const;
    const std::map<ControlPlace, Control>& all() const { return controls_; }

  private:
    std::map<ControlPlace, Control> controls_;
};

// The lines a character screen shows for a control; `focused` marks the current row.
std::vector<ControlLine> controlLines(const Control& c, bool focused);

// What a key does to a GRID, LIST, CHECK or RADIO control being worked on a character screen
// (the COMBO is edited as a text field).  Returns -1 while the control goes on, else the exit
// code that ends it (0 Enter, 110 Tab, 111 back-tab, 99 Escape, n for a key n x 256).
// `singleSelect` (SELONE) keeps at most one row marked.  A GRID's cell is edited in place:
// a character starts the edit (cellEdit holds the text), Enter ends it, Escape drops it.
struct ControlKeyState {
    bool editing = false;
    std::string cellEdit;
};
int controlKey(ControlTable& table, Control& c, int32_t key, bool singleSelect,
               ControlKeyState& state);

// ---- the wire form of a list of texts (CONTROLOUTPUT's and CONTROLREADRET's data) ----
//   OFFSET  SIZE  MEANING
//   0       4     n, the number of texts (machine byte order)
//   4       ...   n times: 4 bytes length L, then L bytes of text
std::string encodeTexts(const std::vector<std::string>& texts);
// false for a block that does not hold exactly that form (nothing is taken then).
[[nodiscard]] bool decodeTexts(std::string_view block, std::vector<std::string>& out);

}  // namespace vxs
