// The call/reply discipline, the dispatcher's table and its internal errors.
#include "vxs/clientserver/common.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "vxs/base/version.h"

namespace vxs {
namespace {

using ::testing::HasSubstr;

class RemoteTest : public test::CleanStateTest {};

int g_seenValue = 0;
std::string g_seenText;

// A terminal-side handler that doubles its integer and echoes its text back.
int echoHandler(const DecodedMessage& m, std::span<const RemoteOut>) {
    g_seenValue = m.params[0].value;
    g_seenText.assign(reinterpret_cast<const char*>(m.params[1].data), m.params[1].length);
    // A nested call while handling: dispatched before this handler goes on.
    if (CallFunctionRemote(SCREENTITLE, ORIGIN, {rpText("nested")})) return 1;
    return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP,
                              {rpInt(m.params[0].value * 2), rpText("reply")});
}

int g_titles = 0;
int countTitles(const DecodedMessage&, std::span<const RemoteOut>) {
    ++g_titles;
    return 0;
}

TEST_F(RemoteTest, CallDispatchesAndTheReplyReachesTheReceiver) {
    setRemoteHandler(CONSOLEINPUTCALL, echoHandler);
    setRemoteHandler(SCREENTITLE, countTitles);
    g_titles = 0;
    const bool flagBefore = remoteDispatchFlag();
    ASSERT_EQ(CallFunctionRemote(CONSOLEINPUTCALL, ORIGIN, {rpInt(21), rpText("in")}), 0);
    EXPECT_EQ(remoteDispatchFlag(), flagBefore) << "inverted around the dispatch, then back";
    EXPECT_EQ(g_seenValue, 21);
    EXPECT_EQ(g_seenText, std::string("in\0", 3));
    EXPECT_EQ(g_titles, 1);
    int32_t value = 0;
    std::string text;
    ASSERT_EQ(ReceiveFunctionRemote(CONSOLEINPUTRET, {roInt(&value), roData(&text)}), 0);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(text, std::string("reply\0", 6));
    EXPECT_EQ(remoteCounters(CONSOLEINPUTCALL).total, 1u);
    EXPECT_EQ(remoteCounters(CONSOLEINPUTRET).total, 1u);
    EXPECT_EQ(remoteCounters(SCREENTITLE).sinceReset, 1u);
    resetRemoteCounters();
    EXPECT_EQ(remoteCounters(SCREENTITLE).sinceReset, 0u);
    EXPECT_EQ(remoteCounters(SCREENTITLE).total, 1u);
}

TEST_F(RemoteTest, ReceiveWithNothingAnsweredIsAnError) {
    int32_t value = 0;
    EXPECT_NE(ReceiveFunctionRemote(FATALMSGRET, {roInt(&value)}), 0);
}

TEST_F(RemoteTest, ReplyOfTheWrongShapeIsAnError) {
    ASSERT_EQ(CallFunctionRemote(FATALMSGRET, IN_RESP, {rpText("not an integer")}), 0);
    int32_t value = 0;
    EXPECT_NE(ReceiveFunctionRemote(FATALMSGRET, {roInt(&value)}), 0);
}

TEST_F(RemoteTest, ReplyWithAnotherNumberIsAConsistencyFailure) {
    auto r = test::runInChild([] {
        test::resetProcessState();
        (void)CallFunctionRemote(SESSIONIDRET, IN_RESP, {rpInt(1)});
        int32_t value = 0;
        (void)ReceiveFunctionRemote(FATALMSGRET, {roInt(&value)});
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("Reply actions do not match received 66, expeced 64"));
}

TEST_F(RemoteTest, OperationWithoutHandlerIsFatal) {
    for (int op : {static_cast<int>(SCREENTITLE), 0, 154, 500}) {
        auto r = test::runInChild([op] {
            test::resetProcessState();
            (void)CallFunctionRemote(op, ORIGIN, {});
        });
        EXPECT_EQ(r.exitStatus, 99) << op;
        EXPECT_THAT(r.err, HasSubstr("Undefined function in common.cpp")) << op;
    }
}

TEST_F(RemoteTest, MoreThan150ParametersIsAConsistencyFailure) {
    auto r = test::runInChild([] {
        std::vector<RemoteParam> many(151, rpInt(0));
        (void)CallFunctionRemote(SCREENTITLE, ORIGIN, many);
    });
    EXPECT_EQ(r.exitStatus, 255);
    EXPECT_THAT(r.err, HasSubstr("parms <= 150"));
}

TEST_F(RemoteTest, VersionCheckAcceptsOursAndStopsOnAnother) {
    EXPECT_EQ(CallFunctionRemote(VERSIONCHECK, ORIGIN, {rpText(kVersionText)}), 0);
    auto r = test::runInChild([] {
        test::resetProcessState();
        (void)CallFunctionRemote(VERSIONCHECK, ORIGIN, {rpText("Release 0.99z")});
    });
    EXPECT_EQ(r.exitStatus, 99);
    EXPECT_THAT(r.err, HasSubstr("Versions do not match.  Please check correspondence between "
                                 "client \n  and server releases. Client Release 1.00a, Server "
                                 "Release 0.99z.\n Click OK to exit. "));
}

TEST_F(RemoteTest, ExitRequestIsAnsweredThroughTheHook) {
    setRemoteServerHooks({nullptr, [](int32_t status) { return status + 1; }});
    ASSERT_EQ(CallFunctionRemote(EXITREQUESTCALL, ORIGIN, {rpInt(20)}), 0);
    int32_t answer = 0;
    ASSERT_EQ(ReceiveFunctionRemote(EXITREQUESTRET, {roInt(&answer)}), 0);
    EXPECT_EQ(answer, 21);
    setRemoteServerHooks({});
}

TEST(RemoteOps, NamesComeFromTheTable) {
    EXPECT_STREQ(remoteOpName(63), "FATALMSGCALL");
    EXPECT_STREQ(remoteOpName(66), "SESSIONIDRET");
    EXPECT_STREQ(remoteOpName(1), "?");
}

}  // namespace
}  // namespace vxs
