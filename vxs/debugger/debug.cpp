// The debugger link (see debug.h): the link state, sending and receiving messages, the debug
// log, the gathering of "DEBUG:" output, and what command mode and the run loop ask of it.
#include "vxs/debugger/debug.h"

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>

#include "vxs/clientserver/common.h"
#include "vxs/screen/statline.h"
#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/base/logger.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/net.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

constexpr int kSendMilliseconds = 5000;     // one whole message to the debugger
constexpr int kReceiveMilliseconds = 5000;  // one whole message from it, from its first byte
constexpr size_t kMaxTrace = 2000;
constexpr int kOwnerLookups = 20;  // a local peer's socket looked for, 5 ms apart

struct Link {
    int socket = -1;
    bool inputMode = false;
    bool consoleOff = false;
    bool commandPending = false;
    bool closing = false;
    std::string command;  // the pending command
    int logFd = -1;
    int logMode = 0;      // 0 none, 1 protocol trace and commands, 2 commands only
    int channel = -1;     // the DEBUG: channel whose output is gathered
    std::string output;   // gathered output, at most kDebugOutputBuffer bytes
    int lastSocketError = 0;
    // The message being received: its bytes so far (at most one message: the header, then as
    // many payload bytes as the header announces) and when its first byte came.
    std::string incoming;
    int64_t incomingSince = 0;
};
Link g;

void putWord(std::string& s, uint32_t v) {
    s += static_cast<char>(v >> 24);
    s += static_cast<char>(v >> 16);
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v);
}

uint32_t word(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// One trace line to the log in mode 1.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void trace(const char* format, ...) {
    if (g.logFd < 0 || g.logMode != 1) return;
    char text[kMaxTrace + 2];
    va_list ap;
    va_start(ap, format);
    const int n = vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (n < 0 || static_cast<size_t>(n) > kMaxTrace)
        vxassertion("debug trace line longer than 2000 bytes", __FILE__, __LINE__);
    std::string line(text, static_cast<size_t>(n));
    line += '\n';
    (void)platform::writeAll(g.logFd, line.data(), line.size());
}

void closeLog() {
    if (g.logFd >= 0) (void)platform::closeFile(g.logFd);
    g.logFd = -1;
    g.logMode = 0;
}

void closeLink();

// Sends one message, the gathered output first.  A failure closes the link.
void sendRaw(uint32_t type, std::string_view payload) {
    if (g.socket < 0) return;
    const std::string message = encodeDebugMessage(type, payload);
    const int r = platform::sendAll(g.socket, message.data(), message.size(), kSendMilliseconds);
    if (r != platform::kNetOk) {
        g.lastSocketError = r == platform::kNetError ? static_cast<int>(platform::lastError()) : r;
        // Part of the message may have gone: a goodbye after it would land inside it, and a
        // debugger that stopped reading would hold the session a second time.  The link closes
        // without one.
        g.closing = true;
        closeLink();
    }
}

void flushOutput() {
    if (g.output.empty() || g.socket < 0) return;
    std::string payload = debugIntegers({g.channel});
    payload += g.output;
    g.output.clear();
    trace("VX - DEBUGGER_FILE_DATA channel=%i", g.channel);
    sendRaw(kDbgFileData, payload);
}

void send(uint32_t type, std::string_view payload = {}) {
    flushOutput();
    sendRaw(type, payload);
}

void closeLink() {
    if (g.socket < 0) return;
    const bool wasClosing = g.closing;
    g.closing = true;
    if (!wasClosing) {
        g.output.clear();  // what could not be sent with the rest stays unsent
        trace("VX - TERMINATE_CONNECTION");
        sendRaw(kDbgTerminateConnection, {});
    }
    platform::closeSocket(g.socket);
    g.socket = -1;
    g.closing = false;
    g.consoleOff = false;
    g.commandPending = false;
    g.command.clear();
    g.incoming.clear();
    closeLog();
}

// A new link: the keys a debugger injects start afresh.
void linked(int socket) {
    g.socket = socket;
    g.closing = false;
    g.consoleOff = false;
    g.commandPending = false;
    g.channel = -1;
    g.output.clear();
    g.incoming.clear();
}

