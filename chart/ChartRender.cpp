// The graph around the data: background, origin and scale, X and Y legends
// with their ticks and grid lines, the period boundaries, and the axes.

#include "chart/ChartMath.h"
#include "chart/Indication_Data.h"
#include "chart/ChartCarryOver.h"
#include "chart/TimeAxis.h"
#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <optional>

#include <string>

using chart::clampToInt;
using chart::truncToInt;

namespace {

constexpr const char* kDefaultMonths = "JFMAMJJASOND";
constexpr const char* kDefaultWeekDays = "SMTWTFS";

int64_t periodStepMinutes(int mode) {
    switch (mode) {
        case Indication_Data::MODEGRAPH_MONTH: return int64_t{Indication_Data::TIME_MONTH_DURATION} * 1440;
        case Indication_Data::MODEGRAPH_DAY: return 1440;
        case Indication_Data::MODEGRAPH_HOUR: return 60;
        default: return 1;
    }
}

// A value range divided at whole steps of 1, 2, 2.5 or 5 times a power of ten.
struct RoundDivision {
    int64_t first = 0;  // the lowest label, in steps
    int64_t last = 0;   // the highest label, in steps
    double step = 0;
    int decimals = 0;
};

// The division of [lo, hi], bounds rounded outward, whose label count is
// nearest n (within one of it), the one leaving the least room on a tie.
std::optional<RoundDivision> roundDivision(double lo, double hi, int n) {
    if (n < 2 || !std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return std::nullopt;
    if (std::max(std::fabs(lo), std::fabs(hi)) >= 1e15) return std::nullopt;
    const double raw = (hi - lo) / (n - 1);
    if (!(raw > 0) || !std::isfinite(raw)) return std::nullopt;
    const int e0 = static_cast<int>(std::floor(std::log10(raw)));
    std::optional<RoundDivision> best;
    int64_t bestMiss = 0;
    double bestRoom = 0;
    for (int e = e0 - 1; e <= e0 + 1; ++e) {
        for (const double m : {1.0, 2.0, 2.5, 5.0}) {
            const double step = m * std::pow(10.0, e);
            // A hair of tolerance, so that a bound already on a step stays on it.
            const double first = std::floor(lo / step + 1e-9);
            const double last = std::ceil(hi / step - 1e-9);
            if (!(last > first) || last - first > chart::kMaxLegendValues) continue;
            const int64_t count = static_cast<int64_t>(last - first) + 1;
            const int64_t miss = std::abs(count - n);
            if (miss > 1) continue;
            const double room = (last - first) * step - (hi - lo);
            // On a tie (the same bounds) the smaller step, the more labels.
            if (best && (miss > bestMiss || (miss == bestMiss && room >= bestRoom - 1e-9 * (hi - lo)))) continue;
            const int decimals = std::max(0, (m == 2.5 ? 1 : 0) - e);
            best = RoundDivision{static_cast<int64_t>(first), static_cast<int64_t>(last), step, decimals};
            bestMiss = miss;
            bestRoom = room;
        }
    }
    return best;
}

// v with the given decimals, its whole part grouped by three with the
// separator asked for; a point as separator makes the decimal mark a comma.
std::string roundLabel(double v, int decimals, int thousands) {
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    std::string digits(text, r.ptr);
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.erase(0, 1);
    const size_t mark = digits.find('.');
    std::string whole = digits.substr(0, mark);
    const std::string fraction = mark == std::string::npos ? "" : digits.substr(mark + 1);
    const char* separator = "";
    switch (thousands) {
        case Indication_Data::THOUSANDS_SPACE: separator = " "; break;
        case Indication_Data::THOUSANDS_COMMA: separator = ","; break;
        case Indication_Data::THOUSANDS_POINT: separator = "."; break;
        default: break;
    }
    // No "-0" for a value that rounds to zero.
    const bool zero = digits.find_first_not_of("0.") == std::string::npos;
    std::string out;
    if (negative && !zero) out += '-';
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) out += separator;
        out += whole[i];
    }
    if (!fraction.empty()) {
        out += thousands == Indication_Data::THOUSANDS_POINT ? ',' : '.';
        out += fraction;
    }
    return out;
}

