// The program as a real process: one-shot runs that must end cleanly while
// other threads are busy, SIGTERM / SIGINT that stop the service after the
// pass in progress, and charts built by several workers that leave and
// report what one worker does.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <numeric>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The program run in a folder, standard output and error collected. It
// starts as a shell would start it: every signal at its default disposition.
// With readUntil, the reader stops reading and closes its end of the pipe
// once that text has come (a "| head" or a log pipe that ends); with
// wrapper, the program is started through it (as "prlimit --fsize=N").
class Child {
public:
    Child(const std::string& dir, const std::vector<std::string>& args, const std::string& readUntil = "",
          const std::vector<std::string>& wrapper = {}) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigfillset(&defaults);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        std::vector<std::string> words = wrapper;
        words.push_back(ZK_PROGRAM);
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, words[0].c_str(), &actions, &attributes, argv.data(), environ) != 0) pid_ = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        reader_ = std::thread([this, fd = fds[0], readUntil] {
            char buf[4096];
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;) {
                if (n < 0) {
                    if (errno == EINTR) continue;
                    break;
                }
                std::lock_guard<std::mutex> lock(mutex_);
                out_.append(buf, static_cast<size_t>(n));
                printed_.notify_all();
                if (!readUntil.empty() && out_.find(readUntil) != std::string::npos) break;
            }
            ::close(fd);
        });
    }
    ~Child() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            wait(5s);
        }
        if (reader_.joinable()) reader_.join();
    }
    bool started() const { return pid_ > 0; }
    // Never with pid_ -1 (no child started): kill(-1) would end every process we may signal.
    void signal(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);
    }

    // The exit status, or none when the process is still running after limit
    // (it is then killed, so that a hang fails the test instead of blocking it).
    std::optional<int> wait(std::chrono::milliseconds limit = 30s) {
        if (pid_ <= 0) return std::nullopt;
        for (auto end = std::chrono::steady_clock::now() + limit; !status_;) {
            int raw = 0;
            pid_t r = ::waitpid(pid_, &raw, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                break;
            }
            if (std::chrono::steady_clock::now() > end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &raw, 0);
                status_ = -1;
                return std::nullopt;
            }
            std::this_thread::sleep_for(2ms);
        }
        if (reader_.joinable()) reader_.join();
        return *status_ == -1 ? std::nullopt : status_;
    }
    bool running() {
        int raw = 0;
        return !status_ && ::waitpid(pid_, &raw, WNOHANG) == 0;
    }
    std::string out() {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }
    // Whether the child printed text within 20 s.
    bool printed(const std::string& text) {
        std::unique_lock<std::mutex> lock(mutex_);
        return printed_.wait_for(lock, 20s, [&] { return out_.find(text) != std::string::npos; });
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable printed_;
    std::string out_;
};

std::vector<std::string> lines(const std::string& text, const std::string& end = "\n") {
    std::vector<std::string> out;
    std::string::size_type pos = 0;
    for (auto e = text.find(end); e != std::string::npos; e = text.find(end, pos)) {
        out.push_back(text.substr(pos, e - pos));
        pos = e + end.size();
    }
    return out;
}

size_t indexOf(const std::vector<std::string>& all, const std::string& line) {
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == line) return i;
    return std::string::npos;
}

class ServiceProcess : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zkprocess-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        // The data of the charts comes from the program's own data-maker mode.
        Child maker(dir, {"-datamaker"});
        ASSERT_EQ(maker.wait(), 0);
        std::ofstream(dir + "/data.txt") << maker.out();
        write("chart.ini",
              "GRAPH_NAME=Test chart\nGRAPH_DATA_FILE=data.txt\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n"
              "GRAPH_PRINT_GIF_NAME=chart.gif\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_NAME=chart.png\n");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void write(const std::string& name, const std::string& content) { std::ofstream(dir + "/" + name) << content; }
    std::string read(const std::string& name) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> logLines() {
        std::vector<std::string> out;
        for (const std::string& l : lines(read("log_quoteforge.txt"), "\r\n")) out.push_back(l.substr(22));
        return out;
    }
    bool logHas(const std::string& prefix) {
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
            for (const std::string& l : logLines())
                if (l.rfind(prefix, 0) == 0) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    std::string dir;
};

TEST_F(ServiceProcess, OneShotEndsCleanlyWhileOtherThreadsAreBusy) {
    // Reloads with no pause and the memory watcher keep the other threads
    // busy when the generation thread ends the process.
    write("zkQuoteForge.ini",
          "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nAPPLI_READINI_TIMER=0\nINDICEGIF_FILE_1=chart.ini\n");
    for (int run = 0; run < 8; ++run) {
        fs::remove(dir + "/chart.gif");
        Child child(dir, run % 2 ? std::vector<std::string>{"-unique", "-m"} : std::vector<std::string>{"-unique"});
        ASSERT_TRUE(child.started());
        ASSERT_EQ(child.wait(), 0) << child.out();
        const std::vector<std::string> out = lines(child.out());
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back(), "[Application] : Shutdown application!") << child.out();
        EXPECT_NE(indexOf(out, "[QuoteForge] :  - file... chart.ini: GIF ok; PNG ok; done"), std::string::npos);
        EXPECT_EQ(read("chart.gif").substr(0, 4), "GIF8");
        EXPECT_EQ(read("chart.png").substr(1, 3), "PNG");
    }
    EXPECT_EQ(logLines().back(), "  |_ [Application] : Shutdown application!");
}

