// Flow control in the run loop: what the flow and FOR stacks hold between clauses, the stack
// limits, trapped errors and their recorded position, and the condition search's choices
// between statement exits, the ON table and IGNORE.
#include "vxs/interpreter/flow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/run_session.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/library.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class Flow : public test::RunSession {
  protected:
    void TearDown() override {
        setFlowLimits(50, 30);
        resetFlow();
        test::RunSession::TearDown();
    }
    // The condition search for `err` raised in the first clause of line `number`.
    int search(uint32_t number, int& err) {
        resolveProgram(program());
        const std::span<const uint8_t> code = lineCode(program(), lineIndex(number));
        ClauseView v;
        EXPECT_EQ(decodeClause(code, 0, v), 0);
        return conditionSearch(program(), err, code, v);
    }
};

TEST_F(Flow, ReenteringAForLoopReusesItsEntry) {
    enter({"10 FOR I = 1 TO 5", "20 N = N + 1 \\ IF N < 10000 THEN GOTO 10", "30 PAUSE",
           "40 NEXT I", "50 END"});
    EXPECT_EQ(run(), RUNSTAT_PAUSE);
    EXPECT_THAT(errors(), IsEmpty());
    EXPECT_EQ(forStackUse(), 1u);
    EXPECT_EQ(resume(), RUNSTAT_PAUSE);  // the loop goes on from where it paused
    EXPECT_EQ(forStackUse(), 1u);
}

TEST_F(Flow, TheForStackLimitIsError9004) {
    setFlowLimits(50, 2);
    enter({"10 FOR I = 1 TO 2 \\ FOR J = 1 TO 2 \\ FOR K = 1 TO 2", "20 NEXT K \\ NEXT J \\ NEXT I",
           "30 END"});
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(errors(), ElementsAre("9004 10 3"));
}

TEST_F(Flow, GosubFramesAndTheCallDepthSurviveAPause) {
    enter({"10 GOSUB 100 \\ PRINT \"BACK\"", "20 END", "100 PAUSE", "110 RETURN"});
    EXPECT_EQ(run(), RUNSTAT_PAUSE);
    EXPECT_EQ(flowStackUse(), 1u);
    EXPECT_EQ(t.calldepth, 1);
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("BACK"));
    EXPECT_EQ(flowStackUse(), 0u);
    EXPECT_EQ(t.calldepth, 0);
}

TEST_F(Flow, ATrappedErrorIsRecordedAtItsClauseButAnIgnoredOneIsNot) {
    enter({"10 ON ZDIV IGNORE", "20 A = 1 \\ B = A / 0 \\ PRINT \"ON\"", "30 PAUSE",
           "40 ON ZDIV SYSTEM \\ ON ERROR GOTO 100", "50 A = 1 \\ B = A / 0", "60 END",
           "100 PRINT ERR; LINE", "110 END"});
    EXPECT_EQ(run(), RUNSTAT_PAUSE);
    EXPECT_THAT(output(), ElementsAre("ON"));
    EXPECT_EQ(program().lasterror, 0);
    EXPECT_EQ(program().errorline, -1);
    EXPECT_EQ(resume(), RUNSTAT_READY);  // ZDIV not set again: ON ERROR takes it
    EXPECT_THAT(output(), ElementsAre("6 50"));
    EXPECT_EQ(program().errorline, lineIndex(50));
    EXPECT_EQ(static_cast<size_t>(program().erroroffset), clauseOffset(50, 2));
}

TEST_F(Flow, APageOverflowIsIgnoredUnlessAskedForAndCatchAllExitsPassItOver) {
    enter({"10 PRINT 1 ERROR 100", "20 PRINT 2 PAGEOFLOW 100", "100 END"});
    prepareRun(program());
    int err = 701;
    EXPECT_EQ(search(10, err), -3);  // PAGEOFLOW starts as IGNORE; ERROR does not catch it
    EXPECT_EQ(search(20, err), lineIndex(100));
    program().condtargets[5] = lineIndex(20);
    EXPECT_EQ(search(10, err), lineIndex(20));
    err = 6;
    EXPECT_EQ(search(10, err), lineIndex(100));  // the ERROR exit catches anything else
    EXPECT_EQ(err, 6);
}

TEST_F(Flow, IoStatementsFallBackToIoerrThenError) {
    enter({"10 PRINT 1", "20 A = 1", "100 END", "200 END"});
    prepareRun(program());
    int err = 54;  // end of file
    EXPECT_EQ(search(10, err), -2);
    program().condtargets[8] = lineIndex(200);  // ON ERROR
    EXPECT_EQ(search(10, err), lineIndex(200));
    program().condtargets[6] = lineIndex(100);  // ON IOERR
    EXPECT_EQ(search(10, err), lineIndex(100));
    err = 6;  // an I/O statement's ZDIV with ZDIV not set: IOERR too
    EXPECT_EQ(search(10, err), lineIndex(100));
    EXPECT_EQ(search(20, err), lineIndex(200));  // elsewhere ERROR
}

