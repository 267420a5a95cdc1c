#pragma once
// A mutex and its scoped lock that clang's thread-safety analysis can follow
// (libstdc++'s std::mutex carries no capability attributes): fields marked
// ZK_GUARDED_BY(m) and functions marked ZK_REQUIRES(m) are then checked at
// compile time to be used only with m held.

#include "support/Compiler.h"

#include <condition_variable>
#include <mutex>

class ZK_CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ZK_ACQUIRE() { mutex_.lock(); }
    void unlock() ZK_RELEASE() { mutex_.unlock(); }

private:
    friend class MutexLock;
    std::mutex mutex_;
};

// Holds a Mutex for its lifetime; waits on a condition variable with it.
class ZK_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ZK_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
    ~MutexLock() ZK_RELEASE() {}
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    // Releases the mutex while it waits for a notification (or a spurious
    // wake-up: callers check their condition again) and holds it on return.
    void wait(std::condition_variable& changed) { changed.wait(lock_); }
    // For waits that need the standard lock (Platform::waitFor).
    std::unique_lock<std::mutex>& native() { return lock_; }

private:
    std::unique_lock<std::mutex> lock_;
};
