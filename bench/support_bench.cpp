// Properties parsing, encoding detection, macros, caption shortening and
// working-day counts.

#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

namespace {

std::string graphFile() {
    std::string s = "# chart\n";
    for (int i = 0; i < 80; ++i)
        s += "GRAPH_KEY_" + std::to_string(i) + " = value " + std::to_string(i) + " ; with = parts\r\n";
    return s;
}

void BM_ParseGraphFile(benchmark::State& state) {
    const std::string text = graphFile();
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::ParseProperties(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseGraphFile);

void BM_ParseOneHugeLine(benchmark::State& state) {
    const std::string text = "KEY=" + std::string(10 << 20, 'x');
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::ParseProperties(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseOneHugeLine)->Unit(benchmark::kMillisecond);

void BM_ToUtf8(benchmark::State& state) {
    // Mostly ASCII with accents: the common data and graph file.
    std::string text;
    while (text.size() < (1 << 20)) text += "20011121;173000;4512,37 \xC3\xA9t\xC3\xA9\n";
    if (state.range(0)) text += '\xE9';  // one Latin-1 byte: the whole file is converted
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::toUtf8(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ToUtf8)->Arg(0)->Arg(1);

void BM_ReplaceMacroString(benchmark::State& state) {
    const std::optional<std::string> caption = "CAC 40 %d/%m/%Y %H:%M - %QFp v%QFv";
    const int64_t date = 983772489000;
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::replaceMacroString(caption, date));
}
BENCHMARK(BM_ReplaceMacroString);

class FixedWidth : public FontMetrics {
public:
    int stringWidth(std::string_view text) const override { return 7 * static_cast<int>(text.size()); }
    int getHeight() const override { return 12; }
    int getAscent() const override { return 10; }
    int getDescent() const override { return 2; }
};

void BM_TruncateString(benchmark::State& state) {
    const std::optional<std::string> text = std::string(static_cast<size_t>(state.range(0)), 'x');
    FixedWidth font;
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::TruncateString(text, 150, font));
}
BENCHMARK(BM_TruncateString)->Arg(60)->Arg(500)->Arg(100000);

// In the zone the environment names: run with TZ=Europe/Paris for one with summer time.
void BM_WorkingDayOneYear(benchmark::State& state) {
    const int64_t first = 978336000000;  // 1 January 2001
    const int64_t second = first + 365LL * 86400000;
    for (auto _ : state) benchmark::DoNotOptimize(Indication_Tools::getWorkingDay(first, second));
}
BENCHMARK(BM_WorkingDayOneYear);

}  // namespace
