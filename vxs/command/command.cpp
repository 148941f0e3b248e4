// Command mode (see command.h).
#include "vxs/command/command.h"

#include <cctype>
#include <charconv>
#include <memory>
#include <string>

#include "vxs/clientserver/remoteops.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/lister.h"
#include "vxs/interpreter/run.h"
#include "vxs/config/statline.h"
#include "vxs/control/errors.h"
#include "vxs/control/utils.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

// The command work area: allocated on first entry, freed at shut-down.
struct CommandWork {
    std::string line;  // the line being read
};
std::unique_ptr<CommandWork> g_work;

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool equalsUpper(std::string_view word, std::string_view upper) {
    if (word.size() != upper.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(word[i])) != upper[i]) return false;
    return true;
}

// SYSTEM [n]: shut down with exit code n (0 when absent).
int commandSystem(std::string_view argument) {
    int32_t code = 0;
    if (!argument.empty()) {
        const char* first = argument.data();
        const char* last = first + argument.size();
        if (*first == '+') ++first;  // from_chars takes '-' but not '+'
        auto [end, ec] = std::from_chars(first, last, code);
        if (ec != std::errc() || end != last || first == last) return kErrUnrecognized;
    }
    setExitCode(code);
    setActionCode(kActShutdown);
    return 0;
}

// Back from the SORT or INDEX utility.  A suspended program's saved status comes back with its
// command-info record; otherwise command mode is simply ready again.  The program in memory is
// kept: the utilities do not use its tables.
void reenterAfterUtility() {
    setRunStatusShown(RUNSTAT_READY);
}

// RUN: the current program from its first line.
int commandRun() {
    pcb* pc = t.curpcb;
    if (activityClass() == kActive) return kErrProgramActive;
    if (!pc || pc->firstline == kNoLines) return kErrNoProgram;
    prepareRun(*pc);
    pc->curline = pc->firstline;
    pc->savedclauseoffset = 0;
    setActionCode(kActRun);
    return 0;
}

// LIST: every line of the current program as typed.
int commandList() {
    if (!t.curpcb) return 0;
    for (int i : linesInOrder(*t.curpcb)) consoleOutput(listLine(*t.curpcb, i));
    return 0;
}

CompileOptions compileOptions() {
    CompileOptions o;
    o.programActive = activityClass() == kActive;
    return o;
}

// A statement without a line number: compiled into the typed-statement line and run at once.
int immediateStatement(std::string_view line) {
    if (!t.curpcb) return kErrUnrecognized;
    PendingDict pending;
    CompiledLine compiled;
    if (int err = compileLine(*t.curpcb, line, pending, compileOptions(), compiled, false))
        return -err;
    pendingCommit(*t.curpcb, pending);
    t.immediate = std::move(compiled.code);
    t.runImmediate = true;
    setActionCode(kActRun);
    return 0;
}

}  // namespace

int executeCommandLine(std::string_view line) {
    line = trimBlanks(line);
    if (line.empty()) return 0;
    if (std::isdigit(static_cast<unsigned char>(line[0]))) {  // a program line
        if (!t.curpcb) return kErrUnrecognized;
        const int err = enterLine(*t.curpcb, line, compileOptions());
        return err < 0 ? -err : err;
    }
    size_t wordEnd = 0;
    while (wordEnd < line.size() && std::isalpha(static_cast<unsigned char>(line[wordEnd])))
        ++wordEnd;
    const std::string_view word = line.substr(0, wordEnd);
    const std::string_view rest = trimBlanks(line.substr(wordEnd));
    if (equalsUpper(word, "SYSTEM")) return commandSystem(rest);
    if (equalsUpper(word, "RUN") && rest.empty()) return commandRun();
    if (equalsUpper(word, "LIST") && rest.empty()) return commandList();
    return immediateStatement(line);
}

void commandMode() {
    if (!g_work) g_work = std::make_unique<CommandWork>();
    if (actionCode() == kActAfterUtility) {
        reenterAfterUtility();
        setActionCode(kActCommand);
    }
    setRunStatusShown(RUNSTAT_READY);
    while (actionCode() == kActCommand) {
        const int32_t status = consoleInput(g_work->line, kCommandFieldWidth, kInputCommand);
        int err = 0;
        if (status == kInputEnded)
            err = executeCommandLine("SYSTEM");
        else if (status == kInputTooLong)
            err = kErrCommandTooLong;
        else
            err = executeCommandLine(g_work->line);
        if (err) statusShowError(err, -1, 0);
    }
}

bool ciExists() {
    return false;
}

int procedureDepth() {
    return 0;
}
void closeInnermostProcedure() {}

void freeCommandHistory() {}
void freeCommandBuffers() {
    g_work.reset();
}

}  // namespace vxs
