// The string built-in functions (see strsub.h).
//
// The function code's high nibble is its argument-shape group: 0x00/0x10 system texts with
// optional arguments, 0x20 a string argument, 0x30 a number, 0x40 file and line functions,
// 0x50 repeating and padding, 0x60/0x70 several arguments.  Results are written straight into
// a work-stack temporary: the lengths are known before the bytes are produced.
#include "vxs/interpreter/strsub.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "vxs/config/config.h"
#include "vxs/screen/statline.h"
#include "vxs/base/process.h"
#include "vxs/base/version.h"
#include "vxs/debugger/help.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/filestmt.h"
#include "vxs/interpreter/fnargs.h"
#include "vxs/form/form.h"
#include "vxs/interpreter/numfunct.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/state.h"
#include "vxs/platform/os.h"
#include "vxs/registry/ktuser.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

using fn::Args;

constexpr int kStrWidth = 30;
constexpr int kMessageBytes = 30;  // of MSG$ on the status line

constexpr TextSettings& g_text = interp.text;  // state.h

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// The one-byte argument of a trim; `none` when it is empty (the string stays as it is).
int trimCharacter(const Args& a, int i, char& c, bool& none) {
    c = ' ';
    none = false;
    if (a.count() <= i) return 0;
    const std::string_view s = a.string(i);
    if (s.size() >= 2) return kErrBadCharacter;
    if (s.empty())
        none = true;
    else
        c = s[0];
    return 0;
}

// LTRM$, RTRM$, TRIM$.
int trim(const Args& a, bool left, bool right) {
    if (int err = a.expect("ss", 1)) return err;
    char c;
    bool none;
    if (int err = trimCharacter(a, 1, c, none)) return err;
    std::string_view s = a.string(0);
    if (!none) {
        while (left && !s.empty() && s.front() == c) s.remove_prefix(1);
        while (right && !s.empty() && s.back() == c) s.remove_suffix(1);
    }
    return a.resultString(s);
}

// HELP$(request [, n]): the request is "topic" or "topic,file" (a leading "*" passed over); the
// file defaults to the HELPDFLT file, else ktcmd.kth, and an empty topic to the HELPDFLT topic,
// else CMDMENU.  The topic is shown and the result is what the help display hands back; with n
// nonzero it is not shown and the result is its text.  The help file's errors are raised.
int help(const Args& a) {
    if (int err = a.expect("sn", 1)) return err;
    std::string_view request = trimBlanks(a.string(0));
    if (!request.empty() && request.front() == '*') request.remove_prefix(1);
    std::string_view topic = request, file;
    if (const size_t comma = request.find(','); comma != std::string_view::npos) {
        topic = trimBlanks(request.substr(0, comma));
        file = trimBlanks(request.substr(comma + 1));
    }
    topic = trimBlanks(topic);
    if (file.empty()) file = helpFile().empty() ? std::string_view(kCommandHelpFile) : helpFile();
    if (topic.empty()) topic = helpTopic().empty() ? std::string_view("CMDMENU") : helpTopic();
    if (a.count() > 1 && a.number(1) != 0) {
        HelpTopic t;
        if (int err = readHelpTopic(topic, file, t)) return err;
        return a.resultString(t.text);
    }
    std::string answer;
    if (int err = showHelp(topic, file, &answer)) return err;
    return a.resultString(answer);
}

// UPRC$, LWRC$: only a-z and A-Z change.
int changeCase(const Args& a, bool toUpper) {
    if (int err = a.expect("s", 1)) return err;
    const std::string_view s = a.string(0);
    Cell* c;
    char* text;
    if (int err = Args::stringTemp(static_cast<int64_t>(s.size()), c, text)) return err;
    for (size_t i = 0; i < s.size(); ++i) text[i] = toUpper ? upper(s[i]) : lower(s[i]);
    return a.finish(c);
}

int hex(const Args& a) {
    if (int err = a.expect("s", 1)) return err;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::string_view s = a.string(0);
    Cell* c;
    char* text;
    if (int err = Args::stringTemp(2 * static_cast<int64_t>(s.size()), c, text)) return err;
    for (size_t i = 0; i < s.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        text[2 * i] = kDigits[b >> 4];
        text[2 * i + 1] = kDigits[b & 15];
    }
    return a.finish(c);
}

