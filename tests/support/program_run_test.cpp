// The course of a program run, the same on every system, over a scripted
// program on a fake clock: the run limit holds on every path, and the end of
// everything the program started comes last, whatever happened before.

#include "platform/ProgramRun.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// What the program does, in milliseconds from its start.
struct Script {
    int64_t endsAt = kNever;
    int64_t outputClosesAt = kNever;
    int64_t writesAt = kNever;  // one line, "line\n"
    int64_t readFailsAt = kNever;
    const char* leftRunning = "";  // what endAll says it could not end
    bool releaseFails = false;
};

class ScriptedProgram : public os::StartedProgram {
public:
    explicit ScriptedProgram(Script s) : s_(std::move(s)) {}

    int64_t nowMillis() override { return now; }
    bool pumpOutput(int64_t ms, os::ProgramOutput& output) override {
        const int64_t event = std::min({s_.outputClosesAt, s_.writesAt, s_.readFailsAt});
        if (event > now + ms) {
            now += ms;
            return true;
        }
        now = std::max(now, event);
        if (event == s_.writesAt) {
            s_.writesAt = kNever;
            output.out("line\n", 5);
        } else if (event == s_.readFailsAt) {
            s_.readFailsAt = kNever;
            output.fail("read failed");
        }
        return now < s_.outputClosesAt;
    }
    void closeOutputs() override { s_.outputClosesAt = std::min(s_.outputClosesAt, now); }
    bool waitEnd(int64_t ms) override {
        if (s_.endsAt > now + ms) {
            now += ms;
            return false;
        }
        now = std::max(now, s_.endsAt);
        return true;
    }
    std::string endAll() override {
        killedRunning = now < s_.endsAt;
        endedAllAt = now;
        return s_.leftRunning;
    }
    bool release(int& exitValue, std::string& error) override {
        released = true;
        exitValue = 3;
        if (s_.releaseFails) error = "cannot wait";
        return !s_.releaseFails;
    }

    int64_t now = 0;
    int64_t endedAllAt = -1;
    bool killedRunning = false;
    bool released = false;

private:
    Script s_;
};

struct Case {
    const char* name;
    Script script;
    bool throwingHandler;
    std::string error;  // empty: exited with 3
    int64_t endsAllAt;
};

const std::string kStopped = "program \"p\" still running after 1 s, stopped";

TEST(ProgramRun, LimitHoldsOnEveryPathAndEverythingStartedEndsLast) {
    const Case cases[] = {
        {"ends, then its output closes", {.endsAt = 60, .outputClosesAt = 70, .writesAt = 10}, false, "", 70},
        {"output closes, then it ends", {.endsAt = 60, .outputClosesAt = 50, .writesAt = 10}, false, "", 60},
        {"hangs with its output open", {.writesAt = 10}, false, kStopped, 1000},
        {"closes its output and hangs", {.outputClosesAt = 50}, false, kStopped, 1000},
        {"a read fails and it hangs", {.writesAt = 10, .readFailsAt = 20}, false, "read failed; " + kStopped, 1000},
        {"the handler throws and it hangs", {.writesAt = 10}, true, "no console; " + kStopped, 1000},
        {"a read fails, then it ends", {.endsAt = 300, .readFailsAt = 20}, false, "read failed", 300},
        // Its end is seen at the next check, 100 ms on; the grace counts from there.
        {"what it left holds its output", {.endsAt = 50, .writesAt = 10}, false, "", 410},
        {"it cannot be ended with what it started", {.leftRunning = "only the program itself was stopped"}, false,
         kStopped + "; only the program itself was stopped", 1000},
        {"its exit value cannot be had", {.endsAt = 60, .outputClosesAt = 50, .releaseFails = true}, false,
         "cannot wait", 60},
    };
    ProcessLimits limits;
    limits.maxRunMs = 1000;
    limits.outputGraceMs = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedProgram program(c.script);
        std::vector<std::string> lines;
        os::ProgramOutput output("p", 100, [&](const std::string& line) {
            if (c.throwingHandler) throw std::runtime_error("no console");
            lines.push_back(line);
        });
        const ProcessRunResult r = os::runStarted(program, output, limits);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.outcome, c.error.empty() ? ProcessRunResult::Outcome::Exited : ProcessRunResult::Outcome::IoError);
        if (c.error.empty()) {
            EXPECT_EQ(r.exitValue, 3);
        }
        EXPECT_EQ(program.endedAllAt, c.endsAllAt);
        EXPECT_EQ(program.killedRunning, c.endsAllAt == 1000);
        EXPECT_TRUE(program.released);
        if (c.script.writesAt != kNever && !c.throwingHandler) {
            EXPECT_EQ(lines, std::vector<std::string>{"line"});
        }
    }
}

TEST(ProgramRun, ArgumentsThatNameNoProgramAreRefused) {
    for (const auto& args : {std::vector<std::string>{}, {""}, {"p", std::string("a\0b", 3)}}) {
        ProcessRunResult r;
        EXPECT_FALSE(os::checkProgramArguments(args, r));
        EXPECT_EQ(r.outcome, ProcessRunResult::Outcome::StartRefused);
        EXPECT_FALSE(r.error.empty());
    }
    ProcessRunResult r;
    EXPECT_TRUE(os::checkProgramArguments({"p", ""}, r));
}

}  // namespace
