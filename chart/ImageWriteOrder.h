#pragma once
// Image files written by charts built at once, left and reported as charts
// built one after the other leave and report them:
// - when two charts of a pass write the same file (however its path is
//   spelt), the image of the later one in the chart list stays, whichever
//   finishes first; a write that fails leaves the file to the charts before;
// - a chart whose file a later one has already written only tries its write,
//   leaving the file alone, so that it fails exactly where it would have;
// - the stale temporary files swept from a folder are reported by the first
//   chart of the list that writes into that folder.
//
// Writes of different files go on at once; writes of one file one at a time.
// Thread-safe.

#include "support/Platform.h"

#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ImageWriteOrder {
public:
    // Writes a chart's image: for real (keep), or as a trial that leaves the
    // file as it is.
    using Write = std::function<bool(bool keep)>;
    // Sweeps a folder; returns the names of the files removed.
    using Sweep = std::function<std::vector<std::string>()>;

    // A new pass: no file written, no folder entered yet.
    void beginPass();

    // Chart turn writes into the folder of place: the first chart of the pass
    // to do so, in time, runs sweep; the others wait for it to end.
    void enterFolder(int turn, const FilePlace& place, const Sweep& sweep);
    // What the sweep of the folder of place removed, given once, to chart
    // turn if it is the first of the list that entered that folder; nothing
    // otherwise. Ask once every chart before turn is over.
    std::vector<std::string> takeSweepReport(int turn, const FilePlace& place);

    // Writes chart turn's image into the file at place, unless a chart later
    // in the list has written that file in this pass already: its image then
    // stays, and this one's write is only tried.
    bool write(int turn, const FilePlace& place, const Write& write);

private:
    struct File {
        std::mutex mutex;
        int keptTurn = -1;  // the chart whose image the file holds
    };
    struct Folder {
        std::mutex mutex;
        bool swept = false;
        bool reported = false;
        int firstTurn = INT_MAX;
        std::vector<std::string> removed;
    };
    template <class Entry>
    std::shared_ptr<Entry> entry(std::map<FilePlace, std::shared_ptr<Entry>>& entries, const FilePlace& place);

    std::mutex mutex_;
    std::map<FilePlace, std::shared_ptr<File>> files_;
    std::map<FilePlace, std::shared_ptr<Folder>> folders_;
};
