// What the modules of command mode share: the command work area (the line being read, AUTO,
// the queued commands, procedure files, command-info records of suspended programs, history),
// the command codes, the command and option-word tables, and the handlers each module provides.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/compiler/keywords.h"
#include "vxs/compiler/pcb.h"
#include "vxs/compiler/progfile.h"

namespace vxs {

enum CommandCode : uint8_t {
    CmdLoad = 1, CmdRun = 2, CmdGo = 3, CmdProc = 5, CmdSubproc = 6, CmdLink = 7, CmdSort = 8,
    CmdIndex = 9, CmdCopy = 10, CmdDir = 11, CmdChdir = 12, CmdMkdir = 13, CmdRmdir = 14,
    CmdEdit = 15, CmdDrop = 19, CmdFree = 20, CmdRename = 21, CmdProtect = 22, CmdSave = 23,
    CmdReplace = 24, CmdMerge = 27, CmdDel = 28, CmdClear = 29, CmdRenum = 30, CmdAuto = 31,
    CmdList = 32, CmdType = 33, CmdSkip = 35, CmdAlert = 36, CmdProcerr = 37, CmdHelp = 40,
    CmdTime = 41, CmdDate = 42, CmdStatus = 43, CmdConfig = 45, CmdInternal = 48,
    CmdSystem = 50, CmdVerify = 52, CmdInternalList = 55, CmdBreak = 56, CmdDisplay = 57,
    CmdDebug = 58,
};

enum OptionWord : uint8_t {
    OptSource = 60, OptObject = 61, OptData = 62, OptAll = 63, OptResident = 64, OptStatus = 65,
    OptClauses = 66, OptTrace = 70, OptNotrace = 71, OptNodata = 72, OptCount = 74,
    OptNocount = 75, OptStep = 77, OptRun = 78, OptNostep = 79, OptPrint = 80, OptXref = 81,
    OptLoad = 82, OptReplace = 83, OptProc = 90, OptStop = 91, OptReturn = 92, OptEcho = 93,
    OptNoecho = 94, OptOnly = 95, OptRem = 96, OptRelease = 102, OptRead = 103, OptWrite = 104,
    OptNoeject = 110, OptRestore = 111, OptNorestore = 112, OptSkip = 35, OptReserve = 101,
};

// The command table (abbreviations allowed) and the option words.
const KeywordTable& commandTable();
const KeywordTable& optionWords();
// The code of a command word (any case), 0 when it is none or ambiguous.  An exact name wins
// over the longer names it abbreviates (PROC), and LI is LIST.
int lookupCommand(std::string_view word);
// The code of an option word (any case), 0 when none.
int lookupOption(std::string_view word);

// A suspended program's state, saved when command mode is entered while it is active.
struct CommandInfo {
    uint8_t status = 0;
    int16_t curline = 0;
    int16_t clauseoffset = 0;
    uint32_t code = 0;  // the stopped line's code offset: finds it again after edits
};

// Puts a suspended program's saved position back into its program control block for the
// resume: the stopped line wherever the table now holds it.  When an edit since replaced or
// deleted it, the resume starts a line (the entry at the old place) and the result is false.
bool restoreRunPosition(pcb& pc, const CommandInfo& ci);

struct Procedure {
    std::string name;
    std::vector<std::string> lines;
    size_t next = 0;  // the next line to read
    bool sub = false;
};

struct CommandWork {
    std::string line;  // the line being read
    bool autoOn = false;
    uint32_t autoLine = 10, autoIncrement = 10;
    std::string preset;  // text offered in the input field for the next line
    bool presetSelected = false;
    std::deque<std::string> queued;  // commands waiting for the active program to end
    std::vector<Procedure> procedures;
    bool procErrReturn = false;  // PROCERR RETURN: an error does not end the procedures
    std::vector<CommandInfo> ci;
    std::deque<std::string> history;
    // An EXECUTE statement's command waiting to be carried out, and what follows it.
    bool executePending = false;
    bool executeTyped = false;          // from a statement typed without a line number
    bool resumeAfterImmediate = false;  // the command was a statement: resume once it ran
    std::string executeCommand;
    // A program's EXECUTE started SORT or INDEX: the program resumes with its result.
    bool utilityForExecute = false;
    // The error shown when the line being carried out was asked for: HELP's topic.
    int errorForHelp = 0;
};
CommandWork& commandWork();

// Whether a program is suspended (a command-info record exists).
bool programActive();
// Ends the active program before `command` runs: the command is queued, the record dropped, and
// the end-of-program action set.  Returns kLeftCommandMode.
int queueAfterProgramEnd(std::string_view command);

// Argument words of a command line: blanks or commas separate them; quotes keep blanks (the
// quotes stay on the word).
std::vector<std::string> splitArguments(std::string_view args);
// A word of a command line and whether it was quoted (a quoted word is always a name).
struct CommandWord {
    std::string text;
    bool quoted = false;
};
// Words separated by blanks or commas (a comma between blanks separates once); text in single
// or double quotes belongs to its word without the quotes.  1003 for a quote left open.
[[nodiscard]] int splitCommandWords(std::string_view args, std::vector<CommandWord>& words);
std::string upperCase(std::string_view s);
// The lines of a text file, without their line ends (LF or CR LF).
std::vector<std::string_view> textLines(std::string_view text);
// A file name without the quotes it may be written in.
std::string_view unquoted(std::string_view name);
std::string_view trimBlanks(std::string_view s);
// A decimal number 0..max filling the whole text; false otherwise.
bool parseDecimal(std::string_view text, uint32_t max, uint32_t& value);

// What a command returns when it has set an action code that leaves command mode.

// "[start [increment]]" of AUTO and RENUM: line numbers 1..99999; the values given replace the
// defaults in start and increment.  Returns 0 or 1006.
int parseStartIncrement(std::string_view args, uint32_t& start, uint32_t& increment,
                        bool& startGiven);

// The help topic for a command line's text (HELP's argument, or what was typed when the help
// key was pressed): "ERRnnnn" for `shownError` when the text is empty and an error is shown,
// else "CMDMENU"; "ERRnnnn" for a number; the command's full name for a command word (any
// unique abbreviation); for a numbered program line, its statement's keyword; another word
// when the help file has a topic of that name (statements, functions); else "UNRECOGNIZED".
std::string helpTopicFor(std::string_view text, int shownError);

// Carries out a command of the table.  Returns 0 to go on reading, kLeftCommandMode, or an
// error number (positive).
int executeCommand(int code, std::string_view word, std::string_view args);

// ---- handlers, by module ----
int commandListDelete(int code, std::string_view args);      // LIST, DEL
int commandLoad(std::string_view args, bool thenRun);        // LOAD, RUN file
int commandSave(std::string_view args, bool replace);        // SAVE, REPLACE
int commandMerge(std::string_view args);                     // MERGE
int commandEdit(std::string_view args);                      // EDIT
int commandProcedure(std::string_view args, bool sub);       // PROC, SUBPROC
int commandProcErr(std::string_view args);                   // PROCERR
int commandSkip(std::string_view args);                      // SKIP
int commandRenumber(std::string_view args);                  // RENUM
int commandBreak(std::string_view args, bool display);       // BREAK, DISPLAY
int commandGo(std::string_view args);                        // GO, GO END
int commandDebug(std::string_view args);                     // DEBUG
int commandStatus(std::string_view args);                    // STATUS
int commandDateTime(std::string_view args, bool date);       // DATE, TIME
// COPY, DIR, CHDIR, MKDIR, RMDIR, DROP, FREE, RENAME, TYPE and VERIFY by their command codes
// (1008 for another code); `args` is the text after the command word.
int fileCommand(int code, std::string_view args);

// Ends every procedure file (an error with PROCERR STOP, or the end of the session).
void closeAllProcedures();

// The source text of a program as LIST shows it, one line per program line, "\n" after each.
std::string programListing(const pcb& pc);
// Reads source text lines into a program (replacing lines of the same number).  Returns 0 or
// the first compile error (positive), with the failing line in *failed.
int enterSourceText(pcb& pc, std::string_view text, std::string* failed);

// Program file names: the mapped path of a name, with the default extension added when it has
// none and `ext` is given.
int programPath(std::string_view name, std::string_view ext, std::string& path);

}  // namespace vxs
