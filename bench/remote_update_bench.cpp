// Base64, the update program round trip, and one memory sample.

#include "app/MemoryWatcherThread.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The echoed program output is counted, not printed.
class QuietPlatform : public PlatformWrapper {
public:
    QuietPlatform() : PlatformWrapper(Platform::current()) {}
    void writeStdout(std::string_view text) override { bytes += text.size(); }
    size_t bytes = 0;
};

void BM_Base64Encode(benchmark::State& state) {
    std::optional<std::vector<uint8_t>> in(std::vector<uint8_t>(1 << 20));
    for (size_t i = 0; i < in->size(); ++i) (*in)[i] = static_cast<uint8_t>(i * 131);
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::base64Encode(in));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in->size()));
}
BENCHMARK(BM_Base64Encode);

void BM_Base64Decode(benchmark::State& state) {
    std::optional<std::vector<uint8_t>> raw(std::vector<uint8_t>(1 << 20));
    for (size_t i = 0; i < raw->size(); ++i) (*raw)[i] = static_cast<uint8_t>(i * 131);
    auto coded = Indication_Tools::base64Encode(raw);
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::base64Decode(coded));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(coded->size()));
}
BENCHMARK(BM_Base64Decode);

// Start, echo range(0) output lines, wait: the cost an update program adds to a pass.
void BM_ExecuteApplication(benchmark::State& state) {
    const std::string dir = "/tmp/zk_bench_exec_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    const std::string prog = dir + "/update.sh";
    std::ofstream(prog) << "#!/bin/sh\nseq 1 " << state.range(0) << "\n";
    chmod(prog.c_str(), 0755);
    QuietPlatform quiet;
    ScopedPlatform scope(quiet);
    Indication_Tools::fileSeparator = '/';
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::ExecuteApplication(prog, "", false));
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
    unlink(prog.c_str());
    rmdir(dir.c_str());
}
BENCHMARK(BM_ExecuteApplication)->Arg(1)->Arg(100000)->Unit(benchmark::kMillisecond);

// One sample as the watcher takes it every 100 ms (reclaim, then read the figures).
void BM_MemorySample(benchmark::State& state) {
    MemoryWatcherThread watcher;
    for (auto _ : state) watcher.MemoryMonitoring();
}
BENCHMARK(BM_MemorySample)->Unit(benchmark::kMicrosecond);

}  // namespace
