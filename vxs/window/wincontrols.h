// The window's native controls: each GRID, LIST, COMBO, CHECK and RADIO of the terminal side's
// model (screen/controls.h) shown as a widget of its own over its cells of the character panel
// (a grid, a report list, a combo box, a check box, a radio button), and the operator's turn on
// one, which ends with the exit code of the key that ended it, as on the character screen.
// Invariants: widgets_ holds one widget per control of the model that has been shown, placed
// over the control's cells at the panel's current font; a widget's contents are the model's
// as the last show() or edit() left them.
#pragma once

#include <wx/image.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "vxs/screen/controls.h"
#include "vxs/screen/windowlook.h"

class wxCommandEvent;
class wxMouseEvent;
class wxRadioButton;
class wxWindow;

namespace vxs {

class ScreenModel;
class TextWin;

// Where a widget stands on the screen, "x,y,width,height" (the snapshot file's places).
std::string screenRectText(const wxWindow* w);
// A picture's bytes (PNG, JPEG, GIF, BMP) decoded; an image that is not Ok when they cannot be.
wxImage decodeImage(std::string_view bytes);

class NativeControls {
  public:
    NativeControls();
    ~NativeControls();
    NativeControls(const NativeControls&) = delete;
    NativeControls& operator=(const NativeControls&) = delete;

    // The panel the widgets stand on (null when the window is gone: the widgets went with it).
    void setPanel(TextWin* panel);
    // Shows `c` as its widget, creating it or bringing it up to date with the model; `screen`
    // gives the control's place on the console.
    void show(const Control& c, const ScreenModel& screen);
    // Every widget to its cells again (the panel took a new size).
    void layout(const ControlTable& table, const ScreenModel& screen);
    // The widgets of a window go (the model dropped its controls).
    void dropWindow(int32_t window);
    // The fonts a window's look gives the widgets that stand in it from now on: its text font
    // for LIST and GRID rows and a COMBO's text, its labels font for CHECK and RADIO captions and
    // a GRID's headers, its buttons font for buttons and hot text.  A font not given leaves the
    // widget's own; a look without fonts forgets the window's.
    void setWindowFonts(int32_t window, const WindowLook& look);
    // Lets the operator work the widget of `c` until a key ends it, or double-click on a row;
    // the model then takes what the widget holds.  `status` and `exitCode` as
    // FrontEnd::controlEdit gives them.
    void edit(ControlTable& table, Control& c, const ScreenModel& screen, int32_t wait,
              bool singleSelect, int32_t& status, int32_t& exitCode);
    // The model takes what the widget of `c` holds (the operator may have clicked it while
    // another field was worked).  `singleSelect` keeps one row marked.
    void take(ControlTable& table, Control& c, bool singleSelect);
    // Whether the operator is working a widget now (edit() is running).
    static bool editing();
    // A click on the console's cell at `row`, `column` (0-based): while a widget is worked it
    // ends that turn (edit() gives kExitMouseField and the click is the last one read), else it
    // is queued as a key (keys::kMouseClick) for the field editor.
    static void clicked(int row, int column);
    // What the widgets show, one line each, for the window's snapshot file (tests).
    std::string describe(const ControlTable& table) const;

  private:
    void place(wxWindow* w, const Control& c, const ScreenModel& screen);
    // The look's font for widget `w` of `c`, when its window's look gives one.
    void applyFont(wxWindow* w, const Control& c);
    template <class W, class Make>
    W* widgetOf(const ControlPlace& at, wxWindow*& w, bool keys, Make make);
    // What was kept beside the widget `w` of `at` (its key, picture, radio partner) goes.
    void forget(const ControlPlace& at, wxWindow* w);
    // A button or hot text pressed: its key goes to the key queue.
    void onPress(wxCommandEvent& e);
    // A press of the mouse's first button anywhere in the application: one on a widget other
    // than the one worked is a click on the cell under it.
    void onMouseDown(wxMouseEvent& e);
    class ClickFilter;
    std::unique_ptr<ClickFilter> filter_;

    TextWin* panel_ = nullptr;
    std::map<ControlPlace, wxWindow*> widgets_;
    std::map<ControlPlace, wxRadioButton*> partners_;  // a RADIO's hidden partner
    std::map<wxWindow*, int32_t> keys_;                // the key of each button and hot text
    std::map<ControlPlace, wxImage> images_;           // each picture as decoded
    std::map<int32_t, WindowLook> looks_;              // windows whose look gives fonts
};

}  // namespace vxs
