// POSIX implementation of the update-program runner.

#include "support/ProcessRunner.h"

#include "platform/SystemPlatform.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/PosixSignals.h"
#include "support/LineSplitter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// How often a program that keeps its output open is checked for having ended.
constexpr auto kExitCheckPeriod = std::chrono::milliseconds(100);

std::string describe(const std::string& what, int err) { return what + " (" + std::strerror(err) + ")"; }

int exitValueOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Attribute and file-action objects released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool actionsReady = false;
    bool attributesReady = false;
    ~SpawnSetup() {
        if (actionsReady) posix_spawn_file_actions_destroy(&actions);
        if (attributesReady) posix_spawnattr_destroy(&attributes);
    }
};

}  // namespace

void ignoreBrokenPipeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGPIPE, &ignore, nullptr);
        }
    });
}

ProcessRunResult os::runProgram(const std::vector<std::string>& args,
                            const std::function<void(const std::string& line)>& onLine,
                            const ProcessLimits& limits) {
    ignoreBrokenPipeSignal();
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

    // Close-on-exec from the start: no other thread's child may inherit them.
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        result.error = describe("cannot create a pipe for " + program, errno);
        return result;
    }
    Descriptor outRead(outPipe[0]), outWrite(outPipe[1]);
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        result.error = describe("cannot create a pipe for " + program, errno);
        return result;
    }
    Descriptor errRead(errPipe[0]), errWrite(errPipe[1]);

    SpawnSetup setup;
    int rc = posix_spawn_file_actions_init(&setup.actions);
    setup.actionsReady = rc == 0;
    if (rc == 0) rc = posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&setup.actions, outWrite.get(), STDOUT_FILENO);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&setup.actions, errWrite.get(), STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors opened by libraries without close-on-exec stay out of the child too.
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
#endif
    if (rc == 0) {
        rc = posix_spawnattr_init(&setup.attributes);
        setup.attributesReady = rc == 0;
    }
    if (rc == 0) {
        // The child starts with no blocked signals and a default SIGPIPE, whatever
        // this thread blocks and whatever the service ignores.
        sigset_t none, brokenPipe;
        sigemptyset(&none);
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        rc = posix_spawnattr_setsigmask(&setup.attributes, &none);
        if (rc == 0) rc = posix_spawnattr_setsigdefault(&setup.attributes, &brokenPipe);
        if (rc == 0) rc = posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    if (rc != 0) {
        result.outcome = ProcessRunResult::Outcome::StartRefused;
        result.error = describe("cannot prepare the start of " + program, rc);
        return result;
    }

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    rc = posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    // Our copies of the write ends must go, or the reads below never see the end.
    outWrite.close();
    errWrite.close();
    if (rc != 0) {
        switch (rc) {
            case E2BIG:
            case EINVAL:
            case ENOMEM:
            case EAGAIN:
                result.outcome = ProcessRunResult::Outcome::StartRefused;
                break;
            default:
                result.outcome = ProcessRunResult::Outcome::IoError;
        }
        result.error = describe("Cannot run program \"" + program + "\"", rc);
        return result;
    }

    LineSplitter lines(limits.maxLineBytes, onLine);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max<int64_t>(limits.maxRunMs, 0));
    bool reaped = false;
    int status = 0;
    Clock::time_point endedAt{};
    Clock::time_point lastExitCheck = Clock::now();
    std::string readError;

    auto checkExit = [&] {
        lastExitCheck = Clock::now();
        pid_t w;
        do w = waitpid(pid, &status, WNOHANG);
        while (w < 0 && errno == EINTR);
        if (w == pid || (w < 0 && errno == ECHILD)) {
            if (w < 0) readError = describe("cannot wait for " + program, ECHILD);
            reaped = true;
            endedAt = Clock::now();
        }
    };

    // Killed, then reaped below; what it left running is cut off by the grace.
    auto stopAtTheLimit = [&] {
        ::kill(pid, SIGKILL);
        readError = "program \"" + program + "\" still running after " +
                    (limits.maxRunMs % 1000 == 0 ? std::to_string(limits.maxRunMs / 1000) + " s"
                                                 : std::to_string(limits.maxRunMs) + " ms") +
                    ", stopped";
    };

    char buffer[65536];
    while (outRead.open() || errRead.open()) {
        int timeoutMs = static_cast<int>(kExitCheckPeriod.count());
        if (!reaped && Clock::now() >= deadline) {
            stopAtTheLimit();
            break;
        }
        if (reaped) {
            // The program has ended but someone it left behind holds its output.
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                endedAt + std::chrono::milliseconds(limits.outputGraceMs) - Clock::now());
            if (left.count() <= 0) break;
            timeoutMs = static_cast<int>(std::min<int64_t>(left.count(), timeoutMs));
        }
        pollfd fds[2];
        nfds_t count = 0;
        if (outRead.open()) fds[count++] = {outRead.get(), POLLIN, 0};
        if (errRead.open()) fds[count++] = {errRead.get(), POLLIN, 0};
        int ready = poll(fds, count, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            readError = describe("cannot wait for the output of " + program, errno);
            break;
        }
        for (nfds_t i = 0; i < count && readError.empty(); ++i) {
            if (fds[i].revents == 0) continue;
            const bool isOut = fds[i].fd == outRead.get();
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                readError = describe("cannot read the output of " + program, errno);
            } else if (n == 0) {
                if (isOut) {
                    outRead.close();
                } else {
                    errRead.close();
                }
            } else if (isOut) {
                try {
                    lines.feed(buffer, static_cast<size_t>(n));
                } catch (const std::exception& e) {
                    readError = e.what();
                } catch (...) {
                    readError = "cannot pass on the output of " + program;
                }
            } else {
                keepErrorTail(result.errorTail, buffer, static_cast<size_t>(n));
            }
        }
        if (!readError.empty()) break;
        if (!reaped && (ready == 0 || Clock::now() - lastExitCheck >= kExitCheckPeriod)) checkExit();
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
    // Closing first means a child still writing gets an error instead of blocking.
    outRead.close();
    errRead.close();
    // A program that closed its outputs and goes on is held to the limit too.
    while (!reaped && readError.empty()) {
        if (Clock::now() >= deadline) {
            stopAtTheLimit();
            break;
        }
        checkExit();
        if (!reaped) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            std::this_thread::sleep_for(std::clamp(left, std::chrono::milliseconds(1), kExitCheckPeriod));
        }
    }
    if (!reaped) {
        pid_t w;
        do w = waitpid(pid, &status, 0);
        while (w < 0 && errno == EINTR);
        if (w < 0 && readError.empty()) readError = describe("cannot wait for " + program, errno);
    }

    if (!readError.empty()) {
        result.outcome = ProcessRunResult::Outcome::IoError;
        result.error = readError;
        return result;
    }
    result.outcome = ProcessRunResult::Outcome::Exited;
    result.exitValue = exitValueOf(status);
    return result;
}
