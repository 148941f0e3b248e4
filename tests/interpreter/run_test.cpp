// The run loop: how a run ends (END, running off the end, errors, typed statements), the
// per-line work (trace, stop line, break request, attention poll), the per-clause work
// (stepping, break points, the stack check), PAUSE, and resuming where a run stopped.
#include "vxs/interpreter/run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "tests/support/run_session.h"
#include "vxs/clientserver/common.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/base/process.h"

namespace vxs {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using test::PolledKeys;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class RunLoop : public test::RunSession {};

TEST_F(RunLoop, EndFinishesTheRunAndRunningOffTheEndIsError213) {
    enter({"10 PRINT 1", "20 END", "30 PRINT 3"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("1"));
    EXPECT_THAT(errors(), IsEmpty());
    EXPECT_EQ(actionCode(), kActCommand);

    // Without END the last line runs, then 213 is raised at its last clause.
    enter({"20 X = 2 \\ PRINT X"});
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(output(), ElementsAre("1", "2", "3"));
    EXPECT_THAT(errors(), ElementsAre("213 30 1"));
    EXPECT_EQ(program().curline, lineIndex(30));
    EXPECT_EQ(program().lasterror, 213);
}

TEST_F(RunLoop, AJumpPastTheLastLineIsError213ThereToo) {
    enter({"10 GOTO 30", "20 END", "30 X = 1 \\ PRINT \"LAST\""});
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(output(), ElementsAre("LAST"));
    EXPECT_THAT(errors(), ElementsAre("213 30 2"));
}

TEST_F(RunLoop, AnErrorIsRecordedAtItsClauseAndResumingRunsThatClauseAgain) {
    enter({"10 A = 1", "20 PRINT A \\ B = A / 0 \\ PRINT 2", "30 END"});
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(output(), ElementsAre("1"));
    EXPECT_THAT(errors(), ElementsAre("6 20 2"));
    EXPECT_EQ(program().lasterror, 6);
    EXPECT_EQ(program().errorline, lineIndex(20));
    EXPECT_EQ(static_cast<size_t>(program().erroroffset), clauseOffset(20, 2));
    EXPECT_EQ(program().curline, lineIndex(20));
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(20, 2));

    EXPECT_EQ(resume(), RUNSTAT_ERROR);  // the division runs again, not the PRINT before it
    EXPECT_THAT(output(), IsEmpty());
    EXPECT_THAT(errors(), ElementsAre("6 20 2"));
}

TEST_F(RunLoop, TypedStatementsReportErrorsAtPositionZero) {
    EXPECT_EQ(immediate("PRINT 5 / 0"), RUNSTAT_ERROR);
    EXPECT_THAT(errors(), ElementsAre("6 0 0"));
    EXPECT_EQ(immediate("X = 1 \\ PRINT X \\ Y = X / 0"), RUNSTAT_ERROR);
    EXPECT_THAT(output(), ElementsAre("1"));
    EXPECT_THAT(errors(), ElementsAre("6 0 0"));
    EXPECT_EQ(program().lasterror, 0) << "a typed statement's error is not the program's";
    EXPECT_EQ(program().curline, 0);
    EXPECT_EQ(program().savedclauseoffset, 0);

    EXPECT_EQ(immediate("PRINT \"DONE\""), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("DONE"));
    EXPECT_THAT(errors(), IsEmpty());
}

TEST_F(RunLoop, AFalseIfInATypedStatementEndsThatStatement) {
    // A typed statement has no next line to go to: a false IF passes over the rest of it.
    EXPECT_EQ(immediate("IF 0 THEN PRINT 1"), RUNSTAT_READY);
    EXPECT_THAT(errors(), IsEmpty());
    EXPECT_THAT(output(), IsEmpty());
    EXPECT_EQ(immediate("IF 0 THEN PRINT 1 ELSE PRINT 2"), RUNSTAT_READY);
    EXPECT_EQ(immediate("IF 1 THEN PRINT 3"), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("2", "3"));
    EXPECT_THAT(errors(), IsEmpty());
}

TEST_F(RunLoop, DamagedCodeStopsWithStatus8) {
    t.immediate = {0x00, 0x0B, 0x00, 0x41, 0x7F};  // + with nothing to add
    t.runImmediate = true;
    setActionCode(kActRun);
    runLoop();
    EXPECT_EQ(runStatus(), RUNSTAT_SYSERR);
    EXPECT_THAT(errors(), ElementsAre("9301 0 0"));

    enter({"10 X = 1", "20 END"});
    const int16_t i = lineIndex(10);
    const uint32_t at = program().lineptr[static_cast<size_t>(i)].code;
    ASSERT_EQ(program().codearea[at + 5], 0x0D);  // after the two words: the assignment
    program().codearea[at + 5] = 0x0F;            // now a concatenation of two numbers
    EXPECT_EQ(run(), RUNSTAT_SYSERR);
    EXPECT_THAT(errors(), ElementsAre("9301 10 1"));
    EXPECT_EQ(program().lasterror, 9301);
}

TEST_F(RunLoop, AnIfTargetThatPointsBackInItsLineIsDamagedCode) {
    enter({"10 PRINT \"S\" \\ X = X + 1 \\ IF X > 3 THEN PRINT X ELSE PRINT 0", "20 END"});
    const std::span<const uint8_t> code = lineCode(program(), lineIndex(10));
    ClauseView v;
    ASSERT_EQ(decodeClause(code, clauseOffset(10, 3), v), 0);
    ASSERT_EQ(v.code, StIf);
    // Aim the false branch back at X = X + 1, as if the code were damaged.
    uint8_t* word = program().codearea.data() + program().lineptr[static_cast<size_t>(lineIndex(10))].code +
                    v.wordsAt;
    writeWord(word, static_cast<uint16_t>(-static_cast<int>(clauseOffset(10, 2))));
    EXPECT_EQ(run(), RUNSTAT_SYSERR);
    EXPECT_THAT(output(), ElementsAre("S"));
    EXPECT_THAT(errors(), ElementsAre("9301 10 3"));
}

TEST_F(RunLoop, TraceWritesEachLineNumberAsItStarts) {
    t.breakflags |= kTraceOn;  // as TRACE ON typed before RUN
    enter({"10 X = 1", "20 Y = 2", "30 END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("00010 00020 00030 "));

    // Printed text follows the numbers on the same line; TRACE OFF stops it.
    t.breakflags = 0;
    enter({"10 TRACE ON", "20 PRINT \"A\"", "30 TRACE OFF", "40 PRINT \"B\"", "50 END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("00020 A", "00030 B"));
    EXPECT_FALSE(t.breakflags & kTraceOn);
}

TEST_F(RunLoop, AJumpToTheStartOfTheSameLineStartsThatLineAgain) {
    t.breakflags |= kTraceOn;
    enter({"10 X = X + 1 \\ IF X < 3 THEN GOTO 10", "20 PRINT X", "30 END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("00010 00010 00010 00020 3", "00030 "));
}

TEST_F(RunLoop, TheAttentionKeyIsPolledAtTheFirstLineAndEveryEighthLine) {
    PolledKeys::polls = 0;
    PolledKeys::keys.clear();
    PolledKeys::install();
    // 41 line starts: polls at the 1st, 9th, 17th, 25th, 33rd and 41st.
    enter({"10 X = X + 1", "20 IF X < 20 THEN GOTO 10", "30 END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_EQ(PolledKeys::polls, 6);

    PolledKeys::polls = 0;
    t.breakLines = 1;
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_EQ(PolledKeys::polls, 41);
}

// What the debugger link will do while a statement waits: set a break point mid-run.
int setBreakAtPoll(const DecodedMessage&, std::span<const RemoteOut>) {
    if (++PolledKeys::polls == 2) {
        pchain.curpcb->breakpoints.push_back({40, 1, false});
        noteWatchChange();
    }
    return CallFunctionRemote(KEYBOARDRET, IN_RESP, {rpInt(0)});
}

TEST_F(RunLoop, ABreakPointSetWhileTheRunWaitsIsNotMissed) {
    PolledKeys::polls = 0;
    PolledKeys::install();  // every poll reaches the keyboard handler
    setRemoteHandler(KEYBOARDCALL, setBreakAtPoll);
    enter({"10 A = 0", "20 A = A + 1", "30 IF A < 50 THEN GOTO 20", "40 PRINT A \\ PRINT \"AFTER\"",
           "50 END"});
    EXPECT_EQ(run(), RUNSTAT_STEP);
    EXPECT_EQ(program().curline, lineIndex(40));
    EXPECT_THAT(output(), IsEmpty());
    program().breakpoints.clear();
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("50", "AFTER"));
}

TEST_F(RunLoop, TheAttentionKeyStopsEvenAOneLineLoopAndTheRunResumes) {
    PolledKeys::polls = 0;
    PolledKeys::keys = {{3, kKeyAttention}};
    PolledKeys::install();
    enter({"10 X = X + 1 \\ IF X < 100000 THEN GOTO 10", "20 PRINT X", "30 END"});
    EXPECT_EQ(run(), RUNSTAT_ATTN);
    EXPECT_EQ(PolledKeys::polls, 3);
    EXPECT_EQ(program().curline, lineIndex(10));
    EXPECT_EQ(program().savedclauseoffset, 0);
    EXPECT_THAT(errors(), IsEmpty());
    PolledKeys::keys.clear();
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("100000"));
}

TEST_F(RunLoop, ALoopInsideOneLineIsPolledLikeLinesAndResumesWhereItStopped) {
    PolledKeys::polls = 0;
    PolledKeys::keys = {{3, kKeyAttention}};
    PolledKeys::install();
    enter({"10 X = 0 \\ DO \\ X = X + 1 \\ LOOP WHILE X < 100000 \\ PRINT X", "20 END"});
    EXPECT_EQ(run(), RUNSTAT_ATTN);
    EXPECT_EQ(PolledKeys::polls, 3);  // the first line, then every eighth pass of the loop
    EXPECT_EQ(program().curline, lineIndex(10));
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(10, 2));  // the DO
    PolledKeys::keys.clear();
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("100000"));
}

TEST_F(RunLoop, FunctionKeysTakeTheirTableEntryAndRecordError1) {
    PolledKeys::install();
    t.breakLines = 1;
    // Key 3 at the third poll (line 30): its ON FNKEY line runs with error 1 recorded at 30.
    PolledKeys::polls = 0;
    PolledKeys::keys = {{3, 3 * 256}};
    enter({"10 ON FNKEY 3 GOTO 100 \\ ON FNKEY 4 IGNORE", "20 X = 1", "30 X = 2", "40 END",
           "100 PRINT ERR; LINE \\ END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("1 30"));
    // An ignored key, a key without an entry and a key that is no function key change nothing.
    PolledKeys::polls = 0;
    PolledKeys::keys = {{2, 4 * 256}, {3, 5 * 256}, {4, 11 * 256}};
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), IsEmpty());
    EXPECT_THAT(errors(), IsEmpty());
    // SYSTEM leaves the key without a line: error 1, which the EVENT entry decides (IGNORE at
    // the start of a run), falling back to ON ERROR when that is not set either.
    enter({"10 ON FNKEY 3 SYSTEM"});
    PolledKeys::polls = 0;
    PolledKeys::keys = {{3, 3 * 256}};
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), IsEmpty());
    enter({"10 ON FNKEY 3 SYSTEM \\ ON EVENT SYSTEM"});
    PolledKeys::polls = 0;
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(errors(), ElementsAre("1 30 1"));
    enter({"10 ON FNKEY 3 SYSTEM \\ ON EVENT GOTO 100"});
    PolledKeys::polls = 0;
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("1 30"));
    PolledKeys::keys.clear();
}

TEST_F(RunLoop, TheHelpKeyTakesOnHelpOrShowsTheHelpTopicAndGoesOn) {
    PolledKeys::install();
    t.breakLines = 1;
    PolledKeys::polls = 0;
    PolledKeys::keys = {{2, kKeyHelp}};
    enter({"10 ON HELP GOTO 100", "20 X = 1", "30 END", "100 PRINT ERR; LINE \\ END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("5 20"));
    enter({"10 REM no trap", "30 PRINT \"ON\" \\ END"});
    PolledKeys::polls = 0;
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("ON"));
    EXPECT_THAT(term->statusTexts, Contains(HasSubstr("*CMDMENU,ktcmd.kth")));
    PolledKeys::keys.clear();
}

TEST_F(RunLoop, ABreakPointStopsBeforeItsClauseAndResumingPassesItOnce) {
    enter({"10 X = X + 1 \\ PRINT X \\ PRINT \"B\"", "20 IF X < 2 THEN GOTO 10", "30 END"});
    program().breakpoints.push_back({10, 2, false});
    EXPECT_EQ(run(), RUNSTAT_STEP);
    EXPECT_THAT(output(), IsEmpty());
    EXPECT_EQ(program().curline, lineIndex(10));
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(10, 2));

    // Resuming runs the clause it stopped before; the next pass stops there again.
    EXPECT_EQ(resume(), RUNSTAT_STEP);
    EXPECT_THAT(output(), ElementsAre("1", "B"));
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("2", "B"));
    EXPECT_EQ(program().breakpoints.size(), 1u);
}

TEST_F(RunLoop, AOneShotBreakPointIsRemovedWhenItIsHit) {
    enter({"10 A = 1 \\ PRINT A", "20 END"});
    program().breakpoints.push_back({10, 2, true});
    EXPECT_EQ(run(), RUNSTAT_STEP);
    EXPECT_TRUE(program().breakpoints.empty());
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("1", "1"));
}

