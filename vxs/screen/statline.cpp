// The status line (see statline.h).
#include "vxs/screen/statline.h"

#include <cctype>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/storage/file_os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {
constexpr int kOptionFileErrorTexts = 17;  // the 4000 series shows its texts
std::string g_fields[2];
int g_lastError = 0;
bool g_errorShown = false;
std::string g_detail;     // statusNoteErrorDetail's text
std::string g_errorText;  // statusNoteErrorText's text
std::string g_statusBeforeError;  // the run status name that "ERROR" took the place of

void showField(int field, std::string_view text) {
    if (g_fields[field] == text) return;
    g_fields[field] = text;
    terminalStatusText(field, text);
}

// Errors about one file: the status line names it.
bool concernsAFile(int error) {
    switch (error) {
        case kErrFileNotFound:
        case kErrPathNotFound:
        case kErrAccessDenied:
        case kErrSharing:
        case kErrCompatibilityLock:
        case kErrFileExists:
        case kErrBadName:
        case kErrNameTooLong:
        case kErrNotProgramFile: return true;
        default: return false;
    }
}
}  // namespace

void statusShowStatus(std::string_view name) {
    showField(kStatusFieldStatus, name);
}
void statusShowMessage(std::string_view text) {
    showField(kStatusFieldMessage, text);
}

std::string statusErrorWords(int error) {
    std::string words;
    // What a failed child said is the most specific thing there is to say: it comes alone (F1
    // gives the table's text).
    if (!g_detail.empty()) return g_detail;
    if (!g_errorText.empty()) {
        const size_t start = g_errorText.find_first_not_of(' ');
        if (start != std::string::npos) words = g_errorText.substr(start);
    } else if (error < 4000 || error > 4999 || optionOn(kOptionFileErrorTexts)) {
        words = errorText(error);
        if (!words.empty()) words[0] = static_cast<char>(std::toupper(words[0]));
    }
    if (concernsAFile(error) && !osLastFailedPath().empty()) {
        if (!words.empty()) words += ": ";
        words += osLastFailedPath();
    }
    return words;
}

void statusShowError(int error, int lineNumber, int clause) {
    g_lastError = error;
    if (g_fields[0] != "ERROR") g_statusBeforeError = g_fields[0];
    g_errorShown = true;
    showField(kStatusFieldStatus, "ERROR");
    terminalStatusError(error, lineNumber, clause);
    terminalStatusText(kStatusFieldErrorWords, statusErrorWords(error));
}

int statusLastError() {
    return g_lastError;
}

void statusNoteErrorText(std::string_view text) {
    g_errorText.assign(text);
    showField(kStatusFieldMessage, text);
}

void statusNoteErrorDetail(std::string_view text) {
    g_detail.assign(text);
}

void statusClear() {
    osForgetFailedPath();
    g_detail.clear();
    g_errorText.clear();
    g_lastError = 0;
    if (g_errorShown) {
        g_errorShown = false;
        terminalStatusError(0, -1, 0);
        // A run status that nothing has named since the error comes back.
        if (g_fields[0] == "ERROR" && !g_statusBeforeError.empty())
            showField(kStatusFieldStatus, g_statusBeforeError);
    }
    showField(kStatusFieldMessage, "");
}

const std::string& statusText(int field) {
    return g_fields[field == kStatusFieldStatus ? 0 : 1];
}

void statusLineFree() {
    for (std::string& f : g_fields) std::string().swap(f);
    g_lastError = 0;
    g_errorShown = false;
    std::string().swap(g_detail);
    std::string().swap(g_errorText);
}

}  // namespace vxs
