// The memory watcher, with scripted memory figures and pauses on a fake clock.

#include "app/MemoryWatcherThread.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Memory figures follow a script (used = held - free, free fixed at 500);
// the process exit is recorded and ends the watcher thread by throwing.
// Pauses run on the fake clock: with timeWarps each moves it to the pause's
// end at once, otherwise only a stop ends them.
class WatcherPlatform : public TestPlatform {
public:
    explicit WatcherPlatform(std::vector<int64_t> used, bool timeWarps = true)
        : used_(std::move(used)), timeWarps_(timeWarps) {
        captureAllAppends();
    }

    bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int64_t ms,
                 const std::function<bool()>& ready) override {
        if (ms > 0 && timeWarps_) now += ms;
        while (!ready() && !timeWarps_) cv.wait(lock);
        return ready();
    }

    MemoryFigures memoryFigures() override {
        std::lock_guard<std::mutex> lock(mutex_);
        const int64_t used = used_[samples_++ % used_.size()];
        changed_.notify_all();
        return {used + 500, 500};
    }
    void reclaimMemory() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++reclaims_;
    }
    [[noreturn]] void exitProcess(int status) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            exitStatus_ = status;
            changed_.notify_all();
        }
        standInExit(status);
    }

    bool waitForExit() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 20s, [this] { return exitStatus_ >= 0; });
    }
    bool waitForSamples(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return samples_ >= n; });
    }
    int samples() {
        std::lock_guard<std::mutex> lock(mutex_);
        return samples_;
    }
    int reclaims() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reclaims_;
    }
    int exitStatus() {
        std::lock_guard<std::mutex> lock(mutex_);
        return exitStatus_;
    }

private:
    std::mutex mutex_;
    std::vector<int64_t> used_;
    const bool timeWarps_;
    std::condition_variable changed_;
    int samples_ = 0;
    int reclaims_ = 0;
    int exitStatus_ = -1;
};

