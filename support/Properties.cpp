// Properties files and the value syntaxes shared by every key: yes/no
// options, colours and fonts.

#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <vector>

namespace {

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Calls onLine for every line; a line ends at LF, CR or CR LF and the last
// one needs no line end. Returns the offset just past the last line end.
template <class F>
size_t forEachLine(std::string_view text, F&& onLine, bool includeUnterminated = true) {
    size_t start = 0, pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '\n' || c == '\r') {
            onLine(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
            start = ++pos;
        } else {
            ++pos;
        }
    }
    if (includeUnterminated && start < text.size()) onLine(text.substr(start));
    return start;
}

// Non-empty pieces of s cut at every occurrence of sep.
std::vector<std::string_view> pieces(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string_view::npos) end = s.size();
        if (end > start) out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The key the line gives a value, or none for a line that is skipped.
std::optional<std::string> parseLine(std::string_view raw, Properties& table) {
    std::string_view line = trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') return std::nullopt;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) return std::nullopt;
    std::vector<std::string_view> parts = pieces(line, '=');
    std::string key(trim(parts[0]));
    std::string value;
    for (size_t i = 1; i < parts.size(); ++i) {
        if (i > 1) value += '=';
        value += trim(parts[i]);
    }
    table.insert_or_assign(key, std::move(value));
    return key;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Notepad starts a file with a byte-order mark, and files joined together
// carry theirs into the middle: it is a signature, not text, and left in it
// would glue itself to a key (or make a comment line a key). A file joined
// onto one holding only its mark brings two: none of them is text.
std::string_view withoutMark(std::string_view line) {
    while (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) line.remove_prefix(kByteOrderMark.size());
    return line;
}

// What a file saved as UTF-16 is, by its byte-order mark or, without one, by
// a start whose every other byte is NUL (text of ISO 8859-1 characters in
// UTF-16); empty for any other file.
std::string utf16Kind(std::string_view bytes) {
    static constexpr const char* kLittle = "UTF-16 (little-endian)";
    static constexpr const char* kBig = "UTF-16 (big-endian)";
    if (bytes.substr(0, 2) == "\xFF\xFE") return kLittle;
    if (bytes.substr(0, 2) == "\xFE\xFF") return kBig;
    const std::string_view start = bytes.substr(0, std::min<size_t>(bytes.size(), 64) & ~size_t{1});
    if (start.empty()) return "";
    bool little = true, big = true;
    for (size_t i = 0; i < start.size(); i += 2) {
        little = little && start[i] != 0 && start[i + 1] == 0;
        big = big && start[i] == 0 && start[i + 1] != 0;
    }
    return little ? kLittle : big ? kBig : "";
}

// Parses the lines of a file's bytes, each read as UTF-8 when it is valid
// UTF-8 and as ISO 8859-1 otherwise, so that one line's bytes never decide
// how another is read.
Properties parseFileBytes(std::string_view bytes, PropertiesReading& reading, bool includeUnterminated) {
    Properties table;
    std::string converted;
    forEachLine(bytes, [&](std::string_view raw) {
        std::string_view line = withoutMark(raw);
        const bool latin1 = !utf8::isValid(line);
        if (latin1) {
            converted = utf8::fromLatin1(line);
            line = converted;
        }
        if (std::optional<std::string> key = parseLine(line, table)) {
            if (latin1) {
                reading.latin1Keys.insert(std::move(*key));
            } else {
                reading.latin1Keys.erase(*key);
            }
        }
    }, includeUnterminated);
    return table;
}

void reportValueError(const std::string& key, const std::string& description) {
    Indication_Tools::Outils_AfficheMsg(Indication_Tools::thisClassName, "Error with " + key + " : " + description, true);
}

}  // namespace

