// The fault-injecting table and what the wrappers make of its faults: the Nth call failing,
// short transfers completed, interrupted calls made again, a full disk reported as such, and
// whole-file writes that leave the old file alone whatever fails.
#include "vxs/platform/faults.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/files.h"
#include "vxs/platform/os.h"

namespace vxs::platform {
namespace {

class FaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxfault-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            all.push_back(e.path().filename().string());
        return all;
    }
    int openNew(const std::string& name) {
        int fd = -1;
        EXPECT_EQ(openFile(path(name), Access::kReadWrite, Create::kCreateAlways, fd), 0);
        return fd;
    }
    std::string dir_;
    FaultPlatform faults_{posixPlatform()};
    ScopedPlatform scoped_{faults_};
};

TEST_F(FaultTest, TheNthCallFailsAndTheOthersPass) {
    const int fd = openNew("f");
    faults_.failNth(Call::kWrite, 2, EIO);
    EXPECT_EQ(writeAll(fd, "a", 1), 0);
    EXPECT_EQ(writeAll(fd, "b", 1), kErrOsOther);
    EXPECT_EQ(lastError(), static_cast<uint32_t>(EIO)) << "the code is kept for display";
    EXPECT_EQ(lastOsError(), kErrOsOther);
    EXPECT_EQ(writeAll(fd, "c", 1), 0);
    EXPECT_EQ(faults_.calls(Call::kWrite), 3);
    EXPECT_EQ(faults_.failures(Call::kWrite), 1);
    (void)closeFile(fd);
    EXPECT_EQ(slurp(path("f")), "ac");

    faults_.failNth(Call::kOpen, 1, EACCES, 2);
    int other = -1;
    EXPECT_EQ(openFile(path("f"), Access::kRead, Create::kOpenExisting, other), kErrAccessDenied);
    EXPECT_EQ(openFile(path("f"), Access::kRead, Create::kOpenExisting, other), kErrAccessDenied);
    ASSERT_EQ(openFile(path("f"), Access::kRead, Create::kOpenExisting, other), 0);
    (void)closeFile(other);
}

TEST_F(FaultTest, ShortTransfersAreCompleted) {
    const int fd = openNew("f");
    faults_.limitTransfers(3);
    const std::string text(100, 'x');
    ASSERT_EQ(writeAll(fd, text.data(), text.size()), 0);
    EXPECT_EQ(faults_.calls(Call::kWrite), 34);
    ASSERT_EQ(writeAllAt(fd, 10, "0123456789", 10), 0);
    EXPECT_EQ(faults_.calls(Call::kWriteAt), 4);

    char buf[128] = {};
    size_t got = 0;
    ASSERT_EQ(readFullAt(fd, 5, buf, 10, got), 0);
    EXPECT_EQ(std::string(buf, got), "xxxxx01234");
    int64_t pos = 0;
    ASSERT_EQ(seekFile(fd, 90, Origin::kStart, pos), 0);
    ASSERT_EQ(readSome(fd, buf, sizeof buf, got), 0);
    EXPECT_EQ(got, 3u) << "one read may stop short";
    ASSERT_EQ(readFull(fd, buf, sizeof buf, got), 0);
    EXPECT_EQ(got, 7u) << "the rest, up to the end of the file";
    (void)closeFile(fd);
}

TEST_F(FaultTest, InterruptedCallsAreMadeAgain) {
    const int fd = openNew("f");
    faults_.failNth(Call::kWrite, 1, EINTR, 3);
    ASSERT_EQ(writeAll(fd, "abc", 3), 0);
    EXPECT_EQ(faults_.calls(Call::kWrite), 4);
    faults_.failNth(Call::kReadAt, 1, EINTR);
    char buf[4] = {};
    size_t got = 0;
    ASSERT_EQ(readFullAt(fd, 0, buf, 3, got), 0);
    EXPECT_EQ(std::string(buf, got), "abc");

    // A wait for a lock that a signal breaks off waits again, and the lock is tracked once.
    faults_.failNth(Call::kLock, 1, EINTR);
    ASSERT_EQ(lockRange(fd, 1000, 1, LockKind::kExclusive, true), 0);
    EXPECT_EQ(faults_.calls(Call::kLock), 2);
    EXPECT_EQ(lockedRangeCount(fd), 1u);

    // A close is never made twice, and an interrupted one has closed all the same.
    faults_.failNth(Call::kClose, 1, EINTR);
    EXPECT_EQ(closeFile(fd), 0);
    EXPECT_EQ(faults_.calls(Call::kClose), 1);
    EXPECT_EQ(lockedRangeCount(fd), 0u);
}

