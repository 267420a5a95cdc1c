#include "chart/ImageWriteOrder.h"

#include <algorithm>

void ImageWriteOrder::beginPass() {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
    folders_.clear();
}

template <class Entry>
std::shared_ptr<Entry> ImageWriteOrder::entry(std::map<FilePlace, std::shared_ptr<Entry>>& entries,
                                              const FilePlace& place) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Entry>& slot = entries[place];
    if (!slot) slot = std::make_shared<Entry>();
    return slot;
}

void ImageWriteOrder::enterFolder(int turn, const FilePlace& place, const Sweep& sweep) {
    const std::shared_ptr<Folder> folder = entry(folders_, place.folderOnly());
    // Held through the sweep: a chart that enters next, and may be the one to
    // report it, finds what was removed.
    std::lock_guard<std::mutex> lock(folder->mutex);
    folder->firstTurn = std::min(folder->firstTurn, turn);
    if (folder->swept) return;
    folder->swept = true;
    folder->removed = sweep();
}

std::vector<std::string> ImageWriteOrder::takeSweepReport(int turn, const FilePlace& place) {
    const std::shared_ptr<Folder> folder = entry(folders_, place.folderOnly());
    std::lock_guard<std::mutex> lock(folder->mutex);
    if (folder->reported || folder->firstTurn != turn) return {};
    folder->reported = true;
    return std::move(folder->removed);
}

bool ImageWriteOrder::write(int turn, const FilePlace& place, const Write& write) {
    const std::shared_ptr<File> file = entry(files_, place);
    std::lock_guard<std::mutex> lock(file->mutex);
    // A later chart's image is already there: it stays, as it would have
    // replaced this one. Only whether this write would have gone through counts.
    if (file->keptTurn > turn) return write(false);
    if (!write(true)) return false;
    file->keptTurn = turn;
    return true;
}
