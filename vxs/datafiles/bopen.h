// Closing of every open file when the process shuts down.
#pragma once

namespace vxs {

// Closes every file still open, those opened NOCLOSE included (their headers are rewritten and
// their share markers and locks go); file #0, the console, stays.
void closeFileZeroAtExit();

}  // namespace vxs
