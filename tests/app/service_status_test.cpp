// The status file written after each pass: what it says about the pass, its
// update steps and each chart, across passes that succeed and fail.

#include "app/ChartPass.h"
#include "app/ServiceStatus.h"
#include "app/zkQuoteForge.h"
#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using IT = Indication_Tools;

// Samples of an exposition text by series ("name{labels}"); comments checked
// to come in HELP/TYPE pairs before their samples.
std::map<std::string, std::string> samples(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("# ", 0) == 0) continue;
        const size_t space = line.rfind(' ');
        out[line.substr(0, space)] = line.substr(space + 1);
    }
    return out;
}

class StatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.captureAllAppends();
        platform.now = localMillis(2001, 3, 5, 7, 8, 9);
        char tmpl[] = "/tmp/zkstatus-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        status = dir + "/zkquoteforge.prom";
        data = dir + "/data.txt";
        std::ofstream(data) << "20010304;120000;4000\n20010305;070000;4100,5\n";
    }
    void TearDown() override {
        SysProperties.store(nullptr);
        fs::remove_all(dir);
    }
    std::string graph(const std::string& name, const std::string& png) {
        platform.setFile(name, "GRAPH_DATA_FILE=" + data + "\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=7\n" +
                                   "GRAPH_PRINT_GIF_NAME=" + dir + "/" + name + ".gif\nGRAPH_PRINT_PNG_VALID=yes\n" +
                                   "GRAPH_PRINT_PNG_NAME=" + png + "\n");
        return name;
    }
    void pass(const std::string& config) {
        SysProperties.store(std::make_shared<const Properties>(IT::ParseProperties(config)));
        zkQuoteForge::generationPass(charts, &recorder);
    }
    std::map<std::string, std::string> file() {
        std::ifstream in(status, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return samples(text.str());
    }

    ScopedTimeZone zone{"UTC"};
    TestPlatform platform;
    Indication_Graph surface;
    ChartPass charts{surface, &zkQuoteForge::buildChart};
    ServiceStatus recorder;
    std::string dir, status, data;
};

TEST_F(StatusTest, PassesChartsAndTheirHistory) {
    const std::string good = graph("good.ini", dir + "/good.png");
    // The GIF is written, the PNG's folder does not exist: the chart failed.
    const std::string half = graph("half.ini", dir + "/none/half.png");
    platform.setMissing("gone.ini");
    pass("INDICEGIF_STATUS_FILE=" + status + "\nINDICEGIF_EXEUPDATE_VALID=yes\nINDICEGIF_FILE_1=" + good +
         "\nINDICEGIF_FILE_2=" + half + "\nINDICEGIF_FILE_3=gone.ini\nINDICEGIF_FILE_4=" + good + "\n");
    auto s = file();
    EXPECT_EQ(s["zkquoteforge_last_pass_start_timestamp_seconds"], "983776089.000");
    EXPECT_EQ(s["zkquoteforge_last_pass_end_timestamp_seconds"], "983776089.000");
    EXPECT_EQ(s["zkquoteforge_last_pass_duration_seconds"], "0.000");
    // A graph file listed twice is one chart.
    EXPECT_EQ(s["zkquoteforge_last_pass_charts_built"], "1");
    EXPECT_EQ(s["zkquoteforge_last_pass_charts_failed"], "2");
    // The good chart's two images twice, and the half chart's GIF.
    EXPECT_EQ(s["zkquoteforge_last_pass_images_written"], "5");
    EXPECT_EQ(s["zkquoteforge_last_pass_images_unchanged"], "0");
    EXPECT_EQ(s["zkquoteforge_last_successful_pass_timestamp_seconds"], "0.000");
    // The update program was asked for without a path.
    EXPECT_EQ(s["zkquoteforge_last_pass_update_ok{step=\"program\"}"], "0");
    EXPECT_EQ(s.count("zkquoteforge_last_pass_update_ok{step=\"address\"}"), 0u);
    EXPECT_EQ(s["zkquoteforge_chart_last_success_timestamp_seconds{graph_file=\"good.ini\"}"], "983776089.000");
    EXPECT_EQ(s["zkquoteforge_chart_last_attempt_failed{graph_file=\"good.ini\"}"], "0");
    EXPECT_EQ(s["zkquoteforge_chart_last_success_timestamp_seconds{graph_file=\"half.ini\"}"], "0.000");
    EXPECT_EQ(s["zkquoteforge_chart_last_attempt_failed{graph_file=\"half.ini\"}"], "1");
    EXPECT_EQ(s["zkquoteforge_chart_last_attempt_failed{graph_file=\"gone.ini\"}"], "1");
    EXPECT_EQ(s["zkquoteforge_chart_failure{graph_file=\"half.ini\",cause=\"image_write\"}"], "1");
    EXPECT_EQ(s["zkquoteforge_chart_failure{graph_file=\"gone.ini\",cause=\"graph_file\"}"], "1");

    // Next pass: the good chart loses its data and keeps its last success;
    // the charts dropped from the configuration leave the file.
    platform.now += 600500;
    fs::remove(data);
    pass("INDICEGIF_STATUS_FILE=" + status + "\nINDICEGIF_FILE_1=" + good + "\n");
    s = file();
    EXPECT_EQ(s["zkquoteforge_last_pass_start_timestamp_seconds"], "983776689.500");
    EXPECT_EQ(s["zkquoteforge_chart_last_success_timestamp_seconds{graph_file=\"good.ini\"}"], "983776089.000");
    EXPECT_EQ(s["zkquoteforge_chart_last_attempt_failed{graph_file=\"good.ini\"}"], "1");
    EXPECT_EQ(s.count("zkquoteforge_chart_last_attempt_failed{graph_file=\"half.ini\"}"), 0u);
    EXPECT_EQ(s.count("zkquoteforge_last_pass_update_ok{step=\"program\"}"), 0u);
    // The newest record read before stays; the cause of the failure shows.
    EXPECT_EQ(s["zkquoteforge_chart_newest_record_timestamp_seconds{graph_file=\"good.ini\"}"], "983775600.000");
    EXPECT_EQ(s["zkquoteforge_chart_failure{graph_file=\"good.ini\",cause=\"data_file\"}"], "1");
    EXPECT_EQ(s["zkquoteforge_chart_outcome{graph_file=\"good.ini\",outcome=\"failed\"}"], "1");
    EXPECT_EQ(s.size(), 16u);

    // A pass where everything works is a successful pass.
    platform.now += 600000;
    std::ofstream(data) << "20010305;070000;4000\n";
    pass("INDICEGIF_STATUS_FILE=" + status + "\nINDICEGIF_FILE_1=" + good + "\n");
    s = file();
    EXPECT_EQ(s["zkquoteforge_last_successful_pass_timestamp_seconds"], "983777289.500");
    EXPECT_EQ(s["zkquoteforge_chart_last_success_timestamp_seconds{graph_file=\"good.ini\"}"], "983777289.500");
    EXPECT_EQ(s["zkquoteforge_chart_failure{graph_file=\"good.ini\",cause=\"data_file\"}"], "0");

    // A data file caught empty has no data; it keeps the newest record it
    // had, and one that never held a record shows 0, as stale as can be.
    std::ofstream(data, std::ios::trunc).flush();
    const std::string fresh = graph("fresh.ini", dir + "/fresh.png");
    pass("INDICEGIF_STATUS_FILE=" + status + "\nINDICEGIF_FILE_1=" + good + "\nINDICEGIF_FILE_2=" + fresh + "\n");
    s = file();
    EXPECT_EQ(s["zkquoteforge_chart_outcome{graph_file=\"good.ini\",outcome=\"no_data\"}"], "1");
    EXPECT_EQ(s["zkquoteforge_chart_newest_record_timestamp_seconds{graph_file=\"good.ini\"}"], "983775600.000");
    EXPECT_EQ(s["zkquoteforge_chart_newest_record_timestamp_seconds{graph_file=\"fresh.ini\"}"], "0.000");
    EXPECT_EQ(s["zkquoteforge_last_pass_charts_no_data"], "2");
}

