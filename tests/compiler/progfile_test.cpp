// Program files at the byte level: the header, code area, 14-byte line table, dictionary images
// and offsets, source area; reading both table forms; and every refusal of a damaged file.
#include "vxs/compiler/progfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/compile_support.h"
#include "vxs/compiler/linetable.h"
#include "vxs/compiler/lister.h"

namespace vxs {
namespace {

using test::hex;

uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}

struct Loaded {
    pcb pc;
    Loaded() {
        EXPECT_TRUE(allocatePCBTables(pc, 1, 1));
        resetProgram(pc);
    }
    ~Loaded() { resetProgram(pc); }
    int read(const std::vector<uint8_t>& image, int mode = kLoadPlain, bool keepSource = true) {
        return readProgramImage(image, pc, mode, keepSource);
    }
    std::vector<std::string> listing() {
        std::vector<std::string> out;
        for (int i : linesInOrder(pc)) out.push_back(listLine(pc, i));
        return out;
    }
};

std::vector<uint8_t> imageOf(test::ProgramFixture& f, bool withoutSource = false) {
    std::vector<uint8_t> image;
    EXPECT_EQ(writeProgramImage(f.program(), withoutSource, image), 0);
    return image;
}

TEST(ProgramFile, EmptyProgramIsAHeaderAlone) {
    test::ProgramFixture f;
    const std::vector<uint8_t> image = imageOf(f);
    ASSERT_EQ(image.size(), 32u);
    EXPECT_EQ(hex(image), "00 00 00 00 00 00 00 00 0A 25 03 00 00 00 00 00 "
                          "00 00 00 00 20 00 00 00 00 00 00 00 FE FF 00 00");
    Loaded l;
    EXPECT_EQ(l.read(image), 0);
    EXPECT_EQ(l.pc.linecnt, 0);
    EXPECT_EQ(l.pc.firstline, kNoLines);
}

TEST(ProgramFile, OneLineLaidOutToTheByte) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 A=1"), 0);
    const std::vector<uint8_t> code = f.code(10);
    const std::vector<uint8_t> image = imageOf(f);
    const size_t n = code.size();
    // Header.
    EXPECT_EQ(u32(image, 0), 1 + n) << "code area: the length byte and the code";
    const std::string_view source = lineSource(f.program(), 0);
    EXPECT_EQ(u32(image, 4), 2 + source.size()) << "source area: the length word and the text";
    EXPECT_EQ(image[8], 0x0A);
    EXPECT_EQ(u16(image, 20), 32);
    EXPECT_EQ(u16(image, 24), 2) << "two slots: A and the literal 1";
    EXPECT_EQ(u16(image, 26), 1);
    EXPECT_EQ(u16(image, 28), 0) << "the first line is index 0";
    // Code area.
    EXPECT_EQ(image[32], n);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 33, image.begin() + 33 + static_cast<long>(n)), code);
    // Line table: number and flags, source offset, code offset, next.
    const size_t table = 32 + 1 + n;
    EXPECT_EQ(u32(image, table), 10u) << "flags: source not inside the code area";
    EXPECT_EQ(u32(image, table + 4), 2u);
    EXPECT_EQ(u32(image, table + 8), 1u);
    EXPECT_EQ(u16(image, table + 12), 0xFFFF);
    // Dictionary: "A" and its numeric image, then the literal's image holding 1.0.
    const size_t dict = table + 14;
    const uint32_t dictBytes = u32(image, 16);
    EXPECT_EQ(dictBytes, 1 + 12 + 12u);
    EXPECT_EQ(hex({image.begin() + static_cast<long>(dict), image.begin() + static_cast<long>(dict) + 13}),
              "41 00 01 08 08 00 00 00 00 00 00 00 00");
    double one;
    memcpy(&one, image.data() + dict + 13 + 4, 8);
    EXPECT_EQ(image[dict + 13 + 1], 0) << "a literal has no name";
    EXPECT_EQ(one, 1.0);
    const size_t offsets = dict + dictBytes;
    EXPECT_EQ(u32(image, offsets), 1u);
    EXPECT_EQ(u32(image, offsets + 4), 13u);
    // Source area.
    const size_t src = offsets + 8;
    EXPECT_EQ(u16(image, src), source.size());
    EXPECT_EQ(std::string(image.begin() + static_cast<long>(src) + 2, image.end()), source);
}

