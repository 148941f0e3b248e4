// The decoded lines of a run and the fast forms of clauses: which clauses get one, and that a
// program does exactly the same with them as on the general path (output, errors and where they
// are raised, traps, stack limits), including when a fast form has to give up half way.
#include "vxs/interpreter/clausecache.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/run_session.h"
#include "vxs/clientserver/common.h"
#include "vxs/interpreter/flow.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;
using test::PolledKeys;
using ::testing::IsEmpty;

class ClauseCache : public test::RunSession {
  protected:
    void TearDown() override {
        setFastForms(true);
        resetFlow();  // a run stopped inside a function leaves its frames
        ASSERT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
        RunSession::TearDown();
    }

    // The fast form of each clause of a line.
    std::vector<FastForm> forms(uint32_t number) {
        resolveProgram(program());  // as a run does before it decodes a line
        clearClauseCache();
        const CachedLine* l = cachedLine(program(), lineIndex(number));
        std::vector<FastForm> out;
        if (l)
            for (const CachedClause& c : l->clauses) out.push_back(c.form);
        return out;
    }

    struct Outcome {
        int status;
        std::vector<std::string> output, errors;
        bool operator==(const Outcome&) const = default;
    };
    Outcome runWith(bool fast) {
        setFastForms(fast);
        Outcome o;
        o.status = run();
        o.output = output();
        o.errors = errors();
        return o;
    }
    // Runs the program on both paths; they must agree.  Returns what the fast path did.
    Outcome both() {
        const Outcome general = runWith(false);
        const Outcome fast = runWith(true);
        EXPECT_EQ(fast.status, general.status);
        EXPECT_EQ(fast.output, general.output);
        EXPECT_EQ(fast.errors, general.errors);
        return fast;
    }
};

TEST_F(ClauseCache, NumericAssignmentsTestsAndNextGetFastForms) {
    enter({"10 X = Y + 1 \\ F(2) = F(1) * 2 \\ IF X > 1 THEN Z = -X",
           "20 A$ = \"A\" \\ X = LEN(A$) \\ IF A$ = \"B\" THEN PRINT X",
           "30 FOR I = 1 TO 3 \\ NEXT I \\ PRINT X \\ X = 1 / 0"});
    using F = FastForm;
    EXPECT_THAT(forms(10), ElementsAre(F::Let, F::Let, F::If, F::Let));
    EXPECT_THAT(forms(20), ElementsAre(F::MixLet, F::MixLet, F::MixIf, F::None))
        << "strings take mixed forms; PRINT stays on the general path";
    setRegisterForms(false);
    EXPECT_THAT(forms(20), ElementsAre(F::None, F::None, F::None, F::None))
        << "without the second tier strings are left to the general path";
    setRegisterForms(true);
    EXPECT_THAT(forms(30), ElementsAre(F::For, F::Next, F::None, F::Let));
}

TEST_F(ClauseCache, ArithmeticComparisonsAndUnaryOperatorsAgreeWithTheGeneralPath) {
    enter({"10 B = 7 \\ C = -2.5 \\ D = 0.1",
           "20 A = B * C - B / 3 + C ** 2 \\ PRINT A",
           "30 A = INT(C) + ABS(C) * SGN(C) - INT(-D) \\ PRINT A",
           "40 A = (B > C) + (B < C) * 2 + (B >= 7) * 4 + (C <= -3) * 8 + (D <> 0.1) * 16",
           "50 PRINT A \\ A = (D * 3 = 0.3) + (B AND 0) + (0 OR C) * 2 + NOT B + ~0 \\ PRINT A",
           "60 A = -0 \\ PRINT A; -A \\ A = 0.1 + 0.2 - 0.3 \\ IF A THEN PRINT \"NONZERO\"",
           "70 IF A = 0 THEN PRINT \"EQUAL WITHIN THE TOLERANCE\"", "80 END"});
    const Outcome o = both();
    EXPECT_EQ(o.status, RUNSTAT_READY);
    EXPECT_EQ(o.output.size(), 6u);
}

TEST_F(ClauseCache, ErrorsAreRaisedAtTheSameClauseAndTrappedAlike) {
    // The element target is computed before the value: its subscript error comes first.
    enter({"10 DIM F(5)", "20 A = 1 \\ F(9) = A / 0", "30 END"});
    EXPECT_THAT(both().errors, ElementsAre("122 20 2"));
    enter({"20 A = 1 \\ F(2) = A / 0"});
    EXPECT_THAT(both().errors, ElementsAre("6 20 2"));
    enter({"20 A = 1E200 \\ B = A * A"});
    EXPECT_THAT(both().errors, ElementsAre("6 20 2"));
    enter({"20 DIM G(2, 2) \\ G(1, 3) = 1"});
    EXPECT_THAT(both().errors, ElementsAre("122 20 2"));
    enter({"20 A = F(1, 1)"});
    EXPECT_THAT(both().errors, ElementsAre("123 20 1"));

    // A trapped error leaves nothing half assigned.
    enter({"5 ON ZDIV GOTO 40", "20 A = 5 \\ A = A / 0", "30 END", "40 PRINT A \\ END"});
    EXPECT_THAT(both().output, ElementsAre("5"));
    enter({"5 ON ZDIV IGNORE", "40 END"});
    const Outcome ignored = both();
    EXPECT_THAT(ignored.errors, IsEmpty());
    EXPECT_EQ(ignored.status, RUNSTAT_READY);
}

