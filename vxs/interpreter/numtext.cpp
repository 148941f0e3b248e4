// Numeric text conversion (see numtext.h).
//
// The digits come from the exact decimal expansion of the double (std::to_chars with ample
// precision); rounding is then done on those digits, half away from zero, so that a value that
// lies exactly half-way (2.5, 0.125) rounds the way a business user expects.
#include "vxs/interpreter/numtext.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vxs {

namespace {

constexpr int kSignificant = 15;

// The value's leading digits and decimal exponent: value = 0.d1d2d3... x 10^(exponent+1), i.e.
// d1 stands for 10^exponent.  Zero gives no digits.
struct Digits {
    std::string d;  // significant digits
    int exponent = 0;
    bool negative = false;
};

Digits exactDigits(double value) {
    Digits r;
    r.negative = std::signbit(value);
    value = std::fabs(value);
    if (value == 0 || !std::isfinite(value)) return r;
    char buf[96];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 60);
    const std::string_view s(buf, static_cast<size_t>(res.ptr - buf));
    const size_t e = s.find('e');
    r.d += s[0];
    r.d.append(s.substr(2, e - 2));
    r.exponent = std::atoi(std::string(s.substr(e + 1)).c_str());
    return r;
}

// Rounds to `keep` significant digits (half away from zero).  keep may be 0 or negative: the
// result is then zero, or one unit at the digit position just above when it rounds up.
void roundDigits(Digits& x, int keep) {
    if (x.d.empty()) return;
    if (keep >= static_cast<int>(x.d.size())) return;
    bool up;
    if (keep < 0) {
        x.d.clear();
        return;
    }
    up = x.d[static_cast<size_t>(keep)] >= '5';
    x.d.resize(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (x.d[static_cast<size_t>(i)] == '9') {
                x.d[static_cast<size_t>(i)] = '0';
            } else {
                ++x.d[static_cast<size_t>(i)];
                break;
            }
        }
        if (i < 0) {  // all nines: one more digit in front
            x.d.insert(x.d.begin(), '1');
            ++x.exponent;
            x.d.pop_back();
            if (keep == 0) x.d = "1";
        }
    }
    while (!x.d.empty() && x.d.back() == '0') x.d.pop_back();
    if (x.d.empty()) x.exponent = 0;
}

// The digits of a value rounded to `decimals` decimals and at most 15 significant digits.
Digits rounded(double value, int decimals) {
    Digits x = exactDigits(value);
    if (x.d.empty()) return x;
    const int keep = std::min(kSignificant, x.exponent + 1 + decimals);
    if (keep <= 0) {
        // Below the last decimal: it rounds to one unit there or to zero.
        const bool up = keep == 0 && x.d[0] >= '5';
        x.d = up ? "1" : "";
        x.exponent = up ? -decimals : 0;
        return x;
    }
    roundDigits(x, keep);
    return x;
}

// The digit standing for 10^position.
char digitAt(const Digits& x, int position) {
    const int index = x.exponent - position;
    if (index < 0 || index >= static_cast<int>(x.d.size())) return '0';
    return x.d[static_cast<size_t>(index)];
}

}  // namespace

int decimalsNeeded(double value) {
    Digits x = exactDigits(value);
    roundDigits(x, kSignificant);
    if (x.d.empty()) return 0;
    const int last = x.exponent - static_cast<int>(x.d.size()) + 1;  // position of the last digit
    return last < 0 ? -last : 0;
}

bool formatFixed(double value, int length, int decimals, char decimalChar, std::string& out) {
    const Digits x = rounded(value, decimals);
    std::string text;
    const bool zero = x.d.empty();
    if (!zero && x.negative) text += '-';
    if (zero || x.exponent < 0) {
        text += '0';
    } else {
        for (int p = x.exponent; p >= 0; --p) text += digitAt(x, p);
    }
    if (decimals > 0) {
        text += decimalChar;
        for (int p = -1; p >= -decimals; --p) text += zero ? '0' : digitAt(x, p);
    }
    if (static_cast<int>(text.size()) > length) return false;
    out.assign(static_cast<size_t>(length) - text.size(), ' ');
    out += text;
    return true;
}

std::string displayNumber(double value, int width, char decimalChar) {
    std::string out;
    if (!std::isfinite(value)) value = std::signbit(value) ? -1e307 : 1e307;
    const int decimals = decimalsNeeded(value);
    if (formatFixed(value, width, decimals, decimalChar, out)) {
        const size_t first = out.find_first_not_of(' ');
        return out.substr(first);
    }
    // Exponent form: the significant digits with one before the decimal character.
    Digits x = exactDigits(value);
    roundDigits(x, kSignificant);
    out.clear();
    if (x.negative) out += '-';
    out += x.d[0];
    if (x.d.size() > 1) {
        out += decimalChar;
        out.append(x.d.substr(1));
    }
    char exp[16];
    snprintf(exp, sizeof exp, "E%c%d", x.exponent < 0 ? '-' : '+', std::abs(x.exponent));
    return out + exp;
}

bool parseNumber(std::string_view text, char decimalChar, int impliedDecimals, double& value) {
    std::string s;  // the number without blanks, with '.' as the decimal point
    bool sign = false, point = false, exponent = false, digits = false, expDigits = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == ' ') continue;
        if (ch >= '0' && ch <= '9') {
            (exponent ? expDigits : digits) = true;
            s += ch;
        } else if ((ch == '+' || ch == '-') && !exponent) {
            if (sign || digits || point) return false;
            sign = true;
            s += ch;
        } else if ((ch == '+' || ch == '-') && exponent && (s.back() == 'E')) {
            s += ch;
        } else if (ch == decimalChar && !point && !exponent) {
            point = true;
            s += '.';
        } else if ((ch == 'E' || ch == 'e') && !exponent && digits) {
            exponent = true;
            s += 'E';
        } else {
            return false;
        }
    }
    if (!digits || (exponent && !expDigits)) return false;
    const char* b = s.data();
    if (*b == '+') ++b;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(b, s.data() + s.size(), v);
    if (ptr != s.data() + s.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        if (s.find("E-") == std::string::npos) return false;  // too large
        v = 0;                                                // too small: zero
    } else if (ec != std::errc()) {
        return false;
    }
    if (!point && impliedDecimals > 0) v /= std::pow(10.0, impliedDecimals);
    if (!std::isfinite(v) || std::fabs(v) >= 1e308) return false;
    value = v;
    return true;
}

}  // namespace vxs
