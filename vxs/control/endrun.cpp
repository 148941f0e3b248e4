// End-of-run processing (see endrun.h).
#include "vxs/control/endrun.h"

#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/debugger/logger.h"

namespace vxs {

void endOfRun(EndRunMode mode) {
    vxlog(kLogDetail, "End of run processing, mode %d.", mode);
    // The program's files are closed, those opened NOCLOSE kept until shut-down; files it
    // reserved stay reserved only while it runs.
    const int err = closeFilesAtEnd(fileBlocks(), mode == kEndShutdown);
    if (err) vxlog(kLogDetail, "A file closed at the end of the run reported error %d.", err);
    ktReleaseAllReservations();
}

}  // namespace vxs
