// POSIX implementation of the update-program runner. The program leads a
// process group of its own, so that what it starts (curl under a shell) is
// ended with it. It is released only after that group has been ended: until
// then its id can name no other group.

#include "support/ProcessRunner.h"

#include "platform/ProgramRun.h"
#include "platform/SystemPlatform.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/PosixSignals.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

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

class PosixProgram final : public os::StartedProgram {
public:
    explicit PosixProgram(const std::string& program) : program_(program) {}
    ~PosixProgram() override {
        if (pid_ <= 0 || released_) return;
        endAll();
        int exitValue = 0;
        std::string error;
        release(exitValue, error);
    }

    // Starts args with both outputs piped to us; false with result set when it cannot.
    bool start(const std::vector<std::string>& args, ProcessRunResult& result);

    bool pumpOutput(int64_t ms, os::ProgramOutput& output) override;

    void closeOutputs() override {
        out_.close();
        err_.close();
    }

    bool waitEnd(int64_t ms) override {
        // Short pauses first: a program that closed its outputs usually ends at once.
        for (int64_t pause = 1;; pause = std::min<int64_t>(pause * 2, 50)) {
            if (ended()) return true;
            if (ms <= 0) return false;
            pause = std::min(pause, ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            ms -= pause;
        }
    }

    std::string endAll() override {
        // Unless someone else released the program: its id may then be another's.
        if (waitFailure_ == 0 && pid_ > 1) ::kill(-pid_, SIGKILL);
        return {};
    }

    bool release(int& exitValue, std::string& error) override {
        released_ = true;
        int status = 0;
        pid_t w = -1;
        if (waitFailure_ == 0) {
            do w = waitpid(pid_, &status, 0);
            while (w < 0 && errno == EINTR);
            if (w < 0) waitFailure_ = errno;
        }
        if (waitFailure_ != 0) {
            error = describe("cannot wait for " + program_, waitFailure_);
            return false;
        }
        exitValue = exitValueOf(status);
        return true;
    }

private:
    // Whether the program has ended, without releasing it.
    bool ended() {
        if (ended_) return true;
        siginfo_t info{};
        int rc;
        do rc = waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
        while (rc < 0 && errno == EINTR);
        // ECHILD: released behind our back (SIGCHLD ignored by someone).
        if (rc < 0) waitFailure_ = errno;
        ended_ = rc < 0 || info.si_pid == pid_;
        return ended_;
    }

    std::string program_;
    pid_t pid_ = -1;
    Descriptor out_, err_;
    bool ended_ = false;
    bool released_ = false;
    int waitFailure_ = 0;
    char buffer_[65536];
};

bool PosixProgram::start(const std::vector<std::string>& args, ProcessRunResult& result) {
    // Close-on-exec from the start: no other thread's child may inherit them.
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        result.error = describe("cannot create a pipe for " + program_, errno);
        return false;
    }
    out_ = Descriptor(outPipe[0]);
    Descriptor outWrite(outPipe[1]);
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        result.error = describe("cannot create a pipe for " + program_, errno);
        return false;
    }
    err_ = Descriptor(errPipe[0]);
    Descriptor errWrite(errPipe[1]);

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
        // this thread blocks and whatever the service ignores, in a group of its own.
        sigset_t none, brokenPipe;
        sigemptyset(&none);
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        rc = posix_spawnattr_setsigmask(&setup.attributes, &none);
        if (rc == 0) rc = posix_spawnattr_setsigdefault(&setup.attributes, &brokenPipe);
        if (rc == 0) rc = posix_spawnattr_setpgroup(&setup.attributes, 0);
        if (rc == 0)
            rc = posix_spawnattr_setflags(&setup.attributes,
                                          POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    if (rc != 0) {
        result.outcome = ProcessRunResult::Outcome::StartRefused;
        result.error = describe("cannot prepare the start of " + program_, rc);
        return false;
    }

    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    rc = posix_spawn(&pid_, program_.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    // Our copies of the write ends go as they go out of scope here, or the
    // reads would never see the end.
    if (rc == 0) return true;
    pid_ = -1;
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
    result.error = describe("Cannot run program \"" + program_ + "\"", rc);
    return false;
}

bool PosixProgram::pumpOutput(int64_t ms, os::ProgramOutput& output) {
    pollfd fds[2];
    nfds_t count = 0;
    if (out_.open()) fds[count++] = {out_.get(), POLLIN, 0};
    if (err_.open()) fds[count++] = {err_.get(), POLLIN, 0};
    if (count == 0) return false;
    if (poll(fds, count, static_cast<int>(std::clamp<int64_t>(ms, 0, 60'000))) < 0) {
        if (errno != EINTR) output.fail(describe("cannot wait for the output of " + program_, errno));
        return true;
    }
    for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents == 0) continue;
        Descriptor& from = fds[i].fd == out_.get() ? out_ : err_;
        const ssize_t n = ::read(from.get(), buffer_, sizeof buffer_);
        if (n < 0) {
            if (errno != EINTR && errno != EAGAIN)
                output.fail(describe("cannot read the output of " + program_, errno));
        } else if (n == 0) {
            from.close();
        } else if (&from == &out_) {
            output.out(buffer_, static_cast<size_t>(n));
        } else {
            output.err(buffer_, static_cast<size_t>(n));
        }
    }
    return out_.open() || err_.open();
}

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
    if (!checkProgramArguments(args, result)) return result;
    PosixProgram program(args[0]);
    if (!program.start(args, result)) return result;
    ProgramOutput output(args[0], limits.maxLineBytes, onLine);
    return runStarted(program, output, limits);
}
