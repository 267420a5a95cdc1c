// The update-address fetch over libcurl.

#include "support/HttpGet.h"

#include "platform/SystemPlatform.h"

#include "platform/posix/CurlLibrary.h"
#include "platform/posix/PosixSignals.h"
#include "support/Utf8.h"

#include <memory>
#include <mutex>
#include <string_view>

namespace {

constexpr const char* kSchemes = "http,https";

// Only where the library is known to be loaded: after curlReady, or on
// objects it made.
const CurlLibrary& lib() { return *curlLibrary(); }

// curl_global_init is not thread-safe on every libcurl we may meet: run it once.
bool curlReady() {
    static std::once_flag once;
    static CURLcode code = CURLE_FAILED_INIT;
    std::call_once(once, [] {
        if (!curlLibrary()) return;
        ignoreBrokenPipeSignal();
        code = lib().global_init(CURL_GLOBAL_DEFAULT);
    });
    return code == CURLE_OK;
}

struct CurlDeleter {
    void operator()(CURL* c) const { lib().easy_cleanup(c); }
    void operator()(CURLU* u) const { lib().url_cleanup(u); }
    void operator()(curl_slist* l) const { lib().slist_free_all(l); }
    void operator()(char* s) const { lib().free(s); }
};
template <class T>
using CurlPtr = std::unique_ptr<T, CurlDeleter>;

std::string urlPassword(const std::string& url) {
    CurlPtr<CURLU> u(lib().url());
    if (!u || lib().url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
    char* raw = nullptr;
    if (lib().url_get(u.get(), CURLUPART_PASSWORD, &raw, 0) != CURLUE_OK || !raw) return {};
    CurlPtr<char> password(raw);
    return password.get();
}

struct Transfer {
    std::optional<std::string> statusLine;
    bool expectStatus = true;  // the next header line starts a new answer head
    std::string etag, lastModified;  // of the last head
    bool keepBody = false;
    int64_t maxBodyBytes = 0;
    bool bodyTooLarge = false;
    std::string body;
};

// The value of a header line "Name: value" when its name is name (letter case aside).
bool headerValue(std::string_view line, std::string_view name, std::string& out) {
    if (line.size() <= name.size() || line[name.size()] != ':') return false;
    if (utf8::asciiLower(std::string(line.substr(0, name.size()))) != name) return false;
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    out = std::string(value);
    return true;
}

// Header lines arrive one per call. Each answer head (one per redirect) starts
// with its status line and ends with an empty line; the last head wins.
size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    std::string_view line(data, n);
    // HTTP/2 status lines as libcurl writes them end in a blank: drop it too.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty()) {
        t->expectStatus = true;
    } else if (t->expectStatus) {
        if (line.substr(0, 5) == "HTTP/") t->statusLine = std::string(line);
        t->etag.clear();
        t->lastModified.clear();
        t->expectStatus = false;
    } else if (!headerValue(line, "etag", t->etag)) {
        headerValue(line, "last-modified", t->lastModified);
    }
    return n;
}

// The update address's body is only read so the server sees its answer
// consumed; a source's is kept, up to its limit.
size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (!t->keepBody) return n;
    if (static_cast<int64_t>(t->body.size() + n) > t->maxBodyBytes) {
        t->bodyTooLarge = true;
        return 0;  // ends the transfer
    }
    t->body.append(data, n);
    return n;
}

