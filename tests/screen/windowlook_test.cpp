// The look keywords of a window's OPEN string: which font each part takes, the cell size and the
// tool bar's rows, and the values that are refused.
#include "vxs/screen/windowlook.h"

#include <gtest/gtest.h>

#include "vxs/errors/errors.h"

namespace vxs {
namespace {

TEST(WindowLook, CommonFontsFillThePartsThatGiveNone) {
    WindowLook w;
    ASSERT_EQ(parseWindowLook("FONT=Courier New,12,bold\nFONT.LABELS.NAME=Serif\n"
                              "FONT.BUTTONS.SIZE=9\n",
                              w),
              0);
    EXPECT_EQ(w.text, (LookFont{"Courier New", 12}));
    EXPECT_EQ(w.labels, (LookFont{"Serif", 12}));
    EXPECT_EQ(w.buttons, (LookFont{"Courier New", 9}));
    // A second item that is a style, not a number; later lines override earlier ones.
    ASSERT_EQ(parseWindowLook("FONT.TEXT=Mono,italic\nFONT.TEXT.SIZE=11\nFONT.NAME=Sans\n"
                              "FONT.TEXT= Serif \n",
                              w),
              0);
    EXPECT_EQ(w.text, (LookFont{"Serif", 11}));
    EXPECT_EQ(w.labels, (LookFont{"Sans", 0}));
    // FONT.TEXTS is no part: it is the common font's unknown suffix and changes nothing.
    ASSERT_EQ(parseWindowLook("FONT.TEXTS=Serif\n", w), 0);
    EXPECT_FALSE(w.text.given());
}

TEST(WindowLook, CellsRowsAndMaximizeAndTheValuesRefused) {
    WindowLook w;
    ASSERT_EQ(parseWindowLook("FONTSIZE=10x20\nBUTTONROWS=2\nMAXIMIZE\n", w), 0);
    EXPECT_EQ(w.cellWidth, 10);
    EXPECT_EQ(w.cellHeight, 20);
    EXPECT_EQ(w.buttonRows, 2);
    EXPECT_TRUE(w.maximize);
    EXPECT_FALSE(w.restore);
    // The cell's sides one at a time; the later keyword wins.
    ASSERT_EQ(parseWindowLook("CHAR.WIDTH=8\nFONTSIZE=10x20\nROW.HEIGHT=24\n", w), 0);
    EXPECT_EQ(w.cellWidth, 10);
    EXPECT_EQ(w.cellHeight, 24);
    ASSERT_EQ(parseWindowLook("CHAR.HEIGHT=16\n", w), 0);
    EXPECT_EQ(w.cellWidth, 0);
    EXPECT_EQ(w.cellHeight, 16);
    ASSERT_EQ(parseWindowLook("MAXIMIZE=\nNOMAXIMIZE=\n", w), 0);
    EXPECT_FALSE(w.maximize);
    EXPECT_TRUE(w.restore);
    w.buttonRows = 5;
    for (const char* bad :
         {"FONTSIZE=10\n", "FONTSIZE=3x20\n", "FONTSIZE=10x200\n", "FONTSIZE=ax20\n",
          "BUTTONROWS=0\n", "BUTTONROWS=10\n", "BUTTONROWS=two\n", "FONT.SIZE=3\n",
          "FONT.TEXT.SIZE=big\n", "FONT=Mono,100\n", "FONT.LABELS.SIZE=\n", "CHAR.WIDTH=65\n",
          "ROW.HEIGHT=5\n", "CHAR.HEIGHT=x\n"}) {
        EXPECT_EQ(parseWindowLook(bad, w), kErrOpenSyntax) << bad;
        EXPECT_EQ(w.buttonRows, 5) << "a refused look keeps nothing: " << bad;
    }
}

}  // namespace
}  // namespace vxs
