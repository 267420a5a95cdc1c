// The frame: image background, caption placement, and the graph rectangle the
// captions leave, for a 320 x 200 surface with margin 2.

#include "chart/ChartFrame.h"
#include "tests/common/ChartTestModel.h"
#include "tests/common/RecordingGraphics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace charttest;
using Op = RecordingGraphics::Op;
using D = Indication_Data;

namespace {

const Color kTitle{1, 100, 0};
const Color kPeriod{2, 100, 0};
const Color kCopy{3, 100, 0};

// Title font 12 (height 15, characters 6 wide), period font 8 (height 10,
// characters 4), copyright font 10 (height 13, descent 3, characters 5).
Drawn frameModel() {
    Drawn m;
    m->fontImage_Pen_Title = Font{"Helvetica", Font::BOLD, 12};
    m->fontImage_Pen_DataPeriod = Font{"Helvetica", Font::PLAIN, 8};
    m->fontImage_Pen_CopyRight = Font{"Helvetica", Font::ITALIC, 10};
    m->colorImage_Pen_Title = kTitle;
    m->colorImage_Pen_DataPeriod = kPeriod;
    m->colorImage_Pen_CopyRight = kCopy;
    m->szGraph_Title = "Index";
    m->szGraph_CopyRight = "(c) zk";
    m->bDisplay_DataPeriod = false;
    m->y_Max = 80;
    setSeries(*m, {{at(2001, 11, 19, 12), 10}, {at(2001, 11, 20, 12), 20}});
    return m;
}

std::vector<int> rect(const Rectangle& r) { return {r.x, r.y, r.width, r.height}; }

TEST(ChartFrame, GraphRectangleWithAndWithoutCaptions) {
    auto m = frameModel();  // title on top, copyright at the bottom
    RecordingGraphics g;
    EXPECT_EQ(rect(paintChartFrame(g, *m, m.L, 320, 200, 2)), (std::vector<int>{2, 15 + 6, 316, 200 - 13 - 3 - 4 - 21}));
    EXPECT_EQ(m.L.rect_AppletGraphique, paintChartFrame(g, *m, m.L, 320, 200, 2));

    m->bDisplay_Title = false;  // bottom caption only
    EXPECT_EQ(rect(paintChartFrame(g, *m, m.L, 320, 200, 2)), (std::vector<int>{2, 2, 316, 200 - 13 - 3 - 4 - 2}));

    m->bDisplay_CopyRight = false;  // none
    EXPECT_EQ(rect(paintChartFrame(g, *m, m.L, 320, 200, 2)), (std::vector<int>{2, 2, 316, 194}));

    m->bDisplay_Title = true;  // top only
    EXPECT_EQ(rect(paintChartFrame(g, *m, m.L, 320, 200, 2)), (std::vector<int>{2, 21, 316, 200 - 4 - 21}));

    // The tallest caption of each side counts.
    m->bDisplay_CopyRight = true;
    m->iVAlign_CopyRight = D::ALIGN_TOP;
    m->fontImage_Pen_CopyRight.size = 20;  // height 25
    EXPECT_EQ(rect(paintChartFrame(g, *m, m.L, 320, 200, 2)), (std::vector<int>{2, 31, 316, 200 - 4 - 31}));
}

TEST(ChartFrame, CaptionPlacement) {
    auto m = frameModel();
    m->bDisplay_DataPeriod = true;
    RecordingGraphics g;
    paintChartFrame(g, *m, m.L, 320, 200, 2);
    const std::string period = m->Data_getData();
    const int pw = 4 * static_cast<int>(period.size());

    ASSERT_EQ(g.of(Op::String, kTitle).size(), 1u);
    auto title = g.of(Op::String, kTitle)[0];
    EXPECT_EQ((std::vector<int>{title.x1, title.y1}), (std::vector<int>{2, 15 + 2}));
    EXPECT_EQ(title.font, m->fontImage_Pen_Title);
    auto per = g.of(Op::String, kPeriod)[0];
    EXPECT_EQ(per.text, period);
    EXPECT_EQ((std::vector<int>{per.x1, per.y1}), (std::vector<int>{320 - pw - 2, 17}));
    auto copy = g.of(Op::String, kCopy)[0];
    EXPECT_EQ((std::vector<int>{copy.x1, copy.y1}), (std::vector<int>{320 - 30 - 2, 200 - 3 - 2}));

    // Background first, then title, period, copyright, then the graph.
    ASSERT_GE(g.calls.size(), 5u);
    EXPECT_EQ(g.calls[0].op, Op::FillRect);
    EXPECT_EQ((std::vector<int>{g.calls[0].x1, g.calls[0].y1, g.calls[0].x2, g.calls[0].y2}),
              (std::vector<int>{0, 0, 321, 201}));
    EXPECT_EQ(g.calls[0].color, kFond);
    EXPECT_EQ(g.calls[1].color, kTitle);
    EXPECT_EQ(g.calls[2].color, kPeriod);
    EXPECT_EQ(g.calls[3].color, kCopy);
    EXPECT_EQ(g.calls[4].color, kGraphFond);

    // Centre, left, and values that are none of the three.
    m->iHAlign_Title = D::ALIGN_CENTER;
    m->iHAlign_DataPeriod = D::ALIGN_LEFT;
    m->iHAlign_CopyRight = D::ALIGN_CENTER;
    m->iVAlign_Title = D::ALIGN_BOTTOM;
    RecordingGraphics c;
    paintChartFrame(c, *m, m.L, 320, 200, 2);
    // Bottom now holds the title (descent 3) and copyright (descent 3).
    title = c.of(Op::String, kTitle)[0];
    EXPECT_EQ((std::vector<int>{title.x1, title.y1}), (std::vector<int>{(320 - 30) / 2, 195}));
    EXPECT_EQ(c.of(Op::String, kPeriod)[0].x1, 2);
    EXPECT_EQ(c.of(Op::String, kCopy)[0].x1, (320 - 30) / 2);

    m->iHAlign_Title = 7;
    m->iHAlign_DataPeriod = 7;
    m->iHAlign_CopyRight = 7;
    m->iVAlign_CopyRight = 7;  // any vertical value but top is the bottom
    RecordingGraphics o;
    paintChartFrame(o, *m, m.L, 320, 200, 2);
    EXPECT_EQ(o.of(Op::String, kTitle)[0].x1, 2);
    EXPECT_EQ(o.of(Op::String, kPeriod)[0].x1, 320 - pw - 2);
    EXPECT_EQ(o.of(Op::String, kCopy)[0].x1, 288);
    EXPECT_EQ(o.of(Op::String, kCopy)[0].y1, 195);
}

TEST(ChartFrame, EmptyOrMissingCaptionDrawsNothing) {
    auto m = frameModel();
    m->szGraph_Title = "";
    m->szGraph_CopyRight.reset();
    RecordingGraphics g;
    const Rectangle r = paintChartFrame(g, *m, m.L, 320, 200, 2);
    EXPECT_TRUE(g.of(Op::String, kTitle).empty());
    EXPECT_TRUE(g.of(Op::String, kCopy).empty());
    // Their places are still kept.
    EXPECT_EQ(rect(r), (std::vector<int>{2, 21, 316, 200 - 13 - 3 - 4 - 21}));
}

TEST(ChartFrame, LongCaptionIsShortenedToTheWidth) {
    auto m = frameModel();
    m->szGraph_Title = std::string(100, 'x');  // 600 pixels
    RecordingGraphics g;
    paintChartFrame(g, *m, m.L, 320, 200, 2);
    auto title = g.of(Op::String, kTitle);
    ASSERT_EQ(title.size(), 1u);
    EXPECT_LE(6 * static_cast<int>(title[0].text.size()), 320 - 2 - 2);
}

TEST(ChartFrame, NoModeDrawsOnlyBackgroundAndCaptions) {
    auto m = frameModel();
    m->iModeGraphicsData = D::MODEGRAPH_NOMODE;
    RecordingGraphics g;
    paintChartFrame(g, *m, m.L, 320, 200, 2);
    EXPECT_EQ(g.calls.size(), 3u);  // background, title, copyright
    EXPECT_TRUE(g.of(Op::Line).empty());
}

}  // namespace

