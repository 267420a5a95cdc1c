// Reading data files into the series, the time window, gap filling, the
// displayed range and the data-period caption.

#include "ChartTestKit.h"

#include <cmath>
#include <numeric>
#include <random>
#include <tuple>

namespace {

using charttest::ChartTest;

class DataSeries : public ChartTest {
protected:
    // A model in the given mode whose window ends at end.
    void configure(int mode, int period, int64_t end) {
        model.iModeGraphicsData = mode;
        model.iModeGraphicsData_Duration = period;
        model.dModeGraphicsData_DurationEnd = end;
    }
    std::vector<int64_t> dates() const { return model.vecGraph_Date; }
    std::vector<double> values() const { return model.vecGraph_Data; }

    Indication_Data model;
};

// ---- Data-file format --------------------------------------------------------

TEST_F(DataSeries, SkipsNonRecordsSilentlyAndReportsBadRecordsQuoted) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    const std::string path = file(
        "\r\n"
        "   \t\n"
        "; a comment;with;separators\n"
        "   # another;one\n"
        "no separator at all\n"
        "20011121;173000\n"
        "20011121;;173000;;4512,37;ignored;fields\n"
        "  20011122;173000;4512.37\t\n");
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(dates(), (std::vector<int64_t>{at(2001, 11, 21, 17, 30), at(2001, 11, 22, 17, 30)}));
    EXPECT_EQ(values(), (std::vector<double>{4512.37, 4512.37}));
    EXPECT_EQ(count("(ReadData) Error with data "), 1u);
    EXPECT_EQ(count("(ReadData) Error with data \"20011121;173000\" : "), 1u);
    EXPECT_TRUE(printed(channel("* Read All Datas from : " + path)));
}

TEST_F(DataSeries, LineEndsMayBeCrLfOrCrAlone) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    ASSERT_TRUE(model.ReadData(file("20011121;090000;1\r20011121;100000;2\r\n20011121;110000;3\n20011121;120000;4")));
    EXPECT_EQ(values(), (std::vector<double>{1, 2, 3, 4}));
}

TEST_F(DataSeries, ValueMustBeAFiniteDecimalWrittenInFull) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    const char* bad[] = {"NaN", "nan", "Infinity", "inf", "-inf", "0x1A", "0x1p3", "12abc", "1,2,3", "1_000",
                         "1e309", "--1", "+-1", "+", ".", "1 2", "1e"};
    std::string content;
    int minute = 0;
    for (const char* v : bad) content += "20011121;10" + std::to_string(10 + minute++) + "00;" + v + "\n";
    content += "20011121;120000;+1.5e3\n20011121;120100;-,5\n20011121;120200;7.\n";
    ASSERT_TRUE(model.ReadData(file(content)));
    EXPECT_EQ(values(), (std::vector<double>{1500, -0.5, 7}));
    EXPECT_EQ(count("(ReadData) Error with data "), std::size(bad));
}

TEST_F(DataSeries, BlanksAroundFieldsAreDroppedNotInside) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    ASSERT_TRUE(model.ReadData(file("20011121;173000; 4512,37\n"
                                    "20011122 ;\t173000 ;4513,00 ;x\n"
                                    "20011123;173000;45 13\n"       // a blank inside the number
                                    "20011124;173000;4513,00 x\n")));  // anything else after it
    EXPECT_EQ(values(), (std::vector<double>{4512.37, 4513}));
    EXPECT_EQ(dates()[1], at(2001, 11, 22, 17, 30));
    EXPECT_EQ(count("(ReadData) Error with data "), 2u);
}

TEST_F(DataSeries, DateAndTimeReadByPositionWithCalendarCarry) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    ASSERT_TRUE(model.ReadData(file("20010132xyz;246060extra;1\n"      // day 32, hour 24, 60 min, 60 s
                                    "2001013;120000;2\n"               // date too short
                                    "20010201;12000;3\n"               // time too short
                                    "2001A201;120000;4\n"              // not a number
                                    "20010201;12h000;5\n"              // not a number
                                    "99999999;999999;6\n")));          // absurd but carried
    ASSERT_EQ(values(), (std::vector<double>{1, 6}));
    EXPECT_EQ(dates()[0], at(2001, 2, 2, 1, 1, 0));
    EXPECT_EQ(dates()[1], at(9999, 99, 99, 99, 99, 99));
    EXPECT_EQ(count("(ReadData) Error with data "), 4u);
}