// Whether the process at the other end of `socket` may drive this session.  A peer on another
// machine may (the network decides who reaches the port); a peer on this machine only when its
// socket belongs to this user or to root: a debugger can do all that the session's user can, so
// another user of a shared machine must not reach it.  Its socket is looked for a few times, as
// the other side of a connection just made may not be in the kernel's tables yet.
bool peerAllowed(int socket) {
    bool local = false;
    uint32_t uid = 0;
    int r = platform::kNetError;
    for (int i = 0; i < kOwnerLookups && r != platform::kNetOk; ++i) {
        if (i > 0) platform::sleepMilliseconds(5);
        r = platform::socketPeerOwner(socket, local, uid);
    }
    if (r != platform::kNetOk) {
        vxlog(2, "Debugger connection refused: its owner cannot be found");
        return false;
    }
    if (!local || uid == platform::currentUserId() || uid == 0) return true;
    vxlog(2, "Debugger connection refused: it belongs to user %u", uid);
    return false;
}

// The key goes to the terminal side's keyboard (nowhere when no terminal is attached).
void injectKeyCode(int32_t key) {
    if (!terminalAttached() || !remoteHandler(INJECTKEY)) return;
    if (CallFunctionRemote(INJECTKEY, ORIGIN, {rpInt(key)}))
        vxassertion("!CallFunctionRemote(INJECTKEY, ORIGIN, 1, key)", __FILE__, __LINE__);
}

void issueCommand(std::string_view text) {
    trace("DEBUGGER - ISSUE_COMMAND length=%i", static_cast<int>(text.size()));
    if (g.logFd >= 0 && g.logMode != 0) {
        std::string line(text);
        line += '\n';
        (void)platform::writeAll(g.logFd, line.data(), line.size());
    }
    int result = 0;
    if (!g.inputMode) {
        result = kErrNotInputMode;
    } else if (text.empty()) {
        result = 0;
    } else if (text.size() > kDebugMaxCommand) {
        result = kErrCommandTooLong;
    } else {
        g.command.assign(text);
        g.commandPending = true;
        if (!g.consoleOff) injectKeyCode(13);  // a keyboard read in progress ends
    }
    send(kDbgIssueCommandResponse, debugIntegers({result}));
    trace("VX - ISSUE_COMMAND_RESPONSE result=%i", result);
}

}  // namespace

// ---- the wire ----

std::string encodeDebugMessage(uint32_t type, std::string_view payload) {
    std::string m;
    m.reserve(8 + payload.size());
    putWord(m, static_cast<uint32_t>(8 + payload.size()));
    putWord(m, type);
    m.append(payload);
    return m;
}

std::string debugIntegers(std::initializer_list<int32_t> values) {
    std::string s;
    for (int32_t v : values) putWord(s, static_cast<uint32_t>(v));
    return s;
}

bool decodeDebugHeader(const uint8_t* header, uint32_t& type, uint32_t& payloadLength) {
    const uint32_t total = word(header);
    type = word(header + 4);
    if (total < 8 || total - 8 > kDebugMaxPayload) return false;
    payloadLength = total - 8;
    return true;
}

// ---- the link ----

int debugConnect(const std::string& host, int port) {
    if (g.socket >= 0) return kErrDebugLinked;
    int s = -1;
    const int r = platform::tcpConnect(host, port, s);
    if (r == 1) return kErrDebugHost;
    if (r != 0) {
        g.lastSocketError = static_cast<int>(platform::lastError());
        return kErrDebugConnect;
    }
    if (!peerAllowed(s)) {
        platform::closeSocket(s);
        return kErrDebugConnect;
    }
    linked(s);
    return 0;
}

