// The profiler (see profiler.h): the mode and start of a running profile; STOP reports the time
// it ran as "Profile (mode): s.sss seconds" on the console.
#include "vxs/debugger/profiler.h"

#include <cstdio>
#include <string>

#include "vxs/control/errors.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {
std::string g_mode;
int64_t g_start = 0;

std::string upperWord(std::string_view& args) {
    while (!args.empty() && args.front() == ' ') args.remove_prefix(1);
    std::string w;
    while (!args.empty() && args.front() != ' ') {
        char c = args.front();
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        w += c;
        args.remove_prefix(1);
    }
    while (!args.empty() && args.front() == ' ') args.remove_prefix(1);
    return w;
}
}  // namespace

int profileCommand(std::string_view args) {
    const std::string word = upperWord(args);
    if ((word != "SAMPLED" && word != "TIMED" && word != "STOP") || !args.empty())
        return kErrUnrecognized;
    if (word != "STOP") {
        g_mode = word;
        g_start = platform::monotonicMicroseconds();
        return 0;
    }
    if (!g_mode.empty()) {
        char text[80];
        snprintf(text, sizeof text, "Profile (%s): %.3f seconds", g_mode.c_str(),
                 static_cast<double>(platform::monotonicMicroseconds() - g_start) / 1e6);
        consoleOutput(text);
    }
    g_mode.clear();
    return 0;
}

std::string_view profileMode() {
    return g_mode;
}

void profilerClose() {
    g_mode.clear();
}

}  // namespace vxs
