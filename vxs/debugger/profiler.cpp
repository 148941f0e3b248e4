// The sampling profiler (see profiler.h).
#include "vxs/debugger/profiler.h"

namespace vxs {

void profilerClose() {}

}  // namespace vxs