TEST_F(ServiceProcess, OneShotWithoutChartsEnds) {
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\n");
    Child child(dir, {"-unique"});
    ASSERT_EQ(child.wait(), 0) << child.out();
    const std::vector<std::string> log = logLines();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "GIF Construction now.");
    EXPECT_EQ(log[log.size() - 2].rfind("Current Memory Used: ", 0), 0u);
    EXPECT_EQ(log.back(), "  |_ [Application] : Shutdown application!");
}

TEST_F(ServiceProcess, TermSignalWhilePausingStopsTheService) {
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=3600\nINDICEGIF_FILE_1=chart.ini\n");
    Child child(dir, {});
    ASSERT_TRUE(logHas("Current Memory Used: "));
    child.signal(SIGTERM);
    ASSERT_EQ(child.wait(), 0) << child.out();
    const std::vector<std::string> out = lines(child.out());
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(out.end() - 3, out.end()),
              (std::vector<std::string>{"[Service] : Shutdown service [QuoteForge]...",
                                        "[Service] : Service [QuoteForge] stopped.",
                                        "[Application] : Shutdown application!"}));
    const std::vector<std::string> log = logLines();
    EXPECT_EQ(log[log.size() - 2], "Service [QuoteForge] stopped.");
    EXPECT_EQ(log.back(), "  |_ [Application] : Shutdown application!");
}

TEST_F(ServiceProcess, InterruptDuringAPassLetsItFinish) {
    // An update program that waits (at most 20 s) for the test's go-ahead.
    write("wait.sh", "#!/bin/sh\ni=0\nwhile [ ! -e release ] && [ $i -lt 2000 ]; do sleep 0.01; i=$((i+1)); done\n");
    fs::permissions(dir + "/wait.sh", fs::perms::owner_all);
    write("zkQuoteForge.ini",
          "INDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=chart.ini\nINDICEGIF_EXEUPDATE_VALID=yes\n"
          "INDICEGIF_EXEUPDATE_FILENAME=./wait.sh\n");
    Child child(dir, {});
    ASSERT_TRUE(logHas("Executing program: ./wait.sh"));
    child.signal(SIGINT);
    // The stop is under way while the pass still waits for its program.
    ASSERT_TRUE(child.printed("[Service] : Shutdown service [QuoteForge]...")) << child.out();
    EXPECT_TRUE(child.running());
    write("release", "");
    ASSERT_EQ(child.wait(), 0) << child.out();
    const std::vector<std::string> out = lines(child.out());
    const size_t chart = indexOf(out, "[QuoteForge] :  - file... chart.ini: GIF ok; PNG ok; done");
    ASSERT_NE(chart, std::string::npos) << child.out();
    EXPECT_LT(indexOf(out, "[Service] : Shutdown service [QuoteForge]..."), chart);
    EXPECT_LT(chart, indexOf(out, "[Service] : Service [QuoteForge] stopped."));
    EXPECT_EQ(out.back(), "[Application] : Shutdown application!");
}

// ---- Data files changed between passes ---------------------------------------------

// An update program changes the data file before each pass, each time in
// another ordinary way, and corrects a value before the old end each time
// but the last: every pass's image is the one a fresh process draws from the
// file as it then is. The folder is on a disk file system, where a freed
// inode number is handed out again at once.
TEST_F(ServiceProcess, EachPassDrawsTheDataFileAsItIsHoweverItWasWritten) {
    std::string data;
    for (int i = 0; i < 120; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "20261208;%02d%02d00;%d\n", 15 + i / 60, i % 60, 5000 + i);
        data += line;
    }
    write("data.txt", data);
    write("chart.ini",
          "GRAPH_NAME=Rewrites\nGRAPH_DATA_FILE=data.txt\nGRAPH_DURATION_MODE=minute\nGRAPH_DURATION_PERIOD=200\n"
          "GRAPH_DURATION_PERIOD_WEDGE_DATE=20261208\nGRAPH_DURATION_PERIOD_WEDGE_TIME=180000\n"
          "GRAPH_PRINT_GIF_NAME=chart.gif\n");
    write("update.sh",
          "#!/bin/sh\n"
          "n=$(cat n 2>/dev/null || echo 0); n=$((n+1)); echo $n > n\n"
          "[ $n -gt 1 ] && cp chart.gif out.$((n-1)).gif\n"
          "case $n in\n"
          // Rewritten in place, as a shell's > or curl -o does.
          "2) sed 's/;151000;5010$/;151000;9000/' data.txt > t; echo '20261208;170000;5120' >> t; cat t > data.txt;;\n"
          // A value corrected, the size unchanged, in place.
          "3) sed 's/;152000;5020$/;152000;9020/' data.txt > t; cat t > data.txt;;\n"
          // Deleted and written anew.
          "4) sed 's/;153000;5030$/;153000;9030/' data.txt > t; echo '20261208;170100;5121' >> t;"
          " rm data.txt; cat t > data.txt;;\n"
          // Renamed over twice.
          "5) sed 's/;154000;5040$/;154000;9040/' data.txt > t1; cp t1 t2; echo '20261208;170200;5122' >> t2;"
          " mv t1 data.txt; mv t2 data.txt;;\n"
          // Appended to.
          "6) echo '20261208;170300;5123' >> data.txt;;\n"
          "esac\n"
          "cp data.txt data.$n.txt\n");
    fs::permissions(dir + "/update.sh", fs::perms::owner_all);
    write("zkQuoteForge.ini",
          "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nINDICEGIF_FILE_1=chart.ini\nINDICEGIF_EXEUPDATE_VALID=yes\n"
          "INDICEGIF_EXEUPDATE_FILENAME=./update.sh\n");
    {
        Child service(dir, {});
        for (auto end = std::chrono::steady_clock::now() + 60s;
             !fs::exists(dir + "/out.6.gif") && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(5ms);
        service.signal(SIGTERM);
        ASSERT_EQ(service.wait(), 0) << service.out();
    }
    for (int pass = 1; pass <= 6; ++pass) {
        const std::string fresh = dir + "/fresh" + std::to_string(pass);
        fs::create_directory(fresh);
        fs::copy_file(dir + "/data." + std::to_string(pass) + ".txt", fresh + "/data.txt");
        fs::copy_file(dir + "/chart.ini", fresh + "/chart.ini");
        std::ofstream(fresh + "/zkQuoteForge.ini") << "INDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=chart.ini\n";
        Child once(fresh, {"-unique"});
        ASSERT_EQ(once.wait(), 0) << once.out();
        EXPECT_TRUE(read("out." + std::to_string(pass) + ".gif") == read("fresh" + std::to_string(pass) + "/chart.gif"))
            << "pass " << pass << " drew another image than a fresh process";
    }
    // The corrections show: the last image is not the first.
    EXPECT_FALSE(read("out.1.gif") == read("out.6.gif"));
}

