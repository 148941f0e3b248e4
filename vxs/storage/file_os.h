// The operating-system side of the file layer: the table of open handles with their own
// positions and the calls on them (open, seek, read, write, truncate, close, lock, unlock, and
// the calls by path), which retry transient failures; the translation of the thread's last
// error into the system's error numbers; the locking mode with its lock base; the lock with
// waiting on one open file; and the sleeps the layer takes, in 10 ms slices through a waiter
// that the control layer sets (so the user interface stays responsive while a call waits).
//
// Handle table invariants:
//  - handles are 5..499; an entry is in use exactly when its descriptor is >= 0, and a
//    descriptor belongs to one entry only (files are never dup'ed);
//  - the position of an entry is its own: reads and writes of disk files go to that offset and
//    leave the descriptor's position alone, so a failed call moves nothing;
//  - the locks of an entry are those the platform tracks for its descriptor; close drops them
//    before it closes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/platform/platform.h"

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
// The settings listener of this layer (config.h): the locking mode of OPTION 33.
void applyLockingSettings();

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
// The same with the kind of lock: the operating system takes an exclusive lock only through a
// descriptor open for writing, so a read-only open locks shared.
[[nodiscard]] int lockWithWaitKind(int fd, int64_t offset, int64_t length, int seconds,
                                   int triesPerSecond, int callerId, platform::LockKind kind);

// ---- the handle table ----
//
// Call convention: every call returns 0 or an error number (never -1) and hands its result
// (a handle, a position, a byte count) back through an out parameter.  Every call sets the
// thread's last error: on failure the error number with kAppErrorBit (or the bare
// operating-system code when the number is 4320, so it can be shown), on success the value it
// had before the call (retries may have changed it in between).
//
// Transient failures: open, seek, read, write and unlock are made up to 6 times while the error
// is 4205 or 4206, lock while it is 4206, with sleeps of 1 ms, 10 ms, 100 ms, 0.5 s and 1 s
// between the attempts (fileLayerSleep).  A handle that is out of range or not in use is 4206
// at once: nothing in this single-threaded process could make it valid while we wait.  Close
// is never retried: on Linux the descriptor is gone after close() whatever it returned, and a
// second close could close a descriptor that another open got meanwhile.

inline constexpr int kFirstOsHandle = 5;
inline constexpr int kOsHandles = 500;  // entries 0..4 are never used
// Pseudo-handles of devices without a table entry.  Reads, writes and seeks on them are 4501
// until the console, printer and debugger layers take them over; close is a no-op.
inline constexpr int kConsoleHandle = 11000;  // "CON:" or ":CON:"
inline constexpr int kPrinterHandle = 11001;  // "PRN:", "DIRECT:", "WIN:", "PREVIEW:"
inline constexpr int kDebugHandleBase = 1000;  // "DEBUG:n", n < 10000: 1000 + n
// The pseudo-handle of a device name; 0 for a file name, -1 for a bad "DEBUG:" number.
int deviceHandle(std::string_view name);

// Access and creation values of open.
enum : int { kOsRead = 0, kOsReadWrite = 1, kOsReadWrite2 = 2 };
enum : int {
    kOsOpenExisting = 0,
    kOsNew = 1,       // OFW_NEW: the file must not exist
    kOsReplace = 2,   // OFW_REPLACE: created, or emptied when it exists
    kOsUse = 3,       // OFW_USE: opened, or created when missing
    kOsTruncate = 4,  // the file must exist; it is emptied
    kOsWorkFile = 5,  // a temporary random-access work file, created or emptied
};
// Origins of seek.
enum : int { kOsFromStart = 0, kOsFromCurrent = 1, kOsFromEnd = 2 };
// Attribute bits of getAttributes and setAttributes (only kOsAttrReadOnly can be set).
enum : int { kOsAttrReadOnly = 0x01, kOsAttrDirectory = 0x10, kOsAttrNormal = 0x80 };

struct OsFile {
    int fd = -1;           // -1: the entry is free
    int64_t position = 0;  // the handle's own position
    bool disk = false;     // an ordinary disk file (positioned I/O); clear for devices
    bool writable = false;
    int64_t lastWrite = 0;  // seconds since 1970: the file's time at open, then of our writes
    std::string path;
};

// Retries made per operation since the table was made (the STATUS command shows them).  Close
// is never retried, so it has no counter.
struct OsRetryCounts {
    int64_t open = 0, seek = 0, read = 0, write = 0, lock = 0, unlock = 0;
};

class OsFileTable final {
  public:
    OsFileTable() = default;
    OsFileTable(const OsFileTable&) = delete;
    OsFileTable& operator=(const OsFileTable&) = delete;
    // Closes what is still open.
    ~OsFileTable();

