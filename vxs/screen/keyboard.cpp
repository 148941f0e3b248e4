// The terminal side's keyboard (see keyboard.h): where keys come from, in the order the key
// reader takes them -- the attention key ahead of everything, the type-ahead ring, a pushed-back
// key, a macro's remaining codes, then the main keyboard entry routine over the event queue and
// the attached front end's own key source.
#include "vxs/screen/keyboard.h"

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "vxs/base/failure.h"
#include "vxs/base/logger.h"
#include "vxs/base/process.h"
#include "vxs/clientserver/common.h"
#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

// ---- the event queue: a ring of 200 events ----
struct EventQueue {
    KeyEvent events[kKeyQueueEvents];
    int count = 0, read = 0, write = 0;

    int push(const KeyEvent& e) {
        if (count == kKeyQueueEvents) return -1;
        events[write] = e;
        write = (write + 1) % kKeyQueueEvents;
        ++count;
        return 0;
    }
    bool pop(KeyEvent& e) {
        if (count == 0) return false;
        e = events[read];
        read = (read + 1) % kKeyQueueEvents;
        --count;
        return true;
    }
    // Drops the events up to and including the first attention key; false when none waits.
    bool takeAttention() {
        for (int i = 0, at = read; i < count; ++i, at = (at + 1) % kKeyQueueEvents) {
            if (events[at].code != keys::kAttention) continue;
            read = (at + 1) % kKeyQueueEvents;
            count -= i + 1;
            return true;
        }
        return false;
    }
    void clear() { count = read = write = 0; }
};

// ---- the type-ahead ring: 129 slots, one always free so that full and empty differ ----
struct TypeAheadRing {
    static constexpr int kSlots = kTypeAheadKeys + 1;
    int32_t slots[kSlots] = {};
    int read = 0, write = 0;

    bool push(int32_t key) {
        const int next = (write + 1) % kSlots;
        if (next == read) return false;
        slots[write] = key;
        write = next;
        return true;
    }
    bool pop(int32_t& key) {
        if (read == write) return false;
        key = slots[read];
        read = (read + 1) % kSlots;
        return true;
    }
    int size() const { return (write - read + kSlots) % kSlots; }
    void clear() { read = write = 0; }
};

// ---- keyboard macros: (key, start) entries over one array of codes ----
struct MacroTable {
    struct Entry {
        int32_t key;
        size_t start;
    };
    std::vector<Entry> entries;
    std::vector<uint16_t> codes;
    size_t cursor = 0, end = 0;  // the expansion being delivered: [cursor, end)
    std::vector<std::string> loadedFrom;

    size_t expansionEnd(size_t i) const {
        return i + 1 < entries.size() ? entries[i + 1].start : codes.size();
    }
};

EventQueue g_queue;
TypeAheadRing g_ring;
MacroTable g_macros;
KeyEvent g_currentEvent;  // the data of the event taken last, for code 16
bool g_mouseSet = false;  // a click was read; its cell:
int g_mouseRow = 0, g_mouseColumn = 0;
bool g_clickUnclaimed = false;  // the key taken last was a click (claimLastClick)
bool g_pendingSet = false;
int32_t g_pendingKey = 0;
bool g_injectedSet = false;
int32_t g_injectedKey = 0;
bool g_lineDrawing = false;
bool g_keysNotified = false;
std::string g_statusText;

// The keypad digits 0..9 as box-drawing characters (code page 437): 7 8 9 top corners and
// tee, 4 5 6 left tee, cross, right tee, 1 2 3 bottom corners and tee, 0 the vertical line.
constexpr int32_t kLineDrawDigits[10] = {179, 192, 193, 217, 195, 197, 180, 218, 194, 191};
constexpr int32_t kLineDrawDot = 196;

// The event taken last: its data for code 16, a click's cell.
void took(const KeyEvent& e) {
    g_currentEvent = e;
    g_clickUnclaimed = e.code == keys::kMouseClick;
    if (e.code == keys::kMouseClick && e.hasData) noteMouseCell(e.y, e.x);
}

// ---- the KEYBOARD text ----

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// 1..4 hex digits naming a key code that is not 0.
bool hexCode(std::string_view& s, int32_t& code) {
    size_t n = 0;
    code = 0;
    while (n < s.size() && isHex(s[n])) {
        if (++n > 4) return false;
        const char c = s[n - 1];
        code = code * 16 + (c <= '9' ? c - '0' : (c & ~0x20) - 'A' + 10);
    }
    s.remove_prefix(n);
    return n > 0 && code != 0;
}

