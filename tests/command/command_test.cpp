// Command mode: classifying typed lines, SYSTEM, RUN, immediate statements, reading lines.
#include "vxs/command/command.h"
#include "vxs/command/cmdshared.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;

class CommandTest : public test::CleanStateTest {};

TEST_F(CommandTest, SystemWithAndWithoutExitCode) {
    struct Case {
        const char* line;
        int code;
    } cases[] = {{"SYSTEM", 77},   {"system 5", 5},   {"  SyStEm   12  ", 12},
                 {"SYSTEM +3", 3}, {"SYSTEM -1", -1}, {"SYSTEM 300", 300}};
    for (const Case& c : cases) {
        setActionCode(kActCommand);
        setExitCode(77);
        EXPECT_EQ(executeCommandLine(c.line), kLeftCommandMode) << c.line;
        EXPECT_EQ(actionCode(), kActShutdown) << c.line;
        EXPECT_EQ(exitCode(), c.code) << c.line;
    }
}

TEST_F(CommandTest, BadLinesReportTheirErrorAndLeaveTheActionCode) {
    ASSERT_EQ(createPCB(10, 10, "P", &pchain.curpcb), 0);
    struct Case {
        const char* line;
        int error;
    } cases[] = {{"SYSTEMX", 1001}, {"SYSTEM 5x", 1006}, {"SYSTEM 99999999999", 1006},
                 {"SYSTEM +", 1006}, {"SYSTEM 1 2", 1006}, {"?", 1001},
                 {"10 PRINT (", 1030}, {"10 PRINT (1", 9997}, {"100000 PRINT", 1052}};
    for (const Case& c : cases) {
        setActionCode(kActCommand);
        EXPECT_EQ(executeCommandLine(c.line), c.error) << c.line;
        EXPECT_EQ(actionCode(), kActCommand) << c.line;
    }
    EXPECT_EQ(executeCommandLine("   "), 0) << "an empty line does nothing";
}

TEST_F(CommandTest, LinesRunAndImmediateStatements) {
    pcb* pc = nullptr;
    ASSERT_EQ(createPCB(10, 10, "P", &pc), 0);
    EXPECT_EQ(executeCommandLine("RUN"), kErrNoProgram);
    EXPECT_EQ(executeCommandLine("10 PRINT 1"), 0);
    EXPECT_EQ(pc->linecnt, 1);
    EXPECT_EQ(executeCommandLine("RUN"), kLeftCommandMode);
    EXPECT_EQ(actionCode(), kActRun);
    setActionCode(kActCommand);
    EXPECT_EQ(executeCommandLine("PRINT 2"), kLeftCommandMode);
    EXPECT_EQ(actionCode(), kActRun);
    EXPECT_TRUE(t.runImmediate);
    t.runImmediate = false;
    commandWork().ci.push_back({});  // a suspended program
    EXPECT_EQ(executeCommandLine("RUN"), kErrProgramActive);
    commandWork().ci.clear();
}

TEST_F(CommandTest, CommandModeReadsUntilALineLeavesIt) {
    auto& term = test::installRecordingTerminal();
    term.inputLines = {"HELLO", "", "SYSTEM 9", "NOT READ"};
    commandMode();
    EXPECT_EQ(actionCode(), kActShutdown);
    EXPECT_EQ(exitCode(), 9);
    EXPECT_THAT(term.errors, ElementsAre("1006 -1 0"));
}

TEST_F(CommandTest, EndOfInputActsAsSystem) {
    test::installRecordingTerminal();
    setExitCode(5);  // as END 5 or STOP 5 left it: a plain SYSTEM keeps it
    commandMode();
    EXPECT_EQ(actionCode(), kActShutdown);
    EXPECT_EQ(exitCode(), 5);
}

TEST_F(CommandTest, LineLongerThanTheFieldIsError1060) {
    auto& term = test::installRecordingTerminal();
    // The recording terminal hands over whole lines: mark the long one as the stream would.
    setRemoteHandler(CONSOLEINPUTCALL, [](const DecodedMessage&, std::span<const RemoteOut>) {
        static int calls = 0;
        if (calls++ == 0)
            return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP,
                                      {rpInt(kInputTooLong), rpText("A")});
        return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(kInputEnded), rpText("")});
    });
    commandMode();
    EXPECT_THAT(term.errors, ElementsAre("1060 -1 0"));
    EXPECT_EQ(actionCode(), kActShutdown);
}

}  // namespace
}  // namespace vxs
