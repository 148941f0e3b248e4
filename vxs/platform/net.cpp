// TCP sockets (see net.h) over the POSIX socket calls, and the owner of a local peer read from
// the kernel's tables of TCP sockets.
#include "vxs/platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vxs/platform/os.h"

namespace vxs::platform {

namespace {

// The IPv4 address of `host`: by name first, then as a dotted address.
bool resolve(const std::string& host, in_addr& out) {
    if (host.empty()) {
        out.s_addr = htonl(INADDR_LOOPBACK);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
        out = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
        return true;
    }
    return inet_pton(AF_INET, host.c_str(), &out) == 1;
}

int waitFor(int socket, short events, int milliseconds) {
    for (;;) {
        pollfd p{socket, events, 0};
        const int n = poll(&p, 1, milliseconds);
        if (n > 0) return (p.revents & (POLLERR | POLLNVAL)) && !(p.revents & events) ? failed()
                                                                                    : kNetOk;
        if (n == 0) return kNetTimeout;
        if (errno != EINTR) return failed();
    }
}

// Milliseconds left until `deadline` (monotonic microseconds), never below 0.
int remaining(int64_t deadline) {
    const int64_t left = deadline - monotonicMicroseconds();
    return left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
}

// One end of a TCP connection: an IPv6 address (IPv4 as ::ffff:a.b.c.d) and a port.
struct End {
    uint8_t address[16];
    uint16_t port;  // host order
    bool operator==(const End& o) const {
        return port == o.port && memcmp(address, o.address, sizeof address) == 0;
    }
};
struct Connection {
    End local, remote;
};

void mapped(const in_addr& v4, uint8_t out[16]) {
    memset(out, 0, 10);
    out[10] = out[11] = 0xff;
    memcpy(out + 12, &v4, 4);
}

bool endOf(const sockaddr_storage& s, End& out) {
    if (s.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(s);
        mapped(a.sin_addr, out.address);
        out.port = ntohs(a.sin_port);
        return true;
    }
    if (s.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(s);
        memcpy(out.address, &a.sin6_addr, 16);
        out.port = ntohs(a.sin6_port);
        return true;
    }
    return false;
}

// Whether `address` belongs to this machine: loopback (127/8, ::1), or an interface's address.
bool isLocalAddress(const uint8_t address[16]) {
    static const uint8_t kV4Prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    static const uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (memcmp(address, kV4Prefix, 12) == 0 && address[12] == 127) return true;
    if (memcmp(address, kLoopback6, 16) == 0) return true;
    ifaddrs* list = nullptr;
    // Without the interface list, every address counts as this machine's: the peer must then be
    // found in the tables, and a remote peer is refused rather than a local one let in.
    if (getifaddrs(&list) != 0) return true;
    bool local = false;
    for (const ifaddrs* i = list; i && !local; i = i->ifa_next) {
        if (!i->ifa_addr) continue;
        sockaddr_storage s{};
        if (i->ifa_addr->sa_family == AF_INET)
            memcpy(&s, i->ifa_addr, sizeof(sockaddr_in));
        else if (i->ifa_addr->sa_family == AF_INET6)
            memcpy(&s, i->ifa_addr, sizeof(sockaddr_in6));
        else
            continue;
        End e{};
        local = endOf(s, e) && memcmp(e.address, address, 16) == 0;
    }
    freeifaddrs(list);
    return local;
}

// An address and port as the kernel's TCP tables print them: the address as 8 (IPv4) or 32
// (IPv6) hex digits, each group of 8 a 32-bit word in host byte order; a colon; the port as hex.
bool parseTableEnd(const char* text, End& out) {
    const char* colon = strchr(text, ':');
    if (!colon) return false;
    const size_t digits = static_cast<size_t>(colon - text);
    if (digits != 8 && digits != 32) return false;
    uint8_t bytes[16];
    for (size_t w = 0; w < digits / 8; ++w) {
        char word[9];
        memcpy(word, text + w * 8, 8);
        word[8] = '\0';
        char* end = nullptr;
        const unsigned long v = strtoul(word, &end, 16);
        if (*end != '\0') return false;
        const uint32_t host = static_cast<uint32_t>(v);
        memcpy(bytes + w * 4, &host, 4);
    }
    if (digits == 8) {
        in_addr v4;
        memcpy(&v4, bytes, 4);
        mapped(v4, out.address);
    } else {
        memcpy(out.address, bytes, 16);
    }
    char* end = nullptr;
    const unsigned long port = strtoul(colon + 1, &end, 16);
    if (end == colon + 1 || port > 0xffff) return false;
    out.port = static_cast<uint16_t>(port);
    return true;
}

// Counts the entries of one kernel table that are `wanted` in a state where a process holds the
// socket (established, half-open on either side, closing); `uid` is the owner of the last one.
// A table that does not exist (no IPv6) has no entries.
int countOwners(const char* table, const Connection& wanted, int& count, uint32_t& uid) {
    count = 0;
    FILE* f = fopen(table, "re");
    if (!f) return errno == ENOENT ? kNetOk : failed();
    char line[512];
    bool header = true;
    while (fgets(line, sizeof line, f)) {
        if (header) {
            header = false;
            continue;
        }
        char localText[64], remoteText[64];
        unsigned state = 0;
        unsigned long owner = 0;
        // sl local rem st tx:rx tr:when retrnsmt uid ...
        if (sscanf(line, " %*s %63s %63s %x %*s %*s %*s %lu", localText, remoteText, &state,
                   &owner) != 4)
            continue;
        // 01 established, 03 SYN received (the listener's request, owned as the listener),
        // 04/05 FIN wait.  Time-wait entries show user 0 and belong to nobody.
        if (state != 0x01 && state != 0x03 && state != 0x04 && state != 0x05) continue;
        Connection c{};
        if (!parseTableEnd(localText, c.local) || !parseTableEnd(remoteText, c.remote)) continue;
        if (c.local == wanted.local && c.remote == wanted.remote) {
            ++count;
            uid = static_cast<uint32_t>(owner);
        }
    }
    fclose(f);
    return kNetOk;
}

void connected(int socket) {
    const int one = 1;
    (void)setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

int tcpConnect(const std::string& host, int port, int& socket) {
    socket = -1;
    in_addr address{};
    if (!resolve(host, address)) return 1;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return (void)failed(), 2;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr = address;
    int r;
    do {
        r = ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        (void)failed();
        ::close(s);
        return 2;
    }
    connected(s);
    socket = s;
    return 0;
}

int tcpListen(const std::string& host, int port, int& socket) {
    socket = -1;
    in_addr address{};
    if (!resolve(host, address)) return -1;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return failed();
    const int one = 1;
    (void)setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    at.sin_addr = address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) < 0 || ::listen(s, 5) < 0) {
        const int r = failed();
        ::close(s);
        return r;
    }
    socket = s;
    return 0;
}

int socketPort(int socket) {
    sockaddr_in at{};
    socklen_t len = sizeof at;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&at), &len) != 0) return 0;
    return ntohs(at.sin_port);
}

