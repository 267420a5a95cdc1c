#include "chart/ImageWriteOrder.h"

#include <algorithm>

void ImageWriteOrder::beginPass() {
    MutexLock lock(mutex_);
    files_.clear();
    folders_.clear();
}

ImageWriteOrder::Turn ImageWriteOrder::turn(int index) { return Turn(*this, index); }

template <class Entry>
std::shared_ptr<Entry> ImageWriteOrder::entry(std::map<FilePlace, std::shared_ptr<Entry>>& entries,
                                              const FilePlace& place) {
    std::shared_ptr<Entry>& slot = entries[place];
    if (!slot) slot = std::make_shared<Entry>();
    return slot;
}

void ImageWriteOrder::enterFolder(int turn, const FilePlace& place, const Sweep& sweep) {
    const std::shared_ptr<Folder> folder = [&] {
        MutexLock lock(mutex_);
        return entry(folders_, place.folderOnly());
    }();
    // Held through the sweep: a chart that enters next, and may be the one to
    // report it, finds what was removed.
    MutexLock lock(folder->mutex);
    folder->firstTurn = std::min(folder->firstTurn, turn);
    if (folder->swept) return;
    folder->swept = true;
    folder->removed = sweep();
}

std::vector<std::string> ImageWriteOrder::takeSweepReport(int turn, const FilePlace& place) {
    const std::shared_ptr<Folder> folder = [&] {
        MutexLock lock(mutex_);
        return entry(folders_, place.folderOnly());
    }();
    MutexLock lock(folder->mutex);
    if (folder->reported || folder->firstTurn != turn) return {};
    folder->reported = true;
    return std::move(folder->removed);
}

bool ImageWriteOrder::write(int turn, const FilePlace& place, const Write& write) {
    const std::shared_ptr<File> file = [&] {
        MutexLock lock(mutex_);
        return entry(files_, place);
    }();
    MutexLock lock(file->mutex);
    // A later chart's image is already there: it stays, as it would have
    // replaced this one. Only whether this write would have gone through counts.
    if (file->keptTurn > turn) return write(false);
    if (!write(true)) return false;
    file->keptTurn = turn;
    return true;
}
