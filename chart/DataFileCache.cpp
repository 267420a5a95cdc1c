#include "chart/DataFileCache.h"

#include "support/Platform.h"

#include <algorithm>
#include <utility>

#define XXH_INLINE_ALL
#include <xxhash.h>

// A file's bytes, as they stream in, fed to a parser a whole line at a time,
// hashing the bytes of the lines parsed.
struct DataFileCache::Reading {
    explicit Reading(DataFileParser& p, int64_t from) : parser(p), consumed(from) {
        XXH3_INITSTATE(&state);
        XXH3_64bits_reset(&state);
    }

    void add(std::string_view part) {
        if (!carry.empty()) {
            // Finish the line a part boundary cut first, then parse the rest in place.
            const size_t end = part.find_first_of("\r\n");
            if (end == std::string_view::npos) {
                carry.append(part);
                return;
            }
            carry.append(part.substr(0, end + 1));
            const std::string line = std::move(carry);
            carry.clear();
            parse(line);
            part.remove_prefix(end + 1);
        }
        parse(part);
    }

    void parse(std::string_view text) {
        const size_t used = parser.addCompleteLines(text);
        XXH3_64bits_update(&state, text.data(), used);
        consumed += static_cast<int64_t>(used);
        carry.assign(text.substr(used));
    }

    uint64_t digest() const { return XXH3_64bits_digest(&state); }
    // The whole file as read: the lines parsed and the unfinished one.
    uint64_t contentKey() const { return XXH3_64bits_withSeed(carry.data(), carry.size(), digest()); }

    DataFileParser& parser;
    XXH3_state_t state;
    int64_t consumed;   // bytes of the complete lines parsed, from the file's start
    std::string carry;  // the unfinished line so far
};

bool DataFileCache::read(const std::string& path, DataChunkSink& sink, std::shared_ptr<const DataFileRecords>& bad,
                         std::string& error) {
    std::shared_ptr<Entry> entry;
    uint64_t pass = 0;
    {
        MutexLock lock(mutex_);
        Slot& slot = entries_[path];
        if (!slot.entry) slot.entry = std::make_shared<Entry>();
        slot.used = true;
        ++slot.readers;
        entry = slot.entry;
        pass = pass_;
    }
    // While it is read, the entry stays the file's: two entries of one file
    // could each hand out a read the other has moved past.
    struct Done {
        DataFileCache& cache;
        const std::shared_ptr<Entry>& entry;
        const std::string& path;
        ~Done() {
            MutexLock lock(cache.mutex_);
            Slot* slot = cache.slotOf(entry, path);
            if (slot != nullptr && --slot->readers == 0 && slot->evict) cache.entries_.erase(path);
        }
    } done{*this, entry, path};
    MutexLock reading(entry->mutex);
    if (entry->snapshot && entry->checkedPass >= pass) {
        // Checked already in this pass (or, for a chart that waited, a later
        // one): every chart of the pass sees that one read.
        entry->snapshot->handTo(sink);
        bad = entry->snapshot;
        return true;
    }
    entry->snapshot.reset();
    bool ok = false;
    try {
        ok = refresh(*entry, entry, path, sink, bad, error);
    } catch (...) {
        // Half-parsed records must not be taken for the file's next time.
        entry->parser.reset();
        forget(entry, path);
        throw;
    }
    if (!ok) {
        entry->parser.reset();
        forget(entry, path);
        return false;
    }
    if (entry->parser) {
        entry->snapshot = bad;
        entry->checkedPass = pass;
    }
    return true;
}

