// Program control blocks and their dictionaries.
#include "vxs/compiler/pcb.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"
#include "vxs/errors/errors.h"
#include "vxs/interpreter/run.h"

namespace vxs {
namespace {

using ::testing::HasSubstr;

class PcbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::resetProcessState();
        ASSERT_EQ(createPCB(kDefaultLineCapacity, kDefaultDictCapacity, "TEST", &pc), 0);
    }
    void TearDown() override { test::resetProcessState(); }

    // Adds a named number variable through the pending list and commits it.
    int addName(const std::string& name) {
        PendingDict pending;
        int index = 0;
        EXPECT_EQ(pendingAdd(*pc, pending, name, newDictEntry(0), index), 0);
        pendingCommit(*pc, pending);
        return index;
    }
    pcb* pc = nullptr;
};

TEST_F(PcbTest, NewBlockIsEmptyWithConditionTargetsUnset) {
    EXPECT_EQ(pchain.curpcb, pc);
    EXPECT_EQ(pchain.pcbhead, pc);
    EXPECT_EQ(pc->firstline, kNoLines);
    EXPECT_EQ(pc->linecnt, 0);
    EXPECT_EQ(pc->dictcnt, 0);
    EXPECT_EQ(pc->linecap, kDefaultLineCapacity);
    EXPECT_EQ(pc->dictcap, kDefaultDictCapacity);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(pc->condtargets[i], i == 5 ? -3 : -2) << i;
    for (int16_t v : pc->condnumbered) EXPECT_EQ(v, -3);
    EXPECT_EQ(pc->condfurther, -3);
}

TEST_F(PcbTest, LaterBlocksGoSecondInTheChain) {
    pcb* second = nullptr;
    pcb* third = nullptr;
    ASSERT_EQ(createPCB(10, 10, "LIB1", &second), 0);
    ASSERT_EQ(createPCB(10, 10, "LIB2", &third), 0);
    EXPECT_EQ(pchain.pcbhead, pc);
    EXPECT_EQ(pc->next, third);
    EXPECT_EQ(third->next, second);
    EXPECT_EQ(pchain.curpcb, pc) << "the current program stays current";
    freePCB(third);
    EXPECT_EQ(pc->next, second);
}

