#pragma once
// Arithmetic shared by the graph layout and the data drawing.
//
// Pixel arithmetic truncates toward zero. The values come from data files and
// graph files, so any of them can be wild (a huge value, a stale range, a
// zero-height scale): the conversions here saturate instead of overflowing,
// and the displayed window is always clamped to the series actually held.

#include "chart/Indication_Data.h"
#include "support/Compiler.h"
#include "support/Platform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace chart {

// Beyond these, periods and Y values only pile up on the same pixels; the caps
// keep a mistyped graph file from costing unbounded time and memory.
inline constexpr int kMaxPeriods = 1 << 20;
inline constexpr int kMaxLegendValues = 1 << 16;
// No image is taller than this, so thick lines wholly below it are skipped.
inline constexpr int kMaxImageRows = 65536;

// Truncates toward zero. NaN gives 0, values beyond the int range its nearest
// end (the same as a Java cast, which the chart arithmetic was built on).
inline int truncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

// Truncates toward zero into 64 bits, saturating like truncToInt: labels of
// volumes and capitalisations run far past the int range.
inline int64_t truncToInt64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775807.0) return INT64_MAX;
    if (v <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(v);
}

// The Y legend's text for a value: the whole number it truncates to, or,
// past 10^15, where a float's digits no longer mean anything and the whole
// number would saturate, two digits in scientific form ("1.2e19", "-1e30").
std::string valueLabel(double v);

inline int clampToInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

// a * b / d - s in 64-bit integer arithmetic (d not 0), saturating where the
// exact result would not fit; such results lie far outside any image.
inline int64_t mulDivSub(int64_t a, int64_t b, int64_t d, int64_t s) {
    int64_t product = 0;
    int64_t result = 0;
    if (!zk::multiplyChecked(a, b, product)) {
        const double q = static_cast<double>(a) * static_cast<double>(b) / static_cast<double>(d) - static_cast<double>(s);
        return q >= 9.2e18 ? INT64_MAX : (q <= -9.2e18 ? INT64_MIN : static_cast<int64_t>(q));
    }
    if (!zk::subtractChecked(product / d, s, result)) return s < 0 ? INT64_MAX : INT64_MIN;
    return result;
}

// Indexes of the first and last displayed samples, kept inside the series even
// when the range was computed for another (longer) series.
struct DisplayedWindow {
    bool valid = false;
    int first = 0;
    int last = 0;
};

inline DisplayedWindow displayedWindow(const Indication_Data& m) {
    const size_t size = std::min(m.vecGraph_Date.size(), m.vecGraph_Data.size());
    if (size == 0) return {};
    const int top = static_cast<int>(std::min<size_t>(size - 1, INT_MAX));
    return {true, std::clamp(m.xi_Min, 0, top), std::clamp(m.xi_Max, 0, top)};
}

inline bool isWindowMode(int mode) {
    return mode == Indication_Data::MODEGRAPH_MONTH || mode == Indication_Data::MODEGRAPH_DAY ||
           mode == Indication_Data::MODEGRAPH_HOUR || mode == Indication_Data::MODEGRAPH_MINUTE;
}

// Day mode with weekends hidden: Saturdays and Sundays are closed up.
// Trading sessions decide closed days themselves.
inline bool weekendsCompressed(const Indication_Data& m) {
    return m.iModeGraphicsData == Indication_Data::MODEGRAPH_DAY && !m.bDate_DispWeekDay && !m.calendar;
}

// Calendar facts of a displayed window [first, last]: the first period
// boundary after first (local time), and the weekend factor that spreads the
// working days over the whole width (total days / working days; 1 when the
// weekends are shown or there is no working time at all).
struct WindowCalendar {
    int64_t boundary = 0;
    double factor = 1.0;
};
// A chart asks for the same window several times per render and the local
// calendar is slow to query, so the last answer is kept (per thread, checked
// against the zone's offsets at both ends).
WindowCalendar windowCalendar(int64_t first, int64_t last, int mode, bool compressed);

// Where the time axis starts: at the first displayed record, or, with
// weekends closed up and that record on a Saturday or Sunday (a window
// built at the weekend starts with gap-filled weekend entries), at the
// Monday after it. Two whole days are closed up at each later weekend, so a
// window starting part-way through one would draw that Monday left of the
// axis; it starts on the Monday instead, as any week does.
int64_t axisStart(const Indication_Data& m, const DisplayedWindow& win);

// The i-th character (UTF-8 code point) of text, or of fallback when text is
// missing or holds fewer than `count` characters.
std::string labelCharacter(const std::optional<std::string>& text, std::string_view fallback, int count, int i);

// Weekday (0 = Sunday) of successive, mostly increasing instants; asks the
// local calendar once per day rather than once per sample.
class LocalWeekdays {
public:
    int weekday(int64_t t);

private:
    int64_t dayStart_ = 0;
    int64_t dayEnd_ = 0;  // empty span until the first call
    int weekday_ = 0;
};

}  // namespace chart