bool DataFileCache::refresh(Entry& entry, const std::shared_ptr<Entry>& self, const std::string& path,
                            DataChunkSink& sink, std::shared_ptr<const DataFileRecords>& out, std::string& error) {
    Platform& platform = Platform::current();
    int64_t size = 0;
    // Keeps the parser's records while they fit, else streams them to sink.
    auto keepOrStream = [&](DataFileParser& parser) {
        if (!parser.streaming() && !charge(self, path, parser.bytes())) parser.stream(sink);
    };

    if (entry.parser) {
        // Kept: prove the bytes parsed before are unchanged, then parse only what follows.
        DataFileParser& parser = *entry.parser;
        const int64_t known = entry.consumed;
        const uint64_t digest = entry.digest;
        Reading reading(parser, known);
        XXH3_state_t prefix;
        XXH3_INITSTATE(&prefix);
        XXH3_64bits_reset(&prefix);
        int64_t hashed = 0;
        bool proven = known == 0;
        bool first = true;
        auto take = [&](std::string_view part) {
            bytesRead_ += static_cast<int64_t>(part.size());
            if (first) {
                first = false;
                if (size < known) return false;  // shrunk: changed
            }
            if (!proven) {
                const size_t n = static_cast<size_t>(std::min<int64_t>(known - hashed, static_cast<int64_t>(part.size())));
                XXH3_64bits_update(&prefix, part.data(), n);
                hashed += static_cast<int64_t>(n);
                if (hashed < known) return true;
                if (XXH3_64bits_digest(&prefix) != digest) return false;  // changed
                proven = true;
                // Carry the hash of the proven bytes on over the new lines.
                reading.state = prefix;
                part.remove_prefix(n);
            }
            reading.add(part);
            keepOrStream(parser);
            return true;
        };
        if (!platform.readFileParts(path, take, size, error)) return false;
        if (proven) {
            const std::shared_ptr<DataFileRecords> records = parser.records(reading.carry);
            records->contentKey = reading.contentKey();
            out = records;
            if (parser.streaming()) {
                entry.parser.reset();
            } else {
                entry.consumed = reading.consumed;
                entry.digest = reading.digest();
                out->handTo(sink);
            }
            return true;
        }
        // Rewritten, shrunk or changed before its end: parse it again whole.
        entry.parser.reset();
        charge(self, path, 0);
    }

    auto parser = std::make_unique<DataFileParser>();
    Reading reading(*parser, 0);
    auto take = [&](std::string_view part) {
        bytesRead_ += static_cast<int64_t>(part.size());
        reading.add(part);
        keepOrStream(*parser);
        return true;
    };
    ++wholeReads_;
    if (!platform.readFileParts(path, take, size, error)) return false;
    const std::shared_ptr<DataFileRecords> records = parser->records(reading.carry);
    records->contentKey = reading.contentKey();
    out = records;
    if (!parser->streaming() && charge(self, path, parser->bytes())) {
        entry.parser = std::move(parser);
        entry.consumed = reading.consumed;
        entry.digest = reading.digest();
        out->handTo(sink);
    } else if (!parser->streaming()) {
        // The unfinished last line tipped it over: hand out what was parsed.
        out->handTo(sink);
    }
    return true;
}

bool DataFileCache::charge(const std::shared_ptr<Entry>& entry, const std::string& path, size_t bytes) {
    MutexLock lock(mutex_);
    Slot* slot = slotOf(entry, path);
    if (slot == nullptr || slot->evict) return false;
    if (held_ - slot->charged + bytes <= budget_) {
        held_ = held_ - slot->charged + bytes;
        slot->charged = bytes;
        return true;
    }
    // Does not fit in what is left: what is kept stays, this file is not kept.
    drop(*slot, path);
    return false;
}

void DataFileCache::forget(const std::shared_ptr<Entry>& entry, const std::string& path) {
    MutexLock lock(mutex_);
    if (Slot* slot = slotOf(entry, path)) drop(*slot, path);
}

void DataFileCache::drop(Slot& slot, const std::string& path) {
    unlist(slot);
    if (slot.readers > 0) {
        slot.evict = true;
    } else {
        entries_.erase(path);
    }
}

DataFileCache::Slot* DataFileCache::slotOf(const std::shared_ptr<Entry>& entry, const std::string& path) {
    auto it = entries_.find(path);
    return it != entries_.end() && it->second.entry == entry ? &it->second : nullptr;
}

void DataFileCache::unlist(Slot& slot) {
    held_ -= slot.charged;
    slot.charged = 0;
}

void DataFileCache::setBudget(size_t budget) {
    MutexLock lock(mutex_);
    budget_ = budget;
    if (held_ <= budget_) return;
    for (auto it = entries_.begin(); it != entries_.end();) {
        Slot& slot = it->second;
        unlist(slot);
        if (slot.readers > 0) {
            slot.evict = true;
            ++it;
        } else {
            it = entries_.erase(it);
        }
    }
}

bool DataFileCache::firstTelling(const std::string& path, uint64_t contentKey) {
    MutexLock lock(mutex_);
    auto [it, added] = told_.try_emplace(path, Told{contentKey, true});
    it->second.used = true;
    if (!added && it->second.contentKey == contentKey) return false;
    it->second.contentKey = contentKey;
    return true;
}

void DataFileCache::endPass() {
    MutexLock lock(mutex_);
    ++pass_;
    // A file whose findings nobody told in this pass is told again at its next.
    for (auto it = told_.begin(); it != told_.end();) {
        if (std::exchange(it->second.used, false))
            ++it;
        else
            it = told_.erase(it);
    }
    for (auto it = entries_.begin(); it != entries_.end();) {
        Slot& slot = it->second;
        if (slot.used || slot.readers > 0) {
            slot.used = false;
            ++it;
            continue;
        }
        unlist(slot);
        it = entries_.erase(it);
    }
}

size_t DataFileCache::bytesHeld() const {
    MutexLock lock(mutex_);
    return held_;
}

int64_t DataFileCache::bytesRead() const { return bytesRead_.load(); }
int64_t DataFileCache::wholeReads() const { return wholeReads_.load(); }
