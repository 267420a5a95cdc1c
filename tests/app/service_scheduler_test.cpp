// The turn-taking of the service's two threads, driven by hand: who goes
// when both wait, what a stop ends, and the stops that must not wait.

#include "app/ServiceScheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Side = ServiceScheduler::Side;
using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done) {
    for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return done();
}

TEST(ServiceScheduler, WhenBothWaitTheSideWithoutTheLastTurnGoesFirst) {
    ServiceScheduler s;
    std::mutex m;
    std::string order;
    std::atomic<bool> release{false};
    std::atomic<int> waiting{0};
    // The reload holds the turn while the generation side and then the
    // reload side again wait for it.
    ASSERT_TRUE(s.start(Side::reload, [&] {
        return std::thread([&] {
            ASSERT_TRUE(s.takeTurn(Side::reload));
            while (!release) std::this_thread::sleep_for(1ms);
            s.endTurn(Side::reload);
            // Back at once, while the generation side waits: it goes first.
            ASSERT_TRUE(s.takeTurn(Side::reload));
            std::lock_guard<std::mutex> lock(m);
            order += 'R';
            s.endTurn(Side::reload);
        });
    }));
    ASSERT_TRUE(eventually([&] { return s.running(Side::reload); }));
    ASSERT_TRUE(s.start(Side::generation, [&] {
        return std::thread([&] {
            ++waiting;
            ASSERT_TRUE(s.takeTurn(Side::generation));
            {
                std::lock_guard<std::mutex> lock(m);
                order += 'G';
            }
            // Holds the turn a moment: the reload waiting meanwhile must not go.
            std::this_thread::sleep_for(20ms);
            EXPECT_FALSE(s.running(Side::reload));
            s.endTurn(Side::generation);
        });
    }));
    ASSERT_TRUE(eventually([&] { return waiting == 1; }));
    std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(s.running(Side::generation));
    release = true;
    ASSERT_TRUE(eventually([&] {
        std::lock_guard<std::mutex> lock(m);
        return order.size() == 2;
    }));
    EXPECT_TRUE(s.stop(Side::reload));
    EXPECT_TRUE(s.stop(Side::generation));
    EXPECT_EQ(order, "GR");
}

TEST(ServiceScheduler, AStopEndsEveryWaitAtOnceButNotATurn) {
    ServiceScheduler s;
    std::atomic<bool> release{false};
    std::atomic<bool> paused{false}, turnRefused{false}, pauseEnded{false};
    // The generation side holds the turn until released.
    ASSERT_TRUE(s.start(Side::generation, [&] {
        return std::thread([&] {
            ASSERT_TRUE(s.takeTurn(Side::generation));
            while (!release) std::this_thread::sleep_for(1ms);
            s.endTurn(Side::generation);
            // An hour's pause, ended by the stop.
            pauseEnded = s.pause(Side::generation, 3'600'000);
        });
    }));
    ASSERT_TRUE(eventually([&] { return s.running(Side::generation); }));
    ASSERT_TRUE(s.start(Side::reload, [&] {
        return std::thread([&] {
            paused = true;
            turnRefused = !s.takeTurn(Side::reload);
        });
    }));
    ASSERT_TRUE(eventually([&] { return paused.load(); }));
    EXPECT_TRUE(s.stop(Side::reload));  // its wait for the turn ends without the turn
    EXPECT_TRUE(turnRefused);
    EXPECT_FALSE(s.exists(Side::reload));

    // A stop of the side in its turn waits for the turn to end.
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        s.stop(Side::generation);
        stopped = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(stopped);
    EXPECT_TRUE(s.running(Side::generation));
    release = true;
    stopper.join();
    EXPECT_TRUE(pauseEnded);
    EXPECT_FALSE(s.stop(Side::generation));  // nothing left to stop
}

TEST(ServiceScheduler, StopsThatWouldWaitForThemselvesReturnAtOnce) {
    ServiceScheduler s;
    std::atomic<bool> releaseReload{false};
    std::atomic<int> stopOfEnding{-1}, stopOfSelf{-1};
    std::atomic<bool> ending{false}, pauseEnded{false};
    // The reload takes its turn; the generation thread, after a turn of its
    // own, ends the process and so waits for the reload's turn to end.
    ASSERT_TRUE(s.start(Side::reload, [&] {
        return std::thread([&] {
            ASSERT_TRUE(s.takeTurn(Side::reload));
            while (!releaseReload) std::this_thread::sleep_for(1ms);
            // Within its turn the reload asks for the service to stop.
            stopOfEnding = s.stop(Side::generation);
            stopOfSelf = s.stop(Side::reload);
            s.endTurn(Side::reload);
            // No reload starts any more: an hour's pause ends at once.
            pauseEnded = s.pause(Side::reload, 3'600'000);
        });
    }));
    ASSERT_TRUE(eventually([&] { return s.running(Side::reload); }));
    ASSERT_TRUE(s.start(Side::generation, [&] {
        return std::thread([&] {
            ending = true;
            s.endProcessAfterTurn();
        });
    }));
    ASSERT_TRUE(eventually([&] { return ending.load(); }));
    std::this_thread::sleep_for(5ms);
    releaseReload = true;
    ASSERT_TRUE(eventually([&] { return stopOfSelf != -1; }));
    EXPECT_EQ(stopOfEnding, 0);
    EXPECT_EQ(stopOfSelf, 0);
    EXPECT_TRUE(s.stop(Side::generation));
    EXPECT_TRUE(s.stop(Side::reload));
    EXPECT_TRUE(pauseEnded);
}

// A one-shot pass may end the process before the reload thread is started:
// that start is refused at once instead of waiting for a stop that never comes.
TEST(ServiceScheduler, AClosedSchedulerOrAnEndingProcessStartsNothing) {
    ServiceScheduler s;
    s.close();
    bool launched = false;
    EXPECT_FALSE(s.start(Side::generation, [&] {
        launched = true;
        return std::thread();
    }));
    EXPECT_FALSE(launched);
    EXPECT_FALSE(s.exists(Side::generation));

    ServiceScheduler ending;
    std::atomic<bool> ended{false};
    ASSERT_TRUE(ending.start(Side::generation, [&] {
        return std::thread([&] {
            ASSERT_TRUE(ending.takeTurn(Side::generation));
            ending.endTurn(Side::generation);
            ending.endProcessAfterTurn();
            ended = true;
        });
    }));
    ASSERT_TRUE(eventually([&] { return ended.load(); }));
    std::atomic<bool> refused{false};
    std::thread starter([&] { refused = !ending.start(Side::reload, [&] { return std::thread(); }); });
    EXPECT_TRUE(eventually([&] { return refused.load(); })) << "the reload's start waits";
    starter.join();
    EXPECT_FALSE(ending.exists(Side::reload));
    EXPECT_TRUE(ending.stop(Side::generation));
}

}  // namespace
