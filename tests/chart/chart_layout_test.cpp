// Layout of the graph: origin and scale, Y legend, axes, period boundaries and
// the X legend, on small worked examples measured with fixed fake metrics.

#include "chart/Indication_Data.h"
#include "support/Indication_Tools.h"
#include "tests/common/ChartTestModel.h"
#include "tests/common/RecordingGraphics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using namespace charttest;
using Op = RecordingGraphics::Op;
using D = Indication_Data;

namespace {

// R of height 172: with the vertical margins (2 x 6) the value band is 160
// pixels, so a range of 80 gives an exact scale of 2.
const Rectangle kR{2, 20, 316, 172};

TEST(ChartOrigin, PositiveRangeLabelsOverAxis) {
    Drawn m;
    m.L.y_Min = 0;
    m.L.y_Max = 80;
    RecordingGraphics g;
    m->paint_InitGraphics(g, m.L, kR);
    EXPECT_EQ(m.L.xLgLegende, 9);  // "80" is 8 wide, kept one wider
    EXPECT_FLOAT_EQ(m.L.yScale_Conv, 2.0f);
    EXPECT_EQ(m.L.RepereGraph_x0, 2 + 2 + 9);
    EXPECT_EQ(m.L.RepereGraph_y0, 20 + 172 - 6);
}

TEST(ChartOrigin, NegativeMinimumLabelsUnderAxis) {
    Drawn m;
    m->bLegende_X_Dessus = false;
    m.L.y_Min = -50;
    m.L.y_Max = 150;
    RecordingGraphics g;
    m->paint_InitGraphics(g, m.L, {2, 20, 316, 170});
    // Labels under the axis reserve 2 x 10 - 8 of the band and lift the
    // origin by 10 - 4; value 0 then sits trunc(-50 x 0.73 + 6) = -30 higher.
    EXPECT_EQ(m.L.xLgLegende, 13);
    EXPECT_FLOAT_EQ(m.L.yScale_Conv, 146.0f / 200.0f);
    EXPECT_EQ(m.L.RepereGraph_x0, 17);
    EXPECT_EQ(m.L.RepereGraph_y0, 20 + 170 - 6 - 6 - 30);
}

TEST(ChartOrigin, NegativeOffsetFollowsDessusEvenWithoutXLegend) {
    Drawn m;
    m->bLegende_X_Display = false;
    m->bLegende_X_Dessus = false;
    m.L.y_Min = -40;
    m.L.y_Max = 40;
    RecordingGraphics g;
    m->paint_InitGraphics(g, m.L, kR);
    EXPECT_FLOAT_EQ(m.L.yScale_Conv, 2.0f);           // no band reserved
    EXPECT_EQ(m.L.RepereGraph_y0, 186 - 80 + 6);      // but e = height - 4 still added
}

TEST(ChartOrigin, LegendWidthOnlyWidensAndYLegendRightKeepsX0) {
    Drawn m;
    m.L.xLgLegende = 30;
    m.L.y_Min = 0;
    m.L.y_Max = 80;
    RecordingGraphics g;
    m->paint_InitGraphics(g, m.L, kR);
    EXPECT_EQ(m.L.xLgLegende, 30);
    EXPECT_EQ(m.L.RepereGraph_x0, 34);

    m.L.y_Max = 12345678;  // a wider label widens it, a narrower one never shrinks it
    m->paint_InitGraphics(g, m.L, kR);
    EXPECT_EQ(m.L.xLgLegende, 33);
    m.L.y_Max = 5;
    m->paint_InitGraphics(g, m.L, kR);
    EXPECT_EQ(m.L.xLgLegende, 33);

    m->bLegende_Y_Gauche = false;
    m->paint_InitGraphics(g, m.L, kR);
    EXPECT_EQ(m.L.RepereGraph_x0, 4);
}

// Two charts of a pass, the first with long labels: the second, sized on its
// own labels, lays out as when drawn alone, then and when drawn again, and
// the chart after it still gets the first one's width.
TEST(ChartOrigin, OwnWidthLaysOutAsAloneAndHandsTheCarriedWidthOn) {
    RecordingGraphics g;
    Drawn alone;
    alone->bLegende_Y_LargeurPropre = true;
    alone.L.y_Max = 80;
    alone->paint_InitGraphics(g, alone.L, kR);

    ChartCarryOver carry;
    carry.beginPass(3);
    ChartCarryOver::Turn turns[] = {carry.turn(0), carry.turn(1), carry.turn(2)};
    Drawn charts[3];
    charts[0].L.y_Max = 12345678;
    charts[1]->bLegende_Y_LargeurPropre = true;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) charts[i].L.y_Max = 80;
        charts[i]->setChartContext(ChartContext{nullptr, &turns[i], nullptr});
        charts[i]->paint_InitGraphics(g, charts[i].L, kR);
    }
    EXPECT_EQ(charts[1].L.RepereGraph_x0, alone.L.RepereGraph_x0);
    charts[1]->paint_InitGraphics(g, charts[1].L, kR);
    EXPECT_EQ(charts[1].L.RepereGraph_x0, alone.L.RepereGraph_x0);
    EXPECT_EQ(charts[2].L.xLgLegende, charts[0].L.xLgLegende);
    EXPECT_GT(charts[2].L.xLgLegende, alone.L.xLgLegende);
}