TEST_F(DataSeries, FirstRecordWinsForEqualTimestamps) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    // The last duplicates come out of order, after later records.
    ASSERT_TRUE(model.ReadData(file("20011121;090000;1\n20011121;090000;2\n20011121;100000;3\n"
                                    "20011121;083000;4\n20011121;090000;5\n20011121;083000;6\n")));
    EXPECT_EQ(dates(), (std::vector<int64_t>{at(2001, 11, 21, 8, 30), at(2001, 11, 21, 9), at(2001, 11, 21, 10)}));
    EXPECT_EQ(values(), (std::vector<double>{4, 1, 3}));
}

// ---- Window, weekends and gaps ------------------------------------------------

TEST_F(DataSeries, WindowKeepsBothEndsAndDisplaysOnlyTheEnd) {
    const int64_t end = at(2001, 11, 21, 17, 30);
    configure(Indication_Data::MODEGRAPH_DAY, 2, end);
    const std::string path = file("20011119;173000;1\n"  // exactly at the start
                                  "20011119;172959;0\n"  // just before
                                  "20011120;173000;2\n"
                                  "20011121;173000;3\n"  // exactly at the end
                                  "20011121;173001;9\n");
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(values(), (std::vector<double>{1, 2, 3}));
    EXPECT_TRUE(printed(
        channel("* Read Data from : " + path + " [19/11/2001 17:30:00; 21/11/2001 17:30:00]")));

    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.xi_Min, 1);  // the point at the start is read, not displayed
    EXPECT_EQ(model.xi_Max, 2);
    EXPECT_TRUE(printed(channel("Image from 20/11/2001 17:30:00 to 21/11/2001 17:30:00")));
}

TEST_F(DataSeries, CalendarMonthsGoBackWholeMonthsToTheSameDay) {
    model.bModeGraphicsData_CalendarMonths = true;
    const std::string path = file("20251201;173000;1\n");
    // A shorter month ends the window on its last day; 30-day months do not.
    for (const auto& [period, end, start] : {std::tuple{1, "31/12/2025", "30/11/2025"},
                                             std::tuple{3, "31/05/2025", "28/02/2025"},
                                             std::tuple{12, "05/12/2025", "05/12/2024"}}) {
        const int day = std::stoi(std::string(end).substr(0, 2)), month = std::stoi(std::string(end).substr(3, 2));
        configure(Indication_Data::MODEGRAPH_MONTH, period, at(2025, month, day, 17, 30));
        model.ReadData(path);
        EXPECT_TRUE(printed(channel("* Read Data from : " + path + " [" + start + " 17:30:00; " + end + " 17:30:00]")))
            << period;
    }
}

TEST_F(DataSeries, DayModeFillsAMissingDayWithThePreviousValue) {
    configure(Indication_Data::MODEGRAPH_DAY, 10, at(2001, 11, 23, 18));
    ASSERT_TRUE(model.ReadData(file("20011120;173000;10\n20011122;173000;30\n")));  // no Wednesday
    EXPECT_EQ(dates(), (std::vector<int64_t>{at(2001, 11, 20, 17, 30), at(2001, 11, 21, 17, 30),
                                             at(2001, 11, 22, 17, 30)}));
    EXPECT_EQ(values(), (std::vector<double>{10, 10, 30}));
}

