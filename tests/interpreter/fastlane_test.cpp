// The run loop's fast lane held against the general path: every program runs with the fast forms
// off, then on, and everything a run leaves behind must be the same (output, errors and where
// they are reported, the run status and position, the recorded error, the variables, the flow
// and FOR stacks, the call depth, the exit code, and how often the keyboard was polled).  Runs
// that stop (PAUSE, attention, steps, break points) are resumed, with the same interventions
// between the stops on both paths, and every stop is compared.
#include "vxs/interpreter/fastlane.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/run_session.h"
#include "vxs/clientserver/common.h"
#include "vxs/command/cmdshared.h"
#include "vxs/control/entry.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/clausecache.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/values.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

using test::PolledKeys;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FastLane : public test::RunSession {
  protected:
    void SetUp() override {
        RunSession::SetUp();
        PolledKeys::install();
        PolledKeys::polls = 0;
        PolledKeys::keys.clear();
    }
    void TearDown() override {
        setFastForms(true);
        resetFlow();  // a run stopped inside a function leaves its frames
        setFlowLimits(50, 30);
        t.watches.clear();
        program().breakpoints.clear();
        program().stopline = 0;
        setExitCode(0);
        EXPECT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
        PolledKeys::keys.clear();
        setRemoteHandler(KEYBOARDCALL, nullptr);
        RunSession::TearDown();
    }

    // What a run leaves to be seen when it stops or ends.
    struct Outcome {
        int status = 0;
        std::vector<std::string> output, errors;
        std::vector<std::string> variables;  // "NAME=value" of every variable and function entry
        uint32_t line = 0;                   // the line number where the run stands
        int offset = 0;                      // ... and the clause offset there
        int lastError = 0;
        uint32_t errorLine = 0;
        int errorOffset = 0;
        size_t flowUse = 0, forUse = 0;
        int callDepth = 0;
        int exitCode = 0;
        int polls = 0;  // keyboard polls since the run started
    };

    uint32_t numberOf(int16_t index) {
        return index >= 0 && index < program().linecnt
                   ? program().lineptr[static_cast<size_t>(index)].lineno()
                   : 0;
    }

    std::vector<std::string> variables() {
        std::vector<std::string> out;
        const pcb& pc = program();
        for (int i = 0; i < pc.dictcnt; ++i) {
            const Cell* e = dictEntry(pc, kFirstDictIndex + i);
            if (!e || e->isLiteral()) continue;
            std::string text(dictNameView(pc, kFirstDictIndex + i));
            if (text.empty()) continue;
            char number[40];
            if (isArrayCell(e)) {
                text += "(";
                const int32_t n = elementCount(e);
                for (int32_t k = 0; k < n && isStringCell(e); ++k) {
                    const uint8_t* at = elementAt(e, k);
                    uint16_t length;
                    memcpy(&length, at, 2);
                    const int cap = stringCapacity(e);
                    text += (k ? ",\"" : "\"") +
                            std::string(reinterpret_cast<const char*>(at + 2),
                                        length > cap ? static_cast<size_t>(cap) : length) +
                            "\"";
                }
                for (int32_t k = 0; k < n && !isStringCell(e); ++k) {
                    double v;
                    memcpy(&v, elementAt(e, k), sizeof v);
                    snprintf(number, sizeof number, "%s%.17g", k ? "," : "", v);
                    text += number;
                }
                text += ")";
            } else if (isStringCell(e)) {
                text += "=\"" + std::string(cellString(e)) + "\"";
            } else {
                snprintf(number, sizeof number, "=%.17g", cellNumber(e));
                text += number;
            }
            out.push_back(text);
        }
        return out;
    }

    Outcome capture(int status) {
        Outcome o;
        o.status = status;
        o.output = output();
        o.errors = errors();
        o.variables = variables();
        o.line = numberOf(program().curline);
        o.offset = program().savedclauseoffset;
        o.lastError = program().lasterror;
        o.errorLine = numberOf(program().errorline);
        o.errorOffset = program().erroroffset;
        o.flowUse = flowStackUse();
        o.forUse = forStackUse();
        o.callDepth = t.calldepth;
        o.exitCode = exitCode();
        o.polls = PolledKeys::polls;
        return o;
    }

    static void expectSame(const Outcome& general, const Outcome& fast, const std::string& where) {
        EXPECT_EQ(fast.status, general.status) << where;
        EXPECT_EQ(fast.output, general.output) << where;
        EXPECT_EQ(fast.errors, general.errors) << where;
        EXPECT_EQ(fast.variables, general.variables) << where;
        EXPECT_EQ(fast.line, general.line) << where;
        EXPECT_EQ(fast.offset, general.offset) << where;
        EXPECT_EQ(fast.lastError, general.lastError) << where;
        EXPECT_EQ(fast.errorLine, general.errorLine) << where;
        EXPECT_EQ(fast.errorOffset, general.errorOffset) << where;
        EXPECT_EQ(fast.flowUse, general.flowUse) << where;
        EXPECT_EQ(fast.forUse, general.forUse) << where;
        EXPECT_EQ(fast.callDepth, general.callDepth) << where;
        EXPECT_EQ(fast.exitCode, general.exitCode) << where;
        EXPECT_EQ(fast.polls, general.polls) << where;
    }

    void clean() {
        program().breakpoints.clear();
        resetRunControls();
        setExitCode(0);
        PolledKeys::polls = 0;
    }

    Outcome runWith(bool fast) {
        clean();
        setFastForms(fast);
        return capture(run());
    }
    // Runs the program on both paths; they must agree.  Returns what the fast path did.
    Outcome both(const std::string& where = "") {
        const Outcome general = runWith(false);
        const Outcome fast = runWith(true);
        expectSame(general, fast, where);
        return fast;
    }

    // A statement typed without a line number, on both paths, with the variables cleared.
    Outcome typedBoth(const std::string& statement) {
        Outcome outcomes[2];
        for (const bool fast : {false, true}) {
            clean();
            setFastForms(fast);
            prepareRun(program());
            outcomes[fast] = capture(immediate(statement));
        }
        expectSame(outcomes[0], outcomes[1], statement);
        return outcomes[1];
    }

    bool resumable(int status) const {
        return status == RUNSTAT_PAUSE || status == RUNSTAT_ATTN || status == RUNSTAT_STEP ||
               (resumeErrors && status == RUNSTAT_ERROR);
    }
    bool resumeErrors = false;  // a session resumes after an error too (the clause runs again)
    // A run and its resumptions: `before(0)` before the run, `before(k)` before the k-th
    // resumption; it ends when the run ends or stops for good, or after `limit` resumptions.
    using Between = std::function<void(int)>;
    std::vector<Outcome> sessionWith(bool fast, const Between& before, int limit) {
        clean();
        setFastForms(fast);
        before(0);
        std::vector<Outcome> stops{capture(run())};
        for (int k = 1; k <= limit && resumable(stops.back().status); ++k) {
            before(k);
            stops.push_back(capture(resume()));
        }
        return stops;
    }
    // The session on both paths; every stop must agree.  Returns the fast path's stops.
    std::vector<Outcome> bothSessions(const Between& before, const std::string& where = "",
                                      int limit = 40) {
        const std::vector<Outcome> general = sessionWith(false, before, limit);
        const std::vector<Outcome> fast = sessionWith(true, before, limit);
        EXPECT_EQ(fast.size(), general.size()) << where;
        for (size_t i = 0; i < fast.size() && i < general.size(); ++i)
            expectSame(general[i], fast[i], where + " stop " + std::to_string(i));
        return fast;
    }

    // All the output of a session.
    static std::vector<std::string> allOutput(const std::vector<Outcome>& stops) {
        std::vector<std::string> out;
        for (const Outcome& o : stops) out.insert(out.end(), o.output.begin(), o.output.end());
        return out;
    }
    static std::vector<std::string> allErrors(const std::vector<Outcome>& stops) {
        std::vector<std::string> out;
        for (const Outcome& o : stops) out.insert(out.end(), o.errors.begin(), o.errors.end());
        return out;
    }

    // The fast forms of the clauses of a line, as a run decodes them.
    std::vector<FastForm> forms(uint32_t number) {
        resolveProgram(program());
        clearClauseCache();
        std::vector<FastForm> out;
        if (const CachedLine* l = cachedLine(program(), lineIndex(number)))
            for (const CachedClause& c : l->clauses) out.push_back(c.form);
        return out;
    }
    // Which clauses of the line have register forms.
    std::vector<bool> registers(uint32_t number) {
        resolveProgram(program());
        clearClauseCache();
        std::vector<bool> out;
        if (const CachedLine* l = cachedLine(program(), lineIndex(number)))
            for (const CachedClause& c : l->clauses) out.push_back(c.regAt != kNoRegForm);
        return out;
    }
    // Which clauses of the line have mixed forms.
    std::vector<bool> mixed(uint32_t number) {
        resolveProgram(program());
        clearClauseCache();
        std::vector<bool> out;
        if (const CachedLine* l = cachedLine(program(), lineIndex(number)))
            for (const CachedClause& c : l->clauses)
                out.push_back(c.form == FastForm::MixLet || c.form == FastForm::MixIf);
        return out;
    }
    // The program on the general path, on the numeric forms alone and with register forms: all
    // three must agree.  Returns what the register forms did.
    Outcome all3(const std::string& where = "") {
        setRegisterForms(false);
        const Outcome numeric = both(where + " (numeric forms)");
        setRegisterForms(true);
        const Outcome registers = both(where);
        expectSame(numeric, registers, where + " (numeric against register forms)");
        return registers;
    }
    // Whether a clause of the line is a numeric form that calls a function: the lane makes
    // that call itself.
    bool callsFast(uint32_t number) {
        resolveProgram(program());
        clearClauseCache();
        if (const CachedLine* l = cachedLine(program(), lineIndex(number)))
            for (const CachedClause& c : l->clauses)
                if ((c.form == FastForm::Let || c.form == FastForm::If) && c.callAt != kNoCall)
                    return true;
        return false;
    }

    int variable(const std::string& name) { return findName(program(), name); }
    double valueOf(const std::string& name) {
        const Cell* e = dictEntry(program(), variable(name));
        return e ? cellNumber(e) : -12345;
    }
    void watch(const std::string& name, bool display) {
        const int index = variable(name);
        ASSERT_NE(index, 0) << name;
        t.watches.push_back({index, display, watchValue(program(), index)});
    }

    // Starts a fresh program (the fixture's program keeps the lines entered before).
    void load(const std::vector<std::string>& lines) {
        std::vector<uint32_t> numbers;
        for (int16_t i = program().firstline; i >= 0;
             i = program().lineptr[static_cast<size_t>(i)].next)
            numbers.push_back(program().lineptr[static_cast<size_t>(i)].lineno());
        for (const uint32_t number : numbers)
            ASSERT_EQ(f.enter(std::to_string(number)), 0) << number;
        enter(lines);
    }
};

// ---- FOR and NEXT ----

