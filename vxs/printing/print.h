// Native printing: draws the pages of a printer file through cairo into a PDF page file, after
// the escape interpreter (printer.h) has read it.  Fonts come from fontconfig; the fixed-pitch
// modes use its monospace family.
#pragma once

#include <string>
#include <string_view>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace vxs {

struct NativeOptions {
    bool suppressUnsupported = false;  // OPTION 32
    bool alignEach = false;            // OPTION 55: fixed-width characters placed one by one
    int linesPerPage = 0;              // the printer's LPP; 0: as many as the page holds
};

// Page geometry (points): US Letter with half-inch margins; positions count in character
// widths (at the current pitch) and lines (at the current spacing) from the margins.
inline constexpr double kPageWidth = 612, kPageHeight = 792, kPageMargin = 36;

// Draws `bytes` into the PDF file `pdfPath`, replacing it only when the drawing succeeds (it
// is written under a temporary name first).  Returns 0, an error of the escape interpreter,
// 6248 for a picture that cannot be read, or 6261 when cairo cannot make the file.
[[nodiscard]] int renderPages(std::string_view bytes, const std::string& pdfPath,
                              const NativeOptions& options);
// The pages of a job as cairo recording surfaces of kPageWidth x kPageHeight points, one per
// page, for a front end that previews or prints them itself (it replays each on its own
// drawing surface); the caller destroys them.  Returns 0, an error of the escape interpreter,
// 6248 for a picture that cannot be read, or 6261 when cairo cannot record a page.
[[nodiscard]] int recordPages(std::string_view bytes, const NativeOptions& options,
                              std::vector<cairo_surface_t*>& pages);
// The contents of the spool file `spoolPath`, or its read error.
[[nodiscard]] int readPrintFile(const std::string& spoolPath, std::string& bytes);
// renderPages on the contents of the spool file `spoolPath`; or its read error.
[[nodiscard]] int renderPrintFile(const std::string& spoolPath, const std::string& pdfPath,
                                  const NativeOptions& options);

}  // namespace vxs
