// Cost of rendering one 320 x 200 chart of 1,512 points with its captions:
// frame, data window and period caption, legends, data and axes, into the
// chart's off-screen image. Fonts are loaded by the first render.

#include "chart/ChartFrame.h"
#include "chart/Graphics.h"
#include "chart/Indication_Data.h"
#include "chart/SvgGraphics.h"
#include "encoders/GIFEncoder.h"
#include "encoders/PngEncoder.h"
#include "support/Platform.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

constexpr int kW = 320;
constexpr int kH = 200;
constexpr int kDays = 63;
constexpr int kPoints = kDays * 24;  // 1,512 hourly quotes

// The window's "Image from" report is printed and logged once per render;
// here it would measure the terminal and the disk, not the drawing.
class QuietPlatform : public PlatformWrapper {
public:
    QuietPlatform() : PlatformWrapper(Platform::current()), previous_(Platform::install(this)) {}
    ~QuietPlatform() override { Platform::install(previous_); }
    void writeStdout(std::string_view) override {}
    bool appendFile(const std::string&, std::string_view, std::string&) override { return true; }
    bool appendLogLine(const std::string&, std::string_view, const LogRotation&, std::string&, std::string&) override {
        return true;
    }

private:
    Platform* previous_;
};

std::unique_ptr<Indication_Data> model(bool everything) {
    auto m = std::make_unique<Indication_Data>();
    m->iModeGraphicsData = Indication_Data::MODEGRAPH_DAY;
    m->iModeGraphicsData_Duration = kDays;
    m->szGraph_Title = "CAC 40 - v1.05";
    m->szGraph_CopyRight = "(c) zkQuoteForge";
    m->szDate_WeekDay = "DLMMJVS";
    const int64_t start = Platform::current().fromLocal(CalendarFields{2001, 9, 17, 0, 0, 0, 0, 0});
    m->dModeGraphicsData_DurationEnd = start + int64_t{kPoints} * Indication_Data::TIME_HOURTOMILLISECOND;
    for (int i = 1; i <= kPoints; ++i) {
        m->vecGraph_Date.push_back(start + int64_t{i} * Indication_Data::TIME_HOURTOMILLISECOND);
        m->vecGraph_Data.push_back(4500 + 300 * std::sin(i / 120.0) + 40 * std::sin(i * 1.3));
    }
    if (everything) {
        m->bGraphCourbe_Rempli = true;
        m->bGraphHistogram_Display = true;
        m->iGraphHistogram_NumberBar = 2;
        m->bTendance_MoyenneMobile = true;
        m->iTendance_MoyenneMobile_Coef = 24;
        m->bAxe_AfficheHorizontales = true;
        m->bAxe_AfficheVerticales = true;
        m->bDate_DispWeekDay = false;
        m->bModeGraphicsData_ZoomValues = true;
    }
    m->Data_InitMinMax();
    return m;
}

void render(benchmark::State& state, bool everything) {
    QuietPlatform quiet;
    auto m = model(everything);
    ChartLayout layout;
    m->startLayout(layout);
    auto image = Image::create(kW + 1, kH + 1);
    auto g = image->getGraphics();
    paintChartFrame(*g, *m, layout, kW, kH, 2);  // loads the fonts
    for (auto _ : state) {
        paintChartFrame(*g, *m, layout, kW, kH, 2);
        benchmark::DoNotOptimize(image->data());
    }
}

void BM_RenderChart1512Points(benchmark::State& state) { render(state, false); }
BENCHMARK(BM_RenderChart1512Points)->Unit(benchmark::kMicrosecond);

// Mountain, two bars a day, trend, grid lines, weekends hidden, zoomed.
void BM_RenderChart1512PointsEverything(benchmark::State& state) { render(state, true); }
BENCHMARK(BM_RenderChart1512PointsEverything)->Unit(benchmark::kMicrosecond);

// What trading time costs a drawing: the plain chart with labels at calendar
// steps, then the same on sessions around the clock every day (the same
// records, each instant mapped through open time).
void renderLabelled(benchmark::State& state, bool sessions) {
    QuietPlatform quiet;
    auto m = model(false);
    m->szLegende_X_Format = "auto";
    if (sessions) {
        TradingCalendar calendar;
        TradingCalendar::parseSessions("00:00-24:00", calendar.sessions);
        TradingCalendar::parseWeekdays("sun;mon;tue;wed;thu;fri;sat", calendar.tradingDays);
        m->calendar = std::make_shared<const TradingCalendar>(calendar);
        m->Data_InitMinMax();
    }
    ChartLayout layout;
    m->startLayout(layout);
    auto image = Image::create(kW + 1, kH + 1);
    auto g = image->getGraphics();
    paintChartFrame(*g, *m, layout, kW, kH, 2);
    for (auto _ : state) {
        paintChartFrame(*g, *m, layout, kW, kH, 2);
        benchmark::DoNotOptimize(image->data());
    }
}
void BM_RenderChartCalendarLabels(benchmark::State& state) { renderLabelled(state, false); }
BENCHMARK(BM_RenderChartCalendarLabels)->Unit(benchmark::kMicrosecond);
void BM_RenderChartTradingTime(benchmark::State& state) { renderLabelled(state, true); }
BENCHMARK(BM_RenderChartTradingTime)->Unit(benchmark::kMicrosecond);

// A chart's SVG against its PNG at level 0 (stored), each drawn and encoded
// whole: what writing one more format costs.
void BM_ChartAsPngLevel0(benchmark::State& state) {
    QuietPlatform quiet;
    auto m = model(true);
    ChartLayout layout;
    m->startLayout(layout);
    auto image = Image::create(kW + 1, kH + 1);
    auto g = image->getGraphics();
    paintChartFrame(*g, *m, layout, kW, kH, 2);
    size_t bytes = 0;
    for (auto _ : state) {
        paintChartFrame(*g, *m, layout, kW, kH, 2);
        PngEncoder encoder(image.get());
        encoder.setCompressionLevel(0);
        bytes = encoder.pngEncode().bytes().size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ChartAsPngLevel0)->Unit(benchmark::kMicrosecond);

// The run-length GIF of a drawn chart, encoded alone (the drawing is done
// once): arg 0 the plain chart, 1 the full one.
void BM_ChartAsRunLengthGif(benchmark::State& state) {
    QuietPlatform quiet;
    auto m = model(state.range(0) != 0);
    ChartLayout layout;
    m->startLayout(layout);
    auto image = Image::create(kW + 1, kH + 1);
    auto g = image->getGraphics();
    paintChartFrame(*g, *m, layout, kW, kH, 2);
    size_t bytes = 0;
    for (auto _ : state) {
        const EncodedImage gif = GIFEncoder(*image, kW, kH).encode(0);
        bytes = gif.bytes().size();
        benchmark::DoNotOptimize(gif.bytes().data());
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ChartAsRunLengthGif)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Arg 1: the full chart; 0: the plain chart (curve and captions), as the
// size limit is stated for.
void BM_ChartAsSvg(benchmark::State& state) {
    QuietPlatform quiet;
    auto m = model(state.range(0) != 0);
    ChartLayout layout;
    m->startLayout(layout);
    size_t bytes = 0;
    for (auto _ : state) {
        SvgGraphics svg(kW + 1, kH + 1, "CAC 40 - v1.05");
        paintChartFrame(svg, *m, layout, kW, kH, 2);
        bytes = svg.finish().size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ChartAsSvg)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace
