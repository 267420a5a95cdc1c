// The service inside the test process: the reload and generation threads on
// a fake clock, with the real chart surface and a loopback HTTP server.
// Pauses end when the test moves the clock, so periods of 1 s or 1 h cost
// no real time.

#include "app/zkQuoteForge.h"
#include "support/Indication_Tools.h"
#include "support/RemoteUpdate.h"
#include "support/SysProperties.h"
#include "tests/common/Loopback.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <thread>

namespace {

using IT = Indication_Tools;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The test platform with pauses on its fake clock, recorded thread
// priorities and process exits, and failures injected on request.
class ServicePlatform : public TestPlatform {
public:
    bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int64_t ms,
                 const std::function<bool()>& ready) override {
        if (ms <= 0) return ready();
        const int64_t deadline = now.load() + ms;
        notePause(ms);
        while (!ready()) {
            if (now.load() >= deadline) return false;
            cv.wait_for(lock, 2ms);
        }
        return true;
    }
    void setCurrentThreadLowestPriority() override { ++lowered; }
    [[noreturn]] void exitProcess(int status) override {
        {
            std::lock_guard<std::mutex> lock(m_);
            exits_.push_back(status);
        }
        changed_.notify_all();
        standInExit(status);
    }
    void writeStdout(std::string_view text) override {
        if (text.rfind("[QuoteForge] : Construction ...", 0) == 0 && failNextConstruction.exchange(false))
            throw std::runtime_error("console gone");
        TestPlatform::writeStdout(text);
    }
    bool readFile(const std::string& path, std::string& out, std::string& error) override {
        if (path == throwingRead) throw std::runtime_error("disk on fire");
        return TestPlatform::readFile(path, out, error);
    }

    // Waits (up to 20 s of real time) until n pauses of ms have started.
    bool awaitPause(int64_t ms, int n) {
        std::unique_lock<std::mutex> lock(m_);
        return changed_.wait_for(lock, 20s, [&] { return pauses_[ms] >= n; });
    }
    int pauses(int64_t ms) {
        std::lock_guard<std::mutex> lock(m_);
        return pauses_[ms];
    }
    bool awaitExit() {
        std::unique_lock<std::mutex> lock(m_);
        return changed_.wait_for(lock, 20s, [&] { return !exits_.empty(); });
    }
    std::vector<int> exits() {
        std::lock_guard<std::mutex> lock(m_);
        return exits_;
    }
    void clearExits() {
        std::lock_guard<std::mutex> lock(m_);
        exits_.clear();
    }

    std::atomic<int> lowered{0};
    std::atomic<bool> failNextConstruction{false};
    std::string throwingRead;  // set before the service starts

private:
    void notePause(int64_t ms) {
        {
            std::lock_guard<std::mutex> lock(m_);
            ++pauses_[ms];
        }
        changed_.notify_all();
    }
    std::mutex m_;
    std::condition_variable changed_;
    std::map<int64_t, int> pauses_;
    std::vector<int> exits_;
};

std::vector<std::string> split(const std::string& text, const std::string& end) {
    std::vector<std::string> out;
    size_t pos = 0;
    for (size_t e = text.find(end); e != std::string::npos; e = text.find(end, pos)) {
        out.push_back(text.substr(pos, e - pos));
        pos = e + end.size();
    }
    return out;
}

size_t count(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& l : lines) n += l.rfind(prefix, 0) == 0;
    return n;
}

// Index of the first line at or after from that starts with prefix; npos when none.
size_t find(const std::vector<std::string>& lines, const std::string& prefix, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return i;
    return std::string::npos;
}

const std::string kMemory = "Current Memory Used: ";
const std::string kConstruction = "[QuoteForge] : Construction ... ";
// The chart model's report of the week a chart shows.
const std::string kPeriod = "[Indication_Data] : Image from 26/02/2001 07:18:09 to 05/03/2001 07:08:09";
const std::string kReading = "[zkQuoteForge] : Reading Configuration File... zkQuoteForge.ini";
const std::string kServiceOff =
    "[zkQuoteForge] : INDICEGIF_SERVICE is off (\"no\"): no chart is built until it is \"yes\"; next reading of "
    "zkQuoteForge.ini in 1 s";
