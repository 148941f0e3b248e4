// The commands on operating-system files and directories: COPY, RENAME, FREE, DROP, DIR, TYPE,
// CHDIR, MKDIR, RMDIR and VERIFY.  It owns their parsing (names, options, redirections), the
// expansion of wild-card names, confirmation, the DIR listing formats, and the safe copy (written
// beside the target and renamed over it only when complete).
#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/command/cmdshared.h"
#include "vxs/command/report.h"
#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/journal.h"
#include "vxs/datafiles/header.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/utilities/utility.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

// File numbers of the utilities' range under which DROP opens a data file (a key file by
// itself is always number 202).
constexpr int kDropDataNumber = 299;
constexpr int kDropKeyNumber = 202;
constexpr size_t kCopyBlock = 65536;

// Status-line texts of the failures a file command reports.
const char* failureText(int error) {
    switch (error) {
        case kErrSharing: return " File Sharing Violation";
        case kErrFileNotFound: return " File Not Found";
        case kErrPathNotFound: return " Path Name Not Found";
        case kErrAccessDenied: return " Access Denied";
        case kErrBadName: return " Bad Drive Specified";
        case kErrNotSameDevice: return " Not The Same Device";
        case kErrDriveNotReady: return " Drive Not Ready";
        case kErrCopyToItself: return " Cannot Copy To Itself";
        default: return nullptr;
    }
}

bool hasWildCards(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

// The path up to its last "/" ("" when it has none) and the last part.
void splitPath(const std::string& path, std::string& dir, std::string& last) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        dir.clear();
        last = path;
    } else {
        dir = path.substr(0, slash + 1);
        last = path.substr(slash + 1);
    }
}

// A name's base and extension: split at its last "." (a name that only begins with "." has
// none).
void splitExtension(std::string_view name, std::string_view& base, std::string_view& ext) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        base = name;
        ext = {};
    } else {
        base = name.substr(0, dot);
        ext = name.substr(dot + 1);
    }
}

// One part (base or extension) of a wild-card destination: "?" takes the source's character at
// that place, "*" the rest of the source's part; other characters stand for themselves.
std::string composePart(std::string_view pattern, std::string_view source) {
    std::string out;
    size_t i = 0;
    for (char c : pattern) {
        if (c == '*') {
            if (i < source.size()) out.append(source.substr(i));
            return out;
        }
        if (c == '?') {
            if (i < source.size()) out += source[i];
        } else {
            out += c;
        }
        ++i;
    }
    return out;
}

}  // namespace

// The destination name that a wild-card pattern gives a source name ("*.bak" and "a.dat" give
// "a.bak").  Exposed for the tests.
std::string composeDestinationName(std::string_view pattern, std::string_view source) {
    if (pattern == "*" || pattern == "*.*") return std::string(source);
    std::string_view pbase, pext, sbase, sext;
    splitExtension(pattern, pbase, pext);
    splitExtension(source, sbase, sext);
    std::string out = composePart(pbase, sbase);
    if (pattern.find('.') != std::string_view::npos && !pattern.ends_with('.')) {
        const std::string ext = composePart(pext, sext);
        if (!ext.empty()) out += "." + ext;
    }
    return out;
}

// One line of the DIR listing's default form: base name at column 1, extension at 11, size or
// directory mark at 15, date and time at 27, the long name at 46 (`longName`); with
// `permissions` the nine permission characters and a blank come first.  Exposed for the tests.
std::string directoryLine(const platform::DirEntry& e, bool longName, bool permissions) {
    std::string line;
    if (permissions) {
        static const char kRights[] = "rwx";
        for (int bit = 8; bit >= 0; --bit)
            line += (e.info.permissions >> bit) & 1 ? kRights[(8 - bit) % 3] : '-';
        line += ' ';
    }
    std::string_view base, ext;
    splitExtension(e.name, base, ext);
    char field[64];
    snprintf(field, sizeof field, "%-10.10s%-4.3s", std::string(base).c_str(),
             std::string(ext).c_str());
    line += field;
    if (e.info.isDirectory) {
        line += " <DIR>      ";
    } else {
        int64_t size = e.info.size;
        const char* unit = "  ";
        if (size > 999999999) {
            size >>= 20;
            unit = "MB";
        } else if (size >= 1000000) {
            size >>= 10;
            unit = "KB";
        }
        snprintf(field, sizeof field, "%8" PRId64 " %s ", size, unit);
        line += field;
    }
    const platform::LocalTime t = platform::localTimeAt(e.info.modified);
    const int hour = t.hour % 12 == 0 ? 12 : t.hour % 12;
    snprintf(field, sizeof field, "%02u/%02u/%02u  %2u:%02u%c  ", static_cast<unsigned>(t.month),
             static_cast<unsigned>(t.day), static_cast<unsigned>(t.year % 100),
             static_cast<unsigned>(hour), static_cast<unsigned>(t.minute), t.hour < 12 ? 'a' : 'p');
    line += field;
    if (longName) {
        line += ' ';
        line.append(e.name.substr(0, 32));
    }
    return line;
}

