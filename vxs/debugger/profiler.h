// The sampling profiler.
#pragma once

namespace vxs {

// Stops and closes the profiler when it is active (shut-down).
void profilerClose();

}  // namespace vxs
