// The console executable's main: answers --help and --version at once, chooses the front end
// (the window replaces this process by its own executable), else hands the argument vector to
// wxWidgets, which creates the application object (vxApp) and runs its main loop.
#include <wx/app.h>

#include "vxs/control/entry.h"
#include "vxs/control/frontchoice.h"
#include "vxs/control/startup.h"
#include "vxs/control/vxapp.h"

wxIMPLEMENT_APP_NO_MAIN(vxs::vxApp);

int main(int argc, char** argv) {
    // Before anything starts: asking for the usage joins no registry and makes no file.
    if (const int status = vxs::answerCommandLineRequest(argc, argv); status >= 0) return status;
    if (const int status = vxs::chooseFrontEnd(argc, argv); status >= 0) return status;
    vxs::setProcessArguments(argc, argv);
    return wxEntry(argc, argv);
}
