// Platform stand-ins: paths, the last error, the line reader.
#include "vxs/platform/os.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>

#include <cerrno>
#include <string>

#include "vxs/errors/errors.h"
#include "vxs/platform/ttymodes.h"

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

// A child's output is kept off the terminal: both streams captured, input empty, the exit status
// kept; a child it leaves running with the pipe open does not hold the wait.
TEST(ChildProcess, OutputIsCapturedAndABackgroundChildDoesNotHoldTheWait) {
    std::string out;
    EXPECT_EQ(runShellCommandCaptured("echo one; echo two >&2; read x || echo no-input; exit 3", out),
              3);
    EXPECT_EQ(out, "one\ntwo\nno-input\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runShellCommandCaptured("echo started; sleep 5 &", out), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(out, "started\n");
    EXPECT_NE(runProgramCaptured({"no-such-program-here"}, out), 0);
    // Output beyond the limit is read and dropped: the child never blocks on a full pipe.
    EXPECT_EQ(runShellCommandCaptured("head -c 300000 /dev/zero", out), 0);
    EXPECT_EQ(out.size(), kCapturedBytes);
}

// While a full screen holds standard error, what is written there waits in a file and reaches
// the real standard error when the hold ends.
TEST(ChildProcess, StandardErrorHeldWhileAScreenOwnsTheTerminal) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const int saved = dup(2);
    ASSERT_GE(saved, 0);
    ASSERT_GE(dup2(pipeFds[1], 2), 0);
    ASSERT_EQ(holdStandardError(), 0);
    ASSERT_EQ(write(2, "held\n", 5), 5);
    EXPECT_EQ(runProgram({"sh", "-c", "echo child >&2"}, true), 0);
    char buf[64];
    // Nothing has reached the real standard error yet.
    ASSERT_EQ(fcntl(pipeFds[0], F_SETFL, O_NONBLOCK), 0);
    EXPECT_LT(read(pipeFds[0], buf, sizeof buf), 0);
    releaseStandardError();
    const ssize_t got = read(pipeFds[0], buf, sizeof buf);
    dup2(saved, 2);
    close(saved);
    close(pipeFds[0]);
    close(pipeFds[1]);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(got)), "held\nchild\n");
}

}  // namespace
}  // namespace vxs::platform
