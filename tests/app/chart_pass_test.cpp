// Charts built by several workers give what one worker gives: the same
// images byte for byte (even where two charts write one file), the same
// console and log lines in the same order, pass after pass, while the data
// files grow.

#include "app/ChartPass.h"
#include "app/zkQuoteForge.h"
#include "chart/Indication_Graph.h"
#include "encoders/PngEncoder.h"
#include "support/Indication_Tools.h"
#include "support/MessageBuffer.h"
#include "support/SysProperties.h"
#include "tests/common/MemoryPixelSource.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

namespace {

namespace fs = std::filesystem;

class ChartPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "zkchartpassXXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        platform.captureAllAppends();
        platform.now = localMillis(2001, 3, 5, 7, 8, 9);
        Indication_Tools::debugMode = true;
    }
    void TearDown() override {
        Indication_Tools::debugMode = false;
        SysProperties.store(nullptr);
        fs::remove_all(dir);
    }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Hourly records over the ten days before now, of about the given size.
    void appendData(const std::string& name, double scale, int hours, int64_t from) {
        std::ofstream out(path(name), std::ios::binary | std::ios::app);
        for (int h = 0; h < hours; ++h) {
            const int64_t t = from + int64_t{h} * 3600000;
            out << Indication_Tools::getBddDate(t) << ';' << Indication_Tools::getBddTime(t) << ';'
                << scale * (1.5 + std::sin(h / 7.0)) << '\n';
        }
    }

    // Charts whose Y labels widen here and there along the list, with the
    // legend on either side, weekday letters in some graph files only, and
    // charts that fail to load or find no data.
    void configure(const std::string& workers) {
        static const double kScale[] = {5, 8, 4000, 30, 9e6, 12, 70000, 3};
        Properties config{{"INDICEGIF_LOG", path("log.txt")}, {"INDICEGIF_THREADS", workers}};
        for (int n = 1; n <= 14; ++n) {
            const std::string name = "chart" + std::to_string(n);
            std::string text = "GRAPH_NAME=Chart " + std::to_string(n) + "\nGRAPH_DATA_FILE=" +
                               path("data" + std::to_string(n % 8) + ".txt") +
                               "\nGRAPH_DURATION_MODE=" + (n % 3 ? "day" : "hour") +
                               "\nGRAPH_DURATION_PERIOD=" + (n % 3 ? "6" : "30") +
                               "\nGRAPH_PRINT_WIDTH=200\nGRAPH_PRINT_HEIGHT=120\nGRAPH_PRINT_PNG_VALID=yes\n" +
                               // Two charts writing one file: the later one's image stays.
                               "GRAPH_PRINT_GIF_NAME=" + path(n == 4 ? "chart3.gif" : name + ".gif") +
                               "\nGRAPH_PRINT_PNG_NAME=" +
                               path(name + ".png") + "\nLEGENDE_Y_LEFTGRAPH=" + (n % 4 == 1 ? "no" : "yes") + "\n";
            if (n % 5 == 2) text += "GRAPH_DATE_WEEKDAY=" + std::string(n % 2 ? "dlmmjvs" : "SMTWTFS") + "\n";
            if (n == 9) text = "GRAPH_DATA_FILE=" + path("missing.txt") + "\n";
            if (n != 6) std::ofstream(path(name + ".ini")) << text;
            config["INDICEGIF_FILE_" + std::to_string(n)] = path(name + ".ini");
        }
        SysProperties.store(std::make_shared<const Properties>(std::move(config)));
        if (first_) {
            for (int i = 0; i < 8; ++i) appendData("data" + std::to_string(i) + ".txt", kScale[i], 240, start_);
            first_ = false;
        }
    }

    struct Result {
        std::string console;
        std::string log;
        std::map<std::string, std::string> images;
    };

    Result pass(ChartPass& charts) {
        platform.clearOut();
        platform.setFile(path("log.txt"), "");
        zkQuoteForge::generationPass(charts);
        Result r{platform.out(), platform.file(path("log.txt")), {}};
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".gif" && ext != ".png") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            r.images[entry.path().filename().string()] =
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            fs::remove(entry.path());
        }
        return r;
    }

    static void expectSame(const Result& one, const Result& many, const std::string& when) {
        EXPECT_EQ(one.console, many.console) << when;
        EXPECT_EQ(one.log, many.log) << when;
        ASSERT_EQ(one.images.size(), many.images.size()) << when;
        for (const auto& [name, bytes] : one.images) {
            auto it = many.images.find(name);
            ASSERT_NE(it, many.images.end()) << when << " " << name;
            EXPECT_TRUE(it->second == bytes) << when << " " << name;
        }
    }

    std::string dir;
    TestPlatform platform;
    ScopedTimeZone zone{"Europe/Paris"};

private:
    bool first_ = true;
    const int64_t start_ = localMillis(2001, 2, 23, 7, 0, 0);
};

TEST_F(ChartPassTest, SeveralWorkersGiveWhatOneGivesPassAfterPass) {
    Indication_Graph oneSurface;
    Indication_Graph manySurface;
    ChartPass one(oneSurface, &zkQuoteForge::buildChart);
    ChartPass many(manySurface, &zkQuoteForge::buildChart);
    for (int round = 0; round < 3; ++round) {
        configure("1");
        const Result single = pass(one);
        configure("3");
        const Result parallel = pass(many);
        const std::string when = "pass " + std::to_string(round + 1);
        // All but the two failing charts, one GIF written twice.
        ASSERT_EQ(single.images.size(), 2u * 12 - 1) << when;
        expectSame(single, parallel, when);
        if (HasFatalFailure()) return;
        // Larger values arrive: the labels widen again, in the middle of the list.
        appendData("data" + std::to_string(3 + round) + ".txt", 4e8 * (round + 1), 1,
                   localMillis(2001, 3, 5, 6, 30, 0) + round * 300000);
    }
}

