// The line compiler: line numbers, statement recognition, clause layout, statements' code and
// the line table.
#include "vxs/compiler/command2.h"

#include <gtest/gtest.h>

#include "tests/support/compile_support.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/vxexe.h"

namespace vxs {
namespace {

using test::hex;

class LineTest : public ::testing::Test {
  protected:
    std::string code(const std::string& line) {
        CompiledLine out;
        const int err = f.compile(line, out);
        if (err) return "error " + std::to_string(err);
        return hex(out.code);
    }
    int error(const std::string& line, bool numbered = true) {
        CompiledLine out;
        return f.compile(line, out, numbered);
    }
    // The statement code of the first clause of a compiled line.
    int statementOf(const std::string& line) {
        CompiledLine out;
        if (f.compile(line, out)) return -1;
        ClauseView v;
        if (decodeClause(out.code, 0, v)) return -2;
        return v.code;
    }
    test::ProgramFixture f;
};

TEST_F(LineTest, LineNumbersRunFrom1To99999) {
    EXPECT_EQ(error("99999 PRINT"), 0);
    EXPECT_EQ(error("1 PRINT"), 0);
    EXPECT_EQ(error("100000 PRINT"), kCeLineNumber);
    EXPECT_EQ(error("0 PRINT"), kCeLineNumber);
    EXPECT_EQ(error("PRINT"), kCeLineNumber);
    EXPECT_EQ(error("PRINT", false), 0) << "a statement to run at once has no number";
    CompiledLine out;
    ASSERT_EQ(f.compile("00050", out), 0);
    EXPECT_TRUE(out.empty) << "a number alone deletes the line";
    EXPECT_EQ(out.number, 50u);
}

TEST_F(LineTest, StatementsAreRecognisedByUniqueAbbreviation) {
    EXPECT_EQ(statementOf("10 PR \"X\""), StPrint);
    EXPECT_EQ(statementOf("10 print \"X\""), StPrint);
    EXPECT_EQ(error("10 RE 5"), kCeSyntax) << "RE is ambiguous, so an assignment without '='";
    EXPECT_EQ(statementOf("10 FOR I=1 TO 3"), StFor);
    EXPECT_EQ(statementOf("10 FORM C 10"), StForm);
}

TEST_F(LineTest, AKeywordFollowedByEqualsIsAVariable) {
    // PRINT = 5: assignment (statement 1) to a variable named PRINT.
    EXPECT_EQ(code("10 PRINT = 5"), "02 00 01 01 01 0D 00 01 40 7F");
    ASSERT_EQ(f.enter("10 PRINT = 5"), 0);
    EXPECT_EQ(dictName(f.program(), 256), "PRINT");
    EXPECT_EQ(statementOf("10 READ$ = \"X\""), StLet);
    EXPECT_EQ(statementOf("10 GOTO += 1"), StLet);
}

TEST_F(LineTest, AssignmentWithoutLetIsStatementOne) {
    // X = Y + 1: X Y 1 [+] [=] end LET end
    EXPECT_EQ(code("10 X = Y + 1"), "03 00 01 01 01 02 01 0B 0D 00 01 40 7F");
    EXPECT_EQ(code("10 LET X = Y + 1"), "03 00 01 01 01 02 01 0B 0D 00 01 40 7F");
    EXPECT_EQ(code("10 X += 2"), "02 00 01 01 01 1B 00 01 40 7F");
}

TEST_F(LineTest, SubstringAssignmentUsesItsOwnOperator) {
    // A$(5:4) = "X": A$ 5 4 "X" [14]
    EXPECT_EQ(code("10 A$(5:4) = \"X\""), "04 00 01 01 01 02 01 03 01 0E 00 01 40 7F");
}

TEST_F(LineTest, DirectFormsCarryTheirWords) {
    // GOTO 20: count 0, 0x6C, LREF (index -1, number 20).
    EXPECT_EQ(code("10 GOTO 20"), "00 6C FF FF 14 00 00 00 7F");
    EXPECT_EQ(code("10 GOSUB 99999"), "00 60 FF FF 9F 86 01 00 7F");
    EXPECT_EQ(code("10 FNEND"), "00 67 7F");
    EXPECT_EQ(code("10 RETURN"), "00 61 7F");
    EXPECT_EQ(code("10 END"), "00 6F 7F");
    EXPECT_EQ(code("10 STOP 3"), "01 00 01 6E 7F") << "the value, then the direct form";
}

TEST_F(LineTest, BreakHasNoDirectFormBecause0x7FEndsTheLine) {
    EXPECT_EQ(code("10 BREAK"), "00 00 3F 40 7F");
}

TEST_F(LineTest, ClausesAreSeparatedByBackslash) {
    const std::string c = code("10 A = 1 \\ B = 2");
    EXPECT_EQ(c, "02 00 01 01 01 0D 00 01 40 02 02 01 03 01 0D 00 01 40 7F");
    EXPECT_EQ(error("10 A = 1 B = 2"), kCeSyntax);
}

TEST_F(LineTest, CommentsAndRemarksAreNotExecutable) {
    CompiledLine out;
    ASSERT_EQ(f.compile("10 ! just a comment", out), 0);
    EXPECT_FALSE(out.executable);
    EXPECT_EQ(hex(out.code), "7F");
    ASSERT_EQ(f.compile("10 REM A REMARK \\ NOT A CLAUSE", out), 0);
    EXPECT_FALSE(out.executable);
    ASSERT_EQ(f.compile("10 PRINT ! a comment", out), 0);
    EXPECT_TRUE(out.executable);
}

TEST_F(LineTest, SingleLineIfJumpsToItsElse) {
    // IF A THEN B=1 ELSE B=2: the IF's target is the offset of the clause after the ELSE skip.
    CompiledLine out;
    ASSERT_EQ(f.compile("10 IF A THEN B = 1 ELSE B = 2", out), 0);
    ClauseView ifc, thenc, elsec, after;
    ASSERT_EQ(decodeClause(out.code, 0, ifc), 0);
    ASSERT_EQ(decodeClause(out.code, ifc.next, thenc), 0);
    ASSERT_EQ(decodeClause(out.code, thenc.next, elsec), 0);
    ASSERT_EQ(decodeClause(out.code, elsec.next, after), 0);
    EXPECT_EQ(ifc.code, StIf);
    EXPECT_EQ(out.code[ifc.endAt], kThenEnd);
    EXPECT_EQ(static_cast<int16_t>(readWord(out.code.data() + ifc.wordsAt)),
              -static_cast<int>(after.start));
    EXPECT_EQ(elsec.code, StSkip);
    EXPECT_EQ(readWord(out.code.data() + elsec.wordsAt + 2), kBlockLineElse);
    ASSERT_EQ(f.compile("10 IF A THEN B = 1", out), 0);
    ASSERT_EQ(decodeClause(out.code, 0, ifc), 0);
    EXPECT_EQ(static_cast<int16_t>(readWord(out.code.data() + ifc.wordsAt)), kTargetNextLine);
    EXPECT_EQ(error("10 IF A B = 1"), kCeKeywordMissing);
    EXPECT_EQ(error("10 B = 1 ELSE B = 2"), kCeSyntax) << "an ELSE needs its IF";
}

TEST_F(LineTest, ThenLineNumberIsAGoto) {
    CompiledLine out;
    ASSERT_EQ(f.compile("10 IF A THEN 100 ELSE 200", out), 0);
    ClauseView v;
    ASSERT_EQ(decodeClause(out.code, 0, v), 0);
    ASSERT_EQ(decodeClause(out.code, v.next, v), 0);
    EXPECT_TRUE(v.direct);
    EXPECT_EQ(v.code, StGoto);
    EXPECT_EQ(readLineRef(out.code.data() + v.wordsAt).number, 100u);
}

TEST_F(LineTest, ForCarriesControlVariableAssignmentLimitAndStep) {
    // FOR I = 1 TO 3: I I 1 [=: 3 1] end FOR[-1 -1] end. The missing STEP is the literal 1.
    EXPECT_EQ(code("10 FOR I = 1 TO 3"),
              "03 00 01 00 01 01 01 CD 02 02 01 01 01 00 E2 02 FF FF FF FF 40 7F");
    EXPECT_EQ(error("10 FOR I = 1"), kCeKeywordMissing);
    EXPECT_EQ(error("10 FOR A$ = 1 TO 2"), kCeNotAllowed);
}

TEST_F(LineTest, OnConditionsAndComputedJumps) {
    EXPECT_EQ(statementOf("10 ON ERROR GOTO 900"), StOn);
    EXPECT_EQ(statementOf("10 ON ZDIV IGNORE"), StOn);
    EXPECT_EQ(statementOf("10 ON SOFLOW SYSTEM"), StOn);
    EXPECT_EQ(statementOf("10 ON FNKEY 3 GOTO 700"), StOn);
    EXPECT_EQ(statementOf("10 ON X GOTO 10, 20 NONE 30"), StGoto);
    EXPECT_EQ(statementOf("10 ON X GOSUB 10, 20"), StGosub);
    // ON X GOTO 10,20 NONE 30: words [2, LREF 10, LREF 20, 1, LREF 30]
    CompiledLine out;
    ASSERT_EQ(f.compile("10 ON X GOTO 10, 20 NONE 30", out), 0);
    ClauseView v;
    ASSERT_EQ(decodeClause(out.code, 0, v), 0);
    EXPECT_EQ(v.words, 11);
    EXPECT_EQ(readWord(out.code.data() + v.wordsAt), 2);
    EXPECT_EQ(readLineRef(out.code.data() + v.wordsAt + 8).number, 20u);
    EXPECT_EQ(readWord(out.code.data() + v.wordsAt + 14), 1);
    EXPECT_EQ(readLineRef(out.code.data() + v.wordsAt + 16).number, 30u);
    EXPECT_EQ(error("10 ON X 10, 20"), kCeKeywordMissing);
}

TEST_F(LineTest, IoStatementsDescribeTheirPartsAfterTheStatement) {
    // READ #1, USING 100, KEY=K$: A$, B EOF 500
    CompiledLine out;
    ASSERT_EQ(f.compile("10 READ #1, USING 100, KEY=K$: A$, B EOF 500", out), 0);
    ClauseView v;
    ASSERT_EQ(decodeClause(out.code, 0, v), 0);
    EXPECT_EQ(v.code, StRead);
    EXPECT_EQ(v.count, 3) << "K$, A$ and B";
    std::vector<int> parts;
    for (size_t p = v.partsAt; p < v.endAt;) {
        uint8_t h;
        size_t w, next;
        int n;
        ASSERT_EQ(decodeItem(out.code, p, h, w, n, next), 0);
        parts.push_back(h & 0x3F);
        p = next;
    }
    EXPECT_EQ(parts, (std::vector<int>{kPartFile, 17, kPartLine, 48, kPartList, kPartExit}));
    EXPECT_EQ(error("10 READ #1 A$"), kCeColonAfterPart);
    EXPECT_EQ(error("10 CLOSE #1"), kCeColonAfterPart);
    EXPECT_EQ(error("10 OPEN #1 \"X\""), kCeColonAfterPart);
}

TEST_F(LineTest, PrintListBytesGiveSeparatorsAndTheLastItem) {
    // PRINT 1;2: list of 2 values: [1|semicolon] [1|end of line|last]
    CompiledLine out;
    ASSERT_EQ(f.compile("10 PRINT 1;2", out), 0);
    EXPECT_EQ(hex(out.code), "02 00 01 01 01 00 18 94 02 00 11 21 40 7F");
    ASSERT_EQ(f.compile("10 PRINT 1,", out), 0);
    EXPECT_EQ(hex(out.code), "01 00 01 00 18 94 01 00 29 40 7F")
        << "comma last: the line stays open";
    ASSERT_EQ(f.compile("10 PRINT", out), 0);
    EXPECT_EQ(hex(out.code), "00 00 18 94 00 00 38 40 7F") << "an empty item ending the line";
    ASSERT_EQ(f.compile("10 PRINT TAB(5); X", out), 0);
    EXPECT_EQ(hex(out.code), "02 00 01 01 01 00 18 94 02 00 17 21 40 7F") << "TAB item 7";
}

TEST_F(LineTest, ShortClauseKeywordsNeedTheirWholeName) {
    // B and U abbreviate BORDER and USING; in a print list they are variables.
    EXPECT_EQ(statementOf("10 PRINT B"), StPrint);
    EXPECT_EQ(error("10 PRINT U"), 0);
    EXPECT_EQ(error("10 PRINT USI 100: X"), 0) << "three letters abbreviate";
}

TEST_F(LineTest, DimGivesBoundsAndCapacities) {
    // DIM A(10), C$*30: 10 [36: A 1 0] [36: C$ 0 30]
    EXPECT_EQ(code("10 DIM A(10), C$*30"),
              "01 00 01 E4 03 01 01 01 00 00 00 E4 03 02 01 00 00 1E 00 00 0B 40 7F");
    EXPECT_EQ(dictEntry(f.program(), 257), nullptr) << "compile alone enters nothing";
    ASSERT_EQ(f.enter("10 DIM A(10), B$(5)*20"), 0);
    const de* b = dictEntry(f.program(), findName(f.program(), "B$"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->dimlen, 20);
    EXPECT_EQ(b->attr & DA_DIMENSIONED, DA_DIMENSIONED);
    EXPECT_EQ(error("10 DIM X"), kCeSyntax);
    EXPECT_EQ(error("10 DIM X$*40000"), kCeSyntax);
}

TEST_F(LineTest, DimAndLibraryAreRefusedWhileAProgramIsActive) {
    PendingDict pending;
    CompiledLine out;
    CompileOptions active;
    active.programActive = true;
    EXPECT_EQ(compileLine(f.program(), "DIM A(5)", pending, active, out, false), kCeActive);
    EXPECT_EQ(compileLine(f.program(), "LIBRARY \"X\": FNA", pending, active, out, false),
              kCeActive);
    EXPECT_EQ(compileLine(f.program(), "X = NEWARR(1)", pending, active, out, false), kCeActive);
    EXPECT_EQ(compileLine(f.program(), "X = 1", pending, active, out, false), 0);
}

TEST_F(LineTest, DefinitionsOnOneLineAndOverSeveral) {
    CompiledLine out;
    ASSERT_EQ(f.compile("10 DEF FNA(X) = X * 2", out), 0);
    std::vector<int> codes;
    for (size_t p = 0; !atLineEnd(out.code, p);) {
        ClauseView v;
        ASSERT_EQ(decodeClause(out.code, p, v), 0);
        codes.push_back(v.code);
        p = v.next;
    }
    EXPECT_EQ(codes, (std::vector<int>{StDef, StSkip, StLet, StFnend}));
    ClauseView def, skip;
    ASSERT_EQ(decodeClause(out.code, 0, def), 0);
    ASSERT_EQ(decodeClause(out.code, def.next, skip), 0);
    EXPECT_EQ(readWord(out.code.data() + def.wordsAt + 2), skip.next) << "the body's offset";
    ASSERT_EQ(f.compile("10 DEF FNB$(&A$, B; C, MAT D)", out), 0);
    ASSERT_EQ(decodeClause(out.code, 0, def), 0);
    EXPECT_EQ(readWord(out.code.data() + def.wordsAt + 2), 0) << "the body is on later lines";
    EXPECT_EQ(readWord(out.code.data() + def.wordsAt + 4), 4) << "four formals";
    const uint8_t* w = out.code.data() + def.wordsAt + 6;
    EXPECT_EQ(readWord(w), kFormalReference);
    EXPECT_EQ(readWord(w + 4), kFormalValue);
    EXPECT_EQ(readWord(w + 8), kFormalOptional);
    EXPECT_EQ(readWord(w + 16), kFormalArray);
    EXPECT_EQ(error("10 DEF A(X) = 1"), kCeFunction);
}

TEST_F(LineTest, MatFormsCarryTheirSubCode) {
    struct Case {
        const char* line;
        int sub;
    } cases[] = {{"10 MAT A = B", 0},        {"10 MAT A = (0)", 0},
                 {"10 MAT A = B + C", 11},   {"10 MAT A = B - C", 12},
                 {"10 MAT A = (2) * B", 8},  {"10 MAT A = (2) / B", 9},
                 {"10 MAT A = (2) + C", 11}, {"10 MAT A = AIDX(B)", 48},
                 {"10 MAT A = DIDX(B)", 49}, {"10 MAT A(1:3) = B(2:4)", 0}};
    for (const Case& c : cases) {
        CompiledLine out;
        ASSERT_EQ(f.compile(c.line, out), 0) << c.line;
        ClauseView v;
        ASSERT_EQ(decodeClause(out.code, 0, v), 0);
        EXPECT_EQ(v.code, StMat) << c.line;
        EXPECT_EQ(readWord(out.code.data() + v.wordsAt), c.sub) << c.line;
    }
    EXPECT_EQ(error("10 MAT PRINT = B"), kCeArrayName);
    EXPECT_EQ(error("10 MAT LEN = B"), kCeArrayName);
}

TEST_F(LineTest, OptionsTakeEffectWhenTheLineCompiles) {
    ASSERT_EQ(f.enter("10 OPTION BASE 1, COLLATE ALTERNATE"), 0);
    EXPECT_EQ(f.program().progoptions[1], 1);
    EXPECT_EQ(f.program().progoptions[2], 1);
    EXPECT_EQ(error("10 OPTION BASE 2"), kCeSyntax);
}

TEST_F(LineTest, CodeLongerThan255BytesIsRefused) {
    std::string line = "10 PRINT ";
    for (int i = 0; i < 40; ++i) line += "A" + std::to_string(i) + "+1,";
    line += "1";
    EXPECT_EQ(error(line), kCeLineTooLong);
}

TEST_F(LineTest, LabelsStartALineAndServeAsReferences) {
    CompiledLine out;
    ASSERT_EQ(f.compile("10 TOP: PRINT", out), 0);
    ClauseView v;
    ASSERT_EQ(decodeClause(out.code, 0, v), 0);
    EXPECT_TRUE(v.direct);
    EXPECT_EQ(v.code, StLabel);
    ASSERT_EQ(f.compile("20 GOTO TOP", out), 0);
    ASSERT_EQ(decodeClause(out.code, 0, v), 0);
    EXPECT_NE(readLineRef(out.code.data() + v.wordsAt).label, 0);
    ASSERT_EQ(f.compile("30 TOP:", out), 0);
    EXPECT_FALSE(out.executable);
}

TEST_F(LineTest, FailedLinesLeaveTheProgramAsItWas) {
    ASSERT_EQ(f.enter("10 A = 1"), 0);
    const int count = f.program().dictcnt;
    const auto before = f.code(10);
    EXPECT_EQ(f.enter("10 NEWVAR = \"X\" + 1"), kCeAfterString);
    EXPECT_EQ(f.program().dictcnt, count);
    EXPECT_EQ(findName(f.program(), "NEWVAR"), 0);
    EXPECT_EQ(f.code(10), before);
}

TEST_F(LineTest, LinesAreKeptInNumberOrderAndReplacedOrDeleted) {
    ASSERT_EQ(f.enter("30 C = 3"), 0);
    ASSERT_EQ(f.enter("10 A = 1"), 0);
    ASSERT_EQ(f.enter("20 B = 2"), 0);
    std::vector<uint32_t> numbers;
    for (int i : linesInOrder(f.program()))
        numbers.push_back(f.program().lineptr[static_cast<size_t>(i)].lineno());
    EXPECT_EQ(numbers, (std::vector<uint32_t>{10, 20, 30}));
    ASSERT_EQ(f.enter("20 B = 22"), 0);
    EXPECT_EQ(f.program().linecnt, 3) << "replaced, not added";
    ASSERT_EQ(f.enter("10"), 0);
    EXPECT_EQ(f.program().linecnt, 2);
    EXPECT_EQ(findLine(f.program(), 10), -1);
    numbers.clear();
    for (int i : linesInOrder(f.program()))
        numbers.push_back(f.program().lineptr[static_cast<size_t>(i)].lineno());
    EXPECT_EQ(numbers, (std::vector<uint32_t>{20, 30}));
    EXPECT_TRUE(deleteLine(f.program(), 20));
    EXPECT_TRUE(deleteLine(f.program(), 30));
    EXPECT_EQ(f.program().firstline, kNoLines);
    EXPECT_FALSE(deleteLine(f.program(), 30));
}

TEST_F(LineTest, TheLastLinesSuccessorIsTheEndOfTheChain) {
    auto successorOf = [&](uint32_t number) {
        return f.program().lineptr[static_cast<size_t>(findLine(f.program(), number))].next;
    };
    ASSERT_EQ(f.enter("20 B = 2"), 0);  // the first line of an empty program
    EXPECT_EQ(successorOf(20), kEndOfChain);
    ASSERT_EQ(f.enter("30 C = 3"), 0);
    ASSERT_EQ(f.enter("10 A = 1"), 0);
    EXPECT_EQ(successorOf(30), kEndOfChain);
    EXPECT_EQ(successorOf(20), findLine(f.program(), 30));
    for (uint32_t n : {10u, 20u, 30u}) EXPECT_TRUE(deleteLine(f.program(), n));
    ASSERT_EQ(f.enter("40 D = 4"), 0);  // empty again
    EXPECT_EQ(successorOf(40), kEndOfChain);
}

TEST_F(LineTest, TheLineTableGrowsPastItsCapacity) {
    for (int n = 1; n <= 1600; ++n)
        ASSERT_EQ(f.enter(std::to_string(n) + " X = " + std::to_string(n)), 0) << n;
    EXPECT_EQ(f.program().linecnt, 1600);
    EXPECT_GE(f.program().linecap, 1600);
    EXPECT_EQ(findLine(f.program(), 1234) >= 0, true);
}

TEST_F(LineTest, WhileAndUntilBelongToDoAndLoop) {
    EXPECT_EQ(error("10 WHILE X"), kCeSyntax);
    EXPECT_EQ(statementOf("10 DO WHILE X < 3"), StDo);
    EXPECT_EQ(statementOf("10 LOOP UNTIL X"), StLoop);
    CompiledLine out;
    ASSERT_EQ(f.compile("10 DO", out), 0);
    EXPECT_EQ(hex(out.code), "00 7B 7F") << "DO without a test is a marker";
}

TEST_F(LineTest, AZeroByteIsRefused) {
    EXPECT_EQ(error(std::string("10 PRINT 1\0 2", 14)), kCeSyntax);
    EXPECT_EQ(error(std::string("10\0PRINT", 9)), kCeSyntax);
}

TEST_F(LineTest, ArraysNamedLikeKeywordsCanBeAssigned) {
    EXPECT_EQ(statementOf("10 M(1) = 5"), StLet) << "M abbreviates MAT";
    EXPECT_EQ(statementOf("10 DAT(1) = 5"), StLet) << "DAT abbreviates DATA";
    EXPECT_EQ(statementOf("10 PRINT(1)"), StPrint);
    EXPECT_EQ(statementOf("10 IF (A) = 1 THEN PRINT"), StIf);
}

TEST_F(LineTest, ReadWithoutAFileNumberReadsData) {
    EXPECT_EQ(statementOf("10 READ A, B$"), StRead);
    EXPECT_EQ(error("10 READ"), kCeSyntax);
    EXPECT_EQ(error("10 REWRITE"), kCeSyntax);
}

TEST_F(LineTest, ThenAndElseTakeLabelsAsWellAsNumbers) {
    CompiledLine out;
    ASSERT_EQ(f.compile("10 IF A THEN TOP ELSE BOTTOM", out), 0);
    ClauseView v;
    ASSERT_EQ(decodeClause(out.code, 0, v), 0);
    ASSERT_EQ(decodeClause(out.code, v.next, v), 0);
    EXPECT_EQ(v.code, StGoto);
    EXPECT_NE(readLineRef(out.code.data() + v.wordsAt).label, 0);
    EXPECT_EQ(error("10 ON ERROR STOP"), kCeSyntax) << "a statement keyword is not a label";
    EXPECT_EQ(statementOf("10 IF A THEN RETURN"), StIf);
}

TEST_F(LineTest, AKeywordsValueDoesNotReachPastAComma) {
    // DAT would abbreviate DATA, whose text would be B$ only by skipping the comma.
    CompiledLine out;
    ASSERT_EQ(f.compile("10 INPUT DAT, B$", out), 0);
    ClauseView v;
    ASSERT_EQ(decodeClause(out.code, 0, v), 0);
    EXPECT_EQ(v.count, 2) << "two variables";
    EXPECT_EQ(out.code[v.partsAt], 0x80 | kPartList);
}

TEST_F(LineTest, MatOperandsMustHaveTheTargetsType) {
    EXPECT_EQ(error("10 MAT A = B$"), kCeNotAllowed);
    EXPECT_EQ(error("10 MAT A$ = B$ + C$"), kCeNotAllowed);
    EXPECT_EQ(error("10 MAT A$ = AIDX(B)"), kCeNotAllowed);
    EXPECT_EQ(error("10 MAT A = (\"X\")"), kCeAfterString);
    EXPECT_EQ(error("10 MAT A$ = (\"X\")"), 0);
}

TEST_F(LineTest, NamesLongerThan30CharactersAreRefusedEverywhere) {
    const std::string longName(31, 'N');
    EXPECT_EQ(error("10 DEF FN" + longName + " = 1"), kCeExpression);
    EXPECT_EQ(error("10 SELECT CASE X \\ CASE " + longName), kCeExpression);
    EXPECT_EQ(error("10 MAT " + longName + " = B"), kCeExpression);
}

}  // namespace
}  // namespace vxs
