// The update program on Windows: the command line built from the parameters,
// both output streams drained, the exit code, and the end of the run ending
// whatever the program started.

#include "support/Platform.h"
#include "support/Indication_Tools.h"
#include "support/ProcessRunner.h"
#include "tests/common/TestPlatform.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

// The Linux path CMake knows, as Wine's Z: drive shows it.
std::string childProgram() { return "Z:" + std::string(ZK_CHILD_PROGRAM); }

ProcessRunResult run(const std::vector<std::string>& args, std::vector<std::string>& lines,
                     const ProcessLimits& limits = {}) {
    std::vector<std::string> all{childProgram()};
    all.insert(all.end(), args.begin(), args.end());
    return Platform::current().runProgram(all, [&](const std::string& line) { lines.push_back(line); }, limits);
}

TEST(UpdateProgramWindows, EachParameterIsQuotedOnTheCommandLine) {
    std::vector<std::string> lines;
    const auto r = run({"args", "plain", "with space", "été"}, lines);
    ASSERT_EQ(r.outcome, ProcessRunResult::Outcome::Exited) << r.error;
    EXPECT_EQ(r.exitValue, 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"[plain]", "[with space]", "[\xe9t\xe9]"}))
        << "the program's C runtime gives its arguments in its own code page";
}

TEST(UpdateProgramWindows, QuotesAndTrailingBackslashesFollowTheRuntimesRules) {
    // What docs/running.md says: a double quote inside a parameter closes the
    // quoted part; a backslash before the closing quote makes it a quote
    // character, and the next parameter's opening quote closes the argument.
    std::vector<std::string> lines;
    const auto r = run({"args", "a\"b", "c:\\dir\\", "next"}, lines);
    ASSERT_EQ(r.outcome, ProcessRunResult::Outcome::Exited) << r.error;
    EXPECT_EQ(lines, (std::vector<std::string>{"[ab c:\\dir\"]", "[next]"}));
}

TEST(UpdateProgramWindows, ParametersFromTheConfigurationReachTheProgram) {
    TestPlatform platform;
    Indication_Tools::debugMode = true;
    EXPECT_EQ(Indication_Tools::ExecuteApplication(childProgram(), "args  -a -b", true), 0);
    const std::string out = platform.out();
    EXPECT_NE(out.find("[OUT] : [-a]"), std::string::npos) << out;
    EXPECT_NE(out.find("[OUT] : [-b]"), std::string::npos) << out;
    EXPECT_NE(out.find("Program Exit Value : 0"), std::string::npos) << out;
    Indication_Tools::debugMode = false;
}

TEST(UpdateProgramWindows, ExitCodeIsTaken) {
    std::vector<std::string> lines;
    const auto r = run({"exit", "3"}, lines);
    ASSERT_EQ(r.outcome, ProcessRunResult::Outcome::Exited) << r.error;
    EXPECT_EQ(r.exitValue, 3);
}

TEST(UpdateProgramWindows, FloodOnBothStreamsNeverBlocks) {
    std::vector<std::string> lines;
    // About 1.3 MB on each stream, twenty times a pipe's buffer.
    const auto r = run({"flood", "20000"}, lines);
    ASSERT_EQ(r.outcome, ProcessRunResult::Outcome::Exited) << r.error;
    ASSERT_EQ(lines.size(), 20000u);
    EXPECT_EQ(lines.front().rfind("out 0 ", 0), 0u);
    EXPECT_EQ(lines.back().rfind("out 19999 ", 0), 0u);
}

TEST(UpdateProgramWindows, HangIsEndedWithWhatItStarted) {
    std::vector<std::string> lines;
    ProcessLimits limits;
    limits.maxRunMs = 1500;
    const auto start = std::chrono::steady_clock::now();
    const auto r = run({"hang"}, lines, limits);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.outcome, ProcessRunResult::Outcome::IoError);
    EXPECT_NE(r.error.find("still running after 1500 ms"), std::string::npos) << r.error;
    EXPECT_LT(took, std::chrono::seconds(30));
    ASSERT_EQ(lines.size(), 1u);
    // The child it started is gone too (the job was ended with it).
    const std::string pid = lines[0].substr(6);
    std::vector<std::string> none;
    const auto check = Platform::current().runProgram({"C:\\windows\\system32\\tasklist.exe"}, [&](const std::string& l) {
        if (l.find(" " + pid + " ") != std::string::npos) none.push_back(l);
    }, {});
    if (check.outcome == ProcessRunResult::Outcome::Exited) {
        EXPECT_TRUE(none.empty()) << none[0];
    }
}

TEST(UpdateProgramWindows, WhatItLeavesRunningEndsWithTheRun) {
    std::vector<std::string> lines;
    ProcessLimits limits;
    limits.outputGraceMs = 500;  // should the child hold the output
    const auto r = run({"leave"}, lines, limits);
    ASSERT_EQ(r.outcome, ProcessRunResult::Outcome::Exited) << r.error;
    ASSERT_EQ(lines.size(), 1u);
    HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, std::stoul(lines[0].substr(6)));
    if (child == nullptr) return;  // gone already
    // Ended by the run (its own end never comes), not by itself.
    EXPECT_EQ(WaitForSingleObject(child, 30'000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(child, &code));
    EXPECT_EQ(code, 1u);
    CloseHandle(child);
}

TEST(UpdateProgramWindows, MissingProgramIsAnError) {
    std::vector<std::string> lines;
    const auto r = Platform::current().runProgram({"Z:\\no\\such\\program.exe"}, [](const std::string&) {}, {});
    EXPECT_NE(r.outcome, ProcessRunResult::Outcome::Exited);
    EXPECT_NE(r.error.find("Cannot run program"), std::string::npos) << r.error;
}

}  // namespace
