// The INDEX utility (see idxsort.h).
#include "vxs/indexes/idxsort.h"

#include "vxs/control/errors.h"
#include "vxs/control/utils.h"

namespace vxs {

void indexUtility() {
    finishUtility(kErrNotAvailable);
}

}  // namespace vxs
