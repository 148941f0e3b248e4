// Field specification and attribute parsing: FIELDS lists into FieldSpec records, attribute texts
// into FontFlags, and the named colour, attribute and screen-letter tables built from the display
// configuration.  Every routine reads only inside its string_view and reports errors as numbers.
#include "vxs/screen/fields.h"

#include <algorithm>
#include <cctype>

#include "vxs/config/config.h"
#include "vxs/errors/errors.h"
#include "vxs/form/form.h"

namespace vxs {
namespace {

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = upper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A cursor over the text being parsed; every read checks the end.
struct Cursor {
    std::string_view s;
    size_t p = 0;
    bool end() const { return p >= s.size(); }
    char peek(size_t ahead = 0) const { return p + ahead < s.size() ? s[p + ahead] : '\0'; }
    void skipBlanks() {
        while (!end() && s[p] == ' ') ++p;
    }
    // The next characters equal `word` (case-insensitive)?
    bool matchWord(std::string_view word) const {
        if (s.size() - std::min(p, s.size()) < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i)
            if (upper(s[p + i]) != word[i]) return false;
        return true;
    }
    // Reads decimal digits into `v` (capped so that it cannot overflow); false when none.
    bool number(long& v) {
        if (!isDigit(peek())) return false;
        v = 0;
        while (isDigit(peek())) {
            if (v < 100000000) v = v * 10 + (s[p] - '0');
            ++p;
        }
        return true;
    }
    bool atSeparator() const { return end() || s[p] == ',' || s[p] == ';'; }
};

// "#RRGGBB" at the cursor (on the "#"): the colour, and the cursor moved past it; false when six
// hex digits do not follow.
bool takeRgb(Cursor& c, uint32_t& rgb) {
    rgb = 0;
    for (size_t i = 1; i <= 6; ++i) {
        const int h = hexValue(c.peek(i));
        if (h < 0) return false;
        rgb = rgb << 4 | static_cast<uint32_t>(h);
    }
    c.p += 7;
    return true;
}

const ColorList& colorsOf(const AttributeContext& c) { return c.colors ? *c.colors : colorList(); }
const AttributeList& attrsOf(const AttributeContext& c) {
    return c.attributes ? *c.attributes : attributeList();
}
const ScreenTable& screenOf(const AttributeContext& c) {
    return c.screen ? *c.screen : screenTable(c.monochrome);
}

// Adds the look `f` to `out`: its bits, and its RGB colours where it has them.
void addLook(FontFlags& out, const FontFlags& f) {
    out.flags |= f.flags;
    if (f.flags & kFontFgRgb) out.foreground = f.foreground;
    if (f.flags & kFontBgRgb) out.background = f.background;
    if (f.value1) out.value1 = f.value1;
    out.value2 |= f.value2;  // look letters add up
}

// "[name]": the name between the brackets; false when the "]" is missing or the name empty.
bool bracketName(Cursor& c, std::string_view& name) {
    const size_t close = c.s.find(']', c.p + 1);
    if (close == std::string_view::npos || close == c.p + 1) return false;
    name = c.s.substr(c.p + 1, close - c.p - 1);
    c.p = close + 1;
    return true;
}

// One side of a colour clause: letters B G R H W (and T on the background), "#RRGGBB" or
// "[name]".  `shift` is 0 for the foreground, 4 for the background.
int colorSide(Cursor& c, const AttributeContext& ctx, bool background, FontFlags& f) {
    const uint32_t shift = background ? 4 : 0;
    for (;;) {
        const char ch = upper(c.peek());
        if (ch == 'B') f.flags |= kFontFgBlue << shift;
        else if (ch == 'G') f.flags |= kFontFgGreen << shift;
        else if (ch == 'R') f.flags |= kFontFgRed << shift;
        else if (ch == 'H') f.flags |= kFontFgIntense << shift;
        else if (ch == 'W') f.flags |= background ? kFontBgWhite : kFontFgWhite;
        else if (ch == 'T' && background) f.flags |= kFontTransparent;
        else if (ch == '#') {
            uint32_t rgb = 0;
            if (!takeRgb(c, rgb)) return kErrBadRgb;
            if (background) f.background = rgb, f.flags |= kFontBgRgb;
            else f.foreground = rgb, f.flags |= kFontFgRgb;
            continue;
        } else if (ch == '[') {
            std::string_view name;
            if (!bracketName(c, name)) return kErrBadRgb;
            uint32_t rgb = 0;
            if (int err = colorsOf(ctx).lookup(name, rgb)) return err;
            if (background) f.background = rgb, f.flags |= kFontBgRgb;
            else f.foreground = rgb, f.flags |= kFontFgRgb;
            continue;
        } else {
            return 0;
        }
        ++c.p;
    }
}

// "/fg[:bg]" with the cursor on the "/".
int colorClause(Cursor& c, const AttributeContext& ctx, AttributeResult& r) {
    ++c.p;
    FontFlags f;
    if (int err = colorSide(c, ctx, false, f)) return err;
    if (c.peek() == ':') {
        ++c.p;
        if (int err = colorSide(c, ctx, true, f)) return err;
    }
    r.colorClause = true;
    if (ctx.monochrome) return 0;
    uint32_t clear = kFontColorBits;
    if (!screenOf(ctx).keepIntensity) clear |= kFontIntensityBits;
    r.attr.flags = (r.attr.flags & ~clear) | f.flags;
    if (f.flags & kFontFgRgb) r.attr.foreground = f.foreground;
    if (f.flags & kFontBgRgb) r.attr.background = f.background;
    return 0;
}

struct CaretWord {
    const char* word;
    uint32_t fieldFlag, controlFlag, fontFlag;
};
constexpr CaretWord kCaretWords[] = {
    {"ADVANCE", kFieldAdvance, 0, 0},   {"CURSOR", kFieldCursorHere, 0, 0},
    {"CHGEXIT", kFieldChgexit, 0, 0},   {"NOWAIT", kFieldNowait, 0, 0},
    {"LEAVE", kFieldLeave, 0, 0},       {"PROTECT", kFieldProtect, 0, kFontProtected | kFontFgGreen},
    {"COMBO", 0, kCtlCombo, 0},         {"SUNKEN", 0, 0, kFontSunken},
    {"TAB", kFieldTab, 0, 0},           {"EXIT", kFieldExit, 0, 0},
    {"LABEL", kFieldLabel, 0, 0},       {"NOTHEME", kFieldNoTheme, 0, kFontNoTheme},
};

// "^WORD" with the cursor on the "^".
int caretWord(Cursor& c, AttributeResult& r) {
    ++c.p;
    const size_t start = c.p;
    while (isAlpha(c.peek())) ++c.p;
    const std::string_view word = c.s.substr(start, c.p - start);
    for (const CaretWord& w : kCaretWords) {
        const std::string_view name = w.word;
        if (word.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) same = upper(word[i]) == name[i];
        if (!same) continue;
        r.fieldFlags |= w.fieldFlag;
        r.controlFlags |= w.controlFlag;
        r.attr.flags |= w.fontFlag;
        return 0;
    }
    return kErrUnknownAttribute;
}

// The look of screen letter `letter` when its slot is defined.
void screenLook(const AttributeContext& ctx, char letter, FontFlags& out) {
    const ScreenTable& t = screenOf(ctx);
    const int i = ScreenTable::index(letter);
    if (i >= 0 && t.defined[i]) addLook(out, t.slot[i]);
    switch (letter) {
        case 'H': out.value2 |= kLookH; break;
        case 'B': out.value2 |= kLookB; break;
        case 'U': out.value2 |= kLookU; break;
        case 'R': out.value2 |= kLookR; break;
        case 'I': out.value2 |= kLookI; break;
        default: break;
    }
}

int attributeRun(Cursor& c, const AttributeContext& ctx, AttributeResult& r) {
    while (!c.atSeparator()) {
        const char ch = upper(c.peek());
        if (ch == ' ') {
            ++c.p;
            continue;
        }
        r.fieldFlags |= kFieldAttrGiven;
        if (isDigit(ch)) {
            long n = 0;
            c.number(n);
            r.cursorStart = static_cast<int>(n) - 1;
            continue;
        }
        if (ch == '/') {
            if (int err = colorClause(c, ctx, r)) return err;
            continue;
        }
        if (ch == '^') {
            if (int err = caretWord(c, r)) return err;
            continue;
        }
        if (ch == '[') {
            std::string_view name;
            if (!bracketName(c, name)) return kErrFieldSeparator;
            const NamedAttribute* a = nullptr;
            if (int err = attrsOf(ctx).lookup(name, a)) return err;
            addLook(r.attr, ctx.monochrome ? a->mono : a->color);
            continue;
        }
        ++c.p;
        switch (ch) {
        case 'N': break;
        case 'H': case 'B': case 'U': case 'R': screenLook(ctx, ch, r.attr); break;
        case 'I':
            r.attr.flags |= kFontInvisible;
            screenLook(ctx, 'I', r.attr);
            break;
        case 'A': r.fieldFlags |= kFieldAdvance; break;
        case 'C': r.fieldFlags |= kFieldCursorHere; break;
        case 'E': r.fieldFlags |= kFieldChgexit; break;
        case 'G': r.fieldFlags |= kFieldNowait; break;
        case 'L': r.fieldFlags |= kFieldLeave; break;
        case 'P':
            r.fieldFlags |= kFieldProtect;
            r.attr.flags |= kFontProtected | kFontFgGreen;
            break;
        case 'Q': r.controlFlags |= kCtlCombo; break;
        case 'S': r.attr.flags |= kFontSunken; break;
        case 'T': r.fieldFlags |= kFieldTab; break;
        case 'X': r.fieldFlags |= kFieldExit; break;
        case '@': r.fieldFlags |= kFieldAt; break;
        default: --c.p; return kErrFieldSeparator;
        }
    }
    return 0;
}

// What follows the attributes: the window default when no colour was given, and the monochrome
// rule that blue on white shows as black on white.
void finishAttributes(const AttributeContext& ctx, const FontFlags& dflt, AttributeResult& r) {
    if (!r.colorClause && !(r.attr.flags & (kFontColorBits | kFontIntensityBits)))
        addLook(r.attr, dflt);
    if (ctx.monochrome) {
        const uint32_t fg = r.attr.flags & (kFontFgBlue | kFontFgGreen | kFontFgRed | kFontFgWhite);
        const bool bgWhite = (r.attr.flags & kFontBgWhite) ||
                             (r.attr.flags & (kFontBgBlue | kFontBgGreen | kFontBgRed)) ==
                                 (kFontBgBlue | kFontBgGreen | kFontBgRed);
        if (fg == kFontFgBlue && bgWhite) r.attr.flags &= ~kFontFgBlue;
    }
}

}  // namespace

// ---- tables ----

ColorList::ColorList() {
    colors = {{"BLACK", 0x000000}, {"BLUE", 0x0000FF},    {"GREEN", 0x008000},
              {"CYAN", 0x00FFFF},  {"RED", 0xFF0000},     {"MAGENTA", 0xFF00FF},
              {"YELLOW", 0xFFFF00}, {"WHITE", 0xFFFFFF}, {"GRAY", 0x808080}};
}

int ColorList::lookup(std::string_view name, uint32_t& rgb) const {
    const auto it = colors.find(name);
    if (it == colors.end()) return kErrBadRgb;
    rgb = it->second;
    return 0;
}

int AttributeList::lookup(std::string_view name, const NamedAttribute*& found) const {
    const auto it = entries.find(name);
    if (it == entries.end()) return kErrUnknownAttribute;
    found = &it->second;
    return 0;
}

int ScreenTable::index(char letter) {
    for (int i = 0; i < 8; ++i)
        if (kLetters[i] == letter) return i;
    return -1;
}

bool fmtDataPosition(char c) {
    return c != '\0' && std::string_view("PpXxAaGg9R#Yy").find(c) != std::string_view::npos;
}

ScreenTable defaultScreenTable(bool monochrome) {
    ScreenTable t;
    // H B U I S R N C; I is left undefined so that I only hides the text.
    const uint32_t color[8] = {0x0E, 0x0C, 0x0B, 0, 0x70, 0x70, 0x07, 0x0A};
    const uint32_t mono[8] = {0x0F, 0x0F, 0x07, 0, 0x70, 0x70, 0x07, 0x0F};
    for (int i = 0; i < 8; ++i) {
        t.slot[i].flags = monochrome ? mono[i] : color[i];
        t.defined[i] = i != 3;
    }
    return t;
}

ColorList& colorList() {
    static ColorList list;
    return list;
}
AttributeList& attributeList() {
    static AttributeList list;
    return list;
}
ScreenTable& screenTable(bool monochrome) {
    static ScreenTable color = defaultScreenTable(false), mono = defaultScreenTable(true);
    return monochrome ? mono : color;
}

// ---- attribute texts ----

int parseAttributes(std::string_view text, const AttributeContext& ctx, AttributeResult& out,
                    size_t* used) {
    out = AttributeResult{};
    Cursor c{text};
    const int err = attributeRun(c, ctx, out);
    if (used) *used = c.p;
    return err;
}

int parseAttributeText(std::string_view text, FontFlags& out) {
    AttributeResult r;
    size_t used = 0;
    if (int err = parseAttributes(text, AttributeContext{}, r, &used)) return err;
    if (used < text.size()) return kErrFieldSeparator;
    out = r.attr;
    return 0;
}

std::string formatAttributeText(const FontFlags& f) {
    std::string s;
    if (f.value2 & kLookH) s += 'H';
    if (f.value2 & kLookB) s += 'B';
    if (f.value2 & kLookU) s += 'U';
    if (f.value2 & kLookR) s += 'R';
    if (f.flags & kFontInvisible) s += 'I';
    if (f.flags & kFontSunken) s += 'S';
    if (f.flags & kFontProtected) s += 'P';
    if (f.flags & kFontNoTheme) s += "^NOTHEME";
    const uint32_t colors = f.flags & (kFontColorBits | kFontIntensityBits);
    // P brings its green with it: without other colours P says it all; otherwise the clause,
    // which replaces all colours, names the green again (an empty clause takes it away).
    if (f.flags & kFontProtected ? colors == kFontFgGreen : colors == 0) return s;
    auto side = [&](bool bg) {
        const uint32_t shift = bg ? 4 : 0;
        if (f.flags & (bg ? kFontBgRgb : kFontFgRgb)) {
            static const char* hex = "0123456789ABCDEF";
            const uint32_t rgb = bg ? f.background : f.foreground;
            s += '#';
            for (int i = 20; i >= 0; i -= 4) s += hex[(rgb >> i) & 0xF];
        }
        if (f.flags & (kFontFgRed << shift)) s += 'R';
        if (f.flags & (kFontFgGreen << shift)) s += 'G';
        if (f.flags & (kFontFgBlue << shift)) s += 'B';
        if (f.flags & (kFontFgIntense << shift)) s += 'H';
        if (f.flags & (bg ? kFontBgWhite : kFontFgWhite)) s += 'W';
        if (bg && (f.flags & kFontTransparent)) s += 'T';
    };
    s += '/';
    side(false);
    if (f.flags & (0xF0 | kFontBgWhite | kFontTransparent | kFontBgRgb)) {
        s += ':';
        side(true);
    }
    return s;
}

// ---- building the tables from the configuration's statements ----

int buildColorList(const std::vector<std::string>& items, ColorList& out) {
    for (const std::string& item : items) {
        Cursor c{item};
        c.skipBlanks();
        std::string_view name;
        if (c.peek() != '[' || !bracketName(c, name)) return kErrBadRgb;
        c.skipBlanks();
        if (c.peek() != '#' || c.s.size() - c.p < 7) return kErrBadRgb;
        uint32_t rgb = 0;
        if (!takeRgb(c, rgb)) return kErrBadRgb;
        c.skipBlanks();
        if (!c.end()) return kErrBadRgb;
        out.colors[std::string(name)] = rgb;
    }
    return 0;
}

int buildAttributeList(const std::vector<std::string>& items, const ColorList& colors,
                       AttributeList& out) {
    // A statement holds items "[name]spec[,]", each optionally followed by " FONT=fontname" (the
    // font name runs to the next "[", so it may hold blanks); items are separated by blanks.
    for (const std::string& statement : items) {
        Cursor c{statement};
        c.skipBlanks();
        if (c.end()) return kErrUnknownAttribute;
        while (!c.end()) {
            std::string_view name;
            if (c.peek() != '[' || !bracketName(c, name)) return kErrUnknownAttribute;
            const size_t start = c.p;
            while (!c.end() && c.s[c.p] != ' ') ++c.p;
            std::string_view spec = c.s.substr(start, c.p - start);
            if (!spec.empty() && spec.back() == ',') spec.remove_suffix(1);
            c.skipBlanks();
            std::string font;
            if (c.matchWord("FONT=")) {
                c.p += 5;
                const size_t open = c.s.find('[', c.p);
                std::string_view f = c.s.substr(c.p, open == std::string_view::npos
                                                         ? std::string_view::npos
                                                         : open - c.p);
                c.p += f.size();
                while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
                font.assign(f);
            }
            NamedAttribute a;
            for (int mono = 0; mono < 2; ++mono) {
                AttributeContext ctx;
                ctx.colors = &colors;
                ctx.attributes = &out;
                ctx.monochrome = mono != 0;
                AttributeResult r;
                size_t used = 0;
                if (int err = parseAttributes(spec, ctx, r, &used)) return err;
                if (used < spec.size()) return kErrFieldSeparator;
                if (!font.empty()) r.attr.flags |= kFontFont;
                (mono ? a.mono : a.color) = r.attr;
            }
            a.font = std::move(font);
            out.entries[std::string(name)] = std::move(a);
        }
    }
    return 0;
}

int buildScreenTables(const std::vector<std::string>& items, const ColorList& colors,
                      const AttributeList& attrs, ScreenTable& color, ScreenTable& mono) {
    for (const std::string& item : items) {
        if (item.size() < 3) return kErrFieldSeparator;
        const int slot = ScreenTable::index(upper(item[0]));
        if (slot < 0) return kErrFieldSeparator;
        const std::string_view value = std::string_view(item).substr(2);
        FontFlags looks[2];
        if (value[0] == '[') {
            const size_t close = value.rfind(']');
            if (close == std::string_view::npos || close + 1 != value.size())
                return kErrFieldSeparator;
            const std::string_view spec = value.substr(1, close - 1);
            // "[NAME]" naming an attribute takes its two looks.
            const NamedAttribute* named = nullptr;
            if (attrs.lookup(spec, named) == 0) {
                looks[0] = named->color;
                looks[1] = named->mono;
            }
            for (int m = 0; m < 2 && !named; ++m) {
                AttributeContext ctx;
                ctx.colors = &colors;
                ctx.attributes = &attrs;
                ctx.monochrome = m != 0;
                ctx.screen = m ? &mono : &color;
                AttributeResult r;
                size_t used = 0;
                if (int err = parseAttributes(spec, ctx, r, &used)) return err;
                if (used < spec.size()) return kErrFieldSeparator;
                looks[m] = r.attr;
            }
        } else {
            if (value.size() != 2 && value.size() != 4) return kErrBadRgb;
            uint32_t v = 0;
            for (char ch : value) {
                const int h = hexValue(ch);
                if (h < 0) return kErrBadRgb;
                v = v << 4 | static_cast<uint32_t>(h);
            }
            looks[0].flags = looks[1].flags = v;
        }
        color.slot[slot] = looks[0];
        mono.slot[slot] = looks[1];
        color.defined[slot] = mono.defined[slot] = true;
    }
    return 0;
}

int buildDisplayTables(const DisplayConfig& d) {
    ColorList colors;
    AttributeList attrs;
    ScreenTable color = defaultScreenTable(false), mono = defaultScreenTable(true);
    if (int err = buildColorList(d.colors, colors)) return err;
    if (int err = buildAttributeList(d.attributes, colors, attrs)) return err;
    if (int err = buildScreenTables(d.screen, colors, attrs, color, mono)) return err;
    colorList() = std::move(colors);
    attributeList() = std::move(attrs);
    screenTable(false) = color;
    screenTable(true) = mono;
    return 0;
}

// ---- field specifications ----

FieldOptions fieldOptionsFromConfig() {
    FieldOptions o;
    o.skipUnparsed = optionOn(38);
    o.buttonDefault = optionOn(40);
    o.widthSlashLength = optionOn(45);
    return o;
}

namespace {

bool dataKindTakesAlign(const FieldSpec& f) {
    return f.kind == 'C' || f.kind == 'V' || f.kind == 'G' || f.kind == 'X';
}

// PIC(mask): the cursor on the "(".
int picMask(Cursor& c, FieldSpec& f) {
    ++c.p;
    const size_t start = c.p;
    int depth = 1;
    while (!c.end()) {
        if (c.s[c.p] == '(') ++depth;
        else if (c.s[c.p] == ')' && --depth == 0) break;
        ++c.p;
    }
    if (c.end() || c.p == start) return kErrBadPic;
    f.mask.assign(c.s.substr(start, c.p - start));
    ++c.p;
    f.kind = 'P';
    f.length = f.width = static_cast<int>(f.mask.size());
    const size_t point = f.mask.find('.');
    int decimals = 0;
    if (point != std::string::npos)
        for (size_t i = point + 1; i < f.mask.size(); ++i)
            if (std::string_view("#$-Zz(*").find(f.mask[i]) != std::string_view::npos) ++decimals;
    f.decimals = decimals;
    return 0;
}

// FMT(mask) or DATE(mask): the cursor on the "(".
int fmtMask(Cursor& c, FieldSpec& f, char kind) {
    ++c.p;
    const size_t close = c.s.find(')', c.p);
    if (close == std::string_view::npos) return kErrBadFmt;
    f.mask.assign(c.s.substr(c.p, close - c.p));
    c.p = close + 1;
    f.kind = kind;
    if (f.mask.empty()) return kErrBadFmt;
    f.length = f.width = static_cast<int>(f.mask.size());
    if (kind == 'D') {
        if (f.mask.size() > 200) return kErrBadFmt;
        for (char ch : f.mask)
            if (static_cast<unsigned char>(ch) < ' ') return kErrBadFmt;
        // The field is as wide as the widest date the picture writes.
        f.length = f.width = formDateLength(f.mask);
        if (f.length <= 0 || f.length > 200) return kErrBadFmt;
        f.decimals = 0;
        return 0;
    }
    int data = 0, kept = 0;
    for (size_t i = 0; i < f.mask.size(); ++i) {
        const char ch = f.mask[i];
        if (!fmtDataPosition(ch)) continue;
        ++data;
        if (ch == 'p' || ch == 'P') ++kept;
        // R and # are stepped over by the editor: a literal after them could never be reached.
        if ((ch == 'R' || ch == '#') && i + 1 < f.mask.size() && !fmtDataPosition(f.mask[i + 1]))
            return kErrBadFmt;
    }
    if (data == 0 || data == kept) return kErrBadFmt;
    f.decimals = data;
    return 0;
}

struct ControlWord {
    const char* word;
    uint32_t flag;
};
constexpr ControlWord kControls[] = {{"GRID", kCtlGrid},   {"LIST", kCtlList},
                                     {"COMBO", kCtlCombo}, {"RADIO", kCtlRadio},
                                     {"CHECK", kCtlCheck}, {"SEARCH", kCtlSearch}};

// [width/]kind[modifier][length][.decimals][/length2]
int format(Cursor& c, const FieldOptions& opt, FieldSpec& f) {
    c.skipBlanks();
    long width = -1;
    {
        Cursor look = c;
        long n = 0;
        if (look.number(n) && look.peek() == '/') {
            width = n;
            c = look;
            ++c.p;
            c.skipBlanks();
        }
    }
    if (c.matchWord("PIC(")) {
        c.p += 3;
        if (int err = picMask(c, f)) return err;
    } else if (c.matchWord("FMT(")) {
        c.p += 3;
        if (int err = fmtMask(c, f, 'F')) return err;
    } else if (c.matchWord("DATE(")) {
        c.p += 4;
        if (int err = fmtMask(c, f, 'D')) return err;
    } else {
        bool control = false;
        for (const ControlWord& w : kControls)
            if (c.matchWord(w.word)) {
                c.p += std::string_view(w.word).size();
                f.kind = 'X';
                f.controlFlags |= w.flag;
                control = true;
                break;
            }
        if (!control) {
            const char k = upper(c.peek());
            if (k == 'P' && c.peek(1) == ' ') {
                ++c.p;
                f.kind = 'P';
                f.controlFlags |= kCtlPicture;
            } else if (k != '\0' && std::string_view("VCNGL").find(k) != std::string_view::npos) {
                ++c.p;
                f.kind = k;
            } else {
                return kErrFieldKind;
            }
        }
        // Modifiers.
        for (;;) {
            const char m = upper(c.peek());
            if (m == 'C' || m == 'R' || m == 'L' || m == 'U') {
                if (!dataKindTakesAlign(f)) return kErrFieldKind;
                if (m == 'C') f.controlFlags |= kCtlCenter;
                else if (m == 'R') f.controlFlags |= kCtlRight;
                else f.caseConv = m;
            } else if (m == 'F') {
                if (f.kind != 'G') return kErrFieldKind;
                f.controlFlags |= kCtlGF;
            } else if (m == 'Z') {
                if (f.kind != 'N' && f.kind != 'G') return kErrFieldKind;
                f.controlFlags |= kCtlZeroFill;
            } else {
                break;
            }
            ++c.p;
        }
        c.skipBlanks();
        const bool picture = (f.controlFlags & kCtlPicture) != 0;
        const bool gridList = (f.controlFlags & (kCtlGrid | kCtlList)) != 0;
        long len = 0;
        if (!c.number(len)) {
            if (!picture) return kErrFieldLength;
        } else {
            if (c.peek() == '.') {
                ++c.p;
                long dec = 0;
                if (!c.number(dec) || dec > 9) return kErrFieldLength;
                f.decimals = static_cast<int>(dec);
            }
        }
        long second = 0;
        bool hasSecond = false;
        if (c.peek() == '/') {
            ++c.p;
            if (!c.number(second) || second < 1) return kErrFieldLength;
            hasSecond = true;
        }
        if (gridList || picture) {
            if (gridList && (!hasSecond || len < 1)) return kErrFieldLength;
            f.size[0] = static_cast<int>(len);
            f.size[1] = static_cast<int>(second);
            f.length = 0;
            f.width = gridList ? 1 : std::max(1, static_cast<int>(second));
        } else if (hasSecond) {
            if (!opt.widthSlashLength) return kErrFieldKind;
            f.width = static_cast<int>(len);
            f.length = static_cast<int>(second);
        } else {
            f.length = f.width = static_cast<int>(len);
        }
    }
    if (width >= 0) f.width = static_cast<int>(width);
    return 0;
}

// An fkey item (NOWAIT, [B|T]F<n>, [B|T]-1, [B|T]X<hex>), the whole of `item`.
int fkeyItem(std::string_view item, const FieldOptions& opt, FieldSpec& f) {
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item.size() == 6) {
        Cursor c{item};
        if (c.matchWord("NOWAIT")) {
            f.fieldFlags |= kFieldNowait;
            return 0;
        }
    }
    uint32_t hot = opt.buttonDefault ? kFieldButton : kFieldHotText;
    if (!item.empty() && (upper(item[0]) == 'B' || upper(item[0]) == 'T')) {
        hot = upper(item[0]) == 'B' ? kFieldButton : kFieldHotText;
        item.remove_prefix(1);
    }
    if (item == "-1") {
        f.fkey = -1;
    } else if (item.size() >= 2 && upper(item[0]) == 'F') {
        long n = 0;
        for (size_t i = 1; i < item.size(); ++i) {
            if (!isDigit(item[i])) return kErrBadFkey;
            if (n < 100000) n = n * 10 + (item[i] - '0');
        }
        if (n == 0) n = 10000;
        if (!(n <= 512 || (n >= 1000 && n <= 10000))) return kErrBadFkey;
        f.fkey = static_cast<int>(n);
    } else if ((item.size() == 3 || item.size() == 5) && upper(item[0]) == 'X') {
        int v = 0;
        for (size_t i = 1; i < item.size(); ++i) {
            const int h = hexValue(item[i]);
            if (h < 0) return kErrBadFkey;
            v = v << 4 | h;
        }
        f.fkey = v;
        f.fieldFlags |= kFieldRawKey;
    } else {
        return kErrBadFkey;
    }
    f.fieldFlags |= hot;
    return 0;
}

bool selectionWord(std::string_view item, ListSelect& sel) {
    static constexpr std::pair<const char*, ListSelect> kWords[] = {
        {"SELONE", ListSelect::SelOne}, {"SEL", ListSelect::Sel},   {"CUR", ListSelect::Cur},
        {"ALLR", ListSelect::AllR},     {"ALLC", ListSelect::AllC}, {"ALL", ListSelect::All},
        {"CHG", ListSelect::Chg}};
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    for (const auto& [w, s] : kWords) {
        const std::string_view word = w;
        if (item.size() != word.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) same = upper(item[i]) == word[i];
        if (same) {
            sel = s;
            return true;
        }
    }
    return false;
}

// An output operation of a GRID, LIST or COMBO: "+", "-", "=" with letters, or a word.
bool listOperation(std::string_view item, FieldSpec& f) {
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty() && (item[0] == '+' || item[0] == '-' || item[0] == '=')) {
        for (size_t i = 1; i < item.size(); ++i)
            if (!isAlpha(item[i])) return false;
        f.listOp = item[0] == '+' ? ListOp::Append : item[0] == '-' ? ListOp::Insert : ListOp::Replace;
        for (size_t i = 1; i < item.size(); ++i) {
            if (upper(item[i]) == 'C') f.listOpOptions |= kListOpC;
            if (upper(item[i]) == 'L') f.listOpOptions |= kListOpL;
        }
        return true;
    }
    static constexpr std::pair<const char*, ListOp> kOps[] = {
        {"HEADERS", ListOp::Headers}, {"CELL", ListOp::Cell},     {"SUB", ListOp::Sub},
        {"CNT", ListOp::Cnt},         {"ROW", ListOp::Row},       {"ROWSUB", ListOp::RowSub},
        {"ROWCNT", ListOp::RowCnt},   {"ATTR", ListOp::Attr},     {"SORT", ListOp::Sort}};
    for (const auto& [w, op] : kOps) {
        const std::string_view word = w;
        if (item.size() != word.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i) same = upper(item[i]) == word[i];
        if (same) {
            f.listOp = op;
            return true;
        }
    }
    return false;
}

