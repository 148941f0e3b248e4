// The panel of character cells (see textwin.h).
#include "vxs/window/textwin.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/settings.h>

#include <algorithm>
#include <array>
#include <memory>

#include "vxs/screen/fields.h"
#include "vxs/screen/keyboard.h"
#include "vxs/window/wincontrols.h"

namespace vxs {

namespace {

// The console's own colours: dark text on a light page.
const wxColour kDefaultForeground(0x20, 0x20, 0x20);
const wxColour kDefaultBackground(0xFF, 0xFF, 0xF8);

// The 256 colours of the terminal numbering (terminalLook): 16 basic ones, the 6x6x6 cube and
// 24 greys.
wxColour paletteColour(int index) {
    static const unsigned char basic[16][3] = {
        {0, 0, 0},     {170, 0, 0},    {0, 170, 0},    {170, 85, 0},
        {0, 0, 170},   {170, 0, 170},  {0, 170, 170},  {170, 170, 170},
        {85, 85, 85},  {255, 85, 85},  {85, 255, 85},  {255, 255, 85},
        {85, 85, 255}, {255, 85, 255}, {85, 255, 255}, {255, 255, 255}};
    if (index < 16) return wxColour(basic[index][0], basic[index][1], basic[index][2]);
    if (index < 232) {
        const int i = index - 16;
        auto level = [](int v) { return static_cast<unsigned char>(v == 0 ? 0 : 55 + v * 40); };
        return wxColour(level(i / 36), level(i / 6 % 6), level(i % 6));
    }
    const auto grey = static_cast<unsigned char>(8 + (index - 232) * 10);
    return wxColour(grey, grey, grey);
}

wxColour rgbColour(uint32_t rgb) {
    return wxColour(static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
                    static_cast<unsigned char>(rgb));
}

struct CellLook {
    wxColour fg, bg;
    bool bold = false, underline = false;
};

CellLook lookOf(const CellAttr& attr) {
    const TerminalLook t = terminalLook(attr, 256);
    CellLook out;
    out.fg = (attr.flags & kFontFgRgb) ? rgbColour(attr.fg)
             : t.fg >= 0               ? paletteColour(t.fg)
                                       : kDefaultForeground;
    out.bg = (attr.flags & kFontBgRgb) ? rgbColour(attr.bg)
             : t.bg >= 0               ? paletteColour(t.bg)
                                       : kDefaultBackground;
    if (t.reverse) std::swap(out.fg, out.bg);
    out.bold = t.bold;
    out.underline = t.underline;
    return out;
}

// What a cell shows for a byte: control bytes as blanks; bytes above 127 as Latin-1.
wxUniChar shownChar(unsigned char c) {
    if (c < 32 || c == 127) return ' ';
    return wxUniChar(static_cast<unsigned>(c));
}

}  // namespace

TextWin::TextWin(wxWindow* parent, int rows, int columns)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS | wxBORDER_NONE),
      rows_(rows),
      columns_(columns),
      cells_(static_cast<size_t>(rows * columns)) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    font_ = fontOf(14);
    fitFont();
    Bind(wxEVT_PAINT, &TextWin::onPaint, this);
    Bind(wxEVT_SIZE, &TextWin::onSize, this);
    Bind(wxEVT_KEY_DOWN, &TextWin::onKeyDown, this);
    Bind(wxEVT_CHAR, &TextWin::onChar, this);
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) {
        SetFocus();
        // A click on a cell is a key with that cell: the field editor moves the cursor there
        // (or the control being worked is left).
        int row = 0, column = 0;
        if (cellAt(e.GetPosition(), row, column)) NativeControls::clicked(row, column);
        e.Skip();
    });
}

wxFont TextWin::fontOf(int points) const {
    wxFont font(wxFontInfo(points).Family(wxFONTFAMILY_TELETYPE).FaceName("DejaVu Sans Mono"));
    if (!font.IsOk()) font = wxFont(wxFontInfo(points).Family(wxFONTFAMILY_TELETYPE));
    return font;
}

wxFont TextWin::faceOf(const wxString& face, int points) const {
    wxFont font(wxFontInfo(points).FaceName(face));
    return font.IsOk() ? font : fontOf(points);
}

int TextWin::pointsForCell(int width, int height) {
    wxClientDC dc(this);
    int best = 6;
    // The sizes are few, so each is measured.
    for (int points = 6; points <= 72; ++points) {
        dc.SetFont(fontOf(points));
        wxCoord w = 0, h = 0;
        dc.GetTextExtent("M", &w, &h);
        if (w > width || h > height) break;
        best = points;
    }
    return best;
}