// Where an instant falls on the time axis: the arithmetic that places the
// data (ChartDataDraw.cpp), weekends closed up included.
class TimeScale {
public:
    TimeScale(const Indication_Data& m, const ChartLayout& layout, int xR, const chart::DisplayedWindow& win)
        : x0_(layout.RepereGraph_x0), trading_(layout.trading) {
        const int x0 = x0_;
        const int64_t first = chart::axisStart(m, win);
        const int64_t last = m.vecGraph_Date[win.last];
        tMin_ = first / Indication_Data::TIME_MINUTETOMILLISECOND;
        tMax_ = last / Indication_Data::TIME_MINUTETOMILLISECOND;
        if (tMax_ == tMin_) tMax_ = tMin_ + 1;
        width_ = int64_t{xR} - x0;
        if (trading_ && trading_->total() <= 0) trading_.reset();
        compressed_ = chart::weekendsCompressed(m);
        if (!compressed_) return;
        factor_ = chart::windowCalendar(first, last, m.iModeGraphicsData, true).factor;
        const double td = Indication_Tools::getTotalDay(first, last);
        const double weekendShift = td > 0 ? 2.0 * static_cast<double>(width_) / td : 0.0;
        // The data moves left by one weekend's shift at the first working
        // sample after each weekend; instants move from that day's start.
        Platform& p = Platform::current();
        chart::LocalWeekdays weekdays;
        bool inWeekend = false;
        int64_t shift = 0;
        for (int k = win.first; k <= win.last; ++k) {
            const int64_t t = m.vecGraph_Date[k];
            const int wday = weekdays.weekday(t);
            if (wday == 0 || wday == 6) {
                inWeekend = t >= first;
                continue;
            }
            if (!inWeekend) continue;
            inWeekend = false;
            shift += truncToInt(weekendShift);
            CalendarFields day = p.toLocal(t);
            day.hour = day.minute = day.second = day.millisecond = 0;
            shifts_.emplace_back(p.fromLocal(day), shift);
        }
    }

    bool compressed() const { return compressed_; }
    const std::optional<OpenTime>& trading() const { return trading_; }

    int x(int64_t t) const {
        if (trading_) return clampToInt(int64_t{x0_} + chart::mulDivSub(trading_->before(t), width_, trading_->total(), 0));
        int64_t shift = 0;
        for (const auto& [from, s] : shifts_) {
            if (t < from) break;
            shift = s;
        }
        int x = clampToInt(chart::mulDivSub(t / Indication_Data::TIME_MINUTETOMILLISECOND - tMin_, width_,
                                            tMax_ - tMin_, shift));
        if (compressed_) x = truncToInt(static_cast<double>(x) * factor_);
        return clampToInt(int64_t{x0_} + x);
    }

private:
    int x0_;
    std::optional<OpenTime> trading_;
    int64_t tMin_ = 0, tMax_ = 1, width_ = 0;
    bool compressed_ = false;
    double factor_ = 1.0;
    std::vector<std::pair<int64_t, int64_t>> shifts_;
};

}  // namespace

void Indication_Data::paint_RoundYValues(ChartLayout& layout) const {
    layout.vecLegende_Y_Arrondies.clear();
    const int n = std::min(iAxe_Verticale_NumberOfValues, chart::kMaxLegendValues);
    double lo = layout.y_Min, hi = layout.y_Max;
    if (lo == hi && std::isfinite(lo)) {
        // A flat series still gets a scale: a span of 2 % of its value (1
        // around zero), centred on it, rather than the one value repeated.
        const double span = lo != 0 ? std::fabs(lo) * 0.02 : 1.0;
        lo -= span / 2;
        hi += span / 2;
    }
    const std::optional<RoundDivision> d = roundDivision(lo, hi, n);
    if (!d) return;
    for (int64_t k = d->first; k <= d->last; ++k) {
        const double v = static_cast<double>(k) * d->step;
        layout.vecLegende_Y_Arrondies.emplace_back(v, roundLabel(v, d->decimals, iLegende_Y_Milliers));
    }
    layout.y_Min = static_cast<float>(layout.vecLegende_Y_Arrondies.front().first);
    layout.y_Max = static_cast<float>(layout.vecLegende_Y_Arrondies.back().first);
}

