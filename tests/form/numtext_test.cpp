// Numeric text conversion: fixed fields, the display form, and input.
#include "vxs/form/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace vxs {
namespace {

std::string fixed(double v, int length, int decimals, char point = '.') {
    std::string out;
    return formatFixed(v, length, decimals, point, out) ? out : "<no fit>";
}

TEST(NumText, FixedFieldsAreRightAlignedAndRounded) {
    EXPECT_EQ(fixed(12.5, 6, 2), " 12.50");
    EXPECT_EQ(fixed(-1, 6, 2), " -1.00");
    EXPECT_EQ(fixed(1234.5, 6, 2), "<no fit>") << "1234.50 needs 7 characters";
    EXPECT_EQ(fixed(0.5, 4, 0), "   1") << "half away from zero";
    EXPECT_EQ(fixed(2.5, 4, 0), "   3");
    EXPECT_EQ(fixed(-2.5, 4, 0), "  -3");
    EXPECT_EQ(fixed(0.125, 5, 2), " 0.13") << "an exact half rounds away from zero";
    EXPECT_EQ(fixed(0.004, 5, 2), " 0.00") << "rounds to zero: no minus sign either";
    EXPECT_EQ(fixed(-0.004, 5, 2), " 0.00");
    EXPECT_EQ(fixed(0.006, 5, 2), " 0.01");
    EXPECT_EQ(fixed(9.999, 5, 2), "10.00") << "a carry adds a digit";
    EXPECT_EQ(fixed(1.5, 6, 2, ','), "  1,50");
}

TEST(NumText, DigitsBeyondTheFifteenthAreZero) {
    EXPECT_EQ(fixed(1234567890123456789.0, 20, 0), " 1234567890123460000");
    EXPECT_EQ(fixed(0.1 + 0.2, 19, 17), "0.30000000000000000");
    EXPECT_EQ(fixed(0.1 + 0.2, 18, 17), "<no fit>");
}

TEST(NumText, DisplayUsesTheDecimalsTheValueNeeds) {
    EXPECT_EQ(displayNumber(0.1 + 0.2, 25, '.'), "0.3");
    EXPECT_EQ(displayNumber(2, 25, '.'), "2");
    EXPECT_EQ(displayNumber(1.5, 25, '.'), "1.5");
    EXPECT_EQ(displayNumber(-0.5, 25, '.'), "-0.5");
    EXPECT_EQ(displayNumber(-0.0, 25, '.'), "0");
    EXPECT_EQ(displayNumber(1e20, 25, '.'), "100000000000000000000");
    EXPECT_EQ(displayNumber(123.456, 25, ','), "123,456");
    EXPECT_EQ(displayNumber(1.5e25, 25, '.'), "1.5E+25") << "too long for the field";
    EXPECT_EQ(displayNumber(1e-30, 25, '.'), "1E-30");
    EXPECT_EQ(displayNumber(1.0 / 3, 25, '.'), "0.333333333333333");
    EXPECT_EQ(decimalsNeeded(1.25), 2);
    EXPECT_EQ(decimalsNeeded(100), 0);
}

TEST(NumText, InputAcceptsSignsDecimalsAndExponents) {
    double v = 0;
    EXPECT_TRUE(parseNumber(" -12.5 ", '.', 0, v));
    EXPECT_EQ(v, -12.5);
    EXPECT_TRUE(parseNumber("+3", '.', 0, v));
    EXPECT_EQ(v, 3);
    EXPECT_TRUE(parseNumber("1 000", '.', 0, v)) << "blanks are ignored";
    EXPECT_EQ(v, 1000);
    EXPECT_TRUE(parseNumber("2.5e3", '.', 0, v));
    EXPECT_EQ(v, 2500);
    EXPECT_TRUE(parseNumber("1E-3", '.', 0, v));
    EXPECT_EQ(v, 0.001);
    EXPECT_TRUE(parseNumber("1,5", ',', 0, v));
    EXPECT_EQ(v, 1.5);
    for (const char* bad : {"", "-", "1.2.3", "--1", "1-", "E5", "1E", "12A", "1,5", "1E308"})
        EXPECT_FALSE(parseNumber(bad, '.', 0, v)) << bad;
    EXPECT_TRUE(parseNumber("1E307", '.', 0, v));
    EXPECT_TRUE(parseNumber("1E-400", '.', 0, v));
    EXPECT_EQ(v, 0);
}

TEST(NumText, ImpliedDecimalsOnlyWithoutADecimalCharacter) {
    double v = 0;
    EXPECT_TRUE(parseNumber("1234", '.', 2, v));
    EXPECT_DOUBLE_EQ(v, 12.34);
    EXPECT_TRUE(parseNumber("12.3", '.', 2, v));
    EXPECT_DOUBLE_EQ(v, 12.3);
}

// x rounded to 15 significant digits, half away from zero, computed apart from the module: the
// exact digits from printf, then the rounding by hand.
double roundedTo15(double x) {
    char exact[80];
    snprintf(exact, sizeof exact, "%.40e", std::fabs(x));
    std::string digits;
    digits += exact[0];
    digits.append(exact + 2, 40);
    const int exponent = std::atoi(std::strchr(exact, 'e') + 1);
    std::string kept = digits.substr(0, 15);
    if (digits[15] >= '5') {
        int i = 14;
        while (i >= 0 && kept[static_cast<size_t>(i)] == '9') kept[static_cast<size_t>(i--)] = '0';
        if (i >= 0) {
            ++kept[static_cast<size_t>(i)];
        } else {
            kept.insert(kept.begin(), '1');
        }
        if (i < 0) return std::copysign(std::strtod(("1e" + std::to_string(exponent + 1)).c_str(), nullptr), x);
    }
    const std::string text = kept.substr(0, 1) + "." + kept.substr(1) + "e" + std::to_string(exponent);
    return std::copysign(std::strtod(text.c_str(), nullptr), x);
}

// Whatever the display form shows, reading it back gives the value at 15 significant digits.
TEST(NumText, DisplayThenInputKeepsFifteenDigits) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-40, 40);
    for (int i = 0; i < 100000; ++i) {
        const double x = mantissa(rng) * std::pow(10.0, exponent(rng));
        double back = 0;
        const std::string text = displayNumber(x, 30, '.');
        ASSERT_TRUE(parseNumber(text, '.', 0, back)) << text;
        EXPECT_EQ(back, roundedTo15(x)) << x << " shown as " << text;
    }
}

