// The profiler behind DEBUG PROFILE: a profile is started in one of two modes and stopped with
// a report of the time it covered on the console.
// States: stopped -> running (SAMPLED or TIMED) -> stopped (STOP, or the end of the session).
#pragma once

#include <string_view>

namespace vxs {

// DEBUG PROFILE SAMPLED | TIMED | STOP (the words after PROFILE).  0, or 1006 for another word
// (also for STOP with words after it).
[[nodiscard]] int profileCommand(std::string_view args);
// Whether a profile runs, and in which mode ("SAMPLED", "TIMED"; empty when none).
std::string_view profileMode();

// Stops and closes the profiler when it is active (shut-down).
void profilerClose();

}  // namespace vxs