TEST_F(PcbTest, NameLength511AcceptedAnd512IsAConsistencyFailure) {
    const std::string ok(511, 'N');
    pcb* block = nullptr;
    ASSERT_EQ(createPCB(10, 10, ok.c_str(), &block), 0);
    EXPECT_EQ(std::string(block->progname), ok);
    auto r = test::runInChild([] {
        const std::string tooLong(512, 'N');
        pcb* b = nullptr;
        (void)createPCB(10, 10, tooLong.c_str(), &b);
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("x < sizeof(pc -> progname)"));
}

TEST_F(PcbTest, DictionaryCapacityLimitAtCreation) {
    pcb* block = nullptr;
    ASSERT_EQ(createPCB(10, 32510, "BIG", &block), 0);
    EXPECT_EQ(block->dictcap, 32510);
    auto r = test::runInChild([] {
        pcb* b = nullptr;
        (void)createPCB(10, 32511, "TOOBIG", &b);
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("dictLimit < MAX_DICTIONARY_ELEMENTS"));
}

TEST(BaseName, ExtensionEndsAtTheLastDotUnlessADirectoryFollows) {
    EXPECT_EQ(baseNameLength("OLD.DIR\\PAY"), 11);
    EXPECT_EQ(baseNameLength("old.dir/pay"), 11);
    EXPECT_EQ(baseNameLength("PAY.OLD"), 3);
    EXPECT_EQ(baseNameLength("PAY"), 3);
    EXPECT_EQ(baseNameLength("A.B.C"), 3);
    EXPECT_EQ(baseNameLength(""), 0);
}

TEST_F(PcbTest, FirstNameGetsIndex256AndFreedSlotsAreReused) {
    EXPECT_EQ(addName("A"), 256);
    EXPECT_EQ(addName("B"), 257);
    EXPECT_EQ(addName("C"), 258);
    freeDictSlot(*pc, 257);
    EXPECT_EQ(dictEntry(*pc, 257), nullptr);
    EXPECT_EQ(findName(*pc, "B"), 0);
    EXPECT_EQ(addName("D"), 257) << "lowest free index is reused";
    EXPECT_EQ(addName("E"), 259);
    EXPECT_EQ(pc->dictcnt, 4);
}

TEST_F(PcbTest, FindNameIsExactAndCaseSensitive) {
    addName("PAY");
    const int idx = addName("PAY$");
    EXPECT_EQ(findName(*pc, "PAY$"), idx);
    EXPECT_EQ(findName(*pc, "PAY"), 256);
    EXPECT_EQ(findName(*pc, "pay"), 0);
    EXPECT_EQ(findName(*pc, "PA"), 0);
    EXPECT_EQ(dictName(*pc, idx), "PAY$");
}

TEST_F(PcbTest, SlotWithoutNameIsAConsistencyFailure) {
    PendingDict pending;
    int lit = 0;
    ASSERT_EQ(pendingAdd(*pc, pending, "", newNumberLiteral(10), lit), 0);
    pendingCommit(*pc, pending);
    auto r = test::runInChild([&] { (void)dictName(*pc, lit); });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("vxassertion (dictName) failed"));
}

TEST_F(PcbTest, LiteralsAreFoundByTypeAndValue) {
    PendingDict pending;
    int ten = 0, text = 0, textTen = 0;
    ASSERT_EQ(pendingAdd(*pc, pending, "", newNumberLiteral(10), ten), 0);
    ASSERT_EQ(pendingAdd(*pc, pending, "", newStringLiteral("AB"), text), 0);
    ASSERT_EQ(pendingAdd(*pc, pending, "", newStringLiteral("10"), textTen), 0);
    pendingCommit(*pc, pending);
    EXPECT_EQ(findNumberLiteral(*pc, 10.0), ten);
    EXPECT_EQ(findNumberLiteral(*pc, 10.0000001), 0) << "numbers compare their 8 bytes";
    EXPECT_EQ(findNumberLiteral(*pc, -0.0), 0);
    EXPECT_EQ(findStringLiteral(*pc, "AB"), text);
    EXPECT_EQ(findStringLiteral(*pc, "10"), textTen);
    EXPECT_EQ(findStringLiteral(*pc, "A"), 0);
    EXPECT_EQ(dictEntry(*pc, text)->stringValue(), "AB");
}

TEST_F(PcbTest, PendingAdditionsAreSharedWithinALineAndDiscardedOnRejection) {
    PendingDict pending;
    int x = 0, lit = 0;
    ASSERT_EQ(pendingAdd(*pc, pending, "X", newDictEntry(0), x), 0);
    ASSERT_EQ(pendingAdd(*pc, pending, "", newNumberLiteral(10), lit), 0);
    EXPECT_EQ(findNamePending(*pc, pending, "X"), x) << "second use in the line, same index";
    EXPECT_EQ(findNumberLiteralPending(*pc, pending, 10), lit);
    EXPECT_EQ(findStringLiteralPending(*pc, pending, "10"), 0);
    EXPECT_EQ(pc->dictcnt, 0) << "nothing stored before the line is accepted";
    pendingDiscard(pending);
    EXPECT_EQ(pc->dictcnt, 0);
    EXPECT_EQ(findName(*pc, "X"), 0);
    // The next line starts over at the same indexes.
    EXPECT_EQ(addName("Y"), 256);
}

TEST_F(PcbTest, PendingIndexesSkipPastEachOtherAndFreeSlots) {
    addName("A");
    addName("B");
    addName("C");
    freeDictSlot(*pc, 256);
    freeDictSlot(*pc, 258);
    PendingDict pending;
    int i1 = 0, i2 = 0, i3 = 0;
    ASSERT_EQ(pendingAdd(*pc, pending, "P", newDictEntry(0), i1), 0);
    ASSERT_EQ(pendingAdd(*pc, pending, "Q", newDictEntry(0), i2), 0);
    ASSERT_EQ(pendingAdd(*pc, pending, "R", newDictEntry(0), i3), 0);
    EXPECT_EQ(i1, 256);
    EXPECT_EQ(i2, 258);
    EXPECT_EQ(i3, 259);
    pendingCommit(*pc, pending);
    EXPECT_EQ(pc->dictcnt, 4);
    EXPECT_EQ(findName(*pc, "R"), 259);
}

TEST_F(PcbTest, DictionaryGrowsUpToItsLastIndexThen9000) {
    pcb* small = nullptr;
    ASSERT_EQ(createPCB(10, 1, "SMALL", &small), 0);
    int index = 0;
    for (int i = 0; i < MAX_DICTIONARY_ELEMENTS; ++i) {
        ASSERT_EQ(allocateDictIndex(*small, 0, index), 0) << i;
        storeDictEntry(*small, index, nullptr, newNumberLiteral(i));
    }
    EXPECT_EQ(index, kFirstDictIndex + MAX_DICTIONARY_ELEMENTS - 1);
    EXPECT_EQ(small->dictcap, MAX_DICTIONARY_ELEMENTS);
    EXPECT_EQ(dictEntry(*small, 300)->number(), 44.0) << "entries survive the growth";
    EXPECT_EQ(allocateDictIndex(*small, 0, index), kErrNoMemory);
    EXPECT_EQ(small->dictcnt, MAX_DICTIONARY_ELEMENTS);
}

TEST_F(PcbTest, GrowthSetsCapacityToIndexPlusOne) {
    pcb* small = nullptr;
    ASSERT_EQ(createPCB(10, 2, "SMALL", &small), 0);
    int index = 0;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(allocateDictIndex(*small, 0, index), 0);
        storeDictEntry(*small, index, nullptr, newNumberLiteral(i));
    }
    ASSERT_EQ(allocateDictIndex(*small, 0, index), 0);
    EXPECT_EQ(index, 258);
    EXPECT_EQ(small->dictcap, 259);
}

