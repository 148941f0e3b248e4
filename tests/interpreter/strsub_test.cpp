// The string built-in functions through small programs, and the environment table.
#include "vxs/interpreter/strsub.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/compile_support.h"
#include "tests/support/test_support.h"
#include "vxs/base/process.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/run.h"
#include "vxs/registry/ktuser.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;

// What `PRINT expression` prints (strings between brackets by the caller), or "error N".
std::string print(const std::string& expression) {
    const test::RunResult r = test::runProgram({"10 PRINT " + expression, "20 END"});
    if (!r.errors.empty()) return "error " + r.errors[0].substr(0, r.errors[0].find(' '));
    return r.output.empty() ? "" : r.output[0];
}
std::string bracketed(const std::string& expression) {
    return print("\"[\" & " + expression + " & \"]\"");
}

TEST(StringFunctions, StrAndChr) {
    EXPECT_EQ(bracketed("STR$(1.50)"), "[1.5]");
    EXPECT_EQ(bracketed("STR$(2)"), "[2]");
    EXPECT_EQ(bracketed("STR$(-0.25) & \"|\" & STR$(1E20) & \"|\" & STR$(1.5E40)"),
              "[-0.25|1" + std::string(20, '0') + "|1.5E+40]")
        << "exponent form only beyond 30 characters";
    EXPECT_EQ(print("STR$(SQR(2) ** 0.5 - SQR(2) ** 0.5)"), "0");
    EXPECT_EQ(bracketed("CHR$(65) & CHR$(66.9)"), "[AB]") << "the byte is truncated";
    EXPECT_EQ(print("CHR$(256)"), "error 410");
    EXPECT_EQ(print("CHR$(-1)"), "error 410");
    EXPECT_THAT(test::runProgram(
                    {"5 OPTION COLLATE ALTERNATE", "10 PRINT CHR$(185); ORD(CHR$(57))", "20 END"})
                    .output,
                ElementsAre("957"));
}

TEST(StringFunctions, TrimCaseAndHex) {
    EXPECT_EQ(
        bracketed("LTRM$(\"  a b  \") & \"|\" & RTRM$(\"  a b  \") & \"|\" & TRIM$(\"  a b  \")"),
        "[a b  |  a b|a b]");
    EXPECT_EQ(bracketed("TRIM$(\"xxaxx\", \"x\") & TRIM$(\" a \", \"\")"), "[a a ]")
        << "an empty trim character changes nothing";
    EXPECT_EQ(print("TRIM$(\"a\", \"xy\")"), "error 410");
    EXPECT_EQ(bracketed("UPRC$(\"abz{AZ\") & LWRC$(\"ABZ@az\")"), "[ABZ{AZabz@az]");
    EXPECT_EQ(bracketed("HEX$(\"\") & HEX$(\"A\" & CHR$(255) & CHR$(0))"), "[41FF00]");
    EXPECT_EQ(bracketed("UNHEX$(\"414243  \")"), "[ABC]");
    EXPECT_EQ(print("UNHEX$(\"414\")"), "error 410") << "odd count";
    EXPECT_EQ(print("UNHEX$(\"4g\")"), "error 410") << "only upper-case digits";
}

TEST(StringFunctions, RepeatAndPad) {
    EXPECT_EQ(bracketed("RPT$(\"ab\", 3) & RPT$(\"ab\", 0) & RPT$(\"ab\", 1.9999995)"),
              "[ababababab]")
        << "n + 1e-06 truncated";
    EXPECT_EQ(bracketed("LPAD$(\"ABCDE\", 3) & LPAD$(\"ab\", 4) & RPAD$(\"ab\", 4, \"*\")"),
              "[ABCDE  abab**]");
    EXPECT_EQ(print("LPAD$(\"a\", 3, \"xy\")"), "error 410");
}

// Results above 32767 bytes: a work stack large enough to hold the arguments.
TEST(StringFunctions, ResultsAbove32767BytesAreError108) {
    ASSERT_EQ(allocateStacks(kDefaultRpnStack, 400000), 0);
    EXPECT_EQ(print("LEN(RPT$(\"ab\", 16384))"), "error 108");
    EXPECT_EQ(print("LEN(RPT$(\"ab\", 16383.5))"), "32766") << "the count is truncated";
    EXPECT_EQ(print("LEN(HEX$(RPT$(\"A\", 16384)))"), "error 108");
    EXPECT_EQ(print("LEN(LPAD$(\"a\", 32768))"), "error 108");
    EXPECT_EQ(print("LEN(RPAD$(\"a\", 32767))"), "32767");
    EXPECT_EQ(print("LEN(SREP$(RPT$(\"a\", 20000), \"a\", \"bb\"))"), "error 108");
    ASSERT_EQ(allocateStacks(kDefaultRpnStack, kDefaultWorkStack), 0);
}

TEST(StringFunctions, ReplaceTranslateMinMax) {
    EXPECT_EQ(bracketed("SREP$(\"aXbXc\", \"X\", \"--\")"), "[a--b--c]");
    EXPECT_EQ(bracketed("SREP$(\"aXbXc\", 3, \"X\", \"\")"), "[aXbc]");
    EXPECT_EQ(bracketed("SREP$(\"aaa\", \"a\", \"aa\")"), "[aaaaaa]") << "no rescanning";
    EXPECT_EQ(bracketed("SREP$(\"abc\", \"\", \"x\")"), "[abc]");
    EXPECT_EQ(bracketed("XLATE$(CHR$(0) & CHR$(1) & CHR$(2) & \"z\", \"AB\")"),
              print("\"[AB\" & CHR$(2) & \"z]\""));
    EXPECT_EQ(bracketed("XLATE$(CHR$(1) & CHR$(1), \"AB\", 2)"), print("\"[\" & CHR$(1) & \"B]\""));
    EXPECT_EQ(bracketed("MIN$(\"b\", \"ab\", \"abc\") & MAX$(\"b\", \"ab\", \"c \")"), "[abc ]");
    EXPECT_EQ(print("MIN$(\"a\", 1)"), "error 304");
}

