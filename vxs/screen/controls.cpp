// The controls' model (see controls.h): outputs, reads, the character lines and the keys.
#include "vxs/screen/controls.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "vxs/errors/errors.h"
#include "vxs/form/numtext.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/keyboard.h"

namespace vxs {

namespace {

constexpr int kDefaultColumnWidth = 10;

// A number in a cell, for sorting: the cell's text as typed numbers are read.
bool cellNumber(const std::string& text, double& v) {
    const size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos) return false;
    const size_t b = text.find_last_not_of(' ');
    return parseNumber(std::string_view(text).substr(a, b - a + 1), '.', 0, v);
}

// A whole number in a text (row numbers, sort columns), or false.
bool wholeNumber(const std::string& text, int& out) {
    double v = 0;
    if (!cellNumber(text, v) || v < -2147483647.0 || v > 2147483647.0) return false;
    out = static_cast<int>(v);
    return out == v;
}

void resetRows(Control& c) {
    const size_t n = c.rows.size();
    c.selected.assign(n, 0);
    c.changed.assign(n, 0);
    c.rowAttr.assign(n, 0);
    c.top = 0;
    c.current = n ? 0 : -1;
}

// The rows of an output, cut into rows of the control's columns.
int rowsOf(const Control& c, const ControlOutput& out,
           std::vector<std::vector<std::string>>& rows) {
    const int columns = c.columnCount();
    if (columns == 0 || out.values.size() % static_cast<size_t>(columns) != 0 ||
        (out.perRow != 0 && out.perRow != columns))
        return kErrArrayCounts;
    for (size_t at = 0; at < out.values.size(); at += static_cast<size_t>(columns))
        rows.emplace_back(out.values.begin() + static_cast<long>(at),
                          out.values.begin() + static_cast<long>(at) + columns);
    return 0;
}

// Columns made from the first output when no HEADERS came before: blank headers.
void defaultColumns(Control& c, int columns, int width) {
    c.headers.assign(static_cast<size_t>(columns), std::string());
    const int each = columns > 0 ? std::max(1, (width - 1) / columns - 1) : kDefaultColumnWidth;
    c.widths.assign(static_cast<size_t>(columns), each);
    c.numeric.assign(static_cast<size_t>(columns), 0);
}

int listOutput(Control& c, const ControlOutput& out) {
    const auto op = static_cast<ListOp>(out.op);
    switch (op) {
        case ListOp::Headers: {
            // Row 0 the captions, row 1 the widths, row 2 the forms (a form of a numeric kind
            // shows its column right-aligned).
            const int n = out.perRow;
            if (n <= 0 || out.values.size() % static_cast<size_t>(n) != 0 ||
                out.values.size() / static_cast<size_t>(n) > 3)
                return kErrArrayCounts;
            const size_t given = out.values.size() / static_cast<size_t>(n);
            c.headers.assign(out.values.begin(), out.values.begin() + n);
            c.widths.assign(static_cast<size_t>(n), 0);
            c.numeric.assign(static_cast<size_t>(n), 0);
            for (int k = 0; k < n; ++k) {
                int w = 0;
                if (given > 1 && wholeNumber(out.values[static_cast<size_t>(n + k)], w) && w > 0)
                    c.widths[static_cast<size_t>(k)] = std::min(w, 250);
                else
                    c.widths[static_cast<size_t>(k)] =
                        std::max(static_cast<int>(c.headers[static_cast<size_t>(k)].size()),
                                 kDefaultColumnWidth);
                if (given > 2) {
                    const std::string& form = out.values[static_cast<size_t>(2 * n + k)];
                    const size_t a = form.find_first_not_of(' ');
                    const char kind =
                        a == std::string::npos
                            ? 'C'
                            : static_cast<char>(std::toupper(static_cast<unsigned char>(form[a])));
                    c.numeric[static_cast<size_t>(k)] =
                        kind == 'N' || kind == 'G' || kind == 'P' || kind == 'D';
                }
            }
            c.rows.clear();
            resetRows(c);
            return 0;
        }
        case ListOp::None:
        case ListOp::Replace:
        case ListOp::Row:
        case ListOp::Append:
        case ListOp::Insert:
        case ListOp::Cell: {
            if (c.columnCount() == 0) {
                if (out.perRow <= 0) return kErrArrayCounts;
                defaultColumns(c, out.perRow, c.width);
            }
            std::vector<std::vector<std::string>> rows;
            if (int err = rowsOf(c, out, rows)) return err;
            if (op == ListOp::Append || op == ListOp::Insert) {
                const size_t at = op == ListOp::Append || c.current < 0
                                      ? c.rows.size()
                                      : static_cast<size_t>(c.current);
                const auto pos = static_cast<long>(at);
                const size_t n = rows.size();
                c.rows.insert(c.rows.begin() + pos, rows.begin(), rows.end());
                c.selected.insert(c.selected.begin() + pos, n, 0);
                c.changed.insert(c.changed.begin() + pos, n, 0);
                c.rowAttr.insert(c.rowAttr.begin() + pos, n, 0);
                if (c.current < 0 && !c.rows.empty()) c.current = 0;
                c.moveTo(c.current);
                return 0;
            }
            c.rows = std::move(rows);
            resetRows(c);
            return 0;
        }
        case ListOp::Sort: {
            int column = 0;
            if (out.values.size() != 1 || !wholeNumber(out.values[0], column) || column == 0 ||
                std::abs(column) > c.columnCount())
                return kErrBound;
            const size_t k = static_cast<size_t>(std::abs(column) - 1);
            const bool descending = column < 0;
            std::vector<size_t> order(c.rows.size());
            for (size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
                const std::string& a = c.rows[descending ? y : x][k];
                const std::string& b = c.rows[descending ? x : y][k];
                double na = 0, nb = 0;
                if (cellNumber(a, na) && cellNumber(b, nb)) return na < nb;
                return a < b;
            });
            Control sorted = c;
            for (size_t i = 0; i < order.size(); ++i) {
                sorted.rows[i] = c.rows[order[i]];
                sorted.selected[i] = c.selected[order[i]];
                sorted.changed[i] = c.changed[order[i]];
                sorted.rowAttr[i] = c.rowAttr[order[i]];
                if (static_cast<int>(order[i]) == c.current) sorted.current = static_cast<int>(i);
            }
            c = std::move(sorted);
            c.moveTo(c.current);
            return 0;
        }
        case ListOp::Sub:
        case ListOp::RowSub: {
            // The rows named become the marked ones; the first of them the current row.
            std::vector<char> marks(c.rows.size(), 0);
            int first = -1;
            for (const std::string& v : out.values) {
                int r = 0;
                if (!wholeNumber(v, r) || r < 1 || r > static_cast<int>(c.rows.size()))
                    return kErrBound;
                marks[static_cast<size_t>(r - 1)] = 1;
                if (first < 0) first = r - 1;
            }
            c.selected = std::move(marks);
            if (first >= 0) c.moveTo(first);
            return 0;
        }
        case ListOp::Attr: {
            // Pairs of a row number and the look letters to show it in.
            if (out.values.size() % 2 != 0) return kErrArrayCounts;
            for (size_t i = 0; i < out.values.size(); i += 2) {
                int r = 0, look = 0;
                if (!wholeNumber(out.values[i], r) || r < 1 ||
                    r > static_cast<int>(c.rows.size()) || !wholeNumber(out.values[i + 1], look))
                    return kErrBound;
                c.rowAttr[static_cast<size_t>(r - 1)] = static_cast<uint32_t>(look);
            }
            return 0;
        }
        default: return kErrFieldKind;  // CNT and ROWCNT only read
    }
}

