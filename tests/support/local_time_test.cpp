// Local time of the system's platform across summer-time changes, in the
// zone the process's environment names (TZ): ctest runs each suite below with
// the zone of its name (LOCAL_TIME_ZONES in tests/CMakeLists.txt and
// tests/WindowsTests.cmake). The same instants hold for the POSIX build (the C
// library) and the Windows build (Win32 time-zone functions; Wine takes the
// zone from TZ), so both give the same charts.

#include "chart/LocalTimeCache.h"
#include "support/CivilCalendar.h"
#include "platform/SystemPlatform.h"
#include "support/Platform.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

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

void expectInstants(std::initializer_list<Case> cases) {
    Platform& p = systemPlatform();
    for (const Case& c : cases) {
        CalendarFields f;
        f.year = c.year;
        f.month = c.month;
        f.day = c.day;
        f.hour = c.hour;
        f.minute = c.minute;
        EXPECT_EQ(p.fromLocal(f), c.expected) << c.what;
    }
}

// Every instant the data reader's cache gives must be the platform's own
// conversion, on days with a clock change too (half-hour shifts, changes at
// midnight, a skipped day).
void expectCacheAgreesThroughout(int year) {
    ASSERT_EQ(&Platform::current(), &systemPlatform());
    LocalTimeCache cache;
    int mismatches = 0;
    int skipped = 0;
    for (int day = 1; day <= 366 && mismatches < 5; ++day) {
        for (int minute = 0; minute < 24 * 60; minute += 7) {
            CalendarFields f;
            f.year = year;
            f.month = 1;
            f.day = day;
            f.hour = minute / 60;
            f.minute = minute % 60;
            f.second = minute % 59;
            f.millisecond = 0;
            const int64_t expected = Platform::current().fromLocal(f);
            // A wall time the clock skips has no right answer (the platform's
            // own result then depends on its previous calls).
            const CalendarFields back = Platform::current().toLocal(expected);
            if (back.hour != f.hour || back.minute != f.minute ||
                civil::daysFromCivil(back.year, back.month, back.day) !=
                    civil::daysFromCivil(year, 1, 1) + day - 1) {
                ++skipped;
                continue;
            }
            if (cache.toMillis(f.year, f.month, f.day, f.hour, f.minute, f.second) != expected) {
                ADD_FAILURE() << year << " day " << day << " minute " << minute;
                ++mismatches;
            }
        }
    }
    EXPECT_LT(skipped, 2 * 24 * 60 / 7);  // a skipped day and hour at most
}

TEST(LocalTimeInParis, AcrossItsChangesAndWithCarriedFields) {
    expectInstants({{2024, 1, 15, 12, 0, utc(2024, 1, 15, 11, 0), "winter"},
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

TEST(LocalTimeInParis, FieldsOfInstantsAroundTheChanges) {
    Platform& p = systemPlatform();
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

TEST(LocalTimeInParis, CacheAgreesThroughoutAYear) { expectCacheAgreesThroughout(2001); }

// The other tests read Paris time from the test platform's fixed rule: it
// must be the system's, every hour, in the years the tests' data covers.
TEST(LocalTimeInParis, TheTestPlatformsRuleAgrees) {
    Platform& system = systemPlatform();
    ScopedTimeZone fixed{"Europe/Paris"};
    for (int year : {1999, 2001, 2024}) {
        for (int64_t at = utc(year, 1, 1, 0, 30); at < utc(year + 1, 1, 1, 0, 0); at += 3'600'000) {
            const CalendarFields local = system.toLocal(at);
            const CalendarFields faked = fixed.toLocal(at);
            ASSERT_EQ(std::tie(faked.year, faked.month, faked.day, faked.hour, faked.minute, faked.weekday),
                      std::tie(local.year, local.month, local.day, local.hour, local.minute, local.weekday))
                << at;
            ASSERT_EQ(fixed.fromLocal(local), system.fromLocal(local)) << at;
            CalendarFields later = local;  // an hour on: the skipped hour too
            ++later.hour;
            ASSERT_EQ(fixed.fromLocal(later), system.fromLocal(later)) << at;
        }
    }
}

TEST(LocalTimeInNewYork, AcrossItsChanges) {
    expectInstants({{2024, 1, 15, 12, 0, utc(2024, 1, 15, 17, 0), "winter"},
                    {2024, 7, 1, 12, 0, utc(2024, 7, 1, 16, 0), "summer"},
                    {2024, 3, 10, 2, 30, utc(2024, 3, 10, 7, 30), "skipped hour"},
                    {2024, 11, 3, 1, 30, utc(2024, 11, 3, 5, 30), "repeated hour"}});
}

// Past years keep their own rules: the United States moved their change in
// 2007, Brazil dropped summer time in 2019. (Windows knows past rules only
// for some zones, these among them: see docs/running.md.)
TEST(LocalTimeInNewYork, PastYearsFollowTheirOwnRules) {
    expectInstants({{2006, 3, 20, 12, 0, utc(2006, 3, 20, 17, 0), "before the 2006 change"},
                    {2006, 4, 1, 12, 0, utc(2006, 4, 1, 17, 0), "the day before it"},
                    {2006, 10, 30, 12, 0, utc(2006, 10, 30, 17, 0), "after the 2006 end"}});
}

TEST(LocalTimeInSaoPaulo, PastYearsFollowTheirOwnRules) {
    expectInstants({{2018, 1, 15, 12, 0, utc(2018, 1, 15, 14, 0), "summer 2018"},
                    {2024, 1, 15, 12, 0, utc(2024, 1, 15, 15, 0), "no summer time since 2019"}});
}

TEST(LocalTimeInSaoPaulo, CacheAgreesThroughoutAYear) { expectCacheAgreesThroughout(2001); }

// The southern hemisphere changes the other way round in the year.
TEST(LocalTimeInSydney, AcrossItsChanges) {
    expectInstants({{2024, 7, 1, 12, 0, utc(2024, 7, 1, 2, 0), "winter"},
                    {2024, 1, 15, 12, 0, utc(2024, 1, 15, 1, 0), "summer"},
                    {2024, 10, 6, 2, 30, utc(2024, 10, 5, 16, 30), "skipped hour"},
                    {2024, 4, 7, 2, 30, utc(2024, 4, 6, 15, 30), "repeated hour"}});
}

TEST(LocalTimeInLordHowe, CacheAgreesThroughoutAYear) { expectCacheAgreesThroughout(2010); }

TEST(LocalTimeInApia, CacheAgreesThroughoutAYear) { expectCacheAgreesThroughout(2011); }

// A zone without summer time never has a second reading.
TEST(LocalTimeInUtc, NoSecondReading) {
    expectInstants({{2024, 7, 1, 12, 0, utc(2024, 7, 1, 12, 0), "summer"},
                    {1969, 12, 31, 23, 59, utc(1969, 12, 31, 23, 59), "before 1970"},
                    {2024, 2, 30, 0, 0, utc(2024, 3, 1, 0, 0), "30 February"}});
}

TEST(LocalTimeInUtc, CacheAgreesThroughoutAYear) { expectCacheAgreesThroughout(2001); }

}  // namespace
