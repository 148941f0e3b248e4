// The help file the server answers hover requests from: the command help file ktcmd.kth that
// the build makes (found as HELP finds it: beside the executable) or a file the client names.
// The file is read once and checked whole; topics are looked up in the image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vxs/debugger/helpfile.h"

namespace vxs::lsp {

class HelpFile {
  public:
    // Reads the help file at `path`, or the command help file beside the executable when `path`
    // is empty.  Returns 0, or 4152 (no such file), 4122 (not a help file), 4123 (damaged) or
    // another error of reading it; the file held before is then dropped.
    [[nodiscard]] int load(const std::string& path);
    bool loaded() const { return !image_.empty(); }
    // Topic `name` (any case); false when there is no file or the file has no such topic.
    bool topic(std::string_view name, HelpTopic& out) const;

  private:
    std::vector<uint8_t> image_;
};

}  // namespace vxs::lsp
