// Reading data files: a million minute records, and a data-maker-like file
// (1,512 records, every 10 minutes). Cost must grow linearly with the file.

#include "chart/DataFileCache.h"
#include "chart/Indication_Data.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int64_t kMinute = 60000;

// One record per step from start, values along a sine like the data maker's.
std::string writeDataFile(const std::string& name, int64_t lines, int64_t start, int64_t step) {
    const std::string path = "/tmp/zk_readdata_bench_" + name + ".txt";
    std::ofstream out(path, std::ios::binary);
    std::string buffer;
    double x = 4242.0;
    for (int64_t i = 0; i < lines; ++i) {
        const int64_t t = start + i * step;
        char value[32];
        std::snprintf(value, sizeof value, "%.10g", 6000.0 + 2000.0 * std::sin(x++ / 30.0));
        buffer += Indication_Tools::getBddDate(t);
        buffer += ';';
        buffer += Indication_Tools::getBddTime(t);
        buffer += ';';
        buffer += value;
        buffer += '\n';
        if (buffer.size() > (1 << 20)) {
            out << buffer;
            buffer.clear();
        }
    }
    out << buffer;
    return path;
}

int64_t startOf2000() {
    CalendarFields f;
    f.year = 2000;
    f.month = 1;
    f.day = 3;
    return Platform::current().fromLocal(f);
}

// Minute records read whole (minute mode, period 0: gap step of one minute).
void BM_ReadData_MinuteRecords(benchmark::State& state) {
    static std::map<int64_t, std::string> files;
    const int64_t lines = state.range(0);
    std::string& path = files[lines];
    if (path.empty()) path = writeDataFile("minutes_" + std::to_string(lines), lines, startOf2000(), kMinute);

    Indication_Data model;
    model.iModeGraphicsData = Indication_Data::MODEGRAPH_MINUTE;
    model.iModeGraphicsData_Duration = 0;
    model.dModeGraphicsData_DurationEnd = startOf2000();
    for (auto _ : state) {
        bool ok = model.ReadData(path);
        benchmark::DoNotOptimize(ok);
        if (!ok || model.vecGraph_Date.size() != static_cast<size_t>(lines)) state.SkipWithError("bad read");
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.SetComplexityN(lines);
}
BENCHMARK(BM_ReadData_MinuteRecords)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 20)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The same million records through a window that holds them all.
void BM_ReadData_MillionWindowed(benchmark::State& state) {
    const int64_t lines = 1000000;
    static const std::string path = writeDataFile("minutes_1000000", lines, startOf2000(), kMinute);
    Indication_Data model;
    model.iModeGraphicsData = Indication_Data::MODEGRAPH_MINUTE;
    model.iModeGraphicsData_Duration = static_cast<int>(lines);
    model.dModeGraphicsData_DurationEnd = startOf2000() + lines * kMinute;
    for (auto _ : state) {
        bool ok = model.ReadData(path);
        benchmark::DoNotOptimize(ok);
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_ReadData_MillionWindowed)->Unit(benchmark::kMillisecond);

// A million minute records kept parsed, the file grown by one line before
// each read; the chart shows the last day (day mode). Against a whole read
// of the same file, in the same run.
void grownByOneLine(benchmark::State& state, bool kept) {
    const int64_t lines = 1000000;
    const std::string path = writeDataFile(kept ? "grown_kept" : "grown_whole", lines, startOf2000(), kMinute);
    DataFileCache cache;
    Indication_Data model;
    if (kept) model.setChartContext(ChartContext{&cache});
    model.iModeGraphicsData = Indication_Data::MODEGRAPH_DAY;
    model.iModeGraphicsData_Duration = 1;
    int64_t last = startOf2000() + (lines - 1) * kMinute;
    model.dModeGraphicsData_DurationEnd = last;
    if (!model.ReadData(path)) state.SkipWithError("bad read");
    for (auto _ : state) {
        last += kMinute;
        {
            std::ofstream out(path, std::ios::app);
            out << Indication_Tools::getBddDate(last) << ';' << Indication_Tools::getBddTime(last) << ";6000.5\n";
        }
        model.dModeGraphicsData_DurationEnd = last;
        cache.endPass();
        bool ok = model.ReadData(path);
        benchmark::DoNotOptimize(ok);
        if (!ok || model.vecGraph_Date.back() != last) state.SkipWithError("the new line was not read");
    }
    std::remove(path.c_str());
}
void BM_ReadData_MillionGrownByOneLine_Kept(benchmark::State& state) { grownByOneLine(state, true); }
void BM_ReadData_MillionGrownByOneLine_Whole(benchmark::State& state) { grownByOneLine(state, false); }
BENCHMARK(BM_ReadData_MillionGrownByOneLine_Kept)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadData_MillionGrownByOneLine_Whole)->Unit(benchmark::kMillisecond)->UseRealTime();