TEST_F(FastLane, ForLoopsNextAndTheForStack) {
    load({"10 FOR I = 5 TO 1 \\ PRINT \"IN\" \\ NEXT I \\ PRINT I", "20 FOR J = 3 TO 2",
          "30 PRINT \"IN\"", "40 NEXT J", "50 PRINT J",
          "60 FOR K = 10 TO 1 STEP -3 \\ S = S + K \\ NEXT K \\ PRINT S; K",
          "70 FOR X = 0 TO 1 STEP 0.1 \\ N = N + 1 \\ NEXT X \\ PRINT N",
          "80 FOR Y = 1 TO 0 STEP -0.25 \\ M = M + 1 \\ NEXT Y \\ PRINT M; Y * 4",
          "90 FOR I = 1 TO 3 \\ FOR J = 1 TO I \\ C = C + 1 \\ NEXT J \\ NEXT I \\ PRINT C; I; J",
          "95 FOR Z = 1 TO 2 STEP 0 \\ Q = Q + 1 \\ IF Q < 5 THEN NEXT Z", "96 PRINT Q; Z",
          "100 END"});
    EXPECT_THAT(both().output, ElementsAre("5", "3", "22 -2", "11", "5 -1", "6 4 4", "5 1"));

    // Loops across lines, left by GOTO and entered again: their entries are reused.
    load({"10 FOR I = 1 TO 3", "20 FOR J = I TO 3", "30 S = S + I * J", "40 NEXT J", "50 NEXT I",
          "60 PRINT S; I; J", "70 R = R + 1 \\ IF R < 3 THEN 10", "80 PAUSE"});
    Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("25 4 4", "50 4 4", "75 4 4"));
    EXPECT_EQ(o.forUse, 2u);

    setFlowLimits(50, 1);
    load({"10 FOR I = 1 TO 10", "20 N = N + 1 \\ IF N < 500 THEN 10", "30 NEXT I", "40 PRINT N; I",
          "50 PAUSE"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("509 11"));
    EXPECT_THAT(o.errors, IsEmpty());
    EXPECT_EQ(o.forUse, 1u);

    load({"10 FOR I = 1 TO 2 \\ NEXT I", "20 NEXT J"});
    EXPECT_THAT(both().errors, ElementsAre("220 20 1"));

    // A function's body has a FOR stack of its own: the caller's loop is not its loop.
    load({"10 DEF FNN(X)", "20 NEXT I", "30 FNEND", "40 FOR I = 1 TO 3 \\ A = FNN(1) \\ NEXT I",
          "50 END"});
    o = both();
    EXPECT_THAT(o.errors, ElementsAre("220 20 1"));
    EXPECT_EQ(o.callDepth, 1);
    EXPECT_EQ(o.forUse, 1u);

    // The FOR stack fills at the loop that needs a new entry, after its start is assigned.
    setFlowLimits(50, 2);
    load({"10 FOR I = 1 TO 2 \\ FOR J = 1 TO 2 \\ FOR K = K + 7 TO 9",
          "20 NEXT K \\ NEXT J \\ NEXT I", "30 END"});
    EXPECT_THAT(forms(10), ElementsAre(FastForm::For, FastForm::For, FastForm::For));
    EXPECT_THAT(forms(20), ElementsAre(FastForm::Next, FastForm::Next, FastForm::Next));
    o = both();
    EXPECT_THAT(o.errors, ElementsAre("9004 10 3"));
    EXPECT_EQ(valueOf("K"), 7);
    load({"5 ON ERROR IGNORE", "10 FOR I = 1 TO 2 \\ FOR J = 1 TO 2 \\ FOR K = K + 7 TO 9",
          "20 NEXT K \\ NEXT J \\ NEXT I", "25 PRINT I; J; K", "30 END"});
    o = both();
    EXPECT_THAT(o.errors, IsEmpty());
    EXPECT_THAT(o.output, ElementsAre("3 3 28"));

    // Each open call's loops count towards the one FOR stack.
    setFlowLimits(50, 5);
    load({"10 DEF FNS(N)", "20 FOR I = 1 TO 1 \\ IF N > 0 THEN FNS = FNS(N - 1) + 1", "30 NEXT I",
          "40 FNEND", "50 A = FNS(3) \\ PRINT A", "60 A = FNS(8) \\ PRINT A", "70 END"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("3"));
    EXPECT_THAT(o.errors, ElementsAre("9004 20 1"));
    EXPECT_EQ(o.callDepth, 6);
}

// ---- register forms ----

TEST_F(FastLane, RegisterFormsComputeAndBranchAsTheOtherPathsDo) {
    load({"10 FOR I = 1 TO 40", "20 S = S + I * 2 - I / 3 \\ T = -I + ABS(I - 20) * SGN(I - 7)",
          "30 IF I / 3 = INT(I / 3) THEN C = C + 1", "40 IF S > 100 AND T < 30 THEN D = D + 1",
          "50 IF I THEN E = E + 2 ** 3", "60 X = (I > 5) + (I <= 9) * 2 + NOT I",
          "70 IF 1 / 3 * 3 = 1 THEN F = F + 1", "80 NEXT I", "90 PRINT S; T; C; D; E; X; F",
          "100 END"});
    EXPECT_THAT(registers(20), ElementsAre(true, true));
    EXPECT_THAT(registers(30), ElementsAre(true, true));  // the IF, and its THEN clause
    EXPECT_THAT(registers(70), ElementsAre(true, true));
    const Outcome o = all3();
    EXPECT_THAT(o.errors, IsEmpty());
    EXPECT_THAT(o.output, ElementsAre("1366.66666666667 -20 13 30 320 1 40"));
}

TEST_F(FastLane, ATrueTestRunsItsThenGotoAsTheClauseRunLast) {
    load({"10 X = 0", "20 X = X + 1 \\ IF X < 3 THEN GOTO 20", "30 IF X = 3 THEN GOTO 40",
          "40 REM LAST"});
    const Outcome o = all3();
    EXPECT_THAT(o.errors, ElementsAre("213 30 2")) << "reported at the GOTO";
    EXPECT_EQ(valueOf("X"), 3);
    load({"10 I = 0", "20 I = I + 1", "30 IF I < 50 THEN GOTO 20 \\ PRINT \"NOT HERE\"",
          "40 PRINT I", "50 END"});
    EXPECT_THAT(all3().output, ElementsAre("50"));
}

TEST_F(FastLane, RegisterFormsGiveUpBeforeChangingAnythingAndTheErrorIsTheGeneralPaths) {
    // A zero divisor, an overflow, a subscript outside the array, the wrong number of
    // subscripts: the target keeps its value, the error is reported at the clause.
    for (const char* clause : {"Y = 5 / Z", "Y = 1E200 * 1E200", "Y = A(K)", "A(K) = 7",
                               "Y = B(2, K)", "B(K, 1) = 3", "Y = A(2, 2)"}) {
        load({"10 DIM A(5), B(3, 3)", "20 Y = 1 \\ K = 9 \\ Z = 0",
              std::string("30 ") + clause, "40 PRINT Y"});
        const Outcome o = all3(clause);
        EXPECT_EQ(o.errors.size(), 1u) << clause;
        EXPECT_EQ(valueOf("Y"), 1) << clause;
    }
    // Trapped, the run goes on after the clause with everything as it was.
    load({"5 ON ERROR GOTO 50", "10 DIM A(5)", "20 K = 9 \\ Y = 1", "30 A(K) = Y + 1",
          "40 END", "50 PRINT ERR; Y; A(5)", "60 END"});
    EXPECT_THAT(registers(30), ElementsAre(true));
    EXPECT_THAT(all3().output, ElementsAre("122 1 0"));
}

TEST_F(FastLane, RegisterFormsOnArraysOfEveryShapeAndOptionBase) {
    load({"10 DIM A(10), B(4, 4)", "20 FOR I = 1 TO 10 \\ A(I) = I * I \\ NEXT I",
          "30 FOR I = 1 TO 4 \\ FOR J = 1 TO 4 \\ B(I, J) = A(I) + J \\ NEXT J \\ NEXT I",
          "40 A(3) = B(2, 3) + A(0) \\ B(1, 1) = A(3)", "50 J = 2",
          "60 IF A(J + 1) = B(1, 1) THEN PRINT \"SAME\"", "70 PRINT A(3); B(4, 4); B(1, 1)",
          "80 END"});
    EXPECT_THAT(registers(40), ElementsAre(true, true));
    EXPECT_THAT(all3().output, ElementsAre("SAME", "7 20 7"));
    load({"5 OPTION BASE 1", "10 DIM A(3)", "20 A(1) = 5 \\ A(3) = A(1) * 2", "30 PRINT A(3)",
          "40 A(0) = 1"});
    const Outcome o = all3();
    EXPECT_THAT(o.output, ElementsAre("10"));
    EXPECT_EQ(o.errors.size(), 1u);
}

TEST_F(FastLane, AVariableDimensionedDuringTheRunIsReadFromItsNewPlace) {
    // X holds its number inline until the DIM; a register form resolved before must not read
    // the old place afterwards, in the same line or another: from then on X (as a whole) is
    // the array's first element.
    load({"10 X = 5 \\ Y = X + 1", "20 PRINT Y", "30 DIM X(3) \\ X(0) = 8 \\ Y = X + 1",
          "40 PRINT Y", "50 R = R + 1 \\ IF R < 3 THEN 10", "60 END"});
    EXPECT_THAT(all3().output, ElementsAre("6", "9", "6", "9", "6", "9"));
}

TEST_F(FastLane, FormalsAreNeverResolvedSinceACallMayBindThemElsewhere) {
    // FNQ's formal I is the caller's loop variable: a call on the general path (the string
    // argument) binds I to a cell of its own for the body.
    load({"10 FOR I = 1 TO 3 \\ S = S + FNQ(I, \"A\") \\ T = T + I \\ NEXT I",
          "20 PRINT S; T; I", "30 END", "40 DEF FNQ(I, A$)", "50 U = 0 \\ U = U + I * 2",
          "60 FNQ = U", "70 FNEND"});
    EXPECT_THAT(registers(50), ElementsAre(true, false));
    EXPECT_FALSE(registers(10)[2]) << "T = T + I reads the formal";
    EXPECT_THAT(all3().output, ElementsAre("12 6 4"));
    // An array formal is a cell of its own in each call, sharing the actual's elements.
    load({"10 DIM P(3), Q(3)", "20 P(1) = 1 \\ Q(1) = 10", "30 X = FNS(MAT P) + FNS(MAT Q)",
          "40 PRINT X; P(1); Q(1)", "50 END", "60 DEF FNS(MAT A)", "70 A(1) = A(1) + 1",
          "80 FNS = A(1) * 2", "90 FNEND"});
    EXPECT_THAT(registers(70), ElementsAre(false));
    EXPECT_THAT(all3().output, ElementsAre("26 2 11"));
}

// ---- mixed forms: strings and the common built-in functions ----

TEST_F(FastLane, MixedFormsComputeAndBranchAsTheOtherPathsDo) {
    load({"10 DIM N$(4)*6, T$(2, 2)*3, V(3), L$*40, B$*40",
          "20 A$ = \"AB\" & CHR$(67) \\ B$ = A$ & STR$(12.5) & STR$(-3) & STR$(1E21)",
          "30 PRINT B$; LEN(B$); POS(B$, \"B\"); POS(B$, \"Z\"); POS(B$, \"\"); POS(B$, \"B\", 3)",
          "40 PRINT POS(\"ABAB\", \"AB\", -1); POS(\"ABAB\", \"AB\", -2); POS(\"ABAB\", \"AB\", 0); "
          "POS(\"AB\", \"ABC\")",
          "50 FOR I = 1 TO 4 \\ N$(I) = \"K\" & STR$(I * 7 - INT(I * 7 / 10) * 10) \\ NEXT I",
          "60 M$ = N$(1) \\ FOR I = 2 TO 4 \\ IF N$(I) > M$ THEN M$ = N$(I)",
          "70 NEXT I \\ PRINT M$; N$(1); N$(2); N$(3); N$(4)",
          "80 PRINT B$(2:3); \"/\"; B$(0:2); \"/\"; B$(3:99); \"/\"; B$(5:4); \"/\"; B$(-1:0); "
          "\"/\"; B$(99:100); \"/\"",
          "90 W$ = \"XYZW\" \\ T$(1, 2) = N$(2)(1:2) \\ T$(2, 1) = W$(2:4) \\ PRINT T$(1, 2); T$(2, 1)",
          "100 V(2) = LEN(T$(1, 2)) + VAL(\"1.5\") + ORD(\"A\") + ORD(\"\") \\ PRINT V(2)",
          "110 L$ = LPAD$(STR$(42), 6, \"0\") & \"|\" & RPAD$(\"AB\", 5) & \"|\" & LPAD$(\"XYZ\", 2) "
          "& \"|\" & RPAD$(\"Q\", 3, \"*\") \\ PRINT L$",
          "120 PRINT MOD(-7, 3); REM(-7, 3); MOD(7, 0); MOD(7.5, 2) + 1",
          "130 IF \"ABC\" < \"ABD\" AND 1 THEN PRINT \"LT\"",
          "140 IF A$ = \"ABC\" THEN PRINT \"EQ\" ELSE PRINT \"NE\"",
          "150 IF A$ <> \"ABC\" THEN PRINT \"NE2\"",
          "160 IF A$ >= \"ABC\" THEN IF A$ <= \"AB\" THEN PRINT \"NO\" ELSE PRINT \"GE\"",
          "170 C = 0 \\ FOR I = 1 TO 4 \\ IF N$(I)(2:2) = \"4\" THEN C = C + 1",
          "180 NEXT I \\ PRINT C; A$ = B$; A$ < B$; \"A\" & \"\" = \"A\"", "190 END"});
    EXPECT_THAT(mixed(20), ElementsAre(true, true));
    EXPECT_THAT(mixed(60), ElementsAre(true, false, true, true));
    EXPECT_THAT(mixed(100), ElementsAre(true, false));
    EXPECT_THAT(mixed(120), ElementsAre(false));  // a PRINT list stays on the general path
    const Outcome o = all3();
    EXPECT_THAT(o.output,
                ElementsAre("ABC12.5-3100000000000000000000031 2 0 0 0", "3 1 1 0", "K8K7K4K1K8",
                            "BC/AB/C12.5-31000000000000000000000////", "K4YZW", "68.5",
                            "000042|AB   |XYZ|Q**", "2 -1 0 2.5", "LT", "EQ", "GE", "1 0 1 1"));
    EXPECT_THAT(o.errors, ElementsAre());
}

TEST_F(FastLane, MixedFormsUnderCollationDecimalCommaAndInFunctionBodies) {
    load({"5 OPTION COLLATE ALTERNATE", "10 A$ = CHR$(65) & CHR$(49) \\ B$ = \"A\" & \"Z\"",
          "20 IF A$ > B$ THEN PRINT \"DIGITS HIGH\"", "30 PRINT ORD(\"1\") > ORD(\"Z\")",
          "40 X$ = FNT$(\"AB\", 3) \\ Y = FNL(\"ABCD\") \\ PRINT X$; Y", "50 END",
          "60 DEF FNT$(S$, N)", "70 T$ = S$ & STR$(N) & S$(2:2) \\ FNT$ = T$", "80 FNEND",
          "90 DEF FNL(S$)", "100 FNL = LEN(S$) + POS(S$, \"C\")", "110 FNEND"});
    EXPECT_THAT(mixed(70), ElementsAre(true, false));  // a function's value is not a target
    EXPECT_THAT(all3().output, ElementsAre("1", "AB3B7"));
    // A program saved with the decimal comma.
    load({"10 A$ = STR$(1.25) & \"/\" \\ B = VAL(\"2,5\") * 2", "20 PRINT A$; B",
          "30 C = VAL(\"2.5\")"});
    program().progoptions[3] = 1;
    const Outcome o = all3();
    program().progoptions[3] = 0;
    EXPECT_THAT(o.output, ElementsAre("1,25/5"));
    EXPECT_EQ(o.errors.size(), 1u);  // "2.5" is not a number with a decimal comma
}

TEST_F(FastLane, MixedFormsGiveUpBeforeChangingAnythingAndTheErrorIsTheGeneralPaths) {
    // Every clause fails; its target keeps its value and the error is the general path's, at
    // the same clause.
    for (const char* clause :
         {"A$ = CHR$(300)", "A$ = CHR$(-1)", "Y = VAL(\"1X\")", "A$ = \"0123456789\" & \"012345678\"",
          "N$(2) = \"TOO LONG\"", "N$(K) = \"A\"", "A$ = N$(K)", "A$ = LPAD$(\"A\", 40000)",
          "A$ = RPAD$(\"A\", 3, \"XY\")", "Y = LEN(N$(0, 1))", "A$ = STR$(10 ** 400)",
          "Y = 1 / LEN(\"\")", "A$ = N$(2)(1:K) & N$(4)"}) {
        load({"10 DIM N$(3)*4", "20 A$ = \"KEEP\" \\ Y = 1 \\ K = 9 \\ N$(2) = \"OLD\"",
              std::string("30 ") + clause, "40 PRINT A$; Y; N$(2)"});
        const Outcome o = all3(clause);
        EXPECT_EQ(o.errors.size(), 1u) << clause;
        EXPECT_EQ(o.output.size(), 0u) << clause;
    }
    // With SOFLOW ignored a text too long for its target is cut to its capacity, as on the
    // general path; trapped errors go on with everything as it was.
    load({"5 ON SOFLOW IGNORE", "10 DIM N$(2)*3, L$*5", "20 A$ = \"0123456789\" & \"0123456789\"",
          "30 N$(1) = \"ABCDE\" & \"F\" \\ L$ = LPAD$(\"X\", 9, \"-\")", "40 PRINT A$; N$(1); L$",
          "50 ON ERROR GOTO 80", "60 Y = 1 \\ Y = VAL(\"Q\")", "70 END", "80 PRINT ERR; Y"});
    EXPECT_THAT(all3().output, ElementsAre("012345678901234567ABC-----", "2 1"));
}

TEST_F(FastLane, MixedFormsMeetTheStackLimitsWhereTheGeneralPathDoes) {
    // The work stack's temporaries grow with the texts: a form that would not fit gives up, and
    // the general path reports the full stack at the same clause.
    load({"10 DIM N$(3)*30", "20 FOR I = 1 TO 3",
          "30 N$(I) = RPAD$(\"K\", I * 6, \"-\") & STR$(I) & N$(I - 1 + (I = 1))(2:4)",
          "40 IF N$(I)(1:1) = \"K\" AND LEN(N$(I)) > 3 THEN C = C + POS(N$(I), STR$(I))",
          "50 NEXT I \\ PRINT C; N$(3)", "60 END"});
    EXPECT_THAT(mixed(30), ElementsAre(true));
    const Outcome o = all3();
    EXPECT_THAT(o.errors, ElementsAre());
    EXPECT_THAT(o.output, ElementsAre("39 K-----------------3---"));
    for (int entries = 0; entries <= 14; ++entries) {
        resetFlow();
        ASSERT_EQ(allocateStacks(entries, kDefaultWorkStack), 0);
        both("RPN stack " + std::to_string(entries));
    }
    for (int bytes = 0; bytes <= 700; bytes += 4) {
        resetFlow();
        ASSERT_EQ(allocateStacks(kDefaultRpnStack, bytes), 0);
        both("work stack " + std::to_string(bytes));
    }
    resetFlow();
    ASSERT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
}

TEST_F(FastLane, AForWhoseLimitOrStepFailsKeepsItsStartAsTheGeneralPathDoes) {
    const std::vector<std::string> loops = {"10 I = 1 \\ Z = 0 \\ H = 1E200",
                                            "20 FOR I = I + 1 TO 5 / Z \\ PRINT \"BODY\"; I",
                                            "30 PRINT I",
                                            "40 FOR J = J + 3 TO 9 STEP 1 / Z",
                                            "50 PRINT J",
                                            "60 FOR K = 7 TO H * H \\ PRINT K",
                                            "70 NEXT K \\ NEXT J \\ NEXT I"};
    load(loops);
    enter({"5 ON ZDIV IGNORE"});
    EXPECT_EQ(forms(20).front(), FastForm::For);
    EXPECT_EQ(forms(40).front(), FastForm::For);
    EXPECT_EQ(forms(60).front(), FastForm::For);
    Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("BODY2", "2", "3", "7"));
    EXPECT_THAT(o.errors, ElementsAre("220 70 1"));  // NEXT K: its FOR failed

    enter({"5 ON ZDIV GOTO 100", "100 PRINT I; ERR; LINE \\ END"});
    EXPECT_THAT(both().output, ElementsAre("2 6 20"));

    enter({"5 REM"});
    o = both();
    EXPECT_THAT(o.errors, ElementsAre("6 20 1"));
    EXPECT_EQ(valueOf("I"), 2);
    EXPECT_EQ(o.forUse, 0u);
    enter({"20 I = I + 1", "45 REM"});
    o = both();
    EXPECT_THAT(o.errors, ElementsAre("6 40 1"));
    EXPECT_EQ(valueOf("J"), 3);
    enter({"40 REM"});
    EXPECT_THAT(both().errors, ElementsAre("6 60 1"));
    EXPECT_EQ(valueOf("K"), 7);
}