struct YLegendCase {
    float yMin, yMax;
    std::vector<std::string> labels;
    std::vector<int> rows;  // yy of each value
};

class ChartYLegend : public ::testing::TestWithParam<YLegendCase> {};

TEST_P(ChartYLegend, LabelsTicksAndGridLines) {
    const YLegendCase& c = GetParam();
    Drawn m;
    m->iAxe_Verticale_NumberOfValues = 5;
    m->bAxe_AfficheHorizontales = true;
    m->y_Min = c.yMin;
    m->y_Max = c.yMax;
    setSeries(*m, {});
    RecordingGraphics g;
    ASSERT_TRUE(m->paint_Graphics(&g, m.L, &kR));
    const int x0 = m.L.RepereGraph_x0;

    auto labels = g.of(Op::String, kPen);
    ASSERT_EQ(labels.size(), c.labels.size());
    for (size_t i = 0; i < labels.size(); ++i) {
        EXPECT_EQ(labels[i].text, c.labels[i]);
        EXPECT_EQ(labels[i].x1, x0 - 4 * static_cast<int>(c.labels[i].size()) - 2);
        EXPECT_EQ(labels[i].y1, c.rows[i] + 8 / 2 - 1);
    }
    // Ticks across the left axis, one per value.
    std::vector<int> tickRows;
    for (auto& l : g.of(Op::Line, kPen))
        if (l.x1 == x0 - 1 && l.x2 == x0 + 1) tickRows.push_back(l.y1);
    EXPECT_EQ(tickRows, c.rows);
    // Grid lines everywhere but at the axis itself.
    for (auto& l : g.of(Op::Line, kAxeBis)) {
        EXPECT_NE(l.y1, m.L.RepereGraph_y0);
        EXPECT_EQ(l.x1, x0);
        EXPECT_EQ(l.x2, kR.width);
    }
    EXPECT_EQ(g.of(Op::Line, kAxeBis).size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ChartYLegend,
    ::testing::Values(YLegendCase{0, 80, {"0", "20", "40", "60", "80"}, {186, 146, 106, 66, 26}},
                      YLegendCase{-40, 40, {"-40", "-20", "0", "20", "40"}, {186, 146, 106, 66, 26}},
                      // Zoomed: the first value is y_Min itself.
                      YLegendCase{100, 180, {"100", "120", "140", "160", "180"}, {186, 146, 106, 66, 26}}));

// Volumes and capitalisations run past 2^31: labels must neither wrap nor
// pile up on one row. Past 10^15 they say the value in short scientific form.
// Round values: a step of 1, 2, 2.5 or 5 times a power of ten, the range
// widened outward to whole steps, as many labels as asked within one, the
// step's decimals, the separator asked for; the window itself is kept.
TEST(ChartYLegendRound, StepsBoundsDecimalsAndSeparators) {
    struct Case {
        int n;
        float yMin, yMax;
        int thousands;
        std::vector<std::string> labels;
    };
    const std::vector<Case> cases = {
        {5, 2301, 2697, D::THOUSANDS_NONE, {"2300", "2400", "2500", "2600", "2700"}},
        {5, 2301, 2697, D::THOUSANDS_SPACE, {"2 300", "2 400", "2 500", "2 600", "2 700"}},
        {4, 1.0812f, 1.0849f, D::THOUSANDS_NONE, {"1.080", "1.082", "1.084", "1.086"}},
        {5, -1234, 5678, D::THOUSANDS_COMMA, {"-2,000", "0", "2,000", "4,000", "6,000"}},
        {3, 1000.5f, 1004.2f, D::THOUSANDS_POINT, {"1.000,0", "1.002,5", "1.005,0"}},
    };
    for (const Case& c : cases) {
        Drawn m;
        m->bLegende_Y_Arrondi = true;
        m->iLegende_Y_Milliers = c.thousands;
        m->iAxe_Verticale_NumberOfValues = c.n;
        m->y_Min = c.yMin;
        m->y_Max = c.yMax;
        setSeries(*m, {});
        RecordingGraphics g;
        ASSERT_TRUE(m->paint_Graphics(&g, m.L, &kR));
        std::vector<std::string> texts;
        std::vector<int> rows;
        for (auto& l : g.of(Op::String, kPen)) {
            texts.push_back(l.text);
            rows.push_back(l.y1);
        }
        EXPECT_EQ(texts, c.labels) << c.yMin;
        // The lowest label on the axis, the highest at the top margin.
        if (c.yMin >= 0) {
            EXPECT_EQ(rows.front(), m.L.RepereGraph_y0 + 8 / 2 - 1) << c.yMin;
        }
        EXPECT_NEAR(rows.back(), kR.y + m->Graph_margeVerticale + 8 / 2 - 1, 1) << c.yMin;  // truncated as the data is
        EXPECT_EQ(m->y_Min, c.yMin);
        EXPECT_EQ(m->y_Max, c.yMax);
    }
}

TEST(ChartYLegendCount, LabelsPastTheIntRangeStayOrderedAndApart) {
    struct Case {
        float yMin, yMax;
        std::string first, last;
    };
    for (const Case& c : {Case{0, 3.1e9f, "0", "3100000000"}, Case{0, 1e12f, "0", "999999995904"},
                          Case{0, 1e15f, "0", "999999919882240"}, Case{0, 1e20f, "0", "1e20"},
                          Case{0, 1.2e19f, "0", "1.2e19"}, Case{-1e30f, 1e30f, "-1e30", "1e30"}}) {
        Drawn m;
        m->iAxe_Verticale_NumberOfValues = 4;
        m->y_Min = c.yMin;
        m->y_Max = c.yMax;
        RecordingGraphics g;
        ASSERT_TRUE(m->paint_Graphics(&g, m.L, &kR));
        auto labels = g.of(Op::String, kPen);
        ASSERT_EQ(labels.size(), 4u) << c.yMax;
        EXPECT_EQ(labels.front().text, c.first);
        EXPECT_EQ(labels.back().text, c.last);
        for (size_t i = 1; i < labels.size(); ++i) {
            EXPECT_LT(labels[i].y1, labels[i - 1].y1) << c.yMax;  // each one higher up
            EXPECT_LT(std::stod(labels[i - 1].text), std::stod(labels[i].text)) << labels[i].text;
        }
    }
}

TEST(ChartYLegendCount, OneValueIsYMinZeroValuesNothing) {
    Drawn m;
    m->y_Min = 100;
    m->y_Max = 180;
    m->iAxe_Verticale_NumberOfValues = 1;
    RecordingGraphics g;
    m->paint_Graphics(&g, m.L, &kR);
    EXPECT_EQ(g.strings(), std::vector<std::string>{"100"});

    m->iAxe_Verticale_NumberOfValues = 0;
    m->bAxe_AfficheHorizontales = true;
    RecordingGraphics g0;
    m->paint_Graphics(&g0, m.L, &kR);
    EXPECT_TRUE(g0.strings().empty());
    EXPECT_TRUE(g0.of(Op::Line, kPen).empty());
    EXPECT_TRUE(g0.of(Op::Line, kAxeBis).empty());
}

TEST(ChartGraph, BackgroundAndAxesAboveAndBelowZero) {
    Drawn m;
    m->y_Min = 0;
    m->y_Max = 80;
    RecordingGraphics g;
    ASSERT_TRUE(m->paint_Graphics(&g, m.L, &kR));
    EXPECT_EQ(m.L.rect_AppletGraphique, kR);
    auto fond = g.of(Op::FillRect, kGraphFond);
    ASSERT_EQ(fond.size(), 1u);
    EXPECT_EQ((std::vector<int>{fond[0].x1, fond[0].y1, fond[0].x2, fond[0].y2}),
              (std::vector<int>{13, 20, 316 - 13, 186 - 20}));
    auto axes = g.of(Op::Line, kAxe);
    ASSERT_EQ(axes.size(), 2u);
    EXPECT_EQ((std::vector<int>{axes[0].x1, axes[0].y1, axes[0].x2, axes[0].y2}),
              (std::vector<int>{12, 186, 316, 186}));
    EXPECT_EQ((std::vector<int>{axes[1].x1, axes[1].y1, axes[1].x2, axes[1].y2}),
              (std::vector<int>{13, 187, 13, 20}));
    // The axes come last.
    EXPECT_EQ(g.calls.back().color, kAxe);

    m->y_Min = -40;
    m->y_Max = 40;
    m->bLegende_Y_Gauche = false;  // Y legend on the right
    RecordingGraphics n;
    m->paint_Graphics(&n, m.L, &kR);
    const int xR = 316 - (m.L.xLgLegende + 3);
    fond = n.of(Op::FillRect, kGraphFond);
    EXPECT_EQ((std::vector<int>{fond[0].x1, fond[0].y1, fond[0].x2, fond[0].y2}),
              (std::vector<int>{4, 20, xR - 4, 172}));
    axes = n.of(Op::Line, kAxe);
    ASSERT_EQ(axes.size(), 3u);
    EXPECT_EQ((std::vector<int>{axes[1].x1, axes[1].y1, axes[1].y2}), (std::vector<int>{4, 192, 20}));
    EXPECT_EQ((std::vector<int>{axes[2].x1, axes[2].y1, axes[2].y2}), (std::vector<int>{xR, 192, 20}));
    auto labels = n.of(Op::String, kPen);
    ASSERT_FALSE(labels.empty());
    for (auto& l : labels) EXPECT_EQ(l.x1, xR + 4);
    int rightTicks = 0;
    for (auto& l : n.of(Op::Line, kPen)) rightTicks += (l.x1 == xR - 1 && l.x2 == xR + 1);
    EXPECT_EQ(rightTicks, 4);  // one per value
}

TEST(ChartGraph, RefusesMissingSurfaceRectangleOrMode) {
    Drawn m;
    RecordingGraphics g;
    EXPECT_FALSE(m->paint_Graphics(nullptr, m.L, &kR));
    EXPECT_FALSE(m->paint_Graphics(&g, m.L, nullptr));
    m->iModeGraphicsData = D::MODEGRAPH_NOMODE;
    EXPECT_FALSE(m->paint_Graphics(&g, m.L, &kR));
    m->iModeGraphicsData = 15;
    EXPECT_FALSE(m->paint_Graphics(&g, m.L, &kR));
    EXPECT_TRUE(g.calls.empty());
}

// ---- Period boundaries ------------------------------------------------------

std::vector<int> boundaries(Drawn& m, int mode, int n, int64_t first, int64_t last, int x0, int xR) {
    m->iModeGraphicsData = mode;
    setSeries(*m, {{first, 1}, {last, 2}});
    m.L.RepereGraph_x0 = x0;
    return m->Calc_ChangeLegend(m.L, n, xR);
}

TEST(ChartBoundaries, EachMode) {
    Drawn m;
    // Day: Mon 12:00 to Fri 12:00, 300 pixels over 5760 minutes.
    EXPECT_EQ(boundaries(m, D::MODEGRAPH_DAY, 5, at(2001, 11, 19, 12), at(2001, 11, 23, 12), 10, 310),
              (std::vector<int>{10, 47, 122, 197, 272, 347, 310}));
    // Hour: one pixel per minute, first boundary at 11:00.
    EXPECT_EQ(boundaries(m, D::MODEGRAPH_HOUR, 4, at(2001, 11, 19, 10, 30), at(2001, 11, 19, 13, 30), 5, 185),
              (std::vector<int>{5, 35, 95, 155, 215, 185}));
    // Minute: whole minutes; 10:00:30 counts from 10:00, so 10:01 is one minute on.
    EXPECT_EQ(boundaries(m, D::MODEGRAPH_MINUTE, 3, at(2001, 11, 19, 10, 0, 30), at(2001, 11, 19, 10, 4), 0, 40),
              (std::vector<int>{0, 10, 20, 30, 40}));
    // Month: the first of the next month, then steps of exactly 30 days.
    EXPECT_EQ(boundaries(m, D::MODEGRAPH_MONTH, 2, at(2001, 1, 15), at(2001, 3, 1), 0, 500),
              (std::vector<int>{0, 188, 522, 500}));
}

TEST(ChartBoundaries, CalendarMonthsStartOnTheFirst) {
    Drawn m;
    m->bModeGraphicsData_CalendarMonths = true;
    // One pixel a minute: each boundary lies at its month's first, in minutes.
    EXPECT_EQ(boundaries(m, D::MODEGRAPH_MONTH, 3, at(2025, 1, 15), at(2025, 4, 15), 0, 90 * 1440),
              (std::vector<int>{0, 17 * 1440, 45 * 1440, 76 * 1440, 90 * 1440}));
}

TEST(ChartBoundaries, SameMinuteOrSameSampleLeavesAllBeyondTheEdge) {
    Drawn m;
    auto xs = boundaries(m, D::MODEGRAPH_MINUTE, 3, at(2001, 11, 19, 10, 0, 5), at(2001, 11, 19, 10, 0, 50), 0, 40);
    ASSERT_EQ(xs.size(), 5u);
    for (int i = 1; i <= 3; ++i) EXPECT_GT(xs[i], 40);
    EXPECT_EQ(xs[4], 40);

    m->xi_Max = 0;  // one sample: no X labels, ticks or vertical grid lines
    m->bAxe_AfficheVerticales = true;
    m.L.RepereGraph_y0 = 100;
    RecordingGraphics g;
    m->paint_AxeLegende_X(g, m.L, 40, 1, g.getFontMetrics(m->fontGraph_Pen));
    EXPECT_TRUE(g.calls.empty());
}

TEST(ChartBoundaries, WeekendsCompressedSpreadByTotalOverWorkingDays) {
    Drawn m;
    const int64_t first = at(2001, 11, 16, 12);  // Friday
    const int64_t last = at(2001, 11, 20, 12);   // Tuesday
    auto plain = boundaries(m, D::MODEGRAPH_DAY, 4, first, last, 0, 1440);
    EXPECT_EQ(plain, (std::vector<int>{0, 180, 540, 900, 1260, 1440}));

    m->bDate_DispWeekDay = false;
    auto spread = m->Calc_ChangeLegend(m.L, 4, 1440);
    const double td = Indication_Tools::getTotalDay(first, last);
    const double wd = Indication_Tools::getWorkingDay(first, last);
    ASSERT_GT(td, wd);
    ASSERT_GT(wd, 0);
    for (int i = 1; i <= 4; ++i) {
        const double minutes = 720 + 1440.0 * (i - 1);
        EXPECT_EQ(spread[i], static_cast<int>(minutes * (0.25 * (td / wd)))) << i;
    }
}

TEST(ChartBoundaries, NoWorkingTimeKeepsThePlainAxis) {
    Drawn m;
    const int64_t first = at(2001, 11, 17, 6);  // Saturday
    const int64_t last = at(2001, 11, 18, 18);  // Sunday
    auto plain = boundaries(m, D::MODEGRAPH_DAY, 2, first, last, 0, 360);
    m->bDate_DispWeekDay = false;
    EXPECT_EQ(m->Calc_ChangeLegend(m.L, 2, 360), plain);
}

TEST(ChartBoundaries, PeriodCountOutOfRangeStaysBounded) {
    Drawn m;
    boundaries(m, D::MODEGRAPH_MINUTE, 0, at(2001, 11, 19, 10), at(2001, 11, 19, 11), 0, 60);
    EXPECT_EQ(m->Calc_ChangeLegend(m.L, -5, 60), (std::vector<int>{0, 60}));
    auto many = m->Calc_ChangeLegend(m.L, INT_MAX, 60);
    EXPECT_LE(many.size(), static_cast<size_t>(1 << 21));
    EXPECT_EQ(many.back(), 60);
}

// ---- X legend -----------------------------------------------------------------

struct XLegendRun {
    std::vector<RecordingGraphics::Call> labels;
    std::vector<RecordingGraphics::Call> ticks;
    std::vector<RecordingGraphics::Call> grid;
};

XLegendRun runXLegend(Drawn& m, int xR) {
    RecordingGraphics g;
    m->startLayout(m.L);
    m.L.RepereGraph_y0 = 100;
    m.L.rect_AppletGraphique = {0, 10, 600, 100};
    g.setColor(kPen);
    m->paint_AxeLegende_X(g, m.L, xR, 1, g.getFontMetrics(m->fontGraph_Pen));
    XLegendRun r;
    r.labels = g.of(Op::String);
    for (auto& l : g.of(Op::Line, kPen))
        if (l.y1 == 99 && l.y2 == 101) r.ticks.push_back(l);
    r.grid = g.of(Op::Line, kAxeBis);
    return r;
}

TEST(ChartXLegend, HourLabelsPlacedInTheirSlots) {
    Drawn m;
    boundaries(m, D::MODEGRAPH_HOUR, 4, at(2001, 11, 19, 10, 30), at(2001, 11, 19, 13, 30), 5, 185);
    m->bAxe_AfficheVerticales = true;
    // xs = 5, 35, 95, 155, (215 beyond), 185
    auto r = runXLegend(m, 185);
    ASSERT_EQ(r.labels.size(), 4u);
    EXPECT_EQ(r.labels[0].text, "10h");
    EXPECT_EQ(r.labels[3].text, "13h");
    EXPECT_EQ(r.labels[0].x1, 7);  // left: xs + 2
    EXPECT_EQ(r.labels[0].y1, 99);  // over the axis: y0 - d
    ASSERT_EQ(r.ticks.size(), 4u);
    EXPECT_EQ(r.ticks[3].x1, 155);
    ASSERT_EQ(r.grid.size(), 4u);
    EXPECT_EQ((std::vector<int>{r.grid[1].x1, r.grid[1].y1, r.grid[1].y2}), (std::vector<int>{35, 10, 100}));

    m->iLegende_X_Align = D::ALIGN_CENTER;
    m->bLegende_X_Dessus = false;
    r = runXLegend(m, 185);
    EXPECT_EQ(r.labels[1].x1, 35 + (60 - 12) / 2);
    EXPECT_EQ(r.labels[3].x1, 155 + (30 - 12) / 2);  // last slot ends at xR
    EXPECT_EQ(r.labels[1].y1, 100 + 10 + 1);
    m->iLegende_X_Align = D::ALIGN_RIGHT;
    r = runXLegend(m, 185);
    EXPECT_EQ(r.labels[1].x1, 35 + 60 - 12 - 2);
}

TEST(ChartXLegend, LabelWiderThanSlotIsLeftOutButTickStays) {
    Drawn m;
    // 10:50 to 11:10: the first slot is 10 pixels, "10h" is 12 (fits in 10 + 2),
    // with characters 5 wide it is 15 and is left out.
    boundaries(m, D::MODEGRAPH_HOUR, 1, at(2001, 11, 19, 10, 50), at(2001, 11, 19, 11, 10), 0, 20);
    auto r = runXLegend(m, 20);
    EXPECT_EQ(r.labels.size(), 2u);
    m->fontGraph_Pen.size = 9;  // characters 5 wide
    r = runXLegend(m, 20);
    EXPECT_TRUE(r.labels.empty());
    EXPECT_EQ(r.ticks.size(), 2u);
}

TEST(ChartXLegend, DayLettersSkipWeekendsWhenHidden) {
    Drawn m;
    m->szDate_WeekDay = "DLMMJVS";
    boundaries(m, D::MODEGRAPH_DAY, 5, at(2001, 11, 15, 12), at(2001, 11, 20, 12), 0, 1200);
    auto r = runXLegend(m, 1200);
    std::vector<std::string> texts;
    for (auto& l : r.labels) texts.push_back(l.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"J", "V", "S", "D", "L", "M"}));

    m->bDate_DispWeekDay = false;
    r = runXLegend(m, 1200);
    texts.clear();
    for (auto& l : r.labels) texts.push_back(l.text);
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "J");
    EXPECT_EQ(texts[1], "V");
    EXPECT_EQ(texts[2], "L");
}

