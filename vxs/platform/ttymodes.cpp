// Saved terminal modes and the fatal-signal handlers that give them back (ttymodes.h).  The
// handlers touch only the saved copy and the reset text, with async-signal-safe calls.  Also the
// hold of standard error while a full screen owns the terminal.
#include "vxs/platform/ttymodes.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

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

namespace vxs::platform {

namespace {
int g_savedStderr = -1;  // the real standard error while a hold is active
int g_heldFile = -1;     // the unnamed file that takes its place
}  // namespace

int holdStandardError() {
    if (g_savedStderr >= 0) return 0;
    const char* dir = getenv("TMPDIR");
    std::string where = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    int held = open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (held < 0) {  // a file system without unnamed files: a named one, unlinked at once
        std::string name = where + "/vxerrXXXXXX";
        held = mkostemp(name.data(), O_CLOEXEC);
        if (held >= 0) (void)unlink(name.c_str());
    }
    if (held < 0) return -1;
    const int saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (saved < 0 || dup2(held, 2) < 0) {
        if (saved >= 0) close(saved);
        close(held);
        return -1;
    }
    g_savedStderr = saved;
    g_heldFile = held;
    return 0;
}

void releaseStandardError() {
    if (g_savedStderr < 0) return;
    (void)dup2(g_savedStderr, 2);
    close(g_savedStderr);
    g_savedStderr = -1;
    const off_t size = lseek(g_heldFile, 0, SEEK_END);
    off_t from = 0;
    if (size > kStderrHoldBytes) {
        from = size - kStderrHoldBytes;
        static const char kCut[] = "(earlier output to standard error was cut)\n";
        (void)!write(2, kCut, sizeof kCut - 1);
    }
    char buf[8192];
    for (off_t at = from; at < size;) {
        const ssize_t got = pread(g_heldFile, buf, sizeof buf, at);
        if (got <= 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(2, buf + done, static_cast<size_t>(got - done));
            if (put <= 0) {
                if (put < 0 && errno == EINTR) continue;
                at = size;  // standard error is gone: the rest has nowhere to go
                break;
            }
            done += put;
        }
        at += got;
    }
    close(g_heldFile);
    g_heldFile = -1;
}

}  // namespace vxs::platform
