// The terminal side's handlers of the remote operations and the keyboard routine (see
// frontend.h).  Each handler checks that the message has the shape its operation defines and
// answers nonzero when it does not; the receiver reports that as an internal error.
#include "vxs/screen/frontend.h"

#include <wx/app.h>
#include <wx/evtloop.h>

#include <deque>

#include "vxs/clientserver/common.h"
#include "vxs/control/entry.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

FrontEnd* g_frontEnd = nullptr;
// Set once KEYSAVAILABLE went to the interpreter side; cleared by its next keyboard request.
bool g_keysNotified = false;
// Keys that a drain took from the front end while a program ran, for later reads.
std::deque<int32_t> g_ring;

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

// ---- the keyboard routine ----

// Function keys 1..10 (n x 256), Escape and the event code end a drain for action 10.
bool stopsDrain(int32_t key) {
    return key == kKeyFunction99 || key == kKeyEvent ||
           ((key & 0xFF) == 0 && key >= 0x0100 && key <= 0x0A00);
}

// Moves the keys available without waiting into the ring; action 10 stops at the stopping
// codes, which are returned and not stored.
int32_t drain(FrontEnd& fe, int32_t action) {
    if (fe.attention()) {
        g_ring.clear();
        return kKeyAttention;
    }
    for (int32_t key; (key = fe.pollKey()) >= 0;) {
        if (key == kKeyAttention) {
            g_ring.clear();
            return kKeyAttention;
        }
        if (action == 10 && (key == kKeyHelp || stopsDrain(key))) return key;
        if (g_ring.size() >= kTypeAheadKeys) {
            ScreenRequest beep;
            beep.action = kScreenBeep;
            (void)fe.screenAction(beep);  // a full ring drops the key
            continue;
        }
        g_ring.push_back(key);
    }
    return 0;
}

// A key from the ring, or else from the front end: at once, or within `seconds` (0: no limit).
int32_t readOne(FrontEnd& fe, bool wait, int32_t seconds) {
    if (fe.attention()) return kKeyAttention;
    if (!g_ring.empty()) {
        const int32_t key = g_ring.front();
        g_ring.pop_front();
        return key;
    }
    return wait ? fe.readKey(seconds) : fe.pollKey();
}

int32_t keyboardRoutine(FrontEnd& fe, int32_t action, int32_t argument) {
    switch (action) {
        case 1: return readOne(fe, argument >= 0, 0);
        case 2:
        case 4: return argument < 0 ? -1 : readOne(fe, true, argument);
        case 3:
            g_ring.clear();
            (void)fe.attention();
            while (fe.pollKey() >= 0) {
            }
            return 0;
        case 6:
        case 7: return 0;
        case 9:
        case 10: return drain(fe, action);
        default: vxassertion("Keyboard routine called with unknown action.", __FILE__, __LINE__);
    }
}

// ---- the handlers ----

int onKeyboard(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 2 || !isInt(m, 0) || !isInt(m, 1)) return 1;
    g_keysNotified = false;  // a further key is worth telling about again
    const int32_t result = keyboardRoutine(*g_frontEnd, m.params[0].value, m.params[1].value);
    return CallFunctionRemote(KEYBOARDRET, IN_RESP, {rpInt(result)});
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
    const int32_t status =
        g_frontEnd->readLine(line, static_cast<size_t>(m.params[0].value), m.params[1].value,
                             preset, selected);
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
    g_frontEnd->statusText(m.params[0].value, text);
    return 0;
}

int onStatusError(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 3 || !isInt(m, 0) || !isInt(m, 1) || !isInt(m, 2)) return 1;
    g_frontEnd->statusError(m.params[0].value, m.params[1].value, m.params[2].value);
    return 0;
}

struct Binding {
    int op;
    RemoteHandler handler;
};
constexpr Binding kBindings[] = {
    {SCREENACTIONCALL, onScreenAction}, {KEYBOARDCALL, onKeyboard},
    {SCREENTITLE, onTitle},             {ENDSESSION, onEndSession},
    {FATALMSGCALL, onFatalMessage},     {GETUNUSEDIDCALL, onUnusedId},
    {SETCANCLOSECALL, onSetCanClose},   {CONSOLEINPUTCALL, onConsoleInput},
    {CONSOLEOUTPUT, onConsoleOutput},   {STATUSLINETEXT, onStatusText},
    {STATUSLINEERROR, onStatusError},
};

}  // namespace

void FrontEnd::dispatchPending() {
    dispatchProcessLoop();
}

bool FrontEnd::processIdle() {
    return processLoopIdle();
}

void FrontEnd::keysQueued() {
    if (g_keysNotified || g_frontEnd != this) return;
    g_keysNotified = true;
    (void)CallFunctionRemote(KEYSAVAILABLE, ORIGIN, {});
}

void attachFrontEnd(FrontEnd& frontEnd) {
    g_frontEnd = &frontEnd;
    g_keysNotified = false;
    g_ring.clear();
    for (const Binding& b : kBindings) setRemoteHandler(b.op, b.handler);
    setTerminalAttached(true);
    setKeysAnnounced(true);
}

void detachFrontEnd() {
    if (g_frontEnd)
        for (const Binding& b : kBindings) setRemoteHandler(b.op, nullptr);
    g_frontEnd = nullptr;
    g_ring.clear();
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

}  // namespace vxs