// GRAPH_TRADING_DAYS_NEED_RECORDS: an open day without a record between
// records closes like a holiday (no width, no filled entry) and the window
// counts a session further back; days before the first record, and today
// before its first record, stay open.
TEST_F(DataSeries, DaysWithoutRecordsCloseLikeHolidaysWhenAsked) {
    platform.now = at(2025, 12, 15, 12);
    auto calendar = std::make_shared<TradingCalendar>();
    TradingCalendar::parseSessions("09:00-17:30", calendar->sessions);
    model.calendar = calendar;
    std::string data;  // 12:00 on weekdays from Tuesday 2 to Friday 12 December 2025, none on Wednesday 10
    for (int d : {2, 3, 4, 5, 8, 9, 11, 12}) data += "202512" + std::string(d < 10 ? "0" : "") + std::to_string(d) + ";120000;1\n";
    const std::string path = file(data);
    auto days = [this] {
        std::vector<int> out;
        const std::optional<OpenTime> axis = model.Data_TradingAxis();
        for (const auto& s : axis->sessions()) out.push_back(Platform::current().toLocal(s.first).day);
        return out;
    };
    auto filledOn10 = [this] {
        return std::any_of(model.vecGraph_Date.begin(), model.vecGraph_Date.end(),
                           [](int64_t t) { return t >= at(2025, 12, 10) && t < at(2025, 12, 11); });
    };
    configure(Indication_Data::MODEGRAPH_DAY, 5, at(2025, 12, 15, 8));  // Monday, before the open
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(days(), (std::vector<int>{8, 9, 10, 11, 12}));
    EXPECT_TRUE(filledOn10());
    model.bTradingDays_NeedRecords = true;
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(days(), (std::vector<int>{5, 8, 9, 11, 12}));
    EXPECT_FALSE(filledOn10());
    configure(Indication_Data::MODEGRAPH_DAY, 10, at(2025, 12, 15, 8));
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(days(), (std::vector<int>{28, 1, 2, 3, 4, 5, 8, 9, 11, 12}));
    configure(Indication_Data::MODEGRAPH_DAY, 5, at(2025, 12, 15, 10));  // open, no record yet
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(days(), (std::vector<int>{8, 9, 11, 12, 15}));
}

TEST_F(DataSeries, GapStepFollowsTheMode) {
    std::string fiveMinutes;
    for (int m = 0; m < 30; m += 5) fiveMinutes += "20011121;10" + std::string(m < 10 ? "0" : "") + std::to_string(m) + "00;" + std::to_string(m) + "\n";
    const std::string path = file(fiveMinutes);

    configure(Indication_Data::MODEGRAPH_HOUR, 24, at(2001, 11, 21, 18));
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(dates().size(), 6u);

    configure(Indication_Data::MODEGRAPH_MINUTE, 24 * 60, at(2001, 11, 21, 18));
    ASSERT_TRUE(model.ReadData(path));
    ASSERT_EQ(dates().size(), 26u);  // four entries between each pair
    for (size_t i = 1; i < dates().size(); ++i) EXPECT_EQ(dates()[i] - dates()[i - 1], 60000);
    EXPECT_EQ(values()[4], 0);
    EXPECT_EQ(values()[5], 5);

    // A month of 30 days, and never a gap entry.
    configure(Indication_Data::MODEGRAPH_MONTH, 1, at(2001, 12, 21, 10, 0));
    ASSERT_TRUE(model.ReadData(file("20011121;100000;1\n20011121;095959;0\n20011221;100000;2\n")));
    EXPECT_EQ(values(), (std::vector<double>{1, 2}));
}

TEST_F(DataSeries, HiddenWeekendsAreSkippedThenFilledWithFridaysValue) {
    // Monday 19 to Monday 26 November 2001.
    std::string week;
    for (int d = 19; d <= 26; ++d) week += "200111" + std::to_string(d) + ";173000;" + std::to_string(d) + "\n";
    const std::string path = file(week);

    configure(Indication_Data::MODEGRAPH_DAY, 30, at(2001, 11, 30));
    model.bDate_DispWeekDay = false;
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(values(), (std::vector<double>{19, 20, 21, 22, 23, 23, 23, 26}));
    EXPECT_EQ(dates()[5], at(2001, 11, 24, 17, 30));
    EXPECT_EQ(dates()[6], at(2001, 11, 25, 17, 30));

    model.bDate_DispWeekDay = true;
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(values(), (std::vector<double>{19, 20, 21, 22, 23, 24, 25, 26}));

    model.bDate_DispWeekDay = false;  // only day mode hides weekends
    configure(Indication_Data::MODEGRAPH_HOUR, 24 * 30, at(2001, 11, 30));
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(values()[24 * 5], 24);
}

