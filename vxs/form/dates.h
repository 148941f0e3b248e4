// Calendar dates as day numbers (1 is 1 January 1900) for the years 1700 to 2399, the date
// formats that DATE, DATE$, DAYS and the DATE( form item read and write, the process's default
// format, and the BASEYEAR setting that places two-digit years in a century.
#pragma once

#include <cstdint>
#include <string_view>

#include "vxs/errors/errors.h"

namespace vxs {

inline constexpr int kFirstDayNumber = -73047;  // 1 January 1700
inline constexpr int kLastDayNumber = 182621;   // 31 December 2399
inline constexpr int kMaxDefaultFormat = 6;

// The date settings of the session: the default date format (DATE$ and DATE without a format)
// and the base year that places two-digit years.  resetDateSettings() brings back these values.
struct DateSettings {
    char defaultFormat[kMaxDefaultFormat + 1] = "Y/M/D";
    int defaultLength = 5;
    int baseCentury = 19;
    int pivot = 0;
};

struct CalendarDate {
    int year, month, day;  // month 1-12, day 1-31
};

// A year is a leap year when its two-digit year is divisible by 4; the year 00 of a century
// when the century number is.  Within 1700-2399 this is the Gregorian rule.
bool isLeapYear(int year);
// The day number of a date; 0 for an invalid one (month outside 1-12, a day the month does not
// have, a year outside 1700-2399).  Note that 0 is also 31 December 1899.
int dayNumber(int year, int month, int day);
// The date of a day number; false outside 1 January 1700 .. 31 December 2399.
bool calendarDate(int dayNumber, CalendarDate& out);
// 0 Sunday .. 6 Saturday; day 1 was a Monday.
int weekday(int dayNumber);
// The local date at `clockSeconds` (seconds since 1970, as the system's clock gives them).
int dayNumberAt(double clockSeconds);

// ---- formats ----
// Elements, matched without regard to case: C century, Y year in the century, M month, D day
// (two digits each), M3 and MONTH the month's abbreviation and name, D3 and DAY the weekday's;
// any other character stands for itself.
//
// The format a call uses: its own (`given`, when `hasFormat`), else the default.  A format that
// begins with "*" becomes the new default (at most 6 characters after the "*", else 411; a
// lone "*" uses the default as it is) and serves the call.  Returns 0 or 411.
[[nodiscard]] int chooseDateFormat(bool hasFormat, std::string_view given, std::string_view& use);
std::string_view defaultDateFormat();

// Writes the date of `day` in `format` into out (when it is not null and the text fits
// `capacity`).  Returns the text's length, or -1 when the day lies outside 1700-2399.
int formatDate(int day, std::string_view format, char* out, int capacity);
// The date as a number of its digit elements (C, Y, M, D; two digits each, left to right);
// false when the day lies outside 1700-2399.
bool dateAsNumber(int day, std::string_view format, double& out);
// The day number of a date written as a number: its digits taken in pairs from the right, one
// pair per digit element of the format read from the right.  When digits remain and the format
// has Y but no C, the pairs are read again with C before Y (20231231 in YMD reads as CYMD).
// 0 for invalid dates, negative or fractional numbers and numbers above 99999999.
int daysFromNumber(double value, std::string_view format);
// The day number of a date written as text in the format: digit elements read one or two
// digits (Y without C in the format also takes four, the century with it), M3 and MONTH a month
// name or its abbreviation, D3 and DAY a weekday's; other format characters match themselves
// or one separator.  A text of digits only is read as a number.  0 for invalid dates.
int daysFromText(std::string_view text, std::string_view format);

// ---- BASEYEAR ----
// A two-digit year below the pivot belongs to the century after the base century.  Default
// 1900: century 19, pivot 0.  False (the setting kept) when yyyy / 100 is outside 19-23.
[[nodiscard]] bool setBaseYear(int yyyy);
// The settings listener of the dates (config.h): BASEYEAR from the configuration.
void applyDateSettings();
int baseCentury();
int baseYearPivot();
// The full year of a two-digit year under the setting.
int fullYear(int twoDigitYear);

// The start-up state: default format "Y/M/D", BASEYEAR 1900.
void resetDateSettings();

}  // namespace vxs
