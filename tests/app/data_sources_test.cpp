// Data sources through the service's pass, against a loopback HTTP server
// serving provider-shaped files: the data file afterwards, the chart drawn
// from it, and what the console, the log and the status file say.

#include "app/ChartPass.h"
#include "app/DataSources.h"
#include "app/ServiceStatus.h"
#include "app/zkQuoteForge.h"
#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/RemoteUpdate.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using IT = Indication_Tools;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Sources : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        platform.now = 1764979200000;  // 2025-12-06 00:00:00 UTC
        char tmpl[] = "/tmp/zksources-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        serve("/daily", "text/csv",
              "Date,Open,High,Low,Close,Volume\n2025-12-05,1,1,1,8061.90,5\n2025-12-04,1,1,1,8013.22,5\n"
              "2025-12-03,1,1,1,8025.87,5\n");
        serve("/macro", "text/csv", "DATE,VALUE\n2025-12-01,4.33\n2025-12-02,.\n2025-12-03,4.09\n");
        serve("/euro", "text/csv", "Datum;Schluss\n04.12.2025;7.954,12\n05.12.2025;7989,40\n");
        serve("/intraday", "text/csv", "Date,Time,Price\n2025-12-05,09:00:00,101.5\n2025-12-05,09:05:00,101.75\n");
        serve("/html", "text/html", "<!DOCTYPE html><html><body>Service unavailable</body></html>");
        serve("/lost", "text/csv", "Date,Open\n2025-12-05,1\n");
        serve("/big", "text/csv", "Date,Close\n" + std::string(2 << 20, '\n'));
        server.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(100000, "text/csv", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset > 0) return false;  // the connection drops part-way
                const std::string start = "Date,Close\n2025-12-05,1\n";
                sink.write(start.data(), start.size());
                return true;
            });
        });
        server.Get("/tagged", [this](const httplib::Request& req, httplib::Response& res) {
            note(req);
            std::lock_guard<std::mutex> lock(mutex);
            if (req.get_header_value("If-None-Match") == etag) {
                res.status = 304;
                return;
            }
            res.set_header("ETag", etag);
            res.set_content(tagged, "text/csv");
        });
        server.Get("/update", [this](const httplib::Request& req, httplib::Response& res) {
            note(req);
            res.set_content("ok", "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port, 0);
        thread = std::thread([this] { server.listen_after_bind(); });
        for (int i = 0; i < 1000 && !server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        RemoteUpdateLimits limits;
        limits.http.totalTimeoutMs = 20'000;
        setRemoteUpdateLimits(limits);
    }
    void TearDown() override {
        server.stop();
        thread.join();
        setRemoteUpdateLimits(RemoteUpdateLimits{});
        SysProperties.store(nullptr);
        fs::remove_all(dir);
    }

    void serve(const std::string& path, const char* type, std::string body) {
        server.Get(path, [this, type, body](const httplib::Request& req, httplib::Response& res) {
            note(req);
            res.set_content(body, type);
        });
    }
    void note(const httplib::Request& req) {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(req.path + " " + req.get_header_value("Host") + " " + req.get_header_value("Authorization"));
    }
    std::vector<std::string> seen() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(requests, {});
    }
    std::string url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(port) + path;
    }
    // A block of the sources file reading a CSV with a header into dir/<into>.
    std::string block(const std::string& name, const std::string& from, const std::string& into,
                      const std::string& keys) const {
        return "[" + name + "]\nSOURCE_FROM=" + from + "\nSOURCE_INTO=" + dir + "/" + into + "\n" + keys;
    }
    // A day chart of dir/<data> over the week before 2025-12-06, as a PNG.
    std::string chart(const std::string& data) {
        const std::string name = dir + "/" + data + ".ini";
        std::ofstream(name) << "GRAPH_DATA_FILE=" << dir << "/" << data
                            << "\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n"
                               "GRAPH_DURATION_PERIOD_WEDGE_DATE=20251206\nGRAPH_PRINT_GIF_VALID=no\n"
                               "GRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_NAME="
                            << dir << "/" << data << ".png\n";
        return name;
    }
    // One pass of the service with these sources and charts; its outcome.
    bool pass(const std::string& sources, const std::vector<std::string>& charts = {},
              const std::string& more = "") {
        std::ofstream(dir + "/sources.ini") << sources;
        std::string config = "INDICEGIF_SOURCES=" + dir + "/sources.ini\nINDICEGIF_STATUS_FILE=" + dir +
                             "/status.prom\n" + more;
        for (size_t i = 0; i < charts.size(); ++i)
            config += "INDICEGIF_FILE_" + std::to_string(i + 1) + "=" + charts[i] + "\n";
        SysProperties.store(std::make_shared<const Properties>(IT::ParseProperties(config)));
        platform.clearOut();
        return zkQuoteForge::generationPass(passCharts, &status);
    }
    std::map<std::string, std::string> metrics() {
        std::map<std::string, std::string> out;
        std::istringstream in(readAll(dir + "/status.prom"));
        for (std::string line; std::getline(in, line);)
            if (line.rfind("zkquoteforge_source", 0) == 0) out[line.substr(0, line.rfind(' '))] = line.substr(line.rfind(' ') + 1);
        return out;
    }

    ScopedTimeZone zone{"UTC"};
    TestPlatform platform;
    Indication_Graph surface;
    ChartPass passCharts{surface, &zkQuoteForge::buildChart};
    ServiceStatus status;
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::string dir;
    std::mutex mutex;
    std::vector<std::string> requests;
    std::string tagged = "Date,Close\n2025-12-05,1\n";  // with its ETag, under mutex
    std::string etag = "\"v1\"";
};

