// The status of the generation service in the Prometheus text format.

#include "app/ServiceStatus.h"

#include "support/AtomicWrites.h"

#include <cstdio>
#include <utility>

namespace {

// Seconds with the milliseconds kept, as Prometheus timestamps are read.
std::string seconds(int64_t millis) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(millis) / 1000.0);
    return text;
}

// A label value: backslash, double quote and line feed are the format's escapes.
std::string labelValue(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

void family(std::string& out, const char* name, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += " gauge\n";
}

void sample(std::string& out, const char* name, const std::string& labels, const std::string& value) {
    out += name;
    if (!labels.empty()) out += "{" + labels + "}";
    out += ' ';
    out += value;
    out += '\n';
}

}  // namespace

void ServiceStatus::passStarted(int64_t at) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++pass_;
    start_ = at;
    passFailed_ = false;
    imagesWritten_ = 0;
    imagesUnchanged_ = 0;
    steps_.clear();
}

void ServiceStatus::updateOutcome(const std::string& step, bool ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    steps_[step] = ok;
    if (!ok) passFailed_ = true;
}

void ServiceStatus::chartOutcome(const std::string& graphFile, const ChartResult& result, int64_t at) {
    std::lock_guard<std::mutex> lock(mutex_);
    Chart& chart = charts_[graphFile];
    // A graph file listed twice is one series: its last attempt counts.
    chart.pass = pass_;
    chart.outcome = result.outcome;
    imagesWritten_ += result.imagesWritten;
    imagesUnchanged_ += result.imagesUnchanged;
    // A file caught empty (being rewritten, say) does not hide the records it had.
    if (result.newestRecord && (*result.newestRecord != 0 || !chart.newestRecord))
        chart.newestRecord = result.newestRecord;
    chart.marketOpen = result.marketOpen;
    // Due from the newest record known, kept when a read found none.
    if (result.nextRecordDue || !result.marketOpen) chart.nextRecordDue = result.nextRecordDue;
    if (result.outcome == ChartOutcome::built) chart.lastSuccess = at;
    if (result.dataFile) dataFiles_[*result.dataFile] = DataFile{result.unreadableLines, pass_};
    if (result.outcome == ChartOutcome::failed) {
        chart.lastCause = result.cause == ChartFailure::none ? ChartFailure::configuration : result.cause;
        passFailed_ = true;
    }
}

void ServiceStatus::sourceOutcome(const SourceOutcome& outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    Source& source = sources_[outcome.name];
    source.pass = pass_;
    source.ok = outcome.ok;
    if (outcome.lastSuccess != 0) source.lastSuccess = outcome.lastSuccess;
    if (!outcome.attempted) return;
    source.added = outcome.added;
    source.replaced = outcome.replaced;
    if (outcome.newestRecord) source.newestRecord = outcome.newestRecord;
}

void ServiceStatus::passEnded(int64_t at) {
    std::lock_guard<std::mutex> lock(mutex_);
    end_ = at;
    if (!passFailed_) lastGoodPass_ = at;
    // Charts no longer in the configuration, and files no chart read, are forgotten.
    std::erase_if(charts_, [this](const auto& entry) { return entry.second.pass != pass_; });
    std::erase_if(dataFiles_, [this](const auto& entry) { return entry.second.pass != pass_; });
    std::erase_if(sources_, [this](const auto& entry) { return entry.second.pass != pass_; });
}

