#pragma once
// Who runs in the service: the reload thread and the generation thread take
// turns, never both at once, and whoever waits for a turn gets the next one.
//
// All of it is one state value under one lock with one condition variable:
// for each side its thread, its phase and whether it was asked to stop, and
// which side had the last turn. Every wait of a side (its pause, its wait for
// the turn, the generation side's wait before ending the process) ends as
// soon as that side is asked to stop.
//
// Any thread may start, stop and look at a side; takeTurn, endTurn, pause and
// endProcessAfterTurn are called by the side's own thread.

#include "support/Compiler.h"
#include "support/Mutex.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

class ServiceScheduler {
public:
    enum class Side { reload, generation };

    ServiceScheduler() = default;
    ServiceScheduler(const ServiceScheduler&) = delete;
    ServiceScheduler& operator=(const ServiceScheduler&) = delete;

    // Stores the thread launch() makes as side's thread; launch runs with the
    // lock held, so the new thread finds itself in the state as soon as it
    // looks. Waits for a stop of side in progress to end first. False (launch
    // not called) when side's thread exists, or for the generation side once
    // the scheduler is closed.
    bool start(Side side, const std::function<std::thread()>& launch);
    // Asks side's thread to stop and waits for it to end; a turn in progress
    // runs to its end. announce() runs first and ended() after the thread has
    // ended, both with the lock held (no new start comes between). False when
    // there is nothing this caller may stop: no thread, the caller is that
    // thread, or that thread is ending the process and waits for the caller's
    // own turn to end. A second stop meanwhile waits for the first one.
    bool stop(Side side, const std::function<void()>& announce = {}, const std::function<void()>& ended = {});
    // The process is shutting down: the generation side is not started again.
    void close();

    // The side whose thread is calling, if any.
    std::optional<Side> sideOfThisThread();
    // The side's thread exists and is not being stopped.
    bool exists(Side side);
    // The side has the turn.
    bool running(Side side);
    // The side's thread waits for its turn.
    bool waiting(Side side);
    // A stop of the side is under way: asked, its thread not yet ended.
    bool stopping(Side side);

    // Waits for side's turn; false, without a turn, once side is asked to stop.
    bool takeTurn(Side side);
    void endTurn(Side side);
    // Pauses ms milliseconds on the platform's clock; true when side was asked
    // to stop (the pause then ends at once).
    bool pause(Side side, int64_t ms);
    // The generation side, after its turn, about to end the process: no reload
    // starts any more and the one in progress ends first. Returns at once when
    // the generation side was asked to stop, since its stopper waits for it.
    void endProcessAfterTurn();

    // What the service keeps beside its threads is guarded by this lock too.
    Mutex& mutex() ZK_RETURN_CAPABILITY(mutex_) { return mutex_; }

private:
    enum class Phase {
        idle,     // no thread, or a thread outside its turn and not waiting for one
        waiting,  // waiting for its turn
        running,  // has the turn
        ending,   // the generation side ending the process
    };
    struct Party {
        std::thread thread;
        Phase phase = Phase::idle;
        bool stopAsked = false;
    };
    struct State {
        Party reload;
        Party generation;
        // The constructor of the application has just loaded the configuration.
        Side lastTurn = Side::reload;
        bool closed = false;
    };

    Party& party(Side side) ZK_REQUIRES(mutex_) {
        return side == Side::reload ? state_.reload : state_.generation;
    }
    Party& other(Side side) ZK_REQUIRES(mutex_) {
        return side == Side::reload ? state_.generation : state_.reload;
    }
    std::optional<Side> sideOf(std::thread::id id) ZK_REQUIRES(mutex_);
    // Side may take the turn now.
    bool mayGo(Side side) ZK_REQUIRES(mutex_);

    Mutex mutex_;
    std::condition_variable changed_;
    State state_ ZK_GUARDED_BY(mutex_);
};