TEST_F(PcbTest, ResetEmptiesTheProgramAndReturns9000) {
    addName("A");
    pc->linecnt = 3;
    pc->firstline = 0;
    EXPECT_EQ(resetProgram(*pc), kErrNoMemory);
    EXPECT_EQ(pc->linecnt, 0);
    EXPECT_EQ(pc->dictcnt, 0);
    EXPECT_EQ(pc->firstline, kNoLines);
    EXPECT_EQ(findName(*pc, "A"), 0);
    EXPECT_GE(pc->linecap, 1);
    EXPECT_GE(pc->dictcap, 1);
    EXPECT_EQ(addName("B"), 256);
}

TEST(DictSizes, NameAndEntrySpaceInTheImage) {
    EXPECT_EQ(dictNameSpace(1), 4);
    EXPECT_EQ(dictNameSpace(3), 8);
    EXPECT_EQ(dictNameSpace(30), 32);
    DePtr number = newDictEntry(0);
    EXPECT_EQ(dictEntrySpace(*number), 56);
    DePtr text = newStringLiteral("ABC");
    EXPECT_EQ(dictEntrySpace(*text), 64);  // 58 + 3 rounded up to 4
    DePtr empty = newStringLiteral("");
    EXPECT_EQ(dictEntrySpace(*empty), 60);
}

TEST(LineTable, EntryPacksNumberAndFlags) {
    linetbl e{};
    e.setLineno(99999);
    e.setFlags(LF_SOURCE_IN_CODE | LF_NOT_EXECUTABLE);
    EXPECT_EQ(e.lineno(), 99999u);
    EXPECT_EQ(e.flags(), 0x82);
    EXPECT_EQ(e.numflags, 0x82000000u | 99999u);
    e.setLineno(10);
    EXPECT_EQ(e.flags(), 0x82) << "the number does not disturb the flags";
}

}  // namespace
}  // namespace vxs
