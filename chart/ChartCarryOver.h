#pragma once
// What one chart model drawing every chart of a pass carries from a chart to
// the next, for models drawing the charts of a pass at once: the width kept
// free for Y labels, which only widens, and the weekday letters, which a
// graph file without them takes from the charts before it.
//
// Each chart takes its turn in the order of the chart list: it takes what
// the charts before it left, widens the width for its own labels and gives
// it back; a chart that draws no graph only passes on its weekday letters.
// What is carried lives on from pass to pass. Every chart therefore gets the
// layout one model drawing the charts in order gives it. Only that step
// waits for the charts before; the rest of the drawing runs at once.
//
// Thread-safe.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class ChartCarryOver {
public:
    struct Carried {
        int legendWidth = 0;
        std::optional<std::string> weekDays;
    };

    // A new pass of count charts: turns start again at 0.
    void beginPass(int count);
    // Waits until every chart before turn is over and returns what they left.
    Carried take(int turn);
    // Chart turn is over, with what it leaves to the next one.
    void give(int turn, const Carried& left);
    // Chart turn is over without drawing a graph (nothing happens when it
    // gave already): its weekday letters, when its graph file had them, go to
    // the charts after it.
    void pass(int turn, const std::optional<std::string>& weekDays);

private:
    struct Turn {
        bool over = false;
        bool gave = false;
        Carried left;
    };
    void advance();  // holds mutex_

    std::mutex mutex_;
    std::condition_variable changed_;
    Carried carried_;
    int next_ = 0;  // the first turn not yet over
    std::vector<Turn> turns_;
};
