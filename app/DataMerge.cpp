#include "app/DataMerge.h"

#include "chart/DataRecord.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

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
    // The first record of a time in the source wins, as in a data file.
    std::map<int64_t, const SourceRecord*> incoming;
    for (const SourceRecord& r : records) incoming.emplace(r.key(), &r);

    const std::vector<Line> lines = splitKeepingEnds(file);
    std::string_view lineEnd = "\n";
    for (const Line& line : lines) {
        if (!line.end.empty()) {
            lineEnd = line.end;
            break;
        }
    }
    // Times already in the file: their records are replaced where they stand.
    std::map<int64_t, bool> held;
    for (const Line& line : lines) {
        int64_t key = 0;
        double value = 0;
        if (keyOf(line.text, key, value)) held.emplace(key, true);
    }
    std::vector<const SourceRecord*> fresh;
    for (const auto& [key, record] : incoming)
        if (!held.count(key)) fresh.push_back(record);  // in time order: the map's

    out.bytes.reserve(file.size() + fresh.size() * 28);
    size_t next = 0;
    auto emitFreshBefore = [&](int64_t key) {
        for (; next < fresh.size() && fresh[next]->key() < key; ++next) {
            out.bytes += dataLineOf(*fresh[next]);
            out.bytes += lineEnd;
            ++out.added;
        }
    };
    for (const Line& line : lines) {
        int64_t key = 0;
        double value = 0;
        if (!keyOf(line.text, key, value)) {
            out.bytes += line.text;
            out.bytes += line.end;
            continue;
        }
        emitFreshBefore(key);
        out.newestKey = std::max(out.newestKey, key);
        const auto it = incoming.find(key);
        if (it != incoming.end() && it->second->value != value) {
            out.bytes += dataLineOf(*it->second);
            ++out.replaced;
        } else {
            out.bytes += line.text;
        }
        // A last line without its end gets one when records follow it.
        out.bytes += line.end.empty() && next < fresh.size() ? lineEnd : line.end;
    }
    emitFreshBefore(INT64_MAX);
    if (!fresh.empty()) out.newestKey = std::max(out.newestKey, fresh.back()->key());
    return out;
}
