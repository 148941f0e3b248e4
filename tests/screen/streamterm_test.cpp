// The stream front end's contract, through pipes standing in for stdin, stdout and stderr.
#include "vxs/screen/streamterm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/clientserver/common.h"
#include "vxs/screen/statline.h"
#include "vxs/control/entry.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

class StreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::resetProcessState();
        ASSERT_EQ(pipe(in_), 0);
        ASSERT_EQ(pipe(out_), 0);
        ASSERT_EQ(pipe(err_), 0);
        attachStreamTerminal(in_[0], out_[1], err_[1]);
    }
    void TearDown() override {
        detachStreamTerminal();
        for (int* p : {in_, out_, err_})
            for (int i = 0; i < 2; ++i)
                if (p[i] >= 0) close(p[i]);
        test::resetProcessState();
    }
    void type(const std::string& text) {
        ASSERT_EQ(write(in_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void endInput() {
        close(in_[1]);
        in_[1] = -1;
    }
    // Everything written to a pipe so far.
    static std::string collect(int (&p)[2]) {
        close(p[1]);
        p[1] = -1;
        std::string s;
        char buf[1024];
        ssize_t n;
        while ((n = read(p[0], buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
        return s;
    }
    int in_[2], out_[2], err_[2];
};

TEST_F(StreamTest, EachInputLineIsOneTypedLineThenEndOfInput) {
    type("first line\r\nsecond\n\nlast without break");
    endInput();
    std::string line;
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputLine);
    EXPECT_EQ(line, "first line");
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputLine);
    EXPECT_EQ(line, "second");
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputLine);
    EXPECT_EQ(line, "");
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputLine);
    EXPECT_EQ(line, "last without break");
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputEnded);
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputEnded);
}

TEST_F(StreamTest, LongerLineIsCutAndFlagged) {
    type(std::string(805, 'x') + "\nnext\n");
    endInput();
    std::string line;
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputTooLong);
    EXPECT_EQ(line.size(), 800u);
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputLine);
    EXPECT_EQ(line, "next") << "the rest of the long line is not taken as a new line";
}

TEST_F(StreamTest, AKeyWaitWithoutLimitTakesTheNextLineAsKeys) {
    type("ya\n\nleft over\nCOMMAND\n");
    endInput();
    // A timed wait answers at once: it never takes a line.
    EXPECT_EQ(keyboardRequest(2, 1), -1);
    EXPECT_EQ(keyboardRequest(2, 0), 'y');
    EXPECT_EQ(keyboardRequest(1, 0), 'a') << "the rest of the line waits as typed keys";
    EXPECT_EQ(keyboardRequest(2, 0), 13) << "an empty line is the Enter key";
    EXPECT_EQ(keyboardRequest(2, 0), 'l');
    // Keys the wait did not take are dropped when the next line is read at the prompt.
    std::string line;
    EXPECT_EQ(consoleInput(line, 800, kInputCommand), kInputLine);
    EXPECT_EQ(line, "COMMAND");
    EXPECT_EQ(keyboardRequest(2, 0), -1) << "end of input: no key will come";
}

TEST_F(StreamTest, KeyNamesInBracesAreThoseKeys) {
    type("Ab{tab}{F2}{{x}{Esc}{CTRL-C}{NOSUCH}{END}{f12}{\n");
    endInput();
    std::vector<int32_t> got;
    for (int32_t k; (k = keyboardRequest(2, 0)) >= 0 && got.size() < 40;) got.push_back(k);
    const std::vector<int32_t> want = {'A', 'b', 9, 0x0200, '{', 'x', '}', 0x6300, 3, '{', 'N',
                                       'O', 'S', 'U', 'C', 'H', '}', 0x7800, 0x0C00, '{'};
    EXPECT_EQ(got, want);
}

TEST_F(StreamTest, ConsoleLinesLoseTrailingBlanks) {
    consoleOutput("HELLO   ");
    consoleOutput("  indented");
    consoleOutput("");
    consoleOutput("   ");
    EXPECT_EQ(collect(out_), "HELLO\n  indented\n\n\n");
}

