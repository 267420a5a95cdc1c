#pragma once
// Proleptic Gregorian calendar arithmetic on day numbers (days since
// 1970-01-01), exact for every 64-bit day (H. Hinnant's algorithms): used to
// normalise calendar fields and to turn instants into dates without the C
// library's time functions.

#include <cstdint>

// Local calendar fields of an instant. Month is 1..12, weekday 0 = Sunday.
struct CalendarFields {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int weekday = 4;
};

namespace civil {

constexpr int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// The day number of a date; month 1..12, day 1..31 (or beyond: it carries on).
constexpr int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = floorDiv(year, 400);
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Date {
    int64_t year = 1970;
    int month = 1;
    int day = 1;
};

// The date of a day number (the inverse of daysFromCivil).
constexpr Date civilFromDays(int64_t days) {
    const int64_t z = days + 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    Date d;
    d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    d.year = yoe + era * 400 + (d.month <= 2);
    return d;
}

// The days of month 1..12 of year.
constexpr int daysInMonth(int64_t year, int month) {
    const int64_t next = month == 12 ? daysFromCivil(year + 1, 1, 1) : daysFromCivil(year, month + 1, 1);
    return static_cast<int>(next - daysFromCivil(year, month, 1));
}

// 0 = Sunday; 1970-01-01 was a Thursday.
constexpr int weekdayOfDays(int64_t days) { return static_cast<int>(days + 4 - 7 * floorDiv(days + 4, 7)); }

constexpr int64_t kDayMillis = 86'400'000;

// The fields of a wall-clock reading given as milliseconds from 1970 on a
// clock without zone.
constexpr CalendarFields fieldsOfWallMillis(int64_t wall) {
    const int64_t days = floorDiv(wall, kDayMillis);
    int64_t rest = wall - days * kDayMillis;
    const Date date = civilFromDays(days);
    CalendarFields f;
    f.year = static_cast<int>(date.year);
    f.month = date.month;
    f.day = date.day;
    f.hour = static_cast<int>(rest / 3'600'000);
    rest %= 3'600'000;
    f.minute = static_cast<int>(rest / 60'000);
    rest %= 60'000;
    f.second = static_cast<int>(rest / 1000);
    f.millisecond = static_cast<int>(rest % 1000);
    f.weekday = weekdayOfDays(days);
    return f;
}

// The wall-clock reading of fields, out-of-range ones carried as a calendar
// does (day 32 of January is 1 February).
constexpr int64_t wallMillisOfFields(const CalendarFields& f) {
    const int64_t months = int64_t{f.year} * 12 + (f.month - 1);
    const int64_t y = floorDiv(months, 12);
    const int64_t days = daysFromCivil(y, months - y * 12 + 1, 1) + (int64_t{f.day} - 1);
    return days * kDayMillis + int64_t{f.hour} * 3'600'000 + int64_t{f.minute} * 60'000 +
           int64_t{f.second} * 1000 + f.millisecond;
}

static_assert(daysFromCivil(1970, 1, 1) == 0 && daysFromCivil(2000, 3, 1) == 11017);
static_assert(civilFromDays(11017).year == 2000 && civilFromDays(11017).month == 3 && civilFromDays(-1).day == 31);
static_assert(weekdayOfDays(0) == 4 && weekdayOfDays(-4) == 0 && weekdayOfDays(3) == 0);

}  // namespace civil
