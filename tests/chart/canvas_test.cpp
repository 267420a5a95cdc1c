#include "chart/Graphics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

namespace {

constexpr Color kWhite(255, 255, 255);
constexpr Color kInk(10, 20, 200);
constexpr Color kFill(180, 200, 250);

struct Canvas {
    std::unique_ptr<Image> image;
    std::unique_ptr<Graphics> g;
    int w, h;

    Canvas(int width, int height, Color background = kWhite) : w(width), h(height) {
        image = Image::create(width, height);
        g = image->getGraphics();
        g->setColor(background);
        g->fillRect(0, 0, width, height);
        g->setColor(kInk);
    }
    uint32_t at(int x, int y) const { return image->data()[size_t(y) * w + x]; }
    bool inked(int x, int y) const { return at(x, y) == kInk.argb(); }
    int count(Color c) const {
        int n = 0;
        for (int i = 0; i < w * h; ++i) n += image->data()[i] == c.argb();
        return n;
    }
};

// A plain Bresenham over every step, with no clipping: the reference the
// clipped line must match pixel for pixel. Only for moderate coordinates.
std::set<std::pair<int, int>> referenceLine(int x1, int y1, int x2, int y2, int w, int h) {
    std::set<std::pair<int, int>> out;
    const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
    const int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    const int64_t n = std::max(adx, ady);
    for (int64_t k = 0; k <= n; ++k) {
        int64_t x, y;
        if (adx >= ady) {
            x = x1 + (dx < 0 ? -k : k);
            int64_t off = adx == 0 ? 0 : (2 * k * ady + adx) / (2 * adx);
            y = y1 + (dy < 0 ? -off : off);
        } else {
            y = y1 + (dy < 0 ? -k : k);
            int64_t off = (2 * k * adx + ady) / (2 * ady);
            x = x1 + (dx < 0 ? -off : off);
        }
        if (x >= 0 && x < w && y >= 0 && y < h) out.insert({int(x), int(y)});
    }
    return out;
}

std::set<std::pair<int, int>> inkedPixels(const Canvas& c) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            if (c.inked(x, y)) out.insert({x, y});
    return out;
}

TEST(Image, CreateRefusesUnusableSizesAndStartsOpaque) {
    EXPECT_EQ(Image::create(0, 10), nullptr);
    EXPECT_EQ(Image::create(10, -1), nullptr);
    EXPECT_EQ(Image::create(INT_MAX, INT_MAX), nullptr);
    EXPECT_EQ(Image::create(100000, 100000), nullptr);
    auto image = Image::create(3, 2);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->getWidth(), 3);
    EXPECT_EQ(image->getHeight(), 2);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(image->data()[i] >> 24, 0xFFu);
}

TEST(DrawLine, IncludesBothEndsInEveryDirection) {
    const int cx = 20, cy = 20;
    const std::vector<std::pair<int, int>> ends = {{10, 0},  {10, 3},   {3, 10},  {0, 10},  {-3, 10}, {-10, 3},
                                                   {-10, 0}, {-10, -3}, {-3, -10}, {0, -10}, {3, -10}, {10, -3},
                                                   {7, 7},   {-7, 7},   {0, 0}};
    for (auto [ex, ey] : ends) {
        Canvas c(41, 41);
        c.g->drawLine(cx, cy, cx + ex, cy + ey);
        EXPECT_TRUE(c.inked(cx, cy));
        EXPECT_TRUE(c.inked(cx + ex, cy + ey)) << ex << "," << ey;
        // One pixel per step along the longer axis: a thin, unbroken line.
        EXPECT_EQ(c.count(kInk), std::max(std::abs(ex), std::abs(ey)) + 1) << ex << "," << ey;
    }
}

TEST(DrawLine, RoundsHalfwayStepsOnePixelOn) {
    Canvas c(6, 4);
    c.g->drawLine(0, 0, 4, 2);
    std::set<std::pair<int, int>> expected = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}};
    EXPECT_EQ(inkedPixels(c), expected);
}

