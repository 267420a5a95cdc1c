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
// A chart writes through its Turn, which alone knows its place in the list.
// Thread-safe.

#include "support/Mutex.h"
#include "support/Platform.h"

#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ImageWriteOrder {
public:
    // Writes a chart's image: for real (keep), or as a trial that leaves the
    // file as it is.
    using Write = std::function<bool(bool keep)>;
    // Sweeps a folder; returns the names of the files removed.
    using Sweep = std::function<std::vector<std::string>()>;

    class Turn;

    // A new pass: no file written, no folder entered yet.
    void beginPass() ZK_EXCLUDES(mutex_);
    // The writes of the chart at index in the pass's list.
    Turn turn(int index);

private:
    // What the Turn's functions of the same names do, for chart turn.
    void enterFolder(int turn, const FilePlace& place, const Sweep& sweep) ZK_EXCLUDES(mutex_);
    std::vector<std::string> takeSweepReport(int turn, const FilePlace& place) ZK_EXCLUDES(mutex_);
    bool write(int turn, const FilePlace& place, const Write& write) ZK_EXCLUDES(mutex_);

    struct File {
        Mutex mutex;
        int keptTurn ZK_GUARDED_BY(mutex) = -1;  // the chart whose image the file holds
    };
    struct Folder {
        Mutex mutex;
        bool swept ZK_GUARDED_BY(mutex) = false;
        bool reported ZK_GUARDED_BY(mutex) = false;
        int firstTurn ZK_GUARDED_BY(mutex) = INT_MAX;
        std::vector<std::string> removed ZK_GUARDED_BY(mutex);
    };
    template <class Entry>
    std::shared_ptr<Entry> entry(std::map<FilePlace, std::shared_ptr<Entry>>& entries, const FilePlace& place)
        ZK_REQUIRES(mutex_);

    Mutex mutex_;
    std::map<FilePlace, std::shared_ptr<File>> files_ ZK_GUARDED_BY(mutex_);
    std::map<FilePlace, std::shared_ptr<Folder>> folders_ ZK_GUARDED_BY(mutex_);
};

// One chart's writes. Move-only, so that only one holder speaks for a place
// in the list; it has nothing to end: a chart that writes nothing leaves
// every file to the others.
class ImageWriteOrder::Turn {
public:
    Turn(Turn&&) noexcept = default;
    Turn& operator=(Turn&&) noexcept = default;
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

    // The chart writes into the folder of place: the first chart of the pass
    // to do so, in time, runs sweep; the others wait for it to end.
    void enterFolder(const FilePlace& place, const Sweep& sweep) { order_->enterFolder(index_, place, sweep); }
    // What the sweep of the folder of place removed, to be asked once every
    // chart before this one is over (it may be after this turn is gone):
    // given once, to the first chart of the list that entered that folder.
    std::function<std::vector<std::string>()> sweepReport(const FilePlace& place) const {
        return [order = order_, index = index_, place] { return order->takeSweepReport(index, place); };
    }
    // Writes the chart's image into the file at place, unless a chart later
    // in the list has written that file in this pass already: its image then
    // stays, and this one's write is only tried.
    bool write(const FilePlace& place, const Write& write) { return order_->write(index_, place, write); }

private:
    friend class ImageWriteOrder;
    Turn(ImageWriteOrder& order, int index) : order_(&order), index_(index) {}

    ImageWriteOrder* order_;
    int index_;
};
