// Whole-file operations (see files.h), on the descriptor calls of fileio.h.
#include "vxs/platform/files.h"

#include "vxs/errors/errors.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/platform/oserror.h"

namespace vxs::platform {

namespace {

// Runs clean-up steps after a failure without letting their own failures replace the last
// error of the one being reported.
template <typename Cleanup>
int failAfter(Cleanup cleanup) {
    const uint32_t saved = lastError();
    cleanup();
    setLastError(saved);
    return -1;
}

}  // namespace

int readWholeFile(const std::string& path, std::vector<uint8_t>& out, size_t limit,
                  FileInfo* opened) {
    out.clear();
    int fd = -1;
    if (openFile(path, Access::kRead, Create::kOpenExisting, fd)) return -1;
    FileInfo info;
    if (fileInfo(fd, info)) return failAfter([&] { (void)closeFile(fd); });
    if (opened) *opened = info;
    if (info.isDirectory) {
        (void)closeFile(fd);
        (void)failWith(kErrAccessDenied);
        return -1;
    }
    uint8_t buf[65536];
    for (;;) {
        size_t n = 0;
        if (readSome(fd, buf, sizeof buf, n)) {
            out.clear();
            return failAfter([&] { (void)closeFile(fd); });
        }
        if (n == 0) break;
        if (n > limit - out.size()) {
            out.clear();
            out.shrink_to_fit();
            (void)closeFile(fd);
            return 1;
        }
        out.insert(out.end(), buf, buf + n);
    }
    (void)closeFile(fd);
    return 0;
}

int writeFileSafely(const std::string& path, std::span<const uint8_t> data) {
    const std::string temp = path + ".~" + std::to_string(processId());
    int fd = -1;
    if (openFile(temp, Access::kReadWrite, Create::kCreateAlways, fd)) return -1;
    auto discard = [&] {
        (void)closeFile(fd);
        (void)deleteFile(temp);
    };
    if (writeAll(fd, data.data(), data.size())) return failAfter(discard);
    if (syncFile(fd)) return failAfter(discard);
    // A failed close can mean data that never reached the disk: the target stays as it was.
    if (closeFile(fd)) return failAfter([&] { (void)deleteFile(temp); });
    if (renameFile(temp, path)) return failAfter([&] { (void)deleteFile(temp); });
    // The new name on the disk too: a power loss must not bring the old file back.
    const size_t slash = path.rfind('/');
    (void)syncDirectory(slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1));
    return 0;
}

int copyFile(const std::string& from, const std::string& to) {
    std::vector<uint8_t> data;
    if (readWholeFile(from, data) != 0) return -1;
    return writeFileSafely(to, data);
}

int renamePath(const std::string& from, const std::string& to) {
    return renameFile(from, to) ? -1 : 0;
}

bool isDirectory(const std::string& path) {
    FileInfo info;
    return current().pathInfo(path.c_str(), info) == 0 && info.isDirectory;
}

}  // namespace vxs::platform
