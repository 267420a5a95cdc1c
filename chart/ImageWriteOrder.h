#pragma once
// Image files written by charts built at once, left as charts built one after
// the other leave them: when two charts of a pass write the same file
// (however its path is spelt), the one later in the chart list has the last
// word, whichever finishes first.
//
// Writes of different files go on at once; writes of one file one at a time.
// Thread-safe.

#include "support/Platform.h"

#include <functional>
#include <memory>
#include <mutex>
#include <map>
#include <string>

class ImageWriteOrder {
public:
    // A new pass: no file written yet.
    void beginPass();
    // Runs write for chart turn's file at place, unless a chart later in the
    // list has written that file in this pass already: then its image stays,
    // and the write counts as done.
    bool write(int turn, const FilePlace& place, const std::function<bool()>& write);

private:
    struct File {
        std::mutex mutex;
        int lastTurn = -1;
    };
    std::mutex mutex_;
    std::map<FilePlace, std::shared_ptr<File>> files_;
};
