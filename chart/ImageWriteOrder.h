#pragma once
// Image files written by charts built at once, left and reported as charts
// built one after the other leave and report them:
// - when two charts of a pass write the same file (however its path is
//   spelt), the image of the later one in the chart list stays, whichever
//   finishes first; a write that fails leaves the file to the charts before;
// - a chart whose file a later one has already written only tries its write,
//   leaving the file alone, so that it fails exactly where it would have.
//
// Writes of different files go on at once; writes of one file one at a time.
// Thread-safe.

#include "support/Platform.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class ImageWriteOrder {
public:
    // Writes a chart's image: for real (keep), or as a trial that leaves the
    // file as it is.
    using Write = std::function<bool(bool keep)>;

    // A new pass: no file written yet.
    void beginPass();

    // Writes chart turn's image into the file at place, unless a chart later
    // in the list has written that file in this pass already: its image then
    // stays, and this one's write is only tried.
    bool write(int turn, const FilePlace& place, const Write& write);

private:
    struct File {
        std::mutex mutex;
        int keptTurn = -1;  // the chart whose image the file holds
    };

    std::mutex mutex_;
    std::map<FilePlace, std::shared_ptr<File>> files_;
};
