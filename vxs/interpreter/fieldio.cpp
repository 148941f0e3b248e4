// The field statements (see fieldio.h).  A value becomes its field's text through the FORM
// conversions of the field's format (C, V, N, G, PIC, DATE; FMT fills the mask's data positions),
// and an edited field's text goes back the same way.  Editing moves from field to field by the
// editor's exit codes: Tab, Down, a full ADVANCE field, Right at the end and Enter on a field
// that is not the last go to the next field (past the last to the first), Up, back-tab and
// Left at the start to the previous one (before the first to the last); Enter on the last
// field and every other exit code end the statement with that code in FKEY.
#include "vxs/interpreter/fieldio.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "vxs/clientserver/remoteops.h"
#include "vxs/compiler/codes.h"
#include "vxs/config/config.h"
#include "vxs/datafiles/fcb.h"
#include "vxs/errors/errors.h"
#include "vxs/form/form.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/controlio.h"
#include "vxs/interpreter/filestmt.h"
#include "vxs/interpreter/items.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/state.h"
#include "vxs/screen/controls.h"
#include "vxs/screen/fieldedit.h"
#include "vxs/screen/fields.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/terminal.h"
#include "vxs/screen/windows.h"

namespace vxs {

namespace {

// What the last field input recorded, and where the next one starts (CURFLD with arguments).
struct FieldInputState {
    int currentField = 0;  // 1-based
    int row = 0, column = 0;
    int nextField = 0;     // 0: the statement's own choice
};
FieldInputState g_state;

std::string g_clipboard;

// Exit codes of the editor that move between fields.
constexpr int kExitEnter = 0;
constexpr int kExitUp = 102, kExitLeftStart = 103, kExitDown = 104, kExitAdvance = 107,
              kExitTab = 110, kExitBackTab = 111, kExitHome = 112, kExitEnd = 113,
              kExitRightEnd = 116, kExitTimeout = 101;
constexpr int kSelectUp = 105, kSelectDown = 106, kSelectLeft = 108, kSelectRight = 109;

bool isBlank(std::string_view s) {
    return s.find_first_not_of(' ') == std::string_view::npos;
}

std::string trimmed(std::string_view s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    const size_t b = s.find_last_not_of(' ');
    return std::string(s.substr(a, b - a + 1));
}

void applyCase(std::string& text, char conv) {
    for (char& c : text) {
        if (conv == 'U' && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (conv == 'L' && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

// The FORM item that converts a field's data, or 0 for text kinds without one (FMT).
FormField formFieldOf(const FieldSpec& f) {
    FormField ff;
    ff.length = f.length;
    ff.decimals = f.decimals;
    switch (f.kind) {
        case 'N': ff.code = (f.controlFlags & kCtlZeroFill) ? kFormNZ : kFormN; break;
        case 'G':
            ff.code = (f.controlFlags & kCtlZeroFill) ? kFormGZ
                      : (f.controlFlags & kCtlGF)     ? kFormGF
                                                      : kFormG;
            break;
        case 'P':
            ff.code = kFormPic;
            ff.text = f.mask;
            break;
        case 'D':
            ff.code = kFormDate;
            ff.text = f.mask;
            break;
        case 'F': ff.code = 0; break;
        default:
            ff.code = (f.controlFlags & kCtlRight)    ? kFormCR
                      : (f.controlFlags & kCtlCenter) ? kFormCC
                      : f.kind == 'V'                 ? kFormV
                                                      : kFormC;
            break;
    }
    return ff;
}

bool numericKind(const FieldSpec& f) {
    return f.kind == 'N' || f.kind == 'P' || f.kind == 'D';
}

// FMT: the mask's data positions take the value's characters in order; literals stay.
std::string fmtText(const FieldSpec& f, std::string_view value) {
    std::string out(f.mask);
    size_t v = 0;
    for (char& m : out) {
        if (!fmtDataPosition(m)) continue;
        m = v < value.size() ? value[v++] : ' ';
    }
    return out;
}

std::string fmtValue(const FieldSpec& f, std::string_view text) {
    std::string out;
    for (size_t i = 0; i < f.mask.size() && i < text.size(); ++i)
        if (fmtDataPosition(f.mask[i])) out += text[i];
    return out;
}

// The text a value shows in its field (data length bytes).  2 when the field cannot show it.
int textOfValue(const FieldSpec& f, const FormSettings& s, const Item& v, std::string& out) {
    out.assign(static_cast<size_t>(f.length), ' ');
    if (f.length == 0) return 0;
    if (f.kind == 'F') {
        if (!itemIsString(v)) return kErrConversion;
        out = fmtText(f, itemString(v));
        return 0;
    }
    FormField ff = formFieldOf(f);
    if (f.kind == 'G' && itemIsString(v)) ff.code = kFormC;  // G shows text as it is
    auto* dest = reinterpret_cast<uint8_t*>(out.data());
    size_t written = 0;
    int err;
    if (itemIsString(v)) {
        if (numericKind(f)) return kErrConversion;
        std::string_view text = itemString(v);
        if (text.size() > out.size()) text = text.substr(0, out.size());  // shown cut
        err = formPutString(ff, s, text, dest, out.size(), written);
    } else {
        if (!numericKind(f) && f.kind != 'G') return kErrConversion;
        err = formPutNumber(ff, s, itemNumber(v), dest, out.size(), written);
    }
    if (err) return kErrConversion;
    applyCase(out, f.caseConv);
    return 0;
}

// Stores an edited field's text into its target.  2 when the target cannot take it.  A number
// typed into an N field without a decimal character takes the field's implied decimals (N 5.2
// typed 1234 is 12.34), and `negative` (the field-minus key ended the field) makes it negative.
int storeText(const EvalEnv& env, const FieldSpec& f, const FormSettings& s, const Item& t,
              const std::string& text, bool negative) {
    std::string value = f.kind == 'F' ? fmtValue(f, text) : text;
    if (itemIsString(t)) {
        if (f.kind == 'V' || numericKind(f) || f.kind == 'G')
            value = f.kind == 'V' ? value.substr(0, value.find_last_not_of(' ') + 1) : trimmed(value);
        if (isBlank(value) && f.kind == 'V') value.clear();
        // Blanks that fill the field past what the variable holds are no data: they are cut.
        const size_t room = static_cast<size_t>(std::max(itemCapacity(t), 0));
        if (value.size() > room && isBlank(std::string_view(value).substr(room))) value.resize(room);
        const int err = assignText(env, t, value);
        return err == kErrStringOverflow ? kErrConversion : err;
    }
    // A number as typed (wherever it stands in the field); a date, or a picture's own
    // characters (currency, commas), through the field's format.
    double number = 0;
    if (!isBlank(value) && (f.kind == 'D' || !parseNumber(trimmed(value), s.decimalChar, 0, number))) {
        const FormField ff = formFieldOf(f);
        size_t used = 0;
        if (ff.code != kFormPic && ff.code != kFormDate) return kErrConversion;
        if (formGetNumber(ff, s, reinterpret_cast<const uint8_t*>(value.data()), value.size(),
                          number, used))
            return kErrConversion;
    } else if (f.kind == 'N' && f.decimals > 0 && value.find(s.decimalChar) == std::string::npos) {
        number /= std::pow(10.0, f.decimals);
    }
    if (negative && number > 0) number = -number;
    return assignNumber(t, number);
}

// The operands of the statement other than its list.
struct FieldOperands {
    std::vector<std::string> specs;
    bool attrGiven = false;
    std::string attr;
    int waitSeconds = 0;  // 0: no limit
    bool waitGiven = false;
    std::string help;
};

int takeSpecs(Operands& ops, std::vector<std::string>& specs) {
    RpnEntry e;
    if (!ops.take(e)) return kErrItems;
    const Cell* c = rpnCellOf(e);
    if (!c || !isStringCell(c)) return kErrArgumentKind;
    if (isArrayCell(c) && (c->kind & DE_STORAGE)) {
        const int32_t n = elementCount(c);
        for (int32_t i = 0; i < n; ++i) specs.emplace_back(itemString(Item{const_cast<Cell*>(c), 0, i}));
    } else {
        specs.emplace_back(cellString(c));
    }
    return 0;
}

int takeText(Operands& ops, std::string& out) {
    RpnEntry e;
    if (!ops.take(e)) return kErrItems;
    const Cell* c = rpnCellOf(e);
    if (!c || !isStringCell(c) || isArrayCell(c)) return kErrArgumentKind;
    out.assign(cellString(c));
    return 0;
}

int takeOperands(const FieldParts& parts, Operands& ops, FieldOperands& out) {
    for (uint8_t kind : parts.order) {
        int err = 0;
        if (kind == K_FIELDS || kind == K_SELECT) {
            err = takeSpecs(ops, out.specs);
        } else if (kind == K_ATTR) {
            out.attrGiven = true;
            err = takeText(ops, out.attr);
        } else if (kind == K_HELP) {
            err = takeText(ops, out.help);
        } else if (kind == K_WAIT) {
            RpnEntry e;
            if (!ops.take(e)) return kErrItems;
            out.waitGiven = true;
            out.waitSeconds = toInteger(numberOf(e), 0, 32767);
        }
        if (err) return err;
    }
    return 0;
}

// ---- editing ----

// The terminal as the field editor uses it: keys through the keyboard routine, the field shown
// at its place in the window with the cursor in it.
class StatementHost final : public FieldEditorHost {
  public:
    StatementHost(int window, int wait) : window_(window), wait_(wait) {}
    void setField(const FieldSpec* f, const FontFlags& shown, int columns) {
        spec_ = f;
        shown_ = shown;
        columns_ = columns;
    }
    int32_t readKey() override {
        const int32_t key = keyboardRequest(2, wait_);
        if (key < 0 && wait_ == 0) {
            ended_ = true;  // no key can come any more (the input ended)
            return kKeyAttention;
        }
        return key;
    }
    void beep() override { (void)screenAction(kScreenBeep); }
    void showMode(std::string_view text) override { terminalStatusText(kStatusFieldMode, text); }
    void showRowColumn(std::string_view text) override {
        terminalStatusText(kStatusFieldRowColumn, text);
    }
    bool showHelp(std::string_view text) override {
        statusShowMessage(text.size() > 1 ? text.substr(1) : std::string_view{});
        return false;
    }
    void showField(const EditField& f) override {
        if (!spec_) return;
        show(f.text, f.cursor);
        // A SEARCH field moves its list as the operator types.
        if (spec_->controlFlags & kCtlSearch) (void)searchControl(window_, *spec_, f.text);
    }
    std::string& clipboard() override { return g_clipboard; }
    int mousePosition(const EditField& e) override;
    // The statement's fields and the one being edited, for a click.
    void setFields(const std::vector<FieldSpec>* fields, int current) {
        fields_ = fields;
        current_ = current;
    }
    // Where the last click chose another field: that field and the text position it fell on
    // (0 unless clicks may position inside a field).
    int clickedField() const { return clickedField_; }
    int clickedOffset() const { return clickedOffset_; }

    // Shows `text` in the field: a field wider than its display shows the part around the
    // cursor; a field running past the window's edge continues on the following rows.
    void show(const std::string& text, int cursor, bool editing = true) {
        const FieldSpec& f = *spec_;
        const int width = std::max(f.width, 1);
        int offset = 0;
        if (f.width < f.length && cursor >= width) offset = cursor - width + 1;
        std::string visible = text.substr(static_cast<size_t>(std::min<int>(offset, static_cast<int>(text.size()))),
                                          static_cast<size_t>(width));
        visible.resize(static_cast<size_t>(width), ' ');
        int row = f.row, column = f.column, at = 0;
        while (at < static_cast<int>(visible.size())) {
            const int room = std::max(columns_ - column, 1);
            const int n = std::min(room, static_cast<int>(visible.size()) - at);
            const int c = cursor - offset - at;
            showWindowText(window_, row, column, std::string_view(visible).substr(static_cast<size_t>(at), static_cast<size_t>(n)),
                           shown_, editing,
                           c >= 0 && (c < n || (c == n && at + n == static_cast<int>(visible.size()))) ? c : -1);
            at += n;
            ++row;
            column = 0;
        }
    }
    bool ended() const { return ended_; }

  private:
    int window_;
    int wait_;
    const FieldSpec* spec_ = nullptr;
    FontFlags shown_;
    int columns_ = 80;
    bool ended_ = false;
    const std::vector<FieldSpec>* fields_ = nullptr;
    int current_ = -1;
    int clickedField_ = -1, clickedOffset_ = 0;
};

FieldEditSettings editSettings() {
    const FieldsConfig& c = fieldsConfig();
    FieldEditSettings s;
    s.insertSetting = c.insertMode;
    s.insertMinLength = c.insertMinLength;
    s.dataHiliteOff = c.dataHilite == 0;
    s.userLevel = c.userLevel;
    s.statusRowCol = c.statusRowCol;
    s.controlCharacters = optionOn(2);
    s.rightArrowDown = optionOn(37);
    s.numpadSigns = optionOn(46);
    return s;
}

// The editor's view of a field.
EditField editFieldOf(const FieldSpec& f, const std::string& text, int columns,
                      const std::string& help) {
    EditField e;
    e.text = text;
    e.text.resize(static_cast<size_t>(f.length), ' ');
    if (f.kind == 'F') {
        e.maskKind = EditField::Mask::kFmt;
        e.mask = f.mask;
    } else if (f.kind == 'P' && f.mask.find_first_of("^Zz-$*") == std::string::npos &&
               f.column + f.width <= columns && f.mask.size() == static_cast<size_t>(f.length)) {
        e.maskKind = EditField::Mask::kPic;
        e.mask = f.mask;
    }
    e.caseModifier = f.caseConv;
    e.wrap = f.column + f.width > columns;
    e.advance = f.fieldFlags & kFieldAdvance;
    e.chgexit = f.fieldFlags & kFieldChgexit;
    e.exitFlag = f.fieldFlags & kFieldExit;
    e.windowWidth = columns;
    e.row = f.row + 1;
    e.column = f.column + 1;
    e.help = help;
    e.cursor = f.cursorStart >= 0 ? std::min(f.cursorStart, f.length) : 0;
    // Highlighted data is marked on entry: the first character typed replaces it.
    if (fieldsConfig().dataHilite != 0 && !isBlank(e.text)) {
        e.markStart = 0;
        e.markEnd = static_cast<int>(e.text.size());
    }
    return e;
}

// The look of the field being edited: ATTR's when given, else its own.
FontFlags editingLook(const FieldOperands& o, const FieldSpec& f, const FieldWindow& win) {
    if (!o.attrGiven) return f.attribute;
    AttributeResult r;
    size_t used = 0;
    AttributeContext ctx;
    if (parseAttributes(o.attr, ctx, r, &used) != 0) return f.attribute;
    if (!r.colorClause && !(r.attr.flags & (kFontColorBits | kFontIntensityBits)))
        r.attr.flags |= win.defaultAttr.flags;
    return r.attr;
}

int firstField(const std::vector<FieldSpec>& fields) {
    int first = 0;
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].fieldFlags & kFieldCursorHere) first = static_cast<int>(i);
    if (g_state.nextField > 0 && g_state.nextField <= static_cast<int>(fields.size()))
        first = g_state.nextField - 1;
    g_state.nextField = 0;
    return first;
}

bool protectedField(const FieldSpec& f) {
    return (f.fieldFlags & kFieldProtect) || (f.controlFlags & kCtlPicture) ||
           (f.length == 0 && !isControlField(f));
}

int StatementHost::mousePosition(const EditField& e) {
    const int32_t place = windowAction(window_, kScreenMousePlace);
    if (place < 0 || !fields_) return -1;
    const int row = place >> 8, column = place & 0xFF;
    const bool inside = optionOn(53);
    for (size_t i = 0; i < fields_->size(); ++i) {
        const FieldSpec& f = (*fields_)[i];
        if (protectedField(f)) continue;
        if (f.controlFlags & (kCtlGrid | kCtlList)) {  // a block of rows
            if (row < f.row || row >= f.row + f.size[0] || column < f.column ||
                column >= f.column + f.size[1] || static_cast<int>(i) == current_)
                continue;
            clickedField_ = static_cast<int>(i);
            clickedOffset_ = 0;
            return kMouseOtherField;
        }
        // Cells in reading order: a field that runs past the window's edge goes on below.
        const int offset = (row - f.row) * columns_ + (column - f.column);
        if (offset < 0 || offset >= std::max(f.width, 1)) continue;
        if (static_cast<int>(i) == current_) {
            if (!inside) return -1;
            // A field wider than its display shows the part around the cursor.
            const int shift =
                f.width < f.length && e.cursor >= f.width ? e.cursor - f.width + 1 : 0;
            return offset + shift;
        }
        clickedField_ = static_cast<int>(i);
        clickedOffset_ = inside ? offset : 0;
        return kMouseOtherField;
    }
    return -1;
}

// Hands the statement's list out to its fields: without GRID or LIST fields each field takes
// one item (whole arrays counted element by element); with one, every other field takes one
// entry of a single item and the list field the entries that are left.
int entriesOfFields(const std::vector<FieldSpec>& fields, const std::vector<Item>& items,
                    const std::vector<int>& counts, std::vector<FieldEntries>& out) {
    out.assign(fields.size(), {});
    const std::span<const Item> all(items);
    int listField = -1;
    for (size_t i = 0; i < fields.size(); ++i)
        if (takesEntries(fields[i])) {
            if (listField >= 0) return kErrArrayCounts;
            listField = static_cast<int>(i);
        }
    if (listField < 0) {
        if (fields.size() != items.size()) return kErrArrayCounts;
        for (size_t i = 0; i < fields.size(); ++i) out[i].push_back(all.subspan(i, 1));
        return 0;
    }
    const size_t others = fields.size() - 1;
    if (counts.size() < others + 1) return kErrArrayCounts;
    const size_t listEntries = counts.size() - others;
    size_t entry = 0, at = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const bool list = static_cast<int>(i) == listField;
        const size_t take = list ? listEntries : 1;
        for (size_t k = 0; k < take; ++k, ++entry) {
            const auto n = static_cast<size_t>(counts[entry]);
            if (!list && n != 1) return kErrArrayCounts;
            out[i].push_back(all.subspan(at, n));
            at += n;
        }
    }
    return 0;
}

// The next field in a direction that can take the cursor, or -1 when none can.
int stepField(const std::vector<FieldSpec>& fields, int from, int direction) {
    const int n = static_cast<int>(fields.size());
    for (int k = 1; k <= n; ++k) {
        const int i = ((from + direction * k) % n + n) % n;
        if (!protectedField(fields[static_cast<size_t>(i)])) return i;
    }
    return -1;
}

}  // namespace

void setNextField(int field) { g_state.nextField = field; }
int currentField() { return g_state.currentField; }
int cursorRow() { return g_state.row; }
int cursorColumn() { return g_state.column; }

int fieldStatement(const EvalEnv& env, int window, const FieldParts& parts, Operands& ops) {
    FieldOperands o;
    if (int err = takeOperands(parts, ops, o)) return err;
    std::vector<Item>& items = itemList();
    std::vector<int> counts;
    if (int err = expand(ops, parts.listCount, items, &counts)) return err;

    FieldWindow win;
    if (int err = fieldWindow(fileBlocks(), window, win)) return err;
    if (int err = currentDisplayTables()) return err;
    std::vector<std::string_view> specs(o.specs.begin(), o.specs.end());
    std::vector<FieldSpec> fields;
    if (int err = parseFieldSpecs(specs, win, fieldOptionsFromConfig(), AttributeContext{}, fields))
        return err;
    std::vector<FieldEntries> entries;
    if (int err = entriesOfFields(fields, items, counts, entries)) return err;
    const Ufcb* u = window ? fileBlocks().find(window) : nullptr;
    const FormSettings s = formSettingsFor(env, u);
    SystemValues& sv = systemValues();
    sv.itemCount = 0;

    const bool showValues = parts.verb != FieldVerb::kInput;
    static int radioGroups = 0;  // the RADIO fields of one statement form a group
    ++radioGroups;
    std::vector<std::string> texts(fields.size());
    std::vector<char> negatives(fields.size(), 0);  // the field-minus key left the field
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldSpec& f = fields[i];
        if (isControlField(f)) {
            // A control shows its values when printed; RINPUT shows a single value's control
            // first, while a GRID's or LIST's list there names targets.
            if (parts.verb == FieldVerb::kPrint ||
                (parts.verb == FieldVerb::kRinput && !takesEntries(f))) {
                if (int err = showControl(env, s, window, f, entries[i], radioGroups)) {
                    g_state.currentField = static_cast<int>(i) + 1;
                    return err;
                }
            }
            continue;
        }
        const Item& item = entries[i][0][0];
        if (showValues) {
            if (int err = textOfValue(f, s, item, texts[i])) {
                g_state.currentField = static_cast<int>(i) + 1;
                return err;
            }
        } else {
            texts[i] = windowText(window, f.row, f.column, std::min(f.width, f.length));
            texts[i].resize(static_cast<size_t>(f.length), ' ');
        }
    }
    if (showValues) {
        StatementHost shower(window, 0);
        for (size_t i = 0; i < fields.size(); ++i) {
            if (isControlField(fields[i])) continue;
            shower.setField(&fields[i], fields[i].attribute, win.columns);
            shower.show(fields[i].attribute.flags & kFontInvisible
                            ? std::string(texts[i].size(), ' ')
                            : texts[i],
                        -1, false);
            // A hot field shown by PRINT FIELDS: a front end with buttons puts one over it.
            if (parts.verb == FieldVerb::kPrint) (void)showHotField(window, fields[i], texts[i]);
        }
    }
    if (parts.verb == FieldVerb::kPrint) {
        sv.itemCount = static_cast<int>(fields.size());
        return 0;
    }

