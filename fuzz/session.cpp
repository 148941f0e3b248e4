// Fuzz target: a whole command-mode session.  The input is the operator's typing, one line per
// line: program lines entered, replaced and deleted, commands (RUN, GO, BREAK, LIST, SAVE, LOAD,
// CLEAR, PROC ...), statements typed without a line number, and the answers to the program's
// input statements, in the order they are read.  The session goes through the main dispatch
// loop as the process would, until SYSTEM or the end of the input, and starts from a clean slate
// for every input: a new empty program, command mode's records, the run controls and the
// scratch directory (which holds a library program "lib" and a procedure file "proc").
//
// The terminal side answers the console as the stream front end does (a rejected line is
// offered selected and replaced by the next one typed, AUTO's number goes before it, a line of
// more than the field's width is marked too long) and presses the attention key at every 40th
// poll of the run loop, so that endless loops end.  A session that runs past its time budget
// gets the attention key at every poll and the end of its input; one that keeps dispatching
// without reading input is cut off after a fixed number of turns.
//
// Checked: every reported error is a positive number; after every run the action code is
// command mode or shut-down, the run status is one a run may end with, both stacks are at
// their bases and the console's line buffer lies within the window; no fatal message comes.
//
// An input with a line that may name a file outside the scratch directory (an absolute name or
// "..", or a CONFIG command, whose DRIVE, SUBSTITUTE and LOGGING statements could point names
// anywhere) is passed over, so that file commands stay inside it; names that a program builds
// at run time (CHR$(47)) are not caught.  The configuration has its own target (config_line).
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/scratch.h"
#include "vxs/clientserver/common.h"
#include "vxs/command/cmdshared.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/pcb.h"
#include "vxs/compiler/progfile.h"
#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/control/entry.h"
#include "vxs/base/process.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/interpreter/chain.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/run.h"
#include "vxs/interpreter/strsub.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/terminal.h"

namespace {

using namespace vxs;
using Clock = std::chrono::steady_clock;

constexpr int kAttentionAfter = 40;   // polls of the run loop before the attention key
constexpr int kMaxDispatches = 5000;  // turns of the dispatch loop in one session
constexpr auto kTimeBudget = std::chrono::milliseconds(500);

[[noreturn]] void fail(const char* what) {
    fprintf(stderr, "session invariant failed: %s\n", what);
    abort();
}

// The library that LIBRARY "lib" (or LOAD lib RESIDENT) finds: a trapped error, recursion, a
// string function, a pause inside a body, an untrapped error, and a GOSUB inside a body.
constexpr const char* kLibrary[] = {
    "10 DEF FNL(P)",
    "20 ON ZDIV GOTO 50",
    "30 LET FNL = 1 / P + N \\ N = N + 1",
    "40 FNEND",
    "50 LET FNL = -1 \\ FNEND",
    "60 DEF FNS$(A$) = A$ & \"!\"",
    "70 DEF FNR(K)",
    "80 IF K > 0 THEN LET FNR = FNR(K - 1) + 1",
    "90 FNEND",
    "100 DEF FNP",
    "110 PAUSE",
    "120 LET FNP = 3",
    "130 FNEND",
    "140 DEF FNE(X) = X / 0",
    "150 DEF FNG(X)",
    "160 GOSUB 190",
    "170 LET FNG = X + G",
    "180 FNEND",
    "190 G = G + 1 \\ RETURN",
};
// The procedure file "proc": a program line, a listing and a run.
constexpr const char kProcedure[] = "900 PRINT \"FROM PROC\"\nLIST 900\nRUN\n";

// ---- the terminal side ----
// With VXFUZZ_ECHO set in the environment, the session is written to standard error as a
// transcript ("> " typed, "< " shown, "! " errors), to see what a finding does.
const bool g_echo = getenv("VXFUZZ_ECHO") != nullptr;

struct Session {
    std::vector<std::string_view> lines;  // the typed lines
    size_t next = 0;                      // the next one to read
    int polls = 0;                        // since the last attention key
    Clock::time_point deadline;
    bool overtime() const { return Clock::now() > deadline; }
};
Session g;

bool isInt(const DecodedMessage& m, int i) {
    return i < m.count && !m.params[i].isData();
}

// The next typed line, as the stream front end hands it over: after an offered text, or in
// its place when the text is selected; no more than the field holds.
int onConsoleInput(const DecodedMessage& m, std::span<const RemoteOut>) {
    if ((m.count != 2 && m.count != 4) || !isInt(m, 0) || !isInt(m, 1) || m.params[0].value < 0)
        fail("a console input request of the wrong shape");
    if (g.next >= g.lines.size() || g.overtime())
        return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(kInputEnded), rpText("")});
    std::string preset;
    if (m.count == 4 && m.params[2].isData() && !(isInt(m, 3) && m.params[3].value)) {
        preset.assign(reinterpret_cast<const char*>(m.params[2].data), m.params[2].length);
        if (!preset.empty() && preset.back() == '\0') preset.pop_back();
    }
    const size_t max = static_cast<size_t>(m.params[0].value);
    const size_t room = preset.size() < max ? max - preset.size() : 0;
    std::string_view typed = g.lines[g.next++];
    if (!typed.empty() && typed.back() == '\r') typed.remove_suffix(1);
    const bool tooLong = typed.size() > room;
    const std::string line = preset + std::string(typed.substr(0, room));
    if (g_echo) fprintf(stderr, "> %s\n", line.c_str());
    return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP,
                              {rpInt(tooLong ? kInputTooLong : kInputLine), rpText(line.c_str())});
}

