#pragma once
// UTF-8 decoding for text drawing. Captions come from hand-edited files and
// may hold stray Latin-1 bytes: each byte that does not start a well-formed
// sequence becomes U+FFFD and decoding goes on with the next byte.

#include <cstddef>
#include <string_view>

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at text[pos] and moves pos past it. pos < size.
inline char32_t nextCodePoint(std::string_view text, size_t& pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++pos;
        return kReplacementCharacter;
    }
    if (text.size() - pos < static_cast<size_t>(length)) {
        ++pos;
        return kReplacementCharacter;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char c = byte(pos + i);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return kReplacementCharacter;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    if (cp < minimum || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        ++pos;
        return kReplacementCharacter;
    }
    pos += length;
    return cp;
}
