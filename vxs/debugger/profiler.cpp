// The profiler (see profiler.h): the mode and start of a running profile; STOP reports the time
// it ran as "Profile (mode): s.sss seconds" on the console.
#include "vxs/debugger/profiler.h"

#include <cstdio>
#include <string>

#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {
std::string g_mode;
int64_t g_start = 0;

}  // namespace

void profileStart(std::string_view mode) {
    g_mode.assign(mode);
    g_start = platform::monotonicMicroseconds();
}

void profileStop() {
    if (!g_mode.empty()) {
        char text[80];
        snprintf(text, sizeof text, "Profile (%s): %.3f seconds", g_mode.c_str(),
                 static_cast<double>(platform::monotonicMicroseconds() - g_start) / 1e6);
        consoleOutput(text);
    }
    g_mode.clear();
}

void profilerClose() {
    g_mode.clear();
}

}  // namespace vxs