namespace {

// What a file name stands for once expanded: the path to use and the name to show.
struct Match {
    std::string path;
    std::string shown;
    std::string name;  // the last part
    platform::FileInfo info;
};

struct Options {
    bool a = false, b = false, c = false, d = false, f = false, l = false, n = false, o = false,
         p = false, s = false, u = false, v = false, w = false;
    bool numberGiven = false;
    uint32_t number = 0;
};

class FileCommand {
  public:
    explicit FileCommand(int code) : code_(code) {}
    int run(std::string_view args);

  private:
    int parse(std::string_view args);
    int body();
    int copyOrRename();
    int freeOrDrop();
    int directory();
    int type();
    int changeDirectory();
    int makeOrRemoveDirectory();

    // A failure on `name`: kept as the last file error, its text on the status line (unless N).
    int fail(int error, std::string_view name);
    // A report line: 0, an error, or kReportStopped.
    int report(std::string_view line);
    // 1 to go on with the file, 0 to skip it, kReportStopped to end the command.
    int confirm(const std::string& shown, const char* question);
    // Whether the operator pressed the attention key since the last look.
    bool interrupted();
    int expand(const std::string& typed, bool filesOnly, std::vector<Match>& out,
               std::string& failedName);
    int copyOne(const Match& src, const std::string& dest);
    int renameOne(const Match& src, const std::string& dest);
    int freeOne(const Match& m);
    int dropOne(const Match& m);