const std::string kReloadFailed =
    "[zkQuoteForge] : Erreur avec 'zkQuoteForge.ini': impossible de mettre à jour la configuration existante !";

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        platform.now = localMillis(2001, 3, 5, 7, 8, 9);
        platform.osNameValue = "Linux";
        reset();
        char tmpl[] = "/tmp/zkservice-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        zkQuoteForge::discardApplication();
        reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static void reset() {
        IT::debugMode = false;
        IT::svcMemMonitor = false;
        SysProperties.store(nullptr);
    }

    void start(const std::string& config, std::vector<std::string> args = {}) {
        platform.setFile("zkQuoteForge.ini", config);
        zkQuoteForge::main(args);
        ASSERT_NE(zkQuoteForge::application(), nullptr);
    }
    zkQuoteForge& app() { return *zkQuoteForge::application(); }
    void advanceSeconds(int s) { platform.now += int64_t(s) * 1000; }

    // The console lines after the banner, and the log's messages without stamps.
    std::vector<std::string> console() {
        std::vector<std::string> all = split(platform.out(), "\n");
        return std::vector<std::string>(all.begin() + std::min<size_t>(all.size(), 5), all.end());
    }
    std::vector<std::string> log(const std::string& file = "log_quoteforge.txt") {
        std::vector<std::string> out;
        for (const std::string& l : split(platform.file(file), "\r\n")) out.push_back(l.size() > 22 ? l.substr(22) : l);
        return out;
    }
    static bool eventually(const std::function<bool()>& done) {
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;) {
            if (done()) return true;
            std::this_thread::sleep_for(1ms);
        }
        return done();
    }
    bool consoleHas(const std::string& prefix, size_t n = 1) {
        return eventually([&] { return count(console(), prefix) >= n; });
    }

    // A graph file (in memory) for a chart of the last week, its data (in
    // memory unless dataPath is on disk) and its images in the test folder.
    std::string chart(const std::string& name, std::string dataPath = "") {
        if (dataPath.empty()) {
            dataPath = name + ".txt";
            platform.setFile(dataPath, series());
        }
        const std::string graph = name + ".ini";
        platform.setFile(graph, "GRAPH_NAME=" + name + "\nGRAPH_DATA_FILE=" + dataPath +
                                    "\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n"
                                    "GRAPH_PRINT_GIF_NAME=" + image(name, "gif") +
                                    "\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_NAME=" + image(name, "png") + "\n");
        return graph;
    }
    std::string image(const std::string& name, const std::string& kind) { return dir + "/" + name + "." + kind; }
    // Ten days of values every ten minutes around the fake clock's now.
    std::string series() {
        std::string data;
        double x = 4000;
        for (int64_t offset = 604800000; offset > -302400000; offset -= 600000, x += 1) {
            const int64_t d = platform.now - offset;
            data += IT::getBddDate(d) + ";" + IT::getBddTime(d) + ";" +
                    zkQuoteForge::formatValue(6000.0 + 2000.0 * std::sin(x / 30.0)) + "\n";
        }
        return data;
    }
    static std::string header(const std::string& path, size_t n) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes(n, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(n));
        return in ? bytes : std::string();
    }

    ScopedTimeZone zone{"Europe/Paris"};
    ServicePlatform platform;
    std::string dir;
};

// ---- Passes ---------------------------------------------------------------------

