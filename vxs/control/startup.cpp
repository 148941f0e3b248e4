// Start-up sequence (see startup.h).
#include "vxs/control/startup.h"

#include "vxs/command/command.h"
#include "vxs/compiler/pcb.h"
#include "vxs/config/config.h"
#include "vxs/config/statline.h"
#include "vxs/control/entry.h"
#include "vxs/control/utils.h"
#include "vxs/control/version.h"
#include "vxs/debugger/logger.h"
#include "vxs/registry/ktuser.h"
#include "vxs/screen/streamterm.h"
#include "vxs/screen/terminal.h"

#include <string_view>

namespace vxs {

namespace {

CommandLineArgs g_args;

// A whole decimal number of at most 9 digits.
bool wholeNumber(std::string_view s, int& value) {
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

}  // namespace

CommandLineArgs parseCommandLine(int argc, char** argv) {
    CommandLineArgs a;
    for (int i = 1; i < argc; ++i) {
        const std::string_view w = argv[i] ? argv[i] : "";
        int n = 0;
        if (w.size() > 1 && w[0] == '-') {
            const std::string_view rest = w.substr(1);
            if (wholeNumber(rest, n))
                a.requestedWsid = n;
            else if (rest[0] == '@')
                a.startupText = std::string(rest.substr(1));
            else if ((rest[0] == 'M' || rest[0] == 'm') && wholeNumber(rest.substr(1), n))
                continue;  // accepted and ignored
            else if (rest == "sh")
                continue;
            else
                a.configFile = std::string(rest);
        } else if (w.size() > 1 && w[0] == '+' && wholeNumber(w.substr(1), n)) {
            a.wsidMode = n;
        } else if (!w.empty() && w[0] == '@') {
            a.startupText = std::string(w.substr(1));
        } else {
            a.initialCommand.append(w).append(" ");
        }
    }
    const size_t first = a.initialCommand.find_first_not_of(' ');
    a.initialCommand = first == std::string::npos ? "" : a.initialCommand.substr(first);
    while (!a.initialCommand.empty() && a.initialCommand.back() == ' ') a.initialCommand.pop_back();
    return a;
}

const CommandLineArgs& commandLineArgs() {
    return g_args;
}

void startup(int argc, char** argv) {
    vxlog(kLogProgress, "Entering startup.");
    setRunStatus(RUNSTAT_READY);
    vxlog(kLogProgress, "Processing command line.");
    g_args = parseCommandLine(argc, argv);

    // Until the full-screen front end exists, the stream front end serves a terminal as well.
    vxlog(kLogProgress, "Initializing screen.");
    attachStreamTerminal();
    screenAction(kScreenOpen);

    vxlog(kLogProgress, "Getting unused session identifier.");
    const int session = terminalUnusedId(0);
    if (session == 0) vxassertion("fieldsconfig.sessionID", __FILE__, __LINE__);

    vxlog(kLogProgress, "Processing config file.");
    processConfig(g_args.configFile);
    vxlog(kLogProgress, "Config file has been processed.");

    // Without a configured work path, work files go to the start-up directory.
    setWorkPath(startingDirectory());

    vxlog(kLogProgress, "Assigning WSID.");
    setWorkstation(g_args.requestedWsid > 0 && g_args.requestedWsid < 1000 ? g_args.requestedWsid : 1,
                   session);
    vxlog(kLogProgress, "WSID has been assigned.");

    pcb* first = nullptr;
    if (createPCB(kDefaultLineCapacity, kDefaultDictCapacity, kReleaseText, &first) != 0)
        fatalError("NOCORE", 99, 0);
    statusShowMessage(kReleaseText);

    // The initial command is the first line command mode carries out.
    if (!g_args.initialCommand.empty()) queueInitialCommand(g_args.initialCommand);
    setActionCode(kActCommand);
    vxlog(kLogProgress, "Startup processing has finished.");
}

}  // namespace vxs
