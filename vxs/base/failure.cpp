// The last-resort reporters and exits (see failure.h).
#include "vxs/base/failure.h"

#include <atomic>
#include <cstdio>

#include "vxs/base/logger.h"
#include "vxs/base/process.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {
FailureHandlers g_handlers;
// Read and set by the fault handler, which may run on another thread.
std::atomic<bool> g_failureInProgress{false};
bool g_fatalReporting = false;
}  // namespace

void setFailureHandlers(const FailureHandlers& handlers) {
    g_handlers = handlers;
}

void vxassertion(const char* condition, const char* file, int line) {
    char text[2000];
    snprintf(text, sizeof text, "vxassertion (%s) failed in %s line %i.", condition, file, line);
    if (g_failureInProgress.exchange(true)) immediateExit(-1);
    fatalError(text, -1, 0);
    orderlyExit(-1);  // a consistency failure cannot carry on, whatever the terminal answered
}

int fatalError(const char* message, int status, int flags) {
    vxlog(kLogFatal, "Fatal error called with message: %s", message);
    if (g_fatalReporting) immediateExit(-1);
    g_fatalReporting = flags == 0;
    if (g_handlers.showFatal) {
        const int reply = g_handlers.showFatal(message, flags);
        if (reply != 0) return reply;
    }
    orderlyExit(status);
}

void immediateExit(int status) {
    cancelNetConnections();
    platform::exitProcess(status);
}

void orderlyExit(int status) {
    if (g_handlers.shutdown) g_handlers.shutdown();
    cancelNetConnections();
    platform::exitProcess(status);
}

bool claimFailure() {
    return g_failureInProgress.exchange(true);
}
bool failureInProgress() {
    return g_failureInProgress;
}
bool fatalReporting() {
    return g_fatalReporting;
}

void resetLastResortFlags() {
    g_failureInProgress = false;
    g_fatalReporting = false;
}

}  // namespace vxs
