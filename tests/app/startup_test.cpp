#include "app/zkQuoteForge.h"
#include "support/Indication_Tools.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace {

using IT = Indication_Tools;

const std::string kBanner = "\n  zkQuoteForge v1.05 of 27/03/2001 (last: 21/11/2001)\n\n  [-h for help]\n\n";
const std::string kHelp =
    "\n"
    " -h / -?    : this help\n"
    " -v         : verbose mode\n"
    " -m         : memory watcher (to memory.txt)\n"
    " -unique    : one generation of images (exit after)\n"
    " -DataMaker : generate data (sinus in period -7 days to +3 days)\n"
    "\n";
// Said whenever a configuration with the service off loads.
std::string serviceOff(const std::string& value) {
    return "[zkQuoteForge] : INDICEGIF_SERVICE is off (" + value +
           "): no chart is built until it is \"yes\"; next reading of zkQuoteForge.ini in 3600 s";
}
const std::string kServiceOff = serviceOff("\"no\"") + "\n";
const std::string kConfigError =
    "[zkQuoteForge] : Une erreur de configuration est survenue dans 'zkQuoteForge.ini'... Impossible de continuer !\n";

std::vector<std::string> lines(const std::string& text, const std::string& end = "\n") {
    std::vector<std::string> out;
    size_t pos = 0;
    for (size_t e = text.find(end); e != std::string::npos; e = text.find(end, pos)) {
        out.push_back(text.substr(pos, e - pos));
        pos = e + end.size();
    }
    return out;
}

// The messages of log lines, without their stamps.
std::vector<std::string> logMessages(const std::string& log) {
    std::vector<std::string> out;
    for (const std::string& l : lines(log, "\r\n")) out.push_back(l.size() > 22 ? l.substr(22) : "?" + l);
    return out;
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        platform.now = localMillis(2001, 3, 5, 7, 8, 9);
        platform.osNameValue = "Linux";
        platform.setFile("zkQuoteForge.ini", "INDICEGIF_SERVICE=no\n");
        reset();
    }
    void TearDown() override {
        zkQuoteForge::discardApplication();
        reset();
    }
    static void reset() {
        IT::debugMode = false;
        IT::svcMemMonitor = false;
        SysProperties.store(nullptr);
    }
    std::string runMain(std::vector<std::string> args) {
        zkQuoteForge::main(args);
        return platform.out();
    }
    ScopedTimeZone zone{"Europe/Paris"};
    TestPlatform platform;
};

TEST_F(StartupTest, BannerThenConfigurationLoads) {
    EXPECT_EQ(runMain({}), kBanner + kServiceOff);
    ASSERT_NE(zkQuoteForge::application(), nullptr);
    EXPECT_FALSE(zkQuoteForge::application()->bExecution_Unique);
    EXPECT_EQ(IT::szSystemOS, "Linux");
    EXPECT_EQ(IT::fileSeparator, '/');
    EXPECT_EQ(logMessages(platform.file("log_quoteforge.txt")),
              (std::vector<std::string>{std::string(33, '-'), "zkQuoteForge started - v1.05 (21/11/2001)",
                                        "  |_ Operating System = Linux", "  |_ Verbose Mode = false",
                                        "  |_ " + serviceOff("\"no\"")}));
    EXPECT_EQ(platform.file("log_quoteforge.txt").substr(0, 22), "[05/03/2001 07:08:09] ");
    EXPECT_EQ(zkQuoteForge::getSystemField("INDICEGIF_SERVICE"), "no");
    // The reload thread always runs; the service only when asked for.
    EXPECT_TRUE(zkQuoteForge::application()->isReloadThreadRunning());
    EXPECT_FALSE(zkQuoteForge::application()->isServiceRunning());
    EXPECT_TRUE(zkQuoteForge::running());
}

