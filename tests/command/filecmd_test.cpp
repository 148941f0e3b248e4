// The file commands: the listing line's columns and units, wild-card destination names, COPY
// that fails part way (a write, the rename) leaving the target as it was, refusals while another
// process has the file open, and the report sent to a file byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/command/cmdshared.h"
#include "vxs/screen/statline.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/platform/faults.h"

namespace vxs {

std::string composeDestinationName(std::string_view pattern, std::string_view source);
std::string directoryLine(const platform::DirEntry& e, bool longName, bool permissions);

namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;

TEST(FileCommandNames, WildCardDestinationsTakeTheSourceParts) {
    EXPECT_EQ(composeDestinationName("*.bak", "cust.dat"), "cust.bak");
    EXPECT_EQ(composeDestinationName("*", "cust.dat"), "cust.dat");
    EXPECT_EQ(composeDestinationName("*.*", "cust.dat"), "cust.dat");
    EXPECT_EQ(composeDestinationName("new*.*", "cust.dat"), "newt.dat") << "* takes the rest";
    EXPECT_EQ(composeDestinationName("x?y.d?t", "abc.dat"), "xby.dat");
    EXPECT_EQ(composeDestinationName("*.", "cust.dat"), "cust") << "no extension";
    EXPECT_EQ(composeDestinationName("??.*", "a.txt"), "a.txt")
        << "? beyond the source adds nothing";
    EXPECT_EQ(composeDestinationName("*.old", "readme"), "readme.old");
}

platform::DirEntry entry(const std::string& name, int64_t size, bool dir = false,
                         uint32_t permissions = 0644) {
    platform::DirEntry e;
    e.name = name;
    e.info.size = size;
    e.info.isDirectory = dir;
    e.info.permissions = permissions;
    // 5 March 2026, 00:07 local time: the 12-hour clock shows midnight as 12.
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_min = 7;
    t.tm_isdst = -1;
    e.info.modified = static_cast<int64_t>(std::mktime(&t));
    return e;
}

TEST(FileCommandListing, ColumnsUnitsAndClock) {
    //                       1         11  15          27                46
    EXPECT_EQ(directoryLine(entry("customer.data", 1234), true, false),
              "customer  dat     1234    03/05/26  12:07a   customer.data");
    EXPECT_EQ(directoryLine(entry("x", 999999), false, false),
              "x" + std::string(15, ' ') + "999999    03/05/26  12:07a  ");
    EXPECT_EQ(directoryLine(entry("big.bin", 1000000), false, false).substr(14, 12),
              "     976 KB ");
    EXPECT_EQ(directoryLine(entry("big.bin", 999999999), false, false).substr(14, 12),
              "  976562 KB ");
    EXPECT_EQ(directoryLine(entry("huge.bin", 1000000000), false, false).substr(14, 12),
              "     953 MB ");
    EXPECT_EQ(directoryLine(entry("sub", 4096, true), true, false),
              "sub            <DIR>      03/05/26  12:07a   sub");
    EXPECT_EQ(directoryLine(entry(".profile", 5), true, false).substr(0, 14), ".profile      ");
    const std::string longName(40, 'n');
    EXPECT_EQ(directoryLine(entry(longName + ".txt", 1), true, false).substr(45),
              std::string(32, 'n'));
    EXPECT_EQ(directoryLine(entry("run.sh", 10, false, 0751), true, true).substr(0, 24),
              "rwxr-x--x run       sh  ");
}

// Each test in a scratch directory of its own, with a recording terminal.
class FileCommandTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        test::CleanStateTest::SetUp();
        char dir[] = "/tmp/vxfilecmd-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        term_ = &test::installRecordingTerminal();
    }
    void TearDown() override {
        for (Helper& h : helpers_) end(h);
        ktReleaseLockRegions();
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
        test::CleanStateTest::TearDown();
    }
    // The names in the scratch directory.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    using Helper = test::PipedHelper;
    // A second process holding `name` open with a share marker of `cls` (and the further ops).
    Helper& holdOpen(const std::string& name, int cls, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {
            VX_SHARE_HELPER,    (dir_ / name).string(), "7", "2", "share", "1", "0",
            std::to_string(cls)};
        args.insert(args.end(), more.begin(), more.end());
        helpers_.push_back(test::startHelper(args));
        return helpers_.back();
    }
    static void end(Helper& h) { test::endHelper(h); }

    std::filesystem::path dir_, old_;
    test::RecordingTerminal* term_ = nullptr;
    std::vector<Helper> helpers_;
};

