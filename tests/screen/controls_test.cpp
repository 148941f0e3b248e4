// The controls' model: outputs to lists and grids (headers, rows, appends, sorting, marks),
// refused outputs leaving a control as it was, what reads give for each selection, the keys of
// the character screen, radio groups, and the wire form of the texts.
#include "vxs/screen/controls.h"

#include <gtest/gtest.h>

#include "vxs/errors/errors.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/keyboard.h"

namespace vxs {
namespace {

constexpr ControlPlace kAt{0, 2, 1};

ControlOutput listOutput(ListOp op, int perRow, std::vector<std::string> values,
                         ControlKind kind = ControlKind::List) {
    ControlOutput o;
    o.place = kAt;
    o.kind = kind;
    o.height = 4;
    o.width = 30;
    o.op = static_cast<int>(op);
    o.perRow = perRow;
    o.values = std::move(values);
    return o;
}

std::vector<std::string> readOf(const ControlTable& t, ListOp op, ListSelect sel) {
    return t.read(kAt, ControlRead{static_cast<int>(op), static_cast<int>(sel)}).values;
}

// A list of customers and balances, with its headers.
ControlTable customers() {
    ControlTable t;
    EXPECT_EQ(
        t.output(listOutput(ListOp::Headers, 2, {"Name", "Balance", "12", "", "C 12", "N 8.2"})),
        0);
    EXPECT_EQ(t.output(listOutput(ListOp::Replace, 2,
                                  {"Smith", "12.50", "Jones", "7.00", "Brown", "100.00"})),
              0);
    return t;
}

TEST(Controls, HeadersRowsAppendsAndInsertsShapeTheList) {
    ControlTable t = customers();
    const Control* c = t.find(kAt);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->columnCount(), 2);
    EXPECT_EQ(c->widths[0], 12);
    EXPECT_EQ(c->widths[1], 10);  // no width given: the header's, at least 10
    EXPECT_TRUE(c->numeric[1]);
    EXPECT_EQ(c->current, 0);
    EXPECT_EQ(t.output(listOutput(ListOp::Append, 2, {"Adams", "1"})), 0);
    EXPECT_EQ(t.output(listOutput(ListOp::Insert, 2, {"First", "0"})), 0);  // before the current
    EXPECT_EQ(readOf(t, ListOp::Row, ListSelect::All),
              (std::vector<std::string>{"First", "0", "Smith", "12.50", "Jones", "7.00", "Brown",
                                        "100.00", "Adams", "1"}));
    EXPECT_EQ(readOf(t, ListOp::RowCnt, ListSelect::All), std::vector<std::string>{"5"});
    // Replacing the rows keeps the headers and forgets the marks.
    EXPECT_EQ(t.output(listOutput(ListOp::Replace, 2, {"Only", "3"})), 0);
    EXPECT_EQ(readOf(t, ListOp::Row, ListSelect::All), (std::vector<std::string>{"Only", "3"}));
    EXPECT_EQ(t.find(kAt)->headers[0], "Name");
}

TEST(Controls, RefusedOutputsLeaveTheControlAsItWas) {
    ControlTable t = customers();
    EXPECT_EQ(t.output(listOutput(ListOp::Replace, 2, {"Odd", "1", "Out"})), kErrArrayCounts);
    EXPECT_EQ(t.output(listOutput(ListOp::Replace, 3, {"a", "b", "c"})), kErrArrayCounts);
    EXPECT_EQ(t.output(listOutput(ListOp::Sort, 0, {"3"})), kErrBound);
    EXPECT_EQ(t.output(listOutput(ListOp::Sort, 0, {"0"})), kErrBound);
    EXPECT_EQ(t.output(listOutput(ListOp::RowSub, 0, {"4"})), kErrBound);
    EXPECT_EQ(t.output(listOutput(ListOp::Attr, 0, {"1"})), kErrArrayCounts);
    EXPECT_EQ(t.output(listOutput(ListOp::RowCnt, 0, {})), kErrFieldKind);
    EXPECT_EQ(readOf(t, ListOp::RowCnt, ListSelect::All), std::vector<std::string>{"3"});
    EXPECT_EQ(readOf(t, ListOp::Row, ListSelect::Cur),
              (std::vector<std::string>{"Smith", "12.50"}));
    // Without headers the first rows give the columns; a later row of another width is refused.
    ControlTable fresh;
    EXPECT_EQ(fresh.output(listOutput(ListOp::None, 0, {"x"})), kErrArrayCounts);
    EXPECT_EQ(fresh.find(kAt), nullptr);
}

TEST(Controls, SortingComparesNumbersAsNumbersAndCarriesMarksAndTheCurrentRow) {
    ControlTable t = customers();
    EXPECT_EQ(t.output(listOutput(ListOp::RowSub, 0, {"2"})), 0);  // Jones marked and current
    EXPECT_EQ(t.output(listOutput(ListOp::Sort, 0, {"-2"})), 0);   // by balance, descending
    EXPECT_EQ(readOf(t, ListOp::Row, ListSelect::All),
              (std::vector<std::string>{"Brown", "100.00", "Smith", "12.50", "Jones", "7.00"}));
    EXPECT_EQ(readOf(t, ListOp::RowSub, ListSelect::Sel), std::vector<std::string>{"3"});
    EXPECT_EQ(readOf(t, ListOp::RowSub, ListSelect::Cur), std::vector<std::string>{"3"});
    EXPECT_EQ(t.output(listOutput(ListOp::Sort, 0, {"1"})), 0);  // by name: texts as texts
    EXPECT_EQ(readOf(t, ListOp::Cell, ListSelect::All)[0], "Brown");
}

TEST(Controls, ASearchMovesTheListToTheFirstRowBeginningWithItsText) {
    ControlTable t = customers();
    ControlOutput search;
    search.place = kAt;
    search.op = kControlSearch;
    search.values = {" jo "};
    ASSERT_EQ(t.output(search), 0);
    EXPECT_EQ(t.find(kAt)->current, 1);  // Jones, whatever the case
    search.values = {"x"};
    ASSERT_EQ(t.output(search), 0);
    EXPECT_EQ(t.find(kAt)->current, 1);  // no row: it stays
    search.place = {5, 5, 5};            // no list there: nothing happens
    EXPECT_EQ(t.output(search), 0);
    EXPECT_EQ(t.find(search.place), nullptr);
}

TEST(Controls, KeysMoveMarkAndEndTheList) {
    ControlTable t = customers();
    Control& c = *t.find(kAt);
    ControlKeyState st;
    EXPECT_EQ(controlKey(t, c, keys::kDown, false, st), -1);
    EXPECT_EQ(controlKey(t, c, ' ', false, st), -1);
    EXPECT_EQ(controlKey(t, c, keys::kDown, false, st), -1);
    EXPECT_EQ(controlKey(t, c, ' ', false, st), -1);
    EXPECT_EQ(controlKey(t, c, keys::kDown, false, st), -1);  // already on the last row
    EXPECT_EQ(c.current, 2);
    EXPECT_EQ(readOf(t, ListOp::RowSub, ListSelect::Sel), (std::vector<std::string>{"2", "3"}));
    // One mark at most with SELONE.
    EXPECT_EQ(controlKey(t, c, keys::kHome, true, st), -1);
    EXPECT_EQ(controlKey(t, c, ' ', true, st), -1);
    EXPECT_EQ(readOf(t, ListOp::RowSub, ListSelect::Sel), std::vector<std::string>{"1"});
    EXPECT_EQ(controlKey(t, c, keys::kTab, false, st), 110);
    EXPECT_EQ(controlKey(t, c, keys::kBackTab, false, st), 111);
    EXPECT_EQ(controlKey(t, c, keys::kEscape, false, st), 99);
    EXPECT_EQ(controlKey(t, c, keys::functionKey(5), false, st), 5);
    EXPECT_EQ(controlKey(t, c, keys::kEnter, false, st), 0);
}

TEST(Controls, AGridCellTypedIntoIsAChangedRowAndEscapeDropsTheEdit) {
    ControlTable t;
    ASSERT_EQ(t.output(listOutput(ListOp::None, 2, {"Bolt", "10", "Nut", "20"}, ControlKind::Grid)),
              0);
    Control& c = *t.find(kAt);
    ControlKeyState st;
    for (int32_t key : {keys::kDown, keys::kRight, int32_t{'2'}, int32_t{'5'}, keys::kEnter})
        EXPECT_EQ(controlKey(t, c, key, false, st), -1);
    EXPECT_EQ(readOf(t, ListOp::Row, ListSelect::Chg), (std::vector<std::string>{"Nut", "25"}));
    EXPECT_EQ(readOf(t, ListOp::Sub, ListSelect::Cur), std::vector<std::string>{"4"});
    EXPECT_EQ(readOf(t, ListOp::Cell, ListSelect::Cur), std::vector<std::string>{"25"});
    for (int32_t key : {keys::kUp, int32_t{'x'}, keys::kEscape})
        EXPECT_EQ(controlKey(t, c, key, false, st), -1);
    EXPECT_EQ(readOf(t, ListOp::Row, ListSelect::All)[1], "10");
    EXPECT_EQ(readOf(t, ListOp::Row, ListSelect::Chg).size(), 2u);
}

TEST(Controls, ChecksAndRadioGroupsReadBackWithTheCaretWhenOn) {
    ControlTable t;
    ControlOutput check;
    check.place = {0, 5, 1};
    check.kind = ControlKind::Check;
    check.width = 10;
    check.values = {"^Send"};
    ASSERT_EQ(t.output(check), 0);
    EXPECT_EQ(t.read(check.place, {}).values, std::vector<std::string>{"^Send"});
    ControlKeyState st;
    EXPECT_EQ(controlKey(t, *t.find(check.place), ' ', false, st), -1);
    EXPECT_EQ(t.read(check.place, {}).values, std::vector<std::string>{"Send"});
    EXPECT_EQ(controlKey(t, *t.find(check.place), keys::kDown, false, st), 104);
    // Two groups of radios in one window: checking one unchecks only its own group's.
    const auto radio = [&](int row, int group, const char* text) {
        ControlOutput r;
        r.place = {0, row, 1};
        r.kind = ControlKind::Radio;
        r.width = 8;
        r.group = group;
        r.values = {text};
        EXPECT_EQ(t.output(r), 0);
        return r.place;
    };
    const ControlPlace a = radio(6, 1, "^A"), b = radio(7, 1, "B"), x = radio(8, 2, "^X");
    EXPECT_EQ(controlKey(t, *t.find(b), ' ', false, st), -1);
    EXPECT_EQ(t.read(a, {}).values[0], "A");
    EXPECT_EQ(t.read(b, {}).values[0], "^B");
    EXPECT_EQ(t.read(x, {}).values[0], "^X");
    // A button over a hot field keeps its key; the field's own text shows, not the control.
    ControlOutput button;
    button.place = {0, 9, 1};
    button.kind = ControlKind::Button;
    button.group = 5 * 256;
    button.values = {"Save"};
    ASSERT_EQ(t.output(button), 0);
    EXPECT_EQ(t.find(button.place)->group, 1280);
    EXPECT_EQ(t.read(button.place, {}).values, std::vector<std::string>{"Save"});
    EXPECT_TRUE(controlLines(*t.find(button.place), false).empty());
    // A picture keeps its name and bytes and shows its name on a character screen; it needs both.
    ControlOutput picture;
    picture.place = {0, 10, 1};
    picture.kind = ControlKind::Picture;
    picture.width = 12;
    picture.values = {"logo.png"};
    EXPECT_EQ(t.output(picture), kErrArrayCounts);
    picture.values.push_back("\x89PNG");
    ASSERT_EQ(t.output(picture), 0);
    EXPECT_EQ(controlLines(*t.find(picture.place), false)[0].text, "[logo.png]  ");
    // A window cleared takes its controls with it.
    t.dropWindow(0);
    EXPECT_TRUE(t.all().empty());
}

TEST(Controls, TheCharacterScreenShowsHeadersMarksAndTheCurrentRow) {
    ControlTable t = customers();
    ASSERT_EQ(t.output(listOutput(ListOp::RowSub, 0, {"2"})), 0);
    const std::vector<ControlLine> lines = controlLines(*t.find(kAt), true);
    ASSERT_EQ(lines.size(), 4u);  // the headers and three rows
    EXPECT_EQ(lines[0].text.substr(0, 21), " Name         Balance");
    EXPECT_TRUE(lines[0].look & kLookU);
    EXPECT_EQ(lines[2].text.substr(0, 24), "*Jones" + std::string(14, ' ') + "7.00");
    EXPECT_TRUE(lines[2].look & kLookR);
    EXPECT_FALSE(lines[1].look & kLookR);
    EXPECT_EQ(lines[2].row, kAt.row + 2);
}

TEST(Controls, TextsTravelInTheirWireFormAndDamagedBlocksAreRefused) {
    const std::vector<std::string> texts{"", "a", std::string("b\0c", 3)};
    const std::string block = encodeTexts(texts);
    EXPECT_EQ(block.size(), 4u + 3 * 4 + 0 + 1 + 3);
    std::vector<std::string> back{"kept"};
    ASSERT_TRUE(decodeTexts(block, back));
    EXPECT_EQ(back, texts);
    back = {"kept"};
    EXPECT_FALSE(decodeTexts(block.substr(0, block.size() - 1), back));   // cut short
    EXPECT_FALSE(decodeTexts(block + "x", back));                         // bytes after the end
    EXPECT_FALSE(decodeTexts(std::string("\xff\xff\xff\x7f", 4), back));  // a count too large
    EXPECT_FALSE(decodeTexts("", back));
    EXPECT_EQ(back, std::vector<std::string>{"kept"});
}

}  // namespace
}  // namespace vxs
