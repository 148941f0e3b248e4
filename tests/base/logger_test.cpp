// Log entries: time stamp format, level filter, log file.
#include "vxs/base/logger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/test_support.h"

namespace vxs {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

TEST(Logger, TimeStampIsMonthDayYearTimeThenBlankAndLineBreak) {
    EXPECT_EQ(logTimeStamp(2026, 12, 8, 9, 5, 7), "12/08/2026 09:05:07 \n");
    EXPECT_EQ(logTimeStamp(1999, 1, 31, 23, 59, 0), "01/31/1999 23:59:00 \n");
}

TEST(Logger, EntriesAboveTheLevelAreNotWritten) {
    auto r = test::runInChild([] {
        setLogLevel(0);
        vxlog(0, "fatal %d", 1);
        vxlog(6, "progress hidden");
        setLogLevel(6);
        vxlog(6, "progress shown");
        vxlog(8, "detail hidden");
    });
    EXPECT_THAT(r.err, HasSubstr("fatal 1\n"));
    EXPECT_THAT(r.err, HasSubstr("Log level set to 6.\n"));
    EXPECT_THAT(r.err, HasSubstr("progress shown\n"));
    EXPECT_THAT(r.err, Not(HasSubstr("hidden")));
    // Every message follows its own time stamp line.
    EXPECT_THAT(r.err, MatchesRegex("([0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} \n"
                                    "[^\n]*\n)+"));
}

TEST(Logger, LogFileReceivesEntriesAndFailureIsLogged) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("vxlog" + std::to_string(getpid()));
    auto r = test::runInChild([&] {
        setLogLevel(6);
        if (setLogFile("/nonexistent-dir/x.log") != -1) _exit(3);
        if (setLogFile(file.c_str()) != 0) _exit(4);
        vxlog(0, "into the file");
        closeLogFile();
        vxlog(0, "back on stderr");
    });
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_THAT(r.err, HasSubstr("failed open of log file /nonexistent-dir/x.log"));
    EXPECT_THAT(r.err, HasSubstr("back on stderr"));
    EXPECT_THAT(r.err, Not(HasSubstr("into the file")));
    std::stringstream content;
    content << std::ifstream(file).rdbuf();
    EXPECT_THAT(content.str(), HasSubstr("Logfile has been set to " + file.string() + "."));
    EXPECT_THAT(content.str(), HasSubstr("into the file\n"));
    fs::remove(file);
}

}  // namespace
}  // namespace vxs
