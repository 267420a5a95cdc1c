#include "app/SourceCsv.h"

#include "support/Utf8.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace {

// The lines of body, each without its end ("\n", "\r\n" or "\r"); ended
// tells whether the last one had an end.
std::vector<std::string_view> splitLines(std::string_view body, bool& lastEnded) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    lastEnded = true;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\n' && body[i] != '\r') continue;
        lines.push_back(body.substr(start, i - start));
        if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < body.size()) {
        lines.push_back(body.substr(start));
        lastEnded = false;
    }
    return lines;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool isBlank(std::string_view line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) > 32) return false;
    return true;
}

// Fields of one line; a field in double quotes may hold the separator, and
// "" stands for one quote inside it.
std::vector<std::string> splitFields(std::string_view line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    size_t i = 0;
    for (;;) {
        field.clear();
        while (i < line.size() && (line[i] == ' ' || (line[i] == '\t' && separator != '\t'))) ++i;
        if (i < line.size() && line[i] == '"') {
            for (++i; i < line.size(); ++i) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    field += line[i];
                }
            }
            while (i < line.size() && line[i] != separator) ++i;  // blanks after the closing quote
        } else {
            const size_t end = std::min(line.find(separator, i), line.size());
            field = std::string(trim(line.substr(i, end - i)));
            i = end;
        }
        fields.push_back(field);
        if (i >= line.size()) return fields;
        ++i;  // the separator
    }
}

// The separator a line uses most, outside quotes; 0 when it uses none.
char findSeparator(std::string_view line) {
    size_t comma = 0, semicolon = 0, tab = 0;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        comma += c == ',';
        semicolon += c == ';';
        tab += c == '\t';
    }
    if (semicolon == 0 && tab == 0 && comma == 0) return 0;
    if (semicolon >= tab && semicolon >= comma) return ';';
    return tab >= comma ? '\t' : ',';
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// The index of a column named or numbered, or npos with why.
size_t columnIndex(const std::string& column, const std::vector<std::string>* header, std::string& why) {
    if (allDigits(column)) {
        size_t n = 0;
        std::from_chars(column.data(), column.data() + column.size(), n);
        if (n == 0) {
            why = "column 0 does not exist (columns count from 1)";
            return std::string::npos;
        }
        return n - 1;
    }
    if (!header) {
        why = "column \"" + column + "\" is named, but the file has no header";
        return std::string::npos;
    }
    const std::string wanted = utf8::asciiLower(column);
    for (size_t i = 0; i < header->size(); ++i)
        if (utf8::asciiLower((*header)[i]) == wanted) return i;
    std::string names;
    for (const std::string& name : *header) names += (names.empty() ? "" : ", ") + name;
    why = "the header has no column \"" + column + "\" (it has: " + names + ")";
    return std::string::npos;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

struct Stamp {
    CalendarFields fields;
    bool hasTime = false;
    std::optional<int> offsetMinutes;  // set for "Z" or an offset
};

// Reads up to width digits (at least one; exactly width when exact).
bool readNumber(std::string_view text, size_t& pos, int width, bool exact, int& out) {
    int value = 0, count = 0;
    while (count < width && pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos++] - '0');
        ++count;
    }
    out = value;
    return exact ? count == width : count > 0;
}

