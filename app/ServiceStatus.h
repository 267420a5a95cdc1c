#pragma once
// What the generation service last did, for an operator's monitoring: the
// times and outcome of the last pass, of its update steps and of each chart,
// written after every pass to the file named by "INDICEGIF_STATUS_FILE" in
// the Prometheus text exposition format (node_exporter's textfile collector
// reads it as is).
//
// Thread-safe: charts of one pass may report from several threads.

#include "app/DataSources.h"
#include "chart/ChartOutcome.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class ServiceStatus {
public:
    // The steps of a pass that can fail on their own.
    static constexpr const char* STEP_ADDRESS = "address";
    static constexpr const char* STEP_PROGRAM = "program";
    static constexpr const char* STEP_SOURCES = "sources";

    // Times are milliseconds since the epoch.
    void passStarted(int64_t at);
    void updateOutcome(const std::string& step, bool ok);
    // A chart is built when every image its graph file asks for was written;
    // only a failed chart fails the pass (no data is the market closed).
    void chartOutcome(const std::string& graphFile, const ChartResult& result, int64_t at);
    // A source of the sources file; one not due keeps its figures.
    void sourceOutcome(const SourceOutcome& source);
    void passEnded(int64_t at);

    // The exposition text of the last ended pass; charts not tried in it are
    // left out, so a chart dropped from the configuration disappears.
    std::string exposition() const;
    // Writes exposition() over path atomically; false with the reason when
    // it could not.
    bool write(const std::string& path, std::string& error) const;

private:
    struct Chart {
        int64_t lastSuccess = 0;  // 0: never built
        ChartOutcome outcome = ChartOutcome::failed;
        ChartFailure lastCause = ChartFailure::none;  // of the last failure; none: never failed
        std::optional<int64_t> newestRecord;          // the newest record ever read for it; 0: none yet
        std::optional<bool> marketOpen;               // with trading sessions, at its last attempt
        std::optional<int64_t> nextRecordDue;
        uint64_t pass = 0;                            // the pass that last tried it
    };

    mutable std::mutex mutex_;
    uint64_t pass_ = 0;
    int64_t start_ = 0;
    int64_t end_ = 0;
    int64_t lastGoodPass_ = 0;
    bool passFailed_ = false;
    int64_t imagesWritten_ = 0;    // image files written anew this pass
    int64_t imagesUnchanged_ = 0;  // and those left as they were
    std::map<std::string, bool> steps_;  // outcome of each update step this pass
    std::map<std::string, Chart> charts_;
    struct DataFile {
        int64_t unreadableLines = 0;
        uint64_t pass = 0;  // the pass that last read it
    };
    std::map<std::string, DataFile> dataFiles_;
    struct Source {
        bool ok = false;
        size_t added = 0, replaced = 0;    // by its last fetch
        std::optional<int64_t> newestRecord;
        int64_t lastSuccess = 0;
        uint64_t pass = 0;
    };
    std::map<std::string, Source> sources_;
};
