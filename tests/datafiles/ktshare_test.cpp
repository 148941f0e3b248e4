// Sharing of data files: the lock-area layout, share classes and markers, record and update
// locks, the locking modes, RESERVE and RELEASE with their placeholders.  Each scenario runs
// between two handles of this process and again against a second process (share_helper), one
// of which is killed with SIGKILL to show that its markers and locks go with it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/platform/faults.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"

namespace vxs {
namespace {

int64_t g_waited = 0;
void countingWaiter(int32_t microseconds) { g_waited += microseconds; }

// A share_helper process holding what its command line asked for.
using Helper = test::PipedHelper;

class KtShareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxshare-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        file_ = dir_ + "/data";
        write(file_, "records");
        ASSERT_EQ(setShareIdentity(0, 1, 1), 0);
        ASSERT_TRUE(setLockingMode(2));
        g_waited = 0;
        setSliceWaiter(countingWaiter);
    }
    void TearDown() override {
        for (Helper& h : helpers_) end(h);
        ktReleaseLockRegions();
        for (int h : plain_) (void)osClose(h);
        setSliceWaiter(nullptr);
        (void)setLockingMode(2);
        (void)setShareIdentity(0, 0, 1);
        std::filesystem::remove_all(dir_);
    }
    static void write(const std::string& path, const std::string& text) {
        test::writeFile(path, text);
    }
    static std::string contents(const std::string& path) { return test::fileContents(path); }
    // A shared open of file_; the handle goes back at TearDown through ktReleaseLockRegions.
    int share(int access, int creation, int cls, int& handle) {
        return ktFileShareSet(file_, access, creation, cls, handle);
    }
    // A plain handle on file_ for placing and testing locks by hand.
    int plain() {
        int h = -1;
        EXPECT_EQ(osOpen(file_, kOsReadWrite, kOsOpenExisting, h), 0);
        plain_.push_back(h);
        return h;
    }
    bool heldAt(int64_t offset) {
        const int h = plain();
        bool held = false;
        EXPECT_EQ(osFiles().test(h, offset, 1, held), 0);
        return held;
    }
    // Starts share_helper with workstation `wsid` and the operations; waits for its reply.
    Helper& spawn(int wsid, int mode, const std::vector<std::string>& ops,
                  const std::string& path = "") {
        std::vector<std::string> args = {VX_SHARE_HELPER, path.empty() ? file_ : path,
                                         std::to_string(wsid), std::to_string(mode)};
        args.insert(args.end(), ops.begin(), ops.end());
        helpers_.push_back(test::startHelper(args));
        EXPECT_GT(helpers_.back().pid, 0);
        return helpers_.back();
    }
    static void end(Helper& h) { test::endHelper(h); }
    static void killHard(Helper& h) {
        kill(h.pid, SIGKILL);
        end(h);
    }

    std::string dir_, file_;
    std::vector<int> plain_;
    std::deque<Helper> helpers_;  // stable references
};

TEST_F(KtShareTest, LockAreaLayout) {
    EXPECT_EQ(ktOpenLockOffset(), 0x7E000000 - 2);
    EXPECT_EQ(ktUpdateLockOffset(), 0x7E000000 - 3);
    EXPECT_EQ(ktRecordLockOffset(0), 0x7E000000 - 4);
    EXPECT_EQ(ktRecordLockOffset(7), 0x7E000000 - 11);
    EXPECT_EQ(ktRecordLockOffset(-1), -1);
    EXPECT_EQ(ktRecordLockOffset(0x7E000000 - 4), 0);
    EXPECT_EQ(ktRecordLockOffset(0x7E000000 - 3), -1);
    EXPECT_EQ(ktMarkerOffset(3, 4, 12, 2, 1), 0x7E000000 + 3 * 216000 + 4 * 36000 + 12 * 36 + 4 + 1);

    ASSERT_TRUE(setLockingMode(4));
    const int64_t high = int64_t{0x40000000} << 32;
    EXPECT_EQ(ktOpenLockOffset(), high + 0x7E000000 - 2);
    EXPECT_EQ(ktRecordLockOffset(7), (int64_t{0x41000000} << 32) + 7);
    EXPECT_EQ(ktMarkerOffset(0, 0, 0, 1, 0), high + 0x7E000000);
    EXPECT_EQ(ktCheckFileSize(int64_t{1} << 40), 0) << "mode 4 has no size limit";

    // Conflict rows 11111, 10101, 10111, 00001, 00111.
    const char* rows[5] = {"11111", "10101", "10111", "00001", "00111"};
    for (int e = 0; e < 5; ++e)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(ktClassesConflict(e, c), rows[e][4 - c] == '1') << e << " " << c;
    EXPECT_EQ(setShareIdentity(100, 1, 1), kErrInvalidData);
    EXPECT_EQ(setShareIdentity(0, 1, 0), kErrInvalidData);
    EXPECT_EQ(shareIdentity().wsid, 1);
}

