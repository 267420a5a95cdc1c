// The log under load and under faults on the real file system: many threads
// appending at once, the file removed under the writers, its path taken by a
// directory for a while, and the log rotated under writers in threads and in
// other processes.

#include "support/Indication_Tools.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
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

// ---- Rotation ---------------------------------------------------------------

// The moves of a rotation, on names held in memory.
class ShiftProbe : public PlatformWrapper {
public:
    using Platform::Move;
    using Platform::shiftLogFiles;
};

TEST(LogRotationMoves, OnlyUpToTheFirstFreeNameAndNeverOverAFileNotMoved) {
    using Files = std::map<std::string, std::string>;
    struct Case {
        Files before;
        int keep;
        std::string stuck;  // a name that cannot be moved (open elsewhere, on Windows)
        Files after;
    };
    const Case cases[] = {
        {{{"log", "L"}, {"log.1", "1"}}, 1, "", {{"log.1", "L"}}},
        {{{"log", "L"}, {"log.1", "1"}, {"log.2", "2"}}, 2, "", {{"log.1", "L"}, {"log.2", "1"}}},
        // Past a gap nothing moves, so nothing more is dropped.
        {{{"log", "L"}, {"log.2", "2"}, {"log.3", "3"}}, 3, "", {{"log.1", "L"}, {"log.2", "2"}, {"log.3", "3"}}},
        // The move that fails stops the others, this time and the next.
        {{{"log", "L"}, {"log.1", "1"}, {"log.2", "2"}, {"log.3", "3"}}, 3, "log.1",
         {{"log", "L"}, {"log.1", "1"}, {"log.3", "2"}}},
        {{{"log", "L"}, {"log.1", "1"}, {"log.3", "2"}}, 3, "log.1", {{"log", "L"}, {"log.1", "1"}, {"log.3", "2"}}},
    };
    for (const Case& c : cases) {
        Files files = c.before;
        std::string error;
        const bool moved = ShiftProbe::shiftLogFiles(
            "log", c.keep, [&](const std::string& name) { return files.count(name) != 0; },
            [&](const std::string& from, const std::string& to, std::string& why) {
                if (from == c.stuck) {
                    why = "held";
                    return ShiftProbe::Move::failed;
                }
                const auto it = files.find(from);
                if (it == files.end()) return ShiftProbe::Move::absent;
                std::string content = it->second;
                files.erase(it);
                files[to] = std::move(content);
                return ShiftProbe::Move::done;
            },
            error);
        EXPECT_EQ(files, c.after) << c.before.size() << " files, keep " << c.keep;
        EXPECT_EQ(moved, c.stuck.empty());
        EXPECT_EQ(error, c.stuck.empty() ? "" : "held");
    }
}

class RotatedLog : public LogFaults {
protected:
    void SetUp() override {
        LogFaults::SetUp();
        path = (dir_ / "log.txt").string();
    }
    void TearDown() override {
        SysProperties.store(nullptr);
        LogFaults::TearDown();
    }
    void configure(const std::string& maxMB, const std::string& keep) {
        Properties config{{"INDICEGIF_LOG", path}, {"INDICEGIF_LOG_KEEP", keep}};
        if (!maxMB.empty()) config["INDICEGIF_LOG_MAX_MB"] = maxMB;
        SysProperties.store(std::make_shared<const Properties>(std::move(config)));
    }
    void write(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }
    // Old lines filling all but a few bytes of one mebibyte.
    static std::string nearlyFull() {
        const std::string line = "[01/01/2001 00:00:00] " + std::string(100, 'o') + "\r\n";
        std::string text;
        while (text.size() + line.size() < (size_t{1} << 20)) text += line;
        return text + std::string((size_t{1} << 20) - text.size() - 2, 'o') + "\r\n";
    }

    TestPlatform platform;  // console captured, files real
    std::string path;
};

TEST_F(RotatedLog, TheLogIsMovedAsideOnlyWhenAskedAndOnceFull) {
    const std::string old = nearlyFull();
    write(path, old);
    write(path + ".1", "one\r\n");
    write(path + ".2", "two\r\n");
    configure("", "2");
    ASSERT_TRUE(Indication_Tools::addLogIndice("past the size, not asked"));
    configure("1", "2");
    ASSERT_TRUE(Indication_Tools::addLogIndice("starts the new file"));
    EXPECT_EQ(messages(slurp(path)), std::vector<std::string>{"starts the new file"});
    const std::string moved = slurp(path + ".1");
    EXPECT_TRUE(moved.compare(0, old.size(), old) == 0) << "the old lines were not moved aside whole";
    EXPECT_EQ(messages(moved.substr(old.size())), std::vector<std::string>{"past the size, not asked"});
    EXPECT_EQ(slurp(path + ".2"), "one\r\n");
    EXPECT_FALSE(fs::exists(path + ".3"));
    EXPECT_EQ(platform.out(), "");
}

