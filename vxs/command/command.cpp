// Command mode: reads lines from the console or the procedure file being executed and decides
// what each is: a numbered program line (compiled into the current program), a command of the
// table, or a statement to execute at once.  It keeps the command-info records of suspended
// programs, AUTO numbering, queued commands and the command history.
#include "vxs/command/command.h"

#include <cctype>
#include <cstdio>
#include <string>

#include "vxs/clientserver/remoteops.h"
#include "vxs/command/cmdshared.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"
#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"
#include "vxs/debugger/debug.h"
#include "vxs/debugger/help.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/chain.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/interpreter/run.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

inline constexpr size_t kHistoryLines = 50;
inline constexpr size_t kRejectedLineMax = 775;  // of a rejected line kept in the input field

bool isSuspendedStatus(int status) {
    switch (status) {
        case RUNSTAT_ATTN:
        case RUNSTAT_ERROR:
        case RUNSTAT_PAUSE:
        case RUNSTAT_STEP:
        case RUNSTAT_EXEC: return true;
        default: return false;
    }
}

CompileOptions compileOptions() {
    CompileOptions o;
    o.programActive = programActive();
    return o;
}

void remember(std::string_view line) {
    CommandWork& w = commandWork();
    if (line.empty()) return;
    w.history.emplace_back(line);
    if (w.history.size() > kHistoryLines) w.history.pop_front();
}

// A numbered line: stored (or deleted when only its number was typed).  A line that does not
// compile is offered again for correction.
int programLine(std::string_view line) {
    CommandWork& w = commandWork();
    if (!pchain.curpcb) return kErrUnrecognized;
    size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
    const bool numberOnly = trimBlanks(line.substr(digits)).empty();
    if (w.autoOn && numberOnly) {  // an empty numbered line ends AUTO
        w.autoOn = false;
        return 0;
    }
    size_t errorPos = 0;
    const int err = enterLine(*pchain.curpcb, line, compileOptions(), &errorPos);
    if (err) {
        debugReportSyntaxIndent(static_cast<int>(errorPos));
        w.preset = std::string(line.substr(0, kRejectedLineMax));
        w.presetSelected = true;
        return err < 0 ? -err : err;
    }
    if (w.autoOn) {
        uint32_t number = 0;
        if (!parseDecimal(line.substr(0, digits), 0xFFFFFFFFu, number)) number = w.autoLine;
        const uint64_t next = uint64_t{number} + w.autoIncrement;
        if (next > static_cast<uint64_t>(kMaxLineNumber))
            w.autoOn = false;
        else
            w.autoLine = static_cast<uint32_t>(next);
    }
    return 0;
}

// A statement without a line number: compiled into the typed-statement line and run at once.
int immediateStatement(std::string_view line) {
    if (!pchain.curpcb) return kErrUnrecognized;
    PendingDict pending;
    CompiledLine compiled;
    if (int err = compileLine(*pchain.curpcb, line, pending, compileOptions(), compiled, false)) {
        debugReportSyntaxIndent(static_cast<int>(compiled.errorPos));
        return -err;
    }
    pendingCommit(*pchain.curpcb, pending);
    setImmediateStatement(std::move(compiled.code));
    setActionCode(kActRun);
    return kLeftCommandMode;
}

// Whether the first word stands as a variable: followed by `=`, `$`, `(` or more name characters.
bool wordIsVariable(std::string_view line, size_t wordEnd) {
    if (wordEnd < line.size()) {
        const char c = line[wordEnd];
        if (c == '$' || c == '(' || c == '_' || std::isdigit(static_cast<unsigned char>(c)))
            return true;
    }
    const std::string_view rest = trimBlanks(line.substr(wordEnd));
    return !rest.empty() && rest[0] == '=' && (rest.size() < 2 || rest[1] != '=');
}

