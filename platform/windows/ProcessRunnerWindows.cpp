// Windows implementation of the update-program runner.

#include "support/ProcessRunner.h"

#include "platform/SystemPlatform.h"

#include "platform/windows/ProcessRunnerWindows.h"
#include "platform/windows/WinText.h"
#include "support/LineSplitter.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include "platform/windows/WinHandles.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// How long the reader rests when neither stream has anything to read.
constexpr DWORD kIdlePauseMs = 5;

using win::Handle;

std::atomic<bool> refuseJobAssignment{false};

// Handles become inheritable only while one process is being created, so a
// program started by another thread at the same moment never gets them.
std::mutex inheritMutex;

std::string describe(const std::string& what, DWORD code) { return what + " (" + win::errorText(code) + ")"; }

// The command line: the program, then each parameter between double quotes,
// joined with spaces. The program's C runtime splits it again: a parameter
// holding a double quote, or ending in a backslash, does not come back as it
// was (see the README).
std::wstring commandLine(const std::vector<std::string>& args) {
    std::wstring line = L"\"" + win::widen(args[0]) + L"\"";
    for (size_t i = 1; i < args.size(); ++i) line += L" \"" + win::widen(args[i]) + L"\"";
    return line;
}

// Moves what is waiting in a pipe into sink; false once the pipe has ended
// (or failed, with err set).
bool drain(Handle& pipe, char* buffer, DWORD size, bool& readSome, DWORD& err,
           const std::function<void(const char*, size_t)>& sink) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr)) {
        const DWORD e = GetLastError();
        if (e != ERROR_BROKEN_PIPE) err = e;
        pipe.close();
        return false;
    }
    if (available == 0) return true;
    DWORD n = 0;
    if (!ReadFile(pipe.get(), buffer, std::min(available, size), &n, nullptr)) {
        const DWORD e = GetLastError();
        if (e != ERROR_BROKEN_PIPE) err = e;
        pipe.close();
        return false;
    }
    if (n > 0) {
        readSome = true;
        sink(buffer, n);
    }
    return true;
}

}  // namespace

ProcessRunResult os::runProgram(const std::vector<std::string>& args,
                            const std::function<void(const std::string& line)>& onLine,
                            const ProcessLimits& limits) {
    ProcessRunResult result;
    if (args.empty() || args[0].empty()) {
        result.outcome = ProcessRunResult::Outcome::StartRefused;
        result.error = "no program to run";
        return result;
    }
    for (const std::string& a : args) {
        if (a.find('\0') != std::string::npos) {
            result.outcome = ProcessRunResult::Outcome::StartRefused;
            result.error = "invalid null character in the command";
            return result;
        }
    }
    const std::string& program = args[0];
    std::wstring application;
    win::fileSystemPath(program, application);
    std::wstring line = commandLine(args);

    Handle outRead, outWrite, errRead, errWrite, input;
    if (!CreatePipe(outRead.put(), outWrite.put(), nullptr, 1 << 16) ||
        !CreatePipe(errRead.put(), errWrite.put(), nullptr, 1 << 16)) {
        result.error = describe("cannot create a pipe for " + program, GetLastError());
        return result;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    input.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0,
                            nullptr));
    if (!input.valid()) input.release();  // the child then has no standard input

    // The program and whatever it starts share a job: the run limit ends them all.
    Handle job(CreateJobObjectW(nullptr, nullptr));
    if (!job.valid()) {
        result.error = describe("cannot prepare the start of " + program, GetLastError());
        return result;
    }

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
    // Our copies of the write ends must go, or the reads below never see the end.
    outWrite.close();
    errWrite.close();
    input.close();
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
        result.error = describe("Cannot run program \"" + program + "\"", startError);
        return result;
    }
    Handle process(info.hProcess), thread(info.hThread);
    // Where a parent job forbids nesting (older Windows), the program stays
    // out of ours: the run limit can then end the program alone.
    const bool inJob = !refuseJobAssignment && AssignProcessToJobObject(job.get(), process.get());
    const DWORD jobError = inJob ? 0 : refuseJobAssignment ? ERROR_ACCESS_DENIED : GetLastError();
    const auto stop = [&] {
        if (inJob) {
            TerminateJobObject(job.get(), 1);
        } else {
            TerminateProcess(process.get(), 1);
        }
    };
    ResumeThread(thread.get());
    thread.close();

    LineSplitter lines(limits.maxLineBytes, onLine);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max<int64_t>(limits.maxRunMs, 0));
    bool ended = false;
    Clock::time_point endedAt{};
    std::string readError;
    DWORD pipeError = 0;
    static thread_local char buffer[65536];
    const auto toLines = [&](const char* data, size_t n) { lines.feed(data, n); };
    const auto errorTail = [&](const char* data, size_t n) { keepErrorTail(result.errorTail, data, n); };

    while (outRead.valid() || errRead.valid()) {
        if (!ended && Clock::now() >= deadline) {
            stop();
            readError = "program \"" + program + "\" still running after " +
                        (limits.maxRunMs % 1000 == 0 ? std::to_string(limits.maxRunMs / 1000) + " s"
                                                     : std::to_string(limits.maxRunMs) + " ms") +
                        ", stopped";
            if (!inJob) {
                readError += "; it could not be put in a job (" + win::errorText(jobError) +
                             "), so only the program itself was stopped: what it started may still run";
            }
            break;
        }
        if (!ended && WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
            ended = true;
            endedAt = Clock::now();
        }
        // The program has ended but someone it left behind holds its output.
        if (ended && Clock::now() - endedAt >= std::chrono::milliseconds(limits.outputGraceMs)) break;
        bool readSome = false;
        try {
            if (outRead.valid()) drain(outRead, buffer, sizeof buffer, readSome, pipeError, toLines);
            if (errRead.valid()) drain(errRead, buffer, sizeof buffer, readSome, pipeError, errorTail);
        } catch (const std::exception& e) {
            readError = e.what();
        } catch (...) {
            readError = "cannot pass on the output of " + program;
        }
        if (!readError.empty()) break;
        if (pipeError != 0) {
            readError = describe("cannot read the output of " + program, pipeError);
            break;
        }
        if (!readSome) Sleep(kIdlePauseMs);
    }

    if (readError.empty()) {
        try {
            lines.finish();
        } catch (const std::exception& e) {
            readError = e.what();
        } catch (...) {
            readError = "cannot pass on the output of " + program;
        }
    }
    // Closing first means a program still writing gets an error instead of blocking.
    outRead.close();
    errRead.close();
    // The run limit holds here too: a program that ignores its closed output.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (WaitForSingleObject(process.get(), static_cast<DWORD>(std::clamp<int64_t>(left, 0, INFINITE - 1))) !=
        WAIT_OBJECT_0) {
        stop();
        WaitForSingleObject(process.get(), INFINITE);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code) && readError.empty())
        readError = describe("cannot wait for " + program, GetLastError());

    if (!readError.empty()) {
        result.outcome = ProcessRunResult::Outcome::IoError;
        result.error = readError;
        return result;
    }
    result.outcome = ProcessRunResult::Outcome::Exited;
    result.exitValue = static_cast<int>(code);
    return result;
}

namespace win {

void refuseJobAssignmentForTests(bool refuse) { refuseJobAssignment = refuse; }

}  // namespace win