// ---- What an ordinary set-up does must not stop the service ---------------------

TEST_F(ServiceProcess, ConsoleReaderGoneLeavesTheServiceRunningAndLogging) {
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nINDICEGIF_FILE_1=chart.ini\n");
    const std::string done = "[QuoteForge] :  - file... chart.ini: GIF ok; PNG ok; done";
    Child child(dir, {}, done);
    ASSERT_TRUE(logHas("Current Memory Used: "));
    // The reader is gone after the first chart; passes go on and are logged.
    auto passes = [this] {
        size_t n = 0;
        for (const std::string& l : logLines()) n += l.rfind("Current Memory Used: ", 0) == 0;
        return n;
    };
    const size_t before = passes();
    for (auto end = std::chrono::steady_clock::now() + 90s; passes() < before + 3 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(5ms);
    EXPECT_GE(passes(), before + 3);
    ASSERT_TRUE(child.running()) << "killed by the closed console";
    child.signal(SIGTERM);
    ASSERT_EQ(child.wait(), 0);
    EXPECT_EQ(logLines().back(), "  |_ [Application] : Shutdown application!");
}

TEST_F(ServiceProcess, FileSizeLimitFailsTheWriteNotTheService) {
    write("small.ini",
          "GRAPH_NAME=Small\nGRAPH_DATA_FILE=data.txt\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n"
          "GRAPH_PRINT_WIDTH=100\nGRAPH_PRINT_HEIGHT=60\nGRAPH_PRINT_GIF_NAME=small.gif\n");
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=chart.ini\nINDICEGIF_FILE_2=small.ini\n");
    {
        Child first(dir, {"-unique"});
        ASSERT_EQ(first.wait(), 0) << first.out();
    }
    const std::string png = read("chart.png");
    ASSERT_GT(png.size(), 100000u);  // level 0: far beyond the limit below
    fs::remove(dir + "/small.gif");
    // As "ulimit -f" or systemd's LimitFSIZE= would set it: 64 KiB.
    Child limited(dir, {"-unique"}, "", {"prlimit", "--fsize=65536"});
    ASSERT_EQ(limited.wait(), 1) << limited.out();
    const std::vector<std::string> out = lines(limited.out());
    EXPECT_NE(indexOf(out, "[QuoteForge] :  - file... chart.ini: GIF ok; PNG failed!"), std::string::npos) << limited.out();
    EXPECT_NE(indexOf(out, "[QuoteForge] :  - file... small.ini: GIF ok; done"), std::string::npos) << limited.out();
    EXPECT_NE(limited.out().find("[Indication_Graph] : Error during the writing of the PNG : "), std::string::npos);
    EXPECT_EQ(read("chart.png"), png);
    EXPECT_EQ(read("small.gif").substr(0, 4), "GIF8");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(ServiceProcess, FifoAsTheLogNeverHoldsTheService) {
    ASSERT_EQ(mkfifo((dir + "/log.fifo").c_str(), 0644), 0);
    write("zkQuoteForge.ini",
          "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nINDICEGIF_LOG=log.fifo\nINDICEGIF_FILE_1=chart.ini\n");
    Child child(dir, {"-m"});
    auto count = [&](const std::string& text) {
        size_t n = 0;
        for (size_t at = child.out().find(text); at != std::string::npos; at = child.out().find(text, at + 1)) ++n;
        return n;
    };
    // Generous: a slow machine (or a sanitizer build) only takes longer; a
    // service held by the pipe never gets there.
    auto await = [&](const std::string& text, size_t n) {
        for (auto end = std::chrono::steady_clock::now() + 90s; std::chrono::steady_clock::now() < end;) {
            if (count(text) >= n) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    };
    const std::string done = "[QuoteForge] :  - file... chart.ini: GIF ok; PNG ok; done";
    const std::string lost = "[System] : write log error: ";
    // No reader: every line is lost, with one report each.
    ASSERT_TRUE(await(done, 2)) << child.out();
    EXPECT_GT(count(lost), 0u);
    // A reader that never reads, with the smallest pipe the system allows:
    // the pipe fills within a few passes, then lines are lost again and the
    // passes go on.
    const int reader = ::open((dir + "/log.fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ::fcntl(reader, F_SETPIPE_SZ, 4096);
    // Without a reader the open fails; with a full pipe the write does.
    const std::string full = lost + "cannot write log.fifo";
    EXPECT_EQ(count(full), 0u);
    ASSERT_TRUE(await(full, 3)) << "no line was lost: the pipe never filled";
    ASSERT_TRUE(await(done, count(done) + 2)) << "the full pipe held the service";
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(), 0) << "the stop request was not heard";
    ::close(reader);
}

TEST_F(ServiceProcess, TermSignalWithTheServiceOff) {
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=no\n");
    Child child(dir, {});
    ASSERT_TRUE(logHas("  |_ Verbose Mode = "));
    child.signal(SIGTERM);
    ASSERT_EQ(child.wait(), 0) << child.out();
    const std::vector<std::string> out = lines(child.out());
    EXPECT_EQ(out.back(), "[Application] : Shutdown application!");
    EXPECT_EQ(child.out().find("[Service]"), std::string::npos);
}

// ---- Exit statuses and what a user is told without verbose mode ------------------

TEST_F(ServiceProcess, ExitStatusTellsFailuresAndEachMistakeIsToldOnce) {
    Child help(dir, {"-h"});
    EXPECT_EQ(help.wait(), 0);
    Child noConfiguration(dir, {"-unique"});
    EXPECT_EQ(noConfiguration.wait(), 1) << noConfiguration.out();

    write("chart.ini", read("chart.ini") + "GRAPH_CURVE_COLOUR=0,0,255\nGRAPH_DURATION_PERIOD_WEDGE_DATE=2025-12-05\n");
    write("closed.ini", "GRAPH_DATA_FILE=data.txt\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n"
                        "GRAPH_DURATION_PERIOD_WEDGE_DATE=20000101\nGRAPH_PRINT_GIF_NAME=closed.gif\n"
                        "GRAPH_SESSIONS=09:00-17:30\nGRAPH_DATE_DISPLAY_WEEKEND=no\n");
    write("nodatafile.ini", "GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n");
    const std::string both = "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMERS=5\nINDICEGIF_FILE_1=chart.ini\n"
                             "INDICEGIF_FILE_2=closed.ini\nINDICEGIF_FILE_4=chart.ini\n";
    write("zkQuoteForge.ini", both);
    // The window of the closed market holds no record: not a failure.
    Child good(dir, {"-unique"});
    ASSERT_EQ(good.wait(), 0) << good.out();
    const std::vector<std::string> out = lines(good.out());
    for (const char* told :
         {"[zkQuoteForge] : Unknown key INDICEGIF_TIMERS in zkQuoteForge.ini (did you mean INDICEGIF_TIMER?)",
          "[zkQuoteForge] : INDICEGIF_FILE_4 is not read: the list ends at INDICEGIF_FILE_2",
          "[Indication_Data] : GRAPH_DATE_DISPLAY_WEEKEND is not used with trading sessions: the trading weekdays "
          "decide which days are closed",
          "[Indication_Data] : Unknown key GRAPH_CURVE_COLOUR in chart.ini (did you mean GRAPH_CURVE_COLOR?)",
          "[Indication_Data] : GRAPH_DURATION_PERIOD_WEDGE_DATE \"2025-12-05\" is not a date (YYYYMMDD): the window "
          "ends now"}) {
        EXPECT_EQ(std::count(out.begin(), out.end(), told), 1) << told << "\n" << good.out();
        EXPECT_NE(indexOf(logLines(), "  |_ " + std::string(told)), std::string::npos) << told;
    }
    EXPECT_NE(indexOf(out, "[QuoteForge] :  - file... closed.ini: no data in the time window, images left as they were"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/closed.gif"));

    // A chart that fails says why on the line before, and fails the run.
    write("zkQuoteForge.ini", both + "INDICEGIF_FILE_3=nodatafile.ini\n");
    Child bad(dir, {"-unique"});
    ASSERT_EQ(bad.wait(), 1) << bad.out();
    const std::vector<std::string> badOut = lines(bad.out());
    const size_t failed = indexOf(badOut, "[QuoteForge] :  - file... nodatafile.ini: configuration failed!");
    ASSERT_NE(failed, std::string::npos) << bad.out();
    EXPECT_EQ(badOut[failed - 1], "[Indication_Data] : GRAPH_DATA_FILE is missing in nodatafile.ini: no data file to read!");
    // No longer past a gap; the other findings are told once per file content.
    EXPECT_EQ(bad.out().find("Unknown key GRAPH_CURVE_COLOUR"), bad.out().rfind("Unknown key GRAPH_CURVE_COLOUR"));
    EXPECT_EQ(bad.out().find("is not read"), std::string::npos);
}

TEST_F(ServiceProcess, AMistakeIsToldAgainOnlyWhenItsFileChanges) {
    write("chart.ini", read("chart.ini") + "GRAPH_CURVE_COLOUR=0,0,255\n");
    const std::vector<std::string> records = lines(read("data.txt"));
    write("data.txt", std::accumulate(records.rbegin(), records.rend(), std::string(),
                                      [](std::string text, const std::string& l) { return text + l + "\n"; }));
    // The third pass's update changes the graph file and the data file, the mistakes left in them.
    write("update.sh", "#!/bin/sh\nn=$(cat n 2>/dev/null || echo 0); n=$((n+1)); echo $n > n\n"
                       "[ $n = 3 ] && echo 'GRAPH_NAME=Changed' >> chart.ini && echo '# checked' >> data.txt\n"
                       "exit 0\n");
    fs::permissions(dir + "/update.sh", fs::perms::owner_all);
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nINDICEGIF_FILE_1=chart.ini\n"
                              "INDICEGIF_EXEUPDATE_VALID=yes\nINDICEGIF_EXEUPDATE_FILENAME=./update.sh\n");
    Child child(dir, {});
    auto count = [&](const std::string& text) {
        const std::vector<std::string> out = lines(child.out());
        return std::count(out.begin(), out.end(), text);
    };
    const std::string built = "[QuoteForge] :  - file... chart.ini: GIF ok; PNG ok; done";
    for (auto end = std::chrono::steady_clock::now() + 60s; count(built) < 5 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(5ms);
    child.signal(SIGTERM);
    ASSERT_EQ(child.wait(), 0) << child.out();
    ASSERT_GE(count(built), 5) << child.out();
    EXPECT_EQ(count("[Indication_Data] : Unknown key GRAPH_CURVE_COLOUR in chart.ini (did you mean GRAPH_CURVE_COLOR?)"),
              2)
        << child.out();
    const std::vector<std::string> out = lines(child.out());
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [](const std::string& l) { return l.find("data.txt : not in time order") != std::string::npos; }),
              2);
}

TEST_F(ServiceProcess, WithoutAnyFontTheChartIsWrittenAndItsTextIsToldMissing) {
    fs::create_directory(dir + "/fonts");
    write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + dir + "/fonts</dir><cachedir>" + dir +
                            "/fonts</cachedir></fontconfig>\n");
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=chart.ini\nINDICEGIF_FILE_2=chart.ini\n"
                              "INDICEGIF_STATUS_FILE=status.prom\n");
    // The program's own record of resolved fonts goes with the run, not to the user's cache.
    const std::string cache = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    ::setenv("FONTCONFIG_FILE", (dir + "/fonts.conf").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
    Child child(dir, {"-unique"});
    ::unsetenv("FONTCONFIG_FILE");
    if (cache.empty())
        ::unsetenv("XDG_CACHE_HOME");
    else
        ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ASSERT_EQ(child.wait(), 1) << child.out();
    const std::vector<std::string> out = lines(child.out());
    const std::string told = "[Indication_Graph] : No font found for \"Helvetica\": its text is not drawn!";
    EXPECT_EQ(std::count(out.begin(), out.end(), told), 1) << child.out();
    EXPECT_NE(indexOf(logLines(), "  |_ " + told), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), "[QuoteForge] :  - file... chart.ini: GIF ok; PNG ok; text not drawn (no font)!"), 2);
    EXPECT_EQ(read("chart.gif").substr(0, 4), "GIF8");
    EXPECT_NE(read("status.prom").find("zkquoteforge_chart_failure{graph_file=\"chart.ini\",cause=\"font\"} 1\n"),
              std::string::npos);
}

TEST_F(ServiceProcess, ASizeWithoutRoomFailsTheChartAndAChartWithEveryImageOffSaysSo) {
    const std::string base = "GRAPH_DATA_FILE=data.txt\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n";
    write("zero.ini", base + "GRAPH_PRINT_WIDTH=0\nGRAPH_PRINT_GIF_NAME=zero.gif\nGRAPH_PRINT_PNG_VALID=yes\n"
                             "GRAPH_PRINT_PNG_NAME=zero.png\n");
    write("narrow.ini", base + "GRAPH_PRINT_WIDTH=4\nGRAPH_PRINT_GIF_NAME=narrow.gif\n");
    write("paused.ini", base + "GRAPH_PRINT_GIF_VALID=no\nGRAPH_PRINT_GIF_NAME=paused.gif\n");
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_STATUS_FILE=status.prom\nINDICEGIF_FILE_1=zero.ini\n"
                              "INDICEGIF_FILE_2=narrow.ini\nINDICEGIF_FILE_3=paused.ini\n");
    Child child(dir, {"-unique"});
    ASSERT_EQ(child.wait(), 1) << child.out();
    const std::vector<std::string> out = lines(child.out());
    const size_t zero = indexOf(out, "[QuoteForge] :  - file... zero.ini: configuration failed!");
    ASSERT_NE(zero, std::string::npos) << child.out();
    EXPECT_EQ(out[zero - 1], "[Indication_Data] : GRAPH_PRINT_WIDTH error : 0 in zero.ini: a chart needs at least 1 "
                             "pixel each way, no image is written");
    const size_t narrow = indexOf(out, "[QuoteForge] :  - file... narrow.ini: configuration failed!");
    ASSERT_NE(narrow, std::string::npos) << child.out();
    EXPECT_EQ(out[narrow - 1].rfind("[Indication_Graph] : Error with the image size 4x200 : too small to hold the graph", 0),
              0u) << out[narrow - 1];
    EXPECT_NE(indexOf(out, "[QuoteForge] :  - file... paused.ini: built, no image asked for"), std::string::npos)
        << child.out();
    for (const char* name : {"zero.gif", "zero.png", "narrow.gif", "paused.gif"}) EXPECT_FALSE(fs::exists(dir + "/" + name)) << name;
    const std::string status = read("status.prom");
    for (const char* failed : {"zero.ini", "narrow.ini"})
        EXPECT_NE(status.find("zkquoteforge_chart_failure{graph_file=\"" + std::string(failed) +
                              "\",cause=\"configuration\"} 1\n"),
                  std::string::npos) << status;
    EXPECT_EQ(status.find("graph_file=\"paused.ini\",cause="), std::string::npos) << status;
}