// UNHEX$: pairs of upper-case hex digits; trailing blanks are ignored.
int unhex(const Args& a) {
    if (int err = a.expect("s", 1)) return err;
    std::string_view s = a.string(0);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.size() % 2) return kErrBadCharacter;
    auto value = [](char d) {
        return d >= '0' && d <= '9' ? d - '0' : d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
    };
    Cell* c;
    char* text;
    if (int err = Args::stringTemp(static_cast<int64_t>(s.size() / 2), c, text)) return err;
    for (size_t i = 0; i < s.size(); i += 2) {
        const int hi = value(s[i]), lo = value(s[i + 1]);
        if (hi < 0 || lo < 0) return kErrBadCharacter;
        text[i / 2] = static_cast<char>(hi << 4 | lo);
    }
    return a.finish(c);
}

int str(const EvalEnv& env, const Args& a) {
    if (int err = a.expect("n", 1)) return err;
    char text[kDisplayCapacity];
    int length;
    if (int err = textOfNumber(a.number(0), fn::decimalCharOf(env), text, length)) return err;
    return a.resultString(std::string_view(text, static_cast<size_t>(length)));
}

// CHR$(n): the byte n; under COLLATE ALTERNATE the byte that collates as n.
int chr(const EvalEnv& env, const Args& a) {
    if (int err = a.expect("n", 1)) return err;
    const double n = std::trunc(a.number(0));
    if (!(n >= 0 && n <= 255)) return kErrBadCharacter;
    uint8_t b = static_cast<uint8_t>(n);
    if (env.alternate) b = alternateCollation(b);  // the mapping is its own inverse
    const char ch = static_cast<char>(b);
    return a.resultString(std::string_view(&ch, 1));
}

// CFORM$(s): the compiled form of the FORM text s, as bytes a program can hand to an I/O
// statement in place of a FORM line.
int compiledForm(const Args& a) {
    if (int err = a.expect("s", 1)) return err;
    CompiledForm form;
    if (formCompile(a.string(0), form)) return kErrFormSpec;
    return a.resultString(form.view());
}

// CNVRT$(items, n): n converted by the FORM items, up to the end of the first data item.
int convert(const EvalEnv& env, const Args& a) {
    if (int err = a.expect("sn", 2)) return err;
    FormSettings settings;
    settings.decimalChar = fn::decimalCharOf(env);
    settings.currency = g_text.currency;
    std::string text;
    if (int err = formConvertNumber(a.string(0), a.number(1), settings, text)) return err;
    return a.resultString(text);
}

// RPT$(s, n): n + 1e-06 truncated copies.
int repeat(const Args& a) {
    if (int err = a.expect("sn", 2)) return err;
    const std::string_view s = a.string(0);
    const double times = std::trunc(a.number(1) + 1e-06);
    if (!(times > 0) || s.empty()) return a.resultString("");
    if (times * static_cast<double>(s.size()) > kMaxStringLength) return kErrStringTooLong;
    const int n = static_cast<int>(times);
    Cell* c;
    char* text;
    if (int err =
            Args::stringTemp(static_cast<int64_t>(n) * static_cast<int64_t>(s.size()), c, text))
        return err;
    for (int i = 0; i < n; ++i)
        memcpy(text + static_cast<size_t>(i) * s.size(), s.data(), s.size());
    return a.finish(c);
}

// LPAD$, RPAD$(s, n [, c]): padded with c (one byte, default a blank) to length n.
int pad(const Args& a, bool left) {
    if (int err = a.expect("sns", 2)) return err;
    const std::string_view s = a.string(0);
    const double wanted = a.number(1);
    if (wanted > kMaxStringLength) return kErrStringTooLong;
    char c = ' ';
    if (a.count() == 3) {
        const std::string_view p = a.string(2);
        if (p.size() != 1) return kErrBadCharacter;
        c = p[0];
    }
    const int n = fn::countOf(wanted);
    if (n <= static_cast<int>(s.size())) return a.resultString(s);
    Cell* cell;
    char* text;
    if (int err = Args::stringTemp(n, cell, text)) return err;
    const size_t fill = static_cast<size_t>(n) - s.size();
    if (left) {
        memset(text, c, fill);
        copyText(text + fill, s);
    } else {
        copyText(text, s);
        memset(text + s.size(), c, fill);
    }
    return a.finish(cell);
}

