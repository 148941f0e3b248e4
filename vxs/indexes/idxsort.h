// The INDEX utility (action code 9): builds and verifies index files with an external merge
// sort.
#pragma once

namespace vxs {

// Runs the utility and returns to command mode through action code 47, whether it succeeded or
// not.  Until index files exist the utility reports error 302.
void indexUtility();

}  // namespace vxs