TEST_F(RotatedLog, ALogThatCannotBeMovedAsideKeepsItsLinesAndSaysSoOnce) {
    write(path, nearlyFull());
    fs::create_directories(path + ".1/in-the-way");
    configure("1", "1");
    for (const char* m : {"a", "b"}) ASSERT_TRUE(Indication_Tools::addLogIndice(m));
    const std::vector<std::string> lines = messages(slurp(path).substr(size_t{1} << 20));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1].rfind("  |_ [System] : log not rotated : cannot rename " + path, 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "b");
    // Once the name is free, the next line rotates, with no word.
    fs::remove_all(path + ".1");
    ASSERT_TRUE(Indication_Tools::addLogIndice("c"));
    EXPECT_EQ(messages(slurp(path)), std::vector<std::string>{"c"});
    const std::string out = platform.out();
    EXPECT_EQ(out.find("[System] : log not rotated : "), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
}

// A writer: arguments path, writer number, lines, size limit, and a file
// whose coming starts the writing, so that every writer writes at once.
constexpr int64_t kRotateBytes = 4096;
int writeLogLines(const std::vector<std::string>& args) {
    if (args.size() != 5) return 2;
    const int writer = std::stoi(args[1]), lines = std::stoi(args[2]);
    const LogRotation rotation{std::stoll(args[3]), 1000};
    Platform& platform = Platform::current();
    for (int waited = 0; !platform.isReadableFile(args[4]); ++waited) {
        if (waited > 60'000) return 3;
        platform.sleepMillis(1);
    }
    int failed = 0;
    for (int i = 0; i < lines; ++i) {
        std::string error, rotationError;
        const std::string line = "[01/01/2001 00:00:00] " + payload(writer, i) + "\r\n";
        if (!platform.appendLogLine(args[0], line, rotation, error, rotationError) || !rotationError.empty()) ++failed;
    }
    return failed == 0 ? 0 : 1;
}
const ChildRole logWriter("log-writer", [](const std::vector<std::string>& args) {
    Platform::current().writeStdout("ready\n");
    return writeLogLines(args);
});

TEST_F(LogFaults, RotationUnderWritersInThreadsAndProcessesLosesAndSplitsNoLine) {
#if defined(_WIN32)
    constexpr int kLines = 150;  // each line is several round trips to Wine's server
#else
    constexpr int kLines = 600;
#endif
    const std::string path = (dir_ / "log.txt").string(), go = (dir_ / "go").string();
    // Writers 0-3 are threads, 4-6 processes, 7 a process that does not
    // rotate (the start-up lines of another run, written before it has
    // read its configuration).
    constexpr int kWriters = 8;
    std::vector<int> results(kWriters, -1);
    std::atomic<int> ready{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([w, &path, &go, &results, &ready] {
            const std::vector<std::string> args{path, std::to_string(w), std::to_string(kLines),
                                                std::to_string(w == 7 ? 0 : kRotateBytes), go};
            if (w < 4) {
                results[static_cast<size_t>(w)] = writeLogLines(args);
                return;
            }
            const ProcessRunResult run = Platform::current().runProgram(
                childCommand("log-writer", args), [&ready](const std::string& line) { ready += line == "ready"; },
                ProcessLimits{});
            results[static_cast<size_t>(w)] = run.outcome == ProcessRunResult::Outcome::Exited ? run.exitValue : -2;
        });
    }
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         ready < 4 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::ofstream(go) << "go";
    for (auto& th : writers) th.join();
    EXPECT_EQ(results, std::vector<int>(kWriters, 0));

    // Oldest first: the highest number down to 1, then the log itself.
    std::vector<fs::path> files;
    for (int n = 1; fs::exists(path + "." + std::to_string(n)); ++n)
        files.insert(files.begin(), path + "." + std::to_string(n));
    files.push_back(path);
    EXPECT_GT(files.size(), 10u);
    std::vector<int> next(kWriters, 0);
    for (const fs::path& file : files) {
        // Only the writer that does not rotate may take a file past the limit.
        size_t rotatingBytes = 0;
        for (const std::string& m : messages(slurp(file))) {
            int w = 0, seq = 0;
            ASSERT_TRUE(isPayload(m, w, seq) && w < kWriters) << m;
            ASSERT_EQ(seq, next[static_cast<size_t>(w)]) << "writer " << w << " in " << file;
            ++next[static_cast<size_t>(w)];
            if (w != 7) rotatingBytes += 22 + m.size() + 2;
        }
        EXPECT_LE(rotatingBytes, static_cast<size_t>(kRotateBytes)) << file;
    }
    EXPECT_EQ(next, std::vector<int>(kWriters, kLines));
}

}  // namespace
