// The spine of the process: the wxWidgets application object and its event loop, the process
// entry and the main entry, the main dispatch loop on the action code, the orderly shut-down,
// and the two last-resort reporters (consistency failures and fatal errors).
//
// States: start-up -> dispatch loop (command mode <-> run loop, SORT/INDEX coming back through
// action code 47) -> shut-down (action code 50) or a fatal error or an immediate exit.
// mainDispatchLoop makes every transition by the action code that the finished phase set.
#pragma once

#include <string>

class wxEventLoopBase;

namespace vxs {

// The application object (vxApp) and its event loop (vxEventLoop) are declared in vxapp.h.

// The argument vector as the C runtime gave it, kept for the main-loop operation (wxWidgets
// keeps its own converted copy).
void setProcessArguments(int argc, char** argv);

// The event loop the waiting helpers use; null outside the application's main loop.
wxEventLoopBase* processEventLoop();
void publishEventLoop(wxEventLoopBase* loop);

// Installs the stand-in for the unhandled-exception filter (fault signals).
void installExceptionFilter();

// Process entry: records the paths, installs the fault handlers, runs vxEntryPoint.
int combinedEntryCode(int argc, char** argv);
// Main entry: start-up, then the dispatch loop; returns the exit code.
int vxEntryPoint(int argc, char** argv);
// The main dispatch loop: returns the exit code after shut-down.
int mainDispatchLoop();
// One turn of the dispatch loop on the current action code.  Returns 1 after shut-down (the loop
// ends), else 0.
int dispatchOnce();
// Makes the pending program control block current when there is one.
void promotePendingProgram();

// The shut-down sequence (action code 50 and every orderly exit).
void shutdownSequence();

// Paths recorded by the process entry.
const std::string& startingDirectory();
const std::string& modulePath();
const std::string& moduleDirectory();  // ends with its separator
// "memtrace.%03d" with the workstation number, once start-up has assigned it.
const std::string& memoryTraceName();

// Consistency failure: never returns.  Reports "vxassertion (%s) failed in %s line %i."; a second
// failure while one is reported ends the process at once with status -1.
[[noreturn]] void vxassertion(const char* condition, const char* file, int line);

// Fatal error: logs, shows the message on the terminal side and ends the process in order with
// `status` -- unless the terminal side asks to carry on, when its nonzero answer is returned.
// A fatal error while one is being reported ends the process at once with status -1.  Nonzero
// `flags` let a further fatal error be reported.
int fatalError(const char* message, int status, int flags);

[[noreturn]] void immediateExit(int status);
[[noreturn]] void orderlyExit(int status);

// For tests: the two last-resort flags.
bool failureInProgress();
bool fatalReporting();
void resetLastResortFlags();

}  // namespace vxs

#define VXASSERT(cond) ((cond) ? (void)0 : ::vxs::vxassertion(#cond, __FILE__, __LINE__))
