// The chart surface's work per chart: loading a graph file with its data,
// rendering, and writing each kind of image file (encoded in memory, then
// replaced atomically). One chart like the bundled example's: 400 x 220,
// five days of 10-minute samples.

#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Keeps the console and the log quiet: every write reports a line.
class QuietPlatform : public PlatformWrapper {
public:
    QuietPlatform() : PlatformWrapper(Platform::current()) {}
    bool appendFile(const std::string&, std::string_view, std::string&) override { return true; }
    bool appendLogLine(const std::string&, std::string_view, const LogRotation&, std::string&, std::string&) override {
        return true;
    }
    void writeStdout(std::string_view) override {}
};

const std::string kDir = "/tmp/zk_surface_bench";

// A graph file over data-maker-like samples ending now; extra keys appended.
std::string writeChart(const std::string& name, const std::string& extra) {
    std::filesystem::create_directories(kDir);
    const std::string data = kDir + "/data.txt";
    {
        std::ofstream out(data, std::ios::binary);
        const int64_t now = Platform::current().nowMillis();
        double x = 4242.0;
        for (int64_t offset = 7 * 86400000LL; offset > -302400000LL; offset -= 600000) {
            const int64_t t = now - offset;
            char value[32];
            std::snprintf(value, sizeof value, "%.10g", 6000.0 + 2000.0 * std::sin(x++ / 30.0));
            out << Indication_Tools::getBddDate(t) << ';' << Indication_Tools::getBddTime(t) << ';' << value << '\n';
        }
    }
    const std::string graph = kDir + "/" + name + ".ini";
    std::ofstream out(graph, std::ios::binary);
    out << "GRAPH_DATA_FILE=" << data << "\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"
        << "GRAPH_PRINT_WIDTH=400\nGRAPH_PRINT_HEIGHT=220\nGRAPH_NAME=Bench chart\n"
        << "GRAPH_AXE_VERTICAL=yes\nGRAPH_AXE_HORIZONTAL=yes\nGRAPH_CURVE_THICKNESS=2\n"
        << "GRAPH_DATE_WEEKDAY=SMTWTFS\n"
        << "GRAPH_PRINT_GIF_NAME=" << kDir << "/" << name << ".gif\n"
        << "GRAPH_PRINT_PNG_NAME=" << kDir << "/" << name << ".png\n"
        << extra;
    return graph;
}

void BM_InitGraphique(benchmark::State& state) {
    QuietPlatform quiet;
    ScopedPlatform scoped(quiet);
    const std::string graph = writeChart("init", "");
    Indication_Graph surface;
    for (auto _ : state) benchmark::DoNotOptimize(surface.initGraphique(graph));
}
BENCHMARK(BM_InitGraphique)->Unit(benchmark::kMicrosecond);

// Rendering alone: the frame, legends, axes and curve into the image.
void BM_Render(benchmark::State& state) {
    QuietPlatform quiet;
    ScopedPlatform scoped(quiet);
    Indication_Graph surface;
    surface.initGraphique(writeChart("render", ""));
    for (auto _ : state) {
        surface.bUpdateImage = true;
        surface.update(surface.offScrGraphics.get());
    }
}
BENCHMARK(BM_Render)->Unit(benchmark::kMicrosecond);

// One image file written from an already rendered chart.
void saveOne(benchmark::State& state, const std::string& name, const std::string& keys, bool png) {
    QuietPlatform quiet;
    ScopedPlatform scoped(quiet);
    Indication_Graph surface;
    surface.initGraphique(writeChart(name, keys));
    surface.SaveToImage();
    for (auto _ : state) {
        const bool ok = png ? surface.SaveToPNG(false) : surface.SaveToGif(false);
        if (!ok) state.SkipWithError("the write failed");
    }
}

void BM_SaveGif_RunLength(benchmark::State& state) { saveOne(state, "gif_rl", "", false); }
BENCHMARK(BM_SaveGif_RunLength)->Unit(benchmark::kMicrosecond);

void BM_SaveGif_LZW(benchmark::State& state) {
    saveOne(state, "gif_lzw", "GRAPH_PRINT_GIF_LZWCOMPRESS=yes\n", false);
}
BENCHMARK(BM_SaveGif_LZW)->Unit(benchmark::kMicrosecond);

void BM_SavePng(benchmark::State& state) {
    saveOne(state, "png_" + std::to_string(state.range(0)),
            "GRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_FILTER=1\nGRAPH_PRINT_PNG_COMPRESS=" +
                std::to_string(state.range(0)) + "\n",
            true);
}
BENCHMARK(BM_SavePng)->Arg(0)->Arg(6)->Arg(9)->Unit(benchmark::kMicrosecond);

// What replacing a file atomically costs over writing it in place, for a
// chart-sized file (8 KB).
void BM_WriteFile(benchmark::State& state) {
    const std::string bytes(8192, 'x');
    const std::string path = kDir + "/write.bin";
    std::filesystem::create_directories(kDir);
    std::string error;
    for (auto _ : state) {
        if (state.range(0)) {
            if (!Platform::current().writeFileAtomic(path, bytes, error)) state.SkipWithError("write failed");
        } else {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << bytes;
        }
    }
}
BENCHMARK(BM_WriteFile)->ArgName("atomic")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// What one chart of a generation pass costs: load, render once, GIF and PNG.
void BM_WholeChart(benchmark::State& state) {
    QuietPlatform quiet;
    ScopedPlatform scoped(quiet);
    const std::string graph = writeChart("whole", "GRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_COMPRESS=6\n");
    Indication_Graph surface;
    for (auto _ : state) {
        surface.initGraphique(graph);
        if (surface.SaveToImage() != "GIF ok; PNG ok; ") state.SkipWithError("a write failed");
    }
}
BENCHMARK(BM_WholeChart)->Unit(benchmark::kMicrosecond);

}  // namespace
