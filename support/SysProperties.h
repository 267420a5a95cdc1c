#pragma once
// The application configuration shared by every thread. It is replaced whole;
// a reader takes a snapshot and sees either the old or the new table.

#include "support/Mutex.h"
#include "support/ValueTypes.h"

#include <memory>
#include <optional>
#include <set>
#include <string>

class SharedProperties {
public:
    using Ptr = std::shared_ptr<const Properties>;

    // The current table, or null while the configuration is not loaded.
    Ptr load() const {
        MutexLock lock(mutex_);
        return table_;
    }
    // latin1Keys: the keys whose line was read as ISO 8859-1 and converted
    // (credentials are sent as the bytes the file holds).
    void store(Ptr table, std::set<std::string> latin1Keys = {}) {
        MutexLock lock(mutex_);
        table_ = std::move(table);
        latin1Keys_ = std::move(latin1Keys);
    }
    struct Snapshot {
        Ptr table;
        std::set<std::string> latin1Keys;
    };
    Snapshot snapshot() const {
        MutexLock lock(mutex_);
        return {table_, latin1Keys_};
    }
    // The value under key, absent when the key or the table is missing.
    std::optional<std::string> get(const std::string& key) const {
        Ptr t = load();
        if (!t) return std::nullopt;
        auto it = t->find(key);
        if (it == t->end()) return std::nullopt;
        return it->second;
    }

private:
    mutable Mutex mutex_;
    Ptr table_ ZK_GUARDED_BY(mutex_);
    std::set<std::string> latin1Keys_ ZK_GUARDED_BY(mutex_);
};

// The one application configuration ("zkQuoteForge.ini").
inline SharedProperties SysProperties;
