#include "support/TemporaryNames.h"

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

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
    // and where this variable lies, and stepped by splitmix64; a seeded
    // std::mt19937_64 costs microseconds to set up, std::random_device asks
    // the processor for its features first (tens of microseconds on a
    // virtual machine), both a share of a one-chart run.
    thread_local uint64_t state = [] {
        thread_local const char here = 0;
        uint64_t s = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        s = s * 0x9E3779B97F4A7C15u ^ static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
        s = s * 0x9E3779B97F4A7C15u ^ static_cast<uint64_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
        return s * 0x9E3779B97F4A7C15u ^ static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&here));
    }();
    auto next = [] {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    };
    std::string suffix(kSuffixLength, 'X');
    for (char& c : suffix) c = kChars[next() % (sizeof kChars - 1)];
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
