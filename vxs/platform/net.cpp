// TCP sockets (see net.h) over the POSIX socket calls.
#include "vxs/platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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
    while (size > 0) {
        if (int r = waitWritable(socket, milliseconds); r != kNetOk) return r;
        const ssize_t n = ::send(socket, p, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
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
    while (size > 0) {
        if (int r = waitReadable(socket, milliseconds); r != kNetOk) return r;
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
