// File names: the mapping of a name as a program or command gives it to an operating-system
// path.  For now a name is taken relative to the current directory, `\` and `/` both separate
// directories, and names are folded to lower case; an absolute path (a leading `/`) is taken as
// it stands.  Drives and substitutions come with the data file layer, in this module.
#pragma once

#include <string>
#include <string_view>

namespace vxs {

// Maps a name.  Returns 0 with the path, or 4129 (too long: 512 bytes or more) or 4215 (an
// empty name or one with a zero byte).
[[nodiscard]] int mapFileName(std::string_view name, std::string& path);

// Whether the last component of a name has an extension (a '.' after the last separator).
bool hasExtension(std::string_view name);
// The name with its extension replaced by `ext` (".bak"), or `ext` added when it has none.
std::string replaceExtension(std::string_view name, std::string_view ext);

// Frees the name-mapping tables (shut-down).
void freeNameMapping();

}  // namespace vxs
