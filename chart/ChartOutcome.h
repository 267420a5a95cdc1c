#pragma once
// How the building of one chart ended, as the pass's line, the exit status of
// a one-shot run and the status file all tell it: read from what the chart's
// loading and export returned, never from the text they printed.

#include <cstdint>
#include <optional>
#include <string>

enum class ChartOutcome { built, noData, failed };

// Why a chart failed; none for a chart that did not.
enum class ChartFailure { none, graphFile, dataFile, dataFormat, configuration, imageWrite, font };

// The status file's names of outcomes and causes.
inline const char* outcomeName(ChartOutcome outcome) {
    switch (outcome) {
        case ChartOutcome::built:
            return "built";
        case ChartOutcome::noData:
            return "no_data";
        case ChartOutcome::failed:
            break;
    }
    return "failed";
}
inline const char* failureName(ChartFailure cause) {
    switch (cause) {
        case ChartFailure::graphFile:
            return "graph_file";
        case ChartFailure::dataFile:
            return "data_file";
        case ChartFailure::dataFormat:
            return "data_format";
        case ChartFailure::imageWrite:
            return "image_write";
        case ChartFailure::font:
            return "font";
        case ChartFailure::configuration:
        case ChartFailure::none:
            break;
    }
    return "configuration";
}

// Why a chart's loading stopped: the cause and the one line that tells it.
struct ChartLoadFailure {
    ChartFailure cause = ChartFailure::none;
    bool noData = false;  // the data file was read but the window holds no record
    std::string text;
};

struct ChartResult {
    ChartOutcome outcome = ChartOutcome::failed;
    ChartFailure cause = ChartFailure::none;
    // The newest record of the data file read (milliseconds since the
    // epoch); 0 when the file held none; nothing when no file was read.
    std::optional<int64_t> newestRecord;
    // The data file read, and its lines that look like records but do not read.
    std::optional<std::string> dataFile;
    int64_t unreadableLines = 0;
    // Its image files written anew, and those that held their bytes already
    // and were left alone.
    int imagesWritten = 0;
    int imagesUnchanged = 0;
    // With trading sessions: whether the market was open when the chart was
    // built, and when its next record is due (the first open instant after
    // the newest record, plus the publication delay).
    std::optional<bool> marketOpen;
    std::optional<int64_t> nextRecordDue;
};