// SREP$(s [, p], old, new): every occurrence of old at or after p, left to right.
int replace(const Args& a) {
    if (a.count() != 3 && a.count() != 4) return kErrArgumentKind;
    if (int err = a.expect(a.count() == 3 ? "sss" : "snss", a.count())) return err;
    const std::string_view s = a.string(0);
    const std::string_view from = a.string(a.count() - 2), to = a.string(a.count() - 1);
    int p = a.count() == 4 ? fn::positionOf(a.number(1)) : 1;
    if (p < 1) p = 1;
    if (from.empty() || static_cast<size_t>(p) > s.size()) return a.resultString(s);
    const size_t start = static_cast<size_t>(p - 1);
    int64_t hits = 0;
    for (size_t at = s.find(from, start); at != std::string_view::npos;
         at = s.find(from, at + from.size()))
        ++hits;
    const int64_t length =
        static_cast<int64_t>(s.size()) +
        hits * (static_cast<int64_t>(to.size()) - static_cast<int64_t>(from.size()));
    Cell* c;
    char* text;
    if (int err = Args::stringTemp(length, c, text)) return err;
    char* out = text;
    size_t done = 0;
    for (size_t at = s.find(from, start); at != std::string_view::npos;
         at = s.find(from, at + from.size())) {
        copyText(out, s.substr(done, at - done));
        out += at - done;
        copyText(out, to);
        out += to.size();
        done = at + from.size();
    }
    copyText(out, s.substr(done));
    return a.finish(c);
}

// XLATE$(s, table [, p]): from p on, each byte b below len(table) becomes table's byte b + 1.
int translate(const Args& a) {
    if (int err = a.expect("ssn", 2)) return err;
    const std::string_view s = a.string(0), table = a.string(1);
    int p = a.count() == 3 ? fn::positionOf(a.number(2)) : 1;
    if (p < 1) p = 1;
    Cell* c;
    char* text;
    if (int err = Args::stringTemp(static_cast<int64_t>(s.size()), c, text)) return err;
    for (size_t i = 0; i < s.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        text[i] = i + 1 >= static_cast<size_t>(p) && b < table.size() ? table[b] : s[i];
    }
    return a.finish(c);
}

int minMax(const EvalEnv& env, const Args& a, bool max) {
    if (a.count() < 1) return kErrArgumentKind;
    std::string_view best;
    for (int i = 0; i < a.count(); ++i) {
        if (!a.isString(i)) return kErrArgumentKind;
        const std::string_view s = a.string(i);
        const int cmp = compareStrings(s, best, env.alternate);
        if (i == 0 || (max ? cmp > 0 : cmp < 0)) best = s;
    }
    return a.resultString(best);
}

// DATE$([d] [, fmt]).
int dateText(const Args& a) {
    if (a.count() > 2) return kErrArgumentKind;
    const bool hasDay = a.count() >= 1 && a.isNumber(0);
    const int fmtAt = hasDay ? 1 : 0;
    const bool hasFormat = a.count() > fmtAt;
    if ((hasFormat && !a.isString(fmtAt)) || (a.count() == 2 && !hasDay)) return kErrArgumentKind;
    std::string_view format;
    if (int err = chooseDateFormat(hasFormat, hasFormat ? a.string(fmtAt) : "", format)) return err;
    const int day =
        hasDay ? toInteger(a.number(0), -2147483647, 2147483647) : dayNumberAt(systemClock());
    const int length = formatDate(day, format, nullptr, 0);
    if (length < 0) return a.resultString("");  // not a day of 1700-2399
    Cell* c;
    char* text;
    if (int err = Args::stringTemp(length, c, text)) return err;
    formatDate(day, format, text, length);
    return a.finish(c);
}

int timeText(const Args& a) {
    if (int err = a.expect("", 0)) return err;
    const platform::LocalTime t =
        platform::localTimeAt(static_cast<int64_t>(std::floor(systemClock())));
    char text[16];
    snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
    return a.resultString(std::string_view(text, 8));
}

