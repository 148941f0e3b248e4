// Help requests (see help.h).
#include "vxs/debugger/help.h"

#include <algorithm>
#include <cstdio>

#include "vxs/config/statline.h"
#include "vxs/control/errors.h"

namespace vxs {

void showHelpTopic(std::string_view topic, std::string_view file) {
    const std::string request = "*" + std::string(topic) + "," + std::string(file);
    char text[600];
    snprintf(text, sizeof text, "Help Error %d   %.*s\n", kErrNotAvailable,
             static_cast<int>(std::min<size_t>(request.size(), 560)), request.data());
    statusShowMessage(text);
}

std::string& currentHelpTopic() {
    static std::string topic = "CMDMENU";
    return topic;
}

}  // namespace vxs