TextWin::WindowFace& TextWin::fittedFace(WindowFace& f) {
    if (f.drawnAt == font_.GetPointSize() && f.fonts[0].IsOk()) return f;
    // As large as asked, but no larger than the panel's font, and smaller while "n" or the line
    // would not fit the cell.
    wxClientDC dc(this);
    int points = f.points > 0 ? std::min(f.points, font_.GetPointSize()) : font_.GetPointSize();
    wxFont font;
    wxCoord w = 0, h = 0;
    for (;; --points) {
        font = f.face.empty() ? fontOf(points) : faceOf(f.face, points);
        dc.SetFont(font);
        dc.GetTextExtent("n", &w, &h);
        if ((w <= cellW_ && h <= cellH_) || points <= 4) break;
    }
    f.fonts = {font, font.Bold(), font.Underlined(), font.Bold().Underlined()};
    f.top = std::max(0, (cellH_ - static_cast<int>(h)) / 2);
    for (int c = 0; c < 256; ++c) {
        dc.GetTextExtent(wxString(shownChar(static_cast<unsigned char>(c))), &w, &h);
        f.widths[static_cast<size_t>(c)] = static_cast<int16_t>(std::min<wxCoord>(w, 1000));
    }
    f.drawnAt = font_.GetPointSize();
    return f;
}

wxSize TextWin::cellsSize(int points) {
    wxClientDC dc(this);
    dc.SetFont(fontOf(points));
    wxCoord w = 0, h = 0;
    dc.GetTextExtent("M", &w, &h);
    return wxSize(static_cast<int>(w) * columns_, static_cast<int>(h) * rows_);
}

void TextWin::fitFont() {
    const wxSize panel = GetClientSize();
    // The largest size whose cells fit (a panel not yet laid out: 14 points).
    font_ = fontOf(panel.x > 0 && panel.y > 0 ? pointsForCell(panel.x / columns_, panel.y / rows_)
                                              : 14);
    wxClientDC dc(this);
    dc.SetFont(font_);
    wxCoord w = 0, h = 0;
    dc.GetTextExtent("M", &w, &h);
    cellW_ = std::max<int>(1, static_cast<int>(w));
    cellH_ = std::max<int>(1, static_cast<int>(h));
    originX_ = std::max(0, (panel.x - cellW_ * columns_) / 2);
    originY_ = std::max(0, (panel.y - cellH_ * rows_) / 2);
}

void TextWin::showScreen(const ScreenModel& model, int cursorRow, int cursorColumn, bool insert,
                         bool cursorShown) {
    model_ = &model;
    cursorRow_ = cursorRow;
    cursorColumn_ = cursorColumn;
    insert_ = insert;
    cursorShown_ = cursorShown;
    Refresh(false);
}

void TextWin::onSize(wxSizeEvent& e) {
    fitFont();
    Refresh(false);
    if (resized_) resized_(resizedContext_);
    e.Skip();
}

