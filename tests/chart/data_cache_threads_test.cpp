// Parsed data files asked for by several threads at once while the files grow
// and passes end: no thread ever sees fewer records than it saw before, and at
// the end each file's records are those of a read of the whole file, with a
// budget that keeps both files and one that keeps only one of them; and one
// file dropped from the cache (it outgrew the budget, the budget shrank) while
// other threads refresh it.

#include "SurfaceTestKit.h"
#include "chart/DataFileCache.h"
#include "support/Indication_Tools.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace {

struct Counter : DataChunkSink {
    void take(const DataChunk& chunk) override { n += static_cast<int64_t>(chunk.dates.size()); }
    int64_t n = 0;
};

class DataCacheThreads : public ::testing::TestWithParam<size_t> {};

TEST_P(DataCacheThreads, ReadersWhileTheFilesGrow) {
    ScopedTimeZone zone{"Europe/Paris"};
    surfacetest::TempDir dir;
    const std::string files[] = {dir / "a.txt", dir / "b.txt"};
    int64_t t = localMillis(2001, 10, 1);
    auto line = [&t] {
        t += 60000;
        return Indication_Tools::getBddDate(t) + ";" + Indication_Tools::getBddTime(t) + ";1.5\n";
    };
    for (const std::string& f : files) surfacetest::writeBytes(f, line());

    DataFileCache cache(GetParam());
    std::atomic<bool> done{false};
    std::atomic<int> problems{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&, r] {
            int64_t seen[2] = {0, 0};
            while (!done) {
                const int k = r % 2;
                std::shared_ptr<const DataFileRecords> bad;
                std::string error;
                Counter counter;
                if (!cache.read(files[k], counter, bad, error)) {
                    ADD_FAILURE() << error;
                    ++problems;
                    continue;
                }
                const int64_t n = counter.n;
                if (n < seen[k]) {
                    ADD_FAILURE() << "file " << k << ": " << n << " records after " << seen[k];
                    ++problems;
                }
                seen[k] = n;
            }
        });
    }
    for (int i = 0; i < 3000; ++i) {
        std::ofstream out(files[i % 2], std::ios::app | std::ios::binary);
        // Half a line now and then: the rest follows with the next write.
        const std::string next = line();
        out << next.substr(0, i % 5 == 0 ? 9 : next.size());
        if (i % 5 == 0) {
            out.flush();
            out << next.substr(9);
        }
        if (i % 3 == 0) cache.endPass();
    }
    done = true;
    for (std::thread& th : readers) th.join();
    EXPECT_EQ(problems.load(), 0);

    cache.endPass();
    for (const std::string& f : files) {
        std::shared_ptr<const DataFileRecords> bad;
        std::string error;
        Counter counter;
        ASSERT_TRUE(cache.read(f, counter, bad, error));
        EXPECT_EQ(counter.n, 1501);
    }
    EXPECT_LE(cache.bytesHeld(), GetParam());
}

// Four threads read one file that grows past the budget (one chunk of
// records) while the budget is taken away and given back: the file is
// dropped while others refresh it, and no one sees it shrink or fail.
TEST(DataCacheThreads, FileDroppedWhileOthersRefreshIt) {
    ScopedTimeZone zone{"Europe/Paris"};
    surfacetest::TempDir dir;
    const std::string file = dir / "a.txt";
    int64_t t = localMillis(2001, 10, 1);
    auto line = [&t] {
        t += 60000;
        return Indication_Tools::getBddDate(t) + ";" + Indication_Tools::getBddTime(t) + ";1.5\n";
    };
    const int64_t first = DataChunk::kRecords - 50;
    std::string start;
    for (int64_t i = 0; i < first; ++i) start += line();
    surfacetest::writeBytes(file, start);

    const size_t oneChunk = sizeof(DataChunk) + DataChunk::kRecords * 16 + 4096;
    DataFileCache cache(oneChunk);
    std::atomic<bool> done{false};
    std::atomic<int> problems{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            int64_t seen = 0;
            while (!done) {
                std::shared_ptr<const DataFileRecords> bad;
                std::string error;
                Counter counter;
                if (!cache.read(file, counter, bad, error)) {
                    ADD_FAILURE() << error;
                    ++problems;
                } else if (counter.n < seen) {
                    ADD_FAILURE() << counter.n << " records after " << seen;
                    ++problems;
                } else {
                    seen = counter.n;
                }
            }
        });
    }
    const int added = 300;
    for (int i = 0; i < added; ++i) {
        std::ofstream(file, std::ios::app | std::ios::binary) << line();
        if (i % 7 == 0) cache.setBudget(i % 14 == 0 ? 0 : oneChunk);
        if (i % 5 == 0) cache.endPass();
    }
    done = true;
    for (std::thread& th : readers) th.join();
    EXPECT_EQ(problems.load(), 0);

    cache.endPass();
    std::shared_ptr<const DataFileRecords> bad;
    std::string error;
    Counter counter;
    ASSERT_TRUE(cache.read(file, counter, bad, error));
    EXPECT_EQ(counter.n, first + added);
    cache.setBudget(oneChunk);
    EXPECT_EQ(cache.bytesHeld(), 0u);  // two chunks do not fit in one
}

// 1,501 records take a chunk: room for both files, and for one only.
INSTANTIATE_TEST_SUITE_P(Budgets, DataCacheThreads,
                         ::testing::Values(size_t{1} << 20, sizeof(DataChunk) + DataChunk::kRecords * 16 + 4096));

}  // namespace
