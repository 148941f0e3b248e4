// Run status, activity class, network connections and work files.
#include "vxs/base/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "tests/support/test_support.h"
#include "vxs/screen/statline.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;

class RunStatusTest : public test::CleanStateTest {};

TEST_F(RunStatusTest, NamesOfEveryStatus) {
    const char* expected[] = {"READY",  "RUN",  "ATTN", "ERROR",   "PAUSE", "CHAIN", "LIST", "STEP",
                              "SYSERR", "LOAD", "SAVE", "REPLACE", "PROC",  "EXEC",  "READY"};
    for (int s = 0; s <= RUNSTAT_READY; ++s) EXPECT_STREQ(runStatusName(s), expected[s]) << s;
}

TEST_F(RunStatusTest, StatusAbove14IsAConsistencyFailure) {
    auto r = test::runInChild([] { setRunStatus(15); });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, ::testing::HasSubstr("BETWEEN(RUNSTAT_INVALID, RUNSTAT_READY, status)"));
}

TEST_F(RunStatusTest, ActivityClassFollowsTheStatus) {
    for (int s : {RUNSTAT_ATTN, RUNSTAT_ERROR, RUNSTAT_PAUSE, RUNSTAT_STEP, RUNSTAT_EXEC}) {
        setRunStatus(s);
        EXPECT_EQ(activityClass(), kActive) << s;
    }
    setRunStatus(RUNSTAT_READY);
    EXPECT_EQ(activityClass(), kReady);
    for (int s : {RUNSTAT_INVALID, RUNSTAT_RUN, RUNSTAT_LOAD, RUNSTAT_PROC}) {
        setRunStatus(s);
        EXPECT_EQ(activityClass(), kIdle) << s;
    }
}

TEST_F(RunStatusTest, TerminalHearsOnlyChangesIntoAndOutOfActive) {
    auto& term = test::installRecordingTerminal();
    setRunStatus(RUNSTAT_READY);
    setRunStatus(RUNSTAT_ERROR);    // into active: may not close
    setRunStatus(RUNSTAT_PAUSE);    // still active
    setRunStatus(RUNSTAT_READY);    // out of active
    setRunStatus(RUNSTAT_INVALID);  // idle, not active either
    EXPECT_THAT(term.canClose, ElementsAre(0, 1));
}

TEST_F(RunStatusTest, StatusLineRewrittenOnlyWhenTheNameChanges) {
    auto& term = test::installRecordingTerminal();
    setRunStatusShown(RUNSTAT_READY);
    setRunStatusShown(RUNSTAT_INVALID);  // also "READY"
    setRunStatusShown(RUNSTAT_LIST);
    setRunStatus(RUNSTAT_LOAD);  // recorded, not shown
    setRunStatusShown(RUNSTAT_LIST);
    EXPECT_THAT(term.statusTexts, ElementsAre("READY", "LIST"));
}

TEST(NetConnections, FailedCancellationsStayInTheTable) {
    setNetCanceller([](const std::string& name) { return name == "\\\\server\\keep" ? 1 : 0; });
    netConnectionAdd("\\\\server\\a");
    netConnectionAdd("\\\\server\\keep");
    netConnectionAdd("\\\\server\\b");
    cancelNetConnections();
    EXPECT_EQ(netConnectionCount(), 1u);
    setNetCanceller(nullptr);  // back to the platform's, which always succeeds
    cancelNetConnections();
    EXPECT_EQ(netConnectionCount(), 0u);
}

TEST(WorkFiles, NamesCarryWorkstationSessionAndCounter) {
    EXPECT_EQ(workFileName("/tmp/work/", 7, 1, 1), "/tmp/work/w00711.wrk");
    EXPECT_EQ(workFileName("", 123, 9, 12), "w123912.wrk");
}

TEST(WorkFiles, DeletionStopsAtTheFirstMissingCounter) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vxwork" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string prefix = dir.string() + "/";
    for (int c : {1, 2, 4}) std::ofstream(workFileName(prefix, 5, 2, c)) << "x";
    EXPECT_EQ(deleteWorkFiles(prefix, 5, 2), 2);
    EXPECT_FALSE(fs::exists(workFileName(prefix, 5, 2, 1)));
    EXPECT_FALSE(fs::exists(workFileName(prefix, 5, 2, 2)));
    EXPECT_TRUE(fs::exists(workFileName(prefix, 5, 2, 4))) << "counter 3 is missing: stop there";
    fs::remove_all(dir);
}

// The hooks the layers above register, replaced by counting ones for a test and put back after.
class ProcessHooksTest : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = processHooks(); }
    void TearDown() override { setProcessHooks(saved_); }
    ProcessHooks saved_;
    static inline int polls = 0, dispatches = 0, idles = 0, depth = 0;
    static inline bool open = false;
    static inline std::string queued;
    static inline bool queuedTyped = false;
    static ProcessHooks counting() {
        polls = dispatches = idles = 0;
        queued.clear();
        ProcessHooks h;
        h.dispatchPending = [] { ++dispatches; };
        h.processIdle = [] { return ++idles < 3; };  // asks twice for more
        h.pollLink = [] { ++polls; };
        h.linkOpen = [] { return open; };
        h.queueCommand = [](std::string_view c, bool typed) {
            queued.assign(c);
            queuedTyped = typed;
        };
        h.procedureDepth = [] { return depth; };
        return h;
    }
};

TEST_F(ProcessHooksTest, WaitsPumpTheFrontEndAndPollTheLinkThroughTheHooks) {
    setProcessHooks(counting());
    pump();
    EXPECT_EQ(idles, 3) << "idle processing repeats while it asks for more";
    EXPECT_EQ(dispatches, 3);
    timedWait(0);
    EXPECT_EQ(polls, 1) << "a zero wait dispatches and polls once";
    timedWait(25000);
    EXPECT_EQ(polls, 4) << "25 ms wait in 10 ms slices, the link polled after each";
    yieldControl();
    EXPECT_EQ(polls, 5);
    open = true;
    EXPECT_TRUE(linkOpen());
    open = false;
    EXPECT_FALSE(linkOpen());
}

TEST_F(ProcessHooksTest, CommandQueueAndProcedureDepthGoToCommandMode) {
    setProcessHooks(counting());
    depth = 2;
    EXPECT_EQ(openProcedureDepth(), 2);
    queueCommandForExecute("LIST 10", true);
    EXPECT_EQ(queued, "LIST 10");
    EXPECT_TRUE(queuedTyped);
}

TEST_F(ProcessHooksTest, WithoutHooksTheHelpersDoWithout) {
    setProcessHooks(ProcessHooks{});
    EXPECT_FALSE(linkOpen());
    EXPECT_EQ(openProcedureDepth(), 0);
    queueCommandForExecute("RUN", false);  // nowhere to go: dropped, no crash
    pump();
    timedWait(1000);
    setRunStatusShown(RUNSTAT_RUN);
    EXPECT_EQ(runStatus(), RUNSTAT_RUN);
    setRunStatus(RUNSTAT_READY);
}

TEST(Waiting, HelpersReturnWithoutAnEventLoop) {
    // Outside the application's main loop there is nothing to dispatch; the waits still wait.
    dispatchPending();
    pump();
    timedWait(0);
    timedWait(1500);
    timedWait(-5);
    SUCCEED();
}

}  // namespace
}  // namespace vxs
