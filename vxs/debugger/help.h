// Help requests: the help topic that a request names (command mode's HELP and help key, the help
// key while a program runs, HELP$) is read from its help file (helpfile.h) and sent to the
// terminal side, whose front end shows it (FrontEnd::showHelp): a full-screen page on the
// terminal, the topic's lines on standard output through the stream front end.  While a topic
// is shown the action code is 40, and the code before it comes back afterwards.
//
// A help file is found in this order: as named, when the name has a directory part (mapped as
// every file name is); beside the executable; in the directory of the HELPDFLT file.  The
// command help file is ktcmd.kth, which the build makes from the documentation and installs
// beside the executable.
//
// Errors: 4152 the file is in none of those places (or another error of reading it); 4122 it is
// no help file; 4123 it is damaged; 4272 it has no such topic.  Command mode and the help key
// show a failure on the status line as "Help Error %d   *topic,file".
#pragma once

#include <string>
#include <string_view>

#include "vxs/debugger/helpfile.h"

namespace vxs {

inline constexpr const char kCommandHelpFile[] = "ktcmd.kth";

// The operating-system path of help file `file`, searched as above.  Returns 0, 4152 when no
// candidate exists, or the mapping's error for a name with a directory part.
[[nodiscard]] int findHelpFile(std::string_view file, std::string& path);

// Reads topic `topic` (any case) of help file `file`.  Returns 0 or an error above.
[[nodiscard]] int readHelpTopic(std::string_view topic, std::string_view file, HelpTopic& out);

// Shows topic `topic` of `file` on the terminal side; `answer` (when given) receives what the
// help display hands back (the empty string when the user just closed it).  Returns 0 or an
// error above, and then shows nothing.
[[nodiscard]] int showHelp(std::string_view topic, std::string_view file,
                           std::string* answer = nullptr);

// As showHelp for the help key and the HELP command; a failure goes to the status line as
// "Help Error %d   *topic,file".
void showHelpTopic(std::string_view topic, std::string_view file = kCommandHelpFile);

// The topic a help key asks for while a program runs ("CMDMENU" until something sets another).
std::string& currentHelpTopic();

}  // namespace vxs
