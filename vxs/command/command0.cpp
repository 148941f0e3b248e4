// The command table and the option words, the lookup of command words, argument splitting, and
// the routing of every command code to its handler.
#include <cctype>
#include <charconv>
#include <cstdio>

#include "vxs/command/cmdshared.h"
#include "vxs/command/command.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/progfile.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/screen/statline.h"
#include "vxs/errors/errors.h"
#include "vxs/debugger/help.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

constexpr const char* kCommandNames[] = {
    "",        "ALERT",   "AUTO",   "BREAK",  "CHDIR",   "CLEAR",   "CONFIG",  "COPY",
    "DATE",    "DEBUG",   "DEL",    "DIR",    "DISPLAY", "DROP",    "EDIT",    "FREE",
    "GO",      "HELP",    "INDEX",  "LINK",   "LIST",    "LOAD",    "MERGE",   "MKDIR",
    "PROC",    "PROCERR", "PROTECT", "RENAME", "RENUM",  "REPLACE", "RMDIR",   "RUN",
    "SAVE",    "SKIP",    "SORT",   "STATUS", "SUBPROC", "SYSTEM",  "TIME",    "TYPE",
    "VERIFY",
};
constexpr uint8_t kCommandCodes[] = {
    0,  36, 31, 56, 12, 29, 45, 10, 42, 58, 28, 11, 57, 19, 15, 20, 3,  40, 9,  7, 32,
    1,  27, 13, 5,  37, 22, 21, 30, 24, 14, 2,  23, 35, 8,  43, 6,  50, 41, 33, 52,
};
static_assert(std::size(kCommandNames) == 41 && std::size(kCommandCodes) == 41);

constexpr const char* kOptionNames[] = {
    "",        "ALL",     "CLAUSES",   "COUNT",    "DATA",    "ECHO",    "LOAD",  "NOCOUNT",
    "NODATA",  "NOECHO",  "NOEJECT",   "NORESTORE", "NOSTEP", "NOTRACE", "OBJECT", "ONLY",
    "PRINT",   "PROC",    "READ",      "RELEASE",  "REM",     "REPLACE", "RESERVE", "RESIDENT",
    "RESTORE", "RETURN",  "RUN",       "SKIP",     "SOURCE",  "STATUS",  "STEP",  "STOP",
    "TRACE",   "WRITE",   "XREF",
};
constexpr uint8_t kOptionCodes[] = {
    0,   63, 66, 74, 62,  93,  82,  75, 72, 94, 110, 112, 79, 71, 61, 95, 80, 90,
    103, 102, 96, 83, 101, 64, 111, 92, 78, 35, 60,  65,  77, 91, 70, 104, 81,
};
static_assert(std::size(kOptionNames) == std::size(kOptionCodes));

CommandWork g_work;
std::string g_utilityTail;  // the tail of the last SORT or INDEX command

// SYSTEM [n]: shut down with exit code n; without n, the code that END or STOP set last (0 when
// none did).  An active program ends first.
int commandSystem(std::string_view word, std::string_view args) {
    int32_t code = exitCode();
    args = trimBlanks(args);
    if (!args.empty()) {
        const char* first = args.data();
        const char* last = first + args.size();
        if (*first == '+') ++first;  // from_chars takes '-' but not '+'
        auto [end, ec] = std::from_chars(first, last, code);
        if (ec != std::errc() || end != last || first == last) return kErrUnrecognized;
    }
    if (programActive()) return queueAfterProgramEnd(std::string(word) + " " + std::string(args));
    setExitCode(code);
    setActionCode(kActShutdown);
    return kLeftCommandMode;
}

// RUN: the current program from its first line.
int commandRun(std::string_view args) {
    if (programActive()) return kErrProgramActive;
    if (!trimBlanks(args).empty()) return commandLoad(args, true);
    pcb* pc = pchain.curpcb;
    if (!pc || pc->firstline == kNoLines) return kErrNoProgram;
    prepareRun(*pc);
    pc->curline = pc->firstline;
    pc->savedclauseoffset = 0;
    setActionCode(kActRun);
    return kLeftCommandMode;
}

