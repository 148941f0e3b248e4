// The Linux table of operating-system calls (see platform.h), and the pointer to the table in
// use.  Each entry is one system call or a short fixed sequence of them; retries and error
// numbers belong to the wrappers above.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "vxs/platform/platform.h"

namespace vxs::platform {

namespace {

// The negated errno of a failed call.
int64_t failure() {
    return -static_cast<int64_t>(errno);
}

int64_t result(int64_t rc) {
    return rc < 0 ? failure() : rc;
}

int openFlags(Access access, Create create) {
    int flags = O_CLOEXEC;
    switch (access) {
        case Access::kRead: flags |= O_RDONLY; break;
        case Access::kReadWrite: flags |= O_RDWR; break;
        case Access::kAppend: flags |= O_WRONLY | O_APPEND; break;
    }
    switch (create) {
        case Create::kOpenExisting: break;
        case Create::kCreateNew: flags |= O_CREAT | O_EXCL; break;
        case Create::kCreateAlways:
        case Create::kTemporary: flags |= O_CREAT | O_TRUNC; break;
        case Create::kOpenOrCreate: flags |= O_CREAT; break;
        case Create::kTruncateExisting: flags |= O_TRUNC; break;
    }
    return flags;
}

void fillInfo(const struct stat& st, FileInfo& info) {
    info.size = static_cast<int64_t>(st.st_size);
    info.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
    info.isDirectory = S_ISDIR(st.st_mode);
    info.isRegular = S_ISREG(st.st_mode);
    info.readOnly = (st.st_mode & S_IWUSR) == 0;
    info.permissions = static_cast<uint32_t>(st.st_mode & 0777);
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
}

// Every lock call names its range from the start of the file and, for open-file-description
// locks, with l_pid 0 (the kernel refuses anything else).
struct flock lockRange(short type, int64_t start, int64_t length) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(start);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    return fl;
}

class PosixPlatform final : public Platform {
  public:
    int64_t open(const char* path, Access access, Create create) override {
        const int fd = ::open(path, openFlags(access, create), 0666);
        if (fd < 0) return failure();
        // Work files are read and written at scattered places: read-ahead would only waste.
        if (create == Create::kTemporary) (void)posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
        return fd;
    }
    int64_t read(int fd, void* buf, size_t size) override { return result(::read(fd, buf, size)); }
    int64_t write(int fd, const void* buf, size_t size) override {
        return result(::write(fd, buf, size));
    }
    int64_t readAt(int fd, void* buf, size_t size, int64_t offset) override {
        return result(::pread(fd, buf, size, static_cast<off_t>(offset)));
    }
    int64_t writeAt(int fd, const void* buf, size_t size, int64_t offset) override {
        return result(::pwrite(fd, buf, size, static_cast<off_t>(offset)));
    }
    int64_t seek(int fd, int64_t distance, Origin origin) override {
        const int whence = origin == Origin::kStart     ? SEEK_SET
                           : origin == Origin::kCurrent ? SEEK_CUR
                                                        : SEEK_END;
        return result(::lseek(fd, static_cast<off_t>(distance), whence));
    }
    int64_t truncate(int fd, int64_t size) override {
        return result(::ftruncate(fd, static_cast<off_t>(size)));
    }
    int64_t mapView(int fd, size_t size, const void*& at) override {
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
        if (p == MAP_FAILED) return failure();
        at = p;
        return 0;
    }
    int64_t unmapView(const void* at, size_t size) override {
        return result(::munmap(const_cast<void*>(at), size));
    }
    int64_t sync(int fd) override { return result(::fsync(fd)); }
    int64_t stat(int fd, FileInfo& info) override {
        struct stat st;
        if (::fstat(fd, &st) != 0) return failure();
        fillInfo(st, info);
        return 0;
    }
    int64_t close(int fd) override { return result(::close(fd)); }
    int64_t remove(const char* path) override { return result(::unlink(path)); }
    int64_t rename(const char* from, const char* to) override { return result(::rename(from, to)); }
    int64_t pathInfo(const char* path, FileInfo& info) override {
        struct stat st;
        if (::stat(path, &st) != 0) return failure();
        fillInfo(st, info);
        return 0;
    }
    int64_t setReadOnly(const char* path, bool readOnly) override {
        struct stat st;
        if (::stat(path, &st) != 0) return failure();
        const mode_t mode =
            readOnly ? (st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (st.st_mode | S_IWUSR);
        return result(::chmod(path, mode & 07777));
    }
    int64_t setModified(const char* path, int64_t seconds) override {
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
        return result(::utimensat(AT_FDCWD, path, times, 0));
    }
    int64_t freeSpace(const char* path) override {
        struct statvfs vfs;
        if (::statvfs(path, &vfs) != 0) return failure();
        const unsigned long long bytes =
            static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
        return bytes > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX
                                                                  : static_cast<int64_t>(bytes);
    }

    int64_t lock(int fd, int64_t start, int64_t length, LockKind kind, bool wait) override {
        // A length of 0 would lock to infinity: refuse it even if a caller slipped past its
        // own checks.
        if (start < 0 || length <= 0) return -EINVAL;
        struct flock fl = lockRange(kind == LockKind::kShared ? F_RDLCK : F_WRLCK, start, length);
        return result(::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl));
    }
    int64_t unlock(int fd, int64_t start, int64_t length) override {
        if (start < 0 || length <= 0) return -EINVAL;
        struct flock fl = lockRange(F_UNLCK, start, length);
        return result(::fcntl(fd, F_OFD_SETLK, &fl));
    }
    int64_t testLock(int fd, int64_t start, int64_t length, LockKind kind) override {
        if (start < 0 || length <= 0) return -EINVAL;
        struct flock fl = lockRange(kind == LockKind::kShared ? F_RDLCK : F_WRLCK, start, length);
        if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return failure();
        return fl.l_type == F_UNLCK ? 0 : 1;
    }

