#include "chart/ChartMath.h"

#include "support/Indication_Tools.h"
#include "support/Utf8.h"

namespace chart {

double weekendFactor(int64_t first, int64_t last) {
    const double td = Indication_Tools::getTotalDay(first, last);
    const double wd = Indication_Tools::getWorkingDay(first, last);
    // A window of weekend days only has no working time to spread: keep the
    // plain time axis rather than divide by zero.
    if (!(wd > 0) || td == wd || !std::isfinite(td)) return 1.0;
    return td / wd;
}

std::string labelCharacter(const std::optional<std::string>& text, std::string_view fallback, int count, int i) {
    const std::string_view letters = text && utf8::length(*text) >= static_cast<size_t>(count) ? *text : fallback;
    return std::string(utf8::at(letters, static_cast<size_t>(i)));
}

int LocalWeekdays::weekday(int64_t t) {
    if (t >= dayStart_ && t < dayEnd_) return weekday_;
    Platform& p = Platform::current();
    const CalendarFields f = p.toLocal(t);
    weekday_ = f.weekday;
    CalendarFields midnight{f.year, f.month, f.day, 0, 0, 0, 0, f.weekday};
    dayStart_ = p.fromLocal(midnight);
    ++midnight.day;
    dayEnd_ = p.fromLocal(midnight);
    // A calendar that does not bracket t (odd time-zone rules) is not cached.
    if (!(t >= dayStart_ && t < dayEnd_)) dayStart_ = dayEnd_ = 0;
    return weekday_;
}

}  // namespace chart