TEST_F(Flow, TheIoerrExemptionKeepsOverflowsFromAnIoerrExit) {
    enter({"10 PRINT 1 IOERR 100", "100 END"});
    prepareRun(program());
    int err = 4;  // SOFLOW
    EXPECT_EQ(search(10, err), lineIndex(100));
    setIoerrExemption(true);
    EXPECT_EQ(search(10, err), -2);
    err = 54;  // other I/O errors are still caught
    EXPECT_EQ(search(10, err), lineIndex(100));
    setIoerrExemption(false);
}

TEST_F(Flow, EndingARunWithALibraryCurrentAndNoCallIs9997AndReleasesIt) {
    enter({"10 END"});
    pcb* lib = nullptr;
    ASSERT_EQ(createPCB(10, 10, "LIB", &lib), 0);
    lib->libmode = kLibLoaded;
    pchain.curpcb = lib;  // as if a call had been abandoned without its frame
    setActionCode(kActEndProgram);
    runLoop();
    EXPECT_THAT(errors(), ElementsAre("9997 0 0"));
    EXPECT_EQ(pchain.curpcb, &program());
    for (const pcb* p = pchain.pcbhead; p; p = p->next) EXPECT_NE(p->libmode, kLibLoaded);
}

TEST_F(Flow, AnExitReferenceToALineWithoutExitIsError230) {
    enter({"10 PRINT 1/0 EXIT 20", "20 PRINT 2", "30 END"});
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(errors(), ElementsAre("230 10 1"));
}

TEST_F(Flow, OnFnkeyTakesKeys1To10And99Only) {
    enter({"10 ON FNKEY 10 GOTO 40", "20 ON FNKEY 99 IGNORE", "30 ON FNKEY 11 GOTO 40",
           "40 END"});
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(errors(), ElementsAre("205 30 1"));
    EXPECT_EQ(program().condnumbered[9], lineIndex(40));
}

TEST_F(Flow, SystemEndsTheProgramAndAsksForShutDown) {
    enter({"10 SYSTEM 12", "20 PRINT \"NOT HERE\""});
    run();
    EXPECT_EQ(actionCode(), kActShutdown);
    EXPECT_EQ(exitCode(), 12);
    EXPECT_THAT(output(), IsEmpty());
    EXPECT_FALSE(shutdownRequested());
    setExitCode(0);
}

TEST_F(Flow, ACallPausedInItsBodyResumesIntoTheCallerAndEndingTheRunRestoresFormals) {
    enter({"10 N = 7", "20 DEF FNX(N)", "30 PAUSE \\ FNX = N + 1", "40 FNEND",
           "50 PRINT \"R\"; FNX(1); N", "60 PRINT FNX(2)", "70 PAUSE", "80 END"});
    EXPECT_EQ(run(), RUNSTAT_PAUSE);
    EXPECT_EQ(flowStackUse(), 1u);
    EXPECT_EQ(t.calldepth, 1);
    const int n = 256 + 0;  // N is the first name of the program
    ASSERT_EQ(dictName(program(), n), "N");
    EXPECT_EQ(dictEntry(program(), n)->number(), 1);  // the formal's local
    EXPECT_EQ(resume(), RUNSTAT_PAUSE);  // the caller's PRINT gets the value; then line 60 calls
    EXPECT_THAT(output(), ElementsAre("R2 7"));
    EXPECT_EQ(dictEntry(program(), n)->number(), 2);
    resetFlow();  // end-of-program processing with the call still open
    EXPECT_EQ(dictEntry(program(), n)->number(), 7);
    EXPECT_EQ(flowStackUse(), 0u);
    EXPECT_EQ(t.calldepth, 0);
}

TEST_F(Flow, AnErrorInAFunctionBodyIsTrappedLikeAnyOther) {
    enter({"10 ON ZDIV GOTO 100", "20 DEF FNV(X) = 1 / X", "30 PRINT FNV(4); FNV(0)", "40 END",
           "100 PRINT \"TRAPPED\"; ERR; LINE", "110 END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("TRAPPED6 20"));
    EXPECT_EQ(flowStackUse(), 0u);
}

// A string result reaches the caller's clause as a temporary of its own, copied before the
// call's entries go back; the work stack holding nothing more is error 9001 at the FNEND, with
// the entries given back all the same.
TEST_F(Flow, AStringResultIsCopiedIntoTheCallersClause) {
    enter({"20 DEF FNR$(S$)", "30 FNR$ = S$", "40 FNEND",
           "50 S$ = \"KEEP\" \\ A$ = FNR$(\"ABCDEFGHIJKLMNOPQR\") \\ PRINT A$; S$", "70 END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("ABCDEFGHIJKLMNOPQRKEEP"));

    // The body makes no temporary: a work stack too small for the value fails at the return.
    bool atFnend = false;
    for (int bytes = 0; bytes <= 512 && !atFnend; bytes += 8) {
        resetFlow();  // a run stopped inside the body keeps frames that point into the stacks
        ASSERT_EQ(allocateStacks(kDefaultRpnStack, bytes), 0);
        if (run() != RUNSTAT_ERROR || errors() != std::vector<std::string>{"9001 40 1"}) continue;
        atFnend = true;
        EXPECT_EQ(flowStackUse(), 0u);
        EXPECT_EQ(std::string(cellString(dictEntry(program(), findName(program(), "S$")))), "KEEP");
    }
    EXPECT_TRUE(atFnend);
    resetFlow();
    ASSERT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
}

}  // namespace
}  // namespace vxs
