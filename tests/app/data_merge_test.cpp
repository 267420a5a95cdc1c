// Merging a source's records into a data file: new times added in order, a
// changed value replaced where it stands, every other byte kept.

#include "app/DataMerge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SourceRecord at(int year, int month, int day, int hour, int minute, double value) {
    SourceRecord r;
    r.at.year = year;
    r.at.month = month;
    r.at.day = day;
    r.at.hour = hour;
    r.at.minute = minute;
    r.value = value;
    return r;
}

TEST(DataMerge, AddsReplacesAndKeepsBytes) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<SourceRecord> records;
        std::string after;
        size_t added, replaced;
    };
    const Case cases[] = {
        {"empty file", "", {at(2025, 12, 2, 0, 0, 2), at(2025, 12, 1, 0, 0, 1.5)},
         "20251201;000000;1.5\n20251202;000000;2.0\n", 2, 0},
        {"new times between and after, CR LF kept, comments and odd lines untouched",
         "# closes\r\n20251201;173000;7954,12\r\nnot a record;\r\n20251203;173000;8025.87\r\n",
         {at(2025, 12, 4, 17, 30, 8013.22), at(2025, 12, 2, 17, 30, 7989.4)},
         "# closes\r\n20251201;173000;7954,12\r\nnot a record;\r\n20251202;173000;7989.4\r\n20251203;173000;8025.87\r\n"
         "20251204;173000;8013.22\r\n",
         2, 0},
        {"same value in another spelling keeps the line; a corrected one replaces it in place",
         "20251201;173000;7954,12\n20251202;173000;7989.40\n",
         {at(2025, 12, 1, 17, 30, 7954.12), at(2025, 12, 2, 17, 30, 7990.5)},
         "20251201;173000;7954,12\n20251202;173000;7990.5\n", 0, 1},
        {"a last line without its end gets one before new records",
         "20251201;173000;1.0", {at(2025, 12, 2, 17, 30, 2)}, "20251201;173000;1.0\n20251202;173000;2.0\n", 1, 0},
        {"times written with carried parts are the same times", "20251131;240000;1.0\n",
         {at(2025, 12, 2, 0, 0, 1)}, "20251131;240000;1.0\n", 0, 0},
        {"first record of a time in the source wins", "",
         {at(2025, 12, 1, 0, 0, 1), at(2025, 12, 1, 0, 0, 9)}, "20251201;000000;1.0\n", 1, 0},
    };
    for (const Case& c : cases) {
        const DataMerge m = mergeRecords(c.file, c.records);
        EXPECT_EQ(m.bytes, c.after) << c.name;
        EXPECT_EQ(m.added, c.added) << c.name;
        EXPECT_EQ(m.replaced, c.replaced) << c.name;
    }
}

TEST(DataMerge, NothingNewLeavesTheBytesAsTheyWere) {
    const std::string file = "20251201;173000;7954,12\n\n20251202;173000;2\r\n# end";
    const DataMerge m = mergeRecords(file, {at(2025, 12, 2, 17, 30, 2.0)});
    EXPECT_EQ(m.bytes, file);
    EXPECT_EQ(m.added + m.replaced, 0u);
    EXPECT_EQ(m.newestKey, at(2025, 12, 2, 17, 30, 0).key());
}

TEST(DataMerge, LineOfARecord) {
    EXPECT_EQ(dataLineOf(at(2001, 11, 21, 17, 30, 4512.37)), "20011121;173000;4512.37");
    EXPECT_EQ(dataLineOf(at(2001, 1, 2, 3, 4, -0.000125)), "20010102;030400;-0.000125");
    EXPECT_EQ(dataLineOf(at(2001, 1, 2, 3, 4, 1e20)), "20010102;030400;100000000000000000000.0");
}

}  // namespace
