#include "chart/ChartCarryOver.h"

#include <utility>

void ChartCarryOver::beginPass(int count) {
    MutexLock lock(mutex_);
    next_ = 0;
    turns_.assign(static_cast<size_t>(count > 0 ? count : 0), Slot{});
}

ChartCarryOver::Turn ChartCarryOver::turn(int index) { return Turn(*this, index); }

ChartCarryOver::Carried ChartCarryOver::take(int turn) {
    MutexLock lock(mutex_);
    while (next_ < turn && static_cast<size_t>(turn) < turns_.size()) lock.wait(changed_);
    return carried_;
}

void ChartCarryOver::end(int turn, bool gave, Carried left) {
    {
        MutexLock lock(mutex_);
        if (turn < 0 || static_cast<size_t>(turn) >= turns_.size()) return;
        Slot& t = turns_[static_cast<size_t>(turn)];
        if (t.over) return;
        t.over = true;
        t.gave = gave;
        t.left = std::move(left);
        advance();
    }
    changed_.notify_all();
}

void ChartCarryOver::advance() {
    // Turns may end in any order; what they leave counts in the list's order.
    while (static_cast<size_t>(next_) < turns_.size() && turns_[static_cast<size_t>(next_)].over) {
        const Slot& t = turns_[static_cast<size_t>(next_)];
        if (t.gave) carried_.legendWidth = t.left.legendWidth;
        if (t.left.weekDays) carried_.weekDays = t.left.weekDays;
        ++next_;
    }
}

ChartCarryOver::Turn::Turn(Turn&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), index_(other.index_), weekDays_(std::move(other.weekDays_)) {}

ChartCarryOver::Turn& ChartCarryOver::Turn::operator=(Turn&& other) noexcept {
    if (this != &other) {
        Turn ended(std::move(*this));
        owner_ = std::exchange(other.owner_, nullptr);
        index_ = other.index_;
        weekDays_ = std::move(other.weekDays_);
    }
    return *this;
}

ChartCarryOver::Turn::~Turn() {
    if (owner_ != nullptr) owner_->end(index_, false, Carried{0, std::move(weekDays_)});
}

ChartCarryOver::Carried ChartCarryOver::Turn::take() { return owner_ ? owner_->take(index_) : Carried{}; }

void ChartCarryOver::Turn::give(const Carried& left) {
    if (owner_ == nullptr) return;
    Carried copy = left;  // may throw: the turn is then still this object's to end
    std::exchange(owner_, nullptr)->end(index_, true, std::move(copy));
}