TEST(ChartXLegend, AWindowStartingAtTheWeekendIsLabelledFromTheMonday) {
    Drawn m;
    m->szDate_WeekDay = "SMTWTFS";
    m->bDate_DispWeekDay = false;
    boundaries(m, D::MODEGRAPH_DAY, 3, at(2001, 11, 17, 12), at(2001, 11, 20, 12), 0, 1000);
    auto r = runXLegend(m, 1000);
    ASSERT_GE(r.labels.size(), 2u);
    EXPECT_EQ(r.labels[0].text, "M");  // the Saturday closed up with the rest of its weekend
    EXPECT_EQ(r.labels[1].text, "T");
}

TEST(ChartXLegend, LetterTextsMissingShortOrMultiByte) {
    Drawn m;
    m->szDate_WeekDay.reset();  // never set by a graph file
    boundaries(m, D::MODEGRAPH_DAY, 2, at(2001, 11, 19, 12), at(2001, 11, 21, 12), 0, 1000);
    auto r = runXLegend(m, 1000);
    ASSERT_EQ(r.labels.size(), 3u);
    EXPECT_EQ(r.labels[0].text, "M");
    EXPECT_EQ(r.labels[2].text, "W");

    m->szDate_WeekDay = "DLMMJ";  // too short: the default letters
    r = runXLegend(m, 1000);
    EXPECT_EQ(r.labels[1].text, "T");

    m->szDate_Month = "ÉFMAMJJASONDX";
    boundaries(m, D::MODEGRAPH_MONTH, 1, at(2001, 1, 15), at(2001, 2, 20), 0, 1000);
    r = runXLegend(m, 1000);
    ASSERT_EQ(r.labels.size(), 2u);
    EXPECT_EQ(r.labels[0].text, "É");  // one character, both of its bytes
    EXPECT_EQ(r.labels[1].text, "F");
    m->szDate_Month.reset();
    r = runXLegend(m, 1000);
    EXPECT_EQ(r.labels[0].text, "J");
}

