// The numeric built-in functions through small programs, and the STR$/VAL round trip called
// directly.
#include "vxs/interpreter/numfunct.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "tests/support/compile_support.h"
#include "vxs/form/dates.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/strsub.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;
using Lines = std::vector<std::string>;

// What `PRINT expression` prints, or its error as "error N".
std::string print(const std::string& expression) {
    const test::RunResult r = test::runProgram({"10 PRINT " + expression, "20 END"});
    if (!r.errors.empty()) return "error " + r.errors[0].substr(0, r.errors[0].find(' '));
    return r.output.empty() ? "<nothing>" : r.output[0];
}

TEST(NumericFunctions, RoundingAndRemainders) {
    EXPECT_EQ(print("ROUND(2.5, 0); ROUND(-2.5, 0); ROUND(1234.5678, -2); ROUND(1.005, 2)"),
              "3 -3 1200 1.01");
    EXPECT_EQ(print("ROUND(7.6); ROUND(1E300, 20); ROUND(5, -400)"), "8 1E+300 0")
        << "no overflow into NaN at extreme scales";
    EXPECT_EQ(print("REM(-7, 2); MOD(-7, 2); REM(7, -2); MOD(7, -2); MOD(5, 0); REM(5, 0)"),
              "-1 1 1 -1 0 0");
    EXPECT_EQ(print("REM(5.5, 0.1); MOD(1E300, 1E-300)"), "0 0");
}

TEST(NumericFunctions, IntegerPartsUseTheTolerance) {
    EXPECT_EQ(print("CEIL(2.0000004); CEIL(2.000001); CEIL(-1.5)"), "2 3 -1");
    EXPECT_EQ(print("IP(2.9999996); IP(-2.5); IP(-2.9999996); FP(-2.25); FP(3.5)"),
              "3 -2 -3 -0.25 0.5");
}

TEST(NumericFunctions, TranscendentalFunctionsAndTheirErrors) {
    EXPECT_EQ(print("SQR(16); EXP(0); LOG(1); ATN(1) * 4; COS(0); SIN(0); TAN(0)"),
              "4 1 0 3.14159265358979 1 0 0");
    EXPECT_EQ(print("LOG(0)"), "error 402");
    EXPECT_EQ(print("LOG(-1)"), "error 402");
    EXPECT_EQ(print("SQR(-0.1)"), "error 403");
    EXPECT_EQ(print("EXP(1000)"), "error 6") << "an infinite result is an overflow";
    EXPECT_EQ(print("PI; INF"), "3.14159265358979 1E+307");
}

TEST(NumericFunctions, StringMeasures) {
    EXPECT_EQ(
        print("LEN(\"\"); LEN(\"ABC\"); VAL(\" -12.5 \"); VAL(\"1E3\"); ORD(\"A\"); ORD(\"\")"),
        "0 3 -12.5 1000 65 0");
    EXPECT_EQ(print("VAL(\"12X\")"), "error 2");
    EXPECT_EQ(print("VAL(\"\")"), "error 2");
    EXPECT_THAT(test::runProgram(
                    {"5 OPTION COLLATE ALTERNATE", "10 PRINT ORD(\"9\"); ORD(\"A\")", "20 END"})
                    .output,
                ElementsAre("185 65"));
}

TEST(NumericFunctions, PositionForwardAndBackward) {
    EXPECT_EQ(
        print("POS(\"ABCABC\", \"BC\"); POS(\"ABCABC\", \"BC\", 3); POS(\"ABCABC\", \"BC\", 0)"),
        "2 5 2");
    EXPECT_EQ(print("POS(\"ABCABC\", \"BC\", -1); POS(\"ABCABC\", \"BC\", -2); POS(\"ABCABC\", "
                    "\"BC\", -4)"),
              "5 2 2");
    EXPECT_EQ(print("POS(\"ABCABC\", \"BC\", -5); POS(\"AB\", \"ABC\"); POS(\"AB\", \"\"); "
                    "POS(\"AB\", \"B\", 9)"),
              "0 0 0 0");
    EXPECT_EQ(print("POS(\"aBc\", \"b\")"), "0") << "bytes compare exactly";
}

