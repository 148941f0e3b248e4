// The errno tables: one errno means different things in different areas, the numbers are the
// system's own, and what no table knows reaches the file layer as 4320 with its code kept.
#include "vxs/platform/oserror.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/platform/os.h"

namespace vxs::platform {
namespace {

TEST(ErrnoTables, OneCodeMeansDifferentThingsByArea) {
    // Another open holding the range, against a permission failure.
    EXPECT_EQ(errorNumberFor(Area::kLock, EACCES), kErrRecordLocked);
    EXPECT_EQ(errorNumberFor(Area::kLock, EAGAIN), kErrRecordLocked);
    EXPECT_EQ(errorNumberFor(Area::kFileOpen, EACCES), kErrAccessDenied);
    EXPECT_EQ(errorNumberFor(Area::kReadWrite, EACCES), kErrAccessDenied);
    EXPECT_EQ(errorNumberFor(Area::kDirectory, EACCES), kErrAccessDenied);
    // A missing file, against a missing directory.
    EXPECT_EQ(errorNumberFor(Area::kFileOpen, ENOENT), kErrFileNotFound);
    EXPECT_EQ(errorNumberFor(Area::kDirectory, ENOENT), kErrPathNotFound);
    // A lock that the descriptor's access does not allow is a bad handle, as is a closed one.
    EXPECT_EQ(errorNumberFor(Area::kLock, EBADF), kErrBadHandle);
    // Resources: out of processes is the system's own out-of-memory number.
    EXPECT_EQ(errorNumberFor(Area::kProcess, EAGAIN), kErrNoMemory);
    EXPECT_EQ(errorNumberFor(Area::kReadWrite, EAGAIN), 0);
}

TEST(ErrnoTables, TheSystemsNumbers) {
    struct Row {
        Area area;
        int error, number;
    } rows[] = {
        {Area::kFileOpen, EEXIST, 4150},  {Area::kFileOpen, ETXTBSY, 4148},
        {Area::kFileOpen, ENOTDIR, 4203}, {Area::kFileOpen, ENAMETOOLONG, 4129},
        {Area::kFileOpen, ENOSPC, 4239},  {Area::kFileOpen, EXDEV, 4217},
        {Area::kFileOpen, ENXIO, 4521},   {Area::kReadWrite, ENOSPC, 4239},
        {Area::kReadWrite, EDQUOT, 4239}, {Area::kReadWrite, EBADF, 4206},
        {Area::kReadWrite, ESPIPE, 731},  {Area::kReadWrite, EINVAL, 4513},
        {Area::kReadWrite, ENOMEM, 4514}, {Area::kLock, EOVERFLOW, 731},
        {Area::kDirectory, EEXIST, 4150}, {Area::kDirectory, EBUSY, 4148},
        {Area::kDirectory, ERANGE, 4129}, {Area::kProcess, ENOENT, 4152},
    };
    for (const Row& r : rows)
        EXPECT_EQ(errorNumberFor(r.area, r.error), r.number)
            << "area " << static_cast<int>(r.area) << " errno " << r.error;
}

TEST(ErrnoTables, FailuresSetTheLastError) {
    EXPECT_EQ(failCall(Area::kReadWrite, -ENOSPC), kErrDiskFull);
    EXPECT_EQ(lastError(), kAppErrorBit | kErrDiskFull);
    EXPECT_EQ(lastOsError(), kErrDiskFull);
    // Unknown to the table: 4320, and the code itself stays for SYSERR and its message.
    EXPECT_EQ(failCall(Area::kLock, -ENOTSOCK), kErrOsOther);
    EXPECT_EQ(lastError(), static_cast<uint32_t>(ENOTSOCK));
    EXPECT_EQ(lastOsError(), kErrOsOther);
    // A result that carries no code is still a failure.
    EXPECT_EQ(failCall(Area::kFileOpen, -1000000), kErrOsOther);
    EXPECT_EQ(lastError(), static_cast<uint32_t>(EIO));
    EXPECT_EQ(failWith(kErrUnlockNotHeld), kErrUnlockNotHeld);
    EXPECT_EQ(lastOsError(), kErrUnlockNotHeld);
    setLastError(0);
    EXPECT_EQ(lastOsError(), 0);
}

}  // namespace
}  // namespace vxs::platform
