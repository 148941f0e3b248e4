// The operating-system side of the file layer: the translation of the thread's last error into
// the system's error numbers, which every file operation reports through.
#pragma once

#include <cstdint>

#include "vxs/control/errors.h"

namespace vxs {

// The error number of a last-error value (os.h): the system's own number when it carries the
// application bit, 4320 for a bare operating-system code (one the platform's tables do not
// know); 0 stays 0.
int translateOsError(uint32_t lastError);
// The same for the calling thread's last error.
int lastOsError();

}  // namespace vxs
