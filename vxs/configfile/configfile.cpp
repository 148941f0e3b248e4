// The configuration processor: reads the configuration file at start-up (with its INCLUDE
// files) or takes one statement afterwards, and applies each statement of the keyword table to
// the configuration state.
//
// States: before start-up processing (configStartupDone() false) processConfig reads a file;
// afterwards it takes one statement, and the statements that only start-up may make are
// refused.  A run is a stack of open files (at most 10, never one file twice, at most 100 read
// in all); a line is read from the top file, and an INCLUDE pushes the next one.  A refused statement never stops a run: it is reported and
// the run's result becomes 1.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "vxs/configfile/configfile.h"
#include "vxs/config/config.h"
#include "vxs/config/configstate.h"
#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/base/logger.h"
#include "vxs/config/environment.h"
#include "vxs/platform/files.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

using cfgi::state;

inline constexpr size_t kMaxLine = 800;     // a configuration line, before and after substitution
inline constexpr size_t kMaxIncludes = 10;  // configuration files open at once
// Configuration files one processing may open in all: chains of INCLUDEs without a cycle still
// multiply (each of ten nested files including the next five times), and start-up must end.
inline constexpr int kMaxFilesOpened = 100;
inline constexpr size_t kMaxFileBytes = 16u << 20;
inline constexpr int kMessageLevel = 1, kCommentLevel = 8;
inline constexpr char kCtrlZ = 0x1a, kEsc = 0x1b;

// ---- reading ----

struct Source {
    std::vector<uint8_t> data;
    size_t pos = 0;
    uint64_t device = 0, inode = 0;  // the file's identity (0, 0: a typed statement)
};

// One run of the processor: its open files and whether anything was refused.
struct Run {
    std::vector<Source> files;
    int opened = 0;  // files read in this run, INCLUDEs with the first
    bool startup = false;
    bool failed = false;
};

// Reads the next line: at most 800 characters (the rest comes as the next line), carriage
// returns and NUL bytes dropped, a TAB as eight blanks, trailing blanks removed.  Ctrl-Z ends
// the file.  False at the end of the file.
bool readLine(Source& f, std::string& line) {
    line.clear();
    if (f.pos >= f.data.size()) return false;
    while (f.pos < f.data.size()) {
        const char c = static_cast<char>(f.data[f.pos]);
        if (c == kCtrlZ) {
            f.pos = f.data.size();
            break;
        }
        if (c == '\n') {
            ++f.pos;
            break;
        }
        if (line.size() >= kMaxLine) break;
        ++f.pos;
        if (c == '\r' || c == '\0') continue;
        if (c == '\t')
            line.append(std::min<size_t>(8, kMaxLine - line.size()), ' ');
        else
            line += c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return true;
}

// ---- small parsers on the statement text ----

bool isCtl(char c) {
    return static_cast<unsigned char>(c) < 32;
}

std::string_view skipBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}
std::string_view trimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string upperOf(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}
std::string lowerOf(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return u;
}

// ON/OFF word: OFF only when the value begins with "OFF" (and so not with "ON").
bool onWord(std::string_view up) {
    up = skipBlanks(up);
    return !(up.substr(0, 3) == "OFF");
}

// A word ends at a blank, a comma or a control character.
std::string_view takeWord(std::string_view& s) {
    s = skipBlanks(s);
    size_t n = 0;
    while (n < s.size() && s[n] != ' ' && s[n] != ',' && !isCtl(s[n])) ++n;
    std::string_view w = s.substr(0, n);
    s.remove_prefix(n);
    return w;
}

// Unsigned decimal digits followed by a blank, a comma, a control character or the end.
bool takeNumber(std::string_view& s, int& value) {
    s = skipBlanks(s);
    size_t n = 0;
    long v = 0;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9') {
        if (n >= 9) return false;
        v = v * 10 + (s[n] - '0');
        ++n;
    }
    if (n == 0) return false;
    if (n < s.size() && s[n] != ' ' && s[n] != ',' && !isCtl(s[n])) return false;
    value = static_cast<int>(v);
    s.remove_prefix(n);
    return true;
}

bool atEnd(std::string_view s) {
    return skipBlanks(s).empty();
}

// The STATUS report writes many settings as "KEYWORD is ON" / "KEYWORD is OFF": 1 when `up`
// is that form (with `on` set), 0 when it does not begin with the word "IS", -1 when "IS" is
// followed by anything but exactly ON or OFF.
int isOnOff(std::string_view up, bool& on) {
    std::string_view a = up;
    if (takeWord(a) != "IS") return 0;
    const std::string_view w = takeWord(a);
    if ((w != "ON" && w != "OFF") || !atEnd(a)) return -1;
    on = w == "ON";
    return 1;
}
// Applies an "is ON/OFF" listing line to `target`: 0 done, kErrUnrecognized for a damaged
// one, -1 when the text is no such line.
int setIsOnOff(std::string_view up, bool& target) {
    bool on = false;
    const int form = isOnOff(up, on);
    if (form < 0) return kErrUnrecognized;
    if (form == 0) return -1;
    target = on;
    return 0;
}

// The last `remaining` characters of `whole`: the same place in the other copy of the text
// (the copy as typed and the upper-cased copy have the same length).
std::string_view tail(std::string_view whole, size_t remaining) {
    return whole.substr(whole.size() - std::min(remaining, whole.size()));
}

// Whether a text can be written back as one argument: one holding both kinds of quote only as
// a single word that does not begin with a quote.
bool writable(const std::string& text) {
    const bool both = text.find('"') != std::string::npos && text.find('\'') != std::string::npos;
    return !both || (text.find(' ') == std::string::npos && text[0] != '"' && text[0] != '\'');
}