TEST_F(DataSeries, PeriodZeroReadsTheWholeFile) {
    configure(Indication_Data::MODEGRAPH_DAY, 0, at(2001, 11, 21));
    ASSERT_TRUE(model.ReadData(file("19950101;000000;1\n20011120;000000;2\n")));
    EXPECT_EQ(values().front(), 1);
    EXPECT_EQ(values().back(), 2);
    EXPECT_EQ(count("* Read All Datas from : "), 1u);
    // Nothing after the window end: the whole series is shown.
    EXPECT_TRUE(model.Data_HasDisplayedRange());
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.xi_Min, 0);
    EXPECT_EQ(model.xi_Max, static_cast<int>(values().size()) - 1);  // day gaps filled since 1995
    EXPECT_EQ(model.y_Max, 2);
}

// ---- Failures keep the previous series -----------------------------------------

TEST_F(DataSeries, FailedReadsKeepThePreviousSeries) {
    configure(Indication_Data::MODEGRAPH_DAY, 5, at(2001, 11, 21, 18));
    ASSERT_TRUE(model.ReadData(file("20011121;173000;42\n")));
    const auto before = dates();

    Indication_Tools::debugMode = false;  // "no data found!" shows even so
    const std::string outside = file("20011001;173000;1\n");
    EXPECT_FALSE(model.ReadData(outside));
    EXPECT_TRUE(printed(channel("(ReadData) Error with " + outside + " : no data found!")));
    EXPECT_EQ(dates(), before);
    Indication_Tools::debugMode = true;

    const std::string missing = "mem/missing.txt";
    EXPECT_FALSE(model.ReadData(missing));
    EXPECT_EQ(count("(ReadData) Error with " + missing + " : "), 1u);
    EXPECT_EQ(count("no data found!"), 1u);  // not for an unreadable file

    EXPECT_FALSE(model.ReadData());  // no GRAPH_DATA_FILE
    EXPECT_TRUE(printed(channel("Pas de fichier de valeurs définies !")));
    EXPECT_EQ(dates(), before);
    EXPECT_EQ(values(), std::vector<double>{42});
}

// ---- Displayed range and caption ---------------------------------------------

TEST_F(DataSeries, RangeBoundsIncludeZeroUnlessZoomed) {
    configure(Indication_Data::MODEGRAPH_DAY, 10, at(2001, 11, 23, 18));
    const std::string high = file("20011120;173000;3200.5\n20011121;173000;4100\n20011122;173000;3500\n");
    ASSERT_TRUE(model.ReadData(high));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_FLOAT_EQ(model.y_MinReal, 3200.5f);
    EXPECT_EQ(model.y_Min, 0);
    EXPECT_EQ(model.y_Max, 4100);

    model.bModeGraphicsData_ZoomValues = true;
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.y_Min, 3200);
    EXPECT_EQ(model.y_Max, 4100);

    ASSERT_TRUE(model.ReadData(file("20011120;173000;-3.5\n20011121;173000;-1\n")));
    ASSERT_TRUE(model.Data_InitMinMax());  // zoom ignores negative minima
    EXPECT_FLOAT_EQ(model.y_Min, -3.5f);
    EXPECT_EQ(model.y_Max, 0);
}

TEST_F(DataSeries, CaptionHasOneDayAndTwoDayForms) {
    configure(Indication_Data::MODEGRAPH_DAY, 10, at(2001, 11, 23, 18));
    ASSERT_TRUE(model.ReadData(file("20011121;090000;1\n20011121;173000;2\n")));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.Data_getData(), "21/11 - 09:00 > 17:30");

    ASSERT_TRUE(model.ReadData(file("20011114;090000;1\n20011121;173000;2\n")));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.Data_getData(), "14/11 > 21/11 - 17:30");
    model.bDateFormat_French = false;
    EXPECT_EQ(model.Data_getData(), "11/14 > 11/21 - 17:30");
}

