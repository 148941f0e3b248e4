// Whole-file operations on operating-system paths for the layers above: reading a file into
// memory, writing a file safely (a temporary name in the same directory, flushed to disk, then
// renamed over the target), copying and renaming.  Failures return -1 with the last error set
// (os.h), which the file layer turns into an error number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vxs/platform/platform.h"

namespace vxs::platform {

// Reads the whole file.  Returns 0, -1 with the last error set, or 1 when the file holds more
// than `limit` bytes (an endless device, a file far larger than the caller can use): then
// nothing is kept and no more than limit + 1 bytes were read.  `info`, when given, receives
// what the file is (its identity among others) as it was opened.
[[nodiscard]] int readWholeFile(const std::string& path, std::vector<uint8_t>& out,
                                size_t limit = SIZE_MAX, FileInfo* info = nullptr);

// Writes `data` to `path` replacing any file of that name only once the new contents are safely
// on disk: a failure at any point leaves an existing file as it was.  Returns 0 or -1.
[[nodiscard]] int writeFileSafely(const std::string& path, std::span<const uint8_t> data);

// Copies a file (contents only), through the same safe write.  Returns 0 or -1.
[[nodiscard]] int copyFile(const std::string& from, const std::string& to);

// Renames a file, replacing the target.  Returns 0 or -1.
[[nodiscard]] int renamePath(const std::string& from, const std::string& to);

bool isDirectory(const std::string& path);

}  // namespace vxs::platform