TEST_F(StartupTest, OptionsAreMatchedLowercasedAndExactly) {
    runMain({" -v", "--v", "/v", "-v ", "-vv", "-M", "-UniQue", "stray"});
    EXPECT_FALSE(IT::debugMode);
    EXPECT_TRUE(IT::svcMemMonitor);
    ASSERT_NE(zkQuoteForge::application(), nullptr);
    EXPECT_TRUE(zkQuoteForge::application()->bExecution_Unique);
    EXPECT_FALSE(zkQuoteForge::application()->bDebugMode_Origine);
    EXPECT_EQ(platform.out(), kBanner + kServiceOff);
}

TEST_F(StartupTest, HelpAndDataMakerReturnAtOnce) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-h"}, {"-?"}, {"-v", "-H"}, {"-h", "-v"}, {"-m", "-unique", "-h", "-datamaker"}}) {
        platform.clearOut();
        reset();
        EXPECT_EQ(runMain(args), kBanner + kHelp) << args[0];
        EXPECT_EQ(zkQuoteForge::application(), nullptr);
        EXPECT_FALSE(zkQuoteForge::running());
    }
    // Nothing was built, so nothing was logged.
    EXPECT_EQ(platform.file("log_quoteforge.txt"), "");

    platform.clearOut();
    std::string out = runMain({"-m", "-DataMaker", "-h"});
    EXPECT_EQ(out.find(kHelp), std::string::npos);
    EXPECT_EQ(lines(out.substr(kBanner.size())).size(), 1512u);
    EXPECT_EQ(zkQuoteForge::application(), nullptr);
    EXPECT_EQ(platform.file("log_quoteforge.txt"), "");
}

TEST_F(StartupTest, DataMakerPrintsTenDaysEveryTenMinutes) {
    platform.random = 0.25;  // x starts at 4250
    const std::string out = runMain({"-datamaker"});
    ASSERT_EQ(out.substr(0, kBanner.size()), kBanner);
    const std::vector<std::string> rows = lines(out.substr(kBanner.size()));
    ASSERT_EQ(rows.size(), 1512u);
    EXPECT_EQ(rows.front().substr(0, 16), "20010226;070809;");
    // The last line is 83 h 50 min after now.
    EXPECT_EQ(rows.back().substr(0, 16), "20010308;185809;");
    double x = 4250.0;
    for (const std::string& row : rows) {
        ASSERT_EQ(row.size() > 16, true) << row;
        const std::string value = row.substr(16);
        EXPECT_NE(value.find('.'), std::string::npos) << value;
        double parsed = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
        ASSERT_EQ(ec, std::errc()) << value;
        EXPECT_EQ(end, value.data() + value.size()) << value;
        EXPECT_EQ(parsed, 6000.0 + 2000.0 * std::sin(x / 30.0)) << value;
        x += 1.0;
    }
    EXPECT_EQ(zkQuoteForge::formatValue(6000.0), "6000.0");
    EXPECT_EQ(zkQuoteForge::formatValue(4512.37), "4512.37");
    EXPECT_EQ(zkQuoteForge::formatValue(0.1 + 0.2), "0.30000000000000004");
}

TEST_F(StartupTest, DataMakerReadsTheClockForEveryLine) {
    // A clock that moves one minute per reading: consecutive lines are 11 minutes apart.
    struct MovingClock : PlatformWrapper {
        using PlatformWrapper::PlatformWrapper;
        int64_t t = localMillis(2001, 3, 5, 7, 8, 9);
        int64_t nowMillis() override { return t += 60000; }
    } clock(platform);
    ScopedPlatform installed(clock);
    zkQuoteForge::main({"-datamaker"});
    const std::vector<std::string> rows = lines(platform.out().substr(kBanner.size()));
    ASSERT_EQ(rows.size(), 1512u);
    EXPECT_EQ(rows[0].substr(0, 16), "20010226;070909;");
    EXPECT_EQ(rows[1].substr(0, 16), "20010226;072009;");
}

