// Mapping of the names programs give to files onto operating-system paths.
#pragma once

namespace vxs {

// Frees the name-mapping tables (shut-down).
void freeNameMapping();

}  // namespace vxs
