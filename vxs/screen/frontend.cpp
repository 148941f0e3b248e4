// The terminal side's handlers of the remote operations (see frontend.h); the keyboard routine
// they reach is keyboard.cpp's.  Each handler checks that the message has the shape its operation
// defines and answers nonzero when it does not; the receiver reports that as an internal error.
#include "vxs/screen/frontend.h"

#include <wx/app.h>
#include <wx/evtloop.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "vxs/base/failure.h"
#include "vxs/base/process.h"
#include "vxs/clientserver/common.h"
#include "vxs/clientserver/remoteops.h"
#include "vxs/screen/fieldedit.h"
#include "vxs/screen/fields.h"
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
    if (r.action == kScreenCloseFile || r.action == kScreenClearWindow)
        g_frontEnd->dropControls(r.window);
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
    // A form feed blanks the console: the controls on it go too.
    if (text.find('\f') != std::string_view::npos) g_frontEnd->dropControls(0);
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

// ---- controls ----

bool placeParams(const DecodedMessage& m, ControlPlace& p) {
    if (!isInt(m, 0) || !isInt(m, 1) || !isInt(m, 2)) return false;
    p = {m.params[0].value, m.params[1].value, m.params[2].value};
    return p.row >= 0 && p.column >= 0;
}

int onControlOutput(const DecodedMessage& m, std::span<const RemoteOut>) {
    ControlOutput out;
    if (m.count != 11 || !placeParams(m, out.place)) return 1;
    const DecodedParam& texts = m.params[10];
    for (int i = 3; i < 10; ++i)
        if (!isInt(m, i)) return 1;
    const int32_t kind = m.params[3].value;
    if (kind < 0 || kind > static_cast<int32_t>(ControlKind::Picture)) return 1;
    out.kind = static_cast<ControlKind>(kind);
    out.height = m.params[4].value;
    out.width = m.params[5].value;
    out.op = m.params[6].value;
    out.group = m.params[7].value;
    out.look = static_cast<uint32_t>(m.params[8].value);
    out.perRow = m.params[9].value;
    if (out.height < 1 || out.width < 1 || out.height > 250 || out.width > 250 || !texts.isData() ||
        !decodeTexts(paramBytes(texts), out.values))
        return 1;
    return CallFunctionRemote(CONTROLOUTPUTRET, IN_RESP, {rpInt(g_frontEnd->controlOutput(out))});
}

int onControlEdit(const DecodedMessage& m, std::span<const RemoteOut>) {
    ControlPlace place;
    if (m.count != 5 || !placeParams(m, place) || !isInt(m, 3) || !isInt(m, 4)) return 1;
    int32_t status = 0, exitCode = 0;
    g_frontEnd->controlEdit(place, std::max(m.params[3].value, 0), m.params[4].value != 0, status,
                            exitCode);
    return CallFunctionRemote(CONTROLEDITRET, IN_RESP, {rpInt(status), rpInt(exitCode)});
}

int onControlRead(const DecodedMessage& m, std::span<const RemoteOut>) {
    ControlPlace place;
    if (m.count != 5 || !placeParams(m, place) || !isInt(m, 3) || !isInt(m, 4)) return 1;
    const ControlAnswer a =
        g_frontEnd->controlRead(place, ControlRead{m.params[3].value, m.params[4].value});
    const std::string block = encodeTexts(a.values);
    return CallFunctionRemote(
        CONTROLREADRET, IN_RESP,
        {rpInt(a.perRow), rpData(block.data(), static_cast<uint32_t>(block.size()))});
}

// ---- the menu bar ----

int onMenuSet(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count < 1 || !isInt(m, 0) || m.params[0].value < 0 || m.params[0].value > 4) return 1;
    std::vector<std::vector<std::string>> lists;
    for (int i = 1; i < m.count; ++i) {
        const DecodedParam& p = m.params[i];
        std::vector<std::string> texts;
        if (!p.isData() || !decodeTexts(paramBytes(p), texts)) return 1;
        lists.push_back(std::move(texts));
    }
    g_frontEnd->setMenu(static_cast<MenuPart>(m.params[0].value), lists);
    return 0;
}

int onMenuGetOption(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 0) return 1;
    return CallFunctionRemote(MENUGETOPTIONRET, IN_RESP, {rpInt(g_frontEnd->menu().selected())});
}

int onMenuSetOption(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0)) return 1;
    g_frontEnd->menu().choose(m.params[0].value);
    return 0;
}

// Item n: 0 and its text, or -1 and no text when there is no such item.
int onMenuGetData(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0)) return 1;
    const MenuItem* item = g_frontEnd->menu().item(m.params[0].value);
    const std::string text = item ? item->text : std::string();
    return CallFunctionRemote(
        MENUGETDATARET, IN_RESP,
        {rpInt(item ? 0 : -1), rpText(text), rpInt(static_cast<int32_t>(text.size()))});
}