TEST_F(StartupTest, BadConfigurationFilesGiveTheFrenchError) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>(i * 37 % 256 == '=' ? 0 : i * 37 % 256);
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        {"missing", std::nullopt},
        {"empty", ""},
        {"comments", "# INDICEGIF_SERVICE=yes\n; APPLI_VERBOSE_MODE=yes\n\n   \n"},
        {"keyless", "[Section]\nno equals\n=value\n"},
        {"binary", binary},
        {"NUL bytes", std::string(1000, '\0')},
        {"10 MB one line", std::string(10 << 20, 'k')},
    };
    for (const auto& [name, content] : cases) {
        reset();
        platform.clearOut();
        platform.setFile("log_quoteforge.txt", "");
        if (content)
            platform.setFile("zkQuoteForge.ini", *content);
        else
            platform.setMissing("zkQuoteForge.ini");
        EXPECT_EQ(runMain({}), kBanner + kConfigError) << name;
        const std::vector<std::string> log = logMessages(platform.file("log_quoteforge.txt"));
        ASSERT_EQ(log.size(), 5u) << name;
        EXPECT_EQ(log[4], "  |_ " + kConfigError.substr(0, kConfigError.size() - 1)) << name;
        // Built, but nothing started: a service host fails its start.
        EXPECT_NE(zkQuoteForge::application(), nullptr) << name;
        EXPECT_FALSE(zkQuoteForge::running()) << name;
        zkQuoteForge::discardApplication();
    }
    // Verbose mode also shows why the file could not be read.
    reset();
    platform.clearOut();
    platform.setMissing("zkQuoteForge.ini");
    const std::string out = runMain({"-v"});
    EXPECT_EQ(out.find("[Indication_Tools] : Error with zkQuoteForge.ini : "), kBanner.size());
    EXPECT_NE(out.find(kConfigError), std::string::npos);
}

TEST_F(StartupTest, LargeValidConfigurationLoads) {
    platform.setFile("zkQuoteForge.ini", "INDICEGIF_LOG=" + std::string(10 << 20, 'v') + "\nAPPLI_VERBOSE_MODE=yes");
    EXPECT_EQ(runMain({}), kBanner + serviceOff("not set") + "\n");
    EXPECT_TRUE(IT::debugMode);
}

TEST_F(StartupTest, VerboseModeSettling) {
    struct Case {
        const char* config;
        std::vector<std::string> args;
        bool verbose;
    };
    for (const Case& c : std::vector<Case>{{"APPLI_VERBOSE_MODE=yes", {}, true},
                                           {"APPLI_VERBOSE_MODE=YeS", {}, true},
                                           {"APPLI_VERBOSE_MODE=oui", {}, false},
                                           {"APPLI_VERBOSE_MODE=yes ", {}, true},  // trailing blanks are trimmed away
                                           {"APPLI_VERBOSE_MODE=yes!", {}, false},
                                           {"OTHER=1", {}, false},
                                           {"APPLI_VERBOSE_MODE=no", {"-v"}, true},
                                           {"OTHER=1", {"-V"}, true}}) {
        reset();
        platform.setFile("zkQuoteForge.ini", c.config);
        runMain(c.args);
        EXPECT_EQ(IT::debugMode.load(), c.verbose) << c.config;
        ASSERT_NE(zkQuoteForge::application(), nullptr);
        EXPECT_EQ(zkQuoteForge::application()->bDebugMode_Origine, !c.args.empty());
        // The start-up line tells the mode before the configuration is read.
        std::vector<std::string> log = logMessages(platform.file("log_quoteforge.txt"));
        log.erase(std::remove_if(log.begin(), log.end(),
                                 [](const std::string& l) { return l.rfind("  |_ [zkQuoteForge] : ", 0) == 0; }),
                  log.end());
        EXPECT_EQ(log.back(), std::string("  |_ Verbose Mode = ") + (c.args.empty() ? "false" : "true"));
        zkQuoteForge::discardApplication();
    }
}

