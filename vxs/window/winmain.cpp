// The window executable's main: answers --help and --version at once; without a display it says
// so and ends with status 99; else the application object runs the session with the window as
// its front end.
#include <wx/app.h>
#include <wx/init.h>

#include "vxs/control/entry.h"
#include "vxs/control/frontchoice.h"
#include "vxs/control/startup.h"
#include "vxs/control/vxapp.h"
#include "vxs/window/winterm.h"

wxIMPLEMENT_APP_NO_MAIN(vxs::vxApp);

int main(int argc, char** argv) {
    if (const int status = vxs::answerCommandLineRequest(argc, argv); status >= 0) return status;
    if (!vxs::displayAvailable()) return vxs::frontEndRefused(vxs::kNoDisplay);
    vxs::setFrontEndChoice(vxs::FrontEndChoice::Window);
    vxs::setWindowAttacher(vxs::attachWindowTerminal);
    vxs::setProcessArguments(argc, argv);
    // The window system's start: a display that cannot be opened ends the process here, before
    // start-up takes anything.
    if (!wxEntryStart(argc, argv))
        return vxs::frontEndRefused("The window could not open on the display.");
    int status = 99;
    if (wxTheApp && wxTheApp->CallOnInit()) {
        status = wxTheApp->OnRun();
        wxTheApp->OnExit();
    }
    wxEntryCleanup();
    return status;
}