TEST_F(FileCommandTest, OtherCommandCodesAreRefused) {
    EXPECT_EQ(fileCommand(CmdList, ""), kErrNotFileCommand);
    EXPECT_EQ(fileCommand(0, "a"), kErrNotFileCommand);
}

TEST_F(FileCommandTest, CopyKeepsEveryByteThroughShortTransfers) {
    std::string data;
    for (int i = 0; i < 200000; ++i) data += static_cast<char>((i * 7919) >> 3);
    test::writeFile("src.bin", data);
    platform::FaultPlatform faults(platform::posixPlatform());
    {
        platform::ScopedPlatform guard(faults);
        faults.limitTransfers(4093);  // every read and write moves a few bytes only
        ASSERT_EQ(fileCommand(CmdCopy, "src.bin dst.bin -N"), 0);
    }
    EXPECT_EQ(test::fileContents("dst.bin"), data);
    EXPECT_THAT(names(), ElementsAre("dst.bin", "src.bin")) << "no temporary left";
}

TEST_F(FileCommandTest, AFailedCopyLeavesTheTargetAsItWasAndNoTemporary) {
    test::writeFile("src.txt", std::string(150000, 'n'));
    test::writeFile("dst.txt", "the old contents");
    platform::FaultPlatform faults(platform::posixPlatform());
    {
        // The disk fills on the second block written.
        platform::ScopedPlatform guard(faults);
        faults.failNth(platform::Call::kWriteAt, 2, ENOSPC, 100);
        EXPECT_EQ(fileCommand(CmdCopy, "src.txt dst.txt -N"), kErrDiskFull);
    }
    EXPECT_EQ(test::fileContents("dst.txt"), "the old contents");
    EXPECT_THAT(names(), ElementsAre("dst.txt", "src.txt"));
    faults.reset();
    {
        // Everything written, then the rename over the target fails.
        platform::ScopedPlatform guard(faults);
        faults.failAlways(platform::Call::kRename, EIO);
        EXPECT_NE(fileCommand(CmdCopy, "src.txt dst.txt -N"), 0);
    }
    EXPECT_EQ(test::fileContents("dst.txt"), "the old contents");
    EXPECT_THAT(names(), ElementsAre("dst.txt", "src.txt"));
    // A read-only target is not replaced either.
    ASSERT_EQ(chmod("dst.txt", 0444), 0);
    EXPECT_EQ(fileCommand(CmdCopy, "src.txt dst.txt -N"), kErrAccessDenied);
    EXPECT_EQ(test::fileContents("dst.txt"), "the old contents");
}

TEST_F(FileCommandTest, FilesOpenInAnotherProcessAreRefused) {
    test::writeFile("held.dat", "held data");
    test::writeFile("other.dat", "other data");
    test::writeFile("aaa.dat", "first in order");
    ASSERT_EQ(holdOpen("held.dat", 1).reply, "ok");
    // COPY from it, COPY onto it, RENAME, FREE and DROP: all refused, nothing changed.
    EXPECT_EQ(fileCommand(CmdCopy, "held.dat copy.dat"), kErrSharing);
    EXPECT_EQ(statusText(kStatusFieldMessage), " File Sharing Violation");
    EXPECT_THAT(ktLockedPath(), EndsWith("held.dat"));
    EXPECT_EQ(fileCommand(CmdCopy, "other.dat held.dat"), kErrSharing);
    EXPECT_THAT(ktLockedPath(), EndsWith("held.dat"));
    EXPECT_EQ(fileCommand(CmdRename, "held.dat moved.dat"), kErrSharing);
    EXPECT_EQ(fileCommand(CmdFree, "held.dat"), kErrSharing);
    EXPECT_EQ(fileCommand(CmdDrop, "held.dat"), kErrSharing);
    EXPECT_EQ(fileCommand(CmdDrop, "*.dat -N"), kErrSharing) << "aaa.dat first, then held.dat";
    EXPECT_EQ(test::fileContents("held.dat"), "held data");
    EXPECT_EQ(test::fileContents("aaa.dat"), "") << "dropped before the refusal";
    EXPECT_EQ(test::fileContents("other.dat"), "other data") << "the command ended there";
    EXPECT_THAT(names(), ElementsAre("aaa.dat", "held.dat", "other.dat"));
    // -S copies the source all the same.
    EXPECT_EQ(fileCommand(CmdCopy, "held.dat copy.dat -S"), 0);
    EXPECT_EQ(test::fileContents("copy.dat"), "held data");
}