// A zone after the stamp: "Z", or "+HH", "+HHMM", "+HH:MM" (or "-").
bool readZone(std::string_view rest, std::optional<int>& offset) {
    if (rest == "Z" || rest == "z") {
        offset = 0;
        return true;
    }
    if (rest.size() < 3 || (rest[0] != '+' && rest[0] != '-')) return false;
    size_t pos = 1;
    int hours = 0, minutes = 0;
    if (!readNumber(rest, pos, 2, true, hours)) return false;
    if (pos < rest.size() && rest[pos] == ':') ++pos;
    if (pos < rest.size() && !readNumber(rest, pos, 2, true, minutes)) return false;
    if (pos != rest.size() || hours > 23 || minutes > 59) return false;
    offset = (rest[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    return true;
}

// Reads text by format into stamp; false when it does not match.
bool readStamp(std::string_view text, std::string_view format, Stamp& stamp) {
    text = trim(text);
    size_t pos = 0;
    bool lastWasSeconds = false;
    for (size_t f = 0; f < format.size(); ++f) {
        lastWasSeconds = false;
        if (format[f] != '%' || f + 1 == format.size()) {
            // A time written without its seconds ("09:30" for %H:%M:%S).
            if (pos == text.size() && format.substr(f) == ":%S") return true;
            // ISO 8601 date-times come with "T" or a blank between date and time.
            const bool dateTimeMark = format[f] == 'T' && pos < text.size() && (text[pos] == ' ' || text[pos] == 't');
            if (pos >= text.size() || (text[pos] != format[f] && !dateTimeMark)) return false;
            ++pos;
            continue;
        }
        CalendarFields& c = stamp.fields;
        const char directive = format[++f];
        bool ok = false;
        switch (directive) {
            case 'Y': ok = readNumber(text, pos, 4, true, c.year); break;
            case 'm': ok = readNumber(text, pos, 2, false, c.month); break;
            case 'd': ok = readNumber(text, pos, 2, false, c.day); break;
            case 'H':
                ok = readNumber(text, pos, 2, false, c.hour);
                stamp.hasTime = true;
                break;
            case 'M': ok = readNumber(text, pos, 2, false, c.minute); break;
            case 'S':
                ok = readNumber(text, pos, 2, false, c.second);
                lastWasSeconds = true;
                break;
            case '%': ok = pos < text.size() && text[pos++] == '%'; break;
            default: return false;
        }
        if (!ok) return false;
    }
    std::string_view rest = text.substr(pos);
    if (lastWasSeconds && rest.size() > 1 && (rest[0] == '.' || rest[0] == ',') && rest[1] >= '0' && rest[1] <= '9') {
        size_t end = 1;
        while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9') ++end;
        rest.remove_prefix(end);
    }
    rest = trim(rest);
    return rest.empty() || readZone(rest, stamp.offsetMinutes);
}

bool inRange(const CalendarFields& c) {
    return c.year >= 1 && c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= daysInMonth(c.year, c.month) &&
           c.hour >= 0 && c.hour <= 23 && c.minute >= 0 && c.minute <= 59 && c.second >= 0 && c.second <= 59;
}

// The digits of text with grouping marks (group) dropped, when every group
// after the first has three digits.
bool dropGrouping(std::string& text, char group, char mark) {
    const size_t markAt = std::min(text.find(mark), text.size());
    if (text.find(group) == std::string::npos || text.find(group) > markAt) return true;
    std::string out;
    size_t digits = 0;
    bool grouped = false;
    for (size_t i = 0; i < markAt; ++i) {
        const char c = text[i];
        if (c == group) {
            if (digits == 0 || (grouped && digits != 3) || (!grouped && digits > 3)) return false;
            grouped = true;
            digits = 0;
            continue;
        }
        if (c >= '0' && c <= '9') ++digits;
        out += c;
    }
    if (digits != 3) return false;
    text = out + text.substr(markAt);
    return true;
}

bool readValue(std::string_view field, char mark, double& out) {
    std::string text(trim(field));
    if (!text.empty() && text[0] == '+') text.erase(0, 1);
    const char group = mark == ',' ? '.' : ',';
    if (!dropGrouping(text, group, mark)) return false;
    for (char& c : text)
        if (c == mark) c = '.';
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, ec] = std::from_chars(first, last, out, std::chars_format::fixed);
    return ec == std::errc{} && end == last && !text.empty() && std::isfinite(out);
}

}  // namespace

bool parseSeparator(std::string_view text, char& out) {
    const std::string word = utf8::asciiLower(std::string(text));
    if (word.empty() || word == "auto") out = 0;
    else if (word == "," || word == "comma") out = ',';
    else if (word == ";" || word == "semicolon") out = ';';
    else if (word == "tab" || word == "\t") out = '\t';
    else return false;
    return true;
}

