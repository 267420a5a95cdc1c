// The update-address fetch over WinHTTP.

#include "support/HttpGet.h"

#include "platform/SystemPlatform.h"
#include "support/UrlReference.h"

#include "platform/windows/WinText.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>
#include <winhttp.h>

#include "platform/windows/WinHandles.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cwctype>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

struct InternetHandleTraits {
    using Value = HINTERNET;
    static Value empty() { return nullptr; }
    static bool isEmpty(Value v) { return v == nullptr; }
    static bool close(Value v) { return WinHttpCloseHandle(v) != 0; }
};
using InternetHandle = win::UniqueHandle<InternetHandleTraits>;

std::string failure(const std::string& what, DWORD code) {
    if (code == ERROR_WINHTTP_TIMEOUT) return what + ": timed out";
    if (code == ERROR_WINHTTP_CANNOT_CONNECT) return what + ": cannot connect";
    return what + " (" + win::errorText(code) + ")";
}

struct Address {
    bool secure = false;
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with the query
};

bool crack(const std::wstring& url, Address& out) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (parts.dwHostNameLength == 0) return false;
    out.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    out.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    out.port = parts.nPort;
    out.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) out.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (out.path.empty()) out.path = L"/";
    return true;
}

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

bool sameHost(const Address& a, const Address& b) {
    return lower(a.host) == lower(b.host) && a.port == b.port && a.secure == b.secure;
}

// The address a Location header leads to, from the address that answered.
std::wstring resolveLocation(const Address& from, const std::wstring& location) {
    const std::string base = std::string(from.secure ? "https://" : "http://") + win::narrow(from.host) + ":" +
                             std::to_string(from.port) + win::narrow(from.path);
    std::string resolved = resolveUrlReference(base, win::narrow(location));
    // A fragment stays with the client: it is never part of a request.
    resolved.erase(std::min(resolved.find('#'), resolved.size()));
    return win::widen(resolved);
}

bool queryText(HINTERNET request, DWORD what, std::wstring& out) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return false;
    text.resize(size / sizeof(wchar_t));
    out = std::move(text);
    return true;
}

// The body length the head announces: none with a transfer coding (chunked
// framing ends the body then) or for an answer that never has a body.
std::optional<uint64_t> announcedLength(HINTERNET request, DWORD status) {
    if (status == 204 || status == 304 || (status >= 100 && status < 200)) return std::nullopt;
    std::wstring text;
    if (queryText(request, WINHTTP_QUERY_TRANSFER_ENCODING, text)) return std::nullopt;
    if (!queryText(request, WINHTTP_QUERY_CONTENT_LENGTH, text) || text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9' || value > (UINT64_MAX - 9) / 10) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    return value;
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 1, INT32_MAX));
}

}  // namespace

bool os::isUsableHttpUrl(const std::string& url) {
    if (url.find('\0') != std::string::npos) return false;
    Address address;
    return crack(win::widen(url), address);
}

HttpGetResult os::httpGet(const std::string& url, const std::optional<std::string>& authorization,
                          const HttpGetLimits& limits) {
    HttpFetchRequest request;
    request.authorization = authorization;
    return httpFetch(url, request, limits);
}

