// The window front end (winterm.h): the main frame, its character-cell panel (TextWin) and its
// status bar, on the screen model the full-screen terminal uses too.  The interpreter runs on the
// main thread; the window's events are dispatched whenever it waits (the waiting helpers) and at
// a running program's keyboard polls, at most every 20 ms.
// Invariants: the panel shows model_ exactly as its last paint found it, at one font size for
// which the console's 24 x 80 cells fit the panel; the cursor lies inside the console; a frame
// that the user is closing is vetoed unless closing is allowed (setCanClose) and the
// interpreter side agreed (the exit request), after which the process ends.
#include "vxs/window/winterm.h"

#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/config.h>
#include <wx/control.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/base/process.h"
#include "vxs/base/version.h"
#include "vxs/clientserver/common.h"
#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/lineedit.h"
#include "vxs/screen/msgbox.h"
#include "vxs/screen/screenmodel.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/terminal.h"
#include "vxs/screen/windowlook.h"
#include "vxs/window/textwin.h"
#include "vxs/window/wincontrols.h"
#include "vxs/window/winprint.h"

namespace vxs {

namespace {

constexpr int kRows = ScreenModel::kRows;
constexpr int kColumns = ScreenModel::kColumns;
constexpr int kFieldRow = kRows - 1;  // the command line's input field
// The command identifier of the menu bar's first item (the others follow in their order).
constexpr int kFirstMenuId = wxID_HIGHEST + 1000;
// How often a running program's keyboard polls let the window's events in.
constexpr auto kPollInterval = std::chrono::milliseconds(20);

// The status bar's fields.
enum StatusPart { kPartStatus, kPartMessage, kPartRowColumn, kPartMode, kPartCount };

class WindowFrontEnd;

// The main window: the panel of cells above the status bar.  Closing it asks the interpreter
// side, when closing is allowed at all.
class vxMainFrame final : public wxFrame {
  public:
    vxMainFrame(WindowFrontEnd& owner, const wxPoint& at, const wxSize& size);
    ~vxMainFrame() override;
    TextWin* text() { return text_; }

  private:
    void onClose(wxCloseEvent& event);
    WindowFrontEnd& owner_;
    TextWin* text_;
};

class WindowFrontEnd final : public FrontEnd {
  public:
    bool open();
    void close();

    void pollEvents() override {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPoll_ < kPollInterval) return;
        lastPoll_ = now;
        dispatchPending();
        // One round of idle work too: windows that finish their drawing there (a print
        // preview, a list's columns) show while a program computes.
        (void)processIdle();
    }

    int32_t readLine(std::string& line, size_t max, int32_t purpose, std::string_view preset,
                     bool selected) override;
    void writeLine(std::string_view text) override;
    void statusText(int32_t field, std::string_view text) override;
    void statusError(int32_t error, int32_t lineNumber, int32_t clause) override {
        status_.setError(error, lineNumber, clause);
        showStatus();
    }
    int32_t screenAction(const ScreenRequest& request) override;
    std::string fonts() override {
        if (!frame_) return {};
        const auto line = [](const char* what, const wxFont& f) {
            return std::string(what) + " " + std::string(f.GetFaceName().utf8_str()) + "," +
                   std::to_string(f.GetPointSize()) + "\n";
        };
        return line("CONSOLE", frame_->text()->cellFont()) +
               line("STATUS", frame_->GetStatusBar()->GetFont());
    }
    int32_t fatalMessage(std::string_view text) override;
    int32_t unusedId(int32_t) override { return 1; }
    void setCanClose(bool canClose) override { canClose_ = canClose; }
    void setTitle(std::string_view title) override {
        title_.assign(title);
        if (frame_) frame_->SetTitle(wxString::FromUTF8(title_.data(), title_.size()));
        changed();
    }
    void endSession() override { close(); }
    std::string showHelp(std::string_view title, std::string_view text) override;
    int32_t messageBox(std::string_view prompt, std::string_view title, BoxButtons kind,
                       BoxIcon icon) override;

