// The profiler behind DEBUG PROFILE: a profile is started in one of two modes and stopped with
// a report of the time it covered on the console.
// States: stopped -> running (SAMPLED or TIMED) -> stopped (STOP, or the end of the session).
#pragma once

#include <string_view>

namespace vxs {

// Starts a profile in `mode` ("SAMPLED" or "TIMED"), replacing one that runs.
void profileStart(std::string_view mode);
// Stops the profile, reporting the time it ran on the console; nothing when none runs.
void profileStop();

// Stops and closes the profiler when it is active (shut-down).
void profilerClose();

}  // namespace vxs
