// Running the update program: small shell scripts written into a temporary
// folder stand for it.

#include "support/Indication_Tools.h"
#include "support/RemoteUpdate.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kLog = "log_quoteforge.txt";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class UpdateProgram : public ::testing::Test {
protected:
    void SetUp() override {
        // What the programs start and leave behind becomes ours once they
        // end, so that the tests can tell how it ended.
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        platform_.captureAllAppends();
        char tmpl[] = "/tmp/zk_update_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        savedSeparator_ = Indication_Tools::fileSeparator;
        Indication_Tools::fileSeparator = '/';
        SysProperties.store(nullptr);
    }
    void TearDown() override {
        Indication_Tools::fileSeparator = savedSeparator_;
        setRemoteUpdateLimits(RemoteUpdateLimits{});
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    std::string script(const std::string& name, const std::string& body, mode_t mode = 0755) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), mode);
        return path;
    }
    // The signal that ended the process whose id the program wrote to file
    // (0 when it ended by itself): a leftover waited for once it is ours.
    int signalThatEnded(const std::string& file) {
        pid_t pid = 0;
        std::ifstream(dir_ + "/" + file) >> pid;
        int status = 0;
        if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    // The program's output lines as echoed on the console.
    std::vector<std::string> echoed() {
        std::vector<std::string> out;
        for (const std::string& l : lines(platform_.out()))
            if (l.rfind("[Indication_Tools] : [OUT] : ", 0) == 0) out.push_back(l.substr(29));
        return out;
    }

    TestPlatform platform_;
    std::string dir_;
    char savedSeparator_ = '/';
};

TEST_F(UpdateProgram, ANonZeroExitValueIsAFailureAndItsStandardErrorIsLogged) {
    const std::string prog =
        script("update.sh", "echo hello\necho world\necho 'curl: (7) Failed to connect' >&2\nexit 7");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 7);
    EXPECT_EQ(platform_.out(),
              "[Indication_Tools] : [OUT] : hello\n"
              "[Indication_Tools] : [OUT] : world\n"
              "[Indication_Tools] : Program Exit Value : 7\n"
              "[Indication_Tools] : [ERR] : curl: (7) Failed to connect\n");
    // The reason reaches the log without the printout flag; the output does not.
    const std::string log = platform_.file(kLog);
    EXPECT_NE(log.find("  |_ [Indication_Tools] : Program Exit Value : 7\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  |_ [Indication_Tools] : [ERR] : curl: (7) Failed to connect\r\n"), std::string::npos);
    EXPECT_EQ(log.find("[OUT]"), std::string::npos);

    // Success: 0, and its standard error, like its output, only with the flag.
    const std::string fine = script("fine.sh", "echo note >&2\nexit 0");
    platform_.clearOut();
    EXPECT_EQ(Indication_Tools::ExecuteApplication(fine, "", false), 0);
    EXPECT_EQ(platform_.file(kLog), log);
    EXPECT_EQ(Indication_Tools::ExecuteApplication(fine, "", true), 0);
    EXPECT_NE(platform_.file(kLog).find("  |_ [Indication_Tools] : [ERR] : note\r\n"), std::string::npos);

    // Only the last 4 KiB of a long standard error are kept.
    const std::string chatty = script("chatty.sh", "i=0; while [ $i -lt 2000 ]; do echo \"line $i\" >&2; i=$((i+1)); done\nexit 1");
    platform_.clearOut();
    EXPECT_EQ(Indication_Tools::ExecuteApplication(chatty, "", false), 1);
    EXPECT_NE(platform_.out().find("[ERR] : line 1999\n"), std::string::npos);
    EXPECT_EQ(platform_.out().find("[ERR] : line 1000\n"), std::string::npos);
}

TEST_F(UpdateProgram, ProgramEndedByASignalReportsItsNumberPlus128) {
    const std::string prog = script("killed.sh", "kill -TERM $$");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 128 + SIGTERM);
    EXPECT_NE(platform_.out().find("Program Exit Value : " + std::to_string(128 + SIGTERM)), std::string::npos);
}

TEST_F(UpdateProgram, MissingProgramIsReportedAndNothingRuns) {
    const std::string path = dir_ + "/nowhere/update.sh";
    EXPECT_EQ(Indication_Tools::ExecuteApplication(path, "-a", false), -4);
    const std::string message = "[Indication_Tools] : [ERROR] : " + path + " not found!";
    EXPECT_EQ(platform_.out(), message + "\n");
    EXPECT_NE(platform_.file(kLog).find("  |_ " + message + "\r\n"), std::string::npos);
    // A folder is not a program either.
    EXPECT_EQ(Indication_Tools::ExecuteApplication(dir_, "", false), -4);
}

TEST_F(UpdateProgram, SlashesBecomeThePlatformSeparator) {
    const std::string prog = script("sep.sh", "echo found");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 0);
    EXPECT_EQ(echoed(), std::vector<std::string>{"found"});

    // Where the separator is a backslash the same path is looked up with backslashes.
    Indication_Tools::fileSeparator = '\\';
    platform_.clearOut();
    std::string expected = prog;
    for (char& c : expected)
        if (c == '/') c = '\\';
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), -4);
    EXPECT_EQ(platform_.out(), "[Indication_Tools] : [ERROR] : " + expected + " not found!\n");
}

