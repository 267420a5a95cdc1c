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
// the list left, and what the whole pass left goes on to the next pass. A
// turn that goes without giving hands on only its weekday letters.
TEST(ChartCarryOver, AChartTakesWhatTheChartsBeforeItLeftWhateverOrderTheyEndIn) {
    ChartCarryOver carry;
    carry.beginPass(5);
    ChartCarryOver::Turn t0 = carry.turn(0), t2 = carry.turn(2), t4 = carry.turn(4);
    {
        ChartCarryOver::Turn t3 = carry.turn(3);
        t3.leaveWeekDays("LMMJVSD");  // no graph drawn, weekday letters of its own
        ChartCarryOver::Turn t1 = carry.turn(1);
    }
    expectCarried(t0.take(), 0, std::nullopt);
    t0.leaveWeekDays("XXXXXXX");  // given before it goes: not handed on
    t0.give(Carried{40, "SMTWTFS"});
    EXPECT_FALSE(t0);
    expectCarried(t2.take(), 40, "SMTWTFS");
    ChartCarryOver::Turn moved = std::move(t2);
    EXPECT_FALSE(t2);
    moved.give(Carried{55, "SMTWTFS"});
    expectCarried(t4.take(), 55, "LMMJVSD");
    t4.give(Carried{60, "LMMJVSD"});

    carry.beginPass(1);
    expectCarried(carry.turn(0).take(), 60, "LMMJVSD");
}

// A chart waits for the charts before it, however early it starts, and a
// chart whose build ends without drawing lets it go on.
TEST(ChartCarryOver, TakeWaitsForTheChartsBefore) {
    ChartCarryOver carry;
    carry.beginPass(3);
    ChartCarryOver::Turn t0 = carry.turn(0), t1 = carry.turn(1), t2 = carry.turn(2);
    Carried taken;
    std::thread third([&] { taken = t2.take(); });
    t1.give(Carried{30, std::nullopt});
    t0 = ChartCarryOver::Turn();  // ends turn 0 without a graph
    third.join();
    expectCarried(taken, 30, std::nullopt);
}

}  // namespace
