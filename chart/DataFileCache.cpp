#include "chart/DataFileCache.h"

#include <algorithm>

bool DataFileCache::records(const std::string& path, std::shared_ptr<const DataFileRecords>& out,
                            std::string& error) {
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<Entry>& slot = entries_[path];
        if (!slot) {
            slot = std::make_shared<Entry>();
            lru_.push_front(path);
            slot->lru = lru_.begin();
            slot->listed = true;
        } else {
            lru_.splice(lru_.begin(), lru_, slot->lru);
        }
        slot->used = true;
        entry = slot;
    }
    std::lock_guard<std::mutex> reading(entry->mutex);
    bool ok = false;
    try {
        ok = refresh(*entry, path, out, error);
    } catch (...) {
        // Half-parsed records must not be taken for the file's next time.
        entry->parser.reset();
        forget(path, entry);
        throw;
    }
    if (!ok) {
        entry->parser.reset();
        forget(path, entry);
        return false;
    }
    charge(path, entry, entry->parser->bytes());
    return true;
}

bool DataFileCache::refresh(Entry& entry, const std::string& path, std::shared_ptr<const DataFileRecords>& out,
                            std::string& error) {
    Platform& platform = Platform::current();
    std::string bytes;
    FileIdentity identity;
    int64_t size = 0;
    if (entry.parser) {
        const std::string& known = entry.fingerprint;
        const int64_t from = entry.consumed - static_cast<int64_t>(known.size());
        if (!platform.readFileFrom(path, from, bytes, identity, size, error)) return false;
        bytesRead_ += static_cast<int64_t>(bytes.size());
        const bool grown = identity.known() && identity == entry.identity && size >= entry.consumed &&
                           bytes.size() >= known.size() && bytes.compare(0, known.size(), known) == 0;
        if (grown) {
            const std::string_view added = std::string_view(bytes).substr(known.size());
            const size_t used = entry.parser->addCompleteLines(added);
            std::string tail = known;
            tail.append(added.substr(0, used));
            if (tail.size() > kFingerprintBytes) tail.erase(0, tail.size() - kFingerprintBytes);
            entry.fingerprint = std::move(tail);
            entry.consumed += static_cast<int64_t>(used);
            out = entry.parser->records(added.substr(used));
            return true;
        }
        // Replaced, shrunk or changed: start again from the first byte.
        entry.parser.reset();
        bytes.clear();
    }
    if (!platform.readFileFrom(path, 0, bytes, identity, size, error)) return false;
    bytesRead_ += static_cast<int64_t>(bytes.size());
    ++wholeReads_;
    entry.parser = std::make_unique<DataFileParser>();
    const size_t used = entry.parser->addCompleteLines(bytes);
    const size_t kept = std::min(used, kFingerprintBytes);
    entry.identity = identity;
    entry.consumed = static_cast<int64_t>(used);
    entry.fingerprint.assign(bytes, used - kept, kept);
    out = entry.parser->records(std::string_view(bytes).substr(used));
    return true;
}

void DataFileCache::forget(const std::string& path, const std::shared_ptr<Entry>& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!entry->listed) return;
    entry->listed = false;
    held_ -= entry->charged;
    entry->charged = 0;
    lru_.erase(entry->lru);
    entries_.erase(path);
}

void DataFileCache::charge(const std::string& path, const std::shared_ptr<Entry>& entry, size_t bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Dropped meanwhile to make room: the records handed out stay valid,
        // nothing is kept.
        if (!entry->listed) return;
        held_ = held_ - entry->charged + bytes;
        entry->charged = bytes;
        if (bytes <= budget_) {
            // Least recently used first; the entry just used is at the front.
            while (held_ > budget_ && lru_.back() != path) {
                auto it = entries_.find(lru_.back());
                Entry& dropped = *it->second;
                dropped.listed = false;
                held_ -= dropped.charged;
                dropped.charged = 0;
                lru_.pop_back();
                // A reader of the dropped file may still be at work; its
                // records go when the last user lets go of them.
                entries_.erase(it);
            }
            return;
        }
    }
    // Larger than everything that may be kept: parsed again at each use.
    entry->parser.reset();
    forget(path, entry);
}

void DataFileCache::dropUnused() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        Entry& entry = *it->second;
        if (entry.used) {
            entry.used = false;
            ++it;
            continue;
        }
        entry.listed = false;
        held_ -= entry.charged;
        entry.charged = 0;
        lru_.erase(entry.lru);
        it = entries_.erase(it);
    }
}

size_t DataFileCache::bytesHeld() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

int64_t DataFileCache::bytesRead() const { return bytesRead_.load(); }
int64_t DataFileCache::wholeReads() const { return wholeReads_.load(); }
