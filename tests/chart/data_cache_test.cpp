// Parsed data files kept between reads: a chart given the cache sees exactly
// what a read of the whole file gives (series, reports, pixels), however the
// file was changed, and only the lines a grown file added are parsed.

#include "ChartTestKit.h"
#include "SurfaceTestKit.h"
#include "chart/ChartFrame.h"
#include "chart/DataFileCache.h"

#include <cstdio>
#include <map>
#include <random>

namespace {

using charttest::ChartTest;
using surfacetest::TempDir;

// Data-file text made at random: mostly records in increasing time, with
// duplicates, records out of order, bad lines, comments, blanks around
// fields and every kind of line end.
class DataText {
public:
    DataText(uint32_t seed, int64_t start) : rng_(seed), t_(start) {
        static constexpr int64_t kSteps[] = {60000, 600000, 3600000};
        step_ = kSteps[rng_() % 3];
    }

    std::string lines(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += line();
        return text;
    }
    int64_t last() const { return t_; }

private:
    std::string record(int64_t t) {
        char value[32];
        std::snprintf(value, sizeof value, "%.2f", 4000.0 + static_cast<double>(rng_() % 200000) / 100.0);
        std::string v = value;
        if (rng_() % 2) v[v.find('.')] = ',';
        const std::string date = Indication_Tools::getBddDate(t);
        const std::string time = Indication_Tools::getBddTime(t);
        switch (rng_() % 12) {
            case 0: return "  " + date + ";" + time + ";" + v + " ";
            case 1: return date + ";;" + time + ";" + v + ";extra";
            default: return date + ";" + time + ";" + v;
        }
    }

    std::string line() {
        std::string text;
        const uint32_t kind = rng_() % 100;
        if (kind < 78) {
            t_ += step_;
            text = record(t_);
        } else if (kind < 83) {
            text = record(t_ - step_ * static_cast<int64_t>(rng_() % 4));  // a duplicate
        } else if (kind < 88) {
            text = record(t_ - step_ * static_cast<int64_t>(1 + rng_() % 50) - 1000);  // out of order
        } else if (kind < 91) {
            t_ += step_ * static_cast<int64_t>(2 + rng_() % 30);  // a gap to fill
            text = record(t_);
        } else if (kind < 95) {
            static const char* const kBad[] = {"2001112;173000;1", "20011121;173000", "20011121;17h30m;1",
                                               "20011121;173000;abc", "2001ab21;173000;1"};
            text = kBad[rng_() % 5];
        } else {
            static const char* const kOther[] = {"", "# comment", ";20011121;173000;1", "no separator", "   "};
            text = kOther[rng_() % 5];
        }
        switch (rng_() % 8) {
            case 0: return text + "\r\n";
            case 1: return text + "\r";
            default: return text + "\n";
        }
    }

    std::mt19937 rng_;
    int64_t t_;
    int64_t step_ = 60000;
};

struct Window {
    int mode;
    int period;
    bool weekends;
};

const Window kWindows[] = {
    {Indication_Data::MODEGRAPH_NOMODE, 5, true},  {Indication_Data::MODEGRAPH_MONTH, 0, true},
    {Indication_Data::MODEGRAPH_MONTH, 1, true},   {Indication_Data::MODEGRAPH_DAY, 0, false},
    {Indication_Data::MODEGRAPH_DAY, 3, true},     {Indication_Data::MODEGRAPH_DAY, 10, false},
    {Indication_Data::MODEGRAPH_HOUR, 0, true},    {Indication_Data::MODEGRAPH_HOUR, 7, true},
    {Indication_Data::MODEGRAPH_HOUR, 30, true},   {Indication_Data::MODEGRAPH_MINUTE, 90, true},
    {Indication_Data::MODEGRAPH_MINUTE, 700, true},
};

// Hands files over in small parts of random sizes, so that lines and line
// ends are cut everywhere a part may end.
class SmallParts : public PlatformWrapper {
public:
    using PlatformWrapper::PlatformWrapper;
    bool readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error) override {
        std::mt19937 rng(static_cast<uint32_t>(path.size()));
        return target_.readFileParts(
            path,
            [&](std::string_view part) {
                while (!part.empty()) {
                    const size_t n = std::min<size_t>(part.size(), 1 + rng() % 97);
                    if (!take(part.substr(0, n))) return false;
                    part.remove_prefix(n);
                }
                return true;
            },
            size, error);
    }
};

class DataCache : public ChartTest {
protected:
    void configure(Indication_Data& model, const Window& w, int64_t end) {
        model.iModeGraphicsData = w.mode;
        model.iModeGraphicsData_Duration = w.period;
        model.dModeGraphicsData_DurationEnd = end;
        model.bDate_DispWeekDay = w.weekends;
        model.szFileData_Values = path;
    }

