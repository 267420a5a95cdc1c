// A data source's work in a pass: reading a provider's CSV of n daily rows
// (the whole history, as most providers serve it), and merging it into a
// data file that already holds all but the newest. Both must grow linearly.

#include "app/DataMerge.h"
#include "app/SourceCsv.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

std::string providerCsv(int64_t rows) {
    std::string csv = "Date,Open,High,Low,Close,Volume\n";
    for (int64_t i = 0; i < rows; ++i) {
        const civil::Date d = civil::civilFromDays(10000 + i);
        char line[96];
        std::snprintf(line, sizeof line, "%04d-%02d-%02d,1.5,2.5,0.5,%.2f,123456\n", static_cast<int>(d.year),
                      d.month, d.day, 4000.0 + static_cast<double>(i % 997) / 7.0);
        csv += line;
    }
    return csv;
}

CsvFormat daily() {
    CsvFormat f;
    f.dateColumn = "Date";
    f.valueColumn = "Close";
    return f;
}

CalendarFields utc(int64_t instant) { return civil::fieldsOfWallMillis(instant); }

void BM_ReadProviderCsv(benchmark::State& state) {
    const std::string csv = providerCsv(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(readCsv(csv, daily(), false, utc));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(csv.size()));
}
BENCHMARK(BM_ReadProviderCsv)->Arg(10'000)->Arg(100'000);

void BM_MergeIntoHeldFile(benchmark::State& state) {
    const CsvReading all = readCsv(providerCsv(state.range(0)), daily(), false, utc);
    std::vector<SourceRecord> held(all.records.begin(), all.records.end() - 1);
    const std::string file = mergeRecords("", held).bytes;
    for (auto _ : state) benchmark::DoNotOptimize(mergeRecords(file, all.records));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MergeIntoHeldFile)->Arg(10'000)->Arg(100'000);

}  // namespace
