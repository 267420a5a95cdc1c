#include "chart/ChartMath.h"

#include "support/Indication_Tools.h"

namespace chart {

double weekendFactor(int64_t first, int64_t last) {
    const double td = Indication_Tools::getTotalDay(first, last);
    const double wd = Indication_Tools::getWorkingDay(first, last);
    // A window of weekend days only has no working time to spread: keep the
    // plain time axis rather than divide by zero.
    if (!(wd > 0) || td == wd || !std::isfinite(td)) return 1.0;
    return td / wd;
}

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

int countCharacters(std::string_view s) {
    int n = 0;
    for (unsigned char c : s)
        if (!isContinuation(c)) ++n;
    return n;
}

std::string characterAt(std::string_view s, int index) {
    int n = -1;
    for (size_t i = 0; i < s.size(); ++i) {
        if (isContinuation(static_cast<unsigned char>(s[i]))) continue;
        if (++n == index) {
            size_t end = i + 1;
            while (end < s.size() && isContinuation(static_cast<unsigned char>(s[end]))) ++end;
            return std::string(s.substr(i, end - i));
        }
    }
    return {};
}

}  // namespace

std::string labelCharacter(const std::optional<std::string>& text, std::string_view fallback, int count, int i) {
    if (text && countCharacters(*text) >= count) return characterAt(*text, i);
    return characterAt(fallback, i);
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
