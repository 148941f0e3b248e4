// The release this build is, as the version check, the status line and new programs show it.
#pragma once

namespace vxs {

inline constexpr const char kReleaseNumber[] = "1.00";
inline constexpr char kBuildLetter = 'a';
// "Release " + release number + build letter: what both sides of the remote operation layer
// compare when they meet.
inline constexpr const char kVersionText[] = "Release 1.00a";
// The name of the first program control block and the text of the status line at start.
inline constexpr const char kReleaseText[] = "Veltrix! Release 1.00a";

}  // namespace vxs