TEST_F(KtShareTest, ClassesAndMarkersInOneProcess) {
    ASSERT_EQ(setShareIdentity(3, 12, 2), 0);
    int a = -1, b = -1, c = -1;
    ASSERT_EQ(share(kOsRead, kOsOpenExisting, 1, a), 0);  // SHRI INPUT
    ASSERT_EQ(share(kOsRead, kOsOpenExisting, 1, b), 0);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, c), kErrSharing);  // SHR OUTPUT
    EXPECT_EQ(c, -1);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, c), 0) << "SHR INPUT goes with SHRI INPUT";
    // The markers sit where the layout says: class 1, workstation 12, session 2, bytes 0, 1.
    EXPECT_TRUE(heldAt(ktMarkerOffset(3, 1, 12, 2, 0)));
    EXPECT_TRUE(heldAt(ktMarkerOffset(3, 1, 12, 2, 1)));
    EXPECT_FALSE(heldAt(ktMarkerOffset(3, 1, 12, 2, 2)));
    EXPECT_FALSE(heldAt(ktOpenLockOffset())) << "the open lock is released";

    ASSERT_EQ(ktFileShareRelease(a), 0);
    ASSERT_EQ(ktFileShareRelease(b), 0);
    EXPECT_FALSE(heldAt(ktMarkerOffset(3, 1, 12, 2, 0)));
    int d = -1;
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, d), 0);
    int64_t size = 0;
    ASSERT_EQ(osFiles().size(d, size), 0);
    EXPECT_EQ(size, 7) << "markers never grow the file";

    // Four opens of one class by one session, no fifth (c holds the first byte of class 3).
    std::vector<int> handles(3, -1);
    for (int& h : handles) ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, h), 0);
    int fifth = -1;
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, fifth), kErrTooManyOpens);
    ASSERT_EQ(ktFileShareRelease(handles[1]), 0);
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, fifth), 0) << "a freed byte is used again";
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, fifth), kErrTooManyOpens);
    EXPECT_EQ(osFiles().openCount(), 5 + static_cast<int>(plain_.size()))
        << "a refused open is closed again";
}

TEST_F(KtShareTest, ForeignLocksAndTheOpenLock) {
    int h = -1;
    const int other = plain();
    ASSERT_EQ(osLock(other, kCompatibilityOffset + 100, 1, 0, 1, 1), 0);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, h), kErrCompatibilityLock);
    ASSERT_EQ(osUnlock(other, kCompatibilityOffset + 100, 1), 0);

    // A marker under lock offset 5 while this process works under 0.
    ASSERT_EQ(osLock(other, ktMarkerOffset(5, 3, 9, 1, 0), 1, 0, 1, 1), 0);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, h), kErrOtherLockOffset);
    ASSERT_EQ(setShareIdentity(5, 1, 1), 0);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, h), 0) << "the same offset shares";
    ASSERT_EQ(ktFileShareRelease(h), 0);
    ASSERT_EQ(osUnlock(other, ktMarkerOffset(5, 3, 9, 1, 0), 1), 0);

    // The open lock held elsewhere: 15 seconds of tries, then 4146.
    ASSERT_EQ(osLock(other, ktOpenLockOffset(), 1, 0, 1, 1), 0);
    g_waited = 0;
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, h), kErrOpenLockTimeout);
    EXPECT_EQ(g_waited, 15'000'000);
    ASSERT_EQ(osUnlock(other, ktOpenLockOffset(), 1), 0);

    // A refused REPLACE leaves the data alone.
    int keep = -1;
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 0, keep), 0);
    EXPECT_EQ(share(kOsReadWrite, kOsReplace, 0, h), kErrSharing);
    EXPECT_EQ(contents(file_), "records");
    ASSERT_EQ(ktFileShareRelease(keep), 0);
    ASSERT_EQ(share(kOsReadWrite, kOsReplace, 0, h), 0);
    EXPECT_EQ(contents(file_), "");
}