TEST_F(ServiceTest, ChartsUpToTheFirstMissingNumberEveryPeriod) {
    const std::string g1 = chart("one"), g2 = chart("two"), g4 = chart("four");
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=1\nINDICEGIF_FILE_1=" + g1 + "\nINDICEGIF_FILE_2=" + g2 +
          "\nINDICEGIF_FILE_4=" + g4 + "\n");
    ASSERT_TRUE(platform.awaitPause(1000, 1));
    const std::string gap = "[zkQuoteForge] : INDICEGIF_FILE_4 is not read: the list ends at INDICEGIF_FILE_2";
    EXPECT_EQ(console(), (std::vector<std::string>{
                             gap,
                             "[Service] : Service [QuoteForge] starting...",
                             kConstruction + "05/03/2001 07:08:09",
                             kPeriod,
                             "[Indication_Graph] : Writing GIF Image in " + image("one", "gif"),
                             "[Indication_Graph] : Writing PNG Image in " + image("one", "png"),
                             "[QuoteForge] :  - file... one.ini: GIF ok; PNG ok; done",
                             kPeriod,
                             "[Indication_Graph] : Writing GIF Image in " + image("two", "gif"),
                             "[Indication_Graph] : Writing PNG Image in " + image("two", "png"),
                             "[QuoteForge] :  - file... two.ini: GIF ok; PNG ok; done",
                         }));
    std::vector<std::string> lines = log();
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[4], "  |_ " + gap);
    lines.erase(lines.begin() + 4);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.begin() + 14),
              (std::vector<std::string>{
                  "Service [QuoteForge] started",
                  "GIF Construction now.",
                  " - reading : one.ini",
                  "  |_ " + kPeriod,
                  "  |_ [Indication_Graph] : Writing GIF Image in " + image("one", "gif"),
                  "  |_ [Indication_Graph] : Writing PNG Image in " + image("one", "png"),
                  " - reading : two.ini",
                  "  |_ " + kPeriod,
                  "  |_ [Indication_Graph] : Writing GIF Image in " + image("two", "gif"),
                  "  |_ [Indication_Graph] : Writing PNG Image in " + image("two", "png"),
              }));
    EXPECT_EQ(lines[14].rfind(kMemory, 0), 0u) << lines[14];
    EXPECT_NE(lines[14].find("Ko); interval ["), std::string::npos);
    EXPECT_EQ(header(image("one", "gif"), 4), "GIF8");
    EXPECT_EQ(header(image("two", "png"), 8), "\x89PNG\r\n\x1a\n");
    EXPECT_FALSE(fs::exists(image("four", "gif")));
    // Both worker threads lowered their priority.
    ASSERT_TRUE(platform.awaitPause(3600000, 1));
    EXPECT_EQ(platform.lowered.load(), 2);

    // One second later the next pass rewrites the images.
    fs::remove(image("one", "gif"));
    advanceSeconds(1);
    ASSERT_TRUE(platform.awaitPause(1000, 2));
    EXPECT_EQ(count(console(), kConstruction + "05/03/2001 07:08:10"), 1u);
    EXPECT_EQ(header(image("one", "gif"), 4), "GIF8");
    EXPECT_EQ(count(log(), " - reading : four.ini"), 0u);
    EXPECT_EQ(count(log(), "GIF Construction now."), 2u);
}

TEST_F(ServiceTest, PassWithoutChartsAndAPeriodOfZero) {
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nINDICEGIF_FILE_2=never.ini\n");
    // Passes follow each other without pausing.
    ASSERT_TRUE(consoleHas(kConstruction, 5));
    app().stopServiceQuoteForge();
    EXPECT_EQ(platform.pauses(0), 0);
    const std::vector<std::string> lines = log();
    EXPECT_GE(count(lines, "GIF Construction now."), 5u);
    EXPECT_EQ(count(lines, " - reading"), 0u);
    EXPECT_EQ(count(lines, "GIF Construction now."), count(lines, kMemory));
    // A pass may still start between the stop's first message and its wait.
    const std::vector<std::string> out = console();
    const size_t stopping = find(out, "[Service] : Shutdown service [QuoteForge]...");
    ASSERT_NE(stopping, std::string::npos);
    EXPECT_LE(count(std::vector<std::string>(out.begin() + stopping, out.end()), kConstruction), 1u);
    EXPECT_EQ(out.back(), "[Service] : Service [QuoteForge] stopped.");
    EXPECT_EQ(lines.back(), "Service [QuoteForge] stopped.");
}

TEST_F(ServiceTest, ChartFailuresStayWithTheirChart) {
    platform.throwingRead = "burning.ini";
    const std::string good = chart("good");
    platform.setFile("nodata.ini", "GRAPH_DATA_FILE=nowhere.txt\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n"
                                   "GRAPH_PRINT_GIF_VALID=no\n");
    platform.setMissing("nowhere.txt");
    platform.setMissing("missing.ini");
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_FILE_1=missing.ini\nINDICEGIF_FILE_2=burning.ini\nINDICEGIF_FILE_3=" +
          good + "\nINDICEGIF_FILE_4=nodata.ini\nINDICEGIF_FILE_5=\n");
    ASSERT_TRUE(platform.awaitPause(600000, 1));
    const std::vector<std::string> out = console();
    EXPECT_EQ(count(out, "[QuoteForge] :  - file... missing.ini: configuration failed!"), 1u);
    EXPECT_EQ(count(out, "[QuoteForge] :  - file... burning.ini: build failed : disk on fire"), 1u);
    EXPECT_EQ(count(out, "[QuoteForge] :  - file... good.ini: GIF ok; PNG ok; done"), 1u);
    EXPECT_EQ(count(out, "[QuoteForge] :  - file... nodata.ini: configuration failed!"), 1u);
    // An empty value is still a chart: a path that does not load.
    EXPECT_EQ(count(out, "[QuoteForge] :  - file... : configuration failed!"), 1u);
    const std::vector<std::string> lines = log();
    EXPECT_EQ(count(lines, "  |_ Configuration Failed!"), 3u);
    EXPECT_EQ(count(lines, "  |_ Build Failed : disk on fire"), 1u);
    EXPECT_EQ(count(lines, " - reading : "), 5u);
}