void Indication_Data::startLayout(ChartLayout& layout) const {
    layout.iGraphHistogram_NumberBar = iGraphHistogram_NumberBar;
    layout.szDate_WeekDay = szDate_WeekDay;
}

bool Indication_Data::paint_Graphics(Graphics* g, ChartLayout& layout, const Rectangle* r) const {
    // Unknown modes have no period to lay out, exactly like no mode at all.
    if (g == nullptr || r == nullptr || !chart::isWindowMode(iModeGraphicsData)) return false;

    layout.rect_AppletGraphique = *r;
    layout.trading = Data_TradingAxis();
    layout.y_Min = y_Min;
    layout.y_Max = y_Max;
    layout.vecLegende_Y_Arrondies.clear();
    if (bLegende_Y_Arrondi) paint_RoundYValues(layout);
    paint_InitGraphics(*g, layout, *r);

    int xR = r->width;
    if (bLegende_Y_Display && !bLegende_Y_Gauche)
        xR = clampToInt(int64_t{r->width} - (int64_t{layout.xLgLegende} + 3));

    layout.vecLegende_X.clear();
    if (szLegende_X_Format || calendar) paint_CalendarLegend(*g, layout, xR);

    g->setColor(colorGraph_Fond);
    const int fondHeight = layout.y_Min >= 0 ? clampToInt(int64_t{layout.RepereGraph_y0} - r->y) : r->height;
    g->fillRect(layout.RepereGraph_x0, r->y, clampToInt(int64_t{xR} - layout.RepereGraph_x0), fondHeight);

    paint_AxesLegendes(*g, layout, xR);
    if (bAxe_AfficheSessions) paint_SessionBoundaries(*g, layout, xR);
    // However far the values run, the data stays on the graph, off the captions.
    const Rectangle inside{r->x, r->y, clampToInt(int64_t{r->width} + 1), clampToInt(int64_t{r->height} + 1)};
    g->setClip(&inside);
    paint_GraphData(*g, layout, xR);
    g->setClip(nullptr);
    // The X labels come after the data: above the axis they sit inside the
    // plot, where a mountain or bars would cover them.
    g->setFont(fontGraph_Pen);
    g->setColor(colorGraph_Pen);
    paint_AxeLegende_X(*g, layout, xR, 1, g->getFontMetrics(fontGraph_Pen), false, true);
    paint_Axes(*g, layout, xR);
    return true;
}

