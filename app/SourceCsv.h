#pragma once
// Reading a provider's CSV into dated values: the columns a source names, its
// date form, decimal mark and missing-value texts. Pure: no file, no clock;
// the local zone comes in as a function, for dates written with "Z" or an
// offset.

#include "support/CivilCalendar.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct CsvFormat {
    char separator = 0;  // ',', ';' or '\t'; 0: the one the first line uses most
    bool header = true;
    // A header name (letter case aside) or a column number from 1.
    std::string dateColumn;
    std::string timeColumn;  // empty: none, every record at fixedTime
    std::string valueColumn;
    // %Y (4 digits), %m %d %H %M %S (1 or 2 digits) and literal characters
    // ("T" also matches a blank).
    // After the date (and time) a "Z" or an offset (+01:00, -0500, +02) may
    // follow, converted to local time; a fraction of a second is dropped.
    std::string dateFormat = "%Y-%m-%d";
    std::string timeFormat = "%H:%M:%S";  // ":%S" at its end may be left out
    char decimalMark = '.';               // the other of '.' and ',' groups thousands
    std::vector<std::string> missing = {".", "null"};  // besides an empty value; letter case aside
    int fixedHour = 0, fixedMinute = 0, fixedSecond = 0;
    size_t maxLineBytes = 64 * 1024;
};

// A record at local wall-clock fields (no zone: the data file's own form).
struct SourceRecord {
    CalendarFields at;
    double value = 0;
    // The wall-clock reading in ms, the merge's key.
    int64_t key() const { return civil::wallMillisOfFields(at); }
};

struct CsvReading {
    std::vector<SourceRecord> records;  // in the order of the file
    size_t rows = 0;                    // data rows seen, missing ones included
    size_t missing = 0;                 // rows skipped for a missing value
    size_t unreadable = 0;
    std::string firstUnreadable;  // "line N: why", for the report
    std::string failure;          // empty when the reading may be used
    bool ok() const { return failure.empty(); }
};

// Instant (ms since the epoch) to local calendar fields.
using ToLocalFields = std::function<CalendarFields(int64_t)>;

// body is the whole answer. With partialLastLine, a last line without its
// line end is left out (a local file being written). Fails for an HTML page,
// a header without the named columns, a line past maxLineBytes, or more than
// 10 % of the data rows unreadable.
CsvReading readCsv(std::string_view body, const CsvFormat& format, bool partialLastLine, const ToLocalFields& toLocal);

// "," ";" "tab" (or a tab), "auto" or empty: the separator, 0 for found;
// false for anything else.
bool parseSeparator(std::string_view text, char& out);