TEST_F(ChartPassTest, WorkersAsked) {
    EXPECT_EQ(ChartPass::workersFor(std::nullopt), 1);
    EXPECT_EQ(ChartPass::workersFor("abc"), 1);
    EXPECT_EQ(ChartPass::workersFor("-2"), 1);
    EXPECT_EQ(ChartPass::workersFor("3"), 3);
    EXPECT_EQ(ChartPass::workersFor("100000"), ChartPass::kMaxWorkers);
    EXPECT_EQ(ChartPass::workersFor("2147483648"), ChartPass::kMaxWorkers);
    EXPECT_EQ(ChartPass::workersFor("99999999999999999999999"), ChartPass::kMaxWorkers);
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_EQ(ChartPass::workersFor("0"), std::min(cores, ChartPass::kMaxWorkers));

    EXPECT_EQ(ChartPass::dataBudgetFor(std::nullopt), DataFileCache::kDefaultBudget);
    EXPECT_EQ(ChartPass::dataBudgetFor("-1"), DataFileCache::kDefaultBudget);
    EXPECT_EQ(ChartPass::dataBudgetFor("0"), 0u);
    EXPECT_EQ(ChartPass::dataBudgetFor("16"), size_t{16} << 20);
    EXPECT_EQ(ChartPass::dataBudgetFor("99999999999999999999999"), size_t(ChartPass::kMaxDataCacheMB) << 20);
}

// The PNG encoder's failure line stays on standard error but is held with its
// chart's other lines, in the order of the list, even when that chart ends
// first.
TEST(ChartPassLines, PngEncoderFailureComesWithItsChartsLines) {
    // Standard output and error as a terminal shows them: one stream.
    struct OneStream : PlatformWrapper {
        OneStream() : PlatformWrapper(Platform::current()) {}
        std::mutex mutex;
        std::string text;
        void writeStdout(std::string_view t) override {
            std::lock_guard<std::mutex> lock(mutex);
            text += "out " + std::string(t);
        }
        void writeStderr(std::string_view t) override {
            std::lock_guard<std::mutex> lock(mutex);
            text += "err " + std::string(t);
        }
    } stream;
    ScopedPlatform installed(stream);
    std::promise<void> secondOver;
    std::shared_future<void> second = secondOver.get_future().share();
    Indication_Graph surface;
    ChartPass charts(surface, [&](Indication_Graph&, const std::string& name) {
        // The first chart ends after the second (unless only one worker could start).
        if (name == "first") second.wait_for(std::chrono::seconds(30));
        Indication_Tools::Outils_AfficheMsg_System("QuoteForge", name);
        if (name == "second") {
            MemoryPixelSource image(4, 4, 0xFF000000u);
            image.failGrabs(false, PixelSource::GRAB_ABORTED);
            const EncodedImage png = PngEncoder(&image).pngEncode();
            EXPECT_FALSE(png);
            MessageBuffer::writeStderr(png.failure() + "\n");
        }
        Indication_Tools::Outils_AfficheMsg_System("QuoteForge", name + " done");
        if (name == "second") secondOver.set_value();
        return [name](const std::vector<AtomicWrites::Replaced>&) {
            Indication_Tools::Outils_AfficheMsg_System("QuoteForge", name + " written");
            ChartResult built;
            built.outcome = ChartOutcome::built;
            return built;
        };
    });
    charts.build({"first", "second"}, 2);
    EXPECT_EQ(stream.text,
              "out [QuoteForge] : first\nout [QuoteForge] : first done\nout [QuoteForge] : first written\n"
              "out [QuoteForge] : second\nerr image fetch aborted or errored\nout [QuoteForge] : second done\n"
              "out [QuoteForge] : second written\n");
}

// Workers build only a few charts ahead of the writer: a chart in front that
// takes long holds the others back, so what waits to be written stays small.
TEST(ChartPassLines, WorkersStayAFewChartsAheadOfTheWriter) {
    TestPlatform platform;
    constexpr int kWorkers = 2, kCharts = 12;
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0, finished = 0;
    std::vector<int> finishedWhenStarted(kCharts, -1);
    Indication_Graph surface;
    ChartPass charts(surface, [&](Indication_Graph&, const std::string& name) {
        const int i = std::stoi(name);
        std::unique_lock<std::mutex> lock(mutex);
        finishedWhenStarted[static_cast<size_t>(i)] = finished;
        ++started;
        changed.notify_all();
        // The first chart is over once the others have run as far ahead as they may.
        if (i == 0) changed.wait_for(lock, std::chrono::seconds(30), [&] { return started == 2 * kWorkers; });
        return ChartPass::FinishChart([&](const std::vector<AtomicWrites::Replaced>&) {
            std::lock_guard<std::mutex> done(mutex);
            ++finished;
            return ChartResult{};
        });
    });
    std::vector<std::string> names;
    for (int i = 0; i < kCharts; ++i) names.push_back(std::to_string(i));
    ASSERT_EQ(charts.build(names, kWorkers).size(), size_t{kCharts});
    EXPECT_EQ(finished, kCharts);
    for (int i = 0; i < kCharts; ++i)
        EXPECT_LT(i - finishedWhenStarted[static_cast<size_t>(i)], 2 * kWorkers) << "chart " << i;
}

}  // namespace
