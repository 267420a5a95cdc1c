#pragma once
// An image held in memory, for tests: serves grabs like the drawing surface
// and can be told to make them fail.

#include "encoders/PixelSource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class MemoryPixelSource : public PixelSource {
public:
    // pixels: width * height values 0xAARRGGBB, row by row.
    MemoryPixelSource(int width, int height, std::vector<uint32_t> pixels);
    // Every pixel set to fill.
    MemoryPixelSource(int width, int height, uint32_t fill);

    int getWidth() const override { return width_; }
    int getHeight() const override { return height_; }
    // A request reaching outside the image fails with GRAB_ABORTED and is
    // counted in badRequests().
    bool grabPixels(int x, int y, int w, int h, uint32_t* dst, int offset, int scan,
                    int* status) const override;

    uint32_t at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    void set(int x, int y, uint32_t argb) { pixels_[static_cast<size_t>(y) * width_ + x] = argb; }
    const std::vector<uint32_t>& pixels() const { return pixels_; }
    // Offers the rows where they lie (data()), as the drawing surface's images do.
    void showRows() { showRows_ = true; }
    const uint32_t* data() const override { return showRows_ ? pixels_.data() : nullptr; }

    // From the (afterGrabs + 1)-th grab on, grabs return `result` with
    // `status` and deliver nothing.
    void failGrabs(bool result, int status, int afterGrabs = 0);
    int grabCount() const { return grabs_; }
    int badRequests() const { return badRequests_; }

private:
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
    bool showRows_ = false;
    bool failing_ = false;
    bool failResult_ = false;
    int failStatus_ = 0;
    int failAfter_ = 0;
    mutable int grabs_ = 0;
    mutable int badRequests_ = 0;
};
