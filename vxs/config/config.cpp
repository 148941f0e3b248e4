// Configuration state (see config.h).
#include "vxs/config/config.h"

namespace vxs {

namespace {
std::string g_workPath;
}

const std::string& workPath() {
    return g_workPath;
}

void setWorkPath(const std::string& path) {
    g_workPath = path;
    if (!g_workPath.empty() && g_workPath.back() != '/') g_workPath += '/';
}

void freeStringTables() {}

}  // namespace vxs
