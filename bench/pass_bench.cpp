// A whole generation pass as the service runs it: 100 charts of 320x200,
// each with its own graph file and a data file of 1,512 points (every 10
// minutes), drawn as a curve and written as a run-length GIF and a PNG at
// level 0, with the console and log lines of the pass. Files are real;
// console lines go to /dev/null through a real write each. The pass runs in
// a folder on the disk (/tmp) and, to tell the file system's share apart,
// in one in memory (/dev/shm). Three kinds of pass: every image written
// without flushing it to the disk (how images were written before they
// were made durable), every image written durably (the service's pass), and
// a quiet pass, where nothing changed since the last pass and every image
// is drawn, encoded and found unchanged (INDICEGIF_KEEP_UNCHANGED). Then
// what trading time costs a pass, and passes over shared, growing files.

#include "app/ChartPass.h"
#include "app/ServiceStatus.h"
#include "app/zkQuoteForge.h"
#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "support/SysProperties.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int kCharts = 100;
constexpr int kPoints = 1512;

// Console lines written to /dev/null, so the bench's own output stays
// readable; with plainWrites, files are replaced without flushing them.
class QuietConsole : public PlatformWrapper {
public:
    explicit QuietConsole(bool plainWrites = false)
        : PlatformWrapper(Platform::current()), fd_(::open("/dev/null", O_WRONLY | O_CLOEXEC)), plain_(plainWrites) {}
    ~QuietConsole() override { ::close(fd_); }
    void writeStdout(std::string_view text) override { [[maybe_unused]] ssize_t n = ::write(fd_, text.data(), text.size()); }

    // The rename without the flush before it or the folder's sync after it.
    struct Unflushed : StagedFile {
        std::unique_ptr<StagedFile> inner;
        explicit Unflushed(std::unique_ptr<StagedFile> i) : inner(std::move(i)) {}
        bool flush(std::string&) override { return true; }
        bool place(std::string& e) override { return inner->place(e); }
        void syncFolder() override {}
    };
    std::unique_ptr<StagedFile> stageFile(const std::string& p, std::string_view d, std::string& e) override {
        std::unique_ptr<StagedFile> staged = target_.stageFile(p, d, e);
        if (!plain_ || !staged) return staged;
        return std::make_unique<Unflushed>(std::move(staged));
    }
    bool flushStaged(const std::vector<StagedFile*>& staged, std::string& e) override {
        return plain_ || target_.flushStaged(staged, e);
    }

private:
    int fd_;
    bool plain_;
};

// How the images of a pass are written.
enum PassKind { kPlainWrites = 0, kDurableWrites = 1, kQuietPass = 2 };

// The graph file name.ini of chart n: 11 days of data from dataFile drawn
// at 320x200, written as name.gif (run-length) and name.png (at pngLevel);
// the window ends at wedge (YYYYMMDD;HHMMSS) when one is given, now otherwise.
void writeGraphFile(const std::string& name, int n, const std::string& dataFile, int pngLevel = 0,
                    const std::string& wedge = "", const std::string& more = "") {
    std::ofstream(name + ".ini") << "GRAPH_NAME=Index " << n << "\nGRAPH_DATA_FILE=" << dataFile
                                 << "\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=11\n"
                                 << (wedge.empty() ? ""
                                                   : "GRAPH_DURATION_PERIOD_WEDGE_DATE=" + wedge.substr(0, 8) +
                                                         "\nGRAPH_DURATION_PERIOD_WEDGE_TIME=" + wedge.substr(9) + "\n")
                                 << "GRAPH_PRINT_WIDTH=320\nGRAPH_PRINT_HEIGHT=200\n"
                                    "GRAPH_PRINT_GIF_VALID=yes\nGRAPH_PRINT_GIF_LZWCOMPRESS=no\n"
                                    "GRAPH_PRINT_GIF_NAME="
                                 << name << ".gif\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_COMPRESS=" << pngLevel << "\n"
                                 << "GRAPH_PRINT_PNG_NAME=" << name << ".png\n"
                                 << more;
}