int debugListen(const std::string& host, int port) {
    if (g.socket >= 0) return kErrDebugLinked;
    int listening = -1;
    if (platform::tcpListen(host, port, listening) != 0) return kErrDebugListen;
    if (port == 0) {
        char text[48];
        snprintf(text, sizeof text, "DEBUG LISTEN port %d", platform::socketPort(listening));
        statusShowMessage(text);
    }
    int result = kErrDebugAccept;
    for (;;) {
        yieldControl();
        if (keyboardRequest(9, 0) == kKeyAttention) {
            result = kErrInterrupted;
            break;
        }
        const int w = platform::waitReadable(listening, 10);
        if (w == platform::kNetTimeout) continue;
        int s = -1;
        if (w == platform::kNetOk && platform::tcpAccept(listening, s) == 0) {
            // A connection that may not drive this session is closed unread, and the wait goes
            // on for the debugger that may.
            if (!peerAllowed(s)) {
                platform::closeSocket(s);
                continue;
            }
            linked(s);
            result = 0;
        }
        break;
    }
    platform::closeSocket(listening);
    return result;
}

void debugDisconnect() {
    closeLink();
}

bool debugLinkOpen() {
    return g.socket >= 0;
}

// Receives the link's messages without ever waiting for one: what has arrived is added to the
// message being received, and a complete message is handled.  A message that is not complete
// within its time limit, counted from its first byte, ends the link, so that a debugger sending
// slowly never holds up the session.
void debugPoll() {
    if (g.socket < 0 || g.closing) return;
    uint32_t type = 0, length = 0;
    auto complete = [&] {
        return g.incoming.size() >= 8 &&
               decodeDebugHeader(reinterpret_cast<const uint8_t*>(g.incoming.data()), type,
                                 length) &&
               g.incoming.size() == 8 + size_t{length};
    };
    while (!complete()) {
        // Only the bytes of this message are taken: the header, then its payload.
        size_t want = 8 - std::min<size_t>(g.incoming.size(), 8);
        if (want == 0) want = 8 + size_t{length} - g.incoming.size();
        const size_t had = g.incoming.size();
        g.incoming.resize(had + want);
        size_t got = 0;
        const int r = platform::receiveSome(g.socket, g.incoming.data() + had, want, got);
        g.incoming.resize(had + got);
        if (r != platform::kNetOk) {
            g.lastSocketError =
                r == platform::kNetError ? static_cast<int>(platform::lastError()) : r;
            closeLink();
            return;
        }
        if (had == 0 && got > 0) g.incomingSince = platform::monotonicMicroseconds();
        if (g.incoming.size() >= 8 &&
            !decodeDebugHeader(reinterpret_cast<const uint8_t*>(g.incoming.data()), type,
                               length)) {
            // A length no message can have: nothing after it can be trusted.
            trace("DEBUGGER - bad message length.  Terminating connection.");
            closeLink();
            return;
        }
        if (got == 0) {
            // Nothing more has arrived: the message waits for the next poll, within its time.
            if (!g.incoming.empty() && platform::monotonicMicroseconds() - g.incomingSince >
                                           int64_t{kReceiveMilliseconds} * 1000) {
                trace("DEBUGGER - message not complete in time.  Terminating connection.");
                g.lastSocketError = platform::kNetTimeout;
                closeLink();
            }
            return;
        }
    }
    const std::string payload = g.incoming.substr(8);
    g.incoming.clear();
    debugHandleMessage(type, payload);
}

void debugHandleMessage(uint32_t type, std::string_view payload) {
    switch (type) {
        case kDbgForceBreak:
            trace("DEBUGGER - FORCE_BREAK");
            injectKeyCode(kKeyAttention);
            send(kDbgForceBreakResponse);
            trace("VX - FORCE_BREAK_RESPONSE");
            return;
        case kDbgIssueCommand: issueCommand(payload); return;
        case kDbgTerminate:
            g.closing = true;  // the debugger hangs up: nothing is sent back
            closeLink();
            return;
        default:
            trace("DEBUGGER - Unknown debug connection.  Terminating connection.");
            closeLink();
            return;
    }
}

int debugConsole(bool on) {
    if (g.socket < 0) return kErrUnrecognized;
    g.consoleOff = !on;
    if (!on) statusShowMessage("CONSOLE OFF");
    return 0;
}

bool debugConsoleOff() {
    return g.consoleOff;
}

