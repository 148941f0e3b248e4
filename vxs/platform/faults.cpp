// The fault-injecting platform table (see faults.h).
#include "vxs/platform/faults.h"

#include <climits>

namespace vxs::platform {

void FaultPlatform::failNth(Call call, int n, int error, int times) {
    const int first = calls(call) + (n < 1 ? 1 : n);
    faults_.push_back({call, first, first + (times < 1 ? 1 : times) - 1, error});
}

void FaultPlatform::failAlways(Call call, int error) {
    faults_.push_back({call, calls(call) + 1, INT_MAX, error});
}

void FaultPlatform::reset() {
    faults_.clear();
    counts_.fill(0);
    failed_.fill(0);
    limit_ = 0;
}

int64_t FaultPlatform::enter(Call call) {
    const size_t k = static_cast<size_t>(call);
    const int number = ++counts_[k];
    for (const Fault& f : faults_)
        if (f.call == call && number >= f.first && number <= f.last) {
            ++failed_[k];
            return -static_cast<int64_t>(f.error);
        }
    return 0;
}

// Each entry: fail when a fault is armed for this call, else pass it on.
#define VX_PASS(kind, expr)                      \
    if (int64_t r = enter(Call::kind)) return r; \
    return expr

int64_t FaultPlatform::open(const char* path, Access access, Create create) {
    VX_PASS(kOpen, inner_.open(path, access, create));
}
int64_t FaultPlatform::read(int fd, void* buf, size_t size) {
    VX_PASS(kRead, inner_.read(fd, buf, limited(size)));
}
int64_t FaultPlatform::write(int fd, const void* buf, size_t size) {
    VX_PASS(kWrite, inner_.write(fd, buf, limited(size)));
}
int64_t FaultPlatform::readAt(int fd, void* buf, size_t size, int64_t offset) {
    VX_PASS(kReadAt, inner_.readAt(fd, buf, limited(size), offset));
}
int64_t FaultPlatform::writeAt(int fd, const void* buf, size_t size, int64_t offset) {
    VX_PASS(kWriteAt, inner_.writeAt(fd, buf, limited(size), offset));
}
int64_t FaultPlatform::seek(int fd, int64_t distance, Origin origin) {
    VX_PASS(kSeek, inner_.seek(fd, distance, origin));
}
int64_t FaultPlatform::truncate(int fd, int64_t size) {
    VX_PASS(kTruncate, inner_.truncate(fd, size));
}
int64_t FaultPlatform::sync(int fd) {
    VX_PASS(kSync, inner_.sync(fd));
}
int64_t FaultPlatform::stat(int fd, FileInfo& info) {
    VX_PASS(kStat, inner_.stat(fd, info));
}
int64_t FaultPlatform::close(int fd) {
    // A failed close still closes, as the real call does: otherwise tests would leak.
    const int64_t r = enter(Call::kClose);
    const int64_t real = inner_.close(fd);
    return r ? r : real;
}
int64_t FaultPlatform::remove(const char* path) {
    VX_PASS(kRemove, inner_.remove(path));
}
int64_t FaultPlatform::rename(const char* from, const char* to) {
    VX_PASS(kRename, inner_.rename(from, to));
}
int64_t FaultPlatform::pathInfo(const char* path, FileInfo& info) {
    VX_PASS(kPathInfo, inner_.pathInfo(path, info));
}
int64_t FaultPlatform::setReadOnly(const char* path, bool readOnly) {
    VX_PASS(kSetReadOnly, inner_.setReadOnly(path, readOnly));
}
int64_t FaultPlatform::setModified(const char* path, int64_t seconds) {
    VX_PASS(kSetModified, inner_.setModified(path, seconds));
}
int64_t FaultPlatform::freeSpace(const char* path) {
    VX_PASS(kFreeSpace, inner_.freeSpace(path));
}
int64_t FaultPlatform::lock(int fd, int64_t start, int64_t length, LockKind kind, bool wait) {
    VX_PASS(kLock, inner_.lock(fd, start, length, kind, wait));
}
int64_t FaultPlatform::unlock(int fd, int64_t start, int64_t length) {
    VX_PASS(kUnlock, inner_.unlock(fd, start, length));
}
int64_t FaultPlatform::testLock(int fd, int64_t start, int64_t length, LockKind kind) {
    VX_PASS(kTestLock, inner_.testLock(fd, start, length, kind));
}
int64_t FaultPlatform::makeDirectory(const char* path) {
    VX_PASS(kMakeDirectory, inner_.makeDirectory(path));
}
int64_t FaultPlatform::removeDirectory(const char* path) {
    VX_PASS(kRemoveDirectory, inner_.removeDirectory(path));
}
int64_t FaultPlatform::listDirectory(const char* path, std::vector<DirEntry>& entries) {
    VX_PASS(kListDirectory, inner_.listDirectory(path, entries));
}
int64_t FaultPlatform::currentDirectory(std::string& path) {
    VX_PASS(kCurrentDirectory, inner_.currentDirectory(path));
}
int64_t FaultPlatform::changeDirectory(const char* path) {
    VX_PASS(kChangeDirectory, inner_.changeDirectory(path));
}
int64_t FaultPlatform::runShell(const char* commandLine) {
    VX_PASS(kRunShell, inner_.runShell(commandLine));
}
int64_t FaultPlatform::processId() {
    VX_PASS(kProcessId, inner_.processId());
}
// Views are not a point where faults are injected: they pass straight through.
int64_t FaultPlatform::mapView(int fd, size_t size, const void*& at) {
    return inner_.mapView(fd, size, at);
}
int64_t FaultPlatform::unmapView(const void* at, size_t size) { return inner_.unmapView(at, size); }

int64_t FaultPlatform::processAlive(int pid) {
    VX_PASS(kProcessAlive, inner_.processAlive(pid));
}

#undef VX_PASS

}  // namespace vxs::platform