TEST_F(ServiceProcess, ServiceOffIsToldAtOnce) {
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=oui\n");
    Child child(dir, {"-unique"});
    ASSERT_TRUE(logHas("  |_ [zkQuoteForge] : INDICEGIF_SERVICE is off (\"oui\"): no chart is built until it is "
                       "\"yes\"; next reading of zkQuoteForge.ini in 3600 s"));
    child.signal(SIGTERM);
    EXPECT_EQ(child.wait(), 0);
}

// ---- The configuration's encodings, and the log ------------------------------------

TEST_F(ServiceProcess, OneLineInLatin1LeavesTheUtf8PathsAndUtf16IsToldAsSuch) {
    write("donn\xC3\xA9" "es.ini", read("chart.ini"));
    write("zkQuoteForge.ini", "# r\xE9glages\nINDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=donn\xC3\xA9" "es.ini\n"
                              "INDICEGIF_FILE_2=no\x01such.ini\n");
    Child mixed(dir, {"-unique"});
    ASSERT_EQ(mixed.wait(), 1) << mixed.out();
    EXPECT_NE(indexOf(lines(mixed.out()), "[QuoteForge] :  - file... donn\xC3\xA9" "es.ini: GIF ok; PNG ok; done"),
              std::string::npos)
        << mixed.out();
    // A control character that reaches the log is written escaped.
    EXPECT_NE(indexOf(logLines(), " - reading : no\\x01such.ini"), std::string::npos);

    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("INDICEGIF_SERVICE=yes\r\nINDICEGIF_FILE_1=chart.ini\r\n")) utf16 += {c, '\0'};
    write("zkQuoteForge.ini", utf16);
    Child wide(dir, {"-unique"});
    EXPECT_EQ(wide.wait(), 1);
    EXPECT_NE(indexOf(lines(wide.out()), "[zkQuoteForge] : Error with zkQuoteForge.ini : the file is saved as UTF-16 "
                                         "(little-endian), which is not read: save it as UTF-8"),
              std::string::npos)
        << wide.out();
    EXPECT_EQ(read("log_quoteforge.txt").find('\0'), std::string::npos);
}

