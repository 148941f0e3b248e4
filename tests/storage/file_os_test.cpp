// The handle table of the file layer: handles and pseudo-handles, the handle's own position,
// the call convention, the transient retry with its counted sleeps, close releasing locks, and
// injected faults that must leave the files as they were.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/test_support.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/os.h"

namespace vxs {
namespace {

// A waiter that only adds up the time it was asked to wait.
int64_t g_waited = 0;
void countingWaiter(int32_t microseconds) { g_waited += microseconds; }

class FileOsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxfileos-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        file_ = dir_ + "/data";
        write(file_, "0123456789");
        g_waited = 0;
        setSliceWaiter(countingWaiter);
    }
    void TearDown() override {
        setSliceWaiter(nullptr);
        std::filesystem::remove_all(dir_);
    }
    static void write(const std::string& path, const std::string& text) {
        test::writeFile(path, text);
    }
    static std::string contents(const std::string& path) { return test::fileContents(path); }
    std::string dir_, file_;
    OsFileTable table_;
};

TEST_F(FileOsTest, HandlesArgumentsAndDevices) {
    int h = -1;
    EXPECT_EQ(table_.open(file_, 3, kOsOpenExisting, h), kErrBadAccess);
    EXPECT_EQ(table_.open(file_, kOsRead, 6, h), kErrBadCreation);
    EXPECT_EQ(table_.open(dir_ + "/new", kOsRead, kOsNew, h), kErrInvalidData);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/new"));
    EXPECT_EQ(table_.open(dir_ + "/missing", kOsRead, kOsOpenExisting, h), kErrFileNotFound);
    EXPECT_EQ(platform::lastError(), platform::kAppErrorBit | kErrFileNotFound);
    EXPECT_EQ(h, -1);

    char buf[4];
    size_t got = 0;
    for (int bad : {0, 4, 6, 499, 500, -1}) {
        EXPECT_EQ(table_.read(bad, buf, 4, got), kErrBadHandle) << bad;
        EXPECT_EQ(table_.close(bad), kErrBadHandle) << bad;
    }
    EXPECT_EQ(table_.retries().read, 0) << "a bad handle is not retried";

    ASSERT_EQ(table_.open("con:", kOsReadWrite, kOsOpenExisting, h), 0);
    EXPECT_EQ(h, kConsoleHandle);
    ASSERT_EQ(table_.open(":CON:", kOsReadWrite, kOsOpenExisting, h), 0);
    EXPECT_EQ(h, kConsoleHandle);
    ASSERT_EQ(table_.open("PRN:/LPT1", kOsReadWrite, kOsOpenExisting, h), 0);
    EXPECT_EQ(h, kPrinterHandle);
    ASSERT_EQ(table_.open("DEBUG:12", kOsReadWrite, kOsOpenExisting, h), 0);
    EXPECT_EQ(h, 1012);
    EXPECT_EQ(table_.write(h, "x", 1), kErrInvalidFunction);
    EXPECT_EQ(table_.close(h), 0);
    EXPECT_EQ(table_.open("DEBUG:12345", kOsReadWrite, kOsOpenExisting, h), kErrBadName);
    EXPECT_EQ(table_.open("DEBUG:x", kOsReadWrite, kOsOpenExisting, h), kErrBadName);
    EXPECT_EQ(table_.openCount(), 0);
}

TEST_F(FileOsTest, EachHandleHasItsOwnPosition) {
    int a = -1, b = -1;
    ASSERT_EQ(table_.open(file_, kOsReadWrite, kOsOpenExisting, a), 0);
    ASSERT_EQ(table_.open(file_, kOsRead, kOsOpenExisting, b), 0);
    EXPECT_GE(a, kFirstOsHandle);
    EXPECT_NE(a, b);
    EXPECT_TRUE(table_.entry(a)->disk);

    // A success leaves the last error as it was.
    platform::setLastError(platform::kAppErrorBit | 1234);
    char buf[16] = {};
    size_t got = 0;
    ASSERT_EQ(table_.read(a, buf, 4, got), 0);
    EXPECT_EQ(std::string(buf, got), "0123");
    EXPECT_EQ(platform::lastError(), platform::kAppErrorBit | 1234);

    int64_t pos = 0;
    ASSERT_EQ(table_.seek(b, -3, kOsFromEnd, pos), 0);
    EXPECT_EQ(pos, 7);
    ASSERT_EQ(table_.read(b, buf, 16, got), 0);
    EXPECT_EQ(std::string(buf, got), "789") << "fewer bytes only at the end";
    ASSERT_EQ(table_.read(b, buf, 16, got), 0);
    EXPECT_EQ(got, 0u);

    ASSERT_EQ(table_.write(a, "ab", 2), 0);  // at 4, where a's read stopped
    ASSERT_EQ(table_.seek(a, -1, kOsFromCurrent, pos), 0);
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(contents(file_), "0123ab6789");

    EXPECT_EQ(table_.seek(a, -6, kOsFromCurrent, pos), kErrBadPosition);
    EXPECT_EQ(table_.seek(a, 0, 7, pos), kErrBadPosition);
    EXPECT_EQ(table_.seek(a, INT64_MAX, kOsFromEnd, pos), kErrBadPosition);
    ASSERT_EQ(table_.seek(a, 0, kOsFromCurrent, pos), 0);
    EXPECT_EQ(pos, 5) << "a refused seek moves nothing";

    ASSERT_EQ(table_.truncate(a), 0);
    EXPECT_EQ(contents(file_), "");
    EXPECT_EQ(table_.close(a), 0);
    EXPECT_EQ(table_.close(b), 0);
    EXPECT_EQ(table_.entry(a), nullptr);
}