TEST_F(RunLoop, StepIntoRunsExactlyOneClausePerStep) {
    enter({"10 A = 1 \\ B = 2", "20 PRINT A + B", "30 END"});
    t.stepmode = kStepInto;
    EXPECT_EQ(run(), RUNSTAT_STEP);  // A = 1 ran
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(10, 2));
    EXPECT_EQ(t.stepmode, 0);
    EXPECT_TRUE(t.breakflags & kBreakRequested);

    t.stepmode = kStepInto;
    EXPECT_EQ(resume(), RUNSTAT_STEP);  // B = 2 ran; stopped before line 20
    EXPECT_EQ(program().curline, lineIndex(20));
    EXPECT_EQ(program().savedclauseoffset, 0);
    EXPECT_THAT(output(), IsEmpty());

    t.stepmode = kStepInto;
    EXPECT_EQ(resume(), RUNSTAT_STEP);  // PRINT ran
    EXPECT_THAT(output(), ElementsAre("3"));
    EXPECT_EQ(program().curline, lineIndex(30));

    t.stepmode = kStepInto;
    EXPECT_EQ(resume(), RUNSTAT_READY);  // END ran
}

TEST_F(RunLoop, AfterAStepAPlainResumeStopsAtTheNextLineStart) {
    enter({"10 A = 1 \\ B = 2 \\ C = 3", "20 PRINT A + B + C", "30 END"});
    t.stepmode = kStepInto;
    EXPECT_EQ(run(), RUNSTAT_STEP);
    // The step left the break bit set: the rest of line 10 runs, then line 20's start stops.
    EXPECT_EQ(resume(), RUNSTAT_STEP);
    EXPECT_EQ(program().curline, lineIndex(20));
    EXPECT_FALSE(t.breakflags & kBreakRequested);
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("6"));
}

