// The log under load and under faults on the real file system: many threads
// appending at once, the file removed under the writers, and its path taken
// by a directory for a while.

#include "support/Indication_Tools.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Sanitizers slow every append down tenfold, and under Wine each file open
// is a round trip to its server: they check the same code on a smaller run,
// the normal build on the full one.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kLinesPerThread = 5'000;
#elif defined(_WIN32)
constexpr int kLinesPerThread = 1'000;
#else
constexpr int kLinesPerThread = 100'000;
#endif
constexpr int kThreads = 16;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Splits a log into its messages, failing on any line that is not whole.
std::vector<std::string> messages(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "unterminated last line";
            break;
        }
        const std::string line = text.substr(pos, end - pos);
        if (line.size() < 22 || line[0] != '[' || line.compare(20, 2, "] ") != 0) {
            ADD_FAILURE() << "not a whole line: " << line;
        } else {
            out.push_back(line.substr(22));
        }
        pos = end + 2;
    }
    return out;
}

// "t<thread> <sequence> " and a filler whose length varies line by line, so
// two lines mixed together cannot pass for one.
std::string payload(int thread, int seq) {
    return "t" + std::to_string(thread) + " " + std::to_string(seq) + " " +
           std::string(static_cast<size_t>(seq % 37), static_cast<char>('a' + thread));
}

bool isPayload(const std::string& m, int& thread, int& seq) {
    if (std::sscanf(m.c_str(), "t%d %d ", &thread, &seq) != 2) return false;
    return thread >= 0 && thread < kThreads && seq >= 0 && m == payload(thread, seq);
}

class LogFaults : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zk_log_faults_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        Indication_Tools::debugMode = false;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

TEST_F(LogFaults, SixteenThreadsLoseNoLineAndMixNone) {
    const std::string path = (dir_ / "log.txt").string();
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &path, &failed] {
            for (int i = 0; i < kLinesPerThread; ++i)
                if (!Indication_Tools::AddLog(path, payload(t, i))) ++failed;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failed.load(), 0);

    const auto all = messages(slurp(path));
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads) * kLinesPerThread);
    // Each thread's lines are all there, in the order it wrote them.
    std::vector<int> next(kThreads, 0);
    for (const std::string& m : all) {
        int t = 0, seq = 0;
        ASSERT_TRUE(isPayload(m, t, seq)) << m;
        ASSERT_EQ(seq, next[static_cast<size_t>(t)]) << "thread " << t;
        ++next[static_cast<size_t>(t)];
    }
}

TEST_F(LogFaults, FileRemovedUnderTheWritersIsCreatedAgain) {
    const std::string path = (dir_ / "log.txt").string();
    std::atomic<bool> writing{true};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &path, &failed] {
            for (int i = 0; i < 2'000; ++i)
                if (!Indication_Tools::AddLog(path, payload(t, i))) ++failed;
        });
    }
    std::thread remover([&] {
        while (writing) {
            std::error_code ignored;  // gone already: the writers have not made it again yet
            fs::remove(path, ignored);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (auto& th : threads) th.join();
    writing = false;
    remover.join();

    // A removed log is no failure: the next line creates it again.
    EXPECT_EQ(failed.load(), 0);
    ASSERT_TRUE(Indication_Tools::AddLog(path, payload(0, 2'000)));
    const auto last = messages(slurp(path));
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back(), payload(0, 2'000));
    for (const std::string& m : last) {
        int t = 0, seq = 0;
        EXPECT_TRUE(isPayload(m, t, seq)) << m;
    }
}

TEST_F(LogFaults, PathTakenByADirectoryLosesThoseLinesWithOneReportEachThenRecovers) {
    TestPlatform platform;  // console captured, files real
    const std::string path = (dir_ / "log.txt").string();
    std::atomic<bool> writing{true};
    std::atomic<int> written{0}, failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &path, &writing, &written, &failed] {
            for (int i = 0; writing; ++i)
                ++(Indication_Tools::AddLog(path, payload(t, i)) ? written : failed);
        });
    }
    auto waitFor = [](std::atomic<int>& counter, int atLeast) {
        while (counter < atLeast) std::this_thread::yield();
    };
    waitFor(written, 200);
    // As root, permissions stop nothing: a directory in the file's place does.
    // A writer may create the file again between the move and the mkdir.
    std::vector<fs::path> files;
    for (int k = 0;; ++k) {
        std::error_code ec;
        const fs::path aside = dir_ / ("old-log-" + std::to_string(k) + ".txt");
        fs::rename(path, aside, ec);
        if (!ec) files.push_back(aside);
        if (fs::create_directory(path, ec)) break;
    }
    const int failedBefore = failed;
    waitFor(failed, failedBefore + 200);
    fs::remove(path);
    const int writtenBefore = written;
    waitFor(written, writtenBefore + 200);
    writing = false;
    for (auto& th : threads) th.join();

    EXPECT_GE(failed.load(), 200);
    size_t reports = 0;
    const std::string out = platform.out();
    for (size_t p = out.find("[System] : write log error: "); p != std::string::npos;
         p = out.find("[System] : write log error: ", p + 1))
        ++reports;
    EXPECT_EQ(reports, static_cast<size_t>(failed.load()));
    // What was written on either side of the outage is whole; nothing was
    // written into the directory.
    size_t kept = 0;
    files.push_back(path);
    for (const fs::path& file : files) {
        for (const std::string& m : messages(slurp(file))) {
            int t = 0, seq = 0;
            EXPECT_TRUE(isPayload(m, t, seq)) << m;
            ++kept;
        }
    }
    EXPECT_EQ(kept, static_cast<size_t>(written.load()));
}

}  // namespace
