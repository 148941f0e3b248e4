// The terminal side's handlers of the remote operations (see frontend.h); the keyboard routine
// they reach is keyboard.cpp's.  Each handler checks that the message has the shape its operation
// defines and answers nonzero when it does not; the receiver reports that as an internal error.
#include "vxs/screen/frontend.h"

#include <wx/app.h>
#include <wx/evtloop.h>

#include <cstdio>
#include <string>

#include "vxs/base/failure.h"
#include "vxs/base/process.h"
#include "vxs/clientserver/common.h"
#include "vxs/clientserver/remoteops.h"
#include "vxs/screen/keyboard.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

FrontEnd* g_frontEnd = nullptr;

void dispatchProcessLoop() {
    wxEventLoopBase* loop = processEventLoop();
    if (!loop) return;
    while (loop->Pending()) loop->Dispatch();
    // Events queued inside the process (posted or called after) are pending events too.
    if (wxTheApp) wxTheApp->ProcessPendingEvents();
}

bool processLoopIdle() {
    wxEventLoopBase* loop = processEventLoop();
    return loop && loop->ProcessIdle();
}

bool isInt(const DecodedMessage& m, int i) {
    return i < m.count && !m.params[i].isData();
}

// A text parameter; a null text travels as the integer 0.
bool textParam(const DecodedMessage& m, int i, std::string_view& text) {
    if (i >= m.count) return false;
    const DecodedParam& p = m.params[i];
    if (!p.isData() && p.value != 0) return false;
    text = paramText(p);
    return true;
}

// ---- the handlers ----

int onKeyboard(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 2 || !isInt(m, 0) || !isInt(m, 1)) return 1;
    rearmKeyAnnouncement();  // a further key is worth telling about again
    const int32_t result = keyboardRoutine(m.params[0].value, m.params[1].value);
    return CallFunctionRemote(KEYBOARDRET, IN_RESP, {rpInt(result)});
}

int onInjectKey(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0)) return 1;
    injectKey(m.params[0].value);
    return 0;
}

int onStatusKey(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view text;
    if (m.count != 1 || !textParam(m, 0, text)) return 1;
    g_frontEnd->statusKey(text);
    return CallFunctionRemote(STATUSTEXTRET, IN_RESP, {rpInt(0)});
}

int onScreenAction(const DecodedMessage& m, std::span<const RemoteOut>) {
    ScreenRequest r;
    if (m.count != 8 || !isInt(m, 0) || !isInt(m, 1) || !isInt(m, 2) || !isInt(m, 3) ||
        !isInt(m, 4) || !textParam(m, 5, r.text) || !isInt(m, 6) || !isInt(m, 7))
        return 1;
    r.window = m.params[0].value;
    r.action = m.params[1].value;
    r.position = m.params[2].value;
    r.a = m.params[3].value;
    r.b = m.params[4].value;
    r.c = m.params[6].value;
    r.attr = m.params[7].value;
    return CallFunctionRemote(SCREENACTIONRET, IN_RESP, {rpInt(g_frontEnd->screenAction(r))});
}

int onTitle(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view title;
    if (m.count != 1 || !textParam(m, 0, title)) return 1;
    g_frontEnd->setTitle(title);
    return 0;
}

int onEndSession(const DecodedMessage&, std::span<const RemoteOut>) {
    g_frontEnd->endSession();
    return 0;
}

int onFatalMessage(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view text;
    if (m.count != 3 || !isInt(m, 0) || !textParam(m, 1, text) || !isInt(m, 2)) return 1;
    return CallFunctionRemote(FATALMSGRET, IN_RESP, {rpInt(g_frontEnd->fatalMessage(text))});
}

int onUnusedId(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0)) return 1;
    return CallFunctionRemote(GETUNUSEDIDRET, IN_RESP,
                              {rpInt(g_frontEnd->unusedId(m.params[0].value))});
}

int onSetCanClose(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0)) return 1;
    g_frontEnd->setCanClose(m.params[0].value != 0);
    return 0;
}

int onConsoleInput(const DecodedMessage& m, std::span<const RemoteOut>) {
    if ((m.count != 2 && m.count != 4) || !isInt(m, 0) || !isInt(m, 1) || m.params[0].value < 0)
        return 1;
    std::string_view preset;
    bool selected = false;
    if (m.count == 4) {
        if (!textParam(m, 2, preset) || !isInt(m, 3)) return 1;
        selected = m.params[3].value != 0;
    }
    std::string line;
    const int32_t status = g_frontEnd->readLine(line, static_cast<size_t>(m.params[0].value),
                                                m.params[1].value, preset, selected);
    return CallFunctionRemote(CONSOLEINPUTRET, IN_RESP, {rpInt(status), rpText(line)});
}

int onConsoleOutput(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view text;
    if (m.count != 1 || !textParam(m, 0, text)) return 1;
    g_frontEnd->writeLine(text);
    return 0;
}

int onStatusText(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view text;
    if (m.count != 2 || !isInt(m, 0) || !textParam(m, 1, text)) return 1;
    noteStatusText(text);
    g_frontEnd->statusText(m.params[0].value, text);
    return 0;
}

int onStatusError(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 3 || !isInt(m, 0) || !isInt(m, 1) || !isInt(m, 2)) return 1;
    g_frontEnd->statusError(m.params[0].value, m.params[1].value, m.params[2].value);
    return 0;
}

int onShowHelp(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view title, text;
    if (m.count != 2 || !textParam(m, 0, title) || !textParam(m, 1, text)) return 1;
    const std::string answer = g_frontEnd->showHelp(title, text);
    return CallFunctionRemote(HELPSHOWRET, IN_RESP, {rpText(answer)});
}

