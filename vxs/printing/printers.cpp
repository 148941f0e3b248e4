// Printer translation tables: the built-in printer types and the lookup and replacement of
// keys in printed lines (see printers.h).  The byte values and their sources: docs/printing.md.
#include "vxs/printing/printers.h"

#include <cctype>

#include "vxs/config/config.h"

namespace vxs {

namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;

// The tables keep each key beside its counterpart.
// clang-format off
#define ESC "\x1b"

// ESC/P (dot-matrix command set).
const Keys kEpson = {
    {"[INIT+]", ESC "@"},         {"[RESET+]", ESC "@"},
    {"[BOLD]", ESC "E"},          {"[/BOLD]", ESC "F"},
    {"[ITALIC]", ESC "4"},        {"[/ITALIC]", ESC "5"},
    {"[UNDERLINE]", ESC "-1"},    {"[/UNDERLINE]", ESC "-0"},
    {"[DOUBLESTRIKE]", ESC "G"},  {"[/DOUBLESTRIKE]", ESC "H"},
    {"[EXPANDED]", ESC "W1"},     {"[/EXPANDED]", ESC "W0"},
    {"[CONDENSED]", "\x0f"},      {"[/CONDENSED]", "\x12"},
    {"[10CPI]", ESC "P"},         {"[12CPI]", ESC "M"},
    {"[15CPI]", ESC "g"},         {"[6LPI]", ESC "2"},
    {"[8LPI]", ESC "0"},          {"[NEWPAGE]", "\f"},
};

// The IBM dot-matrix command set with its colour-ribbon selection.
const Keys kIbmColor = {
    {"[INIT+]", "\x12" ESC "F" ESC "H" ESC "-0" ESC "2" ESC "r0"},
    {"[RESET+]", "\x12" ESC "F" ESC "H" ESC "-0" ESC "2" ESC "r0"},
    {"[BOLD]", ESC "E"},          {"[/BOLD]", ESC "F"},
    {"[UNDERLINE]", ESC "-1"},    {"[/UNDERLINE]", ESC "-0"},
    {"[DOUBLESTRIKE]", ESC "G"},  {"[/DOUBLESTRIKE]", ESC "H"},
    {"[EXPANDED]", ESC "W1"},     {"[/EXPANDED]", ESC "W0"},
    {"[CONDENSED]", "\x0f"},      {"[/CONDENSED]", "\x12"},
    {"[10CPI]", "\x12"},          {"[12CPI]", ESC ":"},
    {"[6LPI]", ESC "2"},          {"[8LPI]", ESC "0"},
    {"[BLACK]", ESC "r0"},        {"[RED]", ESC "r1"},
    {"[BLUE]", ESC "r2"},         {"[VIOLET]", ESC "r3"},
    {"[YELLOW]", ESC "r4"},       {"[ORANGE]", ESC "r5"},
    {"[GREEN]", ESC "r6"},        {"[NEWPAGE]", "\f"},
};

// The dot-matrix standard mode with its pitch control codes (RS, FS, GS, US).
const Keys kOkidata = {
    {"[INIT+]", "\x1e" ESC "6" ESC "I" ESC "D"},
    {"[RESET+]", "\x1e" ESC "6" ESC "I" ESC "D"},
    {"[BOLD]", ESC "T"},          {"[/BOLD]", ESC "I"},
    {"[DOUBLESTRIKE]", ESC "H"},  {"[/DOUBLESTRIKE]", ESC "I"},
    {"[UNDERLINE]", ESC "C"},     {"[/UNDERLINE]", ESC "D"},
    {"[EXPANDED]", "\x1f"},       {"[/EXPANDED]", "\x1e"},
    {"[CONDENSED]", "\x1d"},      {"[/CONDENSED]", "\x1e"},
    {"[10CPI]", "\x1e"},          {"[12CPI]", "\x1c"},
    {"[17CPI]", "\x1d"},          {"[6LPI]", ESC "6"},
    {"[8LPI]", ESC "8"},          {"[NEWPAGE]", "\f"},
};

// The older standard mode: the same codes, but the buffer is cleared (CAN) before the set-up.
const Keys kOkidata84 = [] {
    Keys k = kOkidata;
    k[0].second = "\x18\x1e" ESC "6";
    k[1].second = "\x1e" ESC "6";
    return k;
}();

#undef ESC
// clang-format on

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (toupper(static_cast<unsigned char>(a[i])) != toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void addKeys(PrinterSetup& s, const Keys& keys) {
    for (const auto& [key, value] : keys) {
        if (key == "[INIT+]") {
            if (s.init.empty()) s.init = value;
        } else if (key == "[RESET+]") {
            if (s.reset.empty()) s.reset = value;
        } else {
            bool known = false;
            for (const auto& k : s.keys) known = known || k.first == key;
            if (!known) s.keys.emplace_back(key, value);
        }
    }
}

// The length of the key matching at `at`, 0 when it does not match there.
size_t matchAt(std::string_view line, size_t at, std::string_view key) {
    if (key.empty()) return 0;
    if (key[0] == '+') {
        const std::string_view raw = key.substr(1);
        return !raw.empty() && line.substr(at, raw.size()) == raw ? raw.size() : 0;
    }
    return sameNoCase(line.substr(at, key.size()), key) ? key.size() : 0;
}

}  // namespace

const std::vector<std::pair<std::string, std::string>>& builtinPrinterKeys(int type) {
    static const Keys kNone;
    switch (type) {
        case 1: return kEpson;
        case 2: return kIbmColor;
        case 3: return kOkidata;
        case 4: return kOkidata84;
        default: return kNone;
    }
}

PrinterSetup printerSetup(std::string_view name) {
    PrinterSetup s;
    for (const PrinterTable& t : namedPrinters()) {
        if (!name.empty() && sameNoCase(t.name, name)) {
            s.table = t.name;
            s.lpp = t.lpp;
            addKeys(s, t.keys);
            return s;
        }
    }
    const PrinterTable& d = defaultPrinter();
    s.lpp = d.lpp;
    addKeys(s, d.keys);
    if (printerTranslation()) addKeys(s, builtinPrinterKeys(d.type));
    return s;
}

std::string translatePrinterLine(const PrinterSetup& setup, std::string_view line) {
    if (setup.keys.empty()) return std::string(line);
    std::string out;
    out.reserve(line.size());
    size_t i = 0;
    while (i < line.size()) {
        size_t best = 0;
        const std::string* value = nullptr;
        for (const auto& [key, v] : setup.keys) {
            const size_t n = matchAt(line, i, key);
            if (n > best) {
                best = n;
                value = &v;
            }
        }
        if (value) {
            out += *value;
            i += best;
        } else {
            out += line[i++];
        }
    }
    return out;
}

}  // namespace vxs
