// The SORT utility (see sortutil.h).
#include "vxs/indexes/sortutil.h"

#include "vxs/control/errors.h"

namespace vxs {

int runSortUtility(std::string_view, const UtilityHost&) {
    return kErrNotAvailable;
}

}  // namespace vxs