TEST_F(StartupTest, SystemFieldsAndTheLogFileChoice) {
    platform.setFile("zkQuoteForge.ini", "INDICEGIF_LOG=app.log\nINDICEGIF_URLUPDATE_VALID=YES\nEMPTY=\n");
    IT::addLogIndice("stale");  // to the default log: no configuration yet
    runMain({});
    EXPECT_EQ(zkQuoteForge::getSystemField("INDICEGIF_LOG"), "app.log");
    EXPECT_EQ(zkQuoteForge::getSystemField("indicegif_log"), "NULL");
    EXPECT_EQ(zkQuoteForge::getSystemField("EMPTY"), "");
    EXPECT_TRUE(zkQuoteForge::isSystemFieldOn("INDICEGIF_URLUPDATE_VALID"));
    EXPECT_FALSE(zkQuoteForge::isSystemFieldOn("EMPTY"));
    EXPECT_FALSE(zkQuoteForge::isSystemFieldOn("MISSING"));
    // The start-up lines went to the default log even though another is configured.
    EXPECT_EQ(logMessages(platform.file("log_quoteforge.txt")).size(), 5u);
    // What the configuration leaves unread or off goes to its own log.
    EXPECT_EQ(logMessages(platform.file("app.log")),
              (std::vector<std::string>{"  |_ [zkQuoteForge] : Unknown key EMPTY in zkQuoteForge.ini",
                                        "  |_ " + serviceOff("not set")}));
}

TEST_F(StartupTest, ShutdownReportsAndExitsWithZero) {
    platform.setFile("zkQuoteForge.ini", "INDICEGIF_LOG=app.log\n");
    runMain({});
    platform.clearOut();
    platform.setFile("app.log", "");
    try {
        zkQuoteForge::ShutdownApplication(*zkQuoteForge::application(), false);
        FAIL() << "ShutdownApplication returned";
    } catch (const ProcessExit& e) {
        EXPECT_EQ(e.status, 0);
    }
    EXPECT_EQ(platform.out(), "[Application] : Shutdown application!\n");
    EXPECT_EQ(logMessages(platform.file("app.log")),
              std::vector<std::string>{"  |_ [Application] : Shutdown application!"});
}

TEST_F(StartupTest, UnknownSystemAndUnwritableLog) {
    platform.osNameValue.reset();
    platform.failAppends = true;
    const std::string out = runMain({});
    // Four start-up lines lost, one console line each, then the service
    // off and its lost line; the program goes on.
    std::vector<std::string> rows = lines(out.substr(kBanner.size()));
    ASSERT_EQ(rows.size(), 6u) << out;
    EXPECT_EQ(rows[4] + "\n", kServiceOff);
    rows.erase(rows.begin() + 4);
    for (const std::string& row : rows) EXPECT_EQ(row.rfind("[System] : write log error: ", 0), 0u) << row;
    EXPECT_EQ(IT::szSystemOS, "unknown system");
    EXPECT_NE(zkQuoteForge::application(), nullptr);

    // With the configuration error too: five lost lines.
    zkQuoteForge::discardApplication();
    platform.clearOut();
    platform.setFile("zkQuoteForge.ini", "");
    const std::vector<std::string> rows2 = lines(runMain({}).substr(kBanner.size()));
    ASSERT_EQ(rows2.size(), 6u);
    EXPECT_EQ(rows2[4] + "\n", kConfigError);
    EXPECT_EQ(rows2[5].rfind("[System] : write log error: ", 0), 0u);
}

TEST(KeepAlive, WaitForEndWaitsForWorkers) {
    std::atomic<bool> released{false};
    std::thread worker([alive = zkQuoteForge::KeepAlive(), &released] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        released = true;
    });
    EXPECT_EQ(zkQuoteForge::waitForEnd(), 0);
    EXPECT_TRUE(released);
    worker.join();
}

}  // namespace
