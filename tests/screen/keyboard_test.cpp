// The terminal side's keyboard seen through the keyboard routine and the interpreter side's
// requests: the event queue and the type-ahead ring, the drains, the actions, the attention key,
// Escape, the line-drawing keypad, macros and TYPEAHEAD OFF.
#include "vxs/screen/keyboard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/clientserver/common.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {
namespace {

using ::testing::ElementsAre;

// A front end whose key handlers queue keys (as a terminal window does): `arrivals` are queued
// one per dispatch of pending events, the way typed keys arrive while a reader waits.
class QueuingFrontEnd final : public test::NullFrontEnd {
  public:
    std::deque<int32_t> arrivals;
    std::vector<int32_t> screenActions;
    std::vector<void*> controls;
    std::vector<std::string> statusKeyTexts;

    void dispatchPending() override {
        if (arrivals.empty()) return;
        (void)enqueueKey(arrivals.front());
        arrivals.pop_front();
    }
    bool processIdle() override { return false; }
    void controlEvent(const KeyEvent& e) override { controls.push_back(e.control); }
    void statusKey(std::string_view text) override { statusKeyTexts.emplace_back(text); }
    int32_t screenAction(const ScreenRequest& r) override {
        screenActions.push_back(r.action);
        return 0;
    }
};

class KeyboardTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        CleanStateTest::SetUp();
        attachFrontEnd(fe);
    }
    void TearDown() override {
        detachFrontEnd();
        clearKeyboardMacros();
        CleanStateTest::TearDown();
    }
    void type(std::initializer_list<int32_t> codes) {
        for (int32_t c : codes) ASSERT_EQ(enqueueKey(c), 0);
    }
    // Every key a program could read now, through the interpreter side's requests.
    std::vector<int32_t> readAll() {
        std::vector<int32_t> got;
        for (int32_t k; (k = keyboardRequest(1, -1)) > 0;) got.push_back(k);
        return got;
    }
    QueuingFrontEnd fe;
};

TEST_F(KeyboardTest, QueueHolds200EventsInOrderAndDropsThe201st) {
    const uint32_t announced = remoteCounters(KEYSAVAILABLE).total;
    for (int i = 0; i < kKeyQueueEvents; ++i) ASSERT_EQ(enqueueKey('A' + i % 26), 0);
    EXPECT_EQ(enqueueKey('Z'), -1);
    EXPECT_EQ(queuedKeyEvents(), kKeyQueueEvents);
    EXPECT_EQ(remoteCounters(KEYSAVAILABLE).total, announced + 1) << "announced once";

    std::vector<int32_t> got = readAll();
    ASSERT_EQ(got.size(), static_cast<size_t>(kKeyQueueEvents));
    for (int i = 0; i < kKeyQueueEvents; ++i) ASSERT_EQ(got[i], 'A' + i % 26);

    (void)enqueueKey('x');
    EXPECT_EQ(remoteCounters(KEYSAVAILABLE).total, announced + 2)
        << "a keyboard request re-arms the announcement";
    EXPECT_EQ(keyboardRequest(1, -1), 'x');
}

TEST_F(KeyboardTest, QueueStoresTheLowByteOfACodeThatHasOne) {
    type({0x0141, keys::kHome, keys::kPageDown});
    EXPECT_THAT(readAll(), ElementsAre('A', keys::kHome, keys::kPageDown));
}

TEST_F(KeyboardTest, DrainKeeps128KeysAndBeepsForEachFurtherOne) {
    for (int i = 0; i < 130; ++i) (void)enqueueKey('a' + i % 26);
    EXPECT_EQ(keyboardRequest(9, 0), 0);
    EXPECT_EQ(typeAheadCount(), kTypeAheadKeys);
    EXPECT_THAT(fe.screenActions, ElementsAre(kScreenBeep, kScreenBeep));
    std::vector<int32_t> got = readAll();
    ASSERT_EQ(got.size(), static_cast<size_t>(kTypeAheadKeys));
    EXPECT_EQ(got.front(), 'a');
    EXPECT_EQ(got.back(), 'a' + 127 % 26) << "the keys beyond the ring's room were dropped";

    // The ring, once emptied, takes a full load again (its indexes wrap).
    for (int i = 0; i < kTypeAheadKeys; ++i) (void)enqueueKey('b');
    EXPECT_EQ(keyboardRequest(9, 0), 0);
    EXPECT_EQ(readAll().size(), static_cast<size_t>(kTypeAheadKeys));
    EXPECT_EQ(fe.screenActions.size(), 2u);
}

