// The evaluator and the value model, through small programs run by the run loop.
#include "vxs/interpreter/primop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/support/compile_support.h"
#include "tests/support/test_support.h"
#include "vxs/base/process.h"
#include "vxs/interpreter/run.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;

// The console lines a program prints, or its first error as "error N".
std::vector<std::string> printed(const Lines& program) {
    const test::RunResult r = test::runProgram(program);
    if (!r.errors.empty()) return {"error " + r.errors[0]};
    return r.output;
}
std::string error(const Lines& program) {
    const test::RunResult r = test::runProgram(program);
    return r.errors.empty() ? "none" : r.errors[0];
}

TEST(Evaluation, NumbersCompareWithATolerance) {
    EXPECT_THAT(printed({"10 PRINT 0.1 + 0.2 = 0.3; 1 = 1.0000004; 1 = 1.000001", "20 END"}),
                ElementsAre("1 1 0"));
    EXPECT_THAT(printed({"10 PRINT 1 < 1.0000004; 1 <= 1.000001; 2 <> 2.0000001", "20 END"}),
                ElementsAre("0 1 0"));
}

TEST(Evaluation, DivisionAndMultiplicationOverflow) {
    EXPECT_EQ(error({"10 X = 5 / 0", "20 END"}), "6 10 1");
    EXPECT_EQ(error({"10 X = 5 / 1E-11", "20 END"}), "6 10 1");
    EXPECT_THAT(printed({"10 PRINT 5 / 1E-9", "20 END"}), ElementsAre("5000000000"));
    EXPECT_EQ(error({"10 X = 1E151 * 1", "20 END"}), "6 10 1");
    EXPECT_THAT(printed({"10 PRINT 1E149 * 1E149", "20 END"}), ElementsAre("1E+298"));
    // In place, a zero divisor is an error too (not an infinity stored in X).
    EXPECT_EQ(error({"10 X = 5 \\ X /= 0", "20 END"}), "6 10 2");
    EXPECT_THAT(printed({"10 X = 5 \\ X /= 2 \\ X *= 4 \\ X += 1 \\ X -= 3 \\ PRINT X", "20 END"}),
                ElementsAre("8"));
}

TEST(Evaluation, IntAndSignUseTheTolerance) {
    EXPECT_THAT(printed({"10 PRINT INT(-0.0000001); INT(2.9999996); INT(-2.5); SGN(-3); SGN(0.0000001)",
                         "20 END"}),
                ElementsAre("0 3 -3 -1 0"));
    EXPECT_THAT(printed({"10 PRINT ABS(-2); -(-2); NOT 0; NOT 5; ~0", "20 END"}),
                ElementsAre("2 2 1 0 1"));
}

// INT rounds down through a 64-bit integer instead of the library's floor: the same results
// wherever INT can meet them (it never meets -0.0, since x + 5e-07 is not -0.0).
TEST(Evaluation, IntAgreesWithFloorEverywhere) {
    for (const double x : {0.0, 0.5, -0.5, 1.0, -1.0, 2.9999996, -2.9999996, 1e15 + 0.5, -1e15 - 0.5,
                           4503599627370495.5, -4503599627370495.5, 4503599627370496.0, 1e300,
                           -1e300, 9.2e18, -9.2e18})
        EXPECT_EQ(floorNumber(x), std::floor(x)) << x;
    EXPECT_TRUE(std::isnan(floorNumber(std::nan(""))));
    EXPECT_EQ(floorNumber(INFINITY), INFINITY);
    EXPECT_EQ(floorNumber(-INFINITY), -INFINITY);
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-10, 20);
    for (int i = 0; i < 100000; ++i) {
        const double x = mantissa(rng) * std::pow(10.0, exponent(rng));
        ASSERT_EQ(floorNumber(x + kTolerance), std::floor(x + kTolerance)) << x;
    }
}

TEST(Evaluation, SubscriptsRoundHalfAwayFromZero) {
    EXPECT_THAT(printed({"10 DIM A(5)", "20 A(2.5) = 7", "30 PRINT A(3)", "40 END"}),
                ElementsAre("7"));
    EXPECT_EQ(error({"10 DIM A(5)", "20 A(-2.5) = 7", "30 END"}), "122 20 1");
}

