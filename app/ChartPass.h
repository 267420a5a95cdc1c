#pragma once
// The charts of a generation pass, built by one worker or by several at once.
//
// With one worker the calling thread builds each chart on its one chart
// surface and then writes it. With N workers, N threads build the charts of
// the list in order, each on a chart surface of its own, and the calling
// thread is the pass's one writer: it writes each chart's output (its lines,
// its image files, see ChartOutput) in the order of the list as the charts
// are done, the chart in front first. The new image files of up to
// kBatchFiles images share one flush to the disk before they are renamed
// into place; the charts' lines follow once their files are in place. Workers build at most a few charts
// ahead of the writer, so what waits to be written stays a few charts'
// images. What the charts share is made for it: the parsed data files
// (DataFileCache), what one chart's layout carries over to the next
// (ChartCarryOver, so every image is the one a single worker draws), the
// fonts (FontCache). Every file, line and report is therefore the one a
// single worker gives.
//
// Lives as long as the service: the parsed data files and the worker surfaces
// are kept from pass to pass. build() is called by one thread at a time.

#include "chart/ChartCarryOver.h"
#include "chart/ChartOutcome.h"
#include "chart/DataFileCache.h"
#include "support/AtomicWrites.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Indication_Graph;

class ChartPass {
public:
    // Ends a chart once the writer has written its images, written[i]
    // telling what became of the i-th image it held: reports its last lines
    // and returns how it ended.
    using FinishChart = std::function<ChartResult(const std::vector<AtomicWrites::Replaced>& written)>;
    // Builds one chart on a surface: loads the graph file, draws the chart and
    // encodes its images, reporting and catching its own failures; returns
    // what ends it.
    using BuildChart = std::function<FinishChart(Indication_Graph& surface, const std::string& graphFile)>;

    // How a chart ended, and when (milliseconds since the epoch).
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
    // Whether image files that hold their image's bytes already are left
    // alone (INDICEGIF_KEEP_UNCHANGED); off: every image is written anew.
    void setKeepUnchanged(bool keep) { files_.setKeepUnchanged(keep); }
    // New image files written before one flush puts them all on the disk:
    // each holds a descriptor of its folder until then.
    static constexpr size_t kBatchFiles = 256;

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
    struct Chart;
    // Draws and encodes the chart at turn into chart (a worker's step).
    void draw(Indication_Graph& surface, const std::string& graphFile, int turn, Chart& chart);
    // Writes the image files chart left (the writer's step); the chart
    // waits for the next commit to end.
    void stage(std::unique_ptr<Chart> chart, std::vector<Outcome>& outcomes);
    // Puts the files written in place, then ends each chart waiting, in
    // order, into outcomes.
    void commit(std::vector<Outcome>& outcomes);
    // The charts drawn by several workers, staged in order into outcomes;
    // how many (0 when no thread could be had).
    int buildAtOnce(const std::vector<std::string>& graphFiles, int workers, std::vector<Outcome>& outcomes);

    Indication_Graph& first_;
    BuildChart buildChart_;
    std::vector<std::unique_ptr<Indication_Graph>> more_;  // workers 2..N
    DataFileCache dataCache_;
    ChartCarryOver carryOver_;
    AtomicWrites::Batch files_;
    std::vector<std::unique_ptr<Chart>> waiting_;  // staged, not yet ended
};