// The item at the cursor: text up to "," or ";" or the end.
std::string_view itemAt(const Cursor& c) {
    size_t e = c.p;
    while (e < c.s.size() && c.s[e] != ',' && c.s[e] != ';') ++e;
    std::string_view item = c.s.substr(c.p, e - c.p);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    return item;
}

// Moves past the item at the cursor; true when the specification goes on with a further item.
bool nextItem(Cursor& c) {
    while (!c.atSeparator()) ++c.p;
    if (!c.end() && c.s[c.p] == ',') {
        ++c.p;
        return true;
    }
    return false;
}

// Parses the attributes item at the cursor into `f`.
int attributeItem(Cursor& c, const FieldWindow& win, const FieldOptions& opt,
                  const AttributeContext& ctx, FieldSpec& f) {
    AttributeResult r;
    size_t used = 0;
    const int err = parseAttributes(c.s.substr(c.p), ctx, r, &used);
    // A character that is no attribute is where a separator belongs: the caller skips it.
    if (err && !(err == kErrFieldSeparator && opt.skipUnparsed)) return err;
    c.p += used;
    finishAttributes(ctx, win.defaultAttr, r);
    f.attribute = r.attr;
    f.fieldFlags |= r.fieldFlags;
    f.controlFlags |= r.controlFlags;
    if (r.cursorStart >= 0) {
        if (r.cursorStart >= std::max(f.length, 0) ) return kErrCursorStart;
        f.cursorStart = r.cursorStart;
    }
    return 0;
}