// A word that may be quoted with ' or ": 0, or 1003 for a quote that is not closed.
int takeQuoted(std::string_view& s, std::string& out, size_t limit = kVxMaxPath) {
    s = skipBlanks(s);
    if (!s.empty() && (s[0] == '"' || s[0] == '\'')) {
        const size_t end = s.find(s[0], 1);
        if (end == std::string_view::npos) return kErrUnclosedQuote;
        out.assign(s.substr(1, end - 1));
        s.remove_prefix(end + 1);
    } else {
        size_t n = 0;
        while (n < s.size() && s[n] != ' ' && !isCtl(s[n])) ++n;
        out.assign(s.substr(0, n));
        s.remove_prefix(n);
    }
    return out.size() > limit ? kErrNameTooLong : 0;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Escape value notation: hex pairs and quoted strings with backslash escapes, separated by
// blanks, up to the end or "!"; "HP" first puts the PCL/PJL job header in front.  At most 255
// bytes.
int escapeValue(std::string_view s, std::string& out) {
    out.clear();
    s = skipBlanks(s);
    if (s.size() >= 2 && std::toupper(static_cast<unsigned char>(s[0])) == 'H' &&
        std::toupper(static_cast<unsigned char>(s[1])) == 'P') {
        out +=
            "\x1b%-12345X@PJL SET PAGEPROTECT=OFF\n@PJL ENTER LANGUAGE=PCL\n\x1b"
            "E";
        s.remove_prefix(2);
    }
    for (;;) {
        s = skipBlanks(s);
        if (s.empty() || s[0] == '!') break;
        if (s[0] == '"' || s[0] == '\'') {
            const char q = s[0];
            size_t i = 1;
            for (;; ++i) {
                if (i >= s.size()) return kErrUnclosedQuote;
                if (s[i] == q) break;
                if (s[i] != '\\') {
                    out += s[i];
                    continue;
                }
                if (++i >= s.size()) return kErrUnclosedQuote;
                switch (s[i]) {
                    case 'e':
                    case 'E': out += kEsc; break;
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    default:
                        if (i + 2 < s.size() && s[i] >= '0' && s[i] <= '7' && s[i + 1] >= '0' &&
                            s[i + 1] <= '7' && s[i + 2] >= '0' && s[i + 2] <= '7') {
                            out += static_cast<char>((s[i] - '0') * 64 + (s[i + 1] - '0') * 8 +
                                                     (s[i + 2] - '0'));
                            i += 2;
                        } else {
                            out += s[i];
                        }
                }
            }
            s.remove_prefix(i + 1);
        } else {
            if (s.size() < 2 || hexDigit(s[0]) < 0 || hexDigit(s[1]) < 0) return kErrUnrecognized;
            out += static_cast<char>(hexDigit(s[0]) * 16 + hexDigit(s[1]));
            s.remove_prefix(2);
        }
        if (out.size() > 255) return kErrNameTooLong;
    }
    return out.size() > 255 ? kErrNameTooLong : 0;
}

// ---- the statement being processed ----

struct Stmt {
    Run* run;
    std::string_view typed;  // the argument as typed
    std::string_view up;     // the argument from the upper-cased copy
};

using Handler = int (*)(Stmt&);
int processRun(Run& run);

// Numbers with a range: the statement is refused (and the old value kept) outside it.
int setLimit(std::string_view up, int lo, int hi, int& target) {
    int v = 0;
    if (!takeNumber(up, v) || v < lo || v > hi) return kErrUnrecognized;
    target = v;
    return 0;
}

int doDrive(Stmt& s) {
    std::string_view a = s.typed;
    std::string_view fields[4];
    int n = 0;
    while (n < 4) {
        const size_t comma = a.find(',');
        fields[n++] = trimRight(skipBlanks(a.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        a.remove_prefix(comma + 1);
    }
    if (n < 2 || fields[0].size() != 2 || fields[0][1] != ':') return kErrBadDrive;
    if (fields[1].size() >= kVxMaxPath || (n > 3 && fields[3].size() >= kVxMaxPath))
        return kErrNameTooLong;
    return defineDrive(fields[0][0], fields[1], n > 3 ? fields[3] : std::string_view("\\"));
}

// The name of an INCLUDE file as an OS path at start-up: absolute names and ":" names as they
// stand, other names beside the executable.  Drive-letter names go through the drive table.
std::string includeOsPath(std::string_view name) {
    std::string n(name);
    for (char& c : n)
        if (c == '\\') c = '/';
    if (!n.empty() && n[0] == ':') return n.substr(1);
    if (!n.empty() && n[0] == '/') return n;
    if (n.size() > 1 && n[1] == ':') return "";
    char exe[kVxMaxPath];
    const size_t len = platform::moduleFileName(exe, sizeof exe);
    std::string dir(exe, len);
    dir.erase(dir.find_last_of('/') + 1);
    return dir + n;
}

// An INCLUDE is refused when ten files are open, when its file is one of them (a file that
// includes itself, or two that include each other, would never end), and once the run has read
// 100 files.
int doInclude(Stmt& s) {
    Run& r = *s.run;
    if (r.files.size() >= kMaxIncludes) return kErrUnrecognized;
    const std::string name(trimRight(s.typed));
    if (name.empty()) return kErrBadName;
    if (r.opened >= kMaxFilesOpened) {
        vxlog(kMessageLevel, "INCLUDE %s: more than %d configuration files", name.c_str(),
              kMaxFilesOpened);
        return kErrUnrecognized;
    }
    Source f;
    platform::FileInfo info;
    int rc = -1;
    if (r.startup) {
        const std::string path = includeOsPath(name);
        if (!path.empty()) rc = platform::readWholeFile(path, f.data, kMaxFileBytes, &info);
        if (rc != 0 && !anyDriveMapped()) return kErrFileNotFound;
    }
    if (rc != 0) {
        std::string path;
        if (int err = mapFileName(name, path)) return err;
        rc = platform::readWholeFile(path, f.data, kMaxFileBytes, &info);
    }
    if (rc != 0) return kErrFileNotFound;
    for (const Source& open : r.files)
        if (open.inode != 0 && open.device == info.device && open.inode == info.inode) {
            vxlog(kMessageLevel, "INCLUDE %s: the file is being read already", name.c_str());
            return kErrUnrecognized;
        }
    f.device = info.device;
    f.inode = info.inode;
    ++r.opened;
    r.files.push_back(std::move(f));
    return 0;
}

int doSubstitute(Stmt& s) {
    std::string_view a = s.typed;
    std::string from, to;
    if (upperOf(trimRight(s.up)) == "CLEAR") {
        resetSubstitutions();
        return 0;
    }
    if (int err = takeQuoted(a, from, 1024)) return err;
    if (int err = takeQuoted(a, to, 1024)) return err;
    // The report lists the built-in entries, [WSID] and [SESSION] without a value before the
    // workstation is known.
    if (to.empty() && atEnd(a) && (upperOf(from) == "[WSID]" || upperOf(from) == "[SESSION]"))
        return 0;
    if (from.empty() || to.empty() || !atEnd(a)) return kErrUnrecognized;
    // A text holding both kinds of quote could not be written back as one argument.
    for (const std::string* t : {&from, &to})
        if (t->find('"') != std::string::npos && t->find('\'') != std::string::npos)
            return kErrUnrecognized;
    const unsigned char first = static_cast<unsigned char>(from[0]);
    if (first <= ' ' || first >= 127 || first == ',') return kErrUnrecognized;
    if (upperOf(to) == "CLEAR") return removeSubstitution(from) ? 0 : kErrUnrecognized;
    setSubstitution(from, to);
    return 0;
}

int doSpoolPath(Stmt& s) {
    const std::string_view v = trimRight(s.typed);
    // The STATUS report lists the path as a substitution argument, which cannot hold both kinds
    // of quote together with a blank, nor be the word that removes a substitution.
    if (v.empty() || !writable(std::string(v)) || upperOf(v) == "CLEAR") return kErrUnrecognized;
    if (v[0] == '@')
        setSubstitution("[REMOTESPOOLPATH]",
                        v.substr(0, 2) == "@:" ? std::string(v) : "@:" + std::string(v.substr(1)));
    else
        setSubstitution("[SPOOLPATH]", v);
    return 0;
}

int doSpoolCmd(Stmt& s) {
    if (s.typed == "IS NOT DEFINED") return 0;  // the report's line for no command
    int depth = 0;
    for (char c : s.typed) {
        if (c == '[') ++depth;
        if (c == ']' && --depth < 0) return kErrUnrecognized;
    }
    if (depth != 0 || s.typed.empty()) return kErrUnrecognized;
    state().spoolCmd.assign(s.typed);
    return 0;
}

// Paths are taken as typed: on this system the case of a directory name matters.
int setPath(std::string_view v, std::string& target) {
    v = trimRight(v);
    if (v.empty()) return kErrUnrecognized;
    if (v.size() >= kVxMaxPath) return kErrNameTooLong;
    target.assign(v);
    return 0;
}
// The report's lines for a directory that is not set.
int doPrintDir(Stmt& s) {
    return s.typed == "IS NOT SPECIFIED" ? 0 : setPath(s.typed, state().printDir);
}
int doOnqPath(Stmt& s) {
    return s.typed == "NOT DEFINED" ? 0 : setPath(s.typed, state().onqPath);
}
int doKtserver(Stmt& s) {
    return setPath(s.typed, state().registryPath);
}
int doWorkPath(Stmt& s) {
    return setPath(s.typed, state().configuredWorkPath);
}

int doClientDir(Stmt& s) {
    std::string_view a = s.up;
    std::string dir;
    if (int err = takeQuoted(a, dir)) return err;
    if (dir.empty() || !writable(dir)) return kErrUnrecognized;
    state().clientCurrentDir = dir;
    return 0;
}

int doEditor(Stmt& s) {
    std::string_view a = s.typed;
    if (atEnd(a)) return 0;  // the report's line for an editor that is not set
    const bool quoted = skipBlanks(a)[0] == '"' || skipBlanks(a)[0] == '\'';
    std::string program;
    if (int err = takeQuoted(a, program)) return err;
    // The report writes the flags as "program, NOWAIT, REMOVE".
    if (!quoted && program.size() > 1 && program.back() == ',' && !atEnd(a)) program.pop_back();
    if (program.empty() || !writable(program)) return kErrUnrecognized;
    bool remove = false, noWait = false;
    std::string_view rest = tail(s.up, a.size());
    while (!atEnd(rest)) {
        const std::string_view w = takeWord(rest);
        if (w == "REMOVE")
            remove = true;
        else if (w == "NOWAIT")
            noWait = true;
        else if (!w.empty() || rest.empty() || rest[0] != ',')
            return kErrUnrecognized;
        else
            rest.remove_prefix(1);
    }
    state().editor = program;
    state().editorRemove = remove;
    state().editorNoWait = noWait;
    return 0;
}

int doExecute(Stmt& s) {
    // The report's lines beside the command: where it came from, or that there is none.
    const std::string_view up = trimRight(s.up);
    if (up.starts_with("CAME FROM ") || up == "WAS NOT SET") return 0;
    if (!state().execute.empty()) return 0;  // the first command wins
    std::string text = lowerOf(trimRight(s.up));
    const size_t q1 = text.find('"'), q2 = text.rfind('"');
    if (q1 != std::string::npos)
        text = q2 > q1 ? text.substr(q1 + 1, q2 - q1 - 1) : text.substr(q1 + 1);
    text = std::string(trimRight(skipBlanks(text)));
    if (text.empty()) return kErrUnrecognized;
    setExecuteCommand(text, kConfigSource);
    return 0;
}

int doShell(Stmt& s) {
    std::string_view a = s.up;
    const std::string_view w = takeWord(a);
    if (w == "DEFAULT") {
        const std::string_view where = takeWord(a);
        if (where == "CLIENT")
            state().limits.shellOnServer = false;
        else if (where == "SERVER")
            state().limits.shellOnServer = true;
        else
            return kErrUnrecognized;
    } else if (w == "LIMIT") {
        a = skipBlanks(a);
        const bool negative = !a.empty() && a[0] == '-';
        if (negative) a.remove_prefix(1);
        int v = 0;
        if (!takeNumber(a, v)) return kErrUnrecognized;
        state().limits.shellLimit = negative ? -v : v;
    }
    return 0;
}

int doSetenv(Stmt& s) {
    std::string_view a = s.up;
    const std::string name(takeWord(a));
    if (name.empty()) return kErrEnvNameEmpty;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            return kErrEnvName;
    const std::string_view value = skipBlanks(tail(s.typed, a.size()));
    if (name == "CLIPBOARD") {
        // No clipboard on this front end: the text is kept for when one exists.
        state().clipboard.assign(value);
        state().clipboardSet = true;
        return 0;
    }
    return setEnvironmentVariable(name, value) ? kErrEnvName : 0;
}

int doLogging(Stmt& s) {
    std::string_view a = s.up;
    if (trimRight(a) == "IS OFF") return 0;  // the report's line when no log file is open
    int level = 0;
    if (!takeNumber(a, level)) return kErrUnrecognized;
    a = skipBlanks(a);
    if (!a.empty() && a[0] == ',') a.remove_prefix(1);
    std::string_view typed = tail(s.typed, a.size());
    std::string file;
    if (int err = takeQuoted(typed, file)) return err;
    if (!file.empty() && !writable(file)) return kErrUnrecognized;
    a = tail(s.up, typed.size());
    bool unattended = false;
    while (!atEnd(a)) {
        if (takeWord(a) != "UNATTENDED") return kErrUnrecognized;
        unattended = true;
    }
    if (!file.empty() && file != state().logFile) {
        if (setLogFile(file.c_str()) != 0) return kErrFileNotFound;
        state().logFile = file;
    }
    setLogLevel(level);
    state().limits.unattended = unattended;
    return 0;
}

int doLoginName(Stmt& s) {
    if (state().loginNameSet) return 0;  // the first name wins
    const std::string name = lowerOf(trimRight(s.up));
    if (name.empty()) return 0;  // the report's line when no name is set
    if (name.size() > 79) return kErrNameTooLong;
    if (setLoginName(name)) return kErrNameTooLong;
    state().loginName = name;
    state().loginNameSet = true;
    return 0;
}

int doApplicationName(Stmt& s) {
    const std::string_view v = trimRight(s.typed);
    if (v.size() > 100) return kErrNameTooLong;
    state().applicationName.assign(v);
    return 0;
}

int doHelpDflt(Stmt& s) {
    std::string_view v = trimRight(s.up);
    // The report writes "HELPDFLT is file,topic" or "HELPDFLT is not defined".
    if (v == "IS NOT DEFINED") return 0;
    if (v.starts_with("IS ")) v = skipBlanks(v.substr(3));
    if (v == "CLEAR") {
        state().helpFile.clear();
        state().helpTopic.clear();
        return 0;
    }
    const size_t comma = v.find(',');
    if (comma == std::string_view::npos) return kErrUnrecognized;
    const std::string_view file = trimRight(v.substr(0, comma)),
                           topic = skipBlanks(v.substr(comma + 1));
    if (file.empty() || topic.empty()) return kErrUnrecognized;
    state().helpFile.assign(file);
    state().helpTopic.assign(topic);
    return 0;
}

int doChainDflt(Stmt& s) {
    // The report follows the letter with what it means; a blank letter leaves only that.
    constexpr std::string_view kObjects = " - LOOK FOR OBJECT FILES FIRST.",
                               kSource = " - LOOK FOR OBJECT FILES WITH SOURCE FIRST.";
    const std::string_view up = trimRight(s.up);
    char& c = state().limits.chainDflt;
    if (up == kSource.substr(1)) {
        c = ' ';
        return 0;
    }
    if (up.size() > 1 && (up.substr(1) == kObjects || up.substr(1) == kSource)) {
        if ((up[0] == 'O') != (up.substr(1) == kObjects)) return kErrUnrecognized;
        c = up[0];
        return 0;
    }
    c = up.empty() ? ' ' : up[0];
    return 0;
}

int doFileNames(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    int& c = state().limits.fileNameCase;
    if (w == "LOWER_CASE")
        c = -1;
    else if (w == "MIXED_CASE")
        c = 0;
    else if (w == "UPPER_CASE")
        c = 1;
    else
        return kErrUnrecognized;
    return 0;
}

int doBtreeVerify(Stmt& s) {
    std::string_view a = s.up;
    std::string file(takeWord(a));
    if (file.empty()) return kErrUnrecognized;
    const bool on = atEnd(a) || onWord(a);
    if (state().startupDone) {
        std::string path;
        if (int err = mapFileName(file, path)) return err;
        file = path;
    }
    auto& list = state().btreeVerify;
    const auto it = std::find(list.begin(), list.end(), file);
    if (!on) {
        if (it != list.end()) list.erase(it);
        return 0;
    }
    if (it != list.end() || list.size() >= 100) return kErrUnrecognized;
    list.push_back(file);
    return 0;
}

int doS23Drives(Stmt& s) {
    std::string_view a = s.up;
    const std::string_view letters = a.substr(0, a.find(' '));
    if (letters.size() > 9) return kErrUnrecognized;
    for (char c : letters)
        if (c < 'A' || c > 'Z') return kErrUnrecognized;
    state().s23Drives.assign(letters);
    return 0;
}

// ---- screen, keyboard and fields ----

int do3dFields(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    FieldsConfig& f = fieldsConfig();
    // The report's form: "3D_FIELDS ON, 3D_FIELDS UNDR_OFF".
    if (const size_t comma = w.find(','); comma != std::string_view::npos) {
        const std::string_view look = w.substr(0, comma), rest = skipBlanks(w.substr(comma + 1));
        if ((look != "ON" && look != "OFF") ||
            (rest != "3D_FIELDS UNDR_ON" && rest != "3D_FIELDS UNDR_OFF"))
            return kErrUnrecognized;
        f.fields3d = look == "ON";
        f.underline = rest == "3D_FIELDS UNDR_ON";
        return 0;
    }
    if (w == "OFF")
        f.fields3d = false;
    else if (w == "ON")
        f.fields3d = true;
    else if (w == "UNDR_ON")
        f.fields3d = f.underline = true;
    else if (w == "UNDR_OFF")
        f.fields3d = true, f.underline = false;
    else
        return kErrUnrecognized;
    return 0;
}

// "[name]..." items: a bracketed name of printable characters, then a specification.
bool bracketedItem(std::string_view item) {
    if (item.size() < 3 || item[0] != '[') return false;
    const size_t close = item.find(']');
    if (close == std::string_view::npos || close < 2) return false;
    for (char c : item.substr(1, close - 1))
        if (c <= ' ' || c >= 127) return false;
    return true;
}

int doAttribute(Stmt& s) {
    const std::string_view a = trimRight(s.up);
    auto& d = state().display;
    if (a == "CLEAR") {
        d.attributes.clear();
        return 0;
    }
    if (a == "ESC SPACE" || a == "ESC NOSPACE") {
        d.escSpace = a == "ESC SPACE";
        return 0;
    }
    if (!bracketedItem(a) || a.find(']') + 1 >= a.size()) return kErrUnrecognized;
    d.attributes.emplace_back(a);
    return 0;
}

int doColor(Stmt& s) {
    std::string_view a = trimRight(s.up);
    std::vector<std::string> items;
    while (!(a = skipBlanks(a)).empty()) {
        size_t n = a.find(' ');
        std::string item(a.substr(0, n));
        a.remove_prefix(item.size());
        // The report writes "[name] #rrggbb": the value after a blank.
        if (!item.empty() && item.back() == ']' && !skipBlanks(a).empty() && skipBlanks(a)[0] == '#') {
            a = skipBlanks(a);
            const std::string_view value = a.substr(0, a.find(' '));
            item += value;
            a.remove_prefix(value.size());
        }
        if (!bracketedItem(item)) return kErrUnrecognized;
        const std::string_view value = std::string_view(item).substr(item.find(']') + 1);
        if (value.size() != 7 || value[0] != '#') return kErrUnrecognized;
        for (char c : value.substr(1))
            if (hexDigit(c) < 0) return kErrUnrecognized;
        items.push_back(std::move(item));
    }
    if (items.empty()) return kErrUnrecognized;
    for (auto& i : items) state().display.colors.push_back(std::move(i));
    return 0;
}

int doConsole(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    int& c = fieldsConfig().console;
    if (w == "NOT SET") return 0;  // the report's line for the default
    if (w == "ON")
        c = 1;
    else if (w == "OFF")
        c = 2;
    else if (w == "OFF ALWAYS")
        c = 3;
    else
        return kErrUnrecognized;
    return 0;
}

int doCursor(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    if (w.size() != 4) return kErrUnrecognized;
    int v = 0;
    for (char c : w) {
        if (hexDigit(c) < 0) return kErrUnrecognized;
        v = v * 16 + hexDigit(c);
    }
    if (v == 0) {  // the report's "CURSOR 0000": the default shape
        fieldsConfig().cursor = 0;
        return 0;
    }
    int end = v & 0xff, start = v >> 8;
    end = end > 12 ? 13 : end < 2 ? 1 : end;
    if (start > end - 1) start = end - 1;
    fieldsConfig().cursor = start * 256 + end;
    return 0;
}

int doDataHilite(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    FieldsConfig& f = fieldsConfig();
    f.dataHiliteAttr.clear();
    // The report explains the two highlights that use colours of their own.
    if (w == "WIN_ON - USING WINDOWS SELECTED COLORS")
        f.dataHilite = 2;
    else if (w == "ON - USING INVERSE COLORS")
        f.dataHilite = 3;
    else if (w == "OFF")
        f.dataHilite = 0;
    else if (w == "WIN_OFF")
        f.dataHilite = 1;
    else if (w == "WIN_ON")
        f.dataHilite = 2;
    else if (w == "ON")
        f.dataHilite = 3;
    else if (!w.empty())
        f.dataHilite = 1, f.dataHiliteAttr.assign(w);
    else
        return kErrUnrecognized;
    return 0;
}

int doFieldBreak(Stmt& s) {
    std::string_view a = s.up;
    FieldsConfig next = fieldsConfig();
    while (!atEnd(a)) {
        const std::string_view w = takeWord(a);
        if (w == "MIN_SPACES") {
            int v = 0;
            if (!takeNumber(a, v)) return kErrUnrecognized;
            next.fieldBreakMinSpaces = std::min(v, 255);
        } else if (w == "UNDERSCORE") {
            const std::string_view v = takeWord(a);
            if (v != "ON" && v != "OFF") return kErrUnrecognized;
            next.fieldBreakUnderscore = v == "ON";
        } else {
            return kErrUnrecognized;
        }
        // The report separates the items with a comma.
        a = skipBlanks(a);
        if (!a.empty() && a[0] == ',') {
            a.remove_prefix(1);
            if (atEnd(a)) return kErrUnrecognized;
        }
    }
    fieldsConfig() = next;
    return 0;
}

int doFieldHelp(Stmt& s) {
    std::string_view a = trimRight(s.up);
    if (a.empty()) return kErrUnrecognized;
    std::string_view rest = a;
    while (!(rest = skipBlanks(rest)).empty()) {
        const std::string_view item = rest.substr(0, rest.find(' '));
        rest.remove_prefix(item.size());
        if (item.rfind("BORDER=", 0) != 0 && item.rfind("N=", 0) != 0 &&
            item.rfind("TIP_LENGTH=", 0) != 0)
            return kErrUnrecognized;
    }
    state().display.fieldHelp.emplace_back(a);
    return 0;
}

int storeText(std::string_view v, std::vector<std::string>& list) {
    v = trimRight(v);
    if (v.empty()) return kErrUnrecognized;
    list.emplace_back(v);
    return 0;
}
int doFont(Stmt& s) {
    return storeText(s.up, state().display.fonts);
}
int doKeyboard(Stmt& s) {
    return storeText(s.up, state().display.keyboard);
}

int doForce(Stmt& s) {
    std::string_view a = s.up;
    if (takeWord(a) != "VISIBILITY") return kErrUnrecognized;
    fieldsConfig().forceVisibility = atEnd(a) || onWord(a);
    return 0;
}

int doLineDraw(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    int& v = fieldsConfig().lineDraw;
    if (w == "OFF")
        v = 0;
    else if (w == "RAISED")
        v = 1;
    else if (w == "SUNKEN")
        v = 2;
    else if (w == "ON" || w == "THIN" || w == "THINSUNK")
        v = 3;
    else if (w == "THINRAISED")
        v = 4;
    else
        return kErrUnrecognized;
    return 0;
}

// The stream front end has no graphical mode and no VXVB console: only the settings that
// keep to the character display are accepted.
int doGui(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    auto& d = state().display;
    if (w == "OFF")
        d.gui = 0;
    else if (w == "SUPPRESS ON" || w == "SUPPRESS - IGNORE VXVB SYNTAX IS ON.")
        d.guiSuppress = true;
    else if (w == "VXVB - USE VXVB AS CONSOLE IS OFF.")
        return 0;  // the report's line for the console this front end has
    else
        return kErrUnrecognized;
    return 0;
}

int doInsert(Stmt& s) {
    std::string_view a = s.up;
    const std::string_view w = takeWord(a);
    FieldsConfig& f = fieldsConfig();
    if (trimRight(s.up) == "NOT DEFINED - DEFAULT TO DATAHILITE SETTING") return 0;
    if (w == "ON" && atEnd(a))
        f.insertMode = 2;
    else if (w == "OFF" && atEnd(a))
        f.insertMode = 1;
    else if (w == "MIN_LENGTH") {
        int n = 0;
        if (!takeNumber(a, n) || !atEnd(a)) return kErrUnrecognized;
        f.insertMode = 3;
        f.insertMinLength = n;
    } else
        return kErrUnrecognized;
    return 0;
}

int doMinFontSize(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    const size_t x = w.find('X');
    if (x == std::string_view::npos) return kErrUnrecognized;
    std::string_view a = w.substr(0, x), b = w.substr(x + 1);
    int width = 0, height = 0;
    if (!takeNumber(a, width) || !takeNumber(b, height) || width == 0 || height == 0)
        return kErrUnrecognized;
    state().display.minFontWidth = width;
    state().display.minFontHeight = height;
    return 0;
}

// SCREEN: every item is checked before any is kept.
int doScreen(Stmt& s) {
    std::string_view a = s.up;
    // The report's lines for settings left at their defaults.
    const std::string_view whole = trimRight(a);
    if (whole == "OPENDFLT NOT SPECIFIED") return 0;
    if (whole.size() == 9 && std::strchr("BCHINRSU", whole[0]) && whole.substr(1) == " DEFAULT")
        return 0;
    std::vector<std::string> items;
    std::string openDflt;
    bool hasOpen = false;
    while (!(a = skipBlanks(a)).empty()) {
        if (a.substr(0, 8) == "OPENDFLT") {
            std::string_view typed = skipBlanks(tail(s.typed, a.size() - 8));
            if (!typed.empty() && typed[0] == '"') {
                const size_t end = typed.find('"', 1);
                if (end == std::string_view::npos) return kErrUnclosedQuote;
                openDflt.assign(typed.substr(1, end - 1));
                if (!atEnd(typed.substr(end + 1))) return kErrUnrecognized;
            } else {
                openDflt.assign(trimRight(typed));
            }
            hasOpen = true;
            break;
        }
        const std::string_view item = a.substr(0, a.find(' '));
        a.remove_prefix(item.size());
        if (item.size() < 3 || !std::strchr("BCHINRSU", item[0])) return kErrUnrecognized;
        const std::string_view value = item.substr(2);
        bool ok =
            bracketedItem(value) || (value.size() >= 2 && value[0] == '[' && value.back() == ']');
        if (!ok && (value.size() == 2 || value.size() == 4)) {
            ok = true;
            for (char c : value) ok = ok && hexDigit(c) >= 0;
        }
        if (!ok) return kErrUnrecognized;
        items.emplace_back(item);
    }
    if (items.empty() && !hasOpen) return kErrUnrecognized;
    auto& screen = state().display.screen;
    for (auto& i : items) {
        std::erase_if(screen, [&](const std::string& e) { return e[0] == i[0]; });
        screen.push_back(std::move(i));
    }
    if (hasOpen) state().openDflt = openDflt;
    return 0;
}

int doStatusLine(Stmt& s) {
    std::string_view a = s.up;
    const std::string_view w = takeWord(a);
    auto& d = state().display;
    if (w == "ON" && atEnd(a)) {
        d.statusLine = true;
    } else if (w == "OFF") {
        d.statusLine = false;
        std::string_view msg = skipBlanks(tail(s.typed, a.size()));
        d.statusMessage.assign(trimRight(msg.substr(0, msg.find('!'))));
    } else if (w == "ROWCOL") {
        fieldsConfig().statusRowCol = atEnd(a) || onWord(a);
    } else {
        return kErrUnrecognized;
    }
    return 0;
}

int doTypeahead(Stmt& s) {
    fieldsConfig().typeaheadOff = !onWord(s.up);
    return 0;
}

int doUserLevel(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    if (w.size() != 1 || w[0] < '0' || w[0] > '3') return kErrUnrecognized;
    fieldsConfig().userLevel = w[0];
    return 0;
}

int doPicture(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    if (w == "CACHE_ON")
        state().display.pictureCache = 1;
    else if (w == "CACHE_OFF")
        state().display.pictureCache = 0;
    else
        return kErrUnrecognized;
    return 0;
}

int doMaxRecall(Stmt& s) {
    return setLimit(s.up, 0, 300, state().limits.maxRecall);
}

// ---- language, interpreter and limits ----

int doBaseYear(Stmt& s) {
    int y = 0;
    std::string_view a = s.up;
    if (!takeNumber(a, y) || y / 100 < 19 || y / 100 > 23) return kErrUnrecognized;
    state().limits.baseYear = y;
    return 0;
}

int doBreak(Stmt& s) {
    std::string_view a = s.up;
    int n = 0, m = 0;
    if (!takeNumber(a, n) || n < 1) return kErrUnrecognized;
    a = skipBlanks(a);
    const bool comma = !a.empty() && a[0] == ',';  // the report writes "BREAK n, m"
    if (comma) a.remove_prefix(1);
    if ((comma || !atEnd(a)) && !takeNumber(a, m)) return kErrUnrecognized;
    state().limits.breakLines = n;
    state().limits.breakSecond = m;
    return 0;
}

int doCollate(Stmt& s) {
    std::string_view a = s.up;
    const std::string_view w = takeWord(a);
    if (w == "NATIVE")
        state().limits.collateAlternate = false;
    else if (w == "ALTERNATE" && atEnd(a))
        state().limits.collateAlternate = true;
    else
        return kErrUnrecognized;
    return 0;
}

int doDecimal(Stmt& s) {
    const std::string_view w = trimRight(s.up);
    if (w == "ASSUMED")
        state().limits.decimalRequired = false;
    else if (w == "REQUIRED")
        state().limits.decimalRequired = true;
    else
        return kErrUnrecognized;
    return 0;
}

int doDimOnly(Stmt& s) {
    if (int r = setIsOnOff(s.up, state().limits.dimOnly); r >= 0) return r;
    state().limits.dimOnly = onWord(s.up);
    return 0;
}
int doIoerrExempt(Stmt& s) {
    state().limits.ioerrExempt = onWord(s.up);
    return 0;
}
int doSync(Stmt& s) {
    std::string_view a = s.up;
    const std::string_view word = takeWord(a);
    if ((word != "ON" && word != "OFF") || !atEnd(a)) return kErrUnrecognized;
    state().limits.syncWrites = word == "ON";
    return 0;
}
int doS36Mode(Stmt& s) {
    state().limits.s36Mode = onWord(s.up);
    return 0;
}
// "S36MODE is ON": the report's name of S/36-MODE.
int doS36ModeListing(Stmt& s) {
    const int r = setIsOnOff(s.up, state().limits.s36Mode);
    return r < 0 ? kErrUnrecognized : r;
}
int doRd(Stmt& s) {
    return setLimit(s.up, 0, 15, state().limits.rd);
}
int doFlowStack(Stmt& s) {
    return setLimit(s.up, 10, 65535, state().limits.flowStack);
}
int doForStack(Stmt& s) {
    return setLimit(s.up, 5, 65535, state().limits.forStack);
}
int doRpnStack(Stmt& s) {
    return setLimit(s.up, 50, 65535, state().limits.rpnStack);
}
int doWorkStack(Stmt& s) {
    return setLimit(s.up, 500, 65535, state().limits.workStack);
}
int doPageOflow(Stmt& s) {
    return setLimit(s.up, 1, 65535, state().limits.pageOflow);
}

int doMaxSortMemory(Stmt& s) {
    std::string_view a = s.up;
    int n = 0;
    if (!takeNumber(a, n) || n < 2 || n > 512 || takeWord(a) != "MB" || !atEnd(a))
        return kErrUnrecognized;
    state().limits.maxSortMemoryMb = n;
    return 0;
}

// STYLE: case words are stored as letters; INDENT n [CLEAR] [m].
int doStyle(Stmt& s) {
    std::string_view a = s.up;
    ConfigLimits next = state().limits;
    static const char* const kItems[] = {"COMMENTS", "EXPRESSIONS", "KEYWORDS", "LABELS"};
    while (!atEnd(a)) {
        std::string_view probe = skipBlanks(a);
        if (probe[0] == ',') {  // the report separates items with commas
            a = probe.substr(1);
            if (atEnd(a)) return kErrUnrecognized;
            continue;
        }
        if (probe[0] < 'A' || probe[0] > 'L') break;  // only words up to "L" are items
        const std::string_view w = takeWord(a);
        if (w == "CLEAR") {
            for (char& c : next.styleCase) c = 'C';
            next.styleIndent = -1;
            continue;
        }
        if (w == "INDENT") {
            std::string_view look = a;
            if (takeWord(look) == "CLEAR") {  // the report's "INDENT CLEAR[, m]"
                next.styleIndent = -1;
                a = look;
            } else {
                int n = 0;
                if (!takeNumber(a, n) || n > 8) return kErrUnrecognized;
                next.styleIndent = n;
                look = a;
                if (takeWord(look) == "CLEAR") {
                    next.styleIndent = -1;
                    a = look;
                }
            }
            look = skipBlanks(a);
            if (!look.empty() && look[0] == ',') {  // "INDENT n, m" in the report
                std::string_view after = skipBlanks(look.substr(1));
                if (after.empty() || after[0] < '0' || after[0] > '9') return kErrUnrecognized;
                a = after;
            }
            look = skipBlanks(a);
            if (!look.empty() && look[0] >= '0' && look[0] <= '9') {
                int m = 0;
                if (!takeNumber(a, m) || (m != 0 && (m < 20 || m > 60))) return kErrUnrecognized;
                next.styleCommentColumn = m;
            }
            continue;
        }
        int item = w == "COMMENT" ? 0 : -1;  // the report's name of COMMENTS
        for (int i = 0; i < 4; ++i)
            if (w == kItems[i]) item = i;
        if (item < 0) return kErrUnrecognized;
        const std::string_view c = takeWord(a);
        char letter;
        if (c == "CLEAR")
            letter = 'C';
        else if (c == "LOWER")
            letter = 'L';
        else if (c == "MIXED")
            letter = 'M';
        else if (c == "UPPER")
            letter = item == 0 ? 'U' : 'C';
        else
            return kErrUnrecognized;
        next.styleCase[item] = letter;
    }
    state().limits = next;
    return 0;
}

// OPTION n [ON|OFF] or OPTION n value.
int doOption(Stmt& s) {
    std::string_view a = s.up;
    int n = 0;
    if (!takeNumber(a, n) || n < 1 || n > 99) return kErrUnrecognized;
    if (n == 3 || n == 8 || n == 12 || n == 20 || n == 56 || (n >= 58 && n <= 96))
        return kErrUnrecognized;
    auto& st = state();
    // The report's form: "n is ON - text" or, for a value option, "n is value - text".
    std::string_view look = a;
    if (takeWord(look) == "IS") {
        const char* text = optionText(n);
        const std::string_view word = takeWord(look);
        if (!text || word.empty() || look.substr(0, 3) != " - " ||
            look.substr(3) != upperOf(text))
            return kErrUnrecognized;
        if (n != 9 && n != 13 && n != 33 && n != 97) {
            if (word != "ON" && word != "OFF") return kErrUnrecognized;
            if (n != 30) setOption(n, word == "ON");  // 30 is accepted and has no effect
            return 0;
        }
        a = word;  // the value, read below as the statement's
    }
    auto value = [&](int lo, int hi, int& target) { return setLimit(a, lo, hi, target); };
    switch (n) {
        case 6:
        case 30: return 0;
        case 9: return value(1, 1000, st.maxWorkstations);
        case 13: return value(20, 800, fieldsConfig().scanMilliseconds);
        case 97: return value(1, 100, st.option97);
        case 33: {
            int v = 0;
            if (!takeNumber(a, v) || lockingModeOfOption(v) == 0) return kErrUnrecognized;
            st.lockOption = v;
            return 0;
        }
        // The options written without a word (5, 19, 22, 54, 99: "OPTION 22") take ON and OFF
        // like every flag.  98 switches the NULL-record check off; "OPTION 98 OFF" leaves the
        // check as it is (OPTION 99 switches it on), so that no OFF ever turns anything on.
        case 98:
            if (onWord(a)) setOption(98, true);
            return 0;
        default: setOption(n, onWord(a)); return 0;
    }
}

// "OPTIONS 98 and 99 check for NULL records is ON": the report's line for OPTION 98 and 99.
int doOptions(Stmt& s) {
    const std::string_view up = trimRight(s.up);
    constexpr std::string_view kHead = "98 AND 99 CHECK FOR NULL RECORDS ";
    if (!up.starts_with(kHead)) return kErrUnrecognized;
    const int r = setIsOnOff(up.substr(kHead.size()), state().nullRecordCheck);
    return r < 0 ? kErrUnrecognized : r;
}

// ---- printing ----

int builtinPrinterType(std::string_view w) {
    if (w == "EPSON") return 1;
    if (w == "IBMCOLOR") return 2;
    if (w == "OKIDATA") return 3;
    if (w == "OKIDATA84") return 4;
    return 0;
}

// A key at the start of `a`: "[name]" or "2B" and hex pairs; empty when there is none.
bool printerKey(std::string_view a, std::string& key, size_t& length) {
    if (!a.empty() && a[0] == '[') {
        const size_t close = a.find(']');
        if (close == std::string_view::npos || close < 2) return false;
        for (char c : a.substr(1, close - 1))
            if (c <= ' ' || c >= 127 || c == '.') return false;
        key.assign(a.substr(0, close + 1));
        length = close + 1;
        return true;
    }
    if (a.size() >= 4 && a.substr(0, 2) == "2B") {
        size_t i = 2;
        std::string bytes;
        while (i + 1 < a.size() && hexDigit(a[i]) >= 0 && hexDigit(a[i + 1]) >= 0) {
            bytes += static_cast<char>(hexDigit(a[i]) * 16 + hexDigit(a[i + 1]));
            i += 2;
        }
        if (bytes.empty() || (i < a.size() && a[i] != ',' && a[i] != ' ')) return false;
        const unsigned char first = static_cast<unsigned char>(bytes[0]);
        if (first >= 32 && first <= 208) return false;
        key = "+" + bytes;
        length = i;
        return true;
    }
    return false;
}

int doPrinter(Stmt& s) {
    std::string_view a = skipBlanks(s.up);
    auto& st = state();
    const std::string_view whole = trimRight(a);
    if (int type = builtinPrinterType(whole)) {
        st.defaultPrinter.type = type;
        st.printerTranslation = true;
        return 0;
    }
    std::string_view look = a;
    if (takeWord(look) == "TYPE") {
        const std::string name(takeWord(look));
        if (name.empty() || takeWord(look) != "SELECT") return kErrUnrecognized;
        const std::string_view text = trimRight(skipBlanks(look));
        if (text.empty()) return kErrUnrecognized;
        st.printerTypes.insert(st.printerTypes.begin(), PrinterType{name, std::string(text)});
        return 0;
    }
    // [printer] [INIT|RESET] [LPP n] key,value
    std::string name, key, scratchKey;
    size_t keyLength = 0;
    look = a;
    std::string_view first = takeWord(look);
    if (!first.empty() && first != "INIT" && first != "RESET" && first != "LPP" &&
        !printerKey(a, scratchKey, keyLength) && (look.empty() || look[0] != ',')) {
        if (first.size() > 66) return kErrNameTooLong;
        name.assign(first);
        a = look;
    }
    if (name.empty() && optionOn(28)) return kErrUnrecognized;
    // INIT or RESET and LPP n, in either order.
    int lpp = -1;
    for (;;) {
        look = a;
        const std::string_view w = takeWord(look);
        if ((w == "INIT" || w == "RESET") && key.empty()) {
            key = w == "INIT" ? "[INIT+]" : "[RESET+]";
        } else if (w == "LPP" && lpp < 0) {
            if (!takeNumber(look, lpp) || lpp > 255) return kErrUnrecognized;
        } else {
            break;
        }
        a = look;
    }
    a = skipBlanks(a);
    std::string value;
    bool clear = false;
    if (key.empty() && a.empty() && lpp >= 0) {
        // LPP alone
    } else {
        if (key.empty()) {
            if (!printerKey(a, key, keyLength)) return kErrUnrecognized;
            a.remove_prefix(keyLength);
            a = skipBlanks(a);
            if (a.empty() || a[0] != ',') return kErrUnrecognized;
            a.remove_prefix(1);
        }
        // The value keeps its case: quoted strings are taken from the text as typed.
        const std::string_view typed = tail(s.typed, a.size());
        if (trimRight(skipBlanks(a)) == "CLEAR")
            clear = true;
        else if (int err = escapeValue(typed, value))
            return err;
    }
    PrinterTable* p = &st.defaultPrinter;
    if (!name.empty()) {
        p = nullptr;
        for (auto& e : st.printers)
            if (e.name == name) p = &e;
        if (!p) {
            if (st.printers.size() >= kMaxNamedPrinters) return kErrUnrecognized;
            st.printers.push_back(PrinterTable{name, 0, 0, {}});
            p = &st.printers.back();
        }
    }
    if (lpp >= 0) p->lpp = lpp;
    if (key.empty()) return 0;
    auto it =
        std::find_if(p->keys.begin(), p->keys.end(), [&](const auto& e) { return e.first == key; });
    if (clear) {
        if (it != p->keys.end()) p->keys.erase(it);
    } else if (it != p->keys.end()) {
        it->second = value;
    } else {
        p->keys.emplace_back(key, value);
    }
    return 0;
}

int doPrintScreen(Stmt& s) {
    std::string_view a = s.up;
    PrintScreenConfig next = state().printScreen;
    while (!atEnd(a)) {
        std::string_view typedRest = skipBlanks(tail(s.typed, a.size()));
        const std::string_view w = takeWord(a);
        std::string_view look = a;
        const bool off = takeWord(look) == "OFF";
        if (w == "REPLACE")
            next.replace = true;
        else if (w == "APPEND")
            next.replace = false;
        else if (w == "NEWPAGE")
            next.newPage = !off, a = off ? look : a;
        else if (w == "GUI")
            next.gui = !off, a = off ? look : a;
        else if (w == "CLEAR")
            next.openString.clear();
        else if (w == "ALL") {
            std::string_view l2 = a;
            if (takeWord(l2) != "DEFAULTS") return kErrUnrecognized;
            next = {};
            a = l2;
        } else {
            const std::string_view file = typedRest.substr(0, w.size());
            // "OFF" would be read back as the word after NEWPAGE or GUI, not as a file.
            if (file.empty() || file.find_first_of("\"',") != std::string_view::npos || w == "OFF")
                return kErrUnrecognized;
            next.openString = "name=" + std::string(file);
        }
    }
    state().printScreen = next;
    return 0;
}

// ---- workstation ----

// The report's two lines: "requested n by source with increment i." (a request that came from
// a configuration file is made again) and "assigned  n" (only information).
int wsidListing(std::string_view a) {
    int id = 0, inc = 0;
    if (a.starts_with("ASSIGNED ")) {
        a.remove_prefix(9);
        return takeNumber(a, id) && atEnd(a) ? 0 : kErrUnrecognized;
    }
    if (!a.starts_with("REQUESTED ") || !a.ends_with(".")) return kErrUnrecognized;
    a.remove_prefix(10);
    a.remove_suffix(1);
    if (!takeNumber(a, id) || !a.starts_with(" BY ")) return kErrUnrecognized;
    constexpr std::string_view kWith = " WITH INCREMENT ";
    const size_t with = a.rfind(kWith);
    if (with == std::string_view::npos) return kErrUnrecognized;
    const std::string_view source = a.substr(4, with - 4);
    a.remove_prefix(with + kWith.size());
    if (!takeNumber(a, inc) || !atEnd(a) || id > 999 || inc > 999) return kErrUnrecognized;
    if (source == upperOf(kConfigSource)) {
        if (id < 1 || inc < 1) return kErrUnrecognized;
        if (state().commandLineWsid > 0) return 0;
        state().wsidRequest = id;
        state().wsidIncrement = inc;
        return 0;
    }
    return source == "DEFAULT VALUES" || source == "COMMAND LINE" || source == "MULTIPLE SESSIONS"
               ? 0
               : kErrUnrecognized;
}

int doWsid(Stmt& s) {
    std::string_view a = trimRight(skipBlanks(s.up));
    if (!a.empty() && (a[0] < '0' || a[0] > '9')) return wsidListing(a);
    size_t i = 0;
    int n = 0;
    while (i < a.size() && i < 5 && a[i] >= '0' && a[i] <= '9') n = n * 10 + (a[i++] - '0');
    if (i == 0 || n < 1 || n > 999) return kErrUnrecognized;
    int inc = 1;
    if (i < a.size()) {
        if (a[i] != '+') return kErrUnrecognized;
        std::string_view rest = a.substr(i + 1);
        int v = 0;
        if (takeNumber(rest, v) && atEnd(rest) && v >= 1 && v <= 999) inc = v;
    }
    if (state().commandLineWsid > 0) return 0;  // the command line's workstation id wins
    state().wsidRequest = n;
    state().wsidIncrement = inc;
    return 0;
}

int doWsidSession(Stmt& s) {
    if (int r = setIsOnOff(s.up, state().wsidSession); r >= 0) return r;
    return atEnd(s.up) ? (state().wsidSession = true, 0) : kErrUnrecognized;
}
int doWsidUnique(Stmt& s) {
    if (int r = setIsOnOff(s.up, state().wsidUnique); r >= 0) return r;
    return atEnd(s.up) ? (state().wsidUnique = true, 0) : kErrUnrecognized;
}

int doIgnored(Stmt&) {
    return 0;
}
int doRefused(Stmt&) {
    return kErrUnrecognized;
}

// ---- the keyword table ----

struct Keyword {
    const char* name;
    Handler handler;
    bool startupOnly;  // refused after start-up
};

// Alphabetical; a keyword must equal an entry exactly.
constexpr Keyword kKeywords[] = {
    {"APPLICATION_NAME", doApplicationName, false},
    {"ATTRIBUTE", doAttribute, false},
    {"BASEYEAR", doBaseYear, false},
    {"BREAK", doBreak, false},
    {"BTREE_VERIFY", doBtreeVerify, false},
    {"CHAINDFLT", doChainDflt, false},
    {"CLIENT_CURRENT_DIR", doClientDir, false},
    {"COLLATE", doCollate, false},
    {"COLOR", doColor, false},
    {"CONSOLE", doConsole, false},
    {"CURSOR", doCursor, false},
    {"DATAHILITE", doDataHilite, false},
    {"DEBUG", doIgnored, false},
    {"DECIMAL", doDecimal, false},
    {"DIMONLY", doDimOnly, false},
    {"DRIVE", doDrive, false},
    {"EDITOR", doEditor, false},
    {"EXECUTE", doExecute, true},
    {"FIELDBREAK", doFieldBreak, false},
    {"FIELDHELP", doFieldHelp, false},
    {"FILENAMES", doFileNames, false},
    {"FLOWSTACK", doFlowStack, true},
    {"FONT", doFont, false},
    {"FORCE", doForce, false},
    {"FORSTACK", doForStack, true},
    {"GRAPHIC_LINEDRAW", doLineDraw, false},
    {"GUI", doGui, false},
    {"HELPDFLT", doHelpDflt, false},
    {"IBMNET", doRefused, true},
    {"INCLUDE", doInclude, false},
    {"INSERT", doInsert, false},
    {"IOERR_EXEMPT", doIoerrExempt, false},
    {"KEYBOARD", doKeyboard, false},
    {"KTSERVER", doKtserver, true},
    {"LOAD-OVERLAYS", doIgnored, true},
    {"LOGGING", doLogging, false},
    {"LOGIN_NAME", doLoginName, false},
    {"MAXRECALL", doMaxRecall, false},
    {"MAX_SORT_MEMORY", doMaxSortMemory, false},
    {"MEMORY", doIgnored, true},
    {"MIN_FONTSIZE", doMinFontSize, false},
    {"NOVELL", doRefused, true},
    {"NWLITE", doRefused, true},
    {"ONQ3", doIgnored, true},
    {"ONQPATH", doOnqPath, true},
    {"OPTION", doOption, false},
    {"OPTIONS", doOptions, false},
    {"PAGEOFLOW", doPageOflow, false},
    {"PICTURE", doPicture, false},
    {"PRINTDIR", doPrintDir, false},
    {"PRINTER", doPrinter, false},
    {"PRINTSCREEN", doPrintScreen, false},
    {"RD", doRd, false},
    {"REM", doIgnored, false},
    {"RPNSTACK", doRpnStack, true},
    {"S/23-DRIVES", doS23Drives, false},
    {"S/23-MODE", doRefused, false},
    {"S/36-MODE", doS36Mode, false},
    {"S23DRIVES", doS23Drives, false},
    {"S36MODE", doS36ModeListing, false},
    {"SCREEN", doScreen, false},
    {"SETENV", doSetenv, false},
    {"SHELL", doShell, false},
    {"SPOOLCMD", doSpoolCmd, false},
    {"SPOOLPATH", doSpoolPath, false},
    {"STATUSLINE", doStatusLine, false},
    {"STYLE", doStyle, false},
    {"SUBSTITUTE", doSubstitute, false},
    {"SYNC", doSync, false},
    {"TYPEAHEAD", doTypeahead, false},
    {"USERLEVEL", doUserLevel, false},
    {"WORKPATH", doWorkPath, true},
    {"WORKSTACK", doWorkStack, true},
    {"WSID", doWsid, true},
    {"WSID=SESSION", doWsidSession, true},
    {"WSID=UNIQUE", doWsidUnique, true},
};
constexpr size_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];

// The first entry of each letter A-Z (kKeywordCount when none), built once; the table's order
// is checked at the same time.
const Keyword* findKeyword(std::string_view word) {
    static size_t first[27];
    static bool built = false;
    if (!built) {
        for (size_t i = 1; i < kKeywordCount; ++i)
            VXASSERT(std::strcmp(kKeywords[i - 1].name, kKeywords[i].name) < 0);
        size_t k = 0;
        for (int letter = 0; letter < 26; ++letter) {
            while (k < kKeywordCount && kKeywords[k].name[0] < 'A' + letter) ++k;
            first[letter] = k;
        }
        first[26] = kKeywordCount;
        built = true;
    }
    if (word.empty() || word[0] < 'A' || word[0] > 'Z') return nullptr;
    for (size_t i = first[word[0] - 'A']; i < kKeywordCount && kKeywords[i].name[0] == word[0]; ++i)
        if (word == kKeywords[i].name) return &kKeywords[i];
    return nullptr;
}

// ---- statement text ----

// %NAME% (environment, the name upper-cased) and [LOGIN_NAME$] replaced, left to right; the
// text stays within 800 characters.
std::string substituteText(std::string_view line) {
    std::string out(line);
    size_t pos = 0;
    while (pos < out.size()) {
        std::string value;
        size_t end = std::string::npos;
        if (out[pos] == '%') {
            end = out.find('%', pos + 1);
            if (end == std::string::npos) {
                ++pos;
                continue;
            }
            const std::string name = upperOf(std::string_view(out).substr(pos + 1, end - pos - 1));
            if (name.empty() || !environmentVariable(name, value)) {
                pos = end;  // left as written; the closing "%" may open the next name
                continue;
            }
        } else if (out[pos] == '[' &&
                   upperOf(std::string_view(out).substr(pos, 13)) == "[LOGIN_NAME$]") {
            end = pos + 12;
            value = loginName();
        } else {
            ++pos;
            continue;
        }
        if (out.size() - (end + 1 - pos) + value.size() > kMaxLine) break;
        out.replace(pos, end + 1 - pos, value);
        pos += value.size();
    }
    return out;
}

// "!" from the second character on ends the statement; "\!" is a literal "!".
std::string stripComment(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '!') {
            out += '!';
            ++i;
        } else if (text[i] == '!' && i > 0) {
            break;
        } else {
            out += text[i];
        }
    }
    return std::string(trimRight(out));
}

