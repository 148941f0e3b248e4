// The conversions of FORM items: a number or string into the bytes of one field and the field's
// bytes back into a value.  Numbers go through numtext (15 significant digits, rounded half away
// from zero at the item's decimals) and dates through dates; nothing here reads past `avail`
// or writes past `room`.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "vxs/form/dates.h"
#include "vxs/form/form.h"
#include "vxs/form/numtext.h"

namespace vxs {

namespace {

constexpr int kMaxDigitText = 420;  // 309 integer digits, up to 99 decimals, sign and point

double powerOfTen(int n) {
    double p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

// The digits of `value` rounded at `decimals` (the decimals last, no point), and its sign; a
// value that rounds to zero is not negative.
bool digitsOf(double value, int decimals, std::string& digits, bool& negative) {
    if (!std::isfinite(value)) return false;
    // Most values fit a short text; only a huge one (or many decimals) needs the longest.
    char text[kMaxDigitText];
    constexpr int kShort = 40;
    int n = formatFixedInto(value, kShort, decimals, '.', text, kMaxDigitText);
    if (n < 0) n = formatFixedInto(value, kMaxDigitText, decimals, '.', text, kMaxDigitText);
    if (n < 0) return false;
    digits.clear();
    negative = false;
    for (int i = 0; i < n; ++i) {
        if (text[i] >= '0' && text[i] <= '9') digits.push_back(text[i]);
        else if (text[i] == '-') negative = true;
    }
    return true;
}

// The significant digits of the integer part of `digits` (leading zeros removed).
size_t significantInteger(const std::string& digits, int decimals) {
    const size_t integer = digits.size() - static_cast<size_t>(decimals);
    size_t first = 0;
    while (first < integer && digits[first] == '0') ++first;
    return integer - first;
}

bool allZero(const std::string& digits) {
    return digits.find_first_not_of('0') == std::string::npos;
}

// Writes the n-byte two's complement of v, low byte first unless `highFirst`.
void putInteger(int64_t v, int n, bool highFirst, uint8_t* out) {
    const auto u = static_cast<uint64_t>(v);
    for (int i = 0; i < n; ++i) {
        const uint8_t b = static_cast<uint8_t>(u >> (8 * i));
        out[highFirst ? n - 1 - i : i] = b;
    }
}
int64_t getInteger(const uint8_t* in, int n, bool highFirst) {
    uint64_t u = 0;
    for (int i = 0; i < n; ++i) u |= uint64_t{in[highFirst ? n - 1 - i : i]} << (8 * i);
    const uint64_t sign = uint64_t{1} << (8 * n - 1);
    return static_cast<int64_t>((u ^ sign) - sign);  // sign-extends from the top bit
}

bool highFirst(uint8_t code, const FormSettings& s) {
    return code == kFormBH || code == kFormDH ||
           ((code == kFormB || code == kFormDT) && s.swapBytes);
}

std::string_view dateFormatOf(const FormSettings& s) {
    return s.dateFormat.empty() ? defaultDateFormat() : s.dateFormat;
}

// ---- numeric text ----

bool roundsToZero(double value, int decimals) {
    std::string digits;
    bool negative;
    return digitsOf(value, decimals, digits, negative) && allZero(digits);
}

// GF: the decimals the value needs (at most gfDecimals), or exponent form for more than 10
// integer digits or a value too small for those decimals.
bool freeFormat(double value, const FormSettings& s, std::string& text) {
    const double magnitude = std::fabs(value);
    const int e10 = magnitude == 0 ? 0 : static_cast<int>(std::floor(std::log10(magnitude)));
    if (magnitude != 0 && (e10 >= 10 || e10 <= -s.gfDecimals)) {
        char buf[40];
        snprintf(buf, sizeof buf, "%.14E", value);
        std::string_view t(buf);
        const size_t e = t.find('E');
        std::string mantissa(t.substr(0, e));
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
        std::replace(mantissa.begin(), mantissa.end(), '.', s.decimalChar);
        const int exponent = atoi(buf + e + 1);
        snprintf(buf, sizeof buf, "E%c%d", exponent < 0 ? '-' : '+', std::abs(exponent));
        text = mantissa + buf;
        return true;
    }
    const int decimals = std::min(decimalsNeeded(value), s.gfDecimals);
    if (!formatFixed(value, 40, decimals, s.decimalChar, text)) return false;
    text.erase(0, text.find_first_not_of(' '));
    return true;
}

int putText(const FormField& f, const FormSettings& s, double value, char* out) {
    const int len = f.length;
    if (!std::isfinite(value)) return kErrConversion;
    if ((f.code == kFormNZ || f.code == kFormGZ) && roundsToZero(value, f.decimals)) {
        std::fill(out, out + len, ' ');
        return 0;
    }
    int n = -1;
    if (f.code == kFormGF) {
        std::string text;
        if (freeFormat(value, s, text) && text.size() <= static_cast<size_t>(len)) {
            std::fill(out, out + len, ' ');
            memcpy(out + len - text.size(), text.data(), text.size());
            n = len;
        }
    } else {
        n = formatFixedInto(value, len, f.decimals, s.decimalChar, out, len);
    }
    if (n >= 0) return 0;
    if (!s.overflowFill) return kErrConversion;
    std::fill(out, out + len, s.overflowFill);
    out[0] = ' ';
    return 0;
}

int getText(const FormField& f, const FormSettings& s, std::string_view text, double& value) {
    if (text.find_first_not_of(' ') == std::string_view::npos) {
        value = 0;
        return f.code == kFormN ? kErrConversion : 0;
    }
    const int implied = s.impliedDecimals ? f.decimals : 0;
    return parseNumber(text, s.decimalChar, implied, value) ? 0 : kErrConversion;
}

// ---- packed and zoned decimal ----

int putDecimal(const FormField& f, double value, uint8_t* out) {
    const bool packed = f.code == kFormPD;
    const size_t places = packed ? 2 * static_cast<size_t>(f.length) - 1 : f.length;
    std::string digits;
    bool negative;
    if (!digitsOf(value, f.decimals, digits, negative)) return kErrConversion;
    const size_t first = digits.find_first_not_of('0');
    digits.erase(0, first == std::string::npos ? digits.size() : first);
    if (digits.size() > places) return kErrConversion;
    digits.insert(0, places - digits.size(), '0');
    if (packed) {
        digits.push_back(negative ? char('0' + 0x0D) : char('0' + 0x0F));
        for (int i = 0; i < f.length; ++i)
            out[i] = static_cast<uint8_t>((digits[2 * i] - '0') << 4 | (digits[2 * i + 1] - '0'));
        return 0;
    }
    memcpy(out, digits.data(), places);
    if (negative) {
        const int d = digits.back() - '0';
        out[places - 1] = static_cast<uint8_t>(d == 0 ? '}' : 'J' + d - 1);
    }
    return 0;
}

int getDecimal(const FormField& f, const uint8_t* in, double& value) {
    if (f.code == kFormPD && f.length <= 8 && f.decimals <= 22) {
        // Up to 15 digits: an exact integer over an exact power of ten.
        uint64_t m = 0;
        for (int i = 0; i + 1 < f.length; ++i) {
            const int hi = in[i] >> 4, lo = in[i] & 15;
            if (hi > 9 || lo > 9) return kErrConversion;
            m = m * 100 + static_cast<uint64_t>(hi * 10 + lo);
        }
        const int hi = in[f.length - 1] >> 4, sign = in[f.length - 1] & 15;
        if (hi > 9 || (sign != 0x0C && sign != 0x0D && sign != 0x0F)) return kErrConversion;
        m = m * 10 + static_cast<uint64_t>(hi);
        value = static_cast<double>(m) / powerOfTen(f.decimals);
        if (sign == 0x0D) value = -value;
        return 0;
    }
    std::string digits;
    bool negative = false;
    if (f.code == kFormPD) {
        for (int i = 0; i < f.length; ++i) {
            const int hi = in[i] >> 4, lo = in[i] & 15;
            if (hi > 9) return kErrConversion;
            digits.push_back(static_cast<char>('0' + hi));
            if (i + 1 < f.length) {
                if (lo > 9) return kErrConversion;
                digits.push_back(static_cast<char>('0' + lo));
            } else if (lo == 0x0D) {
                negative = true;
            } else if (lo != 0x0C && lo != 0x0F) {
                return kErrConversion;
            }
        }
    } else {
        int i = 0;
        for (; i < f.length && in[i] == ' '; ++i) digits.push_back('0');
        for (; i < f.length; ++i) {
            const char c = static_cast<char>(in[i]);
            if (c >= '0' && c <= '9') {
                digits.push_back(c);
            } else if (i + 1 < f.length) {
                return kErrConversion;
            } else if (c == '{' || (c >= 'A' && c <= 'I')) {
                digits.push_back(c == '{' ? '0' : static_cast<char>('1' + (c - 'A')));
            } else if (c == '}' || (c >= 'J' && c <= 'R')) {
                digits.push_back(c == '}' ? '0' : static_cast<char>('1' + (c - 'J')));
                negative = true;
            } else {
                return kErrConversion;
            }
        }
    }
    if (digits.size() <= 15 && f.decimals <= 22) {
        // An exact integer over an exact power of ten: the correctly rounded value at once.
        uint64_t m = 0;
        for (char c : digits) m = m * 10 + static_cast<uint64_t>(c - '0');
        value = static_cast<double>(m) / powerOfTen(f.decimals);
    } else if (!parseNumber(digits, '.', f.decimals, value)) {
        return kErrConversion;
    }
    if (negative) value = -value;
    return 0;
}

// ---- binary integers and dates ----

int putBinary(const FormField& f, const FormSettings& s, double value, uint8_t* out) {
    const double scaled = std::round(value * powerOfTen(f.decimals));  // half away from zero
    const double limit = std::ldexp(1.0, 8 * f.length - 1);
    if (!(scaled >= -limit && scaled < limit)) return kErrConversion;
    putInteger(static_cast<int64_t>(scaled), f.length, highFirst(f.code, s), out);
    return 0;
}

int putBinaryDate(const FormField& f, const FormSettings& s, double value, uint8_t* out) {
    int day = 0;
    if (value != 0) {
        const double whole = std::round(value);
        day = daysFromNumber(whole, dateFormatOf(s));
        if (day == 0) return kErrConversion;
    }
    putInteger(day, f.length, highFirst(f.code, s), out);
    return 0;
}

int getBinaryDate(const FormField& f, const FormSettings& s, const uint8_t* in, double& value) {
    const auto day = static_cast<int>(getInteger(in, f.length, highFirst(f.code, s)));
    value = 0;
    if (day == 0) return 0;
    return dateAsNumber(day, dateFormatOf(s), value) ? 0 : kErrConversion;
}

// ---- floating items ----

void putBytes(const uint8_t* bytes, int n, bool reversed, uint8_t* out) {
    for (int i = 0; i < n; ++i) out[i] = bytes[reversed ? n - 1 - i : i];
}

int putFloat(const FormField& f, const FormSettings& s, double value, uint8_t* out) {
    if (!std::isfinite(value)) return kErrConversion;
    uint8_t bytes[8];
    if (f.code == kFormS) {
        if (std::fabs(value) > FLT_MAX) return kErrConversion;
        const auto u = std::bit_cast<uint32_t>(static_cast<float>(value));
        putInteger(static_cast<int64_t>(u), 4, false, bytes);
        putBytes(bytes, 4, s.swapBytes, out);
        if (f.length == 5) out[4] = 0;
        return 0;
    }
    const auto u = std::bit_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(u >> (8 * i));
    putBytes(bytes, 8, s.swapBytes, out);
    if (f.code == kFormL) out[8] = 0;
    return 0;
}

int getFloat(const FormField& f, const FormSettings& s, const uint8_t* in, double& value) {
    uint8_t bytes[8];
    if (f.code == kFormS) {
        putBytes(in, 4, s.swapBytes, bytes);
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i) u |= uint32_t{bytes[i]} << (8 * i);
        value = std::bit_cast<float>(u);
    } else {
        putBytes(in, 8, s.swapBytes, bytes);
        uint64_t u = 0;
        for (int i = 0; i < 8; ++i) u |= uint64_t{bytes[i]} << (8 * i);
        value = std::bit_cast<double>(u);
    }
    return std::isfinite(value) ? 0 : kErrConversion;
}

// ---- DATE( ----

// The widest text of the format: September with each weekday.
int dateLength(std::string_view format) {
    int widest = 0;
    const int first = dayNumber(2000, 9, 24);
    for (int d = first; d < first + 7; ++d) widest = std::max(widest, formatDate(d, format, nullptr, 0));
    return widest;
}

int putDate(const FormField& f, double value, char* out) {
    std::fill(out, out + f.length, ' ');
    if (value == 0) return 0;
    if (!(std::fabs(value) < 1e7)) return kErrConversion;
    char text[256];
    const int n = formatDate(static_cast<int>(std::round(value)), f.text, text, sizeof text);
    if (n < 0 || n > f.length) return kErrConversion;
    memcpy(out, text, static_cast<size_t>(n));
    return 0;
}

int getDate(const FormField& f, std::string_view text, double& value) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    value = 0;
    if (text.empty()) return 0;
    value = daysFromText(text, f.text);
    return value == 0 ? kErrConversion : 0;
}

// ---- PIC( ----

bool isDigitPosition(char c) {
    return c == '#' || c == '$' || c == '(' || c == '*' || c == '+' || c == '-' || c == 'Z';
}
size_t signPosition(std::string_view pic) {
    const size_t n = pic.size();
    if (n >= 2 && (pic[n - 1] == '+' || pic[n - 1] == '-') && pic[n - 2] != pic[n - 1])
        return n - 1;
    return std::string_view::npos;
}

// A picture without an exponent field: digits right-aligned on the integer positions, leading
// positions show "0" for "#", "*" for "*" and blanks otherwise; "$", "+", "-" and "(" float
// to just before the first digit shown; literals among the leading positions take the fill.
int putPlainPicture(std::string_view pic, size_t sign, int decimals, const FormSettings& s,
                    double value, char* out) {
    const size_t n = pic.size();
    std::string digits;
    bool negative;
    if (!digitsOf(value, decimals, digits, negative)) return kErrConversion;
    int before = 0;
    bool allZ = true, point = false;
    for (size_t i = 0; i < n; ++i) {
        if (pic[i] == '.') point = true;
        else if (i != sign && isDigitPosition(pic[i])) {
            if (!point) ++before;
            if (pic[i] != 'Z') allZ = false;
        }
    }
    const size_t significant = significantInteger(digits, decimals);
    if (significant > static_cast<size_t>(before)) return kErrConversion;
    if (allZ && allZero(digits)) {
        std::fill(out, out + n, ' ');
        return 0;
    }
    const std::string integer = digits.substr(0, digits.size() - static_cast<size_t>(decimals));
    const std::string fraction = digits.substr(integer.size());
    // Integer positions from the right: the k-th takes digit k, leading ones their fill.
    int k = 0;
    size_t firstShown = n;
    char fill = ' ';
    size_t pointAt = pic.find('.');
    if (pointAt == std::string_view::npos) pointAt = n;
    for (size_t i = pointAt; i-- > 0;) {
        if (i == sign || !isDigitPosition(pic[i])) continue;
        if (k < static_cast<int>(significant)) {
            out[i] = integer[integer.size() - 1 - static_cast<size_t>(k)];
            firstShown = i;
        } else if (pic[i] == '#') {
            out[i] = '0';
            firstShown = i;
        } else {
            out[i] = pic[i] == '*' ? '*' : ' ';
            if (pic[i] == '*') fill = '*';
        }
        ++k;
    }
    size_t f = 0;
    for (size_t i = pointAt; i < n; ++i) {
        if (i == sign) continue;
        if (i == pointAt) out[i] = s.decimalChar;
        else if (isDigitPosition(pic[i])) out[i] = f < fraction.size() ? fraction[f++] : '0';
    }
    if (firstShown == n) firstShown = pointAt;
    for (size_t i = 0; i < n; ++i) {
        if (i == sign || i == pointAt || isDigitPosition(pic[i])) continue;
        out[i] = i < firstShown ? fill : pic[i];
    }
    // The floating symbol: the rightmost leading position that carries one.
    bool signShown = false;
    for (size_t i = firstShown; i-- > 0;) {
        const char c = pic[i];
        if (i == sign || (c != '$' && c != '+' && c != '-' && c != '(')) continue;
        if (c == '$') out[i] = s.currency;
        else if (c == '+') out[i] = negative ? '-' : '+';
        else if (c == '-') out[i] = negative ? '-' : ' ';
        else out[i] = negative ? '(' : ' ';
        signShown = c != '$';
        break;
    }
    if (sign != std::string_view::npos) {
        out[sign] = negative ? '-' : pic[sign] == '+' ? '+' : ' ';
        signShown = true;
    }
    if (negative && !signShown) return kErrConversion;
    return 0;
}

// A picture with an exponent field: the mantissa keeps `before` integer digits, the "^" run
// holds "E", the exponent's sign and its digits.
int putExponentPicture(const FormField& f, const FormSettings& s, double value, char* out) {
    if (!std::isfinite(value)) return kErrConversion;
    const std::string_view pic = f.text;
    const size_t run = pic.find('^');
    size_t carets = 0;
    while (run + carets < pic.size() && pic[run + carets] == '^') ++carets;
    std::string mantissaPic(pic.substr(0, run));
    mantissaPic.append(pic.substr(run + carets));
    // The sign position of the picture, now in the mantissa without the "^" run.
    size_t sign = signPosition(pic);
    if (sign != std::string_view::npos) sign -= carets;
    // A leading floating symbol takes a position of its own, not a mantissa digit.
    const char first = pic[0];
    const bool floating = first == '$' || first == '+' || first == '-' || first == '(';
    const int lead = std::max(1, f.picBefore - (floating ? 1 : 0));
    int e = 0;
    double m = 0;
    if (value != 0) {
        e = static_cast<int>(std::floor(std::log10(std::fabs(value)))) - (lead - 1);
        for (int tries = 0; tries < 2; ++tries) {
            m = value / std::pow(10.0, e);
            std::string digits;
            bool negative;
            if (!digitsOf(m, f.picAfter, digits, negative)) return kErrConversion;
            if (significantInteger(digits, f.picAfter) <= static_cast<size_t>(lead)) break;
            ++e;
        }
    }
    char exponent[16];
    const int width = static_cast<int>(carets) - 2;
    const int len = snprintf(exponent, sizeof exponent, "E%c%0*d", e < 0 ? '-' : '+', width,
                             std::abs(e));
    if (len != static_cast<int>(carets)) return kErrConversion;
    std::string mant(mantissaPic.size(), ' ');
    if (int err = putPlainPicture(mantissaPic, sign, f.picAfter, s, m, mant.data())) return err;
    memcpy(out, mant.data(), run);
    memcpy(out + run, exponent, carets);
    memcpy(out + run + carets, mant.data() + run, mant.size() - run);
    return 0;
}

int getPicture(const FormField& f, const FormSettings& s, std::string_view text, double& value) {
    const std::string_view pic = f.text;
    const size_t sign = signPosition(pic);
    std::string number;
    bool negative = false, mantissa = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char p = pic[i];
        if (p == '^') {
            if (c == 'E' || c == 'e' || c == '+' || c == '-' || (c >= '0' && c <= '9'))
                number.push_back(c == 'e' ? 'E' : c);
            else if (c != ' ')
                return kErrConversion;
        } else if (i == sign) {
            if (c == '-') negative = true;
            else if (c != '+' && c != ' ') return kErrConversion;
        } else if (c == p && !strchr("#Z*$+-(.", p)) {
            // the picture's own character, a digit among them
        } else if (c >= '0' && c <= '9') {
            // Digits stand in digit positions (and at the point, for a number typed without
            // one); where the picture has a character of its own, that character stands.
            if (!strchr("#Z*$+-(.", p)) return kErrConversion;
            number.push_back(c);
            mantissa = true;
        } else if (p == '.' && c == s.decimalChar) {
            number.push_back('.');
        } else if (c == '-' || c == '(') {
            negative = true;
        } else if (c != ' ' && c != '*' && c != s.currency && c != ')' && c != '+' && c != p) {
            return kErrConversion;
        }
    }
    // A field without digits (blank, or only the point and the sign of a zero) reads 0; so
    // does a zero written with an exponent field, whose mantissa shows no digit although the
    // exponent field shows its own.
    if (!mantissa) {
        value = 0;
        return 0;
    }
    const int implied = s.impliedDecimals ? f.decimals : 0;
    if (!parseNumber(number, '.', implied, value)) return kErrConversion;
    if (negative) value = -value;
    return 0;
}

}  // namespace

