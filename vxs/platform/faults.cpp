// The fault-injecting platform table (see faults.h).
#include "vxs/platform/faults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

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
    writes_ = exitAt_ = 0;
    loss_ = PowerLoss::kOff;
    tracked_.clear();
    pathOf_.clear();
    renames_.clear();
}

// ---- crashes ----
void FaultPlatform::exitAtWrite(int n, int status, int64_t page) {
    exitAt_ = writes_ + (n < 1 ? 1 : n);
    exitStatus_ = status;
    tearPage_ = page;
}

void FaultPlatform::simulatePowerLoss(PowerLoss mode, uint32_t seed) {
    loss_ = mode;
    seed_ = seed;
}

void FaultPlatform::countWrite(int fd, const void* buf, size_t size, int64_t offset) {
    if (++writes_ != exitAt_) return;
    if (tearPage_ > 0 && buf && size > 1) {
        const int64_t at = offset >= 0 ? offset : inner_.seek(fd, 0, Origin::kCurrent);
        const int64_t boundary = (at / tearPage_ + 1) * tearPage_;
        if (at >= 0 && boundary < at + static_cast<int64_t>(size))
            (void)inner_.writeAt(fd, buf, static_cast<size_t>(boundary - at), at);
    }
    crash();
    _exit(exitStatus_);
}

namespace {
std::string directoryPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}
std::string absolute(const char* path) {
    if (path[0] == '/') return path;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    return std::string(cwd) + "/" + path;
}
// The whole of a file by path, through the operating system directly.
std::vector<uint8_t> contents(const std::string& path) {
    std::vector<uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    uint8_t buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    ::close(fd);
    return bytes;
}
}  // namespace

void FaultPlatform::track(int64_t fd, const char* path, bool made) {
    if (loss_ == PowerLoss::kOff || fd < 0) return;
    const std::string name = absolute(path);
    pathOf_[static_cast<int>(fd)] = name;
    if (tracked_.count(name)) return;
    Tracked t;
    t.durable = contents(name);
    t.made = made;
    tracked_.emplace(name, std::move(t));
}

FaultPlatform::Tracked* FaultPlatform::trackedOf(int fd) {
    auto p = pathOf_.find(fd);
    if (p == pathOf_.end()) return nullptr;
    auto t = tracked_.find(p->second);
    return t == tracked_.end() ? nullptr : &t->second;
}