    int code_;
    ReportOutput out_;
    Options opt_;
    std::string first_, second_;
    bool haveFirst_ = false, haveSecond_ = false;
    bool all_ = false;        // the operator answered A
    std::string failedName_;  // the file a copy or rename failed on
};

int FileCommand::run(std::string_view args) {
    int err = parse(args);
    if (!err) {
        err = body();
        if (err == kReportStopped) err = 0;
    }
    // The redirected output is closed whatever happened.
    const int closed = out_.close();
    return err ? err : closed;
}

int FileCommand::parse(std::string_view args) {
    std::vector<CommandWord> words;
    if (int err = splitCommandWords(args, words)) return err;
    size_t i = 0;
    auto isOptionOrTarget = [](const CommandWord& w) {
        return !w.quoted && (w.text.starts_with('>') || w.text.starts_with('-'));
    };
    if (i < words.size() && !isOptionOrTarget(words[i]) &&
        !(!words[i].quoted && upperCase(words[i].text) == "PRINT")) {
        first_ = words[i++].text;
        haveFirst_ = true;
    }
    if ((code_ == CmdCopy || code_ == CmdRename) && haveFirst_ && i < words.size() &&
        !isOptionOrTarget(words[i])) {
        second_ = words[i++].text;
        haveSecond_ = true;
    }
    // Options and redirections; the redirection is opened once all words are known good.
    bool redirect = false, append = false, printer = false;
    std::string target;
    for (; i < words.size(); ++i) {
        const CommandWord& w = words[i];
        if (!w.quoted && w.text.starts_with('-')) {
            bool inNumber = false;
            for (char ch : std::string_view(w.text).substr(1)) {
                if (ch >= '0' && ch <= '9') {
                    if (!opt_.numberGiven || inNumber) {
                        if (opt_.number > 99999999) return kErrUnrecognized;
                        opt_.number = opt_.number * 10 + static_cast<uint32_t>(ch - '0');
                        inNumber = true;
                    }
                    continue;
                }
                if (inNumber) opt_.numberGiven = true;
                inNumber = false;
                switch (std::toupper(static_cast<unsigned char>(ch))) {
                    case 'A': opt_.a = true; break;
                    case 'B': opt_.b = true; break;
                    case 'C': opt_.c = true; break;
                    case 'D': opt_.d = true; break;
                    case 'F': opt_.f = true; break;
                    case 'L': opt_.l = true; break;
                    case 'N': opt_.n = true; break;
                    case 'O': opt_.o = true; break;
                    case 'P': opt_.p = true; break;
                    case 'S': opt_.s = true; break;
                    case 'U': opt_.u = true; break;
                    case 'V': opt_.v = true; break;
                    case 'W': opt_.w = true; break;
                    default: return kErrUnrecognized;
                }
            }
            if (inNumber) opt_.numberGiven = true;
            continue;
        }
        if (!w.quoted && w.text.starts_with('>')) {
            if (redirect) return kErrFileOpen;
            redirect = true;
            append = w.text.starts_with(">>");
            target = w.text.substr(append ? 2 : 1);
            // "> name": the name is the next word.
            if (target.empty()) {
                if (++i >= words.size()) return kErrUnrecognized;
                target = words[i].text;
            }
            continue;
        }
        if (!w.quoted && upperCase(w.text) == "PRINT") {
            if (redirect) return kErrFileOpen;
            redirect = printer = true;
            continue;
        }
        return kErrUnrecognized;
    }
    if (opt_.v) opt_.n = false;
    if (redirect) {
        if (int err = printer ? out_.toPrinter() : out_.redirect(target, append)) return err;
    }
    out_.setPaging(opt_.p);
    return 0;
}

int FileCommand::body() {
    switch (code_) {
        case CmdCopy:
        case CmdRename: return copyOrRename();
        case CmdFree:
        case CmdDrop: return freeOrDrop();
        case CmdDir: return directory();
        case CmdType: return type();
        case CmdChdir: return changeDirectory();
        case CmdMkdir:
        case CmdRmdir: return makeOrRemoveDirectory();
        case CmdVerify: return report("Verify is always on.");
        default: return kErrNotFileCommand;
    }
}

int FileCommand::fail(int error, std::string_view name) {
    if (error <= 0) return error;
    setLastFileErrorName(name);
    if (!opt_.n)
        if (const char* text = failureText(error)) statusNoteErrorText(text);
    return error;
}

int FileCommand::report(std::string_view line) {
    if (opt_.n) return 0;
    return out_.line(line);
}

int FileCommand::confirm(const std::string& shown, const char* question) {
    if (!opt_.v || all_) return 1;
    // The question goes to the console even when the report is redirected.
    consoleOutput(shown + question);
    for (;;) {
        const int32_t key = keyboardRequest(2, 0);
        if (key < 0 || key == kKeyAttention) return kReportStopped;
        switch (key) {
            case 'y':
            case 'Y': return 1;
            case 'n':
            case 'N': return 0;
            case 'a':
            case 'A': all_ = true; return 1;
            default: break;  // other keys are not an answer
        }
    }
}

bool FileCommand::interrupted() {
    return keyboardRequest(9, 0) == kKeyAttention;
}

int FileCommand::expand(const std::string& typed, bool filesOnly, std::vector<Match>& out,
                        std::string& failedName) {
    out.clear();
    failedName = typed;
    std::string path;
    if (int err = mapFileName(typed, path)) return err;
    if (isDeviceName(path)) return kErrBadName;
    std::string dir, last;
    splitPath(path, dir, last);
    if (!hasWildCards(last)) {
        Match m;
        if (int err = platform::pathInfo(path, m.info)) return err;
        if (filesOnly && m.info.isDirectory) return kErrAccessDenied;
        m.path = path;
        m.shown = path;
        m.name = last;
        out.push_back(std::move(m));
        return 0;
    }
    std::vector<platform::DirEntry> entries;
    if (int err = platform::listDirectory(dir.empty() ? "." : dir, last, entries)) return err;
    for (platform::DirEntry& e : entries) {
        if (filesOnly && e.info.isDirectory) continue;
        Match m;
        m.path = dir + e.name;
        m.shown = m.path;
        m.name = std::move(e.name);
        m.info = e.info;
        out.push_back(std::move(m));
    }
    return out.empty() ? kErrFileNotFound : 0;
}

// ---- COPY and RENAME ----

int FileCommand::copyOrRename() {
    if (!haveFirst_ || !haveSecond_) return kErrUnrecognized;
    const bool copy = code_ == CmdCopy;
    std::vector<Match> sources;
    std::string failed;
    if (int err = expand(first_, copy, sources, failed)) return fail(err, failed);
    std::string destPath;
    if (int err = mapFileName(second_, destPath)) return fail(err, second_);
    if (isDeviceName(destPath)) return fail(kErrBadName, second_);
    std::string destDir, destLast;
    splitPath(destPath, destDir, destLast);
    platform::FileInfo destInfo;
    const bool intoDirectory =
        destLast.empty() || destLast == "." || destLast == ".." ||
        (platform::pathInfo(destPath, destInfo) == 0 && destInfo.isDirectory);
    for (size_t k = 0; k < sources.size(); ++k) {
        const Match& src = sources[k];
        if (k > 0 && interrupted()) return 0;
        std::string dest;
        if (intoDirectory)
            dest = destPath + (destPath.ends_with('/') ? "" : "/") + src.name;
        else if (hasWildCards(destLast))
            dest = destDir + composeDestinationName(destLast, src.name);
        else
            dest = destPath;
        // The same file under both names: nothing to do, and a copy would destroy it.
        std::string fullSrc, fullDest;
        platform::FileInfo existing;
        const bool destExists = platform::pathInfo(dest, existing) == 0;
        if ((osFullPath(src.path, fullSrc) == 0 && osFullPath(dest, fullDest) == 0 &&
             fullSrc == fullDest) ||
            (destExists && existing.device == src.info.device && existing.inode == src.info.inode))
            return fail(kErrCopyToItself, src.shown);
        statusShowMessage(src.shown);
        const int answer = confirm(src.shown, copy ? " Copy? (y/n/all) " : " Rename? (y/n/all) ");
        if (answer == kReportStopped) return 0;
        if (answer == 0) continue;
        const std::string line = src.shown + (copy ? " copied to   " : " renamed to  ") + dest;
        if (int err = report(line)) return err;
        for (;;) {
            const int err = copy ? copyOne(src, dest) : renameOne(src, dest);
            if (err == kErrDiskFull && copy && opt_.c) {
                consoleOutput("\aDiskette full. Mount next diskette and press any key.");
                const int32_t key = keyboardRequest(2, 0);
                if (key < 0 || key == kKeyAttention) return fail(err, failedName_);
                continue;
            }
            if (err) return fail(err, failedName_);
            break;
        }
    }
    return 0;
}

// A file held with a share marker of class 0 for as long as this object lives, so that no other
// copy of the system opens it meanwhile; refused with 4148 while another copy has it open.
class ShareGuard {
  public:
    ShareGuard() = default;
    ~ShareGuard() { release(); }
    ShareGuard(const ShareGuard&) = delete;
    ShareGuard& operator=(const ShareGuard&) = delete;
    int take(const std::string& path, int access = kOsRead, int creation = kOsOpenExisting) {
        if (int err = ktFileShareSet(path, access, creation, KTS_NOSHR, handle_)) return err;
        // A lock held below the lock area means the file is in use too, though not as a data
        // file: the workstation registry, a file another program locks.
        bool held = false;
        int err = osFiles().test(handle_, 0, ktUpdateLockOffset(), held);
        if (!err && held) err = kErrSharing;
        if (err) release();
        return err;
    }
    int handle() const { return handle_; }
    void release() {
        if (handle_ > 0) (void)ktFileShareRelease(handle_);
        handle_ = 0;
    }