// Lines that leave the image keep exactly the pixels they would have had on
// an unbounded surface.
TEST(DrawLine, ClippingKeepsTheUnclippedPixels) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-400, 450);
    for (int i = 0; i < 3000; ++i) {
        const int x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
        Canvas c(37, 23);
        c.g->drawLine(x1, y1, x2, y2);
        ASSERT_EQ(inkedPixels(c), referenceLine(x1, y1, x2, y2, 37, 23))
            << x1 << "," << y1 << " -> " << x2 << "," << y2;
    }
}

TEST(DrawLine, ExtremeCoordinatesDrawTheVisiblePartOnly) {
    Canvas c(30, 20);
    c.g->drawLine(INT_MIN, 5, INT_MAX, 5);
    for (int x = 0; x < 30; ++x) EXPECT_TRUE(c.inked(x, 5));
    EXPECT_EQ(c.count(kInk), 30);

    Canvas d(30, 20);
    d.g->drawLine(INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // the diagonal x == y
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(d.inked(i, i));
    EXPECT_EQ(d.count(kInk), 20);

    Canvas e(30, 20);
    e.g->drawLine(INT_MAX, INT_MIN, INT_MAX, INT_MAX);
    e.g->drawLine(INT_MIN, INT_MIN, INT_MIN + 1, INT_MAX);
    e.g->drawLine(-5, -1, 40, -1);
    e.g->drawLine(INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    e.g->drawLine(INT_MIN, 19, INT_MIN, 19);
    EXPECT_EQ(e.count(kInk), 0);
}

TEST(FillRect, CoversExactlyTheColumnsAndRows) {
    Canvas c(10, 8);
    c.g->fillRect(2, 3, 4, 2);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(c.inked(x, y), x >= 2 && x <= 5 && y >= 3 && y <= 4) << x << "," << y;
}

TEST(FillRect, EmptyOrOutsideRectanglesDrawNothing) {
    Canvas c(10, 8);
    c.g->fillRect(2, 2, 0, 5);
    c.g->fillRect(2, 2, 5, 0);
    c.g->fillRect(2, 2, -3, 5);
    c.g->fillRect(5, 5, 4, -1);
    c.g->fillRect(10, 0, 5, 5);
    c.g->fillRect(-5, 0, 5, 5);
    c.g->fillRect(INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    c.g->fillRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // ends at -1
    c.g->fillRect(INT_MIN, 0, INT_MIN, 5);
    EXPECT_EQ(c.count(kInk), 0);
}

TEST(FillRect, HugeRectanglesAreClippedToTheImage) {
    Canvas c(10, 8);
    c.g->fillRect(-100, -100, INT_MAX, INT_MAX);
    EXPECT_EQ(c.count(kInk), 80);
    Canvas d(10, 8);
    d.g->fillRect(8, -100, INT_MAX, 102);  // columns 8..9, rows 0..1
    EXPECT_EQ(d.count(kInk), 4);
}

TEST(FillPolygon, ARectangleFillsLikeFillRect) {
    Canvas a(12, 10), b(12, 10);
    a.g->fillPolygon({{2, 1}, {7, 1}, {7, 6}, {2, 6}});
    b.g->fillRect(2, 1, 5, 5);
    EXPECT_EQ(inkedPixels(a), inkedPixels(b));
}

TEST(FillPolygon, DegenerateShapesDrawNothingAndDoNotFail) {
    Canvas c(10, 10);
    c.g->fillPolygon({});
    c.g->fillPolygon({{3, 3}});
    c.g->fillPolygon({{1, 1}, {8, 8}});
    c.g->fillPolygon({{1, 1}, {4, 4}, {8, 8}});  // collinear
    c.g->fillPolygon({{5, 5}, {5, 5}, {5, 5}, {5, 5}});
    c.g->fillPolygon({{2, 7}, {6, 7}, {6, 7}, {2, 7}});  // flat quadrilateral
    c.g->fillPolygon({{4, 1}, {4, 9}, {4, 9}, {4, 1}});  // zero width
    EXPECT_EQ(c.count(kInk), 0);
}

TEST(FillPolygon, ExtremeCoordinatesFillTheVisiblePartOnly) {
    Canvas c(16, 12);
    c.g->fillPolygon({{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}});
    EXPECT_EQ(c.count(kInk), 16 * 12);

    // A half-plane below the diagonal x == y of a huge triangle.
    Canvas d(16, 12);
    d.g->fillPolygon({{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}});
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(d.inked(x, y), x < y) << x << "," << y;

    Canvas e(16, 12);
    e.g->fillPolygon({{INT_MAX, INT_MAX}, {INT_MAX - 5, INT_MAX}, {INT_MAX, INT_MAX - 5}});
    e.g->fillPolygon({{INT_MIN, 0}, {INT_MIN + 3, 0}, {INT_MIN, 11}});
    EXPECT_EQ(e.count(kInk), 0);
}

TEST(FillPolygon, CrossingShapesFillBothLobes) {
    // A bow tie, as a mountain piece whose curve crosses the axis.
    Canvas c(20, 20);
    c.g->fillPolygon({{0, 0}, {10, 20}, {10, 10}, {0, 10}});
    EXPECT_TRUE(c.inked(1, 8));    // above the axis, left of the crossing
    EXPECT_TRUE(c.inked(8, 12));   // below the axis, right of the crossing
    EXPECT_FALSE(c.inked(8, 5));
    EXPECT_FALSE(c.inked(1, 15));
}

// Mountain pieces between a curve and the axis tile the area under the curve:
// no pixel is filled twice (so no seams) and none is missed.
TEST(FillPolygon, AdjacentPiecesNeitherOverlapNorLeaveGaps) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> height(2, 58);
    const int w = 80, h = 64, axis = 60;
    std::vector<Point> curve;
    for (int x = 0; x < w; x += 1 + int(rng() % 4)) curve.push_back({x, height(rng)});

    std::vector<int> covered(w * h, 0);
    for (size_t i = 1; i < curve.size(); ++i) {
        Canvas piece(w, h);
        Point p = curve[i - 1], q = curve[i];
        piece.g->fillPolygon({p, q, {q.x, axis}, {p.x, axis}});
        for (int k = 0; k < w * h; ++k) covered[k] += piece.image->data()[k] == kInk.argb();
    }
    Polygon whole(curve.begin(), curve.end());
    whole.push_back({curve.back().x, axis});
    whole.push_back({curve.front().x, axis});
    Canvas all(w, h);
    all.g->fillPolygon(whole);
    for (int k = 0; k < w * h; ++k) {
        ASSERT_LE(covered[k], 1) << "pixel " << k % w << "," << k / w;
        ASSERT_EQ(covered[k] == 1, all.image->data()[k] == kInk.argb()) << "pixel " << k % w << "," << k / w;
    }
}

// A filled mountain with its curve drawn over it looks solid: in every
// column, from the curve down to the axis, no background shows through.
TEST(FillPolygon, MountainMeetsTheCurveDrawnOverIt) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 50; ++trial) {
        const int w = 90, h = 70, axis = 66;
        std::uniform_int_distribution<int> height(0, 65);
        Canvas c(w, h);
        std::vector<Point> curve;
        for (int x = 1; x < w; x += 1 + int(rng() % 6)) curve.push_back({x, height(rng)});
        for (size_t i = 1; i < curve.size(); ++i) {
            c.g->setColor(kFill);
            Point p = curve[i - 1], q = curve[i];
            c.g->fillPolygon({p, q, {q.x, axis}, {p.x, axis}});
            c.g->setColor(kInk);
            c.g->drawLine(p.x, p.y, q.x, q.y);
        }
        for (int x = curve.front().x; x < curve.back().x; ++x) {
            int top = 0;
            while (top < axis && !c.inked(x, top)) ++top;
            ASSERT_LT(top, axis) << "column " << x << " has no curve pixel";
            for (int y = top; y < axis; ++y)
                ASSERT_NE(c.at(x, y), kWhite.argb()) << "gap at " << x << "," << y << " trial " << trial;
        }
    }
}

