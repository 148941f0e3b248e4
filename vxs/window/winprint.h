// The window's own printing of WIN: and PREVIEW: jobs: the job's pages recorded once
// (printing/print.h) and replayed on wxWidgets' drawing surfaces, in a print preview window or
// through the desktop's print dialog.
#pragma once

#include <cstdint>
#include <string_view>

class wxWindow;

namespace vxs {

// Shows the job in the spool file `path` (the options as FrontEnd::printJob gives them): a
// preview window when `preview`, which stays open beside the session, else the print dialog,
// which prints it.  Returns 0 (also when the operator cancels the dialog), 6261 when the
// window system cannot print or preview, or the error of reading and recording the job.
int32_t printWindowJob(wxWindow* parent, bool preview, std::string_view path, int32_t flags,
                       int32_t linesPerPage);

}  // namespace vxs