// CLEAR: an empty program; CLEAR while a program is active ends it first.
int commandClear(std::string_view word, std::string_view args) {
    if (!trimBlanks(args).empty()) return kErrUnrecognized;
    if (programActive()) return queueAfterProgramEnd(word);
    if (pcb* pc = pchain.curpcb) {
        resetProgram(*pc);
        pc->progname[0] = '\0';
        pc->basenamelen = 0;
        pc->progflags = 0;
        pc->breakpoints.clear();
        pc->stopline = 0;
        t.watches.clear();
        pc->resolved = true;
        noteWatchChange();
    }
    return 0;
}

// AUTO [start [increment]]: offers numbered lines until an empty one or past 99999.
int commandAuto(std::string_view args) {
    uint32_t start = 0, increment = 10;
    bool startGiven = false;
    if (int err = parseStartIncrement(args, start, increment, startGiven)) return err;
    if (!startGiven) {  // after the last line of the program
        start = 10;
        if (pcb* pc = pchain.curpcb) {
            const std::vector<int> order = linesInOrder(*pc);
            if (!order.empty())
                start = pc->lineptr[static_cast<size_t>(order.back())].lineno() + increment;
        }
        if (start > static_cast<uint32_t>(kMaxLineNumber)) return kErrUnrecognized;
    }
    g_work.autoOn = true;
    g_work.autoLine = start;
    g_work.autoIncrement = increment;
    return 0;
}

// HELP [word]: the help topic of the word, of the error shown before the command, or the command
// menu; a failure to show it is on the status line.
int commandHelp(std::string_view args) {
    showHelpTopic(helpTopicFor(args, commandWork().errorForHelp));
    return 0;
}

// PROTECT: from now on the program is saved without its source text.
int commandProtect(std::string_view args) {
    if (!trimBlanks(args).empty()) return kErrUnrecognized;
    if (!pchain.curpcb) return kErrNoProgram;
    pchain.curpcb->progflags |= PF_PROTECTED;
    return 0;
}

// CONFIG statement: the configuration processor does not exist yet.
// CONFIG statement: one configuration statement, with the restrictions that apply once
// start-up is over.
int commandConfig(std::string_view args) {
    const std::string_view statement = trimBlanks(args);
    if (statement.size() > 128) return kErrCommandTooLong;
    return processConfigStatement(statement) ? kErrUnrecognized : 0;
}

// SORT and INDEX: the utility reads its own parameters and returns through action code 47.
int commandUtility(int code, std::string_view args) {
    g_utilityTail.assign(args);
    setRunStatus(RUNSTAT_INVALID);
    setActionCode(code == CmdSort ? kActSort : kActIndex);
    return kLeftCommandMode;
}

}  // namespace

// GO resumes the suspended program; GO END ends it.
int commandGo(std::string_view args) {
    if (!programActive()) return kErrNoActiveProgram;
    const std::string rest = upperCase(trimBlanks(args));
    CommandInfo ci = g_work.ci.back();
    if (rest == "END") {
        g_work.ci.clear();
        noteActivityChange();
        setActionCode(kActEndProgram);
        return kLeftCommandMode;
    }
    if (!rest.empty()) return kErrUnrecognized;
    g_work.ci.pop_back();
    if (pcb* pc = pchain.curpcb) restoreRunPosition(*pc, ci);
    setRunStatus(ci.status);
    setActionCode(kActResume);
    return kLeftCommandMode;
}


