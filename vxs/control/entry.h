// The spine of the process: the wxWidgets application object and its event loop, the process
// entry and the main entry, the main dispatch loop on the action code, the orderly shut-down,
// and the wiring of the lower layers' registration points (layers.cpp).
//
// States: start-up -> dispatch loop (command mode <-> run loop, SORT/INDEX coming back through
// action code 47) -> shut-down (action code 50) or a fatal error or an immediate exit.
// mainDispatchLoop makes every transition by the action code that the finished phase set.
#pragma once

#include "vxs/base/failure.h"

class wxEventLoopBase;

namespace vxs {

// The application object (vxApp) and its event loop (vxEventLoop) are declared in vxapp.h.

// The argument vector as the C runtime gave it, kept for the main-loop operation (wxWidgets
// keeps its own converted copy).
void setProcessArguments(int argc, char** argv);

// Makes `loop` the active event loop and the one the waiting helpers use (base/process.h).
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

// Registers the handlers of the lower layers' registration points: the failure reporters, the
// waiting helpers' front end and debugger link, the settings hand-over, the devices and the
// command queue.  Start-up calls it first; tests and fuzz targets call it before their cases.
void connectLayers();

}  // namespace vxs

