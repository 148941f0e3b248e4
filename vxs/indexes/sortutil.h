// The SORT utility (action code 8): sorts a data file under a sort control file.
#pragma once

namespace vxs {

// Runs the utility and returns to command mode through action code 47, whether it succeeded or
// not.  Until data files exist the utility reports error 302.
void sortUtility();

}  // namespace vxs
