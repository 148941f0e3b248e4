// The operating-system side of the file layer: the translation of the thread's last error into
// the system's error numbers, which every file operation reports through.
#pragma once

#include <cstdint>

namespace vxs {

inline constexpr int kErrFileExists = 4150;
inline constexpr int kErrFileNotFound = 4152;
inline constexpr int kErrPathNotFound = 4203;
inline constexpr int kErrAccessDenied = 4205;
inline constexpr int kErrBadHandle = 4206;
inline constexpr int kErrNameTooLong = 4129;
inline constexpr int kErrDiskFull = 4239;
inline constexpr int kErrOsOther = 4320;

// The error number of a last-error value (os.h): the system's own number when it carries the
// application bit, otherwise the translated operating-system code; 0 stays 0.
int translateOsError(uint32_t lastError);
// The same for the calling thread's last error.
int lastOsError();

}  // namespace vxs
