#pragma once
// Scratch objects kept from one use to the next, each lent to one user at a
// time: what a thread_local would keep for its thread, without a destructor
// at thread exit. MinGW's runtime frees a thread's thread_local storage
// before it runs their destructors, so one that frees what it holds (a
// compressor, a buffer) frees a stale pointer: the Windows build crashed at
// the end of every pass with several workers. A user that takes a second
// object while holding one (a pixel source that encodes another image) gets
// a fresh one; the pool never holds more than the most ever lent at once.

#include "support/Mutex.h"

#include <memory>
#include <utility>
#include <vector>

template <class T>
class KeptScratch {
public:
    class Lent {
    public:
        Lent(KeptScratch& pool, std::unique_ptr<T> item) : pool_(pool), item_(std::move(item)) {}
        ~Lent() { pool_.giveBack(std::move(item_)); }
        Lent(const Lent&) = delete;
        Lent& operator=(const Lent&) = delete;
        T& operator*() const { return *item_; }
        T* operator->() const { return item_.get(); }

    private:
        KeptScratch& pool_;
        std::unique_ptr<T> item_;
    };

    Lent take() {
        MutexLock lock(mutex_);
        if (free_.empty()) return Lent(*this, std::make_unique<T>());
        std::unique_ptr<T> item = std::move(free_.back());
        free_.pop_back();
        return Lent(*this, std::move(item));
    }

private:
    void giveBack(std::unique_ptr<T> item) {
        MutexLock lock(mutex_);
        free_.push_back(std::move(item));
    }

    Mutex mutex_;
    std::vector<std::unique_ptr<T>> free_ ZK_GUARDED_BY(mutex_);
};