    // Reads with one model and returns what it reported.
    std::string read(Indication_Data& model, bool& result) {
        platform.clearOut();
        result = model.ReadData();
        model.Data_InitMinMax();
        return platform.out();
    }

    // The chart as drawn from the model's series.
    static std::vector<uint32_t> pixels(Indication_Data& model) {
        auto image = Image::create(161, 101);
        auto g = image->getGraphics();
        ChartLayout layout;
        model.startLayout(layout);
        paintChartFrame(*g, model, layout, 160, 100, 2);
        return surfacetest::allPixels(*image);
    }

    // A fresh read and a cached one of every window ending at end agree.
    void expectSameAsFresh(int64_t end, const std::string& context) {
        for (const Window& w : kWindows) {
            Indication_Data fresh;
            Indication_Data cached;
            // A cache that keeps nothing reads as a chart without one does,
            // but tells a file's findings once per content too.
            fresh.setChartContext(ChartContext{&streamed(inUse)});
            cached.setChartContext(ChartContext{inUse});
            configure(fresh, w, end);
            configure(cached, w, end);
            bool freshResult = false;
            bool cachedResult = false;
            const std::string freshOut = read(fresh, freshResult);
            const std::string cachedOut = read(cached, cachedResult);
            const std::string where = context + " mode " + std::to_string(w.mode) + " period " +
                                      std::to_string(w.period);
            ASSERT_EQ(freshResult, cachedResult) << where;
            ASSERT_EQ(freshOut, cachedOut) << where;
            if (!freshResult) continue;
            ASSERT_EQ(fresh.vecGraph_Date, cached.vecGraph_Date) << where;
            ASSERT_EQ(fresh.vecGraph_Data, cached.vecGraph_Data) << where;
            ASSERT_EQ(fresh.xi_Min, cached.xi_Min) << where;
            ASSERT_EQ(fresh.xi_Max, cached.xi_Max) << where;
            if (w.mode == Indication_Data::MODEGRAPH_HOUR) {
                ASSERT_EQ(pixels(fresh), pixels(cached)) << where;
            }
        }
    }

    DataFileCache& streamed(DataFileCache* cache) { return streamed_.try_emplace(cache, 0).first->second; }
    void endPass(DataFileCache* cache) {
        cache->endPass();
        streamed(cache).endPass();
    }

    // Each change starts a new pass: a file is checked once a pass.
    // Replaces the file whole: a new file renamed over the old one.
    void replace(const std::string& content) {
        surfacetest::writeBytes(dir / "new.txt", content);
        std::filesystem::rename(dir / "new.txt", path);
        endPass(inUse);
    }
    void append(const std::string& text) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::app);
            out << text;
        }
        endPass(inUse);
    }
    // Writes over the file's own bytes from the start, as curl -o or a shell > does.
    void rewriteInPlace(const std::string& content) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << content;
        }
        endPass(inUse);
    }

    SmallParts parts{platform};
    ScopedPlatform partsInstalled{parts};

    TempDir dir;
    std::string path = dir / "data.txt";
    DataFileCache cache;
    DataFileCache* inUse = &cache;
    std::map<DataFileCache*, DataFileCache> streamed_;
    Indication_Data cached;  // for single reads
    const int64_t start = at(2001, 10, 24, 9, 0, 0);  // the clocks go back on the 28th
};

TEST_F(DataCache, GrownFilesGiveWhatAWholeReadGives) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        DataText text(seed, start);
        std::mt19937 rng(seed * 7919);
        replace(text.lines(150 + static_cast<int>(rng() % 150)));
        std::string pending;
        for (int change = 0; change < 10; ++change) {
            const std::string context = "seed " + std::to_string(seed) + " change " + std::to_string(change);
            // Windows ending on the last record, between records, and far back.
            expectSameAsFresh(text.last(), context);
            expectSameAsFresh(text.last() - 1234567, context);
            if (HasFatalFailure()) return;

            // Appended lines, cut anywhere: the rest comes with the next change.
            const std::string more = pending + text.lines(1 + static_cast<int>(rng() % 40));
            const size_t cut = rng() % 3 == 0 ? rng() % (more.size() + 1) : more.size();
            append(more.substr(0, cut));
            pending = more.substr(cut);
        }
        append(pending);
        expectSameAsFresh(text.last(), "seed " + std::to_string(seed) + " end");
        if (HasFatalFailure()) return;
    }
}