TEST(NumericFunctions, MinMaxAndArguments) {
    EXPECT_EQ(print("MIN(3, 1, 2); MAX(3, 1, 2); MAX(-1); MIN(1, 1.0000001)"), "1 3 -1 1");
    EXPECT_EQ(print("LEN(5)"), "error 304") << "an argument of the wrong kind";
    EXPECT_EQ(print("LEN(\"A\", \"B\")"), "error 304");
    EXPECT_EQ(print("MIN(1, \"A\")"), "error 304");
    EXPECT_EQ(print("SQR"), "error 304");
}

TEST(NumericFunctions, ArrayFunctions) {
    EXPECT_THAT(test::runProgram(
                    {"10 DIM A(4), B(2, 7)", "20 PRINT UDIM(A); UDIM(B, 2); UDIM(MAT B)", "30 END"})
                    .output,
                ElementsAre("4 7 2"));
    EXPECT_THAT(
        test::runProgram({"5 OPTION BASE 1", "10 DIM A(4)", "20 PRINT UDIM(A)", "30 END"}).output,
        ElementsAre("4"));
    EXPECT_EQ(test::runProgram({"10 DIM A(4)", "20 PRINT UDIM(A, 2)", "30 END"}).errors[0],
              "121 20 1");
    EXPECT_EQ(test::runProgram({"10 DIM A(4)", "20 PRINT UDIM(A, A)", "30 END"}).errors[0],
              "304 20 1");
    EXPECT_EQ(test::runProgram({"10 X = 1", "20 PRINT SUM(X)", "30 END"}).errors[0], "105 20 1");
    EXPECT_THAT(
        test::runProgram({"10 DIM A(3)", "20 A(1) = 1.5 \\ A(3) = 2", "30 PRINT SUM(A)", "40 END"})
            .output,
        ElementsAre("3.5"));
}

TEST(NumericFunctions, SearchMatchesWholeElements) {
    const Lines strings = {
        "10 DIM S$(3)*5", "20 S$(1) = \"ABC \" \\ S$(2) = \"ABC\" \\ S$(3) = \"ABC\"",
        "30 PRINT SRCH(S$, \"ABC\"); SRCH(S$, \"ABC\", 3); SRCH(S$, \"X\")", "40 END"};
    EXPECT_THAT(test::runProgram(strings).output, ElementsAre("2 3 -1"))
        << "ABC followed by a blank is not ABC";
    const Lines numbers = {"5 OPTION BASE 1", "10 DIM A(4)", "20 A(2) = 7 \\ A(4) = 7.0000001",
                           "30 PRINT SRCH(A, 7); SRCH(A, 7, 3); SRCH(A, 8)", "40 END"};
    EXPECT_THAT(test::runProgram(numbers).output, ElementsAre("2 4 -1"));
    EXPECT_EQ(test::runProgram({"10 DIM A(4)", "20 PRINT SRCH(A, \"X\")", "30 END"}).errors[0],
              "304 20 1");
}

TEST(NumericFunctions, SystemValues) {
    EXPECT_EQ(print("CMDKEY(5); CMDKEY; CMDKEY(150); FKEY(99); FKEY"), "5 5 0 99 99");
    systemValues() = SystemValues{};
    EXPECT_EQ(print("CNT; SHIFT; PROCIN; PROCLVL; SCR_FREEZE; SCR_THAW"), "0 0 0 0 0 0");
    EXPECT_EQ(print("CODE; ERR; LINE"), "0 0 -1") << "no error yet";
    const std::string timer = print("TIMER");
    EXPECT_GT(std::atof(timer.c_str()), 1.6e9) << timer;
    EXPECT_EQ(print("\"A\"; BELL; NEWPAGE"), "A\a\f") << "the print control bytes";
}