TEST_F(ServiceProcess, TheLogRotatesWhenAskedAndTheStartUpLinesStayWhole) {
    std::string old;
    while (old.size() < (size_t{1} << 20) - 64) old += "[01/01/2001 00:00:00] an old line\r\n";
    write("log_quoteforge.txt", old);
    write("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=chart.ini\nINDICEGIF_LOG_MAX_MB=1\n"
                              "INDICEGIF_LOG_KEEP=1\n");
    Child child(dir, {"-unique"});
    ASSERT_EQ(child.wait(), 0) << child.out();
    // The start-up lines come before the configuration is read: they join
    // the old lines, and the first line after them starts the new file.
    const std::string moved = read("log_quoteforge.txt.1");
    ASSERT_TRUE(moved.compare(0, old.size(), old) == 0) << "the old lines were not moved aside whole";
    std::vector<std::string> startUp;
    for (const std::string& l : lines(moved.substr(old.size()), "\r\n")) startUp.push_back(l.substr(22));
    EXPECT_EQ(startUp, (std::vector<std::string>{std::string(33, '-'), "zkQuoteForge started - v1.05 (21/11/2001)",
                                                 "  |_ Operating System = Linux", "  |_ Verbose Mode = false"}));
    const std::vector<std::string> now = logLines();
    EXPECT_NE(indexOf(now, " - reading : chart.ini"), std::string::npos);
    EXPECT_EQ(now.back(), "  |_ [Application] : Shutdown application!");
}

