// Configuration state of the process.
#pragma once

#include <string>

namespace vxs {

// The directory for work files (absolute, ending with its separator).
const std::string& workPath();
void setWorkPath(const std::string& path);

// OPTION n settings (1..99), all off at start-up.
inline constexpr int kOptionNoBackup = 26;          // REPLACE makes no .bak copy
inline constexpr int kOptionNoCommandMode = 54;     // a program may not fall into command mode
bool optionOn(int number);
void setOption(int number, bool on);

// The external editor of EDIT (EDITOR statement); empty when not configured.
const std::string& editorCommand();
void setEditorCommand(const std::string& command);

// Frees the string tables that configuration built (shut-down).
void freeStringTables();

}  // namespace vxs
