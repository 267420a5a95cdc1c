// The course of an update-program run, the same on every system.

#include "platform/ProgramRun.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

namespace {

// How often a program whose output stays quiet is checked for having ended.
constexpr int64_t kEndCheckMs = 100;

std::string limitText(const std::string& program, int64_t maxRunMs) {
    return "program \"" + program + "\" still running after " +
           (maxRunMs % 1000 == 0 ? std::to_string(maxRunMs / 1000) + " s" : std::to_string(maxRunMs) + " ms") +
           ", stopped";
}

void join(std::string& text, const std::string& more) {
    if (more.empty()) return;
    if (!text.empty()) text += "; ";
    text += more;
}

}  // namespace

bool os::checkProgramArguments(const std::vector<std::string>& args, ProcessRunResult& result) {
    std::string refusal;
    if (args.empty() || args[0].empty()) {
        refusal = "no program to run";
    } else if (std::any_of(args.begin(), args.end(),
                           [](const std::string& a) { return a.find('\0') != std::string::npos; })) {
        refusal = "invalid null character in the command";
    }
    if (refusal.empty()) return true;
    result.outcome = ProcessRunResult::Outcome::StartRefused;
    result.error = refusal;
    return false;
}

os::ProgramOutput::ProgramOutput(std::string program, size_t maxLineBytes,
                                 std::function<void(const std::string&)> onLine)
    : program_(std::move(program)), lines_(maxLineBytes, std::move(onLine)) {}

template <class Step>
void os::ProgramOutput::pass(Step step) {
    if (failed()) return;
    try {
        step();
    } catch (const std::exception& e) {
        fail(e.what());
    } catch (...) {
        fail("");
    }
}

void os::ProgramOutput::out(const char* data, size_t n) {
    pass([&] { lines_.feed(data, n); });
}

void os::ProgramOutput::err(const char* data, size_t n) { keepErrorTail(errorTail_, data, n); }

void os::ProgramOutput::end() {
    pass([&] { lines_.finish(); });
}

void os::ProgramOutput::fail(const std::string& text) {
    // An exception without a text still fails the run.
    if (failure_.empty()) failure_ = text.empty() ? "cannot pass on the output of " + program_ : text;
}

int64_t os::StartedProgram::nowMillis() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

ProcessRunResult os::runStarted(StartedProgram& program, ProgramOutput& output, const ProcessLimits& limits) {
    const int64_t deadline = program.nowMillis() + std::max<int64_t>(limits.maxRunMs, 0);
    const int64_t grace = std::max<int64_t>(limits.outputGraceMs, 0);
    bool ended = false;
    int64_t endedAt = 0;
    for (bool open = true; open && !output.failed();) {
        const int64_t now = program.nowMillis();
        if (!ended && now >= deadline) break;
        if (!ended && program.waitEnd(0)) {
            ended = true;
            endedAt = now;
        }
        // Once the program has ended, someone it left behind may hold its output.
        const int64_t until = ended ? endedAt + grace : std::min(deadline, now + kEndCheckMs);
        if (now >= until) break;
        open = program.pumpOutput(until - now, output);
    }
    output.end();
    program.closeOutputs();
    // The limit holds here too: for a program that closed its outputs and
    // goes on, and for one whose output failed.
    while (!ended) {
        const int64_t now = program.nowMillis();
        if (now >= deadline) break;
        ended = program.waitEnd(std::min(deadline - now, kEndCheckMs));
    }
    const std::string leftRunning = program.endAll();
    int exitValue = 0;
    std::string waitError;
    const bool released = program.release(exitValue, waitError);

    ProcessRunResult result;
    result.errorTail = std::move(output.errorTail());
    std::string error = output.failure();
    if (!ended) {
        std::string stopped = limitText(output.program(), limits.maxRunMs);
        join(stopped, leftRunning);
        join(error, stopped);
    }
    if (!released) join(error, waitError);
    if (!error.empty()) {
        result.outcome = ProcessRunResult::Outcome::IoError;
        result.error = error;
        return result;
    }
    result.outcome = ProcessRunResult::Outcome::Exited;
    result.exitValue = exitValue;
    return result;
}
