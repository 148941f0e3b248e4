// End-of-run processing (see endrun.h).
#include "vxs/control/endrun.h"

#include "vxs/debugger/logger.h"

namespace vxs {

void endOfRun(EndRunMode mode) {
    vxlog(kLogDetail, "End of run processing, mode %d.", mode);
}

}  // namespace vxs
