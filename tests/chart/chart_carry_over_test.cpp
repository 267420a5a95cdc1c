// What charts built at once hand on to the charts after them, with the
// charts ending in an order chosen here rather than by thread scheduling.

#include "chart/ChartCarryOver.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Carried = ChartCarryOver::Carried;

void expectCarried(const Carried& c, int width, const std::optional<std::string>& weekDays) {
    EXPECT_EQ(c.legendWidth, width);
    EXPECT_EQ(c.weekDays, weekDays);
}

// Charts ending out of order: each takes only what the charts before it in
// the list left, and what the whole pass left goes on to the next pass.
TEST(ChartCarryOver, AChartTakesWhatTheChartsBeforeItLeftWhateverOrderTheyEndIn) {
    ChartCarryOver carry;
    carry.beginPass(5);
    carry.pass(3, "LMMJVSD");  // no graph drawn, weekday letters of its own
    carry.pass(1, std::nullopt);
    expectCarried(carry.take(0), 0, std::nullopt);
    carry.give(0, Carried{40, "SMTWTFS"});
    carry.pass(0, "XXXXXXX");  // over already: nothing changes
    expectCarried(carry.take(2), 40, "SMTWTFS");
    carry.give(2, Carried{55, "SMTWTFS"});
    expectCarried(carry.take(4), 55, "LMMJVSD");
    carry.give(4, Carried{60, "LMMJVSD"});

    carry.beginPass(1);
    expectCarried(carry.take(0), 60, "LMMJVSD");
}

// A chart waits for the charts before it, however early it starts.
TEST(ChartCarryOver, TakeWaitsForTheChartsBefore) {
    ChartCarryOver carry;
    carry.beginPass(3);
    Carried taken;
    std::thread third([&] { taken = carry.take(2); });
    carry.give(1, Carried{30, std::nullopt});
    carry.give(0, Carried{20, "SMTWTFS"});
    third.join();
    expectCarried(taken, 30, "SMTWTFS");
}

}  // namespace
