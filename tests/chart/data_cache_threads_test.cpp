// Parsed data files asked for by several threads at once while the files grow:
// no thread ever sees fewer records than it saw before, and at the end each
// file's records are those of a read of the whole file.

#include "SurfaceTestKit.h"
#include "chart/DataFileCache.h"
#include "support/Indication_Tools.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace {

TEST(DataCacheThreads, ReadersWhileTheFilesGrow) {
    ScopedTimeZone zone{"Europe/Paris"};
    surfacetest::TempDir dir;
    const std::string files[] = {dir / "a.txt", dir / "b.txt"};
    int64_t t = localMillis(2001, 10, 1);
    auto line = [&t] {
        t += 60000;
        return Indication_Tools::getBddDate(t) + ";" + Indication_Tools::getBddTime(t) + ";1.5\n";
    };
    for (const std::string& f : files) surfacetest::writeBytes(f, line());

    DataFileCache cache(1 << 20);
    std::atomic<bool> done{false};
    std::atomic<int> problems{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&, r] {
            int64_t seen[2] = {0, 0};
            while (!done) {
                const int k = r % 2;
                std::shared_ptr<const DataFileRecords> records;
                std::string error;
                if (!cache.records(files[k], records, error)) {
                    ++problems;
                    continue;
                }
                const int64_t n = records->recordCount();
                if (n < seen[k]) ++problems;
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
    }
    done = true;
    for (std::thread& th : readers) th.join();
    EXPECT_EQ(problems.load(), 0);

    for (const std::string& f : files) {
        std::shared_ptr<const DataFileRecords> kept;
        std::string error;
        ASSERT_TRUE(cache.records(f, kept, error));
        std::string bytes = *surfacetest::readBytes(f);
        DataFileParser whole;
        const size_t used = whole.addCompleteLines(bytes);
        EXPECT_EQ(kept->recordCount(), whole.records(std::string_view(bytes).substr(used))->recordCount());
        EXPECT_EQ(kept->recordCount(), 1501);
    }
}

}  // namespace
