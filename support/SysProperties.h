#pragma once
// The application configuration shared by every thread. It is replaced whole;
// a reader takes a snapshot and sees either the old or the new table.

#include "support/ValueTypes.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

class SharedProperties {
public:
    using Ptr = std::shared_ptr<const Properties>;

    // The current table, or null while the configuration is not loaded.
    Ptr load() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return table_;
    }
    void store(Ptr table) {
        std::lock_guard<std::mutex> lock(mutex_);
        table_ = std::move(table);
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
    mutable std::mutex mutex_;
    Ptr table_;
};

// The one application configuration ("zkQuoteForge.ini").
inline SharedProperties SysProperties;
