// The worker threads that keep the process alive, and the stop asked from outside.

#include "app/ProcessLifetime.h"

#include "support/Mutex.h"

#include <condition_variable>
#include <cstdlib>

namespace {

struct Liveness {
    Mutex mutex;
    std::condition_variable changed;
    int count ZK_GUARDED_BY(mutex) = 0;  // KeepAlive objects held
    bool stopRequested ZK_GUARDED_BY(mutex) = false;
};

Liveness& liveness() {
    static Liveness* state = new Liveness;
    return *state;
}

}  // namespace

ProcessLifetime::KeepAlive::KeepAlive() {
    Liveness& l = liveness();
    MutexLock lock(l.mutex);
    ++l.count;
}

ProcessLifetime::KeepAlive::KeepAlive(KeepAlive&& other) noexcept : active_(other.active_) { other.active_ = false; }

ProcessLifetime::KeepAlive::~KeepAlive() {
    if (!active_) return;
    Liveness& l = liveness();
    MutexLock lock(l.mutex);
    if (--l.count == 0) l.changed.notify_all();
}

bool ProcessLifetime::awaitEndOrStop() {
    Liveness& l = liveness();
    MutexLock lock(l.mutex);
    while (l.count != 0 && !l.stopRequested) lock.wait(l.changed);
    if (l.count == 0) return false;
    l.stopRequested = false;
    return true;
}

void ProcessLifetime::awaitEnd() {
    Liveness& l = liveness();
    MutexLock lock(l.mutex);
    while (l.count != 0) lock.wait(l.changed);
}

void ProcessLifetime::awaitExit() {
    Liveness& l = liveness();
    MutexLock lock(l.mutex);
    for (;;) lock.wait(l.changed);
}

void ProcessLifetime::requestStop() {
    Liveness& l = liveness();
    MutexLock lock(l.mutex);
    l.stopRequested = true;
    l.changed.notify_all();
}