// With trading sessions a chart tells whether its market is open and when
// its next record is due: the next open after its newest record, plus the
// provider's delay.
TEST_F(StatusTest, ChartsWithSessionsTellTheMarketAndTheNextRecordDue) {
    platform.now = localMillis(2001, 3, 5, 20, 0);  // Monday evening, closed
    std::ofstream(data) << "20010305;173000;4000\n";
    platform.setFile("market.ini", "GRAPH_DATA_FILE=" + data + "\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=2\n" +
                                       "GRAPH_SESSIONS=09:00-17:30\nGRAPH_PUBLICATION_DELAY=15\nGRAPH_PRINT_GIF_NAME=" +
                                       dir + "/market.gif\n");
    pass("INDICEGIF_STATUS_FILE=" + status + "\nINDICEGIF_FILE_1=market.ini\nINDICEGIF_FILE_2=" + graph("plain.ini", dir + "/p.png") + "\n");
    auto s = file();
    EXPECT_EQ(s["zkquoteforge_chart_market_open{graph_file=\"market.ini\"}"], "0");
    EXPECT_EQ(s["zkquoteforge_chart_next_record_due_timestamp_seconds{graph_file=\"market.ini\"}"],
              std::to_string(localMillis(2001, 3, 6, 9, 15) / 1000) + ".000");
    EXPECT_EQ(s.count("zkquoteforge_chart_market_open{graph_file=\"plain.ini\"}"), 0u);
    platform.now = localMillis(2001, 3, 6, 10, 0);
    pass("INDICEGIF_STATUS_FILE=" + status + "\nINDICEGIF_FILE_1=market.ini\n");
    EXPECT_EQ(file()["zkquoteforge_chart_market_open{graph_file=\"market.ini\"}"], "1");
}

TEST_F(StatusTest, LabelsAreEscaped) {
    platform.setMissing("we\"ird\\name.ini");
    pass("INDICEGIF_STATUS_FILE=" + status + "\nINDICEGIF_FILE_1=we\"ird\\name.ini\n");
    EXPECT_EQ(file()["zkquoteforge_chart_last_attempt_failed{graph_file=\"we\\\"ird\\\\name.ini\"}"], "1");
}

TEST_F(StatusTest, WrittenOnlyWhenAskedAndFailuresReported) {
    pass("INDICEGIF_FILE_1=" + graph("good.ini", dir + "/good.png") + "\n");
    EXPECT_FALSE(fs::exists(status));
    EXPECT_EQ(platform.out().find("Status file"), std::string::npos);

    pass("INDICEGIF_STATUS_FILE=" + dir + "/none/status.prom\n");
    EXPECT_NE(platform.out().find("[QuoteForge] : Status file not written : "), std::string::npos);
    EXPECT_NE(platform.file(IT::DEFAULT_LOG_FILE).find("Status file not written : "), std::string::npos);
}

}  // namespace
