// Writes of one image file by charts built at once, in every order they can
// reach it: the file left and each chart's result are those of the charts
// written one after the other, in the order of the list.

#include "chart/ImageWriteOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace {

const FilePlace kFile{FileIdentity{1, 2}, "", "x.png"};

struct Outcome {
    std::string file;             // whose image the file holds ("" for the one before the pass)
    std::vector<bool> results;    // each chart's write, in the list's order
};

// Charts 0..n-1 write kFile in the order given; ok[i]: chart i's write can go through.
Outcome run(ImageWriteOrder& order, const std::vector<int>& reaching, const std::vector<bool>& ok) {
    Outcome o{"", std::vector<bool>(ok.size())};
    order.beginPass();
    for (int turn : reaching) {
        o.results[static_cast<size_t>(turn)] = order.turn(turn).write(kFile, [&](bool keep) {
            if (ok[static_cast<size_t>(turn)] && keep) o.file = "chart " + std::to_string(turn);
            return ok[static_cast<size_t>(turn)];
        });
    }
    return o;
}

TEST(ImageWriteOrder, EveryOrderLeavesAndReportsWhatTheListsOrderDoes) {
    ImageWriteOrder order;
    for (int n = 2; n <= 4; ++n) {
        for (int fails = 0; fails < (1 << n); ++fails) {
            std::vector<bool> ok(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) ok[static_cast<size_t>(i)] = (fails & (1 << i)) == 0;
            std::vector<int> reaching(static_cast<size_t>(n));
            std::iota(reaching.begin(), reaching.end(), 0);
            const Outcome inOrder = run(order, reaching, ok);
            while (std::next_permutation(reaching.begin(), reaching.end())) {
                const Outcome o = run(order, reaching, ok);
                std::string when;
                for (int t : reaching) when += std::to_string(t) + (ok[static_cast<size_t>(t)] ? "+ " : "- ");
                EXPECT_EQ(o.file, inOrder.file) << when;
                EXPECT_EQ(o.results, inOrder.results) << when;
            }
        }
    }
}

// A chart writing its GIF and its PNG under one name: its second write
// replaces its first, as always.
TEST(ImageWriteOrder, AChartReplacesItsOwnImageAndOtherFilesGoTheirWay) {
    ImageWriteOrder order;
    order.beginPass();
    std::string file, other;
    EXPECT_TRUE(order.turn(1).write(kFile, [&](bool keep) { return !keep || (file = "chart 1 gif", true); }));
    EXPECT_TRUE(order.turn(1).write(kFile, [&](bool keep) { return !keep || (file = "chart 1 png", true); }));
    const FilePlace elsewhere{FileIdentity{1, 2}, "", "y.png"};
    EXPECT_TRUE(order.turn(0).write(elsewhere, [&](bool keep) { return !keep || (other = "chart 0", true); }));
    EXPECT_TRUE(order.turn(0).write(kFile, [&](bool keep) { return !keep || (file = "chart 0", true); }));
    EXPECT_EQ(file, "chart 1 png");
    EXPECT_EQ(other, "chart 0");
    // A new pass starts afresh.
    order.beginPass();
    EXPECT_TRUE(order.turn(0).write(kFile, [&](bool keep) { return !keep || (file = "chart 0", true); }));
    EXPECT_EQ(file, "chart 0");
}

// Whoever enters a folder first sweeps it, once; the first chart of the list
// that entered it reports what was removed, once.
TEST(ImageWriteOrder, TheSweepIsReportedByTheFirstChartOfTheListInTheFolder) {
    ImageWriteOrder order;
    order.beginPass();
    int sweeps = 0;
    auto sweep = [&] {
        ++sweeps;
        return std::vector<std::string>{".x.png.tmpAB12cd"};
    };
    const FilePlace other{FileIdentity{1, 3}, "", "x.png"};
    for (int turn : {2, 0, 1}) order.turn(turn).enterFolder(kFile, sweep);
    order.turn(3).enterFolder(other, sweep);
    order.turn(0).enterFolder(FilePlace{FileIdentity{1, 2}, "", "y.png"}, sweep);
    EXPECT_EQ(sweeps, 2);
    // Reports asked for after the turns are gone, as a chart's held lines do.
    EXPECT_TRUE(order.turn(2).sweepReport(kFile)().empty());
    const auto first = order.turn(0).sweepReport(kFile);
    EXPECT_EQ(first(), std::vector<std::string>{".x.png.tmpAB12cd"});
    EXPECT_TRUE(first().empty());
    EXPECT_TRUE(order.turn(1).sweepReport(kFile)().empty());
    EXPECT_EQ(order.turn(3).sweepReport(other)().size(), 1u);
}

}  // namespace
