// PRINT and the input statements on the console window (see consoleio.h).
#include "vxs/interpreter/consoleio.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "vxs/clientserver/remoteops.h"
#include "vxs/compiler/codes.h"
#include "vxs/datafiles/datafile.h"
#include "vxs/errors/errors.h"
#include "vxs/form/form.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/controlio.h"
#include "vxs/interpreter/fieldio.h"
#include "vxs/interpreter/filestmt.h"
#include "vxs/interpreter/items.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/interpreter/state.h"
#include "vxs/screen/menu.h"
#include "vxs/screen/statline.h"
#include "vxs/screen/terminal.h"
#include "vxs/screen/windows.h"

namespace vxs {

namespace {

constexpr int kZone = 24;
constexpr int kNumberWidth = 25;

constexpr ConsoleState& g_console = interp.console;  // state.h

// The clause's parts, as the I/O statements read them.
struct Parts {
    int file = -2;         // -2: none; -1: the next operand; else a constant
    bool usingGiven = false;
    int usingLine = -1;    // USING line: its line index; -1 a string operand
    bool wait = false;     // WAIT= (its value is an operand)
    bool other = false;    // a part this build has no handler for (MENU, BORDER, ...)
    uint8_t displayPart = 0;  // BUTTONS, MENU, TEXT, DATA or STATUS (DISPLAY's own)
    uint8_t fields = 0;    // K_FIELDS or K_SELECT: a field statement
    std::vector<uint8_t> order;  // the parts with an operand after the file, in source order
    int listCount = 0;
    std::vector<uint8_t> listBytes;
};

int readParts(std::span<const uint8_t> code, const ClauseView& v, Parts& out) {
    bool inList = false;
    for (size_t p = v.partsAt; p < v.endAt;) {
        uint8_t h;
        size_t w, next;
        int n;
        if (int err = decodeItem(code, p, h, w, n, next)) return err;
        const int kind = h & 0x3F;
        if (inList) {
            // The list ends at its last item; error exits may follow it.
            out.listBytes.push_back(static_cast<uint8_t>(kind));
            if (kind & kPrintLast) inList = false;
        } else if (kind == kPartFile) {
            out.file = n ? readWord(code.data() + w) : -1;
        } else if (kind == kPartList) {
            if (n != 1) return kErrDamaged;
            out.listCount = readWord(code.data() + w);
            inList = true;
        } else if (kind == K_USING) {
            out.usingGiven = true;
        } else if (kind == kPartLine && out.usingGiven && n == kLrefWords) {
            out.usingLine = static_cast<int16_t>(readWord(code.data() + w));
        } else if (kind == K_WAIT) {
            out.wait = true;
            out.order.push_back(K_WAIT);
        } else if (kind == K_FIELDS || kind == K_SELECT) {
            out.fields = static_cast<uint8_t>(kind);
            out.order.push_back(static_cast<uint8_t>(kind));
        } else if (kind == K_ATTR || kind == K_HELP) {
            out.order.push_back(static_cast<uint8_t>(kind));
        } else if (kind >= K_BUTTONS && kind <= K_STATUS) {
            out.displayPart = static_cast<uint8_t>(kind);
            out.order.push_back(static_cast<uint8_t>(kind));  // INPUT's forms take a string
        } else if (kind != kPartExit) {
            out.other = true;
        }
        p = next;
    }
    return 0;
}

Operands operands() { return Operands::ofStack(); }

// The file of the statement: null for the console (#0 and windows, which show in it).
int statementTarget(const Parts& parts, Operands& ops, int& number, Ufcb*& file) {
    number = 0;
    file = nullptr;
    if (parts.file == -2) return 0;
    double n = parts.file;
    if (parts.file == -1) {
        RpnEntry e;
        if (!ops.take(e)) return kErrDamaged;
        n = numberOf(e);
    }
    number = toInteger(n, -32767, 32767);
    Ufcb* u = nullptr;
    if (int err = statementFile(number, u)) return err;
    if (number != 0) file = u;
    return 0;
}

// The parts, the operands and the file of a PRINT or input statement.
struct Statement {
    Parts parts;
    Operands ops = operands();
    int number = 0;
    Ufcb* file = nullptr;
    int begin(std::span<const uint8_t> code, const ClauseView& v, bool input) {
        if (int err = readParts(code, v, parts)) return err;
        if (int err = statementTarget(parts, ops, number, file)) {
            noteFileOutcome(nullptr, number, err, input, 0);
            return err;
        }
        // BORDER and the like; PRINT has no MENU forms.
        return parts.other || (parts.displayPart && !input) ? kErrNotAvailable : 0;
    }
    // A field statement (FIELDS or SELECT) runs with the rest of the operands.
    int fieldsOf(const EvalEnv& env, FieldVerb verb) {
        FieldParts fp;
        fp.verb = verb;
        fp.order = parts.order;
        fp.listCount = parts.listCount;
        const int err = fieldStatement(env, number, fp, ops);
        if (file) noteFileOutcome(file, number, err, verb != FieldVerb::kPrint, err ? 0 : parts.listCount);
        return err;
    }
};

// The USING form of PRINT (its string operand taken when it has one) and WAIT=.
int statementForm(const EvalEnv& env, const Parts& parts, Operands& ops,
                  const CompiledForm*& form) {
    form = nullptr;
    if (parts.usingGiven) {
        std::string_view text;
        if (parts.usingLine < 0) {
            RpnEntry e;
            if (!ops.take(e)) return kErrDamaged;
            const Cell* c = rpnCellOf(e);
            if (!c || !isStringCell(c)) return kErrArgumentKind;
            text = cellString(c);
        }
        if (int err = usingForm(env, parts.usingLine, text, form)) return err;
    }
    if (parts.wait) {
        RpnEntry e;
        if (!ops.take(e)) return kErrDamaged;
    }
    return 0;
}

void nextZone(OutputLine& line) {
    line.column = ((line.column - 1) / kZone + 1) * kZone + 1;
    if (line.width < line.column + kZone) writeLine(line);
}

void placeNumber(OutputLine& line, double v, bool blankAfter, char decimalChar) {
    std::string s = displayNumber(v, kNumberWidth, decimalChar);
    if (blankAfter) s += ' ';
    placeText(line, s);
}

// Places one value: a string, a number, or every element of an array.
void placeValue(OutputLine& line, RpnEntry e, bool semicolon, char decimalChar) {
    const Cell* c = rpnCellOf(e);
    if (!c) {
        placeNumber(line, rpnSmallValue(e), semicolon, decimalChar);
        return;
    }
    if (isArrayCell(c) && (c->kind & DE_STORAGE)) {
        const int32_t n = elementCount(c);
        const int rowLength = cellDims(c) == 2 ? c->dims[1] : 0;
        for (int32_t i = 0; i < n; ++i) {
            if (rowLength && i > 0 && i % rowLength == 0 && line.column > 1) writeLine(line);
            const uint8_t* p = elementAt(c, i);
            if (isStringCell(c)) {
                uint16_t len;
                memcpy(&len, p, 2);
                placeText(line, std::string_view(reinterpret_cast<const char*>(p + 2),
                                                 std::min<int>(len, stringCapacity(c))));
            } else {
                double v;
                memcpy(&v, p, sizeof v);
                placeNumber(line, v, false, decimalChar);
            }
            nextZone(line);
        }
        return;
    }
    if (isStringCell(c))
        placeText(line, cellString(c));
    else
        placeNumber(line, cellNumber(c), semicolon, decimalChar);
}

}  // namespace

OutputLine& consoleLine() { return g_console.line; }

int readConsoleLine(std::string& line, int maxLength) {
    const int status = consoleInput(line, maxLength, kInputStatement);
    // The run stops as the attention key stops it.  An end of input is remembered: no answer
    // will ever come, so command mode reports it and the process must not end as a success.
    if (status == kInputEnded) return consoleInputEnded();
    return status == kInputInterrupted ? kErrInterrupted : 0;
}

size_t takeTypedValue(std::string_view typed, size_t p, std::string& value) {
    value.clear();
    while (p < typed.size() && typed[p] == ' ') ++p;
    if (p < typed.size() && typed[p] == '"') {
        for (++p; p < typed.size(); ++p) {
            if (typed[p] == '"') {
                if (p + 1 < typed.size() && typed[p + 1] == '"') {
                    value += '"';
                    ++p;
                    continue;
                }
                ++p;
                break;
            }
            value += typed[p];
        }
        while (p < typed.size() && typed[p] != ',') ++p;
        return p;
    }
    const size_t comma = typed.find(',', p);
    value = typed.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
    while (!value.empty() && value.back() == ' ') value.pop_back();
    return comma == std::string::npos ? typed.size() : comma;
}

int consoleInputEnded() {
    g_console.inputEnded = true;
    g_console.endToReport = true;
    return kErrInterrupted;
}

bool inputEndedInStatement() { return g_console.inputEnded; }

bool takeEndedInputReport() {
    const bool due = g_console.endToReport;
    g_console.endToReport = false;
    return due;
}

void resetEndedInput() {
    g_console.inputEnded = g_console.endToReport = false;
}

void writeLine(OutputLine& line) {
    if (line.file) {
        const int err = writeTextLine(*line.file, line.text);
        if (err && !line.error) line.error = err;
    } else {
        consoleOutput(line.text);
    }
    line.text.clear();
    line.column = 1;
}

void flushPartialLine(OutputLine& line) {
    if (line.column > 1 || !line.text.empty()) writeLine(line);
}

void placeText(OutputLine& line, std::string_view bytes) {
    for (char ch : bytes) {
        if (line.column > line.width) writeLine(line);
        if (static_cast<int>(line.text.size()) < line.column - 1)
            line.text.resize(static_cast<size_t>(line.column - 1), ' ');
        line.text.resize(static_cast<size_t>(line.column - 1));
        line.text += ch;
        ++line.column;
    }
}

namespace {

// PRINT USING: the values through the form into one line of the record length, written out
// with the line feeds of its SKIP items (one when it has none).
int printUsing(const EvalEnv& env, const CompiledForm& form, const Parts& parts, Operands& ops,
               OutputLine& line) {
    flushPartialLine(line);
    const Ufcb* file = line.file;
    std::vector<uint8_t> buffer(static_cast<size_t>(line.width), ' ');
    const FormSettings s = formSettingsFor(env, file, &form);
    FormCursor cursor(form, s, buffer.data(), buffer.size(), true);
    int items = 0;
    for (uint8_t item : parts.listBytes) {
        const int values = item & 7;
        for (int i = 0; i < values && values != kPrintTab; ++i) {
            RpnEntry e;
            if (!ops.take(e)) return kErrItems;
            const Cell* c = rpnCellOf(e);
            int err;
            if (c && isArrayCell(c) && (c->kind & DE_STORAGE)) {
                err = kErrArgumentKind;
            } else if (c && isStringCell(c)) {
                err = cursor.writeString(cellString(c));
            } else {
                err = cursor.writeNumber(numberOf(e));
            }
            if (err) return err;
            ++items;
        }
    }
    systemValues().itemCount = items;
    const std::string_view text(reinterpret_cast<const char*>(buffer.data()), cursor.highest());
    const int feeds = cursor.linesSkipped() > 0 ? cursor.linesSkipped() : 1;
    if (line.file) return writeTextLine(*line.file, text, feeds);
    consoleOutput(text);
    for (int i = 1; i < feeds; ++i) consoleOutput("");
    return 0;
}

int printList(OutputLine& line, const Parts& parts, Operands& ops, char decimalChar) {
    int items = 0;
    for (uint8_t item : parts.listBytes) {
        const int values = item & 7;
        const int sep = item & 0x18;
        if (sep == kPrintEmpty) {  // an empty item: write the line and end the list
            writeLine(line);
            break;
        }
        if (values == kPrintTab) {
            RpnEntry e;
            if (!ops.take(e)) return kErrItems;
            // Any column past the width acts alike (the next byte starts a new line), so the
            // target is kept within 1..width + 1 whatever the number is.
            const int target = toInteger(numberOf(e) + kTolerance, 1, line.width + 1);
            if (target < line.column) writeLine(line);
            line.column = target;
        } else {
            for (int i = 0; i < values; ++i) {
                RpnEntry e;
                if (!ops.take(e)) return kErrItems;
                placeValue(line, e, sep == kPrintSemicolon, decimalChar);
                ++items;
            }
        }
        if (sep == kPrintEol)
            writeLine(line);
        else if (sep == kPrintComma)
            nextZone(line);
    }
    systemValues().itemCount = items;
    return 0;
}

// Assigns the values of one typed line to the targets from `next` on.
int assignValues(const EvalEnv& env, std::string_view typed, const std::vector<Cell*>& targets,
                 size_t& next, char decimalChar) {
    size_t p = 0;
    do {
        std::string value;
        p = takeTypedValue(typed, p, value);
        Cell* target = targets[next++];
        if (isStringCell(target)) {
            if (int err = assignString(env, target, value)) return err;
        } else {
            double number = 0;
            if (!parseNumber(value, decimalChar, 0, number)) return kErrConversion;
            setCellNumber(target, number);
        }
        if (p < typed.size()) ++p;  // the comma
    } while (p < typed.size() && next < targets.size());
    return 0;
}

// INPUT, LINPUT and RINPUT from a DISPLAY file: each line read is one typed line.
int fileInput(const EvalEnv& env, Ufcb& file, const std::vector<Cell*>& targets, bool whole,
              char decimalChar) {
    size_t next = 0;
    while (next < targets.size()) {
        std::string typed;
        if (int err = readTextLine(file, typed)) return err;
        while (!typed.empty() && typed.back() == ' ') typed.pop_back();
        if (whole) return assignString(env, targets[0], typed);
        if (int err = assignValues(env, typed, targets, next, decimalChar)) return err;
    }
    return 0;
}

}  // namespace

int printStatement(const EvalEnv& env, std::span<const uint8_t> code, const ClauseView& v,
                   char decimalChar) {
    Statement st;
    if (int err = st.begin(code, v, false)) return err;
    if (st.parts.fields) return st.fieldsOf(env, FieldVerb::kPrint);
    Parts& parts = st.parts;
    Operands& ops = st.ops;
    const int number = st.number;
    Ufcb* const file = st.file;
    const CompiledForm* form = nullptr;
    if (int err = statementForm(env, parts, ops, form)) return err;
    if (file && (file->mode == kModeInput ||
                 (file->uftype != kFileDisplay && file->uftype != kFileWindow))) {
        noteFileOutcome(file, number, kErrWrongMode, false, 0);
        return kErrWrongMode;
    }
    // A file's line lives in its ufcb between statements; the console's in the console state.
    OutputLine fileLine;
    if (file) {
        fileLine.text = std::move(file->line);
        fileLine.column = file->column;
        fileLine.width = file->ufreclen > 0 ? file->ufreclen : 132;
        fileLine.file = file;
    }
    OutputLine& line = file ? fileLine : g_console.line;
    int err = form ? printUsing(env, *form, parts, ops, line)
                   : printList(line, parts, ops, decimalChar);
    if (!err) err = line.error;
    if (file) {
        file->line = std::move(fileLine.text);
        file->column = fileLine.column;
        if (!err && file->pageOverflow > 0 && file->pageLines >= file->pageOverflow)
            err = kErrPageOverflow;
        noteFileOutcome(file, number, err, false, systemValues().itemCount);
    }
    return err;
}

// The items an INPUT MENU range names: "" every item, "n" items n to the last, "n,m" items n to
// m (1-based; a range past the items reads the items it reaches).  False for any other text.
bool menuRange(std::string_view text, size_t& first, size_t& last) {
    first = 1;
    last = SIZE_MAX;
    const auto number = [](std::string_view t, size_t& out) {
        while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
        if (t.empty() || t.size() > 6 ||
            t.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        out = static_cast<size_t>(std::stoul(std::string(t)));
        return out >= 1;
    };
    if (text.find_first_not_of(' ') == std::string_view::npos) return true;
    const size_t comma = text.find(',');
    if (!number(text.substr(0, comma), first)) return false;
    return comma == std::string_view::npos ||
           (number(text.substr(comma + 1), last) && last >= first);
}

// INPUT MENU range: texts [, data [, statuses]] reads the menu as it stands into its arrays
// (each redimensioned to the items read), INPUT TEXT, DATA or STATUS one part into one target.
int menuInput(const EvalEnv& env, const Parts& parts, Operands& ops, char decimalChar) {
    if (parts.displayPart == K_BUTTONS) return kErrNotAvailable;
    std::string range;
    for (const uint8_t kind : parts.order) {
        RpnEntry e;
        if (!ops.take(e)) return kErrItems;
        if (kind == parts.displayPart) {
            const Cell* c = rpnCellOf(e);
            if (!c || !isStringCell(c) || isArrayCell(c)) return kErrArgumentKind;
            range.assign(cellString(c));
        }
    }
    size_t first = 1, last = SIZE_MAX;
    if (!menuRange(range, first, last)) return kErrConversion;
    std::vector<Item>& items = itemList();
    std::vector<int> counts;
    if (int err = expand(ops, parts.listCount, items, &counts)) return err;
    const int part = parts.displayPart == K_DATA ? 2 : parts.displayPart == K_STATUS ? 3 : 1;
    const size_t lists = parts.displayPart == K_MENU ? 3 : 1;
    if (counts.empty() || counts.size() > lists) return kErrItems;
    FormSettings s;
    s.decimalChar = decimalChar;
    size_t at = 0;
    for (size_t k = 0; k < counts.size(); ++k) {
        const auto n = static_cast<size_t>(counts[k]);
        const std::span<const Item> entry(items.data() + at, n);
        at += n;
        std::vector<std::string> texts = terminalMenuPart(part + static_cast<int>(k));
        texts.erase(texts.begin(),
                    texts.begin() + static_cast<ptrdiff_t>(std::min(first - 1, texts.size())));
        if (last != SIZE_MAX && texts.size() > last - first + 1) texts.resize(last - first + 1);
        if (int err = storeTexts(env, s, entry, texts)) return err;
    }
    return 0;
}

int inputStatement(const EvalEnv& env, std::span<const uint8_t> code, const ClauseView& v,
                   char decimalChar) {
    Statement st;
    if (int err = st.begin(code, v, true)) return err;
    if (st.parts.displayPart) return menuInput(env, st.parts, st.ops, decimalChar);
    if (st.parts.fields)
        return st.fieldsOf(env, st.parts.fields == K_SELECT ? FieldVerb::kSelect
                                : v.code == StRinput          ? FieldVerb::kRinput
                                                              : FieldVerb::kInput);
    Parts& parts = st.parts;
    Operands& ops = st.ops;
    const int number = st.number;
    Ufcb* const file = st.file;
    if (parts.wait) {
        RpnEntry e;
        if (!ops.take(e)) return kErrDamaged;
    }
    // A window takes typed lines as the console does, as wide as it is; its pending output
    // line is written first.
    int width = kConsoleWidth;
    if (file && file->uftype == kFileWindow) {
        width = std::max<int>(file->ufreclen, 1);
        if (!file->line.empty() || file->column > 1) (void)writeTextLine(*file, file->line);
    } else if (file && (file->mode == kModeOutput || file->uftype != kFileDisplay)) {
        noteFileOutcome(file, number, kErrWrongMode, true, 0);
        return kErrWrongMode;
    }
    std::vector<Cell*> targets;
    for (int i = 0; i < parts.listCount; ++i) {
        RpnEntry e;
        if (!ops.take(e) || !rpnCellOf(e)) return kErrItems;
        targets.push_back(rpnCellOf(e));
    }
    const bool whole = v.code == StLinput || v.code == StRinput;
    // One plain string variable takes the whole line.
    if (whole && (targets.size() != 1 || !isStringCell(targets[0]) || isArrayCell(targets[0]) ||
                  (targets[0]->kind & DE_LITERAL)))
        return kErrNotPlainString;
    if (file && file->uftype != kFileWindow) {
        const int err = fileInput(env, *file, targets, whole, decimalChar);
        noteFileOutcome(file, number, err, true, err ? 0 : static_cast<int>(targets.size()));
        return err;
    }
    Ufcb* const window = file && file->uftype == kFileWindow ? file : nullptr;
    OutputLine& line = g_console.line;
    if (v.code == StRinput) {
        if (window)
            (void)writeTextLine(*window, cellString(targets[0]));
        else
            placeText(line, cellString(targets[0]));
    }
    if (!window) flushPartialLine(line);
    statusShowMessage("INPUT");
    size_t next = 0;
    while (next < targets.size()) {
        std::string typed;
        const int room = whole ? std::min(width, stringCapacity(targets[0])) : width;
        // In a window the line is typed at its current row, and stays there when finished.
        if (window)
            (void)windowAction(window->ufnbr, kScreenInputPlace, windowCurrentRow(window->ufnbr), 0,
                               room);
        if (int err = readConsoleLine(typed, room)) return err;
        if (window) windowTypedLine(*window, typed);
        while (!typed.empty() && typed.back() == ' ') typed.pop_back();
        if (whole) return assignString(env, targets[0], typed);
        if (int err = assignValues(env, typed, targets, next, decimalChar)) return err;
    }
    return 0;
}

int displayStatement(std::span<const uint8_t> code, const ClauseView& v, char decimalChar) {
    Parts parts;
    if (int err = readParts(code, v, parts)) return err;
    Operands ops = operands();
    int number = 0;
    Ufcb* file = nullptr;
    if (int err = statementTarget(parts, ops, number, file)) return err;
    if (parts.displayPart == 0) return kErrNotAvailable;
    std::vector<Item>& items = itemList();
    std::vector<int> counts;
    if (int err = expand(ops, parts.listCount, items, &counts)) return err;
    const MenuPart part = parts.displayPart == K_BUTTONS ? MenuPart::Buttons
                          : parts.displayPart == K_MENU  ? MenuPart::All
                          : parts.displayPart == K_TEXT  ? MenuPart::Text
                          : parts.displayPart == K_DATA  ? MenuPart::Data
                                                         : MenuPart::Status;
    if ((part == MenuPart::All && counts.size() > 3) ||
        (part == MenuPart::Buttons && counts.size() > 2))
        return kErrItems;
    const bool perEntry = part == MenuPart::All || part == MenuPart::Buttons;
    // MENU and BUTTONS: one list per entry; a part: every value in one list.
    std::vector<std::vector<std::string>> lists;
    size_t at = 0;
    for (const int n : counts) {
        if (perEntry || lists.empty()) lists.emplace_back();
        std::vector<std::string>& list = lists.back();
        for (int k = 0; k < n; ++k, ++at) {
            const Item& it = items[at];
            list.push_back(itemIsString(it)
                               ? std::string(itemString(it))
                               : displayNumber(itemNumber(it), kNumberWidth, decimalChar));
        }
    }
    terminalSetMenu(static_cast<int>(part), lists);
    return 0;
}

}  // namespace vxs
