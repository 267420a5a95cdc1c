#include "chart/ImageWriteOrder.h"

void ImageWriteOrder::beginPass() {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
}

bool ImageWriteOrder::write(int turn, const FilePlace& place, const Write& write) {
    std::shared_ptr<File> file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<File>& slot = files_[place];
        if (!slot) slot = std::make_shared<File>();
        file = slot;
    }
    std::lock_guard<std::mutex> lock(file->mutex);
    // A later chart's image is already there: it stays, as it would have
    // replaced this one. Only whether this write would have gone through counts.
    if (file->keptTurn > turn) return write(false);
    if (!write(true)) return false;
    file->keptTurn = turn;
    return true;
}
