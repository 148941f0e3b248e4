// The field editor over scripted keys: masks stepped over both ways and refused characters,
// insert and overwrite (and the Insert key's choice kept for later fields), the exits of edit
// and select mode with their second results, undo, paste, help on entry, the attention key.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "vxs/screen/fieldedit.h"

namespace vxs {
namespace {

class ScriptHost : public FieldEditorHost {
  public:
    explicit ScriptHost(std::vector<int32_t> keys) : keys_(keys.begin(), keys.end()) {}
    int32_t readKey() override {
        if (keys_.empty()) return -1;  // as a time-out: the script ran out
        const int32_t k = keys_.front();
        keys_.pop_front();
        return k;
    }
    void beep() override { ++beeps; }
    void showMode(std::string_view t) override { mode = t; }
    void showRowColumn(std::string_view t) override { rowColumn = t; }
    bool showHelp(std::string_view t) override {
        helps.emplace_back(t);
        return helpEnds;
    }
    std::string& clipboard() override { return clip; }
    int mousePosition(const EditField&) override { return click; }

    int beeps = 0;
    int click = -1;  // what a click answers
    std::string mode, rowColumn, clip;
    std::vector<std::string> helps;
    bool helpEnds = false;

  private:
    std::deque<int32_t> keys_;
};

std::vector<int32_t> typed(const std::string& text, std::vector<int32_t> after = {}) {
    std::vector<int32_t> keys(text.begin(), text.end());
    keys.insert(keys.end(), after.begin(), after.end());
    return keys;
}

EditField plain(int length) {
    EditField f;
    f.text.assign(static_cast<size_t>(length), ' ');
    return f;
}

class FieldEditTest : public ::testing::Test {
  protected:
    void SetUp() override { resetFieldEditor(); }
    void TearDown() override { resetFieldEditor(); }
    FieldEditSettings settings;
};

TEST_F(FieldEditTest, FmtMasksStepOverLiteralsAndRefuseWrongCharacters) {
    EditField f = plain(8);
    f.maskKind = EditField::Mask::kFmt;
    f.mask = "99/99/99";
    ScriptHost host(typed("a120525", {13}));
    const EditResult r = editField(f, false, host, settings);
    EXPECT_EQ(f.text, "12/05/25");
    EXPECT_EQ(host.beeps, 1) << "a letter in a digit position";
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(host.mode, "OVER") << "a masked field is always overwritten";

    // Moving left steps over the literal the other way; classes convert case.
    EditField g = plain(5);
    g.maskKind = EditField::Mask::kFmt;
    g.mask = "AA-xY";
    ScriptHost back(typed("ab", {14, 'z', 0x7800, 13}));
    editField(g, false, back, settings);
    EXPECT_EQ(g.text.substr(0, 3), "AZ-") << "left over '-' lands on the second letter";
    EditField y = plain(1);
    y.maskKind = EditField::Mask::kFmt;
    y.mask = "Y";
    ScriptHost yes(typed("qn", {13}));
    editField(y, false, yes, settings);
    EXPECT_EQ(y.text, "N");
    EXPECT_EQ(yes.beeps, 1);
}

TEST_F(FieldEditTest, PicMasksTakeDigitsAndShowTheirLiterals) {
    EditField f = plain(6);
    f.maskKind = EditField::Mask::kPic;
    f.mask = "##D###";
    ScriptHost host(typed("12345", {13}));
    editField(f, false, host, settings);
    EXPECT_EQ(f.text, "12-345");
}

TEST_F(FieldEditTest, AdvanceFieldsEndWhenFullAndKeysAtTheEdges) {
    EditField f = plain(3);
    f.advance = true;
    settings.insertSetting = 1;  // overwrite
    ScriptHost host(typed("abc"));
    EXPECT_EQ(editField(f, false, host, settings).exitCode, 107);
    f.chgexit = true;
    f.cursor = 0;
    ScriptHost again(typed("xyz"));
    EXPECT_EQ(editField(f, false, again, settings).exitCode, 0);

    EditField g = plain(4);
    ScriptHost edges({8, 14});
    EXPECT_EQ(editField(g, false, edges, settings).exitCode, 103)
        << "backspace at the start does nothing; left there ends the field";
    EditField h = plain(2);
    h.text = "ab";
    h.cursor = 2;
    ScriptHost right({12});
    EXPECT_EQ(editField(h, false, right, settings).exitCode, 116);
    settings.rightArrowDown = true;
    h.cursor = 2;
    ScriptHost down({12});
    EXPECT_EQ(editField(h, false, down, settings).exitCode, 104);
}

TEST_F(FieldEditTest, InsertModeFollowsTheSettingsAndTheInsertKey) {
    EditField f = plain(6);
    f.text = "abc   ";
    settings.insertSetting = 2;
    ScriptHost host(typed("X", {13}));
    editField(f, false, host, settings);
    EXPECT_EQ(f.text, "Xabc  ");
    EXPECT_EQ(host.mode, "INSERT");
    // A full field takes no more in insert mode.
    EditField full = plain(3);
    full.text = "abc";
    ScriptHost refused(typed("Z", {13}));
    editField(full, false, refused, settings);
    EXPECT_EQ(full.text, "abc");
    EXPECT_EQ(refused.beeps, 1);
    // MIN_LENGTH: short fields overwrite; the Insert key's choice stays for that kind.
    settings.insertSetting = 3;
    settings.insertMinLength = 5;
    EditField shortField = plain(3);
    shortField.text = "abc";
    ScriptHost over(typed("Z", {17, 13}));
    editField(shortField, false, over, settings);
    EXPECT_EQ(shortField.text, "Zbc");
    EXPECT_EQ(over.mode, "INSERT");
    EditField next = plain(3);
    next.text = "ab ";
    ScriptHost kept(typed("Q", {13}));
    editField(next, false, kept, settings);
    EXPECT_EQ(next.text, "Qab") << "the choice made on a short field holds for short fields";
    // Not defined: insert unless DATAHILITE is off.
    settings.insertSetting = 0;
    settings.dataHiliteOff = true;
    resetFieldEditor();
    EditField off = plain(6);
    ScriptHost o({13});
    editField(off, false, o, settings);
    EXPECT_EQ(o.mode, "OVER");
}

TEST_F(FieldEditTest, ExitsAndSecondResults) {
    struct Case {
        std::vector<int32_t> keys;
        int exit, second;
    } cases[] = {
        {{2}, 90, 90},           {{6}, 91, 91},         {{7}, 111, 111},
        {{9}, 110, 110},         {{10}, 104, 104},      {{11}, 102, 102},
        {{18}, 105, 105},        {{20}, 106, 106},      {{25}, 100, 100},
        {{0x6300}, 99, 99},      {{0x8900}, 90, 90},    {{0x8A00}, 91, 91},
        {{0xB000}, 200, 200},    {{0xB100}, 201, 0},    {{0x0500}, 5, 5},
        {{0x0C00}, 12, 12},      {{21}, 104, 114},      {{}, 101, 101},
        {{27, 0x7C00}, 124, 124},
    };
    for (const Case& c : cases) {
        EditField f = plain(4);
        ScriptHost host(c.keys);
        const EditResult r = editField(f, false, host, settings);
        EXPECT_EQ(r.exitCode, c.exit) << c.keys.size();
        EXPECT_EQ(r.second, c.second) << c.exit;
    }
    EditField f = plain(4);
    f.text = "12  ";
    f.cursor = 1;
    ScriptHost minus({15});
    const EditResult r = editField(f, false, minus, settings);
    EXPECT_EQ(f.text, "1   ") << "field minus clears from the cursor";
    EXPECT_EQ(r.second, 115);
    EXPECT_TRUE(r.negative);
    settings.numpadSigns = true;
    EditField g = plain(2);
    ScriptHost signs({15, 21, 13});
    editField(g, false, signs, settings);
    EXPECT_EQ(g.text, "-+");
}

TEST_F(FieldEditTest, UndoPasteCutAndMarkedRanges) {
    EditField f = plain(5);
    f.text = "hello";
    settings.insertSetting = 1;
    ScriptHost host(typed("xy", {26, 13}));
    editField(f, false, host, settings);
    EXPECT_EQ(f.text, "hello");
    EXPECT_EQ(f.cursor, 0);

    EditField p = plain(5);
    ScriptHost paste({22});
    paste.clip = "a\r\nb";
    EXPECT_EQ(editField(p, false, paste, settings).exitCode, 132);
    EditField one = plain(5);
    ScriptHost single({22, 13});
    single.clip = "abc\r\n";
    editField(one, false, single, settings);
    EXPECT_EQ(one.text, "abc  ");

    EditField m = plain(6);
    m.text = "abcdef";
    m.markStart = 1;
    m.markEnd = 3;
    ScriptHost cut({24, 13});
    editField(m, false, cut, settings);
    EXPECT_EQ(cut.clip, "bc");
    EXPECT_EQ(m.text, "adef  ");
    EditField typedOver = plain(6);
    typedOver.text = "abcdef";
    typedOver.markStart = 0;
    typedOver.markEnd = 6;
    ScriptHost replace(typed("Z", {13}));
    editField(typedOver, false, replace, settings);
    EXPECT_EQ(typedOver.text, "Z     ");
    // A cursor key takes the mark off: Backspace then deletes one character, not the range.
    EditField moved = plain(6);
    moved.text = "abcdef";
    moved.markStart = 0;
    moved.markEnd = 6;
    ScriptHost keys({0x7800, 8, 'x', 13});
    editField(moved, false, keys, settings);
    EXPECT_EQ(moved.text, "abcdex");
}

TEST_F(FieldEditTest, SelectModeEndsOnCursorKeysAndCharacters) {
    struct Case {
        int32_t key;
        int exit;
    } cases[] = {{0x7700, 119}, {0x7800, 120}, {0xA000, 160}, {0xA300, 163}, {'a', 'a' + 256},
                 {3, 259},      {24, 280},     {8, 108},      {10, 106},     {11, 105},
                 {12, 109},     {14, 108},     {13, 0},       {0x7500, 109}};
    for (const Case& c : cases) {
        EditField f = plain(4);
        f.text = "text";
        ScriptHost host({' ', c.key});
        EXPECT_EQ(editField(f, true, host, settings).exitCode, c.exit) << c.key;
        EXPECT_EQ(f.text, "text");
    }
}

TEST_F(FieldEditTest, HelpOnEntryTheAttentionKeyAndRowColumn) {
    EditField f = plain(4);
    f.help = "2Enter the customer";
    settings.userLevel = '3';
    ScriptHost host({13});
    editField(f, false, host, settings);
    ASSERT_EQ(host.helps.size(), 1u);
    EXPECT_EQ(host.helps[0], "Enter the customer");
    ScriptHost ends({});
    ends.helpEnds = true;
    EXPECT_EQ(editField(f, false, ends, settings).exitCode, 0);
    settings.userLevel = '1';
    ScriptHost quiet({13});
    editField(f, false, quiet, settings);
    EXPECT_TRUE(quiet.helps.empty()) << "a help of level 2 is above user level 1";

    EditField g = plain(4);
    g.row = 3;
    g.column = 10;
    ScriptHost att(typed("ab", {1}));
    const EditResult r = editField(g, false, att, settings);
    EXPECT_TRUE(r.attention);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(att.rowColumn, " 3:12");
}

// A click moves the cursor within the field (not past its end), does nothing where it chose
// nothing, and ends the field with no key's exit when it chose another field.
TEST_F(FieldEditTest, ClicksMoveTheCursorOrLeaveForAnotherField) {
    EditField f = plain(6);
    ScriptHost host(typed("ab", {0xB600, 'X', 13}));
    host.click = 4;
    editField(f, false, host, settings);
    EXPECT_EQ(f.text, "ab  X ");
    EditField g = plain(3);
    ScriptHost far(typed("ab", {0xB600, 'X', 13}));
    far.click = 9;
    editField(g, false, far, settings);
    EXPECT_EQ(g.text, "abX") << "a place past the field leaves the cursor";
    EditField h = plain(3);
    ScriptHost nothing(typed("ab", {0xB600, 'X', 13}));
    editField(h, false, nothing, settings);
    EXPECT_EQ(h.text, "abX");
    EditField k = plain(3);
    ScriptHost other(typed("ab", {0xB600, 'X'}));
    other.click = kMouseOtherField;
    const EditResult r = editField(k, false, other, settings);
    EXPECT_EQ(r.exitCode, kExitMouseField);
    EXPECT_EQ(k.text, "ab ") << "the keys after the click belong to the other field";
    EditField s = plain(3);
    ScriptHost select({0xB600});
    select.click = kMouseOtherField;
    EXPECT_EQ(editField(s, true, select, settings).exitCode, kExitMouseField);
    // Highlighted data: a click places the cursor, and the next key edits there instead of
    // replacing the whole text.
    EditField m = plain(6);
    m.text = "abcd  ";
    m.markStart = 0;
    m.markEnd = 6;
    ScriptHost placed({0xB600, 'X', 13});
    placed.click = 2;
    editField(m, false, placed, settings);
    EXPECT_EQ(m.text, "abXcd ");
}

}  // namespace
}  // namespace vxs
