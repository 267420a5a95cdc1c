#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Concurrent appends from several threads never mix two lines.
TEST(Logging, LinesFromManyThreadsStayWhole) {
    const std::string path = "logging_threads.txt";
    std::remove(path.c_str());
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &path] {
            std::string payload(100 + t * 17, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i) Indication_Tools::AddLog(path, payload);
        });
    }
    for (auto& th : threads) th.join();

    std::string text = slurp(path);
    size_t lines = 0, pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        std::string line = text.substr(pos, end - pos);
        ASSERT_EQ(line.size() > 22, true);
        EXPECT_EQ(line[0], '[');
        EXPECT_EQ(line.substr(20, 2), "] ");
        std::string payload = line.substr(22);
        int t = payload[0] - 'a';
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(payload, std::string(100 + t * 17, static_cast<char>('a' + t)));
        ++lines;
        pos = end + 2;
    }
    EXPECT_EQ(lines, static_cast<size_t>(kThreads * kLines));
    std::remove(path.c_str());
}

}  // namespace
