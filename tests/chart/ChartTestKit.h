#pragma once
// Shared set-up of the chart model tests: a fixed time zone, a fake clock,
// console and log lines captured instead of printed, and scratch files.

#include "chart/Indication_Data.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace charttest {

inline void setTimeZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

// The real platform with a settable clock, and console/log output kept in memory.
class TestPlatform : public PlatformWrapper {
public:
    TestPlatform() : PlatformWrapper(Platform::current()) {}
    int64_t now = 0;
    std::vector<std::string> console;  // one entry per printed line, without its line end
    std::vector<std::string> log;

    int64_t nowMillis() override { return now; }
    void writeStdout(std::string_view t) override {
        std::string line(t);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        console.push_back(line);
    }
    bool appendFile(const std::string&, std::string_view data, std::string&) override {
        log.emplace_back(data);
        return true;
    }

    // Console lines that contain text.
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (const auto& l : console) n += l.find(text) != std::string::npos;
        return n;
    }
    bool printed(const std::string& line) const {
        for (const auto& l : console) {
            if (l == line) return true;
        }
        return false;
    }
};

// Every test runs in Paris time, with a fake clock and captured output.
class ChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        setTimeZone("Europe/Paris");
        Indication_Tools::debugMode = true;
        platform.now = at(2001, 11, 21, 18, 0, 0);
    }
    void TearDown() override {
        Indication_Tools::debugMode = false;
        for (const auto& f : files_) std::remove(f.c_str());
    }

    static int64_t at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
        CalendarFields f;
        f.year = y;
        f.month = mo;
        f.day = d;
        f.hour = h;
        f.minute = mi;
        f.second = s;
        f.millisecond = 0;
        return Platform::current().fromLocal(f);
    }

    // Writes a scratch file and returns its path.
    std::string file(const std::string& content) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string path = ::testing::TempDir() + "chart_" + info->test_suite_name() + "_" + info->name() + "_" +
                           std::to_string(files_.size());
        std::ofstream out(path, std::ios::binary);
        out << content;
        files_.push_back(path);
        return path;
    }

    std::string channel(const std::string& message) const { return "[Indication_Data] : " + message; }

    TestPlatform platform;
    ScopedPlatform scoped{platform};

private:
    std::vector<std::string> files_;
};

}  // namespace charttest