// ---- user-function calls from numeric forms ----

TEST_F(FastLane, AnErrorAfterTheCallIsRaisedOnceAtTheCallersClause) {
    const std::vector<std::string> function = {"10 DEF FNF(X)", "20 PRINT \"CALLED\"; X",
                                               "30 FNF = X * 2", "40 FNEND", "60 END"};
    load(function);
    enter({"50 A = FNF(1) / Z"});
    EXPECT_TRUE(callsFast(50));
    Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("CALLED1"));
    EXPECT_THAT(o.errors, ElementsAre("6 50 1"));
    EXPECT_EQ(o.callDepth, 0);
    EXPECT_EQ(o.flowUse, 0u);

    enter({"5 ON ZDIV IGNORE", "55 PRINT A"});
    EXPECT_THAT(both().output, ElementsAre("CALLED1", "0"));
    enter({"5 ON ZDIV GOTO 100", "100 PRINT ERR; LINE; A \\ END"});
    EXPECT_THAT(both().output, ElementsAre("CALLED1", "6 50 0"));

    // In an IF: an ignored error goes on after the IF clause.
    enter({"5 ON ZDIV IGNORE", "50 IF FNF(2) / Z THEN PRINT \"T\" ELSE PRINT \"F\"", "55 REM"});
    o = both();
    EXPECT_EQ(o.output.front(), "CALLED2");
    enter({"5 REM"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("CALLED2"));
    EXPECT_THAT(o.errors, ElementsAre("6 50 1"));

    // A subscript and an overflow after the call; an error before it: no call at all.
    enter({"50 DIM F(3) \\ F(FNF(5)) = 1"});
    EXPECT_TRUE(callsFast(50));
    o = both();
    EXPECT_THAT(o.output, ElementsAre("CALLED5"));
    EXPECT_THAT(o.errors, ElementsAre("122 50 2"));
    enter({"50 H = 1E200 \\ A = FNF(1) * H * H"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("CALLED1"));
    EXPECT_THAT(o.errors, ElementsAre("6 50 2"));
    enter({"50 A = FNF(1 / Z)"});
    o = both();
    EXPECT_THAT(o.output, IsEmpty());
    EXPECT_THAT(o.errors, ElementsAre("6 50 1"));
    enter({"50 A = 1 / Z + FNF(1)"});
    o = both();
    EXPECT_THAT(o.output, IsEmpty());
    EXPECT_THAT(o.errors, ElementsAre("6 50 1"));
    enter({"50 A = FNF(3) + 1 / Z"});
    EXPECT_TRUE(callsFast(50));
    o = both();
    EXPECT_THAT(o.output, ElementsAre("CALLED3"));
    EXPECT_THAT(o.errors, ElementsAre("6 50 1"));
}

TEST_F(FastLane, WhatAFormComputesAroundItsCallMatchesTheGeneralEvaluator) {
    load({"10 DEF FNF(X)", "20 PRINT \"CALLED\"; X", "30 FNF = X", "40 FNEND", "50 Z = 0 \\ W = 1",
          "60 A = Z AND FNF(1) \\ PRINT A", "70 A = W OR FNF(2) \\ PRINT A",
          "80 A = W AND FNF(3) \\ PRINT A", "90 A = Z OR FNF(4) \\ PRINT A",
          "100 IF Z AND FNF(5) THEN PRINT \"T\" ELSE PRINT \"F\"",
          "110 IF W OR FNF(6) THEN PRINT \"T\" ELSE PRINT \"F\"",
          "120 A = Z && FNF(7) || W \\ PRINT A", "130 A = FNF(8) AND Z \\ PRINT A",
          "140 A = (Z AND FNF(9)) + 5 \\ PRINT A", "150 END"});
    EXPECT_THAT(both().output, ElementsAre("0", "1", "CALLED3", "3", "CALLED4", "4", "F", "T", "1",
                                           "CALLED8", "0", "5"));

    load(
        {"10 DEF FNF(X)", "20 FNF = X", "30 FNEND", "40 DIM F(5) \\ F(2) = 7 \\ V = 3",
         "50 A = INT(FNF(2.9999996)) \\ PRINT A; \\ A = INT(FNF(-2.5)) \\ PRINT A;",
         "51 A = ABS(FNF(-4)) \\ PRINT A; \\ A = SGN(FNF(-4)) \\ PRINT A;",
         "52 A = -FNF(4) ** 2 \\ PRINT A; \\ A = FNF(2) ** 3 ** 2 \\ PRINT A",
         "53 A = NOT FNF(0) \\ PRINT A; \\ A = ~FNF(3) \\ PRINT A; \\ A = (FNF(2) >= V) \\ PRINT A",
         "54 A = F(FNF(2)) + V \\ PRINT A; \\ A = V - FNF(1) * V / 2 \\ PRINT A;",
         "55 A = FNF(5) - V * 2 \\ PRINT A; \\ A = (FNF(2) + V) * (V - 1) \\ PRINT A",
         "56 IF FNF(2) > V THEN A = 1 ELSE A = 2",
         "57 PRINT A; \\ A = FNF(0.1) + 0.2 = 0.3 \\ PRINT A",
         "58 F(FNF(3)) = V * 2 \\ PRINT F(3); \\ F(V) = F(V) + FNF(1) \\ PRINT F(3)",
         "59 A = FNF(1E151) / 1E10 \\ PRINT A", "60 A = FNF(1E151) * 1", "70 END"});
    for (const uint32_t line : {50u, 51u, 52u, 53u, 54u, 55u, 56u, 57u})
        EXPECT_TRUE(callsFast(line)) << line;
    const Outcome o = both();
    EXPECT_THAT(o.output,
                ElementsAre("3 -3 4 -1 16 64", "1 0 0", "10 1.5 -1 10", "2 1", "6 7", "1E+141"));
    EXPECT_THAT(o.errors, ElementsAre("6 60 1"));
}

TEST_F(FastLane, VariablesReadBeforeACallSeeWhatTheCallChanged) {
    load({"10 DEF FNF(X)", "20 S = S + 100 \\ FNF = X", "30 FNEND",
          "40 S = 1 \\ A = S + FNF(1) \\ PRINT A; S",
          "50 S = 1 \\ B = S * 2 + FNF(1) \\ PRINT B; S", "60 S = 1 \\ C = S - FNF(1) \\ PRINT C",
          "70 S = 1 \\ IF S < FNF(1) THEN PRINT \"AFTER\" ELSE PRINT \"BEFORE\"",
          "80 S = 1 \\ D = (S + 0) + FNF(1) \\ PRINT D", "90 X = 5 \\ E = X + FNF(2) \\ PRINT E; X",
          "95 Y = 3 \\ G = Y + FNG(Y) + Y \\ PRINT G; Y",
          "96 DIM F(2) \\ F(1) = 1 \\ H = F(1) + FNH(1) \\ PRINT H",
          "97 S = 1 \\ S = S + FNF(1) \\ PRINT S", "100 END", "110 DEF FNG(P)",
          "120 Y = Y * 10 \\ FNG = P", "130 FNEND", "140 DEF FNH(P)", "150 F(1) = 50 \\ FNH = P",
          "160 FNEND"});
    for (const uint32_t line : {40u, 50u, 60u, 70u, 80u, 90u, 95u, 97u})
        EXPECT_TRUE(callsFast(line)) << line;
    EXPECT_FALSE(callsFast(96)) << "an element read before the call";
    EXPECT_THAT(both().output,
                ElementsAre("102 101", "3 101", "100", "BEFORE", "2", "7 5", "63 30", "51", "102"));
}

TEST_F(FastLane, FormalsAndArgumentsAsTheGeneralPathBindsThem) {
    load({"10 X = 100 \\ DIM W(3) \\ W(1) = 7", "20 DEF FNA(X)", "30 FNA = X + 1", "40 FNEND",
          "50 DEF FNB(W)", "60 FNB = W * 2", "70 FNEND", "80 DEF FNC(V)",
          "90 T = V \\ DIM V(4) \\ V(2) = T * 3 \\ FNC = V(2)", "95 FNEND",
          "100 A = FNA(1) \\ B = FNB(4) \\ C = FNC(2) \\ PRINT A; X; B; W(1); C; V",
          "110 V = 9 \\ Q = V + FNC(5) \\ PRINT Q; V", "120 Q = FNC(1) + FNC(2)",
          "130 PRINT Q; V; T", "140 END"});
    Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("2 100 8 7 6 0", "24 9", "9 9 2"));
    EXPECT_THAT(o.errors, IsEmpty());

    // The result entry: it starts at 0 in each call and its value outside calls comes back.
    // The function's name read in its body is a call of it.
    load({"10 DEF FNR(X)", "20 FNR = X * 2", "30 FNEND", "40 FNR = 5",
          "50 A = FNR(3) \\ B = FNR(4) + 1", "60 PRINT A; B", "70 END"});
    o = both();
    EXPECT_THAT(o.errors, IsEmpty());
    EXPECT_THAT(o.output, ElementsAre("6 9"));
    EXPECT_EQ(valueOf("FNR"), 5);
    enter({"20 FNR = FNR + X"});
    EXPECT_THAT(both().errors, ElementsAre("301 20 1"));

    load({"10 DEF FNP(X, Y)", "20 FNP = X * 10 + Y", "30 FNEND", "40 X = 1 \\ Y = 2",
          "50 A = FNP(Y, X) \\ B = FNP(X + Y, X - Y) \\ C = X + FNP(X, X) + Y",
          "60 PRINT A; B; C; X; Y",
          // The body dimensions a variable that the caller read before the call.
          "70 S = 4 \\ D = S + FND(1) \\ PRINT D; S(1)", "80 END", "90 DEF FND(X)",
          "100 DIM S(3) \\ S(1) = 8 \\ FND = X", "110 FNEND"});
    o = both();
    EXPECT_THAT(o.errors, IsEmpty());
    EXPECT_EQ(o.output.front(), "21 29 14 1 2");
    ASSERT_EQ(o.output.size(), 2u);
}

