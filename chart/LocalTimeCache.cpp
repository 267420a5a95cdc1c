#include "chart/LocalTimeCache.h"

#include "support/Platform.h"

namespace {

constexpr int64_t kDaySeconds = 86400;
constexpr int64_t kDayMillis = kDaySeconds * 1000;

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

int64_t LocalTimeCache::daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t LocalTimeCache::midnight(int64_t dayNumber) {
    for (const Entry& e : midnights_) {
        if (e.day == dayNumber) return e.millis;
    }
    // Civil date of the day number (inverse of daysFromCivil).
    const int64_t z = dayNumber + 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CalendarFields f;
    f.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    f.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    f.year = static_cast<int>(yoe + era * 400 + (f.month <= 2));
    f.hour = f.minute = f.second = f.millisecond = 0;
    const int64_t millis = Platform::current().fromLocal(f);
    midnights_[next_] = Entry{dayNumber, millis};
    next_ = (next_ + 1) % midnights_.size();
    return millis;
}

int64_t LocalTimeCache::toMillis(int year, int month, int day, int hour, int minute, int second) {
    // Wall-clock seconds since 1970-01-01 00:00 local, with every carry done.
    const int64_t months = static_cast<int64_t>(month) - 1;
    const int64_t y = year + floorDiv(months, 12);
    const int m = static_cast<int>(months - floorDiv(months, 12) * 12) + 1;
    const int64_t wall = (daysFromCivil(y, m, 1) + day - 1) * kDaySeconds + int64_t{hour} * 3600 +
                         int64_t{minute} * 60 + second;
    const int64_t dayNumber = floorDiv(wall, kDaySeconds);

    if (dayNumber != day_) {
        day_ = dayNumber;
        const int64_t previous = midnight(dayNumber - 1);
        base_ = midnight(dayNumber);
        const int64_t following = midnight(dayNumber + 1);
        regular_ = base_ - previous == kDayMillis && following - base_ == kDayMillis;
    }
    if (regular_) return base_ + (wall - dayNumber * kDaySeconds) * 1000;

    CalendarFields f;
    f.year = year;
    f.month = month;
    f.day = day;
    f.hour = hour;
    f.minute = minute;
    f.second = second;
    f.millisecond = 0;
    return Platform::current().fromLocal(f);
}
