// Day numbers, date formats and the base year (see dates.h).
#include "vxs/form/dates.h"

#include <cmath>
#include <cstring>

#include "vxs/config/config.h"
#include "vxs/platform/os.h"

namespace vxs {

namespace {

// The day number of the day before the first day of each century, 1700 to 2400.
constexpr int kCenturyBase[] = {-73048, -36524, 0, 36524, 73049, 109573, 146097, 182621};
constexpr int kFirstCentury = 17, kLastCentury = 23;
// Days before each month in a leap year.
constexpr int kDaysBefore[] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
constexpr int kMonthLength[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

DateSettings g_dates;

bool centuryIsLeap(int century) {
    return century % 4 == 0;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether the format continues at i with `word` (upper case), ignoring case.
bool startsWith(std::string_view s, size_t i, std::string_view word) {
    if (s.size() - i < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (upper(s[i + k]) != word[k]) return false;
    return true;
}

enum Element {
    kLiteral,
    kCentury,
    kYear,
    kMonth,
    kMonthAbbrev,
    kMonthName,
    kDay,
    kDayAbbrev,
    kDayName
};

// The element at position i of a format and its length in the format.
Element elementAt(std::string_view format, size_t i, size_t& length) {
    struct Word {
        const char* text;
        Element element;
    };
    // Longer words first, so that MONTH is not read as M and DAY not as D.
    static constexpr Word kWords[] = {
        {"MONTH", kMonthName}, {"M3", kMonthAbbrev}, {"DAY", kDayName}, {"D3", kDayAbbrev},
        {"M", kMonth},         {"D", kDay},          {"C", kCentury},   {"Y", kYear}};
    for (const Word& w : kWords) {
        if (startsWith(format, i, w.text)) {
            length = strlen(w.text);
            return w.element;
        }
    }
    length = 1;
    return kLiteral;
}

// Index (0-11 or 0-6) of the name in `names` whose first three letters `word` begins with and
// of which it is a prefix; -1 when none.
int matchName(std::string_view word, const char* const* names, int count) {
    if (word.size() < 3) return -1;
    for (int i = 0; i < count; ++i) {
        const std::string_view name = names[i];
        if (word.size() > name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < word.size() && same; ++k) same = upper(word[k]) == upper(name[k]);
        if (same) return i;
    }
    return -1;
}

// The date read from the parts of a date; 0 when they make no valid date.  -1 marks a part the
// format did not have: a missing day or month is 1, a missing year makes the date invalid.
int fromParts(int century, int year, int month, int day) {
    if (year < 0) return 0;
    const int full = century >= 0 ? century * 100 + year : fullYear(year);
    return dayNumber(full, month < 0 ? 1 : month, day < 0 ? 1 : day);
}

}  // namespace

bool isLeapYear(int year) {
    const int yy = year % 100;
    return yy != 0 ? yy % 4 == 0 : centuryIsLeap(year / 100);
}

int dayNumber(int year, int month, int day) {
    const int century = year / 100, yy = year % 100;
    if (year < 0 || century < kFirstCentury || century > kLastCentury) return 0;
    if (month < 1 || month > 12) return 0;
    const bool leap = isLeapYear(year);
    const int length = month == 2 && !leap ? 28 : kMonthLength[month - 1];
    if (day < 1 || day > length) return 0;
    int n = kCenturyBase[century - kFirstCentury] + kDaysBefore[month - 1] + day + 365 * yy;
    if (yy > 0) n += (yy - 1) / 4 + (centuryIsLeap(century) ? 1 : 0);
    if (month > 2 && !leap) n -= 1;
    return n;
}

bool calendarDate(int n, CalendarDate& out) {
    if (n < kFirstDayNumber || n > kLastDayNumber) return false;
    int c = kLastCentury - kFirstCentury;
    while (kCenturyBase[c] >= n) --c;
    const int century = kFirstCentury + c;
    // 365 days a year overestimates the year by at most one within a century.
    int yy = (n - kCenturyBase[c] - 1) / 365;
    if (yy > 99) yy = 99;
    while (dayNumber(century * 100 + yy, 1, 1) > n) --yy;
    const int year = century * 100 + yy;
    int month = 12;
    while (dayNumber(year, month, 1) > n) --month;
    out = {year, month, n - dayNumber(year, month, 1) + 1};
    return true;
}

int weekday(int n) {
    return ((n % 7) + 7) % 7;
}

int dayNumberAt(double clockSeconds) {
    const platform::LocalTime t =
        platform::localTimeAt(static_cast<int64_t>(std::floor(clockSeconds)));
    return dayNumber(t.year, t.month, t.day);
}

int chooseDateFormat(bool hasFormat, std::string_view given, std::string_view& use) {
    if (hasFormat && !given.empty() && given[0] == '*') {
        const std::string_view rest = given.substr(1);
        if (rest.size() > static_cast<size_t>(kMaxDefaultFormat)) return kErrDateFormat;
        if (!rest.empty()) {
            memcpy(g_dates.defaultFormat, rest.data(), rest.size());
            g_dates.defaultLength = static_cast<int>(rest.size());
        }
        hasFormat = false;
    }
    use = hasFormat ? given : defaultDateFormat();
    return 0;
}

std::string_view defaultDateFormat() {
    return {g_dates.defaultFormat, static_cast<size_t>(g_dates.defaultLength)};
}

int formatDate(int day, std::string_view format, char* out, int capacity) {
    CalendarDate d;
    if (!calendarDate(day, d)) return -1;
    int length = 0;
    auto put = [&](const char* text, size_t n) {
        if (out && length + static_cast<int>(n) <= capacity) memcpy(out + length, text, n);
        length += static_cast<int>(n);
    };
    auto twoDigits = [&](int v) {
        const char text[2] = {static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
        put(text, 2);
    };
    for (size_t i = 0; i < format.size();) {
        size_t n;
        const Element e = elementAt(format, i, n);
        switch (e) {
            case kCentury: twoDigits(d.year / 100); break;
            case kYear: twoDigits(d.year % 100); break;
            case kMonth: twoDigits(d.month); break;
            case kDay: twoDigits(d.day); break;
            case kMonthAbbrev: put(kMonthNames[d.month - 1], 3); break;
            case kMonthName: put(kMonthNames[d.month - 1], strlen(kMonthNames[d.month - 1])); break;
            case kDayAbbrev: put(kDayNames[weekday(day)], 3); break;
            case kDayName: put(kDayNames[weekday(day)], strlen(kDayNames[weekday(day)])); break;
            case kLiteral: put(&format[i], 1); break;
        }
        i += n;
    }
    return length;
}

bool dateAsNumber(int day, std::string_view format, double& out) {
    CalendarDate d;
    if (!calendarDate(day, d)) return false;
    double v = 0;
    for (size_t i = 0; i < format.size();) {
        size_t n;
        switch (elementAt(format, i, n)) {
            case kCentury: v = v * 100 + d.year / 100; break;
            case kYear: v = v * 100 + d.year % 100; break;
            case kMonth: v = v * 100 + d.month; break;
            case kDay: v = v * 100 + d.day; break;
            default: break;
        }
        i += n;
    }
    out = v;
    return true;
}

int daysFromNumber(double value, std::string_view format) {
    if (!(value >= 0) || value > 99999999.0) return 0;
    const double whole = std::floor(value + 0.5);
    if (std::fabs(value - whole) > 5e-07) return 0;  // a date has no fraction
    const int64_t number = static_cast<int64_t>(whole);
    // The digit elements of the format, left to right (a month name stands for the month).
    Element order[9];
    int count = 0;
    bool hasC = false, hasY = false;
    for (size_t i = 0; i < format.size();) {
        size_t n;
        Element e = elementAt(format, i, n);
        i += n;
        if (e == kMonthAbbrev || e == kMonthName) e = kMonth;
        if (e != kCentury && e != kYear && e != kMonth && e != kDay) continue;
        if (count == 8) return 0;  // more pairs than an eight-digit number has
        hasC |= e == kCentury;
        hasY |= e == kYear;
        order[count++] = e;
    }
    for (int pass = 0; pass < 2; ++pass) {
        int part[4] = {-1, -1, -1, -1};  // century, year, month, day
        int64_t rest = number;
        for (int k = count - 1; k >= 0; --k) {
            const int pair = static_cast<int>(rest % 100);
            rest /= 100;
            part[order[k] == kCentury ? 0
                 : order[k] == kYear  ? 1
                 : order[k] == kMonth ? 2
                                      : 3] = pair;
        }
        if (rest == 0) return fromParts(part[0], part[1], part[2], part[3]);
        if (pass == 1 || !hasY || hasC || count == 8) return 0;
        // Digits remain: the format's year takes its century in front of it.
        int y = 0;
        while (order[y] != kYear) ++y;
        for (int k = count; k > y; --k) order[k] = order[k - 1];
        order[y] = kCentury;
        ++count;
    }
    return 0;
}

int daysFromText(std::string_view text, std::string_view format) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return 0;
    bool digitsOnly = true;
    for (char c : text) digitsOnly = digitsOnly && isDigit(c);
    if (digitsOnly) {
        if (text.size() > 8) return 0;
        double v = 0;
        for (char c : text) v = v * 10 + (c - '0');
        return daysFromNumber(v, format);
    }
    bool formatHasC = false;
    for (size_t i = 0; i < format.size();) {
        size_t n;
        formatHasC |= elementAt(format, i, n) == kCentury;
        i += n;
    }
    int century = -1, year = -1, month = -1, day = -1;
    size_t p = 0;
    auto skipBlanks = [&] {
        while (p < text.size() && text[p] == ' ') ++p;
    };
    for (size_t i = 0; i < format.size();) {
        size_t n;
        const Element e = elementAt(format, i, n);
        i += n;
        switch (e) {
            case kCentury:
            case kYear:
            case kMonth:
            case kDay: {
                skipBlanks();
                size_t run = 0;
                while (p + run < text.size() && isDigit(text[p + run])) ++run;
                if (run == 0) return 0;
                if (e == kYear && !formatHasC && run == 4) {
                    century = (text[p] - '0') * 10 + (text[p + 1] - '0');
                    p += 2;
                }
                const size_t take = run >= 2 ? 2 : 1;
                int v = 0;
                for (size_t k = 0; k < take; ++k) v = v * 10 + (text[p + k] - '0');
                p += take;
                // Further digits belong to the next element only when it is a digit element
                // (CY, YMD written without separators).
                if (p < text.size() && isDigit(text[p])) {
                    size_t m;
                    const Element next = i < format.size() ? elementAt(format, i, m) : kLiteral;
                    if (next != kCentury && next != kYear && next != kMonth && next != kDay)
                        return 0;
                }
                (e == kCentury ? century : e == kYear ? year : e == kMonth ? month : day) = v;
                break;
            }
            case kMonthAbbrev:
            case kMonthName:
            case kDayAbbrev:
            case kDayName: {
                skipBlanks();
                const size_t start = p;
                while (p < text.size() && isLetter(text[p])) ++p;
                const std::string_view word = text.substr(start, p - start);
                if (e == kMonthAbbrev || e == kMonthName) {
                    const int m = matchName(word, kMonthNames, 12);
                    if (m < 0) return 0;
                    month = m + 1;
                } else if (matchName(word, kDayNames, 7) < 0) {
                    return 0;
                }
                break;
            }
            case kLiteral: {
                const char f = format[i - 1];
                if (f == ' ') {
                    skipBlanks();
                } else if (p < text.size() && (upper(text[p]) == upper(f) ||
                                               (!isDigit(text[p]) && !isLetter(text[p])))) {
                    ++p;  // the character itself, or another separator in its place
                }
                break;
            }
        }
    }
    skipBlanks();
    if (p != text.size()) return 0;
    return fromParts(century, year, month, day);
}

bool setBaseYear(int yyyy) {
    if (yyyy < 0 || yyyy / 100 < 19 || yyyy / 100 > 23) return false;
    g_dates.baseCentury = yyyy / 100;
    g_dates.pivot = yyyy % 100;
    return true;
}
int baseCentury() {
    return g_dates.baseCentury;
}
int baseYearPivot() {
    return g_dates.pivot;
}

int fullYear(int twoDigitYear) {
    const int century = twoDigitYear < g_dates.pivot ? g_dates.baseCentury + 1 : g_dates.baseCentury;
    return century * 100 + twoDigitYear;
}

void applyDateSettings() {
    (void)setBaseYear(configLimits().baseYear);
}

void resetDateSettings() { g_dates = DateSettings{}; }

}  // namespace vxs
