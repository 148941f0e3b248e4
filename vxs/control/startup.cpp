// Start-up sequence (see startup.h).
#include "vxs/control/startup.h"

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

namespace vxs {

void startup(int argc, char** argv) {
    // The command line's switches and initial command are not taken yet: every start uses the
    // defaults (no requested WSID, the default configuration, an empty command buffer).
    (void)argc;
    (void)argv;
    vxlog(kLogProgress, "Entering startup.");
    setRunStatus(RUNSTAT_READY);

    // Until the full-screen front end exists, the stream front end serves a terminal as well.
    vxlog(kLogProgress, "Initializing screen.");
    attachStreamTerminal();
    screenAction(kScreenOpen);

    vxlog(kLogProgress, "Getting unused session identifier.");
    const int session = terminalUnusedId(0);
    if (session == 0) vxassertion("fieldsconfig.sessionID", __FILE__, __LINE__);

    // Without a configured work path, work files go to the start-up directory.
    setWorkPath(startingDirectory());

    vxlog(kLogProgress, "Assigning WSID.");
    setWorkstation(1, session);
    vxlog(kLogProgress, "WSID has been assigned.");

    pcb* first = nullptr;
    if (createPCB(kDefaultLineCapacity, kDefaultDictCapacity, kReleaseText, &first) != 0)
        fatalError("NOCORE", 99, 0);
    statusShowMessage(kReleaseText);

    setActionCode(kActCommand);
    vxlog(kLogProgress, "Startup processing has finished.");
}

}  // namespace vxs
