// Day numbers and date formats, checked against the C library's calendar for every day of the
// supported range, and the format rules of DATE$, DATE and DAYS.
#include "vxs/form/dates.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace vxs {
namespace {

std::string text(int day, std::string_view format) {
    char out[128];
    const int n = formatDate(day, format, out, sizeof out);
    return n < 0 ? "<invalid>" : std::string(out, static_cast<size_t>(n));
}

class Dates : public ::testing::Test {
  protected:
    void SetUp() override { resetDateSettings(); }
    void TearDown() override { resetDateSettings(); }
};

TEST_F(Dates, EveryDayAgreesWithTheCLibraryCalendar) {
    static_assert(sizeof(time_t) >= 8, "the calendar of 1700-2399 needs a 64-bit time_t");
    tm base{};
    base.tm_year = 0;  // 1900
    base.tm_mday = 1;
    const time_t day1 = timegm(&base);
    int checked = 0;
    for (int n = kFirstDayNumber; n <= kLastDayNumber; ++n, ++checked) {
        const time_t at = day1 + static_cast<time_t>(n - 1) * 86400;
        tm c{};
        ASSERT_NE(gmtime_r(&at, &c), nullptr);
        const int y = c.tm_year + 1900, m = c.tm_mon + 1, d = c.tm_mday;
        ASSERT_EQ(dayNumber(y, m, d), n) << y << "-" << m << "-" << d;
        CalendarDate back;
        ASSERT_TRUE(calendarDate(n, back)) << n;
        ASSERT_TRUE(back.year == y && back.month == m && back.day == d) << n;
        ASSERT_EQ(weekday(n), c.tm_wday) << n;
        char expected[64];
        strftime(expected, sizeof expected, "%Y-%m-%d %a %b %A %B", &c);
        ASSERT_EQ(text(n, "CY-M-D D3 M3 DAY MONTH"), expected);
        double number;
        ASSERT_TRUE(dateAsNumber(n, "CYMD", number));
        ASSERT_EQ(number, y * 10000.0 + m * 100 + d);
        ASSERT_EQ(daysFromNumber(number, "CYMD"), n);
        ASSERT_EQ(daysFromText(expected, "CY-M-D D3 M3 DAY MONTH"), n) << expected;
        if (m == 2 && d == 28) {
            // The day after is 29 February exactly in a leap year.
            tm next{};
            const time_t after = at + 86400;
            gmtime_r(&after, &next);
            ASSERT_EQ(isLeapYear(y), next.tm_mday == 29) << y;
        }
    }
    EXPECT_EQ(checked, 255669);
    CalendarDate out;
    EXPECT_FALSE(calendarDate(kFirstDayNumber - 1, out));
    EXPECT_FALSE(calendarDate(kLastDayNumber + 1, out));
}

TEST_F(Dates, InvalidDatesAreZero) {
    EXPECT_EQ(dayNumber(1900, 1, 1), 1);
    EXPECT_EQ(dayNumber(2000, 1, 1), 36525);
    EXPECT_EQ(dayNumber(1900, 2, 29), 0);
    EXPECT_NE(dayNumber(2000, 2, 29), 0);
    EXPECT_EQ(dayNumber(2023, 13, 1), 0);
    EXPECT_EQ(dayNumber(2023, 4, 31), 0);
    EXPECT_EQ(dayNumber(2023, 1, 0), 0);
    EXPECT_EQ(dayNumber(1699, 12, 31), 0);
    EXPECT_EQ(dayNumber(2400, 1, 1), 0);
    EXPECT_EQ(text(kLastDayNumber + 1, "CYMD"), "<invalid>");
}

TEST_F(Dates, OutputFormats) {
    EXPECT_EQ(text(1, "DAY, MONTH D, CY"), "Monday, January 01, 1900");
    EXPECT_EQ(text(1, defaultDateFormat()), "00/01/01");
    EXPECT_EQ(text(45290, "d3 m3 d cy"), "Sun Dec 31 2023") << "elements ignore case";
    EXPECT_EQ(text(45290, "[M-D] x"), "[12-31] x") << "other characters are copied";
    double v;
    ASSERT_TRUE(dateAsNumber(45290, "M3 D, CY", v));
    EXPECT_EQ(v, 312023) << "only the digit elements make the number";
}

TEST_F(Dates, StarSetsTheDefaultFormat) {
    std::string_view use;
    ASSERT_EQ(chooseDateFormat(false, "", use), 0);
    EXPECT_EQ(use, "Y/M/D");
    ASSERT_EQ(chooseDateFormat(true, "*M-D-CY", use), 0);
    EXPECT_EQ(use, "M-D-CY");
    ASSERT_EQ(chooseDateFormat(false, "", use), 0);
    EXPECT_EQ(use, "M-D-CY") << "the new default stays";
    EXPECT_EQ(chooseDateFormat(true, "*CCYYMMD", use), kErrDateFormat);
    ASSERT_EQ(chooseDateFormat(true, "*", use), 0);
    EXPECT_EQ(use, "M-D-CY") << "a lone star keeps the default";
    ASSERT_EQ(chooseDateFormat(true, "D.M.Y", use), 0);
    EXPECT_EQ(use, "D.M.Y");
}

TEST_F(Dates, NumbersAreReadInPairsFromTheRight) {
    EXPECT_EQ(daysFromNumber(20231231, "YMD"), 45290) << "C goes in before Y";
    EXPECT_EQ(daysFromNumber(231231, "Y/M/D"), dayNumber(1923, 12, 31)) << "BASEYEAR 1900";
    EXPECT_EQ(daysFromNumber(12312023, "M/D/Y"), 45290) << "read again as M/D/CY";
    EXPECT_EQ(daysFromNumber(12312023, "M/D/CY"), 45290);
    EXPECT_EQ(daysFromNumber(1231202300, "CYMD"), 0) << "digits left over";
    EXPECT_EQ(daysFromNumber(100000000, "CYMD"), 0);
    EXPECT_EQ(daysFromNumber(20231231.5, "CYMD"), 0);
    EXPECT_EQ(daysFromNumber(-20231231, "CYMD"), 0);
    EXPECT_EQ(daysFromNumber(2312, "YM"), dayNumber(1923, 12, 1)) << "no day: the first";
    EXPECT_EQ(daysFromNumber(1231, "MD"), 0) << "no year";
    EXPECT_EQ(daysFromNumber(16991231, "CYMD"), 0) << "century outside 17-23";
}

TEST_F(Dates, TextIsReadByTheFormat) {
    EXPECT_EQ(daysFromText("2023/12/31", "Y/M/D"), 45290) << "four digits hold the century";
    EXPECT_EQ(daysFromText("23-12-31", "Y/M/D"), dayNumber(1923, 12, 31)) << "any separator";
    EXPECT_EQ(daysFromText("1/5/2023", "M/D/Y"), dayNumber(2023, 1, 5));
    EXPECT_EQ(daysFromText(" Sunday, December 31, 2023 ", "DAY, MONTH D, CY"), 45290);
    EXPECT_EQ(daysFromText("dec 31 2023", "M3 D CY"), 45290);
    EXPECT_EQ(daysFromText("20231231", "Y/M/D"), 45290) << "digits only: read as a number";
    EXPECT_EQ(daysFromText("Dex 31 2023", "M3 D CY"), 0);
    EXPECT_EQ(daysFromText("123/4/5", "M/D/Y"), 0) << "three digits for a month";
    EXPECT_EQ(daysFromText("2023/12/31 x", "Y/M/D"), 0) << "text left over";
    EXPECT_EQ(daysFromText("2023/02/29", "Y/M/D"), 0);
    EXPECT_EQ(daysFromText("", "Y/M/D"), 0);
}

TEST_F(Dates, BaseYearPlacesTwoDigitYears) {
    EXPECT_EQ(fullYear(49), 1949);
    ASSERT_TRUE(setBaseYear(1950));
    EXPECT_EQ(baseCentury(), 19);
    EXPECT_EQ(baseYearPivot(), 50);
    EXPECT_EQ(fullYear(49), 2049);
    EXPECT_EQ(fullYear(50), 1950);
    EXPECT_EQ(daysFromNumber(491231, "YMD"), dayNumber(2049, 12, 31));
    EXPECT_FALSE(setBaseYear(2400));
    EXPECT_FALSE(setBaseYear(1899));
    EXPECT_EQ(baseYearPivot(), 50) << "a refused year keeps the setting";
}

}  // namespace
}  // namespace vxs