void TextWin::onPaint(wxPaintEvent&) {
    if (model_) model_->render(cells_);
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(kDefaultBackground));
    dc.Clear();
    dc.SetFont(font_);
    // The fonts of a cell: plain, bold, underlined, both; in the panel's face or a window's.
    using Fonts = std::array<wxFont, 4>;
    const auto fontsOf = [](const wxFont& f) {
        return Fonts{f, f.Bold(), f.Underlined(), f.Bold().Underlined()};
    };
    const Fonts panelFonts = fontsOf(font_);
    std::map<int32_t, const WindowFace*> windowFonts;
    for (auto& [window, face] : faces_) windowFonts[window] = &fittedFace(face);
    // The pictures at their cells' size, to copy a cell's part from.
    std::map<int32_t, std::unique_ptr<wxMemoryDC>> pictureDCs;
    for (auto& [window, picture] : pictures_) {
        int height = 0, width = 0;
        if (model_ && model_->interiorSize(window, height, width) && picture.image.IsOk())
            pictureDCs[window] =
                std::make_unique<wxMemoryDC>(scaledPicture(picture, height, width));
    }
    const bool looks = model_ && (!windowFonts.empty() || !pictureDCs.empty());
    struct Glyph {
        const wxFont* font;
        wxColour fg;
        unsigned char ch;
        wxPoint at;
    };
    std::vector<Glyph> faceGlyphs;  // the text of windows with a face of their own
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            const ScreenCell& cell = cells_[static_cast<size_t>(r * columns_ + c)];
            const CellLook look = lookOf(cell.attr);
            const int x = originX_ + c * cellW_, y = originY_ + r * cellH_;
            int32_t window = -1;
            int inRow = -1, inColumn = -1;
            if (looks) window = model_->windowAt(r, c, inRow, inColumn);
            const auto pictureAt = pictureDCs.find(window);
            const CellAttr* own =
                pictureAt != pictureDCs.end() && inRow >= 0 && cell.line == LinePart::None
                    ? model_->defaultAttr(window)
                    : nullptr;
            if (own && lookOf(*own).bg == look.bg) {
                // The window's picture shows through the cells that keep its background.
                dc.Blit(x, y, cellW_, cellH_, pictureAt->second.get(), inColumn * cellW_,
                        inRow * cellH_);
            } else {
                dc.SetPen(*wxTRANSPARENT_PEN);
                dc.SetBrush(wxBrush(look.bg));
                dc.DrawRectangle(x, y, cellW_, cellH_);
            }
            if (cell.line != LinePart::None) {
                // Border lines through the cell's middle; a double border as two lines.
                dc.SetPen(wxPen(look.fg, 1));
                const int mx = x + cellW_ / 2, my = y + cellH_ / 2;
                const int gap = cell.border == BorderKind::Double ? 2 : 0;
                for (int k = -gap; k <= gap; k += gap ? 2 * gap : 1) {
                    switch (cell.line) {
                        case LinePart::Horizontal:
                            dc.DrawLine(x, my + k, x + cellW_, my + k);
                            break;
                        case LinePart::Vertical: dc.DrawLine(mx + k, y, mx + k, y + cellH_); break;
                        case LinePart::TopLeft:
                            dc.DrawLine(mx + k, my + k, x + cellW_, my + k);
                            dc.DrawLine(mx + k, my + k, mx + k, y + cellH_);
                            break;
                        case LinePart::TopRight:
                            dc.DrawLine(x, my + k, mx - k, my + k);
                            dc.DrawLine(mx - k, my + k, mx - k, y + cellH_);
                            break;
                        case LinePart::BottomLeft:
                            dc.DrawLine(mx + k, y, mx + k, my - k);
                            dc.DrawLine(mx + k, my - k, x + cellW_, my - k);
                            break;
                        case LinePart::BottomRight:
                            dc.DrawLine(mx - k, y, mx - k, my - k);
                            dc.DrawLine(x, my - k, mx - k + 1, my - k);
                            break;
                        case LinePart::None: break;
                    }
                    if (!gap) break;
                }
                continue;
            }
            if (cell.ch == ' ' && !look.underline) continue;
            const auto faceAt = windowFonts.find(window);
            const size_t style = (look.bold ? 1 : 0) + (look.underline ? 2 : 0);
            if (faceAt != windowFonts.end()) {
                // After every cell's background: the glyph may reach beyond its cell.
                const WindowFace& face = *faceAt->second;
                const int left = (cellW_ - face.widths[cell.ch]) / 2;
                faceGlyphs.push_back(
                    {&face.fonts[style], look.fg, cell.ch, wxPoint(x + left, y + face.top)});
                continue;
            }
            dc.SetFont(panelFonts[style]);
            dc.SetTextForeground(look.fg);
            dc.DrawText(wxString(shownChar(cell.ch)), x, y);
        }
    }
    for (const Glyph& g : faceGlyphs) {
        dc.SetFont(*g.font);
        dc.SetTextForeground(g.fg);
        dc.DrawText(wxString(shownChar(g.ch)), g.at);
    }
    if (cursorShown_ && cursorRow_ >= 0 && cursorRow_ < rows_ && cursorColumn_ >= 0 &&
        cursorColumn_ < columns_) {
        // Insert: a bar under the cell; overwrite: the whole cell inverted.
        const int x = originX_ + cursorColumn_ * cellW_, y = originY_ + cursorRow_ * cellH_;
        dc.SetPen(*wxTRANSPARENT_PEN);
        if (insert_) {
            dc.SetBrush(wxBrush(kDefaultForeground));
            const int bar = std::max(2, cellH_ / 7);
            dc.DrawRectangle(x, y + cellH_ - bar, cellW_, bar);
        } else {
            dc.SetLogicalFunction(wxINVERT);
            dc.SetBrush(*wxBLACK_BRUSH);
            dc.DrawRectangle(x, y, cellW_, cellH_);
            dc.SetLogicalFunction(wxCOPY);
        }
    }
    if (painted_) painted_(paintedContext_);
}

