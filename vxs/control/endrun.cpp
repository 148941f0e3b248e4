// End-of-run processing (see endrun.h).
#include "vxs/control/endrun.h"

#include "vxs/datafiles/ktshare.h"
#include "vxs/debugger/logger.h"

namespace vxs {

void endOfRun(EndRunMode mode) {
    vxlog(kLogDetail, "End of run processing, mode %d.", mode);
    // Files a program reserved stay reserved only while it runs.
    ktReleaseAllReservations();
}

}  // namespace vxs