// On trading sessions the dates are those of the first and last session on
// the axis: here the data start a session late, and the current session has
// no record yet, so no time is given for it.
TEST_F(DataSeries, CaptionNamesTheSessionsOnTheAxis) {
    TradingCalendar sessions;
    sessions.sessions = {{9 * 60, 17 * 60 + 30}};
    model.calendar = std::make_shared<const TradingCalendar>(sessions);
    configure(Indication_Data::MODEGRAPH_DAY, 3, at(2001, 11, 21, 9, 5));  // a Wednesday, just after the open
    ASSERT_TRUE(model.ReadData(file("20011120;100000;1\n20011120;170000;2\n")));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.Data_getData(), "19/11 > 21/11");
    ASSERT_TRUE(model.ReadData(file("20011120;100000;1\n20011120;170000;2\n20011121;090000;3\n")));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.Data_getData(), "19/11 > 21/11 - 09:00");
    configure(Indication_Data::MODEGRAPH_DAY, 1, at(2001, 11, 21, 9, 5));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.Data_getData(), "21/11 - 09:00 > 09:00");
    // Two open hours back from 10:00: Tuesday's last hour, then Wednesday's first.
    configure(Indication_Data::MODEGRAPH_HOUR, 2, at(2001, 11, 21, 10));
    ASSERT_TRUE(model.ReadData(file("20011121;093000;3\n")));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_EQ(model.Data_getData(), "20/11 > 21/11 - 09:30");
}

TEST_F(DataSeries, GraphicsModeAcceptsOnlyKnownModes) {
    configure(Indication_Data::MODEGRAPH_DAY, 10, at(2001, 11, 23, 18));
    ASSERT_TRUE(model.ReadData(file("20011121;090000;1\n")));
    EXPECT_TRUE(model.setGraphicsMode(15));  // unchanged, and the range computed again
    EXPECT_EQ(model.getGraphicsMode(), Indication_Data::MODEGRAPH_DAY);
    EXPECT_FALSE(model.setGraphicsMode(Indication_Data::MODEGRAPH_HOUR));  // 10 hours hold no point
    EXPECT_EQ(model.getGraphicsMode(), Indication_Data::MODEGRAPH_HOUR);
    EXPECT_FALSE(model.setGraphicsMode(Indication_Data::MODEGRAPH_NOMODE));
    EXPECT_EQ(model.getGraphicsMode(), Indication_Data::MODEGRAPH_NOMODE);
}

// ---- Faults mended ------------------------------------------------------------

// A failed range computation used to leave indexes of an earlier, longer series.
TEST_F(DataSeries, StaleRangeNeverIndexesPastAShorterSeries) {
    configure(Indication_Data::MODEGRAPH_DAY, 10, at(2001, 11, 23, 18));
    ASSERT_TRUE(model.ReadData(file("20011114;090000;1\n20011115;090000;2\n20011116;090000;3\n"
                                    "20011120;090000;4\n20011121;090000;5\n")));
    ASSERT_TRUE(model.Data_InitMinMax());
    ASSERT_EQ(model.xi_Max, 7);  // gap entries included

    configure(Indication_Data::MODEGRAPH_DAY, 1, at(2001, 11, 21, 9));  // only a point at the start
    ASSERT_TRUE(model.ReadData(file("20011120;090000;7\n")));
    EXPECT_FALSE(model.Data_InitMinMax());
    EXPECT_FALSE(model.Data_HasDisplayedRange());
    EXPECT_TRUE(model.Data_RangeIsValid());
    EXPECT_LE(model.xi_Max, 1);
    EXPECT_LE(model.xi_Min, model.xi_Max);
    EXPECT_FALSE(model.Data_getData().empty());

    // Before any read, and after finalize, there is nothing to caption.
    Indication_Data fresh;
    EXPECT_FALSE(fresh.Data_RangeIsValid());
    EXPECT_EQ(fresh.Data_getData(), "");
    model.finalize();
    EXPECT_EQ(model.Data_getData(), "");
    EXPECT_FALSE(model.Data_InitMinMax());
}

