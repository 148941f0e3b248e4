// Closing of the process's files at shut-down (see bopen.h).
#include "vxs/datafiles/bopen.h"

#include "vxs/datafiles/datafile.h"
#include "vxs/datafiles/journal.h"

namespace vxs {

void closeFileZeroAtExit() {
    (void)closeFilesAtEnd(fileBlocks(), true);
    // With every file closed, the journals have nothing left to speak for (those of a file
    // whose held-back changes could not be written stay, for recovery).
    closeJournals();
}

}  // namespace vxs
