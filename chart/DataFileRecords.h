#pragma once
// The records of one data file as parsed, in file order, with its bad lines:
// what a chart's series is then selected from (time window, weekends,
// duplicates, gap filling), as often as charts need it.
//
// Records sit in chunks shared between the parser and every copy of the
// records it hands out. A chunk is never changed once a copy holds it, so a
// copy stays valid and unchanged while the parser goes on with the lines a
// grown file added. A copy is read-only: any number of threads may read it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chart/LocalTimeCache.h"

struct DataChunk {
    static constexpr size_t kRecords = 4096;
    std::vector<int64_t> dates;
    std::vector<double> values;
    // Bounds of the dates, so that a chart's window can pass over a whole chunk.
    int64_t earliest = INT64_MAX;
    int64_t latest = INT64_MIN;
};

// Takes a data file's records in file order, a chunk at a time, as they are
// parsed or handed out again.
class DataChunkSink {
public:
    virtual ~DataChunkSink() = default;
    virtual void take(const DataChunk& chunk) = 0;
};

// A line that looks like a record but does not decode.
struct DataBadLine {
    std::string quoted;  // the line as shown in a report
    std::string error;
    int64_t line = 0;  // its number in the file, from 1
};

struct DataFileRecords {
    // Bad lines are listed one by one up to this count; the rest are counted.
    static constexpr int64_t kListedBadLines = 100;

    std::vector<std::shared_ptr<const DataChunk>> chunks;
    std::vector<DataBadLine> badLines;  // the first kListedBadLines, in file order
    int64_t badCount = 0;
    // Records dated before the record above them, and the line of the first.
    int64_t outOfOrder = 0;
    int64_t firstOutOfOrderLine = 0;
    // Tells one content of the file from another (a hash of its bytes).
    uint64_t contentKey = 0;

    int64_t recordCount() const;
    void handTo(DataChunkSink& sink) const;
};

// Turns data-file text into records, line by line: a whole file at once, or
// in parts as it streams in or grows. The records are kept until stream()
// is called; from then on each chunk goes to a sink as soon as it is full,
// and only the one being filled is held. One thread at a time.
class DataFileParser {
public:
    // Stops keeping records: hands those kept so far to sink, in order, and
    // every later chunk once full, then the last ones when records() is
    // called. sink must outlive the parser's use.
    void stream(DataChunkSink& sink);
    bool streaming() const { return sink_ != nullptr; }
    // Parses the complete lines at the start of text (each ended by LF, CR or
    // CR LF) and returns the bytes they take. What is left is an unfinished
    // line, to be given again with whatever follows it.
    size_t addCompleteLines(std::string_view text);
    // The records so far, followed by those of the unfinished line rest (no
    // line end in it): what a read of the whole file gives now. Once
    // streaming, the chunks not yet handed out go to the sink instead and
    // the records returned hold only the bad lines; the parser is then done.
    std::shared_ptr<DataFileRecords> records(std::string_view rest);
    // Memory held by the records kept so far.
    size_t bytes() const { return bytes_; }

private:
    void addLine(std::string_view line);
    void addRecord(int64_t date, double value);

    LocalTimeCache clock_;
    std::vector<std::shared_ptr<DataChunk>> chunks_;
    std::vector<DataBadLine> badLines_;
    int64_t badCount_ = 0;
    int64_t lines_ = 0;             // lines parsed
    int64_t previous_ = INT64_MIN;  // the date of the last record
    int64_t outOfOrder_ = 0;
    int64_t firstOutOfOrderLine_ = 0;
    bool lastChunkShared_ = false;  // a copy holds the last chunk: copy it before adding to it
    size_t bytes_ = 0;
    DataChunkSink* sink_ = nullptr;  // streaming: full chunks go there
};

// The quoted form of a bad line in reports: UTF-8, cut at 120 bytes (the
// file's characters), without control characters.
std::string quoteDataLine(std::string_view line);
