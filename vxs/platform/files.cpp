// Linux implementation of the whole-file operations (see files.h).
#include "vxs/platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "vxs/platform/os.h"

namespace vxs::platform {

namespace {

bool g_failBeforeRename = false;

// Closes the descriptor, keeping errno of an earlier failure.
void closeKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace

int readWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failed();
    struct stat st;
    if (fstat(fd, &st) != 0) {
        closeKeepingErrno(fd);
        return failed();
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return failed();
    }
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            closeKeepingErrno(fd);
            return failed();
        }
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    return 0;
}

int writeFileSafely(const std::string& path, std::span<const uint8_t> data) {
    const std::string temp = path + ".~" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return failed();
    auto fail = [&]() {
        closeKeepingErrno(fd);
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return failed();
    };
    if (writeAll(fd, data.data(), data.size()) != 0) return fail();
    if (::fsync(fd) != 0) return fail();
    if (g_failBeforeRename) {
        errno = EIO;
        return fail();
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return failed();
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return failed();
    }
    return 0;
}

int copyFile(const std::string& from, const std::string& to) {
    std::vector<uint8_t> data;
    if (readWholeFile(from, data) != 0) return -1;
    return writeFileSafely(to, data);
}

int renamePath(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : failed();
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void failSafeWritesBeforeRename(bool on) {
    g_failBeforeRename = on;
}

}  // namespace vxs::platform