// ---- Several workers leave and report what one worker does -------------------

class ServiceWorkers : public ServiceProcess {
protected:
    void SetUp() override {
        ServiceProcess::SetUp();
        // Fixed data and window: every run draws the same images.
        std::string data;
        for (int day = 10; day <= 20; ++day)
            for (int hour = 0; hour < 24; ++hour)
                data += "200111" + std::to_string(day) + ";" + (hour < 10 ? "0" : "") + std::to_string(hour) +
                        "0000;" + std::to_string(4000 + (day * 37 + hour * 11) % 300) + "\n";
        write("fixed.txt", data);
        fs::create_directory(dir + "/out");
    }

    // A chart writing only a PNG. A slow one (long to compress, small all the
    // same) lets quick charts after it in the list finish first, the order
    // in which several workers used to part from one; what the tests check
    // holds in any order.
    void chart(const std::string& name, const std::string& png, int width, int height, bool slow,
               const std::string& data = "fixed.txt") {
        write(name, "GRAPH_NAME=chart\nGRAPH_DATA_FILE=" + data + "\nGRAPH_DURATION_MODE=day\n"
                    "GRAPH_DURATION_PERIOD=7\nGRAPH_DURATION_PERIOD_WEDGE_DATE=20011121\n"
                    "GRAPH_DURATION_PERIOD_WEDGE_TIME=000000\nGRAPH_PRINT_GIF_VALID=no\nGRAPH_PRINT_PNG_VALID=yes\n"
                    "GRAPH_PRINT_PNG_NAME=" + png + "\nGRAPH_PRINT_WIDTH=" + std::to_string(width) +
                        "\nGRAPH_PRINT_HEIGHT=" + std::to_string(height) +
                        (slow ? "\nGRAPH_PRINT_PNG_FILTER=2\nGRAPH_PRINT_PNG_COMPRESS=9\n" : "\n"));
    }

