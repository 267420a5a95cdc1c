#pragma once
// Parsed data files kept between charts and between passes, so that a pass
// costs what changed in its data files rather than what they hold.
//
// Data files are appended to or replaced whole. A file that only grew (same
// identity, not smaller, and the last bytes already read unchanged) is read
// from where the last read ended; a file replaced (another identity), shrunk
// or changed before its end is read again whole. The records handed out are
// always those a read of the whole file gives at that moment. A file that
// cannot be read is dropped and fails as a plain read does.
//
// At most budget bytes of parsed records are kept, the least recently used
// file dropped first; a file larger than the budget is parsed for each use
// and not kept.
//
// Thread-safe: charts on several threads may ask for the same or different
// files at once; each file is read by one of them at a time.

#include "chart/DataFileRecords.h"
#include "support/Platform.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

class DataFileCache {
public:
    static constexpr size_t kDefaultBudget = size_t{256} << 20;
    // Bytes compared at the end of what was read to tell a grown file from a changed one.
    static constexpr size_t kFingerprintBytes = 64;

    explicit DataFileCache(size_t budget = kDefaultBudget) : budget_(budget) {}
    DataFileCache(const DataFileCache&) = delete;
    DataFileCache& operator=(const DataFileCache&) = delete;

    // The records of the file at path as it is now; false with the platform's
    // text in error when it cannot be read.
    bool records(const std::string& path, std::shared_ptr<const DataFileRecords>& out, std::string& error);

    // Drops the files nobody asked for since the last call: a pass keeps
    // what its charts read, not what earlier configurations named.
    void dropUnused();

    // Parsed bytes kept now (within the budget).
    size_t bytesHeld() const;
    // Bytes read from files and whole reads since the cache was made.
    int64_t bytesRead() const;
    int64_t wholeReads() const;

private:
    struct Entry {
        std::mutex mutex;  // one reader of the file at a time
        std::unique_ptr<DataFileParser> parser;
        FileIdentity identity;
        int64_t consumed = 0;     // bytes of the complete lines parsed
        std::string fingerprint;  // the bytes just before consumed
        size_t charged = 0;       // bytes counted in held_
        std::list<std::string>::iterator lru;
        bool listed = false;  // still in entries_
        bool used = true;     // asked for since the last dropUnused
    };

    // Brings entry up to date with the file and returns its records.
    bool refresh(Entry& entry, const std::string& path, std::shared_ptr<const DataFileRecords>& out,
                 std::string& error);
    void forget(const std::string& path, const std::shared_ptr<Entry>& entry);
    void charge(const std::string& path, const std::shared_ptr<Entry>& entry, size_t bytes);

    const size_t budget_;
    mutable std::mutex mutex_;  // entries_, lru_, held_ and the charged, listed and used fields
    std::unordered_map<std::string, std::shared_ptr<Entry>> entries_;
    std::list<std::string> lru_;  // most recently used first
    size_t held_ = 0;
    std::atomic<int64_t> bytesRead_{0};
    std::atomic<int64_t> wholeReads_{0};
};