// Minute mode with a period of 0 fills gaps with a one-minute step over the
// whole file: two records decades apart would need ten million entries.
TEST_F(DataSeries, GapFillingIsBoundedPerRead) {
    configure(Indication_Data::MODEGRAPH_MINUTE, 0, at(2001, 11, 21));
    Indication_Tools::debugMode = false;  // the report shows even so
    const std::string path = file("19800101;000000;1\n20011121;120000;2\n20011121;120300;3\n");
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(values(), (std::vector<double>{1, 2, 2, 2, 3}));  // the small gap is still filled
    EXPECT_EQ(count("(ReadData) Error with " + path + " : 1 gap(s) left unfilled"), 1u);

    // A gap needing exactly the whole allowance is filled.
    configure(Indication_Data::MODEGRAPH_MINUTE, 0, at(2001, 11, 21));
    const int64_t start = at(2001, 1, 1);
    const int64_t last = start + (Indication_Data::DATA_MAX_GAP_ENTRIES + 1) * 60000;
    ASSERT_TRUE(model.ReadData(file("20010101;000000;1\n" + Indication_Tools::getBddDate(last) + ";" +
                                    Indication_Tools::getBddTime(last) + ";2\n")));
    EXPECT_EQ(dates().size(), static_cast<size_t>(Indication_Data::DATA_MAX_GAP_ENTRIES + 2));
    EXPECT_EQ(dates().back(), last);
}

// Providers and spreadsheets often export newest first: such a file gives the
// series of the same records in time order, gaps and weekends filled alike.
TEST_F(DataSeries, RecordsOutOfTimeOrderGiveTheSeriesInTimeOrder) {
    std::vector<std::string> days;  // Monday 19 to Friday 30 November, no Wednesday 21
    for (int d = 19; d <= 30; ++d)
        if (d != 21) days.push_back("200111" + std::to_string(d) + ";173000;" + std::to_string(d) + "\n");
    auto text = [](auto first, auto last) { return std::accumulate(first, last, std::string()); };
    configure(Indication_Data::MODEGRAPH_DAY, 30, at(2001, 12, 1));
    model.bDate_DispWeekDay = false;
    Indication_Tools::debugMode = false;
    ASSERT_TRUE(model.ReadData(file(text(days.begin(), days.end()))));
    const std::vector<double> inOrder = values();
    ASSERT_EQ(inOrder, (std::vector<double>{19, 20, 20, 22, 23, 23, 23, 26, 27, 28, 29, 30}));
    const std::pair<std::string, const char*> cases[] = {
        {text(days.rbegin(), days.rend()), "10 records dated before the record above them, the first on line 2"},
        {text(days.begin() + 6, days.end()) + text(days.begin(), days.begin() + 6),
         "1 record dated before the record above them, the first on line 6"}};
    for (const auto& [content, told] : cases) {
        const std::string path = file(content);
        ASSERT_TRUE(model.ReadData(path));
        EXPECT_EQ(values(), inOrder) << told;
        EXPECT_EQ(dates().back(), at(2001, 11, 30, 17, 30));
        EXPECT_TRUE(printed(channel("(ReadData) Error with " + path + " : not in time order (" + told +
                                    "): drawn in time order")));
    }
}

// A provider that changes its date or number format leaves no record that
// reads: a failure of the data file, not an empty window. An empty file, or
// one without record lines, is still an empty window.
TEST_F(DataSeries, RecordLinesThatAllFailToReadFailTheChart) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    Indication_Tools::debugMode = false;
    const std::string banner = "zkQuoteForge - DataMaker\n# comment\n\n";
    const std::string longLine = "20011121;173000;" + std::string(200, '9') + "x";
    const std::pair<std::string, std::string> cases[] = {
        {banner + "21/11/2001;17:30:00;4512,37\n22/11/2001;17:30:00;4513\n",
         "2 of 2 record lines unreadable (the first, line 4: \"21/11/2001;17:30:00;4512,37\" : date is not a number "
         "(YYYYMMDD)), no record read"},
        {"20011121;173000;5 000,50", ": value is not a finite decimal number), no record read"},
        {longLine, "\"" + longLine.substr(0, 120) + "...\""},
        {"", ""},
        {banner, ""}};
    for (const auto& [content, told] : cases) {
        model.ResetConfiguration();
        configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
        EXPECT_FALSE(model.ReadData(file(content)));
        EXPECT_EQ(model.loadFailure.noData, told.empty()) << content;
        EXPECT_EQ(model.loadFailure.cause, told.empty() ? ChartFailure::none : ChartFailure::dataFormat);
        EXPECT_NE(model.loadFailure.text.find(told), std::string::npos) << model.loadFailure.text;
    }
    EXPECT_EQ(count("no data found!"), 2u);

    // Some lines unreadable: the chart is drawn, and the count is told.
    const std::string path = file(banner + "20011121;173000;1\n21/11/2001;18:00:00;2\n20011122;173000;3\nx;y\n");
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(model.unreadableLines, 2);
    EXPECT_TRUE(printed(channel("(ReadData) Error with " + path + " : 2 of 4 record lines unreadable (the first, line 5: "
                                "\"21/11/2001;18:00:00;2\" : date is not a number (YYYYMMDD)), left out")));
}

