#include "chart/ChartCarryOver.h"

void ChartCarryOver::beginPass(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = 0;
    turns_.assign(static_cast<size_t>(count > 0 ? count : 0), Turn{});
}

ChartCarryOver::Carried ChartCarryOver::take(int turn) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return next_ >= turn || static_cast<size_t>(turn) >= turns_.size(); });
    return carried_;
}

void ChartCarryOver::give(int turn, const Carried& left) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (turn < 0 || static_cast<size_t>(turn) >= turns_.size()) return;
        Turn& t = turns_[static_cast<size_t>(turn)];
        if (t.over) return;
        t.over = true;
        t.gave = true;
        t.left = left;
        advance();
    }
    changed_.notify_all();
}

void ChartCarryOver::pass(int turn, const std::optional<std::string>& weekDays) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (turn < 0 || static_cast<size_t>(turn) >= turns_.size()) return;
        Turn& t = turns_[static_cast<size_t>(turn)];
        if (t.over) return;
        t.over = true;
        t.left.weekDays = weekDays;
        advance();
    }
    changed_.notify_all();
}

void ChartCarryOver::advance() {
    // Turns may end in any order; what they leave counts in the list's order.
    while (static_cast<size_t>(next_) < turns_.size() && turns_[static_cast<size_t>(next_)].over) {
        const Turn& t = turns_[static_cast<size_t>(next_)];
        if (t.gave) carried_.legendWidth = t.left.legendWidth;
        if (t.left.weekDays) carried_.weekDays = t.left.weekDays;
        ++next_;
    }
}