// The fonts the front end draws in: how many lines, and the lines.
int onStatusFonts(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 0) return 1;
    const std::string text = g_frontEnd->fonts();
    const auto lines = static_cast<int32_t>(std::count(text.begin(), text.end(), '\n'));
    return CallFunctionRemote(STATUSFONTSRET, IN_RESP, {rpInt(lines), rpText(text)});
}

// INPUT MENU: one part of every item, as one text block.
int onMenuGet(const DecodedMessage& m, std::span<const RemoteOut>) {
    if (m.count != 1 || !isInt(m, 0) || m.params[0].value < 1 || m.params[0].value > 3) return 1;
    const std::string block =
        encodeTexts(g_frontEnd->menu().part(static_cast<MenuPart>(m.params[0].value)));
    return CallFunctionRemote(MENUGETRET, IN_RESP,
                              {rpData(block.data(), static_cast<uint32_t>(block.size()))});
}

int onPrintNative(const DecodedMessage& m, std::span<const RemoteOut>) {
    std::string_view path;
    if (m.count != 4 || !isInt(m, 0) || !textParam(m, 1, path) || !isInt(m, 2) || !isInt(m, 3))
        return 1;
    const int32_t result =
        g_frontEnd->printJob(m.params[0].value == 0, path, m.params[2].value, m.params[3].value);
    return CallFunctionRemote(PRINTNATIVERET, IN_RESP, {rpInt(result)});
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
    {CONTROLOUTPUTCALL, onControlOutput},
    {CONTROLEDITCALL, onControlEdit},
    {CONTROLREADCALL, onControlRead},
    {MENUSET, onMenuSet},
    {MENUGETCALL, onMenuGet},
    {STATUSFONTSCALL, onStatusFonts},
    {MENUGETOPTIONCALL, onMenuGetOption},
    {MENUSETOPTIONCALL, onMenuSetOption},
    {MENUGETDATACALL, onMenuGetData},
    {PRINTNATIVECALL, onPrintNative},
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

int32_t FrontEnd::controlOutput(const ControlOutput& out) {
    if (int err = controls_.output(out)) return err;
    for (const Control* c : controls_.shownWith(out.place)) drawControl(*c, false);
    return 0;
}

void FrontEnd::drawControl(const Control& c, bool focused) {
    std::vector<ControlLine> lines = controlLines(c, focused);
    std::vector<ControlLine>& before = drawn_[c.place];
    for (size_t i = 0; i < lines.size(); ++i) {
        const ControlLine& l = lines[i];
        if (i < before.size() && before[i].text == l.text && before[i].look == l.look &&
            before[i].row == l.row)
            continue;
        ScreenRequest r;
        r.window = c.place.window;
        r.action = kScreenWriteText;
        r.position = l.row << 8 | l.column;
        r.text = l.text;
        r.c = static_cast<int32_t>(l.look & 0xFFFF);
        (void)screenAction(r);
    }
    before = std::move(lines);
}

namespace {

// Where the last click fell in `window`: its row << 8 | column there, or -1 outside.
int32_t mouseCellIn(FrontEnd& f, int32_t window) {
    ScreenRequest r;
    r.window = window;
    r.action = kScreenMousePlace;
    return f.screenAction(r);
}

// A COMBO's text edited on the character screen.
class ComboHost final : public FieldEditorHost {
  public:
    ComboHost(FrontEnd& f, const Control& c, int32_t wait) : f_(f), c_(c), wait_(wait) {}
    int32_t readKey() override {
        const int32_t key = keyboardRoutine(wait_ ? 2 : 1, wait_);
        if (key < 0 && wait_ == 0) {
            ended_ = true;
            return keys::kAttention;
        }
        return key;
    }
    void beep() override {
        ScreenRequest r;
        r.action = kScreenBeep;
        (void)f_.screenAction(r);
    }
    void showMode(std::string_view text) override { f_.statusText(kStatusFieldMode, text); }
    void showRowColumn(std::string_view) override {}
    bool showHelp(std::string_view) override { return false; }
    void showField(const EditField& e) override {
        ScreenRequest r;
        r.window = c_.place.window;
        r.action = kScreenShowField;
        r.position = c_.place.row << 8 | c_.place.column;
        r.text = e.text;
        r.c = (e.cursor + 1) << 16 | static_cast<int32_t>(c_.look & 0xFFFF);
        (void)f_.screenAction(r);
    }
    std::string& clipboard() override { return clip_; }
    // A click on the combo's text puts the cursor there; anywhere else it leaves the combo.
    int mousePosition(const EditField&) override {
        const int32_t at = mouseCellIn(f_, c_.place.window);
        if (at >= 0 && c_.covers(at >> 8, at & 0xFF)) return (at & 0xFF) - c_.place.column;
        return kMouseOtherField;
    }
    bool ended() const { return ended_; }

  private:
    FrontEnd& f_;
    const Control& c_;
    int32_t wait_;
    bool ended_ = false;
    std::string clip_;
};

}  // namespace

void FrontEnd::controlEdit(const ControlPlace& place, int32_t wait, bool singleSelect,
                           int32_t& status, int32_t& exitCode) {
    status = 0;
    exitCode = 0;
    Control* c = controls_.find(place);
    if (!c) return;  // nothing to work: as Enter
    // The click that moved field input here, if one did: its cell in the window.
    const int32_t clicked = claimLastClick() ? mouseCellIn(*this, place.window) : -1;
    const int clickedColumn = clicked & 0xFF;
    const bool onControl = clicked >= 0 && c->covers(clicked >> 8, clickedColumn);
    if (c->kind == ControlKind::Combo) {
        bool first = true;
        for (;;) {
            EditField e;
            e.text = c->text;
            e.text.resize(static_cast<size_t>(c->width), ' ');
            e.cursor = static_cast<int>(std::min(c->text.size(), e.text.size()));
            if (std::exchange(first, false) && onControl)
                e.cursor =
                    std::min(clickedColumn - c->place.column, static_cast<int>(e.text.size()));
            ComboHost host(*this, *c, wait);
            const EditResult r = editField(e, false, host, FieldEditSettings{});
            const size_t end = e.text.find_last_not_of(' ');
            c->text = end == std::string::npos ? std::string() : e.text.substr(0, end + 1);
            if (host.ended() || r.attention) {
                status = host.ended() ? kInputEnded : kInputInterrupted;
                break;
            }
            // PgUp and PgDn step through the list.
            if ((r.exitCode == 90 || r.exitCode == 91) && !c->choices.empty()) {
                const auto& ch = c->choices;
                auto at = std::find(ch.begin(), ch.end(), c->text);
                long i = at == ch.end() ? -1 : at - ch.begin();
                i = r.exitCode == 91 ? std::min<long>(i + 1, static_cast<long>(ch.size()) - 1)
                                     : std::max<long>(i - 1, 0);
                c->text = ch[static_cast<size_t>(i)];
                continue;
            }
            exitCode = r.exitCode;
            break;
        }
        drawControl(*c, false);
        return;
    }
    ControlKeyState state;
    const bool list = c->kind == ControlKind::Grid || c->kind == ControlKind::List;
    if (list && c->current < 0 && !c->rows.empty()) c->moveTo(0);
    bool replay = onControl;  // the click acts on the control as one clicked while worked
    for (;;) {
        drawControl(*c, true);
        if (list && c->current >= 0) {  // the cursor at the current row's start
            const std::vector<ControlLine>& lines = drawn_[place];
            const size_t at = static_cast<size_t>(c->current - c->top + 1);
            if (at < lines.size()) {
                ScreenRequest r;
                r.window = place.window;
                r.action = kScreenShowField;
                r.position = lines[at].row << 8 | lines[at].column;
                r.text = lines[at].text;
                r.c = 1 << 16 | static_cast<int32_t>(lines[at].look & 0xFFFF);
                (void)screenAction(r);
            }
        }
        const int32_t key =
            std::exchange(replay, false) ? keys::kMouseClick : keyboardRoutine(wait ? 2 : 1, wait);
        if (key < 0) {
            if (wait == 0)
                status = kInputEnded;
            else
                exitCode = 101;
            break;
        }
        if (key == keys::kAttention) {
            status = kInputInterrupted;
            break;
        }
        int32_t typed = key;
        if (key == keys::kMouseClick) {
            // Outside the control a click leaves it (the statement sees where it fell); on a
            // list's row it makes that row the current one (unless a cell is being typed); on a
            // CHECK or RADIO it is Space.
            const int32_t at = mouseCellIn(*this, place.window);
            const int row = at >> 8, column = at & 0xFF;
            if (at < 0 || !c->covers(row, column)) {
                exitCode = kExitMouseField;
                break;
            }
            if (list && !state.editing) {
                const std::vector<ControlLine>& lines = drawn_[place];
                for (size_t i = 1; i < lines.size(); ++i)
                    if (lines[i].row == row &&
                        c->top + static_cast<int>(i) - 1 < static_cast<int>(c->rows.size()))
                        c->moveTo(c->top + static_cast<int>(i) - 1);
            }
            if (c->kind != ControlKind::Check && c->kind != ControlKind::Radio) continue;
            typed = ' ';
        }
        const int code = controlKey(controls_, *c, typed, singleSelect, state);
        for (const Control* other : controls_.shownWith(place))
            if (other != c) drawControl(*other, false);
        if (code >= 0) {
            exitCode = code;
            break;
        }
    }
    drawControl(*c, false);
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
