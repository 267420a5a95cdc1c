// UTF-8 character helpers.

#include "support/Utf8.h"

namespace utf8 {

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

size_t sequenceLength(std::string_view s, size_t pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + pos;
    size_t left = s.size() - pos;
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    if (c < 0xC2) return 0;  // stray continuation byte or overlong 2-byte lead
    if (c < 0xE0) return left >= 2 && isContinuation(p[1]) ? 2 : 0;
    if (c < 0xF0) {
        if (left < 3 || !isContinuation(p[1]) || !isContinuation(p[2])) return 0;
        if (c == 0xE0 && p[1] < 0xA0) return 0;   // overlong
        if (c == 0xED && p[1] >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (c < 0xF5) {
        if (left < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) || !isContinuation(p[3])) return 0;
        if (c == 0xF0 && p[1] < 0x90) return 0;   // overlong
        if (c == 0xF4 && p[1] >= 0x90) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

bool isValid(std::string_view bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        // ASCII runs are the common case.
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        size_t n = sequenceLength(bytes, pos);
        if (n == 0) return false;
        pos += n;
    }
    return true;
}

size_t length(std::string_view text) {
    size_t count = 0;
    for (size_t pos = 0; pos < text.size(); pos += charLength(text, pos)) ++count;
    return count;
}

std::string_view substr(std::string_view text, size_t start, size_t count) {
    size_t pos = 0;
    for (size_t i = 0; i < start && pos < text.size(); ++i) pos += charLength(text, pos);
    size_t end = pos;
    for (size_t i = 0; i < count && end < text.size(); ++i) end += charLength(text, end);
    return text.substr(pos, end - pos);
}

char32_t decode(std::string_view text, size_t& pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
    const size_t n = sequenceLength(text, pos);
    char32_t cp;
    switch (n) {
        case 1: cp = p[0]; break;
        case 2: cp = (char32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F); break;
        case 3: cp = (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F); break;
        case 4:
            cp = (char32_t(p[0] & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) | (char32_t(p[2] & 0x3F) << 6) |
                 (p[3] & 0x3F);
            break;
        default: ++pos; return kReplacement;
    }
    pos += n;
    return cp;
}

void append(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string fromLatin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) append(out, static_cast<unsigned char>(ch));
    return out;
}

}  // namespace utf8