std::string ServiceStatus::exposition() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int built = 0;
    int failed = 0;
    int noData = 0;
    for (const auto& [file, chart] : charts_) {
        (chart.outcome == ChartOutcome::built ? built : chart.outcome == ChartOutcome::noData ? noData : failed) += 1;
    }

    std::string out;
    family(out, "zkquoteforge_last_pass_start_timestamp_seconds", "Start of the last chart pass (Unix time).");
    sample(out, "zkquoteforge_last_pass_start_timestamp_seconds", "", seconds(start_));
    family(out, "zkquoteforge_last_pass_end_timestamp_seconds", "End of the last chart pass (Unix time).");
    sample(out, "zkquoteforge_last_pass_end_timestamp_seconds", "", seconds(end_));
    family(out, "zkquoteforge_last_pass_duration_seconds", "Duration of the last chart pass.");
    sample(out, "zkquoteforge_last_pass_duration_seconds", "", seconds(end_ - start_));
    family(out, "zkquoteforge_last_pass_charts_built", "Charts of the last pass whose images were all written.");
    sample(out, "zkquoteforge_last_pass_charts_built", "", std::to_string(built));
    family(out, "zkquoteforge_last_pass_charts_failed", "Charts of the last pass that failed.");
    sample(out, "zkquoteforge_last_pass_charts_failed", "", std::to_string(failed));
    family(out, "zkquoteforge_last_pass_charts_no_data",
           "Charts of the last pass whose time window held no record (images left as they were).");
    sample(out, "zkquoteforge_last_pass_charts_no_data", "", std::to_string(noData));
    family(out, "zkquoteforge_last_pass_images_written", "Image files the last pass wrote anew.");
    sample(out, "zkquoteforge_last_pass_images_written", "", std::to_string(imagesWritten_));
    family(out, "zkquoteforge_last_pass_images_unchanged",
           "Image files of the last pass that held their image already and were left as they were.");
    sample(out, "zkquoteforge_last_pass_images_unchanged", "", std::to_string(imagesUnchanged_));
    family(out, "zkquoteforge_last_successful_pass_timestamp_seconds",
           "End of the last pass in which every update step and chart succeeded (0: none yet).");
    sample(out, "zkquoteforge_last_successful_pass_timestamp_seconds", "", seconds(lastGoodPass_));
    if (!steps_.empty()) {
        family(out, "zkquoteforge_last_pass_update_ok",
               "Outcome of each update step run in the last pass (1 ok, 0 failed).");
        for (const auto& [step, ok] : steps_)
            sample(out, "zkquoteforge_last_pass_update_ok", "step=\"" + labelValue(step) + "\"", ok ? "1" : "0");
    }
    if (!charts_.empty()) {
        family(out, "zkquoteforge_chart_last_success_timestamp_seconds",
               "Last time each chart's images were all written (Unix time; 0: never).");
        for (const auto& [file, chart] : charts_)
            sample(out, "zkquoteforge_chart_last_success_timestamp_seconds",
                   "graph_file=\"" + labelValue(file) + "\"", seconds(chart.lastSuccess));
        family(out, "zkquoteforge_chart_last_attempt_failed", "Whether the chart's last attempt failed (1) or not (0).");
        for (const auto& [file, chart] : charts_)
            sample(out, "zkquoteforge_chart_last_attempt_failed", "graph_file=\"" + labelValue(file) + "\"",
                   chart.outcome == ChartOutcome::failed ? "1" : "0");
        family(out, "zkquoteforge_chart_outcome",
               "How each chart's last attempt ended: 1 for its outcome (built, no_data or failed), 0 for the others.");
        for (const auto& [file, chart] : charts_) {
            for (ChartOutcome o : {ChartOutcome::built, ChartOutcome::noData, ChartOutcome::failed})
                sample(out, "zkquoteforge_chart_outcome",
                       "graph_file=\"" + labelValue(file) + "\",outcome=\"" + outcomeName(o) + "\"",
                       chart.outcome == o ? "1" : "0");
        }
        bool familyShown = false;
        for (const auto& [file, chart] : charts_) {
            if (chart.lastCause == ChartFailure::none) continue;
            if (!std::exchange(familyShown, true))
                family(out, "zkquoteforge_chart_failure",
                       "Cause of each chart's last failure: 1 while the chart is failing, 0 once it no longer is.");
            sample(out, "zkquoteforge_chart_failure",
                   "graph_file=\"" + labelValue(file) + "\",cause=\"" + failureName(chart.lastCause) + "\"",
                   chart.outcome == ChartOutcome::failed ? "1" : "0");
        }
        familyShown = false;
        for (const auto& [file, chart] : charts_) {
            if (!chart.newestRecord) continue;
            if (!std::exchange(familyShown, true))
                family(out, "zkquoteforge_chart_newest_record_timestamp_seconds",
                       "Newest record of each chart's data file when last read, leaving out records more than an hour "
                       "ahead of the clock (Unix time).");
            sample(out, "zkquoteforge_chart_newest_record_timestamp_seconds",
                       "graph_file=\"" + labelValue(file) + "\"", seconds(*chart.newestRecord));
        }
        familyShown = false;
        for (const auto& [file, chart] : charts_) {
            if (!chart.marketOpen) continue;
            if (!std::exchange(familyShown, true))
                family(out, "zkquoteforge_chart_market_open",
                       "Whether each chart's market was open (1) or closed (0) at its last attempt, for charts with "
                       "trading sessions.");
            sample(out, "zkquoteforge_chart_market_open", "graph_file=\"" + labelValue(file) + "\"",
                   *chart.marketOpen ? "1" : "0");
        }
        familyShown = false;
        for (const auto& [file, chart] : charts_) {
            if (!chart.nextRecordDue) continue;
            if (!std::exchange(familyShown, true))
                family(out, "zkquoteforge_chart_next_record_due_timestamp_seconds",
                       "When each chart's next record is due: the first open instant after its newest record, plus "
                       "its publication delay (Unix time), for charts with trading sessions.");
            sample(out, "zkquoteforge_chart_next_record_due_timestamp_seconds",
                   "graph_file=\"" + labelValue(file) + "\"", seconds(*chart.nextRecordDue));
        }
    }
    if (!dataFiles_.empty()) {
        family(out, "zkquoteforge_data_file_unreadable_lines",
               "Lines of each data file read in the last pass that look like records but cannot be read.");
        for (const auto& [file, data] : dataFiles_)
            sample(out, "zkquoteforge_data_file_unreadable_lines", "data_file=\"" + labelValue(file) + "\"",
                   std::to_string(data.unreadableLines));
    }
    if (!sources_.empty()) {
        auto each = [&](const char* name, const char* help, auto value) {
            family(out, name, help);
            for (const auto& [source, s] : sources_)
                sample(out, name, "source=\"" + labelValue(source) + "\"", value(s));
        };
        each("zkquoteforge_source_ok", "Outcome of each data source's last fetch (1 ok, 0 failed).",
             [](const Source& s) { return std::string(s.ok ? "1" : "0"); });
        each("zkquoteforge_source_records_added", "Records each data source's last fetch added to its data file.",
             [](const Source& s) { return std::to_string(s.added); });
        each("zkquoteforge_source_records_replaced",
             "Records each data source's last fetch replaced in its data file (values corrected).",
             [](const Source& s) { return std::to_string(s.replaced); });
        each("zkquoteforge_source_last_success_timestamp_seconds",
             "Last fetch of each data source that succeeded (Unix time; 0: none known).",
             [](const Source& s) { return seconds(s.lastSuccess); });
        bool familyShown = false;
        for (const auto& [source, s] : sources_) {
            if (!s.newestRecord) continue;
            if (!std::exchange(familyShown, true))
                family(out, "zkquoteforge_source_newest_record_timestamp_seconds",
                       "Newest record of each data source's data file after its last fetch (Unix time).");
            sample(out, "zkquoteforge_source_newest_record_timestamp_seconds",
                   "source=\"" + labelValue(source) + "\"", seconds(*s.newestRecord));
        }
    }
    return out;
}

bool ServiceStatus::write(const std::string& path, std::string& error) const {
    return AtomicWrites::write(path, exposition(), error);
}