// A mistyped year must not make a stale file look fresh for a year.
TEST_F(DataSeries, RecordsAheadOfTheClockDoNotMakeTheDataFresh) {
    configure(Indication_Data::MODEGRAPH_DAY, 5, at(2001, 11, 21, 18));  // now: 21/11/2001 18:00
    Indication_Tools::debugMode = false;
    const std::tuple<const char*, int64_t, const char*> cases[] = {
        {"20021121;170000", at(2001, 11, 21, 17, 30), "1 record dated more than 30 days ahead, the latest 21/11/2002 "
                                                      "17:00:00: not taken for the newest record"},
        {"99999999;000000", at(2001, 11, 21, 17, 30), "1 record dated more than 30 days ahead"},
        {"20011121;185959", at(2001, 11, 21, 18, 59, 59), nullptr},  // clocks differ by an hour
        {"20011125;060000", at(2001, 11, 21, 17, 30), nullptr}};     // a forecast, as the data maker's
    for (const auto& [ahead, newest, told] : cases) {
        platform.clearOut();
        ASSERT_TRUE(model.ReadData(file(std::string("20011120;173000;1\n") + ahead + ";2\n20011121;173000;3\n")));
        EXPECT_EQ(model.newestRecord, newest) << ahead;
        EXPECT_EQ(count(told ? told : "days ahead"), told ? 1u : 0u) << platform.out();
    }
}

// ---- Bad input ----------------------------------------------------------------

TEST_F(DataSeries, HugeValuesGiveFiniteBounds) {
    configure(Indication_Data::MODEGRAPH_DAY, 10, at(2001, 11, 23, 18));
    ASSERT_TRUE(model.ReadData(file("20011120;173000;1e308\n20011121;173000;-1e308\n")));
    EXPECT_EQ(values(), (std::vector<double>{1e308, -1e308}));
    ASSERT_TRUE(model.Data_InitMinMax());
    EXPECT_TRUE(std::isfinite(model.y_Min));
    EXPECT_TRUE(std::isfinite(model.y_Max));
    EXPECT_TRUE(std::isfinite(model.y_Max - model.y_Min));
    EXPECT_LT(model.y_Min, 0);
    EXPECT_GT(model.y_Max, 0);
}

TEST_F(DataSeries, BinaryJunkAndHugeLinesAreBadRecordsQuotedShort) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    std::string junk;
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) junk += static_cast<char>(random() % 256);
    junk += "\n20011121;0900";
    junk += '\0';
    junk += "0;5\n";                                        // NUL inside the time
    junk += "20011121;100000;" + std::string(10 << 20, '7') + "x\n";  // a 10 MB line
    junk += "20011121;110000;6\n";
    ASSERT_TRUE(model.ReadData(file(junk)));
    EXPECT_EQ(values().back(), 6);
    for (const auto& line : console()) {
        EXPECT_LT(line.size(), 600u);
        EXPECT_EQ(line.find('\0'), std::string::npos);
    }
    EXPECT_GE(count("...\" : "), 1u);  // the long line, cut
}

TEST_F(DataSeries, BadRecordReportsAreCapped) {
    configure(Indication_Data::MODEGRAPH_MONTH, 0, at(2001, 11, 30));
    std::string bad;
    for (int i = 0; i < 1000; ++i) bad += "x;y;z\n";
    const std::string path = file(bad + "20011121;090000;1\n");
    ASSERT_TRUE(model.ReadData(path));
    EXPECT_EQ(count("(ReadData) Error with data "), 100u);
    EXPECT_TRUE(printed(channel("(ReadData) Error with " + path + " : 900 more bad records not shown")));
}

}  // namespace