// ---- Wild ranges -------------------------------------------------------------

TEST(ChartWildRange, FlatSeriesHasAFiniteScaleAndOneValueLabels) {
    Drawn m;
    m->bAxe_AfficheHorizontales = true;
    setSeries(*m, {{at(2001, 11, 19, 12), 0}, {at(2001, 11, 20, 12), 0}, {at(2001, 11, 21, 12), 0}});
    m->y_Min = 0;
    m->y_Max = 0;
    RecordingGraphics g;
    ASSERT_TRUE(m->paint_Graphics(&g, m.L, &kR));
    EXPECT_TRUE(std::isfinite(m.L.yScale_Conv));
    for (auto& s : g.of(Op::String, kPen)) {
        if (s.x1 < m.L.RepereGraph_x0) {
            EXPECT_EQ(s.text, "0");
        }
    }
    EXPECT_TRUE(g.of(Op::Line, kAxeBis).empty());
    // The flat line runs along the axis.
    auto curve = g.of(Op::Line, kCourbe);
    ASSERT_EQ(curve.size(), 2u);
    for (auto& l : curve) EXPECT_EQ(l.y1, m.L.RepereGraph_y0);

    // Zoomed flat series at 100: every label says 100.
    m->y_Min = 100;
    m->y_Max = 100;
    for (auto& v : m->vecGraph_Data) v = 100;
    RecordingGraphics z;
    m->paint_Graphics(&z, m.L, &kR);
    for (auto& s : z.of(Op::String, kPen)) {
        if (s.x1 < m.L.RepereGraph_x0) {
            EXPECT_EQ(s.text, "100");
        }
    }
    for (auto& l : z.of(Op::Line, kCourbe)) EXPECT_EQ(l.y1, m.L.RepereGraph_y0);
}