// Reads the next line to carry out: a queued command, a procedure line, or the console.
// Returns false at the end of the console input.
bool readNextLine(std::string& line, int& error) {
    CommandWork& w = commandWork();
    error = 0;
    w.errorForHelp = statusLastError();
    if (!w.queued.empty()) {
        line = w.queued.front();
        w.queued.pop_front();
        return true;
    }
    if (nextProcedureLine(line)) {
        statusClear();  // what the line before showed is not about this one
        if (line.size() > kCommandFieldWidth) error = kErrCommandTooLong;
        return true;
    }
    std::string preset = std::move(w.preset);
    bool selected = w.presetSelected;
    w.preset.clear();
    w.presetSelected = false;
    if (preset.empty() && w.autoOn) {
        char number[16];
        snprintf(number, sizeof number, "%05u ", w.autoLine);
        preset = number;
        selected = false;
    }
    // The debugger hears that a command is awaited; with the console off only the debugger
    // gives commands, and a command it gives replaces what was typed meanwhile.
    debugEnterInputMode(runStatus(), statusLastError());
    if (!debugWaitForConsole()) {
        statusClear();
        (void)debugTakeCommand(line);
        return true;
    }
    int32_t status = consoleInput(line, kCommandFieldWidth, kInputCommand, preset, selected);
    // The help key: help for what was typed so far (or for the error shown), then the typed text
    // is offered again to go on with.
    while (status == kInputHelp) {
        showHelpTopic(helpTopicFor(line, statusLastError()));
        const std::string typed = std::move(line);
        status = consoleInput(line, kCommandFieldWidth, kInputCommand, typed, false);
    }
    if (status != kInputEnded) statusClear();
    if (debugTakeCommand(line)) return true;
    if (status == kInputEnded) return false;
    if (status == kInputTooLong) error = kErrCommandTooLong;
    return true;
}

// The input ended while a statement waited for it: the run stopped there as the attention key
// stops it.  The error is shown at the statement, and the end of input that acts as SYSTEM then
// ends the process with a status that says the program did not finish.
constexpr const char* kSystemAfterEndedInput = "SYSTEM 1";

void reportEndedInput(bool stoppedInImmediate) {
    const pcb* pc = pchain.curpcb;
    if (stoppedInImmediate || !pc || pc->curline < 0 || pc->curline >= pc->linecnt) {
        statusShowError(kErrInterrupted, 0, 0);  // a typed statement: position 0, as its errors
        return;
    }
    const linetbl& at = pc->lineptr[static_cast<size_t>(pc->curline)];
    statusShowError(kErrInterrupted, static_cast<int>(at.lineno()),
                    clauseNumberAt(lineCode(*pc, pc->curline),
                                   static_cast<size_t>(pc->savedclauseoffset)));
}

// Entered while a program is suspended: its position is kept in a command-info record.
void pushCommandInfo() {
    CommandWork& w = commandWork();
    if (!w.ci.empty() || !isSuspendedStatus(runStatus()) || !pchain.curpcb) return;
    if (t.stoppedInImmediate) {  // a typed statement stopped: no program is suspended
        t.stoppedInImmediate = false;
        setRunStatusShown(RUNSTAT_READY);
        return;
    }
    CommandInfo ci;
    ci.status = runStatus();
    ci.curline = pchain.curpcb->curline;
    ci.clauseoffset = pchain.curpcb->savedclauseoffset;
    if (!(ci.curline < pchain.curpcb->linecnt || pchain.curpcb->linecnt == 0))
        vxassertion("ci -> cicurline < pchain.curpcb -> linecnt", __FILE__, __LINE__);
    if (ci.curline >= 0 && ci.curline < pchain.curpcb->linecnt)
        ci.code = pchain.curpcb->lineptr[static_cast<size_t>(ci.curline)].code;
    w.ci.push_back(ci);
    noteActivityChange();
}

