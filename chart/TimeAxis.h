#pragma once
// Time-axis labels at calendar steps: the steps a label format allows (every
// minute up to every ten years), the instants of a step across a window in
// local time, and the label texts a format writes. The format's fields are
// its own (%d %m %b %Y %y %H %M %a %%), never the caption macros.

#include "support/Platform.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chart {

enum class StepUnit { minute, hour, day, week, month, year };

struct CalendarStep {
    StepUnit unit = StepUnit::day;
    int count = 1;
    // Its length, roughly (months of 30 days, years of 365), for counting.
    int64_t approxMillis() const;
};

// The names the formats write for months (12, January first) and weekdays
// (7, Sunday first).
struct CalendarNames {
    std::vector<std::string> months;
    std::vector<std::string> weekdays;
};
const CalendarNames& defaultCalendarNames();

// "auto": each step writes what a reader needs of it.
inline constexpr std::string_view kAutoFormat = "auto";

// The steps a format may be labelled at, finest first: from the finest field
// it writes (a format of days only is never labelled by hours); for "auto",
// the steps financial charts use.
std::vector<CalendarStep> labelSteps(std::string_view format);

// The format a step is written with under "auto": the label at a larger
// unit's start names that unit (the year at January; on an axis of hours
// over several days, a day's first label its date, newDay).
std::string autoFormat(const CalendarStep& step, const CalendarFields& at, bool newDay = false);

// The instants in [first, last] where step starts, in local time: whole
// minutes, hours, midnights, Mondays, month and year starts whose count from
// the calendar's origin divides by the step's count. At most limit of them;
// more gives an empty list.
std::vector<int64_t> stepInstants(Platform& p, int64_t first, int64_t last, const CalendarStep& step, size_t limit);

// The label of local time f written by format.
std::string formatTime(std::string_view format, const CalendarFields& f, const CalendarNames& names);

// A format's fields that are not ours ("%q"), for a report; empty when all are.
std::string unknownFields(std::string_view format);

}  // namespace chart
