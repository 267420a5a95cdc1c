#include "chart/SharedLegendWidth.h"

void SharedLegendWidth::beginPass(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = 0;
    done_.assign(static_cast<size_t>(count > 0 ? count : 0), 0);
}

int SharedLegendWidth::take(int turn) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return next_ >= turn || static_cast<size_t>(turn) >= done_.size(); });
    return width_;
}

void SharedLegendWidth::give(int turn, int width) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (turn < 0 || static_cast<size_t>(turn) >= done_.size() || done_[static_cast<size_t>(turn)]) return;
        width_ = width;
        markDone(turn);
    }
    changed_.notify_all();
}

void SharedLegendWidth::pass(int turn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (turn < 0 || static_cast<size_t>(turn) >= done_.size() || done_[static_cast<size_t>(turn)]) return;
        markDone(turn);
    }
    changed_.notify_all();
}

void SharedLegendWidth::markDone(int turn) {
    done_[static_cast<size_t>(turn)] = 1;
    while (static_cast<size_t>(next_) < done_.size() && done_[static_cast<size_t>(next_)]) ++next_;
}
