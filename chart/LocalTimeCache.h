#pragma once
// Turns local calendar fields into instants for data files of many records.
//
// The platform's local conversion is exact but slow (it may look the time
// zone up again on every call), so days without a clock change are converted
// by arithmetic from their midnight, which is asked of the platform once.
// Days around a clock change go to the platform for every record. Fields out
// of range carry into the next unit, as the platform's conversion does.
// One object per reading; not for concurrent use.

#include <array>
#include <cstddef>
#include <cstdint>

class LocalTimeCache {
public:
    int64_t toMillis(int year, int month, int day, int hour, int minute, int second);

private:
    int64_t midnight(int64_t dayNumber);

    struct Entry {
        int64_t day = INT64_MIN;
        int64_t millis = 0;
    };
    std::array<Entry, 4> midnights_{};
    std::size_t next_ = 0;

    int64_t day_ = INT64_MIN;  // last day looked at
    bool regular_ = false;     // that day has 24 hours and no clock change
    int64_t base_ = 0;         // its midnight
    // The date of the last fields within a day, which fell on day_ (year_
    // INT_MIN: none).
    int year_ = INT32_MIN;
    int month_ = 0;
    int dayOfMonth_ = 0;
};
