// Configuration state (see config.h).
#include "vxs/config/config.h"

namespace vxs {

namespace {
std::string g_workPath;
bool g_options[100] = {};
std::string g_editor;
}

const std::string& workPath() {
    return g_workPath;
}

void setWorkPath(const std::string& path) {
    g_workPath = path;
    if (!g_workPath.empty() && g_workPath.back() != '/') g_workPath += '/';
}

bool optionOn(int number) {
    return number > 0 && number < 100 && g_options[number];
}
void setOption(int number, bool on) {
    if (number > 0 && number < 100) g_options[number] = on;
}

const std::string& editorCommand() {
    return g_editor;
}
void setEditorCommand(const std::string& command) {
    g_editor = command;
}

void freeStringTables() {}

}  // namespace vxs
