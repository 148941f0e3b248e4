// The SORT utility (action code 8): sorts the records of a data file under a sort control
// file, selecting records by ranges of field values, and writes the records, their record
// numbers or a key file.
#pragma once

#include <string_view>

#include "vxs/utilities/utility.h"

namespace vxs {

// One run from the command tail (the control file's name and -N).  Returns 0 or an error number.
[[nodiscard]] int runSortUtility(std::string_view tail, const UtilityHost& host);

}  // namespace vxs
