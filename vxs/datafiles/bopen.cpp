// File numbers and their control blocks (see bopen.h).
#include "vxs/datafiles/bopen.h"

namespace vxs {

void closeFileZeroAtExit() {}

}  // namespace vxs
