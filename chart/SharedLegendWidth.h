#pragma once
// The width kept free for Y labels when the charts of a pass are drawn by
// several models at once. One model drawing every chart widens its own width
// chart after chart, so a chart's layout depends on the charts before it.
// Here each chart takes its turn, in the order of the chart list: it takes
// the width the charts before it left, widens it for its own labels and gives
// it back; the width lives on from pass to pass. Every chart therefore gets
// the width one model drawing the charts in order would give it.
//
// Only the widening waits for the charts before; the rest of the drawing
// runs at once. Thread-safe.

#include <condition_variable>
#include <mutex>
#include <vector>

class SharedLegendWidth {
public:
    // A new pass of count charts: turns start again at 0.
    void beginPass(int count);
    // Waits until every chart before turn has given its width back or passed,
    // and returns the width they left.
    int take(int turn);
    // The width after chart turn widened it; the next chart may take it.
    void give(int turn, int width);
    // Chart turn is over, drawn or not; the charts after it must not wait for
    // it. Nothing happens when it has given its width already.
    void pass(int turn);

private:
    void markDone(int turn);  // holds mutex_

    std::mutex mutex_;
    std::condition_variable changed_;
    int width_ = 0;
    int next_ = 0;            // the first turn not yet over
    std::vector<char> done_;  // turns over, by number
};