bool isSetupError(CURLcode code) {
    switch (code) {
        case CURLE_FAILED_INIT:
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_NOT_BUILT_IN:
        case CURLE_OUT_OF_MEMORY:
        case CURLE_BAD_FUNCTION_ARGUMENT:
        case CURLE_UNKNOWN_OPTION:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool os::isUsableHttpUrl(const std::string& url) {
    if (url.find('\0') != std::string::npos) return false;
    // Without libcurl the scheme alone decides; the fetch then fails and says why.
    if (!curlLibrary()) {
        const std::string start = utf8::asciiLower(url.substr(0, 8));
        return (start.rfind("http://", 0) == 0 && url.size() > 7) || (start == "https://" && url.size() > 8);
    }
    CurlPtr<CURLU> u(lib().url());
    if (!u || lib().url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
    char* raw = nullptr;
    if (lib().url_get(u.get(), CURLUPART_SCHEME, &raw, 0) != CURLUE_OK || !raw) return false;
    CurlPtr<char> scheme(raw);
    const std::string s = utf8::asciiLower(scheme.get());
    return s == "http" || s == "https";
}

HttpGetResult os::httpGet(const std::string& url, const std::optional<std::string>& authorization,
                          const HttpGetLimits& limits) {
    HttpFetchRequest request;
    request.authorization = authorization;
    return httpFetch(url, request, limits);
}

HttpGetResult os::httpFetch(const std::string& url, const HttpFetchRequest& request, const HttpGetLimits& limits) {
    const std::optional<std::string>& authorization = request.authorization;
    HttpGetResult result;
    result.outcome = HttpGetResult::Outcome::SetupFailed;
    if (!curlReady()) {
        result.error = curlLibrary() ? "the HTTP client could not be initialised" : "libcurl cannot be loaded";
        return result;
    }
    CurlPtr<CURL> curl(lib().easy_init());
    if (!curl) {
        result.error = "cannot create an HTTP session";
        return result;
    }

    Transfer transfer;
    transfer.keepBody = request.keepBody;
    transfer.maxBodyBytes = request.maxBodyBytes;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CurlPtr<curl_slist> headers;
    std::vector<std::string> lines;
    if (authorization) lines.push_back("Authorization: " + *authorization);
    for (const auto& [name, value] : request.headers) lines.push_back(name + ": " + value);
    for (const std::string& line : lines) {
        curl_slist* list = lib().slist_append(headers.get(), line.c_str());
        if (!list) {
            result.error = "out of memory";
            return result;
        }
        (void)headers.release();
        headers.reset(list);
    }

    CURL* c = curl.get();
    CURLcode code = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (code == CURLE_OK) code = lib().easy_setopt(c, option, value);
    };
    set(CURLOPT_ERRORBUFFER, errorBuffer);
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_HTTPGET, 1L);
    // Worker threads share the process: no signals, no alarm-based time-outs.
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROTOCOLS_STR, kSchemes);
    set(CURLOPT_REDIR_PROTOCOLS_STR, kSchemes);
    set(CURLOPT_FOLLOWLOCATION, limits.maxRedirects > 0 ? 1L : 0L);
    set(CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    set(CURLOPT_UNRESTRICTED_AUTH, 0L);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeoutMs));
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeoutMs));
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_HEADERFUNCTION, &onHeader);
    set(CURLOPT_HEADERDATA, &transfer);
    set(CURLOPT_WRITEFUNCTION, &onBody);
    set(CURLOPT_WRITEDATA, &transfer);
    if (headers) set(CURLOPT_HTTPHEADER, headers.get());
    if (code != CURLE_OK) {
        result.error = lib().easy_strerror(code);
        return result;
    }

    code = lib().easy_perform(c);
    result.statusLine = transfer.statusLine;
    result.etag = std::move(transfer.etag);
    result.lastModified = std::move(transfer.lastModified);
    result.body = std::move(transfer.body);
    long status = 0;
    if (lib().easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) result.statusCode = status;
    if (code == CURLE_OK) {
        result.outcome = HttpGetResult::Outcome::Complete;
        return result;
    }
    result.outcome = isSetupError(code) && !transfer.statusLine ? HttpGetResult::Outcome::SetupFailed
                                                                : HttpGetResult::Outcome::TransferFailed;
    if (transfer.bodyTooLarge) {
        result.error = "the answer is larger than " + bodyLimitText(request.maxBodyBytes);
        return result;
    }
    // A password written into the address itself must not reach a message.
    result.error = maskSecret(errorBuffer[0] ? std::string(errorBuffer) : std::string(lib().easy_strerror(code)),
                          urlPassword(url));
    return result;
}
