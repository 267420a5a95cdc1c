#pragma once
// Local time in the system's zone on Windows, from the zone's rules for each
// year as the registry holds them (read once per year). Any thread.

#include "support/CivilCalendar.h"

#include <cstdint>

namespace win {

// Milliseconds between 1601-01-01 (FILETIME's start) and 1970-01-01.
constexpr int64_t kEpochOffsetMs = 11'644'473'600'000;

// The wall-clock fields of an instant (ms since the epoch). Past what
// SYSTEMTIME holds, the zone's standard offset.
CalendarFields localFields(int64_t millis);
// The instant of wall-clock fields, out-of-range fields carried first. A
// repeated hour reads as its first occurrence, a skipped one with the
// standard offset (02:30 becomes 03:30), as on POSIX.
int64_t instantOfLocal(const CalendarFields& fields);

}  // namespace win