TEST_F(ServiceTest, PassThatFailsStillEndsAndIsReported) {
    platform.failNextConstruction = true;
    start("INDICEGIF_SERVICE=yes\nAPPLI_READINI_TIMER=1\n");
    ASSERT_TRUE(platform.awaitPause(600000, 1));
    EXPECT_FALSE(app().thread_QuoteForge_running());
    EXPECT_EQ(count(console(), "[QuoteForge] : Construction failed : console gone"), 1u);
    std::vector<std::string> lines = log();
    EXPECT_EQ(count(lines, "  |_ [QuoteForge] : Construction failed : console gone"), 1u);
    EXPECT_EQ(lines.back().rfind(kMemory, 0), 0u);
    // Its flag was cleared: the next reload runs.
    ASSERT_TRUE(platform.awaitPause(1000, 1));
    advanceSeconds(1);
    EXPECT_TRUE(consoleHas("[zkQuoteForge] : Configuration ... OK !"));
}

TEST_F(ServiceTest, VerboseModeShowsTheMemoryAndFollowsTheConfigurationUnlessForced) {
    start("INDICEGIF_SERVICE=yes\nAPPLI_VERBOSE_MODE=yes\nAPPLI_READINI_TIMER=1\n");
    ASSERT_TRUE(platform.awaitPause(600000, 1));
    EXPECT_TRUE(IT::debugMode);
    // One blank from the console form, two from the message.
    EXPECT_EQ(count(console(), "[QuoteForge] :   " + kMemory), 1u);

    platform.setFile("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nAPPLI_VERBOSE_MODE=no\nAPPLI_READINI_TIMER=1\n");
    ASSERT_TRUE(platform.awaitPause(1000, 1));
    advanceSeconds(1);
    ASSERT_TRUE(platform.awaitPause(1000, 2));
    EXPECT_FALSE(IT::debugMode);
    zkQuoteForge::discardApplication();

    // "-v" wins over the configuration, at start and after every reload.
    reset();
    start("INDICEGIF_SERVICE=no\nAPPLI_VERBOSE_MODE=no\nAPPLI_READINI_TIMER=1\n", {"-v"});
    EXPECT_TRUE(IT::debugMode);
    ASSERT_TRUE(platform.awaitPause(1000, 3));
    advanceSeconds(1);
    ASSERT_TRUE(platform.awaitPause(1000, 4));
    EXPECT_TRUE(IT::debugMode);
}

// ---- Reloads ----------------------------------------------------------------------

TEST_F(ServiceTest, ReloadSwitchesTheServiceOffAndOn) {
    start("INDICEGIF_SERVICE=yes\nAPPLI_READINI_TIMER=1\n");
    ASSERT_TRUE(platform.awaitPause(600000, 1));
    platform.clearOut();

    platform.setFile("zkQuoteForge.ini", "INDICEGIF_SERVICE=no\nAPPLI_READINI_TIMER=1\n");
    ASSERT_TRUE(platform.awaitPause(1000, 1));
    advanceSeconds(1);
    ASSERT_TRUE(platform.awaitPause(1000, 2));
    EXPECT_FALSE(app().isServiceRunning());
    EXPECT_EQ(split(platform.out(), "\n"), (std::vector<std::string>{
                                               kReading,
                                               "[zkQuoteForge] : Configuration ... OK !",
                                               kServiceOff,
                                               "[Service] : Shutdown service [QuoteForge]...",
                                               "[Service] : Service [QuoteForge] stopped.",
                                           }));
    std::vector<std::string> lines = log();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{"Reading Configuration File... zkQuoteForge.ini",
                                        "  |_ [zkQuoteForge] : Configuration ... OK !", "  |_ " + kServiceOff,
                                        "Service [QuoteForge] stopped."}));
    EXPECT_EQ(app().traitement_QuoteForge(), nullptr);

    // Back on: a new service whose first pass runs at once, not after its period.
    platform.clearOut();
    platform.setFile("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nAPPLI_READINI_TIMER=1\nINDICEGIF_TIMER=5\n");
    advanceSeconds(1);
    ASSERT_TRUE(platform.awaitPause(5000, 1));
    EXPECT_EQ(split(platform.out(), "\n"), (std::vector<std::string>{
                                               kReading,
                                               "[zkQuoteForge] : Configuration ... OK !",
                                               "[Service] : Service [QuoteForge] starting...",
                                               kConstruction + "05/03/2001 07:08:11",
                                           }));
    EXPECT_NE(app().traitement_QuoteForge(), nullptr);
}

