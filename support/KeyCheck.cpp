#include "support/KeyCheck.h"

#include "support/Mutex.h"
#include "support/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>

namespace {

// Edits (insertion, deletion, substitution) from a to b, letter case aside.
size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const size_t substitution = diagonal + (utf8::asciiLower(a[i - 1]) == utf8::asciiLower(b[j - 1]) ? 0 : 1);
            row[j] = std::min({above + 1, row[j - 1] + 1, substitution});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string KeyCheck::unknownKeyLine(std::string_view key, std::string_view file,
                                     const std::vector<std::string_view>& known) {
    std::string line = "Unknown key " + std::string(key) + " in " + std::string(file);
    std::string_view best;
    size_t bestDistance = 3;
    for (std::string_view candidate : known) {
        // Lengths further apart than two cannot be within two edits.
        const size_t gap = candidate.size() > key.size() ? candidate.size() - key.size() : key.size() - candidate.size();
        if (gap >= bestDistance) continue;
        const size_t d = editDistance(key, candidate);
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    }
    if (!best.empty()) line += " (did you mean " + std::string(best) + "?)";
    return line;
}

bool KeyCheck::firstReading(const std::string& file, const Properties& content, bool findings) {
    // The same whatever the order the table lists its entries in.
    uint64_t signature = content.size();
    for (const auto& [key, value] : content)
        signature += std::hash<std::string>{}(key) * 31 + std::hash<std::string>{}(value);
    // Never destroyed: a worker may still read a file while the process exits.
    struct Memory {
        Mutex mutex;
        std::map<std::string, uint64_t> signatures ZK_GUARDED_BY(mutex);
    };
    static Memory* memory = new Memory;
    MutexLock lock(memory->mutex);
    auto [it, inserted] = memory->signatures.try_emplace(file, signature);
    if (!inserted) {
        if (it->second == signature) return false;
        it->second = signature;
    }
    return findings;
}