TEST_F(StreamTest, ZeroBytesAreTextBothWays) {
    type(std::string("X\0Y\0\n", 5));
    endInput();
    std::string line;
    EXPECT_EQ(consoleInput(line, 800, kInputStatement), kInputLine);
    EXPECT_EQ(line, std::string("X\0Y\0", 4));
    consoleOutput(std::string("A\0B  ", 5));
    consoleOutput(std::string("\0", 1));
    EXPECT_EQ(collect(out_), std::string("A\0B\n\0\n", 6));
}

TEST_F(StreamTest, PositionedTextIsOneLineWithItsPlace) {
    EXPECT_EQ(windowAction(0, kScreenWriteText, 4, 9, 0, 0, "Customer   "), 0);
    EXPECT_EQ(windowAction(3, kScreenWriteText, 0, 0, 0, 0, "a\tb\nc  "), 0);
    windowAction(7, kScreenWriteText, 1, 1, 0, 0, "secret", 0, kFontInvisible);
    windowAction(7, kScreenWriteText, 1, 2, 0, 0, "secret", kLookI);
    windowAction(7, kScreenWriteText, 2, 2, 0, 0, "   ");
    // A line printed to a window is an ordinary line; the other actions write nothing.
    windowAction(3, kScreenOpenWindow, 5, 5, 0, 0, "Caption", 3 << 16 | 10 << 8 | kBorderSingle);
    windowAction(3, kScreenWindowLine, 0, 0, 0, 0, "window line  ");
    windowAction(3, kScreenLineFeed);
    windowAction(3, kScreenClearWindow);
    windowAction(3, kScreenShowField, 0, 0, 0, 0, "editing", 1 << 16);
    windowAction(3, kScreenCloseFile);
    EXPECT_EQ(collect(out_),
              "#0 5,10: Customer\n#3 1,1: a b c\n#7 2,2:\n#7 2,3:\n#7 3,3:\nwindow line\n");
}

TEST_F(StreamTest, ErrorsGoToStderrWithTheirPosition) {
    statusShowError(1006, -1, 0);
    statusShowError(4, 20, 1);
    statusShowError(9002, 99999, 12);
    statusShowMessage("not written in this mode");
    EXPECT_EQ(collect(err_), "ERROR 1006\nERROR 4 at 00020:01\nERROR 9002 at 99999:12\n");
    EXPECT_EQ(collect(out_), "");
}

TEST_F(StreamTest, FatalMessageIsWrittenAndTheAnswerIsToStop) {
    auto r = test::runInChild([this] { fatalError("Something broke", 17, 0); });
    EXPECT_EQ(r.exitStatus, 17);
    EXPECT_THAT(collect(err_), ::testing::HasSubstr("Something broke\n"));
}

TEST_F(StreamTest, CanCloseFollowsTheActivity) {
    EXPECT_TRUE(streamCanClose());
    terminalSetCanClose(false);
    EXPECT_FALSE(streamCanClose());
    terminalSetCanClose(true);
    EXPECT_TRUE(streamCanClose());
}

TEST_F(StreamTest, MessagesOfTheWrongShapeAreRefused) {
    // A console line without its text, a status error with text in place of a number.
    EXPECT_NE(CallFunctionRemote(CONSOLEOUTPUT, ORIGIN, {rpInt(5)}), 0);
    EXPECT_NE(CallFunctionRemote(STATUSLINEERROR, ORIGIN, {rpText("x"), rpInt(0), rpInt(0)}), 0);
    EXPECT_NE(CallFunctionRemote(SCREENACTIONCALL, ORIGIN, {rpInt(0)}), 0);
    EXPECT_NE(CallFunctionRemote(CONSOLEINPUTCALL, ORIGIN, {rpInt(-1), rpInt(0)}), 0);
}

TEST_F(StreamTest, ScreenPositionsAbove250AreAConsistencyFailure) {
    EXPECT_EQ(screenAction(kScreenBeep, 250, 250), 0);
    auto r = test::runInChild([] { screenAction(241, 251, 1, 0, 0, "x"); });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, ::testing::HasSubstr("Bad posn for screen."));
}

}  // namespace
}  // namespace vxs