    // Opens `path` (an operating-system path, or a device name) with access 0 (read) or 1, 2
    // (read/write) and a creation of 0..5.  Read access goes only with creation 0 (4513: the
    // platform refuses read access on a creating open); another access is 9201, another
    // creation 9203.  4152 not found, 4150 exists (NEW), 9000 when all 495 entries are in use.
    [[nodiscard]] int open(const std::string& path, int access, int creation, int& handle);
    // Moves the handle's position; a negative target or an unknown origin is 731.
    [[nodiscard]] int seek(int handle, int64_t distance, int origin, int64_t& position);
    // Reads up to `count` bytes at the handle's position (fewer only at the end of the file)
    // and advances it by what was read.
    [[nodiscard]] int read(int handle, void* buf, size_t count, size_t& got);
    // Writes all `count` bytes at the handle's position and advances it.  On failure the
    // position stays.
    [[nodiscard]] int write(int handle, const void* data, size_t count);
    // Cuts the file at 0 and sets the position to 0.
    [[nodiscard]] int truncate(int handle);
    // Puts what was written through the handle on the disk (fsync).
    [[nodiscard]] int sync(int handle);
    // Cuts or extends the file to `size` bytes (the position stays).
    [[nodiscard]] int truncateAt(int handle, int64_t size);
    [[nodiscard]] int size(int handle, int64_t& bytes);
    // Unlocks every range the handle holds, then closes it.  The entry is free afterwards
    // whatever the result.
    int close(int handle);
    // An exclusive lock of the range (shared on a read-only handle, or when `shared` asks for
    // it), waiting as lockWithWait.
    [[nodiscard]] int lock(int handle, int64_t offset, int64_t length, int seconds,
                           int triesPerSecond, int callerId, bool shared = false);
    [[nodiscard]] int unlock(int handle, int64_t offset, int64_t length);
    // Whether another open holds a lock on some byte of the range (the handle's own never count).
    [[nodiscard]] int test(int handle, int64_t offset, int64_t length, bool& held);

    // The entry of a handle in use, or null.
    const OsFile* entry(int handle) const;
    int openCount() const;
    const OsRetryCounts& retries() const { return retries_; }

  private:
    enum class Op { kOpen, kSeek, kRead, kWrite, kLock, kUnlock };
    template <typename Body>
    int withRetry(Op op, Body body);
    OsFile* use(int handle);

    std::vector<OsFile> files_ = std::vector<OsFile>(kOsHandles);
    OsRetryCounts retries_;
};

// The process's table, which the free functions below and the sharing layer use.
OsFileTable& osFiles();

// The path of the last open, delete, rename or directory call that failed since
// osForgetFailedPath: the file an error on the status line concerns.
const std::string& osLastFailedPath();
void osForgetFailedPath();

// The calls of the process's table (see OsFileTable).
[[nodiscard]] int osOpen(const std::string& path, int access, int creation, int& handle);
[[nodiscard]] int osSeek(int handle, int64_t distance, int origin, int64_t& position);
[[nodiscard]] int osRead(int handle, void* buf, size_t count, size_t& got);
[[nodiscard]] int osWrite(int handle, const void* data, size_t count);
[[nodiscard]] int osTruncate(int handle);
[[nodiscard]] int osSync(int handle);
// The identity of the handle's file (equal for every name of one file).
[[nodiscard]] int osIdentity(int handle, uint64_t& device, uint64_t& inode);
int osClose(int handle);
[[nodiscard]] int osLock(int handle, int64_t offset, int64_t length, int seconds,
                         int triesPerSecond, int callerId);
[[nodiscard]] int osUnlock(int handle, int64_t offset, int64_t length);
// A read-only view of the first `size` bytes of an open disk file, showing what any copy
// writes to them (see platform.h); osUnmapView ends it.
[[nodiscard]] int osMapView(int handle, size_t size, const uint8_t*& at);
void osUnmapView(const uint8_t* at, size_t size);

// Calls by path.  Each returns 0 or an error number and sets the last error as above.
[[nodiscard]] int osDelete(const std::string& path);
// Renames `from` to `to`.  Without `replace` an existing `to` is 4150; with it `to` is replaced
// in one step, so a failed rename leaves both files as they were.
[[nodiscard]] int osRename(const std::string& from, const std::string& to, bool replace);
[[nodiscard]] int osMakeDirectory(const std::string& path);
[[nodiscard]] int osRemoveDirectory(const std::string& path);
[[nodiscard]] int osGetAttributes(const std::string& path, int& attributes);
// Only kOsAttrReadOnly has an effect; other bits are ignored.
[[nodiscard]] int osSetAttributes(const std::string& path, int attributes);
[[nodiscard]] int osSetFileTime(const std::string& path, int64_t secondsSince1970);
[[nodiscard]] int osCurrentDirectory(std::string& path);
// `name` as an absolute path with "." and ".." resolved (no links followed); 4129 when the
// result has 512 characters or more.
[[nodiscard]] int osFullPath(const std::string& name, std::string& path);
[[nodiscard]] int osFreeSpace(const std::string& path, int64_t& bytes);

}  // namespace vxs