TEST_F(FileOsTest, CloseReleasesTheHandlesLocks) {
    int a = -1, b = -1;
    ASSERT_EQ(table_.open(file_, kOsReadWrite, kOsOpenExisting, a), 0);
    ASSERT_EQ(table_.open(file_, kOsReadWrite, kOsOpenExisting, b), 0);
    ASSERT_EQ(table_.lock(a, 0x7E000000 - 5, 1, 0, 1, 9), 0);
    ASSERT_EQ(table_.lock(a, int64_t{1} << 62, 100, 0, 1, 9), 0);
    EXPECT_EQ(table_.lock(a, 0x7E000000 - 5, 1, 0, 1, 9), kErrLockOverlap);
    EXPECT_EQ(table_.lock(b, 0x7E000000 - 5, 1, 2, 1, 42), kErrRecordLocked);
    EXPECT_EQ(g_waited, 2'000'000) << "two one-second waits between three tries";
    EXPECT_EQ(lastLockFailure().callerId, 42);
    EXPECT_EQ(lastLockFailure().offset, 0x7E000000 - 5);
    EXPECT_EQ(table_.unlock(b, 0x7E000000 - 5, 1), kErrUnlockNotHeld);
    int64_t size = 0;
    ASSERT_EQ(table_.size(a, size), 0);
    EXPECT_EQ(size, 10) << "locks far out never grow the file";

    ASSERT_EQ(table_.close(a), 0);
    EXPECT_EQ(table_.lock(b, 0x7E000000 - 5, 1, 0, 1, 9), 0);
    EXPECT_EQ(table_.lock(b, int64_t{1} << 62, 100, 0, 1, 9), 0);
}

TEST_F(FileOsTest, TransientFailuresAreRetriedWithCountedSleeps) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    int h = -1;
    ASSERT_EQ(table_.open(file_, kOsReadWrite, kOsOpenExisting, h), 0);

    faults.failNth(platform::Call::kReadAt, 1, EBADF);
    char buf[10];
    size_t got = 0;
    ASSERT_EQ(table_.read(h, buf, 10, got), 0);
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(table_.retries().read, 1);
    EXPECT_EQ(g_waited, 1000) << "1 ms before the second attempt";

    // Six attempts at most, with 1 + 10 + 100 + 500 + 1000 ms between them.
    g_waited = 0;
    faults.failNth(platform::Call::kWriteAt, 1, EACCES, 6);
    EXPECT_EQ(table_.write(h, "x", 1), kErrAccessDenied);
    EXPECT_EQ(faults.failures(platform::Call::kWriteAt), 6);
    EXPECT_EQ(table_.retries().write, 5);
    EXPECT_EQ(g_waited, 1'611'000);
    EXPECT_EQ(platform::lastError(), platform::kAppErrorBit | kErrAccessDenied);

    // A lock is retried on a bad handle only.
    faults.failNth(platform::Call::kLock, 1, EBADF);
    EXPECT_EQ(table_.lock(h, 0x7E000000 - 4, 1, 0, 1, 1), 0);
    EXPECT_EQ(table_.retries().lock, 1);

    // Close never is: the descriptor is gone however close() ended.
    faults.failNth(platform::Call::kClose, 1, EBADF);
    EXPECT_EQ(table_.close(h), kErrBadHandle);
    EXPECT_EQ(faults.calls(platform::Call::kClose), 1);
    EXPECT_EQ(table_.entry(h), nullptr);
    EXPECT_EQ(contents(file_), "0123456789");
}