TEST_F(KtShareTest, RecordAndUpdateLocksInOneProcess) {
    int a = -1, b = -1;
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, a), 0);
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, b), 0);
    ASSERT_EQ(ktLockRecord(a, 7, 0, 1), 0);
    EXPECT_EQ(ktLockRecord(a, 7, 5, 1), kErrRecordLocked) << "twice through one handle";
    EXPECT_EQ(g_waited, 0) << "... at once";

    platform::FaultPlatform faults(platform::posixPlatform());
    {
        platform::ScopedPlatform guard(faults);
        EXPECT_EQ(ktLockRecord(b, 7, 2, 77), kErrRecordLocked);
    }
    EXPECT_EQ(faults.calls(platform::Call::kLock), 201) << "every 10 ms for 2 seconds, then once";
    EXPECT_EQ(g_waited, 2'000'000);
    EXPECT_EQ(lastLockFailure().callerId, 77);
    EXPECT_EQ(ktLockRecord(b, 8, 0, 1), 0);
    ASSERT_EQ(ktUnlockRecord(a, 7), 0);
    EXPECT_EQ(ktUnlockRecord(a, 7), kErrUnlockNotHeld);
    EXPECT_EQ(ktLockRecord(b, 7, 0, 1), 0);
    EXPECT_EQ(ktLockRecord(b, -1, 0, 1), kErrInvalidData);

    ASSERT_EQ(ktUpdateLock(a, 1), 0);
    g_waited = 0;
    EXPECT_EQ(ktUpdateLock(b, 1), kErrOpenLockTimeout);
    EXPECT_EQ(g_waited, 15'000'000);
    ASSERT_EQ(ktUpdateUnlock(a), 0);
    EXPECT_EQ(ktUpdateLock(b, 1), 0);
    // Closing drops every lock of the handle.
    ASSERT_EQ(ktFileShareRelease(b), 0);
    EXPECT_EQ(ktLockRecord(a, 7, 0, 1), 0);
    EXPECT_EQ(ktUpdateLock(a, 1), 0);
}

TEST_F(KtShareTest, SizeLimitOfTheLockingMode) {
    ASSERT_TRUE(setLockingMode(1));
    const int h = plain();
    ASSERT_EQ(osFiles().truncateAt(h, 0x3E000000 - 1), 0);  // sparse
    int s = -1;
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, s), 0);
    ASSERT_EQ(ktFileShareRelease(s), 0);
    ASSERT_EQ(osFiles().truncateAt(h, 0x3E000000), 0);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, s), kErrFileTooLarge);
    EXPECT_EQ(platform::lastError(), platform::kAppErrorBit | kErrFileTooLarge);
    ASSERT_TRUE(setLockingMode(2));
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 3, s), 0);
}

