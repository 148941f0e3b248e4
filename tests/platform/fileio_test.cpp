// The Linux platform table through the file, directory and process calls, on real files in a
// scratch directory: open modes, 64-bit positions, attributes, listings and their patterns.
#include "vxs/platform/fileio.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "vxs/errors/errors.h"
#include "vxs/platform/files.h"
#include "vxs/platform/os.h"

namespace vxs::platform {
namespace {

class FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vxplat-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // Creates a file with the given contents.
    void make(const std::string& name, const std::string& text) {
        int fd = -1;
        ASSERT_EQ(openFile(path(name), Access::kReadWrite, Create::kCreateAlways, fd), 0);
        ASSERT_EQ(writeAll(fd, text.data(), text.size()), 0);
        ASSERT_EQ(closeFile(fd), 0);
    }
    std::string contents(const std::string& name) {
        std::vector<uint8_t> bytes;
        int fd = -1;
        if (openFile(path(name), Access::kRead, Create::kOpenExisting, fd)) return "<missing>";
        std::string text(1 << 16, '\0');
        size_t got = 0;
        EXPECT_EQ(readFull(fd, text.data(), text.size(), got), 0);
        (void)closeFile(fd);
        text.resize(got);
        return text;
    }
    std::string dir_;
};

TEST_F(FileTest, CreationModesKeepOrReplaceWhatIsThere) {
    int fd = -1;
    EXPECT_EQ(openFile(path("a"), Access::kReadWrite, Create::kOpenExisting, fd), kErrFileNotFound);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(lastError(), kAppErrorBit | kErrFileNotFound);
    EXPECT_EQ(openFile(path("no/a"), Access::kReadWrite, Create::kCreateNew, fd), kErrFileNotFound);
    EXPECT_EQ(openFile(path("a"), Access::kReadWrite, Create::kTruncateExisting, fd),
              kErrFileNotFound);

    make("a", "hello");
    EXPECT_EQ(openFile(path("a"), Access::kReadWrite, Create::kCreateNew, fd), kErrFileExists);
    ASSERT_EQ(openFile(path("a"), Access::kReadWrite, Create::kOpenOrCreate, fd), 0);
    ASSERT_EQ(closeFile(fd), 0);
    EXPECT_EQ(contents("a"), "hello") << "open-or-create keeps the file";
    ASSERT_EQ(openFile(path("a"), Access::kAppend, Create::kOpenExisting, fd), 0);
    ASSERT_EQ(writeAll(fd, "!", 1), 0);
    ASSERT_EQ(closeFile(fd), 0);
    EXPECT_EQ(contents("a"), "hello!");
    ASSERT_EQ(openFile(path("a"), Access::kReadWrite, Create::kTruncateExisting, fd), 0);
    ASSERT_EQ(closeFile(fd), 0);
    EXPECT_EQ(contents("a"), "");
    ASSERT_EQ(openFile(path("w"), Access::kReadWrite, Create::kTemporary, fd), 0);
    ASSERT_EQ(closeFile(fd), 0);

    // Read access with a creating mode would create or empty a file it cannot write.
    EXPECT_EQ(openFile(path("b"), Access::kRead, Create::kCreateAlways, fd), kErrInvalidData);
    EXPECT_FALSE(fileExists(path("b").c_str()));
    // A read-only open cannot write.
    ASSERT_EQ(openFile(path("a"), Access::kRead, Create::kOpenExisting, fd), 0);
    EXPECT_EQ(writeAll(fd, "x", 1), kErrBadHandle);
    ASSERT_EQ(closeFile(fd), 0);
}

TEST_F(FileTest, PositionsAreSixtyFourBitAndNegativeOnesAreRefused) {
    int fd = -1;
    ASSERT_EQ(openFile(path("big"), Access::kReadWrite, Create::kCreateNew, fd), 0);
    const int64_t far = (int64_t{1} << 32) + 7;  // past what 32 bits can say; sparse on disk
    ASSERT_EQ(writeAllAt(fd, far, "tail", 4), 0);
    int64_t size = 0;
    ASSERT_EQ(fileSize(fd, size), 0);
    EXPECT_EQ(size, far + 4);
    char buf[8] = {};
    size_t got = 0;
    ASSERT_EQ(readFullAt(fd, far, buf, sizeof buf, got), 0);
    EXPECT_EQ(got, 4u) << "a read that reaches the end stops there";
    EXPECT_EQ(std::string(buf, got), "tail");

    int64_t pos = 0;
    ASSERT_EQ(seekFile(fd, -2, Origin::kEnd, pos), 0);
    EXPECT_EQ(pos, far + 2);
    ASSERT_EQ(readFull(fd, buf, 2, got), 0);
    EXPECT_EQ(std::string(buf, got), "il");
    ASSERT_EQ(seekFile(fd, 0, Origin::kCurrent, pos), 0);
    EXPECT_EQ(pos, far + 4) << "a plain read advances the position";

    EXPECT_EQ(seekFile(fd, -1, Origin::kStart, pos), kErrBadPosition);
    EXPECT_EQ(seekFile(fd, -(far + 5), Origin::kCurrent, pos), kErrBadPosition);
    EXPECT_EQ(readFullAt(fd, -1, buf, 1, got), kErrBadPosition);
    EXPECT_EQ(writeAllAt(fd, -1, buf, 1), kErrBadPosition);
    EXPECT_EQ(truncateFile(fd, -1), kErrBadPosition);

    ASSERT_EQ(truncateFile(fd, 3), 0);
    ASSERT_EQ(syncFile(fd), 0);
    ASSERT_EQ(fileSize(fd, size), 0);
    EXPECT_EQ(size, 3);
    ASSERT_EQ(closeFile(fd), 0);
    EXPECT_EQ(fileSize(fd, size), kErrBadHandle) << "a closed descriptor";
    EXPECT_EQ(readSome(-1, buf, 1, got), kErrBadHandle);
}

TEST_F(FileTest, DeleteRenameAndAttributes) {
    make("a", "12345");
    FileInfo info;
    ASSERT_EQ(pathInfo(path("a"), info), 0);
    EXPECT_EQ(info.size, 5);
    EXPECT_TRUE(info.isRegular);
    EXPECT_FALSE(info.isDirectory);
    EXPECT_FALSE(info.readOnly);

    ASSERT_EQ(setModifiedTime(path("a"), 1000000000), 0);
    ASSERT_EQ(setReadOnly(path("a"), true), 0);
    ASSERT_EQ(pathInfo(path("a"), info), 0);
    EXPECT_EQ(info.modified, 1000000000);
    EXPECT_TRUE(info.readOnly);
    ASSERT_EQ(setReadOnly(path("a"), false), 0);
    ASSERT_EQ(pathInfo(path("a"), info), 0);
    EXPECT_FALSE(info.readOnly);

    make("b", "old");
    ASSERT_EQ(renameFile(path("a"), path("b")), 0);
    EXPECT_EQ(contents("b"), "12345") << "rename replaces the target";
    EXPECT_EQ(renameFile(path("a"), path("c")), kErrFileNotFound);
    ASSERT_EQ(deleteFile(path("b")), 0);
    EXPECT_EQ(deleteFile(path("b")), kErrFileNotFound);
    EXPECT_EQ(pathInfo(path("b"), info), kErrFileNotFound);
    EXPECT_EQ(pathInfo(path("b/c"), info), kErrFileNotFound);
    make("f", "");
    EXPECT_EQ(pathInfo(path("f/c"), info), kErrPathNotFound) << "a file used as a directory";

    int64_t free = -1;
    ASSERT_EQ(freeDiskSpace(dir_, free), 0);
    EXPECT_GT(free, 0);
    EXPECT_EQ(freeDiskSpace(path("none"), free), kErrFileNotFound);
}

TEST_F(FileTest, DirectoriesAreMadeListedAndRemoved) {
    ASSERT_EQ(makeDirectory(path("sub")), 0);
    EXPECT_EQ(makeDirectory(path("sub")), kErrFileExists);
    EXPECT_EQ(makeDirectory(path("no/sub")), kErrPathNotFound);
    make("sub/Report.DAT", "123");
    make("sub/report.idx", "");
    make("sub/other.dat", "");
    ASSERT_EQ(makeDirectory(path("sub/inner.dat")), 0);

    std::vector<DirEntry> entries;
    ASSERT_EQ(listDirectory(path("sub"), "*.dat", entries), 0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "Report.DAT") << "sorted by name, case ignored in the match";
    EXPECT_EQ(entries[0].info.size, 3);
    EXPECT_EQ(entries[1].name, "inner.dat");
    EXPECT_TRUE(entries[1].info.isDirectory);
    EXPECT_EQ(entries[2].name, "other.dat");
    ASSERT_EQ(listDirectory(path("sub"), "", entries), 0);
    EXPECT_EQ(entries.size(), 4u) << "everything but . and ..";
    EXPECT_EQ(listDirectory(path("none"), "*", entries), kErrPathNotFound);

    // A directory that is not empty: a failure the tables do not name, its code kept.
    EXPECT_EQ(removeDirectory(path("sub")), kErrOsOther);
    EXPECT_EQ(lastError(), static_cast<uint32_t>(ENOTEMPTY));
    EXPECT_EQ(removeDirectory(path("sub/inner.dat")), 0);
    EXPECT_EQ(removeDirectory(path("sub/inner.dat")), kErrPathNotFound);

    std::string before, now;
    ASSERT_EQ(currentDirectory(before), 0);
    ASSERT_EQ(changeDirectory(path("sub")), 0);
    ASSERT_EQ(currentDirectory(now), 0);
    EXPECT_EQ(std::filesystem::path(now), std::filesystem::canonical(path("sub")));
    ASSERT_EQ(changeDirectory(before), 0);
    EXPECT_EQ(changeDirectory(path("none")), kErrPathNotFound);
}

TEST_F(FileTest, AWholeFileReadStopsPastItsLimit) {
    std::vector<uint8_t> data(200000, 'x');
    ASSERT_EQ(writeFileSafely(path("big"), data), 0);
    std::vector<uint8_t> back;
    EXPECT_EQ(readWholeFile(path("big"), back, data.size()), 0);
    EXPECT_EQ(back.size(), data.size());
    EXPECT_EQ(readWholeFile(path("big"), back, data.size() - 1), 1);
    EXPECT_TRUE(back.empty());
    // An endless device ends at the limit too.
    EXPECT_EQ(readWholeFile("/dev/zero", back, 1000000), 1);
    EXPECT_TRUE(back.empty());
}

TEST(Patterns, StarAndQuestionMarkWithoutRegardToCase) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    } cases[] = {
        {"data.dat", "*.dat", true},  {"data.dat", "*.DAT", true}, {"data.dat", "d?ta.*", true},
        {"data.dat", "*", true},      {"data.dat", "", true},      {"data.da", "*.dat", false},
        {"data.dat", "?", false},     {"a", "?*", true},           {"", "?*", false},
        {"aXbXc", "a*b*c", true},     {"abcbc", "*bc", true},      {"abcbd", "*bc", false},
        {"file[1]", "file[1]", true}, {"x", "x**", true},          {"ab", "a*b*", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchesPattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

TEST(Processes, ShellStatusAndLiveness) {
    EXPECT_EQ(runShellCommand("exit 3"), 3);
    EXPECT_EQ(runShellCommand("true"), 0);
    EXPECT_EQ(runShellCommand("kill -9 $$"), 128 + 9) << "a command ended by a signal";
    EXPECT_EQ(processId(), static_cast<int>(getpid()));
    EXPECT_TRUE(processAlive(getpid()));
    EXPECT_TRUE(processAlive(1)) << "another user's process exists too";
    EXPECT_FALSE(processAlive(0)) << "0 would ask about the whole process group";
    EXPECT_FALSE(processAlive(-1));
    // A child that has ended and been waited for is gone.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(processAlive(child));
}

}  // namespace
}  // namespace vxs::platform
