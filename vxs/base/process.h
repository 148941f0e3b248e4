// Process-wide control values and helpers: the action code that the main dispatch loop switches
// on, the exit code, the run status with its names and the derived activity class, the waiting
// helpers that keep the event loop turning, the paths the process started with, the table of
// network connections the system made, and the deletion of the process's work files.
//
// What these reach above this layer (the front end's events, the debugger link, the status line,
// command mode) they reach through ProcessHooks, which the higher layers register: without a
// hook, the helper does without (no events to dispatch, no link, nothing shown).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class wxEventLoopBase;

namespace vxs {

// ---- action codes: what the main dispatch loop does next ----
inline constexpr int32_t kActCommand = 0;        // command mode
inline constexpr int32_t kActRun = 2;            // run the current program from its current line
inline constexpr int32_t kActResume = 3;         // resume a suspended program
inline constexpr int32_t kActEndProgram = 4;     // end the current program, then command mode
inline constexpr int32_t kActSort = 8;           // the SORT utility
inline constexpr int32_t kActIndex = 9;          // the INDEX utility
inline constexpr int32_t kActHelp = 40;          // help display in progress: never dispatched
inline constexpr int32_t kActAfterUtility = 47;  // command mode after a utility
inline constexpr int32_t kActShutdown = 50;      // shut down

int32_t actionCode();
void setActionCode(int32_t code);

// The process exit status returned after shut-down (SYSTEM n, END n, STOP n).
int32_t exitCode();
void setExitCode(int32_t code);

// ---- run status ----
enum RunStatus : uint8_t {
    RUNSTAT_INVALID = 0,
    RUNSTAT_RUN = 1,
    RUNSTAT_ATTN = 2,
    RUNSTAT_ERROR = 3,
    RUNSTAT_PAUSE = 4,
    RUNSTAT_CHAIN = 5,
    RUNSTAT_LIST = 6,
    RUNSTAT_STEP = 7,
    RUNSTAT_SYSERR = 8,
    RUNSTAT_LOAD = 9,
    RUNSTAT_SAVE = 10,
    RUNSTAT_REPLACE = 11,
    RUNSTAT_PROC = 12,
    RUNSTAT_EXEC = 13,
    RUNSTAT_READY = 14,
};

// Records the status (above 14 is a consistency failure).  Either setter tells the terminal side
// when the change moves the process into or out of the "active" class.
void setRunStatus(int status);
// As setRunStatus, and rewrites the status line when the displayed name changes.
void setRunStatusShown(int status);
uint8_t runStatus();
const char* runStatusName(int status);  // "READY" for 0 and 14

enum ActivityClass { kIdle = 0, kReady = 1, kActive = 2 };
ActivityClass activityClass();
// Re-evaluates the activity class after something it depends on changed (a command-info record
// pushed or popped) and tells the terminal side when it moved into or out of "active".
void noteActivityChange();

// ---- registration points ----
struct ProcessHooks {
    void (*dispatchPending)() = nullptr;  // the front end's pending events
    bool (*processIdle)() = nullptr;      // its idle processing; true asks to be called again
    void (*pollLink)() = nullptr;         // serves the debugger link's messages
    bool (*linkOpen)() = nullptr;         // whether a debugger link is open
    void (*showRunStatus)(const char* name) = nullptr;  // the status line's run-status name
    void (*setCanClose)(bool canClose) = nullptr;       // the terminal side may close or not
    bool (*commandInfoActive)() = nullptr;  // a command-info record is open (command mode)
    // EXECUTE's command handed to command mode, and how many procedures are open.
    void (*queueCommand)(std::string_view command, bool fromTypedStatement) = nullptr;
    int (*procedureDepth)() = nullptr;
};
void setProcessHooks(const ProcessHooks& hooks);
const ProcessHooks& processHooks();

// The debugger link through the hooks: whether one is open, and serving its messages.
bool linkOpen();
void pollLink();
// Command mode through the hooks: queues an EXECUTE's command; the open procedures' depth.
void queueCommandForExecute(std::string_view command, bool fromTypedStatement);
int openProcedureDepth();

// ---- paths and the event loop ----
// Recorded by the process entry: the directory it started in, the executable's path and its
// directory (ending with its separator).
void setProcessPaths(const std::string& starting, const std::string& module,
                     const std::string& moduleDir);
const std::string& startingDirectory();
const std::string& modulePath();
const std::string& moduleDirectory();
// "memtrace.%03d" with the workstation number, once start-up has assigned it.
void setMemoryTraceName(const std::string& name);
const std::string& memoryTraceName();
// The event loop the waiting helpers use; null outside the application's main loop.
wxEventLoopBase* processEventLoop();
void setProcessEventLoop(wxEventLoopBase* loop);

// ---- waiting helpers ----
// Dispatches the attached front end's pending events (frontend.h); without one, the process's
// event loop's.
void dispatchPending();
// dispatchPending, then idle processing, repeated while idle processing asks for more.
void pump();
// Sleeps 10 ms, pumps, then polls the debugger link.
void yieldControl();
// Waits 0..100000 microseconds: sleeps the rounded-up milliseconds (longer waits in 10 ms
// slices), pumping and polling after each; 0 only dispatches pending events and polls.
void timedWait(int32_t microseconds);

// ---- network connections the system made ----
void netConnectionAdd(const std::string& name);
// Cancels every recorded connection; names whose cancellation fails stay in the table.
void cancelNetConnections();
size_t netConnectionCount();
// The canceller in use (the platform's by default); tests replace it.
using NetCanceller = int (*)(const std::string& name);
void setNetCanceller(NetCanceller canceller);

// ---- work files ----
// Name of work file number `counter`: "%sw%03d%1d%d%s" from the prefix, the workstation number,
// the session digit, the counter and ".wrk".
std::string workFileName(const std::string& prefix, int wsid, int session, int counter);
// Deletes the work files from counter 1 upwards, stopping at the first that does not exist.
// Returns how many were deleted.
int deleteWorkFiles(const std::string& prefix, int wsid, int session);

}  // namespace vxs

namespace vxs {

// The end of the SORT or INDEX utility: keeps its result (0 or an error number) and returns to
// command mode through action code 47, which shows it or hands it to the EXECUTE that started
// the utility.
void finishUtility(int error);
int utilityResult();

// ---- the system's own clock ----
// DATE and TIME set the system's clock without touching the operating system's: the difference
// is kept as an offset in seconds that every reader of the date and time adds.
double systemClock();  // seconds since 1 January 1970 (UTC), with fractions, plus the offset
double clockOffset();
void setClockOffset(double seconds);

}  // namespace vxs
