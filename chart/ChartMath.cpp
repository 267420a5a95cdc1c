#include "chart/ChartMath.h"

#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"
#include "support/Utf8.h"

#include <charconv>
#include <cmath>

namespace chart {

std::string labelCharacter(const std::optional<std::string>& text, std::string_view fallback, int count, int i) {
    const std::string_view letters = text && utf8::length(*text) >= static_cast<size_t>(count) ? *text : fallback;
    return std::string(utf8::at(letters, static_cast<size_t>(i)));
}

std::string valueLabel(double v) {
    if (!(std::fabs(v) > 1e15)) return std::to_string(truncToInt64(v));
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, 1);
    // "1.2e+19" -> "1.2e19", "1.0e+30" -> "1e30": what a legend has room for.
    std::string out(text, r.ptr);
    const size_t e = out.find('e');
    if (e == std::string::npos) return out;  // inf
    std::string mantissa = out.substr(0, e);
    if (mantissa.size() >= 2 && mantissa.compare(mantissa.size() - 2, 2, ".0") == 0) mantissa.resize(mantissa.size() - 2);
    std::string exponent = out.substr(e + 1);
    const bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) exponent.erase(0, 1);
    while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
    return mantissa + "e" + (negative ? "-" : "") + exponent;
}

namespace {

// Offset of local time from UTC at t, in milliseconds, from its calendar fields.
int64_t localOffset(Platform& p, int64_t t, CalendarFields* fields = nullptr) {
    const CalendarFields f = p.toLocal(t);
    if (fields) *fields = f;
    const int64_t days = civil::daysFromCivil(f.year, f.month, f.day);
    const int64_t local = ((days * 24 + f.hour) * 60 + f.minute) * 60000 + int64_t{f.second} * 1000 + f.millisecond;
    return local - t;
}

}  // namespace

namespace {

int64_t nextBoundary(Platform& p, int64_t first, int mode) {
    CalendarFields f = p.toLocal(first);
    f.second = 0;
    f.millisecond = 0;
    switch (mode) {
        case Indication_Data::MODEGRAPH_MONTH:
            f.month += 1;
            f.day = 1;
            f.hour = 0;
            f.minute = 0;
            break;
        case Indication_Data::MODEGRAPH_DAY:
            f.day += 1;
            f.hour = 0;
            f.minute = 0;
            break;
        case Indication_Data::MODEGRAPH_HOUR:
            f.hour += 1;
            f.minute = 0;
            break;
        default:
            f.minute += 1;
            break;
    }
    return p.fromLocal(f);
}

double weekendFactor(int64_t first, int64_t last) {
    const double td = Indication_Tools::getTotalDay(first, last);
    const double wd = Indication_Tools::getWorkingDay(first, last);
    // A window of weekend days only has no working time to spread: keep the
    // plain time axis rather than divide by zero.
    if (!(wd > 0) || td == wd || !std::isfinite(td)) return 1.0;
    return td / wd;
}

struct CalendarMemo {
    bool valid = false;
    int64_t first = 0, last = 0, firstOffset = 0, lastOffset = 0;
    int mode = 0;
    bool compressed = false;
    WindowCalendar result;
};

}  // namespace

WindowCalendar windowCalendar(int64_t first, int64_t last, int mode, bool compressed) {
    thread_local CalendarMemo memo;
    Platform& p = Platform::current();
    const int64_t firstOffset = localOffset(p, first);
    const int64_t lastOffset = localOffset(p, last);
    if (memo.valid && memo.first == first && memo.last == last && memo.mode == mode &&
        memo.compressed == compressed && memo.firstOffset == firstOffset && memo.lastOffset == lastOffset)
        return memo.result;
    WindowCalendar r;
    r.boundary = nextBoundary(p, first, mode);
    if (compressed) r.factor = weekendFactor(first, last);
    memo = {true, first, last, firstOffset, lastOffset, mode, compressed, r};
    return r;
}

int64_t axisStart(const Indication_Data& m, const DisplayedWindow& win) {
    const int64_t first = m.vecGraph_Date[win.first];
    if (!weekendsCompressed(m)) return first;
    Platform& p = Platform::current();
    CalendarFields f = p.toLocal(first);
    if (f.weekday != 0 && f.weekday != 6) return first;
    f.day += f.weekday == 6 ? 2 : 1;
    f.hour = f.minute = f.second = f.millisecond = 0;
    const int64_t monday = p.fromLocal(f);
    // A window of weekend records only keeps its own start.
    return monday < m.vecGraph_Date[win.last] ? monday : first;
}

int LocalWeekdays::weekday(int64_t t) {
    if (t >= dayStart_ && t < dayEnd_) return weekday_;
    // Asking the calendar for midnights is slow (it may reload the zone);
    // reading fields is not. The day around t is [t - elapsed, + 24 h) as long
    // as the offset from UTC is the same at both ends as at t, which holds
    // on every day without a clock change; other days are not cached.
    Platform& p = Platform::current();
    CalendarFields f;
    const int64_t offset = localOffset(p, t, &f);
    weekday_ = f.weekday;
    const int64_t elapsed = ((int64_t{f.hour} * 60 + f.minute) * 60 + f.second) * 1000 + f.millisecond;
    dayStart_ = t - elapsed;
    dayEnd_ = dayStart_ + Indication_Data::TIME_DAYTOMILLISECOND;
    if (localOffset(p, dayStart_) != offset || localOffset(p, dayEnd_ - 1) != offset) dayStart_ = dayEnd_ = 0;
    return weekday_;
}

}  // namespace chart
