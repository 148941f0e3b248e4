// Numeric text conversion (see numtext.h).
//
// The digits come from the exact decimal expansion of the double (std::to_chars with ample
// precision); rounding is then done on those digits, half away from zero, so that a value that
// lies exactly half-way (2.5, 0.125) rounds the way a business user expects.  Everything works
// in fixed buffers on the stack: STR$, VAL and PRINT convert numbers on every call.
#include "vxs/form/numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vxs {

namespace {

constexpr int kSignificant = 15;
constexpr int kExactDigits = 61;  // digits kept of the exact expansion

// The value's leading digits and decimal exponent: d[0] stands for 10^exponent.  Zero has no
// digits.
struct Digits {
    char d[kExactDigits + 2];
    int n = 0;  // digits in d
    int exponent = 0;
    bool negative = false;
};

// Writes the decimal digits of `u` (at least one) to `out`; returns how many.
int wholeDigits(uint64_t u, char* out) {
    char rev[20];
    int n = 0;
    do {
        rev[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    for (int i = 0; i < n; ++i) out[i] = rev[n - 1 - i];
    return n;
}

Digits exactDigits(double value) {
    Digits r;
    r.negative = std::signbit(value);
    value = std::fabs(value);
    if (value == 0 || !std::isfinite(value)) return r;
    if (value < 9007199254740992.0 && value == static_cast<double>(static_cast<uint64_t>(value))) {
        // A whole number below 2^53: its exact expansion is its decimal digits.
        r.n = wholeDigits(static_cast<uint64_t>(value), r.d);
        r.exponent = r.n - 1;
        return r;
    }
    char buf[96];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                   kExactDigits - 1);
    const char* begin = buf;
    const char* end = res.ptr;
    const char* e = std::find(begin, end, 'e');
    r.d[r.n++] = buf[0];
    for (const char* p = buf + 2; p < e && r.n < kExactDigits; ++p) r.d[r.n++] = *p;
    int exponent = 0;
    (void)std::from_chars(e + 1 + (e[1] == '+'), end, exponent);
    r.exponent = exponent;
    return r;
}

void dropTrailingZeros(Digits& x) {
    while (x.n > 0 && x.d[x.n - 1] == '0') --x.n;
    if (x.n == 0) x.exponent = 0;
}

// Rounds to `keep` significant digits (half away from zero); keep below 0 gives zero.
void roundDigits(Digits& x, int keep) {
    if (x.n == 0 || keep >= x.n) return;
    if (keep < 0) {
        x.n = 0;
        x.exponent = 0;
        return;
    }
    const bool up = x.d[keep] >= '5';
    x.n = keep;
    if (up) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (x.d[i] == '9') {
                x.d[i] = '0';
            } else {
                ++x.d[i];
                break;
            }
        }
        if (i < 0) {  // all nines (or nothing kept): one unit at the digit position above
            x.d[0] = '1';
            x.n = 1;
            ++x.exponent;
        }
    }
    dropTrailingZeros(x);
}

// The digits of a value rounded to `decimals` decimals and at most 15 significant digits.
Digits rounded(double value, int decimals) {
    Digits x = exactDigits(value);
    if (x.n == 0) return x;
    const int keep = std::min(kSignificant, x.exponent + 1 + decimals);
    if (keep <= 0) {
        // Below the last decimal: it rounds to one unit there or to zero.
        const bool up = keep == 0 && x.d[0] >= '5';
        x.n = up ? 1 : 0;
        x.d[0] = '1';
        x.exponent = up ? -decimals : 0;
        return x;
    }
    roundDigits(x, keep);
    return x;
}

// The digit standing for 10^position.
char digitAt(const Digits& x, int position) {
    const int index = x.exponent - position;
    if (index < 0 || index >= x.n) return '0';
    return x.d[index];
}

}  // namespace

int decimalsNeeded(double value) {
    Digits x = exactDigits(value);
    roundDigits(x, kSignificant);
    dropTrailingZeros(x);
    if (x.n == 0) return 0;
    const int last = x.exponent - x.n + 1;  // position of the last digit
    return last < 0 ? -last : 0;
}

int formatFixedInto(double value, int length, int decimals, char decimalChar, char* out,
                    int capacity) {
    if (length < 0 || length > capacity || decimals < 0) return -1;
    const Digits x = rounded(value, decimals);
    const bool zero = x.n == 0;
    // The text's width: sign, integer digits (at least one), point and decimals.
    const int integerDigits = zero || x.exponent < 0 ? 1 : x.exponent + 1;
    const int64_t width = (!zero && x.negative ? 1 : 0) + int64_t{integerDigits} +
                          (decimals > 0 ? 1 + int64_t{decimals} : 0);
    if (width > length) return -1;
    char* p = out;
    const int pad = length - static_cast<int>(width);
    memset(p, ' ', static_cast<size_t>(pad));
    p += pad;
    if (!zero && x.negative) *p++ = '-';
    if (zero || x.exponent < 0) {
        *p++ = '0';
    } else {
        for (int q = x.exponent; q >= 0; --q) *p++ = digitAt(x, q);
    }
    if (decimals > 0) {
        *p++ = decimalChar;
        for (int q = -1; q >= -decimals; --q) *p++ = zero ? '0' : digitAt(x, q);
    }
    return length;
}

bool formatFixed(double value, int length, int decimals, char decimalChar, std::string& out) {
    if (length < 0) return false;
    out.resize(static_cast<size_t>(length));
    const int n = formatFixedInto(value, length, decimals, decimalChar, out.data(), length);
    if (n < 0) {
        out.clear();
        return false;
    }
    return true;
}