TEST_F(RunLoop, StepOverStopsOnlyAtCallDepthZero) {
    // The GOSUB clause runs its whole subroutine (depth 1: no clause stops there).
    enter({"10 GOSUB 100 \\ B = 2", "20 END", "100 A = 1 \\ A = 2", "110 RETURN"});
    t.stepmode = kStepOver;
    EXPECT_EQ(run(), RUNSTAT_STEP);
    EXPECT_EQ(program().curline, lineIndex(10));
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(10, 2));
    EXPECT_EQ(t.calldepth, 0);
}

TEST_F(RunLoop, ABreakRequestStopsAtTheNextLineStart) {
    enter({"10 A = 1 \\ B = 2", "20 PRINT A + B", "30 END"});
    t.stepmode = kStepInto;
    EXPECT_EQ(run(), RUNSTAT_STEP);
    t.breakflags = kBreakRequested;
    t.stepmode = 0;
    EXPECT_EQ(resume(), RUNSTAT_STEP);
    EXPECT_EQ(program().curline, lineIndex(20));
    EXPECT_EQ(program().savedclauseoffset, 0);

    // Step mode 8 stops there only at call depth 0.
    t.breakflags = kBreakRequested;
    t.stepmode = kStepLine;
    t.calldepth = 1;
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("3"));

    t.calldepth = 0;
    EXPECT_EQ(run(), RUNSTAT_READY);  // RUN clears the break request
    t.stepmode = kStepInto;
    EXPECT_EQ(run(), RUNSTAT_STEP);
    t.breakflags = kBreakRequested;
    t.stepmode = kStepLine;
    EXPECT_EQ(resume(), RUNSTAT_STEP);
    EXPECT_EQ(program().curline, lineIndex(20));
}

