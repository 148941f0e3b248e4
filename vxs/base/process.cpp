// Process-wide control values and helpers (see process.h).
#include "vxs/base/process.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "vxs/base/failure.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {
ProcessHooks g_hooks;
std::string g_startingDirectory, g_modulePath, g_moduleDirectory, g_memoryTrace;
wxEventLoopBase* g_eventLoop = nullptr;
int32_t g_action = kActCommand;
int32_t g_exitCode = 0;
uint8_t g_runStatus = RUNSTAT_INVALID;
bool g_wasActive = false;
std::vector<std::string> g_netConnections;

constexpr const char* kStatusNames[] = {
    "READY",  "RUN",  "ATTN", "ERROR",   "PAUSE", "CHAIN", "LIST",  "STEP",
    "SYSERR", "LOAD", "SAVE", "REPLACE", "PROC",  "EXEC",  "READY",
};
static_assert(std::size(kStatusNames) == RUNSTAT_READY + 1);

// The system makes no network resource connections of its own on this platform, so there is
// nothing for the platform to undo: cancelling always succeeds.
int platformCancel(const std::string&) {
    return 0;
}
NetCanceller g_canceller = platformCancel;

void recordRunStatus(int status) {
    if (status < RUNSTAT_INVALID || status > RUNSTAT_READY)
        vxassertion("BETWEEN(RUNSTAT_INVALID, RUNSTAT_READY, status)", __FILE__, __LINE__);
    g_runStatus = static_cast<uint8_t>(status);
    noteActivityChange();
}
}  // namespace

void setProcessHooks(const ProcessHooks& hooks) {
    g_hooks = hooks;
}

const ProcessHooks& processHooks() {
    return g_hooks;
}

bool linkOpen() {
    return g_hooks.linkOpen && g_hooks.linkOpen();
}
void pollLink() {
    if (g_hooks.pollLink) g_hooks.pollLink();
}
void queueCommandForExecute(std::string_view command, bool fromTypedStatement) {
    if (g_hooks.queueCommand) g_hooks.queueCommand(command, fromTypedStatement);
}
int openProcedureDepth() {
    return g_hooks.procedureDepth ? g_hooks.procedureDepth() : 0;
}

void setProcessPaths(const std::string& starting, const std::string& module,
                     const std::string& moduleDir) {
    g_startingDirectory = starting;
    g_modulePath = module;
    g_moduleDirectory = moduleDir;
}
const std::string& startingDirectory() {
    return g_startingDirectory;
}
const std::string& modulePath() {
    return g_modulePath;
}
const std::string& moduleDirectory() {
    return g_moduleDirectory;
}
void setMemoryTraceName(const std::string& name) {
    g_memoryTrace = name;
}
const std::string& memoryTraceName() {
    return g_memoryTrace;
}
wxEventLoopBase* processEventLoop() {
    return g_eventLoop;
}
void setProcessEventLoop(wxEventLoopBase* loop) {
    g_eventLoop = loop;
}

int32_t actionCode() {
    return g_action;
}
void setActionCode(int32_t code) {
    g_action = code;
}
int32_t exitCode() {
    return g_exitCode;
}
void setExitCode(int32_t code) {
    g_exitCode = code;
}

void setRunStatus(int status) {
    recordRunStatus(status);
}

void setRunStatusShown(int status) {
    recordRunStatus(status);
    // The status line resends the name only when it changes.
    if (g_hooks.showRunStatus) g_hooks.showRunStatus(runStatusName(status));
}

uint8_t runStatus() {
    return g_runStatus;
}

const char* runStatusName(int status) {
    return status >= 0 && status <= RUNSTAT_READY ? kStatusNames[status] : "?";
}

ActivityClass activityClass() {
    switch (g_runStatus) {
        case RUNSTAT_ATTN:
        case RUNSTAT_ERROR:
        case RUNSTAT_PAUSE:
        case RUNSTAT_STEP:
        case RUNSTAT_EXEC: return kActive;
        default: break;
    }
    if (g_hooks.commandInfoActive && g_hooks.commandInfoActive()) return kActive;
    return g_runStatus == RUNSTAT_READY ? kReady : kIdle;
}

void noteActivityChange() {
    const bool active = activityClass() == kActive;
    if (active == g_wasActive) return;
    g_wasActive = active;
    if (g_hooks.setCanClose) g_hooks.setCanClose(!active);
}

// The helpers drive the front end's pump; the front end decides what its events are (the
// window system's loop, a signal, a descriptor).
void dispatchPending() {
    if (g_hooks.dispatchPending) g_hooks.dispatchPending();
}

void pump() {
    do {
        dispatchPending();
    } while (g_hooks.processIdle && g_hooks.processIdle());
}

void yieldControl() {
    platform::sleepMilliseconds(10);
    pump();
    pollLink();
}

void timedWait(int32_t microseconds) {
    if (microseconds <= 0) {
        dispatchPending();
        pollLink();
        return;
    }
    if (microseconds > 100000) microseconds = 100000;
    int32_t ms = (microseconds + 999) / 1000;
    while (ms > 0) {
        const int32_t slice = ms > 10 ? 10 : ms;
        platform::sleepMilliseconds(static_cast<unsigned>(slice));
        pump();
        pollLink();
        ms -= slice;
    }
}

void netConnectionAdd(const std::string& name) {
    g_netConnections.push_back(name);
}

void cancelNetConnections() {
    std::vector<std::string> kept;
    for (const std::string& name : g_netConnections)
        if (g_canceller(name) != 0) kept.push_back(name);
    g_netConnections.swap(kept);
}

size_t netConnectionCount() {
    return g_netConnections.size();
}

void setNetCanceller(NetCanceller canceller) {
    g_canceller = canceller ? canceller : platformCancel;
}

std::string workFileName(const std::string& prefix, int wsid, int session, int counter) {
    char name[64];
    snprintf(name, sizeof name, "w%03d%1d%d%s", wsid, session, counter, ".wrk");
    return prefix + name;
}

int deleteWorkFiles(const std::string& prefix, int wsid, int session) {
    int deleted = 0;
    for (int counter = 1;; ++counter) {
        const std::string name = workFileName(prefix, wsid, session, counter);
        if (!platform::fileExists(name.c_str())) break;
        if (platform::removeFile(name.c_str()) == 0) ++deleted;
    }
    return deleted;
}

namespace {
int g_utilityResult = 0;
}

void finishUtility(int error) {
    g_utilityResult = error;
    setActionCode(kActAfterUtility);
}

int utilityResult() {
    return g_utilityResult;
}

namespace {
double gClockOffset = 0;
}

double systemClock() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() + gClockOffset;
}
double clockOffset() { return gClockOffset; }
void setClockOffset(double seconds) { gClockOffset = seconds; }

}  // namespace vxs
