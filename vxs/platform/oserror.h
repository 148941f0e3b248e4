// The translation of errno values into the system's error numbers: one table for each area of
// calls, because one errno means different things in different places (EACCES from a lock is
// another open holding the range, from an open it is a permission failure).
#pragma once

#include <cstdint>

namespace vxs::platform {

enum class Area : uint8_t {
    kFileOpen,   // open, delete, rename, attributes and free space of a path
    kReadWrite,  // read, write, seek, truncate, sync, size and close of a descriptor
    kLock,       // byte-range locks
    kDirectory,  // make, remove and list directories; the current directory
    kProcess,    // running commands; other processes
};

// The error number for errno `error` in `area`, or 0 when the area's table does not know it
// (the caller then reports 4320, keeping the errno as the last error).
[[nodiscard]] int errorNumberFor(Area area, int error);

// Records a failed call and returns its error number: the last error becomes the number with
// kAppErrorBit set, or the bare errno when the table does not know it (number 4320).
// `result` is the negated errno a Platform call returned.
[[nodiscard]] int failCall(Area area, int64_t result);

// Records one of the system's own error numbers as the last error and returns it.
[[nodiscard]] int failWith(int number);

}  // namespace vxs::platform
