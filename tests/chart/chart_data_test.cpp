// The chart's data: segments at the period boundaries, curve pieces and their
// thickness, the mountain, the spread, histogram bars, the trend, and the
// weekend compression, on small worked examples.

#include "chart/Indication_Data.h"
#include "support/Indication_Tools.h"
#include "tests/common/ChartTestModel.h"
#include "tests/common/RecordingGraphics.h"

#include <gtest/gtest.h>

#include <climits>

using namespace charttest;
using Op = RecordingGraphics::Op;
using D = Indication_Data;

namespace {

using Seg = std::vector<int>;  // x1, y1, x2, y2 (or x, y, w, h)

std::vector<Seg> coords(const std::vector<RecordingGraphics::Call>& calls) {
    std::vector<Seg> out;
    for (auto& c : calls) out.push_back({c.x1, c.y1, c.x2, c.y2});
    return out;
}

// Hour mode, origin (10, 100), one pixel per minute, scale 2: samples every
// half hour from 10:00 to 12:00 with values 0, 10, 20, 10, 0 sit at relative
// (0,0) (30,20) (60,40) (90,20) (120,0). Boundaries: 11:00 at x 70, 12:00 at 130.
Drawn hourModel() {
    Drawn m;
    m->iModeGraphicsData = D::MODEGRAPH_HOUR;
    m->iModeGraphicsData_Duration = 3;
    m.L.RepereGraph_x0 = 10;
    m.L.RepereGraph_y0 = 100;
    m.L.yScale_Conv = 2.0f;
    m.L.y_Min = 0;
    setSeries(*m, {{at(2001, 11, 19, 10, 0), 0},
                   {at(2001, 11, 19, 10, 30), 10},
                   {at(2001, 11, 19, 11, 0), 20},
                   {at(2001, 11, 19, 11, 30), 10},
                   {at(2001, 11, 19, 12, 0), 0}});
    return m;
}

TEST(ChartCurve, PiecesJoinAcrossSegments) {
    auto m = hourModel();
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 130);
    EXPECT_EQ(coords(g.of(Op::Line, kCourbe)),
              (std::vector<Seg>{{10, 100, 40, 80}, {40, 80, 70, 60}, {70, 60, 100, 80}, {100, 80, 130, 100}}));
    EXPECT_TRUE(g.of(Op::FillPolygon).empty());
    EXPECT_TRUE(g.of(Op::FillRect).empty());  // markers of size 0 leave nothing
}

TEST(ChartCurve, SpreadStretchesEachSegmentOverItsPeriod) {
    auto m = hourModel();
    m->bGraphCourbe_SpreadData = true;
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 130);
    // Segment 10..70 holds x 0 and 30, stretched to 0 and 60; segment 70..130
    // holds 60 and 90, stretched to 60 and 120; the last point alone stays.
    EXPECT_EQ(coords(g.of(Op::Line, kCourbe)),
              (std::vector<Seg>{{10, 100, 70, 80}, {70, 80, 70, 60}, {70, 60, 130, 80}, {130, 80, 130, 100}}));
}

TEST(ChartCurve, MountainFillsDownToTheAxisUnderEachPiece) {
    auto m = hourModel();
    m->bGraphCourbe_Rempli = true;
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 130);
    auto fills = g.of(Op::FillPolygon, kRemplie);
    ASSERT_EQ(fills.size(), 4u);  // none before the first point
    EXPECT_EQ(fills[1].polygon, (Polygon{{40, 80}, {70, 60}, {70, 100}, {40, 100}}));
    // The whole mountain comes before the whole line, so no fill covers a line.
    std::vector<Op> ops;
    for (auto& c : g.calls) ops.push_back(c.op);
    EXPECT_EQ(ops, (std::vector<Op>{Op::FillPolygon, Op::FillPolygon, Op::FillPolygon, Op::FillPolygon, Op::Line,
                                    Op::Line, Op::Line, Op::Line}));
}

TEST(ChartCurve, ThicknessOffsets) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    auto offsets = [&](int thickness) {
        RecordingGraphics g;
        m->paint_GraphCourbe(g, m.L, kCourbe, thickness, {20, 50}, {10, 40}, false);
        std::vector<int> out;
        for (auto& l : g.of(Op::Line, kCourbe)) {
            EXPECT_EQ(l.y2 - l.y1, 10);
            out.push_back(l.y1 - 40);
        }
        return out;
    };
    EXPECT_EQ(offsets(1), (std::vector<int>{0}));
    EXPECT_EQ(offsets(0), (std::vector<int>{0}));
    EXPECT_EQ(offsets(-3), (std::vector<int>{0}));
    EXPECT_EQ(offsets(4), (std::vector<int>{0, -1, 1, -2}));
    EXPECT_EQ(offsets(5), (std::vector<int>{0, -1, 1, -2, 2}));

    // No previous point (image -1, -1): no line, no fill.
    RecordingGraphics g;
    m->bGraphCourbe_Rempli = true;
    m->paint_GraphCourbe(g, m.L, kCourbe, 3, {20, 50}, {-1, -1}, true);
    EXPECT_TRUE(g.of(Op::Line).empty());
    EXPECT_TRUE(g.of(Op::FillPolygon).empty());
}

