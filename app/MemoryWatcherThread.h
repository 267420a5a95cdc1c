#pragma once
// The memory watcher: samples how much memory the process uses, keeps the
// least and greatest figure, and (once started) appends one figure per pause
// to "memory.txt", ending the process after a fixed run.
//
// Started at most once, by start-up when "-m" was given; the generation
// thread reads the texts from any thread at any time. Every figure is read
// whole. stop() may be called from any thread, also from the watcher's own
// (as happens when its process exit runs the teardown).

#include "support/Mutex.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

class MemoryWatcherThread {
public:
    static constexpr int64_t DEFAULT_RUN_MILLIS = 20 * 60'000;  // counted in pauses only
    static constexpr int64_t DEFAULT_PAUSE_MILLIS = 100;
    static constexpr const char* DEFAULT_FILE = "memory.txt";

    // runMillis / pauseMillis samples are taken before the process ends.
    explicit MemoryWatcherThread(int64_t runMillis = DEFAULT_RUN_MILLIS, int64_t pauseMillis = DEFAULT_PAUSE_MILLIS,
                                 std::string file = DEFAULT_FILE);
    ~MemoryWatcherThread();
    MemoryWatcherThread(const MemoryWatcherThread&) = delete;
    MemoryWatcherThread& operator=(const MemoryWatcherThread&) = delete;

    // Starts the sampling thread; later calls do nothing. The thread holds
    // keepAlive for as long as it runs.
    void start(std::shared_ptr<void> keepAlive = nullptr);
    // Ends the sampling thread at once (a pause in progress is cut short) and
    // waits for it, unless called from that thread. The process goes on.
    void stop();

    // One sample: reclaim unused memory, read the figures, update min and max.
    void MemoryMonitoring();

    // "Current Memory Used: <used> bytes (<used/1024>Ko)"
    std::string displayMemory();
    // displayMemory() + "; interval [<min>; <max>]"
    std::string displayMemoryLong();

    bool isThreadRunning() const { return isThreadRunning_.load(); }
    int64_t currentAlloc() const { return CurrentAlloc.load(); }
    int64_t currentFree() const { return CurrentFree.load(); }
    int64_t currentUsed() const { return CurrentUsed.load(); }
    int64_t minUsed() const { return min.load(); }
    int64_t maxUsed() const { return max.load(); }

private:
    void run();
    std::string usedText(int64_t used) const;

    const int64_t runMillis_;
    const int64_t pauseMillis_;
    const std::string file_;

    std::atomic<bool> isThreadRunning_{false};
    std::atomic<int64_t> CurrentAlloc{0};
    std::atomic<int64_t> CurrentFree{0};
    std::atomic<int64_t> CurrentUsed{0};
    std::atomic<int64_t> min{0};
    std::atomic<int64_t> max{0};

    Mutex sampleMutex_;  // one sample at a time, so min and max stay consistent
    bool sampled_ ZK_GUARDED_BY(sampleMutex_) = false;

    Mutex stateMutex_;
    std::condition_variable wake_;
    bool stopRequested_ ZK_GUARDED_BY(stateMutex_) = false;
    bool started_ ZK_GUARDED_BY(stateMutex_) = false;
    std::thread thread_ ZK_GUARDED_BY(stateMutex_);
};

// The one memory watcher of the process.
extern MemoryWatcherThread myMemWatch;