// The disk as a power loss leaves it: every tracked file becomes its flushed contents with the
// writes since kept as the mode says; files made since their directory was flushed go, and
// renames since are undone.
void FaultPlatform::crash() {
    if (loss_ == PowerLoss::kOff) return;
    std::mt19937 random(seed_);
    auto keep = [&] {
        switch (loss_) {
            case PowerLoss::kKeepNone: return false;
            case PowerLoss::kKeepAll: return true;
            default: return (random() & 1) != 0;
        }
    };
    for (auto& [path, t] : tracked_) {
        std::vector<uint8_t> image = t.durable;
        for (const Pending& w : t.pending) {
            if (w.truncate) {
                if (keep()) image.resize(static_cast<size_t>(w.offset));
                continue;
            }
            // Whole writes, or (torn) each piece within one 512-byte sector on its own.
            size_t from = 0;
            while (from < w.data.size()) {
                size_t to = w.data.size();
                if (loss_ == PowerLoss::kTorn) {
                    const int64_t at = w.offset + static_cast<int64_t>(from);
                    to = std::min(w.data.size(), from + static_cast<size_t>(512 - at % 512));
                }
                if (keep()) {
                    const size_t at = static_cast<size_t>(w.offset) + from;
                    if (image.size() < at + (to - from)) image.resize(at + (to - from), 0);
                    memcpy(image.data() + at, w.data.data() + from, to - from);
                }
                from = to;
            }
        }
        if (t.made) {
            ::unlink(path.c_str());
            continue;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) continue;
        if (!image.empty() && ::write(fd, image.data(), image.size()) < 0) {
        }
        ::close(fd);
    }
    for (auto it = renames_.rbegin(); it != renames_.rend(); ++it)
        (void)::rename(it->second.c_str(), it->first.c_str());
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
    if (int64_t r = enter(Call::kOpen)) return r;
    struct stat st;
    const bool existed = ::stat(path, &st) == 0;
    const int64_t fd = inner_.open(path, access, create);
    if (fd >= 0 && !(existed && S_ISDIR(st.st_mode))) track(fd, path, !existed);
    return fd;
}
int64_t FaultPlatform::read(int fd, void* buf, size_t size) {
    VX_PASS(kRead, inner_.read(fd, buf, limited(size)));
}
int64_t FaultPlatform::write(int fd, const void* buf, size_t size) {
    if (int64_t r = enter(Call::kWrite)) return r;
    countWrite(fd, buf, size, -1);
    Tracked* t = trackedOf(fd);
    const int64_t at = t ? inner_.seek(fd, 0, Origin::kCurrent) : 0;
    const int64_t n = inner_.write(fd, buf, limited(size));
    if (t && n > 0) {
        const auto* p = static_cast<const uint8_t*>(buf);
        t->pending.push_back({at, std::vector<uint8_t>(p, p + n), false});
    }
    return n;
}
int64_t FaultPlatform::readAt(int fd, void* buf, size_t size, int64_t offset) {
    VX_PASS(kReadAt, inner_.readAt(fd, buf, limited(size), offset));
}
int64_t FaultPlatform::writeAt(int fd, const void* buf, size_t size, int64_t offset) {
    if (int64_t r = enter(Call::kWriteAt)) return r;
    countWrite(fd, buf, size, offset);
    const int64_t n = inner_.writeAt(fd, buf, limited(size), offset);
    if (Tracked* t = trackedOf(fd); t && n > 0) {
        const auto* p = static_cast<const uint8_t*>(buf);
        t->pending.push_back({offset, std::vector<uint8_t>(p, p + n), false});
    }
    return n;
}
int64_t FaultPlatform::seek(int fd, int64_t distance, Origin origin) {
    VX_PASS(kSeek, inner_.seek(fd, distance, origin));
}
int64_t FaultPlatform::truncate(int fd, int64_t size) {
    if (int64_t r = enter(Call::kTruncate)) return r;
    countWrite(fd, nullptr, 0, -1);
    const int64_t n = inner_.truncate(fd, size);
    if (Tracked* t = trackedOf(fd); t && n == 0) t->pending.push_back({size, {}, true});
    return n;
}
int64_t FaultPlatform::sync(int fd) {
    if (int64_t r = enter(Call::kSync)) return r;
    const int64_t n = inner_.sync(fd);
    if (n != 0 || loss_ == PowerLoss::kOff) return n;
    if (Tracked* t = trackedOf(fd)) {
        t->durable = contents(pathOf_[fd]);
        t->pending.clear();
        return n;
    }
    // A directory: what was made and renamed in it is on the disk now.
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return n;
    char link[64], dir[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t len = ::readlink(link, dir, sizeof dir - 1);
    if (len <= 0) return n;
    const std::string name(dir, static_cast<size_t>(len));
    for (auto& [path, t] : tracked_)
        if (directoryPart(path) == name) t.made = false;
    renames_.erase(std::remove_if(renames_.begin(), renames_.end(),
                                  [&](const auto& r) { return directoryPart(r.second) == name; }),
                   renames_.end());
    return n;
}
int64_t FaultPlatform::stat(int fd, FileInfo& info) {
    VX_PASS(kStat, inner_.stat(fd, info));
}
int64_t FaultPlatform::close(int fd) {
    // A failed close still closes, as the real call does: otherwise tests would leak.
    pathOf_.erase(fd);
    const int64_t r = enter(Call::kClose);
    const int64_t real = inner_.close(fd);
    return r ? r : real;
}
int64_t FaultPlatform::remove(const char* path) {
    if (int64_t r = enter(Call::kRemove)) return r;
    const int64_t n = inner_.remove(path);
    if (n == 0) tracked_.erase(absolute(path));
    return n;
}
int64_t FaultPlatform::rename(const char* from, const char* to) {
    if (int64_t r = enter(Call::kRename)) return r;
    const int64_t n = inner_.rename(from, to);
    if (n == 0 && loss_ != PowerLoss::kOff) {
        const std::string a = absolute(from), b = absolute(to);
        renames_.emplace_back(a, b);
        // What is known of the file goes with its name.
        auto t = tracked_.find(a);
        if (t != tracked_.end()) {
            Tracked moved = std::move(t->second);
            tracked_.erase(t);
            tracked_[b] = std::move(moved);
            for (auto& [fd, p] : pathOf_)
                if (p == a) p = b;
        }
    }
    return n;
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
int64_t FaultPlatform::bootId(std::string& id) {
    if (bootId_.empty()) return inner_.bootId(id);
    id = bootId_;
    return 0;
}

#undef VX_PASS

}  // namespace vxs::platform
