#pragma once
// The charts of a generation pass, built by one worker or by several at once.
//
// With one worker the charts are built one after the other on the calling
// thread, on its one chart surface. With N workers, N - 1 threads join the
// calling thread for the pass, each with a chart surface of its own, and take
// the charts of the list in order. What the charts share is made for it: the
// parsed data files (DataFileCache), what one chart's layout carries over to
// the next (ChartCarryOver, so every image is the one a single worker
// draws), the fonts (FontCache).
// Each chart's console, log and standard-error lines are held back and
// written together, in the order of the chart list, as a single worker
// writes them; two charts writing one image file leave it, and report it, as
// a single worker does (ImageWriteOrder).
//
// Lives as long as the service: the parsed data files and the worker surfaces
// are kept from pass to pass. build() is called by one thread at a time.

#include "chart/ChartOutcome.h"
#include "chart/DataFileCache.h"
#include "chart/ImageWriteOrder.h"
#include "chart/ChartCarryOver.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Indication_Graph;

class ChartPass {
public:
    // Builds one chart on a surface: loads the graph file, draws it, writes
    // its images and reports, catching its own failures; returns how it ended.
    using BuildChart = std::function<ChartResult(Indication_Graph& surface, const std::string& graphFile)>;

    // How a chart's build ended, and when (milliseconds since the epoch).
    struct Outcome {
        ChartResult result;
        int64_t at = 0;
    };

    // first: the surface of the first worker (the service's own).
    ChartPass(Indication_Graph& first, BuildChart buildChart);
    ~ChartPass();
    ChartPass(const ChartPass&) = delete;
    ChartPass& operator=(const ChartPass&) = delete;

    // Builds the charts of graphFiles, in this order, with up to workers
    // workers (at least one, never more than charts); one outcome per chart,
    // in the same order.
    std::vector<Outcome> build(const std::vector<std::string>& graphFiles, int workers);

    DataFileCache& dataCache() { return dataCache_; }

    // The workers a value of INDICEGIF_THREADS asks for: absent or not a
    // whole number, 1; 0, one per core; at most kMaxWorkers (more means that).
    static int workersFor(const std::optional<std::string>& value);
    static constexpr int kMaxWorkers = 64;
    // The bytes of parsed data kept between charts a value of
    // INDICEGIF_DATA_CACHE_MB asks for: absent or not a whole number, the
    // default; at most kMaxDataCacheMB mebibytes.
    static size_t dataBudgetFor(const std::optional<std::string>& value);
    static constexpr int64_t kMaxDataCacheMB = int64_t{1} << 20;

private:
    Outcome buildOne(Indication_Graph& surface, const std::string& graphFile, int turn);

    Indication_Graph& first_;
    BuildChart buildChart_;
    std::vector<std::unique_ptr<Indication_Graph>> more_;  // workers 2..N
    DataFileCache dataCache_;
    ChartCarryOver carryOver_;
    ImageWriteOrder writeOrder_;
};