void Indication_Data::paint_InitGraphics(Graphics& g, ChartLayout& layout, const Rectangle& r) const {
    const FontMetrics& m = g.getFontMetrics(fontGraph_Pen);

    // The turn's carry-over is taken at the first rendering, and given back.
    ChartCarryOver::Turn* const carry =
        context_.carryOver != nullptr && *context_.carryOver ? context_.carryOver : nullptr;
    int carried = layout.xLgLegende_Partagee.value_or(layout.xLgLegende);
    if (carry != nullptr) {
        ChartCarryOver::Carried before = carry->take();
        carried = before.legendWidth;
        if (!szDate_WeekDay) layout.szDate_WeekDay = std::move(before.weekDays);
    }
    // A chart with a width of its own starts from nothing and hands the
    // carried width on untouched, so the charts after it lay out as before.
    int& width = layout.xLgLegende;
    width = bLegende_Y_LargeurPropre ? 0 : carried;
    layout.xLgLegende_Partagee.reset();
    if (bLegende_Y_LargeurPropre) layout.xLgLegende_Partagee = carried;
    if (layout.vecLegende_Y_Arrondies.empty()) {
        for (float bound : {layout.y_Min, layout.y_Max}) {
            const int w = m.stringWidth(chart::valueLabel(bound));
            if (w > width) width = w + 1;
        }
    }
    for (const auto& [value, label] : layout.vecLegende_Y_Arrondies) {
        const int w = m.stringWidth(label);
        if (w > width) width = w + 1;
    }
    if (carry != nullptr)
        carry->give(ChartCarryOver::Carried{bLegende_Y_LargeurPropre ? carried : width, layout.szDate_WeekDay});

    int64_t bandReserve = 0;
    int64_t originOffset = 0;
    if (bLegende_X_Display && !bLegende_X_Dessus) {
        bandReserve = 2 * int64_t{m.getHeight()} - 8;
        originOffset = int64_t{m.getHeight()} - 4;
    }

    const float numerator =
        static_cast<float>(static_cast<double>(int64_t{r.height} - 2 * int64_t{Graph_margeVerticale} - bandReserve));
    float range = layout.y_Max - layout.y_Min;
    // A flat series (every value equal, e.g. all 0) has no height to scale:
    // lay it out as one value unit so the line sits at its value on a finite
    // scale instead of dividing by zero.
    if (range == 0.0f || std::isnan(range)) range = 1.0f;
    layout.yScale_Conv = numerator / range;

    int64_t x0 = int64_t{r.x} + 2;
    if (bLegende_Y_Display && bLegende_Y_Gauche) x0 += width;
    int64_t y0 = int64_t{r.y} + r.height - Graph_margeVerticale - originOffset;
    if (layout.y_Min < 0) {
        const float e = bLegende_X_Dessus ? 0.0f : static_cast<float>(m.getHeight() - 4);
        y0 += truncToInt(layout.y_Min * layout.yScale_Conv + e);
    }
    layout.RepereGraph_x0 = clampToInt(x0);
    layout.RepereGraph_y0 = clampToInt(y0);
}

void Indication_Data::paint_AxesLegendes(Graphics& g, const ChartLayout& layout, int xR) const {
    const int d = 1;
    const int x0 = layout.RepereGraph_x0;
    const int y0 = layout.RepereGraph_y0;
    const FontMetrics& m = g.getFontMetrics(fontGraph_Pen);

    g.setColor(colorGraph_Axe);
    g.setFont(fontGraph_Pen);
    g.setColor(colorGraph_Pen);

    paint_AxeLegende_X(g, layout, xR, d, m, true, false);

    const std::vector<std::pair<double, std::string>>& rounded = layout.vecLegende_Y_Arrondies;
    const float yMin = layout.y_Min;
    const float yMax = layout.y_Max;
    const float scale = layout.yScale_Conv;
    const bool round = !rounded.empty();
    const int n = round ? static_cast<int>(rounded.size())
                        : std::min(iAxe_Verticale_NumberOfValues, chart::kMaxLegendValues);
    const bool yLegendRight = bLegende_Y_Display && !bLegende_Y_Gauche;
    const float base = yMin > 0 ? yMin : 0.0f;
    const int halfAscent = m.getAscent() / 2;
    for (int i = 0; i < n; ++i) {
        // The value offset stays a whole float rather than an int: an int
        // overflows past 2^31 and piles every label on the axis.
        float v = 0.0f;
        double scaled = 0.0;
        if (round) {
            // Placed as the data is, from the value less the base in double.
            scaled = (rounded[i].first - static_cast<double>(base)) * scale;
        } else {
            v = n == 1 ? 0.0f : std::trunc((yMax - yMin) / static_cast<float>(n - 1) * static_cast<float>(i));
            if (std::isnan(v)) v = 0.0f;
            if (yMin < 0) v = std::trunc(v + yMin);
            scaled = v * scale;
        }
        const int yy = clampToInt(int64_t{y0} - truncToInt(scaled));

        if (bLegende_Y_Display) {
            const std::string label = round ? rounded[i].second : chart::valueLabel(base + v);
            const int64_t left = bLegende_Y_Gauche ? int64_t{x0} - m.stringWidth(label) - 2 : int64_t{xR} + 4;
            g.drawString(label, clampToInt(left), clampToInt(int64_t{yy} + halfAscent - 1));
        }
        if (bAxe_AfficheHorizontales && scaled != 0.0) {
            const Color previous = g.getColor();
            g.setColor(colorGraph_AxeBis);
            g.drawLine(x0, yy, xR, yy);
            g.setColor(previous);
        }
        g.drawLine(clampToInt(int64_t{x0} - d), yy, clampToInt(int64_t{x0} + d), yy);
        if (yLegendRight) g.drawLine(clampToInt(int64_t{xR} - d), yy, clampToInt(int64_t{xR} + d), yy);
    }
}

