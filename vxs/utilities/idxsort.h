// The INDEX utility (action code 9): builds a key file for a data file, rebuilds one (REORG) or
// verifies one (VERIFY), sorting the keys with the external merge sort and loading them in
// order.  The key file is built under a temporary name beside its own and renamed over it only
// when complete, so a failed run leaves whatever was there before.
#pragma once

#include <string_view>

#include "vxs/utilities/utility.h"

namespace vxs {

// One run of the utility from its command tail (empty: parameter sets from procedure lines,
// each ended by ENDLINK or CONT, CONT going on with the next).  Returns 0 or the error number
// of the last set run.
[[nodiscard]] int runIndexUtility(std::string_view tail, const UtilityHost& host);

}  // namespace vxs
