// Error translation of the file layer (see file_os.h).
#include "vxs/datafiles/file_os.h"

#include <cerrno>

#include "vxs/platform/os.h"

namespace vxs {

int translateOsError(uint32_t e) {
    if (e & platform::kAppErrorBit) return static_cast<int>(e & ~platform::kAppErrorBit);
    switch (static_cast<int>(e)) {
        case 0: return 0;
        case ENOENT: return kErrFileNotFound;
        case ENOTDIR: return kErrPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return kErrAccessDenied;
        case EBADF: return kErrBadHandle;
        case EEXIST: return kErrFileExists;
        case ENAMETOOLONG: return kErrNameTooLong;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return kErrDiskFull;
        case ENOMEM: return 4514;
        case EINVAL: return 4513;
        default: return kErrOsOther;
    }
}

int lastOsError() {
    return translateOsError(platform::lastError());
}

}  // namespace vxs