TEST_F(DataCache, ChangedFilesAreParsedAgainWholeGrownOnesOnlyForTheirNewLines) {
    DataText text(99, start);
    std::string content = text.lines(400);
    replace(content);
    expectSameAsFresh(text.last(), "first");
    int64_t whole = cache.wholeReads();
    auto expectWholeReads = [&](int64_t added, const char* how) {
        expectSameAsFresh(text.last(), how);
        EXPECT_EQ(cache.wholeReads(), whole + added) << how;
        whole = cache.wholeReads();
    };

    // Grown however it was written: appended, rewritten in place, replaced.
    append(text.lines(3));
    expectWholeReads(0, "appended");
    content = *surfacetest::readBytes(path) + text.lines(2);
    rewriteInPlace(content);
    expectWholeReads(0, "rewritten in place, grown");
    content += text.lines(2);
    replace(content);
    expectWholeReads(0, "replaced, grown");

    // A value corrected in the middle, the size unchanged: in place and replaced.
    const size_t digit = content.find_first_of("0123456789", content.size() / 2);
    content[digit] = content[digit] == '1' ? '2' : '1';
    rewriteInPlace(content);
    expectWholeReads(1, "corrected in place");
    content[digit] = content[digit] == '1' ? '2' : '1';
    replace(content);
    expectWholeReads(1, "corrected and replaced");

    // Corrected before the old end and grown, in the same change.
    content[digit] = content[digit] == '1' ? '2' : '1';
    content += text.lines(3);
    rewriteInPlace(content);
    expectWholeReads(1, "corrected and grown");

    // Shrunk in place.
    std::filesystem::resize_file(path, content.size() / 2);
    endPass(inUse);
    expectWholeReads(1, "shrunk");

    // Missing: fails exactly as a plain read does; back again: read whole.
    std::filesystem::remove(path);
    endPass(inUse);
    expectSameAsFresh(text.last(), "missing");
    replace(content);
    expectSameAsFresh(text.last(), "back");
}

TEST_F(DataCache, AFileIsCheckedOnceAPass) {
    DataText text(7, start);
    replace(text.lines(300));
    Indication_Data first;
    configure(first, kWindows[3], text.last());
    first.setChartContext(ChartContext{&cache});
    ASSERT_TRUE(first.ReadData());
    // Changed on disk within the pass: the pass's other charts see the same read.
    surfacetest::writeBytes(path, text.lines(5));
    Indication_Data second;
    configure(second, kWindows[3], text.last());
    second.setChartContext(ChartContext{&cache});
    ASSERT_TRUE(second.ReadData());
    EXPECT_EQ(first.vecGraph_Date, second.vecGraph_Date);
    EXPECT_EQ(cache.wholeReads(), 1);
    cache.endPass();
    ASSERT_TRUE(second.ReadData());
    EXPECT_NE(first.vecGraph_Date, second.vecGraph_Date);
}

TEST_F(DataCache, AGrownFileParsesOnlyItsNewLines) {
    cached.setChartContext(ChartContext{&cache});
    DataText text(5, start);
    replace(text.lines(20000));
    configure(cached, kWindows[4], text.last());
    ASSERT_TRUE(cached.ReadData());
    append(text.lines(1));
    ASSERT_TRUE(cached.ReadData());
    EXPECT_EQ(cache.wholeReads(), 1);
    EXPECT_GT(cache.bytesHeld(), 0u);
}

TEST_F(DataCache, KeepsWhatFitsAndStreamsTheRest) {
    // Room for two files of 5,000 lines (two chunks and 100 bad lines each), not three.
    const size_t budget = 2 * (2 * (sizeof(DataChunk) + DataChunk::kRecords * 16) + 16384);
    DataFileCache small(budget);
    inUse = &small;
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        DataText text(40 + i, start);
        paths.push_back(dir / ("f" + std::to_string(i) + ".txt"));
        surfacetest::writeBytes(paths.back(), text.lines(5000));
    }
    int64_t firstRound = 0;
    for (int round = 0; round < 3; ++round) {
        const int64_t before = small.wholeReads();
        for (const std::string& p : paths) {
            path = p;
            expectSameAsFresh(start + 20 * 86400000LL, p);
            EXPECT_LE(small.bytesHeld(), budget);
        }
        endPass(&small);
        // Each pass keeps the two that fit and reads only the other two again,
        // instead of each file pushing out the one needed next.
        const int64_t reads = small.wholeReads() - before;
        if (round == 0) firstRound = reads;
        if (round > 0) {
            EXPECT_EQ(reads, firstRound - 2) << "round " << round;
        }
    }
    // Files nobody asked for in a pass go at its end.
    const size_t held = small.bytesHeld();
    path = paths[0];
    expectSameAsFresh(start + 20 * 86400000LL, "used again");
    endPass(&small);
    EXPECT_GT(held, 0u);
    EXPECT_LT(small.bytesHeld(), held);
    EXPECT_GT(small.bytesHeld(), 0u);
    // A file larger than the whole budget is read each time and never kept.
    DataFileCache tiny(1024);
    inUse = &tiny;
    expectSameAsFresh(start + 20 * 86400000LL, "tiny");
    EXPECT_EQ(tiny.bytesHeld(), 0u);
}

}  // namespace