    int32_t controlOutput(const ControlOutput& out) override;
    void controlEdit(const ControlPlace& place, int32_t wait, bool singleSelect, int32_t& status,
                     int32_t& exitCode) override;
    ControlAnswer controlRead(const ControlPlace& place, const ControlRead& what) override {
        if (Control* c = controls_.find(place)) native_.take(controls_, *c, false);
        return controls_.read(place, what);
    }
    void dropControls(int32_t window) override {
        FrontEnd::dropControls(window);
        native_.dropWindow(window);
    }

    void setMenu(MenuPart part, const std::vector<std::vector<std::string>>& lists) override;
    int32_t printJob(bool preview, std::string_view path, int32_t flags,
                     int32_t linesPerPage) override {
        if (!frame_) return 1;
        const int32_t result = printWindowJob(frame_, preview, path, flags, linesPerPage);
        frame_->text()->SetFocus();
        return result;
    }

    // The frame asks to close: true when the session may end.
    bool closing();
    // The frame went away (the window system destroyed it).
    void frameGone() {
        frame_ = nullptr;
        toolButtons_.clear();
        native_.setPanel(nullptr);
    }

  private:
    class Editing;
    void onMenu(wxCommandEvent& e);
    void setButtons(const std::vector<std::vector<std::string>>& lists);

    void placeCursor(int row, int column) {
        cursorRow_ = std::clamp(row, 0, kRows - 1);
        cursorColumn_ = std::clamp(column, 0, kColumns - 1);
    }
    // The panel shows the model and the cursor again (painted at the next dispatch).
    void changed() {
        if (frame_)
            frame_->text()->showScreen(model_, cursorRow_, cursorColumn_, insert_, cursorShown_);
        writeSnapshot();
    }
    void showStatus();
    // A window's look from the keywords of its OPEN string (kScreenWindowLook).
    int32_t windowLook(int32_t window, std::string_view keywords);
    void drawField(const std::string& text, size_t at, size_t& offset, size_t width);
    // With VX_WINDOW_SNAPSHOT set: what the window shows, as text, in that file (tests).
    void writeSnapshot();
    void saveGeometry();

    vxMainFrame* frame_ = nullptr;
    ScreenModel model_;
    NativeControls native_;
    std::vector<std::pair<wxButton*, int32_t>> toolButtons_;  // DISPLAY BUTTONS, with their keys
    int cursorRow_ = kFieldRow, cursorColumn_ = 0;
    bool cursorShown_ = true;
    bool insert_ = true;
    bool canClose_ = true;
    bool readingCommand_ = false;
    bool bottomFresh_ = false;  // as the full-screen terminal's: the Enter's blank row is next
    StatusParts status_;
    std::string title_;
    InputPlace place_;
    RecallList recall_;
    std::string snapshotPath_;
    long paints_ = 0;
    std::chrono::steady_clock::time_point lastPoll_{};
    std::vector<std::vector<std::string>> buttonLists_;  // what DISPLAY BUTTONS gave last
    // BUTTONROWS= of the windows open, in the order they opened: the last one's rows hold the
    // tool bar's buttons (one row without any).
    std::vector<std::pair<int32_t, int>> buttonRows_;
    bool maximized_ = false;  // MAXIMIZE made the main window as large as the display's work area
    wxRect restored_;         // ... and NOMAXIMIZE gives it this place back
};

// ---- the frame ----

vxMainFrame::vxMainFrame(WindowFrontEnd& owner, const wxPoint& at, const wxSize& size)
    : wxFrame(nullptr, wxID_ANY, "Veltrix!", at, size), owner_(owner) {
    text_ = new TextWin(this, kRows, kColumns);
    CreateStatusBar(kPartCount);
    const int widths[kPartCount] = {90, -1, 80, 80};
    GetStatusBar()->SetStatusWidths(kPartCount, widths);
    Bind(wxEVT_CLOSE_WINDOW, &vxMainFrame::onClose, this);
    // Back from a dialog or another window, the keys go to the console again (unless the
    // operator is working a control, which keeps them).
    Bind(wxEVT_ACTIVATE, [this](wxActivateEvent& e) {
        if (e.GetActive() && !NativeControls::editing()) text_->SetFocus();
        e.Skip();
    });
}

vxMainFrame::~vxMainFrame() {
    owner_.frameGone();
}

void vxMainFrame::onClose(wxCloseEvent& event) {
    if (event.CanVeto() && !owner_.closing()) {
        event.Veto();
        return;
    }
    Destroy();
}

// ---- the front end ----

// The line editor's host: keys from the key queue, the field on the bottom row or in the window
// an input statement names.
class WindowFrontEnd::Editing final : public LineEditor::Host {
  public:
    explicit Editing(WindowFrontEnd& f) : f_(f) {}
    int32_t nextKey() override {
        if (!f_.frame_) return -1;
        return f_.readKey(0);
    }
    void showField(const std::string& text, size_t at, size_t& offset, size_t width) override {
        f_.drawField(text, at, offset, width);
    }
    void beep() override { wxBell(); }
    void modeChanged(bool insert) override {
        f_.status_.mode = insert ? "INSERT" : "OVER";
        f_.showStatus();
        f_.changed();
    }