TEST_F(ServiceTest, FailedReloadKeepsTheConfiguration) {
    start("INDICEGIF_SERVICE=yes\nAPPLI_VERBOSE_MODE=yes\nAPPLI_READINI_TIMER=1\nINDICEGIF_LOG=app.log\n");
    ASSERT_TRUE(platform.awaitPause(600000, 1));
    ASSERT_TRUE(platform.awaitPause(1000, 1));
    int reloads = 1;
    for (const char* bad : {"missing", "", "# comments only\n\n; and more\n", "no key here\n"}) {
        platform.clearOut();
        if (std::string(bad) == "missing")
            platform.setMissing("zkQuoteForge.ini");
        else
            platform.setFile("zkQuoteForge.ini", bad);
        advanceSeconds(1);
        ASSERT_TRUE(platform.awaitPause(1000, ++reloads)) << bad;
        std::vector<std::string> ours;
        for (const std::string& l : split(platform.out(), "\n"))
            if (l.rfind("[zkQuoteForge]", 0) == 0) ours.push_back(l);
        EXPECT_EQ(ours, (std::vector<std::string>{kReading, kReloadFailed})) << bad;
        std::vector<std::string> lines;
        for (const std::string& l : log("app.log"))
            if (l.rfind("  |_ [Indication_Tools]", 0) != 0) lines.push_back(l);
        EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
                  (std::vector<std::string>{"Reading Configuration File... zkQuoteForge.ini", "  |_ " + kReloadFailed,
                                            "Error with 'zkQuoteForge.ini': cannot update configuration!"}))
            << bad;
        EXPECT_EQ(zkQuoteForge::getSystemField("INDICEGIF_LOG"), "app.log");
        EXPECT_TRUE(IT::debugMode);
        EXPECT_TRUE(app().isServiceRunning());
    }
    // A good file replaces the table whole: keys it drops are gone.
    platform.setFile("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nAPPLI_READINI_TIMER=1\n");
    advanceSeconds(1);
    ASSERT_TRUE(platform.awaitPause(1000, ++reloads));
    EXPECT_EQ(zkQuoteForge::getSystemField("INDICEGIF_LOG"), "NULL");
    EXPECT_EQ(zkQuoteForge::getSystemField("APPLI_VERBOSE_MODE"), "NULL");
    EXPECT_FALSE(IT::debugMode);
}

TEST_F(ServiceTest, UnreadableAndNegativePeriodsTakeTheDefaults) {
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=-5\nAPPLI_READINI_TIMER=10s\n");
    EXPECT_TRUE(platform.awaitPause(600000, 1));
    EXPECT_TRUE(platform.awaitPause(3600000, 1));
}

TEST_F(ServiceTest, ReloadsAndPassesTakeTurnsAndNeverOverlap) {
    // Passes back to back, reloads as often as they may be (a period of 0
    // pauses a second, which the fake clock makes short).
    platform.setMissing("missing.ini");
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nAPPLI_READINI_TIMER=0\nINDICEGIF_FILE_1=missing.ini\n");
    // Each look moves the clock a whole pause on, so a reload may run at every
    // look however slow the build (sanitizers) makes each one.
    ASSERT_TRUE(eventually([&] {
        platform.now += 1000;
        const std::vector<std::string> out = console();
        return count(out, kConstruction) >= 20 && count(out, kReading) >= 6;
    }));
    // A period of 0 is a pause of a second, said whenever it is loaded.
    EXPECT_GE(platform.pauses(1000), 6);
    EXPECT_GE(count(console(), "[zkQuoteForge] : APPLI_READINI_TIMER is 0: zkQuoteForge.ini is read again every second"),
              6u);
    zkQuoteForge::discardApplication();
    // In the log a pass runs from "GIF Construction now." to its chart's
    // result, a reload from its first line to its own result.
    bool inPass = false, inReload = false;
    for (const std::string& l : log()) {
        if (l == "GIF Construction now.") {
            EXPECT_FALSE(inReload);
            inPass = true;
        } else if (l == "  |_ Configuration Failed!") {
            inPass = false;
        } else if (l == "Reading Configuration File... zkQuoteForge.ini") {
            EXPECT_FALSE(inPass);
            inReload = true;
        } else if (l == "  |_ [zkQuoteForge] : Configuration ... OK !") {
            inReload = false;
        }
    }
}

// ---- Update address and update program as the pass sees them -------------------------

class UpdateServiceTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        server.Get("/ok", [](const httplib::Request&, httplib::Response& res) { res.set_content("done", "text/plain"); });
        server.Get("/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        server.Get("/auth", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m);
            authorization = req.get_header_value("Authorization");
            res.set_content("ok", "text/plain");
        });
        server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock<std::mutex> lock(m);
            entered = true;
            cv.notify_all();
            cv.wait_for(lock, 20s, [this] { return released; });
            res.set_content("late", "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port, 0);
        thread = std::thread([this] { server.listen_after_bind(); });
        ASSERT_TRUE(eventually([this] { return server.is_running(); }));
    }
    void TearDown() override {
        release();
        setRemoteUpdateLimits(RemoteUpdateLimits{});
        ServiceTest::TearDown();
        server.stop();
        thread.join();
    }
    std::string url(const std::string& path) { return "http://127.0.0.1:" + std::to_string(port) + path; }
    void release() {
        std::lock_guard<std::mutex> lock(m);
        released = true;
        cv.notify_all();
    }
    bool awaitEntered() {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, 20s, [this] { return entered; });
    }
    // One pass in one-shot mode; returns the lines of the given category.
    std::vector<std::string> onePass(const std::string& config, const std::string& prefix) {
        platform.clearExits();
        start("INDICEGIF_SERVICE=yes\n" + config, {"-unique"});
        EXPECT_TRUE(platform.awaitExit());
        std::vector<std::string> out;
        for (const std::string& l : console())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    std::string script(const std::string& name, const std::string& body) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }

    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::mutex m;
    std::condition_variable cv;
    bool entered = false;
    bool released = false;
    std::string authorization;
};

TEST_F(UpdateServiceTest, UpdateAddressResults) {
    // A body that stalls after its head, cut by a short time limit.
    TricklingServer stalling("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n", "x");
    RemoteUpdateLimits limits;
    limits.http.totalTimeoutMs = 1'500;
    setRemoteUpdateLimits(limits);
    struct Case {
        std::string config;
        std::string line;
        size_t causeLines;  // logged between "Update all datas." and the verdict
    };
    for (const Case& c : std::vector<Case>{
             {"INDICEGIF_URLUPDATE_URL=" + url("/ok"), "[QuoteForge] : Updating ok : HTTP/1.1 200 OK", 0},
             {"INDICEGIF_URLUPDATE_URL=" + url("/missing"), "[QuoteForge] : Updating failed : HTTP/1.1 404 Not Found", 1},
             {"INDICEGIF_URLUPDATE_URL=" + stalling.url(), "[QuoteForge] : Updating failed : HTTP/1.1 200 OK", 1},
             {"", "[QuoteForge] : Updating failed : ", 0},
             {"INDICEGIF_URLUPDATE_URL=not an address", "[QuoteForge] : Updating failed : ", 0},
         }) {
        reset();
        platform.clearOut();
        platform.setFile("log_quoteforge.txt", "");
        EXPECT_EQ(onePass("INDICEGIF_URLUPDATE_VALID=Yes\nINDICEGIF_URLUPDATE_LOGIN=\n" + c.config, "[QuoteForge] : Updat"),
                  std::vector<std::string>{c.line})
            << c.config;
        const std::vector<std::string> lines = log();
        const size_t update = find(lines, "Update all datas.");
        ASSERT_NE(update, std::string::npos);
        ASSERT_LT(update + 1 + c.causeLines, lines.size());
        EXPECT_EQ(lines[update + 1 + c.causeLines], "  |_ " + c.line);
        EXPECT_LT(update, find(lines, "GIF Construction now."));
        zkQuoteForge::discardApplication();
    }
    // Off: nothing is fetched.
    reset();
    platform.setFile("log_quoteforge.txt", "");
    onePass("INDICEGIF_URLUPDATE_VALID=no\nINDICEGIF_URLUPDATE_URL=" + url("/auth"), "");
    EXPECT_EQ(count(log(), "Update all datas."), 0u);
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(authorization, "");
}

TEST_F(UpdateServiceTest, LoginSendsBasicAuthorisation) {
    onePass("INDICEGIF_URLUPDATE_VALID=yes\nINDICEGIF_URLUPDATE_URL=" + url("/auth") +
                "\nINDICEGIF_URLUPDATE_LOGIN=anne\nINDICEGIF_URLUPDATE_PASSWORD=s3cret\n",
            "");
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(authorization, "Basic YW5uZTpzM2NyZXQ=");
    EXPECT_EQ(platform.out().find("s3cret"), std::string::npos);
}