void Indication_Data::paint_CalendarLegend(Graphics& g, ChartLayout& layout, int xR) const {
    const chart::DisplayedWindow win = chart::displayedWindow(*this);
    if (!win.valid || win.first == win.last) return;
    const int x0 = layout.RepereGraph_x0;
    const TimeScale scale(*this, layout, xR, win);
    const FontMetrics& m = g.getFontMetrics(fontGraph_Pen);
    const chart::CalendarNames names{vecDate_MonthNames, vecDate_WeekDayNames};
    const bool useNames = names.months.size() == 12 && names.weekdays.size() == 7;
    const chart::CalendarNames& written = useNames ? names : chart::defaultCalendarNames();
    // Trading time is labelled as "auto" does unless told otherwise.
    const std::string format = szLegende_X_Format.value_or(std::string(chart::kAutoFormat));
    const bool automatic = format == chart::kAutoFormat;
    int64_t first = chart::axisStart(*this, win);
    int64_t last = vecGraph_Date[win.last];
    const int64_t width = std::max<int64_t>(int64_t{xR} - x0, 1);
    Platform& p = Platform::current();
    if (const std::optional<OpenTime>& trading = scale.trading(); trading && !trading->sessions().empty()) {
        // The whole axis, to the close, from the first session's day.
        CalendarFields day = p.toLocal(trading->sessions().front().first);
        day.hour = day.minute = day.second = day.millisecond = 0;
        first = p.fromLocal(day);
        last = trading->sessions().back().second;
    }

    // Hours over several days: each day's first label is its date.
    const auto dayOf = [](const CalendarFields& f) { return (f.year * 100 + f.month) * 100 + f.day; };
    const bool severalDays = dayOf(p.toLocal(first)) != dayOf(p.toLocal(last));

    // The finest calendar step whose labels all stand apart.
    constexpr int kGap = 4;
    for (const chart::CalendarStep& step : chart::labelSteps(format)) {
        // Far more instants than pixels cannot stand apart: not worth listing.
        if ((last - first) / step.approxMillis() > width / 4 + 2) continue;
        const std::vector<int64_t> instants =
            chart::stepInstants(p, first, last, step, static_cast<size_t>(width / 4 + 4));
        std::vector<std::pair<int, std::string>> ticks;
        bool apart = true;
        int64_t previousRight = INT64_MIN;
        int previousX = INT_MIN;
        int previousDay = -1;
        const bool daily = step.unit != chart::StepUnit::minute && step.unit != chart::StepUnit::hour;
        for (size_t k = 0; k < instants.size(); ++k) {
            const int64_t t = instants[k];
            const CalendarFields f = p.toLocal(t);
            if (scale.compressed() && (f.weekday == 0 || f.weekday == 6)) continue;
            int64_t at = t;
            if (const std::optional<OpenTime>& trading = scale.trading()) {
                if (!daily && !trading->open(t)) continue;  // closed time takes no width
                if (daily) {
                    // A day, week or month is labelled where its first session opens.
                    const auto& sessions = trading->sessions();
                    const auto next = std::lower_bound(sessions.begin(), sessions.end(), t,
                                                       [](const std::pair<int64_t, int64_t>& s, int64_t v) {
                                                           return s.first < v;
                                                       });
                    const int64_t until = k + 1 < instants.size() ? instants[k + 1] : INT64_MAX;
                    if (next == sessions.end() || next->first >= until) continue;
                    at = next->first;
                }
            }
            const int x = scale.x(at);
            if (x < x0 || x > xR) continue;
            if (x <= previousX + 1) {
                apart = false;
                break;
            }
            previousX = x;
            const bool newDay = severalDays && dayOf(f) != previousDay;
            previousDay = dayOf(f);
            std::string text = bLegende_X_Display
                                   ? chart::formatTime(automatic ? chart::autoFormat(step, f, newDay) : format,
                                                       f, written)
                                   : std::string();
            if (!text.empty()) {
                const int64_t w = m.stringWidth(text);
                int64_t left = int64_t{x} + 2;
                if (iLegende_X_Align == ALIGN_CENTER) left = x - w / 2;
                else if (iLegende_X_Align == ALIGN_RIGHT) left = x - w - 2;
                if (left < x0 || left + w > xR) {
                    text.clear();  // past an end of the axis: the tick alone
                } else {
                    if (left < previousRight + kGap) {
                        apart = false;
                        break;
                    }
                    previousRight = left + w;
                }
            }
            ticks.emplace_back(x, std::move(text));
        }
        if (!apart) continue;
        layout.vecLegende_X = std::move(ticks);
        return;
    }
}