// Checked state and caption of a CHECK or RADIO text: a leading "^" checks it.
void checkText(Control& c, const std::string& value) {
    c.checked = !value.empty() && value[0] == '^';
    c.text = c.checked ? value.substr(1) : value;
}

std::string fitted(std::string_view text, int width, bool right) {
    std::string s(text.substr(0, static_cast<size_t>(std::max(width, 0))));
    const size_t pad = static_cast<size_t>(std::max(width, 0)) - s.size();
    return right ? std::string(pad, ' ') + s : s + std::string(pad, ' ');
}

// A row of a GRID or LIST as one line: the columns at their widths, a blank between them.
std::string rowText(const Control& c, const std::vector<std::string>& cells, bool header) {
    std::string line;
    for (int k = 0; k < c.columnCount(); ++k) {
        if (k) line += ' ';
        const bool right = !header && c.numeric[static_cast<size_t>(k)];
        line += fitted(cells[static_cast<size_t>(k)], c.widths[static_cast<size_t>(k)], right);
    }
    return line;
}

}  // namespace

void Control::moveTo(int row) {
    if (rows.empty()) {
        current = -1;
        top = 0;
        return;
    }
    current = std::clamp(row, 0, static_cast<int>(rows.size()) - 1);
    if (current < top) top = current;
    if (current >= top + visibleRows()) top = current - visibleRows() + 1;
    top = std::max(top, 0);
}

