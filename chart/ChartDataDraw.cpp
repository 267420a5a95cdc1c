// The chart's data inside the laid-out graph: the samples cut into segments at
// the period boundaries, each drawn as histogram bars; then the mountain under
// the whole curve, the whole curve over it, and the centred moving-average
// trend over all of them.
//
// Points are kept relative to the origin (x rightward, y upward) until they
// are drawn. They are computed on the drawing context's fine grid
// (Graphics::fineScale): the layout's pixels at 1x, the target's at 2x, tenths
// of a pixel in an SVG document. Positions, widths and thicknesses are taken
// to that grid as its scale says, so that at 1x the arithmetic is the layout's.

#include "chart/ChartMath.h"
#include "chart/Indication_Data.h"
#include "support/Indication_Tools.h"

#include <cstdlib>

using chart::clampToInt;
using chart::truncToInt;

namespace {

// The relative point whose image position is (-1, -1): "no previous point".
Point noPoint(int x0, int y0) { return {clampToInt(-1 - int64_t{x0}), clampToInt(-1 - int64_t{y0})}; }

Point toImage(Point p, int x0, int y0) { return {clampToInt(int64_t{x0} + p.x), clampToInt(int64_t{y0} - p.y)}; }

int fine(int64_t v, int f) { return clampToInt(v * f); }

// The origin on the fine grid.
Point fineOrigin(const Graphics& g, const ChartLayout& layout) {
    const int f = g.fineScale();
    return {fine(layout.RepereGraph_x0, f), fine(layout.RepereGraph_y0, f)};
}

}  // namespace

void Indication_Data::paint_GraphData(Graphics& g, ChartLayout& layout, int xR) const {
    if (IsTrendCurveDisplay()) layout.vecGraph_PtsTendance.emplace();
    layout.vecGraph_PtsCourbe.clear();
    g.setColor(colorGraph_Courbe);

    const int f = g.fineScale();
    std::vector<int> xs = Calc_ChangeLegend(layout, iModeGraphicsData_Duration, xR);
    for (int& x : xs) x = fine(x, f);
    xR = fine(xR, f);
    const int n = static_cast<int>(xs.size()) - 2;
    const int x0 = fineOrigin(g, layout).x;

    const chart::DisplayedWindow win = chart::displayedWindow(*this);
    if (win.valid) {
        const int64_t first = chart::axisStart(*this, win);
        const int64_t last = vecGraph_Date[win.last];
        const int64_t tMin = first / TIME_MINUTETOMILLISECOND;
        int64_t tMax = last / TIME_MINUTETOMILLISECOND;
        if (tMax == tMin) tMax = tMin + 1;
        const int64_t width = int64_t{xR} - x0;

        // With sessions, x measures open time over the axis.
        const std::optional<OpenTime>& trading = layout.trading;
        const bool open = trading && trading->total() > 0;
        std::optional<OpenTime::Walk> openTime;
        if (open) openTime.emplace(*trading);
        const bool compressed = chart::weekendsCompressed(*this);
        double factor = 1.0;
        double weekendShift = 0.0;
        if (compressed) {
            factor = chart::windowCalendar(first, last, iModeGraphicsData, true).factor;
            const double td = Indication_Tools::getTotalDay(first, last);
            // Two days' worth of width per run of weekend days.
            if (td > 0) weekendShift = 2.0 * static_cast<double>(width) / td;
        }
        const double base = layout.y_Min < 0 ? 0.0 : static_cast<double>(layout.y_Min);
        const double scale = layout.yScale_Conv;

        chart::LocalWeekdays weekdays;
        std::vector<Point> points;
        bool inWeekend = false;
        int64_t shift = 0;
        int s = 0;
        for (int k = win.first; k <= win.last; ++k) {
            const int64_t t = vecGraph_Date[k];
            if (compressed) {
                const int wday = weekdays.weekday(t);
                if (wday == 0 || wday == 6) {
                    // Weekend entries before the axis starts close nothing up.
                    inWeekend = t >= first;
                    continue;
                }
                if (inWeekend) {
                    inWeekend = false;
                    shift += truncToInt(weekendShift);
                }
            }
            int x = open ? clampToInt(chart::mulDivSub(openTime->before(t), width, trading->total(), 0))
                         : clampToInt(chart::mulDivSub(t / TIME_MINUTETOMILLISECOND - tMin, width, tMax - tMin, shift));
            if (compressed) x = truncToInt(static_cast<double>(x) * factor);
            const int y = truncToInt((vecGraph_Data[k] - base) * scale * f);

            // One boundary at most per sample: a long gap only closes the
            // segment it leaves.
            if (s < n + 1 && int64_t{x0} + x >= xs[s + 1]) {
                paint_GraphData_Draw(g, layout, points, xs[s], xs[s + 1]);
                points.clear();
                ++s;
            }
            points.push_back({x, y});
        }
        paint_GraphData_Draw(g, layout, points, xs[s], xR);
        paint_GraphData_Curve(g, layout);
    }

    if (bTendance_MoyenneMobile && layout.vecGraph_PtsTendance)
        paint_GraphData_TrendMovingMean(g, layout, *layout.vecGraph_PtsTendance, colorTendance_MoyenneMobile,
                                        iTendance_MoyenneMobile_Coef);
    if (IsTrendCurveDisplay()) layout.vecGraph_PtsTendance.reset();
}