TEST_F(KtShareTest, ReserveAndRelease) {
    const std::string path = dir_ + "/reserved";
    ASSERT_EQ(ktReserve(path), 0);
    EXPECT_EQ(ktReservationState(path), 2);
    EXPECT_EQ(contents(path), std::string("RESERVE\n\1\0\0\0\0\0\0", 15));
    EXPECT_EQ(ktReserve(path), 0);

    // An open in this process joins the reservation; a placeholder counts as missing.
    int h = -1, g = -1;
    EXPECT_EQ(ktFileShareSet(path, kOsReadWrite, kOsOpenExisting, 3, h), kErrFileNotFound);
    ASSERT_EQ(ktFileShareSet(path, kOsReadWrite, kOsUse, 3, h), 0);
    EXPECT_EQ(ktFileShareSet(path, kOsReadWrite, kOsOpenExisting, 4, g), 0);
    EXPECT_EQ(g, h);
    EXPECT_EQ(ktFileShareSet(path, kOsReadWrite, kOsOpenExisting, 0, g), kErrSharing);
    EXPECT_EQ(ktReservationState(path), 1) << "opened with a creation, it holds data now";
    ASSERT_EQ(osWrite(h, "data", 4), 0);
    EXPECT_EQ(ktRelease(path), kErrSharing) << "users remain";
    ASSERT_EQ(ktFileShareRelease(h, 3), 0);
    ASSERT_EQ(ktFileShareRelease(h, 4), 0);
    ASSERT_EQ(ktRelease(path), 0);
    EXPECT_EQ(contents(path), "data") << "a file with data is not deleted";
    EXPECT_EQ(ktReservationState(path), 0);

    // A placeholder that was never used goes with RELEASE.
    const std::string path2 = dir_ + "/RESERVED2";
    ASSERT_EQ(ktReserve(path2), 0);
    ASSERT_EQ(ktRelease(dir_ + "/reserved2"), 0) << "found without regard to case";
    EXPECT_FALSE(std::filesystem::exists(path2));
    EXPECT_EQ(ktReserve(dir_ + "/" + std::string(520, 'n')), kErrNameTooLong);

    // Placeholders left behind: exactly 15 bytes go; 16 bytes are a data file.
    write(path2, std::string("RESERVE\n\1\0\0\0\0\0\0", 15));
    EXPECT_EQ(ktFileShareSet(path2, kOsRead, kOsOpenExisting, 1, h), kErrFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(path2));
    write(path2, std::string("RESERVE\n\1\0\0\0\0\0\0\0", 16));
    ASSERT_EQ(ktFileShareSet(path2, kOsRead, kOsOpenExisting, 1, h), 0);
    EXPECT_EQ(contents(path2).size(), 16u);
    // NEW takes a placeholder left behind as missing, and NEW of a data file is 4150.
    const std::string path3 = dir_ + "/third";
    write(path3, std::string("RESERVE\n\1\0\0\0\0\0\0", 15));
    platform::setLastError(platform::kAppErrorBit | 1234);
    ASSERT_EQ(ktFileShareSet(path3, kOsReadWrite, kOsNew, 4, g), 0);
    EXPECT_EQ(platform::lastError(), platform::kAppErrorBit | 1234) << "kept on success";
    EXPECT_EQ(contents(path3), "");
    EXPECT_EQ(ktFileShareSet(path2, kOsReadWrite, kOsNew, 3, g), kErrFileExists);

    // Shut-down ends reservations with users and closes every shared handle.
    ASSERT_EQ(ktReserve(path), 0);
    ASSERT_EQ(ktFileShareSet(path, kOsReadWrite, kOsOpenExisting, 3, g), 0);
    ktReleaseLockRegions();
    EXPECT_EQ(osFiles().openCount(), 0);
    EXPECT_EQ(ktReservationState(path), 0);
    EXPECT_EQ(contents(path), "data");
}

TEST_F(KtShareTest, FailedLockClosesTheFileAgain) {
    platform::FaultPlatform faults(platform::posixPlatform());
    platform::ScopedPlatform guard(faults);
    faults.failNth(platform::Call::kLock, 2, ENOLCK);  // the marker, after the open lock
    int h = -1;
    EXPECT_EQ(share(kOsReadWrite, kOsReplace, 0, h), kErrOsNoMemory);
    EXPECT_EQ(osFiles().openCount(), 0);
    EXPECT_EQ(contents(file_), "records") << "REPLACE empties only once the marker is set";
}

// ---- the same between processes ----

TEST_F(KtShareTest, ProcessesShareAndConflict) {
    Helper& one = spawn(2, 2, {"share", "0", "0", "1"});
    ASSERT_EQ(one.reply, "ok");
    Helper& two = spawn(3, 2, {"share", "0", "0", "1"});
    ASSERT_EQ(two.reply, "ok");
    int h = -1;
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, h), kErrSharing);
    EXPECT_EQ(share(kOsRead, kOsOpenExisting, 1, h), 0);
    ASSERT_EQ(ktFileShareRelease(h), 0);
    EXPECT_EQ(spawn(4, 2, {"share", "1", "0", "0"}).reply, "error 4148");

    // A killed holder's markers go at once.
    killHard(helpers_[0]);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, h), kErrSharing);
    killHard(helpers_[1]);
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, h), 0);
    EXPECT_EQ(spawn(5, 2, {"share", "0", "0", "1"}).reply, "error 4148");
}