// Action 9 is the run loop's poll; the others read a key, of which none was typed.
int onKeyboard(const DecodedMessage& m, std::span<const RemoteOut>) {
    const bool poll = isInt(m, 0) && m.params[0].value == 9;
    int32_t key = poll ? 0 : -1;
    if (g.overtime()) {
        key = kKeyAttention;
    } else if (poll && ++g.polls >= kAttentionAfter) {
        g.polls = 0;
        key = kKeyAttention;
    }
    return CallFunctionRemote(KEYBOARDRET, IN_RESP, {rpInt(key)});
}

int onStatusError(const DecodedMessage& m, std::span<const RemoteOut>) {
    // Error 0 takes the error shown away (a later line was accepted); none is negative.
    if (m.count != 3 || !isInt(m, 0) || m.params[0].value < 0)
        fail("an error reported that is a negative number");
    if (g_echo)
        fprintf(stderr, "! ERROR %d at %d:%d\n", m.params[0].value, m.params[1].value,
                m.params[2].value);
    return 0;
}

int onConsoleOutput(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (g_echo && m.count >= 1 && m.params[0].isData())
        fprintf(stderr, "< %.*s\n", static_cast<int>(m.params[0].length),
                reinterpret_cast<const char*>(m.params[0].data));
    return 0;
}

int onFatal(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count >= 2 && m.params[1].isData())
        fprintf(stderr, "%.*s\n", static_cast<int>(m.params[1].length),
                reinterpret_cast<const char*>(m.params[1].data));
    fail("a fatal message");
}

int onScreenAction(const DecodedMessage&, std::span<const RemoteOut>) {
    return CallFunctionRemote(SCREENACTIONRET, IN_RESP, {rpInt(0)});
}
int onUnusedId(const DecodedMessage&, std::span<const RemoteOut>) {
    return CallFunctionRemote(GETUNUSEDIDRET, IN_RESP, {rpInt(1)});
}
int ignore(const DecodedMessage&, std::span<const RemoteOut>) {
    return 0;
}

void attachTerminal() {
    resetRemoteHandlers();
    setRemoteHandler(CONSOLEINPUTCALL, onConsoleInput);
    setRemoteHandler(KEYBOARDCALL, onKeyboard);
    setRemoteHandler(STATUSLINEERROR, onStatusError);
    setRemoteHandler(FATALMSGCALL, onFatal);
    setRemoteHandler(SCREENACTIONCALL, onScreenAction);
    setRemoteHandler(GETUNUSEDIDCALL, onUnusedId);
    setRemoteHandler(CONSOLEOUTPUT, onConsoleOutput);
    setRemoteHandler(STATUSLINETEXT, ignore);
    setRemoteHandler(SETCANCLOSECALL, ignore);
    setRemoteHandler(ENDSESSION, ignore);
    setTerminalAttached(true);
}