bool restoreRunPosition(pcb& pc, const CommandInfo& ci) {
    // A deleted line's place in the table goes to the last entry: look for the line's code.
    for (int16_t k = 0; k < pc.linecnt; ++k)
        if (ci.code && pc.lineptr[static_cast<size_t>(k)].code == ci.code) {
            pc.curline = k;
            pc.savedclauseoffset = ci.clauseoffset;
            if (pc.savedclauseoffset >= static_cast<int16_t>(lineCode(pc, k).size()))
                pc.savedclauseoffset = 0;
            return true;
        }
    pc.curline = ci.curline >= 0 && ci.curline < pc.linecnt ? ci.curline : 0;
    pc.savedclauseoffset = ci.clauseoffset;
    // An edit since the stop changed the line: resume at its start then.
    if (pc.savedclauseoffset >= static_cast<int16_t>(lineCode(pc, pc.curline).size()))
        pc.savedclauseoffset = 0;
    return false;
}

const std::string& utilityCommandTail() {
    return g_utilityTail;
}

CommandWork& commandWork() {
    return g_work;
}

bool programActive() {
    return !g_work.ci.empty();
}

int queueAfterProgramEnd(std::string_view command) {
    g_work.queued.emplace_back(command);
    g_work.ci.clear();
    noteActivityChange();
    setActionCode(kActEndProgram);
    return kLeftCommandMode;
}

const KeywordTable& commandTable() {
    static const KeywordTable table(kCommandNames, kCommandCodes);
    return table;
}
const KeywordTable& optionWords() {
    static const KeywordTable table(kOptionNames, kOptionCodes);
    return table;
}

namespace {
int lookupIn(const KeywordTable& table, std::string_view word) {
    const std::string w = upperCase(word);
    if (w.empty()) return 0;
    if (int p = table.lookup(w)) return table.code(p);
    for (int p = 1; p <= table.size(); ++p)  // an exact name is never ambiguous
        if (w == table.name(p)) return table.code(p);
    return 0;
}
}  // namespace

int lookupCommand(std::string_view word) {
    if (upperCase(word) == "LI") return CmdList;
    return lookupIn(commandTable(), word);
}

int lookupOption(std::string_view word) {
    return lookupIn(optionWords(), word);
}

std::string upperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string_view> textLines(std::string_view text) {
    std::vector<std::string_view> lines;
    // Editors on other systems start UTF-8 text with a byte-order mark: it is not part of a line.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

std::string_view unquoted(std::string_view name) {
    if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') &&
        name.back() == name.front())
        return name.substr(1, name.size() - 2);
    return name;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool parseDecimal(std::string_view text, uint32_t max, uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    if (v > max) return false;
    value = v;
    return true;
}

int parseStartIncrement(std::string_view args, uint32_t& start, uint32_t& increment,
                        bool& startGiven) {
    const std::vector<std::string> a = splitArguments(args);
    if (a.size() > 2) return kErrUnrecognized;
    if (!a.empty() && (!parseDecimal(a[0], kMaxLineNumber, start) || start == 0))
        return kErrUnrecognized;
    if (a.size() == 2 && (!parseDecimal(a[1], kMaxLineNumber, increment) || increment == 0))
        return kErrUnrecognized;
    startGiven = !a.empty();
    return 0;
}

int splitCommandWords(std::string_view args, std::vector<CommandWord>& words) {
    words.clear();
    CommandWord cur;
    bool have = false;
    char quote = 0;
    for (char c : args) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                cur.text += c;
            continue;
        }
        if (c == ' ' || c == '\t' || c == ',') {
            if (have) words.push_back(std::move(cur));
            cur = CommandWord{};
            have = false;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            if (!have) cur.quoted = true;
            have = true;
            continue;
        }
        cur.text += c;
        have = true;
    }
    if (quote) return kErrUnclosedQuote;
    if (have) words.push_back(std::move(cur));
    return 0;
}

std::vector<std::string> splitArguments(std::string_view args) {
    std::vector<std::string> out;
    std::string cur;
    char quote = 0;  // the quote character of a quoted part ('"' or '\''), while inside one
    bool have = false;
    for (char c : args) {
        if (quote) {
            cur += c;
            if (c == quote) quote = 0;
            continue;
        }
        if (c == ' ' || c == ',' || c == '\t') {
            if (have) out.push_back(cur);
            cur.clear();
            have = false;
            continue;
        }
        if (c == '"' || c == '\'') quote = c;
        cur += c;
        have = true;
    }
    if (have) out.push_back(cur);
    return out;
}