TEST(Evaluation, OptionBaseSetsTheFirstSubscript) {
    EXPECT_THAT(printed({"10 DIM A(3)", "20 A(0) = 1 \\ A(3) = 4", "30 PRINT A(0); A(3)", "40 END"}),
                ElementsAre("1 4"));
    EXPECT_EQ(error({"10 DIM A(3)", "20 A(4) = 1", "30 END"}), "122 20 1");
    EXPECT_EQ(error({"5 OPTION BASE 1", "10 DIM A(3)", "20 A(0) = 1", "30 END"}), "122 20 1");
    EXPECT_THAT(printed({"5 OPTION BASE 1", "10 DIM A(3)", "20 A(3) = 9 \\ PRINT A(3)", "30 END"}),
                ElementsAre("9"));
}

TEST(Evaluation, DimensioningLimits) {
    EXPECT_EQ(error({"10 DIM A(40000)", "20 END"}), "120 10 1");
    EXPECT_EQ(error({"10 DIM A(300, 300)", "20 END"}), "2083 10 1");
    EXPECT_EQ(error({"10 DIM B$(1000)*1100", "20 END"}), "2082 10 1");
    EXPECT_EQ(error({"10 DIM A(2, 2)", "20 A(1) = 1", "30 END"}), "123 20 1");
    EXPECT_THAT(printed({"10 DIM A(2, 3)", "20 A(2, 3) = 6 \\ A(1, 0) = 3", "30 PRINT A(2, 3) + A(1, 0)",
                         "40 END"}),
                ElementsAre("9"));
}

TEST(Evaluation, RedimensioningKeepsTheBytes) {
    EXPECT_THAT(printed({"10 DIM A(3)", "20 A(1) = 5", "30 DIM A(6)", "40 PRINT A(1); A(6)", "50 END"}),
                ElementsAre("5 0"));
}

TEST(Evaluation, ArrayNamesUsedWholeStayInsideTheirStorage) {
    // A bound of 0 under OPTION BASE 1 leaves no elements; the name assigned and read whole.
    EXPECT_THAT(printed({"5 OPTION BASE 1", "10 DIM A(0)", "20 A = 5", "30 PRINT A + 1", "40 END"}),
                ElementsAre("6"));
    // The entry was made for an array (its DIM entered first) and is assigned whole before
    // the DIM has run.
    EXPECT_THAT(printed({"20 DIM A$(5)", "10 A$ = \"LONGER THAN EIGHT\"",
                         "30 A$(1) = \"X\" \\ PRINT A$(1)", "40 END"}),
                ElementsAre("X"));
    // A capacity alone for a dimensioned string array: the shape stays, the elements take it.
    EXPECT_THAT(printed({"10 DIM A$(5)", "20 DIM A$*3", "30 A$(5) = \"XYZ\" \\ PRINT A$(5)", "40 END"}),
                ElementsAre("XYZ"));
    EXPECT_EQ(error({"10 DIM A$(5)", "20 DIM A$*3", "30 A$(5) = \"WXYZ\"", "40 END"}), "4 30 1");
    // A length left from a larger capacity reads as the new one.
    EXPECT_THAT(printed({"10 DIM A$(0)*20", "20 A$(0) = \"ABCDEFGHIJ\"", "30 DIM A$(0)*1",
                         "40 PRINT A$(0); A$", "50 END"}),
                ElementsAre("AA"));
}

TEST(Evaluation, StringsCompareByteByByte) {
    EXPECT_THAT(printed({"10 PRINT \"ABC\" < \"ABCD\"; \"ABC\" < \"ABC \"; \"B\" > \"ABC\"; \"9\" < \"Z\"",
                         "20 END"}),
                ElementsAre("1 1 1 1"));
    EXPECT_THAT(printed({"5 OPTION COLLATE ALTERNATE", "10 PRINT \"9\" > \"Z\"; \"A1\" > \"AZ\"", "20 END"}),
                ElementsAre("1 1"));
}

