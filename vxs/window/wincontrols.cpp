// The window's native controls (see wincontrols.h).
#include "vxs/window/wincontrols.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/eventfilter.h>
#include <wx/evtloop.h>
#include <wx/grid.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/mstream.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>

#include <algorithm>
#include <chrono>

#include "vxs/base/process.h"
#include "vxs/clientserver/remoteops.h"
#include "vxs/screen/fieldedit.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/screenmodel.h"
#include "vxs/window/textwin.h"

namespace vxs {

namespace {

wxString wx(std::string_view s) {
    return wxString::From8BitData(s.data(), s.size());
}

std::string narrow(const wxString& s) {
    const wxCharBuffer b = s.To8BitData();
    return b.data() ? std::string(b.data(), b.length()) : std::string();
}

// The operator's turn on one widget: the key that ended it, as the character screen's keys do.
struct Session {
    const Control* control = nullptr;
    int exitCode = -1;
    int32_t status = 0;
    bool clickedAway = false;  // a click elsewhere ended the turn
};
Session* g_session = nullptr;

bool isList(const Control& c) {
    return c.kind == ControlKind::Grid || c.kind == ControlKind::List;
}

// A key pressed in a widget while it is worked: the keys that end the turn end it; the widget
// handles every other key itself (moving, selecting, typing, opening its list).
void onWidgetKey(wxKeyEvent& e, wxWindow* widget) {
    if (!g_session) {
        e.Skip();
        return;
    }
    const Control& c = *g_session->control;
    // Ctrl with a letter other than C is the widget's own (select all, copy, paste).
    const int wxKey = e.GetKeyCode();
    if (e.RawControlDown() && wxKey >= 'A' && wxKey <= 'Z' && wxKey != 'C') {
        e.Skip();
        return;
    }
    const int32_t code =
        TextWin::keyCodeOf(e.GetKeyCode(), e.RawControlDown(), e.AltDown(), e.ShiftDown());
    auto* grid = dynamic_cast<wxGrid*>(widget);
    const bool cellEditing = grid && grid->IsCellEditControlShown();
    if (grid && !cellEditing) {  // the grid's cursor keys, whichever of its parts has the focus
        bool moved = true;
        switch (code) {
            case keys::kUp: grid->MoveCursorUp(false); break;
            case keys::kDown: grid->MoveCursorDown(false); break;
            case keys::kLeft: grid->MoveCursorLeft(false); break;
            case keys::kRight: grid->MoveCursorRight(false); break;
            default: moved = false; break;
        }
        if (moved) return;
    }
    int exit = -1;
    switch (code) {
        case keys::kAttention: g_session->status = kInputInterrupted; return;
        case keys::kEnter: exit = cellEditing ? -1 : 0; break;
        case keys::kTab: exit = 110; break;
        case keys::kBackTab: exit = 111; break;
        case keys::kEscapeTyped: exit = cellEditing ? -1 : 99; break;
        case keys::kDown: exit = isList(c) || c.kind == ControlKind::Combo ? -1 : 104; break;
        case keys::kUp: exit = isList(c) || c.kind == ControlKind::Combo ? -1 : 102; break;
        default:
            if (code >= keys::kF1 && code <= keys::kF12 && (code & 0xFF) == 0) exit = code >> 8;
            break;
    }
    if (exit < 0) {
        e.Skip();
        return;
    }
    if (grid && cellEditing) grid->SaveEditControlValue();
    g_session->exitCode = exit;
}

void fillList(wxListCtrl* list, const Control& c, int cellW) {
    list->Freeze();
    list->ClearAll();
    for (int k = 0; k < c.columnCount(); ++k)
        list->InsertColumn(
            k, wx(c.headers[static_cast<size_t>(k)]),
            c.numeric[static_cast<size_t>(k)] ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
            (c.widths[static_cast<size_t>(k)] + 1) * cellW);
    for (size_t r = 0; r < c.rows.size(); ++r) {
        const long item =
            list->InsertItem(static_cast<long>(r), wx(c.rows[r].empty() ? "" : c.rows[r][0]));
        for (size_t k = 1; k < c.rows[r].size(); ++k)
            list->SetItem(item, static_cast<int>(k), wx(c.rows[r][k]));
        if (c.selected[r]) list->SetItemState(item, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    if (c.current >= 0) {
        list->SetItemState(c.current, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
        list->EnsureVisible(c.current);
    }
    list->Thaw();
}

void fillGrid(wxGrid* grid, const Control& c, int cellW) {
    const int rows = static_cast<int>(c.rows.size()), columns = c.columnCount();
    grid->BeginBatch();
    if (grid->GetNumberRows() > rows) grid->DeleteRows(rows, grid->GetNumberRows() - rows);
    if (grid->GetNumberRows() < rows) grid->AppendRows(rows - grid->GetNumberRows());
    if (grid->GetNumberCols() > columns) grid->DeleteCols(columns, grid->GetNumberCols() - columns);
    if (grid->GetNumberCols() < columns) grid->AppendCols(columns - grid->GetNumberCols());
    for (int k = 0; k < columns; ++k) {
        grid->SetColLabelValue(k, wx(c.headers[static_cast<size_t>(k)]));
        grid->SetColSize(k, (c.widths[static_cast<size_t>(k)] + 1) * cellW);
        auto* attr = new wxGridCellAttr;
        attr->SetAlignment(c.numeric[static_cast<size_t>(k)] ? wxALIGN_RIGHT : wxALIGN_LEFT,
                           wxALIGN_CENTRE);
        grid->SetColAttr(k, attr);
    }
    for (int r = 0; r < rows; ++r)
        for (int k = 0; k < columns; ++k)
            grid->SetCellValue(r, k, wx(c.rows[static_cast<size_t>(r)][static_cast<size_t>(k)]));
    grid->ClearSelection();
    for (int r = 0; r < rows; ++r)
        if (c.selected[static_cast<size_t>(r)]) grid->SelectRow(r, true);
    if (c.current >= 0) {
        grid->SetGridCursor(c.current, std::min(c.column, std::max(columns - 1, 0)));
        grid->MakeCellVisible(c.current, std::min(c.column, std::max(columns - 1, 0)));
    }
    grid->EndBatch();
}

}  // namespace

std::string screenRectText(const wxWindow* w) {
    const wxRect r = w->GetScreenRect();
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

wxImage decodeImage(std::string_view bytes) {
    static bool handlers = false;
    if (!handlers) {
        wxInitAllImageHandlers();
        handlers = true;
    }
    wxImage image;
    if (!bytes.empty()) {
        wxMemoryInputStream in(bytes.data(), bytes.size());
        wxLogNull quiet;  // a picture that cannot be decoded shows nothing
        (void)image.LoadFile(in);
    }
    return image;
}

// Sees each press of the first button before the widget under it does (native widgets keep
// their presses to themselves: no parent hears of them).
class NativeControls::ClickFilter final : public wxEventFilter {
  public:
    explicit ClickFilter(NativeControls& owner) : owner_(owner) {}
    int FilterEvent(wxEvent& e) override {
        if (e.GetEventType() == wxEVT_LEFT_DOWN) owner_.onMouseDown(static_cast<wxMouseEvent&>(e));
        return Event_Skip;
    }

  private:
    NativeControls& owner_;
};

NativeControls::NativeControls() = default;

NativeControls::~NativeControls() {
    if (filter_) wxEvtHandler::RemoveFilter(filter_.get());
}

bool NativeControls::editing() {
    return g_session != nullptr;
}

void NativeControls::clicked(int row, int column) {
    if (!g_session) {
        (void)enqueueKeyAt(keys::kMouseClick, column, row);
        return;
    }
    noteMouseCell(row, column);
    g_session->clickedAway = true;
}

void NativeControls::onMouseDown(wxMouseEvent& e) {
    auto* source = dynamic_cast<wxWindow*>(e.GetEventObject());
    if (!panel_ || !source || source == panel_) return;  // the panel's own clicks are its own
    wxWindow* widget = source;
    while (widget && widget->GetParent() != panel_) widget = widget->GetParent();
    if (!widget || keys_.count(widget)) return;  // not on a widget, or a button: it presses
    const auto at = std::find_if(widgets_.begin(), widgets_.end(),
                                 [widget](const auto& w) { return w.second == widget; });
    if (at == widgets_.end() || (g_session && g_session->control->place == at->first)) return;
    int row = 0, column = 0;
    if (panel_->cellAt(panel_->ScreenToClient(source->ClientToScreen(e.GetPosition())), row,
                       column))
        clicked(row, column);
}

void NativeControls::setPanel(TextWin* panel) {
    panel_ = panel;
    if (panel && !filter_) {
        filter_ = std::make_unique<ClickFilter>(*this);
        wxEvtHandler::AddFilter(filter_.get());
    }
    if (!panel) {  // destroyed with their parent
        widgets_.clear();
        keys_.clear();
        partners_.clear();
        images_.clear();
    }
}

void NativeControls::place(wxWindow* w, const Control& c, const ScreenModel& screen) {
    int row = 0, column = 0;
    if (screen.absolute(c.place.window, c.place.row, c.place.column, row, column) != 0) return;
    wxRect r = panel_->cellRect(row, column, c.height, c.width);
    if (!isList(c)) {
        // One row's widgets keep their own height, centred on the row.
        const int h = std::max(w->GetBestSize().y, r.height);
        r.y -= (h - r.height) / 2;
        r.height = h;
    }
    if (w->GetRect() == r) return;
    w->SetSize(r);
    if (c.kind == ControlKind::Picture) {
        // The picture as large as its cells allow, its proportions kept.
        const wxImage& image = images_[c.place];
        auto* picture = static_cast<wxStaticBitmap*>(w);
        if (!image.IsOk() || r.width <= 0 || r.height <= 0) {
            picture->SetBitmap(wxBitmap());
            return;
        }
        const double scale = std::min(static_cast<double>(r.width) / image.GetWidth(),
                                      static_cast<double>(r.height) / image.GetHeight());
        const int pw = std::max(1, static_cast<int>(image.GetWidth() * scale));
        const int ph = std::max(1, static_cast<int>(image.GetHeight() * scale));
        picture->SetBitmap(wxBitmap(image.Scale(pw, ph, wxIMAGE_QUALITY_HIGH)));
        picture->SetSize(r);
    }
}

// The widget of type W at `w`: the one standing there, or a new one made by `make` after a
// widget of another kind (and what was kept beside it) went.  `keys`: the widget takes the
// keys that end the operator's turn while it is worked.
template <class W, class Make>
W* NativeControls::widgetOf(const ControlPlace& at, wxWindow*& w, bool keys, Make make) {
    if (auto* same = dynamic_cast<W*>(w)) return same;
    if (w) {
        forget(at, w);
        w->Destroy();
    }
    W* made = make();
    if (keys) made->Bind(wxEVT_CHAR_HOOK, [made](wxKeyEvent& e) { onWidgetKey(e, made); });
    w = made;
    return made;
}

void NativeControls::forget(const ControlPlace& at, wxWindow* w) {
    keys_.erase(w);
    images_.erase(at);
    if (auto p = partners_.find(at); p != partners_.end()) {
        p->second->Destroy();
        partners_.erase(p);
    }
}

void NativeControls::show(const Control& c, const ScreenModel& screen) {
    if (!panel_) return;
    wxWindow*& w = widgets_[c.place];
    const int cellW = panel_->cellRect(0, 0, 1, 1).width;
    switch (c.kind) {
        case ControlKind::List: {
            auto* list = widgetOf<wxListCtrl>(c.place, w, true, [this] {
                auto* made = new wxListCtrl(panel_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                            wxLC_REPORT | wxBORDER_SUNKEN);
                made->Bind(wxEVT_LIST_ITEM_ACTIVATED, [](wxListEvent&) {
                    if (g_session) g_session->exitCode = 0;  // a double-click chooses the row
                });
                return made;
            });
            fillList(list, c, cellW);
            break;
        }
        case ControlKind::Grid: {
            auto* grid = widgetOf<wxGrid>(c.place, w, true, [this, cellW] {
                auto* made = new wxGrid(panel_, wxID_ANY);
                made->CreateGrid(0, 0);
                made->SetRowLabelSize(4 * cellW);
                return made;
            });
            fillGrid(grid, c, cellW);
            break;
        }
        case ControlKind::Combo: {
            auto* combo = widgetOf<wxComboBox>(c.place, w, true,
                                               [this] { return new wxComboBox(panel_, wxID_ANY); });
            wxArrayString choices;
            for (const std::string& s : c.choices) choices.Add(wx(s));
            combo->Set(choices);
            combo->SetValue(wx(c.text));
            break;
        }
        case ControlKind::Check: {
            auto* check = widgetOf<wxCheckBox>(
                c.place, w, true, [this] { return new wxCheckBox(panel_, wxID_ANY, wxString()); });
            check->SetLabel(wx(c.text));
            check->SetValue(c.checked);
            break;
        }
        case ControlKind::Radio: {
            auto* radio = widgetOf<wxRadioButton>(c.place, w, true, [this, &c] {
                // Each button in a native group of its own with a hidden partner, which holds
                // the group's choice while the button is off: the model's groups decide which
                // buttons exclude each other.
                auto* made = new wxRadioButton(panel_, wxID_ANY, wxString(), wxDefaultPosition,
                                               wxDefaultSize, wxRB_GROUP);
                auto* partner = new wxRadioButton(panel_, wxID_ANY, wxString());
                partner->Hide();
                partners_[c.place] = partner;
                return made;
            });
            radio->SetLabel(wx(c.text));
            if (c.checked)
                radio->SetValue(true);
            else
                partners_[c.place]->SetValue(true);
            break;
        }
        case ControlKind::Picture: {
            auto* picture = widgetOf<wxStaticBitmap>(c.place, w, false, [this] {
                return new wxStaticBitmap(panel_, wxID_ANY, wxBitmap());
            });
            // Decoded once; drawn at the size of its cells whenever they change.
            images_[c.place] = decodeImage(c.choices.empty() ? std::string_view()
                                                             : std::string_view(c.choices[0]));
            picture->SetSize(0, 0);  // drawn again at its place below
            break;
        }
        case ControlKind::Button:
        case ControlKind::HotText: {
            auto* button = widgetOf<wxButton>(c.place, w, false, [this, &c] {
                // Hot text is a flat button: its words, underlined, in the panel's colours.
                const bool flat = c.kind == ControlKind::HotText;
                auto* made = new wxButton(panel_, wxID_ANY, wxString(), wxDefaultPosition,
                                          wxDefaultSize, flat ? wxBU_EXACTFIT | wxBORDER_NONE : 0);
                if (flat) made->SetFont(panel_->cellFont().Underlined());
                made->Bind(wxEVT_BUTTON, &NativeControls::onPress, this);
                return made;
            });
            keys_[button] = c.group;
            button->SetLabel(wx(c.text));
            break;
        }
    }
    applyFont(w, c);
    place(w, c, screen);
    w->Show();
}

void NativeControls::setWindowFonts(int32_t window, const WindowLook& look) {
    if (look.text.given() || look.labels.given() || look.buttons.given())
        looks_[window] = look;
    else
        looks_.erase(window);
}

void NativeControls::applyFont(wxWindow* w, const Control& c) {
    const auto look = looks_.find(c.place.window);
    if (look == looks_.end()) return;
    const auto fontOf = [](const LookFont& f, wxFont font) {
        if (!f.face.empty()) (void)font.SetFaceName(wx(f.face));  // unknown: the face stays
        if (f.points > 0) font.SetPointSize(f.points);
        return font;
    };
    const WindowLook& l = look->second;
    switch (c.kind) {
        case ControlKind::Grid: {
            auto* grid = static_cast<wxGrid*>(w);
            if (l.text.given())
                grid->SetDefaultCellFont(fontOf(l.text, grid->GetDefaultCellFont()));
            if (l.labels.given()) grid->SetLabelFont(fontOf(l.labels, grid->GetLabelFont()));
            break;
        }
        case ControlKind::List:
        case ControlKind::Combo:
            if (l.text.given()) w->SetFont(fontOf(l.text, w->GetFont()));
            break;
        case ControlKind::Check:
        case ControlKind::Radio:
            if (l.labels.given()) w->SetFont(fontOf(l.labels, w->GetFont()));
            break;
        case ControlKind::Button:
        case ControlKind::HotText:
            if (l.buttons.given()) w->SetFont(fontOf(l.buttons, w->GetFont()));
            break;
        case ControlKind::Picture: break;
    }
}

void NativeControls::onPress(wxCommandEvent& e) {
    auto it = keys_.find(static_cast<wxWindow*>(e.GetEventObject()));
    if (it != keys_.end()) {
        // A widget being worked ends its turn with the key, as a text field ends with it.
        if (g_session && it->second > 0 && (it->second & 0xFF) == 0)
            g_session->exitCode = it->second >> 8;
        else
            (void)enqueueKey(it->second);
    }
    if (panel_) panel_->SetFocus();  // the keys go on to the fields
}

void NativeControls::layout(const ControlTable& table, const ScreenModel& screen) {
    if (!panel_) return;
    for (auto& [where, w] : widgets_)
        if (const Control* c = table.find(where)) place(w, *c, screen);
}

void NativeControls::dropWindow(int32_t window) {
    for (auto it = widgets_.begin(); it != widgets_.end();) {
        if (it->first.window == window) {
            if (panel_) {
                forget(it->first, it->second);
                it->second->Destroy();
            }
            it = widgets_.erase(it);
        } else {
            ++it;
        }
    }
}

void NativeControls::take(ControlTable& table, Control& c, bool singleSelect) {
    auto it = widgets_.find(c.place);
    if (it == widgets_.end() || !panel_) return;
    wxWindow* w = it->second;
    switch (c.kind) {
        case ControlKind::List: {
            auto* list = static_cast<wxListCtrl*>(w);
            const long n = std::min<long>(list->GetItemCount(), static_cast<long>(c.rows.size()));
            long focused = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
            for (long r = 0; r < n; ++r)
                c.selected[static_cast<size_t>(r)] =
                    list->GetItemState(r, wxLIST_STATE_SELECTED) != 0;
            if (focused >= 0 && focused < n) c.moveTo(static_cast<int>(focused));
            if (singleSelect) {
                std::fill(c.selected.begin(), c.selected.end(), 0);
                if (c.current >= 0) c.selected[static_cast<size_t>(c.current)] = 1;
            }
            break;
        }
        case ControlKind::Grid: {
            auto* grid = static_cast<wxGrid*>(w);
            const int rows = std::min(grid->GetNumberRows(), static_cast<int>(c.rows.size()));
            for (int r = 0; r < rows; ++r)
                for (int k = 0; k < c.columnCount() && k < grid->GetNumberCols(); ++k) {
                    std::string& cell = c.rows[static_cast<size_t>(r)][static_cast<size_t>(k)];
                    const std::string now = narrow(grid->GetCellValue(r, k));
                    if (now != cell) {
                        cell = now;
                        c.changed[static_cast<size_t>(r)] = 1;
                    }
                }
            const wxArrayInt marked = grid->GetSelectedRows();
            std::fill(c.selected.begin(), c.selected.end(), 0);
            for (const int r : marked)
                if (r >= 0 && r < rows) c.selected[static_cast<size_t>(r)] = 1;
            if (grid->GetGridCursorRow() >= 0) {
                c.moveTo(grid->GetGridCursorRow());
                c.column = std::max(grid->GetGridCursorCol(), 0);
            }
            if (singleSelect) {
                std::fill(c.selected.begin(), c.selected.end(), 0);
                if (c.current >= 0) c.selected[static_cast<size_t>(c.current)] = 1;
            }
            break;
        }
        case ControlKind::Combo: c.text = narrow(static_cast<wxComboBox*>(w)->GetValue()); break;
        case ControlKind::Check: c.checked = static_cast<wxCheckBox*>(w)->GetValue(); break;
        case ControlKind::Button:
        case ControlKind::HotText:
        case ControlKind::Picture: break;
        case ControlKind::Radio:
            if (static_cast<wxRadioButton*>(w)->GetValue() && !c.checked) {
                table.checkRadio(c);
                // The others of its group show unchecked.
                for (const Control* o : table.shownWith(c.place))
                    if (auto p = partners_.find(o->place);
                        o != &c && !o->checked && p != partners_.end())
                        p->second->SetValue(true);
            }
            break;
    }
}

void NativeControls::edit(ControlTable& table, Control& c, const ScreenModel& screen, int32_t wait,
                          bool singleSelect, int32_t& status, int32_t& exitCode) {
    status = 0;
    exitCode = 0;
    if (!panel_) {
        status = kInputEnded;
        return;
    }
    if (!widgets_.count(c.place)) show(c, screen);
    wxWindow* w = widgets_[c.place];
    Session session;
    session.control = &c;
    g_session = &session;
    w->SetFocus();
    const auto start = std::chrono::steady_clock::now();
    while (session.exitCode < 0 && session.status == 0 && !session.clickedAway) {
        if (wxEventLoopBase* loop = processEventLoop()) loop->DispatchTimeout(50);
        if (wxTheApp) wxTheApp->ProcessPendingEvents();
        if (!panel_) {
            session.status = kInputEnded;
            break;
        }
        // A radio clicked checks itself and unchecks the rest of its group at once.
        if (c.kind == ControlKind::Radio) take(table, c, singleSelect);
        if (wait > 0 && std::chrono::steady_clock::now() - start > std::chrono::seconds(wait))
            session.exitCode = 101;
    }
    g_session = nullptr;
    status = session.status;
    exitCode = session.clickedAway ? kExitMouseField : session.exitCode < 0 ? 0 : session.exitCode;
    if (panel_) {
        take(table, c, singleSelect);
        panel_->SetFocus();
    }
}

std::string NativeControls::describe(const ControlTable& table) const {
    std::string out;
    for (const auto& [where, w] : widgets_) {
        const Control* c = table.find(where);
        if (!c || !panel_) continue;
        out += "control=" + std::to_string(where.window) + "," + std::to_string(where.row + 1) +
               "," + std::to_string(where.column + 1) + " ";
        switch (c->kind) {
            case ControlKind::List: {
                auto* list = static_cast<wxListCtrl*>(w);
                out += "list rows=" + std::to_string(list->GetItemCount()) + " selected=";
                for (long r = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); r >= 0;
                     r = list->GetNextItem(r, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
                    out += std::to_string(r + 1) + ";";
                out += list->GetItemCount() ? " first=" + narrow(list->GetItemText(0)) : "";
                break;
            }
            case ControlKind::Grid: {
                auto* grid = static_cast<wxGrid*>(w);
                out += "grid rows=" + std::to_string(grid->GetNumberRows()) +
                       " columns=" + std::to_string(grid->GetNumberCols()) +
                       " cursor=" + std::to_string(grid->GetGridCursorRow() + 1) + "," +
                       std::to_string(grid->GetGridCursorCol() + 1);
                if (grid->GetNumberRows() && grid->GetNumberCols())
                    out += " first=" + narrow(grid->GetCellValue(0, 0));
                break;
            }
            case ControlKind::Combo:
                out += "combo value=" + narrow(static_cast<wxComboBox*>(w)->GetValue()) +
                       " choices=" + std::to_string(static_cast<wxComboBox*>(w)->GetCount());
                break;
            case ControlKind::Check:
                out += std::string("check ") +
                       (static_cast<wxCheckBox*>(w)->GetValue() ? "on " : "off ") +
                       narrow(static_cast<wxCheckBox*>(w)->GetLabel());
                break;
            case ControlKind::Picture: {
                const wxImage& image = images_.count(where) ? images_.at(where) : wxImage();
                out += "picture " + c->text + " image=" +
                       (image.IsOk() ? std::to_string(image.GetWidth()) + "x" +
                                           std::to_string(image.GetHeight())
                                     : std::string("none"));
                break;
            }
            case ControlKind::Button:
            case ControlKind::HotText:
                out += std::string(c->kind == ControlKind::Button ? "button " : "hottext ") +
                       narrow(static_cast<wxButton*>(w)->GetLabel()) +
                       " key=" + std::to_string(c->group);
                break;
            case ControlKind::Radio:
                out += std::string("radio ") +
                       (static_cast<wxRadioButton*>(w)->GetValue() ? "on " : "off ") +
                       narrow(static_cast<wxRadioButton*>(w)->GetLabel());
                break;
        }
        if (looks_.count(where.window)) {  // the font its window's look gave it
            const wxFont font = c->kind == ControlKind::Grid
                                    ? static_cast<wxGrid*>(w)->GetDefaultCellFont()
                                    : w->GetFont();
            out +=
                " font=" + narrow(font.GetFaceName()) + "," + std::to_string(font.GetPointSize());
        }
        out += " at=" + screenRectText(w) + "\n";  // where a click reaches it (tests)
    }
    return out;
}

}  // namespace vxs
