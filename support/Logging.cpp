// Logging and console messages.

#include "support/Indication_Tools.h"
#include "support/MessageBuffer.h"
#include "support/Platform.h"
#include "support/SysProperties.h"

std::atomic<bool> Indication_Tools::debugMode{false};
std::atomic<bool> Indication_Tools::svcMemMonitor{false};
char Indication_Tools::fileSeparator = '\\';
std::string Indication_Tools::szSystemOS;

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
    line += message;
    line += EOL;
    if (MessageBuffer* held = MessageBuffer::current()) {
        held->log(path, std::move(line));
        return true;
    }
    std::string error;
    if (!platform.appendFile(path, line, error)) {
        Outils_AfficheMsg_System("System", "write log error: " + error, false);
        return false;
    }
    return true;
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
