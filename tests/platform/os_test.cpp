// Platform stand-ins: paths, the last error, the line reader.
#include "vxs/platform/os.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "vxs/control/errors.h"

namespace vxs::platform {
namespace {

TEST(Paths, ModuleFileNameIsTheRunningExecutable) {
    char buf[512];
    const size_t n = moduleFileName(buf, sizeof buf);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(buf[0], '/');
    EXPECT_NE(std::string(buf).find("vxs_tests"), std::string::npos);
    char small[4];
    EXPECT_EQ(moduleFileName(small, sizeof small), 0u);
    EXPECT_EQ(lastError(), static_cast<uint32_t>(ERANGE));
}

TEST(Paths, CurrentDirectoryThatDoesNotFitFails) {
    char buf[512];
    ASSERT_EQ(currentDirectory(buf, sizeof buf), 0);
    EXPECT_EQ(buf[0], '/');
    char small[1];
    EXPECT_EQ(currentDirectory(small, sizeof small), -1);
    EXPECT_EQ(lastError(), kAppErrorBit | kErrNameTooLong);
}

TEST(LastError, KeepsTheSystemsOwnBit) {
    setLastError(kAppErrorBit | 1006);
    EXPECT_EQ(lastError() & kAppErrorBit, kAppErrorBit);
    EXPECT_EQ(lastError() & ~kAppErrorBit, 1006u);
    errno = ENOENT;
    EXPECT_EQ(failed(), -1);
    EXPECT_EQ(lastError(), static_cast<uint32_t>(ENOENT));
}

TEST(LineReader, SplitsLinesAcrossReadsAndKeepsBlankLines) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    const std::string text = std::string(5000, 'a') + "\n\nb\r\nc";
    ASSERT_EQ(write(p[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(p[1]);
    LineReader reader(p[0]);
    std::string line;
    bool cut = false;
    ASSERT_EQ(reader.readLine(line, 10000, cut), 0);
    EXPECT_EQ(line.size(), 5000u) << "a line longer than the reader's buffer";
    EXPECT_FALSE(cut);
    ASSERT_EQ(reader.readLine(line, 10000, cut), 0);
    EXPECT_EQ(line, "");
    ASSERT_EQ(reader.readLine(line, 10000, cut), 0);
    EXPECT_EQ(line, "b");
    ASSERT_EQ(reader.readLine(line, 1, cut), 0);
    EXPECT_EQ(line, "c");
    EXPECT_FALSE(cut);
    EXPECT_EQ(reader.readLine(line, 10000, cut), 1);
    close(p[0]);
}

TEST(LineReader, ReadErrorIsReported) {
    LineReader reader(-1);
    std::string line;
    bool cut = false;
    EXPECT_EQ(reader.readLine(line, 10, cut), -1);
    EXPECT_EQ(lastError(), kAppErrorBit | kErrBadHandle);
}

}  // namespace
}  // namespace vxs::platform
