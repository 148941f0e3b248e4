// The stream front end (see streamterm.h).  Each handler checks that the message has the shape
// its operation defines and answers nonzero when it does not.
#include "vxs/screen/streamterm.h"

#include <memory>
#include <string>
#include <string_view>

#include "vxs/clientserver/common.h"
#include "vxs/control/version.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

struct StreamState {
    int out = 1, err = 2;
    std::unique_ptr<platform::LineReader> reader;
    bool canClose = true;
};
StreamState g_stream;

bool isInt(const DecodedMessage& m, int i) {
    return i < m.count && !m.params[i].isData();
}

// A data parameter as text, without the terminating zero it travels with.
bool textParam(const DecodedMessage& m, int i, std::string_view& text) {
    if (i >= m.count) return false;
    const DecodedParam& p = m.params[i];
    if (!p.isData()) {  // a null text travels as the integer 0
        text = {};
        return p.value == 0;
    }
    text = {reinterpret_cast<const char*>(p.data), p.length};
    if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    return true;
}

void writeLine(int fd, std::string_view text) {
    std::string line(text);
    line += '\n';
    // Output that cannot be written (a closed pipe) has nowhere else to go.
    (void)platform::writeAll(fd, line.data(), line.size());
}

int onScreenAction(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 8 || !isInt(m, 1)) return 1;
    return CallFunctionRemote(SCREENACTIONRET, IN_RESP, {rpInt(0)});
}

int onIgnored(const DecodedMessage&, std::span<const RemoteOut>) {
    return 0;
}

int onFatalMessage(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view text;
    if (m.count != 3 || !textParam(m, 1, text)) return 1;
    writeLine(g_stream.err, text);
    return CallFunctionRemote(FATALMSGRET, IN_RESP, {rpInt(0)});
}

int onUnusedId(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0)) return 1;
    // One stream serves one session: identifier 1 is always free.
    return CallFunctionRemote(GETUNUSEDIDRET, IN_RESP, {rpInt(1)});
}

int onSetCanClose(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0)) return 1;
    g_stream.canClose = m.params[0].value != 0;
    return 0;
}

int onConsoleInput(const DecodedMessage& m, std::span<const RemoteOut>) {
    if ((m.count != 2 && m.count != 4) || !isInt(m, 0) || !isInt(m, 1) || m.params[0].value < 0)
        return 1;
    // An offered text: the typed line goes after it, or replaces it when it is selected.
    std::string_view preset;
    if (m.count == 4 && (!textParam(m, 2, preset) || !isInt(m, 3))) return 1;
    if (m.count == 4 && m.params[3].value) preset = {};
    const size_t max = static_cast<size_t>(m.params[0].value);
    std::string line;
    bool truncated = false;
    int32_t status = kInputEnded;
    if (g_stream.reader) {
        const size_t room = preset.size() < max ? max - preset.size() : 0;
        const int rc = g_stream.reader->readLine(line, room, truncated);
        if (rc == 0) {
            status = truncated ? kInputTooLong : kInputLine;
            line.insert(0, preset);
        }
    }
    return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(status), rpText(line.c_str())});
}

int onConsoleOutput(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view text;
    if (m.count != 1 || !textParam(m, 0, text)) return 1;
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    writeLine(g_stream.out, text);
    return 0;
}

int onStatusText(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view text;
    return m.count == 2 && isInt(m, 0) && textParam(m, 1, text) ? 0 : 1;
}

int onStatusError(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 3 || !isInt(m, 0) || !isInt(m, 1) || !isInt(m, 2)) return 1;
    char text[64];
    if (m.params[1].value < 0)
        snprintf(text, sizeof text, "ERROR %d", m.params[0].value);
    else
        snprintf(text, sizeof text, "ERROR %d at %05ld:%02d", m.params[0].value,
                 static_cast<long>(m.params[1].value), m.params[2].value);
    writeLine(g_stream.err, text);
    return 0;
}

struct Binding {
    int op;
    RemoteHandler handler;
};
constexpr Binding kBindings[] = {
    {SCREENACTIONCALL, onScreenAction},
    {SCREENTITLE, onIgnored},
    {ENDSESSION, onIgnored},
    {FATALMSGCALL, onFatalMessage},
    {GETUNUSEDIDCALL, onUnusedId},
    {SETCANCLOSECALL, onSetCanClose},
    {CONSOLEINPUTCALL, onConsoleInput},
    {CONSOLEOUTPUT, onConsoleOutput},
    {STATUSLINETEXT, onStatusText},
    {STATUSLINEERROR, onStatusError},
};

}  // namespace

void attachStreamTerminal(int in, int out, int err) {
    g_stream.out = out;
    g_stream.err = err;
    g_stream.reader = std::make_unique<platform::LineReader>(in);
    g_stream.canClose = true;
    for (const Binding& b : kBindings) setRemoteHandler(b.op, b.handler);
    setTerminalAttached(true);
    // The terminal side introduces itself; the interpreter side stops on a mismatch.
    (void)CallFunctionRemote(VERSIONCHECK, ORIGIN, {rpText(kVersionText)});
}

void detachStreamTerminal() {
    for (const Binding& b : kBindings) setRemoteHandler(b.op, nullptr);
    setTerminalAttached(false);
    g_stream.reader.reset();
}

bool streamCanClose() {
    return g_stream.canClose;
}

}  // namespace vxs