void skipBlanks(std::string_view& s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
}

// "kkkk,item[,item...]": the key and its expansion.
bool parseMacro(std::string_view s, int32_t& key, std::vector<uint16_t>& expansion) {
    skipBlanks(s);
    if (!hexCode(s, key)) return false;
    skipBlanks(s);
    if (s.empty() || s.front() != ',') return false;
    do {
        s.remove_prefix(1);  // the comma
        skipBlanks(s);
        if (!s.empty() && s.front() == '"') {
            const size_t close = s.find('"', 1);
            if (close == std::string_view::npos || close == 1) return false;
            for (unsigned char c : s.substr(1, close - 1)) {
                if (c == 0) return false;
                expansion.push_back(c);
            }
            s.remove_prefix(close + 1);
        } else {
            int32_t code = 0;
            if (!hexCode(s, code)) return false;
            expansion.push_back(static_cast<uint16_t>(code));
        }
        skipBlanks(s);
    } while (!s.empty() && s.front() == ',');
    return s.empty();
}

// ---- where keys come from ----

FrontEnd* frontEnd() {
    return attachedFrontEnd();
}

// Stops a macro's expansion and forgets the keys typed before an attention key.
void emptyForAttention() {
    g_ring.clear();
    g_macros.cursor = g_macros.end = 0;
}

// The attention key, when the front end or the queue holds one: it goes ahead of every other
// key, and the keys typed before it go with the ring.
bool takeAttention() {
    FrontEnd* fe = frontEnd();
    if (!((fe && fe->attention()) || g_queue.takeAttention())) return false;
    emptyForAttention();
    return true;
}

// An untranslated key: the queue first, then the front end's own source.
int32_t rawKey(bool wait, int32_t seconds) {
    KeyEvent e;
    if (g_queue.pop(e)) {
        took(e);
        return e.code;
    }
    FrontEnd* fe = frontEnd();
    if (!fe) return -1;
    int32_t key = fe->pollKey();
    if (key < 0 && wait) key = fe->readKey(seconds);
    if (key >= 0) g_clickUnclaimed = key == keys::kMouseClick;
    return key;
}

bool timePassed(int64_t start, int32_t seconds) {
    return seconds > 0 && platform::monotonicMicroseconds() - start > int64_t{seconds} * 1000000;
}

// Escape, the line-drawing keypad and the macro lookup.
int32_t translate(int32_t key) {
    if (key == keys::kEscapeTyped) key = keys::kEscape;
    if (g_lineDrawing) {
        if (key == '.')
            key = kLineDrawDot;
        else if (key >= '0' && key <= '9')
            key = kLineDrawDigits[key - '0'];
    }
    (void)loadKeyboardMacros();
    for (size_t i = 0; i < g_macros.entries.size(); ++i) {
        if (g_macros.entries[i].key != key) continue;
        const size_t start = g_macros.entries[i].start;
        g_macros.cursor = start + 1;
        g_macros.end = g_macros.expansionEnd(i);
        return g_macros.codes[start];
    }
    return key;
}

// Sends the status text to the terminal (operation 59) and waits for its answer.
void showStatusText() {
    if (!remoteHandler(STATUSTEXTCALL)) return;
    if (CallFunctionRemote(STATUSTEXTCALL, ORIGIN, {rpText(g_statusText)}))
        vxassertion("!CallFunctionRemote(STATUSTEXTCALL, ORIGIN, 1, strlen(text)+1, text)",
                    __FILE__, __LINE__);
    int32_t shown = 0;
    if (ReceiveFunctionRemote(STATUSTEXTRET, {roInt(&shown)}))
        vxassertion("!ReceiveFunctionRemote(STATUSTEXTRET, &shown)", __FILE__, __LINE__);
}

// The key reader: the attention key, then (unless a drain reads) the ring, the pushed-back key,
// the macro's remaining codes, and the main entry routine.  The internal codes are acted on
// here and never returned.
int32_t readKey(bool wait, int32_t seconds, bool fromRing) {
    for (;;) {
        frontEndDispatchPending();
        pollLink();
        if (takeAttention()) return keys::kAttention;
        int32_t key;
        if (fromRing && g_ring.pop(key)) {
        } else if (g_pendingSet) {
            g_pendingSet = false;
            key = g_pendingKey;
        } else if (g_macros.cursor < g_macros.end) {
            key = g_macros.codes[g_macros.cursor++];
        } else {
            key = mainKeyboardEntry(wait, seconds);
        }
        switch (key) {
            case keys::kControlEvent:
                if (FrontEnd* fe = frontEnd()) fe->controlEvent(g_currentEvent);
                continue;
            case keys::kLineDrawToggle: g_lineDrawing = !g_lineDrawing; continue;
            case keys::kStatusKey: showStatusText(); continue;
            case keys::kIgnored: continue;
            default: return key;
        }
    }
}