TEST(ChartWildRange, HugeNaNAndStaleValuesDrawWithoutFault) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (auto [lo, hi] : std::vector<std::pair<float, float>>{
             {-3e38f, 3e38f}, {0, inf}, {-inf, 0}, {nan, nan}, {0, 1e-30f}, {5, -5}}) {
        Drawn m;
        m->bAxe_AfficheHorizontales = true;
        m->bAxe_AfficheVerticales = true;
        m->bGraphHistogram_Display = true;
        m->bGraphCourbe_Rempli = true;
        m->bTendance_MoyenneMobile = true;
        setSeries(*m, {{at(2001, 11, 19, 12), 1e300}, {at(2001, 11, 20, 12), -1e300}, {at(2001, 11, 21, 12), 7}});
        m->xi_Max = 1000;  // stale range from a longer series
        m->y_Min = lo;
        m->y_Max = hi;
        RecordingGraphics g;
        EXPECT_TRUE(m->paint_Graphics(&g, m.L, &kR)) << lo << " " << hi;
    }
}

TEST(ChartWildRange, EmptySeriesStillDrawsTheFrameOfTheGraph) {
    Drawn m;
    m->y_Max = 80;
    m->xi_Min = 3;
    m->xi_Max = 9;
    RecordingGraphics g;
    ASSERT_TRUE(m->paint_Graphics(&g, m.L, &kR));
    EXPECT_EQ(g.of(Op::Line, kAxe).size(), 2u);
    EXPECT_TRUE(g.of(Op::Line, kCourbe).empty());
}

TEST(ChartWildRange, HugeValueCountIsBounded) {
    Drawn m;
    m->y_Max = 80;
    m->iAxe_Verticale_NumberOfValues = INT_MAX;
    m->iModeGraphicsData_Duration = INT_MAX;
    setSeries(*m, {{at(2001, 11, 19, 12), 0}, {at(2001, 11, 20, 12), 0}});
    RecordingGraphics g;
    ASSERT_TRUE(m->paint_Graphics(&g, m.L, &kR));
    EXPECT_LT(g.calls.size(), 1000000u);
}

}  // namespace