int formDateLength(std::string_view format) {
    return dateLength(format);
}

int formPutNumber(const FormField& f, const FormSettings& s, double value, uint8_t* dest,
                  size_t room, size_t& written) {
    written = 0;
    if (!formIsNumeric(f.code) || f.length <= 0) return kErrConversion;
    if (room < static_cast<size_t>(f.length)) return kErrConversion;
    char* text = reinterpret_cast<char*>(dest);
    int err = 0;
    switch (f.code) {
        case kFormPD:
        case kFormZD: err = putDecimal(f, value, dest); break;
        case kFormB:
        case kFormBL:
        case kFormBH: err = putBinary(f, s, value, dest); break;
        case kFormDT:
        case kFormDH:
        case kFormDL: err = putBinaryDate(f, s, value, dest); break;
        case kFormD:
        case kFormS:
        case kFormL: err = putFloat(f, s, value, dest); break;
        case kFormDate: err = putDate(f, value, text); break;
        case kFormPic:
            err = f.picExponent ? putExponentPicture(f, s, value, text)
                                : putPlainPicture(f.text, signPosition(f.text), f.decimals, s,
                                                  value, text);
            break;
        default: err = putText(f, s, value, text); break;
    }
    if (err) return err;
    written = static_cast<size_t>(f.length);
    return 0;
}

