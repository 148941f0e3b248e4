// The debugger link (see debug.h).  No link can be opened before the DEBUG command exists.
#include "vxs/debugger/debug.h"

namespace vxs {

void debugPoll() {}
bool debugLinkOpen() {
    return false;
}

}  // namespace vxs
