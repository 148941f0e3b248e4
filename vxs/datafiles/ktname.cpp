// File-name mapping (see ktname.h).
#include "vxs/control/errors.h"
#include "vxs/datafiles/ktname.h"

#include <cctype>

#include "vxs/datafiles/file_os.h"

namespace vxs {

namespace {
inline constexpr size_t kMaxPath = 512;
bool isSeparator(char c) { return c == '/' || c == '\\'; }
}  // namespace

int mapFileName(std::string_view name, std::string& path) {
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.empty()) return kErrBadName;
    if (name.size() >= kMaxPath) return kErrNameTooLong;
    if (name.find('\0') != std::string_view::npos) return kErrBadName;
    // An absolute path names one file exactly, as a name with a drive letter does: folding its
    // case or its separators could only lose it.
    if (name.front() == '/') {
        path.assign(name);
        return 0;
    }
    path.clear();
    for (char c : name) {
        if (c == '\0') return kErrBadName;
        path += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return 0;
}

bool hasExtension(std::string_view name) {
    for (size_t i = name.size(); i-- > 0;) {
        if (isSeparator(name[i])) return false;
        if (name[i] == '.') return i + 1 < name.size() || i > 0;
    }
    return false;
}

std::string replaceExtension(std::string_view name, std::string_view ext) {
    for (size_t i = name.size(); i-- > 0;) {
        if (isSeparator(name[i])) break;
        if (name[i] == '.') return std::string(name.substr(0, i)).append(ext);
    }
    return std::string(name).append(ext);
}

void freeNameMapping() {}

}  // namespace vxs
