// Fuzz target: code for the evaluator and the run loop.  The code is either raw bytes or a typed
// line compiled and then damaged by a list of byte changes; it runs as line 500 of a small
// program whose first lines make numbers, strings, arrays, a function and a label, or as a
// statement typed after that program has run.  Stepping, break points, trace, the stop line,
// OPTION BASE 1, COLLATE ALTERNATE, SOFLOW IGNORE and small stacks are switched by the input;
// a run that stops (break, pause, attention) is resumed a few times.  A small library program
// lies in the working directory for LIBRARY statements to link.  A recording terminal
// answers the console and presses the attention key after a number of polls, so that loops end.
//
// Input layout:
//   byte 0  bits 0-1 mode: 0 raw code as line 500, 1 raw code typed, 2 a typed line (up to the
//           first newline) compiled and changed as line 500, 3 the same typed
//           bit 2 resume at an offset instead of running from the start (numbered modes)
//           bit 3 OPTION BASE 1, bit 4 COLLATE ALTERNATE, bit 5 SOFLOW IGNORE,
//           bit 6 small RPN and work stacks, bit 7 trace on
//   byte 1  bit 0 step into, bit 1 step over, bit 2 a break point on line 500, bits 3-4 its
//           clause - 1, bit 5 the stop line 500, bits 6-7 the call depth
//   byte 2  the resume offset, and where the evaluator is also started directly on the code
//   then    the code (modes 0, 1), or the line, a newline and (position, xor) pairs (modes 2, 3)
//
// Checked after every run: the run gave control back with action code 0 and a known status,
// both stacks are back at their bases, the saved line is inside the line table, the console's
// line buffer is within the window, and every reported error is a positive number.  Directly
// evaluated code leaves both stacks within their limits.  Every input runs three times: with the
// fast forms of clauses and their register forms, without any fast form, and with the numeric
// forms alone: the runs must write the same output, report the same errors at the same places,
// poll the keyboard as often and end alike (a difference that a second run of the same kind
// does not repeat comes from the clock, and is let pass).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/scratch.h"
#include "vxs/clientserver/common.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/pcb.h"
#include "vxs/compiler/progfile.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/consoleio.h"
#include "vxs/interpreter/endrun.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/library.h"
#include "vxs/interpreter/primop.h"
#include "vxs/interpreter/run.h"
#include "vxs/screen/terminal.h"