TEST_F(RunLoop, ALineStepFromALineStartRunsThatLine) {
    // Stopped at the start of line 20 (a break point), a line step runs line 20 and stops at
    // the start of line 30, not again where it stood; each further step moves one line on.
    enter({"10 A = 1", "20 PRINT 2 \\ PRINT 3", "30 PRINT 4", "40 END"});
    program().breakpoints.push_back({20, 1, false});
    EXPECT_EQ(run(), RUNSTAT_STEP);
    for (int step = 0; step < 2; ++step) {
        t.breakflags |= kBreakRequested;
        t.stepmode = kStepLine;
        EXPECT_EQ(resume(), RUNSTAT_STEP);
    }
    EXPECT_EQ(program().curline, lineIndex(40));
    EXPECT_THAT(output(), ElementsAre("2", "3", "4"));

    // A break request alone (stepping into the next line) also gets past the stop.
    enter({"20 PRINT 2"});
    EXPECT_EQ(run(), RUNSTAT_STEP);
    t.breakflags |= kBreakRequested;
    t.stepmode = 0;
    EXPECT_EQ(resume(), RUNSTAT_STEP);
    EXPECT_EQ(program().curline, lineIndex(30));
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("2", "4"));
}

TEST_F(RunLoop, ABreakPointWhereAStepStoppedIsPassedOnResuming) {
    // The step from 10:1 stops before 10:2, where a break point stands, and the line step
    // stops at line 20's start, where another stands: resuming from either runs on at once.
    enter({"10 A = 1 \\ PRINT A", "20 PRINT 2", "30 GOTO 10"});
    program().breakpoints.push_back({10, 1, false});
    program().breakpoints.push_back({10, 2, false});
    program().breakpoints.push_back({20, 1, false});
    EXPECT_EQ(run(), RUNSTAT_STEP);  // at 10:1
    t.stepmode = kStepInto;
    EXPECT_EQ(resume(), RUNSTAT_STEP);  // the step: before 10:2
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(10, 2));
    t.breakflags |= kBreakRequested;
    t.stepmode = kStepLine;
    EXPECT_EQ(resume(), RUNSTAT_STEP);  // 10:2 ran; the line step stops at 20
    EXPECT_THAT(output(), ElementsAre("1"));
    EXPECT_EQ(program().curline, lineIndex(20));
    EXPECT_EQ(resume(), RUNSTAT_STEP);  // line 20 ran; the loop meets 10:1 again
    EXPECT_THAT(output(), ElementsAre("2"));
    EXPECT_EQ(program().curline, lineIndex(10));
    EXPECT_EQ(program().savedclauseoffset, 0);
}

