// Process entry, main entry, the main dispatch loop and shut-down (see entry.h).  The
// application object that calls the process entry is vxapp.cpp's.
#include "vxs/control/entry.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "vxs/clientserver/common.h"
#include "vxs/command/command.h"
#include "vxs/compiler/pcb.h"
#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/interpreter/endrun.h"
#include "vxs/control/startup.h"
#include "vxs/base/process.h"
#include "vxs/datafiles/bopen.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/base/logger.h"
#include "vxs/debugger/debug.h"
#include "vxs/debugger/profiler.h"
#include "vxs/utilities/idxsort.h"
#include "vxs/utilities/sortutil.h"
#include "vxs/interpreter/run.h"
#include "vxs/platform/os.h"
#include "vxs/printing/spool.h"
#include "vxs/registry/ktuser.h"
#include "vxs/screen/fonts.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {
// Stands in for the unhandled-exception filter: the first fault is reported and the process
// ends by it; a fault while a failure is being reported ends the process at once with -1.
void unhandledFault(int signo) {
    if (claimFailure()) platform::exitProcess(-1);
    char text[80];
    snprintf(text, sizeof text, "Unhandled exception: signal %d.\n", signo);
    platform::faultMessage(text);
}
}  // namespace

void installExceptionFilter() {
    platform::installFaultHandlers(unhandledFault);
}

// ---- process entry and main entry ----

int combinedEntryCode(int argc, char** argv) {
    vxlog(kLogProgress, "combinedEntryCode entered with %i parameters", argc);
    for (int i = 0; i < argc; ++i) vxlog(kLogDetail, "parameter[%i] = %s", i, argv[i]);

    char buffer[512];
    if (platform::currentDirectory(buffer, sizeof(buffer)) == -1)
        vxassertion("getCurrentWorkingDirectory(buffer, sizeof(buffer)) != -1", __FILE__, __LINE__);
    const std::string starting = buffer;
    if (!platform::moduleFileName(buffer, sizeof(buffer)))
        vxassertion("GetModuleFileNameA(0, buffer, sizeof(buffer))", __FILE__, __LINE__);
    const std::string module = buffer;
    char* lastSlash = strrchr(buffer, '/');
    if (!lastSlash) vxassertion("lastSlash", __FILE__, __LINE__);
    lastSlash[1] = '\0';
    setProcessPaths(starting, module, buffer);

#if !defined(__SANITIZE_ADDRESS__)
    // Sanitizer builds keep the sanitizers' own fault reports, which say more than ours.
    installExceptionFilter();
#endif

    try {
        return vxEntryPoint(argc, argv);
    } catch (...) {
        fatalError("Unexpected Exception", 99, 0);
        return 0;
    }
}

int vxEntryPoint(int argc, char** argv) {
    vxlog(kLogProgress, "Entering vxEntryPoint.");
    platform::setLastError(platform::kAppErrorBit);
    startup(argc, argv);
    char name[32];
    snprintf(name, sizeof name, "memtrace.%03d", workstationId());
    setMemoryTraceName(name);
    return mainDispatchLoop();
}

// ---- the main dispatch loop ----

// SORT or INDEX from the command's tail, with the operator reached through the terminal; the
// result is the command's error, and command mode comes back through action code 47.
void runUtility(int action) {
    UtilityHost host;
    host.procedureLine = [](std::string& line) { return nextProcedureLine(line); };
    host.message = [](std::string_view text) { statusShowMessage(text); };
    host.screenLine = [](std::string_view text) { consoleOutput(text); };
    host.readKey = [](int seconds) {
        return static_cast<int>(seconds > 0 ? keyboardRequest(2, seconds) : keyboardRequest(1, 0));
    };
    host.attention = [] { return pollAttention(); };
    const std::string tail = utilityCommandTail();
    const int err = action == kActSort ? runSortUtility(tail, host) : runIndexUtility(tail, host);
    finishUtility(err);
}

void promotePendingProgram() {
    pcb* pending = pchain.pendpcb;
    pchain.pendpcb = nullptr;
    if (pending) pchain.curpcb = pending;
}

int dispatchOnce() {
    switch (actionCode()) {
        case kActCommand:
        case kActAfterUtility: commandMode(); return 0;
        case kActResume:
        case kActEndProgram: promotePendingProgram(); [[fallthrough]];
        case kActRun:
            setRunStatus(RUNSTAT_ERROR);
            runLoop();
            return 0;
        case kActSort:
        case kActIndex: runUtility(actionCode()); return 0;
        case kActShutdown: shutdownSequence(); return 1;
        default: fatalError("Invalid action code", 99, 0); return 0;
    }
}

int mainDispatchLoop() {
    while (dispatchOnce() == 0) {
    }
    return exitCode();
}

// ---- shut-down ----

void shutdownSequence() {
    spoolFinishPending();
    while (procedureDepth() > 0) closeInnermostProcedure();
    if (ktHoldsRegistryEntry()) {
        if (runStatus() != RUNSTAT_READY) endOfRun(kEndShutdown);
        // Files still open (NOCLOSE) close while their handles are: what they hold back (a
        // write-behind buffer, key file nodes) is written before the lock regions go.
        closeFileZeroAtExit();
        deleteWorkFiles(workPath(), workstationId(), sessionDigit());
        ktReleaseWorkstation();
        ktReleaseLockRegions();
    }
    terminalShutdown();
    debugDisconnect();  // a linked debugger hears that the session ends
    profilerClose();
    freePrintQueue();
    freeCommandHistory();
    freeCommandBuffers();
    statusLineFree();
    freeAllPCBs();
    freeStringTables();
    freeKeyTables();
    freeFontCache();
    freeNameMapping();
    cancelNetConnections();
    closeLogFile();
    terminalMarkTerminated();
}

}  // namespace vxs