TEST_F(UpdateServiceTest, ReloadWaitsForAPassInProgressAndRunsBeforeTheNext) {
    start("INDICEGIF_SERVICE=yes\nAPPLI_READINI_TIMER=1\nINDICEGIF_URLUPDATE_VALID=yes\nINDICEGIF_URLUPDATE_URL=" +
          url("/slow") + "\n");
    ASSERT_TRUE(awaitEntered());
    ASSERT_TRUE(platform.awaitPause(1000, 1));
    advanceSeconds(1);
    // The reload's pause is over, but the pass holds it back.
    ASSERT_TRUE(eventually([this] { return app().isReloadWaitingForTurn(); }));
    EXPECT_EQ(count(console(), kReading), 0u);
    EXPECT_TRUE(app().thread_QuoteForge_running());
    EXPECT_FALSE(app().thread_Appli_running());
    release();
    ASSERT_TRUE(consoleHas("[zkQuoteForge] : Configuration ... OK !"));
    ASSERT_TRUE(platform.awaitPause(600000, 1));
    advanceSeconds(600);
    ASSERT_TRUE(consoleHas(kConstruction, 2));
    const std::vector<std::string> out = console();
    const size_t updated = find(out, "[QuoteForge] : Updating ok : HTTP/1.1 200 OK");
    const size_t reading = find(out, kReading);
    ASSERT_NE(updated, std::string::npos);
    EXPECT_LT(updated, reading);
    EXPECT_LT(reading, find(out, kConstruction, updated));
}

TEST_F(UpdateServiceTest, StopWaitsForThePassInProgress) {
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_URLUPDATE_VALID=yes\nINDICEGIF_URLUPDATE_URL=" + url("/slow") + "\n");
    ASSERT_TRUE(awaitEntered());
    std::thread stopper([this] { app().stopServiceQuoteForge(); });
    ASSERT_TRUE(consoleHas("[Service] : Shutdown service [QuoteForge]..."));
    // The stop waits for the thread while the pass keeps its turn.
    ASSERT_TRUE(eventually([this] { return app().isServiceStopping(); }));
    EXPECT_TRUE(app().thread_QuoteForge_running());
    EXPECT_EQ(count(console(), "[Service] : Service [QuoteForge] stopped."), 0u);
    release();
    stopper.join();
    const std::vector<std::string> lines = log();
    EXPECT_EQ(lines.back(), "Service [QuoteForge] stopped.");
    EXPECT_EQ(lines[lines.size() - 2].rfind(kMemory, 0), 0u);
    EXPECT_FALSE(app().isServiceRunning());
}

TEST_F(UpdateServiceTest, UpdateProgramResults) {
    const std::string ok = script("ok.sh", "echo fetched");
    const std::string three = script("three.sh", "exit 3");
    struct Case {
        std::string config;
        std::vector<std::string> logLines;  // from "Executing program" on
    };
    for (const Case& c : std::vector<Case>{
             {"INDICEGIF_EXEUPDATE_FILENAME=" + ok, {"Executing program: " + ok + " ", "  |_ [QuoteForge] : EXE Updating ok"}},
             {"INDICEGIF_EXEUPDATE_FILENAME=" + three + "\nINDICEGIF_EXEUPDATE_PARAMETERS=NULL",
              {"Executing program: " + three + " ", "  |_ [QuoteForge] : EXE Updating failed : 3"}},
             {"INDICEGIF_EXEUPDATE_FILENAME=" + dir + "/absent.sh\nINDICEGIF_EXEUPDATE_PARAMETERS=a b",
              {"Executing program: " + dir + "/absent.sh a b", "  |_ [QuoteForge] : EXE Updating failed : -4"}},
             {"", {"Executing program: [ERROR] INDICEGIF_EXEUPDATE_FILENAME is invalid."}},
             {"INDICEGIF_EXEUPDATE_FILENAME=NULL", {"Executing program: [ERROR] INDICEGIF_EXEUPDATE_FILENAME is invalid."}},
         }) {
        reset();
        platform.clearOut();
        platform.setFile("log_quoteforge.txt", "");
        onePass("INDICEGIF_EXEUPDATE_VALID=yes\n" + c.config, "");
        std::vector<std::string> lines = log();
        const size_t first = find(lines, "Executing program: ");
        ASSERT_NE(first, std::string::npos) << c.config;
        const size_t construction = find(lines, "GIF Construction now.");
        std::vector<std::string> ours;
        for (size_t i = first; i < construction; ++i)
            if (lines[i].rfind("  |_ [Indication_Tools]", 0) != 0) ours.push_back(lines[i]);
        EXPECT_EQ(ours, c.logLines) << c.config;
        zkQuoteForge::discardApplication();
    }
}

