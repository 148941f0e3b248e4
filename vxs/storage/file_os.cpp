// The handle table and its calls, error translation, locking mode, waiting and the lock with
// waiting of the file layer (see file_os.h for the conventions and the table's invariants).
#include "vxs/storage/file_os.h"

#include <cctype>
#include <string_view>

#include "vxs/config/config.h"
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

void applyLockingSettings() {
    (void)setLockingMode(lockingModeOfOption(lockOptionValue()));
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
    return lockWithWaitKind(fd, offset, length, seconds, triesPerSecond, callerId,
                            platform::LockKind::kExclusive);
}

int lockWithWaitKind(int fd, int64_t offset, int64_t length, int seconds, int triesPerSecond,
                     int callerId, platform::LockKind kind) {
    int err = 0;
    if (triesPerSecond < 1 || triesPerSecond > 100 || seconds < 0) {
        err = kErrInvalidData;
    } else {
        const int64_t tries = int64_t{seconds} * triesPerSecond + 1;
        for (int64_t i = 0; i < tries; ++i) {
            err = platform::lockRange(fd, offset, length, kind, false);
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

// ---- the handle table ----

namespace {

int failWith(int err) {
    platform::setLastError(static_cast<uint32_t>(err) | platform::kAppErrorBit);
    return err;
}

// Ends a call: on success the last error goes back to what it was before the call; on failure
// it carries the error (a platform routine may already have set it, with the bare code for
// 4320, which stays so it can be shown).
int finish(uint32_t saved, int err) {
    if (err == 0)
        platform::setLastError(saved);
    else if (translateOsError(platform::lastError()) != err)
        (void)failWith(err);
    return err;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

}  // namespace

// The pseudo-handle of a device name; 0 for a file name, -1 for a bad "DEBUG:" number.
int deviceHandle(std::string_view name) {
    if (startsWithNoCase(name, "CON:") || startsWithNoCase(name, ":CON:")) return kConsoleHandle;
    for (std::string_view p : {"PRN:", "DIRECT:", "WIN:", "PREVIEW:"})
        if (startsWithNoCase(name, p)) return kPrinterHandle;
    if (startsWithNoCase(name, "DEBUG:")) {
        std::string_view digits = name.substr(6);
        if (digits.empty() || digits.size() > 4) return -1;
        int n = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return -1;
            n = n * 10 + (c - '0');
        }
        return kDebugHandleBase + n;
    }
    return 0;
}

namespace {

bool isPseudoHandle(int handle) {
    return handle == kConsoleHandle || handle == kPrinterHandle ||
           (handle >= kDebugHandleBase && handle < kDebugHandleBase + 10000);
}

// The local time of a write.  Reading the local clock looks at the time zone (a file system call
// each time), so within a second of the last reading that value serves.
int64_t nowSeconds() {
    static int64_t readAt = 0, value = 0;
    static bool known = false;
    const int64_t now = platform::monotonicMicroseconds();
    if (!known || now - readAt >= 1000000 || now < readAt) {
        value = static_cast<int64_t>(platform::epochFromLocal(platform::localTime()));
        readAt = now;
        known = true;
    }
    return value;
}

platform::Create createOf(int creation) {
    switch (creation) {
        case kOsNew: return platform::Create::kCreateNew;
        case kOsReplace: return platform::Create::kCreateAlways;
        case kOsUse: return platform::Create::kOpenOrCreate;
        case kOsTruncate: return platform::Create::kTruncateExisting;
        case kOsWorkFile: return platform::Create::kTemporary;
        default: return platform::Create::kOpenExisting;
    }
}

}  // namespace

OsFileTable::~OsFileTable() {
    for (int h = kFirstOsHandle; h < kOsHandles; ++h)
        if (files_[static_cast<size_t>(h)].fd >= 0) (void)close(h);
}

OsFile* OsFileTable::use(int handle) {
    if (handle < kFirstOsHandle || handle >= kOsHandles) return nullptr;
    OsFile& f = files_[static_cast<size_t>(handle)];
    return f.fd >= 0 ? &f : nullptr;
}

const OsFile* OsFileTable::entry(int handle) const {
    if (handle < kFirstOsHandle || handle >= kOsHandles) return nullptr;
    const OsFile& f = files_[static_cast<size_t>(handle)];
    return f.fd >= 0 ? &f : nullptr;
}

int OsFileTable::openCount() const {
    int n = 0;
    for (const OsFile& f : files_) n += f.fd >= 0;
    return n;
}

template <typename Body>
int OsFileTable::withRetry(Op op, Body body) {
    static constexpr int64_t kSleepsMs[] = {1, 10, 100, 500, 1000};
    for (int attempt = 0;; ++attempt) {
        const int err = body();
        const bool transient =
            err == kErrBadHandle || (op != Op::kLock && err == kErrAccessDenied);
        if (!transient || attempt == 5) return err;
        switch (op) {
            case Op::kOpen: ++retries_.open; break;
            case Op::kSeek: ++retries_.seek; break;
            case Op::kRead: ++retries_.read; break;
            case Op::kWrite: ++retries_.write; break;
            case Op::kLock: ++retries_.lock; break;
            case Op::kUnlock: ++retries_.unlock; break;
        }
        fileLayerSleep(kSleepsMs[attempt]);
    }
}

int OsFileTable::open(const std::string& path, int access, int creation, int& handle) {
    const uint32_t saved = platform::lastError();
    handle = -1;
    if (access < kOsRead || access > kOsReadWrite2) return failWith(kErrBadAccess);
    if (creation < kOsOpenExisting || creation > kOsWorkFile) return failWith(kErrBadCreation);
    if (const int device = deviceHandle(path)) {
        if (device < 0) return failWith(kErrBadName);
        handle = device;
        return finish(saved, 0);
    }
    int slot = -1;
    for (int h = kFirstOsHandle; h < kOsHandles && slot < 0; ++h)
        if (files_[static_cast<size_t>(h)].fd < 0) slot = h;
    if (slot < 0) return failWith(kErrNoMemory);

    const platform::Access acc =
        access == kOsRead ? platform::Access::kRead : platform::Access::kReadWrite;
    int fd = -1;
    int err = withRetry(Op::kOpen, [&] { return platform::openFile(path, acc, createOf(creation), fd); });
    if (err) return finish(saved, err);
    platform::FileInfo info;
    if ((err = platform::fileInfo(fd, info)) != 0) {
        (void)platform::closeFile(fd);
        return finish(saved, err);
    }
    // "COM1:", "LPT:" and the like name devices, as does anything that is not a regular file.
    const bool colonName = (path.size() > 3 && path[3] == ':') || (path.size() > 4 && path[4] == ':');
    OsFile& f = files_[static_cast<size_t>(slot)];
    f.fd = fd;
    f.position = 0;
    f.disk = !colonName && info.isRegular;
    f.writable = access != kOsRead;
    f.lastWrite = info.modified;
    f.path = path;
    handle = slot;
    return finish(saved, 0);
}

int OsFileTable::seek(int handle, int64_t distance, int origin, int64_t& position) {
    const uint32_t saved = platform::lastError();
    position = -1;
    if (isPseudoHandle(handle)) return failWith(kErrInvalidFunction);
    OsFile* f = use(handle);
    if (!f) return failWith(kErrBadHandle);
    int64_t from = 0;
    switch (origin) {
        case kOsFromStart: break;
        case kOsFromCurrent: from = f->position; break;
        case kOsFromEnd: {
            const int err = withRetry(Op::kSeek, [&] { return platform::fileSize(f->fd, from); });
            if (err) return finish(saved, err);
            break;
        }
        default: return failWith(kErrBadPosition);
    }
    int64_t target = 0;
    if (__builtin_add_overflow(from, distance, &target) || target < 0)
        return failWith(kErrBadPosition);
    f->position = position = target;
    return finish(saved, 0);
}

int OsFileTable::read(int handle, void* buf, size_t count, size_t& got) {
    const uint32_t saved = platform::lastError();
    got = 0;
    if (isPseudoHandle(handle)) return failWith(kErrInvalidFunction);
    OsFile* f = use(handle);
    if (!f) return failWith(kErrBadHandle);
    const int err = withRetry(Op::kRead, [&] {
        return f->disk ? platform::readFullAt(f->fd, f->position, buf, count, got)
                       : platform::readFull(f->fd, buf, count, got);
    });
    if (err) {
        got = 0;
        return finish(saved, err);
    }
    f->position += static_cast<int64_t>(got);
    return finish(saved, 0);
}

int OsFileTable::write(int handle, const void* data, size_t count) {
    const uint32_t saved = platform::lastError();
    if (isPseudoHandle(handle)) return failWith(kErrInvalidFunction);
    OsFile* f = use(handle);
    if (!f) return failWith(kErrBadHandle);
    const int err = withRetry(Op::kWrite, [&] {
        return f->disk ? platform::writeAllAt(f->fd, f->position, data, count)
                       : platform::writeAll(f->fd, data, count);
    });
    if (err) return finish(saved, err);
    f->position += static_cast<int64_t>(count);
    f->lastWrite = nowSeconds();
    return finish(saved, 0);
}

int OsFileTable::truncate(int handle) {
    const uint32_t saved = platform::lastError();
    OsFile* f = use(handle);
    if (!f) return failWith(isPseudoHandle(handle) ? kErrInvalidFunction : kErrBadHandle);
    const int err = platform::truncateFile(f->fd, 0);
    if (err == 0) {
        f->position = 0;
        f->lastWrite = nowSeconds();
    }
    return finish(saved, err);
}

int OsFileTable::sync(int handle) {
    const uint32_t saved = platform::lastError();
    OsFile* f = use(handle);
    if (!f) return failWith(isPseudoHandle(handle) ? kErrInvalidFunction : kErrBadHandle);
    return finish(saved, platform::syncFile(f->fd));
}

int OsFileTable::truncateAt(int handle, int64_t bytes) {
    const uint32_t saved = platform::lastError();
    OsFile* f = use(handle);
    if (!f) return failWith(isPseudoHandle(handle) ? kErrInvalidFunction : kErrBadHandle);
    return finish(saved, platform::truncateFile(f->fd, bytes));
}

int OsFileTable::size(int handle, int64_t& bytes) {
    const uint32_t saved = platform::lastError();
    bytes = 0;
    OsFile* f = use(handle);
    if (!f) return failWith(isPseudoHandle(handle) ? kErrInvalidFunction : kErrBadHandle);
    return finish(saved, platform::fileSize(f->fd, bytes));
}

int OsFileTable::close(int handle) {
    const uint32_t saved = platform::lastError();
    if (isPseudoHandle(handle)) return finish(saved, 0);
    OsFile* f = use(handle);
    if (!f) return failWith(kErrBadHandle);
    // The close would drop them too; unlocking first keeps the order the same on every system.
    for (const auto& [start, length] : platform::lockedRanges(f->fd))
        (void)platform::unlockRange(f->fd, start, length);
    const int fd = f->fd;
    *f = OsFile{};
    // Never retried: the descriptor is gone whatever close() said.
    return finish(saved, platform::closeFile(fd));
}

int OsFileTable::lock(int handle, int64_t offset, int64_t length, int seconds,
                      int triesPerSecond, int callerId, bool shared) {
    const uint32_t saved = platform::lastError();
    OsFile* f = use(handle);
    if (!f) return failWith(isPseudoHandle(handle) ? kErrInvalidFunction : kErrBadHandle);
    const platform::LockKind kind = f->writable && !shared ? platform::LockKind::kExclusive
                                                           : platform::LockKind::kShared;
    return finish(saved, withRetry(Op::kLock, [&] {
                      return lockWithWaitKind(f->fd, offset, length, seconds, triesPerSecond,
                                              callerId, kind);
                  }));
}

int OsFileTable::unlock(int handle, int64_t offset, int64_t length) {
    const uint32_t saved = platform::lastError();
    OsFile* f = use(handle);
    if (!f) return failWith(isPseudoHandle(handle) ? kErrInvalidFunction : kErrBadHandle);
    return finish(saved, withRetry(Op::kUnlock, [&] {
                      return platform::unlockRange(f->fd, offset, length);
                  }));
}

int OsFileTable::test(int handle, int64_t offset, int64_t length, bool& held) {
    const uint32_t saved = platform::lastError();
    held = false;
    OsFile* f = use(handle);
    if (!f) return failWith(isPseudoHandle(handle) ? kErrInvalidFunction : kErrBadHandle);
    // An exclusive test sees shared and exclusive locks alike.
    return finish(saved, platform::testRange(f->fd, offset, length,
                                             platform::LockKind::kExclusive, held));
}

OsFileTable& osFiles() {
    // Never destroyed: a destructor at exit could run after the platform table's own, and the
    // operating system closes what is left (and drops its locks) anyway.
    static OsFileTable* const table = new OsFileTable;
    return *table;
}

namespace {
std::string g_failedPath;  // the path of the last call by path that failed

int noteFailure(const std::string& path, int err) {
    if (err) g_failedPath = path;
    return err;
}
}  // namespace

const std::string& osLastFailedPath() {
    return g_failedPath;
}
void osForgetFailedPath() {
    g_failedPath.clear();
}

int osOpen(const std::string& path, int access, int creation, int& handle) {
    return noteFailure(path, osFiles().open(path, access, creation, handle));
}
int osSeek(int handle, int64_t distance, int origin, int64_t& position) {
    return osFiles().seek(handle, distance, origin, position);
}
int osRead(int handle, void* buf, size_t count, size_t& got) {
    return osFiles().read(handle, buf, count, got);
}
int osWrite(int handle, const void* data, size_t count) {
    return osFiles().write(handle, data, count);
}
int osTruncate(int handle) { return osFiles().truncate(handle); }
int osSync(int handle) { return osFiles().sync(handle); }
int osIdentity(int handle, uint64_t& device, uint64_t& inode) {
    device = inode = 0;
    const OsFile* e = osFiles().entry(handle);
    if (!e) return kErrBadHandle;
    platform::FileInfo info;
    if (int err = platform::fileInfo(e->fd, info)) return err;
    device = info.device;
    inode = info.inode;
    return 0;
}
int osClose(int handle) { return osFiles().close(handle); }
int osLock(int handle, int64_t offset, int64_t length, int seconds, int triesPerSecond,
           int callerId) {
    return osFiles().lock(handle, offset, length, seconds, triesPerSecond, callerId);
}
int osUnlock(int handle, int64_t offset, int64_t length) {
    return osFiles().unlock(handle, offset, length);
}

// ---- calls by path ----

int osDelete(const std::string& path) {
    const uint32_t saved = platform::lastError();
    return noteFailure(path, finish(saved, platform::deleteFile(path)));
}

int osRename(const std::string& from, const std::string& to, bool replace) {
    const uint32_t saved = platform::lastError();
    if (!replace) {
        platform::FileInfo info;
        if (platform::pathInfo(to, info) == 0) return noteFailure(to, failWith(kErrFileExists));
    }
    // rename() replaces the target in one step: deleting it first would lose it when the
    // rename then failed.
    return noteFailure(from, finish(saved, platform::renameFile(from, to)));
}

int osMakeDirectory(const std::string& path) {
    const uint32_t saved = platform::lastError();
    return noteFailure(path, finish(saved, platform::makeDirectory(path)));
}

int osRemoveDirectory(const std::string& path) {
    const uint32_t saved = platform::lastError();
    return noteFailure(path, finish(saved, platform::removeDirectory(path)));
}

int osGetAttributes(const std::string& path, int& attributes) {
    const uint32_t saved = platform::lastError();
    attributes = 0;
    platform::FileInfo info;
    if (int err = platform::pathInfo(path, info)) return finish(saved, err);
    if (info.readOnly) attributes |= kOsAttrReadOnly;
    if (info.isDirectory) attributes |= kOsAttrDirectory;
    if (attributes == 0) attributes = kOsAttrNormal;
    return finish(saved, 0);
}

int osSetAttributes(const std::string& path, int attributes) {
    const uint32_t saved = platform::lastError();
    return finish(saved, platform::setReadOnly(path, (attributes & kOsAttrReadOnly) != 0));
}

int osSetFileTime(const std::string& path, int64_t secondsSince1970) {
    const uint32_t saved = platform::lastError();
    return finish(saved, platform::setModifiedTime(path, secondsSince1970));
}

int osCurrentDirectory(std::string& path) {
    const uint32_t saved = platform::lastError();
    return finish(saved, platform::currentDirectory(path));
}

int osFullPath(const std::string& name, std::string& path) {
    const uint32_t saved = platform::lastError();
    path.clear();
    if (name.empty()) return failWith(kErrBadName);
    std::string whole = name;
    if (name[0] != '/') {
        std::string cwd;
        if (int err = platform::currentDirectory(cwd)) return finish(saved, err);
        whole = cwd + "/" + name;
    }
    std::vector<std::string_view> parts;
    std::string_view rest = whole;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string result;
    for (std::string_view p : parts) {
        result += '/';
        result += p;
    }
    if (result.empty()) result = "/";
    if (result.size() >= 512) return failWith(kErrNameTooLong);
    path = std::move(result);
    return finish(saved, 0);
}

int osFreeSpace(const std::string& path, int64_t& bytes) {
    const uint32_t saved = platform::lastError();
    return finish(saved, platform::freeDiskSpace(path, bytes));
}

int osMapView(int handle, size_t size, const uint8_t*& at) {
    const OsFile* f = osFiles().entry(handle);
    if (!f || !f->disk) return failWith(kErrBadHandle);
    const void* p = nullptr;
    const int64_t rc = platform::current().mapView(f->fd, size, p);
    if (rc < 0) return translateOsError(platform::lastError());
    at = static_cast<const uint8_t*>(p);
    return 0;
}

void osUnmapView(const uint8_t* at, size_t size) { (void)platform::current().unmapView(at, size); }

}  // namespace vxs
