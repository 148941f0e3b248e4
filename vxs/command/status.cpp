// The STATUS command: its keywords and options, and the report of the workstation, the loaded
// programs and the sections asked for (stacks, memory, files and their users, environment,
// break points, variables); the configuration sections come from statusconfig.cpp.  Every line
// goes through one ReportOutput, which may end the report early (the operator's attention key).
#include <strings.h>

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vxs/base/process.h"
#include "vxs/command/cmdshared.h"
#include "vxs/command/report.h"
#include "vxs/command/statusconfig.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/config/config.h"
#include "vxs/config/environment.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/errors/errors.h"
#include "vxs/form/dates.h"
#include "vxs/indexes/keyindex.h"
#include "vxs/interpreter/introspect.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/state.h"
#include "vxs/platform/os.h"
#include "vxs/registry/ktserver.h"
#include "vxs/registry/ktuser.h"
#include "vxs/screen/terminal.h"
#include "vxs/storage/file_os.h"

namespace vxs {

namespace {

enum StatusSection : uint32_t {
    kSecAttributes = 1u << 0, kSecBreakpoints = 1u << 1, kSecBtreeVerify = 1u << 2,
    kSecColors = 1u << 3, kSecConfig = 1u << 4, kSecDims = 1u << 5, kSecEnv = 1u << 6,
    kSecFiles = 1u << 7, kSecFonts = 1u << 8, kSecKeyboard = 1u << 9, kSecLibrary = 1u << 10,
    kSecLocks = 1u << 11, kSecMemory = 1u << 12, kSecPrinter = 1u << 13, kSecStacks = 1u << 14,
    kSecSubstitute = 1u << 15,
};
constexpr uint32_t kSecAll = kSecSubstitute | kSecFiles | kSecLibrary | kSecStacks | kSecLocks |
                             kSecAttributes | kSecKeyboard | kSecBtreeVerify | kSecPrinter |
                             kSecConfig | kSecEnv;

constexpr const char* kStatusWords[] = {
    "",          "ALL",   "ATTRIBUTES", "BREAKPOINTS", "BTREE_VERIFY", "COLORS",
    "CONFIG",    "DIMS",  "ENV",        "FILES",       "FONTS",        "KEYBOARD",
    "LIBRARY",   "LOCKS", "MEMORY",     "PRINTER",     "STACKS",       "SUBSTITUTE",
};
constexpr uint8_t kStatusCodes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
static_assert(std::size(kStatusWords) == std::size(kStatusCodes));
constexpr uint32_t kSectionOfCode[] = {
    0,          kSecAll,     kSecAttributes, kSecBreakpoints, kSecBtreeVerify, kSecColors,
    kSecConfig, kSecDims,    kSecEnv,        kSecFiles,       kSecFonts,       kSecKeyboard,
    kSecLibrary, kSecLocks,  kSecMemory,     kSecPrinter,     kSecStacks,      kSecSubstitute,
};

struct StatusRequest {
    uint32_t sections = 0;
    bool stacksReset = false;
    bool print = false;
    bool named = false;  // FILES or LOCKS took a file name
    std::string name;    // that name
    std::string output;  // "> file"
};

const KeywordTable& statusWords() {
    static const KeywordTable table(kStatusWords, kStatusCodes);
    return table;
}

int parseStatus(std::string_view args, StatusRequest& req) {
    std::vector<CommandWord> words;
    if (splitCommandWords(args, words)) return kErrUnrecognizedWord;
    bool haveOutput = false;
    auto isKeyword = [](const CommandWord& w) {
        return !w.quoted && statusWords().lookup(upperCase(w.text)) != 0;
    };
    for (size_t k = 0; k < words.size(); ++k) {
        const CommandWord& w = words[k];
        if (!w.quoted && w.text.starts_with('>')) {
            // ">file" or "> file".
            if (haveOutput) return kErrUnrecognized;
            std::string name = w.text.substr(1);
            if (name.empty()) {
                if (k + 1 >= words.size()) return kErrUnrecognizedWord;
                name = words[++k].text;
            }
            if (name.starts_with('>')) return kErrUnrecognizedWord;
            req.output = std::move(name);
            haveOutput = true;
            continue;
        }
        const std::string upper = upperCase(w.text);
        if (!w.quoted && upper == "-P") {
            req.print = true;
            continue;
        }
        const int position = w.quoted ? 0 : statusWords().lookup(upper);
        if (!position) return kErrUnrecognizedWord;
        const uint32_t section = kSectionOfCode[statusWords().code(position)];
        req.sections |= section;
        if (section == kSecStacks && k + 1 < words.size() && !words[k + 1].quoted &&
            upperCase(words[k + 1].text) == "RESET") {
            req.stacksReset = true;
            ++k;
        }
        // After FILES or LOCKS one word that is no keyword is a file name.
        if ((section == kSecFiles || section == kSecLocks) && k + 1 < words.size() && !req.named &&
            (words[k + 1].quoted || !words[k + 1].text.starts_with('>')) &&
            !isKeyword(words[k + 1])) {
            const std::string& name = words[++k].text;
            std::string path;
            if (name.empty() || (!isDeviceName(name) && mapFileName(name, path)))
                return kErrUnrecognizedWord;
            req.named = true;
            req.name = name;
        }
    }
    return 0;
}

// The report: printf-style pieces into the output, remembering when it was stopped.
class Report {
  public:
    explicit Report(ReportOutput& out) : out_(out) {}
    bool stopped() const { return result_ != 0; }
    int result() const { return result_ == kReportStopped ? 0 : result_; }
    bool put(std::string_view text) {
        if (result_) return false;
        result_ = out_.text(text);
        return result_ == 0;
    }
    bool putf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char buf[1024];
        va_list ap;
        va_start(ap, format);
        const int n = vsnprintf(buf, sizeof buf, format, ap);
        va_end(ap);
        if (n < 0) return put("");
        return put(std::string_view(buf, std::min(static_cast<size_t>(n), sizeof buf - 1)));
    }
    ReportSink sink() {
        return [this](std::string_view text) { return put(text); };
    }

