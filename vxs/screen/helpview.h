// The help screen of the full-screen terminal front end: one help topic on the whole terminal
// (its title on the top row, its text wrapped at 80 columns below it, the keys on the bottom
// row), scrolled by the cursor keys until Escape, q or Enter closes it.  It draws on the terminal
// library's standard screen, which the front end owns; the front end redraws its own screen
// afterwards.  Works on any terminal of at least 80 columns by 24 rows (smaller ones too, with
// fewer text rows).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vxs {

// The text's lines as the help screen shows them: each line of the text wrapped at `width`
// columns (at a blank when there is one, with the continuation indented as the line was), tabs
// and other control bytes as blanks, bytes above 126 as "?", trailing blanks removed.
std::vector<std::string> helpScreenLines(std::string_view text, size_t width);

// Shows the topic until the user closes it; returns what the screen hands back (always the empty
// string: the user closed it).  Needs the terminal library active on the standard screen, in raw
// mode with the keypad on.
std::string showHelpScreen(std::string_view title, std::string_view text);

}  // namespace vxs