HttpGetResult os::httpFetch(const std::string& url, const HttpFetchRequest& fetch, const HttpGetLimits& limits) {
    const std::optional<std::string>& authorization = fetch.authorization;
    HttpGetResult result;
    result.outcome = HttpGetResult::Outcome::SetupFailed;
    Address first;
    if (url.find('\0') != std::string::npos || !crack(win::widen(url), first)) {
        result.error = "malformed or unsupported address";
        return result;
    }
    InternetHandle session(WinHttpOpen(L"zkQuoteForge", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session.valid()) {
        result.error = failure("cannot create an HTTP session", GetLastError());
        return result;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.totalTimeoutMs);
    const int connectMs = static_cast<int>(std::min<int64_t>(limits.connectTimeoutMs, limits.totalTimeoutMs));
    WinHttpSetTimeouts(session.get(), connectMs, connectMs, remainingMs(deadline), remainingMs(deadline));

    std::wstring current = win::widen(url);
    Address address = first;
    for (int redirects = 0;; ++redirects) {
        InternetHandle connection(WinHttpConnect(session.get(), address.host.c_str(), address.port, 0));
        if (!connection.valid()) {
            result.error = failure("cannot connect", GetLastError());
            return result;
        }
        InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", address.path.c_str(), nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                  address.secure ? WINHTTP_FLAG_SECURE : 0));
        if (!request.valid()) {
            result.error = failure("cannot prepare the request", GetLastError());
            return result;
        }
        // Redirects are followed here, so the header goes to the first host only.
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
        std::wstring headers;
        if (authorization && sameHost(address, first)) headers = L"Authorization: " + win::widen(*authorization) + L"\r\n";
        for (const auto& [name, value] : fetch.headers) headers += win::widen(name + ": " + value) + L"\r\n";
        int receiveMs = remainingMs(deadline);
        WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
        WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receiveMs, sizeof receiveMs);

        result.outcome = HttpGetResult::Outcome::TransferFailed;
        if (!WinHttpSendRequest(request.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                headers.empty() ? 0 : static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !WinHttpReceiveResponse(request.get(), nullptr)) {
            result.error = failure("cannot fetch the address", GetLastError());
            return result;
        }
        std::wstring raw;
        if (queryText(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, raw)) {
            const std::wstring statusLine = raw.substr(0, raw.find(L"\r\n"));
            if (statusLine.rfind(L"HTTP/", 0) == 0) result.statusLine = win::narrow(statusLine);
        }
        DWORD status = 0, size = sizeof status;
        if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            result.statusCode = static_cast<long>(status);

        std::wstring validator;
        result.etag = queryText(request.get(), WINHTTP_QUERY_ETAG, validator) ? win::narrow(validator) : "";
        result.lastModified =
            queryText(request.get(), WINHTTP_QUERY_LAST_MODIFIED, validator) ? win::narrow(validator) : "";
        result.body.clear();
        std::wstring location;
        const bool redirect = (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
                              queryText(request.get(), WINHTTP_QUERY_LOCATION, location);
        // The update address's body is only read so the server sees its
        // answer consumed, a source's is kept up to its limit; its length is
        // counted, since a connection closed early may read as the end of
        // the body.
        char buffer[16384];
        uint64_t received = 0;
        for (;;) {
            if (Clock::now() >= deadline) {
                result.error = "cannot read the answer: timed out";
                return result;
            }
            receiveMs = remainingMs(deadline);
            WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
            DWORD n = 0;
            if (!WinHttpReadData(request.get(), buffer, sizeof buffer, &n)) {
                result.error = failure("cannot read the answer", GetLastError());
                return result;
            }
            if (n == 0) break;
            received += n;
            if (fetch.keepBody && !redirect) {
                if (static_cast<int64_t>(result.body.size() + n) > fetch.maxBodyBytes) {
                    result.error = "the answer is larger than " + bodyLimitText(fetch.maxBodyBytes);
                    return result;
                }
                result.body.append(buffer, n);
            }
        }
        if (const std::optional<uint64_t> expected = announcedLength(request.get(), status);
            expected && received < *expected) {
            result.error = "transfer closed with " + std::to_string(*expected - received) + " bytes remaining to read";
            return result;
        }
        if (!redirect || limits.maxRedirects <= 0) {
            result.outcome = HttpGetResult::Outcome::Complete;
            return result;
        }
        if (redirects >= limits.maxRedirects) {
            result.error = "Maximum (" + std::to_string(limits.maxRedirects) + ") redirects followed";
            return result;
        }
        current = resolveLocation(address, location);
        Address next;
        if (!crack(current, next)) {
            result.error = "redirected to an address that is not http or https";
            return result;
        }
        address = next;
    }
}