TEST_F(UpdateProgram, ParametersAreSplitAtSpacesAndReachTheProgramVerbatim) {
    const std::string prog = script("args.sh", "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "-a  -b", false), 0);
    EXPECT_EQ(echoed(), (std::vector<std::string>{"<-a>", "<-b>"}));

    // No shell in between: its special characters stay as they are.
    platform_.clearOut();
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "  $HOME;touch 'x' * `id` ", false), 0);
    EXPECT_EQ(echoed(), (std::vector<std::string>{"<$HOME;touch>", "<'x'>", "<*>", "<`id`>"}));
    EXPECT_NE(access((dir_ + "/x").c_str(), F_OK), 0);

    platform_.clearOut();
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 0);
    EXPECT_EQ(echoed(), std::vector<std::string>{});
}

TEST_F(UpdateProgram, ErrorFloodAndLongOutputNeverBlock) {
    // 8 MB on standard error before any output: an undrained error pipe would
    // block the program while we wait on its output.
    const std::string prog = script("flood.sh", "head -c 8000000 /dev/zero >&2\nseq 1 50000\nhead -c 4000000 /dev/zero >&2");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 0);
    std::vector<std::string> out = echoed();
    ASSERT_EQ(out.size(), 50000u);
    EXPECT_EQ(out.front(), "1");
    EXPECT_EQ(out.back(), "50000");
    EXPECT_NE(platform_.out().find("Program Exit Value : 0"), std::string::npos);
}

TEST_F(UpdateProgram, LineEndsEncodingsAndOverlongLines) {
    RemoteUpdateLimits limits;
    limits.process.maxLineBytes = 1000;
    setRemoteUpdateLimits(limits);
    const std::string prog = script("ends.sh",
                                    "printf 'a\\r\\nb\\rc\\n\\nd\\303\\251\\ne\\351\\n'\n"
                                    "head -c 2500 /dev/zero | tr '\\0' x; echo\n"
                                    "printf 'last'");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 0);
    EXPECT_EQ(echoed(), (std::vector<std::string>{"a", "b", "c", "", "d\xC3\xA9", "e\xC3\xA9", std::string(1000, 'x'),
                                                  std::string(1000, 'x'), std::string(500, 'x'), "last"}));
}

TEST_F(UpdateProgram, ProgramThatCannotStartIsAnIOException) {
    const std::string prog = script("noexec.sh", "echo never", 0644);
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), -2);
    const std::string console = platform_.out();
    EXPECT_EQ(console.rfind("[Indication_Tools] : [ERROR] : IOException: ", 0), 0u) << console;
    EXPECT_NE(platform_.file(kLog).find("[ERROR] : IOException: "), std::string::npos);
}

TEST_F(UpdateProgram, NoDescriptorLeaksIntoTheProgramAndStdinIsEmpty) {
    // A descriptor opened without close-on-exec, as a careless library would.
    int raw = open("/dev/null", O_RDONLY);
    int fd = fcntl(raw, F_DUPFD, 57);
    close(raw);
    ASSERT_EQ(fd, 57);
    const std::string prog =
        script("fds.sh", "if [ -e /proc/$$/fd/57 ]; then echo leaked; else echo clean; fi\n"
                         "read line; echo \"stdin[$line]\"");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 0);
    close(fd);
    EXPECT_EQ(echoed(), (std::vector<std::string>{"clean", "stdin[]"}));
}

TEST_F(UpdateProgram, WhatItLeavesRunningEndsWithTheRun) {
    RemoteUpdateLimits limits;
    limits.process.outputGraceMs = 300;
    setRemoteUpdateLimits(limits);
    // One leftover holds the output open (read until the grace), one does not.
    const std::string prog = script("detach.sh", "cd '" + dir_ +
                                                     "'\nsleep 60 & echo $! > holder.pid\n"
                                                     "sleep 60 >/dev/null 2>&1 & echo $! > quiet.pid\n"
                                                     "echo started\nexit 5");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", false), 5);
    EXPECT_EQ(signalThatEnded("holder.pid"), SIGKILL);
    EXPECT_EQ(signalThatEnded("quiet.pid"), SIGKILL);
    EXPECT_EQ(echoed(), std::vector<std::string>{"started"});
    EXPECT_NE(platform_.out().find("Program Exit Value : 5"), std::string::npos);
}

// Hung with its output open, or after closing both outputs, with a child of
// its own that would outlive it.
class HungUpdateProgram : public UpdateProgram, public ::testing::WithParamInterface<const char*> {};

TEST_P(HungUpdateProgram, IsKilledAtTheRunLimitWithWhatItStarted) {
    RemoteUpdateLimits limits;
    // Time enough for the script to start its child, even on a busy machine.
    limits.process.maxRunMs = 1000;
    setRemoteUpdateLimits(limits);
    const std::string prog = script("hung.sh", "cd '" + dir_ + "'\necho $$ > hung.pid\necho before\n" +
                                                   GetParam() + "sleep 60 & echo $! > child.pid\nexec sleep 60");
    EXPECT_EQ(Indication_Tools::ExecuteApplication(prog, "", true), -2);
    EXPECT_EQ(echoed(), std::vector<std::string>{"before"});
    EXPECT_NE(platform_.out().find("[ERROR] : IOException: program \"" + prog + "\" still running after 1 s, stopped"),
              std::string::npos)
        << platform_.out();
    EXPECT_NE(platform_.file(kLog).find("still running after 1 s"), std::string::npos);

    // The program killed and reaped, its child killed, no child left to wait for.
    pid_t hung = 0;
    std::ifstream(dir_ + "/hung.pid") >> hung;
    ASSERT_GT(hung, 0);
    EXPECT_EQ(kill(hung, 0), -1);
    EXPECT_EQ(signalThatEnded("child.pid"), SIGKILL);
    int status = 0;
    EXPECT_LE(waitpid(-1, &status, WNOHANG), 0);
}

INSTANTIATE_TEST_SUITE_P(Outputs, HungUpdateProgram, ::testing::Values("", "exec >&- 2>&-\n"));

}  // namespace