int ControlTable::output(const ControlOutput& out) {
    if (out.op == kControlSearch) {
        Control* c = find(out.place);
        if (!c || (c->kind != ControlKind::Grid && c->kind != ControlKind::List) ||
            out.values.size() != 1)
            return 0;
        std::string want;
        const std::string& v = out.values[0];
        const size_t a = v.find_first_not_of(' ');
        if (a != std::string::npos) want = v.substr(a, v.find_last_not_of(' ') - a + 1);
        const auto lower = [](std::string t) {
            for (char& ch : t) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            return t;
        };
        want = lower(want);
        for (size_t r = 0; r < c->rows.size(); ++r)
            if (!c->rows[r].empty() && lower(c->rows[r][0]).starts_with(want)) {
                c->moveTo(static_cast<int>(r));
                break;
            }
        return 0;
    }
    auto it = controls_.find(out.place);
    if (it != controls_.end() && (it->second.kind != out.kind || it->second.height != out.height ||
                                  it->second.width != out.width))
        controls_.erase(it), it = controls_.end();
    Control fresh;
    Control& c = it != controls_.end() ? it->second : fresh;
    if (it == controls_.end()) {
        c.kind = out.kind;
        c.place = out.place;
        c.height = std::max(out.height, 1);
        c.width = std::max(out.width, 1);
    }
    c.look = out.look;
    c.group = out.group;
    int err = 0;
    switch (out.kind) {
        case ControlKind::Grid:
        case ControlKind::List:
            // Work on a copy: a refused output leaves the control as it was.
            if (it != controls_.end()) {
                Control copy = c;
                err = listOutput(copy, out);
                if (!err) c = std::move(copy);
            } else {
                err = listOutput(c, out);
            }
            break;
        case ControlKind::Combo: {
            const auto op = static_cast<ListOp>(out.op);
            if (op == ListOp::Replace || op == ListOp::Append || op == ListOp::Insert) {
                if (op == ListOp::Replace) c.choices.clear();
                c.choices.insert(op == ListOp::Insert ? c.choices.begin() : c.choices.end(),
                                 out.values.begin(), out.values.end());
            } else if (op == ListOp::None) {
                c.text = out.values.empty() ? std::string() : out.values[0];
            } else {
                err = kErrFieldKind;
            }
            break;
        }
        case ControlKind::Button:
        case ControlKind::HotText:
            c.text = out.values.empty() ? std::string() : out.values[0];
            break;
        case ControlKind::Picture:
            if (out.values.size() != 2) {
                err = kErrArrayCounts;
                break;
            }
            c.text = out.values[0];
            c.choices.assign(1, out.values[1]);
            break;
        case ControlKind::Check:
        case ControlKind::Radio:
            if (static_cast<ListOp>(out.op) != ListOp::None) {
                err = kErrFieldKind;
                break;
            }
            checkText(c, out.values.empty() ? std::string() : out.values[0]);
            break;
    }
    if (err) return err;
    if (it == controls_.end()) it = controls_.emplace(out.place, std::move(fresh)).first;
    if (it->second.kind == ControlKind::Radio && it->second.checked) checkRadio(it->second);
    return 0;
}

