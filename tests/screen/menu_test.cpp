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

// What a front end that draws the menu itself works with: the bar, each entry's list (a
// submenu's items in it, deeper), what can be chosen, the entries' letters, the texts shown;
// and what INPUT MENU reads back.
TEST(Menu, NavigationAndWhatIsReadBack) {
    MenuModel m;
    m.set(MenuPart::All,
          {{"&File", ".&Open", ".&Recent", "..&One", ".-", ".E&xit", "&Help", ".&About", "R&&D"},
           {"f", "o", "r", "1", "", "x", "h", "a", "d"},
           {"", "", "", "X", "", "G", "", "", ""}});
    EXPECT_EQ(m.barItems(), (std::vector<int>{1, 7, 9}));
    EXPECT_EQ(m.listOf(1), (std::vector<int>{2, 3, 4, 5, 6}));
    EXPECT_EQ(m.listOf(7), (std::vector<int>{8}));
    EXPECT_TRUE(m.listOf(9).empty());
    EXPECT_TRUE(m.listOf(2).empty()) << "item 2 is no entry of the bar";
    EXPECT_TRUE(m.choosable(2));
    EXPECT_FALSE(m.choosable(3)) << "a submenu's parent";
    EXPECT_TRUE(m.choosable(4));
    EXPECT_FALSE(m.choosable(5)) << "a separator";
    EXPECT_FALSE(m.choosable(6)) << "grayed";
    EXPECT_FALSE(m.choosable(1)) << "an entry of the bar opens its list";
    EXPECT_FALSE(m.choosable(10));
    EXPECT_EQ(m.barItemOfLetter('h'), 7);
    EXPECT_EQ(m.barItemOfLetter('F'), 1);
    EXPECT_EQ(m.barItemOfLetter('d'), 0) << "\"&&\" marks no letter";
    EXPECT_EQ(m.barItemOfLetter('o'), 0) << "only the bar's letters";
    EXPECT_EQ(MenuModel::shownText("E&xit"), "Exit");
    EXPECT_EQ(MenuModel::shownText("R&&D"), "R&D");
    EXPECT_EQ(m.part(MenuPart::Text),
              (std::vector<std::string>{"&File", ".&Open", ".&Recent", "..&One", ".-", ".E&xit",
                                        "&Help", ".&About", "R&&D"}));
    EXPECT_EQ(m.part(MenuPart::Status)[3], "X");
    EXPECT_EQ(m.part(MenuPart::Data)[8], "d");
}

}  // namespace
}  // namespace vxs