// KSTAT$([n [, t]]): the keys typed ahead; with n, waits for n keys (within t seconds).
int keys(const Args& a) {
    if (int err = a.expect("nn", 0)) return err;
    // -1: every key typed ahead; else that many keys (none for 0 or less).
    const int wanted = a.count() >= 1 ? std::max(0, fn::countOf(a.number(0))) : -1;
    const bool timed = a.count() == 2;
    const double limit = timed ? a.number(1) : 0;
    const int64_t end = platform::monotonicMicroseconds() +
                        static_cast<int64_t>(std::fmin(std::fmax(limit, 0), 1e9) * 1e6);
    std::string typed;
    for (int got = 0; wanted < 0 || got < wanted; ++got) {
        int32_t key;
        if (wanted < 0 || (timed && limit <= 0)) {
            key = keyboardRequest(1, -1);
        } else if (timed) {
            const int64_t left = end - platform::monotonicMicroseconds();
            if (left <= 0) break;
            key = keyboardRequest(2, static_cast<int32_t>((left + 999999) / 1000000));
        } else {
            // A wait without a time limit (action 2, 0 seconds): action 1 asks the keyboard only
            // once keys were announced, and would end the wait before any key was typed.
            key = keyboardRequest(2, 0);
        }
        if (key < 0) break;
        if (key == 1) return kErrInterrupted;
        if (typed.size() + 2 > static_cast<size_t>(kMaxStringLength)) break;
        if (key < 256) {
            typed += static_cast<char>(key);
        } else {
            typed += static_cast<char>((key >> 8) & 0xFF);
            typed += static_cast<char>(key & 0xFF);
            systemValues().terminatingKey = (key >> 8) & 0xFF;
        }
    }
    return a.resultString(typed);
}

// WSID$: two digits, three from 100 up.  Until the registry assigns a workstation number, the
// process is workstation 1, the number a single-workstation installation has.
int workstationText(const Args& a) {
    if (int err = a.expect("", 0)) return err;
    const int wsid = workstationId() > 0 ? workstationId() : 1;
    char text[8];
    const int n = snprintf(text, sizeof text, wsid >= 100 ? "%03d" : "%02d", wsid % 1000);
    return a.resultString(std::string_view(text, static_cast<size_t>(n)));
}

// SESSION$: the session digit, 1 until start-up has one.
int sessionText(const Args& a) {
    if (int err = a.expect("", 0)) return err;
    const char digit =
        static_cast<char>('0' + (sessionDigit() >= 1 && sessionDigit() <= 9 ? sessionDigit() : 1));
    return a.resultString(std::string_view(&digit, 1));
}

int platformText(const Args& a) {
    if (int err = a.expect("", 0)) return err;
    static const std::string text(trimBlanks(platform::systemName()));
    return a.resultString(text);
}

// PIC$([c]): the currency character of PIC formats; c sets it.
int currency(const Args& a) {
    if (int err = a.expect("s", 0)) return err;
    if (a.count() == 1) {
        const std::string_view c = a.string(0);
        if (c.size() != 1) return kErrBadCharacter;
        g_text.currency = c[0];
    }
    return a.resultString(std::string_view(&g_text.currency, 1));
}

int login(const Args& a) {
    if (int err = a.expect("s", 0)) return err;
    if (a.count() == 1)
        if (int err = setLoginName(a.string(0))) return err;
    return a.resultString(loginName());
}

// SYSERR$([n]): the operating system's text for error n, by default the last one.
int systemErrorText(const Args& a) {
    if (int err = a.expect("n", 0)) return err;
    const uint32_t code = a.count() ? static_cast<uint32_t>(toInteger(a.number(0), 0, 2147483647))
                                    : platform::lastError() & ~platform::kAppErrorBit;
    char text[256];
    if (!platform::errorMessage(code, text, sizeof text))
        snprintf(text, sizeof text, "FormatMessage failed %i.", static_cast<int>(code));
    return a.resultString(text);
}

