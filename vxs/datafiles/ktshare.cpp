// Lock regions of shared data files (see ktshare.h).
#include "vxs/datafiles/ktshare.h"

namespace vxs {

void ktReleaseLockRegions() {}

}  // namespace vxs
