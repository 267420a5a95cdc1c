// Reading providers' CSV files: separators, headers, columns, date forms,
// zones, decimal marks, missing values and the limits that fail a source.

#include "app/SourceCsv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// A fixed zone one hour east of UTC.
CalendarFields plusOneHour(int64_t instant) { return civil::fieldsOfWallMillis(instant + 3'600'000); }

std::string text(const SourceRecord& r) {
    char out[64];
    std::snprintf(out, sizeof out, "%04d%02d%02d;%02d%02d%02d;%g", r.at.year, r.at.month, r.at.day, r.at.hour,
                  r.at.minute, r.at.second, r.value);
    return out;
}

std::vector<std::string> texts(const CsvReading& r) {
    std::vector<std::string> out;
    for (const SourceRecord& record : r.records) out.push_back(text(record));
    return out;
}

CsvFormat columns(std::string date, std::string value, std::function<void(CsvFormat&)> more = {}) {
    CsvFormat f;
    f.dateColumn = std::move(date);
    f.valueColumn = std::move(value);
    if (more) more(f);
    return f;
}

struct Case {
    const char* name;
    std::string body;
    CsvFormat format;
    std::vector<std::string> records;
};

TEST(SourceCsv, ProviderShapedFilesGiveTheirRecords) {
    const Case cases[] = {
        {"daily, newest first, by header name",
         "Date,Open,High,Low,Close,Volume\n2025-12-03,1,2,0.5,8088.14,10\n2025-12-02,1,2,0.5,8102.75,10\n",
         columns("Date", "close"),
         {"20251203;000000;8088.14", "20251202;000000;8102.75"}},
        {"macro data, '.' is missing", "DATE,VALUE\r\n2025-10-01,4.33\r\n2025-11-01,.\r\n2025-12-01,4.09\r\n",
         columns("DATE", "VALUE"),
         {"20251001;000000;4.33", "20251201;000000;4.09"}},
        {"European export: ';', dd.mm.yyyy, decimal comma and grouped thousands",
         "\xEF\xBB\xBF" "Datum;Schluss\n01.12.2025;7.954,12\n02.12.2025;7989,4\n",
         columns("Datum", "Schluss", [](CsvFormat& f) {
             f.dateFormat = "%d.%m.%Y";
             f.decimalMark = ',';
         }),
         {"20251201;000000;7954.12", "20251202;000000;7989.4"}},
        {"intraday, separate time column, seconds left out",
         "day\ttime\tlast\n2025-12-03\t09:30\t101.5\n2025-12-03\t09:35:30\t101.25\n",
         columns("day", "last", [](CsvFormat& f) { f.timeColumn = "time"; }),
         {"20251203;093000;101.5", "20251203;093530;101.25"}},
        {"no header, columns by number, compact dates, a set time", "20251203;8088.14\n20251204;8090\n",
         columns("1", "2", [](CsvFormat& f) {
             f.header = false;
             f.dateFormat = "%Y%m%d";
             f.fixedHour = 17;
             f.fixedMinute = 30;
         }),
         {"20251203;173000;8088.14", "20251204;173000;8090"}},
        {"US dates, quoted fields holding the separator",
         "\"Date\",\"Note\",\"Price\"\n\"12/3/2025\",\"a, b\",\"1,234.5\"\n",
         columns("Date", "Price", [](CsvFormat& f) { f.dateFormat = "%m/%d/%Y"; }),
         {"20251203;000000;1234.5"}},
        {"date-time in one column: Z, offsets, fractions, none",
         "t,v\n2025-12-03T16:30:00Z,1\n2025-12-03T16:30:00.250+02:00,2\n2025-12-03 16:30:00 -0500,3\n"
         "2025-12-03T16:30:00,4\n2025-12-31T23:30:00Z,5\n",
         columns("t", "v", [](CsvFormat& f) { f.dateFormat = "%Y-%m-%dT%H:%M:%S"; }),
         {"20251203;173000;1", "20251203;153000;2", "20251203;223000;3", "20251203;163000;4",
          "20260101;003000;5"}},
        {"blank lines, a missing 'null' and a last line without its end (complete answer)",
         "Date,Close\n\n2025-12-01,NULL\n2025-12-02,2\n2025-12-03,3",
         columns("Date", "Close"),
         {"20251202;000000;2", "20251203;000000;3"}},
    };
    for (const Case& c : cases) {
        const CsvReading r = readCsv(c.body, c.format, false, plusOneHour);
        EXPECT_TRUE(r.ok()) << c.name << ": " << r.failure;
        EXPECT_EQ(texts(r), c.records) << c.name;
    }
}