namespace {

using namespace vxs;

[[noreturn]] void fail(const char* what) {
    fprintf(stderr, "run_code invariant failed: %s\n", what);
    abort();
}

// Two transcripts that should agree, from the first byte where they differ, with bytes outside
// printable ASCII escaped (a transcript may hold any byte).
void showDifference(const char* aName, const std::string& a, const char* bName,
                    const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    const size_t from = at > 200 ? at - 200 : 0;
    auto show = [&](const char* name, const std::string& t) {
        std::string out;
        for (size_t i = from; i < t.size() && i < from + 600; ++i) {
            const unsigned char ch = static_cast<unsigned char>(t[i]);
            char esc[8];
            if (ch == '\n' || (ch >= 32 && ch < 127)) out += static_cast<char>(ch);
            else snprintf(esc, sizeof esc, "\\x%02x", ch), out += esc;
        }
        fprintf(stderr, "%s (%zu bytes, differing at %zu):\n%s\n", name, t.size(), at, out.c_str());
    };
    show(aName, a);
    show(bName, b);
}

// The program around the code: every kind of dictionary entry, and literals the code can use.
constexpr const char* kPrelude[] = {
    "1 A = 1 \\ B = 2.5 \\ I = 2 \\ X = 0 \\ Y = -3 \\ B$ = \"XY\" \\ Z$ = \"\"",
    "2 DIM C(3), D$(2)*10, E(2, 2), F$*40, G(0)",
    "3 C(1) = 7 \\ D$(1) = \"HELLO\" \\ F$ = \"A LONGER STRING THAN EIGHTEEN\" \\ E(1, 2) = 5",
    "4 DEF FNF(Q) = Q * 2",
    "5 TOP: DATA 10, \"S\", 3",
    "500 REM the code under test",
    "600 PRINT A; B$, C(1); TAB(40); D$(1)",
    "700 END",
};
constexpr uint32_t kCodeLine = 500;

// A library the code can link with LIBRARY "lib": ... (written once into a scratch directory
// that becomes the working directory): a trap, recursion, a string function and a pause inside
// a function body.
constexpr const char* kLibrary[] = {
    "10 DEF FNL(P)", "20 ON ZDIV GOTO 50", "30 LET FNL = 1 / P + N \\ N = N + 1", "40 FNEND",
    "50 LET FNL = -1 \\ FNEND", "60 DEF FNS$(A$) = A$ & \"!\"", "70 DEF FNR(K)",
    "80 IF K > 0 THEN LET FNR = FNR(K - 1) + 1", "90 FNEND", "100 DEF FNP", "110 PAUSE",
    "120 LET FNP = 3", "130 FNEND",
};

void writeLibrary() {
    vxfuzz::enterScratchDirectory("run");
    vxfuzz::writeScratchFile("lib.vxp", vxfuzz::programImage(kLibrary));
}

// Every run starts from the same files: the library alone (a run may create, fill or remove
// files that another would otherwise find).
void freshScratch() {
    static const std::string image = vxfuzz::programImage(kLibrary);
    vxfuzz::emptyScratchDirectory();
    vxfuzz::writeScratchFile("lib.vxp", image);
}

// ---- the recording terminal ----
int g_polls = 0;
int g_inputs = 0;
std::string g_transcript;  // what the run showed: output lines, errors, statuses, polls
constexpr int kAttentionAfter = 40;  // polls before the attention key is "pressed"

int onKeyboard(const DecodedMessage&, std::span<const RemoteOut>) {
    g_transcript += 'k';
    return CallFunctionRemote(KEYBOARDRET, IN_RESP, {rpInt(++g_polls >= kAttentionAfter ? 1 : 0)});
}
int onInput(const DecodedMessage&, std::span<const RemoteOut>) {
    static const char* const answers[] = {"7, HELLO", "\"Q,R\", 2.5E3", "X"};
    if (g_inputs >= 3) return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(kInputEnded), rpText("")});
    return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(kInputLine), rpText(answers[g_inputs++])});
}
int onScreenAction(const DecodedMessage&, std::span<const RemoteOut>) {
    return CallFunctionRemote(SCREENACTIONRET, IN_RESP, {rpInt(0)});
}
int onStatusError(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 3 || m.params[0].value <= 0) fail("an error reported that is not a positive number");
    g_transcript += "\nerror " + std::to_string(m.params[0].value) + " " +
                    std::to_string(m.params[1].value) + " " + std::to_string(m.params[2].value) + "\n";
    return 0;
}
int onOutput(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count >= 1 && m.params[0].isData())
        g_transcript.append(reinterpret_cast<const char*>(m.params[0].data), m.params[0].length);
    g_transcript += '\n';
    return 0;
}
int ignore(const DecodedMessage&, std::span<const RemoteOut>) { return 0; }

void attachTerminal() {
    resetRemoteHandlers();
    setRemoteHandler(KEYBOARDCALL, onKeyboard);
    setRemoteHandler(CONSOLEINPUTCALL, onInput);
    setRemoteHandler(SCREENACTIONCALL, onScreenAction);
    setRemoteHandler(STATUSLINEERROR, onStatusError);
    setRemoteHandler(CONSOLEOUTPUT, onOutput);
    setRemoteHandler(STATUSLINETEXT, ignore);
    setRemoteHandler(SETCANCLOSECALL, ignore);
    setTerminalAttached(true);
}

// ---- one attempt ----
struct Controls {
    int mode = 0;
    bool resumeAt = false, base1 = false, alternate = false, soflowIgnore = false;
    bool smallStacks = false, trace = false;
    bool stepInto = false, stepOver = false, breakPoint = false, stopLine = false;
    int breakClause = 1, depth = 0;
    size_t offset = 0;
};

void resetRunState() {
    resetRunControls();
    consoleLine() = OutputLine{{}, 1, kConsoleWidth};
    resetStacks();
    setActionCode(kActCommand);
    setRunStatus(RUNSTAT_READY);
}

