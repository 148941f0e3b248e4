// The executable's main: hands the argument vector to wxWidgets, which creates the application
// object (vxApp) and runs its main loop.
#include <wx/app.h>

#include "vxs/control/entry.h"
#include "vxs/control/vxapp.h"

wxIMPLEMENT_APP_NO_MAIN(vxs::vxApp);

int main(int argc, char** argv) {
    vxs::setProcessArguments(argc, argv);
    return wxEntry(argc, argv);
}