int formPutString(const FormField& f, const FormSettings&, std::string_view value, uint8_t* dest,
                  size_t room, size_t& written) {
    written = 0;
    if (!formIsCharacter(f.code)) return kErrConversion;
    const size_t len = f.length > 0 ? static_cast<size_t>(f.length) : value.size();
    if (value.size() > len) return kErrFieldOverflow;
    if (room < len) return kErrConversion;
    size_t at = 0;
    if (f.code == kFormCR) at = len - value.size();
    else if (f.code == kFormCC) at = (len - value.size()) / 2;
    std::fill(dest, dest + len, ' ');
    std::copy(value.begin(), value.end(), dest + at);
    written = len;
    return 0;
}

int formGetNumber(const FormField& f, const FormSettings& s, const uint8_t* src, size_t avail,
                  double& value, size_t& used) {
    used = 0;
    value = 0;
    if (!formIsNumeric(f.code) || f.length <= 0) return kErrConversion;
    if (avail < static_cast<size_t>(f.length)) return kErrConversion;
    const std::string_view text(reinterpret_cast<const char*>(src), static_cast<size_t>(f.length));
    int err = 0;
    switch (f.code) {
        case kFormPD:
        case kFormZD: err = getDecimal(f, src, value); break;
        case kFormB:
        case kFormBL:
        case kFormBH:
            value = static_cast<double>(getInteger(src, f.length, highFirst(f.code, s))) /
                    powerOfTen(f.decimals);
            break;
        case kFormDT:
        case kFormDH:
        case kFormDL: err = getBinaryDate(f, s, src, value); break;
        case kFormD:
        case kFormS:
        case kFormL: err = getFloat(f, s, src, value); break;
        case kFormDate: err = getDate(f, text, value); break;
        case kFormPic: err = getPicture(f, s, text, value); break;
        default: err = getText(f, s, text, value); break;
    }
    if (err) {
        value = 0;
        return err;
    }
    used = static_cast<size_t>(f.length);
    return 0;
}

int formGetStringView(const FormField& f, const uint8_t* src, size_t avail,
                      std::string_view& value, size_t& used) {
    used = 0;
    value = {};
    if (!formIsCharacter(f.code)) return kErrConversion;
    const size_t len = f.length > 0 ? static_cast<size_t>(f.length) : avail;
    if (avail < len) return kErrConversion;
    std::string_view text(reinterpret_cast<const char*>(src), len);
    if (f.code == kFormV || f.code == kFormCC)
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (f.code == kFormCR || f.code == kFormCC)
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    value = text;
    used = len;
    return 0;
}

int formGetString(const FormField& f, const FormSettings&, const uint8_t* src, size_t avail,
                  std::string& value, size_t& used) {
    std::string_view text;
    if (int err = formGetStringView(f, src, avail, text, used)) return err;
    value.assign(text);
    return 0;
}

}  // namespace vxs
