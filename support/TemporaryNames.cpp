#include "support/TemporaryNames.h"

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace TemporaryNames {

namespace {

constexpr std::size_t kSuffixLength = 6;
constexpr std::string_view kTag = ".tmp";

}  // namespace

std::string prefix(const std::string& name) { return "." + name + std::string(kTag); }

std::string randomSuffix() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // Names need only differ, not be secret: the file is created exclusively
    // and another name tried on a clash. Seeded from the clocks, the thread
    // and where this variable lies; std::random_device would ask the
    // processor for its features first, which costs tens of microseconds on
    // a virtual machine, a noticeable share of a one-chart run.
    thread_local std::mt19937_64 generator{[] {
        thread_local const char here = 0;
        const uint64_t parts[] = {
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()),
            static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()),
            static_cast<uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id())),
            static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&here))};
        // A seed sequence keeps 32 bits of each value.
        std::vector<uint32_t> halves;
        for (const uint64_t p : parts) {
            halves.push_back(static_cast<uint32_t>(p));
            halves.push_back(static_cast<uint32_t>(p >> 32));
        }
        std::seed_seq seed(halves.begin(), halves.end());
        return std::mt19937_64(seed);
    }()};
    std::string suffix(kSuffixLength, 'X');
    for (char& c : suffix) c = kChars[generator() % (sizeof kChars - 1)];
    return suffix;
}

bool isTemporary(std::string_view name) {
    if (name.size() < 1 + 1 + kTag.size() + kSuffixLength || name[0] != '.') return false;
    const std::size_t suffix = name.size() - kSuffixLength;
    if (name.substr(suffix - kTag.size(), kTag.size()) != kTag) return false;
    for (char c : name.substr(suffix)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

}  // namespace TemporaryNames