// The upper-cased copy of a statement, in which keywords and fixed words are compared.
std::string upperCopy(std::string_view text) {
    return upperOf(text);
}

// Outcome of one line.
enum class Line { Accepted, Skipped, Comment, Refused };

// Whether a line is one of the lines a STATUS report writes before its sections (the header,
// the program and where it stopped, the loaded programs), which a listing read back as a
// configuration file carries along: they set nothing.
bool isReportHeading(std::string_view line) {
    auto digitsThen = [](std::string_view s, std::string_view rest) {
        size_t i = 0;
        while (i < s.size() && s[i] == ' ') ++i;
        const size_t first = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        return i > first && s.substr(i).starts_with(rest);
    };
    if (line.starts_with("WSID=") && digitsThen(line.substr(5), "    Date=") &&
        line.find("   Time=") != std::string_view::npos)
        return true;
    if (line.starts_with("Program ID ") || line.starts_with("Current Line=") ||
        line.starts_with("Last OS Error "))
        return true;
    if (line.starts_with("Procedure ") && digitsThen(line.substr(10), "  Line "))
        return true;
    // "%-40s %-10s%-11s%-6s% 4d %s": name, MAIN/LIBRARY/RESIDENT, state, end mode, links.
    if (line.size() < 60) return false;
    std::vector<std::string_view> words;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        const size_t end = std::min(line.find(' ', i), line.size());
        words.push_back(line.substr(i, end - i));
        i = end;
    }
    if (words.size() < 6) return false;
    const std::string_view* w = &words[words.size() - 5];
    auto upperWord = [](std::string_view x) {
        return !x.empty() && std::all_of(x.begin(), x.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    };
    return (w[0] == "MAIN" || w[0] == "LIBRARY" || w[0] == "RESIDENT") && upperWord(w[1]) &&
           (w[2] == "END" || w[2] == "EXIT" || w[2] == "RETAIN") &&
           std::all_of(w[3].begin(), w[3].end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           (w[4] == "LINK" || w[4] == "LINKS");
}

// Carries out one line.  `shown` receives the statement as it is reported; `err` the error.
Line processLine(Run& run, std::string_view raw, std::string& shown, int& err, bool& isDrive) {
    err = 0;
    isDrive = false;
    shown.assign(trimRight(raw));
    if (shown.empty() || shown[0] == kCtrlZ) return Line::Skipped;
    if (shown[0] == '!' || shown[0] == '#') return Line::Comment;
    if (isReportHeading(shown)) return Line::Skipped;
    std::string_view text = shown;
    std::string body;
    if (text[0] == '@') {
        // @login statement: the statement applies only for that login name.
        size_t i = 1;
        std::string who;
        char quote = 0;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
                else
                    who += c;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == ' ') {
                break;
            } else {
                who += c;
            }
        }
        if (lowerOf(who) != lowerOf(loginName())) return Line::Skipped;
        body.assign(skipBlanks(text.substr(i)));
    } else {
        body.assign(text);
    }
    shown = stripComment(substituteText(body));
    if (shown.empty()) return Line::Skipped;
    // Control characters have no place in a statement: printer strings write them in escape
    // notation ("\e"), and a raw one could not be read back the same from a file.
    for (char c : shown)
        if (isCtl(c)) {
            err = kErrUnrecognized;
            return Line::Refused;
        }
    const std::string up = upperCopy(shown);
    // The heading the report puts before the OPTION lines.
    if (up == "THE FOLLOWING OPTION DESCRIPTIONS ARE FOR THE ON STATE.") return Line::Accepted;
    std::string keyword;
    size_t argStart;
    if (up.rfind("3D_FIELDS", 0) == 0) {
        keyword = "3D_FIELDS";
        argStart = 9;
    } else {
        argStart = std::min(up.find(' '), up.size());
        keyword = up.substr(0, argStart);
    }
    while (argStart < shown.size() && shown[argStart] == ' ') ++argStart;
    Stmt s{&run, std::string_view(shown).substr(std::min(argStart, shown.size())),
           std::string_view(up).substr(std::min(argStart, up.size()))};
    Handler handler = nullptr;
    bool startupOnly = true;
    if (keyword == "3D_FIELDS") {
        handler = do3dFields;
        startupOnly = false;
    } else if (const Keyword* k = findKeyword(keyword)) {
        handler = k->handler;
        startupOnly = k->startupOnly;
    }
    isDrive = keyword == "DRIVE";
    if (!run.startup) {
        std::string_view a = s.up;
        int n = 0;
        if (keyword == "OPTION" && takeNumber(a, n) && n == 33) startupOnly = true;
        if (startupOnly || !handler) {
            err = kErrUnrecognized;
            return Line::Refused;
        }
    }
    if (!handler) {
        err = kErrUnrecognized;
        return Line::Refused;
    }
    err = handler(s);
    return err ? Line::Refused : Line::Accepted;
}