TEST(Bevel, RaisedBoxHasLitTopLeftAndShadedBottomRight) {
    const Color face(120, 130, 140);
    Canvas c(12, 10);
    c.g->setColor(face);
    c.g->fill3DRect(1, 2, 8, 6, true);
    const uint32_t light = face.brighter().argb(), dark = face.darker().argb();
    ASSERT_NE(light, face.argb());
    ASSERT_NE(dark, face.argb());
    EXPECT_EQ(c.at(1, 2), light);
    EXPECT_EQ(c.at(5, 2), light);
    EXPECT_EQ(c.at(1, 5), light);
    EXPECT_EQ(c.at(8, 7), dark);
    EXPECT_EQ(c.at(8, 4), dark);
    EXPECT_EQ(c.at(4, 7), dark);
    EXPECT_EQ(c.at(4, 4), face.argb());
    EXPECT_EQ(c.at(9, 4), kWhite.argb());  // the box ends at x + w - 1
    EXPECT_EQ(c.at(4, 8), kWhite.argb());
    EXPECT_EQ(c.g->getColor(), face);  // the edges do not change the colour

    Canvas d(12, 10);
    d.g->setColor(face);
    d.g->draw3DRect(1, 2, 8, 6, false);
    EXPECT_EQ(d.at(1, 2), dark);
    EXPECT_EQ(d.at(8, 7), light);
    EXPECT_EQ(d.at(4, 4), kWhite.argb());  // an outline only

    Canvas e(12, 10);
    e.g->fill3DRect(1, 1, 0, 5, true);
    e.g->draw3DRect(1, 1, 5, -2, true);
    e.g->fill3DRect(INT_MAX, INT_MAX, INT_MAX, INT_MAX, true);
    e.g->draw3DRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, false);
    EXPECT_EQ(e.count(kWhite), 120);
}