    // ---- editing, field after field ----
    const bool select = parts.verb == FieldVerb::kSelect;
    int at = firstField(fields);
    if (protectedField(fields[static_cast<size_t>(at)])) at = stepField(fields, at, 1);
    int exitCode = kExitEnter;
    bool nowait = false;
    for (const FieldSpec& f : fields) nowait = nowait || (f.fieldFlags & kFieldNowait);
    StatementHost host(window, o.waitGiven ? std::max(o.waitSeconds, 1) : 0);
    const FieldEditSettings settings = editSettings();
    statusShowMessage("INPUT");
    // However the statement ends, the status line drops what field input showed there.
    struct StatusGuard {
        ~StatusGuard() {
            statusShowMessage("");
            terminalStatusText(kStatusFieldMode, "");
            terminalStatusText(kStatusFieldRowColumn, "");
        }
    } guard;
    int clickedAt = -1;  // a click chose the field: the text position the cursor starts at
    while (at >= 0 && !nowait) {
        const FieldSpec& f = fields[static_cast<size_t>(at)];
        g_state.currentField = at + 1;
        const int startAt = std::exchange(clickedAt, -1);
        if (isControlField(f)) {
            // The terminal side works the control; its exit code moves between fields as an
            // edited field's does, except that Enter on a GRID or LIST ends the statement.
            int32_t status = 0, code = 0;
            terminalControlEdit(ControlPlace{window, f.row, f.column},
                                o.waitGiven ? std::max(o.waitSeconds, 1) : 0,
                                f.listSelect == ListSelect::SelOne, status, code);
            g_state.row = f.row + 1;
            g_state.column = f.column + 1;
            if (status == kInputEnded) return consoleInputEnded();
            if (status != 0) return kErrInterrupted;
            exitCode = code;
            if (exitCode == kExitTimeout) return kErrTimeout;
            if (exitCode == kExitMouseField) {
                // A click left the control: on another field editing goes on there, elsewhere
                // the control is worked again.
                host.setField(&f, f.attribute, win.columns);
                host.setFields(&fields, at);
                if (host.mousePosition(EditField{}) == kMouseOtherField) {
                    at = host.clickedField();
                    clickedAt = host.clickedOffset();
                }
                exitCode = kExitEnter;
                continue;
            }
            int move = 0;
            if (exitCode == kExitTab || exitCode == kExitDown || exitCode == kExitRightEnd ||
                (exitCode == kExitEnter && !takesEntries(f) && stepField(fields, at, 1) > at))
                move = 1;
            else if (exitCode == kExitUp || exitCode == kExitBackTab || exitCode == kExitLeftStart)
                move = -1;
            if (move == 0) break;
            at = stepField(fields, at, move);
            continue;
        }
        EditField e = editFieldOf(f, texts[static_cast<size_t>(at)], win.columns, o.help);
        if (startAt >= 0) {  // a click put the cursor here: no highlight to replace
            e.cursor = std::min(startAt, static_cast<int>(e.text.size()));
            e.markStart = e.markEnd = -1;
        }
        host.setField(&f, editingLook(o, f, win), win.columns);
        host.setFields(&fields, at);
        host.show(e.text, e.cursor);
        const EditResult r = editField(e, select, host, settings);
        texts[static_cast<size_t>(at)] = e.text;
        negatives[static_cast<size_t>(at)] = r.negative;
        host.setField(&f, f.attribute, win.columns);
        host.show(f.attribute.flags & kFontInvisible ? std::string(e.text.size(), ' ') : e.text, -1);
        g_state.currentField = at + 1;
        g_state.row = f.row + 1 + (f.column + e.cursor) / std::max(win.columns, 1);
        g_state.column = (f.column + e.cursor) % std::max(win.columns, 1) + 1;
        if (r.attention || host.ended()) return host.ended() ? consoleInputEnded() : kErrInterrupted;
        exitCode = r.exitCode;
        if (exitCode == kExitTimeout) return kErrTimeout;
        if (exitCode == kExitMouseField) {  // a click chose another field: editing goes on there
            at = host.clickedField();
            clickedAt = host.clickedOffset();
            exitCode = kExitEnter;
            continue;
        }
        const bool last = stepField(fields, at, 1) <= at;
        int move = 0;
        if (select) {
            if (exitCode == kSelectDown || exitCode == kSelectRight || exitCode == kExitTab) move = 1;
            else if (exitCode == kSelectUp || exitCode == kSelectLeft || exitCode == kExitBackTab) move = -1;
        } else if (exitCode == kExitTab || exitCode == kExitDown || exitCode == kExitRightEnd ||
                   (exitCode == kExitAdvance && !last) ||
                   (exitCode == kExitEnter && !last && !r.negative && !(f.fieldFlags & kFieldChgexit))) {
            move = 1;
        } else if (exitCode == kExitUp || exitCode == kExitBackTab || exitCode == kExitLeftStart) {
            move = -1;
        } else if (exitCode == kExitHome || exitCode == kExitEnd) {
            const int to = exitCode == kExitHome ? stepField(fields, -1, 1)
                                                 : stepField(fields, static_cast<int>(fields.size()), -1);
            at = to;  // already there: editing goes on where it was
            continue;
        }
        if (move == 0) break;
        at = stepField(fields, at, move);
    }
    // The field's fkey value stands for Enter (unless OPTION 48 keeps Enter 0) and for a full
    // ADVANCE field on the last field.
    if (exitCode == kExitAdvance) exitCode = kExitEnter;
    if (exitCode == kExitEnter && at >= 0 && !optionOn(48)) {
        const FieldSpec& f = fields[static_cast<size_t>(at)];
        if (f.fkey > 0 && !(f.fieldFlags & kFieldRawKey)) exitCode = f.fkey;
    }
    sv.terminatingKey = exitCode;
    if (exitCode > 0 && exitCode < 100) sv.commandKey = exitCode;
    for (size_t i = 0; i < fields.size(); ++i) {
        const int err = isControlField(fields[i])
                            ? storeControl(env, s, window, fields[i], entries[i])
                            : storeText(env, fields[i], s, entries[i][0][0], texts[i],
                                        negatives[i] != 0);
        if (err) {
            g_state.currentField = static_cast<int>(i) + 1;
            return err;
        }
    }
    sv.itemCount = static_cast<int>(fields.size());
    return 0;
}

}  // namespace vxs