TEST_F(KeyboardTest, DrainOfAction10StopsAtItsCodesAndKeepsTheKeysBefore) {
    const int32_t stops[] = {keys::kEscapeTyped, keys::kF1, keys::functionKey(10), keys::kEvent,
                             keys::kHelp};
    for (int32_t stop : stops) {
        type({'a', stop, 'b'});
        const int32_t expected = stop == keys::kEscapeTyped ? keys::kEscape : stop;
        EXPECT_EQ(keyboardRequest(10, 0), expected) << stop;
        EXPECT_EQ(typeAheadCount(), 1) << "the stopping code is not stored";
        EXPECT_THAT(readAll(), ElementsAre('a', 'b')) << stop;
    }
    // F11, F12 and cursor keys are typed ahead like characters.
    type({keys::functionKey(11), keys::kF12, keys::kUp});
    EXPECT_EQ(keyboardRequest(10, 0), 0);
    EXPECT_THAT(readAll(), ElementsAre(keys::functionKey(11), keys::kF12, keys::kUp));
}

TEST_F(KeyboardTest, AttentionKeyGoesAheadAndDropsWhatWasTypedBeforeIt) {
    type({'a', 'b'});
    EXPECT_EQ(keyboardRequest(9, 0), 0);
    type({'c', keys::kAttention, 'd'});
    EXPECT_EQ(keyboardRequest(1, -1), keys::kAttention) << "ahead of the ring's keys";
    EXPECT_THAT(readAll(), ElementsAre('d'));

    type({'e', keys::kAttention, 'f'});
    EXPECT_TRUE(pollAttention()) << "the run loop's poll sees it";
    EXPECT_EQ(typeAheadCount(), 0);
    EXPECT_THAT(readAll(), ElementsAre('f'));
}

TEST_F(KeyboardTest, ActionsWithoutKeysAndDiscarding) {
    EXPECT_EQ(keyboardRoutine(6, 0), 0);
    EXPECT_EQ(keyboardRoutine(7, 5), 0);
    EXPECT_EQ(keyboardRoutine(1, -1), -1);
    EXPECT_EQ(keyboardRoutine(9, 0), 0);
    EXPECT_EQ(keyboardRoutine(10, 0), 0);

    type({'a'});
    EXPECT_EQ(keyboardRoutine(9, 0), 0);
    type({'b', 'c'});
    EXPECT_EQ(keyboardRoutine(3, 0), 0);
    EXPECT_EQ(typeAheadCount(), 0);
    EXPECT_EQ(queuedKeyEvents(), 0);
    EXPECT_EQ(keyboardRoutine(1, -1), -1);

    type({'a'});
    EXPECT_EQ(keyboardRoutine(2, -1), -1) << "a negative limit returns without reading";
    EXPECT_EQ(keyboardRoutine(4, -5), -1);
    EXPECT_EQ(queuedKeyEvents(), 1);
    EXPECT_EQ(keyboardRoutine(4, 3), 'a');
}

TEST_F(KeyboardTest, WaitsWithoutLimitLastUntilAKeyArrives) {
    // Keys arrive only while the reader yields to pending events.
    fe.arrivals = {'k'};
    EXPECT_EQ(keyboardRoutine(1, 0), 'k');
    fe.arrivals = {'m'};
    EXPECT_EQ(keyboardRoutine(2, 0), 'm') << "a time limit of 0 waits without limit";
}

TEST_F(KeyboardTest, TimedReadEndsWhenItsTimePassed) {
    const int64_t start = platform::monotonicMicroseconds();
    EXPECT_EQ(keyboardRequest(2, 1), -1);
    const int64_t waited = platform::monotonicMicroseconds() - start;
    EXPECT_GE(waited, 1000000);
    EXPECT_LT(waited, 3000000);
}

TEST_F(KeyboardTest, EscapeReachesProgramsAs6300) {
    type({keys::kEscapeTyped, 'a', keys::kEscapeTyped});
    EXPECT_THAT(readAll(), ElementsAre(keys::kEscape, 'a', keys::kEscape));
}

TEST_F(KeyboardTest, LineDrawingKeypadIsSwitchedByCode28) {
    type({keys::kLineDrawToggle, '7', '.', '5', '0', '3', 'a', keys::kLineDrawToggle, '7'});
    EXPECT_THAT(readAll(), ElementsAre(218, 196, 197, 179, 217, 'a', '7'));
    EXPECT_FALSE(lineDrawingMode());
}

TEST_F(KeyboardTest, InternalCodesAreActedOnAndNeverReturned) {
    int marker = 0;
    (void)enqueueKey(keys::kControlEvent, &marker);
    terminalStatusText(0, "RUNNING");
    type({keys::kIgnored, keys::kStatusKey, 'a'});
    EXPECT_THAT(readAll(), ElementsAre('a'));
    EXPECT_THAT(fe.controls, ElementsAre(&marker));
    EXPECT_THAT(fe.statusKeyTexts, ElementsAre("RUNNING"));
}

