// The help file of the hover requests (see helptext.h).
#include "tools/lsp/helptext.h"

#include "vxs/debugger/help.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/files.h"

namespace vxs::lsp {

int HelpFile::load(const std::string& path) {
    image_.clear();
    std::string found = path;
    if (found.empty())
        if (int err = findHelpFile(kCommandHelpFile, found)) return err;
    std::vector<uint8_t> image;
    const int rc = platform::readWholeFile(found, image, kHelpMaxFile);
    if (rc > 0) return kErrNotProgramFile;  // far larger than any help file
    if (rc < 0) return kErrFileNotFound;
    std::vector<HelpEntry> entries;
    if (int err = decodeHelpFile(image, entries)) return err;
    image_ = std::move(image);
    return 0;
}

bool HelpFile::topic(std::string_view name, HelpTopic& out) const {
    std::string upper(name);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (image_.empty() || !validHelpName(upper)) return false;
    return findHelpTopic(image_, upper, out) == 0;
}

}  // namespace vxs::lsp
