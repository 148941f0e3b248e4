// The main dispatch loop, the last-resort reporters and the fault filter.
#include "vxs/control/entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "tests/support/test_support.h"
#include "vxs/compiler/command2.h"
#include "vxs/compiler/pcb.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"

namespace vxs {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class DispatchTest : public test::CleanStateTest {};

TEST_F(DispatchTest, ActionCode40IsFatalWithStatus99) {
    auto r = test::runInChild([] {
        test::installRecordingTerminal();
        setActionCode(kActHelp);
        dispatchOnce();
    });
    EXPECT_EQ(r.exitStatus, 99);
    EXPECT_THAT(r.err, HasSubstr("Fatal error called with message: Invalid action code"));
}

TEST_F(DispatchTest, UnknownActionCodeIsFatalEvenWithoutTerminal) {
    auto r = test::runInChild([] {
        setActionCode(12345);
        dispatchOnce();
    });
    EXPECT_EQ(r.exitStatus, 99);
    EXPECT_THAT(r.err, HasSubstr("Invalid action code"));
}

TEST_F(DispatchTest, SystemCommandEndsTheLoopWithItsExitCode) {
    auto& term = test::installRecordingTerminal();
    term.inputLines = {"SYSTEM 5"};
    EXPECT_EQ(mainDispatchLoop(), 5);
    EXPECT_TRUE(term.sessionEnded);
    ASSERT_FALSE(term.screenActions.empty());
    EXPECT_EQ(term.screenActions.back(), 2304);  // the end of the terminal before the session
}

TEST_F(DispatchTest, EndOfInputAtThePromptShutsDownWithTheLastEndStatus) {
    test::installRecordingTerminal();
    EXPECT_EQ(mainDispatchLoop(), 0);
    setExitCode(3);  // as END 3 left it: SYSTEM without a number keeps it
    EXPECT_EQ(mainDispatchLoop(), 3);
}

TEST_F(DispatchTest, ResumeAndEndWithoutPendingProgramKeepTheCurrentOne) {
    test::installRecordingTerminal();
    pcb* current = nullptr;
    ASSERT_EQ(createPCB(10, 10, "CURRENT", &current), 0);
    for (int code : {kActResume, kActEndProgram}) {
        setActionCode(code);
        EXPECT_EQ(dispatchOnce(), 0);
        EXPECT_EQ(pchain.curpcb, current);
        EXPECT_EQ(actionCode(), kActCommand) << "the run loop goes back to command mode";
    }
}

TEST_F(DispatchTest, ResumePromotesThePendingProgram) {
    test::installRecordingTerminal();
    pcb* current = nullptr;
    ASSERT_EQ(createPCB(10, 10, "CURRENT", &current), 0);
    pcb* pending = nullptr;
    ASSERT_EQ(createPCB(10, 10, "PENDING", &pending), 0);
    pchain.curpcb = current;
    pchain.pendpcb = pending;
    setActionCode(kActEndProgram);
    dispatchOnce();
    EXPECT_EQ(pchain.curpcb, pending);
    EXPECT_EQ(pchain.pendpcb, nullptr);
}

TEST_F(DispatchTest, UtilitiesReturnThroughCode47WithTheirError) {
    auto& term = test::installRecordingTerminal();
    // Without a command tail: SORT has no control file (7853), INDEX no parameters (7604).
    for (const auto& [code, error] : {std::pair{kActSort, 7853}, std::pair{kActIndex, 7604}}) {
        setActionCode(code);
        dispatchOnce();
        EXPECT_EQ(actionCode(), kActAfterUtility);
        EXPECT_EQ(utilityResult(), error);
    }
    // Command mode then shows the result, takes over again and keeps the program in memory.
    term.errors.clear();
    pcb* program = pchain.curpcb;
    term.inputLines = {"SYSTEM 4"};
    dispatchOnce();
    EXPECT_THAT(term.errors, ::testing::ElementsAre("7604 -1 0"));
    EXPECT_EQ(actionCode(), kActShutdown);
    EXPECT_EQ(pchain.curpcb, program);
    EXPECT_EQ(dispatchOnce(), 1);
    EXPECT_EQ(exitCode(), 4);
}

TEST_F(DispatchTest, RunRequestRunsTheCurrentProgram) {
    auto& term = test::installRecordingTerminal();
    pcb* pc = nullptr;
    ASSERT_EQ(createPCB(10, 10, "P", &pc), 0);
    ASSERT_EQ(enterLine(*pc, "10 PRINT \"RAN\"", {}), 0);
    ASSERT_EQ(enterLine(*pc, "20 END", {}), 0);
    pc->curline = pc->firstline;
    setActionCode(kActRun);
    dispatchOnce();
    EXPECT_EQ(actionCode(), kActCommand);
    EXPECT_EQ(runStatus(), RUNSTAT_READY);
    EXPECT_THAT(term.output, ::testing::ElementsAre("RAN"));
}

// ---- consistency failures and fatal errors ----

TEST(LastResort, ConsistencyFailureReportsConditionFileAndLine) {
    auto r = test::runInChild([] {
        test::resetProcessState();
        vxassertion("x < 3", "some/file.cpp", 42);
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("Fatal error called with message: "
                                 "vxassertion (x < 3) failed in some/file.cpp line 42."));
}

int assertAgainWhileShowing(const DecodedMessage&, std::span<const RemoteOut>) {
    vxassertion("second failure", "b.cpp", 2);
}

TEST(LastResort, SecondConsistencyFailureDuringTheFirstEndsAtOnceWithMinusOne) {
    auto r = test::runInChild([] {
        test::resetProcessState();
        test::installRecordingTerminal();
        setRemoteHandler(FATALMSGCALL, assertAgainWhileShowing);
        vxassertion("first failure", "a.cpp", 1);
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("first failure"));
    EXPECT_THAT(r.err, Not(HasSubstr("second failure")));
}

TEST(LastResort, FatalErrorWhileReportingOneEndsWithMinusOne) {
    auto r = test::runInChild([] {
        test::resetProcessState();
        test::installRecordingTerminal();
        setRemoteHandler(FATALMSGCALL, [](const DecodedMessage&, std::span<const RemoteOut>) {
            return fatalError("nested", 7, 0);
        });
        fatalError("outer", 5, 0);
    });
    EXPECT_EQ(r.exitStatus, 255);
}

TEST(LastResort, TerminalMayAskToCarryOn) {
    test::resetProcessState();
    auto& term = test::installRecordingTerminal();
    term.fatalReply = 1;
    EXPECT_EQ(fatalError("recoverable", 5, 1), 1);
    EXPECT_EQ(term.fatalMessages, 1);
    EXPECT_FALSE(fatalReporting()) << "nonzero flags let a further fatal error be reported";
    EXPECT_EQ(fatalError("again", 5, 0), 1);
    EXPECT_TRUE(fatalReporting());
    test::resetProcessState();
}

TEST(LastResort, FatalErrorWithoutCarryOnExitsWithItsStatus) {
    auto r = test::runInChild([] {
        test::resetProcessState();
        auto& term = test::installRecordingTerminal();
        term.fatalReply = 0;
        fatalError("stop here", 42, 0);
    });
    EXPECT_EQ(r.exitStatus, 42);
}

TEST(LastResort, FaultEndsTheProcessBySignal) {
    auto r = test::runInChild([] {
        installExceptionFilter();
        raise(SIGSEGV);
    });
    EXPECT_EQ(r.signal, SIGSEGV);
    EXPECT_THAT(r.err, HasSubstr("Unhandled exception: signal 11."));
}

int faultWhileShowing(const DecodedMessage&, std::span<const RemoteOut>) {
    raise(SIGBUS);
    return 0;
}

TEST(LastResort, FaultDuringAConsistencyFailureEndsWithMinusOne) {
    auto r = test::runInChild([] {
        test::resetProcessState();
        installExceptionFilter();
        test::installRecordingTerminal();
        setRemoteHandler(FATALMSGCALL, faultWhileShowing);
        vxassertion("first", "a.cpp", 1);
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_EQ(r.signal, 0);
    EXPECT_THAT(r.err, Not(HasSubstr("Unhandled exception")));
}

}  // namespace
}  // namespace vxs
