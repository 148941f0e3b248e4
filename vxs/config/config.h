// Configuration state of the process.
#pragma once

#include <string>

namespace vxs {

// The directory for work files (absolute, ending with its separator).
const std::string& workPath();
void setWorkPath(const std::string& path);

// Frees the string tables that configuration built (shut-down).
void freeStringTables();

}  // namespace vxs