TEST(Evaluation, StringCapacityAndSoflow) {
    EXPECT_EQ(error({"10 DIM A$*10", "20 A$ = \"123456789012\"", "30 END"}), "4 20 1");
    EXPECT_THAT(printed({"10 A$ = \"DEFAULT CAPACITY18\" \\ PRINT A$", "20 END"}),
                ElementsAre("DEFAULT CAPACITY18"));
    EXPECT_EQ(error({"10 A$ = \"NINETEEN CHARACTERS\"", "20 END"}), "4 10 1");
    EXPECT_THAT(printed({"10 DIM A$*40", "20 A$ = \"A LONGER TEXT THAN EIGHTEEN\" \\ PRINT A$", "30 END"}),
                ElementsAre("A LONGER TEXT THAN EIGHTEEN"));
}

TEST(Evaluation, SoflowIgnoreCutsTheString) {
    test::ProgramFixture f;
    auto& term = test::installRecordingTerminal();
    ASSERT_EQ(f.enter("10 DIM A$*10"), 0);
    ASSERT_EQ(f.enter("20 A$ = \"123456789012\" \\ PRINT A$"), 0);
    ASSERT_EQ(f.enter("30 END"), 0);
    f.program().condtargets[0] = -3;  // ON SOFLOW IGNORE
    f.program().curline = f.program().firstline;
    setActionCode(2);
    runLoop();
    EXPECT_THAT(term.output, ElementsAre("1234567890"));
    EXPECT_TRUE(term.errors.empty());
}

TEST(Evaluation, SubstringAssignmentCases) {
    EXPECT_THAT(printed({"10 A$ = \"ABCDEF\" \\ A$(5:4) = \"X\" \\ PRINT A$", "20 END"}),
                ElementsAre("ABCDXEF"));
    EXPECT_THAT(printed({"10 A$ = \"ABC\" \\ A$(10:12) = \"Z\" \\ PRINT A$", "20 END"}),
                ElementsAre("ABCZ"));
    EXPECT_THAT(printed({"10 A$ = \"ABCDEF\" \\ A$(2:3) = \"XYZ\" \\ PRINT A$", "20 END"}),
                ElementsAre("AXYZDEF"));
    EXPECT_THAT(printed({"10 A$ = \"ABCDEF\" \\ A$(4:99) = \"Q\" \\ PRINT A$", "20 END"}),
                ElementsAre("ABCQ"));
    EXPECT_EQ(error({"10 DIM A$*5", "20 A$ = \"ABCDE\" \\ A$(6:6) = \"X\"", "30 END"}), "4 20 2");
}

TEST(Evaluation, SubstringReferencesNeverFail) {
    EXPECT_THAT(printed({"10 A$ = \"ABC\"", "20 PRINT A$(0:2); \"|\"; A$(3:2); \"|\"; A$(4:9); \"|\"; A$(2:99)",
                         "30 END"}),
                ElementsAre("AB|||BC"));
}

TEST(Evaluation, ShortCircuitSkipsTheDecidedOperand) {
    // The right operand would divide by zero: it must not be evaluated.
    EXPECT_THAT(printed({"10 A = 0", "20 PRINT A AND 1 / A; 1 OR 1 / A; (0 OR 1) AND (1 OR 1 / A)",
                         "30 PRINT 1 AND 0 OR 1; 0 OR 1 AND 0", "40 END"}),
                ElementsAre("0 1 1", "1 0"));
}

TEST(Evaluation, ConcatenationAndComparisonOfStrings) {
    EXPECT_THAT(printed({"10 A$ = \"AB\" \\ B$ = A$ & \"CD\" & A$", "20 PRINT B$; B$ = \"ABCDAB\"", "30 END"}),
                ElementsAre("ABCDAB1"));
}