TEST(ChartCurve, HugeThicknessStaysBoundedAndCoversTheImageRows) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    RecordingGraphics g;
    m->paint_GraphCourbe(g, m.L, kCourbe, INT_MAX, {20, 50}, {10, 40}, false);
    auto lines = g.of(Op::Line);
    EXPECT_LT(lines.size(), 100000u);
    int lowest = INT_MAX, highest = INT_MIN;
    for (auto& l : lines) {
        lowest = std::min(lowest, l.y1);
        highest = std::max(highest, l.y2);
    }
    EXPECT_LE(lowest, -10);   // reaches above the top row
    EXPECT_GE(highest, 5000);  // and far below any chart
}

TEST(ChartCurve, MarkerIsASquareOfTwiceTheHalfSize) {
    Drawn m;
    m->int_TaillePoint = 2;
    RecordingGraphics g;
    m->paint_DrawPoint(g, 30, 40);
    EXPECT_EQ(coords(g.of(Op::FillRect)), (std::vector<Seg>{{28, 38, 4, 4}}));
}

TEST(ChartCurve, StaleRangeIsClampedToTheSeries) {
    auto m = hourModel();
    m->xi_Min = 2;
    m->xi_Max = 50;  // computed for a longer series
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 130);
    EXPECT_EQ(g.of(Op::Line, kCourbe).size(), 2u);
}

// ---- Bars --------------------------------------------------------------------

std::vector<Point> pts(std::initializer_list<int> ys) {
    std::vector<Point> out;
    int x = 0;
    for (int y : ys) out.push_back({x++, y});
    return out;
}

TEST(ChartBars, WidthsAndMeanHeights) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    m.L.iGraphHistogram_NumberBar = 2;  // A 4, E 2, Sh 1 by default
    RecordingGraphics g;
    m->paint_GraphData_Bar(g, m.L, pts({10, 20, 30, 50}), 10, 70);
    // rem 52: first width trunc(26 - 1 - 1 + 1) = 25; the second shares what
    // is left, trunc(25 - 1 - 1) = 23, 25 + 2 further on. Means 15 and 40.
    EXPECT_EQ(coords(g.of(Op::FillRect, kHisto)), (std::vector<Seg>{{14, 85, 25, 15}, {41, 60, 23, 40}}));
    EXPECT_EQ(coords(g.of(Op::FillRect, kShadow)), (std::vector<Seg>{{15, 86, 25, 14}, {42, 61, 23, 39}}));
    // Each shadow is drawn just before its bar.
    ASSERT_EQ(g.calls.size(), 4u);
    EXPECT_EQ(g.calls[0].color, kShadow);
    EXPECT_EQ(g.calls[1].color, kHisto);
}

TEST(ChartBars, FirstWidthInDoublePrecisionAndAtLeastOne) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    m.L.iGraphHistogram_NumberBar = 2;
    m->iGraphHistogram_AxePosition = 0;
    m->iGraphHistogram_EcartHistogramme = 1;
    m->iGraphHistogram_ShiftedShadow = 0;
    RecordingGraphics g;
    // rem 101: trunc(50.5 - 0.5 - 0 + 1) = 51.
    m->paint_GraphData_Bar(g, m.L, pts({4, 4}), 0, 101);
    auto bars = g.of(Op::FillRect, kHisto);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].x2, 51);
    EXPECT_EQ(bars[1].x1, 52);

    m.L.iGraphHistogram_NumberBar = 1;
    RecordingGraphics one;
    m->paint_GraphData_Bar(one, m.L, pts({4}), 5, 5);  // no room: width 0 becomes 1
    EXPECT_EQ(coords(one.of(Op::FillRect, kHisto)), (std::vector<Seg>{}));  // 5 is not left of 5
    RecordingGraphics tight;
    m->paint_GraphData_Bar(tight, m.L, pts({4}), 5, 6);
    EXPECT_EQ(coords(tight.of(Op::FillRect, kHisto)), (std::vector<Seg>{{5, 96, 1, 4}}));
}

