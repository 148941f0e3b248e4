// Process-wide control values and helpers (see utils.h).
#include "vxs/control/utils.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "vxs/command/command.h"
#include "vxs/config/statline.h"
#include "vxs/control/entry.h"
#include "vxs/debugger/debug.h"
#include "vxs/platform/os.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {
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
    statusShowStatus(runStatusName(status));  // resent only when the name changes
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
    if (ciExists()) return kActive;
    return g_runStatus == RUNSTAT_READY ? kReady : kIdle;
}

void noteActivityChange() {
    const bool active = activityClass() == kActive;
    if (active == g_wasActive) return;
    g_wasActive = active;
    terminalSetCanClose(!active);
}

// The helpers drive the front end's pump; the front end decides what its events are (the
// window system's loop, a signal, a descriptor).
void dispatchPending() {
    frontEndDispatchPending();
}

void pump() {
    do {
        dispatchPending();
    } while (frontEndProcessIdle());
}

void yieldControl() {
    platform::sleepMilliseconds(10);
    pump();
    debugPoll();
}

void timedWait(int32_t microseconds) {
    if (microseconds <= 0) {
        dispatchPending();
        debugPoll();
        return;
    }
    if (microseconds > 100000) microseconds = 100000;
    int32_t ms = (microseconds + 999) / 1000;
    while (ms > 0) {
        const int32_t slice = ms > 10 ? 10 : ms;
        platform::sleepMilliseconds(static_cast<unsigned>(slice));
        pump();
        debugPoll();
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