TEST(NumericFunctions, TheGeneratorFollowsItsFormula) {
    setRandomState(0);
    EXPECT_DOUBLE_EQ(nextRandom(), 0.131313);
    const double r = 100 * std::sqrt(0.131313) + 0.131313;
    EXPECT_DOUBLE_EQ(nextRandom(), r - std::floor(r));
    EXPECT_EQ(nextRandom(-4), 0);
    EXPECT_EQ(randomState(), 0) << "the value returned becomes the state";
    randomize(1700000000);
    const double t = 100 * std::sqrt(1700000000.0 / 131713) + 0.131313;
    EXPECT_DOUBLE_EQ(randomState(), t - std::floor(t));
    const std::string three = print("RND; RND; RND");
    double a, b, c;
    ASSERT_EQ(sscanf(three.c_str(), "%lf %lf %lf", &a, &b, &c), 3) << three;
    for (double v : {a, b, c}) EXPECT_TRUE(v >= 0 && v < 1) << three;
    EXPECT_EQ(test::runProgram({"10 RANDOMIZE", "20 END"}).errors.size(), 0u);
}

TEST(NumericFunctions, SleepReturnsItsArgument) {
    EXPECT_EQ(print("SLEEP(0.05); SLEEP(0); SLEEP(-1)"), "0.05 0 -1");
}

TEST(NumericFunctions, DateAndDays) {
    resetDateSettings();
    EXPECT_EQ(print("DAYS(19000101, \"CYMD\"); DAYS(20000101, \"CYMD\"); DAYS(20000229, \"CYMD\")"),
              "1 36525 36584");
    EXPECT_EQ(print("DAYS(19000229, \"CYMD\"); DAYS(123456789, \"CYMD\"); DAYS(-1)"), "0 0 0");
    EXPECT_EQ(print("DAYS(\"12/31/2023\", \"M/D/CY\"); DAYS(20231231)"), "45290 45290");
    EXPECT_EQ(print("DATE(45290); DATE(45290, \"CYMD\"); DATE(45290, \"D.M\")"),
              "231231 20231231 3112");
    EXPECT_EQ(print("DATE(999999)"), "0") << "outside 1700-2399";
    EXPECT_EQ(print("DATE(45290, \"*MDY\"); DATE(45290)"), "123123 123123") << "* sets the default";
    EXPECT_EQ(print("DAYS(1, \"*CCYYMMDD\")"), "error 411");
    resetDateSettings();
}

// x at 15 significant digits, half away from zero, from printf's exact digits.
double roundedTo15(double x) {
    char exact[64];
    snprintf(exact, sizeof exact, "%.30e", std::fabs(x));
    char* e = std::strchr(exact, 'e');
    const int exponent = std::atoi(e + 1);
    char digits[32];
    digits[0] = exact[0];
    memcpy(digits + 1, exact + 2, 15);  // 16 significant digits
    long long kept = 0;
    for (int i = 0; i < 15; ++i) kept = kept * 10 + (digits[i] - '0');
    if (digits[15] >= '5') ++kept;
    char text[48];
    snprintf(text, sizeof text, "%llde%d", kept, exponent - 14);
    return std::copysign(std::strtod(text, nullptr), x);
}

// STR$ then VAL gives back the value at 15 significant digits, whatever its magnitude.
TEST(NumericFunctions, StrThenValKeepsFifteenDigits) {
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> mantissa(1, 10);
    std::uniform_int_distribution<int> exponent(-300, 300);
    std::uniform_int_distribution<int> kind(0, 9);
    char text[kDisplayCapacity];
    for (int i = 0; i < 1000000; ++i) {
        double x;
        switch (kind(rng)) {
            case 0:
                x = static_cast<double>(static_cast<int64_t>(rng() >> 12)) - 2e15;
                break;                                                 // integers
            case 1: x = std::round(mantissa(rng) * 1e6) / 100; break;  // money amounts
            default: x = mantissa(rng) * std::pow(10.0, exponent(rng)); break;
        }
        if (rng() & 1) x = -x;
        int length = 0;
        ASSERT_EQ(textOfNumber(x, '.', text, length), 0);
        ASSERT_LE(length, 30);
        double back = 0;
        ASSERT_EQ(valueOfText(std::string_view(text, static_cast<size_t>(length)), '.', back), 0)
            << std::string(text, static_cast<size_t>(length));
        ASSERT_EQ(back, roundedTo15(x))
            << x << " as " << std::string(text, static_cast<size_t>(length));
    }
}

}  // namespace
}  // namespace vxs
