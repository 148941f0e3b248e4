// Byte-range locks: each scenario with two opens in this process and again with a second
// process; locks that die with their holder; ranges far beyond the end of the file; ranges
// refused before the operating system sees them.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "vxs/errors/errors.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"

namespace vxs::platform {
namespace {

constexpr int64_t kBase = 0x7E000000;       // where the data files' lock area starts
constexpr int64_t kFar = int64_t{1} << 62;  // far beyond any file

class LockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxlock-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        file_ = dir_ + "/data";
        a_ = openOne();
        b_ = openOne();
    }
    void TearDown() override {
        if (a_ >= 0) (void)closeFile(a_);
        if (b_ >= 0) (void)closeFile(b_);
        std::filesystem::remove_all(dir_);
    }
    int openOne() {
        int fd = -1;
        EXPECT_EQ(openFile(file_, Access::kReadWrite, Create::kOpenOrCreate, fd), 0);
        return fd;
    }
    // Runs `body` in a child process, which ends with its result as exit status.
    template <typename Body>
    pid_t spawn(Body body) {
        const pid_t pid = fork();
        if (pid == 0) _exit(body());
        return pid;
    }
    static int waitFor(pid_t pid) {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string dir_, file_;
    int a_ = -1, b_ = -1;
};

TEST_F(LockTest, TwoOpensInOneProcessConflict) {
    ASSERT_EQ(lockRange(a_, kBase - 4, 1, LockKind::kExclusive, false), 0);
    EXPECT_EQ(lockRange(b_, kBase - 4, 1, LockKind::kExclusive, false), kErrRecordLocked);
    EXPECT_EQ(lastError(), kAppErrorBit | kErrRecordLocked);
    bool held = false;
    ASSERT_EQ(testRange(b_, kBase - 10, 10, LockKind::kShared, held), 0);
    EXPECT_TRUE(held);
    ASSERT_EQ(testRange(a_, kBase - 4, 1, LockKind::kExclusive, held), 0);
    EXPECT_FALSE(held) << "an open's own locks never conflict with it";
    EXPECT_EQ(lockRange(b_, kBase - 3, 1, LockKind::kExclusive, false), 0) << "the next byte";

    ASSERT_EQ(unlockRange(a_, kBase - 4, 1), 0);
    EXPECT_EQ(lockedRangeCount(a_), 0u);
    EXPECT_EQ(lockRange(b_, kBase - 4, 1, LockKind::kExclusive, false), 0);
    EXPECT_EQ(lockedRangeCount(b_), 2u);

    // Closing an open releases its locks, and only its own.
    int c = openOne();
    ASSERT_EQ(lockRange(c, 500, 10, LockKind::kExclusive, false), 0);
    ASSERT_EQ(closeFile(c), 0);
    EXPECT_EQ(lockRange(a_, 500, 10, LockKind::kExclusive, false), 0);
    EXPECT_EQ(lockRange(a_, kBase - 4, 1, LockKind::kExclusive, false), kErrRecordLocked)
        << "b still holds its lock after another open of the file closed";
}

TEST_F(LockTest, SharedLocksConflictOnlyWithExclusiveOnes) {
    ASSERT_EQ(lockRange(a_, 0, 1024, LockKind::kShared, false), 0);
    ASSERT_EQ(lockRange(b_, 0, 1024, LockKind::kShared, false), 0);
    int c = openOne();
    EXPECT_EQ(lockRange(c, 1000, 1, LockKind::kExclusive, false), kErrRecordLocked);
    (void)closeFile(c);
    // An exclusive lock needs a descriptor open for writing.
    int r = -1;
    ASSERT_EQ(openFile(file_, Access::kRead, Create::kOpenExisting, r), 0);
    EXPECT_EQ(lockRange(r, 5000, 1, LockKind::kExclusive, false), kErrBadHandle);
    (void)closeFile(r);
}

TEST_F(LockTest, OwnOverlapsAndUnheldUnlocksAreRefusedBeforeTheCall) {
    FaultPlatform counting(posixPlatform());
    ScopedPlatform scoped(counting);
    ASSERT_EQ(lockRange(a_, 100, 10, LockKind::kExclusive, false), 0);
    // Through the same open the kernel would merge the ranges and succeed.
    EXPECT_EQ(lockRange(a_, 105, 10, LockKind::kExclusive, false), kErrLockOverlap);
    EXPECT_EQ(lockRange(a_, 109, 1, LockKind::kShared, false), kErrLockOverlap);
    EXPECT_EQ(unlockRange(a_, 100, 5), kErrUnlockNotHeld) << "only a range exactly as locked";
    EXPECT_EQ(unlockRange(a_, 200, 5), kErrUnlockNotHeld);
    EXPECT_EQ(unlockRange(b_, 100, 10), kErrUnlockNotHeld) << "held through another open";
    EXPECT_EQ(lastError(), kAppErrorBit | kErrUnlockNotHeld);
    EXPECT_EQ(counting.calls(Call::kLock), 1);
    EXPECT_EQ(counting.calls(Call::kUnlock), 0);

    // Bad ranges never reach the operating system: a zero length would lock to infinity.
    EXPECT_EQ(lockRange(a_, 0, 0, LockKind::kExclusive, false), kErrInvalidData);
    EXPECT_EQ(lockRange(a_, 0, -5, LockKind::kExclusive, false), kErrInvalidData);
    EXPECT_EQ(lockRange(a_, -1, 1, LockKind::kExclusive, false), kErrBadPosition);
    EXPECT_EQ(lockRange(a_, INT64_MAX, 2, LockKind::kExclusive, false), kErrBadPosition);
    EXPECT_EQ(unlockRange(a_, 0, 0), kErrInvalidData);
    EXPECT_EQ(unlockRange(a_, -1, 1), kErrBadPosition);
    bool held = true;
    EXPECT_EQ(testRange(a_, 0, 0, LockKind::kExclusive, held), kErrInvalidData);
    EXPECT_EQ(counting.calls(Call::kLock), 1);
    EXPECT_EQ(counting.calls(Call::kUnlock), 0);
    EXPECT_EQ(counting.calls(Call::kTestLock), 0);
    EXPECT_EQ(lockedRangeCount(a_), 1u);

    // The Linux table refuses them too, for callers that skip the checks.
    EXPECT_EQ(posixPlatform().lock(a_, 0, 0, LockKind::kExclusive, false), -EINVAL);
    EXPECT_EQ(posixPlatform().unlock(a_, -1, 1), -EINVAL);
}

TEST_F(LockTest, OffsetsNearTwoToTheSixtyTwoLeaveTheFileAlone) {
    ASSERT_EQ(lockRange(a_, kFar, 216000, LockKind::kExclusive, false), 0);
    EXPECT_EQ(lockRange(b_, kFar + 215999, 1, LockKind::kExclusive, false), kErrRecordLocked);
    EXPECT_EQ(lockRange(b_, kFar + 216000, 1, LockKind::kExclusive, false), 0);
    EXPECT_EQ(lockRange(b_, INT64_MAX, 1, LockKind::kExclusive, false), 0)
        << "the last byte of all offsets";
    bool held = false;
    ASSERT_EQ(testRange(a_, INT64_MAX - 9, 10, LockKind::kShared, held), 0);
    EXPECT_TRUE(held);
    int64_t size = -1;
    ASSERT_EQ(fileSize(a_, size), 0);
    EXPECT_EQ(size, 0) << "locks beyond the end do not grow the file";
}

TEST_F(LockTest, AnotherProcessIsRefusedAndWaits) {
    ASSERT_EQ(lockRange(a_, kBase - 2, 1, LockKind::kExclusive, false), 0);
    const std::string file = file_;
    auto tryFromChild = [file](bool wait) {
        return [file, wait] {
            int fd = -1;
            if (openFile(file, Access::kReadWrite, Create::kOpenExisting, fd)) return 1;
            return lockRange(fd, kBase - 2, 1, LockKind::kExclusive, wait);
        };
    };
    EXPECT_EQ(waitFor(spawn(tryFromChild(false))), kErrRecordLocked);

    // A waiting child gets the lock once this process lets it go.
    const pid_t waiter = spawn(tryFromChild(true));
    sleepMilliseconds(200);
    int status = 0;
    EXPECT_EQ(waitpid(waiter, &status, WNOHANG), 0) << "the child is still waiting";
    ASSERT_EQ(unlockRange(a_, kBase - 2, 1), 0);
    EXPECT_EQ(waitFor(waiter), 0);
}

TEST_F(LockTest, ALockDiesWithItsProcess) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string file = file_;
    const pid_t holder = spawn([&] {
        int fd = -1;
        if (openFile(file, Access::kReadWrite, Create::kOpenExisting, fd)) return 1;
        if (lockRange(fd, kFar, 1, LockKind::kExclusive, false)) return 2;
        (void)writeAll(ready[1], "x", 1);
        for (;;) pause();  // holds on until killed
    });
    ASSERT_GT(holder, 0);
    close(ready[1]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1) << "the holder took its lock";
    close(ready[0]);

    EXPECT_EQ(lockRange(a_, kFar, 1, LockKind::kExclusive, false), kErrRecordLocked);
    EXPECT_TRUE(processAlive(holder));
    ASSERT_EQ(kill(holder, SIGKILL), 0);
    EXPECT_EQ(waitFor(holder), 128 + SIGKILL);
    EXPECT_FALSE(processAlive(holder));
    EXPECT_EQ(lockRange(a_, kFar, 1, LockKind::kExclusive, false), 0);
}

}  // namespace
}  // namespace vxs::platform
