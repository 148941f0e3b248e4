// Sharing of data files between processes: share markers and record locks in the lock area.
#pragma once

namespace vxs {

// Releases every lock region this process holds (shut-down).  None are held before data files
// can be opened.
void ktReleaseLockRegions();

}  // namespace vxs