// The first boundary of Calc_ChangeLegend is the origin x0 itself.
void Indication_Data::paint_AxeLegende_X(Graphics& g, const ChartLayout& layout, int xR, int d,
                                         const FontMetrics& m, bool marks, bool labels) const {
    const int y0 = layout.RepereGraph_y0;
    const chart::DisplayedWindow win = chart::displayedWindow(*this);
    if (!win.valid || win.first == win.last) return;
    if (szLegende_X_Format || calendar) {
        paint_CalendarLegend_X(g, layout, y0, d, m, marks, labels);
        return;
    }

    const CalendarFields start = Platform::current().toLocal(chart::axisStart(*this, win));
    int c = 0;
    switch (iModeGraphicsData) {
        case MODEGRAPH_MONTH: c = start.month - 1; break;
        case MODEGRAPH_DAY: c = start.weekday; break;
        case MODEGRAPH_HOUR: c = start.hour; break;
        default: c = start.minute; break;
    }

    const std::vector<int> xs = Calc_ChangeLegend(layout, iModeGraphicsData_Duration, xR);
    const int n = static_cast<int>(xs.size()) - 2;
    const Rectangle& r = layout.rect_AppletGraphique;
    const int gridBottom = layout.y_Min >= 0 ? y0 : clampToInt(int64_t{r.y} + r.height);
    const int baseline = bLegende_X_Dessus ? clampToInt(int64_t{y0} - d) : clampToInt(int64_t{y0} + m.getHeight() + d);

    for (int i = 0; i <= n; ++i) {
        const int x = xs[i];
        if (x > xR) continue;  // the counter stays on periods that are not shown

        if (marks && bAxe_AfficheVerticales) {
            const Color previous = g.getColor();
            g.setColor(colorGraph_AxeBis);
            g.drawLine(x, r.y, x, gridBottom);
            g.setColor(previous);
        }

        std::string label;
        if (labels && bLegende_X_Display) {
            switch (iModeGraphicsData) {
                case MODEGRAPH_MONTH: label = chart::labelCharacter(szDate_Month, kDefaultMonths, 12, c % 12); break;
                case MODEGRAPH_DAY: label = chart::labelCharacter(layout.szDate_WeekDay, kDefaultWeekDays, 7, c % 7); break;
                case MODEGRAPH_HOUR: label = std::to_string(c % 24) + "h"; break;
                default: label = std::to_string(c % 60) + "m"; break;
            }
        }
        ++c;
        if (iModeGraphicsData == MODEGRAPH_DAY && !bDate_DispWeekDay)
            while (c % 7 == 0 || c % 7 == 6) ++c;

        if (labels && bLegende_X_Display) {
            const int64_t sw = i < n ? int64_t{std::min(xs[i + 1], xR)} - x : int64_t{xR} - x;
            const int64_t width = m.stringWidth(label);
            if (width <= sw + 2) {
                int64_t left = int64_t{x} + 2;
                if (iLegende_X_Align == ALIGN_CENTER) left = x + (sw - width) / 2;
                else if (iLegende_X_Align == ALIGN_RIGHT) left = x + sw - width - 2;
                g.drawString(label, clampToInt(left), baseline);
            }
        }
        if (marks) g.drawLine(x, clampToInt(int64_t{y0} - d), x, clampToInt(int64_t{y0} + d));
    }
}

