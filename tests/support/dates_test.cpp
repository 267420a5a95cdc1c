#include "support/Indication_Tools.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

using IT = Indication_Tools;

class DatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        SysProperties.store(nullptr);
        IT::debugMode = false;
        platform.now = localMillis(2001, 2, 10, 15, 16, 17, 456);
    }
    void TearDown() override { IT::debugMode = false; }
    ScopedTimeZone zone{"Europe/Paris"};
    TestPlatform platform;
};

// A fake font: every character, whatever its byte length, is 10 pixels wide.
class TenPixelFont : public FontMetrics {
public:
    int stringWidth(std::string_view text) const override {
        int n = 0;
        for (unsigned char c : text)
            if ((c & 0xC0) != 0x80) ++n;
        return 10 * n;
    }
    int getHeight() const override { return 12; }
    int getAscent() const override { return 10; }
    int getDescent() const override { return 2; }
};

TEST_F(DatesTest, TextForms) {
    const int64_t d = localMillis(2001, 3, 5, 7, 8, 9);
    EXPECT_EQ(IT::getBddDate(d), "20010305");
    EXPECT_EQ(IT::getBddTime(d), "070809");
    EXPECT_EQ(IT::getDate(d, true), "05/03/2001");
    EXPECT_EQ(IT::getDate(d, false), "03/05/2001");
    EXPECT_EQ(IT::getTime(d), "07:08:09");
    EXPECT_EQ(IT::dispDate(d), "05/03/2001 07:08:09");
    EXPECT_EQ(IT::getDisplayDate(), "10/02/2001 15:16:17");
    // 07:08:09 in Paris is 06:08:09 UTC in winter.
    EXPECT_EQ(IT::DateToTimeZone(d, true), "5 Mar 2001 06:08:09 GMT");
    EXPECT_EQ(IT::DateToTimeZone(d, false), "5 Mar 2001 07:08:09");
    EXPECT_EQ(IT::DateToTimeZone(-1, true), "31 Dec 1969 23:59:59 GMT");
    EXPECT_EQ(IT::DateToTimeZone(951782400000, true), "29 Feb 2000 00:00:00 GMT");
}

TEST_F(DatesTest, DateFromBddSetsDateAndTimeWhateverToday) {
    // The clock's milliseconds (456) never leak into a date written to the second.
    const int64_t expected = localMillis(2001, 1, 30, 9, 30, 0);
    EXPECT_EQ(IT::getDateFromBdd("20010130", "093000"), expected);
    // Today's day of month must not leak into a shorter month.
    platform.now = localMillis(2001, 3, 31, 23, 0, 0, 456);
    EXPECT_EQ(IT::getDateFromBdd("20010228", "093000"), localMillis(2001, 2, 28, 9, 30, 0));
    platform.now = localMillis(2001, 2, 10, 15, 16, 17, 456);
    // Out-of-range fields carry like a calendar.
    EXPECT_EQ(IT::getDateFromBdd("20010132", "000000"), localMillis(2001, 2, 1, 0, 0, 0));
    EXPECT_EQ(IT::getDateFromBdd("20011301", "000000"), localMillis(2002, 1, 1, 0, 0, 0));
    EXPECT_EQ(IT::getDateFromBdd("20010100", "246060"), localMillis(2001, 1, 1, 1, 1, 0));
    EXPECT_EQ(IT::getDateFromBdd("2001-1-1", "000000"), localMillis(2000, 10, 30, 0, 0, 0));
}

TEST_F(DatesTest, DateFromBddCrossesDaylightSavingChanges) {
    // From a winter "now", a summer date gets summer time, and back.
    EXPECT_EQ(IT::getDateFromBdd("20010701", "120000"), 993981600000);  // 10:00 UTC
    platform.now = localMillis(2001, 7, 1, 12, 0, 0);
    EXPECT_EQ(IT::getDateFromBdd("20010110", "120000"), 979124400000);  // 11:00 UTC
    // The night the clocks go back: 01:30 local exists once in each offset;
    // either reading is a valid instant that prints as 01:30.
    const int64_t ambiguous = IT::getDateFromBdd("20011028", "013000");
    EXPECT_EQ(IT::getBddTime(ambiguous), "013000");
}