// The program that ran EXECUTE resumes: after the statement, or at it when the command failed
// with `err`, which the statement then raises.
void finishExecute(int err) {
    CommandWork& w = commandWork();
    pcb* pc = pchain.curpcb;
    if (w.ci.empty() || !pc) return;
    const CommandInfo ci = w.ci.back();
    w.ci.pop_back();
    noteActivityChange();
    // The command may have edited the program (a numbered line): when it replaced or deleted
    // the EXECUTE's own line, there is nothing to resume in, and the run fails there.
    if (!restoreRunPosition(*pc, ci)) {
        // The command replaced or deleted the EXECUTE's own line: the run cannot go on inside
        // a line that is gone, and ends as GO END ends it.
        pc->pendingexec = 0;
        pc->lasterror = kErrDamaged;
        statusShowError(kErrDamaged, -1, 0);
        setActionCode(kActEndProgram);
        return;
    }
    if (err && pc->pendingexec > 0) {
        pc->lasterror = err;
        pc->savedclauseoffset = static_cast<int16_t>(pc->pendingexec - 1);
        pc->pendingexec = static_cast<int16_t>(-pc->pendingexec);
    } else {
        pc->pendingexec = 0;
    }
    setRunStatus(RUNSTAT_EXEC);
    setActionCode(kActResume);
}

// Carries out a command that a program's EXECUTE handed over, its record pushed: the program
// resumes after it (at the statement, with its error, when it failed).  A statement runs first,
// and the program resumes once it has run; a command that took the program elsewhere (GO, GO END,
// SYSTEM) leaves nothing to resume.
void executeForProgram(std::string_view command) {
    CommandWork& w = commandWork();
    pcb* pc = pchain.curpcb;
    const int err = executeCommandLine(command);
    w.resumeAfterImmediate = err == kLeftCommandMode && t.runImmediate;
    const bool utility = actionCode() == kActSort || actionCode() == kActIndex;
    if (err != kLeftCommandMode)
        finishExecute(err);
    else if (utility && !t.runImmediate)
        w.utilityForExecute = true;  // the program resumes when the utility ends
    else if (!t.runImmediate && pc)
        pc->pendingexec = 0;
}

// Carries out an EXECUTE statement's command.  Returns true when command mode is left.
bool runExecuteCommand() {
    CommandWork& w = commandWork();
    w.executePending = false;
    std::string command = std::move(w.executeCommand);
    w.executeCommand.clear();
    pcb* pc = pchain.curpcb;
    if (w.executeTyped || !pc || pc->pendingexec <= 0) {  // nothing to resume: as if typed
        w.queued.push_front(command);
        return false;
    }
    pushCommandInfo();
    executeForProgram(command);
    return true;
}

// Starts what a CHAIN statement named: a procedure file ("PROC=name", "SUBPROC=name"), or a
// program that is loaded and run with the variables the statement passed.
int startChain(ChainRequest& chain) {
    const std::string& target = chain.target;
    if (target.rfind("PROC=", 0) == 0) return commandProcedure(target.substr(5), false);
    if (target.rfind("SUBPROC=", 0) == 0) return commandProcedure(target.substr(8), true);
    if (int err = commandLoad(target, false)) return err;
    pcb* pc = pchain.curpcb;
    if (!pc || pc->firstline == kNoLines) return kErrNoProgram;
    prepareRun(*pc);
    if (int err = receiveChainVariables(*pc, chain.variables)) return err;
    pc->curline = pc->firstline;
    pc->savedclauseoffset = 0;
    setActionCode(kActRun);
    return 0;
}

}  // namespace

void queueExecuteCommand(std::string_view command, bool fromTypedStatement) {
    CommandWork& w = commandWork();
    w.executeCommand = std::string(command);
    w.executePending = true;
    w.executeTyped = fromTypedStatement;
}

int executeCommandLine(std::string_view line) {
    line = trimBlanks(line);
    if (line.empty()) return 0;
    remember(line);
    if (std::isdigit(static_cast<unsigned char>(line[0]))) return programLine(line);
    size_t wordEnd = 0;
    while (wordEnd < line.size() && std::isalpha(static_cast<unsigned char>(line[wordEnd])))
        ++wordEnd;
    const std::string_view word = line.substr(0, wordEnd);
    if (wordEnd > 0 && !wordIsVariable(line, wordEnd)) {
        if (const int code = lookupCommand(word))
            return executeCommand(code, word, trimBlanks(line.substr(wordEnd)));
    }
    return immediateStatement(line);
}