TEST_F(FaultTest, AFullDiskIsReportedAsSuch) {
    const int fd = openNew("f");
    faults_.failNth(Call::kWrite, 1, ENOSPC);
    EXPECT_EQ(writeAll(fd, "abc", 3), kErrDiskFull);
    EXPECT_EQ(lastError(), kAppErrorBit | kErrDiskFull);
    EXPECT_EQ(lastOsError(), kErrDiskFull);
    // Part way through a longer write.
    faults_.limitTransfers(4);
    faults_.failNth(Call::kWriteAt, 2, EDQUOT);
    EXPECT_EQ(writeAllAt(fd, 0, "0123456789", 10), kErrDiskFull);
    faults_.failNth(Call::kTruncate, 1, EFBIG);
    EXPECT_EQ(truncateFile(fd, 1 << 20), kErrDiskFull);
    (void)closeFile(fd);
}

TEST_F(FaultTest, ASafeWriteThatFailsLeavesTheOldFileAndNoTemporary) {
    const std::string target = path("prog");
    const std::vector<uint8_t> old{'o', 'l', 'd'}, fresh(5000, 'n');
    ASSERT_EQ(writeFileSafely(target, old), 0);
    struct Step {
        Call call;
        int error;
        int number;
    } steps[] = {
        {Call::kOpen, EACCES, kErrAccessDenied},   {Call::kWrite, ENOSPC, kErrDiskFull},
        {Call::kSync, EIO, kErrOsOther},           {Call::kClose, EIO, kErrOsOther},
        {Call::kRename, EXDEV, kErrNotSameDevice},
    };
    for (const Step& s : steps) {
        faults_.reset();
        faults_.failNth(s.call, 1, s.error);
        // Clean-up of the temporary file fails too: the first failure is still the one told.
        faults_.failNth(Call::kRemove, 1, EIO);
        EXPECT_EQ(writeFileSafely(target, fresh), -1) << static_cast<int>(s.call);
        EXPECT_EQ(lastOsError(), s.number) << static_cast<int>(s.call);
        EXPECT_EQ(slurp(target), "old");
        faults_.reset();
        for (const std::string& name : names())
            if (name != "prog") (void)deleteFile(path(name));
    }
    ASSERT_EQ(writeFileSafely(target, fresh), 0);
    EXPECT_EQ(names(), std::vector<std::string>{"prog"});
    EXPECT_EQ(slurp(target).size(), 5000u);

    faults_.failNth(Call::kRead, 2, EIO);
    faults_.limitTransfers(1000);
    const int closes = faults_.calls(Call::kClose);
    std::vector<uint8_t> back;
    EXPECT_EQ(readWholeFile(target, back), -1);
    EXPECT_TRUE(back.empty()) << "no half-read contents";
    EXPECT_EQ(faults_.calls(Call::kClose), closes + 1) << "the descriptor is closed on failure";
}

TEST_F(FaultTest, TheGuardPutsThePreviousTableBack) {
    {
        FaultPlatform inner(static_cast<Platform&>(faults_));
        ScopedPlatform guard(inner);
        EXPECT_EQ(&current(), &inner);
        inner.failAlways(Call::kProcessAlive, EPERM);
        EXPECT_FALSE(processAlive(processId()));
        EXPECT_EQ(lastOsError(), kErrAccessDenied);
    }
    EXPECT_EQ(&current(), &faults_);
    EXPECT_TRUE(processAlive(processId()));
}

}  // namespace
}  // namespace vxs::platform
