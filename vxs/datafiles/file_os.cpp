// Error translation, locking mode, waiting and the lock with waiting of the file layer (see
// file_os.h).
#include "vxs/datafiles/file_os.h"

#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {

LockingMode g_mode;
SliceWaiter g_waiter = nullptr;
LockFailure g_lastFailure;

void plainSleep(int32_t microseconds) {
    if (microseconds > 0) platform::sleepMilliseconds(static_cast<unsigned>((microseconds + 999) / 1000));
}

}  // namespace

int translateOsError(uint32_t e) {
    if (e & platform::kAppErrorBit) return static_cast<int>(e & ~platform::kAppErrorBit);
    // The platform gives its own number to every code its tables know; a bare code is one they
    // do not, kept as it is for display.
    return e == 0 ? 0 : kErrOsOther;
}

int lastOsError() {
    return translateOsError(platform::lastError());
}

int lockingModeOfOption(int optionValue) {
    switch (optionValue) {
        case 30: return 1;
        case 31: return 2;
        case 32: return 3;
        case 64: return 4;
        default: return 0;
    }
}

int optionOfLockingMode(int mode) {
    static constexpr int kValues[] = {0, 30, 31, 32, 64};
    return mode >= 1 && mode <= 4 ? kValues[mode] : 0;
}

bool setLockingMode(int mode) {
    LockingMode m;
    m.mode = mode;
    switch (mode) {
        case 1: m.base = 0x3E000000; break;
        case 2: m.base = 0x7E000000; break;
        case 3: m.base = 0xFE000000; break;
        case 4:
            m.high = int64_t{0x40000000} << 32;
            m.base = m.high + 0x7E000000;
            m.recordBase = int64_t{0x41000000} << 32;
            m.sizeLimit = 0;
            break;
        default: return false;
    }
    if (mode != 4) m.sizeLimit = m.base;
    g_mode = m;
    return true;
}

const LockingMode& lockingMode() { return g_mode; }

void setSliceWaiter(SliceWaiter waiter) { g_waiter = waiter; }

void fileLayerSleep(int64_t milliseconds) {
    const SliceWaiter wait = g_waiter ? g_waiter : plainSleep;
    while (milliseconds > 0) {
        const int64_t slice = milliseconds > 10 ? 10 : milliseconds;
        wait(static_cast<int32_t>(slice * 1000));
        milliseconds -= slice;
    }
}

const LockFailure& lastLockFailure() { return g_lastFailure; }

int lockWithWait(int fd, int64_t offset, int64_t length, int seconds, int triesPerSecond,
                 int callerId) {
    int err = 0;
    if (triesPerSecond < 1 || triesPerSecond > 100 || seconds < 0) {
        err = kErrInvalidData;
    } else {
        const int64_t tries = int64_t{seconds} * triesPerSecond + 1;
        for (int64_t i = 0; i < tries; ++i) {
            err = platform::lockRange(fd, offset, length, platform::LockKind::kExclusive, false);
            // Held by this descriptor, a bad range or a bad handle: waiting cannot help.
            if (err != kErrRecordLocked) break;
            if (i + 1 < tries) fileLayerSleep(1000 / triesPerSecond);
        }
    }
    if (err == 0) return 0;
    g_lastFailure = {callerId, err, offset, length};
    platform::setLastError(static_cast<uint32_t>(err) | platform::kAppErrorBit);
    return err;
}

}  // namespace vxs
