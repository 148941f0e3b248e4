// The panel of character cells in the main window: it paints a copy of the screen model's
// composite in a fixed-pitch font whose size follows the panel's (the largest at which the
// whole console fits, centred), with the cursor as an underline bar in insert mode and a block in
// overwrite mode; and it turns the keys typed in it into the system's key codes for the key
// queue (screen/keyboard.h).
// Invariants: cells_ holds rows x columns cells (the model's composite at the last paint);
// font_ is the size chosen for the panel's current size, cellW_ x cellH_ its cell.
#pragma once

#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/gdicmn.h>
#include <wx/image.h>
#include <wx/window.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vxs/screen/screenmodel.h"

namespace vxs {

class TextWin final : public wxWindow {
  public:
    TextWin(wxWindow* parent, int rows, int columns);

    // Shows `model` (which must outlive the panel) with the cursor at a row and column of the
    // console: the panel is painted again at the next dispatch of the window's events, from
    // what the model holds then, so that a program writing many fields in a row costs one
    // paint, not one per field.
    void showScreen(const ScreenModel& model, int cursorRow, int cursorColumn, bool insert,
                    bool cursorShown);
    // The panel's size for the whole console in a font of `points`.
    wxSize cellsSize(int points);
    // The largest points whose cell fits in `width` x `height` pixels (at least the smallest).
    int pointsForCell(int width, int height);
    const wxFont& cellFont() const { return font_; }

    // The rectangle of `rows` x `columns` cells from a console row and column, in the panel.
    wxRect cellRect(int row, int column, int rows, int columns) const {
        return {originX_ + column * cellW_, originY_ + row * cellH_, columns * cellW_,
                rows * cellH_};
    }
    // The console cell under a point of the panel; false off the cells.
    bool cellAt(const wxPoint& at, int& row, int& column) const {
        if (at.x < originX_ || at.y < originY_) return false;
        column = (at.x - originX_) / cellW_;
        row = (at.y - originY_) / cellH_;
        return row < rows_ && column < columns_;
    }
    // Called after the panel took a new size (the native controls move with the cells).
    void setResized(void (*resized)(void*), void* context) {
        resized_ = resized;
        resizedContext_ = context;
    }

    // Called after each paint (the front end's snapshot counts them).
    void setPainted(void (*painted)(void*), void* context) {
        painted_ = painted;
        paintedContext_ = context;
    }

    // A window's own look in the panel: the face its cells are drawn in (empty: the panel's) at
    // `points` (0: the panel's; never larger than fits the cells), and a picture behind its
    // text, stretched over its interior and shown in the cells that keep the window's own
    // background.  Dropped when the window closes or opens again.
    void setWindowFace(int32_t window, const wxString& face, int points);
    void setWindowPicture(int32_t window, const wxImage& picture);
    void dropWindowLook(int32_t window);
    // "windowlook=N face=F points=P picture=WxH" lines of the looks set (the snapshot file's;
    // the points are those drawn at the panel's current size).
    std::string describeLooks();

    // The system's key code of a key the window reported (0 for a key that has none).
    static int32_t keyCodeOf(int wxKey, bool control, bool alt, bool shift);

  private:
    void onPaint(wxPaintEvent&);
    void onSize(wxSizeEvent&);
    void onKeyDown(wxKeyEvent&);
    void onChar(wxKeyEvent&);
    // Picks the font for the panel's size.
    void fitFont();
    wxFont fontOf(int points) const;

    struct WindowPicture {
        wxImage image;
        wxBitmap scaled;  // the image at the interior's size in the current cells
    };
    // The picture's bitmap for an interior of rows x columns in the current cells (made again
    // when the size changed).
    wxBitmap& scaledPicture(WindowPicture& p, int rows, int columns);

    int rows_, columns_;
    const ScreenModel* model_ = nullptr;
    // A window's face fitted to the cells: the largest size whose "n" and line fit a cell, each
    // glyph centred in its cell (a proportional face's wide glyphs, "M" or "W", reach a little
    // into the cells beside them, which are drawn first).
    struct WindowFace {
        wxString face;
        int points = 0;               // as asked; 0: the panel's
        int drawnAt = 0;              // the panel's points the fonts below were made for
        std::array<wxFont, 4> fonts;  // plain, bold, underlined, both
        std::array<int16_t, 256> widths{};  // each byte's glyph, in pixels
        int top = 0;                        // where a glyph's line stands in its cell
    };
    // The fonts of `f` for the panel's current font (made again when that changed).
    WindowFace& fittedFace(WindowFace& f);
    wxFont faceOf(const wxString& face, int points) const;

    std::map<int32_t, WindowFace> faces_;
    std::map<int32_t, WindowPicture> pictures_;
    std::vector<ScreenCell> cells_;
    int cursorRow_ = 0, cursorColumn_ = 0;
    bool insert_ = true, cursorShown_ = true;
    wxFont font_;
    int cellW_ = 8, cellH_ = 16;
    int originX_ = 0, originY_ = 0;
    void (*painted_)(void*) = nullptr;
    void* paintedContext_ = nullptr;
    void (*resized_)(void*) = nullptr;
    void* resizedContext_ = nullptr;
};

}  // namespace vxs
