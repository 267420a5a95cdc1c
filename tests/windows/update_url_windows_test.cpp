// The update address over WinHTTP against a loopback server run on the Linux
// side by scripts/test-windows (tests/windows/loopback_server.py), whose port
// comes in ZK_LOOPBACK_PORT.

#include "support/Platform.h"
#include "support/HttpGet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

class UpdateUrlWindows : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("ZK_LOOPBACK_PORT");
        if (port == nullptr) GTEST_SKIP() << "needs the loopback server of scripts/test-windows";
        base_ = std::string("http://127.0.0.1:") + port;
    }
    HttpGetResult get(const std::string& path, const std::optional<std::string>& auth = std::nullopt,
                      HttpGetLimits limits = {}) {
        return Platform::current().httpGet(base_ + path, auth, limits);
    }
    std::string base_;
};

TEST_F(UpdateUrlWindows, StatusLinesOf200And404) {
    auto ok = get("/ok");
    ASSERT_EQ(ok.outcome, HttpGetResult::Outcome::Complete) << ok.error;
    EXPECT_EQ(ok.statusCode, 200);
    EXPECT_EQ(ok.statusLine.value_or(""), "HTTP/1.1 200 OK");
    auto missing = get("/missing");
    ASSERT_EQ(missing.outcome, HttpGetResult::Outcome::Complete) << missing.error;
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(missing.statusLine.value_or(""), "HTTP/1.1 404 Not Found");
}

// A data source's fetch: the body kept, its validators, a conditional
// request answered 304, and a body past the limit refused.
TEST_F(UpdateUrlWindows, SourceFetchKeepsTheBodyAndAsksConditionally) {
    HttpFetchRequest request;
    request.keepBody = true;
    auto r = Platform::current().httpFetch(base_ + "/csv", request, {});
    ASSERT_EQ(r.outcome, HttpGetResult::Outcome::Complete) << r.error;
    EXPECT_EQ(r.statusCode, 200);
    EXPECT_EQ(r.body, "Date,Close\n2025-12-05,8131.66\n");
    EXPECT_EQ(r.etag, "\"v1\"");
    EXPECT_EQ(r.lastModified, "Fri, 05 Dec 2025 17:30:00 GMT");
    request.headers.emplace_back("If-None-Match", r.etag);
    auto again = Platform::current().httpFetch(base_ + "/csv", request, {});
    EXPECT_EQ(again.statusCode, 304) << again.error;
    EXPECT_EQ(again.body, "");
    request.headers.clear();
    request.maxBodyBytes = 10;
    auto big = Platform::current().httpFetch(base_ + "/csv", request, {});
    EXPECT_NE(big.outcome, HttpGetResult::Outcome::Complete);
    EXPECT_EQ(big.error, "the answer is larger than 10 bytes");
}

TEST_F(UpdateUrlWindows, BasicAuthorisationIsSent) {
    EXPECT_EQ(get("/auth").statusCode, 401);
    EXPECT_EQ(get("/auth", "Basic dXNlcjpwYXNz").statusCode, 200);
}

TEST_F(UpdateUrlWindows, RedirectToAnotherHostGoesWithoutTheHeader) {
    auto r = get("/away", "Basic dXNlcjpwYXNz");
    ASSERT_EQ(r.outcome, HttpGetResult::Outcome::Complete) << r.error;
    EXPECT_EQ(r.statusCode, 200) << "the header reached the other host";
    HttpGetLimits none;
    none.maxRedirects = 0;
    EXPECT_EQ(get("/away", std::nullopt, none).statusCode, 302);
}

TEST_F(UpdateUrlWindows, SilentServerOrStalledBodyIsBoundedByTheTimeOut) {
    HttpGetLimits limits;
    limits.totalTimeoutMs = 1500;
    for (const char* path : {"/silent", "/stall"}) {
        const auto start = std::chrono::steady_clock::now();
        auto r = get(path, std::nullopt, limits);
        EXPECT_EQ(r.outcome, HttpGetResult::Outcome::TransferFailed) << path;
        EXPECT_FALSE(httpSucceeded(r)) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
}

TEST_F(UpdateUrlWindows, OnlyHttpAndHttpsAddresses) {
    EXPECT_TRUE(Platform::current().isUsableHttpUrl("http://127.0.0.1/data"));
    EXPECT_TRUE(Platform::current().isUsableHttpUrl("https://example.invalid/data"));
    EXPECT_FALSE(Platform::current().isUsableHttpUrl("ftp://127.0.0.1/data"));
    EXPECT_FALSE(Platform::current().isUsableHttpUrl("file:///c:/data"));
    EXPECT_FALSE(Platform::current().isUsableHttpUrl("no address"));
}

}  // namespace
