// The front-end interface seen from the interpreter side: texts with every byte kept on each
// road, the keyboard routine with its ring and key announcements, and the waiting helpers
// pumping the attached front end.
#include "vxs/screen/frontend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/clientserver/common.h"
#include "vxs/screen/statline.h"
#include "vxs/base/process.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;

// A front end that answers from a script and records what reaches it.
class ScriptedFrontEnd final : public test::NullFrontEnd {
  public:
    std::deque<int32_t> typed;  // keys, announced at the next poll
    int pollKeyCalls = 0;
    std::vector<int32_t> readKeyLimits;
    int dispatches = 0, idleRounds = 0, idleWanted = 0;
    std::string lineToType;
    std::string preset;
    bool selected = false;
    std::vector<std::string> written, statusTexts, screenTexts;
    std::vector<int32_t> screenActions;

    void dispatchPending() override { ++dispatches; }
    bool processIdle() override {
        ++idleRounds;
        return idleWanted-- > 0;
    }
    void pollEvents() override {
        if (!typed.empty()) keysQueued();
    }
    int32_t pollKey() override {
        ++pollKeyCalls;
        if (typed.empty()) return -1;
        const int32_t key = typed.front();
        typed.pop_front();
        return key;
    }
    int32_t readKey(int32_t seconds) override {
        readKeyLimits.push_back(seconds);
        return pollKey();
    }
    bool attention() override { return false; }
    int32_t readLine(std::string& line, size_t, int32_t, std::string_view offered,
                     bool isSelected) override {
        preset = offered;
        selected = isSelected;
        line = lineToType;
        return kInputLine;
    }
    void writeLine(std::string_view text) override { written.emplace_back(text); }
    void statusText(int32_t, std::string_view text) override { statusTexts.emplace_back(text); }
    int32_t screenAction(const ScreenRequest& r) override {
        screenActions.push_back(r.action);
        screenTexts.emplace_back(r.text);
        return 7;
    }
};

class FrontEndTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        CleanStateTest::SetUp();
        attachFrontEnd(fe);
    }
    void TearDown() override {
        detachFrontEnd();
        CleanStateTest::TearDown();
    }
    uint32_t keyboardCalls() { return remoteCounters(KEYBOARDCALL).total; }
    ScriptedFrontEnd fe;
};

const std::string kWithZeros("A\0B\0", 4);

TEST_F(FrontEndTest, TextsKeepEveryByteOnEachRoad) {
    consoleOutput(kWithZeros);
    statusShowMessage(kWithZeros);
    EXPECT_EQ(screenAction(241, 1, 1, 0, 0, kWithZeros), 7);
    fe.lineToType = std::string("X\0", 2);
    std::string line;
    EXPECT_EQ(consoleInput(line, 80, kInputStatement, kWithZeros, true), kInputLine);

    EXPECT_THAT(fe.written, ElementsAre(kWithZeros));
    EXPECT_THAT(fe.statusTexts, ElementsAre(kWithZeros));
    EXPECT_THAT(fe.screenTexts, ElementsAre(kWithZeros));
    EXPECT_EQ(fe.preset, kWithZeros);
    EXPECT_TRUE(fe.selected);
    EXPECT_EQ(line, std::string("X\0", 2)) << "a typed zero byte at the end is kept too";
}

TEST_F(FrontEndTest, PollWithoutAnnouncedKeysSendsNoMessage) {
    const uint32_t before = keyboardCalls();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(pollKeyboard(), 0);
    EXPECT_EQ(keyboardRequest(1, -1), -1);
    EXPECT_EQ(keyboardCalls(), before);
    EXPECT_EQ(fe.pollKeyCalls, 0);
}