int onMessageBox(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view prompt, title;
    if (m.count != 4 || !textParam(m, 0, prompt) || !textParam(m, 1, title) || !isInt(m, 2) ||
        !isInt(m, 3))
        return 1;
    const int32_t kind = m.params[2].value, icon = m.params[3].value;
    if (kind < 0 || kind > static_cast<int32_t>(BoxButtons::AbortRetryIgnore) || icon < 0 ||
        icon > static_cast<int32_t>(BoxIcon::Error))
        return 1;
    const int32_t pressed = g_frontEnd->messageBox(prompt, title, static_cast<BoxButtons>(kind),
                                                   static_cast<BoxIcon>(icon));
    return CallFunctionRemote(MSGBOXRET, IN_RESP, {rpInt(pressed)});
}

struct Binding {
    int op;
    RemoteHandler handler;
};
constexpr Binding kBindings[] = {
    {SCREENACTIONCALL, onScreenAction},
    {KEYBOARDCALL, onKeyboard},
    {SCREENTITLE, onTitle},
    {ENDSESSION, onEndSession},
    {FATALMSGCALL, onFatalMessage},
    {GETUNUSEDIDCALL, onUnusedId},
    {SETCANCLOSECALL, onSetCanClose},
    {CONSOLEINPUTCALL, onConsoleInput},
    {CONSOLEOUTPUT, onConsoleOutput},
    {STATUSLINETEXT, onStatusText},
    {STATUSLINEERROR, onStatusError},
    {INJECTKEY, onInjectKey},
    {STATUSTEXTCALL, onStatusKey},
    {HELPSHOWCALL, onShowHelp},
    {MSGBOXCALL, onMessageBox},
};

}  // namespace

void FrontEnd::dispatchPending() {
    dispatchProcessLoop();
}

bool FrontEnd::processIdle() {
    return processLoopIdle();
}

int32_t FrontEnd::readKey(int32_t seconds) {
    return waitForQueuedKey(seconds);
}

int32_t FrontEnd::messageBox(std::string_view prompt, std::string_view title, BoxButtons kind,
                             BoxIcon icon) {
    if (!title.empty()) writeLine(title);
    std::string first = boxIconWord(icon);
    size_t at = 0;
    do {  // the prompt's lines, the icon's word before the first
        const size_t end = prompt.find('\n', at);
        const std::string_view part =
            prompt.substr(at, end == std::string_view::npos ? end : end - at);
        writeLine(first + std::string(part));
        first.clear();
        at = end == std::string_view::npos ? prompt.size() + 1 : end + 1;
    } while (at <= prompt.size());
    const std::string choices = boxChoices(kind);
    const int32_t escape = boxEscape(kind);
    for (;;) {
        writeLine(choices);
        std::string answer;
        const int32_t status = readLine(answer, 80, kInputStatement, {}, false);
        if (status == kInputEnded) return escape ? escape : boxButtons(kind).front().result;
        if (status == kInputInterrupted) {
            if (escape) return escape;
            continue;
        }
        if (const int32_t pressed = boxAnswer(kind, answer)) return pressed;
    }
}

void FrontEnd::keysQueued() {
    if (g_frontEnd == this) announceKeys();
}

void attachFrontEnd(FrontEnd& frontEnd) {
    g_frontEnd = &frontEnd;
    resetKeyboard();
    for (const Binding& b : kBindings) setRemoteHandler(b.op, b.handler);
    setTerminalAttached(true);
    setKeysAnnounced(true);
}

void detachFrontEnd() {
    if (g_frontEnd)
        for (const Binding& b : kBindings) setRemoteHandler(b.op, nullptr);
    g_frontEnd = nullptr;
    resetKeyboard();
    setTerminalAttached(false);
}

FrontEnd* attachedFrontEnd() {
    return g_frontEnd;
}

void frontEndDispatchPending() {
    if (g_frontEnd)
        g_frontEnd->dispatchPending();
    else
        dispatchProcessLoop();
}

bool frontEndProcessIdle() {
    return g_frontEnd ? g_frontEnd->processIdle() : processLoopIdle();
}

void frontEndPollEvents() {
    if (g_frontEnd) g_frontEnd->pollEvents();
}

void StatusParts::setText(int32_t field, std::string_view text) {
    if (field == kStatusFieldStatus)
        status.assign(text);
    else if (field == kStatusFieldMode)
        mode.assign(text);
    else if (field == kStatusFieldRowColumn)
        rowColumn.assign(text);
    else if (field == kStatusFieldErrorWords)
        errorWords.assign(text);
    else
        message.assign(text);
}

void StatusParts::setError(int32_t number, int32_t lineNumber, int32_t clause) {
    errorWords.clear();
    error = number == 0 ? std::string() : errorWithPosition(number, lineNumber, clause);
}

std::string StatusParts::shown(std::string_view other) const {
    if (error.empty()) return std::string(other);
    return errorWords.empty() ? error : error + "  " + errorWords;
}

std::string errorWithPosition(int32_t error, int32_t lineNumber, int32_t clause) {
    char text[64];
    if (lineNumber < 0)
        snprintf(text, sizeof text, "ERROR %d", static_cast<int>(error));
    else
        snprintf(text, sizeof text, "ERROR %d at %05ld:%02d", static_cast<int>(error),
                 static_cast<long>(lineNumber), static_cast<int>(clause));
    return text;
}

}  // namespace vxs