TEST_F(UpdateServiceTest, UpdateProgramWritesTheDataThePassReads) {
    std::ofstream(dir + "/source.txt") << series();
    const std::string copy = script("fetch.sh", "cp \"$1\" \"$2\"");
    const std::string graph = chart("fresh", dir + "/fresh.txt");
    onePass("INDICEGIF_EXEUPDATE_VALID=yes\nINDICEGIF_EXEUPDATE_FILENAME=" + copy + "\nINDICEGIF_EXEUPDATE_PARAMETERS=" +
                dir + "/source.txt " + dir + "/fresh.txt\nINDICEGIF_FILE_1=" + graph,
            "");
    const std::vector<std::string> out = console();
    EXPECT_EQ(count(out, "[QuoteForge] : EXE Updating ok"), 1u);
    EXPECT_EQ(count(out, "[QuoteForge] :  - file... fresh.ini: GIF ok; PNG ok; done"), 1u);
    EXPECT_EQ(header(image("fresh", "png"), 8), "\x89PNG\r\n\x1a\n");
}

// ---- One-shot mode and stopping ------------------------------------------------------

TEST_F(ServiceTest, OneShotEndsAfterTheFirstPass) {
    const std::string g1 = chart("once");
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\nINDICEGIF_FILE_1=" + g1 + "\n", {"-unique"});
    ASSERT_TRUE(platform.awaitExit());
    ASSERT_TRUE(eventually([&] { return !app().thread_QuoteForge_running(); }));
    EXPECT_EQ(platform.exits(), std::vector<int>{0});
    EXPECT_EQ(count(console(), kConstruction), 1u);
    EXPECT_EQ(console().back(), "[Application] : Shutdown application!");
    const std::vector<std::string> lines = log();
    EXPECT_EQ(lines[lines.size() - 2].rfind(kMemory, 0), 0u);
    EXPECT_EQ(lines.back(), "  |_ [Application] : Shutdown application!");
    EXPECT_EQ(header(image("once", "gif"), 4), "GIF8");
}

TEST_F(ServiceTest, OneShotWaitsForTheServiceAndEndsEvenWithoutCharts) {
    start("INDICEGIF_SERVICE=no\nAPPLI_READINI_TIMER=1\n", {"-unique"});
    ASSERT_TRUE(platform.awaitPause(1000, 1));
    EXPECT_EQ(count(console(), kConstruction), 0u);
    platform.setFile("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nAPPLI_READINI_TIMER=1\n");
    advanceSeconds(1);
    ASSERT_TRUE(platform.awaitExit());
    EXPECT_EQ(platform.exits(), std::vector<int>{0});
    const std::vector<std::string> lines = log();
    const size_t pass = find(lines, "GIF Construction now.");
    ASSERT_NE(pass, std::string::npos);
    EXPECT_EQ(lines[pass + 1].rfind(kMemory, 0), 0u);
    EXPECT_EQ(lines[pass + 2], "  |_ [Application] : Shutdown application!");
}

TEST_F(ServiceTest, StoppingEndsAPauseAtOnce) {
    // Pauses of an hour on a clock that never moves: only the stop can end them.
    start("INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=3600\n");
    ASSERT_TRUE(platform.awaitPause(3600000, 2));
    EXPECT_TRUE(app().stopServiceQuoteForge());
    EXPECT_FALSE(app().isServiceRunning());
    EXPECT_TRUE(app().stopServiceQuoteForge());  // nothing left to stop
    EXPECT_EQ(count(console(), "[Service] : Service [QuoteForge] stopped."), 1u);
    EXPECT_TRUE(app().startServiceQuoteForge());
    EXPECT_FALSE(app().startServiceQuoteForge());
    ASSERT_TRUE(consoleHas(kConstruction, 2));
}

TEST_F(ServiceTest, StopRequestShutsDownAfterThePass) {
    start("INDICEGIF_SERVICE=yes\n");
    ASSERT_TRUE(platform.awaitPause(600000, 1));
    zkQuoteForge::requestStop();
    EXPECT_THROW(zkQuoteForge::waitForEnd(), ProcessExit);
    EXPECT_EQ(platform.exits(), std::vector<int>{0});
    const std::vector<std::string> out = console();
    EXPECT_EQ(std::vector<std::string>(out.end() - 3, out.end()),
              (std::vector<std::string>{"[Service] : Shutdown service [QuoteForge]...",
                                        "[Service] : Service [QuoteForge] stopped.",
                                        "[Application] : Shutdown application!"}));
    EXPECT_FALSE(app().isServiceRunning());
    EXPECT_FALSE(app().isReloadThreadRunning());
}

}  // namespace
