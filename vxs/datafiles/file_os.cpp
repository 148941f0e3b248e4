// Error translation of the file layer (see file_os.h).
#include "vxs/datafiles/file_os.h"

#include "vxs/platform/os.h"

namespace vxs {

int translateOsError(uint32_t e) {
    if (e & platform::kAppErrorBit) return static_cast<int>(e & ~platform::kAppErrorBit);
    // The platform gives its own number to every code its tables know; a bare code is one they
    // do not, kept as it is for display.
    return e == 0 ? 0 : kErrOsOther;
}

int lastOsError() {
    return translateOsError(platform::lastError());
}

}  // namespace vxs
