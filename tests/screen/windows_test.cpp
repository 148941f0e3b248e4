// Windows opened as files: their place worked out from the OPEN keywords, the errors of bad
// geometry and parents, the screen actions that show them, and the text kept per window.
#include "vxs/screen/windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/errors/errors.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/engine.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

// Records the screen actions with their parameters.
class ActionRecorder : public test::NullFrontEnd {
  public:
    std::vector<ScreenRequest> actions;
    std::vector<std::string> texts;
    int32_t screenAction(const ScreenRequest& r) override {
        actions.push_back(r);
        texts.emplace_back(r.text);
        return 0;
    }
};

class WindowsTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        CleanStateTest::SetUp();
        attachFrontEnd(rec_);
        installWindowLayer();
        resetWindowTexts();
    }
    void TearDown() override {
        (void)closeFilesAtEnd(fb_, true);
        detachFrontEnd();
        CleanStateTest::TearDown();
    }
    int open(int n, std::string_view text, Ufcb*& u) {
        OpenRequest r;
        r.number = n;
        r.text = text;
        r.type = kFileDisplay;
        r.mode = kModeOutput;
        return openFile(fb_, r, u);
    }
    int open(int n, std::string_view text) {
        Ufcb* u = nullptr;
        return open(n, text, u);
    }
    FileBlocks fb_;
    ActionRecorder rec_;
};

TEST_F(WindowsTest, GeometryFromStartEndAndSize) {
    Ufcb* u = nullptr;
    ASSERT_EQ(open(1, "SROW=5,SCOL=10,EROW=14,ECOL=49,BORDER=S,CAPTION=Orders", u), 0);
    EXPECT_EQ(u->uftype, kFileWindow);
    EXPECT_EQ(u->place.row, 4);
    EXPECT_EQ(u->place.column, 9);
    EXPECT_EQ(u->place.rows, 10);
    EXPECT_EQ(u->place.columns, 40);
    EXPECT_EQ(u->ufreclen, 40);  // PRINT lines are as wide as the window
    ASSERT_FALSE(rec_.actions.empty());
    const ScreenRequest& a = rec_.actions.back();
    EXPECT_EQ(a.action, kScreenOpenWindow);
    EXPECT_EQ(a.window, 1);
    EXPECT_EQ(a.position, screenPosition(4, 9));
    EXPECT_EQ(a.c, 10 << 16 | 40 << 8 | kBorderSingle);
    EXPECT_EQ(rec_.texts.back(), "Orders");

    // A size with only the end: the start is counted back from it; a size alone starts at 1.
    ASSERT_EQ(open(2, "EROW=24,ROWS=4,ECOL=80,COLS=20", u), 0);
    EXPECT_EQ(u->place.row, 20);
    EXPECT_EQ(u->place.column, 60);
    ASSERT_EQ(open(3, "ROWS=3,COLS=7,N=/W:B", u), 0);
    EXPECT_EQ(u->place.row, 0);
    EXPECT_EQ(u->place.rows, 3);
    EXPECT_EQ(u->place.columns, 7);
    EXPECT_EQ(u->place.flags & (kFontFgWhite | kFontBgBlue), kFontFgWhite | kFontBgBlue);
}

TEST_F(WindowsTest, ChildWindowsLieInsideTheirParent) {
    Ufcb* parent = nullptr;
    Ufcb* child = nullptr;
    ASSERT_EQ(open(1, "SROW=3,SCOL=5,ROWS=10,COLS=30", parent), 0);
    // SROW=1,SCOL=1 is the parent's first cell.
    ASSERT_EQ(open(2, "SROW=1,SCOL=1,ROWS=2,COLS=5,PARENT=1", child), 0);
    EXPECT_EQ(child->place.row, 2);
    EXPECT_EQ(child->place.column, 4);
    EXPECT_EQ(child->place.parent, 1);
    ASSERT_EQ(open(4, "SROW=9,SCOL=26,ROWS=2,COLS=5,PARENT=#1", child), 0);
    EXPECT_EQ(child->place.row, 2 + 8);
    // One row too far down, or a column past the parent's edge: 630, and nothing stays open.
    EXPECT_EQ(open(5, "SROW=10,ROWS=2,PARENT=1"), kErrWindowGeometry);
    EXPECT_EQ(open(5, "SCOL=27,COLS=5,PARENT=1"), kErrWindowGeometry);
    EXPECT_EQ(fb_.find(5), nullptr);
    // The parent must be an open window.
    EXPECT_EQ(open(5, "ROWS=2,PARENT=7"), kErrNoParent);
    char dir[] = "/tmp/vxwindows-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string text = std::string("NAME=") + dir + "/plain.txt,REPLACE";
    ASSERT_EQ(open(8, text), 0);  // a display file is no parent
    EXPECT_EQ(open(5, "ROWS=2,PARENT=8"), kErrNoParent);
    (void)closeFilesAtEnd(fb_, true);
    std::filesystem::remove_all(dir);
}

