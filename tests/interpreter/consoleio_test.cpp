// PRINT and the input statements on the console window: the layout of print lists (numbers
// and their blanks, zones, TAB, wrapping at the window's width, arrays) and INPUT, LINPUT and
// RINPUT answered from typed lines, ended input included.
#include "vxs/interpreter/consoleio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/compile_support.h"
#include "tests/support/run_session.h"

namespace vxs {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

// The console lines of a program run with `typed` as its answers; an error is the last line,
// as "error N L C".
Lines printed(const Lines& program, const Lines& typed = {}) {
    const test::RunResult r = test::runProgram(program, typed);
    Lines out = r.output;
    for (const std::string& e : r.errors) out.push_back("error " + e);
    return out;
}

std::string spaces(size_t n) { return std::string(n, ' '); }
std::string text(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('A' + i % 26);
    return s;
}

TEST(Print, NumbersBeforeASemicolonAreFollowedByOneBlank) {
    EXPECT_THAT(printed({"10 PRINT 1;2", "20 END"}), ElementsAre("1 2"));
    EXPECT_THAT(printed({"10 PRINT -1;-2", "20 PRINT 1;-2.5;3", "30 END"}),
                ElementsAre("-1 -2", "1 -2.5 3"));
    // Strings get no blank, on either side; a number before a string keeps its blank.
    EXPECT_THAT(printed({"10 PRINT \"A\";1;\"B\";-2;\"C\"", "20 END"}), ElementsAre("A1 B-2 C"));
    EXPECT_THAT(printed({"10 PRINT 0.5; 1E20; 1E30; -0.001", "20 END"}),
                ElementsAre("0.5 100000000000000000000 1E+30 -0.001"));
}

TEST(Print, ATrailingSeparatorKeepsTheLineOpen) {
    EXPECT_THAT(printed({"10 PRINT 1;2;", "20 PRINT 3", "30 END"}), ElementsAre("1 2 3"));
    EXPECT_THAT(printed({"10 PRINT \"A\",", "20 PRINT \"B\"", "30 END"}),
                ElementsAre("A" + spaces(23) + "B"));
    // A line still open when the program ends is written then.
    EXPECT_THAT(printed({"10 PRINT 1;2;", "20 END"}), ElementsAre("1 2 "));
    EXPECT_THAT(printed({"10 PRINT", "20 PRINT \"\"", "30 END"}), ElementsAre("", ""));
}

TEST(Print, ACommaMovesToTheNextZoneOf24Columns) {
    EXPECT_THAT(printed({"10 PRINT 1,2", "20 END"}), ElementsAre("1" + spaces(23) + "2"));
    EXPECT_THAT(printed({"10 PRINT 1,2,3", "20 END"}),
                ElementsAre("1" + spaces(23) + "2" + spaces(23) + "3"));
    // From columns 23 and 24 the next zone is column 25; from column 25 it is column 49.
    EXPECT_THAT(printed({"10 PRINT \"" + text(22) + "\",\"X\"", "20 END"}),
                ElementsAre(text(22) + "  X"));
    EXPECT_THAT(printed({"10 PRINT \"" + text(23) + "\",\"X\"", "20 END"}),
                ElementsAre(text(23) + " X"));
    EXPECT_THAT(printed({"10 PRINT \"" + text(24) + "\",\"X\"", "20 END"}),
                ElementsAre(text(24) + spaces(24) + "X"));
    EXPECT_THAT(printed({"10 PRINT TAB(25);\"A\",\"X\"", "20 END"}),
                ElementsAre(spaces(24) + "A" + spaces(23) + "X"));
}

TEST(Print, AZoneWithoutRoomForAFullZoneWritesTheLine) {
    // The fourth zone would start at 73, with fewer than 24 columns left of 80.
    EXPECT_THAT(printed({"10 PRINT 1,2,3,4", "20 END"}),
                ElementsAre("1" + spaces(23) + "2" + spaces(23) + "3", "4"));
    EXPECT_THAT(printed({"10 PRINT TAB(60);\"X\",\"Y\"", "20 END"}),
                ElementsAre(spaces(59) + "X", "Y"));
}

TEST(Print, TabMovesToAColumnOrStartsANewLine) {
    EXPECT_THAT(printed({"10 PRINT TAB(5);\"X\"", "20 PRINT TAB(0);\"Y\"", "30 PRINT TAB(-3);\"Z\"", "40 END"}),
                ElementsAre("    X", "Y", "Z"));
    EXPECT_THAT(printed({"10 PRINT \"ABCDEFGHIJ\";TAB(5);\"Z\"", "20 END"}),
                ElementsAre("ABCDEFGHIJ", "    Z"));
    EXPECT_THAT(printed({"10 PRINT \"AB\";TAB(0);\"X\"", "20 END"}), ElementsAre("AB", "X"));
    EXPECT_THAT(printed({"10 PRINT \"AB\";TAB(3);\"C\"", "20 END"}), ElementsAre("ABC"));
    // Rounded to the nearest column, with the tolerance: 2.5 is 3, 5.4999997 is 6, 7.4 is 7.
    EXPECT_THAT(printed({"10 PRINT TAB(2.5);\"X\";TAB(5.4999997);\"Y\";TAB(7.4);\"Z\"", "20 END"}),
                ElementsAre("  X  YZ"));
}

TEST(Print, TabPastTheWidthStartsTheNextLine) {
    EXPECT_THAT(printed({"10 PRINT \"A\";TAB(200);\"Q\"", "20 END"}), ElementsAre("A", "Q"));
    EXPECT_THAT(printed({"10 PRINT TAB(1E10);\"Q\"", "20 PRINT TAB(-1E10);\"R\"", "30 END"}),
                ElementsAre("", "Q", "R"));
    EXPECT_THAT(printed({"10 PRINT TAB(1E10),\"Q\"", "20 END"}), ElementsAre("", "Q"));
}

TEST(Print, TextLongerThanTheWindowContinuesOnTheNextLines) {
    const std::string long170 = text(170);
    EXPECT_THAT(printed({"10 DIM A$*200", "20 A$ = \"" + long170.substr(0, 100) + "\"",
                         "30 A$ = A$ & \"" + long170.substr(100) + "\"", "40 PRINT A$", "50 END"}),
                ElementsAre(long170.substr(0, 80), long170.substr(80, 80), long170.substr(160)));
    // Exactly 80 columns: one line, no empty one after it; the next byte starts a new line.
    EXPECT_THAT(printed({"10 PRINT \"" + text(80) + "\"", "20 PRINT \"" + text(80) + "\";\"X\"", "30 END"}),
                ElementsAre(text(80), text(80), "X"));
    // A number that does not fit is continued on the next line.
    EXPECT_THAT(printed({"10 PRINT TAB(78);12345", "20 END"}), ElementsAre(spaces(77) + "123", "45"));
}

TEST(Print, ArraysPrintEveryElementInItsOwnZone) {
    EXPECT_THAT(printed({"10 DIM A(1)", "20 A(0) = 1 \\ A(1) = 2", "30 PRINT A", "40 END"}),
                ElementsAre("1" + spaces(23) + "2"));
    EXPECT_THAT(printed({"10 DIM B(1, 1)", "20 B(0, 0) = 1 \\ B(0, 1) = 2 \\ B(1, 0) = 3 \\ B(1, 1) = 4",
                         "30 PRINT B", "40 END"}),
                ElementsAre("1" + spaces(23) + "2", "3" + spaces(23) + "4"));
    EXPECT_THAT(printed({"10 DIM S$(1)", "20 S$(0) = \"X\" \\ S$(1) = \"Y\"", "30 PRINT S$", "40 END"}),
                ElementsAre("X" + spaces(23) + "Y"));
}

TEST(Input, ValuesAreSeparatedByCommasAndStringsMayBeQuoted) {
    EXPECT_THAT(printed({"10 INPUT A, B$", "20 PRINT A; B$; \"|\"", "30 END"}, {"12,  HELLO  "}),
                ElementsAre("12 HELLO|"));
    EXPECT_THAT(printed({"10 INPUT A$, B$", "20 PRINT A$; \"|\"; B$", "30 END"},
                        {"\"A, \"\"B\"\"\" , C"}),
                ElementsAre("A, \"B\"|C"));
    // Too few values: the next typed line gives the rest; too many: the rest is passed over.
    EXPECT_THAT(printed({"10 INPUT A, B, C", "20 PRINT A; B; C", "30 INPUT D", "40 PRINT D", "50 END"},
                        {"1", "2, 3, 4", "5"}),
                ElementsAre("1 2 3", "5"));
}

TEST(Input, BadValuesAreErrors) {
    EXPECT_THAT(printed({"10 INPUT A", "20 END"}, {"TWELVE"}), ElementsAre("error 2 10 1"));
    EXPECT_THAT(printed({"10 DIM A$*3", "20 INPUT A$", "30 END"}, {"ABCD"}),
                ElementsAre("error 4 20 1"));
}

TEST(Input, LinputTakesTheWholeLineWithoutTrailingBlanks) {
    EXPECT_THAT(printed({"10 LINPUT A$", "20 PRINT A$; \"|\"", "30 END"}, {"  A, B, \"C\"   "}),
                ElementsAre("  A, B, \"C\"|"));
    EXPECT_THAT(printed({"10 DIM A$(2)", "20 LINPUT A$(1)", "30 END"}, {"X"}),
                ElementsAre("error 726 20 1"));
}

TEST(Input, RinputShowsTheCurrentValueFirst) {
    test::RunResult r =
        test::runProgram({"10 A$ = \"OLD\"", "20 RINPUT A$", "30 PRINT A$", "40 END"}, {"NEW"});
    EXPECT_THAT(r.output, ElementsAre("OLD", "NEW"));
    EXPECT_THAT(r.errors, IsEmpty());
}

class ConsoleInput : public test::RunSession {};

TEST_F(ConsoleInput, PendingOutputIsWrittenBeforeTheInputIsRead) {
    enter({"10 PRINT \"NAME\";", "20 INPUT A$", "30 PRINT \"HELLO \"; A$", "40 END"});
    type({"ANN"});
    EXPECT_EQ(run(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("NAME", "HELLO ANN"));
    EXPECT_THAT(term->statusTexts, Contains("INPUT"));
}

TEST_F(ConsoleInput, EndedInputStopsTheRunAndResumingAsksAgain) {
    enter({"10 PRINT \"START\"", "20 PRINT \"ASK\" \\ INPUT A", "30 PRINT A * 2", "40 END"});
    EXPECT_EQ(run(), RUNSTAT_ATTN);
    EXPECT_THAT(errors(), IsEmpty());
    EXPECT_THAT(output(), ElementsAre("START", "ASK"));
    EXPECT_EQ(program().curline, lineIndex(20));
    EXPECT_EQ(static_cast<size_t>(program().savedclauseoffset), clauseOffset(20, 2));

    type({"21"});
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("42"));
}

TEST_F(ConsoleInput, EndedInputInTheMiddleOfAListStopsToo) {
    enter({"10 INPUT A, B", "20 PRINT A + B", "30 END"});
    type({"1"});
    EXPECT_EQ(run(), RUNSTAT_ATTN);
    type({"5, 6"});  // the statement starts over
    EXPECT_EQ(resume(), RUNSTAT_READY);
    EXPECT_THAT(output(), ElementsAre("11"));
}

}  // namespace
}  // namespace vxs