TEST_F(FastLane, CallsWithTheWrongArgumentsFailAsOnTheGeneralPath) {
    const std::vector<std::string> function = {"10 DEF FNA(X)", "20 FNA = X * 3", "30 FNEND",
                                               "40 DIM B(3)", "60 END"};
    load(function);
    enter({"50 A = FNA(1, 2)"});
    EXPECT_THAT(both().errors, ElementsAre("301 50 1"));
    enter({"50 A = FNA(B)"});
    EXPECT_THAT(both().errors, ElementsAre("304 50 1"));
    enter({"50 A = FNA(\"S\")"});
    EXPECT_THAT(both().errors, ElementsAre("304 50 1"));
    enter({"50 A = 1 + FNA"});
    EXPECT_THAT(both().errors, ElementsAre("301 50 1"));
    enter(
        {"45 ON ERROR GOTO 100", "50 A = 2 \\ A = FNA(1, 2) + A", "100 PRINT ERR; LINE; A \\ END"});
    EXPECT_THAT(both().output, ElementsAre("301 50 2"));
    EXPECT_EQ(valueOf("X"), 0);
    enter({"45 ON ERROR IGNORE", "50 A = 2 \\ A = FNA(1, 2) + A \\ PRINT A; X"});
    EXPECT_THAT(both().output, ElementsAre("2 0"));

    // Optional and by-reference formals: the general path makes those calls.
    load({"10 DEF FNO(X; Y)", "20 FNO = X + Y * 10", "30 FNEND", "40 DEF FNR(&X)",
          "50 X = X + 1 \\ FNR = X", "60 FNEND",
          "70 A = FNO(1) \\ B = FNO(1, 2) \\ Q = 5 \\ C = FNR(Q) \\ PRINT A; B; C; Q",
          "80 C = FNR(Q + 1)", "90 END"});
    Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("1 21 6 6"));
    EXPECT_THAT(o.errors, ElementsAre("303 80 1"));
}

