// The DEBUG command: opening and closing the debugger link, the console switch, the debug log,
// the profiler's words and single steps of the suspended program under the debugger.
#include "vxs/command/cmdshared.h"
#include "vxs/errors/errors.h"
#include "vxs/debugger/debug.h"
#include "vxs/debugger/profiler.h"
#include "vxs/interpreter/run.h"

namespace vxs {

namespace {

constexpr const char* kDebugWords[] = {"CONNECT", "CONSOLE", "DISCONNECT", "LISTEN",
                                       "LOG",     "PROFILE", "STEP"};

// The first word of `args` (upper-cased) and the text after it.
std::string nextWord(std::string_view& args) {
    args = trimBlanks(args);
    size_t n = 0;
    while (n < args.size() && args[n] != ' ') ++n;
    std::string w = upperCase(args.substr(0, n));
    args = trimBlanks(args.substr(n));
    return w;
}

// "[host][:port]" or "port": an empty host stays empty, a port missing is the default.  False
// when the port is not a number from 0 to 65535.
bool hostAndPort(std::string_view text, bool portAlone, std::string& host, int& port) {
    host.clear();
    port = kDebugDefaultPort;
    std::string_view portText;
    const size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        host.assign(text.substr(0, colon));
        portText = text.substr(colon + 1);
    } else if (portAlone) {
        portText = text;
    } else {
        host.assign(text);
    }
    if (portText.empty()) return true;
    uint32_t v = 0;
    if (!parseDecimal(portText, 65535, v)) return false;
    port = static_cast<int>(v);
    return true;
}

// DEBUG STEP INTO|OVER CLAUSE|LINE: the suspended program runs one clause or line.
int debugStep(std::string_view args) {
    const std::string how = nextWord(args);
    const std::string unit = nextWord(args);
    if ((how != "INTO" && how != "OVER") || (unit != "CLAUSE" && unit != "LINE") || !args.empty())
        return kErrUnrecognized;
    if (how == "INTO" && unit == "CLAUSE") t.stepmode = kStepInto;
    else if (how == "OVER" && unit == "CLAUSE") t.stepmode = kStepOver;
    else if (how == "OVER") t.stepmode = kStepLine;
    // INTO LINE keeps the granularity set before.
    t.breakflags |= kBreakRequested;
    noteWatchChange();
    return commandGo("");
}

}  // namespace

int commandDebug(std::string_view args) {
    const std::string word = nextWord(args);
    int which = -1;
    for (int i = 0; i < static_cast<int>(std::size(kDebugWords)); ++i)
        if (word == kDebugWords[i]) which = i;
    std::string host;
    int port = 0;
    switch (which) {
        case 0:  // CONNECT [host][:port]
            if (!hostAndPort(args, false, host, port)) return kErrDebugHost;
            return debugConnect(host, port);
        case 1: {  // CONSOLE ON|OFF
            const std::string onOff = nextWord(args);
            if ((onOff != "ON" && onOff != "OFF") || !args.empty()) return kErrUnrecognized;
            return debugConsole(onOff == "ON");
        }
        case 2:  // DISCONNECT
            if (!args.empty()) return kErrUnrecognized;
            debugDisconnect();
            return 0;
        case 3:  // LISTEN [host:][port]: the loopback address unless a host is named
            if (!hostAndPort(args, true, host, port)) return kErrDebugListen;
            return debugListen(host, port);
        case 4: {  // LOG [COMMANDS] file | OFF
            std::string_view file = args;
            const std::string first = nextWord(file);
            if (first == "OFF") return file.empty() ? debugLog(0, {}) : kErrUnrecognized;
            return first == "COMMANDS" ? debugLog(2, file) : debugLog(1, args);
        }
        case 5: {  // PROFILE SAMPLED | TIMED | STOP
            const std::string mode = nextWord(args);
            if ((mode != "SAMPLED" && mode != "TIMED" && mode != "STOP") || !args.empty())
                return kErrUnrecognized;
            if (mode == "STOP")
                profileStop();
            else
                profileStart(mode);
            return 0;
        }
        case 6: return debugStep(args);
        default: return kErrUnrecognized;
    }
}

}  // namespace vxs