void showMessage(const std::string& text) {
    auto& st = state();
    if (st.logFile.empty()) {
        if (st.messages.empty()) consoleOutput("Configuration Messages:");
        consoleOutput(text);
    }
    st.messages.push_back(text);
}

// A line as messages show it: control bytes (a binary file read as configuration) in the
// notation of printer strings, a backslash and three octal digits, so that no byte of the file
// reaches the terminal or the log as it is.
std::string shownText(std::string_view line) {
    std::string out;
    for (char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b == 127) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\%03o", b);
            out += esc;
        } else {
            out += c;
        }
    }
    return out;
}

// Reports a refused statement (the statement, then for DRIVE at start-up its error).
void report(Run& run, const std::string& line, int err, bool isDrive) {
    run.failed = true;
    const std::string text = shownText(line);
    if (isDrive && run.startup) {
        vxlog(kLogFatal, "%s", text.c_str());
        vxlog(kLogFatal, "Error %d processing DRIVE statement", err);
        state().messages.push_back(text);
        return;
    }
    vxlog(kMessageLevel, "%s", text.c_str());
    showMessage(text);
}

// Reads lines from the open files until all are closed.
int processRun(Run& run) {
    std::string line, shown;
    while (!run.files.empty()) {
        if (!readLine(run.files.back(), line)) {
            run.files.pop_back();
            continue;
        }
        int err = 0;
        bool isDrive = false;
        switch (processLine(run, line, shown, err, isDrive)) {
            case Line::Comment: vxlog(kCommentLevel, "%s", shownText(shown).c_str()); break;
            case Line::Refused: report(run, shown, err, isDrive); break;
            default: break;
        }
    }
    return run.failed ? 1 : 0;
}

}  // namespace

