// Help requests (see help.h): finding the help file, reading one topic, and handing it to the
// terminal side with the action code 40 in force.
#include "vxs/debugger/help.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/base/failure.h"
#include "vxs/errors/errors.h"
#include "vxs/base/process.h"
#include "vxs/storage/file_os.h"
#include "vxs/datafiles/ktname.h"
#include "vxs/platform/fileio.h"
#include "vxs/platform/files.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

bool hasDirectoryPart(std::string_view name) {
    return name.find_first_of("/\\:") != std::string_view::npos;
}

bool exists(const std::string& path) {
    platform::FileInfo info;
    return platform::pathInfo(path, info) == 0;
}

// The directory of the HELPDFLT file (with its separator), or "" when none is configured.
std::string defaultHelpDirectory() {
    std::string path;
    if (helpFile().empty() || mapFileName(helpFile(), path) != 0) return "";
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

}  // namespace

int findHelpFile(std::string_view file, std::string& path) {
    path.clear();
    if (file.empty()) return kErrFileNotFound;
    if (hasDirectoryPart(file)) {
        if (int err = mapFileName(file, path)) return err;
        return exists(path) ? 0 : kErrFileNotFound;
    }
    const std::string name(file);
    std::vector<std::string> candidates;
    if (!moduleDirectory().empty()) candidates.push_back(moduleDirectory() + name);
    if (const std::string dir = defaultHelpDirectory(); !dir.empty())
        candidates.push_back(dir + name);
    for (std::string& c : candidates)
        if (exists(c)) {
            path = std::move(c);
            return 0;
        }
    return kErrFileNotFound;
}

int readHelpTopic(std::string_view topic, std::string_view file, HelpTopic& out) {
    std::string path;
    if (int err = findHelpFile(file, path)) return err;
    std::vector<uint8_t> image;
    const int rc = platform::readWholeFile(path, image, kHelpMaxFile);
    if (rc > 0) return kErrNotProgramFile;  // far larger than any help file
    if (rc < 0) {
        const int err = lastOsError();
        return err ? err : kErrFileNotFound;
    }
    return findHelpTopic(image, topic, out);
}

int showHelp(std::string_view topic, std::string_view file, std::string* answer) {
    HelpTopic t;
    if (int err = readHelpTopic(topic, file, t)) return err;
    const int32_t saved = actionCode();
    setActionCode(kActHelp);
    std::string handedBack = terminalShowHelp(t.title.empty() ? t.name : t.title, t.text);
    setActionCode(saved);
    if (answer) *answer = std::move(handedBack);
    return 0;
}

void showHelpTopic(std::string_view topic, std::string_view file) {
    const int err = showHelp(topic, file);
    if (!err) return;
    const std::string request = "*" + std::string(topic) + "," + std::string(file);
    char text[600];
    snprintf(text, sizeof text, "Help Error %d   %.*s\n", err,
             static_cast<int>(std::min<size_t>(request.size(), 560)), request.data());
    statusShowMessage(text);
}

std::string& currentHelpTopic() {
    static std::string topic = "CMDMENU";
    return topic;
}

}  // namespace vxs