TEST_F(KeyboardTest, PushedBackKeyComesAfterTheRingAndBeforeNewKeys) {
    type({'a'});
    EXPECT_EQ(keyboardRequest(9, 0), 0);
    type({'c'});
    pushBackKey('b');
    EXPECT_THAT(readAll(), ElementsAre('a', 'b', 'c'));
}

TEST_F(KeyboardTest, MacroExpandsBeforeKeysTypedMeanwhile) {
    ASSERT_EQ(addKeyboardMacro("0100,\"RU\",4E,0D"), 0);
    ASSERT_EQ(addKeyboardMacro("6300,\"X\""), 0) << "Escape is looked up as 6300";
    type({'a', keys::kF1});
    EXPECT_EQ(keyboardRequest(1, -1), 'a');
    EXPECT_EQ(keyboardRequest(1, -1), 'R') << "the first code at once";
    type({'z'});
    EXPECT_THAT(readAll(), ElementsAre('U', 'N', keys::kEnter, 'z'));
    type({keys::kEscapeTyped});
    EXPECT_THAT(readAll(), ElementsAre('X'));

    // Drained while a program runs, an expansion goes into the ring whole and in order.
    type({keys::kF1, 'q'});
    EXPECT_EQ(keyboardRequest(9, 0), 0);
    EXPECT_THAT(readAll(), ElementsAre('R', 'U', 'N', keys::kEnter, 'q'));
}

TEST_F(KeyboardTest, BadMacroDefinitionsAreRefused) {
    for (const char* bad : {"F1=RUN", "41,HELLO", "0,41", "12345,41", "41", "41,", "41,\"\"",
                            "41,\"AB", "41,42 43", "41,0", "41,\"A\"X", ",41"})
        EXPECT_EQ(addKeyboardMacro(bad), kErrUnrecognized) << bad;
    type({0x41});
    EXPECT_THAT(readAll(), ElementsAre(0x41)) << "nothing was defined";
}

TEST_F(KeyboardTest, MacrosComeFromTheConfigurationsKeyboardStatements) {
    ASSERT_EQ(processConfigStatement("KEYBOARD 0200, \"AB\", 0D"), 0);
    ASSERT_EQ(processConfigStatement("KEYBOARD F1=RUN"), 0) << "stored; refused when loaded";
    EXPECT_EQ(loadKeyboardMacros(), kErrUnrecognized);
    type({keys::functionKey(2)});
    EXPECT_THAT(readAll(), ElementsAre('A', 'B', keys::kEnter));
}

TEST_F(KeyboardTest, TypeAheadOffDropsKeysTypedWhileAProgramRuns) {
    fieldsConfig().typeaheadOff = true;
    type({'a', 'b'});
    EXPECT_EQ(keyboardRequest(9, 0), 0);
    EXPECT_EQ(typeAheadCount(), 0);
    EXPECT_TRUE(fe.screenActions.empty()) << "dropped without a beep";
    EXPECT_THAT(readAll(), ElementsAre());
    type({'a', keys::kAttention});
    EXPECT_EQ(keyboardRequest(9, 0), keys::kAttention) << "the attention key still counts";
    type({'c'});
    EXPECT_THAT(readAll(), ElementsAre('c')) << "a read takes the key itself";
}

TEST_F(KeyboardTest, AltCodeEntryQueuesTheGatheredCode) {
    AltCodeEntry alt;
    alt.altPressed();
    for (int d : {1, 2, 1, 3}) alt.keypadDigit(d);  // 1213 modulo 1000
    alt.altReleased();
    alt.altPressed();
    alt.altReleased();  // nothing gathered: nothing queued
    EXPECT_THAT(readAll(), ElementsAre(213));
}

TEST_F(KeyboardTest, KeyInjectedWithoutADebuggerLinkIsQueued) {
    ASSERT_EQ(CallFunctionRemote(INJECTKEY, ORIGIN, {rpInt(keys::kEscapeTyped)}), 0);
    EXPECT_THAT(readAll(), ElementsAre(keys::kEscape));
}

TEST_F(KeyboardTest, InputInUnattendedModeIsFatal) {
    auto r = test::runInChild([] {
        ASSERT_EQ(processConfigStatement("LOGGING 0, \"\" UNATTENDED"), 0);
        (void)mainKeyboardEntry(false, 0);  // looking without waiting is allowed
        (void)mainKeyboardEntry(true, 0);
    });
    EXPECT_NE(r.exitStatus, 0);
    EXPECT_THAT(r.err, ::testing::HasSubstr("Input attempted in unattended mode while processing "
                                            "main keyboard entry routine"));
}

}  // namespace
}  // namespace vxs