TEST_F(WindowsTest, BadGeometryAndBorders) {
    EXPECT_EQ(open(1, "SROW=2,EROW=4,ROWS=3"), kErrWindowGeometry);  // all three given
    EXPECT_EQ(open(1, "SROW=20,EROW=25"), kErrWindowGeometry);       // past the screen
    EXPECT_EQ(open(1, "SROW=0"), kErrWindowGeometry);
    EXPECT_EQ(open(1, "SROW=5,EROW=4"), kErrWindowGeometry);
    EXPECT_EQ(open(1, "SROW=x"), kErrOpenSyntax);
    EXPECT_EQ(open(1, "SROW=99999999"), kErrOpenSyntax);
    EXPECT_EQ(open(1, "BORDER=Q"), kErrOpenSyntax);
    EXPECT_EQ(open(1, "N=^NOSUCH"), kErrUnknownAttribute);
    EXPECT_EQ(fb_.find(1), nullptr);
    EXPECT_EQ(open(1, "SROW=3T,EROW=4t,BORDER=d:R"), 0);  // the T suffix; a border's own look
    int kind = -1;
    EXPECT_EQ(parseBorder("double", kind), 0);
    EXPECT_EQ(kind, kBorderDouble);
    EXPECT_EQ(parseBorder(" b ", kind), 0);
    EXPECT_EQ(kind, kBorderBlank);
    EXPECT_EQ(parseBorder("S:^BAD", kind), kErrOpenSyntax);
}

TEST_F(WindowsTest, LinesTextAndClose) {
    Ufcb* u = nullptr;
    ASSERT_EQ(open(1, "SROW=2,SCOL=2,ROWS=2,COLS=6", u), 0);
    rec_.actions.clear();
    ASSERT_EQ(writeTextLine(*u, "first"), 0);
    ASSERT_EQ(writeTextLine(*u, "second line"), 0);
    ASSERT_EQ(writeTextLine(*u, "third"), 0);
    // Each line is shown and followed by its line feed.
    ASSERT_EQ(rec_.actions.size(), 6u);
    EXPECT_EQ(rec_.actions[0].action, kScreenWindowLine);
    EXPECT_EQ(rec_.actions[1].action, kScreenLineFeed);
    // Two rows: the line feed after the last line scrolled the others away, the cursor waits
    // on a blank bottom row.
    EXPECT_EQ(windowText(1, 0, 0, 6), "third ");
    EXPECT_EQ(windowText(1, 1, 0, 6), "      ");
    showWindowText(1, 0, 3, "XYZW", FontFlags{});
    EXPECT_EQ(windowText(1, 0, 0, 8), "thiXYZ  ");  // cut at the edge; nothing past it
    ASSERT_EQ(writeTextLine(*u, "second line"), 0);  // cut at the window's width
    EXPECT_EQ(windowText(1, 0, 0, 6), "second");
    ASSERT_EQ(writeTextLine(*u, "\fnew"), 0);        // a form feed blanks the window first
    EXPECT_EQ(windowText(1, 0, 0, 6), "new   ");
    EXPECT_EQ(windowText(1, 1, 0, 6), "      ");
    ASSERT_EQ(closeFile(fb_, u), 0);
    EXPECT_EQ(rec_.actions.back().action, kScreenCloseFile);
    EXPECT_EQ(rec_.actions.back().window, 1);
    EXPECT_EQ(windowText(1, 0, 0, 3), "   ");  // gone with the window

    // The console's text scrolls with its lines; a form feed blanks it.
    showWindowText(0, 23, 0, "bottom", FontFlags{});
    noteConsoleLine("next");
    EXPECT_EQ(windowText(0, 22, 0, 6), "bottom");
    EXPECT_EQ(windowText(0, 23, 0, 6), "next  ");
    noteConsoleLine("\f");
    EXPECT_EQ(windowText(0, 22, 0, 6), "      ");
}

TEST_F(WindowsTest, FieldWindowOfAFileNumber) {
    FieldWindow w;
    ASSERT_EQ(fieldWindow(fb_, 0, w), 0);
    EXPECT_EQ(w.rows, 24);
    EXPECT_EQ(w.columns, 80);
    ASSERT_EQ(open(3, "ROWS=4,COLS=12,N=/R:W"), 0);
    ASSERT_EQ(fieldWindow(fb_, 3, w), 0);
    EXPECT_EQ(w.rows, 4);
    EXPECT_EQ(w.columns, 12);
    EXPECT_NE(w.defaultAttr.flags & kFontFgRed, 0u);
    EXPECT_EQ(fieldWindow(fb_, 9, w), kErrFileNotOpen);
}

}  // namespace
}  // namespace vxs