  private:
    int handle_ = 0;
};

// A plain handle closed when this object goes.
class PlainHandle {
  public:
    ~PlainHandle() {
        if (handle > 0) (void)osClose(handle);
    }
    int handle = 0;
};

int FileCommand::copyOne(const Match& src, const std::string& dest) {
    // The copy is of a whole file: what a dead copy left half done in it is finished first.
    finishJournalsAbout(src.path);
    // The source: checked against other copies' opens unless S says not to.
    failedName_ = src.shown;
    ShareGuard sourceGuard;
    PlainHandle plainSource;
    int in = 0;
    if (opt_.s) {
        if (int err = osOpen(src.path, kOsRead, kOsOpenExisting, plainSource.handle)) return err;
        in = plainSource.handle;
    } else {
        if (int err = sourceGuard.take(src.path)) return err;
        in = sourceGuard.handle();
    }
    // An existing target is held too, so nobody has it open while it is replaced; a read-only
    // one is not replaced.
    failedName_ = dest;
    ShareGuard targetGuard;
    platform::FileInfo info;
    if (platform::pathInfo(dest, info) == 0) {
        if (info.readOnly) return kErrAccessDenied;
        if (int err = targetGuard.take(dest)) return err;
    }
    // Written beside the target and renamed over it only once complete.
    const std::string temporary = utilityTemporaryPath(dest);
    int out = 0;
    if (int err = osOpen(temporary, kOsReadWrite, kOsReplace, out)) return err;
    int err = 0;
    std::vector<uint8_t> buffer(kCopyBlock);
    for (;;) {
        size_t got = 0;
        if ((err = osRead(in, buffer.data(), buffer.size(), got)) != 0 || got == 0) break;
        if ((err = osWrite(out, buffer.data(), got)) != 0) break;
    }
    if (!err) err = osSync(out);
    const int closed = osClose(out);
    if (!err) err = closed;
    // The copy keeps the source's time, as a listing shows it.
    if (!err) (void)osSetFileTime(temporary, src.info.modified);
    if (!err) err = osRename(temporary, dest, true);
    if (err) (void)osDelete(temporary);
    // With changes put on the disk, the copy's name is too.
    if (!err && configLimits().syncWrites) err = platform::syncDirectory(directoryOf(dest));
    return err;
}

int FileCommand::renameOne(const Match& src, const std::string& dest) {
    // F replaces an existing target; otherwise an existing target is 4150.
    failedName_ = dest;
    platform::FileInfo info;
    const bool exists = platform::pathInfo(dest, info) == 0;
    if (exists && !opt_.f) return kErrFileExists;
    if (exists && info.isDirectory) return kErrAccessDenied;
    ShareGuard sourceGuard, targetGuard;
    if (!src.info.isDirectory) {
        failedName_ = src.shown;
        if (int err = sourceGuard.take(src.path)) return err;
    }
    failedName_ = dest;
    if (exists)
        if (int err = targetGuard.take(dest)) return err;
    // The journals that name it by its old name are finished while they still can.
    finishJournalsAbout(src.path);
    if (exists) finishJournalsAbout(dest);
    return osRename(src.path, dest, opt_.f);
}

// ---- FREE and DROP ----

int FileCommand::freeOrDrop() {
    if (!haveFirst_) return kErrUnrecognized;
    const bool drop = code_ == CmdDrop;
    std::vector<Match> files;
    std::string failed;
    if (int err = expand(first_, true, files, failed)) return fail(err, failed);
    for (size_t k = 0; k < files.size(); ++k) {
        const Match& m = files[k];
        if (k > 0 && interrupted()) return 0;
        statusShowMessage(m.shown);
        const int answer = confirm(m.shown, drop ? " Drop? (y/n/all) " : " Free? (y/n/all) ");
        if (answer == kReportStopped) return 0;
        if (answer == 0) continue;
        // The name is reported once the file is freed or emptied: a file another copy holds
        // is refused with its error alone, and the listing names only the files done.
        if (int err = drop ? dropOne(m) : freeOne(m)) return fail(err, m.shown);
        if (int err = report(m.shown)) return err;
    }
    return 0;
}

int FileCommand::freeOne(const Match& m) {
    ShareGuard guard;
    if (int err = guard.take(m.path)) return err;
    finishJournalsAbout(m.path);
    return osDelete(m.path);
}

int FileCommand::dropOne(const Match& m) {
    finishJournalsAbout(m.path);
    // What kind of file it is: an INTERNAL data file and a key file are emptied by the file
    // layer's own close, which writes the header (and a B-tree's empty root) back.
    InternalHeader h;
    bool known = false;
    {
        PlainHandle f;
        if (int err = osOpen(m.path, kOsRead, kOsOpenExisting, f.handle)) return err;
        uint8_t bytes[kMaxHeaderLength];
        size_t got = 0;
        if (int err = osRead(f.handle, bytes, sizeof bytes, got)) return err;
        known = got >= 15 && decodeHeader(bytes, got, h) == 0;
    }
    if (!known) {
        // Any other file is cut to nothing, once no other copy has it open.
        ShareGuard guard;
        return guard.take(m.path, kOsReadWrite, kOsTruncate);
    }
    OpenBlock b;
    b.name = ":" + m.path;  // the path as it stands, not mapped again
    b.mode = kModeOutin;
    b.share = kShareNone;
    if (h.type == kTypeBtree || h.parts > 0) {
        b.number = kDropKeyNumber;
        b.keyType = h.type == kTypeBtree ? kTypeBtree : kTypeInternal;
    } else {
        b.number = kDropDataNumber;
        b.type = kFileInternal;
    }
    Ufcb* u = nullptr;
    if (int err = openFileBlock(fileBlocks(), b, u)) return err;
    return closeFile(fileBlocks(), u, kCloseDrop);
}

// ---- DIR ----

int FileCommand::directory() {
    const std::string typed = haveFirst_ ? first_ : std::string();
    std::string path;
    if (haveFirst_) {
        if (int err = mapFileName(typed, path)) return fail(err, typed);
        if (isDeviceName(path)) return fail(kErrBadName, typed);
    }
    // A directory's name lists what is in it.
    platform::FileInfo info;
    if (path.empty() || path.ends_with('/')) {
        path += "*";
    } else if (!hasWildCards(path) && platform::pathInfo(path, info) == 0 && info.isDirectory) {
        path += "/*";
    }
    std::string dir, pattern;
    splitPath(path, dir, pattern);
    std::vector<platform::DirEntry> entries;
    if (int err = platform::listDirectory(dir.empty() ? "." : dir, pattern, entries))
        return fail(err, typed);
    if (opt_.a) std::erase_if(entries, [](const platform::DirEntry& e) { return !e.info.isLink; });
    // The listing's own file, while it is written under its temporary name, is not listed.
    if (platform::FileInfo own; !out_.temporaryPath().empty() &&
                                platform::pathInfo(out_.temporaryPath(), own) == 0)
        std::erase_if(entries, [&own](const platform::DirEntry& e) {
            return e.info.device == own.device && e.info.inode == own.inode;
        });
    if (entries.empty()) return fail(kErrFileNotFound, typed);
    if (opt_.o || opt_.c || opt_.w) {
        auto folded = [](const std::string& s) {
            std::string f(s);
            for (char& ch : f) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            return f;
        };
        std::stable_sort(entries.begin(), entries.end(),
                         [&](const platform::DirEntry& x, const platform::DirEntry& y) {
                             return folded(x.name) < folded(y.name);
                         });
    }
    const bool columns = opt_.c || opt_.w;
    const bool bare = opt_.b && !columns;
    if (!bare)
        if (int err = report("Directory of " + typed)) return err;
    double used = 0;
    for (const platform::DirEntry& e : entries)
        if (!e.info.isDirectory) used += static_cast<double>(e.info.size);
    if (columns) {
        auto cell = [](const platform::DirEntry& e) {
            const bool executable = !e.info.isDirectory && (e.info.permissions & 0111) != 0;
            std::string c = e.name;
            if (e.info.isDirectory || executable) {
                c.resize(std::min<size_t>(c.size(), 18));
                c += e.info.isDirectory ? '\\' : '*';
            } else {
                c.resize(std::min<size_t>(c.size(), 19));
            }
            c.resize(20, ' ');
            return c;
        };
        const size_t n = entries.size();
        const size_t rows = (n + 3) / 4;
        for (size_t r = 0; r < rows; ++r) {
            std::string line;
            for (size_t col = 0; col < 4; ++col) {
                // C fills down the columns, W across the lines.
                const size_t at = opt_.c ? col * rows + r : r * 4 + col;
                if (at < n) line += cell(entries[at]);
            }
            while (!line.empty() && line.back() == ' ') line.pop_back();
            if (int err = report(line)) return err;
        }
    } else {
        for (const platform::DirEntry& e : entries) {
            const int err = report(bare ? e.name : directoryLine(e, !opt_.u, opt_.l));
            if (err) return err;
        }
    }
    if (bare) return 0;
    int64_t freeBytes = 0;
    if (int err = platform::freeDiskSpace(dir.empty() ? "." : dir, freeBytes))
        return fail(err, typed);
    char summary[160];
    snprintf(summary, sizeof summary, " %d Files, %.0f Kilobytes Used, %.0f Kilobytes Free",
             static_cast<int>(entries.size()), used / 1024.0,
             static_cast<double>(freeBytes) / 1024.0);
    return report(summary);
}

// ---- TYPE ----

int FileCommand::type() {
    if (!haveFirst_) return kErrUnrecognized;
    std::vector<Match> files;
    std::string failed;
    if (int err = expand(first_, true, files, failed)) return fail(err, failed);
    std::vector<uint8_t> buffer(kCopyBlock);
    for (size_t k = 0; k < files.size(); ++k) {
        if (k > 0 && interrupted()) return 0;
        PlainHandle f;
        if (int err = osOpen(files[k].path, kOsRead, kOsOpenExisting, f.handle))
            return fail(err, files[k].shown);
        std::string pending;
        for (;;) {
            size_t got = 0;
            if (int err = osRead(f.handle, buffer.data(), buffer.size(), got))
                return fail(err, files[k].shown);
            if (got == 0) break;
            pending.append(reinterpret_cast<const char*>(buffer.data()), got);
            size_t start = 0;
            for (size_t eol; (eol = pending.find('\n', start)) != std::string::npos;
                 start = eol + 1) {
                std::string_view line(pending.data() + start, eol - start);
                if (line.ends_with('\r')) line.remove_suffix(1);
                if (int err = report(line)) return err;
            }
            pending.erase(0, start);
        }
        if (!pending.empty())
            if (int err = report(pending)) return err;
    }
    return 0;
}

// ---- CHDIR, MKDIR, RMDIR ----

int FileCommand::changeDirectory() {
    if (haveFirst_) {
        std::string name = first_;
        // "X:" and "//X" make drive X current; the letter must be A to Z.
        char letter = 0;
        if (name.size() >= 2 && name[1] == ':') letter = name[0];
        if (name.size() == 3 && name.starts_with("//")) {
            letter = name[2];
            name = std::string(1, letter) + ":";
        }
        if (letter && !std::isalpha(static_cast<unsigned char>(letter)))
            return fail(kErrSubstituteOverflow, first_);  // 600: not a drive
        std::string path;
        if (int err = mapFileName(name, path)) return fail(err, first_);
        if (int err = platform::changeDirectory(path)) return fail(err, first_);
    }
    std::string cwd, shown;
    if (int err = osCurrentDirectory(cwd)) return fail(err, first_);
    if (int err = unmapFileName(cwd, shown)) return fail(err, cwd);
    return report(shown);
}

int FileCommand::makeOrRemoveDirectory() {
    if (!haveFirst_) return kErrUnrecognized;
    std::string path;
    if (int err = mapFileName(first_, path)) return fail(err, first_);
    const int err = code_ == CmdMkdir ? osMakeDirectory(path) : osRemoveDirectory(path);
    return fail(err, first_);
}

}  // namespace

int fileCommand(int code, std::string_view args) {
    switch (code) {
        case CmdCopy:
        case CmdDir:
        case CmdChdir:
        case CmdMkdir:
        case CmdRmdir:
        case CmdDrop:
        case CmdFree:
        case CmdRename:
        case CmdType:
        case CmdVerify: break;
        default: return kErrNotFileCommand;
    }
    FileCommand command(code);
    return command.run(args);
}

}  // namespace vxs