void Indication_Data::paint_GraphData_Draw(Graphics& g, ChartLayout& layout, std::vector<Point>& points, int xa,
                                           int xb) const {
    if (points.empty()) return;
    const auto [x0, y0] = fineOrigin(g, layout);

    const int64_t xF = points.front().x;
    int64_t xL = points.back().x;
    if (xL == xF) xL = xF + 1;

    if (bGraphHistogram_Display) paint_GraphData_Bar(g, layout, points, xa, xb);

    for (Point& p : points) {
        // Stretch the segment's points so the first falls on xa, the last on xb.
        if (bGraphCourbe_SpreadData)
            p.x = clampToInt(chart::mulDivSub(p.x - xF, int64_t{xb} - xa, xL - xF, int64_t{x0} - xa));
        if (layout.vecGraph_PtsTendance) layout.vecGraph_PtsTendance->push_back(p);
        if (bGraphCourbe_Display) layout.vecGraph_PtsCourbe.push_back(toImage(p, x0, y0));
    }
}

// The mountain lies between the curve and the axis and the curve lies on it:
// the whole fill first, so that no piece's fill covers the line of the piece
// before it at a turn, then the whole line.
void Indication_Data::paint_GraphData_Curve(Graphics& g, ChartLayout& layout) const {
    const std::vector<Point>& curve = layout.vecGraph_PtsCourbe;
    if (curve.empty()) return;
    const auto [x0, y0] = fineOrigin(g, layout);
    const Point none = toImage(noPoint(x0, y0), x0, y0);
    if (bGraphCourbe_Rempli)
        for (size_t i = 1; i < curve.size(); ++i) paint_GraphMontagne(g, layout, curve[i], curve[i - 1]);
    for (size_t i = 0; i < curve.size(); ++i)
        paint_GraphCourbe(g, layout, colorGraph_Courbe, iGraphCourbe_Thickness, curve[i],
                          i == 0 ? none : curve[i - 1], false);
    layout.vecGraph_PtsCourbe.clear();
}

void Indication_Data::paint_GraphMontagne(Graphics& g, const ChartLayout& layout, Point p, Point previous) const {
    if (previous.x == -1 || previous.y == -1) return;
    g.setColor(colorGraph_CourbeRemplie);
    // One quadrilateral per piece: reuse its storage rather than allocate.
    thread_local Polygon quad(4);
    quad[0] = previous;
    quad[1] = p;
    const int y0 = fineOrigin(g, layout).y;
    quad[2] = {p.x, y0};
    quad[3] = {previous.x, y0};
    g.fillFinePolygon(quad);
}

void Indication_Data::paint_GraphData_Bar(Graphics& g, ChartLayout& layout, const std::vector<Point>& points, int xa,
                                          int xb) const {
    int64_t k = layout.iGraphHistogram_NumberBar;
    if (k < 1 || points.empty()) return;
    const int64_t f = g.fineScale();
    const int64_t a = iGraphHistogram_AxePosition * f;
    const int64_t gap = iGraphHistogram_EcartHistogramme * f;
    const double e = static_cast<double>(gap);
    const double sh = static_cast<double>(iGraphHistogram_ShiftedShadow * f);
    const int64_t count = static_cast<int64_t>(points.size());
    const int y0 = fineOrigin(g, layout).y;

    int64_t rem = (int64_t{xb} - xa) - 2 * a;
    int64_t bw = k == 1 ? rem
                        : truncToInt(static_cast<double>(rem) / static_cast<double>(k) - e / 2.0 - sh +
                                     static_cast<double>(f));
    if (bw == 0) bw = 1;

    // Fewer points than bars: as many bars as points, and the chart keeps
    // that count for its later segments and renders.
    int64_t per = count / k;
    if (per == 0) {
        k = count;
        per = 1;
    }
    layout.iGraphHistogram_NumberBar = static_cast<int>(k);

    int64_t bx = int64_t{xa} + a;
    size_t j = 0;
    for (int64_t bar = 1; bar <= k; ++bar) {
        if (bar > 1) {
            bx += bw + gap;
            rem -= bw + gap;
            bw = truncToInt(static_cast<double>(rem) / static_cast<double>(k - bar + 1) - e / 2.0 - sh);
        }
        if (bx < xb) {
            double mean = 0.0;
            for (int64_t q = 0; q < per; ++q) mean += static_cast<double>(points[j + q].y) / static_cast<double>(per);
            j += static_cast<size_t>(per);
            paint_GraphBarre(g, layout, clampToInt(bx), clampToInt(int64_t{y0} - truncToInt(mean)), clampToInt(bw));
        }
    }
}

