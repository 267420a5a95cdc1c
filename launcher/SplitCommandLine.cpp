#include "launcher/SplitCommandLine.h"

namespace {

constexpr char16_t kQuote = u'"';
constexpr std::size_t kInitialCapacity = 3;

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

int SplitCommandLine(const char16_t* commandLine, char16_t*** out, const SplitterHeap& heap) {
    *out = nullptr;
    std::size_t capacity = kInitialCapacity;
    auto** array = static_cast<char16_t**>(heap.allocate(capacity * sizeof(char16_t*)));
    if (array == nullptr) return 0;
    array[0] = nullptr;

    std::size_t length = 0;
    if (commandLine != nullptr) {
        while (commandLine[length] != 0) ++length;
    }
    auto* copy = static_cast<char16_t*>(heap.allocate(2 * length + 2));
    if (copy == nullptr) return 0;
    for (std::size_t i = 0; i < length; ++i) copy[i] = commandLine[i];
    copy[length] = 0;

    // The program name: quoted to the next quote, or up to the first blank.
    char16_t* p = copy;
    if (*p == kQuote) {
        array[0] = ++p;
        while (*p != 0 && *p != kQuote) ++p;
        if (*p == 0) return 0;  // no closing quote: no arguments at all
        *p++ = 0;
    } else {
        array[0] = p;
        while (*p != 0 && !isBlank(*p)) ++p;
        if (*p != 0) *p++ = 0;
    }

    int count = 1;
    for (;;) {
        while (isBlank(*p)) ++p;
        if (*p == 0) break;
        char16_t* start = p;
        if (*p == kQuote) {
            // Blanks inside belong to the argument; the end of the text closes it too.
            start = ++p;
            while (*p != 0 && *p != kQuote) ++p;
        } else {
            // A quote inside an argument is an ordinary character.
            while (*p != 0 && !isBlank(*p)) ++p;
        }
        array[count] = start;
        array[count + 1] = nullptr;
        ++count;
        if (*p == 0) break;
        *p++ = 0;
        if (static_cast<std::size_t>(count) >= capacity - 1) {
            // Growth failing stops the splitting: what was gathered is kept.
            auto** grown = static_cast<char16_t**>(heap.reallocate(array, 2 * capacity * sizeof(char16_t*)));
            if (grown == nullptr) break;
            array = grown;
            capacity *= 2;
        }
    }
    *out = array;
    return count;
}