TEST(MemoryWatcher, RunWritesOneLinePerPauseThenEndsTheProcessWithZero) {
    WatcherPlatform platform({3000, 1000, 5000, 2000, 4000});
    {
        // 20 minutes of 100 ms pauses: 12,000 samples.
        MemoryWatcherThread watcher;
        watcher.start();
        watcher.start();  // a second start changes nothing
        ASSERT_TRUE(platform.waitForExit());
        watcher.stop();

        EXPECT_EQ(platform.exitStatus(), 0);
        EXPECT_EQ(platform.now.load(), 1'200'000);
        const std::string lines = platform.file("memory.txt");
        EXPECT_EQ(lines.substr(0, 36), "3000\r\n1000\r\n5000\r\n2000\r\n4000\r\n3000\r\n");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 12'000);
        EXPECT_EQ(platform.samples(), 12'000);
        EXPECT_EQ(platform.reclaims(), 12'000);
        // Once the thread has run, the texts report its last sample without sampling.
        EXPECT_EQ(watcher.displayMemoryLong(), "Current Memory Used: 4000 bytes (3Ko); interval [1000; 5000]");
        EXPECT_EQ(platform.samples(), 12'000);
    }
    EXPECT_EQ(platform.out(), "");
}

TEST(MemoryWatcher, KeepsItsHolderExactlyWhileItRuns) {
    WatcherPlatform platform({64}, false);
    MemoryWatcherThread watcher;
    auto holder = std::make_shared<int>(1);
    auto ignored = std::make_shared<int>(2);
    std::weak_ptr<int> held = holder, dropped = ignored;
    watcher.start(std::move(holder));
    watcher.start(std::move(ignored));  // already started: let go at once
    EXPECT_TRUE(dropped.expired());
    ASSERT_TRUE(platform.waitForSamples(1));
    EXPECT_FALSE(held.expired());
    watcher.stop();
    EXPECT_TRUE(held.expired());
}

TEST(MemoryWatcher, TextsOfAWatcherNeverStartedSampleEachTime) {
    WatcherPlatform platform({1048576, 1535, 2000000, 0});
    MemoryWatcherThread watcher;
    EXPECT_EQ(watcher.displayMemory(), "Current Memory Used: 1048576 bytes (1024Ko)");
    EXPECT_EQ(watcher.displayMemoryLong(), "Current Memory Used: 1535 bytes (1Ko); interval [1535; 1048576]");
    EXPECT_EQ(watcher.displayMemoryLong(), "Current Memory Used: 2000000 bytes (1953Ko); interval [1535; 2000000]");
    EXPECT_EQ(watcher.displayMemory(), "Current Memory Used: 0 bytes (0Ko)");
    EXPECT_EQ(watcher.minUsed(), 0);
    EXPECT_EQ(platform.file("memory.txt"), "");
    EXPECT_FALSE(myMemWatch.isThreadRunning());
}

TEST(MemoryWatcher, StopEndsAPauseInProgress) {
    WatcherPlatform platform({4096}, false);
    MemoryWatcherThread watcher;
    watcher.start();
    ASSERT_TRUE(platform.waitForSamples(1));
    watcher.stop();
    EXPECT_EQ(platform.exitStatus(), -1);
    EXPECT_EQ(platform.file("memory.txt"), "");
}

TEST(MemoryWatcher, FailedAppendIsReportedAndTheRunGoesOn) {
    WatcherPlatform platform({100});
    platform.failAppends = true;
    MemoryWatcherThread watcher(30, 10, "mem.txt");
    watcher.start();
    ASSERT_TRUE(platform.waitForExit());
    watcher.stop();
    const std::string line = "[System] : write log error: cannot open mem.txt (Permission denied)\n";
    EXPECT_EQ(platform.out(), line + line + line);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string tempDir() {
    char tmpl[] = "/tmp/zk_watch_XXXXXX";
    return mkdtemp(tmpl) ? tmpl : "";
}

// The real end of the run: exit status 0, with the watcher's own teardown
// (the destructor of a static watcher) running on the watcher thread.
TEST(MemoryWatcherDeathTest, EndsTheProcessWithStatusZero) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string memory = dir + "/memory.txt";
    EXPECT_EXIT(
        {
            static MemoryWatcherThread watcher(20, 1, memory);
            watcher.start();
            for (;;) std::this_thread::sleep_for(1s);
        },
        ::testing::ExitedWithCode(0), "");
    std::string text = slurp(memory);
    size_t lines = 0;
    for (size_t pos = 0; (pos = text.find("\r\n", pos)) != std::string::npos; pos += 2) ++lines;
    EXPECT_EQ(lines, 20u);
    std::system(("rm -rf '" + dir + "'").c_str());
}

// An image being replaced when the watcher ends the process is either the
// old one or the new one, never a part of either.
class AbruptExitPlatform : public PlatformWrapper {
public:
    AbruptExitPlatform() : PlatformWrapper(Platform::current()) {}
    [[noreturn]] void exitProcess(int status) override { ::_exit(status); }
};

std::string imageContent(int generation) {
    std::string header = "generation " + std::to_string(generation) + "\n";
    return header + std::string(4 << 20, static_cast<char>('a' + generation % 26));
}

TEST(MemoryWatcherDeathTest, ExitDuringAnImageWriteLeavesAWholeImage) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string image = dir + "/chart.gif";
    EXPECT_EXIT(
        {
            static AbruptExitPlatform platform;
            Platform::install(&platform);
            std::string error;
            if (!platform.writeFileAtomic(image, imageContent(0), error)) ::_exit(3);
            std::thread([&] {
                for (int generation = 1;; ++generation) platform.writeFileAtomic(image, imageContent(generation), error);
            }).detach();
            static MemoryWatcherThread watcher(30, 1, dir + "/memory.txt");
            watcher.start();
            for (;;) std::this_thread::sleep_for(1s);
        },
        ::testing::ExitedWithCode(0), "");

    const std::string text = slurp(image);
    const size_t eol = text.find('\n');
    ASSERT_NE(eol, std::string::npos);
    const int generation = std::atoi(text.c_str() + std::string("generation ").size());
    EXPECT_EQ(text, imageContent(generation));
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