// Codes that end a drain of action 10: Escape, the event code and function keys 1..10.
bool stopsDrain(int32_t key) {
    return key == keys::kEscape || key == keys::kEvent ||
           ((key & 0xFF) == 0 && key >= keys::functionKey(1) && key <= keys::functionKey(10));
}

// Moves the keys available without waiting into the ring (dropped with TYPEAHEAD OFF; dropped
// with a beep when the ring is full).  Action 10 stops at the stopping codes and the help key,
// which are returned and not stored.
int32_t drain(int32_t action) {
    for (;;) {
        const int32_t key = readKey(false, 0, false);
        if (key < 0) return 0;
        if (key == keys::kAttention) {
            emptyForAttention();
            return keys::kAttention;
        }
        if (action == 10 && (key == keys::kHelp || stopsDrain(key))) return key;
        if (fieldsConfig().typeaheadOff) continue;
        if (g_ring.push(key)) continue;
        if (FrontEnd* fe = frontEnd()) {
            ScreenRequest beep;
            beep.action = kScreenBeep;
            (void)fe->screenAction(beep);
        }
    }
}

}  // namespace

// ---- the queue ----

int enqueueKey(int32_t code, void* control) {
    announceKeys();
    KeyEvent e;
    e.code = (code & 0xFF) != 0 ? code & 0xFF : code;
    e.control = control;
    e.hasData = control != nullptr;
    return g_queue.push(e);
}

int enqueueKeyAt(int32_t code, int32_t x, int32_t y) {
    announceKeys();
    KeyEvent e;
    e.code = (code & 0xFF) != 0 ? code & 0xFF : code;
    e.x = x;
    e.y = y;
    e.hasData = true;
    return g_queue.push(e);
}

int queuedKeyEvents() {
    return g_queue.count;
}

bool lastMouseCell(int& row, int& column) {
    row = g_mouseRow;
    column = g_mouseColumn;
    return g_mouseSet;
}

void noteMouseCell(int row, int column) {
    g_mouseSet = true;
    g_mouseRow = row;
    g_mouseColumn = column;
}

void pushBackKey(int32_t code) {
    g_pendingSet = true;
    g_pendingKey = code;
}

// ---- macros ----

int addKeyboardMacro(std::string_view text) {
    int32_t key = 0;
    std::vector<uint16_t> expansion;
    if (!parseMacro(text, key, expansion)) return kErrUnrecognized;
    for (const auto& e : g_macros.entries)
        if (e.key == key) return 0;  // the first definition is the one found
    g_macros.entries.push_back({key, g_macros.codes.size()});
    g_macros.codes.insert(g_macros.codes.end(), expansion.begin(), expansion.end());
    return 0;
}

void clearKeyboardMacros() {
    g_macros.entries.clear();
    g_macros.codes.clear();
    g_macros.cursor = g_macros.end = 0;
    g_macros.loadedFrom.clear();
}

int loadKeyboardMacros() {
    const auto& texts = displayConfig().keyboard;
    if (texts == g_macros.loadedFrom) return 0;
    clearKeyboardMacros();
    g_macros.loadedFrom = texts;
    int result = 0;
    for (const auto& text : texts) {
        if (addKeyboardMacro(text) == 0) continue;
        vxlog(2, "KEYBOARD %s refused: not a key code in hex, a comma and its keys.",
              text.c_str());
        result = kErrUnrecognized;
    }
    return result;
}

// ---- the routines ----

int32_t mainKeyboardEntry(bool wait, int32_t seconds) {
    int32_t key = -1;
    bool found = false;
    if (linkOpen()) {
        const int64_t start = platform::monotonicMicroseconds();
        for (;;) {
            if (g_injectedSet) {
                g_injectedSet = false;
                key = g_injectedKey;
                found = true;
                break;
            }
            key = rawKey(false, 0);
            if (key >= 0 || !wait || timePassed(start, seconds)) {
                found = true;
                break;
            }
            yieldControl();
            if (!linkOpen()) break;  // go on as without a link
        }
    }
    if (!found) {
        // A process that runs unattended has nobody to wait for.  Looking without waiting (the
        // run loop's polls) stays harmless.
        if (wait && configLimits().unattended) {
            (void)fatalError("Input attempted in unattended mode while processing main keyboard "
                             "entry routine",
                             -1, 0);
            return -1;
        }
        key = rawKey(wait, seconds);
    }
    return key < 0 ? -1 : translate(key);
}