TEST_F(FrontEndTest, TerminalThatDoesNotAnnounceKeysIsAskedAtEveryPoll) {
    detachFrontEnd();
    static int polls = 0;
    setRemoteHandler(KEYBOARDCALL, [](const DecodedMessage&, std::span<const RemoteOut>) {
        return CallFunctionRemote(KEYBOARDRET, IN_RESP, {rpInt(++polls == 3 ? 1 : 0)});
    });
    setTerminalAttached(true);
    EXPECT_FALSE(pollAttention());
    EXPECT_FALSE(pollAttention());
    EXPECT_TRUE(pollAttention());
    setRemoteHandler(KEYBOARDCALL, nullptr);
    attachFrontEnd(fe);
}

TEST_F(FrontEndTest, DrainKeepsKeysForLaterReadsUntilTheAttentionKey) {
    fe.typed = {'a', 'b'};
    EXPECT_EQ(pollKeyboard(), 0) << "no attention key: the keys wait in the ring";
    EXPECT_EQ(keyboardRequest(1, -1), 'a');
    EXPECT_EQ(keyboardRequest(1, -1), 'b');
    EXPECT_EQ(keyboardRequest(1, -1), -1);

    fe.typed = {'x', kKeyAttention, 'y'};
    EXPECT_TRUE(pollAttention());
    EXPECT_EQ(keyboardRequest(1, -1), 'y') << "the attention key empties the ring: x is gone";
}

TEST_F(FrontEndTest, FullRingDropsKeysWithABeep) {
    for (int i = 0; i < kTypeAheadKeys + 2; ++i) fe.typed.push_back('A' + i % 26);
    EXPECT_EQ(pollKeyboard(), 0);
    EXPECT_THAT(fe.screenActions, ElementsAre(kScreenBeep, kScreenBeep));
    int got = 0;
    while (keyboardRequest(1, -1) > 0) ++got;
    EXPECT_EQ(got, kTypeAheadKeys);
}

TEST_F(FrontEndTest, DrainOfAction10StopsAtAFunctionKey) {
    fe.typed = {'a', 0x0300, 'b'};
    EXPECT_EQ(keyboardRequest(10, 0), 0x0300);
    EXPECT_EQ(keyboardRequest(1, -1), 'a');
    EXPECT_EQ(keyboardRequest(1, -1), 'b');
}

TEST_F(FrontEndTest, TimedReadsAlwaysReachTheFrontEndExceptANegativeLimit) {
    EXPECT_EQ(keyboardRequest(2, 5), -1);
    EXPECT_EQ(keyboardRequest(4, -1), -1);
    EXPECT_EQ(keyboardRequest(5, 0), -1);
    EXPECT_THAT(fe.readKeyLimits, ElementsAre(5));
}

TEST_F(FrontEndTest, UnknownKeyboardActionIsAConsistencyFailure) {
    auto r = test::runInChild([] {
        (void)CallFunctionRemote(KEYBOARDCALL, ORIGIN, {rpInt(8), rpInt(0)});
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, ::testing::HasSubstr("Keyboard routine called with unknown action."));
}

TEST_F(FrontEndTest, WaitingHelpersPumpTheAttachedFrontEnd) {
    dispatchPending();
    EXPECT_EQ(fe.dispatches, 1);
    EXPECT_EQ(fe.idleRounds, 0) << "dispatching pending events is no idle processing";
    fe.idleWanted = 2;
    pump();
    EXPECT_EQ(fe.dispatches, 4) << "dispatched again after each idle round that asked for more";
    EXPECT_EQ(fe.idleRounds, 3);
    timedWait(0);
    EXPECT_EQ(fe.dispatches, 5);
    timedWait(25000);  // three slices of at most 10 ms, each pumped
    EXPECT_EQ(fe.dispatches, 8);
}

TEST_F(FrontEndTest, DetachingRemovesTheHandlers) {
    detachFrontEnd();
    EXPECT_FALSE(terminalAttached());
    EXPECT_EQ(remoteHandler(CONSOLEOUTPUT), nullptr);
    EXPECT_EQ(keyboardRequest(2, 1), -1);
    consoleOutput("not delivered");
    EXPECT_TRUE(fe.written.empty());
    attachFrontEnd(fe);
}

}  // namespace
}  // namespace vxs
