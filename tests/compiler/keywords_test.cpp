// Keyword lookup: abbreviations, ambiguity, whole-name mode and the first-letter index.
#include "vxs/compiler/keywords.h"

#include <gtest/gtest.h>

#include <string>

namespace vxs {
namespace {

std::string statementOf(const char* word) {
    const int p = statementKeywords().lookup(word);
    return p ? statementKeywords().name(p) : "";
}

TEST(Keywords, UniqueAbbreviationsAreFoundAndAmbiguousOnesAreNot) {
    EXPECT_EQ(statementOf("PR"), "PRINT");
    EXPECT_EQ(statementOf("PRINT"), "PRINT");
    EXPECT_EQ(statementOf("RE"), "") << "RELEASE, REM, REREAD ... all begin RE";
    EXPECT_EQ(statementOf("REA"), "READ");
    EXPECT_EQ(statementOf("REM"), "REM");
    EXPECT_EQ(statementOf("GO"), "") << "GOSUB and GOTO";
    EXPECT_EQ(statementOf("GOT"), "GOTO");
    EXPECT_EQ(statementOf("FOR"), "") << "FOR is also the start of FORM";
    EXPECT_EQ(statementOf("FORM"), "FORM");
    EXPECT_EQ(statementOf("PRINTS"), "") << "longer than the keyword";
    EXPECT_EQ(statementOf("print"), "") << "the compiler upper-cases first";
    EXPECT_EQ(statementOf("ZZZ"), "");
    EXPECT_EQ(statementOf(""), "");
    EXPECT_EQ(statementOf("1PRINT"), "");
}

TEST(Keywords, WordEndsAtABlankAndReportsItsLength) {
    int matched = 0;
    const int p = statementKeywords().lookup("PRI X", &matched);
    ASSERT_NE(p, 0);
    EXPECT_STREQ(statementKeywords().name(p), "PRINT");
    EXPECT_EQ(matched, 3);
}

TEST(Keywords, FunctionNamesNeedTheWholeName) {
    EXPECT_NE(numericFunctions().lookup("LEN"), 0);
    EXPECT_EQ(numericFunctions().lookup("LE"), 0);
    EXPECT_EQ(numericFunctions().code(numericFunctions().lookup("ROUND")), 98);
    EXPECT_EQ(stringFunctions().code(stringFunctions().lookup("STR$")), 48);
    EXPECT_EQ(stringFunctions().lookup("STR"), 0);
    EXPECT_EQ(stringFunctions().size(), 45);
    EXPECT_EQ(numericFunctions().size(), 71);
}

TEST(Keywords, TablesHoldTheirCounts) {
    EXPECT_EQ(statementKeywords().size(), 53);
    EXPECT_EQ(clauseKeywords().size(), 67);
    const KeywordTable& c = clauseKeywords();
    EXPECT_EQ(c.code(c.lookup("KEY=")), 48);
    EXPECT_EQ(c.code(c.lookup("KEY>=")), 49);
    EXPECT_EQ(c.lookup("KEY"), 0) << "KEY=, KEY>= and KEYED";
    EXPECT_EQ(c.code(c.lookup("THEN")), 108);
    EXPECT_STREQ(clauseKeywordName(0), "BASE");
    EXPECT_STREQ(clauseKeywordName(127), "EXIT");
    EXPECT_EQ(clauseKeywordName(200), nullptr);
}

TEST(Keywords, FirstLetterIndexPointsAtEachLettersFirstKeyword) {
    const auto& index = statementKeywords().firstLetterIndex();
    for (int letter = 0; letter < 26; ++letter) {
        const int p = index[static_cast<size_t>(letter)];
        if (p == 0) continue;
        EXPECT_EQ(statementKeywords().name(p)[0], 'A' + letter);
        if (p > 1) {
            EXPECT_NE(statementKeywords().name(p - 1)[0], 'A' + letter);
        }
    }
    EXPECT_EQ(index[0], 0) << "no statement keyword begins with A";
    EXPECT_EQ(index[26], 0);
    EXPECT_EQ(index[27], 0);
}

}  // namespace
}  // namespace vxs
