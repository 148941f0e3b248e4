// Opening and closing of files by file number; file #0 is the console.
#pragma once

namespace vxs {

// Closes the file open as file number 0 when it is not the terminal (sending it the close
// screen action first) and frees the work buffers of open files (shut-down).  File #0 is the
// terminal until OPEN can redirect it.
void closeFileZeroAtExit();

}  // namespace vxs