void Indication_Data::paint_CalendarLegend_X(Graphics& g, const ChartLayout& layout, int y0, int d,
                                             const FontMetrics& m, bool marks, bool labels) const {
    const Rectangle& r = layout.rect_AppletGraphique;
    const int gridBottom = layout.y_Min >= 0 ? y0 : clampToInt(int64_t{r.y} + r.height);
    const int baseline = bLegende_X_Dessus ? clampToInt(int64_t{y0} - d) : clampToInt(int64_t{y0} + m.getHeight() + d);
    for (const auto& [x, text] : layout.vecLegende_X) {
        if (marks && bAxe_AfficheVerticales) {
            const Color previous = g.getColor();
            g.setColor(colorGraph_AxeBis);
            g.drawLine(x, r.y, x, gridBottom);
            g.setColor(previous);
        }
        if (labels && !text.empty()) {
            const int64_t w = m.stringWidth(text);
            int64_t left = int64_t{x} + 2;
            if (iLegende_X_Align == ALIGN_CENTER) left = x - w / 2;
            else if (iLegende_X_Align == ALIGN_RIGHT) left = x - w - 2;
            g.drawString(text, clampToInt(left), baseline);
        }
        if (marks) g.drawLine(x, clampToInt(int64_t{y0} - d), x, clampToInt(int64_t{y0} + d));
    }
}

std::vector<int> Indication_Data::Calc_ChangeLegend(const ChartLayout& layout, int n, int xR) const {
    n = std::clamp(n, 0, chart::kMaxPeriods);
    std::vector<int> xs(static_cast<size_t>(n) + 2, INT_MAX);
    const int x0 = layout.RepereGraph_x0;
    xs[0] = x0;
    xs[n + 1] = xR;

    // Without two distinct minutes there is no time axis: every inner
    // boundary stays beyond the right edge.
    const chart::DisplayedWindow win = chart::displayedWindow(*this);
    if (!win.valid) return xs;
    if (const std::optional<OpenTime>& trading = layout.trading; trading && trading->total() > 0) {
        // Periods start where the market opens a new day, or at whole hours,
        // minutes and months of open time.
        Platform& p = Platform::current();
        const int64_t width = int64_t{xR} - x0;
        std::vector<int64_t> starts;
        int64_t previousDay = INT64_MIN;
        for (const auto& [open, close] : trading->sessions()) {
            const CalendarFields f = p.toLocal(open);
            const int64_t day = civil::daysFromCivil(f.year, f.month, f.day);
            if (iModeGraphicsData == MODEGRAPH_DAY) {
                if (previousDay != INT64_MIN && day != previousDay) starts.push_back(open);
            } else if (iModeGraphicsData == MODEGRAPH_MONTH) {
                if (previousDay != INT64_MIN && civil::civilFromDays(previousDay).month != f.month) starts.push_back(open);
            } else {
                const int64_t unit = iModeGraphicsData == MODEGRAPH_HOUR ? TIME_HOURTOMILLISECOND : TIME_MINUTETOMILLISECOND;
                // Whole units of local time within the session, after its open.
                const int64_t offset = (open - p.fromLocal(CalendarFields{f.year, f.month, f.day, 0, 0, 0, 0, 0})) % unit;
                for (int64_t t = open + (offset == 0 ? unit : unit - offset); t < close; t += unit) {
                    starts.push_back(t);
                    if (starts.size() > static_cast<size_t>(n)) break;
                }
            }
            previousDay = day;
            if (starts.size() > static_cast<size_t>(n)) break;
        }
        for (int i = 1; i <= n && static_cast<size_t>(i) <= starts.size(); ++i)
            xs[i] = clampToInt(int64_t{x0} + chart::mulDivSub(trading->before(starts[i - 1]), width, trading->total(), 0));
        return xs;
    }
    const int64_t first = chart::axisStart(*this, win);
    const int64_t last = vecGraph_Date[win.last];
    const int64_t tMin = first / TIME_MINUTETOMILLISECOND;
    const int64_t tMax = last / TIME_MINUTETOMILLISECOND;
    if (tMax == tMin) return xs;

    double ppm = static_cast<double>(int64_t{xR} - x0) / static_cast<double>(tMax - tMin);
    const chart::WindowCalendar cal = chart::windowCalendar(first, last, iModeGraphicsData, chart::weekendsCompressed(*this));
    const int64_t b = cal.boundary;
    ppm *= cal.factor;

    int64_t off = b / TIME_MINUTETOMILLISECOND - tMin;
    if (iModeGraphicsData == MODEGRAPH_MONTH && bModeGraphicsData_CalendarMonths) {
        // Each period starts on the first of its month.
        Platform& p = Platform::current();
        CalendarFields start = p.toLocal(b);
        for (int i = 1; i <= n; ++i) {
            CalendarFields month = start;
            month.month += i - 1;
            off = p.fromLocal(month) / TIME_MINUTETOMILLISECOND - tMin;
            xs[i] = truncToInt(static_cast<double>(x0) + static_cast<double>(off) * ppm);
            if (xs[i] > xR) break;  // the rest lie beyond the edge too
        }
        return xs;
    }
    const int64_t step = periodStepMinutes(iModeGraphicsData);
    for (int i = 1; i <= n; ++i) {
        xs[i] = truncToInt(static_cast<double>(x0) + static_cast<double>(off) * ppm);
        off += step;
    }
    return xs;
}