TEST_F(DatesTest, DateFromBddFallsBackPartByPart) {
    const int64_t now = platform.now;
    IT::debugMode = true;
    // Wrong length: now, silently.
    EXPECT_EQ(IT::getDateFromBdd("2001013", "093000"), now);
    EXPECT_EQ(IT::getDateFromBdd("200101300", "093000"), now);
    EXPECT_EQ(platform.out(), "");
    // Short time: midnight, silently.
    EXPECT_EQ(IT::getDateFromBdd("20010130", "09300"), localMillis(2001, 1, 30, 0, 0, 0));
    EXPECT_EQ(platform.out(), "");

    EXPECT_EQ(IT::getDateFromBdd(std::nullopt, "093000"), now);
    EXPECT_EQ(platform.out(),
              "[Indication_Tools] : Error with GRAPH_DURATION_PERIOD_WEDGE_DATE : not found or not correct "
              "(format: YYYYMMDD)!\n");
    platform.clearOut();
    EXPECT_EQ(IT::getDateFromBdd("20010130", std::nullopt), localMillis(2001, 1, 30, 0, 0, 0));
    EXPECT_EQ(platform.out(),
              "[Indication_Tools] : Error with GRAPH_DURATION_PERIOD_WEDGE_TIME : not found or not correct "
              "(format: HHMMSS)!\n");
    platform.clearOut();

    // A bad date keeps today's date with the given time; a bad time keeps the time of day.
    EXPECT_EQ(IT::getDateFromBdd("2001ab30", "093000"), localMillis(2001, 2, 10, 9, 30, 0));
    EXPECT_EQ(platform.out().rfind("[Indication_Tools] : Error with GRAPH_DURATION_PERIOD_WEDGE_DATE : ", 0), 0u);
    platform.clearOut();
    EXPECT_EQ(IT::getDateFromBdd("20010130", "09 000"), localMillis(2001, 1, 30, 15, 16, 17));
    EXPECT_EQ(platform.out().rfind("[Indication_Tools] : Error with GRAPH_DURATION_PERIOD_WEDGE_TIME : ", 0), 0u);
    EXPECT_NE(platform.file(IT::DEFAULT_LOG_FILE).find("|_ [Indication_Tools] : Error with GRAPH_DURATION_PERIOD"),
              std::string::npos);
    // Characters, not bytes: eight characters, one of them two bytes long.
    platform.clearOut();
    EXPECT_EQ(IT::getDateFromBdd("2001\xC3\xA9" "130", "093000"), localMillis(2001, 2, 10, 9, 30, 0));
    EXPECT_NE(platform.out(), "");

    IT::debugMode = false;
    platform.clearOut();
    IT::getDateFromBdd(std::nullopt, std::nullopt);
    EXPECT_EQ(platform.out(), "");
}

TEST_F(DatesTest, DayCounts) {
    EXPECT_DOUBLE_EQ(IT::getTotalDay(0, 36 * 3600000LL), 1.5);
    EXPECT_DOUBLE_EQ(IT::getTotalDay(36 * 3600000LL, 0), -1.5);

    const int64_t fri = localMillis(2001, 3, 2, 12, 0, 0);
    const int64_t mon = localMillis(2001, 3, 5, 12, 0, 0);
    EXPECT_DOUBLE_EQ(IT::getWorkingDay(fri, mon), 1.0);
    EXPECT_DOUBLE_EQ(IT::getWorkingDay(mon, fri), -1.0);
    EXPECT_DOUBLE_EQ(IT::getWorkingDay(fri, fri), 0.0);
    EXPECT_FALSE(std::signbit(IT::getWorkingDay(fri, fri)));
    // Across the spring change the weekend is 71 hours long.
    EXPECT_DOUBLE_EQ(IT::getWorkingDay(localMillis(2001, 3, 23, 12), localMillis(2001, 3, 26, 12)), 71.0 / 24 - 2);
    // A Saturday noon counts as a weekend day even when the span is one minute.
    const int64_t sat = localMillis(2001, 3, 3, 12, 0, 0);
    EXPECT_DOUBLE_EQ(IT::getWorkingDay(sat, sat + 60000), 60000.0 / 86400000 - 1);
    // A whole year from a Monday: 52 weeks less 104 weekend days, whatever the clock changes.
    const int64_t jan1 = localMillis(2001, 1, 1, 0, 0, 0);
    const int64_t dec31 = localMillis(2001, 12, 31, 0, 0, 0);
    EXPECT_DOUBLE_EQ(IT::getWorkingDay(jan1, dec31), 364.0 - 104);
}

TEST_F(DatesTest, WorkingDaysMatchDayByDayCountOnLongSpans) {
    // Reference: walk the days one by one.
    auto reference = [](int64_t early, int64_t late) {
        CalendarFields f = Platform::current().toLocal(early);
        int weekend = 0;
        for (int k = 0;; ++k) {
            CalendarFields g = f;
            g.day += k;
            int64_t t = Platform::current().fromLocal(g);
            if (t >= late) break;
            int wd = Platform::current().toLocal(t).weekday;
            if (wd == 0 || wd == 6) ++weekend;
        }
        return IT::getTotalDay(early, late) - weekend;
    };
    const int64_t start = localMillis(2001, 3, 24, 2, 30, 0);  // a Saturday, just before a clock change
    for (int days : {6, 7, 8, 9, 10, 13, 14, 15, 100, 366, 1000}) {
        for (int64_t extra : {0LL, 3600000LL, -3600000LL, 43200000LL}) {
            const int64_t end = start + days * 86400000LL + extra;
            EXPECT_DOUBLE_EQ(IT::getWorkingDay(start, end), reference(start, end)) << days << " " << extra;
            EXPECT_DOUBLE_EQ(IT::getWorkingDay(end, start), -reference(start, end)) << days << " " << extra;
        }
    }
}