// Notes the most memory in use while files are read, at every part read.
class PeakInUse : public PlatformWrapper {
public:
    using PlatformWrapper::PlatformWrapper;
    bool readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error) override {
        return target_.readFileParts(
            path,
            [&](std::string_view part) {
                const MemoryFigures m = target_.memoryFigures();
                peak = std::max(peak, m.held - m.freeWithin);
                return take(part);
            },
            size, error);
    }
    int64_t peak = 0;
};

// Eight files of 250,000 minute records (about 4 MiB parsed each), each pass
// reading all eight (a day's window), with a budget that keeps them all and
// one that keeps three: the passes then parse only the files not kept, and
// the memory in use stays near the budget (peak_in_use_MiB).
void moreFilesThanFit(benchmark::State& state, size_t budget) {
    const int64_t lines = 250000;
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) {
        paths.push_back(writeDataFile("cyclic" + std::to_string(i), lines, startOf2000(), kMinute));
    }
    DataFileCache cache(budget);
    Indication_Data model;
    model.setChartContext(ChartContext{&cache});
    model.iModeGraphicsData = Indication_Data::MODEGRAPH_DAY;
    model.iModeGraphicsData_Duration = 1;
    model.dModeGraphicsData_DurationEnd = startOf2000() + (lines - 1) * kMinute;
    for (const std::string& p : paths) model.ReadData(p);
    cache.endPass();
    const int64_t before = cache.wholeReads();
    PeakInUse measured(Platform::current());
    ScopedPlatform installed(measured);
    for (auto _ : state) {
        for (const std::string& p : paths) {
            if (!model.ReadData(p)) state.SkipWithError("bad read");
        }
        cache.endPass();
    }
    state.counters["whole_reads_a_pass"] =
        static_cast<double>(cache.wholeReads() - before) / static_cast<double>(state.iterations());
    state.counters["held_MiB"] = static_cast<double>(cache.bytesHeld()) / (1 << 20);
    // The budget, one part and one chunk being filled, the series, the model.
    state.counters["peak_in_use_MiB"] = static_cast<double>(measured.peak) / (1 << 20);
    for (const std::string& p : paths) std::remove(p.c_str());
}
void BM_ReadData_EightFiles_AllKept(benchmark::State& state) { moreFilesThanFit(state, size_t{64} << 20); }
void BM_ReadData_EightFiles_ThreeKept(benchmark::State& state) { moreFilesThanFit(state, size_t{13} << 20); }
BENCHMARK(BM_ReadData_EightFiles_AllKept)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadData_EightFiles_ThreeKept)->Unit(benchmark::kMillisecond)->UseRealTime();

// The data maker's series: 7 days back to 3.5 days ahead, every 10 minutes,
// in day mode over 10 days.
void BM_ReadData_DataMaker(benchmark::State& state) {
    const int64_t now = Platform::current().nowMillis();
    static const std::string path = writeDataFile("datamaker", 1512, now - 7 * 86400000LL, 10 * kMinute);
    Indication_Data model;
    model.iModeGraphicsData = Indication_Data::MODEGRAPH_DAY;
    model.iModeGraphicsData_Duration = 10;
    model.dModeGraphicsData_DurationEnd = now + 3 * 86400000LL;
    for (auto _ : state) {
        bool ok = model.ReadData(path);
        benchmark::DoNotOptimize(ok);
    }
    state.SetItemsProcessed(state.iterations() * 1512);
}
BENCHMARK(BM_ReadData_DataMaker)->Unit(benchmark::kMicrosecond);

}  // namespace
