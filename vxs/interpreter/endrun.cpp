// End-of-run processing (see endrun.h).
#include "vxs/interpreter/endrun.h"

#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/ktshare.h"
#include "vxs/base/logger.h"
#include "vxs/interpreter/state.h"

namespace vxs {

int endOfRun(EndRunMode mode) {
    vxlog(kLogDetail, "End of run processing, mode %d.", mode);
    // A CHAIN with FILES hands the open files to the program it runs.
    const bool keepFiles =
        mode == kEndProgram && interp.chain.pending && interp.chain.request.files;
    const int err = keepFiles ? 0 : closeFilesAtEnd(fileBlocks(), mode == kEndShutdown);
    if (err) vxlog(kLogDetail, "A file closed at the end of the run reported error %d.", err);
    // Files a program reserved stay reserved only while it runs.
    ktReleaseAllReservations();
    return err;
}

}  // namespace vxs
