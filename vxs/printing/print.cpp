// Native printing (see print.h): the page state of a job and its drawing through cairo's PDF
// surface.  The state: the position (x, line top), pitch, line spacing, width mode, styles,
// colour, font, and the open box or shade; a form feed or a full page starts the next page.
#include "vxs/printing/print.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/base/logger.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/printing/printer.h"

namespace vxs {

namespace {

constexpr double kRight = kPageWidth - kPageMargin;
constexpr double kBottom = kPageHeight - kPageMargin;

struct PageState {
    double x = kPageMargin, top = kPageMargin;  // current position: x and the line's top
    int cpi = 10, lpi = 6;
    int width = 0;  // 0 normal, 1 condensed, 2 double
    bool italic = false, bold = false, doubleStrike = false, underline = false, overline = false;
    int weight = 0;  // PCL stroke weight
    int color = 0;
    std::string family = "monospace";
    int align = 0;  // 0 left, 1 centre, 2 right: for the next text
    int pageLines = 0;
    // The open box or shade: its top, and how far right anything went inside it.
    bool box = false, shade = false;
    double boxTop = 0, boxRight = 0;

    double cell() const {
        double w = 72.0 / cpi;
        if (width == 1) w = 72.0 / (cpi * 12.0 / 7.0);  // condensed: 10 cpi becomes 17.1
        if (width == 2) w *= 2;
        return w;
    }
    double lineHeight() const { return 72.0 / lpi; }
};

// Printed bytes are ISO 8859-1 characters; cairo takes UTF-8.
std::string utf8Of(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class Renderer {
  public:
    Renderer(cairo_t* cr, const NativeOptions& o) : cr_(cr), options_(o) {}
    // Pages each on a surface of their own: at a page break `next` gives the next page's
    // context (null when it cannot) instead of showing the page.
    void setPageSource(cairo_t* (*next)(void*), void* context) {
        nextPage_ = next;
        nextContext_ = context;
    }
    bool failed() const { return failed_; }

    int run(const std::vector<PageItem>& items) {
        applyFont();
        for (const PageItem& it : items)
            if (int err = item(it)) return err;
        closeBox();
        return 0;
    }

  private:
    void applyFont() {
        const bool heavy = s_.bold || s_.doubleStrike || s_.weight > 0;
        cairo_select_font_face(cr_, s_.family.c_str(),
                               s_.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                               heavy ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        // Glyph height from the pitch, glyph width from the cell: condensed and double-width
        // characters keep their height and change only their width.
        cairo_set_font_size(cr_, 10);
        cairo_text_extents_t e;
        cairo_text_extents(cr_, "0", &e);
        const double adv = e.x_advance > 0 ? e.x_advance : 6;
        const double vsize = std::min(10 * (72.0 / s_.cpi) / adv, s_.lineHeight() * 1.1);
        const double hsize = s_.family == "monospace" ? 10 * s_.cell() / adv : vsize;
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, hsize, vsize);
        cairo_set_font_matrix(cr_, &m);
        monospace_ = s_.family == "monospace";
    }

    void setColor() {
        cairo_set_source_rgb(cr_, ((s_.color >> 16) & 255) / 255.0, ((s_.color >> 8) & 255) / 255.0,
                             (s_.color & 255) / 255.0);
    }

    void newPage() {
        closeBoxForPage();
        if (nextPage_) {
            cairo_t* next = nextPage_(nextContext_);
            if (next) {
                cr_ = next;
                applyFont();
            } else {
                failed_ = true;
            }
        } else {
            cairo_show_page(cr_);
        }
        s_.top = kPageMargin;
        s_.x = kPageMargin;
        s_.pageLines = 0;
        if (s_.box || s_.shade) s_.boxTop = s_.top;
    }

    void lineFeed() {
        s_.top += s_.lineHeight();
        s_.x = kPageMargin;
        ++s_.pageLines;
        const bool full = options_.linesPerPage > 0 ? s_.pageLines >= options_.linesPerPage
                                                    : s_.top + s_.lineHeight() > kBottom + 0.01;
        if (full) newPage();
    }

    void line(double x1, double y1, double x2, double y2) {
        cairo_save(cr_);
        cairo_set_source_rgb(cr_, 0, 0, 0);
        cairo_set_line_width(cr_, 0.6);
        cairo_move_to(cr_, x1, y1);
        cairo_line_to(cr_, x2, y2);
        cairo_stroke(cr_);
        cairo_restore(cr_);
    }

    void drawText(const std::string& bytes) {
        setColor();
        const std::string text = utf8Of(bytes);
        const double baseline = s_.top + s_.lineHeight() * 0.78;
        double width = 0;
        if (monospace_) {
            width = s_.cell() * static_cast<double>(bytes.size());
        } else {
            cairo_text_extents_t e;
            cairo_text_extents(cr_, text.c_str(), &e);
            width = e.x_advance;
        }
        if (s_.align == 1) s_.x = std::max(kPageMargin, (kPageWidth - width) / 2);
        if (s_.align == 2) s_.x = std::max(kPageMargin, kRight - width);
        const double start = s_.x;
        if (monospace_ && options_.alignEach) {
            for (size_t i = 0; i < bytes.size(); ++i) {
                cairo_move_to(cr_, start + s_.cell() * static_cast<double>(i), baseline);
                cairo_show_text(cr_, utf8Of(bytes.substr(i, 1)).c_str());
            }
        } else {
            cairo_move_to(cr_, start, baseline);
            cairo_show_text(cr_, text.c_str());
        }
        s_.x = start + width;
        if (s_.underline) line(start, baseline + 1.5, s_.x, baseline + 1.5);
        if (s_.overline) line(start, s_.top + 0.5, s_.x, s_.top + 0.5);
        s_.boxRight = std::max(s_.boxRight, s_.x);
    }

    void closeBoxForPage() {
        if (!s_.box && !s_.shade) return;
        const double bottom = s_.top;
        drawFrame(bottom);
    }
    void drawFrame(double bottom) {
        if (bottom <= s_.boxTop) bottom = s_.boxTop + s_.lineHeight();
        const double right = std::max(s_.boxRight, kPageMargin + s_.cell());
        cairo_save(cr_);
        if (s_.shade) {
            cairo_set_operator(cr_, CAIRO_OPERATOR_MULTIPLY);
            cairo_set_source_rgb(cr_, 0.85, 0.85, 0.85);
            cairo_rectangle(cr_, kPageMargin, s_.boxTop, right - kPageMargin, bottom - s_.boxTop);
            cairo_fill(cr_);
        } else {
            cairo_set_source_rgb(cr_, 0, 0, 0);
            cairo_set_line_width(cr_, 0.8);
            cairo_rectangle(cr_, kPageMargin, s_.boxTop, right - kPageMargin, bottom - s_.boxTop);
            cairo_stroke(cr_);
        }
        cairo_restore(cr_);
    }
    void closeBox() {
        if (!s_.box && !s_.shade) return;
        drawFrame(s_.x > kPageMargin ? s_.top + s_.lineHeight() : s_.top);
        s_.box = s_.shade = false;
    }
    void openBox(bool shade) {
        closeBox();
        (shade ? s_.shade : s_.box) = true;
        s_.boxTop = s_.top;
        s_.boxRight = kPageMargin;
    }

    int markup(const std::string& word) {
        if (word == "begin_box") {
            openBox(false);
        } else if (word == "begin_shade") {
            openBox(true);
        } else if (word == "end_box" || word == "end_shade") {
            closeBox();
        } else if (word == "begin_boxtop") {
            line(kPageMargin, s_.top, kRight, s_.top);
        } else if (word == "begin_boxbottom") {
            line(kPageMargin, s_.top + s_.lineHeight(), kRight, s_.top + s_.lineHeight());
        } else if (word == "begin_verticals") {
            // "|" draws rules from here on (the parser already turns them into rules).
        } else if (word == "center") {
            s_.align = 1;
        } else if (word == "right_justify") {
            s_.align = 2;
        } else if (word == "left_justify") {
            s_.align = 0;
        }
        return 0;
    }

    int picture(const PageItem& it) {
        cairo_surface_t* img = cairo_image_surface_create_from_png(it.text.c_str());
        if (cairo_surface_status(img) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(img);
            vxlog(2, "Picture %s cannot be read", it.text.c_str());
            return kErrBadPicture;
        }
        const double w = it.x * s_.cell(), h = it.y * s_.lineHeight();
        const int iw = cairo_image_surface_get_width(img), ih = cairo_image_surface_get_height(img);
        cairo_save(cr_);
        cairo_translate(cr_, s_.x, s_.top);
        cairo_scale(cr_, w / std::max(iw, 1), h / std::max(ih, 1));
        cairo_set_source_surface(cr_, img, 0, 0);
        cairo_paint(cr_);
        cairo_restore(cr_);
        cairo_surface_destroy(img);
        s_.x += w;
        return 0;
    }

    int item(const PageItem& it) {
        switch (it.op) {
            case PageOp::kText: drawText(it.text); return 0;
            case PageOp::kTab: {
                const double step = 8 * s_.cell();
                const double n = std::floor((s_.x - kPageMargin) / step + 1e-9) + 1;
                s_.x = kPageMargin + n * step;
                return 0;
            }
            case PageOp::kLineFeed:
                s_.align = 0;
                lineFeed();
                return 0;
            case PageOp::kReturn: s_.x = kPageMargin; return 0;
            case PageOp::kFormFeed:
                s_.align = 0;
                newPage();
                return 0;
            case PageOp::kWidth:
                if (it.a == 1) s_.width = 1;
                if (it.a == 2 || it.a == 4) s_.width = 0;
                if (it.a == 3) s_.width = 2;
                break;
            case PageOp::kRule: {
                const double mid = s_.x + s_.cell() / 2;
                line(mid, s_.top, mid, s_.top + s_.lineHeight());
                s_.x += s_.cell();
                s_.boxRight = std::max(s_.boxRight, s_.x);
                return 0;
            }
            case PageOp::kFont: {
                // A family name is text for fontconfig: no control bytes, in UTF-8.
                std::string name;
                for (char c : it.text)
                    if (static_cast<unsigned char>(c) >= 32) name += c;
                s_.family = name.empty() ? "monospace" : utf8Of(fontFamilyOf(name));
                break;
            }
            case PageOp::kColor: s_.color = it.a; return 0;
            case PageOp::kTray:
            case PageOp::kMedia: return 0;  // one PDF: trays and media are the printer's
            case PageOp::kPicture: return picture(it);
            case PageOp::kPosition:
                s_.x = it.relX ? s_.x + it.x * s_.cell() : kPageMargin + it.x * s_.cell();
                s_.top = it.relY ? s_.top + it.y * s_.lineHeight()
                                 : kPageMargin + it.y * s_.lineHeight();
                return 0;
            case PageOp::kMarkup: return markup(it.text);
            case PageOp::kLineSpacing: s_.lpi = it.a; break;
            case PageOp::kPitch: s_.cpi = it.a; break;
            case PageOp::kReset: {
                const double x = s_.x, top = s_.top;
                const int lines = s_.pageLines;
                closeBox();
                s_ = PageState{};
                s_.x = x;
                s_.top = top;
                s_.pageLines = lines;
                break;
            }
            case PageOp::kStyle:
                if (it.a == 'I') s_.italic = it.b;
                if (it.a == 'B') s_.bold = it.b;
                if (it.a == 'D') s_.doubleStrike = it.b;
                break;
            case PageOp::kAttribute:
                if (it.a == '-') s_.underline = it.b != 0;
                if (it.a == '_') s_.overline = it.b != 0;
                if (it.a == 'W') s_.width = it.b ? 2 : 0;
                break;  // 'k' (typeface) and 'x' (letter quality): the fonts stay
            case PageOp::kWeight: s_.weight = it.a; break;
            case PageOp::kUpright: s_.italic = it.a == 1; break;
        }
        applyFont();
        return 0;
    }

    cairo_t* cr_;
    NativeOptions options_;
    PageState s_;
    bool monospace_ = true;
    cairo_t* (*nextPage_)(void*) = nullptr;
    void* nextContext_ = nullptr;
    bool failed_ = false;
};

// The recording surfaces of recordPages and their drawing contexts, one per page so far.
struct Recorder {
    std::vector<cairo_surface_t*> pages;
    std::vector<cairo_t*> contexts;
    cairo_t* add() {
        const cairo_rectangle_t extent{0, 0, kPageWidth, kPageHeight};
        cairo_surface_t* page = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extent);
        if (cairo_surface_status(page) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(page);
            return nullptr;
        }
        pages.push_back(page);
        contexts.push_back(cairo_create(page));
        return contexts.back();
    }
    ~Recorder() {
        for (cairo_t* c : contexts) cairo_destroy(c);
        for (cairo_surface_t* p : pages) cairo_surface_destroy(p);
    }
};

// The drawing items of a job's bytes, read by the escape interpreter.
int pageItems(std::string_view bytes, const NativeOptions& options, std::vector<PageItem>& items) {
    size_t at = 0;
    EscapeOptions eo;
    eo.suppressUnsupported = options.suppressUnsupported;
    return parseEscapes(bytes, eo, items, at);
}

}  // namespace

int renderPages(std::string_view bytes, const std::string& pdfPath, const NativeOptions& options) {
    std::vector<PageItem> items;
    if (int err = pageItems(bytes, options, items)) return err;
    const std::string temp = pdfPath + ".part";
    cairo_surface_t* surface = cairo_pdf_surface_create(temp.c_str(), kPageWidth, kPageHeight);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return kErrPageRender;
    }
    cairo_t* cr = cairo_create(surface);
    Renderer r(cr, options);
    int err = r.run(items);
    cairo_show_page(cr);
    const bool bad = cairo_status(cr) != CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const bool badFile = cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    // The font caches go with the job: a process prints rarely, and what fontconfig keeps
    // between jobs would otherwise stay allocated until exit.
    cairo_debug_reset_static_data();
    FcFini();
    if (!err && (bad || badFile)) err = kErrPageRender;
    if (err) {
        (void)platform::deleteFile(temp);
        return err;
    }
    return platform::renameFile(temp, pdfPath);
}

