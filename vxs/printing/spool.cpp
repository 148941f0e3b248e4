// Print jobs and the spool command (see spool.h): the spool file of each printer file, the
// SPOOLCMD substitution, and the hand-over of finished files to the command, CUPS or the
// native page renderer.
#include "vxs/printing/spool.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "vxs/base/logger.h"
#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/printing/print.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/terminal.h"

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

// Where a key stands in the template, as the shell will read it: inside which quotes, and
// inside how many command substitutions in backquotes (whose text the shell reads twice, taking
// one level of backslashes off first).
enum class Quoting : uint8_t {
    kBare,     // outside quotes (also inside $( ), ( ) and ` `)
    kSingle,   // inside '...'
    kDouble,   // inside "..."
    kNotAKey,  // after an escaping backslash, or in a comment: the key stays as text
};
struct Context {
    Quoting quoting = Quoting::kBare;
    int backquotes = 0;  // enclosing ` ` substitutions
};

// The value as shell text that, standing where `where` says, gives the shell exactly `value`.
// Outside quotes: as it is when every byte is plain, else in single quotes; inside single quotes
// a quote closes, is escaped and reopens; inside double quotes the four special bytes take a
// backslash.  Inside backquotes, each level adds a backslash before \, ` and $.
std::string shellText(std::string_view value, Context where) {
    std::string out;
    switch (where.quoting) {
        case Quoting::kSingle:
            for (char c : value) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
            break;
        case Quoting::kDouble:
            for (char c : value) {
                if (strchr("$`\"\\", c)) out += '\\';
                out += c;
            }
            break;
        case Quoting::kBare:
        case Quoting::kNotAKey:
            if (shellSafe(value)) {
                out.assign(value);
                break;
            }
            out = "'";
            for (char c : value) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
            out += "'";
            break;
    }
    for (int level = 0; level < where.backquotes; ++level) {
        std::string escaped;
        for (char c : out) {
            if (c == '\\' || c == '`' || c == '$') escaped += '\\';
            escaped += c;
        }
        out = std::move(escaped);
    }
    return out;
}

// Reads the template as /bin/sh will, and calls `onKey(at, context)` at each offset where a key
// may stand (every offset but those inside a key that was taken); `onKey` answers the length of
// the key it took there, or 0.  Quotes nest inside $( ), ( ) and ` `; an unescaped ` ends the
// innermost backquote substitution whatever quotes were opened inside it, as in the shell.
template <class OnKey>
void scanQuoting(std::string_view t, OnKey onKey) {
    enum class Frame : uint8_t { kTop, kSingle, kDouble, kParen, kBackquote };
    struct Open {
        Frame frame;
        int backquotes;
    };
    std::vector<Open> stack{{Frame::kTop, 0}};
    // The previous byte is a backslash: one that escapes this byte, or one that stays as a
    // backslash in double quotes.  Either way no key starts here: a value written after it
    // could begin with a byte that the backslash would then escape.
    bool escaped = false;
    bool comment = false;
    for (size_t i = 0; i < t.size(); ++i) {
        const Open top = stack.back();
        const char c = t[i];
        if (comment) {
            if (c == '\n') comment = false;
            continue;
        }
        const Quoting q = top.frame == Frame::kSingle   ? Quoting::kSingle
                          : top.frame == Frame::kDouble ? Quoting::kDouble
                                                        : Quoting::kBare;
        if (escaped) {
            escaped = false;
            (void)onKey(i, Context{Quoting::kNotAKey, top.backquotes});
            continue;
        }
        if (size_t len = onKey(i, Context{q, top.backquotes})) {
            i += len - 1;
            continue;
        }
        const bool dollarParen = c == '$' && i + 1 < t.size() && t[i + 1] == '(';
        if (c == '`' && top.backquotes > 0 && top.frame != Frame::kTop) {
            // The end of the innermost backquote substitution, whatever is open inside it.
            while (stack.back().frame != Frame::kBackquote) stack.pop_back();
            stack.pop_back();
            continue;
        }
        // A backslash escapes the next byte outside single quotes (inside double quotes only
        // before $ ` " \ and a line break, but no key starts after one there either), and inside
        // backquotes (at their level, single quotes too) before $ ` \.
        if (c == '\\' && i + 1 < t.size()) {
            const char next = t[i + 1];
            if (top.frame != Frame::kSingle || (top.backquotes > 0 && strchr("$`\\", next))) {
                escaped = true;
                continue;
            }
        }
        switch (top.frame) {
            case Frame::kSingle:
                if (c == '\'') stack.pop_back();
                break;
            case Frame::kDouble:
                if (c == '"')
                    stack.pop_back();
                else if (c == '`')
                    stack.push_back({Frame::kBackquote, top.backquotes + 1});
                else if (dollarParen)
                    stack.push_back({Frame::kParen, top.backquotes}), ++i;
                break;
            case Frame::kTop:
            case Frame::kParen:
            case Frame::kBackquote:
                if (c == '\'')
                    stack.push_back({Frame::kSingle, top.backquotes});
                else if (c == '"')
                    stack.push_back({Frame::kDouble, top.backquotes});
                else if (c == '`')
                    stack.push_back({Frame::kBackquote, top.backquotes + 1});
                else if (dollarParen || c == '(')
                    stack.push_back({Frame::kParen, top.backquotes}), i += dollarParen;
                else if (c == ')' && top.frame == Frame::kParen)
                    stack.pop_back();
                else if (c == '#' && (i == 0 || strchr(" \t\n;&|()", t[i - 1])))
                    comment = true;
                break;
        }
    }
}