TEST_F(KtShareTest, ProcessesRecordLocks) {
    Helper& holder = spawn(2, 2, {"share", "1", "0", "4", "record", "7", "0", "update"});
    ASSERT_EQ(holder.reply, "ok");
    int h = -1;
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, h), 0);
    platform::FaultPlatform faults(platform::posixPlatform());
    {
        platform::ScopedPlatform guard(faults);
        EXPECT_EQ(ktLockRecord(h, 7, 1, 1), kErrRecordLocked);
    }
    EXPECT_EQ(faults.calls(platform::Call::kLock), 101) << "every 10 ms for a second, then once";
    EXPECT_EQ(g_waited, 1'000'000);
    EXPECT_EQ(ktLockRecord(h, 6, 0, 1), 0);
    EXPECT_EQ(ktUpdateLock(h, 1), kErrOpenLockTimeout);
    killHard(helpers_[0]);
    EXPECT_EQ(ktLockRecord(h, 7, 0, 1), 0);
    EXPECT_EQ(ktUpdateLock(h, 1), 0);
    // And the other way round: the helper waits its second and gives 61.
    EXPECT_EQ(spawn(3, 2, {"share", "1", "0", "4", "record", "7", "1"}).reply, "error 61");
}

TEST_F(KtShareTest, ProcessesMode4FarOffsets) {
    ASSERT_TRUE(setLockingMode(4));
    Helper& holder = spawn(2, 4, {"share", "1", "0", "4", "record", "5", "0"});
    ASSERT_EQ(holder.reply, "ok");
    EXPECT_TRUE(heldAt((int64_t{0x41000000} << 32) + 5));
    EXPECT_TRUE(heldAt(ktMarkerOffset(0, 4, 2, 1, 0)));
    EXPECT_FALSE(heldAt(0x7E000000 + 4 * 36000 + 2 * 36)) << "nothing below the high part";
    int h = -1;
    EXPECT_EQ(share(kOsReadWrite, kOsOpenExisting, 0, h), kErrSharing);
    ASSERT_EQ(share(kOsReadWrite, kOsOpenExisting, 4, h), 0);
    EXPECT_EQ(ktLockRecord(h, 5, 0, 1), kErrRecordLocked);
    ASSERT_EQ(ktLockRecord(h, 6, 0, 1), 0);
    ASSERT_EQ(ktUnlockRecord(h, 6), 0);
    killHard(helpers_[0]);
    EXPECT_EQ(ktLockRecord(h, 5, 0, 1), 0);
}

TEST_F(KtShareTest, ProcessesReserve) {
    const std::string path = dir_ + "/reserved";
    Helper& holder = spawn(2, 2, {"reserve"}, path);
    ASSERT_EQ(holder.reply, "ok");
    int h = -1;
    // Another process's live reservation keeps us out and is not deleted by our open.
    EXPECT_EQ(ktFileShareSet(path, kOsRead, kOsOpenExisting, 3, h), kErrSharing);
    EXPECT_EQ(ktFileShareSet(path, kOsReadWrite, kOsReplace, 4, h), kErrSharing);
    EXPECT_EQ(ktReserve(path), kErrSharing);
    EXPECT_EQ(contents(path).size(), 15u);
    // Its holder gone, the placeholder left behind counts as missing and goes.
    killHard(helpers_[0]);
    EXPECT_EQ(ktFileShareSet(path, kOsRead, kOsOpenExisting, 3, h), kErrFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(path));

    // Reserved by us, kept from the helper; released, the placeholder is gone.
    ASSERT_EQ(ktReserve(path), 0);
    EXPECT_EQ(spawn(3, 2, {"share", "0", "0", "3"}, path).reply, "error 4148");
    ASSERT_EQ(ktRelease(path), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace vxs
