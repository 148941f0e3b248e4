// The escape interpreter of native printing (see printer.h): control characters, markup words,
// the one-character commands of the dot-matrix set, and a second interpreter for the PCL
// sequences of laser printers.
#include "vxs/printing/printer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vxs/errors/errors.h"
#include "vxs/base/logger.h"

namespace vxs {

namespace {

constexpr char kEsc = 0x1b;
constexpr double kMaxMarkupValue = 10000;  // characters or lines: far beyond any page
constexpr double kMaxPitch = 100;          // characters per inch, and lines per inch

// Markup words with an argument in quotes; the longest words first so that no word is
// taken for the start of a longer one.
constexpr const char* kArgumentWords[] = {"picture='", "position='", "media='",
                                          "color='",   "font='",     "tray='"};
constexpr const char* kPlainWords[] = {
    "begin_boxbottom", "begin_verticals", "begin_boxtop", "right_justify", "left_justify",
    "begin_shade",     "begin_box",       "end_shade",    "end_box",       "center"};

bool parseNumber(std::string_view s, double& v, bool& relative) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.empty() || s.size() > 30) return false;
    relative = s[0] == '+' || s[0] == '-';
    char buf[32];
    s.copy(buf, s.size());
    buf[s.size()] = 0;
    char* end = nullptr;
    v = strtod(buf, &end);
    // Positions and sizes stay on a page's scale: no infinities, NaN or runaway values.
    return end == buf + s.size() && std::isfinite(v) && std::fabs(v) <= kMaxMarkupValue;
}

// Splits "a,b" or "a,b,rest" at commas (rest keeps its commas).
std::vector<std::string_view> splitArgs(std::string_view s, size_t parts) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < parts) {
        const size_t c = s.find(',');
        if (c == std::string_view::npos) break;
        out.push_back(s.substr(0, c));
        s.remove_prefix(c + 1);
    }
    out.push_back(s);
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

int markupWithArgument(std::string_view word, std::string_view arg, PageItem& item) {
    if (word == "font='") {
        item.op = PageOp::kFont;
        item.text.assign(arg);
        return 0;
    }
    if (word == "color='") {
        if (arg.size() != 7 || arg[0] != '#') return kErrBadColor;
        int v = 0;
        for (size_t i = 1; i < 7; ++i) {
            const int h = hexValue(arg[i]);
            if (h < 0) return kErrBadColor;
            v = v * 16 + h;
        }
        item.op = PageOp::kColor;
        item.a = v;
        return 0;
    }
    if (word == "tray='" || word == "media='") {
        double v = 0;
        bool rel = false;
        if (!parseNumber(arg, v, rel)) return kErrUnrecognized;
        item.op = word == "tray='" ? PageOp::kTray : PageOp::kMedia;
        item.a = static_cast<int>(v);
        return 0;
    }
    if (word == "picture='") {
        const auto parts = splitArgs(arg, 3);
        bool rel = false;
        if (parts.size() != 3 || !parseNumber(parts[0], item.x, rel) || rel ||
            !parseNumber(parts[1], item.y, rel) || rel || item.x <= 0 || item.y <= 0 ||
            parts[2].empty())
            return kErrBadPicture;
        item.op = PageOp::kPicture;
        item.text.assign(parts[2]);
        return 0;
    }
    // position='x,y'
    const auto parts = splitArgs(arg, 2);
    if (parts.size() != 2 || !parseNumber(parts[0], item.x, item.relX) ||
        !parseNumber(parts[1], item.y, item.relY))
        return kErrUnrecognized;
    item.op = PageOp::kPosition;
    return 0;
}

