// TCP sockets for the debugger link: connecting, listening on an address, waiting for a socket
// with a time limit, and sending or receiving a whole buffer within a time limit.  Sockets are
// descriptors that child processes do not inherit, with Nagle's delay off once connected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vxs::platform {

// Results of the waits and transfers below.
inline constexpr int kNetOk = 0;
inline constexpr int kNetTimeout = 10035;  // the wait ran out
inline constexpr int kNetClosed = 10054;   // the peer closed the connection
inline constexpr int kNetError = -1;       // another failure; errno kept as the last error

// Resolves `host` (a name, else a dotted address; empty: this machine's loopback address) and
// connects to `port`.  0 with the socket, 1 when the host cannot be resolved, 2 when the
// connection is refused or fails.
[[nodiscard]] int tcpConnect(const std::string& host, int port, int& socket);
// A listening socket on `host` (a dotted address or name; empty: the loopback address) and
// `port` (0: any free port), with a backlog of 5.  0 with the socket, -1 when it cannot be made
// or bound.
[[nodiscard]] int tcpListen(const std::string& host, int port, int& socket);
// The port a socket is bound to (0 when unknown).
int socketPort(int socket);
// Accepts one connection; 0 with the new socket, -1 on failure.
[[nodiscard]] int tcpAccept(int listening, int& socket);
// Waits up to `milliseconds` (0: only looks) for the socket to be readable (or writable).
// kNetOk when it is, kNetTimeout when the time ran out, kNetError on failure.
[[nodiscard]] int waitReadable(int socket, int milliseconds);
[[nodiscard]] int waitWritable(int socket, int milliseconds);
// Sends all `size` bytes, the whole buffer within `milliseconds` (a peer that reads slowly cannot
// stretch the wait part by part).  kNetOk, kNetTimeout, kNetClosed or kNetError.
[[nodiscard]] int sendAll(int socket, const void* data, size_t size, int milliseconds);
// Receives exactly `size` bytes, all of them within `milliseconds`.  kNetOk, kNetTimeout,
// kNetClosed (the peer closed before all came) or kNetError.
[[nodiscard]] int receiveAll(int socket, void* data, size_t size, int milliseconds);
// Receives what has arrived, up to `size` bytes, without waiting: kNetOk with `got` (0 when
// nothing is there), kNetClosed when the peer closed and nothing is left, or kNetError.
[[nodiscard]] int receiveSome(int socket, void* data, size_t size, size_t& got);

// Who is at the other end of a connected TCP socket.  `local` tells whether the peer's address
// is one of this machine's (loopback, or an address of one of its interfaces); for a local peer
// `uid` is the owner of the peer's own socket, read from the kernel's tables of TCP sockets
// (/proc/net/tcp and /proc/net/tcp6): the entry whose local end is this socket's remote end and
// whose remote end is this socket's local end, in a connected state.  Returns 0 when known;
// kNetError when the socket's ends cannot be read, or a local peer's socket is not found exactly
// once (a peer that has gone away, or a table that cannot be read).
[[nodiscard]] int socketPeerOwner(int socket, bool& local, uint32_t& uid);
// The real user id of this process.
uint32_t currentUserId();
void closeSocket(int socket);
// A connected pair of local stream sockets (tests and the fuzz target stand in for a debugger
// with one end).  0, or -1 with the last error set.
[[nodiscard]] int socketPair(int& a, int& b);

}  // namespace vxs::platform
