#pragma once
// Shared set-up of the chart model tests: Paris time, a fake clock, console
// and log output captured, and data and graph files held in memory.

#include "chart/Indication_Data.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace charttest {

class ChartTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        Indication_Tools::debugMode = true;
        platform.now = localMillis(2001, 11, 21, 18, 0, 0);
    }
    void TearDown() override { Indication_Tools::debugMode = false; }

    static int64_t at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
        return localMillis(y, mo, d, h, mi, s);
    }

    // A file served from memory; returns its path.
    std::string file(const std::string& content) {
        std::string path = "mem/file_" + std::to_string(files_++) + ".txt";
        platform.setFile(path, content);
        return path;
    }

    std::vector<std::string> console() {
        std::vector<std::string> lines;
        const std::string out = platform.out();
        size_t pos = 0;
        while (pos < out.size()) {
            size_t end = out.find('\n', pos);
            if (end == std::string::npos) end = out.size();
            lines.push_back(out.substr(pos, end - pos));
            pos = end + 1;
        }
        return lines;
    }
    // Console lines that contain text.
    size_t count(const std::string& text) {
        size_t n = 0;
        for (const auto& l : console()) n += l.find(text) != std::string::npos;
        return n;
    }
    bool printed(const std::string& line) {
        for (const auto& l : console()) {
            if (l == line) return true;
        }
        return false;
    }
    static std::string channel(const std::string& message) { return "[Indication_Data] : " + message; }

    ScopedTimeZone zone{"Europe/Paris"};
    TestPlatform platform;

private:
    int files_ = 0;
};

}  // namespace charttest