  private:
    WindowFrontEnd& f_;
};

bool WindowFrontEnd::open() {
    if (!wxTheApp) return false;
    (void)platform::environmentValue("VX_WINDOW_SNAPSHOT", snapshotPath_);
    // The size and place of the last session, else a panel of cells in a 14-point font.
    wxConfigBase* config = wxConfigBase::Get();
    wxPoint at = wxDefaultPosition;
    wxSize size = wxDefaultSize;
    long x = 0, y = 0, w = 0, h = 0;
    if (config && config->Read("/Window/X", &x) && config->Read("/Window/Y", &y) &&
        config->Read("/Window/Width", &w) && config->Read("/Window/Height", &h) && w >= 200 &&
        h >= 100 && w <= 10000 && h <= 10000) {
        at = wxPoint(static_cast<int>(x), static_cast<int>(y));
        size = wxSize(static_cast<int>(w), static_cast<int>(h));
    }
    frame_ = new vxMainFrame(*this, at, size);
    paints_ = 0;
    frame_->text()->setPainted(
        [](void* self) {
            auto* f = static_cast<WindowFrontEnd*>(self);
            ++f->paints_;
            if (f->paints_ == 1)
                f->writeSnapshot();  // the first drawn window, for tests and benchmarks
        },
        this);
    native_.setPanel(frame_->text());
    frame_->text()->setResized(
        [](void* self) {
            auto* f = static_cast<WindowFrontEnd*>(self);
            f->native_.layout(f->controls_, f->model_);
        },
        this);
    if (size == wxDefaultSize) frame_->SetClientSize(frame_->text()->cellsSize(14));
    model_.reset();
    status_ = StatusParts{};
    bottomFresh_ = false;
    placeCursor(kFieldRow, 0);
    frame_->Show();
    frame_->Raise();
    frame_->text()->SetFocus();
    wxTheApp->SetTopWindow(frame_);
    writeLine(kFrontEndHint);
    showStatus();
    return true;
}

void WindowFrontEnd::close() {
    if (!frame_) return;
    toolButtons_.clear();
    saveGeometry();
    vxMainFrame* frame = frame_;
    frame_ = nullptr;
    native_.setPanel(nullptr);
    frame->Destroy();
    dispatchPending();
}

void WindowFrontEnd::saveGeometry() {
    wxConfigBase* config = wxConfigBase::Get();
    if (!config || !frame_ || frame_->IsIconized() || frame_->IsMaximized()) return;
    const wxRect r = frame_->GetRect();
    config->Write("/Window/X", static_cast<long>(r.x));
    config->Write("/Window/Y", static_cast<long>(r.y));
    config->Write("/Window/Width", static_cast<long>(r.width));
    config->Write("/Window/Height", static_cast<long>(r.height));
    config->Flush();
}

bool WindowFrontEnd::closing() {
    if (!canClose_) {
        wxBell();
        return false;
    }
    // The interpreter side ends the session (and the process) when it agrees; it answers when
    // it does not.
    int32_t answer = 0;
    if (CallFunctionRemote(EXITREQUESTCALL, ORIGIN, {rpInt(0)}) == 0)
        (void)ReceiveFunctionRemote(EXITREQUESTRET, {roInt(&answer)});
    return false;
}

void WindowFrontEnd::writeLine(std::string_view text) {
    placeCursor(kFieldRow, writeConsoleText(model_, text, bottomFresh_));
    changed();
}

void WindowFrontEnd::statusText(int32_t field, std::string_view text) {
    status_.setText(field, text);
    showStatus();
}

void WindowFrontEnd::showStatus() {
    if (frame_) {
        wxStatusBar* bar = frame_->GetStatusBar();
        // The error with its words stays beside the run status until a later line is accepted.
        const std::string parts[kPartCount] = {status_.status, status_.shown(status_.message),
                                               status_.rowColumn, status_.mode};
        for (int i = 0; i < kPartCount; ++i) {
            const wxString value = wxString::From8BitData(parts[i].data(), parts[i].size());
            if (bar->GetStatusText(i) != value) bar->SetStatusText(value, i);
        }
    }
    writeSnapshot();
}

void WindowFrontEnd::drawField(const std::string& text, size_t at, size_t& offset, size_t width) {
    int y = 0, x = 0;
    (void)showInputField(model_, place_, text, at, offset, width, y, x);
    placeCursor(y, x);
    changed();
}

int32_t WindowFrontEnd::readLine(std::string& line, size_t max, int32_t purpose,
                                 std::string_view preset, bool selected) {
    line.clear();
    if (!frame_) return kInputEnded;
    // A place in a window holds for this one line of an input statement.
    const InputPlace place = purpose == kInputStatement ? place_ : InputPlace{};
    place_ = place;
    readingCommand_ = purpose == kInputCommand;
    if (place_.window < 0 && !bottomFresh_) model_.newBottomRow();
    bottomFresh_ = false;
    size_t width = max < static_cast<size_t>(kColumns) ? std::max<size_t>(max, 1) : kColumns;
    if (place_.window >= 0) width = std::min<size_t>(width, static_cast<size_t>(place_.width));
    std::string text;
    Editing editing(*this);
    const int32_t result =
        LineEditor::edit(editing, text, preset, selected, max, width, purpose, recall_, insert_);
    if (place_.window >= 0) {
        place_ = InputPlace{};  // in a window the program shows the finished line itself
    } else {
        // The finished line stays as typed, and the Enter moves it up at once.
        model_.setBottomRow(std::string_view(text).substr(0, kColumns), true);
        if (result == kInputHelp) {
            bottomFresh_ = true;
        } else if (result != kInputEnded) {
            model_.newBottomRow();
            bottomFresh_ = true;
        }
    }
    status_.mode.clear();
    readingCommand_ = false;
    placeCursor(kFieldRow,
                bottomFresh_ ? 0 : static_cast<int>(std::min<size_t>(text.size(), kColumns)));
    showStatus();
    changed();
    if (result == kInputEnded) return result;
    if (purpose == kInputCommand && result == kInputLine)
        recall_.remember(text, static_cast<size_t>(std::max(configLimits().maxRecall, 0)));
    line = std::move(text);
    return result;
}

int32_t WindowFrontEnd::screenAction(const ScreenRequest& r) {
    const int row = r.position >> 8, column = r.position & 0xFF;
    switch (r.action) {
        case kScreenBeep: wxBell(); return 0;
        case kScreenShutdown: close(); return 0;
        case kScreenInputPlace:
            if (!model_.isOpen(r.window) || r.a < 1) return 0;
            place_ = InputPlace{r.window, row, column, r.a};
            return 0;
        case kScreenMousePlace: return mousePlace(model_, r.window);
        case kScreenWindowLook: return windowLook(r.window, r.text);
        case kScreenWindowPicture: {
            const wxImage image = decodeImage(r.text);
            if (!image.IsOk()) return kErrBadPicture;
            if (frame_ && model_.isOpen(r.window))
                frame_->text()->setWindowPicture(r.window, image);
            return 0;
        }
        case kScreenOpenWindow:
        case kScreenCloseFile:
            // A window opened again, or closed, loses its look.
            if (frame_) frame_->text()->dropWindowLook(r.window);
            native_.setWindowFonts(r.window, WindowLook{});
            if (std::erase_if(buttonRows_, [&r](const auto& w) { return w.first == r.window; }))
                setButtons(buttonLists_);
            break;
        case kScreenSuspend:
        case kScreenResume: return 0;  // the window stays while another program runs
        case kScreenWindowLine:
            if (r.window == 0) {
                writeLine(r.text);
                return 0;
            }
            break;
        default: break;
    }
    bool handled = false;
    int y = cursorRow_, x = cursorColumn_;
    const int result = applyScreenRequest(model_, r, handled, y, x);
    if (!handled || result != 0) return result;
    placeCursor(y, x);
    changed();
    return 0;
}

int32_t WindowFrontEnd::windowLook(int32_t window, std::string_view keywords) {
    if (!frame_ || !model_.isOpen(window)) return 0;
    WindowLook look;
    if (int err = parseWindowLook(keywords, look)) return err;
    // The window's text in its face and size, its widgets in theirs.
    frame_->text()->setWindowFace(window, wxString::FromUTF8(look.text.face), look.text.points);
    native_.setWindowFonts(window, look);
    if (look.buttonRows > 0) {  // the tool bar in as many rows while the window is open
        buttonRows_.push_back({window, look.buttonRows});
        setButtons(buttonLists_);
    }
    if (look.maximize) {
        // The display's work area, also where no window manager maximizes.
        if (!frame_->IsMaximized() && !maximized_) restored_ = frame_->GetRect();
        maximized_ = true;
        const int display = wxDisplay::GetFromWindow(frame_);
        frame_->SetSize(wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display))
                            .GetClientArea());
        frame_->Maximize(true);
    } else if (look.restore) {
        frame_->Maximize(false);
        if (maximized_) frame_->SetSize(restored_);
        maximized_ = false;
    }
    if ((look.cellWidth > 0 || look.cellHeight > 0) && !maximized_) {
        // Cells as near the size asked as the console's font makes them (a dimension not given
        // does not bound them): the main window takes the size of the whole console in that font.
        TextWin* text = frame_->text();
        const int points = text->pointsForCell(look.cellWidth > 0 ? look.cellWidth : 1000,
                                               look.cellHeight > 0 ? look.cellHeight : 1000);
        frame_->SetClientSize(text->cellsSize(points));
    }
    return 0;
}