TEST_F(ClauseCache, NextFindsItsLoopOrFailsAsBefore) {
    enter({"10 FOR I = 1 TO 3 \\ FOR J = I TO 3 \\ S = S + J \\ NEXT J \\ NEXT I", "20 PRINT S; I; J",
           "30 NEXT K"});
    const Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("14 4 4"));
    EXPECT_THAT(o.errors, ElementsAre("220 30 1"));
}

TEST_F(ClauseCache, SubscriptsFollowOptionBaseAndArraysReadAsScalars) {
    enter({"10 OPTION BASE 1", "20 DIM F(3)", "30 F(1) = 4 \\ F(3) = F(1) + 1 \\ PRINT F(3)",
           "40 F = 9 \\ PRINT F(1); F(2); F(3)", "50 F(0) = 1"});
    const Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("5", "9 0 5"));
    EXPECT_THAT(o.errors, ElementsAre("122 50 1"));
}

TEST_F(ClauseCache, FunctionLocalsAndResultsAreTheCalledFramesOwn) {
    enter({"10 X = 100 \\ PRINT FNF(3); X", "20 END", "30 DEF FNF(X)", "40 X = X * 2",
           "50 Y = X + 1 \\ IF X > 5 THEN Y = Y + 10", "55 FNF = Y", "60 FNEND"});
    EXPECT_THAT(both().output, ElementsAre("17 100"));
}

TEST_F(ClauseCache, FullStacksFailTheFastFormsAsTheyFailTheGeneralPath) {
    enter({"10 A = 1 \\ B = 2", "20 C = A + B * (A + B * (A + B * (A + B)))", "30 PRINT C", "40 END"});
    // Six temporaries of 48 bytes: every work-stack size around that, and every RPN stack size
    // up to what the clause needs, must fail or succeed on both paths alike.
    for (int bytes = 240; bytes <= 336; bytes += 8) {
        ASSERT_EQ(allocateStacks(kDefaultRpnStack, bytes), 0);
        const Outcome o = both();
        EXPECT_EQ(o.errors, bytes < 288 ? std::vector<std::string>{"9001 20 1"}
                                        : std::vector<std::string>{})
            << bytes;
    }
    for (int entries = 2; entries <= 12; ++entries) {
        ASSERT_EQ(allocateStacks(entries, kDefaultWorkStack), 0);
        both();
    }
    ASSERT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
    EXPECT_THAT(both().output, ElementsAre("31"));
}

TEST_F(ClauseCache, CallsReuseTheirLocalsWithoutCarryingValuesOver) {
    // Locals come fresh to every call even when their entries are reused: a formal left out
    // reads 0, the result starts at 0, a by-reference actual gets the local's last value, and a
    // call that fails (a string for a number) gives every slot back.
    enter({"10 DEF FNA(X, &Y; Z)", "20 IF Z = 0 THEN FNA = X + Y ELSE FNA = X * Z",
           "30 Y = Y + 1 \\ Z = Z + 100", "40 FNEND",
           "50 FOR I = 1 TO 300 \\ S = S + FNA(I, B) \\ NEXT I", "60 PRINT S; B; X; Y; Z",
           "70 PRINT FNA(2, B, 5); B", "80 PRINT FNA(\"A\", B)", "90 END"});
    const Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("90000 300 0 0 0", "10 301"));
    EXPECT_THAT(o.errors, ElementsAre("304 80 1"));
}

TEST_F(ClauseCache, LoopsInsideALinePollStopAndResumeAlike) {
    PolledKeys::install();
    // A loop inside one line, and one whose body starts its line (the line starts again).
    enter({"10 FOR I = 1 TO 50 \\ S = S + I \\ NEXT I", "20 FOR J = 1 TO 20",
           "30 T = T + J \\ NEXT J", "40 PRINT S; T; I; J", "50 END"});
    for (const bool fast : {false, true}) {
        setFastForms(fast);
        PolledKeys::polls = 0;
        PolledKeys::keys.clear();
        EXPECT_EQ(run(), RUNSTAT_READY);
        EXPECT_THAT(output(), ElementsAre("1275 210 51 21"));
        EXPECT_EQ(PolledKeys::polls, 10) << fast;  // 7 inside line 10, 3 at line starts of 30

        PolledKeys::polls = 0;
        PolledKeys::keys = {{4, kKeyAttention}};
        EXPECT_EQ(run(), RUNSTAT_ATTN) << fast;
        EXPECT_EQ(program().curline, lineIndex(10));
        EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(10, 2));
        PolledKeys::keys.clear();
        EXPECT_EQ(resume(), RUNSTAT_READY);
        EXPECT_THAT(output(), ElementsAre("1275 210 51 21"));
    }
    setRemoteHandler(KEYBOARDCALL, nullptr);
}

TEST_F(ClauseCache, AnEditedLineIsDecodedAfresh) {
    enter({"10 A = 1 \\ B = A + 1", "20 PRINT B"});
    EXPECT_EQ(run(), RUNSTAT_ERROR);  // no END: 213
    EXPECT_THAT(output(), ElementsAre("2"));
    enter({"10 A = 5 \\ B = A * 3"});
    EXPECT_EQ(run(), RUNSTAT_ERROR);
    EXPECT_THAT(output(), ElementsAre("15"));
}

}  // namespace
}  // namespace vxs
