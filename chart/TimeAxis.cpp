#include "chart/TimeAxis.h"

#include "support/CivilCalendar.h"

#include <algorithm>

namespace chart {

namespace {

constexpr int64_t kMinute = 60000;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;

// The finest unit a format writes; none (a format of literal text) labels by years.
StepUnit finestUnit(std::string_view format) {
    StepUnit finest = StepUnit::year;
    auto finer = [&finest](StepUnit u) {
        if (static_cast<int>(u) < static_cast<int>(finest)) finest = u;
    };
    for (size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%') continue;
        switch (format[++i]) {
            case 'M': finer(StepUnit::minute); break;
            case 'H': finer(StepUnit::hour); break;
            case 'd':
            case 'a': finer(StepUnit::day); break;
            case 'b':
            case 'm': finer(StepUnit::month); break;
            default: break;
        }
    }
    return finest;
}

std::string twoDigits(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

CalendarFields dayStart(const CalendarFields& f) {
    CalendarFields d;
    d.year = f.year;
    d.month = f.month;
    d.day = f.day;
    return d;
}

}  // namespace

int64_t CalendarStep::approxMillis() const {
    switch (unit) {
        case StepUnit::minute: return count * kMinute;
        case StepUnit::hour: return count * kHour;
        case StepUnit::day: return count * kDay;
        case StepUnit::week: return count * 7 * kDay;
        case StepUnit::month: return count * 30 * kDay;
        default: return count * 365 * kDay;
    }
}

const CalendarNames& defaultCalendarNames() {
    static const CalendarNames names{
        {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
        {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}};
    return names;
}

std::vector<CalendarStep> labelSteps(std::string_view format) {
    // Six- and twelve-hour steps are left out: a chart too wide in time for
    // three-hour labels reads better by days.
    static const std::vector<CalendarStep> all = {
        {StepUnit::minute, 1}, {StepUnit::minute, 2}, {StepUnit::minute, 5},  {StepUnit::minute, 10},
        {StepUnit::minute, 15}, {StepUnit::minute, 30}, {StepUnit::hour, 1},  {StepUnit::hour, 2},
        {StepUnit::hour, 3},   {StepUnit::day, 1},     {StepUnit::day, 2},    {StepUnit::week, 1},
        {StepUnit::month, 1},  {StepUnit::month, 2},   {StepUnit::month, 3},  {StepUnit::month, 6},
        {StepUnit::year, 1},   {StepUnit::year, 2},    {StepUnit::year, 5},   {StepUnit::year, 10}};
    if (format == kAutoFormat) return all;
    const StepUnit finest = finestUnit(format);
    std::vector<CalendarStep> steps;
    for (const CalendarStep& s : all) {
        // A week step writes a day; a day format may thin out to weeks.
        const StepUnit unit = s.unit == StepUnit::week ? StepUnit::day : s.unit;
        if (static_cast<int>(unit) >= static_cast<int>(finest)) steps.push_back(s);
    }
    return steps;
}

std::string autoFormat(const CalendarStep& step, const CalendarFields& at, bool newDay) {
    switch (step.unit) {
        case StepUnit::minute:
        case StepUnit::hour: return newDay ? "%d %b" : "%H:%M";
        case StepUnit::day:
        case StepUnit::week: return "%d %b";
        case StepUnit::month: return at.month == 1 ? "%Y" : "%b";
        default: return "%Y";
    }
}

std::vector<int64_t> stepInstants(Platform& p, int64_t first, int64_t last, const CalendarStep& step, size_t limit) {
    std::vector<int64_t> out;
    if (last < first || step.count < 1) return out;
    const CalendarFields f = p.toLocal(first);
    auto add = [&](int64_t t) {
        if (t < first || t > last) return true;
        if (out.size() >= limit) return false;
        if (out.empty() || t > out.back()) out.push_back(t);
        return true;
    };
    const int n = step.count;
    if (step.unit == StepUnit::minute || step.unit == StepUnit::hour) {
        // Aligned in local time, then stepped by elapsed time: a clock change
        // moves local time by whole hours, which keeps the alignment.
        CalendarFields a = f;
        a.second = 0;
        a.millisecond = 0;
        int64_t unit = kMinute;
        if (step.unit == StepUnit::minute) {
            a.minute -= a.minute % n;
        } else {
            a.minute = 0;
            a.hour -= a.hour % n;
            unit = kHour;
        }
        for (int64_t t = p.fromLocal(a); t <= last; t += n * unit)
            if (!add(t)) return {};
        return out;
    }
    CalendarFields a = dayStart(f);
    switch (step.unit) {
        case StepUnit::day: {
            const int64_t days = civil::daysFromCivil(a.year, a.month, a.day);
            a.day -= static_cast<int>(days - civil::floorDiv(days, n) * n);
            break;
        }
        case StepUnit::week:
            // Weeks start on Monday.
            a.day -= (f.weekday + 6) % 7;
            break;
        case StepUnit::month:
            a.day = 1;
            a.month -= (a.month - 1) % n;
            break;
        default:
            a.day = 1;
            a.month = 1;
            a.year -= ((a.year % n) + n) % n;
            break;
    }
    for (int k = 0;; ++k) {
        CalendarFields next = a;
        switch (step.unit) {
            case StepUnit::day: next.day += k * n; break;
            case StepUnit::week: next.day += 7 * k * n; break;
            case StepUnit::month: next.month += k * n; break;
            default: next.year += k * n; break;
        }
        const int64_t t = p.fromLocal(next);
        if (t > last) break;
        if (!add(t)) return {};
    }
    return out;
}

std::string formatTime(std::string_view format, const CalendarFields& f, const CalendarNames& names) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        const char c = format[++i];
        switch (c) {
            case 'd': out += std::to_string(f.day); break;
            case 'm': out += twoDigits(f.month); break;
            case 'b': out += names.months[static_cast<size_t>(std::clamp(f.month, 1, 12) - 1)]; break;
            case 'Y': out += std::to_string(f.year); break;
            case 'y': out += twoDigits(((f.year % 100) + 100) % 100); break;
            case 'H': out += twoDigits(f.hour); break;
            case 'M': out += twoDigits(f.minute); break;
            case 'a': out += names.weekdays[static_cast<size_t>(std::clamp(f.weekday, 0, 6))]; break;
            case '%': out += '%'; break;
            default:
                out += '%';
                out += c;
                break;
        }
    }
    return out;
}

std::string unknownFields(std::string_view format) {
    std::string unknown;
    for (size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%') continue;
        const char c = format[++i];
        if (std::string_view("dmbYyHMa%").find(c) == std::string_view::npos) {
            if (!unknown.empty()) unknown += ' ';
            unknown += '%';
            unknown += c;
        }
    }
    return unknown;
}

}  // namespace chart
