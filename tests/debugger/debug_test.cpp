// The debugger link over a socket pair, the test playing the debugger: the wire format to the
// byte, commands taken or refused, output gathered per channel and flushed before every other
// message, and the link closed on messages no debugger sends.
#include "vxs/debugger/debug.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/net.h"
#include "vxs/platform/os.h"

namespace vxs {
namespace {

struct Message {
    uint32_t type = 0;
    std::string payload;
};

class DebugLinkTest : public test::CleanStateTest {
  protected:
    void SetUp() override {
        CleanStateTest::SetUp();
        ASSERT_EQ(platform::socketPair(mine_, peer_), 0);
        ASSERT_EQ(debugAttachSocket(mine_), 0);
    }
    void TearDown() override {
        debugDisconnect();
        platform::closeSocket(peer_);
        CleanStateTest::TearDown();
    }
    void sendFromDebugger(uint32_t type, std::string_view payload = {}) {
        const std::string m = encodeDebugMessage(type, payload);
        ASSERT_EQ(platform::sendAll(peer_, m.data(), m.size(), 1000), platform::kNetOk);
    }
    // Every message the system sent so far.
    std::vector<Message> received() {
        std::vector<Message> out;
        while (platform::waitReadable(peer_, 50) == platform::kNetOk) {
            uint8_t header[8];
            if (platform::receiveAll(peer_, header, 8, 1000) != platform::kNetOk) break;
            Message m;
            uint32_t length = 0;
            EXPECT_TRUE(decodeDebugHeader(header, m.type, length));
            m.payload.resize(length);
            if (length && platform::receiveAll(peer_, m.payload.data(), length, 1000)) break;
            out.push_back(m);
        }
        return out;
    }
    int mine_ = -1, peer_ = -1;
};

TEST(DebugWire, MessagesToTheByte) {
    const std::string m = encodeDebugMessage(kDbgLineBreak, debugIntegers({30, 2}));
    EXPECT_EQ(m, std::string("\0\0\0\x10\0\0\0\x6B\0\0\0\x1E\0\0\0\x02", 16));
    uint32_t type = 0, length = 0;
    const auto* h = reinterpret_cast<const uint8_t*>(m.data());
    ASSERT_TRUE(decodeDebugHeader(h, type, length));
    EXPECT_EQ(type, kDbgLineBreak);
    EXPECT_EQ(length, 8u);
    // Lengths no message can have: below its header, beyond 64 KiB of payload.
    const uint8_t shortHeader[8] = {0, 0, 0, 7, 0, 0, 0, 2};
    const uint8_t hugeHeader[8] = {0, 1, 0, 9, 0, 0, 0, 2};
    const uint8_t largest[8] = {0, 1, 0, 8, 0, 0, 0, 2};
    EXPECT_FALSE(decodeDebugHeader(shortHeader, type, length));
    EXPECT_FALSE(decodeDebugHeader(hugeHeader, type, length));
    EXPECT_TRUE(decodeDebugHeader(largest, type, length));
    EXPECT_EQ(length, kDebugMaxPayload);
}

TEST_F(DebugLinkTest, CommandsTakenOnlyWhileCommandModeWaits) {
    sendFromDebugger(kDbgIssueCommand, "LIST");
    debugPoll();
    std::vector<Message> got = received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, kDbgIssueCommandResponse);
    EXPECT_EQ(got[0].payload, debugIntegers({kErrNotInputMode}));
    EXPECT_FALSE(debugCommandPending());

    debugEnterInputMode(0, 1006);
    got = received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, kDbgEnterInputMode);
    EXPECT_EQ(got[0].payload, debugIntegers({0, 1006}));
    sendFromDebugger(kDbgIssueCommand, "");  // empty: answered 0, nothing stored
    debugPoll();
    EXPECT_FALSE(debugCommandPending());
    sendFromDebugger(kDbgIssueCommand, std::string(801, 'x'));
    debugPoll();
    EXPECT_FALSE(debugCommandPending());
    sendFromDebugger(kDbgIssueCommand, "PRINT 1");
    debugPoll();
    got = received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].payload, debugIntegers({0}));
    EXPECT_EQ(got[1].payload, debugIntegers({kErrCommandTooLong}));
    EXPECT_EQ(got[2].payload, debugIntegers({0}));
    std::string line = "typed";
    EXPECT_TRUE(debugTakeCommand(line));
    EXPECT_EQ(line, "PRINT 1");
    EXPECT_FALSE(debugTakeCommand(line));
}