TEST(ChartBars, CountDropsToThePointsAndStaysLowered) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    m.L.iGraphHistogram_NumberBar = 3;
    RecordingGraphics g;
    // The first width still counts 3 bars: trunc(52 / 3 - 1 - 1 + 1) = 16.
    m->paint_GraphData_Bar(g, m.L, pts({10, 30}), 10, 70);
    EXPECT_EQ(m.L.iGraphHistogram_NumberBar, 2);
    EXPECT_EQ(coords(g.of(Op::FillRect, kHisto)), (std::vector<Seg>{{14, 90, 16, 10}, {32, 70, 32, 30}}));

    RecordingGraphics later;
    m->paint_GraphData_Bar(later, m.L, pts({1, 2, 3, 4, 5, 6}), 10, 70);
    EXPECT_EQ(later.of(Op::FillRect, kHisto).size(), 2u);
    EXPECT_EQ(m.L.iGraphHistogram_NumberBar, 2);

    m.L.iGraphHistogram_NumberBar = INT_MAX;
    RecordingGraphics many;
    m->paint_GraphData_Bar(many, m.L, pts({1, 2}), 10, 70);
    EXPECT_EQ(m.L.iGraphHistogram_NumberBar, 2);
}

TEST(ChartBars, PointsBeyondWholeGroupsAreUnusedAndNoneBelowOne) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    m.L.iGraphHistogram_NumberBar = 2;
    RecordingGraphics g;
    m->paint_GraphData_Bar(g, m.L, pts({10, 20, 90}), 10, 70);  // per 1: the 90 is not used
    auto bars = g.of(Op::FillRect, kHisto);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[1].y2, 20);

    m.L.iGraphHistogram_NumberBar = 0;
    RecordingGraphics none;
    m->paint_GraphData_Bar(none, m.L, pts({10}), 10, 70);
    EXPECT_TRUE(none.calls.empty());
}

TEST(ChartBars, ShadowAboveTheImageStartsAtTheTop) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    m->iGraphHistogram_ShiftedShadow = 3;
    RecordingGraphics g;
    m->paint_GraphBarre(g, m.L, 10, -20, 5);
    EXPECT_EQ(coords(g.of(Op::FillRect, kShadow)), (std::vector<Seg>{{13, -20, 5, 117}}));
    EXPECT_EQ(coords(g.of(Op::FillRect, kHisto)), (std::vector<Seg>{{10, -20, 5, 120}}));
}

TEST(ChartBars, NegativeMeanHangsFromTheAxis) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    RecordingGraphics g;
    m->paint_GraphBarre(g, m.L, 10, 130, 5);  // mean height -30
    EXPECT_EQ(coords(g.of(Op::FillRect, kHisto)), (std::vector<Seg>{{10, 101, 5, 30}}));
    EXPECT_EQ(coords(g.of(Op::FillRect, kShadow)), (std::vector<Seg>{{11, 102, 5, 29}}));
}

TEST(ChartBars, OneSampleWindowGivesOneBarAcrossTheGraph) {
    auto m = hourModel();
    m->bGraphHistogram_Display = true;
    m->xi_Min = m->xi_Max = 2;
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 130);
    auto bars = g.of(Op::FillRect, kHisto);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0].x1, 14);
    EXPECT_EQ(bars[0].x2, 130 - 10 - 8);
    // A single curve point on the left axis: no line.
    EXPECT_TRUE(g.of(Op::Line).empty());

    // More bars configured: the count drops to 1, the width was already
    // shared out for 4: trunc(112 / 4 - 1 - 1 + 1).
    m.L.iGraphHistogram_NumberBar = 4;
    RecordingGraphics four;
    m->paint_GraphData(four, m.L, 130);
    EXPECT_EQ(m.L.iGraphHistogram_NumberBar, 1);
    EXPECT_EQ(coords(four.of(Op::FillRect, kHisto)), (std::vector<Seg>{{14, 60, 27, 40}}));
}

// ---- Trend -------------------------------------------------------------------

TEST(ChartTrend, CentredMeanPaddedWithTheEnds) {
    Drawn m;
    m.L.RepereGraph_x0 = 10;
    m.L.RepereGraph_y0 = 100;
    RecordingGraphics g;
    m->paint_GraphData_TrendMovingMean(g, m.L, pts({0, 10, 20, 30, 40}), kTrend, 2);
    // Means over three points: 10/3, 30/3, 60/3, 90/3, 110/3.
    EXPECT_EQ(coords(g.of(Op::Line, kTrend)),
              (std::vector<Seg>{{10, 97, 11, 90}, {11, 90, 12, 80}, {12, 80, 13, 70}, {13, 70, 14, 64}}));

    RecordingGraphics wide;
    m->paint_GraphData_TrendMovingMean(wide, m.L, pts({0, 10, 20, 30, 40}), kTrend, 4);
    // Seven points around the first: 0 x 4 + 10 + 20 + 30 = 60, / 7 = 8.
    ASSERT_FALSE(wide.of(Op::Line).empty());
    EXPECT_EQ(wide.of(Op::Line)[0].y1, 100 - 8);
}