// Whole numbers take a shorter road through the conversions; the text must be the one the exact
// expansion gives: every digit, the sign, the exponent form when the field is too narrow, and
// the rounding of wider numbers (past 15 digits, past 2^53).
TEST(NumText, WholeNumbersShowTheirDigits) {
    EXPECT_EQ(displayNumber(0, 25, '.'), "0");
    EXPECT_EQ(displayNumber(7, 25, ','), "7");
    EXPECT_EQ(displayNumber(-42, 25, '.'), "-42");
    EXPECT_EQ(displayNumber(999999999999999, 25, '.'), "999999999999999");
    EXPECT_EQ(displayNumber(-999999999999999, 25, '.'), "-999999999999999");
    EXPECT_EQ(displayNumber(1e15, 25, '.'), "1000000000000000");
    EXPECT_EQ(displayNumber(9007199254740993.0, 25, '.'), "9007199254740990") << "15 digits kept";
    EXPECT_EQ(displayNumber(123456, 5, '.'), "1.23456E+5") << "too wide for the field";
    EXPECT_EQ(displayNumber(-12345, 5, '.'), "-1.2345E+4");
    EXPECT_EQ(displayNumber(12345, 5, '.'), "12345");
    EXPECT_EQ(fixed(100, 8, 2), "  100.00");
    EXPECT_EQ(fixed(-100, 4, 0), "-100");
    EXPECT_EQ(fixed(123456789012345678.0, 20, 0), "  123456789012346000");
    EXPECT_EQ(decimalsNeeded(1e15), 0);
    EXPECT_EQ(decimalsNeeded(-250), 0);
    // Every whole number from -3000 to 3000 and a spread of larger ones, against the expansion
    // that a value with a fraction takes (the same number less a hair, rounded back to whole).
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int64_t> wide(-999999999999999, 999999999999999);
    for (int i = 0; i < 20000; ++i) {
        const double x = i <= 6000 ? i - 3000 : static_cast<double>(wide(rng));
        char expected[32];
        snprintf(expected, sizeof expected, "%.0f", x);
        EXPECT_EQ(displayNumber(x, 25, '.'), std::string(expected) == "-0" ? "0" : expected) << x;
        EXPECT_EQ(fixed(x, 20, 1), fixed(std::nextafter(x, 0.0), 20, 1)) << x;
    }
}

}  // namespace
}  // namespace vxs
