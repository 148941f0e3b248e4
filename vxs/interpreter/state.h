// The interpreter's state: everything a run keeps beyond one statement (run controls, the two
// evaluation stacks, the flow and FOR stacks with the open function frames, the decoded lines,
// the console line, date, text and number settings, a pending CHAIN) in one object, `interp`,
// with one reset.  The loaded programs are not in it: they belong to the program chain (pcb.h).
//
// Invariants: each module reaches its part through `interp` (a fixed address, so the hot paths
// pay nothing for it); Interpreter::reset() brings every part back to its start-up state in the
// order the parts depend on (open frames give their dictionary slots back before the stacks
// are emptied); the stacks' areas and the sizes the configuration gave them outlive a reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vxs/compiler/pcb.h"
#include "vxs/interpreter/chain.h"
#include "vxs/form/dates.h"
#include "vxs/screen/terminal.h"

namespace vxs {

using Cell = de;  // a value cell (values.h)
struct ProgramLines;   // clausecache.h
struct SuspendedForm;  // clausecache.h

// ---- run controls ----
// A variable watched by BREAK (the run stops at the next line after it changes) or DISPLAY (its
// new value is shown).
struct Watch {
    int index = 0;  // dictionary index of a scalar
    bool display = false;
    std::string last;  // its value as last seen
};

struct RunState {
    uint8_t breakflags = 0;
    uint16_t stepmode = 0;
    int calldepth = 0;
    int breakLines = 8;            // lines between polls of the attention key (BREAK)
    // Where the run last stopped at a break point or the stop line: resumed there, that break
    // is passed over once.  Only a clause of the resumed program uses it up; statements typed
    // meanwhile leave it for GO.  Line -1: none.
    int16_t passBreakLine = -1;
    size_t passBreakOffset = 0;
    std::vector<uint8_t> immediate;  // the code of a statement typed without a line number
    // Counts the statements typed without a line number: a return into one (RETURN, FNEND)
    // checks that it is still the statement that made the call.
    uint32_t immediateSerial = 1;
    bool runImmediate = false;       // the next run starts with that statement
    bool typedRun = false;           // the run loop runs a typed statement (and what it calls)
    std::vector<Watch> watches;
    bool stoppedInImmediate = false;  // the last run stopped inside a typed statement
    // Nonzero while anything watches the run clause by clause: stepping, break points in any
    // loaded program, watched variables.  noteWatchChange() recomputes it; the run loop and its
    // fast lane look at it at every line start, so a watch set while a statement waits (for a
    // key, a record lock, the debugger link) takes effect at the next line.
    int watched = 0;
};

// ---- the evaluation stacks ----
// An RPN entry is a cell pointer, or a small integer (an operand word below 256) tagged in bit 0.
using RpnEntry = uintptr_t;
struct RpnStack {
    RpnEntry* rpn_stkbase = nullptr;  // the base
    RpnEntry* rpnStackNext = nullptr; // the next free slot
    RpnEntry* limit = nullptr;
    size_t size() const { return static_cast<size_t>(rpnStackNext - rpn_stkbase); }
    bool empty() const { return rpnStackNext == rpn_stkbase; }
};
// One clause's temporaries, allocated upwards and dropped together.
struct WorkStack {
    uint8_t* base = nullptr;
    uint8_t* next = nullptr;
    uint8_t* limit = nullptr;
};
struct EvalStacks {
    RpnStack rpn;
    WorkStack work;
    std::unique_ptr<RpnEntry[]> rpnArea;  // what rpn and work point into
    std::unique_ptr<uint8_t[]> workArea;
};

// ---- flow control ----
struct FlowEntry {
    int16_t line;
    size_t returnOffset;
    int16_t kind;  // -1: a GOSUB frame; a function frame: its number of formals
    // lineIdentity() of the calling line when the frame was made: a line replaced or deleted
    // while the frame is open cannot be returned into (its offsets belonged to the old code).
    uint32_t code;
};
struct ForEntry {
    Cell* var;
    double step;
    double limit;  // widened by the tolerance
    bool up;       // step >= 0
};
struct FlowStacks {
    std::vector<FlowEntry> flow;
    std::vector<ForEntry> fors;
    size_t forBase = 0;     // the FOR entries of the running function frame start here
    size_t flowLimit = 50;  // FLOWSTACK
    size_t forLimit = 30;   // FORSTACK
    // The deepest each stack has been since the start or the last STATUS STACKS RESET.
    size_t flowHigh = 0, forHigh = 0;
    void noteFlowDepth() {
        if (flow.size() > flowHigh) flowHigh = flow.size();
    }
};

// An ON-table entry that ignores its condition.
inline constexpr int16_t kOnTableIgnore = -3;

// A dictionary slot that a call rebinds: the caller's entry waits here until the return.
struct SavedSlot {
    int index;
    DePtr saved;
    Cell* copyBack;  // a by-reference scalar: the actual receives the local's value at return
};

// A cell that a fast frame binds in place: a plain numeric scalar (or the function's result
// entry) whose shape a call does not need to change, so that the frame keeps its value instead
// of putting a fresh entry into its slot.  To the body the cell is exactly what a fresh local
// would be: the same kind, no dimensions, no storage, the bound value.
struct SavedValue {
    Cell* cell;
    double value;
    uint8_t kind;
};

struct CallFrame {
    pcb* program;  // the called function's program, whose slots the call rebinds
    pcb* caller;   // the program of the calling expression (the same, or one linking a library)
    int fn;        // the function's index in `program`
    // Its bindings (the result entry first, then the formals): slots from here on, or for a
    // fast frame values.
    size_t bindings;
    RpnEntry* rpnBase;
    uint8_t* workBase;
    uint8_t* workNext;
    size_t forBase;
    size_t forTop;
    int16_t line;
    size_t clauseStart;
    size_t resumePos;
    size_t extraAt;  // the call item's further words (CallRequest)
    int extra;
    bool fast;  // made by a numeric form, which the return resumes (its SuspendedForm)
    // Where the calling line's code was: a line replaced while the call is open cannot be
    // resumed (its clause and evaluation position belonged to the old code).
    uint32_t callerCode;
};

struct FlowState {
    std::vector<CallFrame> calls;  // one for each function frame of the flow stack
    // The forms suspended at the fast frames' calls, in the frames' order; `resumed` while the
    // last one waits to be resumed after its function returned.
    std::vector<SuspendedForm> suspended;
    bool resumed = false;
    std::vector<SavedSlot> slots;    // the bindings of the frames, in the frames' order
    std::vector<SavedValue> values;  // ... of the fast frames
    // Numeric locals (no storage of their own) that returned calls left for the next ones, so
    // that a call allocates nothing.
    std::vector<DePtr> spareLocals;
    int16_t eventTarget = kOnTableIgnore;  // ON EVENT
    bool ioerrExemption = false;
    bool shutdown = false;
};

// ---- decoded lines ----
struct DecodedLines {
    std::vector<ProgramLines> programs;  // by program, as the run used them
    ProgramLines* last = nullptr;        // the one used last
    // Set when the lines are to be forgotten: that happens at the next line start, because the
    // run loop still reads the clauses of the line it is in.
    bool stale = false;
    // Lines forgotten in the middle of a run: a caller may still hold one of them (the run
    // loop's current clause, a condition search), so they are freed only where nothing is held.
    std::vector<ProgramLines> forgotten;
    // Whether clauses may take their fast forms, and numeric forms their register forms (test
    // switches, kept by a reset).
    bool fastForms = true;
    bool registerForms = true;
};

// ---- console, text and number settings ----
// One output line of a display file, printer or window.
struct Ufcb;
struct OutputLine {
    std::string text;  // the bytes placed so far (blanks where the column moved on)
    int column = 1;    // the current column
    int width = 80;    // the record length / window width
    Ufcb* file = nullptr;  // the display file or printer written to; null: the console
    int error = 0;         // the first error of writing a line of this statement
};
struct ConsoleState {
    OutputLine line{{}, 1, kConsoleWidth};
    bool inputEnded = false;   // the console's input ended while an input statement waited
    bool endToReport = false;  // ... and command mode has not reported it yet
};

struct TextSettings {
    char currency = '$';
    std::string errorVariable;  // VARIABLE$
};

struct SystemValues {
    int itemCount = 0;          // CNT: items handled by the last I/O or LIBRARY statement
    int commandKey = 0;         // CMDKEY
    int terminatingKey = 0;     // FKEY: the key that ended the last input
    int errorFile = 0;          // FILENUM: the file of the last I/O error
    bool screenFrozen = false;  // between SCR_FREEZE and SCR_THAW
};
struct NumberState {
    SystemValues values;
    double random = 0;  // the last value of the random generator
};

// READ without a file number: where the next DATA value comes from.  `line` is the line index
// (-1: the next READ looks from the program's first line), `at` the byte offset of the DATA
// clause in that line and `item` the next of its values.
struct DataPointer {
    int16_t line = -1;
    size_t at = 0;
    int item = 0;
    uint32_t identity = 0;  // the line's identity when the pointer was set
};

// The file statements' own state: the compiled forms they use, the data pointer.
struct FileStatementState {
    DataPointer data;
};

struct ChainState {
    bool pending = false;  // a CHAIN ended the program; command mode takes the request
    ChainRequest request;
};

// ---- the whole ----
struct Interpreter {
    RunState run;
    EvalStacks eval;
    FlowStacks stacks;
    FlowState flow;
    DecodedLines lines;
    ConsoleState console;
    TextSettings text;
    NumberState numbers;
    ChainState chain;
    FileStatementState files;

    Interpreter();  // with the evaluation stacks at their default sizes
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Every part as at start-up, the loaded programs kept, and kept too what configuration
    // set: the stacks' sizes, the FLOWSTACK and FORSTACK limits, the BREAK line count, the
    // login name; and the fast-form switch.
    void reset();
};
extern Interpreter interp;

// The run controls, as every module names them.
inline constexpr RunState& t = interp.run;

}  // namespace vxs
