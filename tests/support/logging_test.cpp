#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

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

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        platform.now = localMillis(2001, 3, 5, 7, 8, 9, 999);
        SysProperties.store(nullptr);
        Indication_Tools::debugMode = false;
    }
    void TearDown() override {
        SysProperties.store(nullptr);
        Indication_Tools::debugMode = false;
    }
    ScopedTimeZone zone{"Europe/Paris"};
    TestPlatform platform;
};

TEST_F(LogTest, LineFormAndFileChoice) {
    EXPECT_TRUE(Indication_Tools::addLogIndice("hello \xC3\xA0 tous"));
    EXPECT_EQ(platform.file("log_quoteforge.txt"), "[05/03/2001 07:08:09] hello \xC3\xA0 tous\r\n");

    // A configured log file takes over; an empty value means the default.
    SysProperties.store(std::make_shared<Properties>(Properties{{"INDICEGIF_LOG", "other.txt"}}));
    Indication_Tools::addLogIndice("two");
    EXPECT_EQ(platform.file("other.txt"), "[05/03/2001 07:08:09] two\r\n");
    SysProperties.store(std::make_shared<Properties>(Properties{{"INDICEGIF_LOG", ""}}));
    Indication_Tools::addLogIndice("three");
    EXPECT_EQ(platform.file("log_quoteforge.txt"),
              "[05/03/2001 07:08:09] hello \xC3\xA0 tous\r\n[05/03/2001 07:08:09] three\r\n");
    EXPECT_EQ(platform.out(), "");
}

// So that a message stays on its line and grep still reads the log as text.
TEST_F(LogTest, ControlCharactersAndStrayBytesAreWrittenEscaped) {
    Indication_Tools::addLogIndice(std::string("a\0b\tc\x1b[0m\r\nd\x7f\xff\xC3\xA9", 16));
    EXPECT_EQ(platform.file("log_quoteforge.txt"),
              "[05/03/2001 07:08:09] a\\x00b\tc\\x1b[0m\\x0d\\x0ad\\x7f\\xff\xC3\xA9\r\n");
}

TEST_F(LogTest, ConsoleMessagesAndTheirLogCopies) {
    Indication_Tools::Outils_AfficheMsg_System("Service", "on", false);
    Indication_Tools::Outils_AfficheMsg_System("Service", "logged", true);
    Indication_Tools::Outils_AfficheMsg_System("Service", "", true);
    Indication_Tools::Outils_AfficheMsg("Quiet", "not shown", true);
    EXPECT_EQ(platform.out(), "[Service] : on\n[Service] : logged\n");
    EXPECT_EQ(platform.file("log_quoteforge.txt"), "[05/03/2001 07:08:09]   |_ [Service] : logged\r\n");

    Indication_Tools::debugMode = true;
    platform.clearOut();
    Indication_Tools::Outils_AfficheMsg("Loud", "shown", false);
    Indication_Tools::Outils_AfficheMsg("Loud", "", true);
    EXPECT_EQ(platform.out(), "[Loud] : shown\n");
}

TEST_F(LogTest, UnwritableLogGivesOneConsoleLinePerLostLine) {
    platform.failAppends = true;
    EXPECT_FALSE(Indication_Tools::addLogIndice("one"));
    EXPECT_FALSE(Indication_Tools::AddLog("x.txt", "two"));
    Indication_Tools::Outils_AfficheMsg_System("Application", "three", true);
    const std::string out = platform.out();
    EXPECT_EQ(out.find("[System] : write log error: "), 0u);
    size_t errors = 0;
    for (size_t p = out.find("write log error: "); p != std::string::npos; p = out.find("write log error: ", p + 1))
        ++errors;
    EXPECT_EQ(errors, 3u);
    EXPECT_NE(out.find("[Application] : three\n[System] : write log error: "), std::string::npos);
}

}  // namespace
