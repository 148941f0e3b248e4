// The INDEX utility (see idxsort.h).
#include "vxs/indexes/idxsort.h"

#include "vxs/control/errors.h"

namespace vxs {

int runIndexUtility(std::string_view, const UtilityHost&) {
    return kErrNotAvailable;
}

}  // namespace vxs