TEST(ProgramFile, StringsFunctionsAndArraysHaveTheirImages) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 DIM N(4,5), S$(3)*12, T$*40"), 0);
    ASSERT_EQ(f.enter("20 DEF FNA(X) = X * 2"), 0);
    ASSERT_EQ(f.enter("30 T$ = \"HI\""), 0);
    const std::vector<uint8_t> image = imageOf(f);
    Loaded l;
    ASSERT_EQ(l.read(image), 0);
    ASSERT_EQ(l.pc.dictcnt, f.program().dictcnt);
    for (int i = kFirstDictIndex; i < kFirstDictIndex + l.pc.dictcnt; ++i) {
        const de* a = dictEntry(f.program(), i);
        const de* b = dictEntry(l.pc, i);
        ASSERT_EQ(a == nullptr, b == nullptr);
        if (!a) continue;
        EXPECT_EQ(dictNameView(f.program(), i), dictNameView(l.pc, i));
        EXPECT_EQ(a->kind & ~DE_STORAGE, b->kind) << i;
        EXPECT_EQ(a->attr, b->attr) << i;
        EXPECT_EQ(a->dimlen, b->dimlen) << i;
        if (a->isLiteral() && a->isString()) {
            EXPECT_EQ(a->stringValue(), b->stringValue());
        }
        if (a->isLiteral() && !a->isString()) {
            EXPECT_EQ(a->number(), b->number());
        }
    }
    // Writing the loaded program again gives the same file.
    std::vector<uint8_t> again;
    ASSERT_EQ(writeProgramImage(l.pc, false, again), 0);
    EXPECT_EQ(again, image);
}

TEST(ProgramFile, SavedWithoutSourceListsNothingButKeepsTheCode) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 PRINT \"A\""), 0);
    ASSERT_EQ(f.enter("20 GOTO 10"), 0);
    const std::vector<uint8_t> image = imageOf(f, true);
    EXPECT_EQ(u32(image, 4), 0u);
    EXPECT_TRUE(image[11] & PF_NO_SOURCE);
    Loaded l;
    ASSERT_EQ(l.read(image), 0);
    EXPECT_EQ(l.listing(), std::vector<std::string>({"", ""}));
    EXPECT_EQ(hex({lineCode(l.pc, 1).begin(), lineCode(l.pc, 1).end()}), hex(f.code(20)));
}

TEST(ProgramFile, FourteenAndSixteenByteTablesLoadAlike) {
    test::ProgramFixture f;
    for (const char* line : {"30 END", "10 X = 1", "20 PRINT X"}) ASSERT_EQ(f.enter(line), 0);
    const std::vector<uint8_t> image = imageOf(f);
    const uint32_t code = u32(image, 0);
    const size_t table = 32 + code;
    std::vector<uint8_t> wide(image.begin(), image.begin() + static_cast<long>(table));
    for (int i = 0; i < 3; ++i) {
        const auto at = image.begin() + static_cast<long>(table + 14 * static_cast<size_t>(i));
        wide.insert(wide.end(), at, at + 14);
        wide.push_back(0);
        wide.push_back(0);
    }
    wide.insert(wide.end(), image.begin() + static_cast<long>(table + 42), image.end());
    Loaded a, b;
    ASSERT_EQ(a.read(image), 0);
    ASSERT_EQ(b.read(wide), 0);
    EXPECT_EQ(a.pc.ltblsize, 14);
    EXPECT_EQ(b.pc.ltblsize, 16);
    EXPECT_EQ(a.listing(), b.listing());
    EXPECT_EQ(a.listing(), std::vector<std::string>({"00010 X = 1", "00020 PRINT X", "00030 END"}));
}

