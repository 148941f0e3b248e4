// The menu bar's model: items and their depths from the program's texts, parts changed alone,
// and the item chosen.
#include "vxs/screen/menu.h"

#include <gtest/gtest.h>

namespace vxs {
namespace {

TEST(Menu, TextsGiveDepthsSeparatorsAndStatusesAndPartsChangeAlone) {
    MenuModel m;
    m.set(MenuPart::All,
          {{"&File", ".&Open", ".-", "..Deep", "&Help"}, {"f", "o"}, {"", "X", "", "G"}});
    ASSERT_EQ(m.items().size(), 5u);
    EXPECT_EQ(m.items()[1].text, "&Open");
    EXPECT_EQ(m.items()[1].depth, 1);
    EXPECT_EQ(m.items()[3].depth, 2);
    EXPECT_TRUE(m.items()[2].separator());
    EXPECT_TRUE(m.items()[1].checked());
    EXPECT_TRUE(m.items()[3].grayed());
    EXPECT_EQ(m.items()[1].data, "o");
    EXPECT_EQ(m.items()[4].data, "");  // a shorter list leaves the rest empty
    m.choose(2);
    EXPECT_EQ(m.selected(), 2);
    m.choose(6);  // no such item
    EXPECT_EQ(m.selected(), 0);
    m.set(MenuPart::Status, {{"", ""}});
    EXPECT_FALSE(m.items()[1].checked());
    EXPECT_TRUE(m.items()[3].grayed());  // beyond the list: unchanged
    m.set(MenuPart::Text, {{"..Files"}});
    EXPECT_EQ(m.items()[0].text, "Files");
    EXPECT_EQ(m.items()[0].depth, 0);  // a text changes the words, not the place
    EXPECT_EQ(m.item(7), nullptr);
    m.set(MenuPart::All, {});
    EXPECT_TRUE(m.items().empty());
}

}  // namespace
}  // namespace vxs
