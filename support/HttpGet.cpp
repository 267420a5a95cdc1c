#include "support/HttpGet.h"

std::string maskSecret(std::string text, const std::string& secret) {
    if (secret.empty()) return text;
    for (size_t pos = text.find(secret); pos != std::string::npos; pos = text.find(secret, pos + 3))
        text.replace(pos, secret.size(), "***");
    return text;
}

bool httpSucceeded(const HttpGetResult& result) {
    return result.outcome == HttpGetResult::Outcome::Complete && result.statusCode >= 200 && result.statusCode <= 299;
}

std::string bodyLimitText(int64_t bytes) {
    constexpr int64_t kMiB = int64_t{1} << 20;
    return bytes > 0 && bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB" : std::to_string(bytes) + " bytes";
}
