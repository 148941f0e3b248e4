// The line table on its own: number order whatever the order of entry, replacement in place,
// deletion that moves the last entry into the hole, the byte counts, and the 32000-line limit.
#include "vxs/compiler/linetable.h"

#include <gtest/gtest.h>

#include "tests/support/compile_support.h"
#include "vxs/errors/errors.h"

namespace vxs {
namespace {

class LineTableTest : public ::testing::Test {
  protected:
    // A line whose code is three bytes tagged with its number (the table never reads code).
    int store(uint32_t number, std::string_view source = "src", bool executable = true) {
        const uint8_t code[] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                                0x7F};
        return storeLine(pc(), number, code, source, executable);
    }
    std::vector<uint32_t> numbers() {
        std::vector<uint32_t> out;
        for (int i : linesInOrder(pc()))
            out.push_back(pc().lineptr[static_cast<size_t>(i)].lineno());
        return out;
    }
    // The number tagged in a line's code, -1 when the line has none.
    int tag(int index) {
        const auto code = lineCode(pc(), index);
        return code.size() == 3 ? code[0] | code[1] << 8 : -1;
    }
    pcb& pc() { return f.program(); }
    test::ProgramFixture f;
};

TEST_F(LineTableTest, LinesAreChainedInNumberOrderAndMissesAreMinusOne) {
    EXPECT_EQ(findLine(pc(), 10), -1) << "an empty program";
    EXPECT_TRUE(linesInOrder(pc()).empty());
    for (uint32_t n : {30u, 10u, 40u, 20u}) ASSERT_EQ(store(n), 0);
    EXPECT_EQ(numbers(), (std::vector<uint32_t>{10, 20, 30, 40}));
    EXPECT_EQ(pc().firstline, 1) << "entries stay in order of entry";
    EXPECT_EQ(pc().lineptr[2].next, kEndOfChain);
    for (uint32_t miss : {5u, 15u, 35u, 50u}) EXPECT_EQ(findLine(pc(), miss), -1) << miss;
    for (int n : {10, 20, 30, 40}) EXPECT_EQ(tag(findLine(pc(), static_cast<uint32_t>(n))), n);
    EXPECT_TRUE(lineCode(pc(), -1).empty());
    EXPECT_TRUE(lineCode(pc(), 4).empty());
    EXPECT_TRUE(lineSource(pc(), 4).empty());
}

TEST_F(LineTableTest, ReplacingKeepsTheEntryAndCountsOnlyTheNewBytes) {
    ASSERT_EQ(store(10, "first"), 0);
    ASSERT_EQ(store(20), 0);
    pc().resolved = true;
    const int index = findLine(pc(), 10);
    const uint8_t longer[] = {1, 2, 3, 4, 0x7F};
    ASSERT_EQ(storeLine(pc(), 10, longer, "", false), 0);
    EXPECT_EQ(pc().linecnt, 2);
    EXPECT_EQ(findLine(pc(), 10), index);
    EXPECT_EQ(lineCode(pc(), index).size(), 5u);
    EXPECT_TRUE(lineSource(pc(), index).empty());
    EXPECT_EQ(pc().lineptr[static_cast<size_t>(index)].flags(),
              LF_SOURCE_IN_CODE | LF_NOT_EXECUTABLE);
    EXPECT_EQ(pc().codebytes, 5 + 3);
    EXPECT_EQ(pc().sourcebytes, 0 + 3);
    EXPECT_FALSE(pc().resolved) << "line references must be resolved again";
    EXPECT_EQ(numbers(), (std::vector<uint32_t>{10, 20}));
}

TEST_F(LineTableTest, DeletingMovesTheLastEntryIntoTheHole) {
    // Entries 0..3 hold lines 10, 20, 40, 30.
    for (uint32_t n : {10u, 20u, 40u, 30u}) ASSERT_EQ(store(n), 0);
    ASSERT_TRUE(deleteLine(pc(), 20));  // line 30 (the last entry, inside the chain) moves
    EXPECT_EQ(pc().linecnt, 3);
    EXPECT_EQ(numbers(), (std::vector<uint32_t>{10, 30, 40}));
    EXPECT_EQ(findLine(pc(), 30), 1);
    EXPECT_EQ(tag(1), 30) << "its code moved with it";
    EXPECT_EQ(pc().codebytes, 3 * 3);
    EXPECT_EQ(pc().sourcebytes, 3 * 3);

    ASSERT_EQ(store(5), 0);             // entry 3, now the first line
    ASSERT_TRUE(deleteLine(pc(), 10));  // the first line of the chain moves into entry 0
    EXPECT_EQ(pc().firstline, 0);
    EXPECT_EQ(numbers(), (std::vector<uint32_t>{5, 30, 40}));
    EXPECT_EQ(tag(0), 5);

    ASSERT_TRUE(deleteLine(pc(), 40));  // the last entry itself
    EXPECT_EQ(numbers(), (std::vector<uint32_t>{5, 30}));
    EXPECT_FALSE(deleteLine(pc(), 40));
    EXPECT_EQ(pc().linecnt, 2);
    ASSERT_TRUE(deleteLine(pc(), 5));
    ASSERT_TRUE(deleteLine(pc(), 30));
    EXPECT_EQ(pc().firstline, kNoLines);
    EXPECT_EQ(pc().codebytes, 0);
    EXPECT_EQ(pc().sourcebytes, 0);
}

TEST_F(LineTableTest, AFullTableRefusesANewLineWithoutATrace) {
    // Descending numbers keep each store at the head of the chain.
    for (uint32_t n = 40000; n > 8000; --n) ASSERT_EQ(store(n, ""), 0) << n;
    ASSERT_EQ(pc().linecnt, 32000);
    const size_t area = pc().codearea.size();
    const int32_t codebytes = pc().codebytes;
    EXPECT_EQ(store(1), kErrNoMemory);
    EXPECT_EQ(pc().linecnt, 32000);
    EXPECT_EQ(pc().codearea.size(), area);
    EXPECT_EQ(pc().codebytes, codebytes);
    EXPECT_EQ(findLine(pc(), 1), -1);
    EXPECT_EQ(store(40000, "again"), 0) << "a full table still takes a replacement";
}

}  // namespace
}  // namespace vxs
