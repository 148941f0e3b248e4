// The error table: every number it holds has a text and advice, the lookups agree with the
// rows, every compile error has its positive number there, and numbers outside it have none.
#include "vxs/errors/errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "vxs/compiler/codes.h"

namespace vxs {
namespace {

TEST(ErrorTable, EveryRowHasItsTextAdviceAndConditionThroughTheLookups) {
    std::set<std::string> names;
    for (const ErrorInfo& e : errorTable()) {
        SCOPED_TRACE(e.number);
        EXPECT_GT(e.number, 0);
        EXPECT_TRUE(names.insert(e.name).second) << "each name once";
        EXPECT_STREQ(errorText(e.number), e.text);
        EXPECT_STREQ(errorAdvice(e.number), e.advice);
        EXPECT_EQ(errorCondition(e.number), e.condition);
        // What the status line, the help topics and docs/errors.md print: one line each, and
        // advice that says something of its own.
        EXPECT_GT(strlen(e.text), 5u);
        EXPECT_GT(strlen(e.advice), 20u);
        EXPECT_EQ(strchr(e.text, '\n'), nullptr);
        EXPECT_EQ(strchr(e.advice, '\n'), nullptr);
        EXPECT_NE(std::string(e.text), e.advice);
    }
    EXPECT_GT(errorTable().size(), 200u);
}

TEST(ErrorTable, NumbersOutsideTheTableHaveNoWordsAndFallToError) {
    for (int n : {0, -1, 7, 4153, 9998, 10006, 99999}) {
        EXPECT_STREQ(errorText(n), "") << n;
        EXPECT_STREQ(errorAdvice(n), "") << n;
        EXPECT_EQ(errorCondition(n), ErrorCondition::ERROR) << n;
    }
    EXPECT_STREQ(conditionName(ErrorCondition::EOF_), "EOF");
    EXPECT_STREQ(conditionName(ErrorCondition::PAGEOFLOW), "PAGEOFLOW");
}

TEST(ErrorTable, CompileErrorsAreShownAsNumbersOfTheTable) {
    for (int ce :
         {kCeString,        kCeArrayName,      kCeSyntax,     kCeAfterCommit, kCeKeywordMissing,
          kCeColon,         kCeColonAfterPart, kCeExpression, kCeNotAllowed,  kCeAfterString,
          kCeAfterRelation, kCeOperator,       kCeFunction,   kCeWorkArea,    kCeLineTooLong,
          kCeLineNumber,    kCeWords,          kCeActive,     kCeNoMemory,    kCeParen}) {
        EXPECT_STRNE(errorText(-ce), "") << -ce;
        EXPECT_STRNE(errorAdvice(-ce), "") << -ce;
    }
    // Numbers with a run-time meaning as well keep their names and say both.
    EXPECT_EQ(kErrUnrecognized, 1006);
    EXPECT_EQ(kErrStringOverflow, 4);
    EXPECT_NE(std::string(errorText(4)).find("250"), std::string::npos);
    EXPECT_NE(std::string(errorText(9997)).find("parenthes"), std::string::npos);
}

}  // namespace
}  // namespace vxs