int debugLog(int mode, std::string_view file) {
    closeLog();
    if (mode == 0) return 0;
    if (file.empty()) return kErrUnrecognized;
    std::string path;
    if (int err = mapFileName(file, path)) return err;
    int fd = -1;
    if (platform::openFile(path, platform::Access::kReadWrite, platform::Create::kCreateAlways, fd) != 0)
        return lastOsError();
    g.logFd = fd;
    g.logMode = mode;
    return 0;
}

// ---- command mode ----

void debugEnterInputMode(int status, int error) {
    g.inputMode = true;
    if (g.socket < 0) return;
    trace("VX - ENTER_INPUT_MODE status=%i, error code=%i", status, error);
    send(kDbgEnterInputMode, debugIntegers({status, error}));
}

bool debugWaitForConsole() {
    while (g.consoleOff) {
        if (g.commandPending) return false;
        if (g.socket < 0) {
            g.consoleOff = false;
            return true;
        }
        yieldControl();
    }
    return true;
}

bool debugTakeCommand(std::string& line) {
    g.inputMode = false;
    if (!g.commandPending) return false;
    line = std::move(g.command);
    g.command.clear();
    g.commandPending = false;
    (void)keyboardRequest(3, 0);  // the debugger's command replaces what was typed
    return true;
}

bool debugCommandPending() {
    return g.commandPending;
}

// ---- notifications ----

void debugReportSyntaxIndent(int indent) {
    if (g.socket < 0) return;
    trace("VX - SYNTAX_ERROR_INDENT indent=%i", indent);
    send(kDbgSyntaxErrorIndent, debugIntegers({indent}));
}

void debugReportLineBreak(int line, int clause) {
    if (g.socket < 0) return;
    trace("VX - DEBUG_LINE_BREAK line=%i, clause=%i", line, clause);
    send(kDbgLineBreak, debugIntegers({line, clause}));
}

void debugReportVariableBreak(std::string_view name) {
    if (g.socket < 0) return;
    trace("VX - DEBUG_VARIABLE_BREAK");
    send(kDbgVariableBreak, name);
}

void debugReportFunctionBreak(std::string_view name) {
    if (g.socket < 0) return;
    trace("VX - DEBUG_FUNCTION_BREAK");
    send(kDbgFunctionBreak, name);
}

void debugReportBeginBreak() {
    if (g.socket < 0) return;
    trace("VX - DEBUG_BEGIN_BREAK");
    send(kDbgBeginBreak);
}

size_t debugChannelWrite(int channel, const uint8_t* bytes, size_t length) {
    if (g.socket < 0) return length;
    if (channel != g.channel) {
        flushOutput();
        g.channel = channel;
    }
    if (g.output.size() + length > kDebugOutputBuffer) flushOutput();
    if (length <= kDebugOutputBuffer) {
        g.output.append(reinterpret_cast<const char*>(bytes), length);
    } else if (g.socket >= 0) {
        std::string payload = debugIntegers({channel});
        payload.append(reinterpret_cast<const char*>(bytes), length);
        trace("VX - DEBUGGER_FILE_DATA channel=%i", channel);
        sendRaw(kDbgFileData, payload);
    }
    return length;
}

int debugAttachSocket(int socket) {
    if (g.socket >= 0) return kErrDebugLinked;
    linked(socket);
    return 0;
}

int debugLastSocketError() {
    return g.lastSocketError;
}

namespace {
class DebugChannelStream final : public DeviceStream {
  public:
    explicit DebugChannelStream(int channel) : channel_(channel) {}
    int writeLine(std::string_view line, std::string_view lineEnd) override {
        std::string bytes(line);
        bytes += lineEnd;
        (void)debugChannelWrite(channel_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size());
        return 0;
    }
    int finish(std::string&) override { return 0; }

  private:
    int channel_;
};
}  // namespace

int openDebugChannelDevice(const DeviceRequest& request, std::unique_ptr<DeviceStream>& out) {
    out = std::make_unique<DebugChannelStream>(request.channel);
    return 0;
}

}  // namespace vxs