int displayNumberInto(double value, int width, char decimalChar, char* out, int capacity) {
    if (!std::isfinite(value)) value = std::signbit(value) ? -1e307 : 1e307;
    if (std::fabs(value) < 1e15 && value == static_cast<double>(static_cast<int64_t>(value))) {
        // A whole number of at most 15 digits is its digits (and a minus sign unless it is 0).
        const int64_t v = static_cast<int64_t>(value);
        char text[20];
        int len = 0;
        if (v < 0) text[len++] = '-';
        len += wholeDigits(static_cast<uint64_t>(v < 0 ? -v : v), text + len);
        if (len <= std::min(width, capacity)) {
            memcpy(out, text, static_cast<size_t>(len));
            return len;
        }
    }
    const int decimals = decimalsNeeded(value);
    const int field = std::min(width, capacity);
    const int n = formatFixedInto(value, field, decimals, decimalChar, out, capacity);
    if (n >= 0) {
        int first = 0;
        while (first < n && out[first] == ' ') ++first;
        memmove(out, out + first, static_cast<size_t>(n - first));
        return n - first;
    }
    // Exponent form: the significant digits with one before the decimal character.
    Digits x = exactDigits(value);
    roundDigits(x, kSignificant);
    dropTrailingZeros(x);
    char text[48];
    int len = 0;
    if (x.negative) text[len++] = '-';
    text[len++] = x.d[0];
    if (x.n > 1) {
        text[len++] = decimalChar;
        memcpy(text + len, x.d + 1, static_cast<size_t>(x.n - 1));
        len += x.n - 1;
    }
    len += snprintf(text + len, sizeof text - static_cast<size_t>(len), "E%c%d",
                    x.exponent < 0 ? '-' : '+', std::abs(x.exponent));
    len = std::min(len, capacity);
    memcpy(out, text, static_cast<size_t>(len));
    return len;
}

std::string displayNumber(double value, int width, char decimalChar) {
    char buf[kDisplayCapacity];
    const int n = displayNumberInto(value, std::min(width, kDisplayCapacity), decimalChar, buf,
                                    kDisplayCapacity);
    return std::string(buf, static_cast<size_t>(n));
}

namespace {

// Plain decimal text (blanks around it, a sign, at most 15 significant digits with a decimal
// character once, no exponent) is converted directly: the digits are an exact integer and the
// power of ten is exact, so one division gives the correctly rounded value that the general
// conversion gives too.  False when the text is not of that form.
bool parsePlainNumber(std::string_view text, char decimalChar, int impliedDecimals,
                      double& value) {
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    uint64_t mantissa = 0;
    int significant = 0, fraction = 0;
    bool point = false, digits = false;
    for (; i < n; ++i) {
        const char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            if (mantissa || ch != '0') ++significant;
            if (significant > 15) return false;
            mantissa = mantissa * 10 + static_cast<uint64_t>(ch - '0');
            digits = true;
            if (point) ++fraction;
        } else if (ch == decimalChar && !point) {
            point = true;
        } else {
            break;
        }
    }
    while (i < n && text[i] == ' ') ++i;
    if (i != n || !digits) return false;
    const int scale = point ? fraction : (impliedDecimals > 0 ? impliedDecimals : 0);
    if (scale > 22) return false;
    const double v = static_cast<double>(mantissa) / kPowers[scale];
    value = negative ? -v : v;
    return true;
}

}  // namespace

bool parseNumber(std::string_view text, char decimalChar, int impliedDecimals, double& value) {
    if (parsePlainNumber(text, decimalChar, impliedDecimals, value)) return true;
    // The number without blanks, with '.' as the decimal point.  Ordinary numbers fit the buffer
    // on the stack; only a text of hundreds of digits needs the heap.
    char local[256];
    std::string spill;
    char* s = local;
    size_t cap = sizeof local, len = 0;
    auto put = [&](char ch) {
        if (len == cap) {
            spill.assign(s, len);
            spill.resize(cap * 2);
            s = spill.data();
            cap = spill.size();
        }
        s[len++] = ch;
    };
    bool sign = false, point = false, exponent = false, digits = false, expDigits = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == ' ') continue;
        if (ch >= '0' && ch <= '9') {
            (exponent ? expDigits : digits) = true;
            put(ch);
        } else if ((ch == '+' || ch == '-') && !exponent) {
            if (sign || digits || point) return false;
            sign = true;
            put(ch);
        } else if ((ch == '+' || ch == '-') && exponent && s[len - 1] == 'E') {
            put(ch);
        } else if (ch == decimalChar && !point && !exponent) {
            point = true;
            put('.');
        } else if ((ch == 'E' || ch == 'e') && !exponent && digits) {
            exponent = true;
            put('E');
        } else {
            return false;
        }
    }
    if (!digits || (exponent && !expDigits)) return false;
    const char* b = s;
    const char* end = s + len;
    if (*b == '+') ++b;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(b, end, v);
    if (ptr != end) return false;
    if (ec == std::errc::result_out_of_range) {
        if (std::string_view(s, len).find("E-") == std::string_view::npos)
            return false;  // too large
        v = 0;             // too small: zero
    } else if (ec != std::errc()) {
        return false;
    }
    if (!point && impliedDecimals > 0) v /= std::pow(10.0, impliedDecimals);
    if (!std::isfinite(v) || std::fabs(v) >= 1e308) return false;
    value = v;
    return true;
}

}  // namespace vxs
