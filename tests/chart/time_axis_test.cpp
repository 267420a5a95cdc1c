// Time-axis labels: calendar steps across a window in local time, the label
// formats, and the X labels of a chart thinned until they stand apart.

#include "chart/TimeAxis.h"
#include "tests/common/ChartTestModel.h"

#include <gtest/gtest.h>

using namespace charttest;
using chart::CalendarStep;
using chart::StepUnit;

namespace {

std::vector<std::string> texts(const std::vector<int64_t>& instants, const char* format) {
    std::vector<std::string> out;
    for (int64_t t : instants)
        out.push_back(chart::formatTime(format, Platform::current().toLocal(t), chart::defaultCalendarNames()));
    return out;
}

TEST(TimeAxis, StepsStartOnTheCalendarsOwnBoundaries) {
    Platform& p = Platform::current();
    struct Case {
        CalendarStep step;
        int64_t first, last;
        const char* format;
        std::vector<std::string> expected;
    } cases[] = {
        {{StepUnit::minute, 15}, at(2025, 12, 5, 9, 7), at(2025, 12, 5, 10, 0), "%H:%M", {"09:15", "09:30", "09:45", "10:00"}},
        {{StepUnit::hour, 3}, at(2025, 12, 5, 7), at(2025, 12, 5, 17, 30), "%H:%M", {"09:00", "12:00", "15:00"}},
        // Weeks start on Monday: 1 Dec 2025 was one.
        {{StepUnit::week, 1}, at(2025, 11, 26), at(2025, 12, 9), "%a %d", {"Mon 1", "Mon 8"}},
        {{StepUnit::month, 1}, at(2025, 10, 15), at(2026, 1, 20), "%b %Y", {"Nov 2025", "Dec 2025", "Jan 2026"}},
        {{StepUnit::month, 3}, at(2025, 2, 1), at(2025, 12, 31), "%m/%y", {"04/25", "07/25", "10/25"}},
        {{StepUnit::year, 5}, at(2001, 1, 1), at(2016, 1, 1), "%Y", {"2005", "2010", "2015"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(texts(chart::stepInstants(p, c.first, c.last, c.step, 100), c.format), c.expected) << c.format;
    // Two-day steps keep their days whatever the window's first day.
    EXPECT_EQ(chart::stepInstants(p, at(2025, 12, 2), at(2025, 12, 6), {StepUnit::day, 2}, 100),
              chart::stepInstants(p, at(2025, 12, 1, 12), at(2025, 12, 6), {StepUnit::day, 2}, 100));
    // More instants than asked for: none, rather than a partial axis.
    EXPECT_TRUE(chart::stepInstants(p, at(2025, 1, 1), at(2025, 12, 31), {StepUnit::day, 1}, 30).empty());
}

TEST(TimeAxis, FormatsWriteTheirOwnFieldsOnly) {
    const CalendarFields f = Platform::current().toLocal(at(2025, 3, 7, 9, 5));
    const chart::CalendarNames fr{{"janv", "févr", "mars", "avr", "mai", "juin", "juil", "août", "sept", "oct", "nov", "déc"},
                                  {"dim", "lun", "mar", "mer", "jeu", "ven", "sam"}};
    EXPECT_EQ(chart::formatTime("%a %d %b %Y %H:%M 100%% %q %QFv", f, fr), "ven 7 mars 2025 09:05 100% %q %QFv");
    EXPECT_EQ(chart::unknownFields("%d %q %QFv %%"), "%q %Q");
    // A format of days is never labelled by hours, and may thin out to weeks.
    const std::vector<CalendarStep> days = chart::labelSteps("%d");
    ASSERT_FALSE(days.empty());
    EXPECT_EQ(days.front().unit, StepUnit::day);
    EXPECT_EQ(chart::labelSteps("%b").front().unit, StepUnit::month);
    // Month labels name the year at January.
    EXPECT_EQ(chart::autoFormat({StepUnit::month, 1}, Platform::current().toLocal(at(2026, 1, 1))), "%Y");
    EXPECT_EQ(chart::autoFormat({StepUnit::month, 1}, Platform::current().toLocal(at(2026, 2, 1))), "%b");
}

}  // namespace
