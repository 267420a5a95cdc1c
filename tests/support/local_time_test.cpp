// Local time of the platform in two zones across their summer-time changes.
// The same inputs and instants hold for the POSIX build (the C library's
// mktime) and the Windows build (Win32 time-zone functions), so both give
// the same charts.

#include "support/Platform.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono;

int64_t utc(int y, int mo, int d, int h, int mi) {
    const sys_days day = year_month_day{year{y}, month{static_cast<unsigned>(mo)}, std::chrono::day{static_cast<unsigned>(d)}};
    return (duration_cast<milliseconds>(day.time_since_epoch()) + hours{h} + minutes{mi}).count();
}

struct Case {
    int year, month, day, hour, minute;
    int64_t expected;
    const char* what;
};

void expectInstants(const char* zone, std::initializer_list<Case> cases) {
    ScopedTimeZone pinned{zone};
    Platform& p = Platform::current();
    for (const Case& c : cases) {
        CalendarFields f;
        f.year = c.year;
        f.month = c.month;
        f.day = c.day;
        f.hour = c.hour;
        f.minute = c.minute;
        EXPECT_EQ(p.fromLocal(f), c.expected) << zone << ": " << c.what;
    }
}

TEST(LocalTime, ParisAcrossItsChangesAndWithCarriedFields) {
    expectInstants("Europe/Paris",
                   {{2024, 1, 15, 12, 0, utc(2024, 1, 15, 11, 0), "winter"},
                    {2024, 7, 1, 12, 0, utc(2024, 7, 1, 10, 0), "summer"},
                    {2024, 3, 31, 1, 59, utc(2024, 3, 31, 0, 59), "just before the change"},
                    {2024, 3, 31, 2, 30, utc(2024, 3, 31, 1, 30), "skipped hour: read with the winter offset"},
                    {2024, 3, 31, 3, 0, utc(2024, 3, 31, 1, 0), "just after the change"},
                    {2024, 10, 27, 2, 30, utc(2024, 10, 27, 0, 30), "repeated hour: its first occurrence"},
                    {2024, 1, 32, 12, 0, utc(2024, 2, 1, 11, 0), "day 32 of January"},
                    {2024, 13, 1, 0, 0, utc(2024, 12, 31, 23, 0), "month 13"},
                    {2024, 3, 30, 26, 30, utc(2024, 3, 31, 1, 30), "hour 26 carried into the skipped hour"},
                    {2024, 1, 0, 12, 0, utc(2023, 12, 31, 11, 0), "day 0"}});
}

TEST(LocalTime, NewYorkAcrossItsChanges) {
    expectInstants("America/New_York", {{2024, 1, 15, 12, 0, utc(2024, 1, 15, 17, 0), "winter"},
                                        {2024, 7, 1, 12, 0, utc(2024, 7, 1, 16, 0), "summer"},
                                        {2024, 3, 10, 2, 30, utc(2024, 3, 10, 7, 30), "skipped hour"},
                                        {2024, 11, 3, 1, 30, utc(2024, 11, 3, 5, 30), "repeated hour"}});
}

// Past years keep their own rules: the United States moved their change in
// 2007, Brazil dropped summer time in 2019. (Windows knows past rules only
// for some zones, these among them: see the README.)
TEST(LocalTime, PastYearsFollowTheirOwnRules) {
    expectInstants("America/New_York", {{2006, 3, 20, 12, 0, utc(2006, 3, 20, 17, 0), "before the 2006 change"},
                                        {2006, 4, 1, 12, 0, utc(2006, 4, 1, 17, 0), "the day before it"},
                                        {2006, 10, 30, 12, 0, utc(2006, 10, 30, 17, 0), "after the 2006 end"}});
    expectInstants("America/Sao_Paulo", {{2018, 1, 15, 12, 0, utc(2018, 1, 15, 14, 0), "summer 2018"},
                                         {2024, 1, 15, 12, 0, utc(2024, 1, 15, 15, 0), "no summer time since 2019"}});
}

// The southern hemisphere changes the other way round in the year, and a
// zone without summer time never has a second reading.
TEST(LocalTime, SydneyAndUtc) {
    expectInstants("Australia/Sydney", {{2024, 7, 1, 12, 0, utc(2024, 7, 1, 2, 0), "winter"},
                                        {2024, 1, 15, 12, 0, utc(2024, 1, 15, 1, 0), "summer"},
                                        {2024, 10, 6, 2, 30, utc(2024, 10, 5, 16, 30), "skipped hour"},
                                        {2024, 4, 7, 2, 30, utc(2024, 4, 6, 15, 30), "repeated hour"}});
    expectInstants("UTC", {{2024, 7, 1, 12, 0, utc(2024, 7, 1, 12, 0), "summer"},
                           {1969, 12, 31, 23, 59, utc(1969, 12, 31, 23, 59), "before 1970"},
                           {2024, 2, 30, 0, 0, utc(2024, 3, 1, 0, 0), "30 February"}});
}

TEST(LocalTime, FieldsOfInstantsAroundTheChanges) {
    ScopedTimeZone pinned{"Europe/Paris"};
    Platform& p = Platform::current();
    const CalendarFields before = p.toLocal(utc(2024, 3, 31, 0, 59) + 59'999);
    EXPECT_EQ(before.hour, 1);
    EXPECT_EQ(before.minute, 59);
    EXPECT_EQ(before.second, 59);
    EXPECT_EQ(before.millisecond, 999);
    const CalendarFields after = p.toLocal(utc(2024, 3, 31, 1, 0));
    EXPECT_EQ(after.hour, 3);
    EXPECT_EQ(after.weekday, 0);  // a Sunday
    // The repeated hour: both instants read 02:30.
    EXPECT_EQ(p.toLocal(utc(2024, 10, 27, 0, 30)).hour, 2);
    EXPECT_EQ(p.toLocal(utc(2024, 10, 27, 1, 30)).hour, 2);
    const CalendarFields early = p.toLocal(utc(1970, 1, 1, 0, 0) - 1);
    EXPECT_EQ(early.year, 1970);
    EXPECT_EQ(early.hour, 0);
    EXPECT_EQ(early.weekday, 4);  // a Thursday
}

}  // namespace