int32_t keyboardRoutine(int32_t action, int32_t argument) {
    switch (action) {
        case 1: return readKey(argument >= 0, 0, true);
        case 2:
        case 4: return argument < 0 ? -1 : readKey(true, argument, true);
        case 3:
            g_ring.clear();
            while (readKey(false, 0, false) >= 0) {
            }
            return 0;
        case 6:
        case 7: return 0;
        case 9:
        case 10: return drain(action);
        default: vxassertion("Keyboard routine called with unknown action.", __FILE__, __LINE__);
    }
}

bool lineDrawingMode() {
    return g_lineDrawing;
}

int typeAheadCount() {
    return g_ring.size();
}

// ---- for the front-end layer ----

void announceKeys() {
    if (g_keysNotified || !attachedFrontEnd()) return;
    g_keysNotified = true;
    (void)CallFunctionRemote(KEYSAVAILABLE, ORIGIN, {});
}

void rearmKeyAnnouncement() {
    g_keysNotified = false;
}

void injectKey(int32_t code) {
    if (!linkOpen()) {
        (void)enqueueKey(code);
        return;
    }
    g_injectedSet = true;
    g_injectedKey = code;
    announceKeys();  // the run loop's next poll asks for it
}

int32_t takeInjectedKey() {
    if (!g_injectedSet) return -1;
    g_injectedSet = false;
    return g_injectedKey;
}

void noteStatusText(std::string_view text) {
    g_statusText = text;
}

void resetKeyboard() {
    g_queue.clear();
    g_ring.clear();
    g_pendingSet = g_injectedSet = false;
    g_macros.cursor = g_macros.end = 0;
    g_lineDrawing = false;
    g_keysNotified = false;
    g_currentEvent = KeyEvent{};
    g_mouseSet = g_clickUnclaimed = false;
}

bool claimLastClick() {
    return std::exchange(g_clickUnclaimed, false);
}

int32_t waitForQueuedKey(int32_t seconds) {
    const int64_t start = platform::monotonicMicroseconds();
    for (;;) {
        KeyEvent e;
        if (g_queue.pop(e)) {
            took(e);
            return e.code;
        }
        if (timePassed(start, seconds)) return -1;
        yieldControl();
    }
}

namespace {
// The code of a key name as scripts write it (upper case), or -1.
int32_t keyOfName(const std::string& name) {
    static const struct {
        const char* name;
        int32_t code;
    } kNames[] = {
        {"ENTER", keys::kEnter},     {"TAB", keys::kTab},         {"BACKSPACE", keys::kBackspace},
        {"DELETE", keys::kDelete},   {"DEL", keys::kDelete},      {"INSERT", keys::kInsert},
        {"INS", keys::kInsert},      {"ESC", keys::kEscape},      {"ESCAPE", keys::kEscape},
        {"UP", keys::kUp},           {"DOWN", keys::kDown},       {"LEFT", keys::kLeft},
        {"RIGHT", keys::kRight},     {"HOME", keys::kHome},       {"END", keys::kEnd},
        {"PGUP", keys::kPageUp},     {"PGDN", keys::kPageDown},   {"ATTENTION", keys::kAttention},
        {"BACKTAB", keys::kBackTab},
    };
    for (const auto& n : kNames)
        if (name == n.name) return n.code;
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F') {
        int n = 0;
        for (size_t i = 1; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9') return -1;
            n = n * 10 + (name[i] - '0');
        }
        return n >= 1 && n <= 12 ? keys::functionKey(n) : -1;
    }
    if (name.size() == 6 && name.starts_with("CTRL-") && name[5] >= 'A' && name[5] <= 'Z')
        return name[5] - 'A' + 1;
    return -1;
}
}  // namespace

std::vector<int32_t> keysOfText(std::string_view text) {
    std::vector<int32_t> out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '{') {
            if (i + 1 < text.size() && text[i + 1] == '{') {
                out.push_back('{');
                ++i;
                continue;
            }
            const size_t close = text.find('}', i + 1);
            if (close != std::string_view::npos && close - i - 1 <= 12) {
                std::string name(text.substr(i + 1, close - i - 1));
                for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                if (const int32_t code = keyOfName(name); code >= 0) {
                    out.push_back(code);
                    i = close;
                    continue;
                }
            }
        }
        if (c != 0) out.push_back(c);  // key codes run from 1
    }
    return out;
}

}  // namespace vxs