// The folder of the pass: graph files, data files, images and the log.
// Every window ends a minute after the last record, so that passes a
// moment apart draw the same images.
std::string preparePass(const std::string& base, int pngLevel, bool keepUnchanged, const std::string& more = "") {
    std::string tmpl = base + "/zk_pass_bench_XXXXXX";
    if (!mkdtemp(tmpl.data())) return "";
    const std::string dir = tmpl;
    const int64_t now = Platform::current().nowMillis();
    std::string data;
    double x = 4242.0;
    // 1,512 points ending now, every 10 minutes: all inside an 11-day window.
    for (int i = kPoints - 1; i >= 0; --i, x += 1.0) {
        const int64_t t = now - int64_t(i) * 600000;
        data += Indication_Tools::getBddDate(t) + ";" + Indication_Tools::getBddTime(t) + ";" +
                zkQuoteForge::formatValue(6000.0 + 2000.0 * std::sin(x / 30.0)) + "\n";
    }
    Properties config{{"INDICEGIF_LOG", dir + "/log_quoteforge.txt"},
                      {"INDICEGIF_KEEP_UNCHANGED", keepUnchanged ? "yes" : "no"}};
    const std::string wedge =
        Indication_Tools::getBddDate(now + 60000) + ";" + Indication_Tools::getBddTime(now + 60000);
    for (int n = 1; n <= kCharts; ++n) {
        const std::string name = dir + "/chart" + std::to_string(n);
        std::ofstream(name + ".txt") << data;
        writeGraphFile(name, n, name + ".txt", pngLevel, wedge, more);
        config["INDICEGIF_FILE_" + std::to_string(n)] = name + ".ini";
    }
    SysProperties.store(std::make_shared<const Properties>(std::move(config)));
    return dir;
}

void passIn(benchmark::State& state, const std::string& base) {
    const auto kind = static_cast<PassKind>(state.range(1));
    QuietConsole console(kind == kPlainWrites);
    ScopedPlatform installed(console);
    const std::string dir = preparePass(base, static_cast<int>(state.range(0)), kind == kQuietPass);
    if (dir.empty()) {
        state.SkipWithError("cannot make a folder there");
        return;
    }
    Indication_Graph surface;  // one surface for every chart of every pass
    ChartPass charts(surface, &zkQuoteForge::buildChart);
    ServiceStatus status;
    if (kind == kQuietPass) zkQuoteForge::generationPass(charts);  // the images the quiet passes find
    for (auto _ : state) zkQuoteForge::generationPass(charts, &status);
    // Every chart must have been written (or found unchanged), or the figure means nothing.
    const std::string counted = kind == kQuietPass ? "zkquoteforge_last_pass_images_unchanged 200\n"
                                                   : "zkquoteforge_last_pass_images_written 200\n";
    if (status.exposition().find(counted) == std::string::npos) state.SkipWithError("not every image was written");
    state.counters["per_chart"] =
        benchmark::Counter(kCharts, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    surface.finalize();
    SysProperties.store(nullptr);
    std::filesystem::remove_all(dir);
}
void BM_GenerationPass_100Charts_Disk(benchmark::State& state) { passIn(state, "/tmp"); }
void BM_GenerationPass_100Charts_Memory(benchmark::State& state) { passIn(state, "/dev/shm"); }
// The PNG's compression level, and the kind of pass (PassKind: plain,
// durable, quiet).
BENCHMARK(BM_GenerationPass_100Charts_Disk)
    ->ArgsProduct({{0}, {kPlainWrites, kDurableWrites, kQuietPass}})
    ->Args({6, kDurableWrites})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_GenerationPass_100Charts_Memory)
    ->ArgsProduct({{0}, {kPlainWrites, kDurableWrites, kQuietPass}})
    ->Args({6, kDurableWrites})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What trading time costs a pass: the pass above in memory (plain writes),
