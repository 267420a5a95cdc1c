#pragma once
// One HTTP GET whose body is read to its end and thrown away, for the update
// address. Only the status line of the final answer matters to the caller.
// Safe to call from any thread; keeps no state between calls.

#include <cstdint>
#include <optional>
#include <string>

struct HttpGetLimits {
    int64_t connectTimeoutMs = 10'000;  // a host that never accepts
    int64_t totalTimeoutMs = 120'000;   // a server that accepts and never answers, or trickles
    int maxRedirects = 5;
};

struct HttpGetResult {
    enum class Outcome {
        Complete,       // the answer was read to its end (whatever its status code)
        SetupFailed,    // the request could not be prepared; nothing was sent
        TransferFailed  // connecting, sending or reading failed part-way
    };
    Outcome outcome = Outcome::SetupFailed;
    // First line of the final answer's head, without its line end.
    std::optional<std::string> statusLine;
    long statusCode = 0;
    std::string error;  // why it failed; never holds credentials
};

// Every occurrence of secret in text replaced by "***" (error texts must not
// carry credentials).
std::string maskSecret(std::string text, const std::string& secret);

// Platform::isUsableHttpUrl: true for an absolute http or https address the
// client accepts. Platform::httpGet: authorization is the whole value of an
// "Authorization" header, or none. Redirects stay on http/https; the header
// is never forwarded to another host.
