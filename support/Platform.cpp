// What the platform interface gives without an operating system of its own.

#include "support/Platform.h"

#include <atomic>

namespace {

std::atomic<Platform*> installed{nullptr};

}  // namespace

Platform& Platform::current() {
    Platform* p = installed.load(std::memory_order_acquire);
    return p ? *p : systemPlatform();
}

Platform* Platform::install(Platform* p) { return installed.exchange(p, std::memory_order_acq_rel); }

bool Platform::readFileParts(const std::string& path, int64_t offset, const ReadPart& take, FileIdentity& identity,
                             int64_t& size, std::string& error) {
    identity = FileIdentity{};
    std::string whole;
    if (!readFile(path, whole, error)) return false;
    size = static_cast<int64_t>(whole.size());
    const std::string_view bytes(whole);
    for (size_t at = static_cast<size_t>(std::clamp<int64_t>(offset, 0, size)); at < bytes.size();
         at += kReadPartBytes) {
        if (!take(bytes.substr(at, kReadPartBytes))) break;
    }
    return true;
}

bool Platform::readFileFrom(const std::string& path, int64_t offset, std::string& out, FileIdentity& identity,
                            int64_t& size, std::string& error) {
    out.clear();
    std::string gathered;
    const bool ok = readFileParts(
        path, offset,
        [&](std::string_view part) {
            if (gathered.empty()) gathered.reserve(static_cast<size_t>(std::max<int64_t>(size - offset, 0)));
            gathered.append(part);
            return true;
        },
        identity, size, error);
    if (ok) out = std::move(gathered);
    return ok;
}
