// Local time in the system's zone on Windows.

#include "platform/windows/LocalZone.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace win {

namespace {

// The last instant SYSTEMTIME can hold (year 30827), with a margin.
constexpr int64_t kMaxFileTimeMs = int64_t{910'000'000'000'000};

int64_t naiveOfSystemTime(const SYSTEMTIME& st) {
    CalendarFields f;
    f.year = st.wYear;
    f.month = st.wMonth;
    f.day = st.wDay;
    f.hour = st.wHour;
    f.minute = st.wMinute;
    f.second = st.wSecond;
    f.millisecond = st.wMilliseconds;
    return civil::wallMillisOfFields(f);
}

bool systemTimeOfMillis(int64_t millis, SYSTEMTIME& st) {
    if (millis < -kEpochOffsetMs || millis > kMaxFileTimeMs) return false;
    const uint64_t ticks = static_cast<uint64_t>(millis + kEpochOffsetMs) * 10'000;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return FileTimeToSystemTime(&ft, &st) != 0;
}

// The rules of the system's zone, by year: reading them goes to the
// registry, so each year is read once.
class ZoneRules {
public:
    TIME_ZONE_INFORMATION forYear(int year) {
        std::lock_guard lock(mutex_);
        if (auto it = byYear_.find(year); it != byYear_.end()) return it->second;
        TIME_ZONE_INFORMATION tzi{};
        if (GetTimeZoneInformationForYear(static_cast<USHORT>(year), nullptr, &tzi) == 0) {
            tzi = TIME_ZONE_INFORMATION{};
            GetTimeZoneInformation(&tzi);
        }
        if (byYear_.size() > 1000) byYear_.clear();
        byYear_.emplace(year, tzi);
        return tzi;
    }

private:
    std::mutex mutex_;
    std::map<int, TIME_ZONE_INFORMATION> byYear_;
};

ZoneRules& zoneRules() {
    static ZoneRules* rules = new ZoneRules;  // never destroyed: used by worker threads at exit
    return *rules;
}

// Local wall-clock milliseconds (no zone) of an instant.
int64_t localNaive(int64_t millis, CalendarFields* fields) {
    SYSTEMTIME utc{}, local{};
    const bool inRange = systemTimeOfMillis(millis, utc);
    const int year = inRange ? utc.wYear : (millis < 0 ? 1601 : 30827);
    const TIME_ZONE_INFORMATION tzi = zoneRules().forYear(year);
    int64_t naive;
    if (inRange && SystemTimeToTzSpecificLocalTime(&tzi, &utc, &local)) {
        naive = naiveOfSystemTime(local);
    } else {
        // Beyond what SYSTEMTIME holds: the zone's standard offset.
        naive = millis - int64_t{tzi.Bias + tzi.StandardBias} * 60'000;
    }
    if (fields) *fields = civil::fieldsOfWallMillis(naive);
    return naive;
}

}  // namespace

CalendarFields localFields(int64_t millis) {
    CalendarFields f;
    localNaive(millis, &f);
    return f;
}

int64_t instantOfLocal(const CalendarFields& fields) {
    // Win32 refuses out-of-range fields: carry them first.
    const int64_t naive = civil::wallMillisOfFields(fields);
    const int year = civil::fieldsOfWallMillis(naive).year;
    const TIME_ZONE_INFORMATION tzi = zoneRules().forYear(std::clamp(year, 1601, 30827));
    const int64_t standard = naive + int64_t{tzi.Bias + tzi.StandardBias} * 60'000;
    const int64_t daylight = naive + int64_t{tzi.Bias + tzi.DaylightBias} * 60'000;
    if (standard == daylight) return standard;
    const bool standardValid = localNaive(standard, nullptr) == naive;
    const bool daylightValid = localNaive(daylight, nullptr) == naive;
    if (standardValid && daylightValid) return std::min(standard, daylight);
    if (daylightValid) return daylight;
    return standard;
}

}  // namespace win
