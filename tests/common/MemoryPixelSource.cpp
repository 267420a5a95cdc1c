#include "tests/common/MemoryPixelSource.h"

#include <stdexcept>

MemoryPixelSource::MemoryPixelSource(int width, int height, std::vector<uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
    if (width < 0 || height < 0 || pixels_.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        throw std::invalid_argument("MemoryPixelSource: pixel count does not match the size");
    }
}

MemoryPixelSource::MemoryPixelSource(int width, int height, uint32_t fill)
    : MemoryPixelSource(width, height,
                        std::vector<uint32_t>(static_cast<size_t>(width < 0 ? 0 : width) *
                                                  static_cast<size_t>(height < 0 ? 0 : height),
                                              fill)) {}

void MemoryPixelSource::failGrabs(bool result, int status, int afterGrabs) {
    failing_ = true;
    failResult_ = result;
    failStatus_ = status;
    failAfter_ = afterGrabs;
}

bool MemoryPixelSource::grabPixels(int x, int y, int w, int h, uint32_t* dst, int offset, int scan,
                                   int* status) const {
    const int grab = grabs_++;
    if (failing_ && grab >= failAfter_) {
        if (status != nullptr) *status = failStatus_;
        return failResult_;
    }
    if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > width_ || y + h > height_ || offset < 0 || scan < w) {
        ++badRequests_;
        if (status != nullptr) *status = GRAB_ABORTED;
        return false;
    }
    for (int j = 0; j < h; ++j) {
        const uint32_t* src = pixels_.data() + static_cast<size_t>(y + j) * width_ + x;
        uint32_t* out = dst + offset + static_cast<size_t>(j) * scan;
        for (int i = 0; i < w; ++i) out[i] = src[i];
    }
    if (status != nullptr) *status = 0;
    return true;
}
