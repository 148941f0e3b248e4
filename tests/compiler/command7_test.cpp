// The expression compiler, checked at the byte level where the code is fixed.
#include "vxs/compiler/command7.h"

#include <gtest/gtest.h>

#include "tests/support/compile_support.h"
#include "vxs/compiler/codes.h"

namespace vxs {
namespace {

using test::hex;
using Bytes = std::vector<uint8_t>;

class ExpressionTest : public ::testing::Test {
  protected:
    std::string code(const std::string& text) {
        Bytes b;
        const int err = f.expression(text, b);
        if (err) return "error " + std::to_string(err);
        return hex(b);
    }
    int error(const std::string& text) {
        Bytes b;
        return f.expression(text, b);
    }
    test::ProgramFixture f;
};

// Names and literals are entered from index 256 (0x0100) in order of appearance.
TEST_F(ExpressionTest, BinaryOperatorsAssociateToTheLeft) {
    // A B - C -: the second '-' pops the first; C's word rides on the first '-'.
    EXPECT_EQ(code("A-B-C"), "02 00 01 01 01 8C 02 01 0C");
    test::ProgramFixture g;
    Bytes b;
    ASSERT_EQ(g.expression("(A-B)-C", b), 0);
    EXPECT_EQ(hex(b), "02 00 01 01 01 8C 02 01 0C");
}

TEST_F(ExpressionTest, PowerIsLeftAssociativeToo) {
    // 2 and 3 are literals 256 and 257; the second 2 reuses 256.
    EXPECT_EQ(code("2**3**2"), "02 00 01 01 01 87 00 01 07");
}

TEST_F(ExpressionTest, PrecedenceOrdersThePostfix) {
    // A + B * C: B C * then A +.
    EXPECT_EQ(code("A+B*C"), "03 00 01 01 01 02 01 08 0B");
    test::ProgramFixture g;
    Bytes b;
    ASSERT_EQ(g.expression("A*B+C", b), 0);
    EXPECT_EQ(hex(b), "02 00 01 01 01 88 02 01 0B");
}

TEST_F(ExpressionTest, UnaryMinusKeepsBothNegations) {
    EXPECT_EQ(code("- - X"), "01 00 01 32 32");
}

TEST_F(ExpressionTest, MinusBeforeADigitIsANegativeLiteral) {
    Bytes b;
    ASSERT_EQ(f.expression("2*-3", b), 0);
    EXPECT_EQ(hex(b), "02 00 01 01 01 08");
    EXPECT_EQ(dictEntry(f.program(), 0x101)->number(), -3.0);
}

TEST_F(ExpressionTest, TheSpellingsOfNotEqualAndGreaterOrEqualAgree) {
    for (const char* ne : {"A <> B", "A >< B", "A ~= B"}) {
        test::ProgramFixture g;
        Bytes b;
        ASSERT_EQ(g.expression(ne, b), 0) << ne;
        EXPECT_EQ(hex(b), "02 00 01 01 01 15") << ne;
    }
    for (const char* ge : {"A >= B", "A => B"}) {
        test::ProgramFixture g;
        Bytes b;
        ASSERT_EQ(g.expression(ge, b), 0) << ge;
        EXPECT_EQ(hex(b), "02 00 01 01 01 13") << ge;
    }
    for (const char* le : {"A <= B", "A =< B"}) {
        test::ProgramFixture g;
        Bytes b;
        ASSERT_EQ(g.expression(le, b), 0) << le;
        EXPECT_EQ(hex(b), "02 00 01 01 01 14") << le;
    }
}

TEST_F(ExpressionTest, LogicalChainsAreBracketedForShortCircuit) {
    // A=1 AND B=2: A 1 = [58] [61: B 2] = [59]
    EXPECT_EQ(code("A=1 AND B=2"), "02 00 01 01 01 16 3A FD 02 02 01 03 01 16 3B");
    test::ProgramFixture g;
    Bytes b;
    ASSERT_EQ(g.expression("A || B && C", b), 0);
    EXPECT_EQ(hex(b), "01 00 01 3A BE 01 01 BD 02 01 3B");
}

TEST_F(ExpressionTest, ParenthesisOpensAChainLevelOfItsOwn) {
    // The inner chain closes at its ')', the outer at the end.
    EXPECT_EQ(code("(A OR B) AND C"), "01 00 01 3A BE 01 01 3B 3A BD 02 01 3B");
}

TEST_F(ExpressionTest, DoubledQuotesStandForOne) {
    Bytes b;
    ASSERT_EQ(f.expression("'IT''S' & \"A\"\"B\"", b), 0);
    EXPECT_EQ(hex(b), "02 00 01 01 01 0F");
    EXPECT_EQ(dictEntry(f.program(), 0x100)->stringValue(), "IT'S");
    EXPECT_EQ(dictEntry(f.program(), 0x101)->stringValue(), "A\"B");
}

TEST_F(ExpressionTest, StringLiteralsUpTo250Characters) {
    EXPECT_EQ(error('"' + std::string(250, 'X') + '"'), 0);
    EXPECT_EQ(error('"' + std::string(251, 'X') + '"'), kCeString);
    EXPECT_EQ(error("\"unterminated"), kCeSyntax);
}

TEST_F(ExpressionTest, NumbersKeepFifteenDigitsAndRefuseMore) {
    Bytes b;
    ASSERT_EQ(f.expression("123456789012345", b), 0);
    EXPECT_EQ(dictEntry(f.program(), 0x100)->number(), 123456789012345.0);
    EXPECT_EQ(error("1234567890123456"), kCeExpression);
    EXPECT_EQ(error("1.123456789"), 0);
    EXPECT_EQ(error("1.1234567890"), kCeExpression);
    EXPECT_EQ(error("1E307"), 0);
    EXPECT_EQ(error("1E308"), kCeExpression);
    EXPECT_EQ(error("2.5E-3"), 0);
    EXPECT_EQ(error(".5"), 0);
}

TEST_F(ExpressionTest, EqualLiteralsShareOneEntry) {
    Bytes b;
    ASSERT_EQ(f.expression("10+10", b), 0);
    EXPECT_EQ(hex(b), "02 00 01 00 01 0B");
    ASSERT_EQ(f.expression("X*10", b), 0);
    EXPECT_EQ(hex(b), "02 01 01 00 01 08") << "a later expression reuses the entry too";
    EXPECT_EQ(f.program().dictcnt, 2);
}

TEST_F(ExpressionTest, FunctionCallsCarryTheirCodeAndArgumentCount) {
    // LEN(A$): A$ then [34: 32, 1]; PI: [34: 11, 0].
    EXPECT_EQ(code("LEN(A$)+PI"), "01 00 01 E2 02 20 00 01 00 E2 02 0B 00 00 00 0B");
    test::ProgramFixture g;
    Bytes b;
    ASSERT_EQ(g.expression("STR$(X) & A$(2:3)", b), 0);
    // X [33: 48 1 | A$ 2 3] [33: 100 3] &
    EXPECT_EQ(hex(b), "01 00 01 E1 05 30 00 01 00 01 01 02 01 03 01 E1 02 64 00 03 00 0F");
}

TEST_F(ExpressionTest, ArrayElementsAndUserFunctions) {
    // A(I,2): I 2 [35: A 2]; FNX(1): 1 [32: FNX 1]
    EXPECT_EQ(code("A(I,2)+FNX(1)"), "02 01 01 02 01 E3 03 00 01 02 00 04 01 E0 02 03 01 01 00 0B");
    EXPECT_NE(f.program().progflags & 0x04, 0) << "the program refers to a user function";
}

TEST_F(ExpressionTest, AbsIntAndSgnAreOperators) {
    EXPECT_EQ(code("ABS(X)*2"), "01 00 01 B3 01 01 08") << "X [ABS: 2] *";
    EXPECT_EQ(error("ABS X"), 1) << "without '(' ABS is a variable and X is left over";
}

TEST_F(ExpressionTest, PrefixOperatorsApplyToWhatFollows) {
    // A + NOT B: A B NOT +; NOT(...) is the operator too, not an array named NOT.
    EXPECT_EQ(code("A + NOT B"), "02 00 01 01 01 30 0B");
    test::ProgramFixture g;
    Bytes b;
    ASSERT_EQ(g.expression("NOT(A=B)", b), 0);
    EXPECT_EQ(hex(b), "02 00 01 01 01 16 30");
    ASSERT_EQ(g.expression("NOT NOT A", b), 0);
    ASSERT_EQ(g.expression("NOT A = B", b), 0);
    EXPECT_EQ(hex(b), "02 00 01 01 01 16 30") << "NOT binds less tightly than a relation";
}

TEST_F(ExpressionTest, TypesMustAgree) {
    EXPECT_EQ(error("A$+1"), kCeAfterString);
    EXPECT_EQ(error("1+A$"), kCeNotAllowed);
    EXPECT_EQ(error("A$&1"), kCeNotAllowed);
    EXPECT_EQ(error("A$=B$"), 0);
    EXPECT_EQ(error("A$=1"), kCeAfterString);
    EXPECT_EQ(error("-A$"), kCeAfterString);
}

TEST_F(ExpressionTest, ShiftsAndRemainderAreRefused) {
    EXPECT_EQ(error("A<<2"), kCeOperator);
    EXPECT_EQ(error("A>>2"), kCeOperator);
    EXPECT_EQ(error("A%2"), kCeOperator);
}

TEST_F(ExpressionTest, IncompleteAndUnbalancedExpressions) {
    EXPECT_EQ(error("(A+B"), kCeParen);
    EXPECT_EQ(error("A+"), kCeExpression);
    EXPECT_EQ(error("A ="), kCeAfterRelation);
    EXPECT_EQ(error(""), kCeExpression);
    EXPECT_EQ(error("()"), kCeExpression);
    EXPECT_EQ(error("A(1"), kCeParen);
    EXPECT_EQ(error("A)"), 1) << "a ')' without '(' ends the expression";
}

TEST_F(ExpressionTest, FailureRestoresTheCodeAndTheDictionary) {
    Bytes b;
    EXPECT_EQ(f.expression("NEWNAME + 5 + \"X\"", b), kCeNotAllowed);
    EXPECT_EQ(hex(b), "00") << "only the empty count byte is left";
    EXPECT_EQ(f.program().dictcnt, 0) << "nothing of the failed expression is entered";
}

TEST_F(ExpressionTest, DeepNestingExhaustsTheOperatorStack) {
    EXPECT_EQ(error(std::string(100, '(') + "1" + std::string(100, ')')), 0);
    EXPECT_EQ(error(std::string(300, '(') + "1" + std::string(300, ')')), kCeWorkArea);
}

TEST_F(ExpressionTest, MoreThan63WordsAfterOneHeaderIsRefused) {
    std::string list = "A";
    for (int i = 1; i < 64; ++i) list += "+(V" + std::to_string(i);
    list += std::string(63, ')');
    EXPECT_EQ(error(list), kCeWords);
    std::string ok = "A";
    for (int i = 1; i < 63; ++i) ok += "+(V" + std::to_string(i);
    ok += std::string(62, ')');
    EXPECT_EQ(error(ok), 0);
}

TEST_F(ExpressionTest, SmallIntegersCanStayOutOfTheCode) {
    test::ProgramFixture g;
    CompileCtx c;
    PendingDict pending;
    c.pc = &g.program();
    c.pending = &pending;
    c.typed = c.upper = "7: X";
    c.expr.reset(true);
    int small = -1;
    ASSERT_EQ(compileExpression(c, ExprType::Numeric, nullptr, &small), 0);
    EXPECT_EQ(small, 7);
    EXPECT_EQ(c.pos, 1u);
    EXPECT_TRUE(c.expr.empty());
    c.typed = c.upper = "64";
    c.pos = 0;
    ASSERT_EQ(compileExpression(c, ExprType::Numeric, nullptr, &small), 0);
    EXPECT_EQ(small, -1) << "64 and above are compiled";
    EXPECT_FALSE(c.expr.empty());
}

TEST_F(ExpressionTest, LongNamesEndTheExpression) {
    EXPECT_EQ(error(std::string(30, 'N')), 0);
    EXPECT_EQ(error(std::string(31, 'N')), kCeExpression);
}

}  // namespace
}  // namespace vxs
