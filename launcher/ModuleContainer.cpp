#include "launcher/ModuleContainer.h"

#include "support/Utf8.h"

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kEntrySize = 20;

uint32_t word(std::string_view bytes, size_t at) {
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

}  // namespace

bool isLaterContainerLayout(std::string_view bytes) {
    return bytes.size() >= kHeaderSize && bytes.substr(0, 4) == "DNRC" && (word(bytes, 8) != 2 || word(bytes, 12) != 0);
}

bool readModuleContainer(std::string_view bytes, std::vector<ContainerModule>& modules, std::string& error) {
    modules.clear();
    if (bytes.size() < kHeaderSize || bytes.substr(0, 4) != "DNRC") {
        error = "no container header (DNRC)";
        return false;
    }
    const uint64_t count = word(bytes, 4);
    if (word(bytes, 8) != 2 || word(bytes, 12) != 0) {
        error = "header values are not 2 and 0";
        return false;
    }
    const uint64_t namesStart = kHeaderSize + kEntrySize * count;
    if (count == 0 || namesStart > bytes.size()) {
        error = "entry table of " + std::to_string(count) + " entries does not fit";
        return false;
    }
    // Names follow the table one after the other, payloads follow the names.
    uint64_t nextName = namesStart;
    uint64_t nextPayload = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const size_t at = static_cast<size_t>(kHeaderSize + kEntrySize * i);
        const uint64_t nameOffset = word(bytes, at);
        const uint64_t size = word(bytes, at + 4);
        const uint64_t offset = word(bytes, at + 8);
        const std::string entry = "entry " + std::to_string(i);
        if (word(bytes, at + 12) != 0xFFFFFFFFu || word(bytes, at + 16) != 0xFFFFFFFFu) {
            error = entry + ": its last two words are not -1";
            return false;
        }
        if (nameOffset != nextName) {
            error = entry + ": name not where the previous one ends";
            return false;
        }
        const size_t end = bytes.find('\0', static_cast<size_t>(nameOffset));
        if (end == std::string_view::npos || end + 1 > bytes.size()) {
            error = entry + ": name without its 0 byte";
            return false;
        }
        nextName = end + 1;
        modules.push_back({std::string(bytes.substr(static_cast<size_t>(nameOffset), end - nameOffset)), {}});
        if (i == 0) nextPayload = offset;
        if (offset != nextPayload || offset + size > bytes.size()) {
            error = entry + ": payload not back to back or outside the container";
            return false;
        }
        modules.back().payload = bytes.substr(static_cast<size_t>(offset), static_cast<size_t>(size));
        nextPayload = offset + size;
    }
    if (modules.front().payload.data() != bytes.data() + nextName) {
        error = "the first payload does not start after the last name";
        return false;
    }
    if (nextPayload != bytes.size()) {
        error = "the container does not end with its last payload";
        return false;
    }
    for (const ContainerModule& m : modules) {
        if (m.name.empty()) {
            error = "a module without a name";
            return false;
        }
    }
    return true;
}

std::optional<ContainerModule> findEntryModule(const std::vector<ContainerModule>& modules, std::string_view entry) {
    const std::string wanted = std::string(entry) + ".module";
    for (const ContainerModule& m : modules) {
        if (m.name.size() != wanted.size()) continue;
        bool same = true;
        for (size_t i = 0; i < wanted.size() && same; ++i) same = utf8::asciiLower(m.name[i]) == utf8::asciiLower(wanted[i]);
        if (same) return m;
    }
    return std::nullopt;
}
