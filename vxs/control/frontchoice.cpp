// The choice of the front end (see frontchoice.h).
#include "vxs/control/frontchoice.h"

#include <cstring>
#include <vector>

#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {

FrontEndChoice g_choice = FrontEndChoice::Automatic;
WindowAttacher g_attacher = nullptr;

}  // namespace

int frontEndRefused(const std::string& text) {
    const std::string line = text + "\n";
    (void)platform::writeAll(platform::kStderr, line.data(), line.size());
    return 99;
}

bool frontEndFromEnvironment(FrontEndChoice& choice, std::string& message) {
    choice = FrontEndChoice::Automatic;
    std::string value;
    if (!platform::environmentValue("VX_FRONTEND", value) || value.empty()) return true;
    if (value == "gui") {
        choice = FrontEndChoice::Window;
    } else if (value == "terminal") {
        choice = FrontEndChoice::Terminal;
    } else if (value == "stream") {
        choice = FrontEndChoice::Stream;
    } else {
        message = "VX_FRONTEND=" + value + ": the front ends are gui, terminal and stream.";
        return false;
    }
    return true;
}

bool displayAvailable() {
    std::string value;
    return (platform::environmentValue("DISPLAY", value) && !value.empty()) ||
           (platform::environmentValue("WAYLAND_DISPLAY", value) && !value.empty());
}

bool windowWanted() {
    const platform::StreamKind in = platform::streamKind(platform::kStdin);
    return (in == platform::StreamKind::NullDevice || in == platform::StreamKind::Closed) &&
           displayAvailable();
}

std::string windowExecutable() {
    char buffer[4096];
    if (!platform::moduleFileName(buffer, sizeof buffer)) return {};
    std::string path = buffer;
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           "veltrix-window";
}

int chooseFrontEnd(int argc, char** argv) {
    FrontEndChoice choice;
    std::string message;
    if (!frontEndFromEnvironment(choice, message)) return frontEndRefused(message);
    const bool asked = choice == FrontEndChoice::Window;
    if (choice == FrontEndChoice::Automatic && windowWanted()) choice = FrontEndChoice::Window;
    if (choice != FrontEndChoice::Window) {
        setFrontEndChoice(choice);
        return -1;
    }
    if (!displayAvailable()) return frontEndRefused(kNoDisplay);
    const std::string path = windowExecutable();
    if (path.empty() || !platform::fileExists(path.c_str())) {
        // Chosen only because standard input is empty, the session goes on as a stream.
        if (!asked) {
            setFrontEndChoice(FrontEndChoice::Automatic);
            return -1;
        }
        return frontEndRefused("VX_FRONTEND=gui: the window front end is not installed (" + path +
                               ").");
    }
    std::vector<std::string> args{path};
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    (void)platform::replaceProcess(path, args);
    char reason[256] = "";
    (void)platform::errorMessage(platform::lastError(), reason, sizeof reason);
    return frontEndRefused("The window front end could not start (" + path + "): " + reason);
}

void setFrontEndChoice(FrontEndChoice choice) {
    g_choice = choice;
}
FrontEndChoice frontEndChoice() {
    return g_choice;
}
void setWindowAttacher(WindowAttacher attach) {
    g_attacher = attach;
}
WindowAttacher windowAttacher() {
    return g_attacher;
}

}  // namespace vxs
