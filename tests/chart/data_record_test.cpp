// Decoding data lines, and the fast local-time conversion used while reading.

#include "chart/DataRecord.h"
#include "chart/LocalTimeCache.h"
#include "support/Platform.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(DataRecord, LinesThatAreNotRecords) {
    DataRecord r;
    std::string error;
    for (const char* line : {"", ";20011121;090000;1", "#20011121;090000;1", "20011121 090000 1"}) {
        EXPECT_EQ(parseDataLine(line, r, error), DataLine::Skipped) << line;
    }
    EXPECT_EQ(trimDataLine(std::string_view("\0\t 1;2 \x7f\x01", 9)), "1;2 \x7f");
}

TEST(DataRecord, FieldsAreReadByPosition) {
    DataRecord r;
    std::string error;
    ASSERT_EQ(parseDataLine("2001112199;17300099;-4512,37;x;;", r, error), DataLine::Record);
    EXPECT_EQ(r.year, 2001);
    EXPECT_EQ(r.month, 11);
    EXPECT_EQ(r.day, 21);
    EXPECT_EQ(r.hour, 17);
    EXPECT_EQ(r.minute, 30);
    EXPECT_EQ(r.second, 0);
    EXPECT_EQ(r.value, -4512.37);
    // A "-" is part of a number, a "+" is not.
    ASSERT_EQ(parseDataLine("2001-1-5;-10000;1", r, error), DataLine::Record);
    EXPECT_EQ(r.month, -1);
    EXPECT_EQ(r.day, -5);
    EXPECT_EQ(r.hour, -1);
    EXPECT_EQ(parseDataLine("2001+1+5;120000;1", r, error), DataLine::Bad);
}

TEST(LocalTimeCache, CarriesOutOfRangeFieldsLikeThePlatform) {
    ScopedTimeZone zone{"Europe/Paris"};
    std::mt19937 random(3);
    LocalTimeCache cache;
    CalendarFields f;
    for (int i = 0; i < 20000; ++i) {
        // Half the time the date of the call before, as records of one day
        // come; times within the day or carried out of it, either way.
        if (random() % 2 == 0) {
            f.year = 1990 + static_cast<int>(random() % 20);
            f.month = static_cast<int>(random() % 109) - 9;
            f.day = static_cast<int>(random() % 109) - 9;
        }
        const bool withinDay = random() % 2 == 0;
        f.hour = static_cast<int>(withinDay ? random() % 24 : random() % 109) - (withinDay ? 0 : 9);
        f.minute = static_cast<int>(withinDay ? random() % 60 : random() % 109) - (withinDay ? 0 : 9);
        f.second = static_cast<int>(withinDay ? random() % 60 : random() % 109) - (withinDay ? 0 : 9);
        f.millisecond = 0;
        ASSERT_EQ(cache.toMillis(f.year, f.month, f.day, f.hour, f.minute, f.second),
                  Platform::current().fromLocal(f))
            << f.year << "-" << f.month << "-" << f.day << " " << f.hour << ":" << f.minute << ":" << f.second;
    }
}

}  // namespace
