#pragma once
// Data sources: the third update step of a pass. The sources file (named by
// "INDICEGIF_SOURCES") holds one [name] block of keys per source: where its
// CSV comes from (an http or https address, or a local file), how often at
// most, the data file it feeds and how to read it. Each source due is
// fetched (conditionally over HTTP, with its own login), read and merged
// into its data file, which is replaced only when its bytes change; a
// failure leaves the data file as it was and is reported in one line.
//
// Runs on the generation thread; keeps its state in a file beside each data
// file ("<data file>.source-state").

#include "app/SourceCsv.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SourceConfig {
    std::string name;
    std::string from;  // address or path
    bool http = false;
    std::string login, password;
    int64_t intervalSeconds = 0;
    std::string into;
    CsvFormat format;
    int64_t maxBytes = int64_t{64} << 20;
    std::vector<std::string> problems;  // configuration errors: the source does not run
};

// The sources of a sources file's text; problems of the file as a whole
// (keys outside a block, a data file fed twice) go to the sources concerned
// or to fileProblems.
std::vector<SourceConfig> parseSources(std::string_view text, const std::string& file,
                                       std::vector<std::string>& fileProblems);

// An address with its password and the values of query keys that look like
// secrets ("apikey", "token", ...) written "***".
std::string maskAddress(const std::string& address);

struct SourceOutcome {
    std::string name;
    bool attempted = false;  // false: not due yet (ok tells the last attempt's outcome)
    bool ok = false;
    size_t added = 0;
    size_t replaced = 0;
    std::optional<int64_t> newestRecord;  // ms since the epoch, of the data file after the step
    int64_t lastSuccess = 0;              // ms since the epoch; 0: unknown
};

struct SourcesRun {
    bool ok = true;  // no source attempted failed and the file read
    std::vector<SourceOutcome> sources;
};

// Runs every source of the file whose interval has passed, at now.
SourcesRun runSources(const std::string& sourcesFile, int64_t now);

// The name of a data file's state file.
std::string sourceStateFile(const std::string& dataFile);
