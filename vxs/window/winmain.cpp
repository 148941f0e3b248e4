// The window executable's main: answers --help and --version at once; without a display it says
// so and ends with status 99; else the application object runs the session with the window as
// its front end.
#include <wx/app.h>
#include <wx/init.h>

#include <cstring>

#include "vxs/control/entry.h"
#include "vxs/control/frontchoice.h"
#include "vxs/control/startup.h"
#include "vxs/control/vxapp.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/os.h"
#include "vxs/window/winterm.h"

wxIMPLEMENT_APP_NO_MAIN(vxs::vxApp);

namespace {
int refuse(const char* text) {
    (void)vxs::platform::writeAll(vxs::platform::kStderr, text, strlen(text));
    return 99;
}
}  // namespace

int main(int argc, char** argv) {
    if (const int status = vxs::answerCommandLineRequest(argc, argv); status >= 0) return status;
    if (!vxs::displayAvailable())
        return refuse("VX_FRONTEND=gui: no display is set (DISPLAY or WAYLAND_DISPLAY).\n");
    vxs::setFrontEndChoice(vxs::FrontEndChoice::Window);
    vxs::setWindowAttacher(vxs::attachWindowTerminal);
    vxs::setProcessArguments(argc, argv);
    // The window system's start: a display that cannot be opened ends the process here, before
    // start-up takes anything.
    if (!wxEntryStart(argc, argv)) return refuse("The window could not open on the display.\n");
    int status = 99;
    if (wxTheApp && wxTheApp->CallOnInit()) {
        status = wxTheApp->OnRun();
        wxTheApp->OnExit();
    }
    wxEntryCleanup();
    return status;
}
