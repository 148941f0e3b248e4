// Start-up sequence (see startup.h).
#include "vxs/control/startup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

#include "vxs/base/logger.h"
#include "vxs/base/process.h"
#include "vxs/base/version.h"
#include "vxs/clientserver/remoteops.h"
#include "vxs/command/command.h"
#include "vxs/compiler/pcb.h"
#include "vxs/config/config.h"
#include "vxs/configfile/configfile.h"
#include "vxs/control/entry.h"
#include "vxs/control/frontchoice.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/interpreter/flow.h"
#include "vxs/interpreter/strsub.h"
#include "vxs/interpreter/values.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/printing/spool.h"
#include "vxs/registry/ktserver.h"  // ktLockOffset
#include "vxs/registry/ktsession.h"
#include "vxs/registry/ktuser.h"
#include "vxs/screen/cursesterm.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/streamterm.h"
#include "vxs/screen/terminal.h"
#include "vxs/storage/file_os.h"

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
        if (w.starts_with("--")) {
            // Long options are never names: only --help and --version exist.
            const bool help = w == "--help", version = w == "--version";
            if (a.request == CommandLineRequest::kSession ||
                (a.request == CommandLineRequest::kUnknownOption && (help || version))) {
                a.request = help      ? CommandLineRequest::kHelp
                            : version ? CommandLineRequest::kVersion
                                      : CommandLineRequest::kUnknownOption;
                if (!help && !version) a.unknownOption = std::string(w);
            }
            continue;
        }
        if (w.size() > 1 && w[0] == '-') {
            const std::string_view rest = w.substr(1);
            // A workstation switch of the configuration ("-WSID=UNIQUE") sets the selection
            // mode; it is not also a configuration file name.
            if (a.wsidMode < 0) {
                const int mode = parseConfigSwitch(rest);
                if (mode >= 0) {
                    a.wsidMode = mode;
                    continue;
                }
            }
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

std::string usageText() {
    return "Usage: veltrix [switches] [command ...]\n"
           "Starts a Veltrix! workstation session in command mode, where numbered program\n"
           "lines are typed, listed, saved, loaded and run.\n"
           "\n"
           "  -n             request workstation number n (1 to 999; -0 requests none)\n"
           "  +n             workstation selection mode n (1 WSID=SESSION, 2 WSID=UNIQUE)\n"
           "  -WSID=SESSION, -WSID=UNIQUE\n"
           "                 the configuration statements of those names\n"
           "  -file          the configuration file (default: vxconfig.sys, then\n"
           "                 ktconfig.sys, beside the executable); the last one wins\n"
           "  @text, -@text  start-up text\n"
           "  -Mn, -sh       accepted and ignored\n"
           "  command ...    the first command carried out, for example: veltrix RUN PAY\n"
           "  --help         show this text and exit\n"
           "  --version      show the version and exit\n"
           "\n"
           "When standard input is not a terminal, each input line is one typed line,\n"
           "console lines go to standard output and errors to standard error; the end of\n"
           "input acts as SYSTEM.  Type HELP (or press F1) in the session for help.\n"
           "More: the manual page veltrix(1) and the documents in share/doc/veltrix of\n"
           "the installation, getting-started.md first.\n";
}

std::string versionText() {
    return std::string(kReleaseText) + "\n";
}

int answerCommandLineRequest(int argc, char** argv) {
    const CommandLineArgs a = parseCommandLine(argc, argv);
    std::string text;
    int status = 0, fd = 1;
    switch (a.request) {
        case CommandLineRequest::kSession: return -1;
        case CommandLineRequest::kHelp: text = usageText(); break;
        case CommandLineRequest::kVersion: text = versionText(); break;
        case CommandLineRequest::kUnknownOption:
            text = "veltrix: unknown option " + a.unknownOption +
                   " (veltrix --help lists the command line)\n";
            status = 2;
            fd = 2;
            break;
    }
    // A closed or full standard output cannot be told of otherwise: the status says it.
    if (platform::writeAll(fd, text.data(), text.size()) != 0) return status ? status : 1;
    return status;
}

namespace {

// The directory of the workstation registry: KTSERVER when configured (through the drive table,
// so that "C:\\shared" style names work; a name ending in ktserver.dat stands for its
// directory), else the current directory at start-up.
std::string registryDirectory(const std::string& defaultDirectory) {
    const std::string& configured = registryPath();
    if (configured.empty()) return defaultDirectory;
    std::string path;
    if (mapFileName(configured, path) != 0) path = configured;
    // KTSERVER may name the file itself rather than its directory.
    const size_t slash = path.find_last_of('/');
    const std::string last = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string_view file = "ktserver.dat";
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    };
    if (std::equal(last.begin(), last.end(), file.begin(), file.end(), sameLetter))
        path = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return path;
}

// The registry could not give a workstation number yet (all allowed are in use, or it is busy):
// at a terminal the operator may try again; a script cannot wait for one, so it ends.
bool retryRegistry(const std::string& message) {
    if (!platform::isTerminal(0) || !attachedFrontEnd()) return false;
    for (size_t at = 0; at < message.size();) {
        const size_t end = message.find('\n', at);
        consoleOutput(
            std::string_view(message).substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    consoleOutput("Try again (Y/N)?");
    std::string answer;
    if (attachedFrontEnd()->readLine(answer, 10, kInputStatement, "", false) != kInputLine)
        return false;
    return !answer.empty() && (answer[0] == 'Y' || answer[0] == 'y');
}

// Joins the workstation registry: the session number on this machine, then the WSID.  Every
// failure is fatal; the registry's own messages say why.
void assignWorkstation(const std::string& defaultDirectory) {
    RegistryRequest req;
    req.directory = registryDirectory(defaultDirectory);
    req.lockingMode = lockingModeOfOption(lockOptionValue());
    req.commandLineId = g_args.requestedWsid;
    req.configId = wsidRequest();
    req.configIncrement = wsidIncrement();
    req.wsidSession = wsidSession();
    req.wsidUnique = wsidUnique() || g_args.wsidMode == 2;
    if (g_args.wsidMode == 1) req.wsidSession = true;
    req.maxUsers = maxWorkstations();
    req.login = loginName();
    for (;;) {
        RegistryResult out;
        std::string message;
        const int rc = joinRegistry(req, out, message);
        if (rc < 0)
            fatalError(message.empty() ? "Couldn't assign a workstation ID." : message.c_str(), 99,
                       0);
        if (rc > 0) {
            if (retryRegistry(message)) continue;
            fatalError(message.c_str(), 99, 0);
        }
        if (out.wsid < 1 || out.wsid > 999) {
            char text[80];
            snprintf(text, sizeof text, "Workstation ID %d is invalid--must be 1-999.", out.wsid);
            fatalError(text, 99, 0);
        }
        if (setShareIdentity(ktLockOffset(), out.wsid, out.session) != 0)
            vxassertion("setShareIdentity", __FILE__, __LINE__);
        setSubstitution("[SESSION]", out.sessionText);
        setSubstitution("[WSID]", out.wsidText);
        // The fields record carries the workstation to the terminal side and to STATUS.
        fieldsConfig().wsid = out.wsid;
        fieldsConfig().sessionID = out.session;
        // The start-up window: this workstation and how many are on the network.
        char splash[80];
        snprintf(splash, sizeof splash, "Workstation %d, %d stations", out.wsid, out.userCount);
        statusShowMessage(splash);
        return;
    }
}

// Attaches the front end frontEndChoice() names; one that was asked for and cannot serve ends
// the process with a message (exit status 99) before anything is taken.
void attachChosenFrontEnd() {
    auto refuse = [](const char* text) { platform::exitProcess(frontEndRefused(text)); };
    switch (frontEndChoice()) {
        case FrontEndChoice::Window: {
            const WindowAttacher attach = windowAttacher();
            if (!attach || !attach()) refuse("The window front end could not open its window.");
            return;
        }
        case FrontEndChoice::Terminal:
            if (!attachCursesTerminal())
                refuse(
                    "VX_FRONTEND=terminal: standard input and output are not a terminal that "
                    "can show the screen.");
            return;
        case FrontEndChoice::Stream: attachStreamTerminal(); return;
        case FrontEndChoice::Automatic:
            if (!attachCursesTerminal()) attachStreamTerminal();
            return;
    }
}

}  // namespace

void startup(int argc, char** argv) {
    vxlog(kLogProgress, "Entering startup.");
    connectLayers();
    // Data-file locks sit at the default lock base until OPTION 33 moves them.
    (void)setLockingMode(2);
    setSliceWaiter(timedWait);
    // The spool command's [PROGRAM]: the file name of the program being run or edited.
    setSpoolProgramSource([]() -> std::string {
        return pchain.curpcb ? std::string(pchain.curpcb->progname) : std::string();
    });
    setRunStatus(RUNSTAT_READY);
    vxlog(kLogProgress, "Processing command line.");
    g_args = parseCommandLine(argc, argv);

    // The front end chosen before start-up (frontchoice.h); by default a terminal that can show
    // the whole console gets the full-screen front end, pipes, files and line terminals the
    // stream front end.
    vxlog(kLogProgress, "Initializing screen.");
    attachChosenFrontEnd();
    screenAction(kScreenOpen);

    // The session number comes from the registry's session layer, which needs to know where
    // the registry lives: it is taken with the workstation number below.
    vxlog(kLogProgress, "Processing config file.");
    resetConfiguration();
    // Settings of the command line win over the configuration's: its WSID over WSID
    // statements, its command over EXECUTE.
    if (g_args.requestedWsid > 0) setCommandLineWsid(g_args.requestedWsid);
    if (!g_args.initialCommand.empty()) setExecuteCommand(g_args.initialCommand, "command line");
    (void)processConfig(g_args.configFile);
    vxlog(kLogProgress, "Config file has been processed.");

    const std::string& startPath = startingDirectory();
    if (startPath.empty()) fatalError("Startup path could not be determined.", 99, 0);
    // A relative work path is taken from the start-up directory, then made absolute (and its
    // "." and ".." parts resolved) into a separate string: the name must not be cleared while
    // it is read.
    const std::string configured = configuredWorkPath();
    std::string work = startPath;
    if (!configured.empty()) {
        const std::string named = configured[0] == '/' ? configured : startPath + "/" + configured;
        if (osFullPath(named, work) != 0)
            fatalError("Work file path could not be determined.", 99, 0);
    }
    setWorkPath(work);
    std::string defaultDirectory;
    if (osCurrentDirectory(defaultDirectory) != 0)
        vxassertion("ktgetCurrentPath(dfpath, VX_MAX_PATH) != -1", __FILE__, __LINE__);

    vxlog(kLogProgress, "Assigning WSID.");
    assignWorkstation(defaultDirectory);
    // The window's title names the workstation, so that the sessions of one desktop are told apart.
    char title[64];
    snprintf(title, sizeof title, "Veltrix! - workstation %d", workstationId());
    terminalSetTitle(title);
    vxlog(kLogProgress, "WSID has been assigned.");
    vxlog(kLogProgress, "Splash info set.");

    // The stacks at their configured sizes (processConfig handed the other settings over).
    const ConfigLimits& limits = configLimits();
    if (allocateStacks(limits.rpnStack, limits.workStack) != 0) fatalError("NOCORE", 99, 0);

    pcb* first = nullptr;
    if (createPCB(kDefaultLineCapacity, kDefaultDictCapacity, kReleaseText, &first) != 0)
        fatalError("NOCORE", 99, 0);
    statusShowMessage(kReleaseText);

    // The command line's command, else the configuration's EXECUTE, is the first line command
    // mode carries out.
    if (!executeCommand().empty()) queueInitialCommand(executeCommand());
    setActionCode(kActCommand);
    vxlog(kLogProgress, "Startup processing has finished.");
}

}  // namespace vxs
