// The numeric built-in functions (see numfunct.h).
//
// The function code's high nibble is its argument-shape group: 0x00/0x10 system values with
// optional numeric arguments, 0x20 a string argument, 0x30 one number, 0x40 a file number,
// 0x60/0x70 several arguments, 0x80 external calls.  Functions of facilities this build does
// not have (files, fields, menus, windows, printers, external libraries) raise 302.
#include "vxs/interpreter/numfunct.h"

#include "vxs/screen/msgbox.h"
#include "vxs/screen/terminal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "vxs/base/process.h"
#include "vxs/base/process.h"
#include "vxs/form/dates.h"
#include "vxs/interpreter/fieldio.h"
#include "vxs/interpreter/filestmt.h"
#include "vxs/interpreter/fnargs.h"
#include "vxs/form/numtext.h"
#include "vxs/interpreter/state.h"
#include "vxs/interpreter/strsub.h"
#include "vxs/platform/os.h"
#include "vxs/screen/terminal.h"

namespace vxs {

namespace {

using fn::Args;

constexpr SystemValues& g_values = interp.numbers.values;  // state.h
constexpr double& g_random = interp.numbers.random;

double frac(double x) {
    return x - std::floor(x);
}

// A result that is not a finite number is an overflow, not a value to compute on with.
int finite(const Args& a, double v) {
    return std::isfinite(v) ? a.resultNumber(v) : kErrArithmeticOverflow;
}

// CMDKEY and FKEY: the value; with an argument, first set to it.
int keyValue(const Args& a, int& value, bool belowHundred) {
    if (int err = a.expect("n", 0)) return err;
    if (a.count() == 1) value = toInteger(a.number(0), -2147483647, 2147483647);
    return a.resultNumber(belowHundred && (value < 0 || value >= 100) ? 0 : value);
}

// The line number of the last error, -1 when there is none.
int errorLineNumber(const pcb* pc) {
    if (!pc || pc->errorline < 0 || pc->errorline >= pc->linecnt || !pc->lineptr) return -1;
    return static_cast<int>(pc->lineptr[static_cast<size_t>(pc->errorline)].lineno());
}

// A one-byte string (BELL, NEWPAGE: numeric names that stand for print control bytes).
int controlByte(const Args& a, char byte) {
    if (int err = a.expect("", 0)) return err;
    return a.resultString(std::string_view(&byte, 1));
}

// POS(s, t [, p]): forward from p (1 for 0 or absent); a negative p searches backward from the
// last possible position (p = -1) or that many bytes before it.
int position(const Args& a) {
    if (int err = a.expect("ssn", 2)) return err;
    const std::string_view s = a.string(0), t = a.string(1);
    const int start = a.count() == 3 ? fn::positionOf(a.number(2)) : 1;
    const int last = static_cast<int>(s.size()) - static_cast<int>(t.size()) + 1;  // last start
    if (t.empty() || last < 1) return a.resultNumber(0);
    if (start >= 0) {
        const int from = start == 0 ? 1 : start;
        if (from > last) return a.resultNumber(0);
        const size_t found = s.find(t, static_cast<size_t>(from - 1));
        return a.resultNumber(found == std::string_view::npos ? 0 : static_cast<double>(found + 1));
    }
    for (int p = last + 1 + start; p >= 1; --p)
        if (memcmp(s.data() + p - 1, t.data(), t.size()) == 0) return a.resultNumber(p);
    return a.resultNumber(0);
}

// ROUND(n [, d]): floor(n x 10^d + 0.5000001) / 10^d for n > 0, + 0.4999999 otherwise.
int round(const Args& a) {
    if (int err = a.expect("nn", 1)) return err;
    const double n = a.number(0);
    const int d = a.count() == 2 ? fn::countOf(a.number(1)) : 0;
    double scale = 1;
    for (int i = 0; i < d && std::isfinite(scale); ++i) scale *= 10;
    for (int i = 0; i > d && scale > 0; --i) scale /= 10;
    if (scale == 0) return a.resultNumber(0);  // rounded far above every digit it has
    const double scaled = n * scale;
    // Beyond 2^52 a double has no fraction left to round (and an infinite one would be NaN).
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0) return a.resultNumber(n);
    const double r = std::floor(scaled + (n > 0 ? 0.5000001 : 0.4999999)) / scale;
    return a.resultNumber(r);
}

// REM and MOD: a - b x q with q = a / b truncated toward zero (REM) or rounded down (MOD).
int remainder(const Args& a, bool floorQuotient) {
    if (int err = a.expect("nn", 2)) return err;
    const double x = a.number(0), y = a.number(1);
    if (y == 0) return a.resultNumber(0);
    const double q = x / y;
    if (!std::isfinite(q)) return a.resultNumber(0);  // a divisor too small to leave a remainder
    const double r = x - y * (floorQuotient ? std::floor(q) : std::trunc(q));
    return a.resultNumber(r);
}

int minMax(const Args& a, bool max) {
    if (a.count() < 1) return kErrArgumentKind;
    double best = 0;
    for (int i = 0; i < a.count(); ++i) {
        if (!a.isNumber(i)) return kErrArgumentKind;
        const double v = a.number(i);
        if (i == 0 || (max ? v > best : v < best)) best = v;
    }
    return a.resultNumber(best);
}

// UDIM(array [, k]): the upper bound of dimension k.
int upperBound(const EvalEnv& env, const Args& a) {
    if (a.count() < 1 || a.count() > 2 || !a.isArray(0)) return kErrArgumentKind;
    int k = 1;
    if (a.count() == 2) {
        if (!a.isNumber(1)) return kErrArgumentKind;
        k = fn::countOf(a.number(1));
    }
    const Cell* array = a.cell(0);
    if (k < 1 || k > cellDims(array)) return kErrDimension;
    return a.resultNumber(array->dims[k - 1] - (env.base == 0 ? 1 : 0));
}

// SRCH(array, value [, start]): the subscript of the first equal element, -1 when none.
int search(const EvalEnv& env, const Args& a) {
    if (a.count() < 2 || a.count() > 3 || !a.isArray(0)) return kErrArgumentKind;
    const Cell* array = a.cell(0);
    const bool strings = isStringCell(array);
    if (strings ? !a.isString(1) : !a.isNumber(1)) return kErrArgumentKind;
    int from = 0;
    if (a.count() == 3) {
        if (!a.isNumber(2)) return kErrArgumentKind;
        from = std::max(0, fn::positionOf(a.number(2)) - env.base);
    }
    const int32_t n = elementCount(array);
    if (strings) {
        const std::string_view value = a.string(1);
        const int capacity = stringCapacity(array);
        for (int32_t i = from; i < n; ++i) {
            const uint8_t* p = elementAt(array, i);
            uint16_t length;
            memcpy(&length, p, 2);
            if (length > capacity) length = static_cast<uint16_t>(capacity);
            if (length == value.size() && memcmp(p + 2, value.data(), length) == 0)
                return a.resultNumber(i + env.base);
        }
    } else {
        const double value = a.number(1);
        for (int32_t i = from; i < n; ++i) {
            double v;
            memcpy(&v, elementAt(array, i), sizeof v);
            if (compareNumbers(v, value) == 0) return a.resultNumber(i + env.base);
        }
    }
    return a.resultNumber(-1);
}

int sum(const Args& a) {
    if (a.count() != 1) return kErrArgumentKind;
    if (!a.isArray(0)) return a.isNumber(0) ? kErrNotArray : kErrArgumentKind;
    const Cell* array = a.cell(0);
    if (isStringCell(array)) return kErrArgumentKind;
    double total = 0;
    const int32_t n = elementCount(array);
    for (int32_t i = 0; i < n; ++i) {
        double v;
        memcpy(&v, elementAt(array, i), sizeof v);
        total += v;
    }
    return a.resultNumber(total);
}

// SLEEP(n): waits in slices that keep the window responsive; the attention key ends it.
int sleep(const Args& a) {
    if (int err = a.expect("n", 1)) return err;
    const double n = a.number(0);
    if (n > 0) {
        const double seconds = std::min(n, 1e9);
        const int64_t end = platform::monotonicMicroseconds() + static_cast<int64_t>(seconds * 1e6);
        for (;;) {
            const int64_t left = end - platform::monotonicMicroseconds();
            if (left <= 0) break;
            timedWait(static_cast<int32_t>(std::min<int64_t>(left, 100000)));
            if (pollAttention()) return kErrInterrupted;
        }
    }
    return a.resultNumber(n);
}

// DATE([d] [, fmt]): the date as a number of the format's digit elements.
int date(const Args& a) {
    if (a.count() > 2) return kErrArgumentKind;
    const bool hasDay = a.count() >= 1 && a.isNumber(0);
    const int fmtAt = hasDay ? 1 : 0;
    const bool hasFormat = a.count() > fmtAt;
    if (hasFormat && !a.isString(fmtAt)) return kErrArgumentKind;
    if (a.count() == 2 && !hasDay) return kErrArgumentKind;
    std::string_view format;
    if (int err = chooseDateFormat(hasFormat, hasFormat ? a.string(fmtAt) : "", format)) return err;
    const int day =
        hasDay ? toInteger(a.number(0), -2147483647, 2147483647) : dayNumberAt(systemClock());
    double v = 0;
    if (!dateAsNumber(day, format, v)) v = 0;
    return a.resultNumber(v);
}

// DAYS(date [, fmt]): the day number of a date given as a number or as text.
int days(const Args& a) {
    if (a.count() < 1 || a.count() > 2 || a.isArray(0)) return kErrArgumentKind;
    if (a.count() == 2 && !a.isString(1)) return kErrArgumentKind;
    std::string_view format;
    if (int err = chooseDateFormat(a.count() == 2, a.count() == 2 ? a.string(1) : "", format))
        return err;
    return a.resultNumber(a.isString(0) ? daysFromText(a.string(0), format)
                                        : daysFromNumber(a.number(0), format));
}

// SETENV(name, value) or SETENV("name=value"): the function's value is the error number.
int setEnv(const Args& a) {
    if (int err = a.expect("ss", 1)) return err;
    std::string_view name = a.string(0), value;
    if (a.count() == 2) {
        value = a.string(1);
    } else {
        const size_t eq = name.find('=');
        if (eq != std::string_view::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
    }
    return a.resultNumber(setEnvironmentVariable(name, value));
}

// One numeric argument: the arithmetic and transcendental functions.
int arithmetic(int code, const Args& a) {
    if (int err = a.expect("n", 1)) return err;
    const double n = a.number(0);
    switch (code) {
        case 48: return a.resultNumber(std::ceil(n - kTolerance));  // CEIL
        case 50: return a.resultNumber(std::trunc(n > 0 ? n + kTolerance : n - kTolerance));  // IP
        case 51: return a.resultNumber(n - std::trunc(n));                                    // FP
        case 52: return finite(a, std::exp(n));                                               // EXP
        case 53: return n > 0 ? a.resultNumber(std::log(n)) : kErrLog;                        // LOG
        case 54: return finite(a, std::cos(n));                                               // COS
        case 55: return finite(a, std::sin(n));                                               // SIN
        case 56: return a.resultNumber(std::atan(n));                                         // ATN
        case 57: return n >= 0 ? a.resultNumber(std::sqrt(n)) : kErrSqr;                      // SQR
        case 58: return finite(a, std::tan(n));                                               // TAN
    }
    return kErrNotAvailable;
}

}  // namespace

SystemValues& systemValues() {
    return g_values;
}

int valueOfText(std::string_view text, char decimalChar, double& value) {
    return parseNumber(text, decimalChar, 0, value) ? 0 : kErrConversion;
}

double nextRandom() {
    return nextRandom(g_random);
}
double nextRandom(double seed) {
    g_random = seed < 0 || !std::isfinite(seed) ? 0 : frac(100 * std::sqrt(seed) + 0.131313);
    return g_random;
}
void randomize(double clockSeconds) {
    g_random = frac(100 * std::sqrt(std::fabs(clockSeconds) / 131713) + 0.131313);
}
double randomState() {
    return g_random;
}
void setRandomState(double r) {
    g_random = r;
}

namespace {

// The system values that take no argument.
bool plainValue(const EvalEnv& env, int code, double& v) {
    switch (code) {
        case 0: v = exitCode(); return true;                                        // CODE
        case 1: v = env.pc ? env.pc->lasterror : 0; return true;                    // ERR
        case 2: v = errorLineNumber(env.pc); return true;                           // LINE
        case 4: v = g_values.itemCount; return true;                                // CNT
        case 6: v = g_values.errorFile; return true;                                // FILENUM
        case 7: v = openProcedureDepth(); return true;                                  // PROCLVL
        case 10: v = 1e307; return true;                                            // INF
        case 11: v = 3.14159265358979; return true;                                 // PI
        case 16: v = openProcedureDepth() > 0 ? 1 : 0; return true;                     // PROCIN
        case 17: v = 0; return true;                                                // SHIFT
        case 20: v = systemClock(); return true;                                    // TIMER
        case 22: v = platform::lastError() & ~platform::kAppErrorBit; return true;  // SYSERR
    }
    return false;
}

}  // namespace

int callNumericFunction(const EvalEnv& env, int code, int args) {
    Args a;
    if (int err = a.take(args)) return err;
    double value;
    if (plainValue(env, code, value)) return a.expect("", 0) ? kErrArgumentKind : a.resultNumber(value);
    switch (code) {
        // ---- system values ----
        case 5: return keyValue(a, g_values.commandKey, true);        // CMDKEY
        case 13: return keyValue(a, g_values.terminatingKey, false);  // FKEY
        case 8:                                                       // CURROW
        case 9:                                                       // CURCOL
            if (int err = a.expect("", 0)) return err;
            return a.resultNumber(code == 8 ? cursorRow() : cursorColumn());
        case 12:  // CURFLD: the field of the last field input; with n, where the next starts
            if (int err = a.expect("ns", 0)) return err;
            if (a.count() >= 1) setNextField(toInteger(a.number(0), 0, 32767));
            return a.resultNumber(currentField());
        case 14: return controlByte(a, '\x07');                       // BELL
        case 15: return controlByte(a, '\x0c');                       // NEWPAGE
        case 18:                                                      // RND
            if (int err = a.expect("n", 0)) return err;
            return a.resultNumber(a.count() ? nextRandom(a.number(0)) : nextRandom());
        case 19:  // MENU: the item chosen last on the menu bar; with n, chooses item n
            if (int err = a.expect("n", 0)) return err;
            if (a.count()) terminalMenuChoose(toInteger(a.number(0), 0, 32767));
            return a.resultNumber(terminalMenuOption());
        case 23:  // SCR_FREEZE
            if (int err = a.expect("n", 0)) return err;
            g_values.screenFrozen = true;
            return a.resultNumber(0);
        case 24:  // SCR_THAW
            if (int err = a.expect("", 0)) return err;
            g_values.screenFrozen = false;
            return a.resultNumber(0);

        // ---- one string argument ----
        case 32:  // LEN
            if (int err = a.expect("s", 1)) return err;
            return a.resultNumber(static_cast<double>(a.string(0).size()));
        case 33: {  // VAL
            if (int err = a.expect("s", 1)) return err;
            double v;
            if (int err = valueOfText(a.string(0), fn::decimalCharOf(env), v)) return err;
            return a.resultNumber(v);
        }
        case 34: {  // ORD
            if (int err = a.expect("s", 1)) return err;
            const std::string_view s = a.string(0);
            if (s.empty()) return a.resultNumber(0);
            const uint8_t b = static_cast<uint8_t>(s[0]);
            return a.resultNumber(env.alternate ? alternateCollation(b) : b);
        }
        case 37:
            return setEnv(a);  // SETENV

        // ---- one number ----
        case 48:
        case 50:
        case 51:
        case 52:
        case 53:
        case 54:
        case 55:
        case 56:
        case 57:
        case 58: return arithmetic(code, a);
        case 61:
            return sleep(a);  // SLEEP

        // ---- several arguments ----
        case 96: return minMax(a, false);
        case 97: return minMax(a, true);
        case 98: return round(a);
        case 99: return remainder(a, false);  // REM
        case 100: return remainder(a, true);  // MOD
        case 102: return position(a);         // POS
        case 103: return date(a);
        case 104: return days(a);
        case 112: return upperBound(env, a);  // UDIM
        case 113: return search(env, a);      // SRCH
        case 114: return sum(a);

        // ---- files ----
        case 36: {  // EXISTS
            if (int err = a.expect("s", 1)) return err;
            double v;
            if (int err = existsFunction(a.string(0), v)) return err;
            return a.resultNumber(v);
        }
        case 64: case 65: case 66: case 67: case 68: case 69:
        case 70: case 71: case 72: case 73: case 74: {
            const bool second = code == 66 || code == 67 || code == 69 || code == 74;
            if (int err = a.expect(second ? "nn" : "n", 1)) return err;
            double in[2] = {a.number(0), a.count() > 1 ? a.number(1) : 0};
            double v;
            if (int err = fileNumberFunction(code, in, a.count(), v)) return err;
            return a.resultNumber(v);
        }

        case 106: {  // MSGBOX(prompt [, title [, buttons [, icon]]])
            if (int err = a.expect("ssss", 1)) return err;
            BoxButtons kind = BoxButtons::Ok;
            BoxIcon icon = BoxIcon::None;
            if ((a.count() > 2 && !boxButtonsOf(a.string(2), kind)) ||
                (a.count() > 3 && !boxIconOf(a.string(3), icon)))
                return kErrMessageBoxKind;
            const std::string prompt(a.string(0));
            const std::string title(a.count() > 1 ? a.string(1) : std::string_view());
            return a.resultNumber(terminalMessageBox(prompt, title, static_cast<int32_t>(kind),
                                                     static_cast<int32_t>(icon)));
        }

        // NXTFLD (fields), TRUNC, DEG, RAD, CURTAB (windows), CALL, PRINTER_LIST,
        // DLL and MSG (platform calls), and every code without a function.
        default: return kErrNotAvailable;
    }
}

}  // namespace vxs
