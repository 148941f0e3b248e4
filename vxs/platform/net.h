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
// Sends all `size` bytes, each part within `milliseconds`.  kNetOk, kNetTimeout, kNetClosed or
// kNetError.
[[nodiscard]] int sendAll(int socket, const void* data, size_t size, int milliseconds);
// Receives exactly `size` bytes, each part within `milliseconds`.  kNetOk, kNetTimeout,
// kNetClosed (the peer closed before all came) or kNetError.
[[nodiscard]] int receiveAll(int socket, void* data, size_t size, int milliseconds);
void closeSocket(int socket);
// A connected pair of local stream sockets (tests and the fuzz target stand in for a debugger
// with one end).  0, or -1 with the last error set.
[[nodiscard]] int socketPair(int& a, int& b);

}  // namespace vxs::platform