// ---- the session ----

// Whether a line may name a file outside the scratch directory: ".." anywhere, or a "/" or "\"
// that begins a name (at the start of the line or after a blank, a quote, "<", ">", "=", ","
// or ":", and followed by more than a blank, or by nothing: the root).  Division ("A / 2", "A/2") and the statement
// separator (" \ ") pass.
bool mayLeaveScratch(std::string_view line) {
    if (line.find("..") != std::string_view::npos) return true;
    std::string upper(line);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("CONF") != std::string::npos) return true;
    for (size_t i = line.find_first_of("/\\"); i != std::string_view::npos;
         i = line.find_first_of("/\\", i + 1)) {
        const bool startsWord =
            i == 0 || std::string_view(" \t\"<>=,:").find(line[i - 1]) != std::string_view::npos;
        const bool followed = i + 1 < line.size() && line[i + 1] != ' ';
        // A "\" with nothing after it is the root of the file system (CHDIR \).
        const bool last = line.find_first_not_of(' ', i + 1) == std::string_view::npos;
        if (startsWord && (followed || last)) return true;
    }
    return false;
}

// Everything a session leaves behind, back to the state of a process that has just started.
void resetSession() {
    (void)closeFilesAtEnd(fileBlocks(), true);  // the files a session opened, NOCLOSE ones too
    ktReleaseAllReservations();
    resetFlow();  // function frames give their slots back before the programs go
    endRunLibraries();
    freeAllPCBs();
    commandWork() = CommandWork{};
    resetInterpreter();
    setClockOffset(0);
    statusLineFree();
    setExitCode(0);
    setRunStatus(RUNSTAT_READY);
    setActionCode(kActCommand);
}

void checkAfterRun() {
    if (actionCode() != kActCommand && actionCode() != kActShutdown)
        fail("the run left an action code other than command mode or shut-down");
    switch (runStatus()) {
        case RUNSTAT_ATTN:
        case RUNSTAT_ERROR:
        case RUNSTAT_PAUSE:
        case RUNSTAT_STEP:
        case RUNSTAT_SYSERR:
        case RUNSTAT_EXEC:
        case RUNSTAT_READY: break;
        default: fail("the run ended with an unexpected status");
    }
    if (!rpnStack().empty()) fail("the RPN stack is not at its base after the run");
    if (workStack().next != workStack().base)
        fail("the work stack is not at its base after the run");
    const OutputLine& line = consoleLine();
    if (line.column < 1 || line.column > line.width + 1) fail("the console column left the window");
    if (line.text.size() > static_cast<size_t>(line.width))
        fail("the console line is wider than the window");
    if (!pchain.curpcb) fail("no current program after the run");
}

void runSession() {
    pcb* first = nullptr;
    if (createPCB(kDefaultLineCapacity, kDefaultDictCapacity, "", &first) != 0) abort();
    for (int turn = 0; turn < kMaxDispatches && actionCode() != kActShutdown; ++turn) {
        const int32_t action = actionCode();
        const bool running = action == kActRun || action == kActResume || action == kActEndProgram;
        if (dispatchOnce() != 0) break;
        if (running) checkAfterRun();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string library = vxfuzz::programImage(kLibrary);
    static const bool ready = (vxfuzz::enterScratchDirectory("session"), attachTerminal(),
                               setEditorCommand("true"), true);  // EDIT starts no editor
    (void)ready;

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    g = Session{};
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        if (mayLeaveScratch(line)) return 0;
        g.lines.push_back(line);
        start = end + 1;
    }

    vxfuzz::emptyScratchDirectory();
    vxfuzz::writeScratchFile("lib.vxp", library);
    vxfuzz::writeScratchFile("proc", kProcedure);
    resetSession();
    g.deadline = Clock::now() + kTimeBudget;
    runSession();
    resetSession();
    return 0;
}