void checkAfterRun(const pcb& pc) {
    g_transcript += "\nstatus " + std::to_string(runStatus()) + " at " + std::to_string(pc.curline) +
                    ":" + std::to_string(pc.savedclauseoffset) + "\n";
    // SYSTEM ends the program and asks for the shut-down; anything else returns to command mode.
    if (actionCode() != kActCommand && actionCode() != kActShutdown)
        fail("the run left an action code other than command mode or shut-down");
    const int status = runStatus();
    if (status != RUNSTAT_ATTN && status != RUNSTAT_ERROR && status != RUNSTAT_PAUSE &&
        status != RUNSTAT_STEP && status != RUNSTAT_SYSERR && status != RUNSTAT_READY)
        fail("the run ended with an unexpected status");
    if (!rpnStack().empty()) fail("the RPN stack is not at its base after the run");
    if (workStack().next != workStack().base) fail("the work stack is not at its base after the run");
    if (pc.curline < 0 || pc.curline >= pc.linecnt) fail("the saved line is outside the line table");
    const OutputLine& line = consoleLine();
    if (line.column < 1 || line.column > line.width + 1) fail("the console column left the window");
    if (line.text.size() > static_cast<size_t>(line.width)) fail("the console line is wider than the window");
}

// Runs until the run ends by itself, resuming a stopped run a few times.
void runAndResume(pcb& pc, int32_t action) {
    setRunStatus(RUNSTAT_RUN);
    setActionCode(action);
    runLoop();
    checkAfterRun(pc);
    for (int i = 0; i < 6; ++i) {
        const int status = runStatus();
        if (status != RUNSTAT_PAUSE && status != RUNSTAT_STEP && status != RUNSTAT_ATTN) break;
        if (status == RUNSTAT_ATTN) g_polls = 0;  // the key was taken; the next one comes later
        setRunStatus(RUNSTAT_RUN);
        setActionCode(kActResume);
        runLoop();
        checkAfterRun(pc);
    }
}

// The code of a typed line, changed by the (position, xor) pairs; empty when it does not
// compile.
std::vector<uint8_t> compiledAndChanged(pcb& pc, std::string_view rest) {
    const size_t nl = rest.find('\n');
    const std::string_view text = rest.substr(0, nl);
    PendingDict pending;
    CompiledLine out;
    if (compileLine(pc, text, pending, {}, out, false) != 0) return {};
    pendingCommit(pc, pending);
    std::vector<uint8_t> code = out.code;
    if (nl == std::string_view::npos || code.empty()) return code;
    const std::string_view changes = rest.substr(nl + 1);
    for (size_t i = 0; i + 1 < changes.size(); i += 2)
        code[static_cast<uint8_t>(changes[i]) % code.size()] ^= static_cast<uint8_t>(changes[i + 1]);
    if (changes.size() % 2 == 1)  // an odd last byte cuts the code short
        code.resize(1 + static_cast<uint8_t>(changes.back()) % code.size());
    return code;
}

// Puts `code` in place of line 500's code, as a line that runs.
void replaceCodeLine(pcb& pc, const std::vector<uint8_t>& code) {
    const int index = findLine(pc, kCodeLine);
    if (index < 0) fail("the code line is missing");
    linetbl& e = pc.lineptr[static_cast<size_t>(index)];
    pc.codearea.push_back(static_cast<uint8_t>(code.size()));
    e.code = static_cast<uint32_t>(pc.codearea.size());
    pc.codearea.insert(pc.codearea.end(), code.begin(), code.end());
    e.setFlags(0);
    pc.resolved = false;
}

// The evaluator on its own, started anywhere in the code.
void evaluateDirectly(pcb& pc, const Controls& c, const std::vector<uint8_t>& code) {
    if (code.empty()) return;
    EvalEnv env;
    env.pc = &pc;
    env.base = c.base1 ? 1 : 0;
    env.alternate = c.alternate;
    resetStacks();
    size_t pos = c.offset % code.size();
    (void)evaluate(env, code, pos);
    if (pos > code.size()) fail("evaluation moved past the end of the code");
    if (rpnStack().rpnStackNext < rpnStack().rpn_stkbase || rpnStack().rpnStackNext > rpnStack().limit)
        fail("the RPN stack pointer left its area");
    if (workStack().next < workStack().base || workStack().next > workStack().limit)
        fail("the work stack pointer left its area");
    resetStacks();
}