ControlAnswer ControlTable::read(const ControlPlace& place, const ControlRead& what) const {
    ControlAnswer a;
    const Control* c = find(place);
    if (!c) return a;
    if (c->kind == ControlKind::Combo || c->kind == ControlKind::Button ||
        c->kind == ControlKind::HotText || c->kind == ControlKind::Picture) {
        a.values.push_back(c->text);
        return a;
    }
    if (c->kind == ControlKind::Check || c->kind == ControlKind::Radio) {
        a.values.push_back(c->checked ? "^" + c->text : c->text);
        return a;
    }
    // The rows the selection word chooses.
    std::vector<int> chosen;
    const auto sel = static_cast<ListSelect>(what.selection);
    const int n = static_cast<int>(c->rows.size());
    switch (sel) {
        case ListSelect::All:
        case ListSelect::AllR:
        case ListSelect::AllC:
            for (int r = 0; r < n; ++r) chosen.push_back(r);
            break;
        case ListSelect::Chg:
            for (int r = 0; r < n; ++r)
                if (c->changed[static_cast<size_t>(r)]) chosen.push_back(r);
            break;
        case ListSelect::Sel:
            for (int r = 0; r < n; ++r)
                if (c->selected[static_cast<size_t>(r)]) chosen.push_back(r);
            if (chosen.empty() && c->current >= 0) chosen.push_back(c->current);
            break;
        case ListSelect::SelOne: {
            for (int r = 0; r < n && chosen.empty(); ++r)
                if (c->selected[static_cast<size_t>(r)]) chosen.push_back(r);
            if (chosen.empty() && c->current >= 0) chosen.push_back(c->current);
            break;
        }
        default:  // CUR, or no word: the current row
            if (c->current >= 0) chosen.push_back(c->current);
            break;
    }
    const auto op = static_cast<ListOp>(what.op);
    const bool currentCell =
        (sel == ListSelect::Cur || sel == ListSelect::None) && c->kind == ControlKind::Grid;
    switch (op) {
        case ListOp::Cnt:
        case ListOp::RowCnt: a.values.push_back(std::to_string(chosen.size())); break;
        case ListOp::Sub:
            if (currentCell && c->current >= 0) {
                a.values.push_back(std::to_string(c->current * c->columnCount() + c->column + 1));
                break;
            }
            [[fallthrough]];
        case ListOp::RowSub:
            for (const int r : chosen) a.values.push_back(std::to_string(r + 1));
            break;
        case ListOp::Cell:
            if (currentCell && c->current >= 0) {
                a.values.push_back(
                    c->rows[static_cast<size_t>(c->current)][static_cast<size_t>(c->column)]);
                break;
            }
            [[fallthrough]];
        default:
            a.perRow = std::max(c->columnCount(), 1);
            for (const int r : chosen)
                for (const std::string& cell : c->rows[static_cast<size_t>(r)])
                    a.values.push_back(cell);
            if (op == ListOp::Cell) a.perRow = 1;
            break;
    }
    return a;
}

Control* ControlTable::find(const ControlPlace& place) {
    auto it = controls_.find(place);
    return it == controls_.end() ? nullptr : &it->second;
}

const Control* ControlTable::find(const ControlPlace& place) const {
    auto it = controls_.find(place);
    return it == controls_.end() ? nullptr : &it->second;
}

void ControlTable::dropWindow(int32_t window) {
    std::erase_if(controls_, [window](const auto& e) { return e.first.window == window; });
}

void ControlTable::checkRadio(Control& c) {
    for (auto& [place, other] : controls_)
        if (&other != &c && other.kind == ControlKind::Radio && place.window == c.place.window &&
            other.group == c.group)
            other.checked = false;
    c.checked = true;
}

std::vector<const Control*> ControlTable::shownWith(const ControlPlace& place) const {
    std::vector<const Control*> out;
    const Control* c = find(place);
    if (!c) return out;
    out.push_back(c);
    if (c->kind == ControlKind::Radio)
        for (const auto& [where, other] : controls_)
            if (&other != c && other.kind == ControlKind::Radio && where.window == place.window)
                out.push_back(&other);
    return out;
}

std::vector<ControlLine> controlLines(const Control& c, bool focused) {
    std::vector<ControlLine> lines;
    const ControlPlace& p = c.place;
    switch (c.kind) {
        case ControlKind::Button:
        case ControlKind::HotText: break;  // the hot field's own text shows
        case ControlKind::Picture:
            lines.push_back({p.row, p.column, fitted("[" + c.text + "]", c.width, false), c.look});
            break;
        case ControlKind::Combo:
            lines.push_back({p.row, p.column, fitted(c.text, c.width, false), c.look});
            break;
        case ControlKind::Check:
        case ControlKind::Radio: {
            const std::string box = c.kind == ControlKind::Check ? (c.checked ? "[X] " : "[ ] ")
                                                                 : (c.checked ? "(*) " : "( ) ");
            // The box stands before the caption, which keeps the field's whole width.
            lines.push_back({p.row, p.column, box + fitted(c.text, c.width, false), c.look});
            break;
        }
        case ControlKind::Grid:
        case ControlKind::List: {
            // The headers underlined, then the visible rows; a marked row starts with "*", the
            // current one shows reversed while the control is worked on.
            const int width = c.width;
            lines.push_back({p.row, p.column,
                             fitted(" " + rowText(c, c.headers, true), width, false),
                             c.look | kLookU});
            for (int i = 0; i < c.visibleRows(); ++i) {
                const int r = c.top + i;
                ControlLine line{p.row + 1 + i, p.column,
                                 std::string(static_cast<size_t>(width), ' '), c.look};
                if (r < static_cast<int>(c.rows.size())) {
                    const auto at = static_cast<size_t>(r);
                    line.text = fitted((c.selected[at] ? "*" : " ") + rowText(c, c.rows[at], false),
                                       width, false);
                    line.look |= c.rowAttr[at];
                    if (focused && r == c.current) line.look |= kLookR;
                }
                lines.push_back(std::move(line));
            }
            break;
        }
    }
    return lines;
}