TEST(SourceCsv, HalfWrittenLastLineOfALocalFileWaits) {
    const CsvFormat f = columns("Date", "Close");
    EXPECT_EQ(texts(readCsv("Date,Close\n2025-12-02,2\n2025-12-03,3", f, true, plusOneHour)),
              std::vector<std::string>{"20251202;000000;2"});
    EXPECT_EQ(texts(readCsv("Date,Close\n2025-12-02,2\n2025-12-03,3\r\n", f, true, plusOneHour)).size(), 2u);
}

TEST(SourceCsv, WhatIsNotTheExpectedCsvFails) {
    struct Failing {
        const char* name;
        std::string body;
        CsvFormat format;
        const char* cause;
    };
    std::string longLine = "Date,Close\n2025-12-01," + std::string(70 * 1024, '1') + "\n";
    std::string tenPercent = "Date,Close\n";  // 9 good rows and one bad: still read
    for (int i = 1; i <= 9; ++i) tenPercent += "2025-12-0" + std::to_string(i) + ",1\n";
    const Failing cases[] = {
        {"HTML error page", "\n  <!DOCTYPE html><html><body>Rate limit</body></html>", columns("Date", "Close"),
         "HTML"},
        {"header lost its value column", "Date,Open,High\n2025-12-01,1,2\n", columns("Date", "Close"),
         "the header has no column \"Close\" (it has: Date, Open, High)"},
        {"numbered column past the header", "Date,Close\n2025-12-01,1\n", columns("1", "5"), "column 5"},
        {"named column without header", "2025-12-01,1\n",
         columns("Date", "2", [](CsvFormat& f) { f.header = false; }), "no header"},
        {"empty answer", " \r\n", columns("Date", "Close"), "no line"},
        {"single column, no separator", "Date\n2025-12-01\n", columns("Date", "Close"), "no separator"},
        {"line past 64 KiB", longLine, columns("Date", "Close"), "longer than 64 KiB"},
        {"2 of 10 rows unreadable",
         tenPercent.substr(0, tenPercent.rfind("2025-12-09")) + "2025-13-01,1\n2025-12-09,x\n",
         columns("Date", "Close"), "2 of 10 rows unreadable (line 10: date or time out of range)"},
        {"a wrong decimal mark is no number", "Date;Close\n2025-12-01;4512,37\n", columns("Date", "Close"),
         "1 of 1 rows unreadable"},
    };
    for (const Failing& c : cases) {
        const CsvReading r = readCsv(c.body, c.format, false, plusOneHour);
        EXPECT_NE(r.failure.find(c.cause), std::string::npos) << c.name << ": " << r.failure;
        EXPECT_TRUE(r.records.empty() || !r.ok()) << c.name;
    }
    // One bad row in ten is tolerated, and said.
    const CsvReading r = readCsv(tenPercent + "2025-12-10,oops\n", columns("Date", "Close"), false, plusOneHour);
    EXPECT_TRUE(r.ok()) << r.failure;
    EXPECT_EQ(r.records.size(), 9u);
    EXPECT_EQ(r.firstUnreadable, "line 11: value \"oops\" is not a number");
}

TEST(SourceCsv, ValuesAndDatesThatLookAlmostRight) {
    const CsvFormat f = columns("d", "v");
    // Each row alone under a header: readable or not. A grouping mark must
    // part whole thousands, or a misread decimal comma would pass for one.
    const std::pair<const char*, bool> rows[] = {
        {"2025-02-29;1", false},      {"2024-02-29;1", true},     {"2025-12-01;1e3", false},
        {"2025-12-01;inf", false},    {"2025-12-01;+1.5", true},  {"2025-12-01;-1,234.5", true},
        {"2025-12-01;4512,37", false}, {"2025-12-01;1,23,456", false}, {"25-12-01;1", false},
        {"2025-12-01x;1", false},     {"2025-12-01+25:00;1", false},
    };
    for (const auto& [row, readable] : rows) {
        const CsvReading r = readCsv(std::string("d;v\n") + row + "\n", f, false, plusOneHour);
        EXPECT_EQ(r.records.size(), readable ? 1u : 0u) << row;
    }
    char separator = 'x';
    EXPECT_TRUE(parseSeparator("TAB", separator));
    EXPECT_EQ(separator, '\t');
    EXPECT_TRUE(parseSeparator("", separator));
    EXPECT_EQ(separator, 0);
    EXPECT_FALSE(parseSeparator("|", separator));
}

}  // namespace