std::string Indication_Tools::toUtf8(std::string_view bytes) {
    bytes = withoutMark(bytes);
    if (utf8::isValid(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = bytes.substr(start, end - start);
        // A mark starting a line (files joined together) is not judged with it.
        const std::string_view text = withoutMark(line);
        out += line.substr(0, line.size() - text.size());
        if (utf8::isValid(text)) {
            out += text;
        } else {
            out += utf8::fromLatin1(text);
        }
        for (; end < bytes.size() && (bytes[end] == '\r' || bytes[end] == '\n'); ++end) out += bytes[end];
        start = end;
    }
    return out;
}

Properties Indication_Tools::ParseProperties(std::string_view text) {
    Properties table;
    forEachLine(text, [&](std::string_view line) { parseLine(withoutMark(line), table); });
    return table;
}

Properties Indication_Tools::GetFileProperties(const std::string& path) {
    PropertiesReading reading;
    return GetFileProperties(path, reading);
}

Properties Indication_Tools::GetFileProperties(const std::string& path, PropertiesReading& reading) {
    reading = PropertiesReading{};
    std::string bytes, error;
    const bool complete = Platform::current().readFile(path, bytes, error);
    if (const std::string kind = utf16Kind(bytes); !kind.empty()) {
        // Read byte by byte it would give keys full of NUL bytes that match nothing.
        reading.failure = "the file is saved as " + kind + ", which is not read: save it as UTF-8";
        Outils_AfficheMsg(thisClassName, "Error with " + path + " : " + reading.failure, true);
        return Properties{};
    }
    if (complete) return parseFileBytes(bytes, reading, true);
    Outils_AfficheMsg(thisClassName, "Error with " + path + " : " + error, true);
    // A read that broke off keeps the whole lines it got.
    return parseFileBytes(bytes, reading, false);
}

std::string Indication_Tools::GetTextFile(const std::string& path) {
    std::string bytes, error;
    bool complete = Platform::current().readFile(path, bytes, error);
    std::string text = toUtf8(bytes);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    forEachLine(text, [&](std::string_view line) {
        out += line;
        out += EOL;
    }, complete);
    return out;
}

bool Indication_Tools::Outils_GetOption(const std::string& key, const std::optional<std::string>& value,
                                        bool byDefault, bool log) {
    if (!value) {
        Outils_AfficheMsg(thisClassName, "Error with " + key + " : no definition found!", log);
        return byDefault;
    }
    static constexpr std::array<std::string_view, 9> truthy{"1", "yes", "y", "oui", "o", "true", "t", "vrai", "v"};
    if (value->size() > 4) return false;
    std::string lower = utf8::asciiLower(*value);
    for (std::string_view word : truthy)
        if (lower == word) return true;
    return false;
}

std::optional<int32_t> Indication_Tools::parseDecimalInt(std::string_view text) {
    size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (digits == text.size()) return std::nullopt;
    for (size_t i = digits; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    int32_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<int64_t> Indication_Tools::parseWholeNumberUpTo(std::string_view text, int64_t cap) {
    if (text.empty()) return std::nullopt;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v > (cap - (c - '0')) / 10 ? cap : v * 10 + (c - '0');
    }
    return std::min(v, cap);
}

std::optional<Color> Indication_Tools::Outils_getColor(const std::string& key, const std::optional<std::string>& value) {
    if (!value) {
        reportValueError(key, "no colour given (format: red;green;blue)");
        return std::nullopt;
    }
    std::vector<std::string_view> parts = pieces(*value, ';');
    if (parts.size() < 3) {
        reportValueError(key, "\"" + *value + "\" is not a colour (format: red;green;blue)");
        return std::nullopt;
    }
    int rgb[3];
    for (int i = 0; i < 3; ++i) {
        std::optional<int32_t> v = parseDecimalInt(parts[i]);
        if (!v) {
            std::string why = "\"";
            why += parts[i];
            why += "\" is not a whole number";
            reportValueError(key, why);
            return std::nullopt;
        }
        if (*v < 0 || *v > 255) {
            reportValueError(key, "colour component " + std::to_string(*v) + " is outside 0 to 255");
            return std::nullopt;
        }
        rgb[i] = *v;
    }
    return Color(rgb[0], rgb[1], rgb[2]);
}

std::optional<Font> Indication_Tools::Outils_getFont(const std::string& key, const std::optional<std::string>& value) {
    if (!value) {
        reportValueError(key, "no font given (format: name;style;size)");
        return std::nullopt;
    }
    std::vector<std::string_view> parts = pieces(*value, ';');
    if (parts.size() < 3) {
        reportValueError(key, "\"" + *value + "\" is not a font (format: name;style;size)");
        return std::nullopt;
    }
    std::optional<int32_t> size = parseDecimalInt(parts[2]);
    if (!size) {
        reportValueError(key, "font size \"" + std::string(parts[2]) + "\" is not a whole number");
        return std::nullopt;
    }
    std::string style = utf8::asciiLower(parts[1]);
    Font font;
    font.name = std::string(parts[0]);
    font.style = Font::PLAIN;
    if (style.find("bold") != std::string::npos) font.style |= Font::BOLD;
    if (style.find("italic") != std::string::npos) font.style |= Font::ITALIC;
    font.size = *size;
    return font;
}