int recordPages(std::string_view bytes, const NativeOptions& options,
                std::vector<cairo_surface_t*>& pages) {
    pages.clear();
    std::vector<PageItem> items;
    if (int err = pageItems(bytes, options, items)) return err;
    Recorder rec;
    cairo_t* first = rec.add();
    if (!first) return kErrPageRender;
    Renderer r(first, options);
    r.setPageSource([](void* self) { return static_cast<Recorder*>(self)->add(); }, &rec);
    int err = r.run(items);
    for (cairo_t* c : rec.contexts)
        if (cairo_status(c) != CAIRO_STATUS_SUCCESS) err = err ? err : kErrPageRender;
    if (!err && r.failed()) err = kErrPageRender;
    if (err) return err;
    pages = std::move(rec.pages);
    rec.pages.clear();
    return 0;
}

int readPrintFile(const std::string& spoolPath, std::string& bytes) {
    bytes.clear();
    int fd = -1;
    if (int err = platform::openFile(spoolPath, platform::Access::kRead,
                                     platform::Create::kOpenExisting, fd))
        return err;
    char buf[65536];
    size_t got = 0;
    int err = 0;
    while (!(err = platform::readSome(fd, buf, sizeof buf, got)) && got > 0) bytes.append(buf, got);
    (void)platform::closeFile(fd);
    return err;
}

int renderPrintFile(const std::string& spoolPath, const std::string& pdfPath,
                    const NativeOptions& options) {
    std::string bytes;
    if (int err = readPrintFile(spoolPath, bytes)) return err;
    return renderPages(bytes, pdfPath, options);
}

}  // namespace vxs