// MSG$(s): the first 30 bytes on the status line; the value is empty.
int message(const Args& a) {
    if (int err = a.expect("s", 1)) return err;
    const std::string_view s = a.string(0);
    statusShowMessage(s.substr(0, std::min(s.size(), static_cast<size_t>(kMessageBytes))));
    return a.resultString("");
}

int environmentText(const Args& a) {
    if (int err = a.expect("s", 1)) return err;
    const std::string_view name = trimBlanks(a.string(0));
    if (name.size() > kMaxEnvName) return kErrConversion;
    std::string value;
    if (!environmentVariable(name, value)) value.clear();
    return a.resultString(value);
}

int noArguments(const Args& a, std::string_view text) {
    if (int err = a.expect("", 0)) return err;
    return a.resultString(text);
}

}  // namespace

int textOfNumber(double value, char decimalChar, char* out, int& length) {
    if (!std::isfinite(value)) return kErrConversion;
    length = displayNumberInto(value, kStrWidth, decimalChar, out, kDisplayCapacity);
    return 0;
}

char currencyCharacter() {
    return g_text.currency;
}
void setCurrencyCharacter(char c) {
    g_text.currency = c;
}


void noteErrorVariable(std::string_view name) {
    g_text.errorVariable.assign(name);
}
const std::string& errorVariable() {
    return g_text.errorVariable;
}

int callStringFunction(const EvalEnv& env, int code, int args) {
    Args a;
    if (int err = a.take(args)) return err;
    switch (code) {
        // ---- system texts ----
        case 0: return keys(a);  // KSTAT$
        case 1: return workstationText(a);
        case 2: return noArguments(a, platform::accountName());  // USERID$
        case 3: return noArguments(a, g_text.errorVariable);          // VARIABLE$
        case 4:
            return noArguments(a, env.pc ? std::string_view(env.pc->progname) : "");  // PROGRAM$
        case 5: return sessionText(a);
        case 6: return noArguments(a, kVersionText);  // KTVERSION$
        case 7: return platformText(a);
        case 16: return currency(a);  // PIC$
        case 17: return dateText(a);  // DATE$
        case 18: return timeText(a);  // TIME$
        case 20: return login(a);     // LOGIN_NAME$
        case 21: return systemErrorText(a);

        // ---- a string argument ----
        case 32: return trim(a, true, false);  // LTRM$
        case 33: return trim(a, false, true);  // RTRM$
        case 44: return trim(a, true, true);   // TRIM$
        case 40: return compiledForm(a);       // CFORM$
        case 34: return unhex(a);
        case 35: return hex(a);
        case 36: return changeCase(a, true);   // UPRC$
        case 37: return changeCase(a, false);  // LWRC$
        case 38: return message(a);            // MSG$
        case 42:
            return environmentText(a);  // ENV$

        // ---- a number ----
        case 48: return str(env, a);
        case 49: return chr(env, a);

        // ---- repeating and padding ----
        case 80: return repeat(a);
        case 81: return pad(a, true);  // LPAD$
        case 82:
            return pad(a, false);  // RPAD$

        // ---- several arguments ----
        case 96: return replace(a);    // SREP$
        case 97: return translate(a);  // XLATE$
        case 98: return minMax(env, a, false);
        case 99: return minMax(env, a, true);
        case 101: return convert(env, a);  // CNVRT$

        // ---- files ----
        case 64: {  // FILE$
            if (int err = a.expect("n", 0)) return err;
            double in[1] = {a.count() ? a.number(0) : 0};
            std::string name;
            if (int err = fileNameFunction(in, a.count(), name)) return err;
            return a.resultString(name);
        }

        case 83: return help(a);  // HELP$

        case 19: {  // MENU$([n]): the text of menu item n, or of the item chosen last
            if (int err = a.expect("n", 0)) return err;
            const int32_t n = a.count() ? toInteger(a.number(0), 0, 32767) : terminalMenuOption();
            std::string text;
            (void)terminalMenuItem(n, text);
            return a.resultString(text);
        }

        // UPSI$, CFIELDS$ and CONFIG$ (fields and configuration),
        // LINESTATUS$, LINEBUFFER$, OS_FILENAME$ and VX_FILENAME$, XPOS$, CHYRON$, and every
        // code without a function.
        default: return kErrNotAvailable;
    }
}

}  // namespace vxs