void attempt(const uint8_t* data, size_t size) {
    if (size < 3) return;
    // Nothing of an earlier input's run carries over (the console's ended input, the DATA
    // pointer, the number and text settings).
    resetInterpreter();
    Controls c;
    c.mode = data[0] & 3;
    c.resumeAt = data[0] & 0x04;
    c.base1 = data[0] & 0x08;
    c.alternate = data[0] & 0x10;
    c.soflowIgnore = data[0] & 0x20;
    c.smallStacks = data[0] & 0x40;
    c.trace = data[0] & 0x80;
    c.stepInto = data[1] & 0x01;
    c.stepOver = data[1] & 0x02;
    c.breakPoint = data[1] & 0x04;
    c.breakClause = ((data[1] >> 3) & 3) + 1;
    c.stopLine = data[1] & 0x20;
    c.depth = data[1] >> 6;
    c.offset = data[2];
    const std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);

    pcb* pc = nullptr;
    if (createPCB(8, 16, "FUZZ", &pc) != 0 || !pc) abort();
    for (const char* line : kPrelude)
        if (enterLine(*pc, line, CompileOptions{}) != 0) fail("a prelude line is refused");
    if (c.base1) pc->progoptions[1] = 1;
    if (c.alternate) pc->progoptions[2] = 1;
    if (c.soflowIgnore) pc->condtargets[0] = -3;

    std::vector<uint8_t> code;
    if (c.mode >= 2) {
        code = compiledAndChanged(*pc, rest);
        if (code.empty()) {
            freePCB(pc);
            return;
        }
    } else {
        code.assign(rest.begin(), rest.begin() + static_cast<long>(std::min<size_t>(rest.size(), 255)));
    }
    const bool typed = c.mode == 1 || c.mode == 3;
    if (!typed) replaceCodeLine(*pc, code);

    if (c.smallStacks && allocateStacks(12, 256) != 0) abort();
    g_polls = 0;
    g_inputs = 0;
    resetRunState();
    if (c.trace) t.breakflags |= kTraceOn;
    if (c.breakPoint) pc->breakpoints.push_back({kCodeLine, c.breakClause, (data[1] & 0x80) != 0});
    if (c.stopLine) pc->stopline = kCodeLine;

    prepareRun(*pc);
    if (typed) {
        // The program runs first; the statement is typed when it has ended.
        pc->curline = pc->firstline;
        runAndResume(*pc, kActRun);
        setImmediateStatement(code);
    } else if (c.resumeAt) {
        pc->curline = static_cast<int16_t>(findLine(*pc, kCodeLine));
        pc->savedclauseoffset = static_cast<int16_t>(c.offset % (code.size() + 1));
    } else {
        pc->curline = pc->firstline;
    }
    if (c.stepInto) t.stepmode |= kStepInto;
    if (c.stepOver) t.stepmode |= kStepOver;
    t.calldepth = c.depth;
    runAndResume(*pc, typed || !c.resumeAt ? kActRun : kActResume);

    evaluateDirectly(*pc, c, code);

    if (c.smallStacks && allocateStacks(kDefaultRpnStack, kDefaultWorkStack) != 0) abort();
    resetRunState();
    // Files a typed statement left open would meet the next input's OPEN: all are closed, as
    // at the end of a session.
    (void)endOfRun(kEndShutdown);
    endRunLibraries();
    freeAllPCBs();  // the program and any library still loaded
}

// One attempt with the fast forms on or off (and with them, the register forms on or off);
// returns its transcript.
std::string transcriptOf(const uint8_t* data, size_t size, bool fast, bool registers = true) {
    g_transcript.clear();
    freshScratch();
    setFastForms(fast);
    setRegisterForms(registers);
    randomize(0);  // the same random numbers for every run
    attempt(data, size);
    setFastForms(true);
    setRegisterForms(true);
    return g_transcript;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    vxfuzz::absolutePathArguments(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool attached = (attachTerminal(), writeLibrary(), true);
    (void)attached;
    const std::string fast = transcriptOf(data, size, true);
    const std::string general = transcriptOf(data, size, false);
    if (fast != general && transcriptOf(data, size, true) == fast) {
        showDifference("fast", fast, "general", general);
        fail("the fast forms and the general path disagree");
    }
    // A difference counts when both kinds of run repeat themselves (the clock).
    const std::string numeric = transcriptOf(data, size, true, false);
    if (numeric != fast && transcriptOf(data, size, true, false) == numeric) {
        const std::string again = transcriptOf(data, size, true);
        if (again != numeric && transcriptOf(data, size, true) == again) {
            showDifference("register forms", again, "numeric forms", numeric);
            fail("the register forms and the numeric forms disagree");
        }
    }
    return 0;
}