    // One pass of the graph files with that many workers: the console and
    // log lines, less those that tell the time; the status file's counts.
    struct Pass {
        std::vector<std::string> console, log, status;
    };
    Pass pass(const std::vector<std::string>& graphFiles, int workers, const std::vector<std::string>& wrapper = {}) {
        std::string config = "INDICEGIF_SERVICE=yes\nINDICEGIF_STATUS_FILE=status.prom\nINDICEGIF_THREADS=" +
                             std::to_string(workers) + "\n";
        for (size_t i = 0; i < graphFiles.size(); ++i)
            config += "INDICEGIF_FILE_" + std::to_string(i + 1) + "=" + graphFiles[i] + "\n";
        write("zkQuoteForge.ini", config);
        fs::remove(dir + "/log_quoteforge.txt");
        Child child(dir, {"-unique"}, "", wrapper);
        Pass p;
        // 1 when a chart failed, as one worker ends too.
        const std::optional<int> exit = child.wait();
        if (!exit || *exit > 1) {
            ADD_FAILURE() << child.out();
            return p;
        }
        p.status.push_back("exit " + std::to_string(*exit));
        for (const std::string& l : lines(child.out()))
            if (l.rfind("[QuoteForge] : Construction ... ", 0) != 0) p.console.push_back(l);
        for (const std::string& l : logLines())
            if (l.rfind("Current Memory Used: ", 0) != 0) p.log.push_back(l);
        for (const std::string& l : lines(read("status.prom")))
            if (l.find("charts_") != std::string::npos || l.rfind("zkquoteforge_chart_last_attempt_failed", 0) == 0)
                p.status.push_back(l);
        return p;
    }
    static void expectSame(const Pass& one, const Pass& many) {
        EXPECT_EQ(one.console, many.console);
        EXPECT_EQ(one.log, many.log);
        EXPECT_EQ(one.status, many.status);
    }
    // The width in a PNG's header: whose image a file holds.
    int pngWidth(const std::string& name) {
        const std::string png = read(name);
        if (png.size() < 24) return 0;
        return (static_cast<unsigned char>(png[18]) << 8) | static_cast<unsigned char>(png[19]);
    }
};

// However the path is spelt (a "./" more, a symlinked folder), one file is
// one file: the later chart's image stays, even when it is done first.
TEST_F(ServiceWorkers, OneFileSpeltTwoWaysKeepsTheLaterChartsImage) {
    fs::create_directory_symlink("out", dir + "/link");
    chart("slow1.ini", "out/x.png", 3000, 2000, true);
    chart("quick2.ini", "./out/x.png", 300, 200, false);
    chart("slow3.ini", "link/y.png", 3000, 2000, true);
    chart("quick4.ini", "out/y.png", 300, 200, false);
    const std::vector<std::string> charts{"slow1.ini", "quick2.ini", "slow3.ini", "quick4.ini"};
    const Pass one = pass(charts, 1);
    ASSERT_EQ(pngWidth("out/x.png"), 301);
    ASSERT_EQ(pngWidth("out/y.png"), 301);
    fs::remove(dir + "/out/x.png");
    fs::remove(dir + "/out/y.png");
    expectSame(one, pass(charts, 4));
    EXPECT_EQ(pngWidth("out/x.png"), 301);
    EXPECT_EQ(pngWidth("out/y.png"), 301);
}

