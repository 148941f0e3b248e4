// Clicks on a control drawn in characters: a click on one of a list's rows makes it the current
// one, one on a check box turns it, one beside the control leaves it for the statement to place;
// the click that moved field input to the control acts on it once, and one that chose nothing
// there is not taken again.
#include <gtest/gtest.h>

#include <deque>
#include <utility>

#include "tests/support/test_support.h"
#include "vxs/clientserver/common.h"
#include "vxs/screen/fieldedit.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/screenmodel.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

// A character screen whose keys come from a script: a click is the key with its cell.
class ClickingFrontEnd final : public test::NullFrontEnd {
  public:
    struct Key {
        int32_t code;
        int row = 0, column = 0;  // a click's cell on the screen
    };
    std::deque<Key> typed;

    int32_t pollKey() override {
        if (typed.empty()) return -1;
        const Key k = typed.front();
        typed.pop_front();
        if (k.code == keys::kMouseClick) noteMouseCell(k.row, k.column);
        return k.code;
    }
    int32_t readKey(int32_t) override { return pollKey(); }
    bool attention() override { return false; }
    int32_t screenAction(const ScreenRequest& r) override {
        if (r.action == kScreenMousePlace) return mousePlace(model_, r.window);
        bool handled = false;
        int row = 0, column = 0;
        return applyScreenRequest(model_, r, handled, row, column);
    }

  private:
    ScreenModel model_;
};

ControlOutput outputOf(ControlKind kind, int row, int height, ListOp op, int perRow,
                       std::vector<std::string> values) {
    ControlOutput o;
    o.place = ControlPlace{0, row, 1};
    o.kind = kind;
    o.height = height;
    o.width = 20;
    o.op = static_cast<int>(op);
    o.perRow = perRow;
    o.values = std::move(values);
    return o;
}

class ControlClickTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        CleanStateTest::SetUp();
        attachFrontEnd(fe);
        // A list of three names from console row 2 (its headers there, rows 3 to 5) and a check
        // box on row 8, both from column 1.
        ASSERT_EQ(fe.controlOutput(outputOf(ControlKind::List, 2, 5, ListOp::Headers, 1,
                                            {"Name", "10", "C 10"})),
                  0);
        ASSERT_EQ(fe.controlOutput(outputOf(ControlKind::List, 2, 5, ListOp::Replace, 1,
                                            {"Adams", "Baker", "Clark"})),
                  0);
        ASSERT_EQ(fe.controlOutput(outputOf(ControlKind::Check, 8, 1, ListOp::None, 0, {"Paid"})),
                  0);
    }
    void TearDown() override {
        detachFrontEnd();
        CleanStateTest::TearDown();
    }
    // Works the control at `row` and gives its exit code.
    int32_t work(int row) {
        int32_t status = -1, exitCode = -1;
        fe.controlEdit(ControlPlace{0, row, 1}, 0, false, status, exitCode);
        EXPECT_EQ(status, 0);
        return exitCode;
    }
    std::string currentName() {
        const ControlAnswer a = fe.controlRead(
            ControlPlace{0, 2, 1},
            ControlRead{static_cast<int>(ListOp::Row), static_cast<int>(ListSelect::Cur)});
        return a.values.empty() ? std::string() : a.values[0];
    }
    std::string check() {
        return fe.controlRead(ControlPlace{0, 8, 1}, ControlRead{}).values.at(0);
    }
    // A key read as the field editor reads it (before the statement moves to a control).
    void readByTheFieldEditor(ClickingFrontEnd::Key k) {
        fe.typed.push_back(k);
        ASSERT_EQ(keyboardRoutine(1, 0), k.code);
    }
    ClickingFrontEnd fe;
};

TEST_F(ControlClickTest, ClicksOnTheControlBeingWorkedActAndOnesBesideItLeaveIt) {
    fe.typed = {{keys::kMouseClick, 5, 3}, {keys::kEnter}};
    EXPECT_EQ(work(2), 0);
    EXPECT_EQ(currentName(), "Clark") << "the row clicked is the current one";
    fe.typed = {{keys::kMouseClick, 2, 3}, {keys::kEnter}};  // on the headers: nothing
    EXPECT_EQ(work(2), 0);
    EXPECT_EQ(currentName(), "Clark");
    fe.typed = {{keys::kMouseClick, 8, 2}, {keys::kEnter}};
    EXPECT_EQ(work(8), 0);
    EXPECT_EQ(check(), "^Paid") << "a click turns the check box as Space does";
    fe.typed = {{keys::kMouseClick, 12, 40}, {keys::kEnter}};
    EXPECT_EQ(work(8), kExitMouseField) << "a click beside the control leaves it";
    EXPECT_EQ(check(), "^Paid");
}

TEST_F(ControlClickTest, TheClickThatMovedInputHereActsOnceAndOnlyOnTheControl) {
    readByTheFieldEditor({keys::kMouseClick, 4, 5});
    fe.typed = {{keys::kEnter}};
    EXPECT_EQ(work(2), 0);
    EXPECT_EQ(currentName(), "Baker");
    // Claimed once: the next turn on the list does not take it again.
    fe.typed = {{keys::kDown}, {keys::kEnter}};
    EXPECT_EQ(work(2), 0);
    EXPECT_EQ(currentName(), "Clark");
    readByTheFieldEditor({keys::kMouseClick, 8, 1});
    fe.typed = {{keys::kEnter}};
    EXPECT_EQ(work(8), 0);
    EXPECT_EQ(check(), "^Paid");
    // A click that chose nothing (the statement works the control again): not taken as a click
    // beside it, which would leave the control again and again.
    readByTheFieldEditor({keys::kMouseClick, 15, 60});
    fe.typed = {{keys::kEnter}};
    EXPECT_EQ(work(8), 0);
    EXPECT_EQ(check(), "^Paid");
    // A key after the click: the click is no longer the one that moved input.
    readByTheFieldEditor({keys::kMouseClick, 8, 1});
    readByTheFieldEditor({'x'});
    fe.typed = {{keys::kEnter}};
    EXPECT_EQ(work(8), 0);
    EXPECT_EQ(check(), "^Paid");
}

}  // namespace
}  // namespace vxs