int controlKey(ControlTable& table, Control& c, int32_t key, bool singleSelect,
               ControlKeyState& state) {
    using namespace keys;
    const bool list = c.kind == ControlKind::Grid || c.kind == ControlKind::List;
    // A GRID cell being edited takes the keys first.
    if (state.editing) {
        if (key == kEnter || key == kTab || key == kDown || key == kUp) {
            if (c.current >= 0) {
                c.rows[static_cast<size_t>(c.current)][static_cast<size_t>(c.column)] =
                    state.cellEdit;
                c.changed[static_cast<size_t>(c.current)] = 1;
            }
            state.editing = false;
            if (key == kEnter) return -1;
        } else if (key == kEscape) {
            state.editing = false;
            return -1;
        } else if (key == kBackspace) {
            if (!state.cellEdit.empty()) state.cellEdit.pop_back();
            return -1;
        } else if (key >= 32 && key <= 254) {
            state.cellEdit += static_cast<char>(key);
            return -1;
        } else {
            return -1;
        }
    }
    switch (key) {
        case kEnter: return 0;
        case kTab: return 110;
        case kBackTab: return 111;
        case kEscape: return 99;
        case ' ':
            if (c.kind == ControlKind::Check) {
                c.checked = !c.checked;
                return -1;
            }
            if (c.kind == ControlKind::Radio) {
                table.checkRadio(c);
                return -1;
            }
            if (list && c.current >= 0) {
                const auto at = static_cast<size_t>(c.current);
                const char mark = c.selected[at] ? 0 : 1;
                if (singleSelect) std::fill(c.selected.begin(), c.selected.end(), 0);
                c.selected[at] = mark;
            }
            return -1;
        default: break;
    }
    if (!list) {
        if (key == kDown) return 104;
        if (key == kUp) return 102;
        if (key == kRight) return 116;
        if (key == kLeft) return 103;
    } else {
        const int page = c.visibleRows();
        switch (key) {
            case kDown: c.moveTo(c.current + 1); return -1;
            case kUp: c.moveTo(c.current - 1); return -1;
            case kPageDown: c.moveTo(c.current + page); return -1;
            case kPageUp: c.moveTo(c.current - page); return -1;
            case kHome: c.moveTo(0); return -1;
            case kEnd: c.moveTo(static_cast<int>(c.rows.size()) - 1); return -1;
            case kRight:
                if (c.kind == ControlKind::Grid)
                    c.column = std::min(c.column + 1, std::max(c.columnCount() - 1, 0));
                return -1;
            case kLeft:
                if (c.kind == ControlKind::Grid) c.column = std::max(c.column - 1, 0);
                return -1;
            default: break;
        }
        if (c.kind == ControlKind::Grid && c.current >= 0 && key >= 32 && key <= 254) {
            state.editing = true;
            state.cellEdit.assign(1, static_cast<char>(key));
            return -1;
        }
    }
    if (key > 255 && (key & 0xFF) == 0) return key >> 8;  // function keys and the like
    return -1;
}

std::string encodeTexts(const std::vector<std::string>& texts) {
    std::string out;
    const auto put = [&out](uint32_t v) {
        char b[4];
        memcpy(b, &v, 4);
        out.append(b, 4);
    };
    put(static_cast<uint32_t>(texts.size()));
    for (const std::string& t : texts) {
        put(static_cast<uint32_t>(t.size()));
        out += t;
    }
    return out;
}

bool decodeTexts(std::string_view block, std::vector<std::string>& out) {
    std::vector<std::string> texts;
    size_t at = 0;
    const auto get = [&](uint32_t& v) {
        if (block.size() - at < 4) return false;
        memcpy(&v, block.data() + at, 4);
        at += 4;
        return true;
    };
    uint32_t n = 0;
    if (!get(n) || n > block.size() / 4) return false;
    texts.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t len = 0;
        if (!get(len) || len > block.size() - at) return false;
        texts.emplace_back(block.substr(at, len));
        at += len;
    }
    if (at != block.size()) return false;
    out = std::move(texts);
    return true;
}

}  // namespace vxs
