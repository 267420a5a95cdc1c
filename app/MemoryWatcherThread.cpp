// The memory watcher.

#include "app/MemoryWatcherThread.h"

#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <exception>

MemoryWatcherThread myMemWatch;

MemoryWatcherThread::MemoryWatcherThread(int64_t runMillis, int64_t pauseMillis, std::string file)
    : runMillis_(runMillis), pauseMillis_(pauseMillis > 0 ? pauseMillis : 1), file_(std::move(file)) {}

MemoryWatcherThread::~MemoryWatcherThread() { stop(); }

void MemoryWatcherThread::start(std::shared_ptr<void> keepAlive) {
    MutexLock lock(stateMutex_);
    if (started_) return;
    started_ = true;
    thread_ = std::thread([this, holder = std::move(keepAlive)] { run(); });
}

void MemoryWatcherThread::stop() {
    std::thread worker;
    {
        MutexLock lock(stateMutex_);
        stopRequested_ = true;
        worker = std::move(thread_);
    }
    wake_.notify_all();
    if (!worker.joinable()) return;
    // The watcher's own process exit runs the teardown on the watcher thread.
    if (worker.get_id() == std::this_thread::get_id()) {
        worker.detach();
    } else {
        worker.join();
    }
}

void MemoryWatcherThread::MemoryMonitoring() {
    MutexLock lock(sampleMutex_);
    Platform& platform = Platform::current();
    platform.reclaimMemory();
    const MemoryFigures figures = platform.memoryFigures();
    const int64_t used = figures.held - figures.freeWithin;
    CurrentFree.store(figures.freeWithin);
    CurrentAlloc.store(figures.held);
    CurrentUsed.store(used);
    if (!sampled_) {
        min.store(used);
        max.store(used);
        sampled_ = true;
    } else {
        if (used < min.load()) min.store(used);
        if (used > max.load()) max.store(used);
    }
}

std::string MemoryWatcherThread::usedText(int64_t used) const {
    return "Current Memory Used: " + std::to_string(used) + " bytes (" + std::to_string(used / 1024) + "Ko)";
}

std::string MemoryWatcherThread::displayMemory() {
    if (!isThreadRunning_.load()) MemoryMonitoring();
    return usedText(CurrentUsed.load());
}

std::string MemoryWatcherThread::displayMemoryLong() {
    if (!isThreadRunning_.load()) MemoryMonitoring();
    return usedText(CurrentUsed.load()) + "; interval [" + std::to_string(min.load()) + "; " +
           std::to_string(max.load()) + "]";
}

void MemoryWatcherThread::run() {
    isThreadRunning_.store(true);
    try {
        // The run is counted in pauses only, so it writes exactly run / pause lines.
        for (int64_t remaining = runMillis_; remaining > 0; remaining -= pauseMillis_) {
            MemoryMonitoring();
            {
                // The platform measures the pause, so a test's clock can end it.
                MutexLock lock(stateMutex_);
                const auto stopped = [this]() ZK_REQUIRES(stateMutex_) { return stopRequested_; };
                if (Platform::current().waitFor(wake_, lock.native(), pauseMillis_, stopped)) return;
            }
            std::string error;
            if (!Platform::current().appendFile(file_, std::to_string(CurrentUsed.load()) + Indication_Tools::EOL, error))
                Indication_Tools::Outils_AfficheMsg_System("System", "write log error: " + error, false);
        }
        {
            MutexLock lock(stateMutex_);
            if (stopRequested_) return;
        }
        Platform::current().exitProcess(0);
    } catch (const std::exception& e) {
        Indication_Tools::Outils_AfficheMsg_System("System", std::string("memory watcher stopped: ") + e.what(), false);
    } catch (const ProcessEnding&) {
        // Another thread is ending the process: this one just ends.
    }
}