TEST_F(DatesTest, Modulo) {
    EXPECT_EQ(IT::modulo(-7, 3), -1);
    EXPECT_EQ(IT::modulo(7, 3), 1);
    EXPECT_EQ(IT::modulo(6, 3), 0);
    EXPECT_EQ(IT::modulo(2, 5), 2);
    EXPECT_EQ(IT::modulo(INT_MIN, 3), -2);
    EXPECT_EQ(IT::modulo(7, 0), 0);  // no crash
}

TEST_F(DatesTest, ReplaceString) {
    EXPECT_EQ(IT::replaceString("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(IT::replaceString("x-y-z", "-", std::nullopt), "xyz");
    EXPECT_EQ(IT::replaceString(" \t", " ", "X"), " \t");
    EXPECT_EQ(IT::replaceString(std::nullopt, "a", "b"), std::nullopt);
    EXPECT_EQ(IT::replaceString("abc", "", "X"), "abc");
    EXPECT_EQ(IT::replaceString("abab", "ab", "b"), "bb");
}

TEST_F(DatesTest, Macros) {
    const int64_t d = localMillis(2001, 3, 5, 7, 8, 9);
    EXPECT_EQ(IT::replaceMacroString("%Y%m%d.gif", d), "20010305.gif");
    EXPECT_EQ(IT::replaceMacroString("%y|%H:%M:%S|%T", d), "01|07:08:09|" + std::to_string(d));
    EXPECT_EQ(IT::replaceMacroString("%QFp v%QFv (%QFd, %QFu)", d), "zkQuoteForge v1.05 (27/03/2001, 21/11/2001)");
    EXPECT_EQ(IT::replaceMacroString("%QF %X 100% %", d), "%QF %X 100% %");
    EXPECT_EQ(IT::replaceMacroString("%%Y", d), "%2001");
    EXPECT_EQ(IT::replaceMacroString("%%%m%", d), "%%03%");
    EXPECT_EQ(IT::replaceMacroString("%y", localMillis(1999, 6, 1)), "99");
    EXPECT_EQ(IT::replaceMacroString("plain", d), "plain");
    EXPECT_EQ(IT::replaceMacroString(std::nullopt, d), std::nullopt);
    // Without a date: now.
    EXPECT_EQ(IT::replaceMacroString("%d/%m/%Y"), "10/02/2001");
}

TEST_F(DatesTest, TruncateStringShortensByCharacters) {
    TenPixelFont font;
    EXPECT_EQ(IT::TruncateString("abcdef", 60, font), "abcdef");
    EXPECT_EQ(IT::TruncateString("abcdefgh", 79, font), "abcd.. ");  // 4 fewer, ".. " added
    EXPECT_EQ(IT::TruncateString("abcdefgh", 69, font), "abc.. ");   // then one per pass
    EXPECT_EQ(IT::TruncateString("abcdefgh", 0, font), "a.. ");      // shortest result
    EXPECT_EQ(IT::TruncateString("abcd", 10, font), "abcd");         // too short to shorten
    EXPECT_EQ(IT::TruncateString("abcde", 10, font), "a.. ");
    EXPECT_EQ(IT::TruncateString("", 10, font), std::nullopt);
    EXPECT_EQ(IT::TruncateString(std::nullopt, 10, font), std::nullopt);
    // Accented letters are one character each, never cut in half.
    const std::string accents = "\xC3\xA9\xC3\xA8\xC3\xA0\xC3\xA7\xC3\xB9\xC3\xA2\xC3\xAA\xC3\xAE";  // 8 letters
    EXPECT_EQ(IT::TruncateString(accents, 80, font), accents);
    EXPECT_EQ(IT::TruncateString(accents, 79, font), "\xC3\xA9\xC3\xA8\xC3\xA0\xC3\xA7.. ");
    EXPECT_EQ(IT::TruncateString("\xC3\xA9\xC3\xA8\xC3\xA0\xC3\xA7", 0, font), "\xC3\xA9\xC3\xA8\xC3\xA0\xC3\xA7");
    // A very long caption gives what the pass-by-pass rule gives.
    const std::string longText(100000, 'x');
    EXPECT_EQ(IT::TruncateString(longText, 1234, font), std::string(120, 'x') + ".. ");
    EXPECT_EQ(IT::TruncateString(longText, 5, font), "x.. ");
}

}  // namespace
