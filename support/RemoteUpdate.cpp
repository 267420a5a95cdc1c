// Remote update operations: the update address, Base64, the update program.

#include "support/RemoteUpdate.h"

#include "support/Indication_Tools.h"
#include "support/LineSplitter.h"
#include "support/Mutex.h"
#include "support/Platform.h"
#include "support/SysProperties.h"
#include "support/Utf8.h"

#include <functional>

namespace {

Mutex limitsMutex;
RemoteUpdateLimits limits ZK_GUARDED_BY(limitsMutex);

void report(const std::string& message, bool log) {
    Indication_Tools::Outils_AfficheMsg_System(Indication_Tools::thisClassName, message, log);
}

// ---- Text <-> bytes: a character stands for the byte of its low 8 bits ----

// Bytes that are not valid UTF-8 stand for themselves.
std::vector<uint8_t> textToBytes(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (utf8::sequenceLength(text, i) == 0) {
            out.push_back(static_cast<uint8_t>(text[i]));
            ++i;
        } else {
            out.push_back(static_cast<uint8_t>(utf8::decode(text, i) & 0xFF));
        }
    }
    return out;
}

std::string bytesToText(const std::vector<uint8_t>& bytes) {
    return utf8::fromLatin1(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Program output: kept when it is UTF-8, else read as ISO 8859-1.
std::string outputToText(const std::string& line) { return utf8::isValid(line) ? line : utf8::fromLatin1(line); }

// ---- Base64 ----------------------------------------------------------------

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

uint8_t base64Value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return 0;
    // Anything else is taken as it is; only its low six bits fit a digit.
    return static_cast<uint8_t>(c & 0x3F);
}

std::vector<uint8_t> encode(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    out.reserve((in.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const uint32_t g = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        out.push_back(kAlphabet[(g >> 18) & 0x3F]);
        out.push_back(kAlphabet[(g >> 12) & 0x3F]);
        out.push_back(kAlphabet[(g >> 6) & 0x3F]);
        out.push_back(kAlphabet[g & 0x3F]);
    }
    const size_t rest = in.size() - i;
    if (rest == 1) {
        out.push_back(kAlphabet[in[i] >> 2]);
        out.push_back(kAlphabet[(in[i] & 0x03) << 4]);
        out.push_back('=');
        out.push_back('=');
    } else if (rest == 2) {
        out.push_back(kAlphabet[in[i] >> 2]);
        out.push_back(kAlphabet[((in[i] & 0x03) << 4) | (in[i + 1] >> 4)]);
        out.push_back(kAlphabet[(in[i + 1] & 0x0F) << 2]);
        out.push_back('=');
    }
    return out;
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& in) {
    size_t count = in.size();
    while (count > 0 && in[count - 1] == '=') --count;
    // Six bits per digit, whole bytes only: for padded input this is the digit
    // count less one per group of four, and unpadded input decodes the same way.
    const size_t outLen = count * 6 / 8;
    std::vector<uint8_t> out;
    out.reserve(outLen);
    for (size_t i = 0; out.size() < outLen; i += 4) {
        uint32_t g = 0;
        for (size_t k = 0; k < 4; ++k) g = (g << 6) | (i + k < count ? base64Value(in[i + k]) : 0);
        for (int shift = 16; shift >= 0 && out.size() < outLen; shift -= 8)
            out.push_back(static_cast<uint8_t>((g >> shift) & 0xFF));
    }
    return out;
}

std::vector<std::string> splitParameters(const std::string& parameters) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < parameters.size()) {
        size_t end = parameters.find(' ', pos);
        if (end == std::string::npos) end = parameters.size();
        if (end > pos) out.push_back(parameters.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

}  // namespace

RemoteUpdateLimits getRemoteUpdateLimits() {
    MutexLock lock(limitsMutex);
    return limits;
}

void setRemoteUpdateLimits(const RemoteUpdateLimits& value) {
    MutexLock lock(limitsMutex);
    limits = value;
}

std::optional<std::string> Indication_Tools::getUrl(const std::optional<std::string>& url) {
    return getUrlReply(url).statusText;
}

UrlReply Indication_Tools::getUrlReply(const std::optional<std::string>& url) {
    if (!url || !Platform::current().isUsableHttpUrl(*url)) return {};

    std::string status = "50x Internal Application Error";

    // One snapshot, so login and password come from the same configuration.
    const SharedProperties::Snapshot snapshot = SysProperties.snapshot();
    const SharedProperties::Ptr& config = snapshot.table;
    auto lookup = [&](const char* key) -> std::optional<std::string> {
        if (!config) return std::nullopt;
        auto it = config->find(key);
        if (it == config->end()) return std::nullopt;
        return it->second;
    };
    std::optional<std::string> authorization;
    std::string password;
    std::optional<std::string> login = lookup("INDICEGIF_URLUPDATE_LOGIN");
    if (login && !login->empty()) {
        password = lookup("INDICEGIF_URLUPDATE_PASSWORD").value_or("");
        // The bytes the configuration file holds, whatever each line's
        // encoding: that is what the server's account was set up with.
        auto fileBytes = [&](const char* key, const std::string& value) {
            return snapshot.latin1Keys.count(key) != 0 ? textToBytes(value)
                                                       : std::vector<uint8_t>(value.begin(), value.end());
        };
        std::vector<uint8_t> credentials = fileBytes("INDICEGIF_URLUPDATE_LOGIN", *login);
        credentials.push_back(':');
        const std::vector<uint8_t> secret = fileBytes("INDICEGIF_URLUPDATE_PASSWORD", password);
        credentials.insert(credentials.end(), secret.begin(), secret.end());
        const std::vector<uint8_t> encoded = encode(credentials);
        authorization = "Basic " + std::string(encoded.begin(), encoded.end());
    }

    HttpGetResult answer = Platform::current().httpGet(*url, authorization, getRemoteUpdateLimits().http);
    // A reason phrase may come in ISO 8859-1: the log stays valid UTF-8.
    if (answer.statusLine) status = toUtf8(*answer.statusLine);
    switch (answer.outcome) {
        case HttpGetResult::Outcome::SetupFailed:
            report("getUrl : Error [init] : " + maskSecret(answer.error, password), true);
            break;
        case HttpGetResult::Outcome::TransferFailed:
            report("getUrl : Error [read] : " + maskSecret(answer.error, password), true);
            break;
        case HttpGetResult::Outcome::Complete:
            // An error status has no usable body: reported as a failed read.
            if (answer.statusCode >= 400)
                report("getUrl : Error [read] : the server answered \"" + status + "\"", true);
            break;
    }
    return {status, httpSucceeded(answer)};
}

std::optional<std::string> Indication_Tools::base64Encode(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    std::vector<uint8_t> out = encode(textToBytes(*text));
    return std::string(out.begin(), out.end());
}

std::optional<std::vector<uint8_t>> Indication_Tools::base64Encode(const std::optional<std::vector<uint8_t>>& bytes) {
    if (!bytes) return std::nullopt;
    return encode(*bytes);
}

std::optional<std::string> Indication_Tools::base64Decode(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return bytesToText(decode(textToBytes(*text)));
}

std::optional<std::vector<uint8_t>> Indication_Tools::base64Decode(const std::optional<std::vector<uint8_t>>& bytes) {
    if (!bytes) return std::nullopt;
    return decode(*bytes);
}

int32_t Indication_Tools::ExecuteApplication(const std::string& program, const std::string& parameters,
                                            bool logPrintout) {
    std::string path = program;
    for (char& c : path)
        if (c == '/') c = fileSeparator;

    if (path.find('\0') != std::string::npos) {
        report("[ERROR] : RuntimeException: invalid null character in the program path", true);
        return -2;
    }
    if (!Platform::current().isReadableFile(path)) {
        report("[ERROR] : " + path + " not found!", true);
        return -4;
    }

    // Each parameter is its own argument: without a command line to delimit
    // them, added quote characters would become part of the values.
    std::vector<std::string> args = splitParameters(parameters);
    args.insert(args.begin(), path);

    ProcessRunResult run = Platform::current().runProgram(
        args, [&](const std::string& line) { report("[OUT] : " + outputToText(line), logPrintout); },
        getRemoteUpdateLimits().process);
    // Its standard error says why it failed: logged then whatever the
    // printout setting, otherwise only with it, like its output.
    auto reportErrorTail = [&](bool log) {
        LineSplitter tail(run.errorTail.size() + 1,
                          [&](const std::string& line) { report("[ERR] : " + outputToText(line), log); });
        tail.feed(run.errorTail.data(), run.errorTail.size());
        tail.finish();
    };
    switch (run.outcome) {
        case ProcessRunResult::Outcome::Exited:
            // A program that ends with a non-zero value has failed: its value
            // is the result, so the pass, the log and the status file say so.
            report("Program Exit Value : " + std::to_string(run.exitValue), logPrintout || run.exitValue != 0);
            reportErrorTail(logPrintout || run.exitValue != 0);
            return run.exitValue;
        case ProcessRunResult::Outcome::StartRefused:
            report("[ERROR] : RuntimeException: " + run.error, true);
            return -2;
        case ProcessRunResult::Outcome::IoError:
            report("[ERROR] : IOException: " + run.error, true);
            reportErrorTail(true);
            return -2;
    }
    return -2;
}
