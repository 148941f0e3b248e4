// Saved terminal modes and the fatal-signal handlers that give them back (ttymodes.h).  The
// handlers touch only the saved copy and the reset text, with async-signal-safe calls.
#include "vxs/platform/ttymodes.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace vxs::platform {

namespace {

constexpr int kFatalSignals[] = {SIGHUP,  SIGTERM, SIGQUIT, SIGABRT,
                                 SIGSEGV, SIGBUS,  SIGFPE,  SIGILL};

struct termios g_saved;
int g_fd = -1;  // the terminal whose modes are saved, -1 when none
char g_reset[256];
size_t g_resetLength = 0;
bool g_caught = false;

void giveBack() {
    if (g_fd < 0) return;
    if (g_resetLength > 0) (void)!write(g_fd, g_reset, g_resetLength);
    (void)tcsetattr(g_fd, TCSADRAIN, &g_saved);
}

void onFatalSignal(int signal) {
    giveBack();
    g_fd = -1;
    // SA_RESETHAND gave the signal its default action: raised again, it ends the process once
    // this handler returns (a fault re-runs the failing instruction and ends it as well).
    (void)raise(signal);
}

void releaseFatalSignals() {
    if (!g_caught) return;
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : kFatalSignals) sigaction(s, &sa, nullptr);
    g_caught = false;
}

}  // namespace

int saveTerminalModes(int fd) {
    if (tcgetattr(fd, &g_saved) != 0) return -1;
    g_fd = fd;
    return 0;
}

void restoreTerminalModes() {
    releaseFatalSignals();
    if (g_fd < 0) return;
    (void)tcsetattr(g_fd, TCSADRAIN, &g_saved);
    g_fd = -1;
    g_resetLength = 0;
}

void setTerminalResetText(std::string_view text) {
    g_resetLength = text.size() < sizeof g_reset ? text.size() : sizeof g_reset - 1;
    memcpy(g_reset, text.data(), g_resetLength);
}

void catchFatalSignals() {
    if (g_fd < 0 || g_caught) return;
    struct sigaction sa {};
    sa.sa_handler = onFatalSignal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (int s : kFatalSignals) sigaction(s, &sa, nullptr);
    g_caught = true;
}

}  // namespace vxs::platform