  private:
    ReportOutput& out_;
    int result_ = 0;
};

// ---- header and programs ----

void reportHeader(Report& r) {
    const double clock = systemClock();
    const platform::LocalTime now = platform::localTimeAt(static_cast<int64_t>(std::floor(clock)));
    char date[32] = "";
    if (formatDate(dayNumber(now.year, now.month, now.day), "M/D/CY", date, sizeof date) < 0)
        date[0] = '\0';
    char line[128];
    snprintf(line, sizeof line, "    Date=%s   Time=        \n", date);
    // The time goes over the eight blanks after "Time=".
    char* at = strstr(line, "Time=") + 5;
    char time[16];
    snprintf(time, sizeof time, "%02d:%02d:%02d", now.hour, now.minute, now.second);
    memcpy(at, time, 8);
    r.putf("\nWSID=%3d", workstationId());
    r.put(line);
}

void reportPrograms(Report& r, bool withLibrary) {
    const pcb* pc = pchain.curpcb;
    r.putf("\nProgram ID %s\n", pc ? pc->progname : "");
    const CommandWork& w = commandWork();
    for (size_t k = w.procedures.size(); k-- > 0;) {
        const Procedure& p = w.procedures[k];
        r.putf("Procedure %d  Line %3d  %s\n", static_cast<int>(k + 1), static_cast<int>(p.next),
               p.name.c_str());
    }
    if (pc && programActive()) {
        const CommandInfo& ci = w.ci.back();
        const uint32_t number = ci.curline >= 0 && ci.curline < pc->linecnt
                                    ? pc->lineptr[static_cast<size_t>(ci.curline)].lineno()
                                    : 0;
        r.putf("\nCurrent Line=%05u:%02d", number,
               clauseNumberAt(lineCode(*pc, ci.curline), static_cast<size_t>(ci.clauseoffset)));
        const bool pending = pc->lasterror && pc->errorline >= 0 && pc->errorline < pc->linecnt;
        if (pending)
            r.putf("     Last Error=%04d     Error Line=%05u:%02d", pc->lasterror,
                   pc->lineptr[static_cast<size_t>(pc->errorline)].lineno(),
                   clauseNumberAt(lineCode(*pc, pc->errorline), static_cast<size_t>(pc->erroroffset)));
        r.put("\n");
        if (pending) r.putf("Last OS Error %d\n", lastOsError());
    }
    // The loaded programs, the main program first.
    std::vector<const pcb*> programs;
    for (const pcb* p = pchain.pcbhead; p; p = p->next)
        if (p->libmode == kLibNone) programs.insert(programs.begin(), p);
        else programs.push_back(p);
    for (const pcb* p : programs) {
        const bool main = p->libmode == kLibNone;
        const char* state = main ? (programActive() ? "ACTIVE" : "READY")
                            : p->activecalls > 0 ? "ACTIVE"
                            : p->librelease     ? "RELEASED"
                                                : "LOADED";
        const char* endMode = main ? "END"
                              : p->librelease ? "EXIT"
                              : p->libmode == kLibResident ? "RETAIN"
                                                           : "END";
        const int links = linkCount(p);
        r.putf("\n%-40s %-10s%-11s%-6s% 4d %s", p->progname,
               main ? "MAIN" : (p->libmode == kLibResident ? "RESIDENT" : "LIBRARY"), state,
               endMode, links, links == 1 ? "LINK" : "LINKS");
        if (!withLibrary || main) continue;
        for (const pcb* q = pchain.pcbhead; q; q = q->next)
            for (const LibLink& link : q->liblinks)
                if (link.lib == p)
                    r.putf("\n     %-30s  %s", dictName(*q, link.fn).c_str(), q->progname);
        r.put("\n");
    }
    r.put("\n");
}

// ---- stacks and memory ----

void reportStacks(Report& r, bool reset) {
    r.putf("\n%-11.11s %13.13s %13.13s %13.13s %13.13s\n", "Resource", "Max", "In Use",
           "Available", "Max Used");
    for (const StackUse& s : stackUse())
        r.putf("%-11.11s %13lu %13lu %13lu %13lu\n", s.name, static_cast<unsigned long>(s.max),
               static_cast<unsigned long>(s.inUse), static_cast<unsigned long>(s.max - s.inUse),
               static_cast<unsigned long>(s.maxUsed));
    // The call chain of the stopped program.
    const pcb* pc = pchain.curpcb;
    if (pc && programActive()) {
        const CommandInfo& ci = commandWork().ci.back();
        if (ci.curline >= 0 && ci.curline < pc->linecnt)
            r.putf("current  line %05u:%02d, program %s\n",
                   pc->lineptr[static_cast<size_t>(ci.curline)].lineno(),
                   clauseNumberAt(lineCode(*pc, ci.curline), static_cast<size_t>(ci.clauseoffset)),
                   pc->progname);
        for (const CallerLine& c : callChain()) {
            r.putf("called by line %05u:%02d, program %s", c.line, c.clause, c.program.c_str());
            if (c.function.empty()) r.put(" in a GOSUB routine\n");
            else r.putf(" in function %s \n", c.function.c_str());
        }
    }
    if (reset) resetStackMarks();
}

void reportMemory(Report& r) {
    uint64_t code = 0, data = 0;
    for (const pcb* p = pchain.pcbhead; p; p = p->next) {
        code += p->codearea.size() + p->sourcearea.size() +
                static_cast<uint64_t>(p->linecnt) * sizeof(linetbl);
        data += dictionaryBytes(*p);
    }
    r.putf("\nAvailable Memory %8ld\n", static_cast<long>(platform::availableMemory()));
    r.putf("   Used For Code %8ld\n", static_cast<long>(code));
    r.putf("   Used For Data %8ld\n", static_cast<long>(data));
}

// ---- files and their users ----

const char* shareKind(int shareClass) {
    static constexpr const char* kKinds[] = {"NOSHR", "INSHRI", "OUTSHRI", "INSHR", "OUTSHR"};
    return shareClass >= 0 && shareClass < 5 ? kKinds[shareClass] : "?";
}

// The users of the file at `path` (an operating-system path); `shown` is the name as the
// report shows it.
void reportUsers(Report& r, const std::string& path, const std::string& shown) {
    r.putf("\n\nCurrent Users of %s\n\n", shown.c_str());
    std::vector<FileUser> users;
    std::vector<int64_t> locked;
    if (ktFileUsers(path, users, locked, 1000)) {
        r.putf("\nKT was unable to generate a list of %s users\n", shown.c_str());
        return;
    }
    r.putf("%-10s%-5s%-9s %-53s\n", "Share/Res", "WSID", "Open Ses.", "Login Name");
    r.put("--------- ---- --------- ----------\n");
    // A reservation of this process shows as such, not as the NOSHR marker it holds.
    int reservedBy = 0;
    for (const auto& [reserved, state] : ktReservations())
        if (reserved == path) reservedBy = sessionDigit();
    if (users.empty()) {
        r.put("  No file users detected\n");
        return;
    }
    for (const FileUser& u : users) {
        std::string login;
        if (ktReadUserRecord(u.wsid, login)) login.clear();
        char kind[16];
        if (reservedBy && u.shareClass == KTS_NOSHR && u.wsid == workstationId())
            snprintf(kind, sizeof kind, "RES(s. %d)", reservedBy);
        else
            snprintf(kind, sizeof kind, "%s", shareKind(u.shareClass));
        r.putf("%-10s%4d %-9s %-53s\n", kind, u.wsid, u.sessions.c_str(), login.c_str());
    }
    // The records locked in the file, by whichever copy.
    for (int64_t n : locked) r.putf("     Record Locked   Pos=%6ld\n", static_cast<long>(n));
}

// Whether an open file answers to `name`: its name as opened, or the same path.
bool fileMatches(const Ufcb& u, const std::string& name, const std::string& path) {
    if (strcasecmp(u.name.c_str(), name.c_str()) == 0) return true;
    return u.uffcb && !path.empty() && u.uffcb->path == path;
}

const char* keyFileKind(const Fcb& k) {
    if (k.type != kFileBtreeKeys) return "Key";
    return k.btreeVersion >= 2 ? "Btree2 Key" : "Btree Key";
}

void reportOpenFile(Report& r, const Ufcb& u) {
    r.putf("\nOpen File #%3d  %s\n", u.ufnbr, u.name.c_str());
    std::string kinds;
    switch (u.uftype) {
        case kFileWindow: kinds += "Window,"; break;
        case kFileAsync: kinds += "Async,"; break;
        case kFileDisplay: kinds += "Display,"; break;
        case kFileInternal: kinds += "Internal,"; break;
        default: kinds += "External,"; break;
    }
    if (u.uftype != kFileWindow) {
        kinds += u.access == kAccessKeyed      ? "Keyed,"
                 : u.access == kAccessRelative ? "Relative,"
                                               : "Sequential,";
        kinds += u.mode == kModeOutput ? "Output," : u.mode == kModeOutin ? "Outin," : "Input,";
        kinds += u.shareClass == 0 ? "Noshr" : (u.shareClass == 1 || u.shareClass == 2) ? "Shri" : "Shr";
        if (u.uffcb && u.uffcb->version) {
            char v[24];
            snprintf(v, sizeof v, ",Version=%d", u.uffcb->version);
            kinds += v;
        }
    }
    r.putf("     %s\n", kinds.c_str());
    if (u.uftype == kFileWindow) {
        // The window's place as its open string gave it (the keywords keep their "=").
        auto value = [&u](const char* keyword) {
            for (const auto& [k, v] : u.windowAttributes)
                if (strcasecmp(k.c_str(), keyword) == 0) return atoi(v.c_str());
            return 0;
        };
        r.putf("     %s  SROW=%2d, SCOL=%2d, EROW=%2d, ECOL=%2d, PARENT=#%3d:\n", u.name.c_str(),
               value("SROW="), value("SCOL="), value("EROW="), value("ECOL="), value("PARENT="));
        return;
    }
    const Fcb* f = u.uffcb;
    if (!f) return;
    const bool display = u.uftype == kFileDisplay;
    r.putf("     %s Recl=%4d  Current%s=%4ld\n", f->path.c_str(), static_cast<int>(u.ufreclen),
           display ? " Pos" : " Rec",
           display ? static_cast<long>(u.bytePosition) : static_cast<long>(u.position));
    if (const Fcb* k = u.ufkbfcb) {
        r.putf("  %s File  %s\n", keyFileKind(*k), k->path.c_str());
        for (int p = 0; p < k->keyParts && p < kMaxKeyParts; ++p) {
            const KeyPart& part = k->keys[p];
            char label[16];
            snprintf(label, sizeof label, "Part %d", p + 1);
            r.putf("     %s Field   Pos=%5d    Length=%3d%c%c%c%c\n", label, part.start,
                   part.length, part.flags & kKeyUpper ? 'U' : ' ', part.flags & kKeyYear ? 'Y' : ' ',
                   part.flags & kKeyBinary ? 'B' : ' ', part.flags & kKeyPacked ? 'P' : ' ');
        }
    }
    bool any = false;
    for (int64_t n : u.uflocked)
        if (n >= 0) {
            r.putf("     Record Locked   Pos=%6ld\n", static_cast<long>(n));
            any = true;
        }
    if (!any) r.put("     No Records Locked\n");
}

void reportDrives(Report& r) {
    r.put("\nVXCONFIG Drive Assignments:\n");
    // Column widths from the longest entries.
    size_t wPath = 4, wDir = 9, wShare = 11;
    std::vector<std::pair<char, const DriveEntry*>> drives;
    for (char c = 'A'; c <= 'Z'; ++c)
        if (const DriveEntry* d = driveEntry(c); d && !d->osDirectory.empty()) {
            drives.emplace_back(c, d);
            wPath = std::max(wPath, d->current.size() + 2);
            wDir = std::max(wDir, d->osDirectory.size());
        }
    const int a = static_cast<int>(std::min<size_t>(wPath, 200));
    const int b = static_cast<int>(std::min<size_t>(wDir, 400));
    const int c = static_cast<int>(wShare);
    char format[96];
    snprintf(format, sizeof format, "%%-%d.%ds %%-%d.%ds %%-%d.%ds %%-%d.%ds\n", 5, 5, a, a, b, b, c, c);
    r.putf(format, "", "Logical", "Physical", "");
    r.putf(format, "Drive", "Path", "Directory", "Shared Name");
    snprintf(format, sizeof format, "%%c:%*s %%-%d.%ds %%-%d.%ds %%-%d.%ds\n", 3, "", a, a, b, b, c, c);
    for (const auto& [letter, d] : drives) {
        const std::string logical = std::string(1, letter) + ":" + d->current;
        r.putf(format, letter, logical.c_str(), d->osDirectory.c_str(), "");
    }
    r.putf("Current drive %c:\n", defaultDrive() ? defaultDrive() : 'C');
}

void reportFiles(Report& r, const std::string& only) {
    std::string onlyPath;
    if (!only.empty() && !isDeviceName(only) && mapFileName(only, onlyPath)) onlyPath.clear();
    if (only.empty()) {
        char exe[kVxMaxPath] = "";
        if (!platform::moduleFileName(exe, sizeof exe)) exe[0] = '\0';
        r.putf("\nServer File: %s", ktServerPath().c_str());
        r.putf("\nVX Config File: %s", configFileName().c_str());
        r.putf("\nExecutable File: %s", exe);
        r.putf("\nWorkfile path: %s", workPath().c_str());
        r.putf("\nHelp path: %s", helpFile().c_str());
        reportDrives(r);
    }
    bool any = false;
    for (const Ufcb* u = fileBlocks().first(); u && !r.stopped(); u = u->next) {
        if (u->ufnbr == 0) continue;
        if (!only.empty() && !fileMatches(*u, only, onlyPath)) continue;
        reportOpenFile(r, *u);
        any = true;
    }
    if (!any) r.put("\nNo Files Are Open\n");
    if (!only.empty()) return;
    int shown = 0;
    for (const auto& [path, state] : ktReservations()) {
        if (++shown > 500) break;
        std::string name;
        if (unmapFileName(path, name)) name = path;
        r.putf("Filename Reserved  %s\n", name.c_str());
    }
    const OsRetryCounts& retries = osFiles().retries();
    const int64_t counts[] = {retries.open, retries.seek,  retries.read,
                              retries.write, retries.lock, retries.unlock};
    static constexpr const char* kOps[] = {"open", "seek", "read", "write", "lock", "unlock"};
    int64_t total = 0;
    for (int64_t n : counts) total += n;
    r.putf("Number of I/O retries: %lu\n", static_cast<unsigned long>(total));
    r.put("Retry Detail:");
    for (size_t k = 0; k < std::size(counts); ++k)
        r.putf(" %6dx %s", static_cast<int>(counts[k]), kOps[k]);
    r.put("\n");
    const LockFailure& failure = lastLockFailure();
    if (failure.error) {
        r.put("  Failed Errno\n");
        r.putf("  %6d %5d  lock at %" PRId64 " length %" PRId64 " (caller %d)\n", failure.error,
               failure.error, failure.offset, failure.length, failure.callerId);
    }
}

// The users of the open files named `name` (or, when none is open, of the file it names).
void reportLocksOf(Report& r, const std::string& name) {
    std::string path;
    if (!isDeviceName(name) && mapFileName(name, path)) path.clear();
    bool any = false;
    for (const Ufcb* u = fileBlocks().first(); u && !r.stopped(); u = u->next) {
        if (u->ufnbr == 0 || !u->uffcb || !fileMatches(*u, name, path)) continue;
        reportUsers(r, u->uffcb->path, u->name);
        any = true;
    }
    if (!any && !path.empty()) reportUsers(r, path, name);
    else if (!any) r.putf("\nKT was unable to generate a list of %s users\n", name.c_str());
}

// ---- environment, break points, variables ----

void reportEnvironment(Report& r) {
    for (const EnvironmentEntry& e : environmentTable()) {
        // A value that would not fit on a report line is not shown.
        if (e.value.size() > 200)
            r.putf("ENV$(\"%s\") is \"%s\"\n", e.name.c_str(), "VALUE TOO LONG");
        else
            r.putf("ENV$(\"%s\") is \"%s\"\n", e.name.c_str(), e.value.c_str());
    }
}

void reportBreakpoints(Report& r) {
    r.put("Persistent break points:\n");
    for (const pcb* p = pchain.pcbhead; p && !r.stopped(); p = p->next) {
        const bool current = p == pchain.curpcb;
        if (p->breakpoints.empty() && (!current || t.watches.empty())) continue;
        r.putf("break points in program %s:\n", p->progname);
        for (const pcb::BreakPoint& b : p->breakpoints)
            if (!b.oneShot) r.putf("BREAK LINE %05u:%02d\n", b.line, b.clause);
        if (!current) continue;
        for (const Watch& w : t.watches)
            r.putf(w.display ? "DISPLAY VARIABLE %s\n" : "BREAK VARIABLE %s\n",
                   dictName(*p, w.index).c_str());
    }
}

void reportDims(Report& r) {
    const pcb* pc = pchain.curpcb;
    DimsReport d;
    if (pc) d = dimsReport(*pc);
    r.put("\nUndimmed variables\n");
    for (const std::string& n : d.undimmed) r.putf("%s\n", n.c_str());
    r.put("\nUnreferenced\n");
    for (const std::string& n : d.unreferenced) r.putf("%s\n", n.c_str());
    r.put("Duplicates\n");
    for (const std::string& n : d.duplicates) r.putf("%s\n", n.c_str());
}

void reportFonts(Report& r) {
    r.put("\nFonts\n");
    const DisplayConfig& d = displayConfig();
    if (d.fonts.empty()) r.put("FONT is not set: the terminal's own font is used\n");
    for (const std::string& f : d.fonts) r.putf("FONT %s\n", f.c_str());
    if (d.minFontWidth || d.minFontHeight)
        r.putf("MIN_FONTSIZE %dx%d\n", d.minFontWidth, d.minFontHeight);
    // What the front end draws in now (the window: the console's and the status line's).
    r.put(terminalFonts());
}

void runReport(Report& r, const StatusRequest& req) {
    const uint32_t s = req.sections;
    if (req.named) {
        if (s & kSecFiles) reportFiles(r, req.name);
        if (s & kSecLocks) reportLocksOf(r, req.name);
        return;
    }
    reportHeader(r);
    reportPrograms(r, s & kSecLibrary);
    if (s & kSecStacks) reportStacks(r, req.stacksReset);
    if (s & kSecMemory) reportMemory(r);
    if (s & kSecLocks) {
        const std::string& remembered = ktLockedPath();
        if (!remembered.empty()) reportLocksOf(r, remembered);
    }
    const ReportSink sink = r.sink();
    if (s & kSecFonts) reportFonts(r);
    if (s & kSecConfig) reportConfigSection(sink);
    if (s & kSecEnv) reportEnvironment(r);
    if (s & kSecBreakpoints) reportBreakpoints(r);
    if (s & kSecAttributes) reportAttributesSection(sink);
    if (s & kSecPrinter) reportPrinterSection(sink);
    if (s & kSecBtreeVerify) reportBtreeVerifySection(sink);
    if (s & kSecKeyboard) reportKeyboardSection(sink);
    if (s & kSecDims) reportDims(r);
    if (s & kSecColors) reportColorsSection(sink);
    if (s & kSecFiles) reportFiles(r, {});
    if (s & kSecSubstitute) reportSubstituteSection(sink);
}

}  // namespace

int commandStatus(std::string_view args) {
    StatusRequest req;
    if (int err = parseStatus(args, req)) return err;
    ReportOutput out;
    if (!req.output.empty()) {
        if (isDeviceName(req.output) && deviceOfName(req.output) != Device::kPrinter)
            return kErrUnrecognizedWord;
        if (int err = out.redirect(req.output, false)) return err;
    } else if (req.print) {
        if (int err = out.toPrinter()) return err;
    }
    Report r(out);
    runReport(r, req);
    const int closed = out.close();
    return r.result() ? r.result() : closed;
}

}  // namespace vxs