// Start-up: locate and read the file, then the end step.
int processConfigFile(std::string_view fileName) {
    auto& st = state();
    Run run;
    run.startup = true;
    std::string path;
    Source main;
    platform::FileInfo mainInfo;
    if (!fileName.empty()) {
        if (fileName[0] == ':') fileName.remove_prefix(1);
        if (fileName.size() >= kVxMaxPath) {
            // Refused rather than fatal: the name came from the command line.
            vxlog(kMessageLevel, "Config file name too long");
            showMessage("Config file name too long");
            run.failed = true;
        } else if (platform::readWholeFile(std::string(fileName), main.data, kMaxFileBytes,
                                           &mainInfo) == 0) {
            path.assign(fileName);
        }
    } else {
        char exe[kVxMaxPath];
        const size_t len = platform::moduleFileName(exe, sizeof exe);
        std::string dir(exe, len);
        dir.erase(dir.find_last_of('/') + 1);
        for (const char* name : {"vxconfig.sys", "ktconfig.sys"}) {
            if (len == 0) break;
            if (platform::readWholeFile(dir + name, main.data, kMaxFileBytes, &mainInfo) == 0) {
                path = dir + name;
                break;
            }
        }
    }
    st.configFile = path;
    if (!path.empty()) {
        main.device = mainInfo.device;
        main.inode = mainInfo.inode;
        run.opened = 1;
        run.files.push_back(std::move(main));
        processRun(run);
    }
    // Without a DRIVE statement drive C: is the current directory.
    if (!anyDriveMapped()) {
        if (int err = defineDrive('C', ".", "\\")) report(run, "DRIVE C:,.,.,\\", err, true);
    }
    st.startupDone = true;
    applySettings();
    return run.failed ? 1 : 0;
}

// After start-up: one statement (an INCLUDE reads its whole file first).
int processConfigStatement(std::string_view statement) {
    Run run;
    std::string shown;
    int err = 0;
    bool isDrive = false;
    // The statement is read as a line of a file is: TAB as blanks, CR and NUL dropped, at
    // most 800 characters, up to a line break or Ctrl-Z.
    Source text;
    text.data.assign(statement.begin(), statement.end());
    std::string line;
    readLine(text, line);
    const Line r = processLine(run, line, shown, err, isDrive);
    if (r == Line::Comment) vxlog(kCommentLevel, "%s", shownText(shown).c_str());
    if (r == Line::Refused) return 1;
    const int result = processRun(run);
    applySettings();
    return result;
}

int processConfig(std::string_view text) {
    return state().startupDone ? processConfigStatement(text) : processConfigFile(text);
}

}  // namespace vxs
