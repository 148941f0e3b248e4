// The status line (see statline.h).
#include "vxs/config/statline.h"

#include "vxs/screen/terminal.h"

namespace vxs {

namespace {
std::string g_fields[2];
int g_lastError = 0;

void showField(int field, std::string_view text) {
    if (g_fields[field] == text) return;
    g_fields[field] = text;
    terminalStatusText(field, text);
}
}  // namespace

void statusShowStatus(std::string_view name) {
    showField(kStatusFieldStatus, name);
}
void statusShowMessage(std::string_view text) {
    showField(kStatusFieldMessage, text);
}

void statusShowError(int error, int lineNumber, int clause) {
    g_lastError = error;
    showField(kStatusFieldStatus, "ERROR");
    terminalStatusError(error, lineNumber, clause);
}

int statusLastError() {
    return g_lastError;
}

const std::string& statusText(int field) {
    return g_fields[field == kStatusFieldStatus ? 0 : 1];
}

void statusLineFree() {
    for (std::string& f : g_fields) std::string().swap(f);
    g_lastError = 0;
}

}  // namespace vxs
