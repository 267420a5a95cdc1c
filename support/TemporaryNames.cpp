#include "support/TemporaryNames.h"

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>

namespace TemporaryNames {

namespace {

constexpr std::size_t kSuffixLength = 6;
constexpr std::string_view kTag = ".tmp";

}  // namespace

std::string prefix(const std::string& name) { return "." + name + std::string(kTag); }

std::string randomSuffix() {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                          static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
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
