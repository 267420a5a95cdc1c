// Logging and console messages.

#include "support/Indication_Tools.h"
#include "support/MessageBuffer.h"
#include "support/Mutex.h"
#include "support/Platform.h"
#include "support/SysProperties.h"
#include "support/Utf8.h"

#include <algorithm>
#include <optional>

std::atomic<bool> Indication_Tools::debugMode{false};
std::atomic<bool> Indication_Tools::svcMemMonitor{false};
char Indication_Tools::fileSeparator = '\\';
std::string Indication_Tools::szSystemOS;

namespace {

constexpr int64_t kMaxLogMB = int64_t{1} << 20;
constexpr int kDefaultLogsKept = 5;
constexpr int kMaxLogsKept = 100;

// Control characters and bytes that are not UTF-8 written as \xNN: a
// message stays on its line, and the log stays text (grep reads a NUL byte
// or a stray byte as a sign of a binary file). Tabs are text.
std::string escapedForLog(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const auto c = static_cast<unsigned char>(text[pos]);
        const size_t n = utf8::charLength(text, pos);
        if ((c >= 0x20 && c != 0x7F && (c < 0x80 || n > 1)) || c == '\t') {
            out.append(text, pos, n);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
        pos += n;
    }
    return out;
}

// The log's size limit and the files kept, as the configuration says now.
LogRotation configuredRotation() {
    LogRotation rotation;
    const SharedProperties::Ptr config = SysProperties.load();
    if (!config) return rotation;
    auto number = [&config](const char* key, int64_t cap) -> std::optional<int64_t> {
        auto it = config->find(key);
        if (it == config->end()) return std::nullopt;
        return Indication_Tools::parseWholeNumberUpTo(it->second, cap);
    };
    rotation.maxBytes = number("INDICEGIF_LOG_MAX_MB", kMaxLogMB).value_or(0) << 20;
    // Keeping none would be throwing the log away at each rotation.
    rotation.keep = static_cast<int>(
        std::max<int64_t>(number("INDICEGIF_LOG_KEEP", kMaxLogsKept).value_or(kDefaultLogsKept), 1));
    return rotation;
}

// The rotation failure last told; told again only once a line was written
// with no failure in between.
Mutex rotationMutex;
std::string rotationFailure ZK_GUARDED_BY(rotationMutex);

}  // namespace

bool Indication_Tools::writeLogLine(const std::string& path, const std::string& line) {
    std::string error, rotationError;
    const bool written = Platform::current().appendLogLine(path, line, configuredRotation(), error, rotationError);
    bool tell = false;
    {
        MutexLock lock(rotationMutex);
        tell = !rotationError.empty() && rotationError != rotationFailure;
        rotationFailure = rotationError;
    }
    if (tell)
        Outils_AfficheMsg_System("System", "log not rotated : " + rotationError + "; it grows until it can be", true);
    if (!written) {
        Outils_AfficheMsg_System("System", "write log error: " + error, false);
        return false;
    }
    return true;
}

bool Indication_Tools::AddLog(const std::string& path, const std::string& message) {
    Platform& platform = Platform::current();
    int64_t now = platform.nowMillis();
    std::string line;
    line.reserve(message.size() + 25);
    line += '[';
    line += getDate(now, true);
    line += ' ';
    line += getTime(now);
    line += "] ";
    line += escapedForLog(message);
    line += EOL;
    if (MessageBuffer* held = MessageBuffer::current()) {
        held->log(path, std::move(line));
        return true;
    }
    return writeLogLine(path, line);
}

bool Indication_Tools::addLogIndice(const std::string& message) {
    std::optional<std::string> configured = SysProperties.get("INDICEGIF_LOG");
    const std::string path = configured && !configured->empty() ? *configured : std::string(DEFAULT_LOG_FILE);
    return AddLog(path, message);
}

void Indication_Tools::Outils_AfficheMsg_System(const std::string& category, const std::string& message, bool log) {
    if (message.empty()) return;
    std::string text = "[" + category + "] : " + message;
    if (MessageBuffer* held = MessageBuffer::current()) {
        held->console(text + "\n");
    } else {
        Platform::current().writeStdout(text + "\n");
    }
    if (log) addLogIndice("  |_ " + text);
}

void Indication_Tools::Outils_AfficheMsg(const std::string& category, const std::string& message, bool log) {
    if (!debugMode.load(std::memory_order_relaxed)) return;
    Outils_AfficheMsg_System(category, message, log);
}
