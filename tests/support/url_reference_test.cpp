// Redirect locations resolved against the address that sent them, on the
// examples every resolver is held to (RFC 3986, section 5.4).

#include "support/UrlReference.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlReference, ResolvesAsBrowsersDo) {
    const std::string base = "http://a/b/c/d;p?q";
    const std::pair<const char*, const char*> cases[] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"https://other:8443/x?1", "https://other:8443/x?1"},
    };
    for (const auto& [reference, expected] : cases) {
        EXPECT_EQ(resolveUrlReference(base, reference), expected) << "\"" << reference << "\"";
    }
    // A base without a path, and a query-only reference keeping the page name.
    EXPECT_EQ(resolveUrlReference("http://h:81", "x"), "http://h:81/x");
    EXPECT_EQ(resolveUrlReference("http://h/feed/data.txt?old=1", "?q=2"), "http://h/feed/data.txt?q=2");
}

}  // namespace