// ---- On the real drawing surface -------------------------------------------

namespace {

TEST(ChartImage, FullChartUsesOnlyItsConfiguredColours) {
    auto m = frameModel();
    m->fontGraph_Pen = Font{"Helvetica", Font::PLAIN, 7};
    m->bDisplay_DataPeriod = true;
    m->bGraphCourbe_Rempli = true;
    m->bGraphHistogram_Display = true;
    m->iGraphHistogram_NumberBar = 2;
    m->bTendance_MoyenneMobile = true;
    m->iTendance_MoyenneMobile_Thickness = 2;
    m->bAxe_AfficheHorizontales = true;
    m->bAxe_AfficheVerticales = true;
    m->bLegende_Y_Gauche = false;
    m->bDate_DispWeekDay = false;
    m->vecGraph_Date.clear();
    m->vecGraph_Data.clear();
    for (int i = 0; i < 300; ++i) {
        m->vecGraph_Date.push_back(at(2001, 11, 12) + int64_t{i} * 3600000);
        m->vecGraph_Data.push_back(300 * std::sin(i / 20.0) - 80);
    }
    m->xi_Min = 0;
    m->xi_Max = 299;
    m->y_Min = -380;
    m->y_Max = 220;

    auto image = Image::create(321, 201);
    ASSERT_TRUE(image);
    auto g = image->getGraphics();
    m->startLayout(m.L);
    paintChartFrame(*g, *m, m.L, 320, 200, 2);

    const std::set<uint32_t> allowed{kFond.argb(),   kTitle.argb(),  kPeriod.argb(),  kCopy.argb(),
                                     kGraphFond.argb(), kCourbe.argb(), kRemplie.argb(), kAxe.argb(),
                                     kAxeBis.argb(), kPen.argb(),    kHisto.argb(),   kShadow.argb(),
                                     kTrend.argb()};
    std::set<uint32_t> used(image->data(), image->data() + 321 * 201);
    for (uint32_t c : used) EXPECT_TRUE(allowed.count(c)) << std::hex << c;
    for (const Color& c : {kTitle, kCourbe, kRemplie, kAxe, kPen, kTrend, kGraphFond})
        EXPECT_TRUE(used.count(c.argb())) << std::hex << c.argb();
}

}  // namespace