// The second interpreter: PCL sequences ESC, a parameter character, a group character, then
// values each ended by a letter (lower case: more follow; upper case: the last).  Returns the
// length of the sequence it understood (0 when it does not) and adds its items.
size_t pclSequence(std::string_view s, std::vector<PageItem>& out) {
    if (s.size() < 3) return 0;
    const char param = s[1];
    if (param == '%') {  // the universal exit: ESC %-12345X
        if (s.substr(0, 9) == "\x1b%-12345X") return 9;
        return 0;
    }
    if (!strchr("&()*", param)) return 0;
    const char group = s[2];
    size_t i = 3;
    // A symbol set: ESC ( 8U, ESC ( 10U, ESC ) 0N.
    const bool symbolSet =
        (param == '(' || param == ')') && isdigit(static_cast<unsigned char>(group));
    if (symbolSet) i = 2;
    std::vector<PageItem> items;
    for (;;) {
        size_t start = i;
        while (i < s.size() && (isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.' ||
                                s[i] == '+' || s[i] == '-'))
            ++i;
        if (i >= s.size() || !isalpha(static_cast<unsigned char>(s[i]))) return 0;
        const double v = atof(std::string(s.substr(start, i - start)).c_str());
        if (!std::isfinite(v) || std::fabs(v) > kMaxMarkupValue) return 0;
        const char letter = static_cast<char>(toupper(static_cast<unsigned char>(s[i])));
        const bool last = isupper(static_cast<unsigned char>(s[i]));
        ++i;
        PageItem item;
        if (symbolSet) {
            // accepted as it is: the page's fonts carry every character
        } else if (param == '(' && group == 's') {
            if (letter == 'B') {
                item.op = PageOp::kWeight;
                item.a = static_cast<int>(v);
                items.push_back(item);
            } else if (letter == 'S') {
                item.op = PageOp::kUpright;
                item.a = v == 1 ? 1 : 0;
                items.push_back(item);
            } else if (letter == 'H' && v >= 1 && v <= kMaxPitch) {
                item.op = PageOp::kPitch;
                item.a = static_cast<int>(v + 0.5);
                items.push_back(item);
            } else if (!strchr("VTPQ", letter)) {
                return 0;
            }
        } else if (param == '&' && group == 'l') {
            if (letter == 'D' && v >= 1 && v <= kMaxPitch) {
                item.op = PageOp::kLineSpacing;
                item.a = static_cast<int>(v + 0.5);
                items.push_back(item);
            } else if (!strchr("OEFLHSXAP", letter)) {
                return 0;
            }
        } else if (param == '&' && group == 'k') {
            if (letter != 'S' && letter != 'G') return 0;
        } else {
            return 0;
        }
        if (last) break;
    }
    out.insert(out.end(), items.begin(), items.end());
    return i;
}

}  // namespace

