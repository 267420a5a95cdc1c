#include "app/ChartPass.h"

#include "chart/ChartOutput.h"
#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/MessageBuffer.h"
#include "support/Mutex.h"
#include "support/Platform.h"

#include <algorithm>
#include <condition_variable>
#include <system_error>
#include <thread>

struct ChartPass::Chart {
    ChartOutput output;
    FinishChart finish;
};

ChartPass::ChartPass(Indication_Graph& first, BuildChart buildChart)
    : first_(first), buildChart_(std::move(buildChart)) {}

ChartPass::~ChartPass() {
    for (auto& surface : more_) surface->finalize();
}

int ChartPass::workersFor(const std::optional<std::string>& value) {
    if (!value) return 1;
    const std::optional<int64_t> n = Indication_Tools::parseWholeNumberUpTo(*value, kMaxWorkers);
    if (!n) return 1;
    if (*n == 0) {
        const unsigned cores = std::thread::hardware_concurrency();
        return cores == 0 ? 1 : static_cast<int>(std::min<unsigned>(cores, kMaxWorkers));
    }
    return static_cast<int>(*n);
}

size_t ChartPass::dataBudgetFor(const std::optional<std::string>& value) {
    if (!value) return DataFileCache::kDefaultBudget;
    const std::optional<int64_t> mb = Indication_Tools::parseWholeNumberUpTo(*value, kMaxDataCacheMB);
    return mb ? static_cast<size_t>(*mb) << 20 : DataFileCache::kDefaultBudget;
}

void ChartPass::draw(Indication_Graph& surface, const std::string& graphFile, int turn, Chart& chart) {
    ChartCarryOver::Turn carry = carryOver_.turn(turn);
    surface.setChartContext(ChartContext{&dataCache_, &carry, &chart.output});
    {
        ScopedMessageCapture capture(chart.output.lines());
        try {
            chart.finish = buildChart_(surface, graphFile);
        } catch (...) {
            // buildChart reports its own failures; nothing may stop the others.
        }
    }
    surface.setChartContext(ChartContext{});
    // A chart that drew no graph still hands on its weekday letters; carry's
    // end lets the charts after it go on, however the chart ended.
    if (const Indication_Data* model = surface.idMesDonnees.get()) carry.leaveWeekDays(model->szDate_WeekDay);
}

void ChartPass::stage(std::unique_ptr<Chart> chart, std::vector<Outcome>& outcomes) {
    try {
        chart->output.stageImages(files_);
    } catch (...) {
        // Memory ran out while writing: what was left is lost, not the pass.
    }
    waiting_.push_back(std::move(chart));
    // Nothing to flush (no image, or all unchanged): the lines go at once.
    if (files_.pending() == 0 || files_.pending() >= kBatchFiles) commit(outcomes);
}

void ChartPass::commit(std::vector<Outcome>& outcomes) {
    files_.commit();
    for (std::unique_ptr<Chart>& chart : waiting_) {
        Outcome outcome;
        std::vector<AtomicWrites::Replaced> written;
        try {
            written = chart->output.writeOut(files_);
        } catch (...) {
            // Memory ran out while writing: what was left is lost, not the pass.
        }
        try {
            if (chart->finish) outcome.result = chart->finish(written);
        } catch (...) {
            // The chart counts as failed; the others go on.
        }
        outcome.at = Platform::current().nowMillis();
        chart.reset();
        outcomes.push_back(outcome);
    }
    waiting_.clear();
    files_.clear();
}

std::vector<ChartPass::Outcome> ChartPass::build(const std::vector<std::string>& graphFiles, int workers) {
    const int count = static_cast<int>(graphFiles.size());
    carryOver_.beginPass(count);
    workers = std::max(1, std::min(workers, count));
    std::vector<Outcome> outcomes;
    outcomes.reserve(static_cast<size_t>(count));
    int drawn = 0;
    if (workers > 1) drawn = buildAtOnce(graphFiles, workers, outcomes);
    // One worker, or no thread to be had: the calling thread does it all.
    for (int i = drawn; i < count; ++i) {
        auto chart = std::make_unique<Chart>();
        draw(first_, graphFiles[static_cast<size_t>(i)], i, *chart);
        stage(std::move(chart), outcomes);
    }
    commit(outcomes);
    dataCache_.endPass();
    return outcomes;
}

int ChartPass::buildAtOnce(const std::vector<std::string>& graphFiles, int workers, std::vector<Outcome>& outcomes) {
    const int count = static_cast<int>(graphFiles.size());
    while (static_cast<int>(more_.size()) < workers - 1) more_.push_back(std::make_unique<Indication_Graph>());
    // Charts taken and not yet written: each worker's, and as many done.
    const int ahead = 2 * workers;
    std::vector<std::unique_ptr<Chart>> charts(static_cast<size_t>(count));
    for (auto& chart : charts) chart = std::make_unique<Chart>();
    std::vector<char> done(static_cast<size_t>(count), 0);
    Mutex mutex;
    std::condition_variable changed;
    int next = 0;     // the first chart not taken
    int written = 0;  // the first chart not written
    auto work = [&](Indication_Graph& surface) {
        for (;;) {
            int i = 0;
            {
                MutexLock lock(mutex);
                while (next < count && next - written >= ahead) lock.wait(changed);
                if (next >= count) return;
                i = next++;
            }
            draw(surface, graphFiles[static_cast<size_t>(i)], i, *charts[static_cast<size_t>(i)]);
            {
                MutexLock lock(mutex);
                done[static_cast<size_t>(i)] = 1;
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        Indication_Graph& surface = w == 0 ? first_ : *more_[static_cast<size_t>(w - 1)];
        try {
            threads.emplace_back([&work, &surface] {
                Platform::current().setCurrentThreadLowestPriority();
                work(surface);
            });
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones started do the work
        }
    }
    if (threads.empty()) return 0;

    for (int i = 0; i < count; ++i) {
        {
            MutexLock lock(mutex);
            while (!done[static_cast<size_t>(i)]) lock.wait(changed);
        }
        stage(std::move(charts[static_cast<size_t>(i)]), outcomes);
        {
            MutexLock lock(mutex);
            written = i + 1;
        }
        changed.notify_all();
    }
    for (std::thread& t : threads) t.join();
    return count;
}
