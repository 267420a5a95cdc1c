// The chart model's data: reading the data file within the time window, gap
// filling, the displayed range and the data-period caption.

#include "chart/ChartMath.h"
#include "chart/DataRecord.h"
#include "chart/Indication_Data.h"
#include "chart/LocalTimeCache.h"

#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <unordered_set>

namespace {

void report(const std::string& message) {
    Indication_Tools::Outils_AfficheMsg(Indication_Data::thisClassName, message, true);
}
void reportAlways(const std::string& message) {
    Indication_Tools::Outils_AfficheMsg_System(Indication_Data::thisClassName, message, true);
}

// Bad records are reported one by one up to this count; the rest are counted.
constexpr int kReportedBadRecords = 100;
// A bad line is quoted up to this many bytes: a binary file may hold huge lines.
constexpr size_t kQuotedLineBytes = 200;

// The quoted form of a bad line: shown text, without control characters.
std::string quoteLine(std::string_view line) {
    const bool cut = line.size() > kQuotedLineBytes;
    std::string text = Indication_Tools::toUtf8(cut ? line.substr(0, kQuotedLineBytes) : line);
    if (cut) {
        // Do not leave half a character behind.
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0x80) != 0) {
            const bool lead = (static_cast<unsigned char>(text.back()) & 0xC0) == 0xC0;
            text.pop_back();
            if (lead) break;
        }
        text += "...";
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    }
    return text;
}

// Single-precision bounds must stay finite, and so must their difference.
constexpr double kFloatLimit = 1e38;

float toSingle(double v) { return static_cast<float>(std::clamp(v, -kFloatLimit, kFloatLimit)); }

}  // namespace

Indication_Data::TimeWindow Indication_Data::Data_TimeWindow() const {
    TimeWindow w;
    w.end = dModeGraphicsData_DurationEnd ? *dModeGraphicsData_DurationEnd : Platform::current().nowMillis();
    int64_t unit = 0;
    switch (iModeGraphicsData) {
        case MODEGRAPH_MONTH:
            unit = TIME_MONTH_DURATION * TIME_DAYTOMILLISECOND;
            break;
        case MODEGRAPH_DAY:
            unit = w.step = TIME_DAYTOMILLISECOND;
            break;
        case MODEGRAPH_HOUR:
            unit = w.step = TIME_HOURTOMILLISECOND;
            break;
        case MODEGRAPH_MINUTE:
            unit = w.step = TIME_MINUTETOMILLISECOND;
            break;
        default:
            w.start = w.end;
            return w;
    }
    w.windowed = true;
    w.start = w.end - int64_t{iModeGraphicsData_Duration} * unit;
    return w;
}

bool Indication_Data::ReadData() { return ReadData(szFileData_Values); }

bool Indication_Data::ReadData(const std::optional<std::string>& path) {
    if (!path) {
        report("Pas de fichier de valeurs définies !");
        return false;
    }
    try {
        return Data_ReadFile(*path);
    } catch (const std::exception& e) {
        // Out of memory on a huge file, for instance: the previous series stays.
        report("(ReadData) Error with " + *path + " : " + e.what());
        return false;
    }
}

