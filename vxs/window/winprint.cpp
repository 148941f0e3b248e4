// The window's own printing (see winprint.h).
#include "vxs/window/winprint.h"

#include <cairo.h>
#include <wx/dc.h>
#include <wx/graphics.h>
#include <wx/print.h>
#include <wx/printdlg.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/printing/print.h"

namespace vxs {

namespace {

// A job's recorded pages, shared by the printouts of one preview.
struct Pages {
    std::vector<cairo_surface_t*> surfaces;
    ~Pages() {
        for (cairo_surface_t* s : surfaces) cairo_surface_destroy(s);
    }
};

class JobPrintout final : public wxPrintout {
  public:
    JobPrintout(std::shared_ptr<Pages> pages, const wxString& title)
        : wxPrintout(title), pages_(std::move(pages)) {}

    bool HasPage(int page) override {
        return page >= 1 && page <= static_cast<int>(pages_->surfaces.size());
    }
    void GetPageInfo(int* minPage, int* maxPage, int* from, int* to) override {
        *minPage = *from = 1;
        *maxPage = *to = static_cast<int>(pages_->surfaces.size());
    }
    // Replays the page on the surface's cairo context, scaled to fit it whole.
    bool OnPrintPage(int page) override {
        wxDC* dc = GetDC();
        if (!dc || !HasPage(page)) return false;
        auto* cr = static_cast<cairo_t*>(dc->GetImpl()->GetCairoContext());
        if (!cr) {
            wxGraphicsContext* gc = dc->GetGraphicsContext();
            if (gc) cr = static_cast<cairo_t*>(gc->GetNativeContext());
        }
        if (!cr) return false;
        int w = 0, h = 0;
        dc->GetSize(&w, &h);
        const double scale = std::min(w / kPageWidth, h / kPageHeight);
        cairo_save(cr);
        cairo_scale(cr, scale, scale);
        cairo_rectangle(cr, 0, 0, kPageWidth, kPageHeight);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill(cr);
        cairo_set_source_surface(cr, pages_->surfaces[static_cast<size_t>(page - 1)], 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        return true;
    }

  private:
    std::shared_ptr<Pages> pages_;
};

}  // namespace

int32_t printWindowJob(wxWindow* parent, bool preview, std::string_view path, int32_t flags,
                       int32_t linesPerPage) {
    std::string bytes;
    if (int err = readPrintFile(std::string(path), bytes)) return err;
    NativeOptions options;
    options.suppressUnsupported = (flags & 1) != 0;
    options.alignEach = (flags & 2) != 0;
    options.linesPerPage = linesPerPage;
    auto pages = std::make_shared<Pages>();
    if (int err = recordPages(bytes, options, pages->surfaces)) return err;
    const wxString title = "Veltrix! print";
    if (preview) {
        auto* shown =
            new wxPrintPreview(new JobPrintout(pages, title), new JobPrintout(pages, title));
        if (!shown->IsOk()) {
            delete shown;
            return kErrPageRender;
        }
        shown->SetZoom(100);  // the page's text as large as printed
        auto* frame =
            new wxPreviewFrame(shown, parent, "Print preview", wxDefaultPosition, wxSize(760, 900));
        frame->Initialize();
        frame->Show();
        return 0;
    }
    wxPrinter printer;
    JobPrintout printout(pages, title);
    if (printer.Print(parent, &printout, true)) return 0;
    return wxPrinter::GetLastError() == wxPRINTER_CANCELLED ? 0 : kErrPageRender;
}

}  // namespace vxs