CsvReading readCsv(std::string_view body, const CsvFormat& format, bool partialLastLine, const ToLocalFields& toLocal) {
    CsvReading r;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    bool lastEnded = true;
    std::vector<std::string_view> lines = splitLines(body, lastEnded);
    // A local file may be caught while its last line is being written.
    if (partialLastLine && !lastEnded && !lines.empty()) lines.pop_back();

    size_t first = 0;
    while (first < lines.size() && isBlank(lines[first])) ++first;
    if (first == lines.size()) {
        r.failure = "no line to read";
        return r;
    }
    if (trim(lines[first]).substr(0, 1) == "<") {
        r.failure = "the answer is an HTML or XML page, not CSV";
        return r;
    }
    for (size_t i = first; i < lines.size(); ++i) {
        if (lines[i].size() > format.maxLineBytes) {
            r.failure = "line " + std::to_string(i + 1) + " is longer than " +
                        std::to_string(format.maxLineBytes / 1024) + " KiB";
            return r;
        }
    }
    char separator = format.separator != 0 ? format.separator : findSeparator(lines[first]);
    if (separator == 0) {
        r.failure = "no separator (, ; or tab) in the first line";
        return r;
    }

    std::vector<std::string> header;
    if (format.header) header = splitFields(lines[first], separator);
    const std::vector<std::string>* names = format.header ? &header : nullptr;
    const size_t dateAt = columnIndex(format.dateColumn, names, r.failure);
    if (dateAt == std::string::npos) return r;
    const size_t valueAt = columnIndex(format.valueColumn, names, r.failure);
    if (valueAt == std::string::npos) return r;
    size_t timeAt = std::string::npos;
    if (!format.timeColumn.empty()) {
        timeAt = columnIndex(format.timeColumn, names, r.failure);
        if (timeAt == std::string::npos) return r;
    }
    if (format.header) {
        // A header that lost a column numbered: the rows cannot hold it either.
        for (size_t at : {dateAt, valueAt, timeAt}) {
            if (at != std::string::npos && at >= header.size()) {
                r.failure = "the header has " + std::to_string(header.size()) + " columns, column " +
                            std::to_string(at + 1) + " is asked for";
                return r;
            }
        }
    }

    auto unreadable = [&](size_t line, const std::string& why) {
        ++r.unreadable;
        if (r.firstUnreadable.empty()) r.firstUnreadable = "line " + std::to_string(line + 1) + ": " + why;
    };
    for (size_t i = format.header ? first + 1 : first; i < lines.size(); ++i) {
        if (isBlank(lines[i])) continue;
        ++r.rows;
        const std::vector<std::string> fields = splitFields(lines[i], separator);
        const size_t needed = std::max({dateAt, valueAt, timeAt == std::string::npos ? 0 : timeAt}) + 1;
        if (fields.size() < needed) {
            unreadable(i, std::to_string(fields.size()) + " fields, " + std::to_string(needed) + " needed");
            continue;
        }
        const std::string& valueText = fields[valueAt];
        bool isMissing = valueText.empty();
        for (const std::string& m : format.missing)
            isMissing = isMissing || utf8::asciiLower(valueText) == utf8::asciiLower(m);
        if (isMissing) {
            ++r.missing;
            continue;
        }
        SourceRecord record;
        if (!readValue(valueText, format.decimalMark, record.value)) {
            unreadable(i, "value \"" + valueText + "\" is not a number");
            continue;
        }
        Stamp stamp;
        if (!readStamp(fields[dateAt], format.dateFormat, stamp)) {
            unreadable(i, "date \"" + fields[dateAt] + "\" does not match " + format.dateFormat);
            continue;
        }
        if (timeAt != std::string::npos) {
            Stamp time;
            if (!readStamp(fields[timeAt], format.timeFormat, time)) {
                unreadable(i, "time \"" + fields[timeAt] + "\" does not match " + format.timeFormat);
                continue;
            }
            stamp.fields.hour = time.fields.hour;
            stamp.fields.minute = time.fields.minute;
            stamp.fields.second = time.fields.second;
            if (time.offsetMinutes) stamp.offsetMinutes = time.offsetMinutes;
        } else if (!stamp.hasTime) {
            stamp.fields.hour = format.fixedHour;
            stamp.fields.minute = format.fixedMinute;
            stamp.fields.second = format.fixedSecond;
        }
        if (!inRange(stamp.fields)) {
            unreadable(i, "date or time out of range");
            continue;
        }
        record.at = stamp.fields;
        record.at.millisecond = 0;
        if (stamp.offsetMinutes) {
            const int64_t instant = civil::wallMillisOfFields(record.at) - int64_t{*stamp.offsetMinutes} * 60'000;
            record.at = toLocal(instant);
            record.at.millisecond = 0;
        }
        r.records.push_back(record);
    }
    if (r.unreadable * 10 > r.rows) {
        r.failure = std::to_string(r.unreadable) + " of " + std::to_string(r.rows) + " rows unreadable (" +
                    r.firstUnreadable + ")";
    }
    return r;
}
