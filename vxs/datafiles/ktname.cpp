// File-name mapping (see ktname.h).
#include "vxs/datafiles/ktname.h"

namespace vxs {

void freeNameMapping() {}

}  // namespace vxs