bool Indication_Data::Data_ReadFile(const std::string& path) {
    const TimeWindow window = Data_TimeWindow();
    // A period of 0 reads the whole file (still with the mode's gap step).
    const bool whole = !window.windowed || window.start == window.end;
    if (whole) {
        report("* Read All Datas from : " + path);
    } else {
        report("* Read Data from : " + path + " [" + Indication_Tools::getDisplayDate(window.start) + "; " +
               Indication_Tools::getDisplayDate(window.end) + "]");
    }

    std::string bytes;
    std::string error;
    if (!Platform::current().readFile(path, bytes, error)) {
        report("(ReadData) Error with " + path + " : " + error);
        return false;
    }

    std::vector<int64_t> dates;
    std::vector<double> values;
    LocalTimeCache clock;
    const bool skipWeekends = !bDate_DispWeekDay && iModeGraphicsData == MODEGRAPH_DAY;
    const int64_t step = window.step;

    // Files list their records in increasing time, so a point later than every
    // entry so far cannot be a duplicate; the hash set is only built (from the
    // series) once a record comes out of order.
    int64_t latest = INT64_MIN;
    std::unordered_set<int64_t> seen;
    bool useSeen = false;
    auto append = [&](int64_t date, double value) {
        dates.push_back(date);
        values.push_back(value);
        latest = std::max(latest, date);
        if (useSeen) seen.insert(date);
    };

    int64_t gapBudget = DATA_MAX_GAP_ENTRIES;
    int64_t unfilledGaps = 0;
    int badRecords = 0;

    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        // A line ends at LF, CR or CR LF.
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* lineEnd = lf ? lf : end;
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(lineEnd - p)));
        const char* next;
        if (cr) {
            lineEnd = cr;
            next = (cr + 1 < end && cr[1] == '\n') ? cr + 2 : cr + 1;
        } else {
            next = lf ? lf + 1 : end;
        }
        const std::string_view line = trimDataLine(std::string_view(p, static_cast<size_t>(lineEnd - p)));
        p = next;

        DataRecord r;
        switch (parseDataLine(line, r, error)) {
            case DataLine::Skipped:
                continue;
            case DataLine::Bad:
                if (++badRecords <= kReportedBadRecords && Indication_Tools::debugMode) {
                    report("(ReadData) Error with data \"" + quoteLine(line) + "\" : " + error);
                }
                continue;
            case DataLine::Record:
                break;
        }
        const int64_t date = clock.toMillis(r.year, r.month, r.day, r.hour, r.minute, r.second);
        if (!whole && (date < window.start || date > window.end)) continue;
        if (skipWeekends) {
            const int weekday = Platform::current().toLocal(date).weekday;
            if (weekday == 0 || weekday == 6) continue;
        }
        if (date <= latest) {
            if (!useSeen) {
                seen.reserve(dates.size() * 2);
                seen.insert(dates.begin(), dates.end());
                useSeen = true;
            }
            if (seen.count(date) != 0) continue;  // the first one in the file wins
        }
        if (step > 0 && !dates.empty() && date - dates.back() > step) {
            // Entries at last + step, last + 2 step, ... while still short of date.
            const int64_t needed = (date - dates.back() - 1) / step;
            if (needed <= gapBudget) {
                gapBudget -= needed;
                for (int64_t k = 0; k < needed; ++k) append(dates.back() + step, values.back());
            } else {
                ++unfilledGaps;
            }
        }
        append(date, r.value);
    }

    if (badRecords > kReportedBadRecords) {
        report("(ReadData) Error with " + path + " : " + std::to_string(badRecords - kReportedBadRecords) +
               " more bad records not shown");
    }
    if (unfilledGaps > 0) {
        reportAlways("(ReadData) Error with " + path + " : " + std::to_string(unfilledGaps) +
                     " gap(s) left unfilled (more than " + std::to_string(DATA_MAX_GAP_ENTRIES) +
                     " entries to insert in all)");
    }
    if (dates.empty()) {
        reportAlways("(ReadData) Error with " + path + " : no data found!");
        return false;
    }
    vecGraph_Date = std::move(dates);
    vecGraph_Data = std::move(values);
    Data_ClampRange();
    return true;
}

bool Indication_Data::Data_InitMinMax() {
    bool found = false;
    switch (iModeGraphicsData) {
        case MODEGRAPH_MONTH:
        case MODEGRAPH_DAY:
        case MODEGRAPH_HOUR:
        case MODEGRAPH_MINUTE: {
            const TimeWindow window = Data_TimeWindow();
            found = Data_getMinMax(window.start, window.end);
            // A period of 0 reads the whole file to show it: with nothing after
            // the window end, the whole series is what there is to show.
            if (!found && window.start == window.end) {
                const size_t n = std::min(vecGraph_Date.size(), vecGraph_Data.size());
                if (n > 0) {
                    Data_setMinMax(0, n - 1);
                    found = true;
                }
            }
            break;
        }
        default:
            break;
    }
    // The range kept after a failure may come from a longer series.
    if (!found) Data_ClampRange();
    return found;
}