void Indication_Data::paint_SessionBoundaries(Graphics& g, const ChartLayout& layout, int xR) const {
    const std::optional<OpenTime>& trading = layout.trading;
    if (!trading || trading->total() <= 0) return;
    const int x0 = layout.RepereGraph_x0;
    const int64_t width = int64_t{xR} - x0;
    const Rectangle& r = layout.rect_AppletGraphique;
    const int bottom = layout.y_Min >= 0 ? layout.RepereGraph_y0 : clampToInt(int64_t{r.y} + r.height);
    const Color previous = g.getColor();
    g.setColor(colorGraph_Sessions.value_or(colorGraph_AxeBis));
    int drawn = x0;
    const auto& sessions = trading->sessions();
    for (size_t k = 1; k < sessions.size(); ++k) {
        // Placed as the data is: the open time before the session's open.
        const int x = clampToInt(int64_t{x0} + chart::mulDivSub(trading->before(sessions[k].first), width,
                                                                trading->total(), 0));
        // On the axes, or on the line before, a line adds nothing.
        if (x <= drawn || x >= xR) continue;
        g.drawLine(x, r.y, x, bottom);
        drawn = x;
    }
    g.setColor(previous);
}

void Indication_Data::paint_Axes(Graphics& g, const ChartLayout& layout, int xR) const {
    const int x0 = layout.RepereGraph_x0;
    const int y0 = layout.RepereGraph_y0;
    const Rectangle& r = layout.rect_AppletGraphique;
    const int yb = layout.y_Min >= 0 ? clampToInt(int64_t{y0} + 1) : clampToInt(int64_t{r.y} + r.height);

    g.setColor(colorGraph_Axe);
    g.setFont(fontGraph_Pen);
    g.drawLine(clampToInt(int64_t{x0} - 1), y0, xR, y0);
    g.drawLine(x0, yb, x0, r.y);
    if (bLegende_Y_Display && !bLegende_Y_Gauche) g.drawLine(xR, yb, xR, r.y);
}
