// The chart model's data: reading the data file within the time window, gap
// filling, the displayed range and the data-period caption.

#include "chart/ChartMath.h"
#include "chart/ChartOutput.h"
#include "chart/DataFileCache.h"
#include "chart/DataFileRecords.h"
#include "chart/Indication_Data.h"

#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

namespace {

void report(const std::string& message) {
    Indication_Tools::Outils_AfficheMsg(Indication_Data::thisClassName, message, true);
}
void reportAlways(const std::string& message) {
    Indication_Tools::Outils_AfficheMsg_System(Indication_Data::thisClassName, message, true);
}

// Single-precision bounds must stay finite, and so must their difference.
constexpr double kFloatLimit = 1e38;

float toSingle(double v) { return static_cast<float>(std::clamp(v, -kFloatLimit, kFloatLimit)); }

// The series of a chart's time window, chosen from the data file's records
// as they come in file order: records outside the window, weekend days of a
// day chart and repeated instants left out (the first one in the file wins),
// gaps filled with the last value. The series is in time order, however the
// file lists its records: a file written newest first is drawn as it is
// meant, not mirrored.
class SeriesSelection final : public DataChunkSink {
public:
    // The window is [start, end], unless whole; step > 0 fills gaps; now
    // tells records of the future from the others.
    // With sessions, gaps are filled inside them only: closed time is no gap.
    SeriesSelection(int64_t start, int64_t end, int64_t step, bool whole, bool skipWeekends, int64_t now,
                    const OpenTime* sessions = nullptr)
        : start_(start), end_(end), step_(step), whole_(whole), skipWeekends_(skipWeekends),
          freshLimit_(now + kClockMargin), farLimit_(now + kFarAhead), sessions_(sessions) {}

    // Clocks differ: a record this far ahead may still be the newest.
    static constexpr int64_t kClockMargin = Indication_Data::TIME_HOURTOMILLISECOND;
    // Past this, a date is a typo rather than a forecast.
    static constexpr int64_t kFarAhead = 30 * Indication_Data::TIME_DAYTOMILLISECOND;

    void take(const DataChunk& chunk) override {
        records += static_cast<int64_t>(chunk.dates.size());
        noteAges(chunk);
        // Records outside the window count for nothing.
        if (!whole_ && (chunk.latest < start_ || chunk.earliest > end_)) return;
        const size_t n = chunk.dates.size();
        for (size_t k = 0; k < n; ++k) {
            const int64_t date = chunk.dates[k];
            if (!whole_ && (date < start_ || date > end_)) continue;
            if (skipWeekends_) {
                const int weekday = Platform::current().toLocal(date).weekday;
                if (weekday == 0 || weekday == 6) continue;
            }
            if (sorting_) {
                kept_.emplace_back(date, chunk.values[k]);
            } else if (dates.empty() || date > lastRecord_) {
                append(date, chunk.values[k]);
            } else if (date < lastRecord_) {
                startSorting();
                kept_.emplace_back(date, chunk.values[k]);
            }
            // else the same instant as the record before: the first one wins
        }
    }