bool Indication_Data::Data_HasDisplayedRange() const {
    const size_t n = std::min(vecGraph_Date.size(), vecGraph_Data.size());
    if (n == 0) return false;
    // Without a window there is no range to find: nothing changes there.
    if (!chart::isWindowMode(iModeGraphicsData)) return true;
    const TimeWindow window = Data_TimeWindow();
    if (window.start == window.end) return true;  // the whole series at worst
    const int64_t start = std::min(window.start, window.end);
    return std::any_of(vecGraph_Date.begin(), vecGraph_Date.begin() + static_cast<std::ptrdiff_t>(n),
                       [start](int64_t d) { return d > start; });
}

bool Indication_Data::Data_getMinMax(int64_t start, int64_t end) {
    if (!(start < end)) std::swap(start, end);
    const size_t n = std::min(vecGraph_Date.size(), vecGraph_Data.size());
    size_t i = 0;
    while (i < n && vecGraph_Date[i] <= start) ++i;
    if (i == n) return false;
    size_t j = i;
    while (j + 1 < n && vecGraph_Date[j + 1] <= end) ++j;
    Data_setMinMax(i, j);
    return true;
}

void Indication_Data::Data_setMinMax(size_t i, size_t j) {
    float smallest = toSingle(vecGraph_Data[i]);
    float largest = smallest;
    bool clamped = std::abs(vecGraph_Data[i]) > kFloatLimit;
    for (size_t k = i + 1; k <= j; ++k) {
        const float v = toSingle(vecGraph_Data[k]);
        clamped = clamped || std::abs(vecGraph_Data[k]) > kFloatLimit;
        smallest = std::min(smallest, v);
        largest = std::max(largest, v);
    }
    if (clamped) report("(Data_getMinMax) values beyond 1e38 are shown as 1e38");
    y_MinReal = smallest;
    y_Min = std::min(0.0f, smallest);
    y_Max = std::max(0.0f, largest);
    if (bModeGraphicsData_ZoomValues && smallest > 0) y_Min = std::trunc(smallest);
    xi_Min = static_cast<int>(i);
    xi_Max = static_cast<int>(j);

    const int64_t first = vecGraph_Date[i];
    const int64_t last = vecGraph_Date[j];
    reportAlways("Image from " + Indication_Tools::getDate(first, true) + " " + Indication_Tools::getTime(first) +
                 " to " + Indication_Tools::getDate(last, true) + " " + Indication_Tools::getTime(last));
}

bool Indication_Data::Data_RangeIsValid() const {
    const size_t n = std::min(vecGraph_Date.size(), vecGraph_Data.size());
    return xi_Min >= 0 && xi_Min <= xi_Max && static_cast<size_t>(xi_Max) < n;
}

void Indication_Data::Data_ClampRange() {
    if (Data_RangeIsValid()) return;
    const int n = static_cast<int>(std::min(vecGraph_Date.size(), vecGraph_Data.size()));
    xi_Max = std::clamp(xi_Max, 0, std::max(n - 1, 0));
    xi_Min = std::clamp(xi_Min, 0, xi_Max);
}

std::string Indication_Data::Data_getData() {
    // Nothing to caption before a successful read (or after finalize).
    if (!Data_RangeIsValid()) Data_ClampRange();
    if (!Data_RangeIsValid()) return std::string();
    const int64_t first = vecGraph_Date[static_cast<size_t>(xi_Min)];
    const int64_t last = vecGraph_Date[static_cast<size_t>(xi_Max)];
    const CalendarFields f = Platform::current().toLocal(first);
    const CalendarFields l = Platform::current().toLocal(last);
    auto day = [this](int64_t t) { return Indication_Tools::getDate(t, bDateFormat_French).substr(0, 5); };
    auto time = [](int64_t t) { return Indication_Tools::getTime(t).substr(0, 5); };
    if (f.day == l.day && f.month == l.month && f.year == l.year) {
        return day(first) + " - " + time(first) + " > " + time(last);
    }
    return day(first) + " > " + day(last) + " - " + time(last);
}

bool Indication_Data::setGraphicsMode(int mode) {
    switch (mode) {
        case MODEGRAPH_NOMODE:
        case MODEGRAPH_MONTH:
        case MODEGRAPH_DAY:
        case MODEGRAPH_HOUR:
        case MODEGRAPH_MINUTE:
            iModeGraphicsData = mode;
            break;
        default:
            break;
    }
    return Data_InitMinMax();
}
