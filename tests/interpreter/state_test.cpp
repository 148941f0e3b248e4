// The interpreter's one reset: a session left in the middle of everything (a function frame
// with rebound variables and a GOSUB open, a loop, watches, settings changed, a CHAIN pending)
// comes back to the start-up state, the program's own variables unbound, while what outlives a
// reset (stack sizes, FLOWSTACK/FORSTACK limits, BREAK, the login name) stays.
#include <gtest/gtest.h>

#include "tests/support/run_session.h"
#include "vxs/interpreter/chain.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/state.h"
#include "vxs/interpreter/strsub.h"

namespace vxs::test {
namespace {

class InterpreterReset : public RunSession {
  protected:
    void TearDown() override {
        resetInterpreter();
        RunSession::TearDown();
    }
};

TEST_F(InterpreterReset, PausedInsideACallEverythingBackToStartUp) {
    // X is global 5; the function rebinds X to its argument and pauses inside a GOSUB in a
    // FOR loop of its body.
    enter({"10 X = 5", "20 Y = FNF(7)", "30 END", "40 DEF FNF(X)", "50 FOR I = 1 TO 3",
           "60 GOSUB 100", "70 NEXT I", "80 FNF = X", "90 FNEND", "100 PAUSE", "110 RETURN"});
    ASSERT_EQ(run(), RUNSTAT_PAUSE);
    const int xIndex = findName(program(), "X");
    ASSERT_GE(xIndex, 0);
    EXPECT_EQ(cellNumber(dictEntry(program(), xIndex)), 7);  // bound to the argument
    ASSERT_GT(flowStackUse(), 0u);
    ASSERT_GT(forStackUse(), 0u);

    setFlowLimits(70, 40);
    t.breakLines = 3;  // BREAK 3
    ASSERT_EQ(setEnvironmentVariable("REGION", "NORTH"), 0);
    setCurrencyCharacter('#');
    ASSERT_TRUE(setBaseYear(1950));
    (void)nextRandom(42);
    systemValues().itemCount = 9;
    ASSERT_EQ(setLoginName("ANN"), 0);
    noteErrorVariable("Q$");
    consoleLine().column = 33;
    t.watches.push_back(Watch{xIndex, true, "7"});
    noteWatchChange();
    const RpnEntry* rpnArea = interp.eval.rpnArea.get();  // (a frame moves the bases)
    const uint8_t* workArea = interp.eval.workArea.get();

    resetInterpreter();

    // The frame gave X back: the program's own X is 5 again.
    EXPECT_EQ(cellNumber(dictEntry(program(), xIndex)), 5);
    EXPECT_EQ(flowStackUse(), 0u);
    EXPECT_EQ(forStackUse(), 0u);
    EXPECT_TRUE(interp.flow.calls.empty());
    EXPECT_TRUE(interp.flow.slots.empty());
    EXPECT_EQ(resumedForm(), nullptr);
    EXPECT_TRUE(interp.lines.programs.empty());
    EXPECT_TRUE(t.watches.empty());
    EXPECT_EQ(t.watched, 0);
    EXPECT_TRUE(rpnStack().empty());
    EXPECT_EQ(workStack().next, workStack().base);

    std::string value;
    EXPECT_FALSE(environmentVariable("REGION", value));
    EXPECT_EQ(currencyCharacter(), '$');
    EXPECT_EQ(baseCentury(), 19);
    EXPECT_EQ(baseYearPivot(), 0);
    EXPECT_EQ(defaultDateFormat(), "Y/M/D");
    EXPECT_EQ(randomState(), 0);
    EXPECT_EQ(systemValues().itemCount, 0);
    EXPECT_EQ(errorVariable(), "");
    EXPECT_EQ(consoleLine().column, 1);
    EXPECT_EQ(consoleLine().width, kConsoleWidth);

    // Kept: the login name, the stacks' areas, the flow limits, the fast-form switch.
    EXPECT_EQ(loginName(), "ANN");
    EXPECT_EQ(interp.eval.rpnArea.get(), rpnArea);
    EXPECT_EQ(rpnStack().rpn_stkbase, rpnArea);
    EXPECT_EQ(interp.eval.workArea.get(), workArea);
    EXPECT_EQ(flowStacks().flowLimit, 70u);
    EXPECT_EQ(flowStacks().forLimit, 40u);
    EXPECT_EQ(t.breakLines, 3);
    EXPECT_TRUE(fastFormsOn());

    // And the program runs again from the start, whole.
    enter({"100 PRINT I;", "110 RETURN"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_EQ(output(), (std::vector<std::string>{"1 2 3 "}));
    setFlowLimits(50, 30);
    t.breakLines = 8;
}

TEST_F(InterpreterReset, PendingChainDropped) {
    enter({"10 CHAIN \"NEXTPROG\""});
    (void)run();
    ASSERT_TRUE(interp.chain.pending);
    resetInterpreter();
    ChainRequest req;
    EXPECT_FALSE(takeChainRequest(req));
}

}  // namespace
}  // namespace vxs::test
