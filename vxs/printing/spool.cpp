// Print jobs and the spool command (see spool.h): the spool file of each printer file, the
// SPOOLCMD substitution, and the hand-over of finished files to the command, CUPS or the
// native page renderer.
#include "vxs/printing/spool.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "vxs/config/config.h"
#include "vxs/config/statline.h"
#include "vxs/control/errors.h"
#include "vxs/debugger/logger.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/printing/print.h"

namespace vxs {

namespace {

constexpr size_t kMaxGrowth = 150;  // what substitution may add to the template
constexpr size_t kMaxSpoolCommand = 200;
constexpr int kSpoolLogLevel = 9;
constexpr int kMaxSpoolNames = 99999;  // unique suffixes tried for one spool file

std::string (*g_programSource)() = nullptr;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return out;
}

// Whether the shell takes every byte of `value` as itself.
bool shellSafe(std::string_view value) {
    for (unsigned char c : value)
        if (!isalnum(c) && !strchr("._/:=+,@%-", c)) return false;
    return true;
}

std::string shellQuoted(std::string_view value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Replaces every occurrence of `key` (any case) by `value`; false, with `text` unchanged
// past the last replacement made, when one would grow the text beyond `limit` bytes.
bool replaceKey(std::string& text, std::string_view key, const std::string& value, size_t limit) {
    const std::string ukey = upper(key);
    size_t at = 0;
    for (;;) {
        const size_t found = upper(text).find(ukey, at);
        if (found == std::string::npos) return true;
        if (text.size() - key.size() + value.size() > limit) return false;
        text.replace(found, key.size(), value);
        at = found + value.size();
    }
}

// Takes a leading option word ("-W" or "-C", any case) followed by a blank.
bool takeOption(std::string& text, char letter) {
    if (text.size() < 3 || text[0] != '-' ||
        toupper(static_cast<unsigned char>(text[1])) != letter || text[2] != ' ')
        return false;
    size_t n = 2;
    while (n < text.size() && text[n] == ' ') ++n;
    text.erase(0, n);
    return true;
}

std::string spoolDirectory() {
    for (const auto& [from, to] : substitutions())
        if (from == "[SPOOLPATH]") return to.empty() ? std::string(".") : to;
    return ".";
}

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A destination for `lp -d`: PRINTER=, else the name's printer part unless that is the
// default printer's number or SELECT (the operator's choice, here the default destination).
std::string destinationOf(const PrintJobRequest& r) {
    if (!r.printer.empty()) return r.printer;
    const std::string p = spoolPrinterOf(r.name);
    if (p.empty() || upper(p) == "SELECT") return {};
    bool digits = true;
    for (unsigned char c : p) digits = digits && isdigit(c);
    return digits ? std::string() : p;
}

int removeQuietly(const std::string& path) {
    return path.empty() ? 0 : platform::deleteFile(path);
}

// Sends `file` to its printer: the SPOOLCMD template when one is configured, else CUPS's lp.
int runSpoolCommand(const PrintJobRequest& r, const std::string& file, bool raw) {
    int status = 0;
    std::string shown;
    if (!spoolCommand().empty()) {
        SpoolKeys keys;
        keys.name = r.name;
        keys.copies = r.copies;
        keys.spoolFile = optionOn(49) ? lastComponent(file) : file;
        keys.program = g_programSource ? g_programSource() : std::string();
        keys.wsid = fieldsConfig().wsid;
        SpoolCommand cmd;
        if (int err = buildSpoolCommand(spoolCommand(), keys, cmd)) return err;
        shown = cmd.text;
        status = platform::runShellCommand(cmd.text);
    } else {
        std::vector<std::string> argv{"lp"};
        const std::string dest = destinationOf(r);
        if (!dest.empty()) argv.insert(argv.end(), {"-d", dest});
        argv.insert(argv.end(), {"-n", std::to_string(r.copies)});
        if (raw) argv.insert(argv.end(), {"-o", "raw"});
        argv.push_back(file);
        for (const std::string& a : argv) shown += (shown.empty() ? "" : " ") + a;
        status = platform::runProgram(argv, true);
    }
    if (status != 0) {
        vxlog(2, "Spool command failed (status %d): %s; spool file kept: %s", status, shown.c_str(),
              file.c_str());
        return kErrSpoolCommandFailed;
    }
    return 0;
}

}  // namespace

PrintDevice printDeviceOf(std::string_view name) {
    const std::string u = upper(name.substr(0, 8));
    if (u.starts_with("DIRECT:")) return PrintDevice::kDirect;
    if (u.starts_with("WIN:")) return PrintDevice::kNative;
    if (u.starts_with("PREVIEW:")) return PrintDevice::kPreview;
    return PrintDevice::kSpool;
}

std::string spoolQueueOf(std::string_view name) {
    if (name.size() <= 4) return {};
    std::string_view rest = name.substr(4);
    return std::string(rest.substr(0, rest.find('/')));
}

std::string spoolPrinterOf(std::string_view name) {
    const size_t slash = name.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(name.substr(slash + 1));
}

int buildSpoolCommand(std::string_view tmpl, const SpoolKeys& keys, SpoolCommand& out) {
    out = SpoolCommand{};
    std::string text(tmpl);
    vxlog(kSpoolLogLevel, "Initial spoolcmd string %s", text.c_str());
    if (!text.empty() && text[0] == '~') {
        text.erase(0, 1);
    } else {
        out.substituted = true;
        auto value = [](std::string v) {
            if (v.empty()) return std::string(" ");
            return shellSafe(v) ? v : shellQuoted(v);
        };
        const std::string queue = spoolQueueOf(keys.name);
        const std::pair<const char*, std::string> pairs[] = {
            {"[NAME=]", value(keys.name)},
            {"[QUEUE]", value(queue)},
            {"[PRINTER]", value(spoolPrinterOf(keys.name))},
            {"[COPIES]", std::to_string(keys.copies)},
            {"[SPOOLFILE]", value(keys.spoolFile)},
            {"[PROGRAM]", value(lastComponent(keys.program))},
            {"[WSID]", std::to_string(keys.wsid)},
        };
        const size_t limit = text.size() + kMaxGrowth;
        for (const auto& [key, v] : pairs)
            if (!replaceKey(text, key, v, limit)) break;
    }
    vxlog(kSpoolLogLevel, "Final spoolcmd string %s", text.c_str());
    if (text.size() > kMaxSpoolCommand) return kErrSpoolCommandTooLong;
    if (!text.empty() && text[0] == '@') {
        size_t n = 1;
        while (n < text.size() && text[n] == ' ') ++n;
        text.erase(0, n);
    }
    out.wait = takeOption(text, 'W');
    out.console = takeOption(text, 'C');
    out.text = std::move(text);
    return 0;
}

PrintJob::~PrintJob() {
    if (fd_ >= 0) (void)platform::closeFile(fd_);
}

int PrintJob::put(std::string_view bytes) {
    return bytes.empty() ? 0 : platform::writeAll(fd_, bytes.data(), bytes.size());
}

int PrintJob::write(std::string_view line, std::string_view lineEnd) {
    if (fd_ < 0) return kErrFileNotOpen;
    if (!started_) {
        started_ = true;
        if (int err = put(setup_.init)) return err;
    }
    if (pageFull_ && !(line.size() && line[0] == '\f'))
        if (int err = put("\f")) return err;
    pageFull_ = false;
    if (line.find('\f') != std::string_view::npos) pageLines_ = 0;
    if (int err = put(translatePrinterLine(setup_, line))) return err;
    if (int err = put(lineEnd)) return err;
    for (char c : lineEnd) {
        if (c != '\n') continue;
        if (setup_.lpp > 0 && ++pageLines_ >= setup_.lpp) {
            pageLines_ = 0;
            pageFull_ = true;
        }
    }
    return 0;
}

int openPrintJob(const PrintJobRequest& request, std::unique_ptr<PrintJob>& out) {
    auto job = std::make_unique<PrintJob>();
    job->request_ = request;
    job->device_ = printDeviceOf(request.name);
    // "WIN:/" prints directly (its bytes go to the printer as they are) with OPTION 31.
    if (job->device_ == PrintDevice::kNative && optionOn(31) &&
        upper(request.name).starts_with("WIN:/"))
        job->device_ = PrintDevice::kDirect;
    const std::string table =
        !request.printerType.empty() ? request.printerType : spoolPrinterOf(request.name);
    job->setup_ = printerSetup(table);
    const bool native =
        job->device_ == PrintDevice::kNative || job->device_ == PrintDevice::kPreview;
    // Native printing reads the dot-matrix escape codes: without a table of their own, its
    // printer files take the EPSON keys, so that [BOLD] and the like work there too.
    if (native && job->setup_.keys.empty())
        for (const auto& kv : builtinPrinterKeys(1))
            if (kv.first[1] != 'I' && kv.first[1] != 'R') job->setup_.keys.push_back(kv);
    std::string dir = spoolDirectory();
    if (dir.back() != '/') dir += '/';
    const std::string base = dir + "ktspl" + std::to_string(fieldsConfig().wsid);
    int err = 0;
    for (int n = 1; n <= kMaxSpoolNames; ++n) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, ".%03d", n);
        job->path_ = base + suffix;
        err = platform::openFile(job->path_, platform::Access::kReadWrite,
                                 platform::Create::kCreateNew, job->fd_);
        if (err != kErrFileExists) break;
    }
    if (err) {
        vxlog(2, "Spool file %s cannot be created (error %d)", job->path_.c_str(), err);
        job->fd_ = -1;
        return err;
    }
    vxlog(kLogProgress, "Spool file %s opened for %s", job->path_.c_str(), request.name.c_str());
    out = std::move(job);
    return 0;
}

