// libcurl is loaded only when an address is first looked at: a process that
// never fetches one does not pay for loading it and its TLS libraries.

#include "support/Platform.h"
#include "support/HttpGet.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

bool curlMapped() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("libcurl") != std::string::npos;
}

TEST(CurlLibrary, LoadedOnFirstUseOnly) {
    ASSERT_FALSE(curlMapped());
    EXPECT_TRUE(Platform::current().isUsableHttpUrl("http://127.0.0.1/data"));
    EXPECT_FALSE(Platform::current().isUsableHttpUrl("ftp://127.0.0.1/data"));
    EXPECT_TRUE(curlMapped());
}

}  // namespace