TEST(ProgramFile, DamagedFilesAreRefusedAndLeaveTheBlockEmpty) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 X = 1"), 0);
    ASSERT_EQ(f.enter("20 PRINT X"), 0);
    const std::vector<uint8_t> good = imageOf(f);
    const size_t table = 32 + u32(good, 0);
    auto expect = [](std::vector<uint8_t> image, int error, const char* what) {
        Loaded l;
        EXPECT_EQ(l.read(image), error) << what;
        EXPECT_EQ(l.pc.linecnt, 0) << what;
        EXPECT_EQ(l.pc.dictcnt, 0) << what;
    };
    {
        std::vector<uint8_t> b = good;
        b.erase(b.begin() + static_cast<long>(table));  // one byte of the line table missing
        expect(b, kErrBadProgramFile, "truncated line table");
    }
    {
        std::vector<uint8_t> b = good;
        b[8] = 0x0B;
        expect(b, kErrNotProgramFile, "bad mark");
    }
    expect({good.begin(), good.begin() + 20}, kErrBadProgramFile, "cut inside the header");
    expect({'h', 'e', 'l', 'l', 'o'}, kErrNotProgramFile, "a text file");
    for (uint8_t version : {uint8_t{29}, uint8_t{38}}) {
        std::vector<uint8_t> b = good;
        b[9] = version;
        expect(b, kErrUnsupportedVersion, "version");
    }
    {
        std::vector<uint8_t> b = good;
        b[table + 12] = 0;  // the first line's next points at itself
        b[table + 13] = 0;
        expect(b, kErrBadProgramFile, "a cycle in the line chain");
    }
    {
        std::vector<uint8_t> b = good;
        b[table + 14 + 8] = 0xF0;  // the second line's code offset outside the code area
        expect(b, kErrBadProgramFile, "code offset");
    }
    {
        std::vector<uint8_t> b = good;
        const size_t offsets = table + 28 + u32(good, 16);
        b[offsets + 3] = 0x7F;  // a dictionary offset far outside the data
        expect(b, kErrBadProgramFile, "dictionary offset");
    }
    {
        std::vector<uint8_t> b = good;
        b[table] = 0;  // line number 0
        b[table + 1] = 0;
        expect(b, kErrBadProgramFile, "line number 0");
    }
    {
        std::vector<uint8_t> b = good;
        b[26] = 0;  // no lines, but a table is there
        b[27] = 0;
        expect(b, kErrBadProgramFile, "line count 0 with a table");
    }
    {
        std::vector<uint8_t> b = good;
        b[table + 14 + 8] = 1;  // the second line's code lies inside the first line's
        expect(b, kErrBadProgramFile, "overlapping code");
    }
    {  // an entry size other than 14 or 16 is a damaged file, not a consistency failure
        std::vector<uint8_t> b = good;
        b.insert(b.begin() + static_cast<long>(table), {0, 0, 0, 0, 0, 0});
        expect(b, kErrBadProgramFile, "17-byte entries");
    }
}

TEST(ProgramFile, AFunctionIsSavedWithItsDefLineAndMarksTheFileAsALibrary) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("30 DEF FNB(X) = X"), 0);  // line index 0
    ASSERT_EQ(f.enter("10 Y = FNA(1) + FNB(2)"), 0);
    ASSERT_EQ(f.enter("20 DEF FNA(X) = X * 2"), 0);  // line index 2, though second in order
    const std::vector<uint8_t> image = imageOf(f);
    EXPECT_EQ(image[11] & PF_LIBRARY, PF_LIBRARY);
    // Each function image: kind, name length, 0x0808, four zeros, the DEF line, two zeros.
    // The dictionary data come before the source area, so a name's first appearance is there.
    for (const char* name : {"FNA", "FNB"}) {
        const std::string_view n(name);
        auto at = std::search(image.begin(), image.end(), n.begin(), n.end());
        ASSERT_NE(at, image.end()) << name;
        const size_t p = static_cast<size_t>(at - image.begin()) + n.size();
        EXPECT_EQ(image[p] & 0xC0, 0x80) << name;
        EXPECT_EQ(image[p + 1], 3) << name;
        EXPECT_EQ(u16(image, p + 2), 0x0808) << name;
        EXPECT_EQ(u32(image, p + 4), 0u) << name;
        EXPECT_EQ(u16(image, p + 8), n == "FNA" ? 2 : 0) << name;
        EXPECT_EQ(u16(image, p + 10), 0) << name;
    }
    // A program without a DEF is no library; a function only called is saved with -1.
    test::ProgramFixture g;
    ASSERT_EQ(g.enter("10 Y = FNC(1)"), 0);
    const std::vector<uint8_t> plain = imageOf(g);
    EXPECT_EQ(plain[11] & PF_LIBRARY, 0);
    const std::string_view c("FNC");
    auto at = std::search(plain.begin(), plain.end(), c.begin(), c.end());
    ASSERT_NE(at, plain.end());
    EXPECT_EQ(u16(plain, static_cast<size_t>(at - plain.begin()) + 3 + 8), 0xFFFF);
}

TEST(ProgramFile, LibraryModesAndNonEmptyBlocks) {
    test::ProgramFixture f;
    ASSERT_EQ(f.enter("10 END"), 0);
    std::vector<uint8_t> image = imageOf(f);
    {
        Loaded l;
        EXPECT_EQ(l.read(image, kLoadLibrary), kErrNotLibrary);
    }
    image[11] |= PF_LIBRARY;
    image[15] = 2;  // option level 1
    {
        Loaded l;
        l.pc.loadflags |= LDF_NO_OPTION_LEVEL;
        EXPECT_EQ(l.read(image, kLoadLibrary), kErrOptionLevel);
    }
    {
        Loaded l;
        ASSERT_EQ(l.read(image, kLoadLibrary), 0);
        EXPECT_TRUE(l.pc.loadflags & LDF_LIBRARY);
        EXPECT_EQ(l.pc.optionlevel, 1);
        EXPECT_EQ(l.read(image), kErrNotEmpty) << "a block that holds a program";
        EXPECT_EQ(l.pc.linecnt, 1) << "is left as it was";
    }
}

}  // namespace
}  // namespace vxs
