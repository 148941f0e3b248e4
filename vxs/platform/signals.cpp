// Linux implementation of the interrupt flag and the interruptible wait (see signals.h).
#include "vxs/platform/signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>

#include "vxs/platform/os.h"

namespace vxs::platform {

namespace {

// A lock-free atomic is safe to touch from a signal handler.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onInterrupt(int) {
    g_interrupted.store(true, std::memory_order_relaxed);
}

}  // namespace

void catchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    // Restarting keeps reads and writes elsewhere unaware of the signal; ppoll below is never
    // restarted, so the wait for typed input still ends.
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
}

void releaseInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    g_interrupted.store(false);
}

bool takeInterrupt() {
    return g_interrupted.exchange(false);
}

bool interruptPending() {
    return g_interrupted.load(std::memory_order_relaxed);
}

int waitForInput(int fd) {
    // The signal is blocked while the flag is tested and let through only inside ppoll, which
    // unblocks it atomically: an interrupt between the test and the wait cannot be missed.
    sigset_t block, previous;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    if (pthread_sigmask(SIG_BLOCK, &block, &previous) != 0) return failed();
    sigset_t during = previous;
    sigdelset(&during, SIGINT);
    int result = 0;
    for (;;) {
        if (g_interrupted.load()) {
            result = 1;
            break;
        }
        pollfd p{fd, POLLIN, 0};
        const int n = ppoll(&p, 1, nullptr, &during);
        if (n > 0) break;  // input, its end, or an error that the read will report
        if (n < 0 && errno != EINTR) {
            result = failed();
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return result;
}

int waitForInputFor(int fd, int milliseconds) {
    if (g_interrupted.load()) return 1;
    pollfd p{fd, POLLIN, 0};
    const int n = poll(&p, 1, milliseconds);
    if (n > 0) return 0;
    if (n == 0) return 2;
    if (errno == EINTR) return g_interrupted.load() ? 1 : 2;
    return failed();
}

}  // namespace vxs::platform