// its charts labelled at calendar steps (LEGENDE_X_FORMAT=auto), beside the
// same charts on trading sessions (arg 1): a calendar file of sessions
// around the clock every day, with Paris's closed days and early closes, so
// that the same records are drawn, each instant mapped through open time.
void tradingPass(benchmark::State& state) {
    const bool sessions = state.range(0) != 0;
    QuietConsole console(true);
    ScopedPlatform installed(console);
    const std::string calendar = "/dev/shm/zk_pass_bench_" + std::to_string(::getpid()) + ".calendar";
    std::ofstream(calendar) << "CALENDAR_SESSIONS=00:00-24:00\nCALENDAR_TRADING_DAYS=sun;mon;tue;wed;thu;fri;sat\n"
                               "CALENDAR_CLOSED_1=01-01\nCALENDAR_CLOSED_2=easter-2\nCALENDAR_CLOSED_3=easter+1\n"
                               "CALENDAR_CLOSED_4=05-01\nCALENDAR_CLOSED_5=12-25\nCALENDAR_CLOSED_6=12-26\n"
                               "CALENDAR_EARLY_CLOSE_1=12-24 14:05\nCALENDAR_EARLY_CLOSE_2=12-31 14:05\n";
    const std::string dir =
        preparePass("/dev/shm", 0, false, "LEGENDE_X_FORMAT=auto\n" + (sessions ? "GRAPH_CALENDAR=" + calendar + "\n" : ""));
    if (dir.empty()) {
        state.SkipWithError("cannot make a folder there");
        return;
    }
    Indication_Graph surface;
    ChartPass charts(surface, &zkQuoteForge::buildChart);
    ServiceStatus status;
    zkQuoteForge::generationPass(charts);  // the first pass parses every file, as the service's does
    for (auto _ : state) zkQuoteForge::generationPass(charts, &status);
    if (status.exposition().find("zkquoteforge_last_pass_images_written 200\n") == std::string::npos)
        state.SkipWithError("not every image was written");
    state.counters["per_chart"] =
        benchmark::Counter(kCharts, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    surface.finalize();
    SysProperties.store(nullptr);
    std::filesystem::remove_all(dir);
    std::filesystem::remove(calendar);
}
void BM_TradingTimePass_100Charts_Memory(benchmark::State& state) { tradingPass(state); }
// 0: calendar labels on plain time; 1: on trading sessions.
BENCHMARK(BM_TradingTimePass_100Charts_Memory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// 100 charts drawn from 4 data files (25 charts each) of lines records, every
// 10 minutes up to now; each chart shows the last 1,512 points (11 days).
// Every pass after the first finds the files grown by a few lines, as an
// update step leaves them. With threads workers. The 1,512-line files give
// the cost of a pass over small files; the 100,000-line ones, over years of
// data: the ratio of the two is the cost of the data kept.
std::string prepareSharedFiles(const std::string& base, int64_t lines, int threads, int64_t& next) {
    std::string tmpl = base + "/zk_pass_bench_XXXXXX";
    if (!mkdtemp(tmpl.data())) return "";
    const std::string dir = tmpl;
    const int64_t now = Platform::current().nowMillis();
    next = now - int64_t{24} * 3600000;  // a day of room for the lines added later
    Properties config{{"INDICEGIF_LOG", dir + "/log_quoteforge.txt"},
                      {"INDICEGIF_THREADS", std::to_string(threads)}};
    for (int f = 0; f < 4; ++f) {
        std::string data;
        double x = 4242.0 + f;
        for (int64_t i = lines - 1; i >= 0; --i, x += 1.0) {
            const int64_t t = next - i * 600000;
            data += Indication_Tools::getBddDate(t) + ";" + Indication_Tools::getBddTime(t) + ";" +
                    zkQuoteForge::formatValue(6000.0 + 2000.0 * std::sin(x / 30.0)) + "\n";
        }
        std::ofstream(dir + "/data" + std::to_string(f) + ".txt") << data;
    }
    for (int n = 1; n <= kCharts; ++n) {
        const std::string name = dir + "/chart" + std::to_string(n);
        writeGraphFile(name, n, dir + "/data" + std::to_string(n % 4) + ".txt");
        config["INDICEGIF_FILE_" + std::to_string(n)] = name + ".ini";
    }
    SysProperties.store(std::make_shared<const Properties>(std::move(config)));
    return dir;
}

void sharedFilesPass(benchmark::State& state) {
    const int64_t lines = state.range(0);
    const int threads = static_cast<int>(state.range(1));
    QuietConsole console;
    ScopedPlatform installed(console);
    int64_t next = 0;
    const std::string dir = prepareSharedFiles(state.range(2) ? "/dev/shm" : "/tmp", lines, threads, next);
    if (dir.empty()) {
        state.SkipWithError("cannot make a folder there");
        return;
    }
    Indication_Graph surface;
    ChartPass charts(surface, &zkQuoteForge::buildChart);
    zkQuoteForge::generationPass(charts);  // the first pass reads every file whole
    for (auto _ : state) {
        for (int f = 0; f < 4; ++f) {
            std::ofstream out(dir + "/data" + std::to_string(f) + ".txt", std::ios::app);
            for (int k = 0; k < 3; ++k) {
                next += 60000;
                out << Indication_Tools::getBddDate(next) << ';' << Indication_Tools::getBddTime(next) << ";6001.5\n";
            }
        }
        zkQuoteForge::generationPass(charts);
    }
    if (!std::filesystem::exists(dir + "/chart" + std::to_string(kCharts) + ".png")) state.SkipWithError("no image");
    state.counters["per_chart"] =
        benchmark::Counter(kCharts, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    surface.finalize();
    SysProperties.store(nullptr);
    std::filesystem::remove_all(dir);
}
void BM_GrownFilesPass_100Charts(benchmark::State& state) { sharedFilesPass(state); }
// Lines per file, workers, images on disk (0) or in memory (1).
BENCHMARK(BM_GrownFilesPass_100Charts)
    ->Args({1512, 1, 0})
    ->Args({100000, 1, 0})
    ->Args({100000, 2, 0})
    ->Args({1512, 1, 1})
    ->Args({100000, 1, 1})
    ->Args({100000, 2, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