std::string escapeText(std::string_view sequence) {
    std::string out;
    for (unsigned char c : sequence) {
        if (c == kEsc) {
            out += "<ESC>";
        } else if (c < 32 || c >= 127) {
            char hex[8];
            snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string fontFamilyOf(std::string_view name) {
    static const std::pair<const char*, const char*> kTypefaces[] = {
        {"Line Printer", "monospace"},   {"Courier New", "monospace"},
        {"Letter Gothic", "monospace"},  {"CG Times", "serif"},
        {"Times New Roamn", "serif"},    {"Times New Roman", "serif"},
        {"Garamond", "serif"},           {"Clarendon Condensed", "serif"},
        {"Marigold", "serif"},           {"Coronet", "serif"},
        {"CG Omega", "sans-serif"},      {"Univers", "sans-serif"},
        {"Antique Olive", "sans-serif"}, {"Albertus Medium", "sans-serif"},
        {"Arial", "sans-serif"},         {"Symbol", "serif"},
        {"Wingdings", "sans-serif"},
    };
    for (const auto& [pcl, family] : kTypefaces) {
        std::string_view p(pcl);
        if (p.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < p.size() && same; ++i)
            same = tolower(static_cast<unsigned char>(p[i])) ==
                   tolower(static_cast<unsigned char>(name[i]));
        if (same) return family;
    }
    return std::string(name);
}

int parseEscapes(std::string_view bytes, const EscapeOptions& options, std::vector<PageItem>& out,
                 size_t& failedAt) {
    failedAt = 0;
    bool rules = false;  // inside a box, a shade or verticals: "|" draws a rule
    std::string text;
    auto flush = [&] {
        if (text.empty()) return;
        PageItem item;
        item.text = std::move(text);
        out.push_back(std::move(item));
        text.clear();
    };
    auto simple = [&](PageOp op, int a = 0, int b = 0) {
        flush();
        PageItem item;
        item.op = op;
        item.a = a;
        item.b = b;
        out.push_back(std::move(item));
    };
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c != kEsc) {
            switch (c) {
                case '\t': simple(PageOp::kTab); break;
                case '\n': simple(PageOp::kLineFeed); break;
                case '\r': simple(PageOp::kReturn); break;
                case '\f': simple(PageOp::kFormFeed); break;
                case 0x0e: simple(PageOp::kWidth, 3); break;
                case 0x0f: simple(PageOp::kWidth, 1); break;
                case 0x12: simple(PageOp::kWidth, 2); break;
                case 0x14: simple(PageOp::kWidth, 4); break;
                case 5: simple(PageOp::kRule); break;
                case '|':
                    if (rules)
                        simple(PageOp::kRule);
                    else
                        text += '|';
                    break;
                default:
                    if (c >= 32 || c == 0) {
                        if (c) text += static_cast<char>(c);
                    }
                    break;
            }
            ++i;
            continue;
        }
        // ESC: a markup word first.
        const std::string_view rest = bytes.substr(i + 1);
        bool done = false;
        for (const char* w : kArgumentWords) {
            const std::string_view word(w);
            if (!rest.starts_with(word)) continue;
            const size_t close = rest.find('\'', word.size());
            if (close == std::string_view::npos) {
                flush();
                failedAt = i;
                return kErrMissingQuote;
            }
            PageItem item;
            if (int err =
                    markupWithArgument(word, rest.substr(word.size(), close - word.size()), item)) {
                // A tray, media or position value that is not a number is an unsupported
                // sequence: OPTION 32 skips it like any other.
                const std::string seq = escapeText(bytes.substr(i, close + 2));
                if (err == kErrUnrecognized && options.suppressUnsupported) {
                    vxlog(kLogProgress, "Escape sequence ignored: %s", seq.c_str());
                    i += 1 + close + 1;
                    done = true;
                    break;
                }
                flush();
                failedAt = i;
                if (err != kErrUnrecognized) return err;
                vxlog(2, "Escape sequence not supported: %s", seq.c_str());
                return kErrEscapeUnsupported;
            }
            flush();
            out.push_back(std::move(item));
            i += 1 + close + 1;
            done = true;
            break;
        }
        if (done) continue;
        for (const char* w : kPlainWords) {
            const std::string_view word(w);
            if (!rest.starts_with(word)) continue;
            flush();
            PageItem item;
            item.op = PageOp::kMarkup;
            item.text.assign(word);
            out.push_back(std::move(item));
            if (word.starts_with("begin_box") || word == "begin_shade" || word == "begin_verticals")
                rules = true;
            if (word == "end_box" || word == "end_shade") rules = false;
            i += 1 + word.size();
            done = true;
            break;
        }
        if (done) continue;
        // One character selects a command.
        if (!rest.empty()) {
            const char k = rest[0];
            size_t used = 2;
            bool known = true;
            switch (k) {
                case 0x0e: simple(PageOp::kWidth, 3); break;
                case 0x0f: simple(PageOp::kWidth, 1); break;
                case '0': simple(PageOp::kLineSpacing, 8); break;
                case '2': simple(PageOp::kLineSpacing, 6); break;
                case 'M': simple(PageOp::kPitch, 12); break;
                case 'P': simple(PageOp::kPitch, 10); break;
                case 'g': simple(PageOp::kPitch, 15); break;
                case '@': simple(PageOp::kReset); break;
                case '4': simple(PageOp::kStyle, 'I', 1); break;
                case '5': simple(PageOp::kStyle, 'I', 0); break;
                case 'E': simple(PageOp::kStyle, 'B', 1); break;
                case 'F': simple(PageOp::kStyle, 'B', 0); break;
                case 'G': simple(PageOp::kStyle, 'D', 1); break;
                case 'H': simple(PageOp::kStyle, 'D', 0); break;
                case '-':
                case 'W':
                case '_':
                case 'k':
                case 'x':
                    if (rest.size() < 2) {
                        known = false;
                        break;
                    }
                    {
                        // The setting is a byte: 0/1 or the digits "0"/"1".
                        int v = static_cast<unsigned char>(rest[1]);
                        if (v >= '0' && v <= '9') v -= '0';
                        simple(PageOp::kAttribute, k, v);
                    }
                    used = 3;
                    break;
                case 'S':
                case 'p':
                case 'r':
                    if (rest.size() < 2) {
                        known = false;
                        break;
                    }
                    used = 3;
                    break;
                case '9':
                case '=':
                case 'T': break;
                default: known = false; break;
            }
            if (known) {
                i += used;
                continue;
            }
        }
        // The second interpreter.
        std::vector<PageItem> pcl;
        if (const size_t n = pclSequence(bytes.substr(i), pcl)) {
            flush();
            out.insert(out.end(), pcl.begin(), pcl.end());
            // The job language lines after a universal exit are not page text.
            if (n == 9) {
                size_t j = i + n;
                while (bytes.substr(j).starts_with("@PJL")) {
                    const size_t lf = bytes.find('\n', j);
                    j = lf == std::string_view::npos ? bytes.size() : lf + 1;
                }
                // The job header ends with the PCL reset, not with bold type.
                if (bytes.substr(j).starts_with("\x1b"
                                                "E")) {
                    simple(PageOp::kReset);
                    j += 2;
                }
                i = j;
            } else {
                i += n;
            }
            continue;
        }
        const std::string seq = escapeText(bytes.substr(i, std::min<size_t>(8, bytes.size() - i)));
        if (!options.suppressUnsupported) {
            flush();
            vxlog(2, "Escape sequence not supported: %s", seq.c_str());
            failedAt = i;
            return kErrEscapeUnsupported;
        }
        vxlog(kLogProgress, "Escape sequence ignored: %s", seq.c_str());
        i += rest.empty() ? 1 : 2;
    }
    flush();
    return 0;
}

}  // namespace vxs