TEST_F(Sources, ProviderFilesFillTheirDataFilesAndTheirCharts) {
    struct Case {
        const char* name;
        std::string path;
        std::string keys;
        std::string data;
    };
    const Case cases[] = {
        {"daily", "/daily", "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\nSOURCE_TIME=17:30\n",
         "20251203;173000;8025.87\n20251204;173000;8013.22\n20251205;173000;8061.9\n"},
        {"macro", "/macro", "SOURCE_DATE_COLUMN=DATE\nSOURCE_VALUE_COLUMN=VALUE\n",
         "20251201;000000;4.33\n20251203;000000;4.09\n"},
        {"euro", "/euro",
         "SOURCE_DATE_COLUMN=Datum\nSOURCE_VALUE_COLUMN=Schluss\nSOURCE_DATE_FORMAT=%d.%m.%Y\nSOURCE_DECIMAL=,\n",
         "20251204;000000;7954.12\n20251205;000000;7989.4\n"},
        {"intraday", "/intraday", "SOURCE_DATE_COLUMN=1\nSOURCE_TIME_COLUMN=2\nSOURCE_VALUE_COLUMN=3\n",
         "20251205;090000;101.5\n20251205;090500;101.75\n"},
    };
    std::string sources;
    std::vector<std::string> charts;
    for (const Case& c : cases) {
        sources += block(c.name, url(c.path), std::string(c.name) + ".txt", c.keys);
        charts.push_back(chart(std::string(c.name) + ".txt"));
    }
    EXPECT_TRUE(pass(sources, charts)) << platform.out();
    const std::map<std::string, std::string> m = metrics();
    for (const Case& c : cases) {
        EXPECT_EQ(readAll(dir + "/" + c.name + ".txt"), c.data) << c.name;
        EXPECT_TRUE(fs::file_size(dir + "/" + c.name + ".txt.png") > 0) << c.name;
        EXPECT_EQ(m.at("zkquoteforge_source_ok{source=\"" + std::string(c.name) + "\"}"), "1") << c.name;
    }
    EXPECT_NE(platform.out().find("[QuoteForge] : Source daily ok : 3 added, 0 replaced"), std::string::npos);
    EXPECT_EQ(m.at("zkquoteforge_source_records_added{source=\"daily\"}"), "3");
    EXPECT_EQ(m.at("zkquoteforge_source_newest_record_timestamp_seconds{source=\"daily\"}"), "1764955800.000");
    EXPECT_NE(platform.out().find(" - file... " + charts[0] + ": PNG ok; done"), std::string::npos) << platform.out();
}

