// Where the report lines of a command go (the file commands, STATUS): the console window, a
// file (">name" replaces it once the report is complete, ">>name" appends) or the printer, with
// an optional pause after each screenful on the console.
//
// Invariants: at most one redirection is set; a replaced file is written under a temporary name
// beside it and renamed over it only by a successful close, so a failed report leaves the old
// file as it was; after close() nothing is open, whatever the result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vxs/printing/spool.h"

namespace vxs {

// What line() returns when the operator ended the report (the attention key at a pause): the
// command then ends quietly.
inline constexpr int kReportStopped = -1;

// Lines a console screenful holds before a pause: the console window's height less 3.
inline constexpr int kReportPageLines = 21;

class ReportOutput {
  public:
    ReportOutput() = default;
    ~ReportOutput();  // an unclosed replaced file is abandoned: the old one stays
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;

    // Sends the report to the file `name` (a name as the user types it, mapped through the name
    // layer; a printer name such as "PRN:/10" goes to the printer).  The file is opened at once,
    // so a bad name fails here.  610 when a target was set already.
    [[nodiscard]] int redirect(std::string_view name, bool append);
    // Sends the report to the printer "PRN:/10".  610 when a target was set already.
    [[nodiscard]] int toPrinter();
    bool redirected() const { return handle_ != 0 || job_; }
    // The name a replaced file is written under until close (empty when none).
    const std::string& temporaryPath() const { return temporary_; }
    // Pause after each kReportPageLines lines on the console (ignored when redirected).
    void setPaging(bool on) { paging_ = on; }

    // One line, without its end.  Returns 0, an error number (a write that failed), or
    // kReportStopped.  Files get "\r\n" after each line, as display files do.
    [[nodiscard]] int line(std::string_view text);
    // Text in which "\n" ends lines: each complete line goes out through line(); a last part
    // without its "\n" waits for the next text (or close).
    [[nodiscard]] int text(std::string_view text);
    // Puts out what waits, then closes the file: a replaced file takes its name now.  Returns 0
    // or the first error of the report.
    [[nodiscard]] int close();

  private:
    int handle_ = 0;
    std::unique_ptr<PrintJob> job_;  // the printer, when the report goes there
    std::string path_;       // the target file
    std::string temporary_;  // the name written under while replacing, else empty
    std::string partial_;    // text after the last "\n"
    std::string buffer_;
    bool paging_ = false;
    int lines_ = 0;
    int error_ = 0;
};

}  // namespace vxs
