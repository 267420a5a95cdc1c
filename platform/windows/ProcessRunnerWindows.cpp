// Windows implementation of the update-program runner. The program and
// whatever it starts share a job that ends with the run, and with the
// service's process, however that ends.

#include "support/ProcessRunner.h"

#include "platform/ProgramRun.h"
#include "platform/SystemPlatform.h"

#include "platform/windows/WinText.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include "platform/windows/WinHandles.h"

#include <algorithm>
#include <mutex>

namespace {

// How long the reader rests when neither stream has anything to read.
constexpr int64_t kIdlePauseMs = 5;

using win::Handle;

// Handles become inheritable only while one process is being created, so a
// program started by another thread at the same moment never gets them.
std::mutex inheritMutex;

std::string describe(const std::string& what, DWORD code) { return what + " (" + win::errorText(code) + ")"; }

DWORD waitMillis(int64_t ms) { return static_cast<DWORD>(std::clamp<int64_t>(ms, 0, INFINITE - 1)); }

// The command line: the program, then each parameter between double quotes,
// joined with spaces. The program's C runtime splits it again: a parameter
// holding a double quote, or ending in a backslash, does not come back as it
// was (see the README).
std::wstring commandLine(const std::vector<std::string>& args) {
    std::wstring line = L"\"" + win::widen(args[0]) + L"\"";
    for (size_t i = 1; i < args.size(); ++i) line += L" \"" + win::widen(args[i]) + L"\"";
    return line;
}

class WindowsProgram final : public os::StartedProgram {
public:
    explicit WindowsProgram(const std::string& program) : program_(program) {}
    ~WindowsProgram() override {
        if (process_.valid() && !released_) endAll();
    }

    // Starts args with both outputs piped to us; false with result set when it cannot.
    bool start(const std::vector<std::string>& args, ProcessRunResult& result);

    bool pumpOutput(int64_t ms, os::ProgramOutput& output) override {
        bool readSome = false;
        drain(out_, output, readSome, [&](const char* data, size_t n) { output.out(data, n); });
        drain(err_, output, readSome, [&](const char* data, size_t n) { output.err(data, n); });
        const bool open = out_.valid() || err_.valid();
        if (open && !readSome) Sleep(waitMillis(std::min(ms, kIdlePauseMs)));
        return open;
    }

    void closeOutputs() override {
        out_.close();
        err_.close();
    }

    bool waitEnd(int64_t ms) override { return WaitForSingleObject(process_.get(), waitMillis(ms)) == WAIT_OBJECT_0; }

    std::string endAll() override {
        if (inJob_) {
            TerminateJobObject(job_.get(), 1);
            return {};
        }
        if (WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
        return "it could not be put in a job (" + win::errorText(jobError_) +
               "), so only the program itself was stopped: what it started may still run";
    }

    bool release(int& exitValue, std::string& error) override {
        released_ = true;
        WaitForSingleObject(process_.get(), INFINITE);
        DWORD code = 0;
        if (!GetExitCodeProcess(process_.get(), &code)) {
            error = describe("cannot wait for " + program_, GetLastError());
            return false;
        }
        exitValue = static_cast<int>(code);
        return true;
    }

private:
    // Moves what is waiting in a pipe into sink; closes the pipe once it has
    // ended, failing the run when it ended with an error.
    template <class Sink>
    void drain(Handle& pipe, os::ProgramOutput& output, bool& readSome, Sink sink) {
        if (!pipe.valid()) return;
        DWORD available = 0, n = 0;
        const bool ok = PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr) &&
                        (available == 0 || ReadFile(pipe.get(), buffer_, std::min<DWORD>(available, sizeof buffer_),
                                                    &n, nullptr));
        if (!ok) {
            const DWORD e = GetLastError();
            if (e != ERROR_BROKEN_PIPE) output.fail(describe("cannot read the output of " + program_, e));
            pipe.close();
            return;
        }
        if (n > 0) {
            readSome = true;
            sink(buffer_, n);
        }
    }

    std::string program_;
    Handle out_, err_, process_, job_;
    bool inJob_ = false;
    DWORD jobError_ = 0;
    bool released_ = false;
    char buffer_[65536];
};

bool WindowsProgram::start(const std::vector<std::string>& args, ProcessRunResult& result) {
    std::wstring application;
    win::fileSystemPath(program_, application);
    std::wstring line = commandLine(args);

    Handle outWrite, errWrite, input;
    if (!CreatePipe(out_.put(), outWrite.put(), nullptr, 1 << 16) ||
        !CreatePipe(err_.put(), errWrite.put(), nullptr, 1 << 16)) {
        result.error = describe("cannot create a pipe for " + program_, GetLastError());
        return false;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    input.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                            nullptr));
    if (!input.valid()) input.release();  // the child then has no standard input

    // Closing the job's last handle ends what is in it: nothing the program
    // started outlives the service, even one that dies.
    job_.reset(CreateJobObjectW(nullptr, nullptr));
    if (!job_.valid()) {
        result.error = describe("cannot prepare the start of " + program_, GetLastError());
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION endWithUs{};
    endWithUs.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &endWithUs, sizeof endWithUs);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    PROCESS_INFORMATION info{};
    BOOL started;
    DWORD startError = 0;
    {
        std::lock_guard lock(inheritMutex);
        SetHandleInformation(outWrite.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        SetHandleInformation(errWrite.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                                 CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
                                 &startup, &info);
        if (!started) startError = GetLastError();
        SetHandleInformation(outWrite.get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(errWrite.get(), HANDLE_FLAG_INHERIT, 0);
    }
    // Our copies of the write ends go as they go out of scope here, or the
    // reads would never see the end.
    if (!started) {
        switch (startError) {
            case ERROR_INVALID_PARAMETER:
            case ERROR_NOT_ENOUGH_MEMORY:
            case ERROR_OUTOFMEMORY:
            case ERROR_FILENAME_EXCED_RANGE:
            case ERROR_BAD_EXE_FORMAT:
                result.outcome = ProcessRunResult::Outcome::StartRefused;
                break;
            default:
                result.outcome = ProcessRunResult::Outcome::IoError;
        }
        result.error = describe("Cannot run program \"" + program_ + "\"", startError);
        return false;
    }
    process_.reset(info.hProcess);
    Handle thread(info.hThread);
    // Where a parent job forbids nesting (older Windows), the program stays
    // out of ours: the run limit can then end the program alone.
    inJob_ = AssignProcessToJobObject(job_.get(), process_.get()) != 0;
    if (!inJob_) jobError_ = GetLastError();
    ResumeThread(thread.get());
    return true;
}

}  // namespace

ProcessRunResult os::runProgram(const std::vector<std::string>& args,
                                const std::function<void(const std::string& line)>& onLine,
                                const ProcessLimits& limits) {
    ProcessRunResult result;
    if (!checkProgramArguments(args, result)) return result;
    WindowsProgram program(args[0]);
    if (!program.start(args, result)) return result;
    ProgramOutput output(args[0], limits.maxLineBytes, onLine);
    return runStarted(program, output, limits);
}