int32_t WindowFrontEnd::fatalMessage(std::string_view text) {
    const std::string line = std::string(text) + "\n";
    (void)platform::writeAll(platform::kStderr, line.data(), line.size());
    if (frame_) {
        wxMessageDialog dialog(frame_, wxString::From8BitData(text.data(), text.size()), "Veltrix!",
                               wxOK | wxICON_ERROR);
        dialog.ShowModal();
    }
    return 0;
}

std::string WindowFrontEnd::showHelp(std::string_view title, std::string_view text) {
    if (!frame_) return {};
    // The topic in a dialog of its own, in the console's font, until it is closed.
    wxDialog dialog(frame_, wxID_ANY, wxString::From8BitData(title.data(), title.size()),
                    wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    auto* body = new wxTextCtrl(&dialog, wxID_ANY, wxString::From8BitData(text.data(), text.size()),
                                wxDefaultPosition, wxDefaultSize,
                                wxTE_MULTILINE | wxTE_READONLY | wxHSCROLL);
    body->SetFont(frame_->text()->cellFont());
    body->SetInsertionPoint(0);  // the topic from its start
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(body, 1, wxEXPAND | wxALL, 4);
    sizer->Add(dialog.CreateButtonSizer(wxOK), 0, wxEXPAND | wxALL, 4);
    dialog.SetSizer(sizer);
    dialog.SetSize(frame_->GetSize());
    dialog.Bind(wxEVT_SHOW, [body](wxShowEvent& e) {
        body->ShowPosition(0);
        e.Skip();
    });
    dialog.ShowModal();
    frame_->text()->SetFocus();
    return {};
}

int32_t WindowFrontEnd::messageBox(std::string_view prompt, std::string_view title, BoxButtons kind,
                                   BoxIcon icon) {
    const std::vector<BoxButton> set = boxButtons(kind);
    const int32_t escape = boxEscape(kind);
    if (!frame_) return escape ? escape : set.front().result;
    // A dialog of native controls: the icon, the prompt, a row of buttons (the first the
    // default); a button's first letter presses it too, Escape closes the box where it may.
    wxDialog dialog(
        frame_, wxID_ANY,
        title.empty() ? wxString("Veltrix!") : wxString::From8BitData(title.data(), title.size()));
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    const wxArtID art = icon == BoxIcon::Information ? wxART_INFORMATION
                        : icon == BoxIcon::Warning   ? wxART_WARNING
                        : icon == BoxIcon::Question  ? wxART_QUESTION
                        : icon == BoxIcon::Error     ? wxART_ERROR
                                                     : wxArtID();
    if (!art.empty())
        top->Add(
            new wxStaticBitmap(&dialog, wxID_ANY, wxArtProvider::GetBitmap(art, wxART_MESSAGE_BOX)),
            0, wxALL, 10);
    top->Add(
        new wxStaticText(&dialog, wxID_ANY, wxString::From8BitData(prompt.data(), prompt.size())),
        1, wxALL | wxALIGN_CENTER_VERTICAL, 10);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    const int base = wxID_HIGHEST + 100;
    wxButton* first = nullptr;
    for (const BoxButton& b : set) {
        auto* button = new wxButton(&dialog, base + b.result, b.label);
        button->Bind(wxEVT_BUTTON, [&dialog](wxCommandEvent& e) { dialog.EndModal(e.GetId()); });
        row->Add(button, 0, wxALL, 5);
        if (!first) first = button;
    }
    dialog.SetEscapeId(escape ? base + escape : wxID_NONE);
    dialog.SetAffirmativeId(base + set.front().result);
    dialog.Bind(wxEVT_CHAR_HOOK, [&](wxKeyEvent& e) {
        const int key = e.GetKeyCode();
        if (!e.HasAnyModifiers() && key >= 'A' && key <= 'Z')
            for (const BoxButton& b : set)
                if (b.label[0] == key) {
                    dialog.EndModal(base + b.result);
                    return;
                }
        e.Skip();
    });
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(top, 1, wxEXPAND);
    all->Add(row, 0, wxALIGN_CENTER | wxBOTTOM, 5);
    dialog.SetSizerAndFit(all);
    dialog.CentreOnParent();
    first->SetDefault();
    first->SetFocus();
    const int id = dialog.ShowModal();
    frame_->text()->SetFocus();
    if (id >= base + kBoxOk && id <= base + kBoxNo) return id - base;
    return escape ? escape : set.front().result;
}

// The menu bar of the items: depth 0 entries of the bar, deeper ones lists and submenus below
// the last entry one level up.  Choosing an item records it and queues the event key.
void WindowFrontEnd::setMenu(MenuPart part, const std::vector<std::vector<std::string>>& lists) {
    if (part == MenuPart::Buttons) {
        setButtons(lists);
        return;
    }
    menu_.set(part, lists);
    if (!frame_) return;
    auto* bar = new wxMenuBar;
    std::vector<wxMenu*> open;  // the menu of each depth, from depth 1 on
    const std::vector<MenuItem>& items = menu_.items();
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItem& m = items[i];
        const wxString text = wxString::From8BitData(m.text.data(), m.text.size());
        const int id = kFirstMenuId + static_cast<int>(i);
        const bool parent = i + 1 < items.size() && items[i + 1].depth > m.depth;
        if (m.depth == 0) {
            auto* menu = new wxMenu;
            bar->Append(menu, text);
            open.assign(1, menu);
            continue;
        }
        if (static_cast<size_t>(m.depth) > open.size()) continue;  // no entry above it
        wxMenu* into = open[static_cast<size_t>(m.depth) - 1];
        open.resize(static_cast<size_t>(m.depth));
        if (m.separator()) {
            into->AppendSeparator();
        } else if (parent) {
            auto* sub = new wxMenu;
            into->AppendSubMenu(sub, text);
            open.push_back(sub);
        } else {
            wxMenuItem* item =
                into->Append(id, text, wxString(), m.checked() ? wxITEM_CHECK : wxITEM_NORMAL);
            if (m.checked()) item->Check(true);
            item->Enable(!m.grayed());
        }
    }
    wxMenuBar* old = frame_->GetMenuBar();
    frame_->SetMenuBar(items.empty() ? nullptr : bar);
    if (items.empty()) delete bar;
    delete old;
    frame_->Unbind(wxEVT_MENU, &WindowFrontEnd::onMenu, this);
    frame_->Bind(wxEVT_MENU, &WindowFrontEnd::onMenu, this, kFirstMenuId,
                 kFirstMenuId + static_cast<int>(items.size()));
    writeSnapshot();
}

