// Properties files and the option, colour and font value readers.
//
// Input: one flag byte (bit 0: verbose mode), then the bytes of the file.
// The file is read through GetFileProperties and the table compared with a
// plain reading of the same grammar; every value is then fed to the value
// readers, whose answers are compared with plain readings too.

#include "fuzz/FuzzSupport.h"
#include "support/Indication_Tools.h"
#include "tests/common/TestPlatform.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr const char* kPath = "fuzz/app.ini";

bool blank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::vector<std::string> splitDroppingEmpty(std::string_view s, char sep) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string_view::npos) end = s.size();
        if (end > start) pieces.emplace_back(s.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::map<std::string, std::string> plainProperties(std::string_view text) {
    std::map<std::string, std::string> table;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        while (raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
        const std::string line = trim(raw);
        pos = end;
        if (pos < text.size() && text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
        ++pos;
        if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '=' ||
            line.find('=') == std::string::npos)
            continue;
        const auto pieces = splitDroppingEmpty(line, '=');
        std::string value;
        for (size_t i = 1; i < pieces.size(); ++i) value += (i > 1 ? "=" : "") + trim(pieces[i]);
        table[trim(pieces[0])] = value;
    }
    return table;
}

std::optional<int64_t> plainDecimal(const std::string& s) {
    size_t i = s.size() > 0 && s[0] == '-' ? 1 : 0;
    if (i == s.size()) return std::nullopt;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
        if (v > (int64_t{1} << 32)) return std::nullopt;
    }
    v = s[0] == '-' ? -v : v;
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return v;
}

bool plainTruthy(const std::string& v) {
    std::string up = v;
    for (char& c : up)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const char* w : {"1", "YES", "Y", "OUI", "O", "TRUE", "T", "VRAI", "V"})
        if (up == w) return true;
    return false;
}

// Well-formed UTF-8: shortest forms only, no surrogates, at most U+10FFFF.
bool wellFormedUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp, least;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2, cp = c & 0x1F, least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3, cp = c & 0x0F, least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4, cp = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char d = s[i + k];
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

void checkValueReaders(const std::string& key, const std::string& value) {
    // Yes/no words.
    FUZZ_CHECK(Indication_Tools::Outils_GetOption(key, value, true, true) == plainTruthy(value), value);
    FUZZ_CHECK(Indication_Tools::Outils_GetOption(key, std::nullopt, true, true), key);
    FUZZ_CHECK(!Indication_Tools::Outils_GetOption(key, std::nullopt, false, false), key);

    // Strict decimals.
    const auto dec = Indication_Tools::parseDecimalInt(value);
    const auto plainDec = plainDecimal(value);
    FUZZ_CHECK(dec.has_value() == plainDec.has_value() && (!dec || *dec == *plainDec), value);

    const auto pieces = splitDroppingEmpty(value, ';');

    // Colours: three decimals of 0 to 255.
    std::optional<Color> expectedColor;
    if (pieces.size() >= 3) {
        int c[3];
        bool ok = true;
        for (int i = 0; i < 3 && ok; ++i) {
            auto v = plainDecimal(pieces[i]);
            ok = v && *v >= 0 && *v <= 255;
            if (ok) c[i] = static_cast<int>(*v);
        }
        if (ok) expectedColor = Color(c[0], c[1], c[2]);
    }
    const auto color = Indication_Tools::Outils_getColor(key, value);
    FUZZ_CHECK(color == expectedColor, value);

    // Fonts: name, style word, decimal size.
    std::optional<Font> expectedFont;
    if (pieces.size() >= 3) {
        if (auto size = plainDecimal(pieces[2])) {
            std::string style = pieces[1];
            for (char& ch : style)
                if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
            Font f;
            f.name = pieces[0];
            f.style = (style.find("bold") != std::string::npos ? Font::BOLD : 0) |
                      (style.find("italic") != std::string::npos ? Font::ITALIC : 0);
            f.size = static_cast<int>(*size);
            expectedFont = f;
        }
    }
    const auto font = Indication_Tools::Outils_getFont(key, value);
    FUZZ_CHECK(font == expectedFont, value);
}

TestPlatform& platform() {
    static TestPlatform* p = [] {
        auto* t = new TestPlatform;
        t->captureAllAppends();
        return t;
    }();
    return *p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    TestPlatform& p = platform();
    Indication_Tools::debugMode = (in.u8() & 1) != 0;
    const std::string bytes = in.rest();

    const std::string text = Indication_Tools::toUtf8(bytes);
    FUZZ_CHECK(wellFormedUtf8(text), "conversion gave malformed UTF-8");
    std::string_view unmarked(bytes);
    while (unmarked.substr(0, 3) == "\xEF\xBB\xBF") unmarked.remove_prefix(3);
    if (wellFormedUtf8(unmarked)) FUZZ_CHECK(text == unmarked, "valid UTF-8 must be kept as it is");

    p.setFile(kPath, bytes);
    PropertiesReading reading;
    const Properties table = Indication_Tools::GetFileProperties(kPath, reading);
    // A file saved as UTF-16 is refused whole; one with its mark always is.
    const bool utf16Mark = bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
    if (!reading.failure.empty()) {
        FUZZ_CHECK(table.empty(), "a refused file gave keys");
        FUZZ_CHECK(utf16Mark || (bytes.size() >= 2 && (bytes[0] == 0) != (bytes[1] == 0)), "refused: " + reading.failure);
        return 0;
    }
    FUZZ_CHECK(!utf16Mark, "a UTF-16 file was read");
    for (const std::string& key : reading.latin1Keys) FUZZ_CHECK(table.count(key) != 0, "no key " + key);
    const auto expected = plainProperties(text);
    FUZZ_CHECK(table.size() == expected.size(), std::to_string(table.size()) + " keys");
    for (const auto& [key, value] : expected) {
        auto it = table.find(key);
        FUZZ_CHECK(it != table.end(), "missing key " + key);
        FUZZ_CHECK(it->second == value, key + " = " + it->second + " instead of " + value);
    }
    FUZZ_CHECK(Indication_Tools::ParseProperties(text) == table, "file and text readings differ");

    // Every value through every value reader, bounded so one input stays quick.
    size_t n = 0;
    for (const auto& [key, value] : expected) {
        if (++n > 64) break;
        checkValueReaders(key, value);
    }
    // Some values are never keyed: lines of raw bytes straight to the readers.
    size_t pos = 0;
    for (n = 0; pos < text.size() && n < 16; ++n) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        checkValueReaders("RAW", text.substr(pos, end - pos));
        pos = end + 1;
    }

    p.clearOut();
    p.setFile(Indication_Tools::DEFAULT_LOG_FILE, "");
    return 0;
}
