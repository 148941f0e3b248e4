// The help screen's lines: a topic's text wrapped for an 80-column screen.  (The screen itself
// is tested on a terminal: tests/terminal/help_test.sh.)
#include "vxs/screen/helpview.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace vxs {
namespace {

using ::testing::ElementsAre;

TEST(HelpScreenLines, ShortLinesStayAndLongOnesWrapAtABlankIndentedAsTheyBegan) {
    EXPECT_THAT(helpScreenLines("one\n\ntwo  \n", 80), ElementsAre("one", "", "two"));
    EXPECT_THAT(helpScreenLines("no line end", 80), ElementsAre("no line end"));
    EXPECT_TRUE(helpScreenLines("", 80).empty());
    EXPECT_THAT(helpScreenLines("aaa bbb ccc ddd", 8), ElementsAre("aaa bbb", "  ccc", "  ddd"));
    EXPECT_THAT(helpScreenLines("  - item text here", 10),
                ElementsAre("  - item", "    text", "    here"));
    // A word longer than the line is cut.
    EXPECT_THAT(helpScreenLines("abcdefghij", 4), ElementsAre("abcd", "  ef", "  gh", "  ij"));
    for (const std::string& l : helpScreenLines(std::string(1000, 'x') + " y", 80))
        EXPECT_LE(l.size(), 80u);
}

TEST(HelpScreenLines, ControlBytesAreBlanksAndOtherBytesQuestionMarks) {
    EXPECT_THAT(helpScreenLines("a\tb\x01"
                                "c\r\n\xC3\x97",
                                80),
                ElementsAre("a b c", "??"));
    EXPECT_THAT(helpScreenLines(std::string("nul\0byte", 8), 80), ElementsAre("nul byte"));
}

}  // namespace
}  // namespace vxs