void Indication_Data::paint_GraphBarre(Graphics& g, const ChartLayout& layout, int x, int top, int w) const {
    const int64_t f = g.fineScale();
    const int y0 = fineOrigin(g, layout).y;
    const int64_t sh = iGraphHistogram_ShiftedShadow * f;
    const int64_t hb = std::abs(int64_t{top} - y0);
    // A bar of a negative mean hangs from the axis down to its value, the
    // mirror of a positive one.
    const int64_t barTop = top <= y0 ? top : int64_t{y0} + f;

    g.setColor(colorGraph_HistogramShadow);
    const int64_t shadowTop = barTop < 0 ? barTop : barTop + sh;
    g.fillFineRect(clampToInt(x + sh), clampToInt(shadowTop), w, clampToInt(hb - sh));
    g.setColor(colorGraph_Histogram);
    g.fillFineRect(x, clampToInt(barTop), w, clampToInt(hb));
}

void Indication_Data::paint_GraphCourbe(Graphics& g, const ChartLayout& layout, const Color& color, int thickness,
                                        Point p, Point previous, bool fillAllowed) const {
    const bool hasPrevious = previous.x != -1 && previous.y != -1;
    if (fillAllowed && bGraphCourbe_Rempli) paint_GraphMontagne(g, layout, p, previous);

    g.setColor(color);
    if (hasPrevious) {
        // Lines at offsets 0, -1, +1, -2, +2, ... layout pixels around the piece.
        const int64_t lines = std::max(thickness, 1);
        const int64_t f = g.fineScale();
        // Offsets that put the whole line above the image or below any image
        // draw nothing; skipping them keeps a huge thickness from hanging.
        const int64_t lo = std::min(p.y, previous.y);
        const int64_t hi = std::max(p.y, previous.y);
        const int64_t rows = chart::kMaxImageRows * f;
        const int64_t oMin = std::max<int64_t>(-hi, -rows);
        const int64_t oMax = std::min<int64_t>(rows - lo, rows);
        for (int64_t k = 1; k <= lines; ++k) {
            const int64_t o = ((k % 2 == 1) ? k / 2 : -(k / 2)) * f;
            if (o < oMin || o > oMax) {
                // Past both ends of the visible band every further offset is too.
                if ((k / 2) * f > std::max(-oMin, oMax) + f) break;
                continue;
            }
            g.drawFineLine(previous.x, clampToInt(previous.y + o), p.x, clampToInt(p.y + o));
        }
        paint_DrawPoint(g, previous.x, previous.y);
    }
    paint_DrawPoint(g, p.x, p.y);
}

void Indication_Data::paint_DrawPoint(Graphics& g, int x, int y) const {
    const int64_t r = int_TaillePoint * int64_t{g.fineScale()};
    if (r <= 0) return;  // a marker of no size leaves no pixels
    g.fillFineRect(clampToInt(x - r), clampToInt(y - r), clampToInt(2 * r), clampToInt(2 * r));
}

void Indication_Data::paint_GraphData_TrendMovingMean(Graphics& g, const ChartLayout& layout,
                                                      const std::vector<Point>& trend, const Color& color,
                                                      int coef) const {
    const int64_t count = static_cast<int64_t>(trend.size());
    const int64_t c = coef;
    if (count == 0 || c < 2 || c >= count) return;
    const double f = 1.0 / (2.0 * static_cast<double>(c) - 1.0);
    const auto [x0, y0] = fineOrigin(g, layout);

    // Running sums make each centred window O(1); the ends are padded with
    // the first and last heights.
    std::vector<int64_t> prefix(static_cast<size_t>(count) + 1, 0);
    for (int64_t i = 0; i < count; ++i) prefix[i + 1] = prefix[i] + trend[i].y;

    Point previous = noPoint(x0, y0);
    g.setColor(color);
    for (int64_t i = 0; i < count; ++i) {
        int64_t from = i - c + 1;
        int64_t to = i + c - 1;
        int64_t sum = 0;
        if (from < 0) {
            sum += -from * int64_t{trend.front().y};
            from = 0;
        }
        if (to > count - 1) {
            sum += (to - (count - 1)) * int64_t{trend.back().y};
            to = count - 1;
        }
        sum += prefix[to + 1] - prefix[from];
        const Point point{trend[i].x, truncToInt(f * static_cast<double>(sum))};
        paint_GraphCourbe(g, layout, color, iTendance_MoyenneMobile_Thickness, toImage(point, x0, y0),
                          toImage(previous, x0, y0), false);
        previous = point;
    }
}
