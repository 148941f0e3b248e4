// The report output of the file commands and STATUS (see report.h): console lines with paging,
// a replaced file written beside its target and renamed when complete, an appended file, the
// printer's spool file.
#include "vxs/command/report.h"

#include "vxs/screen/statline.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/engine.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

ReportOutput::~ReportOutput() {
    if (handle_ > 0) {
        (void)osClose(handle_);
        if (!temporary_.empty()) (void)osDelete(temporary_);
    }
}

int ReportOutput::redirect(std::string_view name, bool append) {
    if (handle_ != 0 || job_) return kErrFileOpen;
    std::string path;
    if (deviceOfName(name) == Device::kPrinter) {
        // A listing sent to a bare printer prefix (">PRN:") goes to that kind's default
        // printer; a file opened by a program must name its printer.
        std::string named(name);
        if (named.ends_with(':')) named += "/10";
        std::string device;
        if (int err = mapFileName(named, device)) return err;
        PrintJobRequest r;
        r.name = device;
        return openPrintJob(r, job_);
    } else if (int err = mapFileName(name, path)) {
        return err;
    }
    int creation = kOsUse;
    std::string openPath = path;
    if (!append) {
        // The old file stays until the whole report is written.
        temporary_ = path + ".~" + std::to_string(platform::processId());
        openPath = temporary_;
        creation = kOsReplace;
    }
    int handle = 0;
    if (int err = osOpen(openPath, kOsReadWrite, creation, handle)) {
        temporary_.clear();
        return err;
    }
    int64_t end = 0;
    if (int err = osSeek(handle, 0, kOsFromEnd, end)) {
        (void)osClose(handle);
        if (!temporary_.empty()) (void)osDelete(temporary_);
        temporary_.clear();
        return err;
    }
    handle_ = handle;
    path_ = std::move(path);
    return 0;
}

int ReportOutput::toPrinter() {
    return redirect("PRN:/10", true);
}

int ReportOutput::line(std::string_view text) {
    if (job_) {
        if (!error_) error_ = job_->write(text, "\r\n");
        return error_;
    }
    if (handle_ > 0) {
        if (error_) return error_;
        buffer_.assign(text);
        buffer_ += "\r\n";
        error_ = osWrite(handle_, buffer_.data(), buffer_.size());
        return error_;
    }
    if (paging_ && lines_ == kReportPageLines) {
        lines_ = 0;
        // Any key goes on; the attention key, or no keyboard left at all, ends the report.
        // A wait without a time limit (action 2, 0 seconds): action 1 would ask the keyboard
        // only after keys were announced, and end the report before any key was typed.
        statusShowMessage(kMoreKeyCue);
        const int32_t key = keyboardRequest(2, 0);
        statusShowMessage("");
        if (key < 0 || key == kKeyAttention) return kReportStopped;
    }
    // The operator may end a long report with the attention key.
    if (pollKeyboard() == kKeyAttention) return kReportStopped;
    consoleOutput(text);
    ++lines_;
    return 0;
}

int ReportOutput::text(std::string_view text) {
    for (;;) {
        const size_t eol = text.find('\n');
        if (eol == std::string_view::npos) break;
        int err = 0;
        if (partial_.empty()) {
            err = line(text.substr(0, eol));
        } else {
            partial_.append(text.substr(0, eol));
            err = line(partial_);
            partial_.clear();
        }
        if (err) return err;
        text.remove_prefix(eol + 1);
    }
    partial_.append(text);
    return 0;
}

int ReportOutput::close() {
    int err = 0;
    if (!partial_.empty()) {
        err = line(partial_);
        partial_.clear();
    }
    if (job_) {
        if (!err) err = error_;
        std::string message;
        const int finished = finishPrintJob(*job_, message);
        job_.reset();
        return err && err != kReportStopped ? err : finished;
    }
    if (handle_ <= 0) return err == kReportStopped ? 0 : err;
    if (!err) err = error_;
    const int closed = osClose(handle_);
    handle_ = 0;
    if (!err) err = closed;
    if (!temporary_.empty()) {
        if (!err) err = osRename(temporary_, path_, true);
        if (err) (void)osDelete(temporary_);
        temporary_.clear();
    }
    return err;
}

}  // namespace vxs