TEST_F(RunLoop, PauseStopsAfterItsClauseAndTheRunResumesAfterIt) {
    enter({"10 PRINT 1 \\ PAUSE \\ PRINT 2", "20 PAUSE", "30 PRINT 3", "40 END"});
    EXPECT_EQ(run(), RUNSTAT_PAUSE);
    EXPECT_THAT(output(), ElementsAre("1"));
    EXPECT_THAT(errors(), IsEmpty());
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(10, 3));
    EXPECT_EQ(resume(), RUNSTAT_PAUSE);
    EXPECT_THAT(output(), ElementsAre("2"));
    EXPECT_EQ(resume(), RUNSTAT_READY);  // PAUSE ended line 20: on with line 30
    EXPECT_THAT(output(), ElementsAre("3"));
}

TEST_F(RunLoop, TheStopLineStopsAtItsStartOnEveryPass) {
    enter({"10 X = X + 1", "20 PRINT X", "30 IF X < 2 THEN GOTO 10", "40 END"});
    program().stopline = 20;
    EXPECT_EQ(run(), RUNSTAT_STEP);
    EXPECT_THAT(output(), IsEmpty());
    EXPECT_EQ(program().curline, lineIndex(20));
    EXPECT_EQ(program().savedclauseoffset, 0);
    EXPECT_EQ(resume(), RUNSTAT_STEP);  // not again at once; again on the next pass
    EXPECT_THAT(output(), ElementsAre("1"));
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("2"));
}