// The tool bar of DISPLAY BUTTONS: one button per caption, each giving its key (the function
// key of its number, F1 for the first when no keys are given); no captions, no tool bar.
void WindowFrontEnd::setButtons(const std::vector<std::vector<std::string>>& lists) {
    if (&lists != &buttonLists_) buttonLists_ = lists;
    if (!frame_) return;
    toolButtons_.clear();
    if (wxToolBar* old = frame_->GetToolBar()) {
        frame_->SetToolBar(nullptr);
        old->Destroy();
    }
    const std::vector<std::string> none;
    const std::vector<std::string>& captions = lists.empty() ? none : lists[0];
    if (!captions.empty()) {
        wxToolBar* bar = frame_->CreateToolBar(wxTB_HORIZONTAL | wxTB_NOICONS | wxTB_TEXT);
        // More than one row: the buttons stand in a grid of that many rows on the tool bar.
        const int rows = buttonRows_.empty() ? 1 : buttonRows_.back().second;
        wxControl* block = nullptr;  // the grid's holder, itself a control of the bar
        wxGridSizer* grid = nullptr;
        if (rows > 1) {
            block = new wxControl(bar, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE);
            const int perRow = (static_cast<int>(captions.size()) + rows - 1) / rows;
            grid = new wxGridSizer(0, perRow, 2, 2);
            block->SetSizer(grid);
        }
        for (size_t i = 0; i < captions.size(); ++i) {
            long n = static_cast<long>(i) + 1;
            if (lists.size() > 1 && i < lists[1].size()) {
                const std::string& text = lists[1][i];
                char* end = nullptr;
                n = std::strtol(text.c_str(), &end, 10);
                if (end == text.c_str() || *end != '\0') n = 0;  // no whole number: no key
            }
            const bool key = (n >= 1 && n <= 512) || (n >= 1000 && n <= 10000);
            auto* button =
                new wxButton(block ? static_cast<wxWindow*>(block) : bar, wxID_ANY,
                             wxString::From8BitData(captions[i].data(), captions[i].size()));
            const int32_t code = key ? static_cast<int32_t>(n) * 256 : 0;
            button->Enable(key);
            button->Bind(wxEVT_BUTTON, [this, code](wxCommandEvent&) {
                (void)enqueueKey(code);
                if (frame_) frame_->text()->SetFocus();
            });
            if (grid)
                grid->Add(button, 0, wxEXPAND);
            else
                bar->AddControl(button);
            toolButtons_.push_back({button, code});
        }
        if (block) {
            block->Fit();
            bar->AddControl(block);
        }
        bar->Realize();
    }
    frame_->SendSizeEvent();
    writeSnapshot();
}

