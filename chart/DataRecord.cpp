#include "chart/DataRecord.h"

#include <charconv>
#include <cmath>

namespace {

// An optional "-" and digits, nothing else (the parts of a date or a time).
bool parsePart(std::string_view text, int& out) {
    // Nearly always a few plain digits: read them directly (parts are at
    // most four characters, so this cannot overflow).
    int digits = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            digits = -1;
            break;
        }
        digits = digits * 10 + (c - '0');
    }
    if (digits >= 0 && !text.empty()) {
        out = digits;
        return true;
    }
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, out);
    return ec == std::errc{} && end == last;
}

}  // namespace

std::string_view trimDataLine(std::string_view line) {
    size_t begin = 0;
    size_t end = line.size();
    while (begin < end && static_cast<unsigned char>(line[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(line[end - 1]) <= 32) --end;
    return line.substr(begin, end - begin);
}

bool parseDataValue(std::string_view text, double& out) {
    // from_chars takes no "+": a single leading one is allowed, as in any decimal.
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    std::string withPoint;
    if (text.find(',') != std::string_view::npos) {
        withPoint.assign(text);
        for (char& c : withPoint) {
            if (c == ',') c = '.';
        }
        text = withPoint;
    }
    const char* first = text.data();
    const char* last = first + text.size();
    double value = 0;
    auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    // "inf" and "nan" parse, but a chart of them means nothing.
    if (ec != std::errc{} || end != last || !std::isfinite(value)) return false;
    out = value;
    return true;
}

DataLine parseDataLine(std::string_view line, DataRecord& out, std::string& error) {
    if (line.empty() || line[0] == ';' || line[0] == '#' || line.find(';') == std::string_view::npos) {
        return DataLine::Skipped;
    }
    std::string_view fields[3];
    int count = 0;
    size_t pos = 0;
    while (count < 3 && pos < line.size()) {
        size_t end = line.find(';', pos);
        if (end == std::string_view::npos) end = line.size();
        // Exported files often pad their fields; only blanks around a field
        // are dropped, never blanks inside it.
        const std::string_view field = trimDataLine(line.substr(pos, end - pos));
        if (!field.empty()) fields[count++] = field;
        pos = end + 1;
    }
    if (count < 3) {
        error = "date;time;value expected";
        return DataLine::Bad;
    }
    const std::string_view date = fields[0];
    const std::string_view time = fields[1];
    if (date.size() < 8) {
        error = "date too short (YYYYMMDD)";
        return DataLine::Bad;
    }
    if (time.size() < 6) {
        error = "time too short (HHMMSS)";
        return DataLine::Bad;
    }
    if (!parsePart(date.substr(0, 4), out.year) || !parsePart(date.substr(4, 2), out.month) ||
        !parsePart(date.substr(6, 2), out.day)) {
        error = "date is not a number (YYYYMMDD)";
        return DataLine::Bad;
    }
    if (!parsePart(time.substr(0, 2), out.hour) || !parsePart(time.substr(2, 2), out.minute) ||
        !parsePart(time.substr(4, 2), out.second)) {
        error = "time is not a number (HHMMSS)";
        return DataLine::Bad;
    }
    if (!parseDataValue(fields[2], out.value)) {
        error = "value is not a finite decimal number";
        return DataLine::Bad;
    }
    return DataLine::Record;
}
