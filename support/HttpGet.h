#pragma once
// One HTTP GET whose body is read to its end: thrown away for the update
// address, kept (bounded) for a data source. The caller shows the status
// line of the final answer and judges the fetch by httpSucceeded.
// Safe to call from any thread; keeps no state between calls.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct HttpGetLimits {
    int64_t connectTimeoutMs = 10'000;  // a host that never accepts
    int64_t totalTimeoutMs = 120'000;   // a server that accepts and never answers, or trickles
    int maxRedirects = 5;
};

// What a fetch sends besides a plain GET, and whether it keeps the body.
struct HttpFetchRequest {
    std::optional<std::string> authorization;  // the whole "Authorization" value, first host only
    // Further request headers (name, value), such as If-None-Match.
    std::vector<std::pair<std::string, std::string>> headers;
    bool keepBody = false;
    int64_t maxBodyBytes = int64_t{64} << 20;  // a kept body past this fails the fetch
};

struct HttpGetResult {
    enum class Outcome {
        Complete,       // the whole answer was read, body included (whatever its status code)
        SetupFailed,    // the request could not be prepared; nothing was sent
        TransferFailed  // connecting, sending or reading failed part-way
    };
    Outcome outcome = Outcome::SetupFailed;
    // First line of the final answer's head, without its line end.
    std::optional<std::string> statusLine;
    long statusCode = 0;  // of the final answer, as a number; 0 when none came
    std::string error;  // why it failed; never holds credentials
    // Kept only when asked (HttpFetchRequest): the final answer's body and validators.
    std::string body;
    std::string etag;
    std::string lastModified;
};

// The one rule for a fetch that worked: the exchange ended, the whole body
// came, and the final status code is 2xx. The status text is never read for
// it: a reason phrase may hold anything ("500 Error 200 OK").
bool httpSucceeded(const HttpGetResult& result);

// "64 MiB", or "1000 bytes" for a limit that is no whole number of MiB.
std::string bodyLimitText(int64_t bytes);

// Every occurrence of secret in text replaced by "***" (error texts must not
// carry credentials).
std::string maskSecret(std::string text, const std::string& secret);

// Platform::isUsableHttpUrl: true for an absolute http or https address the
// client accepts. Platform::httpGet: authorization is the whole value of an
// "Authorization" header, or none. Redirects stay on http/https; the header
// is never forwarded to another host. Platform::httpFetch: the same, with
// the request's extra headers and its body kept when asked.
