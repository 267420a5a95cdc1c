// Cutting a program's output into lines, fed in parts as reads deliver it.

#include "support/LineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(LineSplitter, LinesEndAtEachKindOfEndWhereverTheReadsCut) {
    struct Case {
        std::vector<std::string> parts;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{"a\r", "\nb\r", "c"}, {"a", "b", "c"}},        // "\r\n" across two reads is one end
        {{"\n\r\n", "\r"}, {"", "", ""}},                 // empty lines
        {{"abcdefg", "h\nij"}, {"abcd", "efgh", "ij"}},  // cut at 4 bytes; the end adds no empty line
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        // The handler is a temporary: the splitter keeps its own copy.
        LineSplitter splitter(4, [&](const std::string& line) { lines.push_back(line); });
        for (const std::string& part : c.parts) splitter.feed(part.data(), part.size());
        splitter.finish();
        EXPECT_EQ(lines, c.lines) << c.parts[0];
    }
}

}  // namespace