TEST(Bevel, ShadesDifferEvenForBlackAndStayInRange) {
    EXPECT_NE(Color(0, 0, 0).brighter(), Color(0, 0, 0));
    EXPECT_EQ(Color(255, 255, 255).brighter(), Color(255, 255, 255));
    EXPECT_EQ(Color(200, 1, 0).brighter(), Color(255, 4, 0));
    EXPECT_EQ(Color(100, 10, 0).darker(), Color(70, 7, 0));
}

TEST(DrawImage, CopiesWithClipping) {
    auto src = Image::create(3, 2);
    auto sg = src->getGraphics();
    for (int i = 0; i < 6; ++i) {
        sg->setColor(Color(i * 10, 0, 0));
        sg->fillRect(i % 3, i / 3, 1, 1);
    }
    Canvas c(5, 4);
    c.g->drawImage(*src, 1, 1);
    EXPECT_EQ(c.at(1, 1), Color(0, 0, 0).argb());
    EXPECT_EQ(c.at(3, 2), Color(50, 0, 0).argb());
    EXPECT_EQ(c.at(0, 0), kWhite.argb());
    EXPECT_EQ(c.at(4, 3), kWhite.argb());

    Canvas d(5, 4);
    d.g->drawImage(*src, -2, -1);  // only source pixel (2, 1) lands, at (0, 0)
    EXPECT_EQ(d.at(0, 0), Color(50, 0, 0).argb());
    EXPECT_EQ(d.count(kWhite), 19);
    d.g->drawImage(*src, INT_MAX, INT_MIN);
    d.g->drawImage(*src, INT_MIN, INT_MAX);
    EXPECT_EQ(d.count(kWhite), 19);
}