TEST_F(Sources, AFailedSourceLeavesItsDataFileByteForByteAndSaysWhy) {
    const std::string old = "# mine\r\n20251201;173000;7954,12\r\n";
    const std::pair<const char*, const char*> cases[] = {
        {"/html", "the answer is an HTML or XML page, not CSV"},
        {"/lost", "the header has no column \"Close\" (it has: Date, Open)"},
        {"/cut", "transfer closed with"},
        {"/nowhere", "the server answered \"HTTP/1.1 404 Not Found\""},
    };
    for (const auto& [path, cause] : cases) {
        std::ofstream(dir + "/data.txt", std::ios::binary) << old;
        const std::string chartFile = chart("data.txt");
        EXPECT_FALSE(pass(block("feed", url(path), "data.txt", "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\n"),
                          {chartFile}))
            << path;
        EXPECT_EQ(readAll(dir + "/data.txt"), old) << path;
        const std::string line = "[QuoteForge] : Source feed failed : " + url(path) + " : " + cause;
        EXPECT_NE(platform.out().find(line), std::string::npos) << platform.out();
        EXPECT_NE(platform.file("log_quoteforge.txt").find(line), std::string::npos) << path;
        EXPECT_EQ(metrics().at("zkquoteforge_source_ok{source=\"feed\"}"), "0") << path;
        // The chart goes on with the old data.
        EXPECT_NE(platform.out().find("PNG ok; done"), std::string::npos) << path;
    }
    // A refused connection too, with the key in its address masked.
    EXPECT_FALSE(pass(block("feed", "http://127.0.0.1:1/q?apikey=S3CRET&f=csv", "data.txt",
                            "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\n")));
    EXPECT_NE(platform.out().find("Source feed failed : http://127.0.0.1:1/q?apikey=***&f=csv : "), std::string::npos)
        << platform.out();
    EXPECT_EQ(platform.file("log_quoteforge.txt").find("S3CRET"), std::string::npos);
    EXPECT_EQ(readAll(dir + "/data.txt"), old);
    // A body past its bound.
    EXPECT_FALSE(pass(block("feed", url("/big"), "data.txt",
                            "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\nSOURCE_MAX_MB=1\n")));
    EXPECT_NE(platform.out().find("Source feed failed : " + url("/big") + " : the answer is larger than 1 MiB"),
              std::string::npos)
        << platform.out();
    EXPECT_EQ(readAll(dir + "/data.txt"), old);
}

TEST_F(Sources, ACorrectedCloseReplacesTheOldOneAndTheChartShowsIt) {
    const std::string sources = block("tagged", url("/tagged"), "data.txt",
                                      "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\n");
    std::ofstream(dir + "/data.txt") << "20251204;000000;2.0\n";
    const std::string chartFile = chart("data.txt");
    EXPECT_TRUE(pass(sources, {chartFile}));
    EXPECT_EQ(readAll(dir + "/data.txt"), "20251204;000000;2.0\n20251205;000000;1.0\n");
    const std::string before = readAll(dir + "/data.txt.png");
    // Unchanged: a 304, which costs nothing and changes nothing.
    EXPECT_TRUE(pass(sources, {chartFile}));
    EXPECT_NE(platform.out().find("Source tagged ok : not modified"), std::string::npos) << platform.out();
    EXPECT_EQ(seen().back(), "/tagged 127.0.0.1:" + std::to_string(port) + " ");
    EXPECT_NE(readAll(sourceStateFile(dir + "/data.txt")).find("ETAG=\"v1\""), std::string::npos);
    // A data file removed since is asked for whole again, not conditionally.
    const std::string kept = readAll(dir + "/data.txt");
    fs::remove(dir + "/data.txt");
    EXPECT_TRUE(pass(sources, {chartFile}));
    EXPECT_EQ(readAll(dir + "/data.txt"), "20251205;000000;1.0\n");
    std::ofstream(dir + "/data.txt") << kept;
    // The provisional close is corrected.
    {
        std::lock_guard<std::mutex> lock(mutex);
        tagged = "Date,Close\n2025-12-05,3\n";
        etag = "\"v2\"";
    }
    EXPECT_TRUE(pass(sources, {chartFile}));
    EXPECT_EQ(readAll(dir + "/data.txt"), "20251204;000000;2.0\n20251205;000000;3.0\n");
    EXPECT_EQ(metrics().at("zkquoteforge_source_records_replaced{source=\"tagged\"}"), "1");
    EXPECT_TRUE(readAll(dir + "/data.txt.png") != before) << "the chart still shows the provisional close";
}

