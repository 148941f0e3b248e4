// The errno tables of the platform areas (see oserror.h).  Each table lists what the area's
// calls can report; anything else is 4320 with the errno kept for display.
#include "vxs/platform/oserror.h"

#include <cerrno>
#include <span>

#include "vxs/errors/errors.h"
#include "vxs/platform/os.h"

namespace vxs::platform {

namespace {

struct ErrnoNumber {
    int error;
    int number;
};

// One row a line, so that each table reads as a list.
// clang-format off
constexpr ErrnoNumber kFileOpen[] = {
    {ENOTDIR, kErrPathNotFound},
    {ELOOP, kErrPathNotFound},
    {ENAMETOOLONG, kErrNameTooLong},
    {EACCES, kErrAccessDenied},
    {EPERM, kErrAccessDenied},
    {EROFS, kErrAccessDenied},
    {ENOSPC, kErrDiskFull},
    {EDQUOT, kErrDiskFull},
    {ENOMEM, kErrOsNoMemory},
    {EINVAL, kErrInvalidData},
    {ENOENT, kErrFileNotFound},
    {EEXIST, kErrFileExists},
    {EISDIR, kErrAccessDenied},
    {ETXTBSY, kErrSharing},  // a program being run cannot be opened for writing
    {EBUSY, kErrSharing},
    {EFBIG, kErrDiskFull},
    {EOVERFLOW, kErrInvalidData},
    {ENXIO, kErrNotReady},
    {ENODEV, kErrNotReady},
    {EXDEV, kErrNotSameDevice},  // rename across file systems
    {EBADF, kErrBadHandle},
};

constexpr ErrnoNumber kReadWrite[] = {
    {EBADF, kErrBadHandle},
    {ENOSPC, kErrDiskFull},
    {EDQUOT, kErrDiskFull},
    {EFBIG, kErrDiskFull},
    {EACCES, kErrAccessDenied},
    {EPERM, kErrAccessDenied},
    {EISDIR, kErrAccessDenied},
    {ETXTBSY, kErrSharing},
    {ESPIPE, kErrBadPosition},
    {EOVERFLOW, kErrBadPosition},
    {EINVAL, kErrInvalidData},
    {ENOMEM, kErrOsNoMemory},
    {ENXIO, kErrNotReady},
};

constexpr ErrnoNumber kLock[] = {
    // Another open holds a conflicting lock.
    {EACCES, kErrRecordLocked},
    {EAGAIN, kErrRecordLocked},
    {EDEADLK, kErrRecordLocked},
    // A descriptor that is not open, or not open for the access the lock kind needs.
    {EBADF, kErrBadHandle},
    {EOVERFLOW, kErrBadPosition},
    {EINVAL, kErrInvalidData},
    {ENOLCK, kErrOsNoMemory},  // the kernel's lock table is full
};

constexpr ErrnoNumber kDirectory[] = {
    {ENOTDIR, kErrPathNotFound},
    {ELOOP, kErrPathNotFound},
    {ENAMETOOLONG, kErrNameTooLong},
    {EACCES, kErrAccessDenied},
    {EPERM, kErrAccessDenied},
    {EROFS, kErrAccessDenied},
    {ENOSPC, kErrDiskFull},
    {EDQUOT, kErrDiskFull},
    {ENOMEM, kErrOsNoMemory},
    {EINVAL, kErrInvalidData},
    {ENOENT, kErrPathNotFound},
    {EEXIST, kErrFileExists},
    {EBUSY, kErrSharing},  // the current directory or a mount point
    {ERANGE, kErrNameTooLong},
};

constexpr ErrnoNumber kProcess[] = {
    {EAGAIN, kErrNoMemory},  // no process can be created now
    {ENOMEM, kErrNoMemory},
    {ENOENT, kErrFileNotFound},
    {EACCES, kErrAccessDenied},
    {EPERM, kErrAccessDenied},
};

// clang-format on

std::span<const ErrnoNumber> tableOf(Area area) {
    switch (area) {
        case Area::kFileOpen: return kFileOpen;
        case Area::kReadWrite: return kReadWrite;
        case Area::kLock: return kLock;
        case Area::kDirectory: return kDirectory;
        case Area::kProcess: return kProcess;
    }
    return {};
}

}  // namespace

int errorNumberFor(Area area, int error) {
    for (const ErrnoNumber& e : tableOf(area))
        if (e.error == error) return e.number;
    return 0;
}

int failCall(Area area, int64_t result) {
    // A call that failed without a code still failed: report it as an unknown failure.
    const int error = result < 0 && result >= -4095 ? static_cast<int>(-result) : EIO;
    if (const int number = errorNumberFor(area, error)) return failWith(number);
    setLastError(static_cast<uint32_t>(error));
    return kErrOsOther;
}

int failWith(int number) {
    setLastError(kAppErrorBit | static_cast<uint32_t>(number));
    return number;
}

}  // namespace vxs::platform
