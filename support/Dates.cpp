// Date parsing from the data-file forms, day counts and spans.

#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int64_t DAY_MS = 86400000;
constexpr const char* DATE_KEY = "GRAPH_DURATION_PERIOD_WEDGE_DATE";
constexpr const char* TIME_KEY = "GRAPH_DURATION_PERIOD_WEDGE_TIME";

void report(const std::string& message) {
    Indication_Tools::Outils_AfficheMsg(Indication_Tools::thisClassName, message, true);
}

// Reads the characters [start, start + count) of text as a decimal integer;
// on failure describes why in error.
bool readField(std::string_view text, size_t start, size_t count, const char* what, int& out, std::string& error) {
    std::string_view piece = utf8::substr(text, start, count);
    std::optional<int32_t> v = Indication_Tools::parseDecimalInt(piece);
    if (!v) {
        error = std::string(what) + " \"" + std::string(piece) + "\" is not a number";
        return false;
    }
    out = *v;
    return true;
}

constexpr const char* MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string dayMonthYearTime(int year, int month, int day, int hour, int minute, int second) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d %s %d %02d:%02d:%02d", day, MONTHS[(month + 11) % 12], year, hour, minute,
                  second);
    return buf;
}

}  // namespace

int64_t Indication_Tools::getDateFromBdd(const std::optional<std::string>& date,
                                         const std::optional<std::string>& time) {
    Platform& platform = Platform::current();
    const int64_t now = platform.nowMillis();
    if (!date) {
        report(std::string("Error with ") + DATE_KEY + " : not found or not correct (format: YYYYMMDD)!");
        return now;
    }
    if (utf8::length(*date) != 8) return now;
    std::string timeText = "000000";
    if (!time)
        report(std::string("Error with ") + TIME_KEY + " : not found or not correct (format: HHMMSS)!");
    else if (utf8::length(*time) == 6)
        timeText = *time;

    CalendarFields fields = platform.toLocal(now);
    // A date and time written to the second stand for that whole second's
    // start: the clock's milliseconds would move the window end past a record
    // stamped exactly at the window start.
    fields.millisecond = 0;
    int a = 0, b = 0, c = 0;
    std::string error;
    if (readField(*date, 0, 4, "year", a, error) && readField(*date, 4, 2, "month", b, error) &&
        readField(*date, 6, 2, "day", c, error)) {
        fields.year = a;
        fields.month = b;
        fields.day = c;
    } else {
        report(std::string("Error with ") + DATE_KEY + " : " + error);
    }
    if (readField(timeText, 0, 2, "hour", a, error) && readField(timeText, 2, 2, "minute", b, error) &&
        readField(timeText, 4, 2, "second", c, error)) {
        fields.hour = a;
        fields.minute = b;
        fields.second = c;
    } else {
        report(std::string("Error with ") + TIME_KEY + " : " + error);
    }
    // Out-of-range fields carry into the next unit (day 32 of January is
    // 1 February).
    return platform.fromLocal(fields);
}

double Indication_Tools::getTotalDay(int64_t first, int64_t second) {
    return static_cast<double>(second - first) / 86400000.0;
}

double Indication_Tools::getWorkingDay(int64_t first, int64_t second) {
    const bool forward = first < second;
    const int64_t early = forward ? first : second;
    const int64_t late = forward ? second : first;
    Platform& platform = Platform::current();
    const CalendarFields start = platform.toLocal(early);
    // The k-th calendar day after early, at early's local time of day. Computed
    // from the start every time, so a daylight-saving change does not drift it.
    auto dayAfter = [&](int64_t k) {
        CalendarFields f = start;
        f.day += static_cast<int>(k);
        return platform.fromLocal(f);
    };
    // Any 7 consecutive days hold exactly two weekend days, so whole weeks are
    // counted without visiting them; a clock change moves a day by an hour at
    // most, which the two days of margin absorb.
    const int64_t spanDays = std::min<int64_t>((late - early) / DAY_MS, int64_t{1} << 30);
    int64_t k = std::max<int64_t>(0, spanDays - 2) / 7 * 7;
    int64_t weekend = k / 7 * 2;
    for (int64_t t = dayAfter(k); t < late; t = dayAfter(++k)) {
        int wd = platform.toLocal(t).weekday;
        if (wd == 0 || wd == 6) ++weekend;
    }
    const double days = getTotalDay(early, late) - static_cast<double>(weekend);
    return forward ? days : 0.0 - days;  // equal instants give 0, not -0
}

int32_t Indication_Tools::modulo(int32_t a, int32_t b) {
    if (b < 1) return 0;  // no remainder exists; never divide by zero
    const int64_t sign = a < 0 ? -1 : 1;
    const int64_t m = (a < 0 ? -static_cast<int64_t>(a) : a) % b;
    return static_cast<int32_t>(sign * m);
}

std::string Indication_Tools::DateToTimeZone(int64_t millis, bool gmt) {
    if (!gmt) {
        CalendarFields f = Platform::current().toLocal(millis);
        return dayMonthYearTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
    }
    int64_t days = millis / DAY_MS;
    int64_t rest = millis % DAY_MS;
    if (rest < 0) {
        rest += DAY_MS;
        --days;
    }
    const civil::Date date = civil::civilFromDays(days);
    const int secs = static_cast<int>(rest / 1000);
    return dayMonthYearTime(static_cast<int>(date.year), date.month, date.day, secs / 3600, secs / 60 % 60, secs % 60) + " GMT";
}
