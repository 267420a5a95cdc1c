#include "app/ChartPass.h"

#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/MessageBuffer.h"
#include "support/Mutex.h"
#include "support/Platform.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

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

ChartPass::Outcome ChartPass::buildOne(Indication_Graph& surface, const std::string& graphFile, int turn) {
    ChartCarryOver::Turn carry = carryOver_.turn(turn);
    ImageWriteOrder::Turn writes = writeOrder_.turn(turn);
    surface.setChartContext(ChartContext{&dataCache_, &carry, &writes});
    Outcome outcome;
    try {
        outcome.result = buildChart_(surface, graphFile);
    } catch (...) {
        // buildChart reports its own failures; nothing may stop the others.
    }
    outcome.at = Platform::current().nowMillis();
    surface.setChartContext(ChartContext{});
    // A chart that drew no graph still hands on its weekday letters; carry's
    // end lets the charts after it go on, however the chart ended.
    if (const Indication_Data* model = surface.idMesDonnees.get()) carry.leaveWeekDays(model->szDate_WeekDay);
    return outcome;
}

std::vector<ChartPass::Outcome> ChartPass::build(const std::vector<std::string>& graphFiles, int workers) {
    const int count = static_cast<int>(graphFiles.size());
    carryOver_.beginPass(count);
    writeOrder_.beginPass();
    workers = std::max(1, std::min(workers, count));
    std::vector<Outcome> outcomes(static_cast<size_t>(count));
    if (workers == 1) {
        for (int i = 0; i < count; ++i) {
            outcomes[static_cast<size_t>(i)] = buildOne(first_, graphFiles[static_cast<size_t>(i)], i);
        }
        dataCache_.endPass();
        return outcomes;
    }
    while (static_cast<int>(more_.size()) < workers - 1) more_.push_back(std::make_unique<Indication_Graph>());

    std::vector<MessageBuffer> held(static_cast<size_t>(count));
    std::vector<char> finished(static_cast<size_t>(count), 0);
    Mutex writing;  // the lines written so far and finished
    int written = 0;
    std::atomic<int> next{0};
    auto work = [&](Indication_Graph& surface) {
        for (;;) {
            const int i = next.fetch_add(1);
            if (i >= count) return;
            {
                ScopedMessageCapture capture(held[static_cast<size_t>(i)]);
                outcomes[static_cast<size_t>(i)] = buildOne(surface, graphFiles[static_cast<size_t>(i)], i);
            }
            // The lines of every chart finished in a row from the first not
            // yet written: the order of the list, whoever finished first.
            MutexLock lock(writing);
            finished[static_cast<size_t>(i)] = 1;
            while (written < count && finished[static_cast<size_t>(written)]) {
                try {
                    held[static_cast<size_t>(written)].flush();
                } catch (...) {
                    // Memory ran out while writing: the lines left are lost, not the pass.
                }
                ++written;
            }
        }
    };

    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) {
        Indication_Graph& surface = *more_[static_cast<size_t>(w - 1)];
        try {
            threads.emplace_back([&work, &surface] {
                Platform::current().setCurrentThreadLowestPriority();
                work(surface);
            });
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones started do the work
        }
    }
    work(first_);
    for (std::thread& t : threads) t.join();
    dataCache_.endPass();
    return outcomes;
}