TEST_F(FileCommandTest, CopyOfAFileWithHeldLocksCopiesOnlyItsData) {
    std::string data(5000, 'r');
    test::writeFile("locked.dat", data);
    // Another process holds a share marker and a record lock, both far beyond the end of file.
    ASSERT_EQ(holdOpen("locked.dat", 3, {"record", "3", "0"}).reply, "ok");
    ASSERT_EQ(fileCommand(CmdCopy, "locked.dat plain.dat -S -N"), 0);
    EXPECT_EQ(test::fileContents("plain.dat"), data);
    // The copy is free: nobody holds anything on it.
    EXPECT_EQ(fileCommand(CmdFree, "plain.dat -N"), 0);
}

TEST_F(FileCommandTest, ReportToAFileByteForByte) {
    test::writeFile("b.txt", "");
    test::writeFile("a.txt", "");
    std::filesystem::create_directory("sub");
    ASSERT_EQ(fileCommand(CmdDir, "*.txt -B >list.out"), 0);
    EXPECT_TRUE(term_->output.empty()) << "nothing on the console";
    EXPECT_EQ(test::fileContents("list.out"), "a.txt\r\nb.txt\r\n");
    ASSERT_EQ(fileCommand(CmdType, "a.txt >>list.out"), 0);  // an empty file adds nothing
    ASSERT_EQ(fileCommand(CmdDir, "s* -W >>list.out"), 0);
    const std::string listed = test::fileContents("list.out");
    EXPECT_TRUE(listed.starts_with("a.txt\r\nb.txt\r\nDirectory of s*\r\nsub\\\r\n 1 Files, 0 "))
        << listed;
    // The report of a command that fails is closed all the same: the file holds what was
    // reported (here nothing), as the redirection asked.
    EXPECT_EQ(fileCommand(CmdDir, "nothing* >list.out"), kErrFileNotFound);
    EXPECT_EQ(test::fileContents("list.out"), "");
    EXPECT_THAT(names(), ElementsAre("a.txt", "b.txt", "list.out", "sub"));
}

TEST_F(FileCommandTest, LinksExecutablesAndTheAttributeOption) {
    test::writeFile("plain.txt", "p");
    test::writeFile("tool", "#!/bin/sh\n");
    ASSERT_EQ(chmod("tool", 0755), 0);
    ASSERT_EQ(symlink("plain.txt", "link.txt"), 0);
    ASSERT_EQ(fileCommand(CmdDir, "-W"), 0);
    ASSERT_EQ(term_->output.size(), 3u);
    EXPECT_EQ(term_->output[1], "link.txt            plain.txt           tool*");
    term_->output.clear();
    // -A: only the entries whose flag 8 is set, the links.
    ASSERT_EQ(fileCommand(CmdDir, "-A -B"), 0);
    EXPECT_THAT(term_->output, ElementsAre("link.txt"));
}

TEST_F(FileCommandTest, StatusTextsAndTheNOption) {
    EXPECT_EQ(fileCommand(CmdCopy, "missing.txt x.txt"), kErrFileNotFound);
    EXPECT_EQ(statusText(kStatusFieldMessage), " File Not Found");
    EXPECT_EQ(lastFileErrorText(), "NAME=missing.txt");
    statusShowMessage("");
    EXPECT_EQ(fileCommand(CmdCopy, "missing.txt x.txt -N"), kErrFileNotFound);
    EXPECT_EQ(statusText(kStatusFieldMessage), "") << "N: no error text";
    test::writeFile("a.txt", "a");
    EXPECT_EQ(fileCommand(CmdCopy, "a.txt .\\a.txt -N"), kErrCopyToItself);
    EXPECT_EQ(statusText(kStatusFieldMessage), "") << "N: no error text";
    EXPECT_EQ(fileCommand(CmdCopy, "a.txt .\\a.txt"), kErrCopyToItself);
    EXPECT_EQ(statusText(kStatusFieldMessage), " Cannot Copy To Itself");
    EXPECT_EQ(fileCommand(CmdDir, "none/x/5"), kErrBadName);  // no fifth DRIVE
    EXPECT_EQ(statusText(kStatusFieldMessage), " Bad Drive Specified");
    // V cancels N: the question needs an answer, and none can come here.
    EXPECT_EQ(fileCommand(CmdFree, "a.txt -N -V"), 0);
    EXPECT_THAT(term_->output, ElementsAre("a.txt Free? (y/n/all) ")) << "no key: ended";
    EXPECT_TRUE(std::filesystem::exists("a.txt"));
}

}  // namespace
}  // namespace vxs
