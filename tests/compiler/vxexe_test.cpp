// Resolution of line references and block targets, and the clause decoder on damaged code.
#include "vxs/compiler/vxexe.h"

#include <gtest/gtest.h>

#include "tests/support/compile_support.h"
#include "vxs/compiler/codes.h"
#include "vxs/compiler/linetable.h"

namespace vxs {
namespace {

class ResolveTest : public ::testing::Test {
  protected:
    void enter(std::initializer_list<const char*> lines) {
        for (const char* l : lines) ASSERT_EQ(f.enter(l), 0) << l;
    }
    int index(uint32_t number) { return findLine(f.program(), number); }
    // The clauses of a line.
    std::vector<ClauseView> clauses(uint32_t number) {
        std::vector<ClauseView> out;
        const auto code = lineCode(f.program(), index(number));
        for (size_t p = 0; !atLineEnd(code, p);) {
            ClauseView v;
            EXPECT_EQ(decodeClause(code, p, v), 0);
            out.push_back(v);
            p = v.next;
        }
        return out;
    }
    const uint8_t* bytes(uint32_t number) { return lineCode(f.program(), index(number)).data(); }
    int16_t word(uint32_t number, size_t at) {
        return static_cast<int16_t>(readWord(bytes(number) + at));
    }
    test::ProgramFixture f;
};

TEST_F(ResolveTest, LineNumbersAndLabelsBecomeLineIndexes) {
    enter({"30 GOTO 10", "10 TOP: PRINT", "20 GOSUB TOP", "40 GOTO 99"});
    EXPECT_FALSE(f.program().resolved);
    EXPECT_EQ(resolveProgram(f.program()), 1) << "line 99 does not exist";
    EXPECT_TRUE(f.program().resolved);
    EXPECT_EQ(readLineRef(bytes(30) + clauses(30)[0].wordsAt).index, index(10));
    EXPECT_EQ(readLineRef(bytes(20) + clauses(20)[0].wordsAt).index, index(10));
    EXPECT_EQ(readLineRef(bytes(40) + clauses(40)[0].wordsAt).index, kTargetUnresolved);
    // Once the line exists, resolving again finds it; deleting it loses it again.
    enter({"99 END"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    EXPECT_EQ(readLineRef(bytes(40) + clauses(40)[0].wordsAt).index, index(99));
    ASSERT_TRUE(deleteLine(f.program(), 99));
    EXPECT_EQ(resolveProgram(f.program()), 1);
}

TEST_F(ResolveTest, DeletingALineKeepsTheOthersReachable) {
    enter({"10 GOTO 40", "20 PRINT", "30 PRINT", "40 END"});
    ASSERT_TRUE(deleteLine(f.program(), 20));  // line 40's entry moves into the hole
    EXPECT_EQ(resolveProgram(f.program()), 0);
    EXPECT_EQ(readLineRef(bytes(10) + clauses(10)[0].wordsAt).index, index(40));
    EXPECT_EQ(f.program().lineptr[static_cast<size_t>(index(40))].lineno(), 40u);
}

TEST_F(ResolveTest, BlockIfElseAndEndIf) {
    enter({"10 IF A THEN", "20 PRINT 1", "30 ELSE IF B THEN", "40 PRINT 2", "50 ELSE", "60 PRINT 3",
           "70 END IF"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    // The IF goes to the first ELSE line, whose skip goes past END IF.
    EXPECT_EQ(word(10, clauses(10)[0].wordsAt), index(30));
    EXPECT_EQ(word(30, clauses(30)[0].wordsAt), index(70));
    EXPECT_EQ(word(30, clauses(30)[1].wordsAt), index(50)) << "ELSE IF goes to the next ELSE";
    EXPECT_EQ(word(50, clauses(50)[0].wordsAt), index(70));
    EXPECT_EQ(word(70, clauses(70)[0].wordsAt), kTargetNextLine);
}

TEST_F(ResolveTest, NestedBlocksPairInnermostFirst) {
    enter({"10 IF A THEN", "20 IF B THEN", "30 PRINT", "40 END IF", "50 ELSE", "60 END IF"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    EXPECT_EQ(word(20, clauses(20)[0].wordsAt), index(40));
    EXPECT_EQ(word(10, clauses(10)[0].wordsAt), index(50));
    EXPECT_EQ(word(50, clauses(50)[0].wordsAt), index(60));
}

TEST_F(ResolveTest, ForAndNextFindEachOther) {
    enter({"10 FOR I = 1 TO 3", "20 FOR J = 1 TO 2 \\ X = X + 1 \\ NEXT J", "30 NEXT I"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    const auto for10 = clauses(10)[0];
    const auto line20 = clauses(20);
    const auto next30 = clauses(30)[0];
    // FOR I: after NEXT I (the end of line 30); NEXT I: the clause after FOR I.
    EXPECT_EQ(word(10, for10.wordsAt), index(30));
    EXPECT_EQ(word(10, for10.wordsAt + 2), static_cast<int16_t>(next30.next));
    EXPECT_EQ(word(30, next30.wordsAt), index(10));
    EXPECT_EQ(word(30, next30.wordsAt + 2), static_cast<int16_t>(for10.next));
    // FOR J and NEXT J on one line.
    EXPECT_EQ(word(20, line20[0].wordsAt), index(20));
    EXPECT_EQ(word(20, line20[0].wordsAt + 2), static_cast<int16_t>(line20[2].next));
    EXPECT_EQ(word(20, line20[2].wordsAt + 2), static_cast<int16_t>(line20[0].next));
}

TEST_F(ResolveTest, NextWithoutForStaysUnresolved) {
    enter({"10 NEXT I", "20 FOR J = 1 TO 2"});
    EXPECT_EQ(resolveProgram(f.program()), 2);
}

TEST_F(ResolveTest, DoAndLoop) {
    enter({"10 DO WHILE X < 3", "20 X = X + 1", "30 LOOP", "40 DO", "50 LOOP UNTIL X > 5"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    EXPECT_EQ(word(10, clauses(10)[0].wordsAt), index(30)) << "a false DO test leaves after LOOP";
    EXPECT_EQ(word(30, clauses(30)[0].wordsAt), index(10));
    EXPECT_EQ(word(30, clauses(30)[0].wordsAt + 2), 0) << "back to the DO clause itself";
    EXPECT_EQ(word(50, clauses(50)[0].wordsAt), index(40));
}

TEST_F(ResolveTest, SelectCaseTestsTheSelectsValue) {
    enter({"10 SELECT CASE X", "20 CASE 1, 2", "30 PRINT", "40 CASE 3", "50 CASE ELSE",
           "60 END SELECT"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    const uint16_t hidden = readWord(bytes(10) + 1);
    const auto case20 = clauses(20);
    EXPECT_EQ(word(20, case20[0].wordsAt), kTargetNextLine) << "the first CASE runs on";
    EXPECT_EQ(readWord(bytes(20) + case20[1].start + 1), hidden);
    EXPECT_EQ(word(20, case20[1].wordsAt), index(40)) << "no match: the next CASE";
    EXPECT_EQ(word(40, clauses(40)[0].wordsAt), index(60)) << "the end of a CASE's statements";
    EXPECT_EQ(word(40, clauses(40)[1].wordsAt), index(50));
    EXPECT_EQ(word(50, clauses(50)[0].wordsAt), index(60));
}

TEST_F(ResolveTest, FunctionBodiesArePassedOver) {
    enter({"10 DEF FNA(X) = X + 1", "20 DEF FNB(Y)", "30 FNB = Y * 2", "40 FNEND"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    EXPECT_EQ(word(10, clauses(10)[1].wordsAt), index(10));
    EXPECT_EQ(word(20, clauses(20)[1].wordsAt), index(40));
}

TEST_F(ResolveTest, ReferencesAmongThePartsAreResolved) {
    enter(
        {"10 READ #1, USING 100: A$ EOF 200", "100 FORM C 10", "200 END", "300 ON ERROR GOTO 200"});
    EXPECT_EQ(resolveProgram(f.program()), 0);
    const auto v = clauses(10)[0];
    const auto code = lineCode(f.program(), index(10));
    std::vector<int16_t> targets;
    for (size_t p = v.partsAt; p < v.endAt;) {
        uint8_t h;
        size_t w, next;
        int n;
        ASSERT_EQ(decodeItem(code, p, h, w, n, next), 0);
        if ((h & 0x3F) == kPartLine) targets.push_back(readLineRef(code.data() + w).index);
        if ((h & 0x3F) == kPartExit) targets.push_back(readLineRef(code.data() + w + 2).index);
        p = next;
    }
    EXPECT_EQ(targets, (std::vector<int16_t>{static_cast<int16_t>(index(100)),
                                             static_cast<int16_t>(index(200))}));
    EXPECT_EQ(readLineRef(bytes(300) + clauses(300)[0].wordsAt + 4).index, index(200));
}

TEST(ClauseDecoder, DamagedCodeIsRefusedWithoutReadingBeyondIt) {
    const std::vector<std::vector<uint8_t>> damaged = {
        {0x05, 0x00},        // five words announced, none there
        {0x00, 0xC0},        // a count byte missing
        {0x00, 0xC1, 0x00},  // a count of 0
        {0x00, 0x00},        // no statement after the terminator
        {0x00, 0x00, 0x18},  // no clause end
        {0x00, 0x6C, 0x01},  // GOTO without its reference words
        {0x00, 0x48},        // code 8 has no direct form
        {0x40},              // not a count byte
    };
    for (const auto& d : damaged) {
        ClauseView v;
        EXPECT_EQ(decodeClause(d, 0, v), kErrDamaged) << test::hex(d);
    }
}

TEST(Disassembler, NamesItemsAndStatements) {
    test::ProgramFixture f;
    CompiledLine out;
    ASSERT_EQ(f.compile("10 X = A + 1 \\ GOTO 10", out), 0);
    EXPECT_EQ(disassemble(out.code),
              "00: words 256 257 258\n07: OpAdd\n08: OpAssign\n09: end\n10: StLet\n"
              "11: end 0x40\n12: words\n13: StGoto direct -1 10 0\n20: line end\n");
}

}  // namespace
}  // namespace vxs