    // Once every record is in: those that came out of time order take their place.
    void finish() {
        if (!sorting_) return;
        // Stable: of records at one instant, the first in the file stays first.
        std::stable_sort(kept_.begin(), kept_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        dates.clear();
        values.clear();
        gaps_.clear();
        unfilledGaps = 0;
        gapBudget_ = Indication_Data::DATA_MAX_GAP_ENTRIES;
        for (const auto& [date, value] : kept_) {
            if (dates.empty() || date != lastRecord_) append(date, value);
        }
        kept_.clear();
        kept_.shrink_to_fit();
    }

    // Adds to days (sorted) the local days of sessions, each day's all within
    // [from, to], on which no record of the file lies while records lie before
    // and after them: an exchange closure the calendar did not know of.
    void addDaysWithoutRecords(const TradingCalendar::Sessions& sessions, int64_t from, int64_t to,
                               std::vector<int64_t>& days) const {
        if (!newest) return;
        Platform& p = Platform::current();
        size_t next = 0;  // the first record (not a filled entry) not before the session
        size_t gap = 0;
        auto skipBefore = [&](int64_t t) {
            while (next < dates.size()) {
                if (gap < gaps_.size() && gaps_[gap].first == next) {
                    next += gaps_[gap++].second;
                    continue;
                }
                if (dates[next] >= t) return;
                ++next;
            }
        };
        for (size_t i = 0; i < sessions.size();) {
            const CalendarFields f = p.toLocal(sessions[i].first);
            const int64_t day = civil::daysFromCivil(f.year, f.month, f.day);
            bool inside = true, recorded = false;
            const int64_t open = sessions[i].first;
            int64_t close = open;
            for (; i < sessions.size(); ++i) {
                const CalendarFields g = p.toLocal(sessions[i].first);
                if (civil::daysFromCivil(g.year, g.month, g.day) != day) break;
                inside = inside && sessions[i].first >= from && sessions[i].second <= to;
                skipBefore(sessions[i].first);
                recorded = recorded || (next < dates.size() && dates[next] <= sessions[i].second);
                close = sessions[i].second;
            }
            if (inside && !recorded && oldest < open && *newest > close)
                days.insert(std::upper_bound(days.begin(), days.end(), day), day);
        }
    }

    std::vector<int64_t> dates;
    std::vector<double> values;
    int64_t unfilledGaps = 0;
    int64_t records = 0;            // the records of the file, in the window or not
    int64_t oldest = INT64_MAX;     // the oldest of them
    std::optional<int64_t> newest;  // the newest of them not in the future
    int64_t farAhead = 0;           // records dated past farLimit_, and the latest of them
    int64_t farthest = INT64_MIN;

private:
    void noteAges(const DataChunk& chunk) {
        if (chunk.dates.empty()) return;
        oldest = std::min(oldest, chunk.earliest);
        if (chunk.latest <= freshLimit_) {
            newest = std::max(newest.value_or(INT64_MIN), chunk.latest);
            return;
        }
        for (const int64_t date : chunk.dates) {
            if (date <= freshLimit_) {
                newest = std::max(newest.value_or(INT64_MIN), date);
            } else if (date > farLimit_) {
                ++farAhead;
                farthest = std::max(farthest, date);
            }
        }
    }

    // A record later than every entry so far, after the entries that fill its gap.
    void append(int64_t date, double value) {
        if (step_ > 0 && !dates.empty() && date - dates.back() > step_) {
            // Entries at last + step, last + 2 step, ... while still short of date.
            const int64_t needed = (date - dates.back() - 1) / step_;
            if (needed <= gapBudget_) {
                gapBudget_ -= needed;
                const size_t at = dates.size();
                const int64_t last = dates.back();
                const double previous = values.back();
                for (int64_t i = 1; i <= needed; ++i) {
                    const int64_t t = last + i * step_;
                    if (sessions_ != nullptr && !sessions_->open(t)) continue;
                    dates.push_back(t);
                    values.push_back(previous);
                }
                gaps_.emplace_back(at, dates.size() - at);
            } else {
                ++unfilledGaps;
            }
        }
        dates.push_back(date);
        values.push_back(value);
        lastRecord_ = date;
    }

    // A record came out of time order: from here the records are kept, to be
    // sorted once all are in; those so far are the series less its filled gaps.
    void startSorting() {
        sorting_ = true;
        kept_.reserve(dates.size() + 1);
        size_t gap = 0;
        for (size_t i = 0; i < dates.size();) {
            if (gap < gaps_.size() && gaps_[gap].first == i) {
                i += gaps_[gap++].second;
                continue;
            }
            kept_.emplace_back(dates[i], values[i]);
            ++i;
        }
    }

    const int64_t start_;
    const int64_t end_;
    const int64_t step_;
    const bool whole_;
    const bool skipWeekends_;
    const int64_t freshLimit_;
    const int64_t farLimit_;
    const OpenTime* const sessions_;
    int64_t lastRecord_ = INT64_MIN;                   // the last record appended
    std::vector<std::pair<size_t, size_t>> gaps_;      // filled entries: first index, count
    bool sorting_ = false;
    std::vector<std::pair<int64_t, double>> kept_;     // the records, while sorting
    int64_t gapBudget_ = Indication_Data::DATA_MAX_GAP_ENTRIES;
};

// "1 record", "2 records".
std::string counted(int64_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// How many record lines did not read, and the first of them.
std::string unreadableText(const DataFileRecords& records, int64_t read) {
    const DataBadLine& first = records.badLines.front();
    return std::to_string(records.badCount) + " of " + counted(read + records.badCount, "record line") +
           " unreadable (the first, line " + std::to_string(first.line) + ": \"" + first.quoted + "\" : " +
           first.error + ")";
}

}  // namespace

void Indication_Data::tellFindings(const std::string& path, uint64_t contentKey, std::vector<std::string> findings) {
    if (findings.empty()) return;
    // Told once for each content of the file, by the first chart of the list
    // that reads it: within a pass, the writer tells it in the list's order.
    DataFileCache* const cache = context_.dataFiles;
    for (std::string& finding : findings) finding = "(ReadData) Error with " + path + " : " + finding;
    if (context_.output != nullptr) {
        context_.output->holdFindings(cache, path, contentKey, thisClassName, std::move(findings));
        return;
    }
    if (cache != nullptr && !cache->firstTelling(path, contentKey)) return;
    for (const std::string& finding : findings) reportAlways(finding);
}

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
    const std::shared_ptr<const TradingCalendar>& drawn = drawnCalendar();
    if (drawn && iModeGraphicsData_Duration > 0 && iModeGraphicsData != MODEGRAPH_MONTH) {
        Platform& p = Platform::current();
        const int64_t end = w.end;
        if (const std::optional<TradingWindow>& m = tradingWindow_;
            m && m->calendar == drawn && m->platform == &p && m->end == end && m->mode == iModeGraphicsData &&
            m->duration == iModeGraphicsData_Duration)
            return m->window;
        auto keep = [&](const TimeWindow& found) {
            tradingWindow_ = TradingWindow{drawn, &p, end, iModeGraphicsData, iModeGraphicsData_Duration, found};
            return found;
        };
        if (iModeGraphicsData == MODEGRAPH_DAY) {
            // The last sessions, the current one whole: before the open, the
            // last complete one.
            TradingCalendar::Sessions found;
            if (const auto sessions = drawn->lastSessions(p, w.end, iModeGraphicsData_Duration, &found)) {
                // The axis runs to the close; the records read, to now at
                // the latest: a live chart's curve grows from the left.
                w.axisStart = sessions->first;
                w.start = sessions->first - 1;  // a record at the open is drawn
                w.axisEnd = sessions->second;
                w.end = std::min(w.end, sessions->second);
                w.sessions = std::move(found);
                return keep(w);
            }
        } else {
            const int64_t amount =
                std::min<int64_t>(iModeGraphicsData_Duration, INT64_MAX / unit) * unit;
            w.sessions.emplace();
            w.start = w.axisStart = drawn->openBack(p, w.end, amount, &*w.sessions);
            w.axisEnd = w.end;
            return keep(w);
        }
    }
    if (iModeGraphicsData == MODEGRAPH_MONTH && bModeGraphicsData_CalendarMonths) {
        // The same local day and time whole months back, on the month's last
        // day when it is shorter.
        Platform& p = Platform::current();
        CalendarFields f = p.toLocal(w.end);
        const int64_t months = int64_t{f.year} * 12 + (f.month - 1) - std::clamp(iModeGraphicsData_Duration, -1200000, 1200000);
        f.year = static_cast<int>(civil::floorDiv(months, 12));
        f.month = static_cast<int>(months - int64_t{f.year} * 12) + 1;
        f.day = std::min(f.day, civil::daysInMonth(f.year, f.month));
        w.start = w.axisStart = p.fromLocal(f);
        w.axisEnd = w.end;
        return w;
    }
    w.start = w.axisStart = w.end - int64_t{iModeGraphicsData_Duration} * unit;
    w.axisEnd = w.end;
    return w;
}

bool Indication_Data::ReadData() { return ReadData(szFileData_Values); }

bool Indication_Data::ReadData(const std::optional<std::string>& path) {
    if (!path) {
        report("Pas de fichier de valeurs définies !");
        loadFailed(ChartFailure::configuration,
                   "GRAPH_DATA_FILE is missing in " + szFileData.value_or("the graph file") + ": no data file to read!");
        return false;
    }
    try {
        return Data_ReadFile(*path);
    } catch (const std::exception& e) {
        // Out of memory on a huge file, for instance: the previous series stays.
        report("(ReadData) Error with " + *path + " : " + e.what());
        loadFailed(ChartFailure::dataFile, "(ReadData) Error with " + *path + " : " + e.what());
        return false;
    }
}

bool Indication_Data::Data_ReadFile(const std::string& path) {
    tradingWindow_.reset();  // each read asks the calendar anew,
    calendarDrawn.reset();   // and finds the days without records anew
    // Without a pass's cache, nothing is kept: the file streams through.
    DataFileCache uncached(0);
    DataFileCache& cache = context_.dataFiles != nullptr ? *context_.dataFiles : uncached;
    std::optional<OpenTime> sessions;
    std::optional<SeriesSelection> selected;
    std::shared_ptr<const DataFileRecords> records;
    std::vector<int64_t> unrecorded;
    for (int round = 0;; ++round) {
        const TimeWindow window = Data_TimeWindow();
        // A period of 0 reads the whole file (still with the mode's gap step).
        const bool whole = !window.windowed || window.start == window.end;
        if (whole) {
            report("* Read All Datas from : " + path);
        } else {
            report("* Read Data from : " + path + " [" + Indication_Tools::getDisplayDate(window.start) + "; " +
                   Indication_Tools::getDisplayDate(window.end) + "]");
        }
        const std::shared_ptr<const TradingCalendar>& drawn = drawnCalendar();
        TradingCalendar::Sessions open;
        sessions.reset();
        if (drawn && !whole) {
            open = window.sessions ? *window.sessions
                                   : drawn->sessionsBetween(Platform::current(), window.axisStart, window.axisEnd);
            sessions.emplace(open, window.axisStart, window.axisEnd);
        }
        selected.emplace(window.start, window.end, window.step, whole,
                         !calendar && !bDate_DispWeekDay && iModeGraphicsData == MODEGRAPH_DAY,
                         Platform::current().nowMillis(), sessions ? &*sessions : nullptr);
        std::string error;
        if (!cache.read(path, *selected, records, error)) {
            report("(ReadData) Error with " + path + " : " + error);
            loadFailed(ChartFailure::dataFile, "(ReadData) Error with " + path + " : " + error);
            return false;
        }
        selected->finish();
        // Open days without a record between records close too: the window
        // then counts further back. A few rounds find them all but in data
        // missing for weeks, which is then drawn as it is.
        if (!bTradingDays_NeedRecords || !drawn || whole || round == kUnrecordedRounds) break;
        const size_t known = unrecorded.size();
        selected->addDaysWithoutRecords(open, window.axisStart, window.axisEnd, unrecorded);
        if (unrecorded.size() == known) break;
        calendarDrawn = std::make_shared<const TradingCalendar>(calendar->closedAlso(unrecorded));
    }
    SeriesSelection& selection = *selected;
    // 0 for a file read without a single record: as stale as data can be.
    newestRecord = selection.newest.value_or(0);
    unreadableLines = records->badCount;

    if (Indication_Tools::debugMode) {
        for (const DataBadLine& bad : records->badLines) {
            report("(ReadData) Error with data \"" + bad.quoted + "\" : " + bad.error);
        }
    }
    if (records->badCount > DataFileRecords::kListedBadLines) {
        report("(ReadData) Error with " + path + " : " +
               std::to_string(records->badCount - DataFileRecords::kListedBadLines) + " more bad records not shown");
    }
    if (selection.records == 0 && records->badCount > 0) {
        // Not one record reads: the feed changed its format, the window is not empty.
        const std::string text = "(ReadData) Error with " + path + " : " + unreadableText(*records, 0) +
                                 ", no record read";
        report(text);
        loadFailed(ChartFailure::dataFormat, text);
        return false;
    }
    std::vector<std::string> findings;
    if (records->badCount > 0) findings.push_back(unreadableText(*records, selection.records) + ", left out");
    if (records->outOfOrder > 0) {
        findings.push_back("not in time order (" + counted(records->outOfOrder, "record") +
                           " dated before the record above them, the first on line " +
                           std::to_string(records->firstOutOfOrderLine) + "): drawn in time order");
    }
    if (selection.farAhead > 0) {
        findings.push_back(counted(selection.farAhead, "record") + " dated more than 30 days ahead, the latest " +
                           Indication_Tools::getDisplayDate(selection.farthest) +
                           ": not taken for the newest record");
    }
    tellFindings(path, records->contentKey, std::move(findings));

    std::vector<int64_t>& dates = selection.dates;
    std::vector<double>& values = selection.values;
    const int64_t unfilledGaps = selection.unfilledGaps;

    if (unfilledGaps > 0) {
        reportAlways("(ReadData) Error with " + path + " : " + std::to_string(unfilledGaps) +
                     " gap(s) left unfilled (more than " + std::to_string(DATA_MAX_GAP_ENTRIES) +
                     " entries to insert in all)");
    }
    if (dates.empty()) {
        reportAlways("(ReadData) Error with " + path + " : no data found!");
        // Read, but nothing in the window: not a failure (a market closed for the night).
        if (loadFailure.cause == ChartFailure::none) loadFailure.noData = true;
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

std::optional<OpenTime> Indication_Data::Data_TradingAxis() const {
    const std::shared_ptr<const TradingCalendar>& drawn = drawnCalendar();
    if (!drawn) return std::nullopt;
    TimeWindow w = Data_TimeWindow();
    if (!w.windowed || w.start == w.end) return std::nullopt;
    const int64_t from = std::min(w.axisStart, w.axisEnd);
    return OpenTime(w.sessions ? std::move(*w.sessions) : drawn->sessionsBetween(Platform::current(), from, w.axisEnd),
                    from, w.axisEnd);
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

std::string Indication_Data::Data_getData() const {
    // Nothing to caption before a successful read (or after finalize); a
    // range an earlier, longer series left is taken into this one.
    const int n = static_cast<int>(std::min(vecGraph_Date.size(), vecGraph_Data.size()));
    if (n == 0) return std::string();
    const int hi = std::clamp(xi_Max, 0, n - 1);
    const int lo = std::clamp(xi_Min, 0, hi);
    const int64_t first = vecGraph_Date[static_cast<size_t>(lo)];
    const int64_t last = vecGraph_Date[static_cast<size_t>(hi)];
    Platform& p = Platform::current();
    auto sameDay = [](const CalendarFields& a, const CalendarFields& b) {
        return a.day == b.day && a.month == b.month && a.year == b.year;
    };
    auto day = [this](int64_t t) { return Indication_Tools::getDate(t, bDateFormat_French).substr(0, 5); };
    auto time = [](int64_t t) { return Indication_Tools::getTime(t).substr(0, 5); };
    // With trading sessions the dates are those of the first and last
    // session on the axis, records or not: a first session the data starts
    // late in, a last one whose records are not in yet. The times stay the
    // records'; a last session without any has none to give.
    int64_t firstDay = first;
    int64_t lastDay = last;
    if (const std::shared_ptr<const TradingCalendar>& drawn = drawnCalendar()) {
        // The days at the ends of the axis are enough: asking the calendar
        // for every session on it would cost the drawing as much again.
        const TimeWindow w = Data_TimeWindow();
        if (w.windowed && w.start != w.end) {
            const int64_t from = std::min(w.axisStart, w.axisEnd);
            const std::optional<int64_t> open = drawn->openAtOrAfter(p, from);
            const auto lastDaySessions = drawn->lastSessions(p, w.axisEnd - 1, 1);
            if (open && lastDaySessions && *open < w.axisEnd && lastDaySessions->second > from) {
                firstDay = *open;
                lastDay = std::max(lastDaySessions->first, *open);
            }
        }
    }
    const CalendarFields f = p.toLocal(firstDay);
    const CalendarFields l = p.toLocal(lastDay);
    if (sameDay(f, l)) return day(firstDay) + " - " + time(first) + " > " + time(last);
    const std::string period = day(firstDay) + " > " + day(lastDay);
    if (lastDay != last && !sameDay(p.toLocal(last), l)) return period;
    return period + " - " + time(last);
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
