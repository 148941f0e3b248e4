// The wxWidgets application object (see vxapp.h): its main-loop operation creates and publishes
// the event loop and runs the process entry.  The same file builds both executables: the console
// one against the static wxBase, the window one against the shared wxGTK.
#include "vxs/control/vxapp.h"

#include <wx/config.h>
#include <wx/sysopt.h>

#include "vxs/base/process.h"
#include "vxs/control/entry.h"

namespace vxs {

namespace {
int g_argc = 0;
char** g_argv = nullptr;
}  // namespace

bool vxApp::OnInit() {
    SetAppName("Veltrix!");
    wxSystemOptions::SetOption("msw.window.no-clip-children", 1);
    wxSystemOptions::SetOption("msw.staticbox.optimized-paint", 0);
    // The configuration object (window sizes and positions) is created by wxWidgets on first
    // use: reading it at every start would slow down start-up for nothing.
    // The base class would parse the command line, whose switches are ours.
    return true;
}

int vxApp::OnRun() {
    auto* loop = new vxEventLoop;
    publishEventLoop(loop);
    const int result = combinedEntryCode(g_argc, g_argv);
    publishEventLoop(nullptr);
    delete loop;
    return result;
}

int vxApp::OnExit() {
    delete wxConfigBase::Set(nullptr);
    return 0;
}

void vxApp::OnAssertFailure(const wxChar*, int, const wxChar*, const wxChar*, const wxChar*) {
    vxassertion("wxWidgets caused as assertion failure.", __FILE__, 756);
}

void setProcessArguments(int argc, char** argv) {
    g_argc = argc;
    g_argv = argv;
}

void publishEventLoop(wxEventLoopBase* loop) {
    wxEventLoopBase::SetActive(loop);
    setProcessEventLoop(loop);
}

}  // namespace vxs
