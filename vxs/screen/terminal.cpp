// Interpreter-side requests to the terminal (see terminal.h).  A remote operation that fails is
// an internal error, reported as a consistency failure quoting the call.
#include "vxs/screen/terminal.h"

#include <algorithm>

#include "vxs/base/failure.h"
#include "vxs/base/process.h"
#include "vxs/clientserver/common.h"
#include "vxs/platform/os.h"
#include "vxs/screen/controls.h"
#include "vxs/screen/frontend.h"
#include "vxs/screen/msgbox.h"
#include "vxs/screen/windows.h"

namespace vxs {

namespace {
bool g_attached = false;
bool g_terminated = false;
// Key-pending hints: whether the keyboard routine may have keys for a drain (actions 9 and 10)
// or for the other actions.
bool g_drainHint = false;
bool g_readHint = false;
bool g_keysAnnounced = false;

// KEYSAVAILABLE arrives through the layer's hook; the exit-request hook is left as it is.
void installKeysHook() {
    RemoteServerHooks hooks = remoteServerHooks();
    hooks.keysAvailable = noteKeysAvailable;
    setRemoteServerHooks(hooks);
}
}  // namespace

bool terminalAttached() {
    return g_attached;
}
void setTerminalAttached(bool attached) {
    g_attached = attached;
    g_drainHint = g_readHint = false;
    g_keysAnnounced = false;
    if (attached) installKeysHook();
}
void setKeysAnnounced(bool announced) {
    g_keysAnnounced = announced;
}
int32_t terminalIdentifier() {
    return 0;
}

int32_t screenAction(int32_t action, int32_t row, int32_t column, int32_t a, int32_t b,
                     std::string_view text, int32_t c, int32_t attr) {
    return windowAction(0, action, row, column, a, b, text, c, attr);
}

int32_t windowAction(int32_t window, int32_t action, int32_t row, int32_t column, int32_t a,
                     int32_t b, std::string_view text, int32_t c, int32_t attr) {
    if (row > 250 || column > 250) vxassertion("Bad posn for screen.", __FILE__, __LINE__);
    if (!g_attached) return 0;
    const RemoteParam text_param = text.data() ? rpText(text) : rpInt(0);
    if (CallFunctionRemote(SCREENACTIONCALL, ORIGIN,
                           {rpInt(window), rpInt(action), rpInt(screenPosition(row, column)),
                            rpInt(a), rpInt(b), text_param, rpInt(c), rpInt(attr)}))
        vxassertion("!CallFunctionRemote(SCREENACTIONCALL, ORIGIN, 8, ...)", __FILE__, __LINE__);
    int32_t result = 0;
    if (ReceiveFunctionRemote(SCREENACTIONRET, {roInt(&result)}))
        vxassertion("!ReceiveFunctionRemote(SCREENACTIONRET, &result)", __FILE__, __LINE__);
    return result;
}

int32_t consoleInput(std::string& line, int32_t maxLength, int32_t purpose, std::string_view preset,
                     bool selected) {
    line.clear();
    if (!g_attached) return kInputEnded;
    const int failed =
        preset.empty()
            ? CallFunctionRemote(CONSOLEINPUTCALL, ORIGIN, {rpInt(maxLength), rpInt(purpose)})
            : CallFunctionRemote(
                  CONSOLEINPUTCALL, ORIGIN,
                  {rpInt(maxLength), rpInt(purpose), rpText(preset), rpInt(selected ? 1 : 0)});
    if (failed)
        vxassertion("!CallFunctionRemote(CONSOLEINPUTCALL, ORIGIN, 2, max, purpose)", __FILE__,
                    __LINE__);
    int32_t status = kInputEnded;
    if (ReceiveFunctionRemote(CONSOLEINPUTRET, {roInt(&status), roData(&line)}))
        vxassertion("!ReceiveFunctionRemote(CONSOLEINPUTRET, &status, line)", __FILE__, __LINE__);
    if (!line.empty() && line.back() == '\0') line.pop_back();
    return status;
}

void consoleOutput(std::string_view line) {
    noteConsoleLine(line);
    if (!g_attached) return;
    if (CallFunctionRemote(CONSOLEOUTPUT, ORIGIN, {rpText(line)}))
        vxassertion("!CallFunctionRemote(CONSOLEOUTPUT, ORIGIN, 1, strlen(line)+1, line)", __FILE__,
                    __LINE__);
}

void terminalStatusText(int32_t field, std::string_view text) {
    if (!g_attached) return;
    if (CallFunctionRemote(STATUSLINETEXT, ORIGIN, {rpInt(field), rpText(text)}))
        vxassertion("!CallFunctionRemote(STATUSLINETEXT, ORIGIN, 2, field, text)", __FILE__,
                    __LINE__);
}

void terminalStatusError(int32_t error, int32_t lineNumber, int32_t clause) {
    if (!g_attached) return;
    if (CallFunctionRemote(STATUSLINEERROR, ORIGIN,
                           {rpInt(error), rpInt(lineNumber), rpInt(clause)}))
        vxassertion("!CallFunctionRemote(STATUSLINEERROR, ORIGIN, 3, error, line, clause)",
                    __FILE__, __LINE__);
}

void terminalSetCanClose(bool canClose) {
    if (!g_attached) return;
    if (CallFunctionRemote(SETCANCLOSECALL, ORIGIN, {rpInt(canClose ? 1 : 0)}))
        vxassertion("!CallFunctionRemote(SETCANCLOSECALL, ORIGIN, 1, canClose)", __FILE__,
                    __LINE__);
}

void terminalSetTitle(std::string_view title) {
    if (!g_attached) return;
    if (CallFunctionRemote(SCREENTITLE, ORIGIN, {rpText(title)}))
        vxassertion("!CallFunctionRemote(SCREENTITLE, ORIGIN, 1, strlen(title)+1, title)", __FILE__,
                    __LINE__);
}

std::string terminalShowHelp(std::string_view title, std::string_view text) {
    std::string answer;
    if (!g_attached || !remoteHandler(HELPSHOWCALL)) return answer;
    if (CallFunctionRemote(HELPSHOWCALL, ORIGIN, {rpText(title), rpText(text)}))
        vxassertion("!CallFunctionRemote(HELPSHOWCALL, ORIGIN, 2, title, text)", __FILE__,
                    __LINE__);
    if (ReceiveFunctionRemote(HELPSHOWRET, {roData(&answer)}))
        vxassertion("!ReceiveFunctionRemote(HELPSHOWRET, answer)", __FILE__, __LINE__);
    if (!answer.empty() && answer.back() == '\0') answer.pop_back();
    return answer;
}

int32_t terminalMessageBox(std::string_view prompt, std::string_view title, int32_t kind,
                           int32_t icon) {
    const auto set = static_cast<BoxButtons>(kind);
    if (!g_attached || !remoteHandler(MSGBOXCALL)) {
        const int32_t escape = boxEscape(set);
        return escape ? escape : boxButtons(set).front().result;
    }
    if (CallFunctionRemote(MSGBOXCALL, ORIGIN,
                           {rpText(prompt), rpText(title), rpInt(kind), rpInt(icon)}))
        vxassertion("!CallFunctionRemote(MSGBOXCALL, ORIGIN, 4, prompt, title, kind, icon)",
                    __FILE__, __LINE__);
    int32_t pressed = 0;
    if (ReceiveFunctionRemote(MSGBOXRET, {roInt(&pressed)}))
        vxassertion("!ReceiveFunctionRemote(MSGBOXRET, &pressed)", __FILE__, __LINE__);
    return pressed;
}

int32_t terminalControlOutput(const ControlOutput& out) {
    if (!g_attached || !remoteHandler(CONTROLOUTPUTCALL)) return 0;
    const std::string block = encodeTexts(out.values);
    if (CallFunctionRemote(
            CONTROLOUTPUTCALL, ORIGIN,
            {rpInt(out.place.window), rpInt(out.place.row), rpInt(out.place.column),
             rpInt(static_cast<int32_t>(out.kind)), rpInt(out.height), rpInt(out.width),
             rpInt(out.op), rpInt(out.group), rpInt(static_cast<int32_t>(out.look)),
             rpInt(out.perRow), rpData(block.data(), static_cast<uint32_t>(block.size()))}))
        vxassertion("!CallFunctionRemote(CONTROLOUTPUTCALL, ORIGIN, 11, ...)", __FILE__, __LINE__);
    int32_t result = 0;
    if (ReceiveFunctionRemote(CONTROLOUTPUTRET, {roInt(&result)}))
        vxassertion("!ReceiveFunctionRemote(CONTROLOUTPUTRET, &result)", __FILE__, __LINE__);
    return result;
}

void terminalControlEdit(const ControlPlace& place, int32_t wait, bool singleSelect,
                         int32_t& status, int32_t& exitCode) {
    status = kInputEnded;
    exitCode = 0;
    if (!g_attached || !remoteHandler(CONTROLEDITCALL)) return;
    if (CallFunctionRemote(CONTROLEDITCALL, ORIGIN,
                           {rpInt(place.window), rpInt(place.row), rpInt(place.column), rpInt(wait),
                            rpInt(singleSelect ? 1 : 0)}))
        vxassertion("!CallFunctionRemote(CONTROLEDITCALL, ORIGIN, 5, ...)", __FILE__, __LINE__);
    if (ReceiveFunctionRemote(CONTROLEDITRET, {roInt(&status), roInt(&exitCode)}))
        vxassertion("!ReceiveFunctionRemote(CONTROLEDITRET, &status, &exitCode)", __FILE__,
                    __LINE__);
}

ControlAnswer terminalControlRead(const ControlPlace& place, const ControlRead& what) {
    ControlAnswer a;
    if (!g_attached || !remoteHandler(CONTROLREADCALL)) return a;
    if (CallFunctionRemote(CONTROLREADCALL, ORIGIN,
                           {rpInt(place.window), rpInt(place.row), rpInt(place.column),
                            rpInt(what.op), rpInt(what.selection)}))
        vxassertion("!CallFunctionRemote(CONTROLREADCALL, ORIGIN, 5, ...)", __FILE__, __LINE__);
    std::string block;
    int32_t columns = 1;
    if (ReceiveFunctionRemote(CONTROLREADRET, {roInt(&columns), roData(&block)}) ||
        !decodeTexts(block, a.values))
        vxassertion("!ReceiveFunctionRemote(CONTROLREADRET, &columns, texts)", __FILE__, __LINE__);
    a.perRow = std::max<int32_t>(columns, 1);
    return a;
}

void terminalSetMenu(int part, const std::vector<std::vector<std::string>>& lists) {
    if (!g_attached || !remoteHandler(MENUSET)) return;
    std::vector<std::string> blocks;
    for (const auto& l : lists) blocks.push_back(encodeTexts(l));
    std::vector<RemoteParam> params{rpInt(part)};
    for (const std::string& b : blocks)
        params.push_back(rpData(b.data(), static_cast<uint32_t>(b.size())));
    if (CallFunctionRemote(MENUSET, ORIGIN, params))
        vxassertion("!CallFunctionRemote(MENUSET, ORIGIN, n, part, texts...)", __FILE__, __LINE__);
}

std::string terminalFonts() {
    std::string text;
    if (!g_attached || !remoteHandler(STATUSFONTSCALL)) return text;
    if (CallFunctionRemote(STATUSFONTSCALL, ORIGIN, {}))
        vxassertion("!CallFunctionRemote(STATUSFONTSCALL, ORIGIN, 0)", __FILE__, __LINE__);
    int32_t lines = 0;
    if (ReceiveFunctionRemote(STATUSFONTSRET, {roInt(&lines), roData(&text)}))
        vxassertion("!ReceiveFunctionRemote(STATUSFONTSRET, &lines, text)", __FILE__, __LINE__);
    if (lines <= 0) text.clear();
    return text;
}

std::vector<std::string> terminalMenuPart(int part) {
    std::vector<std::string> texts;
    if (!g_attached || !remoteHandler(MENUGETCALL)) return texts;
    if (CallFunctionRemote(MENUGETCALL, ORIGIN, {rpInt(part)}))
        vxassertion("!CallFunctionRemote(MENUGETCALL, ORIGIN, 1, part)", __FILE__, __LINE__);
    std::string block;
    if (ReceiveFunctionRemote(MENUGETRET, {roData(&block)}))
        vxassertion("!ReceiveFunctionRemote(MENUGETRET, texts)", __FILE__, __LINE__);
    if (!decodeTexts(block, texts)) texts.clear();
    return texts;
}

int32_t terminalMenuOption() {
    if (!g_attached || !remoteHandler(MENUGETOPTIONCALL)) return 0;
    if (CallFunctionRemote(MENUGETOPTIONCALL, ORIGIN, {}))
        vxassertion("!CallFunctionRemote(MENUGETOPTIONCALL, ORIGIN, 0)", __FILE__, __LINE__);
    int32_t option = 0;
    if (ReceiveFunctionRemote(MENUGETOPTIONRET, {roInt(&option)}))
        vxassertion("!ReceiveFunctionRemote(MENUGETOPTIONRET, &option)", __FILE__, __LINE__);
    return option;
}

void terminalMenuChoose(int32_t item) {
    if (!g_attached || !remoteHandler(MENUSETOPTIONCALL)) return;
    if (CallFunctionRemote(MENUSETOPTIONCALL, ORIGIN, {rpInt(item)}))
        vxassertion("!CallFunctionRemote(MENUSETOPTIONCALL, ORIGIN, 1, option)", __FILE__,
                    __LINE__);
}

bool terminalMenuItem(int32_t item, std::string& text) {
    text.clear();
    if (!g_attached || !remoteHandler(MENUGETDATACALL)) return false;
    if (CallFunctionRemote(MENUGETDATACALL, ORIGIN, {rpInt(item)}))
        vxassertion("!CallFunctionRemote(MENUGETDATACALL, ORIGIN, 1, item)", __FILE__, __LINE__);
    int32_t value = 0, length = 0;
    if (ReceiveFunctionRemote(MENUGETDATARET, {roInt(&value), roData(&text), roInt(&length)}))
        vxassertion("!ReceiveFunctionRemote(MENUGETDATARET, &value, text, &length)", __FILE__,
                    __LINE__);
    if (length >= 0 && static_cast<size_t>(length) < text.size())
        text.resize(static_cast<size_t>(length));
    return value == 0;
}

int32_t terminalPrintJob(int32_t device, std::string_view path, int32_t flags,
                         int32_t linesPerPage) {
    if (!g_attached || !remoteHandler(PRINTNATIVECALL)) return 1;
    if (CallFunctionRemote(PRINTNATIVECALL, ORIGIN,
                           {rpInt(device), rpText(path), rpInt(flags), rpInt(linesPerPage)}))
        vxassertion("!CallFunctionRemote(PRINTNATIVECALL, ORIGIN, 4, device, path, flags, lpp)",
                    __FILE__, __LINE__);
    int32_t result = 1;
    if (ReceiveFunctionRemote(PRINTNATIVERET, {roInt(&result)}))
        vxassertion("!ReceiveFunctionRemote(PRINTNATIVERET, &result)", __FILE__, __LINE__);
    return result;
}

int32_t pollKeyboard() {
    // Action 10: the keys typed go to the ring, but the attention key, the help key and the
    // function keys (with the event code) come back here, for the run loop's key rules.
    const int32_t key = keyboardRequest(10, 0);
    return key > 0 ? key : 0;
}

bool pollAttention() {
    return pollKeyboard() == kKeyAttention;
}

int32_t keyboardRequest(int32_t action, int32_t argument) {
    if (!g_attached || !remoteHandler(KEYBOARDCALL)) return -1;
    frontEndPollEvents();  // keys it finds are announced before the hint is read
    // A running program's polls serve the debugger link too (a forced break), a few times a
    // second at most.
    if ((action == 9 || action == 10) && linkOpen()) {
        static int64_t lastPoll = 0;
        const int64_t now = platform::monotonicMicroseconds();
        if (now - lastPoll > 20000) {
            lastPoll = now;
            pollLink();
        }
    }
    bool& hint = action == 9 || action == 10 ? g_drainHint : g_readHint;
    const bool hinted = hint;
    hint = false;
    if (((action == 2 || action == 4) && argument < 0) || action == 5) return -1;
    const bool always = action == 2 || action == 3 || action == 4 || action == 6 || action == 7;
    if (!always && g_keysAnnounced && !hinted) return -1;
    if (CallFunctionRemote(KEYBOARDCALL, ORIGIN, {rpInt(action), rpInt(argument)}))
        vxassertion("!CallFunctionRemote(KEYBOARDCALL, ORIGIN, 2, action, argument)", __FILE__,
                    __LINE__);
    int32_t result = -1;
    if (ReceiveFunctionRemote(KEYBOARDRET, {roInt(&result)}))
        vxassertion("!ReceiveFunctionRemote(KEYBOARDRET, &result)", __FILE__, __LINE__);
    if (result > 0) hint = true;  // more keys may be waiting behind this one
    return result;
}

void noteKeysAvailable() {
    g_drainHint = g_readHint = true;
}

int32_t terminalUnusedId(int32_t kind) {
    if (!g_attached) return 0;
    if (CallFunctionRemote(GETUNUSEDIDCALL, ORIGIN, {rpInt(kind)}))
        vxassertion("!CallFunctionRemote(GETUNUSEDIDCALL, ORIGIN, 1, kind)", __FILE__, __LINE__);
    int32_t id = 0;
    if (ReceiveFunctionRemote(GETUNUSEDIDRET, {roInt(&id)}))
        vxassertion("!ReceiveFunctionRemote(GETUNUSEDIDRET, &id)", __FILE__, __LINE__);
    return id;
}

void terminalShutdown() {
    if (!g_attached) return;
    screenAction(kScreenShutdown);
    if (CallFunctionRemote(ENDSESSION, ORIGIN, {}))
        vxassertion("!CallFunctionRemote(ENDSESSION, ORIGIN, 0)", __FILE__, __LINE__);
}

void freeKeyTables() {}

void terminalMarkTerminated() {
    g_terminated = true;
}
bool terminalTerminated() {
    return g_terminated;
}

}  // namespace vxs