TEST(StringFunctions, SubstringStillWorks) {
    EXPECT_THAT(test::runProgram({"10 A$ = \"ABCDEF\"",
                                  "20 PRINT A$(2:3); A$(5:99); UPRC$(\"xyz\")(2:2)", "30 END"})
                    .output,
                ElementsAre("BCEFY"));
}

TEST(StringFunctions, SystemTexts) {
    setWorkstation(7, 2);
    EXPECT_EQ(bracketed("WSID$ & SESSION$"), "[072]");
    setWorkstation(123, 1);
    EXPECT_EQ(bracketed("WSID$"), "[123]");
    setWorkstation(0, 0);
    EXPECT_EQ(bracketed("WSID$"), "[01]") << "before assignment: workstation 1";
    EXPECT_EQ(bracketed("KTVERSION$"), "[Release 1.00a]");
    EXPECT_EQ(bracketed("KTPLATFORM$").back(), ']');
    EXPECT_THAT(print("TIME$"), ::testing::MatchesRegex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"));
    EXPECT_THAT(print("DATE$"), ::testing::MatchesRegex("[0-9][0-9]/[01][0-9]/[0-3][0-9]"));
    EXPECT_EQ(print("DATE$(1, \"DAY, MONTH D, CY\")"), "Monday, January 01, 1900");
    EXPECT_EQ(bracketed("DATE$(999999)"), "[]") << "outside 1700-2399";
    EXPECT_EQ(bracketed("PIC$ & PIC$(\"#\") & PIC$"), "[$##]");
    EXPECT_EQ(print("PIC$(\"ab\")"), "error 410");
    setCurrencyCharacter('$');
    EXPECT_EQ(bracketed("LOGIN_NAME$(\"clerk\")"), "[clerk]");
    EXPECT_EQ(print("LOGIN_NAME$(RPT$(\"x\", 64))"), "error 4");
    EXPECT_EQ(bracketed("MSG$(\"hello\")"), "[]");
    EXPECT_EQ(bracketed("SYSERR$(2)"), "[No such file or directory]");
    EXPECT_EQ(bracketed("SYSERR$(99999)"), "[FormatMessage failed 99999.]");
    EXPECT_EQ(bracketed("KSTAT$"), "[]") << "no keyboard behind the recording terminal";
    EXPECT_EQ(bracketed("MENU$(1)"), "[]") << "no menu kept without a terminal";
    EXPECT_EQ(print("CNVRT$(\"PIC(##)\", 1)"), "01");
}

TEST(StringFunctions, ErrorNumberAndLineOfTheLastError) {
    // The program stops at its error; a statement typed afterwards reads ERR and LINE.
    test::ProgramFixture f;
    test::RecordingTerminal& term = test::installRecordingTerminal();
    auto typed = [&](const std::string& statement) {
        PendingDict pending;
        CompiledLine line;
        ASSERT_EQ(compileLine(f.program(), statement, pending, {}, line, false), 0);
        pendingCommit(f.program(), pending);
        t.immediate = line.code;
        t.runImmediate = true;
        setActionCode(kActRun);
        runLoop();
    };
    ASSERT_EQ(f.enter("10 PRINT \"A\""), 0);
    ASSERT_EQ(f.enter("20 X = SQR(-1)"), 0);
    ASSERT_EQ(f.enter("30 END"), 0);
    typed("PRINT ERR; LINE");
    prepareRun(f.program());
    f.program().curline = f.program().firstline;
    setActionCode(kActRun);
    runLoop();
    typed("PRINT ERR; LINE");
    EXPECT_THAT(term.output, ElementsAre("0 -1", "A", "403 20"));
    prepareRun(f.program());
    EXPECT_EQ(f.program().errorline, -1) << "a new run starts without an error";
    f.program().errorline = 1;
    EXPECT_EQ(resetProgram(f.program()), 9000);
    EXPECT_EQ(f.program().errorline, -1) << "so does an emptied program";
}

TEST(StringFunctions, EnvironmentTable) {
    clearEnvironmentTable();
    EXPECT_EQ(print("SETENV(\"VX_TEST_A\", \"one\"); SETENV(\"vx_test_b=two\"); SETENV(\"bad "
                    "name\", \"x\")"),
              "0 0 2");
    EXPECT_EQ(bracketed("ENV$(\"vx_test_a\") & ENV$(\" VX_TEST_B \")"), "[onetwo]");
    setenv("VX_TEST_PROCESS", "outside", 1);
    EXPECT_EQ(bracketed("ENV$(\"VX_TEST_PROCESS\") & ENV$(\"VX_TEST_NONE\")"), "[outside]");
    EXPECT_EQ(print("SETENV(\"VX_TEST_PROCESS\", \"inside\")"), "0");
    EXPECT_EQ(bracketed("ENV$(\"VX_TEST_PROCESS\")"), "[inside]") << "the table comes first";
    EXPECT_EQ(print("SETENV(\"VX_TEST_A\", \"\")"), "0");
    EXPECT_EQ(bracketed("ENV$(\"VX_TEST_A\")"), "[]") << "an empty value removes it";
    EXPECT_EQ(print("ENV$(RPT$(\"A\", 1001))"), "error 2");
    unsetenv("VX_TEST_PROCESS");
    clearEnvironmentTable();
}

}  // namespace
}  // namespace vxs
