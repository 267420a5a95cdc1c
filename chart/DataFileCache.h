#pragma once
// Parsed data files kept between charts and between passes, so that a pass
// costs what was added to its data files rather than what they hold.
//
// What a chart gets is always what a read of the whole file gives, however
// the file was changed (appended to, rewritten in place, replaced, a value
// corrected in the middle). A kept file is proven to have only grown before
// its new lines alone are parsed: the bytes parsed before are read again and
// must hash (XXH3, 64 bits) to what they hashed to then; otherwise the file
// is parsed again whole. Reading and hashing cost a small part of parsing.
//
// A file is checked once a pass, at its first use: every chart of the pass
// that names a kept file gets that one read (a file not kept is read for
// each chart).
//
// At most budget bytes of parsed records are kept. A file is kept when it
// fits in what is left; a file that does not is parsed as it streams in and
// handed straight to the chart, holding one read part and one chunk of
// records, and is not kept. What is kept stays while every pass uses it, so
// a pass over more files than fit keeps those that fit and reads only the
// rest (no cycle of evictions); a file not used in a pass is dropped at its
// end. A file that cannot be read is dropped and fails as a plain read does.
//
// The cache also remembers which content of each file had its findings (bad
// lines, records out of order or far ahead) told, so that they are told once
// for each change of the file rather than at every pass.
//
// Thread-safe: charts on several threads may ask for the same or different
// files at once; each file is read by one of them at a time.

#include "chart/DataFileRecords.h"
#include "support/Mutex.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class DataFileCache {
public:
    static constexpr size_t kDefaultBudget = size_t{256} << 20;

    explicit DataFileCache(size_t budget = kDefaultBudget) : budget_(budget) {}
    DataFileCache(const DataFileCache&) = delete;
    DataFileCache& operator=(const DataFileCache&) = delete;

    // Hands the records of the file at path to sink in file order, as a read
    // of the whole file gives them (at this pass's check of it), and returns
    // its bad lines in bad (records without chunks). False with the
    // platform's text in error when it cannot be read; sink may then have
    // been handed part of the records.
    bool read(const std::string& path, DataChunkSink& sink, std::shared_ptr<const DataFileRecords>& bad,
              std::string& error);

    // Whether the findings of the content with contentKey (a read's
    // DataFileRecords::contentKey) of the file at path are to be told: true
    // the first time, false until the file changes. Only for a file told in
    // every pass: one not told in a pass is told again. Whatever the budget.
    bool firstTelling(const std::string& path, uint64_t contentKey) ZK_EXCLUDES(mutex_);

    // Keeps at most budget bytes from now on; when less than is kept now,
    // drops everything (a configuration change, not a pass's event).
    void setBudget(size_t budget);

    // Ends a pass: drops the files nobody asked for in it (a pass keeps what
    // its charts read, not what earlier configurations named) and not being
    // read; the others are checked again at their next use.
    void endPass();

    // Parsed bytes kept now (within the budget).
    size_t bytesHeld() const;
    // Bytes read from files, and reads that parsed a file from its start,
    // since the cache was made.
    int64_t bytesRead() const;
    int64_t wholeReads() const;

private:
    // A file's parsed state, read by one reader at a time.
    struct Entry {
        Mutex mutex;
        std::unique_ptr<DataFileParser> parser ZK_GUARDED_BY(mutex);  // the records kept, null when none
        int64_t consumed ZK_GUARDED_BY(mutex) = 0;                     // bytes of the complete lines parsed
        uint64_t digest ZK_GUARDED_BY(mutex) = 0;                      // XXH3 of those bytes
        std::shared_ptr<const DataFileRecords> snapshot ZK_GUARDED_BY(mutex);  // what this pass's check gave
        uint64_t checkedPass ZK_GUARDED_BY(mutex) = 0;
    };
    // What the cache keeps for a path: the entry and its share of the budget.
    struct Slot {
        std::shared_ptr<Entry> entry;
        size_t charged = 0;  // bytes counted in held_
        bool used = true;    // asked for in this pass
        int readers = 0;     // reads of it under way
        // No longer kept, but read still: it goes with its last reader, so
        // that no second entry of the file is read alongside this one.
        bool evict = false;
    };
    struct Reading;
    struct Told {
        uint64_t contentKey = 0;
        bool used = true;  // told in this pass
    };

    bool refresh(Entry& entry, const std::shared_ptr<Entry>& self, const std::string& path, DataChunkSink& sink,
                 std::shared_ptr<const DataFileRecords>& bad, std::string& error) ZK_REQUIRES(entry.mutex)
        ZK_EXCLUDES(mutex_);
    // Counts the bytes entry's parser keeps now; false (and the entry no
    // longer kept) when they do not fit or it is no longer kept.
    bool charge(const std::shared_ptr<Entry>& entry, const std::string& path, size_t bytes) ZK_EXCLUDES(mutex_);
    void forget(const std::shared_ptr<Entry>& entry, const std::string& path) ZK_EXCLUDES(mutex_);
    // path's slot while it still holds entry; null once entry is no longer kept.
    Slot* slotOf(const std::shared_ptr<Entry>& entry, const std::string& path) ZK_REQUIRES(mutex_);
    // No longer kept: its bytes leave held_ (the caller takes it out of entries_).
    void unlist(Slot& slot) ZK_REQUIRES(mutex_);
    // No longer kept: out of entries_ now, or when its last reader is done.
    void drop(Slot& slot, const std::string& path) ZK_REQUIRES(mutex_);

    mutable Mutex mutex_;
    size_t budget_ ZK_GUARDED_BY(mutex_);
    std::unordered_map<std::string, Slot> entries_ ZK_GUARDED_BY(mutex_);
    std::unordered_map<std::string, Told> told_ ZK_GUARDED_BY(mutex_);
    size_t held_ ZK_GUARDED_BY(mutex_) = 0;
    uint64_t pass_ ZK_GUARDED_BY(mutex_) = 1;
    std::atomic<int64_t> bytesRead_{0};
    std::atomic<int64_t> wholeReads_{0};
};