void TextWin::setWindowFace(int32_t window, const wxString& face, int points) {
    if (face.empty() && points == 0)
        faces_.erase(window);
    else {
        WindowFace& f = faces_[window];
        f = WindowFace();
        f.face = face;
        f.points = points;
    }
    Refresh(false);
}

void TextWin::setWindowPicture(int32_t window, const wxImage& picture) {
    WindowPicture& p = pictures_[window];
    p.image = picture;
    p.scaled = wxBitmap();
    Refresh(false);
}

void TextWin::dropWindowLook(int32_t window) {
    if (faces_.erase(window) + pictures_.erase(window)) Refresh(false);
}

wxBitmap& TextWin::scaledPicture(WindowPicture& p, int rows, int columns) {
    const wxSize size(std::max(columns, 1) * cellW_, std::max(rows, 1) * cellH_);
    if (!p.scaled.IsOk() || p.scaled.GetSize() != size)
        p.scaled = wxBitmap(p.image.Scale(size.x, size.y, wxIMAGE_QUALITY_BILINEAR));
    return p.scaled;
}

std::string TextWin::describeLooks() {
    std::string out;
    std::map<int32_t, std::string> lines;
    for (auto& [window, face] : faces_)
        lines[window] += " face=" + std::string(face.face.utf8_str()) +
                         " points=" + std::to_string(fittedFace(face).fonts[0].GetPointSize());
    for (const auto& [window, p] : pictures_)
        lines[window] += " picture=" + std::to_string(p.image.IsOk() ? p.image.GetWidth() : 0) +
                         "x" + std::to_string(p.image.IsOk() ? p.image.GetHeight() : 0);
    for (const auto& [window, text] : lines)
        out += "windowlook=" + std::to_string(window) + text + "\n";
    return out;
}

int32_t TextWin::keyCodeOf(int key, bool control, bool alt, bool shift) {
    if (key >= WXK_F1 && key <= WXK_F12) return keys::functionKey(key - WXK_F1 + 1);
    switch (key) {
        case WXK_UP:
        case WXK_NUMPAD_UP: return keys::kUp;
        case WXK_DOWN:
        case WXK_NUMPAD_DOWN: return keys::kDown;
        case WXK_LEFT:
        case WXK_NUMPAD_LEFT: return keys::kLeft;
        case WXK_RIGHT:
        case WXK_NUMPAD_RIGHT: return keys::kRight;
        case WXK_HOME:
        case WXK_NUMPAD_HOME: return keys::kHome;
        case WXK_END:
        case WXK_NUMPAD_END: return keys::kEnd;
        case WXK_PAGEUP:
        case WXK_NUMPAD_PAGEUP: return keys::kPageUp;
        case WXK_PAGEDOWN:
        case WXK_NUMPAD_PAGEDOWN: return keys::kPageDown;
        case WXK_INSERT:
        case WXK_NUMPAD_INSERT: return keys::kInsert;
        case WXK_DELETE:
        case WXK_NUMPAD_DELETE: return keys::kDelete;
        case WXK_BACK: return keys::kBackspace;
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER: return keys::kEnter;
        case WXK_TAB: return shift ? keys::kBackTab : keys::kTab;
        case WXK_ESCAPE: return keys::kEscapeTyped;
        case WXK_PAUSE:
        case WXK_CANCEL: return keys::kAttention;  // Break
        default: break;
    }
    // Ctrl with a letter: its control code; Ctrl-C is the interrupt, the attention key.
    if (control && !alt && key >= 'A' && key <= 'Z') {
        if (key == 'C') return keys::kAttention;
        return key - 'A' + 1;
    }
    return 0;
}

void TextWin::onKeyDown(wxKeyEvent& e) {
    const int32_t code = keyCodeOf(e.GetKeyCode(), e.RawControlDown(), e.AltDown(), e.ShiftDown());
    if (code == 0) {
        e.Skip();  // a character: it arrives as wxEVT_CHAR
        return;
    }
    (void)enqueueKey(code);
}

void TextWin::onChar(wxKeyEvent& e) {
    // Alt with a letter belongs to the window: it opens the menu bar's entry of that letter.
    if (e.AltDown() && !e.RawControlDown()) {
        e.Skip();
        return;
    }
    const wxChar ch = e.GetUnicodeKey();
    if (ch == WXK_NONE || ch < 32 || ch > 255 || ch == 127) return;
    (void)enqueueKey(static_cast<int32_t>(ch));
}

}  // namespace vxs
