#pragma once
// The launcher's command-line splitter: the process's UTF-16 command line
// becomes a count and an array of UTF-16 strings, program name first.
//
// Simpler than the usual Windows rules: a double quote only opens an
// argument at its start and runs to the next quote, there are no escapes and
// quotes are never doubled. The work copy and the array come from the heap
// given (the process heap on Windows) and are never freed: the arguments
// live until the process ends.

#include <cstddef>

// The two heap calls the splitter needs; both return null on failure.
struct SplitterHeap {
    void* (*allocate)(std::size_t bytes);
    // Grows block to bytes, keeping its content; block stays as it was on failure.
    void* (*reallocate)(void* block, std::size_t bytes);
};

// The count includes the program name; on failure (no memory, or a quoted
// program name without its closing quote) it is 0 and *out stays null.
// Safe from any thread; the text is not changed.
int SplitCommandLine(const char16_t* commandLine, char16_t*** out, const SplitterHeap& heap);
