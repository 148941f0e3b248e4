// The SORT utility (see sortutil.h).
#include "vxs/indexes/sortutil.h"

#include "vxs/control/errors.h"
#include "vxs/control/utils.h"

namespace vxs {

void sortUtility() {
    finishUtility(kErrNotAvailable);
}

}  // namespace vxs
