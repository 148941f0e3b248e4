// MSGBOX's button sets and icons as programs name them, and the answers typed on the console.
#include "vxs/screen/msgbox.h"

#include <gtest/gtest.h>

namespace vxs {
namespace {

TEST(MessageBox, SetsAndIconsByTheirNamesInAnyCaseAndUnknownOnesRefused) {
    BoxButtons set = BoxButtons::YesNo;
    EXPECT_TRUE(boxButtonsOf("", set));
    EXPECT_EQ(set, BoxButtons::Ok);
    EXPECT_TRUE(boxButtonsOf(" ync ", set));
    EXPECT_EQ(set, BoxButtons::YesNoCancel);
    EXPECT_TRUE(boxButtonsOf("ARI", set));
    EXPECT_EQ(set, BoxButtons::AbortRetryIgnore);
    for (const char* bad : {"Y", "OKCANCEL", "YESNO", "?"})
        EXPECT_FALSE(boxButtonsOf(bad, set)) << bad;
    BoxIcon icon = BoxIcon::Error;
    EXPECT_TRUE(boxIconOf("", icon));
    EXPECT_EQ(icon, BoxIcon::None);
    EXPECT_TRUE(boxIconOf("?", icon));
    EXPECT_EQ(icon, BoxIcon::Question);
    EXPECT_TRUE(boxIconOf("x", icon));
    EXPECT_EQ(icon, BoxIcon::Error);
    EXPECT_FALSE(boxIconOf("STOP", icon));
}

TEST(MessageBox, AnswersNameButtonsByTheirFirstLetterAndEscapeIsCancelWhereThereIsOne) {
    EXPECT_EQ(boxAnswer(BoxButtons::YesNoCancel, "no thanks"), kBoxNo);
    EXPECT_EQ(boxAnswer(BoxButtons::YesNoCancel, "  c"), kBoxCancel);
    EXPECT_EQ(boxAnswer(BoxButtons::YesNoCancel, ""), kBoxYes) << "an empty line is the default";
    EXPECT_EQ(boxAnswer(BoxButtons::YesNo, "maybe"), 0) << "a letter of no button names none";
    EXPECT_EQ(boxAnswer(BoxButtons::AbortRetryIgnore, "i"), kBoxIgnore);
    EXPECT_EQ(boxEscape(BoxButtons::OkCancel), kBoxCancel);
    EXPECT_EQ(boxEscape(BoxButtons::RetryCancel), kBoxCancel);
    EXPECT_EQ(boxEscape(BoxButtons::Ok), kBoxOk);
    EXPECT_EQ(boxEscape(BoxButtons::YesNo), 0) << "a Yes/No box cannot be closed without an answer";
    EXPECT_EQ(boxChoices(BoxButtons::YesNoCancel), "[Y]es  [N]o  [C]ancel");
    EXPECT_EQ(boxChoices(BoxButtons::Ok), "[O]K");
}

}  // namespace
}  // namespace vxs
