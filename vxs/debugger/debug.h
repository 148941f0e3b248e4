// The debugger link: one TCP connection to an external debugging front end, which types
// commands into command mode, forces breaks into a running program and is told when command
// mode waits for input, a break point fires, a typed line has a syntax error, and what programs
// write to "DEBUG:" devices.  Serviced on the main thread at every wait (debugPoll).
//
// Wire format (docs/debugger.md): each message is an 8-byte header, the total length (header
// included) and the message type as 32-bit big-endian numbers, then the payload; integers in
// payloads are 32-bit big-endian.  A received message whose length is below 8 or above
// 8 + kDebugMaxPayload is refused and the link closed.
//
// Who may link: a debugger on another machine, or on this machine a process of the same user (or
// root), found through the kernel's tables of TCP sockets; any other local peer is refused before
// a byte of it is read.  Messages are received piece by piece without waiting; each must be
// complete within 5 seconds of its first byte, and each sent message within 5 seconds in all.
//
// States: no link (socket -1) -> linked (DEBUG CONNECT or LISTEN) -> no link (DEBUG DISCONNECT,
// TERMINATE from the debugger, an unknown message, a failed send or receive, a message not
// complete in time).  The closing flag is set only while the link is torn down, so that a send
// failing then does not recurse.
#pragma once

#include <cstddef>
#include <memory>
#include <cstdint>
#include <string>
#include <string_view>

#include "vxs/datafiles/device.h"

namespace vxs {

// Message types from the debugger.
inline constexpr uint32_t kDbgForceBreak = 1, kDbgIssueCommand = 2, kDbgTerminate = 200;
// Message types to the debugger.
inline constexpr uint32_t kDbgForceBreakResponse = 101, kDbgEnterInputMode = 102,
                          kDbgIssueCommandResponse = 103, kDbgFileData = 104,
                          kDbgVariableBreak = 105, kDbgFunctionBreak = 106, kDbgLineBreak = 107,
                          kDbgBeginBreak = 108, kDbgSyntaxErrorIndent = 109,
                          kDbgTerminateConnection = 200;
inline constexpr uint32_t kDebugMaxPayload = 65536;
inline constexpr int kDebugDefaultPort = 8556;
inline constexpr size_t kDebugOutputBuffer = 2000;
inline constexpr size_t kDebugMaxCommand = 800;

// ---- the wire ----
// A whole message: header and payload.
std::string encodeDebugMessage(uint32_t type, std::string_view payload);
// A payload of 32-bit big-endian integers.
std::string debugIntegers(std::initializer_list<int32_t> values);
// The header's fields; false when its length is below 8 or above 8 + kDebugMaxPayload.
bool decodeDebugHeader(const uint8_t* header, uint32_t& type, uint32_t& payloadLength);

// ---- the link ----
// Connects to a debugger at host:port (empty host: this machine).  420 (a link is open), 422
// (the host cannot be resolved), 424 (the connection fails, or the debugger on this machine
// belongs to another user).
[[nodiscard]] int debugConnect(const std::string& host, int port);
// Waits for a debugger to connect to port on `host` (empty: the loopback address only; a host
// named explicitly, such as 0.0.0.0, is bound as named).  420, 426 (the socket cannot be made or
// bound), 9999 (the attention key while waiting), 428 (accepting failed).  A connection from
// another user's process on this machine is closed and the wait goes on.  The port chosen when
// `port` is 0 is written to the status line as "DEBUG LISTEN port n".
[[nodiscard]] int debugListen(const std::string& host, int port);
// Closes the link (telling the debugger, TERMINATE_CONNECTION) and the debug log.
void debugDisconnect();
bool debugLinkOpen();
// Receives what has arrived without waiting and services at most one complete message; ends a
// link whose message is not complete 5 seconds after its first byte.  Cheap without a link.
void debugPoll();
// DEBUG CONSOLE ON/OFF: 1006 without a link.
[[nodiscard]] int debugConsole(bool on);
bool debugConsoleOff();
// Closes the debug log, then (mode 1: the protocol trace and the commands; 2: the commands only;
// 0: none) opens `file` as the new one.  0, 1006 for a mode without a file, or a file error.
[[nodiscard]] int debugLog(int mode, std::string_view file);

// ---- command mode ----
// Before each command line is read: input mode on, ENTER_INPUT_MODE (run status, last error).
void debugEnterInputMode(int status, int error);
// With the console off: waits (yielding) until the debugger issued a command (false: the
// keyboard must not be read) or the link is gone (the console is on again: true).
bool debugWaitForConsole();
// After the read: input mode off; the debugger's pending command, when there is one, replaces
// `line` (true) and the keys typed ahead are dropped.
bool debugTakeCommand(std::string& line);
// Whether the debugger issued a command that command mode has not taken yet.
bool debugCommandPending();

// ---- notifications (nothing without a link) ----
void debugReportSyntaxIndent(int indent);
void debugReportLineBreak(int line, int clause);
void debugReportVariableBreak(std::string_view name);
void debugReportFunctionBreak(std::string_view name);
void debugReportBeginBreak();

// Output of a "DEBUG:n" device (n 0..9999): gathered in 2000-byte buffers per channel and sent
// as DEBUGGER_FILE_DATA.  Returns `length`.  Without a link the bytes are dropped.
size_t debugChannelWrite(int channel, const uint8_t* bytes, size_t length);
// The debugger-channel device of the data files (datafiles/device.h): "DEBUG:n" writes to
// channel n through debugChannelWrite.
[[nodiscard]] int openDebugChannelDevice(const DeviceRequest& request,
                                         std::unique_ptr<DeviceStream>& out);

// Handles one received message as the poll does (tests and the fuzz target).
void debugHandleMessage(uint32_t type, std::string_view payload);
// Takes a connected socket as the link (tests and the fuzz target); 420 when one is open.
[[nodiscard]] int debugAttachSocket(int socket);
// The last socket error (the platform's, 10035 a timed-out wait, 10054 a closed peer).
int debugLastSocketError();

}  // namespace vxs
