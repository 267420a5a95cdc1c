#include "app/DataMerge.h"

#include "chart/DataRecord.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

struct Line {
    std::string_view text;  // without its end
    std::string_view end;   // "\n", "\r\n", "\r" or nothing (the last line)
};

std::vector<Line> splitKeepingEnds(std::string_view file) {
    std::vector<Line> lines;
    size_t start = 0;
    for (size_t i = 0; i < file.size(); ++i) {
        if (file[i] != '\n' && file[i] != '\r') continue;
        const size_t endLength = file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n' ? 2 : 1;
        lines.push_back({file.substr(start, i - start), file.substr(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < file.size()) lines.push_back({file.substr(start), {}});
    return lines;
}

// The key of a record line, or false for a line that is not one.
bool keyOf(std::string_view line, int64_t& key, double& value) {
    DataRecord record;
    std::string error;
    if (parseDataLine(trimDataLine(line), record, error) != DataLine::Record) return false;
    CalendarFields at;
    at.year = record.year;
    at.month = record.month;
    at.day = record.day;
    at.hour = record.hour;
    at.minute = record.minute;
    at.second = record.second;
    key = civil::wallMillisOfFields(at);
    value = record.value;
    return true;
}

}  // namespace

std::string dataLineOf(const SourceRecord& record) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d;%02d%02d%02d;", record.at.year % 10000, record.at.month,
                  record.at.day, record.at.hour, record.at.minute, record.at.second);
    char value[400];
    auto [end, ec] = std::to_chars(value, value + sizeof value, record.value, std::chars_format::fixed);
    std::string text(value, ec == std::errc{} ? end : value);
    // The data-maker's form too: a whole number keeps a point and a zero.
    if (text.find('.') == std::string::npos) text += ".0";
    return stamp + text;
}

DataMerge mergeRecords(std::string_view file, const std::vector<SourceRecord>& records) {
    DataMerge out;
    // The source's records by time; of two at one time the first in the source wins.
    using Keyed = std::pair<int64_t, const SourceRecord*>;
    std::vector<Keyed> incoming;
    incoming.reserve(records.size());
    for (const SourceRecord& r : records) incoming.emplace_back(r.key(), &r);
    std::stable_sort(incoming.begin(), incoming.end(),
                     [](const Keyed& a, const Keyed& b) { return a.first < b.first; });
    incoming.erase(std::unique(incoming.begin(), incoming.end(),
                               [](const Keyed& a, const Keyed& b) { return a.first == b.first; }),
                   incoming.end());
    auto find = [&](int64_t key) -> const SourceRecord* {
        auto it = std::lower_bound(incoming.begin(), incoming.end(), key,
                                   [](const Keyed& r, int64_t k) { return r.first < k; });
        return it != incoming.end() && it->first == key ? it->second : nullptr;
    };

    // Each line read once: its record's time and value, when it is one.
    struct Read {
        bool record = false;
        int64_t key = 0;
        double value = 0;
    };
    const std::vector<Line> lines = splitKeepingEnds(file);
    std::vector<Read> read(lines.size());
    std::vector<int64_t> held;
    std::string_view lineEnd;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lineEnd.empty()) lineEnd = lines[i].end;
        read[i].record = keyOf(lines[i].text, read[i].key, read[i].value);
        if (read[i].record) held.push_back(read[i].key);
    }
    if (lineEnd.empty()) lineEnd = "\n";
    std::sort(held.begin(), held.end());
    // Records at times the file does not hold, in time order; the others are
    // replaced where they stand.
    std::vector<Keyed> fresh;
    for (const Keyed& r : incoming)
        if (!std::binary_search(held.begin(), held.end(), r.first)) fresh.push_back(r);

    out.bytes.reserve(file.size() + fresh.size() * 28);
    size_t next = 0;
    auto emitFreshBefore = [&](int64_t key) {
        for (; next < fresh.size() && fresh[next].first < key; ++next) {
            out.bytes += dataLineOf(*fresh[next].second);
            out.bytes += lineEnd;
            ++out.added;
        }
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (!read[i].record) {
            out.bytes += line.text;
            out.bytes += line.end;
            continue;
        }
        emitFreshBefore(read[i].key);
        out.newestKey = std::max(out.newestKey, read[i].key);
        const SourceRecord* replacement = find(read[i].key);
        if (replacement && replacement->value != read[i].value) {
            out.bytes += dataLineOf(*replacement);
            ++out.replaced;
        } else {
            out.bytes += line.text;
        }
        // A last line without its end gets one when records follow it.
        out.bytes += line.end.empty() && next < fresh.size() ? lineEnd : line.end;
    }
    emitFreshBefore(INT64_MAX);
    if (!fresh.empty()) out.newestKey = std::max(out.newestKey, fresh.back().first);
    return out;
}
