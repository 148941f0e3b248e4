// Files, byte-range locks and directories for the layers above, on the current platform table
// (platform.h): interrupted calls are retried, partial transfers completed, lock ranges checked
// against this process's own locks, and every failure becomes an error number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vxs/platform/platform.h"

namespace vxs::platform {

// Every function returns 0 or an error number of errors/errors.h and, on failure, sets the
// last error (os.h) to that number with kAppErrorBit, or to the bare errno when the number is
// 4320.  Paths are operating-system paths; a descriptor is what openFile gave.

// ---- files ----

// Opens a file.  Read access goes only with Create::kOpenExisting (else 4513).  4152 when a
// file that must exist does not; 4150 when kCreateNew finds one; 4205 without permission.
[[nodiscard]] int openFile(const std::string& path, Access access, Create create, int& fd);
// One read at the descriptor's position: `got` is 0 at the end of the file, and may be less
// than `size` before it.
[[nodiscard]] int readSome(int fd, void* buf, size_t size, size_t& got);
// Reads until `size` bytes or the end of the file: `got` < size only at the end.
[[nodiscard]] int readFull(int fd, void* buf, size_t size, size_t& got);
// The same at a file offset, leaving the descriptor's position alone.
[[nodiscard]] int readFullAt(int fd, int64_t offset, void* buf, size_t size, size_t& got);
// Writes all `size` bytes (4239 when the disk fills, even part way).
[[nodiscard]] int writeAll(int fd, const void* data, size_t size);
[[nodiscard]] int writeAllAt(int fd, int64_t offset, const void* data, size_t size);
// Moves the position; 731 for a negative target.
[[nodiscard]] int seekFile(int fd, int64_t distance, Origin origin, int64_t& position);
[[nodiscard]] int truncateFile(int fd, int64_t size);
[[nodiscard]] int syncFile(int fd);
// Puts the directory's entries on the disk (after a file in it was made, renamed or removed).
[[nodiscard]] int syncDirectory(const std::string& path);
[[nodiscard]] int fileSize(int fd, int64_t& size);
[[nodiscard]] int fileInfo(int fd, FileInfo& info);
// Closes the descriptor (never retried) and forgets its locks, which the close releases.
int closeFile(int fd);

[[nodiscard]] int deleteFile(const std::string& path);
// Renames, replacing an existing target.
[[nodiscard]] int renameFile(const std::string& from, const std::string& to);
[[nodiscard]] int pathInfo(const std::string& path, FileInfo& info);
[[nodiscard]] int setReadOnly(const std::string& path, bool readOnly);
[[nodiscard]] int setModifiedTime(const std::string& path, int64_t secondsSince1970);
[[nodiscard]] int freeDiskSpace(const std::string& path, int64_t& bytes);

// ---- byte-range locks ----
// A lock belongs to the open that took it: a second open of the same file, in this process or
// another, is refused a conflicting range (61), and the lock goes when its descriptor closes or
// its process dies.  Locks may lie beyond the end of the file without growing it.
// Ranges are checked before the operating system is asked: a negative start, or a range that
// ends past 2^63-1, is 731; a length of 0 or less is 4513.  Each descriptor keeps a list of the
// ranges locked through it: a lock overlapping one of them is 4205, an unlock of a range not in
// it (exactly as locked) is 4276.

// Locks a range; with `wait` it waits for a conflicting lock to go.
[[nodiscard]] int lockRange(int fd, int64_t start, int64_t length, LockKind kind, bool wait);
[[nodiscard]] int unlockRange(int fd, int64_t start, int64_t length);
// Whether another open holds a lock that conflicts with one of `kind` on the range (locks of
// this descriptor never count).
[[nodiscard]] int testRange(int fd, int64_t start, int64_t length, LockKind kind, bool& held);
// The number of ranges locked through the descriptor.
size_t lockedRangeCount(int fd);
// The ranges locked through the descriptor, as (start, length), in the order they were taken.
std::vector<std::pair<int64_t, int64_t>> lockedRanges(int fd);

// ---- directories ----
[[nodiscard]] int makeDirectory(const std::string& path);
[[nodiscard]] int removeDirectory(const std::string& path);
// The entries of a directory whose names match `pattern`, sorted by name.  4203 when the
// directory does not exist.
[[nodiscard]] int listDirectory(const std::string& path, std::string_view pattern,
                                std::vector<DirEntry>& entries);
// Whether a name matches a pattern in which "*" stands for any run of characters and "?" for
// one; letters match without regard to case; an empty pattern matches every name.
bool matchesPattern(std::string_view name, std::string_view pattern);
[[nodiscard]] int currentDirectory(std::string& path);
[[nodiscard]] int changeDirectory(const std::string& path);

}  // namespace vxs::platform
