// TCP sockets: whole-message time limits, receiving without waiting, and the owner of a peer on
// this machine read from the kernel's tables (both ends of a loopback connection, over IPv4 and
// from an IPv6 socket through a mapped address).
#include "vxs/platform/net.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "vxs/platform/os.h"

namespace vxs::platform {
namespace {

// A connected loopback pair through a listening socket: `client` from tcpConnect, `server`
// from tcpAccept.
struct Loopback {
    int listening = -1, client = -1, server = -1;
    Loopback() {
        EXPECT_EQ(tcpListen("", 0, listening), 0);
        EXPECT_EQ(tcpConnect("127.0.0.1", socketPort(listening), client), 0);
        EXPECT_EQ(tcpAccept(listening, server), 0);
    }
    ~Loopback() {
        closeSocket(client);
        closeSocket(server);
        closeSocket(listening);
    }
};

TEST(Net, PeerOwnerOfBothEndsOfALoopbackConnection) {
    Loopback l;
    for (int s : {l.client, l.server}) {
        bool local = false;
        uint32_t uid = 12345;
        ASSERT_EQ(socketPeerOwner(s, local, uid), kNetOk);
        EXPECT_TRUE(local);
        EXPECT_EQ(uid, currentUserId());
    }
}

TEST(Net, PeerOwnerOfAnIpv6PeerThroughAMappedAddress) {
    int listening = -1;
    ASSERT_EQ(tcpListen("", 0, listening), 0);
    const int v6 = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (v6 < 0) {
        closeSocket(listening);
        GTEST_SKIP() << "no IPv6 sockets here";
    }
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_port = htons(static_cast<uint16_t>(socketPort(listening)));
    ASSERT_EQ(inet_pton(AF_INET6, "::ffff:127.0.0.1", &to.sin6_addr), 1);
    ASSERT_EQ(::connect(v6, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    int server = -1;
    ASSERT_EQ(tcpAccept(listening, server), 0);
    bool local = false;
    uint32_t uid = 12345;
    EXPECT_EQ(socketPeerOwner(server, local, uid), kNetOk);
    EXPECT_TRUE(local);
    EXPECT_EQ(uid, currentUserId());
    ::close(v6);
    closeSocket(server);
    closeSocket(listening);
}

TEST(Net, PeerOwnerOfASocketPairIsAnError) {
    int a = -1, b = -1;
    ASSERT_EQ(socketPair(a, b), 0);
    bool local = true;
    uint32_t uid = 0;
    EXPECT_EQ(socketPeerOwner(a, local, uid), kNetError);  // not TCP: no ends to look up
    closeSocket(a);
    closeSocket(b);
}

TEST(Net, ReceivingWithoutWaiting) {
    Loopback l;
    char buf[8];
    size_t got = 99;
    EXPECT_EQ(receiveSome(l.server, buf, sizeof buf, got), kNetOk);
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(sendAll(l.client, "abc", 3, 1000), kNetOk);
    ASSERT_EQ(waitReadable(l.server, 1000), kNetOk);
    EXPECT_EQ(receiveSome(l.server, buf, 2, got), kNetOk);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(receiveSome(l.server, buf, sizeof buf, got), kNetOk);
    EXPECT_EQ(got, 1u);
    ::shutdown(l.client, SHUT_WR);
    ASSERT_EQ(waitReadable(l.server, 1000), kNetOk);
    EXPECT_EQ(receiveSome(l.server, buf, sizeof buf, got), kNetClosed);
}

// A peer that sends a byte every 150 ms cannot stretch a 400 ms receive of 8 bytes: the limit
// is for the whole buffer, not for each part.
TEST(Net, ReceiveAllHasOneLimitForTheWholeBuffer) {
    Loopback l;
    std::thread drip([&] {
        for (int i = 0; i < 8; ++i) {
            sleepMilliseconds(150);
            if (sendAll(l.client, "x", 1, 1000) != kNetOk) return;
        }
    });
    char buf[8];
    const int64_t start = monotonicMicroseconds();
    EXPECT_EQ(receiveAll(l.server, buf, sizeof buf, 400), kNetTimeout);
    const int64_t took = monotonicMicroseconds() - start;
    EXPECT_LT(took, 800 * 1000);
    drip.join();
}

}  // namespace
}  // namespace vxs::platform
