#include "chart/LocalTimeCache.h"

#include "support/CivilCalendar.h"
#include "support/Platform.h"

#include <climits>

namespace {

constexpr int64_t kDaySeconds = 86400;
constexpr int64_t kDayMillis = kDaySeconds * 1000;

}  // namespace

int64_t LocalTimeCache::midnight(int64_t dayNumber) {
    for (const Entry& e : midnights_) {
        if (e.day == dayNumber) return e.millis;
    }
    const civil::Date date = civil::civilFromDays(dayNumber);
    CalendarFields f;
    f.year = static_cast<int>(date.year);
    f.month = date.month;
    f.day = date.day;
    f.hour = f.minute = f.second = f.millisecond = 0;
    const int64_t millis = Platform::current().fromLocal(f);
    midnights_[next_] = Entry{dayNumber, millis};
    next_ = (next_ + 1) % midnights_.size();
    return millis;
}

int64_t LocalTimeCache::toMillis(int year, int month, int day, int hour, int minute, int second) {
    const bool withinDay = hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
    // Records come in order, many to a day: the date of the last one needs no
    // calendar arithmetic again.
    if (withinDay && regular_ && year == year_ && month == month_ && day == dayOfMonth_) {
        return base_ + (int64_t{hour} * 3600 + int64_t{minute} * 60 + second) * 1000;
    }
    // Wall-clock seconds since 1970-01-01 00:00 local, with every carry done.
    const int64_t months = static_cast<int64_t>(month) - 1;
    const int64_t y = year + civil::floorDiv(months, 12);
    const int m = static_cast<int>(months - civil::floorDiv(months, 12) * 12) + 1;
    const int64_t wall = (civil::daysFromCivil(y, m, 1) + day - 1) * kDaySeconds + int64_t{hour} * 3600 +
                         int64_t{minute} * 60 + second;
    const int64_t dayNumber = civil::floorDiv(wall, kDaySeconds);

    if (dayNumber != day_) {
        day_ = dayNumber;
        const int64_t previous = midnight(dayNumber - 1);
        base_ = midnight(dayNumber);
        const int64_t following = midnight(dayNumber + 1);
        regular_ = base_ - previous == kDayMillis && following - base_ == kDayMillis;
    }
    // Fields within their day fall on the date they name, which is day_.
    year_ = withinDay ? year : INT_MIN;
    month_ = month;
    dayOfMonth_ = day;
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
