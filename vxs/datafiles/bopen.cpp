// Closing of the process's files at shut-down (see bopen.h).
#include "vxs/datafiles/bopen.h"

#include "vxs/datafiles/datafile.h"

namespace vxs {

void closeFileZeroAtExit() {
    (void)closeFilesAtEnd(fileBlocks(), true);
}

}  // namespace vxs