TEST_F(RunLoop, LinesWithoutExecutableClausesArePassedOver) {
    t.breakflags |= kTraceOn;
    enter({"10 REM NOTHING TO RUN", "20 PRINT 2", "30 END"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("00020 2", "00030 "));
}

TEST_F(RunLoop, ReservedIoStatementIsError2300) {
    // No statement compiles to the reserved code: build its clause by hand.
    t.immediate = {0x00, 0x00, 0x1F, 0x40, 0x7F};
    t.runImmediate = true;
    setActionCode(kActRun);
    runLoop();
    EXPECT_THAT(errors(), ElementsAre("2300 0 0"));
}

// The consistency checks end the process: run them in a child.
TEST_F(RunLoop, ALeftoverRpnEntryAtAClauseStartIsFatal) {
    enter({"10 X = 1", "20 END"});
    const test::ChildResult r = test::runInChild([this] {
        prepareRun(program());
        program().curline = program().firstline;
        (void)rpnPush(rpnSmall(1));
        setActionCode(kActRun);
        runLoop();
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("NEXTCLAUSE RPNSTACK rpnStackNext="));
    EXPECT_THAT(r.err, HasSubstr("vxassertion ("));
}

TEST_F(RunLoop, ASavedLinePastTheLineTableIsFatal) {
    enter({"10 X = 1", "20 END"});
    const test::ChildResult r = test::runInChild([this] {
        program().curline = static_cast<int16_t>(program().linecnt);
        setActionCode(kActResume);
        runLoop();
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("vxassertion (cur_line < pchain.curpcb -> linecnt)"));

    const test::ChildResult negative = test::runInChild([this] {
        program().curline = -3;
        setActionCode(kActResume);
        runLoop();
    });
    EXPECT_EQ(negative.exitStatus, 255);
    EXPECT_THAT(negative.err, HasSubstr("vxassertion (cur_line < pchain.curpcb -> linecnt)"));
}

}  // namespace
}  // namespace vxs
