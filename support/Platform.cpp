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

bool Platform::readFileFrom(const std::string& path, int64_t offset, std::string& out, FileIdentity& identity,
                            int64_t& size, std::string& error) {
    identity = FileIdentity{};
    if (!readFile(path, out, error)) return false;
    size = static_cast<int64_t>(out.size());
    if (offset <= 0) return true;
    out.erase(0, static_cast<size_t>(std::min<int64_t>(offset, size)));
    return true;
}