void WindowFrontEnd::onMenu(wxCommandEvent& e) {
    menu_.choose(e.GetId() - kFirstMenuId + 1);
    (void)enqueueKey(keys::kEvent);
    writeSnapshot();
}

int32_t WindowFrontEnd::controlOutput(const ControlOutput& out) {
    if (int err = controls_.output(out)) return err;
    for (const Control* c : controls_.shownWith(out.place)) native_.show(*c, model_);
    writeSnapshot();
    return 0;
}

void WindowFrontEnd::controlEdit(const ControlPlace& place, int32_t wait, bool singleSelect,
                                 int32_t& status, int32_t& exitCode) {
    status = 0;
    exitCode = 0;
    Control* c = controls_.find(place);
    if (!c) return;  // nothing to work: as Enter
    if (!frame_) {
        status = kInputEnded;
        return;
    }
    native_.edit(controls_, *c, model_, wait, singleSelect, status, exitCode);
    writeSnapshot();
}

void WindowFrontEnd::writeSnapshot() {
    if (snapshotPath_.empty()) return;
    std::string out;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const ScreenCell cell = model_.composite(r, c);
            char ch = static_cast<char>(cell.ch);
            switch (cell.line) {
                case LinePart::Horizontal:
                    ch = cell.border == BorderKind::Double ? '=' : '-';
                    break;
                case LinePart::Vertical: ch = '|'; break;
                case LinePart::None: break;
                default: ch = '+'; break;
            }
            out += static_cast<unsigned char>(ch) < 32 ? ' ' : ch;
        }
        out += '\n';
    }
    out += "status=" + status_.status + "\nmessage=" + status_.shown(status_.message) +
           "\nrowcolumn=" + status_.rowColumn + "\nmode=" + status_.mode +
           "\npainted=" + std::to_string(paints_) + "\ncursor=" + std::to_string(cursorRow_) + "," +
           std::to_string(cursorColumn_) + "\ntitle=" + title_ + "\n";
    if (frame_) {
        const wxRect r = frame_->GetScreenRect();
        out += "frame=" + std::to_string(r.x) + "," + std::to_string(r.y) + "," +
               std::to_string(r.width) + "," + std::to_string(r.height) +
               "\nfont=" + std::to_string(frame_->text()->cellFont().GetPointSize()) + "\n";
        // The first cell on the screen and a cell's size: where a click on a cell goes.
        const wxRect cell = frame_->text()->cellRect(0, 0, 1, 1);
        const wxPoint at = frame_->text()->ClientToScreen(cell.GetTopLeft());
        out += "cells=" + std::to_string(at.x) + "," + std::to_string(at.y) + "," +
               std::to_string(cell.width) + "," + std::to_string(cell.height) + "\n";
        out += native_.describe(controls_);
        out += frame_->text()->describeLooks();
        if (frame_->IsMaximized()) out += "maximized=1\n";
        if (!menu_.items().empty()) {
            out += "menu=";
            for (const MenuItem& m : menu_.items())
                out += std::string(static_cast<size_t>(m.depth), '.') + m.text + "|";
            out += "\nmenuchosen=" + std::to_string(menu_.selected()) + "\n";
        }
        for (const auto& [button, code] : toolButtons_)
            out += "toolbutton=" + std::string(button->GetLabel().To8BitData()) +
                   " key=" + std::to_string(code) + " at=" + screenRectText(button) + "\n";
    }
    // Written beside, then renamed: a reader never sees half a snapshot.
    const std::string beside = snapshotPath_ + ".new";
    int fd = -1;
    if (platform::openFile(beside, platform::Access::kReadWrite, platform::Create::kCreateAlways,
                           fd) != 0)
        return;
    const bool written = platform::writeAll(fd, out.data(), out.size()) == 0;
    (void)platform::closeFile(fd);
    if (written) (void)platform::renameFile(beside, snapshotPath_);
}

WindowFrontEnd g_window;

}  // namespace

bool attachWindowTerminal() {
    if (!g_window.open()) return false;
    attachFrontEnd(g_window);
    (void)CallFunctionRemote(VERSIONCHECK, ORIGIN, {rpText(kVersionText)});
    return true;
}

}  // namespace vxs
