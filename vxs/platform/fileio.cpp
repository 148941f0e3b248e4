// Files, locks and directories on the current platform table (see fileio.h): the retries, the
// checks before each call and the per-descriptor list of locked ranges.
#include "vxs/platform/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "vxs/errors/errors.h"
#include "vxs/platform/oserror.h"

namespace vxs::platform {

namespace {

// A call interrupted by a signal did nothing: make it again.  (Not for close, which frees the
// descriptor even when interrupted.)
template <typename Call>
int64_t retrying(Call call) {
    int64_t r;
    do r = call();
    while (r == -EINTR);
    return r;
}

// ---- the lock list ----
// Open-file-description locks merge when one open locks overlapping ranges, and unlocking a
// range never locked succeeds; so overlaps and unlocks of ranges not held are refused from this
// list, before the kernel sees them.

struct Range {
    int64_t start, length;
    // Both ends inclusive: length >= 1 and the range checks keep start + length - 1 in range.
    int64_t last() const { return start + (length - 1); }
    bool overlaps(const Range& o) const { return start <= o.last() && o.start <= last(); }
};

std::mutex g_locksMutex;
std::unordered_map<int, std::vector<Range>> g_locks;

// 0, or the error number of a range the operating system must not be given.
int checkRange(int64_t start, int64_t length) {
    if (start < 0) return kErrBadPosition;
    if (length <= 0) return kErrInvalidData;  // 0 would mean "to the end of all offsets"
    if (length - 1 > INT64_MAX - start) return kErrBadPosition;
    return 0;
}

}  // namespace

// ---- files ----

int openFile(const std::string& path, Access access, Create create, int& fd) {
    fd = -1;
    if (access == Access::kRead && create != Create::kOpenExisting)
        return failWith(kErrInvalidData);
    const int64_t r = retrying([&] { return current().open(path.c_str(), access, create); });
    if (r < 0) return failCall(Area::kFileOpen, r);
    fd = static_cast<int>(r);
    return 0;
}

int readSome(int fd, void* buf, size_t size, size_t& got) {
    got = 0;
    const int64_t r = retrying([&] { return current().read(fd, buf, size); });
    if (r < 0) return failCall(Area::kReadWrite, r);
    got = static_cast<size_t>(r);
    return 0;
}

int readFull(int fd, void* buf, size_t size, size_t& got) {
    got = 0;
    auto* p = static_cast<uint8_t*>(buf);
    while (got < size) {
        size_t n = 0;
        if (int err = readSome(fd, p + got, size - got, n)) return err;
        if (n == 0) break;
        got += n;
    }
    return 0;
}

int readFullAt(int fd, int64_t offset, void* buf, size_t size, size_t& got) {
    got = 0;
    if (offset < 0) return failWith(kErrBadPosition);
    auto* p = static_cast<uint8_t*>(buf);
    while (got < size) {
        const int64_t at = offset + static_cast<int64_t>(got);
        const int64_t r = retrying([&] { return current().readAt(fd, p + got, size - got, at); });
        if (r < 0) return failCall(Area::kReadWrite, r);
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return 0;
}

int writeAll(int fd, const void* data, size_t size) {
    auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const int64_t r = retrying([&] { return current().write(fd, p, size); });
        if (r < 0) return failCall(Area::kReadWrite, r);
        // A write that takes nothing would loop for ever; only a full device does that.
        if (r == 0) return failWith(kErrDiskFull);
        p += r;
        size -= static_cast<size_t>(r);
    }
    return 0;
}

int writeAllAt(int fd, int64_t offset, const void* data, size_t size) {
    if (offset < 0) return failWith(kErrBadPosition);
    auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const int64_t r = retrying([&] { return current().writeAt(fd, p, size, offset); });
        if (r < 0) return failCall(Area::kReadWrite, r);
        if (r == 0) return failWith(kErrDiskFull);
        p += r;
        offset += r;
        size -= static_cast<size_t>(r);
    }
    return 0;
}

int seekFile(int fd, int64_t distance, Origin origin, int64_t& position) {
    position = -1;
    if (origin == Origin::kStart && distance < 0) return failWith(kErrBadPosition);
    const int64_t r = retrying([&] { return current().seek(fd, distance, origin); });
    // lseek's EINVAL is a target before the start of the file.
    if (r == -EINVAL) return failWith(kErrBadPosition);
    if (r < 0) return failCall(Area::kReadWrite, r);
    position = r;
    return 0;
}

int truncateFile(int fd, int64_t size) {
    if (size < 0) return failWith(kErrBadPosition);
    const int64_t r = retrying([&] { return current().truncate(fd, size); });
    return r < 0 ? failCall(Area::kReadWrite, r) : 0;
}

int syncFile(int fd) {
    const int64_t r = retrying([&] { return current().sync(fd); });
    return r < 0 ? failCall(Area::kReadWrite, r) : 0;
}

int syncDirectory(const std::string& path) {
    int fd = -1;
    if (int err = openFile(path.empty() ? std::string(".") : path, Access::kRead,
                           Create::kOpenExisting, fd))
        return err;
    const int err = syncFile(fd);
    closeFile(fd);
    return err;
}

int fileInfo(int fd, FileInfo& info) {
    info = {};
    const int64_t r = retrying([&] { return current().stat(fd, info); });
    return r < 0 ? failCall(Area::kReadWrite, r) : 0;
}

int fileSize(int fd, int64_t& size) {
    size = 0;
    FileInfo info;
    if (int err = fileInfo(fd, info)) return err;
    size = info.size;
    return 0;
}

int closeFile(int fd) {
    {
        std::lock_guard<std::mutex> guard(g_locksMutex);
        g_locks.erase(fd);
    }
    const int64_t r = current().close(fd);
    // Interrupted, the descriptor is closed all the same.
    return r < 0 && r != -EINTR ? failCall(Area::kReadWrite, r) : 0;
}