int rowCol(Cursor& c, const FieldWindow& win, int& row, int& col) {
    long n = 0;
    c.skipBlanks();
    if (!c.number(n) || n < 1 || n > win.rows) return kErrFieldRow;
    row = static_cast<int>(n) - 1;
    c.skipBlanks();
    if (c.peek() != ',') return kErrFieldSeparator;
    ++c.p;
    c.skipBlanks();
    if (!c.number(n) || n < 1 || n > win.columns) return kErrFieldColumn;
    col = static_cast<int>(n) - 1;
    return 0;
}

// One specification: row,col,format[,attributes][,qualifier][,fkey].  The cursor stops after the
// ";" that ends it, or at the end.
int oneSpec(Cursor& c, const FieldWindow& win, const FieldOptions& opt,
            const AttributeContext& ctx, FieldSpec& f) {
    if (int err = rowCol(c, win, f.row, f.column)) return err;
    c.skipBlanks();
    if (c.peek() != ',') return kErrFieldSeparator;
    ++c.p;
    if (int err = format(c, opt, f)) return err;
    if (static_cast<long>(f.row) * win.columns + f.column + f.width >
        static_cast<long>(win.rows) * win.columns)
        return kErrFieldColumn;
    f.attribute = win.defaultAttr;
    c.skipBlanks();
    // Text where a separator belongs: an error, or skipped up to the next one.
    auto separator = [&]() -> int {
        c.skipBlanks();
        if (c.atSeparator()) return 0;
        if (!opt.skipUnparsed) return kErrFieldSeparator;
        while (!c.atSeparator()) ++c.p;
        return 0;
    };
    if (int err = separator()) return err;
    if (!nextItem(c)) {
        if (!c.end()) ++c.p;
        return 0;
    }
    const bool listLike = (f.controlFlags & (kCtlGrid | kCtlList | kCtlCombo)) && f.kind == 'X';
    bool attributesDone = false;
    if (listLike && listOperation(itemAt(c), f)) {
        attributesDone = f.listOp != ListOp::Headers;
        if (!nextItem(c)) {
            if (!c.end()) ++c.p;
            return 0;
        }
    }
    // Attributes, unless the item is plainly a qualifier or an fkey item.
    bool itemTaken = false;
    if (!attributesDone) {
        Cursor probe = c;
        FieldSpec trial = f;
        const int err = attributeItem(probe, win, opt, ctx, trial);
        FieldSpec other = f;
        ListSelect sel;
        const std::string_view item = itemAt(c);
        // A selection word is taken as such although its letters would also be attributes.
        const bool selection = listLike && selectionWord(item, sel);
        const bool qualifier = selection || fkeyItem(item, opt, other) == 0;
        if (!selection && (err == 0 || !qualifier)) {
            if (err) return err;
            f = std::move(trial);
            c = probe;
            if (int e2 = separator()) return e2;
            itemTaken = true;
        }
    }
    if (itemTaken && !nextItem(c)) {
        if (!c.end()) ++c.p;
        return 0;
    }
    if (f.controlFlags & kCtlSearch) {
        int r = 0, col = 0;
        if (int err = rowCol(c, win, r, col)) return err;
        f.searchRow = r;
        f.searchColumn = col;
        if (int err = separator()) return err;
        if (!nextItem(c)) {
            if (!c.end()) ++c.p;
            return 0;
        }
    }
    const std::string_view item = itemAt(c);
    if (listLike && selectionWord(item, f.listSelect)) {
        // A selection word is the last item.
    } else if (int err = fkeyItem(item, opt, f)) {
        if (!opt.skipUnparsed) return err;
    }
    if (nextItem(c)) {
        if (!opt.skipUnparsed) return kErrFieldText;
        while (nextItem(c)) {
        }
    }
    if (!c.end()) ++c.p;
    return 0;
}

}  // namespace

