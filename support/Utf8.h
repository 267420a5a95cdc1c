#pragma once
// Character-level helpers for UTF-8 text. Text inside the program is UTF-8;
// rules that count or pick characters (caption shortening, weekday and month
// letters) count code points, not bytes. A byte that does not start a valid
// sequence counts as one character, so malformed text never breaks a count.

#include <cstddef>
#include <string>
#include <string_view>

namespace utf8 {

// Byte length of the well-formed sequence starting at text[pos], 0 when the
// byte there starts none.
size_t sequenceLength(std::string_view text, size_t pos);
// Byte length of the character starting at text[pos] (1 for a malformed byte).
inline size_t charLength(std::string_view text, size_t pos) {
    const size_t n = sequenceLength(text, pos);
    return n == 0 ? 1 : n;
}
// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool isValid(std::string_view bytes);
// Number of characters.
size_t length(std::string_view text);
// The characters [start, start + count), clipped to the text.
std::string_view substr(std::string_view text, size_t start, size_t count = std::string_view::npos);
// The first n characters (the whole text when it is shorter).
inline std::string_view prefix(std::string_view text, size_t n) { return substr(text, 0, n); }
// The n-th character (0-based); empty when out of range.
inline std::string_view at(std::string_view text, size_t n) { return substr(text, n, 1); }
// The code point starting at text[pos] (pos < size), moving pos past it. A
// malformed byte gives U+FFFD and moves pos by one, matching charLength.
char32_t decode(std::string_view text, size_t& pos);
constexpr char32_t kReplacement = 0xFFFD;
// Appends the code point's UTF-8 bytes (cp <= U+10FFFF).
void append(std::string& out, char32_t cp);
// ISO 8859-1 bytes as UTF-8.
std::string fromLatin1(std::string_view bytes);

// Letters A to Z lowered, every other byte kept: the case rule of option
// values, command-line words and key names, which are ASCII.
inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}

}  // namespace utf8