TEST_F(FastLane, RecursionBeyondTheFlowStackFailsAtTheSamePlace) {
    load({"10 DEF FNFACT(N)", "20 IF N <= 1 THEN FNFACT = 1 ELSE FNFACT = N * FNFACT(N - 1)",
          "30 FNEND", "40 A = FNFACT(10) \\ PRINT A", "50 A = FNFACT(K) \\ PRINT A", "60 END"});
    EXPECT_TRUE(callsFast(20));
    EXPECT_TRUE(callsFast(40));
    Outcome o = both();
    EXPECT_THAT(o.output, ElementsAre("3628800", "1"));

    enter({"5 K = 60"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("3628800"));
    ASSERT_EQ(o.errors.size(), 1u);
    EXPECT_EQ(o.errors[0].substr(0, 8), "9003 20 ");
    EXPECT_EQ(o.flowUse, 50u);
    EXPECT_EQ(o.callDepth, 50);
    EXPECT_EQ(valueOf("N"), 11);  // the deepest call's formal

    enter({"7 ON ERROR GOTO 100", "100 PRINT ERR; LINE; N \\ END"});
    EXPECT_THAT(both().output, ElementsAre("3628800", "9003 20 11"));

    // Exactly as deep as the stack allows, and one more; GOSUB frames count too.
    setFlowLimits(10, 30);
    load({"10 DEF FNFACT(N)", "20 IF N <= 1 THEN FNFACT = 1 ELSE FNFACT = N * FNFACT(N - 1)",
          "30 FNEND", "40 A = FNFACT(10) \\ PRINT A", "50 A = FNFACT(11) \\ PRINT A", "60 END"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("3628800"));
    ASSERT_EQ(o.errors.size(), 1u);
    EXPECT_EQ(o.errors[0].substr(0, 8), "9003 20 ");
    load({"10 DEF FNFACT(N)", "20 IF N <= 1 THEN FNFACT = 1 ELSE FNFACT = N * FNFACT(N - 1)",
          "30 FNEND", "40 GOSUB 200 \\ PRINT A", "50 END", "200 A = FNFACT(10) \\ RETURN"});
    o = both();
    EXPECT_THAT(o.output, IsEmpty());
    ASSERT_EQ(o.errors.size(), 1u);
    EXPECT_EQ(o.errors[0].substr(0, 8), "9003 20 ");
    EXPECT_EQ(o.flowUse, 10u);

    // A one-line function calling itself for ever.
    setFlowLimits(50, 30);
    load({"10 DEF FNR(N) = FNR(N - 1) + 1", "20 A = FNR(1)", "30 END"});
    EXPECT_TRUE(callsFast(10));
    o = both();
    ASSERT_EQ(o.errors.size(), 1u);
    EXPECT_EQ(o.errors[0].substr(0, 8), "9003 10 ");
    EXPECT_EQ(valueOf("N"), -48);
}

TEST_F(FastLane, FunctionsCallingFunctionsAndBodiesOfEveryShape) {
    load({"10 DEF FNL(N)", "20 T = 0 \\ FOR I = 1 TO N \\ T = T + I \\ NEXT I \\ FNL = T",
          "30 FNEND", "40 DEF FNT(N) = FNL(N) * 2", "50 DEF FNU(N)",
          "60 IF FNT(N) > 10 THEN FNU = 1", "70 FNEND",
          "80 FOR I = 1 TO 3 \\ S = S + FNL(I) \\ NEXT I", "90 PRINT S; I",
          "100 A = FNU(2) \\ B = FNU(4) \\ PRINT A; B", "110 PAUSE"});
    Outcome o = both();
    EXPECT_THAT(o.errors, IsEmpty());
    EXPECT_THAT(o.output, ElementsAre("7 5", "0 1"));
    EXPECT_EQ(o.forUse, 1u);

    // A subroutine inside a body; RETURN without its GOSUB and FNEND inside a subroutine.
    load({"10 DEF FNG(X)", "20 GOSUB 60 \\ FNG = Y", "30 FNEND", "40 A = FNG(4) \\ PRINT A",
          "50 END", "60 Y = X * X \\ RETURN"});
    EXPECT_THAT(both().output, ElementsAre("16"));
    // A call in a clause of the general path (FOR) runs its body in the lane.
    enter({"45 FOR I = 1 TO FNG(2) STEP FNG(1) \\ S = S + I \\ NEXT I \\ PRINT S; I"});
    EXPECT_THAT(both().output, ElementsAre("16", "10 5"));
    enter({"45 REM", "60 Y = X * X \\ FNEND"});
    o = both();
    EXPECT_THAT(o.errors, ElementsAre("202 60 2"));
    EXPECT_EQ(o.flowUse, 2u);
    enter({"20 RETURN"});
    EXPECT_THAT(both().errors, ElementsAre("201 20 1"));

    // No formals; mutual recursion; a body left by GOTO for good.
    load({"10 DEF FNPI = 3.5", "20 DEF FNC", "30 C = C + 1 \\ FNC = C * 10", "40 FNEND",
          "50 DEF FNA(N)", "53 FNA = 1 \\ IF N > 0 THEN FNA = FNB(N - 1) + 1", "55 FNEND",
          "60 DEF FNB(N)", "70 REM THE BODY STARTS AFTER THIS",
          "80 IF N > 0 THEN FNB = FNA(N - 1) * 2", "90 FNEND",
          "100 A = 2 * FNPI \\ B = C + FNC \\ D = FNA(5) \\ PRINT A; B; C; D",
          "110 DIM F(3) \\ F(2) = 10 \\ IF FNPI * 2 = F(2) - 3 THEN PRINT \"EQUAL\"",
          "120 E = FNG(F(2)) \\ PRINT \"NOT HERE\"", "130 DEF FNG(X)", "140 GOTO 160", "150 FNEND",
          "160 PRINT \"LEFT\"; X; E \\ PAUSE"});
    for (const uint32_t line : {53u, 80u, 100u, 110u, 120u}) EXPECT_TRUE(callsFast(line)) << line;
    o = both();
    EXPECT_THAT(o.output, ElementsAre("7 11 1 7", "EQUAL", "LEFT10 0"));
    EXPECT_EQ(o.callDepth, 1);
    EXPECT_EQ(o.flowUse, 1u);

    // Forms too deep for the lane, and a function with many formals.
    load({"10 DEF FNS(A, B, C, D, E, F, G, H, I, J, K, L, M, N, O, P)",
          "20 FNS = A + B + C + D + E + F + G + H + I + J + K + L + M + N + O + P", "30 FNEND",
          "40 X = FNS(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16) \\ PRINT X",
          "50 X = 1 + (2 + (3 + (4 + (5 + (6 + (7 + (8 + (9 + (10 + (11 + (12 + (13 + (14 + (15 + "
          "(16 + (17 + (18 + (19 + (20 + (21 + (22 + (23 + (24 + (25 + (26 + (27 + (28 + (29 + "
          "(30 + (31 + (32 + (33 + FNS(1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, "
          "1)))))))))))))))))))))))))))))))))",
          "60 PRINT X; A; P", "70 END"});
    EXPECT_TRUE(callsFast(40));
    o = both();
    EXPECT_THAT(o.output, ElementsAre("136", "577 0 0"));
}

TEST_F(FastLane, CallsLeftByEndStopTrapsRetryAndContinue) {
    load({"10 X = 7 \\ S = 1", "20 DEF FNE(X)", "30 S = S + X \\ IF X > 2 THEN END 4", "40 FNE = X",
          "50 FNEND", "60 A = FNE(1) \\ B = FNE(5) \\ PRINT \"NOT HERE\""});
    Outcome o = both();
    EXPECT_EQ(o.status, RUNSTAT_READY);
    EXPECT_THAT(o.output, IsEmpty());
    EXPECT_EQ(o.exitCode, 4);
    EXPECT_EQ(valueOf("X"), 7);
    EXPECT_EQ(valueOf("S"), 7);
    EXPECT_EQ(valueOf("A"), 1);
    enter({"30 S = S + X \\ IF X > 2 THEN STOP 3"});
    o = both();
    EXPECT_EQ(o.status, RUNSTAT_READY);
    EXPECT_EQ(o.exitCode, 3);
    EXPECT_EQ(valueOf("X"), 7);

    load({"10 ON ERROR GOTO 100", "20 A = 1 + FNF(0) \\ PRINT \"BACK\"; A", "30 END",
          "40 DEF FNF(X)", "50 FNF = 1 / X", "60 FNEND", "100 PRINT \"TRAP\"; ERR; LINE; X",
          "110 FNF = 5 \\ GOTO 60"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("TRAP6 50 0", "BACK6"));
    EXPECT_EQ(o.status, RUNSTAT_READY);

    // The trap line ends the run with the call open; or calls the function again first.
    enter({"110 END"});
    EXPECT_THAT(both().output, ElementsAre("TRAP6 50 0"));
    enter({"110 B = FNF(4) \\ PRINT B; X \\ PAUSE"});
    o = both();
    EXPECT_THAT(o.output, ElementsAre("TRAP6 50 0", "0.25 0"));
    EXPECT_EQ(o.callDepth, 1);

    // Ignored inside the body: the result stays 0.
    enter({"10 ON ZDIV IGNORE"});
    EXPECT_THAT(both().output, ElementsAre("BACK1"));

    load({"5 ON ZDIV GOTO 100", "10 Z = 0", "20 A = FNF(1) / Z \\ PRINT \"A\"; A", "30 END",
          "40 DEF FNF(X)", "50 PRINT \"CALLED\"", "60 FNF = X * 6", "70 FNEND",
          "100 PRINT \"TRAP\"; ERR \\ Z = 2 \\ RETRY"});
    EXPECT_THAT(both().output, ElementsAre("CALLED", "TRAP6", "CALLED", "A3"));
    enter({"100 PRINT \"TRAP\"; ERR \\ Z = 2 \\ CONTINUE"});
    EXPECT_THAT(both().output, ElementsAre("CALLED", "TRAP6", "A0"));
    // An error inside the body: RETRY runs the body's clause again, in the open call.
    enter({"10 Z = 0 \\ X = 50", "20 A = FNF(1) \\ PRINT \"A\"; A; X", "60 FNF = X * 6 / Z",
           "100 PRINT \"TRAP\"; ERR; X \\ Z = 2 \\ RETRY"});
    EXPECT_THAT(both().output, ElementsAre("CALLED", "TRAP6 1", "A3 50"));
}

// ---- GOSUB, RETURN, IF, block skips and no-op statements ----

TEST_F(FastLane, GosubAndReturnAcrossLinesAndWithinOne) {
    load({"10 GOSUB 100 \\ PRINT \"A\"", "20 GOSUB 200",
          "30 PRINT \"B\" \\ GOSUB 300 \\ PRINT \"C\"", "40 I = 0 \\ GOSUB 400 \\ PRINT \"D\"; I",
          "45 X = 1 \\ GOSUB 300", "50 PRINT \"E\"", "60 RETURN", "100 PRINT \"S1\" \\ RETURN",
          "200 GOSUB 100 \\ RETURN", "300 RETURN",
          "400 I = I + 1 \\ IF I < 5 THEN GOSUB 400 \\ PRINT \"R\"; I \\ RETURN", "410 RETURN"});
    EXPECT_THAT(forms(400), ElementsAre(FastForm::Let, FastForm::If, FastForm::Gosub,
                                        FastForm::None, FastForm::Return));
    Outcome o = both();
    EXPECT_THAT(o.output,
                ElementsAre("S1", "A", "S1", "B", "C", "R5", "R5", "R5", "R5", "D5", "E"));
    EXPECT_THAT(o.errors, ElementsAre("201 60 1"));

    // Every poll interval, with the returns inside line 400 counting as lines.
    for (const int lines : {0, 1, 2, 3, 5}) {
        t.breakLines = lines;
        both("BREAK " + std::to_string(lines));
    }
    t.breakLines = 8;

    setFlowLimits(3, 30);
    o = both();
    EXPECT_THAT(o.errors, ElementsAre("9003 400 3"));
    EXPECT_EQ(o.flowUse, 3u);
    setFlowLimits(50, 30);

    // Returns to the end of the GOSUB's line go on with the next line.
    // A typed statement calls and GOSUBs into the program's lines and comes back.
    load({"10 END", "100 T = T + FNQ(2) \\ RETURN", "200 DEF FNQ(X)", "210 FNQ = X * X",
          "220 FNEND"});
    for (const int lines : {1, 8}) {
        t.breakLines = lines;
        const Outcome typed =
            typedBoth("FOR I = 1 TO 3 \\ S = S + FNQ(I) \\ NEXT I \\ GOSUB 100 \\ PRINT S; T; I");
        EXPECT_EQ(typed.status, RUNSTAT_READY);
        EXPECT_THAT(typed.output, ElementsAre("14 4 4"));
    }
    t.breakLines = 8;

    load({"10 GOSUB 400 \\ PRINT \"BACK\"; I", "20 END",
          "400 I = I + 1 \\ IF I > 3 THEN RETURN ELSE GOSUB 400",
          "410 PRINT \"AFTER\"; I \\ RETURN"});
    EXPECT_THAT(both().output, ElementsAre("AFTER4", "AFTER4", "AFTER4", "BACK4"));
    for (const int lines : {1, 2, 3}) {
        t.breakLines = lines;
        both("BREAK " + std::to_string(lines));
    }
    t.breakLines = 8;
}

TEST_F(FastLane, IfsBlocksAndStatementsThatArePassedOver) {
    load({"10 X = 2", "20 IF X = 2 THEN PRINT \"T1\" ELSE PRINT \"F1\"",
          "30 IF X = 3 THEN PRINT \"T2\" ELSE PRINT \"F2\"", "40 IF X THEN 60 ELSE 70",
          "50 PRINT \"NOT HERE\"", "60 PRINT \"SIXTY\" \\ IF X < 0 THEN 70 ELSE 80",
          "70 PRINT \"SEVENTY\"",
          "80 IF X = 2 THEN IF X > 5 THEN PRINT \"A\" ELSE PRINT \"B\" ELSE PRINT \"C\"",
          "90 IF X > 1 THEN Y = 1 \\ Z = 2 ELSE Y = 3", "95 PRINT Y; Z",
          "96 IF X - 2 THEN Y = 4 \\ Z = 5 ELSE Y = 6", "97 PRINT Y; Z", "100 END"});
    EXPECT_THAT(both().output, ElementsAre("T1", "F2", "SIXTY", "B", "1 2", "6 2"));

    // Calls in the test and in the clauses after THEN and ELSE, in one line and in blocks.
    load({"10 DEF FNF(X)", "20 FNF = X * 2", "30 FNEND",
          "40 IF FNF(1) > 1 THEN A = FNF(2) \\ B = FNF(3) ELSE A = FNF(4)", "50 PRINT A; B",
          "60 IF FNF(1) > 2 THEN A = FNF(2) \\ B = FNF(3) ELSE A = FNF(4)", "70 PRINT A; B",
          "80 FOR K = 1 TO 3", "90 IF FNF(K) < 3 THEN", "100 PRINT \"SMALL\"; K",
          "110 ELSE IF FNF(K) < 5 THEN", "120 PRINT \"MIDDLE\"; K", "130 ELSE",
          "140 PRINT \"BIG\"; K", "150 END IF", "160 NEXT K", "170 END"});
    EXPECT_THAT(both().output, ElementsAre("4 6", "8 6", "SMALL1", "MIDDLE2", "BIG3"));
    for (const int lines : {0, 1, 2, 3}) {
        t.breakLines = lines;
        both("BREAK " + std::to_string(lines));
    }
    t.breakLines = 8;

    load({"10 FOR X = 1 TO 4", "20 IF X = 1 THEN", "30 PRINT \"ONE\"", "40 ELSE IF X = 2 THEN",
          "50 PRINT \"TWO\"", "60 IF X > 0 THEN", "70 PRINT \"NESTED\"", "80 END IF",
          "90 ELSE IF X = 3 THEN", "100 PRINT \"THREE\"", "110 ELSE", "120 PRINT \"OTHER\"",
          "130 END IF", "140 NEXT X", "150 IF G = 0 THEN G = 1 \\ GOTO 110",
          "160 PRINT \"END\"; X \\ END"});
    EXPECT_THAT(both().output, ElementsAre("ONE", "TWO", "NESTED", "THREE", "OTHER", "END6"));
    for (const int lines : {1, 2, 3}) {
        t.breakLines = lines;
        both("BREAK " + std::to_string(lines));
    }

    load({"10 REM START \\ X = 1", "20 DATA 1, 2, 3", "30 TOP: X = X + 1 \\ IF X < 4 THEN GOTO TOP",
          "40 DEF FNA(Y) = Y * 2", "50 DEF FNB(Y)", "60 FNB = Y + 1", "70 FNEND", "80 FORM C 10",
          "90 IGNORE \\ A = FNA(X) + 0 \\ B = FNB(X)", "100 PRINT X; A; B", "110 GOSUB SUB \\ END",
          "120 SUB: PRINT \"SUB\" \\ RETURN"});
    EXPECT_THAT(both().output, ElementsAre("4 8 5", "SUB"));
    for (const int lines : {1, 2, 3}) {
        t.breakLines = lines;
        both("BREAK " + std::to_string(lines));
    }
}

TEST_F(FastLane, RunningOffTheEndOfTheProgramIsError213AtTheLastClauseRun) {
    load({"10 FOR I = 1 TO 3 \\ NEXT I"});
    EXPECT_THAT(both().errors, ElementsAre("213 10 2"));
    load({"10 X = 1", "20 IF X THEN PRINT \"Y\""});
    EXPECT_THAT(both().errors, ElementsAre("213 20 2"));
    load({"10 X = 0", "20 IF X THEN PRINT \"Y\""});
    EXPECT_THAT(both().errors, ElementsAre("213 20 1"));
    load({"10 DEF FNF(X) = X + 1", "20 A = FNF(1)"});
    EXPECT_THAT(both().errors, ElementsAre("213 20 1"));
    load({"10 GOTO 40", "20 DEF FNF(X)", "30 FNF = X + 1 \\ FNEND", "40 A = 1 \\ A = FNF(A)"});
    EXPECT_THAT(both().errors, ElementsAre("213 40 2"));
    EXPECT_EQ(valueOf("A"), 2);
    load({"10 FOR I = 1 TO 2", "20 NEXT I"});
    EXPECT_THAT(both().errors, ElementsAre("213 20 1"));
    load({"10 GOSUB 30", "20 X = 1 \\ GOSUB 30", "25 END", "30 RETURN"});
    EXPECT_THAT(both().errors, IsEmpty());
    load({"10 X = 1 \\ GOSUB 30", "20 GOTO 40", "30 RETURN", "40 Y = 2"});
    EXPECT_THAT(both().errors, ElementsAre("213 40 1"));
    // The last line has nothing to run: reported at the jump to it.
    load({"10 X = 1 \\ GOTO 30", "20 END", "30 REM LAST"});
    EXPECT_THAT(both().errors, ElementsAre("213 10 2"));
    load({"10 DEF FNF(X)", "20 FNF = X \\ FNEND", "30 X = 1 \\ IF FNF(X) THEN 40", "40 REM LAST"});
    EXPECT_THAT(both().errors, ElementsAre("213 30 3"));
    load({"10 DEF FNF(X)", "20 FNF = X \\ FNEND", "30 X = 1 \\ IF FNF(0) THEN 40", "40 REM LAST"});
    EXPECT_THAT(both().errors, ElementsAre("213 30 2"));
}

// ---- attention, function keys, trace and the stop line ----

TEST_F(FastLane, TheAttentionKeyAtEveryPollOfATightLoopStopsAndResumesAlike) {
    const std::vector<std::vector<std::string>> programs = {
        {"10 FOR I = 1 TO 30 \\ S = S + I \\ NEXT I", "20 PRINT S; I", "30 END"},
        {"10 FOR I = 1 TO 12 \\ S = S + FNQ(I) \\ NEXT I", "20 PRINT S; I", "30 END",
         "40 DEF FNQ(X) = X * X"},
        {"10 FOR I = 1 TO 12 \\ S = S + FNQ(I) \\ NEXT I", "20 PRINT S; I", "30 END",
         "40 DEF FNQ(X)", "50 FNQ = X * X", "60 FNEND"},
        {"10 I = I + 1 \\ IF FNQ(I) < 100 THEN 10", "20 PRINT I", "30 END", "40 DEF FNQ(X)",
         "50 FNQ = X * X", "60 FNEND"},
        // Called from a clause of the general path; nested calls; a formal named like the
        // caller's loop variable with a loop of its own.
        {"10 FOR I = 1 TO 4 \\ PRINT FNQ(I); \\ NEXT I", "20 PRINT", "30 END", "40 DEF FNQ(X)",
         "50 FNQ = X * X", "60 FNEND"},
        {"10 FOR I = 1 TO 5 \\ S = S + FNQ(I) \\ NEXT I", "20 PRINT S; I", "30 END",
         "40 DEF FNQ(X) = FNR(X) + 1", "50 DEF FNR(Y)", "60 FNR = Y * Y", "70 FNEND"},
        {"10 FOR I = 1 TO 3 \\ S = S + FNQ(I) \\ NEXT I", "20 PRINT S; I", "30 END",
         "40 DEF FNQ(I)", "50 T = 0 \\ FOR I = I TO I + 2 \\ T = T + I \\ NEXT I \\ FNQ = T",
         "60 FNEND"},
    };
    const std::vector<std::string> results = {"465 31",    "650 13", "650 13", "10",
                                              "1 4 9 16 ", "60 6",   "27 4"};
    for (size_t p = 0; p < programs.size(); ++p) {
        load(programs[p]);
        for (const int lines : {1, 3, 8}) {
            t.breakLines = lines;
            PolledKeys::keys.clear();
            const Outcome plain = both();
            ASSERT_THAT(plain.output, ElementsAre(results[p])) << p;
            for (int at = 1; at <= plain.polls; ++at) {
                const std::string where = "program " + std::to_string(p) + " BREAK " +
                                          std::to_string(lines) + " key at poll " +
                                          std::to_string(at);
                PolledKeys::keys = {{at, kKeyAttention}};
                const std::vector<Outcome> stops = bothSessions([](int) {}, where);
                ASSERT_EQ(stops.size(), 2u) << where;
                EXPECT_EQ(stops[0].status, RUNSTAT_ATTN) << where;
                EXPECT_EQ(stops[1].status, RUNSTAT_READY) << where;
                EXPECT_THAT(allOutput(stops), ElementsAre(results[p])) << where;

                // Stopped on one path, resumed on the other.
                for (const bool fastFirst : {true, false}) {
                    const std::vector<Outcome> mixed = sessionWith(
                        fastFirst,
                        [&](int k) {
                            if (k == 1) setFastForms(!fastFirst);
                        },
                        4);
                    ASSERT_EQ(mixed.size(), 2u) << where;
                    EXPECT_EQ(mixed[0].line, stops[0].line) << where;
                    EXPECT_EQ(mixed[0].offset, stops[0].offset) << where;
                    EXPECT_EQ(mixed[1].status, RUNSTAT_READY) << where;
                    EXPECT_EQ(allOutput(mixed), allOutput(stops))
                        << where << " fast first " << fastFirst;
                    EXPECT_EQ(mixed[1].variables, stops[1].variables) << where;
                }
            }
        }
    }
    t.breakLines = 8;
}

TEST_F(FastLane, FunctionKeysAtEveryPollTakeTheirLineAndContinueAlike) {
    // Key 3 has a line, key 4 is ignored, key 5 raises error 1 where the run was interrupted;
    // the help key without ON HELP shows the help topic.
    load({"5 ON FNKEY 3 GOTO 100 \\ ON FNKEY 4 IGNORE \\ ON FNKEY 5 SYSTEM \\ ON EVENT SYSTEM",
          "10 FOR I = 1 TO 6 \\ S = S + FNQ(I) \\ NEXT I", "20 PRINT S; I", "30 END",
          "40 DEF FNQ(X)", "50 FNQ = X * X", "60 FNEND",
          "100 PRINT \"KEY\"; ERR; LINE; I; X \\ END"});
    t.breakLines = 1;
    const Outcome plain = both();
    ASSERT_THAT(plain.output, ElementsAre("91 7"));
    for (int at = 2; at <= plain.polls; ++at) {  // the first poll comes before ON FNKEY
        for (const int key : {3 * 256, 4 * 256, 5 * 256, kKeyHelp}) {
            PolledKeys::keys = {{at, key}};
            const Outcome o = both("key " + std::to_string(key) + " at poll " + std::to_string(at));
            if (key == 3 * 256) {
                ASSERT_FALSE(o.output.empty()) << at;
                EXPECT_EQ(o.output.back().substr(0, 5), "KEY1 ") << at;
            }
            if (key == 5 * 256) {
                EXPECT_EQ(o.status, RUNSTAT_ERROR) << at;
                ASSERT_EQ(o.errors.size(), 1u) << at;
                EXPECT_EQ(o.errors[0].substr(0, 2), "1 ") << at;
            } else {
                EXPECT_EQ(o.status, RUNSTAT_READY) << at;
            }
        }
    }

    // The interrupted clause runs again after CONTINUE: inside the body, in the loop, or at a
    // line start.
    load({"5 ON FNKEY 3 GOTO 100", "10 FOR I = 1 TO 6 \\ S = S + FNQ(I) \\ NEXT I",
          "20 PRINT S; I; K \\ END", "40 DEF FNQ(X)", "50 FNQ = X * X", "60 FNEND",
          "100 K = K + 1 \\ CONTINUE"});
    for (const int lines : {1, 2, 5}) {
        t.breakLines = lines;
        PolledKeys::keys.clear();
        const Outcome plain = both();
        ASSERT_THAT(plain.output, ElementsAre("91 7 0"));
        for (int at = 2; at <= plain.polls; ++at) {
            PolledKeys::keys = {{at, 3 * 256}};
            const Outcome o =
                both("BREAK " + std::to_string(lines) + " key at poll " + std::to_string(at));
            EXPECT_THAT(o.output, ElementsAre("91 7 1")) << at;
            EXPECT_EQ(o.status, RUNSTAT_READY) << at;
        }
    }
}

TEST_F(FastLane, TraceAndTheStopLineSeeEveryLineStart) {
    load({"10 FOR I = 1 TO 3", "20 S = S + FNQ(I)", "30 NEXT I", "40 PRINT S", "50 END",
          "60 DEF FNQ(X)", "70 FNQ = X * X", "80 FNEND"});
    t.breakflags = kTraceOn;
    const std::vector<Outcome> traced = bothSessions([](int k) {
        if (k == 0) t.breakflags = kTraceOn;
    });
    EXPECT_THAT(allOutput(traced), ElementsAre("00010 00020 00070 00080 00030 00020 00070 00080 "
                                               "00030 00020 00070 00080 00030 00",
                                               "040 14", "00050 "));
    t.breakflags = 0;

    // Trace switched on and off by the program, inside a function too.
    load({"10 FOR I = 1 TO 2", "20 S = S + FNQ(I)", "30 NEXT I \\ TRACE OFF", "40 PRINT S",
          "50 END", "60 DEF FNQ(X)", "70 TRACE \\ FNQ = X * X", "80 FNEND"});
    EXPECT_THAT(both().output, ElementsAre("00080 00030 00020 00070 00080 00030 5"));

    load({"10 FOR I = 1 TO 3", "20 S = S + FNQ(I)", "30 NEXT I", "40 PRINT S", "50 END",
          "60 DEF FNQ(X)", "70 FNQ = X * X", "80 FNEND"});
    for (const uint32_t stop : {20u, 70u, 80u, 30u}) {
        const std::vector<Outcome> stops = bothSessions(
            [&](int k) {
                if (k == 0) program().stopline = stop;
            },
            "stop line " + std::to_string(stop));
        EXPECT_EQ(stops.size(), 4u) << stop;
        EXPECT_THAT(allOutput(stops), ElementsAre("14")) << stop;
        program().stopline = 0;
    }
}

// ---- stepping, break points and watched variables around calls the lane made ----

class FastLaneDebugging : public FastLane {
  protected:
    void SetUp() override {
        FastLane::SetUp();
        load({"10 S = 1", "20 A = S + FNF(2) \\ PRINT A", "30 B = FNF(3) * 2 \\ PRINT B; S",
              "40 END", "50 DEF FNF(X)", "60 S = S + X \\ PAUSE", "70 FNF = X * 10", "80 FNEND",
              "90 DEF FNG(Y) = Y + S"});
    }
    // A statement typed while the run is suspended; the run's position is kept for resuming,
    // as command mode keeps it.
    int typed(const std::string& statement) {
        const int16_t line = program().curline;
        const int16_t offset = program().savedclauseoffset;
        const int status = immediate(statement);
        program().curline = line;
        program().savedclauseoffset = offset;
        return status;
    }
};

TEST_F(FastLaneDebugging, PausedInsideACallTheLaneMadeThenSteppedOrResumed) {
    EXPECT_TRUE(callsFast(20));
    EXPECT_TRUE(callsFast(30));
    EXPECT_THAT(forms(80), ElementsAre(FastForm::Fnend));
    std::vector<Outcome> stops = bothSessions([](int) {});
    ASSERT_EQ(stops.size(), 3u);
    EXPECT_EQ(stops[0].status, RUNSTAT_PAUSE);
    EXPECT_EQ(stops[0].callDepth, 1);
    EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6"));

    // Paused on one path, resumed on the other.
    for (const bool fastFirst : {true, false}) {
        const std::vector<Outcome> mixed = sessionWith(
            fastFirst,
            [&](int k) {
                if (k == 1) setFastForms(!fastFirst);
            },
            5);
        EXPECT_THAT(allOutput(mixed), ElementsAre("23", "60 6")) << fastFirst;
        EXPECT_EQ(mixed.back().status, RUNSTAT_READY);
    }

    // Stepping into: from the pause FNF = X * 10 runs, then FNEND, then the caller's clause is
    // resumed and the run stops before its PRINT.
    stops = bothSessions(
        [](int k) {
            if (k > 0) t.stepmode = kStepInto;
        },
        "step into");
    EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6"));
    EXPECT_EQ(stops.back().status, RUNSTAT_READY);
    ASSERT_GE(stops.size(), 4u);
    EXPECT_EQ(stops[1].line, 80u);
    EXPECT_EQ(stops[2].line, 20u);
    EXPECT_THAT(stops[2].output, IsEmpty());
    EXPECT_EQ(stops[2].callDepth, 0);

    // Stepping over: nothing stops inside the call.
    stops = bothSessions(
        [](int k) {
            if (k > 0) t.stepmode = kStepOver;
        },
        "step over");
    EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6"));
    ASSERT_GE(stops.size(), 2u);
    EXPECT_EQ(stops[1].status, RUNSTAT_STEP);
    EXPECT_EQ(stops[1].line, 30u);
    EXPECT_THAT(stops[1].output, ElementsAre("23"));

    // Line steps stop at call depth 0 only.
    stops = bothSessions(
        [&](int k) {
            if (k == 1) {
                t.breakflags |= kBreakRequested;
                t.stepmode = kStepLine;
            }
        },
        "line steps");
    ASSERT_GE(stops.size(), 3u);
    EXPECT_EQ(stops[1].status, RUNSTAT_STEP);
    EXPECT_EQ(stops[1].line, 30u);
    EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6"));

    // Some steps from the start, then GO: the steps end before, at and after the call.
    for (int steps = 1; steps <= 12; ++steps) {
        stops = bothSessions(
            [&](int k) {
                if (k < steps) t.stepmode = kStepInto;
            },
            std::to_string(steps) + " steps");
        EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6")) << steps;
        EXPECT_EQ(stops.back().status, RUNSTAT_READY) << steps;
    }

    // Stopped by the attention key at a line start inside the body, then stepped.
    t.breakLines = 1;
    for (int at = 1; at <= 8; ++at) {
        const std::string where = "key at poll " + std::to_string(at);
        stops = bothSessions(
            [&](int k) {
                if (k == 0) PolledKeys::keys = {{at, kKeyAttention}};
                if (k == 1) t.stepmode = kStepInto;
            },
            where);
        EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6")) << where;
        EXPECT_EQ(stops.back().status, RUNSTAT_READY) << where;
    }
    t.breakLines = 8;
    PolledKeys::keys.clear();

    // An error raised once the call has returned, while stepping.
    enter({"20 A = S + FNF(2) / Z \\ PRINT A"});
    for (const uint16_t mode : {kStepInto, kStepOver}) {
        stops = bothSessions(
            [&](int k) {
                if (k > 0) t.stepmode = mode;
            },
            "step mode " + std::to_string(mode));
        EXPECT_THAT(allErrors(stops), ElementsAre("6 20 1"));
        EXPECT_EQ(stops.back().callDepth, 0);
    }
    enter({"5 ON ZDIV GOTO 100", "100 PRINT \"TRAP\"; ERR; LINE \\ END"});
    stops = bothSessions(
        [&](int k) {
            if (k > 0) t.stepmode = kStepInto;
        },
        "trapped");
    EXPECT_THAT(allOutput(stops), ElementsAre("TRAP6 20"));
}

TEST_F(FastLaneDebugging, BreakPointsAndWatchesSetWhileTheCallersFormWaits) {
    // Set at the pause, hit in the same call, then removed or kept, and the run goes on.
    for (const bool keep : {false, true}) {
        const std::vector<Outcome> stops = bothSessions(
            [&](int k) {
                if (k == 1) program().breakpoints.push_back({80, 1, false});
                if (k == 2 && !keep) program().breakpoints.clear();
            },
            keep ? "kept" : "removed");
        ASSERT_GE(stops.size(), 3u);
        EXPECT_EQ(stops[1].status, RUNSTAT_STEP);
        EXPECT_EQ(stops[1].line, 80u);
        EXPECT_EQ(stops[1].callDepth, 1);
        EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6"));
        EXPECT_THAT(allErrors(stops), IsEmpty());
    }
    // A break point at the caller's next clause, and a one-shot one in the body.
    const std::vector<Outcome> stops = bothSessions([&](int k) {
        if (k == 1) program().breakpoints.push_back({20, 2, false});
        if (k == 1) program().breakpoints.push_back({70, 1, true});
    });
    EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6"));

    const std::vector<Outcome> shown = bothSessions([&](int k) {
        if (k == 1) {
            watch("S", true);
            watch("A", true);
        }
    });
    EXPECT_THAT(allOutput(shown), ElementsAre("A = 23", "23", "S = 6", "60 6"));
    // The formal: the call's value while it is open, the global's once it has returned.
    const std::vector<Outcome> formal = bothSessions([&](int k) {
        if (k == 1) watch("X", true);
    });
    EXPECT_THAT(allOutput(formal), ElementsAre("X = 0", "23", "X = 3", "X = 0", "60 6"));
    const std::vector<Outcome> broken = bothSessions([&](int k) {
        if (k == 1) watch("A", false);
    });
    EXPECT_THAT(allOutput(broken), ElementsAre("23", "60 6"));
    ASSERT_GE(broken.size(), 3u);
    EXPECT_EQ(broken[1].status, RUNSTAT_STEP);
    EXPECT_EQ(broken[1].line, 30u);
}

TEST_F(FastLaneDebugging, ChangesMadeWhileStoppedInsideOrAfterTheCall) {
    // Statements typed inside the call see its formal, and may call functions themselves.
    std::vector<Outcome> stops = bothSessions([&](int k) {
        if (k == 1) {
            EXPECT_EQ(typed("X = 9 \\ PRINT X; S; FNG(1)"), RUNSTAT_READY);
        }
    });
    EXPECT_THAT(allOutput(stops), ElementsAre("9 3 4", "93", "60 6"));
    EXPECT_THAT(allErrors(stops), IsEmpty());

    // Another line edited: the call returns into its caller as before.
    stops = bothSessions([&](int k) {
        if (k == 0) enter({"40 END"});
        if (k == 1) enter({"40 PRINT \"E\" \\ END"});
    });
    enter({"40 END"});
    EXPECT_THAT(allOutput(stops), ElementsAre("23", "60 6", "E"));
    // The caller's line itself replaced, even with the call where it was: the call has no
    // clause to return to, and its FNEND says so (damaged code).
    stops = bothSessions([&](int k) {
        if (k == 0) enter({"20 A = S + FNF(2) \\ PRINT A"});
        if (k == 1) enter({"20 A = S - FNF(2) \\ PRINT A"});
    });
    enter({"20 A = S + FNF(2) \\ PRINT A"});
    EXPECT_THAT(allOutput(stops), IsEmpty());
    EXPECT_THAT(allErrors(stops), ElementsAre("9301 80 1"));

    // An error inside the body, fixed: the body's clause runs again in the open call.
    resumeErrors = true;
    enter({"70 FNF = 10 / (X - 2)"});
    stops = bothSessions([&](int k) {
        if (k == 2) {
            EXPECT_EQ(typed("X = 4"), RUNSTAT_READY);
        }
    });
    ASSERT_GE(stops.size(), 2u);
    EXPECT_THAT(stops[1].errors, ElementsAre("6 70 1"));
    EXPECT_EQ(stops[1].callDepth, 1);
    EXPECT_THAT(allOutput(stops), ElementsAre("8", "20 6"));
    // An error after the call returned, fixed: the caller's clause runs again, and calls again.
    enter({"70 FNF = X * 10", "20 A = S + FNF(2) / Z \\ PRINT A"});
    stops = bothSessions([&](int k) {
        if (k == 2) {
            EXPECT_EQ(typed("Z = 4"), RUNSTAT_READY);
        }
    });
    ASSERT_GE(stops.size(), 3u);
    EXPECT_THAT(stops[1].errors, ElementsAre("6 20 1"));
    EXPECT_EQ(stops[1].callDepth, 0);
    EXPECT_EQ(stops[2].status, RUNSTAT_PAUSE);  // the call's PAUSE again
    EXPECT_THAT(allOutput(stops), ElementsAre("10", "60 8"));
}

TEST_F(FastLaneDebugging, TheCallingLineRewrittenAroundItsCallWhileTheCallIsOpen) {
    // With the call elsewhere in the line, or no call at all: the return cannot go on with the
    // old clause in the new code (which ran the function again, or lost its value), so the
    // FNEND raises 9301 on both paths and nothing of the new line runs.
    for (const char* edit : {"20 A = 1 + S * FNF(2) \\ PRINT A", "20 A = FNF(2)", "20 REM"}) {
        const std::vector<Outcome> stops = bothSessions(
            [&](int k) {
                if (k == 0) enter({"20 A = S + FNF(2) \\ PRINT A"});
                if (k == 1) enter({edit});
            },
            edit);
        EXPECT_THAT(allOutput(stops), IsEmpty()) << edit;
        EXPECT_THAT(allErrors(stops), ElementsAre("9301 80 1")) << edit;
    }
}

// ---- stack limits ----

TEST_F(FastLane, StackLimitsFailClausesAndCallsAlike) {
    const std::vector<std::vector<std::string>> programs = {
        {"10 DEF FNF(N)", "20 IF N > 0 THEN FNF = N + FNF(N - 1)", "30 FNEND",
         "40 A = 1 + FNF(12) \\ PRINT A", "50 END"},
        {"10 DIM F(3) \\ F(1) = 2",
         "20 FOR I = 1 TO 3 \\ S = S + F(1) * I \\ IF FNF(I) > 2 THEN GOSUB 100",
         "30 NEXT I \\ PRINT S; T", "40 END", "50 DEF FNF(N)", "60 FNF = N + F(1) * (N - 1)",
         "70 FNEND", "100 T = T + FNF(I) * 2 \\ RETURN"},
    };
    const std::vector<std::string> results = {"79", "12 22"};
    for (size_t k = 0; k < programs.size(); ++k) {
        load(programs[k]);
        EXPECT_THAT(both().output, ElementsAre(results[k]));
        for (int entries = 0; entries <= 60; ++entries) {
            resetFlow();  // frames of a failed run point into the stacks
            ASSERT_EQ(allocateStacks(entries, kDefaultWorkStack), 0);
            both("program " + std::to_string(k) + " RPN stack " + std::to_string(entries));
        }
        for (int bytes = 0; bytes <= 1600; bytes += 8) {
            resetFlow();
            ASSERT_EQ(allocateStacks(kDefaultRpnStack, bytes), 0);
            both("program " + std::to_string(k) + " work stack " + std::to_string(bytes));
        }
        resetFlow();
        ASSERT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
    }

    load({"10 DEF FNF(N)", "20 IF N > 0 THEN GOSUB 100 \\ FNF = N + FNF(N - 1)", "30 FNEND",
          "40 A = FNF(6) \\ PRINT A; D", "50 END", "100 D = D + 1 \\ RETURN"});
    for (size_t limit = 1; limit <= 14; ++limit) {
        setFlowLimits(limit, 30);
        const Outcome o = both("FLOWSTACK " + std::to_string(limit));
        if (limit >= 7)
            EXPECT_THAT(o.output, ElementsAre("21 6")) << limit;
        else
            EXPECT_EQ(o.errors.size(), 1u) << limit;
    }
}

// ---- whole command sessions: libraries, and the debugging commands around calls ----

class FastLaneSession : public test::CleanStateTest {
  protected:
    void TearDown() override {
        setFastForms(true);
        reset();
        test::CleanStateTest::TearDown();
    }
    static void reset() {
        commandWork() = CommandWork{};
        resetFlow();
        t.watches.clear();
        test::resetSessionControls();
    }
    struct Transcript {
        std::vector<std::string> output, errors;
        int exitCode = 0;
    };
    // Types the lines at the prompt, in a scratch directory of its own, until the session ends.
    Transcript sessionWith(bool fast, const std::vector<std::string>& lines) {
        test::resetProcessState();
        reset();
        char dir[] = "/tmp/vxlane-XXXXXX";
        EXPECT_TRUE(mkdtemp(dir));
        const std::filesystem::path old = std::filesystem::current_path();
        std::filesystem::current_path(dir);
        EXPECT_EQ(createPCB(kDefaultLineCapacity, kDefaultDictCapacity, "", &pchain.curpcb), 0);
        setFastForms(fast);
        test::RecordingTerminal& term = test::installRecordingTerminal();
        term.inputLines = lines;
        setActionCode(kActCommand);
        for (int guard = 0; actionCode() != kActShutdown && guard < 1000; ++guard)
            (void)dispatchOnce();
        Transcript out{term.output, term.errors, exitCode()};
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
        return out;
    }
    Transcript both(const std::vector<std::string>& lines) {
        const Transcript general = sessionWith(false, lines);
        const Transcript fast = sessionWith(true, lines);
        EXPECT_EQ(fast.output, general.output);
        EXPECT_EQ(fast.errors, general.errors);
        EXPECT_EQ(fast.exitCode, general.exitCode);
        return fast;
    }
};

TEST_F(FastLaneSession, LibraryFunctionsAndExecuteInsideABody) {
    Transcript s = both(
        {"10 DEF FNCOUNT", "20 N = N + 1 \\ FNCOUNT = N", "30 FNEND", "40 DEF FNFACT(X)",
         "50 IF X <= 1 THEN FNFACT = 1 ELSE FNFACT = X * FNFACT(X - 1)", "60 FNEND",
         "70 DEF FNSUM(X)", "80 FOR I = 1 TO X \\ S = S + I + FNCOUNT * 0 \\ NEXT I \\ FNSUM = S",
         "90 FNEND", "SAVE \"mathlib\"", "CLEAR", "10 LIBRARY \"mathlib\": FNCOUNT, FNFACT, FNSUM",
         "20 A = FNFACT(6) \\ B = 1 + FNCOUNT", "30 PRINT A; B; FNSUM(4)",
         "40 FOR K = 1 TO 3 \\ T = T + FNFACT(K) \\ NEXT K \\ PRINT T; FNCOUNT", "50 END", "RUN",
         "RUN", "SYSTEM"});
    EXPECT_THAT(s.output, ElementsAre("720 2 10", "9 6", "720 2 10", "9 6"));
    EXPECT_THAT(s.errors, IsEmpty());

    s = both({"10 A = FNF(2) \\ PRINT A", "20 END", "30 DEF FNF(X)",
              "40 EXECUTE \"PRINT X * 5\" \\ FNF = X + 1", "50 FNEND", "RUN", "SYSTEM"});
    EXPECT_THAT(s.output, ElementsAre("10", "3"));
    EXPECT_THAT(s.errors, IsEmpty());
}

const std::vector<std::string> kPausingProgram = {"10 S = 1",
                                                  "20 A = S + FNF(2) \\ PRINT A",
                                                  "30 B = FNF(3) * 2 \\ PRINT B; S",
                                                  "40 END",
                                                  "50 DEF FNF(X)",
                                                  "60 S = S + X \\ PAUSE",
                                                  "70 FNF = X * 10",
                                                  "80 FNEND"};

std::vector<std::string> withCommands(std::vector<std::string> commands) {
    std::vector<std::string> lines = kPausingProgram;
    lines.insert(lines.end(), commands.begin(), commands.end());
    lines.push_back("SYSTEM");
    return lines;
}

TEST_F(FastLaneSession, BreakPointsStepsAndDisplaysAroundACallTheLaneMade) {
    Transcript s = both(withCommands(
        {"RUN", "BREAK 80", "GO", "PRINT X; S", "BREAK OFF", "GO", "GO", "PRINT A; B; S"}));
    EXPECT_THAT(s.output, ElementsAre("2 3", "23", "60 6", "23 60 6"));
    EXPECT_THAT(s.errors, IsEmpty());

    s = both(withCommands({"RUN", "BREAK STEP", "GO", "GO", "BREAK NOSTEP", "GO", "GO", "GO"}));
    EXPECT_THAT(s.output, ElementsAre("23", "60 6"));
    // From the pause inside FNF(2) the step runs FNF = X * 10 and stops before FNEND.  The
    // next GO starts there (it does not stop again where it stands): FNEND, the caller's clause
    // resumed and PRINT A run, and the break the step left stops the run at line 30's start.
    s = both(withCommands(
        {"RUN", "BREAK STEP", "GO", "GO", "PRINT \"AT\"", "GO", "BREAK NOSTEP", "GO END"}));
    EXPECT_THAT(s.output, ElementsAre("23", "AT"));
    EXPECT_THAT(s.errors, IsEmpty());

    s = both(withCommands({"RUN", "DISPLAY S A X", "GO", "DISPLAY OFF", "GO"}));
    EXPECT_THAT(s.output, ElementsAre("X = 0", "A = 23", "23", "X = 3", "S = 6", "60 6"));

    s = both(withCommands({"RUN", "BREAK A", "GO", "PRINT A", "GO", "GO"}));
    EXPECT_THAT(s.output, ElementsAre("23", "23", "60 6"));
}

TEST_F(FastLaneSession, EndedRenumberedOrEditedWhileACallTheLaneMadeIsOpen) {
    // GO END gives the formals back.
    Transcript s = both(withCommands({"RUN", "PRINT X", "GO END", "PRINT X; S; A"}));
    EXPECT_THAT(s.output, ElementsAre("2", "0 3 0"));
    // Lines renumbered, another line edited, statements typed: the call returns as before.
    s = both(withCommands({"RUN", "RENUM 100 10", "130 PRINT \"E\" \\ END", "X = X + 1", "GO", "GO",
                           "LIST 110-130"}));
    EXPECT_THAT(s.output,
                ElementsAre("33", "60 6", "E", "00110 A = S + FNF(2) \\ PRINT A",
                            "00120 B = FNF(3) * 2 \\ PRINT B; S", "00130 PRINT \"E\" \\ END"));
    EXPECT_THAT(s.errors, IsEmpty());
    // The DEF retyped while a call of its function is open.
    s = both(withCommands({"RUN", "50 DEF FNF(X)", "GO", "GO"}));
    EXPECT_THAT(s.output, ElementsAre("23", "60 6"));
    EXPECT_THAT(s.errors, IsEmpty());
}

TEST_F(FastLaneSession, ADefMovedOrDeletedWhileACallOfItsFunctionIsOpen) {
    // The next call finds the function where it now is, or fails as a function without a DEF.
    Transcript s = both(withCommands({"RUN", "50 REM", "55 DEF FNF(X)", "GO", "GO"}));
    EXPECT_THAT(s.output, ElementsAre("23", "60 6"));
    EXPECT_THAT(s.errors, IsEmpty());
    s = both(withCommands({"RUN", "50 REM", "GO", "GO END"}));
    EXPECT_THAT(s.output, ElementsAre("23"));
    EXPECT_THAT(s.errors, ElementsAre("2282 30 1"));
}

}  // namespace
}  // namespace vxs