// One place in the template where a key stands.
struct KeyPlace {
    size_t at;      // offset of the key in the template
    size_t length;  // the key's length
    size_t pair;    // index of the key in the substitution order
    Context where;
};

// The template with the values of the places marked `made` in place of their keys.
std::string assemble(std::string_view tmpl, const std::vector<KeyPlace>& places,
                     const std::vector<std::string>& made) {
    std::string out;
    size_t from = 0;
    for (size_t i = 0; i < made.size(); ++i) {
        out.append(tmpl.substr(from, places[i].at - from));
        out += made[i];
        from = places[i].at + places[i].length;
    }
    out.append(tmpl.substr(from));
    return out;
}

// Substitutes the keys of `pairs` where they stand in `tmpl` (any case).  Only the template is
// searched: a substituted value is never scanned again, so a key inside a value (a printer named
// "[PRINTER]") stays text.  Each value is written so that the shell reads it as it is where its
// key stands (see shellText).  The places are filled key by key in the order of `pairs`, each
// key from left to right, and the first one that would make the text grow by more than
// `maxGrowth` bytes ends the substitution: it and every place after it in that order keep
// their key.
std::string substituteKeys(std::string_view tmpl,
                           const std::pair<const char*, std::string>* pairs, size_t npairs,
                           size_t maxGrowth, bool& stopped) {
    const std::string utmpl = upper(tmpl);
    std::vector<KeyPlace> places;
    scanQuoting(tmpl, [&](size_t at, Context where) -> size_t {
        for (size_t k = 0; k < npairs; ++k) {
            const std::string_view key = pairs[k].first;
            if (utmpl.compare(at, key.size(), key) != 0) continue;
            if (where.quoting != Quoting::kNotAKey) places.push_back({at, key.size(), k, where});
            return key.size();
        }
        return 0;
    });
    std::vector<std::string> text(places.size());
    std::vector<bool> made(places.size(), false);
    ptrdiff_t growth = 0;  // goes below zero where a key is longer than its value
    for (size_t k = 0; k < npairs; ++k) {
        for (size_t i = 0; i < places.size(); ++i) {
            if (places[i].pair != k) continue;
            const std::string& v = pairs[k].second;
            // An empty value is a blank, which outside quotes leaves no word.
            text[i] = v.empty() ? std::string(" ") : shellText(v, places[i].where);
            const ptrdiff_t next = growth + static_cast<ptrdiff_t>(text[i].size()) -
                                   static_cast<ptrdiff_t>(places[i].length);
            if (next > static_cast<ptrdiff_t>(maxGrowth)) {
                stopped = true;
                goto done;
            }
            growth = next;
            made[i] = true;
        }
    }
done:
    for (size_t i = 0; i < places.size(); ++i)
        if (!made[i]) text[i] = std::string(tmpl.substr(places[i].at, places[i].length));
    return assemble(tmpl, places, text);
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
    // What the command writes is kept off the screen: its first line goes with the error on the
    // status line, all of it into the log.
    std::string output;
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
        status = platform::runShellCommandCaptured(cmd.text, output);
    } else {
        std::vector<std::string> argv{"lp"};
        const std::string dest = destinationOf(r);
        if (!dest.empty()) argv.insert(argv.end(), {"-d", dest});
        argv.insert(argv.end(), {"-n", std::to_string(r.copies)});
        if (raw) argv.insert(argv.end(), {"-o", "raw"});
        argv.push_back(file);
        for (const std::string& a : argv) shown += (shown.empty() ? "" : " ") + a;
        status = platform::runProgramCaptured(argv, output);
    }
    if (status != 0) {
        vxlog(2, "Spool command failed (status %d): %s; spool file kept: %s%s%s", status,
              shown.c_str(), file.c_str(), output.empty() ? "" : "; it wrote:\n", output.c_str());
        const size_t eol = output.find('\n');
        statusNoteErrorDetail(output.substr(0, eol));
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
    vxlog(kSpoolLogLevel, "Initial spoolcmd string %.*s", static_cast<int>(tmpl.size()),
          tmpl.data());
    const bool asWritten = !tmpl.empty() && tmpl[0] == '~';
    std::string body(tmpl.substr(asWritten ? 1 : 0));
    // The leading "@", "-W" and "-C" belong to the template: they are taken off before the keys
    // are replaced, so that a value at the start of the command is never read as one of them.
    std::string prefix = body;
    if (!body.empty() && body[0] == '@') {
        size_t n = 1;
        while (n < body.size() && body[n] == ' ') ++n;
        body.erase(0, n);
    }
    out.wait = takeOption(body, 'W');
    out.console = takeOption(body, 'C');
    prefix.resize(prefix.size() - body.size());
    if (!asWritten) {
        out.substituted = true;
        const std::pair<const char*, std::string> pairs[] = {
            {"[NAME=]", keys.name},
            {"[QUEUE]", spoolQueueOf(keys.name)},
            {"[PRINTER]", spoolPrinterOf(keys.name)},
            {"[COPIES]", std::to_string(keys.copies)},
            {"[SPOOLFILE]", keys.spoolFile},
            {"[PROGRAM]", lastComponent(keys.program)},
            {"[WSID]", std::to_string(keys.wsid)},
        };
        // A NUL byte cannot reach the shell: the command would end there, inside a quote.
        for (const auto& kv : pairs)
            if (kv.second.find('\0') != std::string::npos) return kErrBadName;
        body = substituteKeys(body, pairs, std::size(pairs), kMaxGrowth, out.stopped);
    }
    vxlog(kSpoolLogLevel, "Final spoolcmd string %s%s", prefix.c_str(), body.c_str());
    if (prefix.size() + body.size() > kMaxSpoolCommand) return kErrSpoolCommandTooLong;
    out.text = std::move(body);
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
    // A preview named by an earlier print is not this one's.
    if (statusText(kStatusFieldMessage).starts_with("Print preview in ")) statusShowMessage("");
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
    // A front end that prints itself (the window) takes the job: its own preview, or the
    // print dialog for WIN:.  The others get a PDF file.
    const int32_t flags = (optionOn(32) ? 1 : 0) | (optionOn(55) ? 2 : 0);
    const int32_t shown = terminalPrintJob(job.device_ == PrintDevice::kPreview ? 0 : 1, job.path_,
                                           flags, job.setup_.lpp);
    if (shown == 0) return removeQuietly(job.path_);
    if (shown != 1) return shown;  // the spool file stays, as when a PDF cannot be made
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

// ---- the printer device ----

namespace {
class PrinterStream final : public DeviceStream {
  public:
    explicit PrinterStream(std::unique_ptr<PrintJob> job) : job_(std::move(job)) {}
    int writeLine(std::string_view line, std::string_view lineEnd) override {
        return job_->write(line, lineEnd);
    }
    int finish(std::string& message) override { return finishPrintJob(*job_, message); }
    int linesPerPage() const override { return job_->linesPerPage(); }

  private:
    std::unique_ptr<PrintJob> job_;
};
}  // namespace

int openPrinterDevice(const DeviceRequest& request, std::unique_ptr<DeviceStream>& out) {
    PrintJobRequest r;
    r.name = request.name;
    r.copies = request.copies;
    r.printer = request.printer;
    r.printerType = request.printerType;
    std::unique_ptr<PrintJob> job;
    if (int err = openPrintJob(r, job)) return err;
    out = std::make_unique<PrinterStream>(std::move(job));
    return 0;
}

}  // namespace vxs
