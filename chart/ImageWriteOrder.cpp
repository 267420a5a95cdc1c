#include "chart/ImageWriteOrder.h"

void ImageWriteOrder::beginPass() {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
}

bool ImageWriteOrder::write(int turn, const FilePlace& place, const std::function<bool()>& write) {
    std::shared_ptr<File> file;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::shared_ptr<File>& slot = files_[place];
        if (!slot) slot = std::make_shared<File>();
        file = slot;
    }
    std::lock_guard<std::mutex> lock(file->mutex);
    if (file->lastTurn > turn) return true;
    file->lastTurn = turn;
    return write();
}
