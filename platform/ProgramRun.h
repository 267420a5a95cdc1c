#pragma once
// What the two process runners share: the checks of the arguments, the
// output cut into lines with the run's first failure kept, and the course of
// a run once its program has started (output, run limit, grace, the end of
// everything it started), over each system's side of one started program.

#include "support/LineSplitter.h"
#include "support/ProcessRunner.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace os {

// False, with result set to a refused start, when args name no program or
// one of them holds a null character.
bool checkProgramArguments(const std::vector<std::string>& args, ProcessRunResult& result);

// A run's output: standard output cut into lines for the caller's handler,
// the last bytes of standard error, and the first failure of the run.
class ProgramOutput {
public:
    ProgramOutput(std::string program, size_t maxLineBytes, std::function<void(const std::string&)> onLine);

    // A handler that throws fails the run; what comes after is dropped.
    void out(const char* data, size_t n);
    void err(const char* data, size_t n);
    // Hands over the unterminated last line, unless the run has failed.
    void end();

    // Keeps text as the run's failure, unless it has one already.
    void fail(const std::string& text);
    bool failed() const { return !failure_.empty(); }
    const std::string& failure() const { return failure_; }
    const std::string& program() const { return program_; }
    std::string& errorTail() { return errorTail_; }

private:
    template <class Step>
    void pass(Step step);

    std::string program_;
    LineSplitter lines_;
    std::string errorTail_;
    std::string failure_;
};

// The system's side of one started program, used by runStarted from one
// thread. Whatever way out, its destructor ends the program with everything
// it started and releases it.
class StartedProgram {
public:
    virtual ~StartedProgram() = default;

    // A steady clock in milliseconds: a change of the wall clock neither
    // shortens nor stretches the run limit.
    virtual int64_t nowMillis();
    // Waits at most ms for output and hands what comes to output (a read
    // that fails fails the run there); false once both outputs have closed.
    virtual bool pumpOutput(int64_t ms, ProgramOutput& output) = 0;
    // Closes our ends of the outputs: a program still writing then gets an
    // error instead of blocking.
    virtual void closeOutputs() = 0;
    // Waits at most ms (0: not at all) for the program to end; true once it
    // has. It is not released: what it started can still be ended.
    virtual bool waitEnd(int64_t ms) = 0;
    // Ends the program, if it still runs, and everything it started; says
    // what it could not end (empty when nothing).
    virtual std::string endAll() = 0;
    // Waits for the ended program and releases it; false with error set when
    // its exit value cannot be had.
    virtual bool release(int& exitValue, std::string& error) = 0;
};

// Runs a started program to its end: reads its output until it closes, or
// until a process the program left running has held it open for the grace;
// holds the program to the run limit on every path (a failed read, a
// handler that throws, outputs closed early); then ends everything the
// program started and releases it.
ProcessRunResult runStarted(StartedProgram& program, ProgramOutput& output, const ProcessLimits& limits);

}  // namespace os