// A message that arrives in pieces is gathered over several polls without any poll waiting for
// the rest; two messages sent together are taken one per poll.
TEST_F(DebugLinkTest, MessagesArrivingInPiecesAreGatheredWithoutWaiting) {
    debugEnterInputMode(0, 0);
    (void)received();
    const std::string m = encodeDebugMessage(kDbgIssueCommand, "PRINT 2");
    size_t at = 0;
    for (size_t end : {size_t{3}, size_t{8}, size_t{11}, m.size()}) {
        ASSERT_EQ(platform::sendAll(peer_, m.data() + at, end - at, 1000), platform::kNetOk);
        ASSERT_EQ(platform::waitReadable(mine_, 1000), platform::kNetOk);
        const int64_t before = platform::monotonicMicroseconds();
        debugPoll();
        EXPECT_LT(platform::monotonicMicroseconds() - before, 1000 * 1000);
        EXPECT_TRUE(debugLinkOpen());
        EXPECT_EQ(debugCommandPending(), end == m.size()) << end;
        at = end;
    }
    std::string line;
    EXPECT_TRUE(debugTakeCommand(line));
    EXPECT_EQ(line, "PRINT 2");
    debugEnterInputMode(0, 0);
    const std::string two = encodeDebugMessage(kDbgIssueCommand, "A") +
                            encodeDebugMessage(kDbgIssueCommand, "B");
    ASSERT_EQ(platform::sendAll(peer_, two.data(), two.size(), 1000), platform::kNetOk);
    ASSERT_EQ(platform::waitReadable(mine_, 1000), platform::kNetOk);
    debugPoll();
    EXPECT_TRUE(debugTakeCommand(line));
    EXPECT_EQ(line, "A");
    debugEnterInputMode(0, 0);
    debugPoll();
    EXPECT_TRUE(debugTakeCommand(line));
    EXPECT_EQ(line, "B");
}

TEST_F(DebugLinkTest, OutputIsGatheredPerChannelAndFlushedFirst) {
    const std::string a = "to three\r\n", b = "to four\r\n";
    debugChannelWrite(3, reinterpret_cast<const uint8_t*>(a.data()), a.size());
    debugChannelWrite(3, reinterpret_cast<const uint8_t*>(a.data()), a.size());
    EXPECT_TRUE(received().empty());  // gathered
    debugChannelWrite(4, reinterpret_cast<const uint8_t*>(b.data()), b.size());
    const std::string big(5000, 'z');
    debugChannelWrite(4, reinterpret_cast<const uint8_t*>(big.data()), big.size());
    debugChannelWrite(4, reinterpret_cast<const uint8_t*>(b.data()), b.size());
    debugReportLineBreak(60, 1);
    const std::vector<Message> got = received();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].type, kDbgFileData);
    EXPECT_EQ(got[0].payload, debugIntegers({3}) + a + a);
    EXPECT_EQ(got[1].payload, debugIntegers({4}) + b);        // flushed before the long write
    EXPECT_EQ(got[2].payload, debugIntegers({4}) + big);      // the long write whole
    EXPECT_EQ(got[3].payload, debugIntegers({4}) + b);        // flushed before the break
    EXPECT_EQ(got[4].type, kDbgLineBreak);
    EXPECT_EQ(got[4].payload, debugIntegers({60, 1}));
}