TEST_F(FileOsTest, FailuresLeaveTheFilesIntact) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    int h = -1;
    ASSERT_EQ(table_.open(file_, kOsReadWrite, kOsOpenExisting, h), 0);
    int64_t pos = 0;
    ASSERT_EQ(table_.seek(h, 2, kOsFromStart, pos), 0);

    faults.failNth(platform::Call::kWriteAt, 1, ENOSPC);
    EXPECT_EQ(table_.write(h, "zz", 2), kErrDiskFull);
    ASSERT_EQ(table_.seek(h, 0, kOsFromCurrent, pos), 0);
    EXPECT_EQ(pos, 2) << "a failed write does not move the position";
    EXPECT_EQ(contents(file_), "0123456789");

    // Short transfers are completed; a short read reports what it got.
    faults.limitTransfers(3);
    char buf[20];
    size_t got = 0;
    ASSERT_EQ(table_.read(h, buf, 20, got), 0);
    EXPECT_EQ(std::string(buf, got), "23456789");
    faults.limitTransfers(0);

    // A failed rename keeps both files; without replace an existing target is refused.
    const std::string other = dir_ + "/other";
    write(other, "keep");
    faults.failNth(platform::Call::kRename, 1, EIO);
    EXPECT_EQ(osRename(file_, other, true), kErrOsOther);
    EXPECT_EQ(platform::lastError(), static_cast<uint32_t>(EIO)) << "the bare code is kept";
    EXPECT_EQ(contents(file_), "0123456789");
    EXPECT_EQ(contents(other), "keep");
    EXPECT_EQ(osRename(file_, other, false), kErrFileExists);
    EXPECT_EQ(contents(other), "keep");
    ASSERT_EQ(osRename(other, dir_ + "/moved", false), 0);
    EXPECT_EQ(contents(dir_ + "/moved"), "keep");

    // A failed lock reports its number and takes nothing.
    faults.failNth(platform::Call::kLock, 1, ENOLCK);
    EXPECT_EQ(table_.lock(h, 0x7E000000 - 4, 1, 0, 1, 1), kErrOsNoMemory);
    EXPECT_EQ(platform::lockedRangeCount(table_.entry(h)->fd), 0u);
    EXPECT_EQ(table_.close(h), 0);
}

TEST_F(FileOsTest, PathCalls) {
    std::string full;
    ASSERT_EQ(osFullPath("/a/./b/../c//d", full), 0);
    EXPECT_EQ(full, "/a/c/d");
    ASSERT_EQ(osFullPath("/..", full), 0);
    EXPECT_EQ(full, "/");
    std::string cwd;
    ASSERT_EQ(osCurrentDirectory(cwd), 0);
    ASSERT_EQ(osFullPath("x/../y", full), 0);
    EXPECT_EQ(full, (cwd == "/" ? "" : cwd) + "/y");
    EXPECT_EQ(osFullPath("/" + std::string(600, 'a'), full), kErrNameTooLong);
    EXPECT_EQ(osFullPath("", full), kErrBadName);

    int attributes = 0;
    ASSERT_EQ(osGetAttributes(file_, attributes), 0);
    EXPECT_EQ(attributes, kOsAttrNormal);
    ASSERT_EQ(osSetAttributes(file_, kOsAttrReadOnly), 0);
    ASSERT_EQ(osGetAttributes(file_, attributes), 0);
    EXPECT_EQ(attributes, kOsAttrReadOnly);
    ASSERT_EQ(osSetAttributes(file_, 0), 0);
    ASSERT_EQ(osSetFileTime(file_, 1000000000), 0);
    ASSERT_EQ(osMakeDirectory(dir_ + "/sub"), 0);
    EXPECT_EQ(osMakeDirectory(dir_ + "/sub"), kErrFileExists);
    ASSERT_EQ(osGetAttributes(dir_ + "/sub", attributes), 0);
    EXPECT_EQ(attributes, kOsAttrDirectory);
    ASSERT_EQ(osRemoveDirectory(dir_ + "/sub"), 0);
    int64_t bytes = 0;
    ASSERT_EQ(osFreeSpace(dir_, bytes), 0);
    EXPECT_GT(bytes, 0);
    ASSERT_EQ(osDelete(file_), 0);
    EXPECT_EQ(osDelete(file_), kErrFileNotFound);
}

}  // namespace
}  // namespace vxs