TEST_F(Sources, LoginsStayWithTheirOwnHosts) {
    // The update address on "localhost", the source on 127.0.0.1: one server, two hosts.
    const std::string more = "INDICEGIF_URLUPDATE_VALID=yes\nINDICEGIF_URLUPDATE_URL=" + url("/update", "localhost") +
                             "\nINDICEGIF_URLUPDATE_LOGIN=upd\nINDICEGIF_URLUPDATE_PASSWORD=u\n";
    EXPECT_TRUE(pass(block("feed", url("/tagged"), "data.txt",
                           "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\nSOURCE_LOGIN=src\nSOURCE_PASSWORD=pw\n"),
                     {}, more))
        << platform.out();
    const std::string p = std::to_string(port);
    EXPECT_EQ(seen(), (std::vector<std::string>{"/update localhost:" + p + " Basic dXBkOnU=",
                                                "/tagged 127.0.0.1:" + p + " Basic c3JjOnB3"}));
}

TEST_F(Sources, TwoSourcesFeedTwoFilesAndOneFileTakesOneSource) {
    std::ofstream(dir + "/local.csv") << "Date;Close\n2025-12-05;10\n2025-12-06;11";  // last line still being written
    const std::string keys = "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\n";
    EXPECT_TRUE(pass(block("web", url("/tagged"), "a.txt", keys) + block("disk", dir + "/local.csv", "b.txt", keys)));
    EXPECT_EQ(readAll(dir + "/a.txt"), "20251205;000000;1.0\n");
    EXPECT_EQ(readAll(dir + "/b.txt"), "20251205;000000;10.0\n");

    EXPECT_FALSE(pass(block("one", dir + "/local.csv", "b.txt", keys) +
                      block("two", dir + "/local.csv", "./b.txt", keys)));
    EXPECT_NE(platform.out().find("Source two failed : " + dir + "/local.csv : configuration : " + dir +
                                  "/./b.txt is fed by more than one source ([one], [two])"),
              std::string::npos)
        << platform.out();
    EXPECT_EQ(readAll(dir + "/b.txt"), "20251205;000000;10.0\n");
}

TEST_F(Sources, AnIntervalHoldsBackTheNextFetch) {
    const std::string sources =
        block("slow", url("/tagged"), "data.txt", "SOURCE_DATE_COLUMN=Date\nSOURCE_VALUE_COLUMN=Close\nSOURCE_INTERVAL=3600\n");
    EXPECT_TRUE(pass(sources));
    EXPECT_EQ(seen().size(), 1u);
    platform.now += 1800'000;
    EXPECT_TRUE(pass(sources));
    EXPECT_EQ(seen().size(), 0u);
    EXPECT_EQ(metrics().at("zkquoteforge_source_ok{source=\"slow\"}"), "1");
    platform.now += 1800'000;
    EXPECT_TRUE(pass(sources));
    EXPECT_EQ(seen().size(), 1u);
}

}  // namespace
