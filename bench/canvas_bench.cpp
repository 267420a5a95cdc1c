// Costs of the drawing surface's primitives at chart size (321 x 201, the
// image of a 320 x 200 chart).

#include "chart/Graphics.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kW = 321;
constexpr int kH = 201;
constexpr int kPoints = 1513;  // 1,512 segments

// A day of quotes squeezed into the graph: many points per column, as a
// real intraday chart has.
std::vector<Point> curve() {
    std::vector<Point> pts;
    for (int i = 0; i < kPoints; ++i) {
        const int x = 2 + i * (kW - 6) / (kPoints - 1);
        const int y = 100 + int(60 * std::sin(i / 90.0) + 12 * std::sin(i * 1.7));
        pts.push_back({x, y});
    }
    return pts;
}

void BM_DrawLines1512Segments(benchmark::State& state) {
    auto image = Image::create(kW, kH);
    auto g = image->getGraphics();
    g->setColor(Color(0, 0, 160));
    const auto pts = curve();
    for (auto _ : state) {
        for (size_t i = 1; i < pts.size(); ++i) g->drawLine(pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y);
        benchmark::DoNotOptimize(image->data());
    }
    state.SetItemsProcessed(state.iterations() * (kPoints - 1));
}
BENCHMARK(BM_DrawLines1512Segments);

void BM_FillPolygonMountain1512Pieces(benchmark::State& state) {
    auto image = Image::create(kW, kH);
    auto g = image->getGraphics();
    g->setColor(Color(180, 200, 255));
    const auto pts = curve();
    const int axis = 190;
    std::vector<Polygon> pieces;
    for (size_t i = 1; i < pts.size(); ++i) {
        const Point p = pts[i - 1], q = pts[i];
        pieces.push_back({p, q, {q.x, axis}, {p.x, axis}});
    }
    for (auto _ : state) {
        for (const Polygon& piece : pieces) g->fillPolygon(piece);
        benchmark::DoNotOptimize(image->data());
    }
    state.SetItemsProcessed(state.iterations() * (kPoints - 1));
}
BENCHMARK(BM_FillPolygonMountain1512Pieces);

void BM_FillRectWholeImage(benchmark::State& state) {
    auto image = Image::create(kW, kH);
    auto g = image->getGraphics();
    g->setColor(Color(255, 255, 255));
    for (auto _ : state) {
        g->fillRect(0, 0, kW, kH);
        benchmark::DoNotOptimize(image->data());
    }
}
BENCHMARK(BM_FillRectWholeImage);

void BM_DrawStringCaption(benchmark::State& state) {
    auto image = Image::create(kW, kH);
    auto g = image->getGraphics();
    g->setColor(Color(0, 0, 0));
    g->setFont(Font{"Helvetica", Font::BOLD, 12});
    const char* caption = "CAC 40 du 14/03/2024 17:35";
    g->drawString(caption, 4, 14);  // fonts and glyphs cached before timing
    for (auto _ : state) {
        g->drawString(caption, 4, 14);
        benchmark::DoNotOptimize(image->data());
    }
}
BENCHMARK(BM_DrawStringCaption);

void BM_StringWidthCaption(benchmark::State& state) {
    auto image = Image::create(kW, kH);
    auto g = image->getGraphics();
    const FontMetrics& m = g->getFontMetrics(Font{"Helvetica", Font::PLAIN, 10});
    const char* caption = "CAC 40 du 14/03/2024 17:35";
    benchmark::DoNotOptimize(m.stringWidth(caption));
    for (auto _ : state) benchmark::DoNotOptimize(m.stringWidth(caption));
}
BENCHMARK(BM_StringWidthCaption);

void BM_GrabWholeImage(benchmark::State& state) {
    auto image = Image::create(kW, kH);
    std::vector<uint32_t> out(size_t(kW) * kH);
    for (auto _ : state) {
        benchmark::DoNotOptimize(image->grabPixels(0, 0, kW, kH, out.data(), 0, kW, nullptr));
    }
}
BENCHMARK(BM_GrabWholeImage);

}  // namespace