int parseFieldSpecs(const std::vector<std::string_view>& specs, const FieldWindow& win,
                    const FieldOptions& opt, const AttributeContext& ctx,
                    std::vector<FieldSpec>& out) {
    out.clear();
    std::vector<FieldSpec> fields;
    int cursorField = -1;
    bool listEnded = false;
    for (std::string_view text : specs) {
        if (listEnded) break;
        Cursor c{text};
        if (text.find_first_not_of(' ') == std::string_view::npos) break;
        for (;;) {
            c.skipBlanks();
            if (c.end()) break;
            if (c.peek() == ';') {  // an empty specification ends the list
                listEnded = true;
                break;
            }
            FieldSpec f;
            if (int err = oneSpec(c, win, opt, ctx, f)) return err;
            if (f.fieldFlags & kFieldCursorHere) cursorField = static_cast<int>(fields.size());
            fields.push_back(std::move(f));
        }
    }
    // Only the last field marked C keeps the mark.
    for (size_t i = 0; i < fields.size(); ++i)
        if (static_cast<int>(i) != cursorField) fields[i].fieldFlags &= ~kFieldCursorHere;
    out = std::move(fields);
    return 0;
}

int parseFormatAttributes(std::string_view text, const FieldOptions& opt,
                          const AttributeContext& ctx, FieldSpec& out, size_t* used) {
    out = FieldSpec{};
    Cursor c{text};
    FieldWindow win;
    win.rows = win.columns = 1 << 14;
    int err = format(c, opt, out);
    if (!err) {
        c.skipBlanks();
        if (c.peek() == ',') {
            ++c.p;
            err = attributeItem(c, win, opt, ctx, out);
        }
    }
    if (used) *used = c.p;
    return err;
}

}  // namespace vxs