void commandMode() {
    CommandWork& w = commandWork();
    if (actionCode() == kActAfterUtility) {
        // Back from SORT or INDEX: its result is the EXECUTE's that started it, or the
        // command's error; a suspended program's status comes back from its record.
        if (w.utilityForExecute) {
            w.utilityForExecute = false;
            finishExecute(utilityResult());
            return;
        }
        if (utilityResult()) statusShowError(utilityResult(), -1, 0);
        if (!w.ci.empty())
            setRunStatus(w.ci.back().status);
        else
            setRunStatusShown(RUNSTAT_READY);
        setActionCode(kActCommand);
    }
    if (w.ci.empty() && isSuspendedStatus(runStatus()) && optionOn(kOptionNoCommandMode) &&
        pchain.curpcb) {
        char text[700];
        const int16_t line = pchain.curpcb->curline;
        snprintf(text, sizeof text, "Attempt to enter command mode not allowed from program %s:%i",
                 pchain.curpcb->progname,
                 line >= 0 && line < pchain.curpcb->linecnt
                     ? static_cast<int>(pchain.curpcb->lineptr[static_cast<size_t>(line)].lineno())
                     : 0);
        fatalError(text, 0, 0);
        return;
    }
    if (w.resumeAfterImmediate) {  // an EXECUTE's statement has run
        const bool failed = runStatus() == RUNSTAT_ERROR || runStatus() == RUNSTAT_SYSERR;
        if (!failed && w.executePending && w.executeTyped) {
            // The statement was an EXECUTE itself: its command is part of the program's
            // EXECUTE, so it runs now, before the program resumes.
            w.executePending = false;
            const std::string command = std::move(w.executeCommand);
            w.executeCommand.clear();
            executeForProgram(command);
            return;
        }
        w.resumeAfterImmediate = false;
        finishExecute(failed ? (statusLastError() ? statusLastError() : kErrUnrecognized) : 0);
        return;
    }
    if (w.executePending && runExecuteCommand()) return;
    if (ChainRequest chain; takeChainRequest(chain)) {
        if (const int err = startChain(chain))
            statusShowError(err, -1, 0);
        else if (actionCode() != kActCommand)
            return;
    }
    const bool stoppedInImmediate = t.stoppedInImmediate;
    pushCommandInfo();
    if (takeEndedInputReport()) reportEndedInput(stoppedInImmediate);
    // The status line shows the suspended program's state again after a statement typed there.
    if (w.ci.empty())
        setRunStatusShown(RUNSTAT_READY);
    else
        setRunStatusShown(w.ci.back().status);
    while (actionCode() == kActCommand) {
        std::string line;
        int err = 0;
        const bool fromProcedure = !w.procedures.empty() && w.queued.empty();
        if (!readNextLine(line, err))
            err = executeCommandLine(inputEndedInStatement() ? kSystemAfterEndedInput : "SYSTEM");
        else if (!err)
            err = executeCommandLine(line);
        if (err == kLeftCommandMode) err = 0;
        if (err) {
            statusShowError(err, -1, 0);
            if (fromProcedure && !w.procErrReturn) closeAllProcedures();
        }
    }
}

void queueInitialCommand(const std::string& line) {
    commandWork().queued.push_front(line);
}

bool ciExists() {
    return programActive();
}

int procedureDepth() {
    return static_cast<int>(commandWork().procedures.size());
}
void closeInnermostProcedure() {
    if (!commandWork().procedures.empty()) commandWork().procedures.pop_back();
}

void freeCommandHistory() {
    commandWork().history.clear();
}
void freeCommandBuffers() {
    CommandWork& w = commandWork();
    w.queued.clear();
    w.procedures.clear();
    w.ci.clear();
    w.line.clear();
    w.line.shrink_to_fit();
}

}  // namespace vxs
