// The run loop's entry.  Executing compiled lines comes with the interpreter; until then a run
// request is answered with an error and command mode resumes, and ending a program runs the
// end-of-run processing.
#include "vxs/interpreter/run.h"

#include "vxs/config/statline.h"
#include "vxs/control/endrun.h"
#include "vxs/control/errors.h"
#include "vxs/control/utils.h"

namespace vxs {

RunState t;

void runLoop() {
    if (actionCode() == kActEndProgram) {
        endOfRun(kEndProgram);
        if (t.curpcb) t.curpcb->curline = 0;
    } else {
        statusShowError(kErrNotAvailable, -1, 0);
    }
    setRunStatusShown(RUNSTAT_READY);
    setActionCode(kActCommand);
}

}  // namespace vxs