int deleteFile(const std::string& path) {
    const int64_t r = retrying([&] { return current().remove(path.c_str()); });
    return r < 0 ? failCall(Area::kFileOpen, r) : 0;
}

int renameFile(const std::string& from, const std::string& to) {
    const int64_t r = retrying([&] { return current().rename(from.c_str(), to.c_str()); });
    return r < 0 ? failCall(Area::kFileOpen, r) : 0;
}

int pathInfo(const std::string& path, FileInfo& info) {
    info = {};
    const int64_t r = retrying([&] { return current().pathInfo(path.c_str(), info); });
    return r < 0 ? failCall(Area::kFileOpen, r) : 0;
}

int setReadOnly(const std::string& path, bool readOnly) {
    const int64_t r = retrying([&] { return current().setReadOnly(path.c_str(), readOnly); });
    return r < 0 ? failCall(Area::kFileOpen, r) : 0;
}

int setModifiedTime(const std::string& path, int64_t secondsSince1970) {
    const int64_t r =
        retrying([&] { return current().setModified(path.c_str(), secondsSince1970); });
    return r < 0 ? failCall(Area::kFileOpen, r) : 0;
}

int freeDiskSpace(const std::string& path, int64_t& bytes) {
    bytes = 0;
    const int64_t r = retrying([&] { return current().freeSpace(path.c_str()); });
    if (r < 0) return failCall(Area::kFileOpen, r);
    bytes = r;
    return 0;
}

// ---- byte-range locks ----

int lockRange(int fd, int64_t start, int64_t length, LockKind kind, bool wait) {
    if (int err = checkRange(start, length)) return failWith(err);
    const Range range{start, length};
    {
        std::lock_guard<std::mutex> guard(g_locksMutex);
        auto it = g_locks.find(fd);
        if (it != g_locks.end() &&
            std::any_of(it->second.begin(), it->second.end(),
                        [&](const Range& held) { return held.overlaps(range); }))
            return failWith(kErrLockOverlap);
    }
    const int64_t r = retrying([&] { return current().lock(fd, start, length, kind, wait); });
    if (r < 0) return failCall(Area::kLock, r);
    std::lock_guard<std::mutex> guard(g_locksMutex);
    g_locks[fd].push_back(range);
    return 0;
}

int unlockRange(int fd, int64_t start, int64_t length) {
    if (int err = checkRange(start, length)) return failWith(err);
    {
        std::lock_guard<std::mutex> guard(g_locksMutex);
        auto it = g_locks.find(fd);
        const bool held = it != g_locks.end() &&
                          std::any_of(it->second.begin(), it->second.end(), [&](const Range& r) {
                              return r.start == start && r.length == length;
                          });
        if (!held) return failWith(kErrUnlockNotHeld);
    }
    const int64_t r = retrying([&] { return current().unlock(fd, start, length); });
    if (r < 0) return failCall(Area::kLock, r);
    std::lock_guard<std::mutex> guard(g_locksMutex);
    auto it = g_locks.find(fd);
    if (it != g_locks.end()) {
        std::erase_if(it->second,
                      [&](const Range& x) { return x.start == start && x.length == length; });
        if (it->second.empty()) g_locks.erase(it);
    }
    return 0;
}

int testRange(int fd, int64_t start, int64_t length, LockKind kind, bool& held) {
    held = false;
    if (int err = checkRange(start, length)) return failWith(err);
    const int64_t r = retrying([&] { return current().testLock(fd, start, length, kind); });
    if (r < 0) return failCall(Area::kLock, r);
    held = r != 0;
    return 0;
}

size_t lockedRangeCount(int fd) {
    std::lock_guard<std::mutex> guard(g_locksMutex);
    auto it = g_locks.find(fd);
    return it == g_locks.end() ? 0 : it->second.size();
}

std::vector<std::pair<int64_t, int64_t>> lockedRanges(int fd) {
    std::vector<std::pair<int64_t, int64_t>> ranges;
    std::lock_guard<std::mutex> guard(g_locksMutex);
    auto it = g_locks.find(fd);
    if (it != g_locks.end())
        for (const Range& r : it->second) ranges.emplace_back(r.start, r.length);
    return ranges;
}

// ---- directories ----

int makeDirectory(const std::string& path) {
    const int64_t r = retrying([&] { return current().makeDirectory(path.c_str()); });
    return r < 0 ? failCall(Area::kDirectory, r) : 0;
}

int removeDirectory(const std::string& path) {
    const int64_t r = retrying([&] { return current().removeDirectory(path.c_str()); });
    return r < 0 ? failCall(Area::kDirectory, r) : 0;
}

bool matchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern.empty()) return true;
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    // Greedy match with one backtrack point: the last "*" seen and where its run ended.
    size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

int listDirectory(const std::string& path, std::string_view pattern,
                  std::vector<DirEntry>& entries) {
    entries.clear();
    std::vector<DirEntry> all;
    const int64_t r = retrying([&] { return current().listDirectory(path.c_str(), all); });
    if (r < 0) return failCall(Area::kDirectory, r);
    for (DirEntry& e : all)
        if (matchesPattern(e.name, pattern)) entries.push_back(std::move(e));
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return 0;
}

int currentDirectory(std::string& path) {
    const int64_t r = retrying([&] { return current().currentDirectory(path); });
    return r < 0 ? failCall(Area::kDirectory, r) : 0;
}

int changeDirectory(const std::string& path) {
    const int64_t r = retrying([&] { return current().changeDirectory(path.c_str()); });
    return r < 0 ? failCall(Area::kDirectory, r) : 0;
}

}  // namespace vxs::platform