int finishPrintJob(PrintJob& job, std::string& message) {
    message.clear();
    if (job.fd_ < 0) return 0;
    int err = job.started_ ? job.put(job.setup_.reset) : 0;
    if (int e = platform::closeFile(job.fd_); e && !err) err = e;
    job.fd_ = -1;
    if (err) return err;
    // Nothing printed: no job for the printer, and no file left behind.
    if (!job.started_) return removeQuietly(job.path_);
    const PrintJobRequest& r = job.request_;
    switch (job.device_) {
        case PrintDevice::kSpool:
        case PrintDevice::kDirect:
            if (int e = runSpoolCommand(r, job.path_, job.device_ == PrintDevice::kDirect))
                return e;
            return removeQuietly(job.path_);
        case PrintDevice::kNative:
        case PrintDevice::kPreview: break;
    }
    std::string pdf = job.path_ + ".pdf";
    if (!printDirectory().empty() && job.device_ == PrintDevice::kPreview) {
        std::string dir = printDirectory();
        if (dir.back() != '/') dir += '/';
        pdf = dir + lastComponent(pdf);
    }
    NativeOptions options;
    options.suppressUnsupported = optionOn(32);
    options.alignEach = optionOn(55);
    options.linesPerPage = job.setup_.lpp;
    if (int e = renderPrintFile(job.path_, pdf, options)) return e;
    (void)removeQuietly(job.path_);
    if (job.device_ == PrintDevice::kNative) {
        if (int e = runSpoolCommand(r, pdf, false)) return e;
        return removeQuietly(pdf);
    }
    std::string display;
    if (platform::environmentValue("DISPLAY", display) ||
        platform::environmentValue("WAYLAND_DISPLAY", display)) {
        if (platform::runProgram({"xdg-open", pdf}, false) == 0) return 0;
    }
    message = "Print preview in " + pdf;
    statusShowMessage(message);
    return 0;
}

void setSpoolProgramSource(std::string (*source)()) {
    g_programSource = source;
}

void spoolFinishPending() {}
void freePrintQueue() {}

}  // namespace vxs
