// Spooling of printer output and the queue of print jobs.
#pragma once

namespace vxs {

// Finishes the spooler's pending work (shut-down).  No printer output exists before printing
// does, so there is nothing pending yet.
void spoolFinishPending();
// Frees the print queue (shut-down).
void freePrintQueue();

}  // namespace vxs
