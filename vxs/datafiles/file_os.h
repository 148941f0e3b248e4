// The operating-system side of the file layer: the translation of the thread's last error into
// the system's error numbers, which every file operation reports through; the locking mode with
// its lock base; the lock with waiting on one open file; and the sleeps the layer takes, in
// 10 ms slices through a waiter that the control layer sets (so the user interface stays
// responsive while a file operation waits).
#pragma once

#include <cstdint>

#include "vxs/control/errors.h"

namespace vxs {

// The error number of a last-error value (os.h): the system's own number when it carries the
// application bit, 4320 for a bare operating-system code (one the platform's tables do not
// know); 0 stays 0.
int translateOsError(uint32_t lastError);
// The same for the calling thread's last error.
int lastOsError();

// ---- locking mode (OPTION 33) ----
// Mode 1..4 with its base B: 1 0x3E000000, 2 0x7E000000 (the default), 3 0xFE000000, and 4
// 0x7E000000 with 0x40000000 as the high 32 bits of every lock offset below, and record locks
// at (0x41000000 << 32) + n.  In modes 1 to 3 a data file may not reach B bytes (4224).
struct LockingMode {
    int mode = 2;
    int64_t high = 0;           // added to every lock-area offset (mode 4: 0x40000000 << 32)
    int64_t base = 0x7E000000;  // B as a file offset: `high` included
    int64_t recordBase = 0;     // mode 4: record n's lock is at recordBase + n
    int64_t sizeLimit = 0x7E000000;  // the size a data file may not reach; 0: none (mode 4)
};
// The OPTION 33 value (30, 31, 32, 64) of a mode, and the mode of a value (0 for another value).
int lockingModeOfOption(int optionValue);
int optionOfLockingMode(int mode);
// Sets the mode (1..4); false for another number.
bool setLockingMode(int mode);
const LockingMode& lockingMode();

// ---- waiting ----
// Waits 0..100000 microseconds while keeping the user interface alive.  Until the control layer
// sets one, a plain sleep.
using SliceWaiter = void (*)(int32_t microseconds);
void setSliceWaiter(SliceWaiter waiter);
// Sleeps `milliseconds`, in slices of at most 10 ms through the waiter.
void fileLayerSleep(int64_t milliseconds);

// Diagnostics of the last lock that could not be had (STATUS shows them).
struct LockFailure {
    int callerId = 0;
    int error = 0;
    int64_t offset = 0;
    int64_t length = 0;
};
const LockFailure& lastLockFailure();

// Locks a range of the open file `fd` (an exclusive lock), trying `seconds` x `triesPerSecond`
// + 1 times with 1,000,000 / triesPerSecond microseconds between tries (none after the last).
// triesPerSecond must be 1..100 and seconds >= 0 (4513 otherwise).  A range overlapping one
// this descriptor holds is 4205 at once; a range held by another open is 61 after the last
// try.  On failure the caller id, the error and the range are kept (lastLockFailure) and the
// last error is set.  Returns 0 or the error number.
[[nodiscard]] int lockWithWait(int fd, int64_t offset, int64_t length, int seconds,
                               int triesPerSecond, int callerId);

}  // namespace vxs
