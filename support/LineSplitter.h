#pragma once
// Line cutting of a program's output stream, shared by the process runners.

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

// Cuts a byte stream into lines the way a line reader does: "\n", "\r\n" and a
// lone "\r" each end a line; an unterminated last line still counts.
class LineSplitter {
public:
    LineSplitter(size_t maxBytes, std::function<void(const std::string&)> onLine)
        : maxBytes_(maxBytes == 0 ? 1 : maxBytes), onLine_(std::move(onLine)) {}

    void feed(const char* data, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const char c = data[i];
            if (skipLineFeed_) {
                skipLineFeed_ = false;
                if (c == '\n') continue;
            }
            if (c == '\n' || c == '\r') {
                // A line just cut for length already went out; its end adds no empty line.
                if (!justCut_ || !line_.empty()) emit();
                justCut_ = false;
                skipLineFeed_ = c == '\r';
                continue;
            }
            justCut_ = false;
            line_.push_back(c);
            if (line_.size() >= maxBytes_) {
                emit();
                justCut_ = true;
            }
        }
    }

    void finish() {
        if (!line_.empty()) emit();
    }

private:
    void emit() {
        if (onLine_) onLine_(line_);
        line_.clear();
    }

    size_t maxBytes_;
    std::function<void(const std::string&)> onLine_;
    std::string line_;
    bool skipLineFeed_ = false;
    bool justCut_ = false;
};
