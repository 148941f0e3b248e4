// File names: the mapping of a name as a program or command gives it to an operating-system
// path (devices, SUBSTITUTE, Linux paths, the FILENAMES case rule, the name/dir forms, drive
// letters through the DRIVE table), and the reverse mapping of a path to the form shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vxs {

// Maps a name, in this order:
//  1. "@:" names belong to a client-server transport, which this system has not: 302.  Device
//     names (PRN:, DIRECT:, WIN:, PREVIEW: and their "/printer" forms, CON:, :CON:, DEBUG:)
//     come back unchanged, upper-cased; a printer name whose text after the colon does not
//     begin with "/" is 609.
//  2. SUBSTITUTE (a leading "~" skips it); 600 when the name grows too long.
//  3. A name beginning ":" is an OS path as it stands (the ":" dropped), as are absolute paths
//     ("/home/ann/x", "\\server\x" after the separators are turned round).
//  4. A Linux path stands as it is too, relative to the current directory: a name beginning
//     "./" or "../", or one whose second "/" is followed by anything but a single digit 1-9
//     that ends the name (and is not the printer form name//10): "docs/examples/x.txt".
//  5. Otherwise the FILENAMES case rule (lower case by default), then the forms name/dir
//     (dir\name), name/dir/n (drive of the n-th DRIVE statement, n 1-9; no such drive is
//     4215) and name//10 (the printer, "PRN:/" and at most 8 characters of the name).
//  6. "\" becomes "/"; a drive letter is replaced by its DRIVE directory (with the drive's
//     current directory unless the rest begins at its root); an unmapped letter is 4180,
//     except C: while no drive is configured at all, which is the current directory.
// Other names stay relative to the current directory.  Returns 0 with the path, 4129 when the
// full path would reach 512 bytes, or 4215 for an empty name or one with a zero byte.
[[nodiscard]] int mapFileName(std::string_view name, std::string& path);

// What a name stands for: a disk file, or a device (the console "CON:" or ":CON:", a printer
// "PRN:", "DIRECT:", "WIN:" or "PREVIEW:", the debugger channel "DEBUG:").
enum class Device : uint8_t { kDisk, kConsole, kPrinter, kDebug };
// The device a name (after leading blanks) begins with; kDisk for a file name.
Device deviceOfName(std::string_view name);
// Whether a name (after leading blanks) is one of the device names of step 1.
bool isDeviceName(std::string_view name);

// The reverse mapping for display: a path under a mapped drive directory becomes "C:\rest"
// (the longest matching directory wins), any other ":" followed by the full path.  A relative
// path is first made full with the current directory.  Returns 0, or 4215 when the result
// would not fit in 511 bytes.
[[nodiscard]] int unmapFileName(std::string_view path, std::string& name);

// Whether the last component of a name has an extension (a '.' after the last separator).
bool hasExtension(std::string_view name);
// The name with its extension replaced by `ext` (".bak"), or `ext` added when it has none.
std::string replaceExtension(std::string_view name, std::string_view ext);

// Frees the name-mapping tables (shut-down).
void freeNameMapping();

}  // namespace vxs