// Under a file-size limit: a later chart's failed write leaves the earlier
// chart's image, and an earlier chart whose image a later one replaced fails
// as it would have, even when the later chart is done first.
TEST_F(ServiceWorkers, AFailedWriteLeavesTheImageAndReportsOfOneWorker) {
    chart("slow1.ini", "out/y.png", 3000, 2000, true);  // small
    chart("quick2.ini", "out/y.png", 1000, 400, false);  // about 1.2 MB
    chart("large3.ini", "out/z.png", 3000, 2000, false); // about 18 MB
    chart("quick4.ini", "out/z.png", 300, 200, false);
    const std::vector<std::string> charts{"slow1.ini", "quick2.ini", "large3.ini", "quick4.ini"};
    // As "ulimit -f 1024" would set it: 1 MiB.
    const std::vector<std::string> limit{"prlimit", "--fsize=1048576"};
    const Pass one = pass(charts, 1, limit);
    ASSERT_EQ(pngWidth("out/y.png"), 3001);
    ASSERT_EQ(pngWidth("out/z.png"), 301);
    ASSERT_NE(std::find(one.status.begin(), one.status.end(), "zkquoteforge_last_pass_charts_failed 2"),
              one.status.end());
    fs::remove(dir + "/out/y.png");
    fs::remove(dir + "/out/z.png");
    expectSame(one, pass(charts, 4, limit));
    EXPECT_EQ(pngWidth("out/y.png"), 3001);
    EXPECT_EQ(pngWidth("out/z.png"), 301);
    for (const auto& entry : fs::directory_iterator(dir + "/out"))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

// A stale temporary file left by a killed run: the first chart of the list
// writing into its folder reports its removal, among its own lines.
TEST_F(ServiceWorkers, TheStaleTemporarySweepIsReportedByTheFirstChartInTheFolder) {
    chart("slow1.ini", "out/a.png", 3000, 2000, true);
    chart("quick2.ini", "out/b.png", 300, 200, false);
    const std::vector<std::string> charts{"slow1.ini", "quick2.ini"};
    auto leftover = [this] {
        write("out/.old.png.tmpAB12cd", "partial");
        fs::last_write_time(dir + "/out/.old.png.tmpAB12cd", fs::file_time_type::clock::now() - 2h);
    };
    leftover();
    const Pass one = pass(charts, 1);
    const std::vector<std::string> expected{
        "[Indication_Graph] : Writing PNG Image in out/a.png",
        "[Indication_Graph] : Removed the stale temporary file .old.png.tmpAB12cd left beside out/a.png by a write "
        "that never ended",
        "[QuoteForge] :  - file... slow1.ini: PNG ok; done"};
    ASSERT_NE(std::search(one.console.begin(), one.console.end(), expected.begin(), expected.end()),
              one.console.end());
    leftover();
    expectSame(one, pass(charts, 2));
    EXPECT_FALSE(fs::exists(dir + "/out/.old.png.tmpAB12cd"));
}

// Data files as providers export them: newest first, with a year mistyped,
// in a format that no longer reads. Each finding is told once for the file,
// by its first chart, however many workers.
TEST_F(ServiceWorkers, DataFilesOutOfOrderMistypedOrUnreadableAreDrawnRightAndTold) {
    const std::vector<std::string> records = lines(read("fixed.txt"));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string nextYear = std::to_string(local.tm_year + 1901);
    std::string reversed, typo;
    for (size_t i = 0; i < records.size(); ++i) {
        reversed += records[records.size() - 1 - i] + "\n";
        typo += (i == 100 ? nextYear + "1209;173000;4100\n" : "") + records[i] + "\n";
    }
    write("reversed.txt", reversed);
    write("typo.txt", typo);
    write("format.txt", "Exported 21/11/2001\n10/11/2001;00:00:00;4000\n10/11/2001;01:00:00;4011\n");
    const std::vector<std::string> charts{"fixed", "reversed", "typo", "format", "reversed"};
    std::vector<std::string> graphFiles;
    for (const std::string& data : charts) {
        graphFiles.push_back(data + std::to_string(graphFiles.size()) + ".ini");
        chart(graphFiles.back(), "out/" + graphFiles.back() + ".png", 300, 200, false, data + ".txt");
    }
    const Pass one = pass(graphFiles, 1);
    const std::vector<std::string> told{
        "[Indication_Data] : (ReadData) Error with reversed.txt : not in time order (263 records dated before the "
        "record above them, the first on line 2): drawn in time order",
        "[Indication_Data] : (ReadData) Error with typo.txt : 1 record dated more than 30 days ahead, the latest 09/12/" +
            nextYear + " 17:30:00: not taken for the newest record",
        "[Indication_Data] : (ReadData) Error with format.txt : 2 of 2 record lines unreadable (the first, line 2: "
        "\"10/11/2001;00:00:00;4000\" : date is not a number (YYYYMMDD)), no record read",
        "[QuoteForge] :  - file... format3.ini: configuration failed!"};
    for (const std::string& line : told) EXPECT_EQ(std::count(one.console.begin(), one.console.end(), line), 1) << line;
    EXPECT_NE(std::search(one.console.begin(), one.console.end(), told.begin() + 2, told.end()), one.console.end());
    EXPECT_EQ(one.status.front(), "exit 1");
    for (const char* same : {"reversed1", "typo2", "reversed4"})
        EXPECT_TRUE(read("out/" + std::string(same) + ".ini.png") == read("out/fixed0.ini.png")) << same;

    const std::string status = read("status.prom");
    auto newest = [&](const std::string& graphFile) {
        const std::string name = "zkquoteforge_chart_newest_record_timestamp_seconds{graph_file=\"" + graphFile + "\"} ";
        const size_t at = status.find(name);
        return at == std::string::npos ? "none" : status.substr(at + name.size(), 14);
    };
    EXPECT_NE(newest("fixed0.ini"), "none");
    EXPECT_EQ(newest("typo2.ini"), newest("fixed0.ini"));
    for (const char* metric : {"zkquoteforge_chart_failure{graph_file=\"format3.ini\",cause=\"data_format\"} 1\n",
                               "zkquoteforge_data_file_unreadable_lines{data_file=\"format.txt\"} 2\n",
                               "zkquoteforge_data_file_unreadable_lines{data_file=\"reversed.txt\"} 0\n"})
        EXPECT_NE(status.find(metric), std::string::npos) << metric << status;
    expectSame(one, pass(graphFiles, 3));
}

}  // namespace