// A write many times larger than the socket holds goes out in as many parts as the socket
// takes, while the debugger reads: it arrives as one message, whole, after the bytes gathered
// before it.
TEST_F(DebugLinkTest, AWriteLargerThanTheSocketArrivesWhole) {
    std::string big(600000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
    std::vector<Message> got;
    std::thread reader([&] {
        while (got.size() < 2) {
            uint8_t header[8];
            if (platform::receiveAll(peer_, header, 8, 5000) != platform::kNetOk) return;
            Message m;
            uint32_t length = 0;
            if (!decodeDebugHeader(header, m.type, length)) {
                // The system sends longer messages than it accepts: take the length as it is.
                const uint32_t total = uint32_t{header[0]} << 24 | uint32_t{header[1]} << 16 |
                                       uint32_t{header[2]} << 8 | header[3];
                length = total - 8;
            }
            m.payload.resize(length);
            if (platform::receiveAll(peer_, m.payload.data(), length, 5000) != platform::kNetOk)
                return;
            got.push_back(std::move(m));
        }
    });
    const std::string before = "gathered\r\n";
    debugChannelWrite(7, reinterpret_cast<const uint8_t*>(before.data()), before.size());
    EXPECT_EQ(debugChannelWrite(7, reinterpret_cast<const uint8_t*>(big.data()), big.size()),
              big.size());
    reader.join();
    EXPECT_TRUE(debugLinkOpen());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].payload, debugIntegers({7}) + before);
    EXPECT_EQ(got[1].type, kDbgFileData);
    EXPECT_EQ(got[1].payload.size(), 4 + big.size());
    EXPECT_TRUE(got[1].payload == debugIntegers({7}) + big);
}

// A debugger that stops reading cannot hold the session: the send gives up after its 5 seconds
// and the link closes, however much of the message the socket had taken.
TEST_F(DebugLinkTest, ADebuggerThatDoesNotReadIsDisconnected) {
    const std::string big(4 << 20, 'q');
    const int64_t start = platform::monotonicMicroseconds();
    EXPECT_EQ(debugChannelWrite(1, reinterpret_cast<const uint8_t*>(big.data()), big.size()),
              big.size());
    const int64_t took = platform::monotonicMicroseconds() - start;
    EXPECT_FALSE(debugLinkOpen());
    EXPECT_EQ(debugLastSocketError(), platform::kNetTimeout);
    EXPECT_GT(took, 4'000'000);
    EXPECT_LT(took, 8'000'000);
}

TEST_F(DebugLinkTest, BadMessagesCloseTheLink) {
    const uint8_t oversized[8] = {0, 1, 0, 9, 0, 0, 0, 2};
    ASSERT_EQ(platform::sendAll(peer_, oversized, 8, 1000), platform::kNetOk);
    debugPoll();
    EXPECT_FALSE(debugLinkOpen());
    const std::vector<Message> got = received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, kDbgTerminateConnection);
    // Without a link every report is nothing and a poll costs nothing.
    debugReportBeginBreak();
    debugPoll();
    EXPECT_EQ(debugConsole(false), kErrUnrecognized);
}

TEST_F(DebugLinkTest, TerminateAndUnknownTypes) {
    sendFromDebugger(77, "?");
    debugPoll();
    EXPECT_FALSE(debugLinkOpen());
    std::vector<Message> got = received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, kDbgTerminateConnection);

    int a = -1, b = -1;
    ASSERT_EQ(platform::socketPair(a, b), 0);
    ASSERT_EQ(debugAttachSocket(a), 0);
    EXPECT_EQ(debugAttachSocket(a), kErrDebugLinked);
    const std::string t = encodeDebugMessage(kDbgTerminate, {});
    ASSERT_EQ(platform::sendAll(b, t.data(), t.size(), 1000), platform::kNetOk);
    debugPoll();
    EXPECT_FALSE(debugLinkOpen());
    EXPECT_NE(platform::waitReadable(b, 50), platform::kNetTimeout);  // closed, nothing sent
    char byte;
    EXPECT_EQ(platform::receiveAll(b, &byte, 1, 100), platform::kNetClosed);
    platform::closeSocket(b);
}

}  // namespace
}  // namespace vxs
