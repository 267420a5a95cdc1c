// Trading calendars: the rules a calendar file holds, and the two shipped
// calendars against the exchanges' own published days.

#include "chart/TradingCalendar.h"
#include "tests/common/ChartTestModel.h"
#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using charttest::at;

TradingCalendar shipped(const char* file) {
    const Properties keys = Indication_Tools::GetFileProperties(std::string(ZK_SOURCE_DIR) + "/examples/calendars/" + file);
    std::vector<std::string> problems;
    std::optional<TradingCalendar> c = TradingCalendar::read(keys, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    return c.value_or(TradingCalendar{});
}

// "MM-DD" of every day of year y of the given kind.
std::vector<std::string> days(const TradingCalendar& c, int y, TradingCalendar::DayKind kind) {
    std::vector<std::string> out;
    for (int64_t d = civil::daysFromCivil(y, 1, 1); d < civil::daysFromCivil(y + 1, 1, 1); ++d) {
        const civil::Date date = civil::civilFromDays(d);
        if (c.kindOf(date.year, date.month, date.day) != kind) continue;
        out.push_back((date.month < 10 ? "0" : "") + std::to_string(date.month) + "-" + (date.day < 10 ? "0" : "") +
                      std::to_string(date.day));
    }
    return out;
}

using K = TradingCalendar::DayKind;
using Days = std::vector<std::string>;

TEST(TradingCalendar, ParisMatchesEuronextsPublishedDays) {
    const TradingCalendar paris = shipped("euronext_paris.ini");
    EXPECT_EQ(days(paris, 2024, K::holiday), (Days{"01-01", "03-29", "04-01", "05-01", "12-25", "12-26"}));
    EXPECT_EQ(days(paris, 2024, K::early), (Days{"12-24", "12-31"}));
    // 26 December 2026 is a Saturday: not moved.
    EXPECT_EQ(days(paris, 2026, K::holiday), (Days{"01-01", "04-03", "04-06", "05-01", "12-25"}));
    EXPECT_EQ(days(paris, 2026, K::early), (Days{"12-24", "12-31"}));
    EXPECT_EQ(paris.sessionsOn(2024, 12, 24), (std::vector<TradingCalendar::Range>{{9 * 60, 14 * 60 + 5}}));
}

TEST(TradingCalendar, NewYorkMatchesTheNysesPublishedDays) {
    const TradingCalendar nyse = shipped("nyse_new_york.ini");
    EXPECT_EQ(days(nyse, 2024, K::holiday),
              (Days{"01-01", "01-15", "02-19", "03-29", "05-27", "06-19", "07-04", "09-02", "11-28", "12-25"}));
    EXPECT_EQ(days(nyse, 2024, K::early), (Days{"07-03", "11-29", "12-24"}));
    // New Year's Day 2022 on a Saturday is not moved; Independence Day 2021
    // on a Sunday moves to Monday, Christmas on a Saturday to Friday;
    // Juneteenth before 2022 is a trading day.
    EXPECT_EQ(days(nyse, 2021, K::holiday),
              (Days{"01-01", "01-18", "02-15", "04-02", "05-31", "07-05", "09-06", "11-25", "12-24"}));
    EXPECT_EQ(days(nyse, 2022, K::holiday),
              (Days{"01-17", "02-21", "04-15", "05-30", "06-20", "07-04", "09-05", "11-24", "12-26"}));
    // Explicit closures; a 3 July Friday before a Saturday Independence Day is closed, not early.
    EXPECT_EQ(nyse.kindOf(2018, 12, 5), K::holiday);
    EXPECT_EQ(nyse.kindOf(2025, 1, 9), K::holiday);
    EXPECT_EQ(nyse.kindOf(2026, 7, 3), K::holiday);
    EXPECT_EQ(days(nyse, 2026, K::early), (Days{"11-27", "12-24"}));
}

TEST(TradingCalendar, EasterAndWeekdayRulesOver2020To2030) {
    const char* easter[] = {"2020-04-12", "2021-04-04", "2022-04-17", "2023-04-09", "2024-03-31", "2025-04-20",
                            "2026-04-05", "2027-03-28", "2028-04-16", "2029-04-01", "2030-04-21"};
    const TradingCalendar nyse = shipped("nyse_new_york.ini");
    for (int y = 2020; y <= 2030; ++y) {
        const civil::Date e = civil::civilFromDays(TradingCalendar::easterSunday(y));
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", int(e.year), e.month, e.day);
        EXPECT_STREQ(text, easter[y - 2020]);
        // Good Friday closed; Thanksgiving a Thursday from the 22nd to the 28th.
        const civil::Date friday = civil::civilFromDays(TradingCalendar::easterSunday(y) - 2);
        EXPECT_EQ(nyse.kindOf(y, friday.month, friday.day), K::holiday) << y;
        const Days holidays = days(nyse, y, K::holiday);
        const auto thanksgiving = std::find_if(holidays.begin(), holidays.end(),
                                               [](const std::string& d) { return d.rfind("11-", 0) == 0; });
        ASSERT_NE(thanksgiving, holidays.end()) << y;
        const int day = std::stoi(thanksgiving->substr(3));
        EXPECT_TRUE(day >= 22 && day <= 28 && civil::weekdayOfDays(civil::daysFromCivil(y, 11, day)) == 4) << y;
        // Nine or ten weekday holidays a year, eleven with 2025's closure.
        EXPECT_GE(holidays.size(), 9u) << y;
        EXPECT_LE(holidays.size(), y == 2025 ? 11u : 10u) << y;
    }
}

TEST(TradingCalendar, OpenTimeOverNightsHolidaysAndAClockChange) {
    Platform& p = Platform::current();
    const TradingCalendar paris = shipped("euronext_paris.ini");
    // Summer time starts on Sunday 30 March 2025 in Europe: Friday's and
    // Monday's sessions still open at 09:00 local and last 8.5 hours.
    const auto sessions = paris.sessionsBetween(p, at(2025, 3, 28), at(2025, 4, 1));
    ASSERT_EQ(sessions.size(), 2u);
    for (const auto& [open, close] : sessions) {
        EXPECT_EQ(p.toLocal(open).hour, 9);
        EXPECT_EQ(close - open, 510 * 60000);
    }
    const OpenTime axis(sessions, sessions.front().first, sessions.back().second);
    EXPECT_EQ(axis.total(), 2 * 510 * 60000);
    EXPECT_EQ(axis.before(at(2025, 3, 29, 12)), 510 * 60000);  // the weekend takes none
    EXPECT_EQ(axis.before(at(2025, 3, 31, 10)), 570 * 60000);
    // Five sessions back from 30 December 2025 at 08:00 (before the open):
    // 19, 22, 23, 24 (closing at 14:05) and 29 December, Christmas left out.
    const auto five = paris.lastSessions(p, at(2025, 12, 30, 8), 5);
    ASSERT_TRUE(five);
    EXPECT_EQ(five->first, at(2025, 12, 19, 9));
    EXPECT_EQ(five->second, at(2025, 12, 29, 17, 30));
    // An hour of open time before Monday 10:00 starts at Friday 17:30 less 30 minutes.
    EXPECT_EQ(paris.openBack(p, at(2025, 12, 29, 9, 30), 3600000), at(2025, 12, 24, 13, 35));
}

// Days are converted by arithmetic from their midnight, a day of a clock
// change through the platform: walked forward and back over both of 2025's
// changes in Paris, on a market trading around the clock.
TEST(TradingCalendar, SessionsAcrossClockChangesEitherWay) {
    ScopedTimeZone zone{"Europe/Paris"};
    Platform& p = Platform::current();
    TradingCalendar c;
    TradingCalendar::parseSessions("00:00-24:00", c.sessions);
    TradingCalendar::parseWeekdays("sun;mon;tue;wed;thu;fri;sat", c.tradingDays);
    for (const auto& [month, day, hours] : {std::tuple{3, 30, 23}, std::tuple{10, 26, 25}}) {
        const auto forward = c.sessionsBetween(p, at(2025, month, day - 2, 12), at(2025, month, day + 1, 12));
        TradingCalendar::Sessions back;
        ASSERT_TRUE(c.lastSessions(p, at(2025, month, day + 1, 12), 4, &back));
        EXPECT_EQ(back, forward);
        ASSERT_EQ(forward.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(forward[i].first, at(2025, month, day - 2 + i)) << month << " " << i;
            EXPECT_EQ(forward[i].second - forward[i].first, (i == 2 ? hours : 24) * int64_t{3600000}) << month << " " << i;
        }
    }
}

TEST(TradingCalendar, MistakesAreSaidAndLeaveTheRuleOut) {
    const Properties keys = Indication_Tools::ParseProperties(
        "CALENDAR_SESSIONS=09:30-11:30;13:00-16:00\nCALENDAR_TRADING_DAYS=sun;mon;tue;wed;thu\n"
        "CALENDAR_CLOSED_1=13-01\nCALENDAR_CLOSED_2=easter*2\nCALENDAR_CLOSED_3=fifth monday of 05\n"
        "CALENDAR_CLOSED_4=05-01 until 2020\nCALENDAR_EARLY_CLOSE_1=12-24\nCALENDAR_EARLY_CLOSE_2=12-31 12:00\n");
    std::vector<std::string> problems;
    const std::optional<TradingCalendar> c = TradingCalendar::read(keys, problems);
    ASSERT_TRUE(c);
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0], "CALENDAR_CLOSED_1 error : \"13-01\" is no date (MM-DD, YYYY-MM-DD), easter or weekday of a "
                           "month, the rule is left out");
    EXPECT_EQ(problems[3], "CALENDAR_EARLY_CLOSE_1 error : no closing time (HH:MM), the rule is left out");
    // A lunch break is two sessions; an early close cuts them.
    EXPECT_EQ(c->sessionsOn(2026, 12, 31), (std::vector<TradingCalendar::Range>{{570, 690}}));
    EXPECT_EQ(c->kindOf(2026, 12, 27), K::open);  // a Sunday trades here
    EXPECT_EQ(c->kindOf(2026, 12, 26), K::closedWeekday);
    EXPECT_EQ(c->kindOf(2019, 5, 1), K::holiday);
    EXPECT_EQ(c->kindOf(2021, 5, 2), K::open);  // until 2020 only
    std::vector<TradingCalendar::Range> out;
    EXPECT_EQ(TradingCalendar::parseSessions("09:00-17:30;12:00-13:00", out), "\"12:00-13:00\" begins before the session before it ends");
    EXPECT_FALSE(TradingCalendar::read(Indication_Tools::ParseProperties("CALENDAR_NAME=x\n"), problems));
}

}  // namespace