TEST(DrawImage, OntoItselfShiftsWithoutSmearing) {
    for (int shift : {1, -1}) {
        Canvas c(4, 6);
        for (int y = 0; y < 6; ++y) {
            c.g->setColor(Color(y * 40, 0, 0));
            c.g->fillRect(0, y, 4, 1);
        }
        c.g->drawImage(*c.image, 0, shift);
        for (int y = 0; y < 6; ++y) {
            const int from = y - shift;
            const int expected = (from < 0 || from > 5) ? y : from;  // rows not covered keep their colour
            EXPECT_EQ(c.at(2, y), Color(expected * 40, 0, 0).argb()) << "shift " << shift << " row " << y;
        }
    }
}

TEST(GrabPixels, StoresRowsAtOffsetWithScan) {
    Canvas c(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            c.g->setColor(Color(x, y, 7));
            c.g->fillRect(x, y, 1, 1);
        }
    std::vector<uint32_t> out(20, 0xDEADBEEF);
    int status = -1;
    ASSERT_TRUE(c.image->grabPixels(1, 1, 2, 2, out.data(), 3, 5, &status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out[3], 0xFF010107u);
    EXPECT_EQ(out[4], 0xFF020107u);
    EXPECT_EQ(out[8], 0xFF010207u);
    EXPECT_EQ(out[9], 0xFF020207u);
    EXPECT_EQ(out[5], 0xDEADBEEFu);  // the gap between rows is left alone
    EXPECT_EQ(out[2], 0xDEADBEEFu);
    EXPECT_EQ(out[10], 0xDEADBEEFu);

    // The whole image with offset 0 and scan = width: the callers' form.
    std::vector<uint32_t> all(12);
    ASSERT_TRUE(c.image->grabPixels(0, 0, 4, 3, all.data(), 0, 4, nullptr));
    EXPECT_TRUE(std::equal(all.begin(), all.end(), c.image->data()));
}

TEST(GrabPixels, RefusesRequestsOutsideTheImageOrMalformed) {
    Canvas c(4, 3);
    std::vector<uint32_t> out(64, 0x12345678);
    struct Case {
        int x, y, w, h, offset, scan;
    };
    const Case bad[] = {
        {-1, 0, 2, 2, 0, 2},     {0, -1, 2, 2, 0, 2},      {3, 0, 2, 1, 0, 2},       {0, 2, 1, 2, 0, 1},
        {0, 0, 5, 1, 0, 5},      {0, 0, -1, 1, 0, 1},      {0, 0, 1, -1, 0, 1},      {0, 0, 2, 2, -1, 2},
        {0, 0, 2, 2, 0, 1},      {0, 0, 2, 2, 0, -2},      {INT_MAX, 0, 1, 1, 0, 1}, {1, 1, INT_MAX, 1, 0, INT_MAX},
        {0, 1, 1, INT_MAX, 0, 1},
    };
    for (const Case& k : bad) {
        int status = 0;
        EXPECT_FALSE(c.image->grabPixels(k.x, k.y, k.w, k.h, out.data(), k.offset, k.scan, &status))
            << k.x << "," << k.y << " " << k.w << "x" << k.h;
        EXPECT_NE(status & PixelSource::GRAB_ABORTED, 0);
        EXPECT_FALSE(c.image->grabPixels(k.x, k.y, k.w, k.h, out.data(), k.offset, k.scan, nullptr));
    }
    int status = 0;
    EXPECT_FALSE(c.image->grabPixels(0, 0, 2, 2, nullptr, 0, 2, &status));
    EXPECT_EQ(status, PixelSource::GRAB_ABORTED);
    for (uint32_t v : out) EXPECT_EQ(v, 0x12345678u);

    // An empty request inside the image is a success that writes nothing.
    EXPECT_TRUE(c.image->grabPixels(4, 3, 0, 0, nullptr, 0, 0, &status));
    EXPECT_EQ(status, 0);
}

}  // namespace
