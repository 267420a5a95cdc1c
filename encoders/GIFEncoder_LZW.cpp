#include "encoders/GIFEncoder_LZW.h"

#include "encoders/BitUtils.h"
#include "encoders/ColorLookup.h"
#include "encoders/GifLimits.h"
#include "encoders/ImageDescriptor.h"
#include "encoders/LZWCompressor.h"
#include "encoders/ScreenDescriptor.h"

#include <stdexcept>
#include <string>

GIFEncoder_LZW::GIFEncoder_LZW(const PixelSource& image)
    : width_(image.getWidth()), height_(image.getHeight()) {
    GifLimits::checkSize(width_, height_);
    const size_t w = static_cast<size_t>(width_);
    std::vector<uint32_t> argb(w * static_cast<size_t>(height_));
    int status = 0;
    if (!image.grabPixels(0, 0, width_, height_, argb.data(), 0, width_, &status)) {
        throw std::runtime_error("Grabber returned false: " + std::to_string(status));
    }
    ToIndexedColor([&](size_t x, size_t y) { return argb[y * w + x] & 0xFFFFFFu; });
}

GIFEncoder_LZW::GIFEncoder_LZW(const ColorPlane& red, const ColorPlane& green,
                               const ColorPlane& blue) {
    const size_t columns = red.size();
    const size_t rows = columns == 0 ? 0 : red[0].size();
    bool sameShape = green.size() == columns && blue.size() == columns;
    for (size_t x = 0; sameShape && x < columns; ++x) {
        sameShape = red[x].size() == rows && green[x].size() == rows && blue[x].size() == rows;
    }
    if (!sameShape) throw std::invalid_argument("Colour planes differ in size");
    GifLimits::checkSize(static_cast<int64_t>(columns), static_cast<int64_t>(rows));
    width_ = static_cast<int>(columns);
    height_ = static_cast<int>(rows);
    ToIndexedColor([&](size_t x, size_t y) {
        return (static_cast<uint32_t>(red[x][y]) << 16) | (static_cast<uint32_t>(green[x][y]) << 8) |
               blue[x][y];
    });
}

// Palette order is first appearance in a column-by-column scan; the hashed
// look-up gives the same index as searching the palette in order.
template <typename RgbAt>
void GIFEncoder_LZW::ToIndexedColor(RgbAt rgbAt) {
    const size_t w = static_cast<size_t>(width_);
    const size_t h = static_cast<size_t>(height_);
    pixels_.assign(w * h, 0);
    colors_.assign(256 * 3, 0);
    ColorLookup lookup;
    int count = 0;
    for (size_t x = 0; x < w; ++x) {
        for (size_t y = 0; y < h; ++y) {
            const uint32_t rgb = rgbAt(x, y);
            int index = lookup.find(rgb);
            if (index == ColorLookup::NOT_FOUND) {
                if (count == 256) throw std::runtime_error("Too many colors.");
                index = count++;
                colors_[3 * index] = static_cast<uint8_t>(rgb >> 16);
                colors_[3 * index + 1] = static_cast<uint8_t>(rgb >> 8);
                colors_[3 * index + 2] = static_cast<uint8_t>(rgb);
                lookup.add(rgb, index);
            }
            pixels_[y * w + x] = static_cast<uint8_t>(index);
        }
    }
    // At least 2 entries even for an image without pixels: a one-entry table
    // cannot be stated in the screen descriptor.
    numColors_ = 1 << BitUtils::BitsNeeded(count < 2 ? 2 : count);
    colors_.resize(static_cast<size_t>(numColors_) * 3);
}

void GIFEncoder_LZW::Write(OutputStream& output) const {
    BitUtils::WriteString(output, "GIF87a");
    ScreenDescriptor(width_, height_, numColors_).Write(output);
    output.write(colors_.data(), colors_.size());
    ImageDescriptor(width_, height_, ',').Write(output);

    // A one-bit code size is not allowed in GIF.
    int codeSize = BitUtils::BitsNeeded(numColors_);
    if (codeSize == 1) codeSize = 2;
    output.write(static_cast<uint8_t>(codeSize));
    LZWCompressor::LZWCompress(output, codeSize, pixels_.data(), pixels_.size());
    output.write(static_cast<uint8_t>(0));

    // Our streams end with a whole empty descriptor led by the trailer byte.
    ImageDescriptor(0, 0, ';').Write(output);
    output.flush();
}