TEST(Evaluation, MatOperations) {
    EXPECT_THAT(printed({"10 DIM A(3), B(3), C(3)", "20 MAT B = (2) \\ MAT C = (5)",
                         "30 MAT A = B + C \\ PRINT A(0); A(3)", "40 MAT A = (10) - C \\ PRINT A(1)",
                         "50 MAT A = (3) * B \\ PRINT A(2)", "60 MAT A = (10) / B \\ PRINT A(2)",
                         "70 MAT A = B - C \\ PRINT A(1)", "80 MAT A = C \\ PRINT A(3)", "90 END"}),
                ElementsAre("7 7", "-5", "6", "5", "-3", "5"));
    EXPECT_EQ(error({"10 DIM A(3), B(4)", "20 MAT A = B", "30 END"}), "106 20 1");
    EXPECT_EQ(error({"10 DIM A(3), B(3)", "20 MAT A = (1) / B", "30 END"}), "6 20 1");
}

TEST(Evaluation, IndexSortsAreStable) {
    EXPECT_THAT(printed({"10 DIM A(4), I(4)", "20 A(0) = 3 \\ A(1) = 1 \\ A(2) = 3 \\ A(3) = 0 \\ A(4) = 1",
                         "30 MAT I = AIDX(A) \\ PRINT I(0); I(1); I(2); I(3); I(4)",
                         "40 MAT I = DIDX(A) \\ PRINT I(0); I(1); I(2); I(3); I(4)", "50 END"}),
                ElementsAre("3 1 4 0 2", "0 2 1 4 3"));
    EXPECT_THAT(printed({"10 DIM S$(2), I(2)", "20 S$(0) = \"B\" \\ S$(1) = \"A\" \\ S$(2) = \"C\"",
                         "30 MAT I = AIDX(S$) \\ PRINT I(0); I(1); I(2)", "40 END"}),
                ElementsAre("1 0 2"));
}

TEST(Evaluation, RangesActLikeArrays) {
    EXPECT_THAT(printed({"10 DIM A(5), B(2)", "20 MAT A = (1) \\ MAT B = (9)", "30 MAT A(1:3) = B",
                         "40 PRINT A(0); A(1); A(3); A(4)", "50 END"}),
                ElementsAre("1 9 9 1"));
    EXPECT_EQ(error({"10 DIM A(5), B(2)", "20 MAT A(4:6) = B", "30 END"}), "122 20 1");
}

TEST(Evaluation, TheStacksHaveTheirLimits) {
    ASSERT_EQ(allocateStacks(10, 4000), 0);
    EXPECT_EQ(error({"10 PRINT 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11", "20 END"}), "9002 10 1");
    ASSERT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
    const std::string a = "A$ = \"" + std::string(200, 'X') + "\"";
    std::string concat = "B$ = A$";
    for (int i = 0; i < 25; ++i) concat += " & A$";
    EXPECT_EQ(error({"10 DIM A$*250, B$*6000", "20 " + a, "30 " + concat, "40 END"}), "9001 30 1");
}

TEST(Evaluation, FunctionsOfLaterModulesAnswer302) {
    EXPECT_EQ(error({"10 PRINT TRUNC(1)", "20 END"}), "302 10 1");
    EXPECT_EQ(error({"10 PRINT REC(1)", "20 END"}), "704 10 1");  // a file that is not open
    // A user function without a DEF in the program is not linked to a body.
    EXPECT_EQ(error({"10 X = FNA(1)", "20 END"}), "2282 10 1");
}

TEST(Evaluation, DamagedCodeIsAnErrorNotACrash) {
    test::ProgramFixture f;
    EvalEnv env;
    env.pc = &f.program();
    const std::vector<std::vector<uint8_t>> damaged = {
        {0x0B},                   // + without operands
        {0x8B},                   // a word missing
        {0xCB, 0x00},             // a count of 0
        {0x0D},                   // = without a target
        {0x3F},                   // a kind without an operation
        {0xE3, 0x02, 0x00, 0x01}, // an element with its words cut
        {0x80, 0xFF, 0x7F, 0x00}, // an operand past the dictionary
    };
    for (const auto& d : damaged) {
        resetStacks();
        size_t pos = 0;
        const int err = evaluate(env, d, pos);
        EXPECT_TRUE(err == 9301 || err == 9302 || err == 920 || err == 307) << test::hex(d) << " " << err;
    }
    resetStacks();
}

}  // namespace
}  // namespace vxs
