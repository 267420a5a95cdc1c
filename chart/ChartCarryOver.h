#pragma once
// What one chart model drawing every chart of a pass carries from a chart to
// the next, for models drawing the charts of a pass at once: the width kept
// free for Y labels, which only widens, and the weekday letters, which a
// graph file without them takes from the charts before it.
//
// Each chart takes its turn in the order of the chart list: it takes what
// the charts before it left, widens the width for its own labels and gives
// it back (one sized on its own labels gives back what it took); a chart
// that draws no graph only passes on its weekday letters.
// What is carried lives on from pass to pass. Every chart therefore gets the
// layout one model drawing the charts in order gives it. Only that step
// waits for the charts before; the rest of the drawing runs at once.
//
// A turn is an object that ends when it goes, so that however a chart's
// build ends the charts after it go on. Thread-safe.

#include "support/Mutex.h"

#include <condition_variable>
#include <optional>
#include <string>
#include <vector>

class ChartCarryOver {
public:
    struct Carried {
        int legendWidth = 0;
        std::optional<std::string> weekDays;
    };
    class Turn;

    // A new pass of count charts: turns start again at 0.
    void beginPass(int count) ZK_EXCLUDES(mutex_);
    // The turn of the chart at index in the pass's list. Every turn of a pass
    // must have ended before the next pass begins; the carry-over outlives them.
    Turn turn(int index);

private:
    struct Slot {
        bool over = false;
        bool gave = false;
        Carried left;
    };
    Carried take(int turn) ZK_EXCLUDES(mutex_);
    // Ends turn; gave: it drew a graph and left is all it leaves, else only
    // its weekday letters go on. Nothing happens to a turn over already.
    void end(int turn, bool gave, Carried left) ZK_EXCLUDES(mutex_);
    void advance() ZK_REQUIRES(mutex_);

    Mutex mutex_;
    std::condition_variable changed_;
    Carried carried_ ZK_GUARDED_BY(mutex_);
    int next_ ZK_GUARDED_BY(mutex_) = 0;  // the first turn not yet over
    std::vector<Slot> turns_ ZK_GUARDED_BY(mutex_);
};

// One chart's turn. Move-only; an empty one (default) shares nothing.
class ChartCarryOver::Turn {
public:
    Turn() = default;
    Turn(Turn&& other) noexcept;
    Turn& operator=(Turn&& other) noexcept;
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    // Ends the turn if give() did not: the weekday letters left (when the
    // chart's graph file had them) go to the charts after it.
    ~Turn();

    explicit operator bool() const { return owner_ != nullptr; }

    // Waits until every chart before this one is over; what they left.
    Carried take();
    // Ends the turn with what the chart leaves to the next one.
    void give(const Carried& left);
    // The weekday letters passed on should the turn end without give().
    void leaveWeekDays(std::optional<std::string> weekDays) { weekDays_ = std::move(weekDays); }

private:
    friend class ChartCarryOver;
    Turn(ChartCarryOver& owner, int index) : owner_(&owner), index_(index) {}

    ChartCarryOver* owner_ = nullptr;
    int index_ = -1;
    std::optional<std::string> weekDays_;
};