std::string helpTopicFor(std::string_view text, int shownError) {
    char buf[24];
    text = trimBlanks(text);
    if (text.empty()) {
        if (shownError <= 0) return "CMDMENU";
        snprintf(buf, sizeof buf, "ERR%04d", shownError);
        return buf;
    }
    const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    size_t end = 0;
    while (end < text.size() && isDigit(text[end])) ++end;
    const bool numbered = end > 0;
    if (numbered) {
        const std::string_view rest = trimBlanks(text.substr(end));
        uint32_t number = 0;
        if (rest.empty()) {  // a number alone: an error number
            if (!parseDecimal(text, 99999, number)) return "UNRECOGNIZED";
            snprintf(buf, sizeof buf, "ERR%04u", number);
            return buf;
        }
        text = rest;  // a program line: its statement
    }
    end = 0;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                 text[end] == '$' || text[end] == '_'))
        ++end;
    const std::string word = upperCase(text.substr(0, end));
    if (word.empty()) return "UNRECOGNIZED";
    if (!numbered)
        if (const int code = lookupCommand(word))
            return commandTable().name(commandTable().positionOfCode(static_cast<uint8_t>(code)));
    HelpTopic topic;
    if (validHelpName(word) && readHelpTopic(word, kCommandHelpFile, topic) == 0) return word;
    return "UNRECOGNIZED";
}

int executeCommand(int code, std::string_view word, std::string_view args) {
    switch (code) {
        case CmdLoad:
            if (programActive())
                return queueAfterProgramEnd(std::string(word) + " " + std::string(args));
            setRunStatusShown(RUNSTAT_LOAD);
            return commandLoad(args, false);
        case CmdRun: return commandRun(args);
        case CmdGo: return commandGo(args);
        case CmdProc: return commandProcedure(args, false);
        case CmdSubproc: return commandProcedure(args, true);
        case CmdSort:
        case CmdIndex: return commandUtility(code, args);
        case CmdCopy:
        case CmdDir:
        case CmdDrop:
        case CmdFree:
        case CmdRename:
        case CmdType:
            statusShowMessage(commandTable().name(commandTable().positionOfCode(static_cast<uint8_t>(code))));
            return fileCommand(code, args);
        case CmdChdir:
        case CmdMkdir:
        case CmdRmdir:
        case CmdVerify: return fileCommand(code, args);
        case CmdLink: return kErrNotAvailable;
        case CmdDebug: return commandDebug(args);
        case CmdEdit: return commandEdit(args);
        case CmdProtect: return commandProtect(args);
        case CmdAuto: return commandAuto(args);
        case CmdSkip: return commandSkip(args);
        case CmdProcerr: return commandProcErr(args);
        case CmdHelp: return commandHelp(args);
        case CmdStatus: return commandStatus(args);
        case CmdSave:
        case CmdReplace:
            if (programActive()) return kErrProgramActive;
            return commandSave(args, code == CmdReplace);
        case CmdMerge: return commandMerge(args);
        case CmdDel:
        case CmdList:
        case CmdInternalList: return commandListDelete(code, args);
        case CmdClear: return commandClear(word, args);
        case CmdRenum: return commandRenumber(args);
        case CmdAlert: statusShowMessage(trimBlanks(args)); return 0;
        case CmdTime: return commandDateTime(args, false);
        case CmdDate: return commandDateTime(args, true);
        case CmdConfig: return commandConfig(args);
        case CmdSystem: return commandSystem(word, args);
        case CmdBreak: return commandBreak(args, false);
        case CmdDisplay: return commandBreak(args, true);
        default: return kErrUnrecognized;
    }
}

}  // namespace vxs
