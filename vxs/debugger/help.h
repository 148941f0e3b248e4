// Help requests: the help topic that a request names (command mode's help key and HELP, the
// help key while a program runs) and its display.  No help viewer exists in this build, so a
// request is reported on the status line as "Help Error 302   *topic,file".
#pragma once

#include <string>
#include <string_view>

namespace vxs {

inline constexpr const char kCommandHelpFile[] = "ktcmd.kth";

// Shows help topic `topic` of help file `file`.
void showHelpTopic(std::string_view topic, std::string_view file = kCommandHelpFile);

// The topic a help key asks for while a program runs ("CMDMENU" until something sets another).
std::string& currentHelpTopic();

}  // namespace vxs
