// Spooling and the print queue (see spool.h).
#include "vxs/printing/spool.h"

namespace vxs {

void spoolFinishPending() {}
void freePrintQueue() {}

}  // namespace vxs