    int64_t makeDirectory(const char* path) override { return result(::mkdir(path, 0777)); }
    int64_t removeDirectory(const char* path) override { return result(::rmdir(path)); }
    int64_t listDirectory(const char* path, std::vector<DirEntry>& entries) override {
        entries.clear();
        DIR* dir = ::opendir(path);
        if (!dir) return failure();
        const int dfd = ::dirfd(dir);
        for (;;) {
            errno = 0;
            const dirent* e = ::readdir(dir);
            if (!e) break;
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            DirEntry entry{name, {}};
            struct stat st;
            // A link that leads nowhere is still listed, as the link itself.
            struct stat own;
            const bool link = ::fstatat(dfd, e->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                              S_ISLNK(own.st_mode);
            if (::fstatat(dfd, e->d_name, &st, 0) == 0 ||
                ::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                fillInfo(st, entry.info);
            entry.info.isLink = link;
            entries.push_back(std::move(entry));
        }
        const int64_t rc = errno ? failure() : 0;
        ::closedir(dir);
        return rc;
    }
    int64_t currentDirectory(std::string& path) override {
        for (size_t size = 256; size <= 65536; size *= 2) {
            path.assign(size, '\0');
            if (::getcwd(path.data(), size)) {
                path.resize(path.find('\0'));
                return 0;
            }
            if (errno != ERANGE) break;
        }
        path.clear();
        return failure();
    }
    int64_t changeDirectory(const char* path) override { return result(::chdir(path)); }

    int64_t runShell(const char* commandLine) override {
        fflush(nullptr);  // the child must not repeat output still buffered here
        const int status = ::system(commandLine);
        if (status == -1) return failure();
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    }
    int64_t processId() override { return ::getpid(); }
    int64_t bootId(std::string& id) override {
        id.clear();
        const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
        if (fd < 0) return failure();
        char buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        ::close(fd);
        if (n < 0) return failure();
        id.assign(buf, static_cast<size_t>(n));
        while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
        return 0;
    }
    int64_t processAlive(int pid) override {
        // kill() with 0 or a negative id would ask about whole process groups.
        if (pid <= 0) return 0;
        if (::kill(pid, 0) == 0) return 1;
        if (errno == EPERM) return 1;  // it exists, under another user
        if (errno == ESRCH) return 0;
        return failure();
    }
};

std::atomic<Platform*> g_current{nullptr};

}  // namespace

Platform& posixPlatform() {
    static PosixPlatform table;
    return table;
}

Platform& current() {
    Platform* table = g_current.load(std::memory_order_acquire);
    return table ? *table : posixPlatform();
}

Platform* setCurrent(Platform* table) {
    Platform* previous = g_current.exchange(table, std::memory_order_acq_rel);
    return previous ? previous : &posixPlatform();
}

}  // namespace vxs::platform