int tcpAccept(int listening, int& socket) {
    socket = -1;
    int s;
    do {
        s = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
    } while (s < 0 && errno == EINTR);
    if (s < 0) return failed();
    connected(s);
    socket = s;
    return 0;
}

int waitReadable(int socket, int milliseconds) {
    return waitFor(socket, POLLIN, milliseconds);
}

int waitWritable(int socket, int milliseconds) {
    return waitFor(socket, POLLOUT, milliseconds);
}

int sendAll(int socket, const void* data, size_t size, int milliseconds) {
    const auto* p = static_cast<const uint8_t*>(data);
    const int64_t deadline = monotonicMicroseconds() + int64_t{milliseconds} * 1000;
    while (size > 0) {
        if (int r = waitWritable(socket, remaining(deadline)); r != kNetOk) return r;
        // Without waiting: a blocking send of more than the socket takes would wait for the
        // peer to read all of it, past the time limit.  What was taken is counted and the rest
        // goes when the socket is writable again.
        const ssize_t n = ::send(socket, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            if (errno == EPIPE || errno == ECONNRESET) return kNetClosed;
            return failed();
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return kNetOk;
}

int receiveAll(int socket, void* data, size_t size, int milliseconds) {
    auto* p = static_cast<uint8_t*>(data);
    const int64_t deadline = monotonicMicroseconds() + int64_t{milliseconds} * 1000;
    while (size > 0) {
        if (int r = waitReadable(socket, remaining(deadline)); r != kNetOk) return r;
        const ssize_t n = ::recv(socket, p, size, 0);
        if (n == 0) return kNetClosed;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            if (errno == ECONNRESET) return kNetClosed;
            return failed();
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return kNetOk;
}

int receiveSome(int socket, void* data, size_t size, size_t& got) {
    got = 0;
    if (size == 0) return kNetOk;
    for (;;) {
        const ssize_t n = ::recv(socket, data, size, MSG_DONTWAIT);
        if (n > 0) {
            got = static_cast<size_t>(n);
            return kNetOk;
        }
        if (n == 0) return kNetClosed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kNetOk;
        if (errno == ECONNRESET) return kNetClosed;
        return failed();
    }
}

int socketPeerOwner(int socket, bool& local, uint32_t& uid) {
    local = false;
    uid = 0;
    sockaddr_storage mine{}, theirs{};
    socklen_t mineLen = sizeof mine, theirsLen = sizeof theirs;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&mine), &mineLen) != 0 ||
        getpeername(socket, reinterpret_cast<sockaddr*>(&theirs), &theirsLen) != 0)
        return failed();
    End near{}, far{};
    if (!endOf(mine, near) || !endOf(theirs, far)) {
        errno = EAFNOSUPPORT;
        return failed();
    }
    if (!isLocalAddress(far.address)) return kNetOk;
    local = true;
    // The peer's socket sees the connection from the other side.
    const Connection wanted{far, near};
    int found = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        int n = 0;
        if (int r = countOwners(table, wanted, n, uid); r != kNetOk) return r;
        found += n;
    }
    if (found != 1) {
        errno = found == 0 ? ENOTCONN : EADDRINUSE;
        return failed();
    }
    return kNetOk;
}

uint32_t currentUserId() {
    return static_cast<uint32_t>(getuid());
}

void closeSocket(int socket) {
    if (socket >= 0) ::close(socket);
}

int socketPair(int& a, int& b) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return failed();
    a = fds[0];
    b = fds[1];
    return 0;
}

}  // namespace vxs::platform