TEST(ChartTrend, CoefficientOutOfRangeDrawsNothing) {
    Drawn m;
    for (int c : {INT_MIN, 1, 5, 6, INT_MAX}) {
        RecordingGraphics g;
        m->paint_GraphData_TrendMovingMean(g, m.L, pts({0, 10, 20, 30, 40}), kTrend, c);
        EXPECT_TRUE(g.of(Op::Line).empty()) << c;
    }
}

TEST(ChartTrend, FollowsTheSpreadPointsAndIsDropped) {
    auto m = hourModel();
    m->bGraphCourbe_SpreadData = true;
    m->bTendance_MoyenneMobile = true;
    m->iTendance_MoyenneMobile_Coef = 2;
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 130);
    auto trend = g.of(Op::Line, kTrend);
    ASSERT_EQ(trend.size(), 4u);
    // Spread x: 0, 60, 60, 120, 120; heights 0 20 40 20 0 give 6, 20, 26, 20, 6.
    EXPECT_EQ(coords(trend), (std::vector<Seg>{{10, 94, 70, 80}, {70, 80, 70, 74}, {70, 74, 130, 80}, {130, 80, 130, 94}}));
    EXPECT_FALSE(m.L.vecGraph_PtsTendance.has_value());
    // Drawn after every curve piece.
    EXPECT_EQ(g.calls.back().color, kTrend);
}

// ---- Weekends ----------------------------------------------------------------

// Day mode with weekends hidden, the axis from x 0, one pixel a unit up from y 100.
Drawn weekendsHidden() {
    Drawn m;
    m.L.RepereGraph_x0 = 0;
    m.L.RepereGraph_y0 = 100;
    m.L.yScale_Conv = 1.0f;
    m->bDate_DispWeekDay = false;
    return m;
}

TEST(ChartWeekends, SkippedAndClosedUp) {
    Drawn m = weekendsHidden();
    const int64_t first = at(2001, 11, 15, 12);  // Thursday
    const int64_t last = at(2001, 11, 20, 12);   // Tuesday
    setSeries(*m, {{first, 1}, {at(2001, 11, 16, 12), 2}, {at(2001, 11, 17, 12), 3}, {at(2001, 11, 18, 12), 4},
                   {at(2001, 11, 19, 12), 5}, {last, 6}});
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 600);
    const double factor = Indication_Tools::getTotalDay(first, last) / Indication_Tools::getWorkingDay(first, last);
    const int shift = static_cast<int>(2.0 * 600 / Indication_Tools::getTotalDay(first, last));
    // Plain x: 0, 120, (240, 360 skipped), 480, 600; after the weekend two
    // days' worth of width goes, then the factor spreads the rest.
    const std::vector<int> xs{0, static_cast<int>(120 * factor), static_cast<int>((480 - shift) * factor),
                              static_cast<int>((600 - shift) * factor)};
    auto lines = g.of(Op::Line, kCourbe);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ((std::vector<int>{lines[0].x1, lines[0].x2, lines[1].x2, lines[2].x2}), xs);
    EXPECT_EQ((std::vector<int>{lines[0].y1, lines[0].y2, lines[1].y2, lines[2].y2}),
              (std::vector<int>{99, 98, 95, 94}));
    EXPECT_EQ(xs, (std::vector<int>{0, 200, 400, 600}));
}

TEST(ChartWeekends, AWindowStartingAtTheWeekendStartsOnTheMonday) {
    // Built on a Saturday: the first records are weekend ones. The axis runs
    // from Monday 00:00, the Monday's records at its start and the last at
    // its end, rather than the Monday two whole days left of the axis.
    Drawn m = weekendsHidden();
    setSeries(*m, {{at(2001, 11, 17, 12), 1}, {at(2001, 11, 18, 12), 2}, {at(2001, 11, 19, 0), 3},
                   {at(2001, 11, 20, 0), 4}, {at(2001, 11, 21, 0), 5}});
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 600);
    auto lines = g.of(Op::Line, kCourbe);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ((std::vector<int>{lines[0].x1, lines[0].x2, lines[1].x2}), (std::vector<int>{0, 300, 600}));
}

TEST(ChartWeekends, OnlyWeekendSamplesDrawNothingAndNeverDivideByZero) {
    Drawn m;
    m.L.RepereGraph_y0 = 100;
    m->bDate_DispWeekDay = false;
    setSeries(*m, {{at(2001, 11, 17, 12), 1}, {at(2001, 11, 18, 12), 2}});
    RecordingGraphics g;
    m->paint_GraphData(g, m.L, 600);
    EXPECT_TRUE(g.of(Op::Line).empty());
}

}  // namespace
