// Turn-taking of the reload and generation threads.

#include "app/ServiceScheduler.h"

#include "support/Platform.h"

std::optional<ServiceScheduler::Side> ServiceScheduler::sideOf(std::thread::id id) {
    if (state_.reload.thread.joinable() && state_.reload.thread.get_id() == id) return Side::reload;
    if (state_.generation.thread.joinable() && state_.generation.thread.get_id() == id) return Side::generation;
    return std::nullopt;
}

bool ServiceScheduler::mayGo(Side side) {
    const Party& them = other(side);
    if (them.phase == Phase::running || them.phase == Phase::ending) return false;
    // Both waiting: the side that had the last turn lets the other go first.
    return them.phase != Phase::waiting || state_.lastTurn != side;
}

bool ServiceScheduler::start(Side side, const std::function<std::thread()>& launch) {
    MutexLock lock(mutex_);
    // A stop in progress has taken the thread out and not yet ended it.
    while (party(side).stopAsked && !party(side).thread.joinable()) lock.wait(changed_);
    Party& p = party(side);
    if (p.thread.joinable() || (side == Side::generation && state_.closed)) return false;
    // The process is ending after a turn: no reload starts any more.
    if (side == Side::reload && state_.generation.phase == Phase::ending) return false;
    p.thread = launch();
    p.phase = Phase::idle;
    p.stopAsked = false;
    return true;
}

bool ServiceScheduler::stop(Side side, const std::function<void()>& announce, const std::function<void()>& ended) {
    std::thread worker;
    {
        MutexLock lock(mutex_);
        const std::thread::id me = std::this_thread::get_id();
        if (!party(side).thread.joinable()) {
            // Another stop is ending it: this one returns once it has.
            while (party(side).stopAsked && !party(side).thread.joinable()) lock.wait(changed_);
            return false;
        }
        Party& p = party(side);
        // A thread cannot end itself; and one that ends the process waits
        // for the caller's turn to end, so the caller must not wait for it.
        if (p.thread.get_id() == me) return false;
        if (p.phase == Phase::ending && sideOf(me) == (side == Side::reload ? Side::generation : Side::reload))
            return false;
        if (announce) announce();
        p.stopAsked = true;
        worker = std::move(p.thread);
    }
    changed_.notify_all();
    worker.join();
    {
        MutexLock lock(mutex_);
        if (ended) ended();
        Party& p = party(side);
        p.phase = Phase::idle;
        p.stopAsked = false;
    }
    changed_.notify_all();
    return true;
}

void ServiceScheduler::close() {
    MutexLock lock(mutex_);
    state_.closed = true;
}

std::optional<ServiceScheduler::Side> ServiceScheduler::sideOfThisThread() {
    MutexLock lock(mutex_);
    return sideOf(std::this_thread::get_id());
}

bool ServiceScheduler::exists(Side side) {
    MutexLock lock(mutex_);
    return party(side).thread.joinable();
}

bool ServiceScheduler::running(Side side) {
    MutexLock lock(mutex_);
    return party(side).phase == Phase::running;
}

bool ServiceScheduler::waiting(Side side) {
    MutexLock lock(mutex_);
    return party(side).phase == Phase::waiting;
}

bool ServiceScheduler::stopping(Side side) {
    MutexLock lock(mutex_);
    return party(side).stopAsked && !party(side).thread.joinable();
}

bool ServiceScheduler::takeTurn(Side side) {
    {
        MutexLock lock(mutex_);
        Party& p = party(side);
        p.phase = Phase::waiting;
        // The other side may be holding back for this one: let it look again.
        changed_.notify_all();
        while (!p.stopAsked && !mayGo(side)) lock.wait(changed_);
        if (!p.stopAsked) {
            p.phase = Phase::running;
            return true;
        }
        p.phase = Phase::idle;
    }
    changed_.notify_all();  // a turn of the other side held back for this one may go
    return false;
}

void ServiceScheduler::endTurn(Side side) {
    {
        MutexLock lock(mutex_);
        party(side).phase = Phase::idle;
        state_.lastTurn = side;
    }
    changed_.notify_all();
}

bool ServiceScheduler::pause(Side side, int64_t ms) {
    MutexLock lock(mutex_);
    const auto stopped = [this, side]() ZK_REQUIRES(mutex_) { return party(side).stopAsked; };
    return Platform::current().waitFor(changed_, lock.native(), ms, stopped);
}

void ServiceScheduler::endProcessAfterTurn() {
    MutexLock lock(mutex_);
    Party& generation = state_.generation;
    if (generation.stopAsked) return;
    generation.phase = Phase::ending;
    // Only a thread can be asked to stop: a flag without one would read as a
    // stop in progress and hold back every later start.
    if (state_.reload.thread.joinable()) state_.reload.stopAsked = true;
    changed_.notify_all();
    while (!generation.stopAsked && state_.reload.phase == Phase::running) lock.wait(changed_);
}
