#pragma once
// Writes an image as a GIF87a stream compressed with a true LZW string table.
//
// The palette (at most 256 colours, alpha ignored) is fixed at construction,
// in order of first appearance going down each column in turn, so the
// top-left pixel is always entry 0. The file cannot be made for a 257th
// colour ("Too many colors."), pixels that cannot be read ("Grabber returned
// false: <status>") or an image wider or taller than 65535 pixels. One
// thread at a time.

#include "encoders/EncodedImage.h"
#include "encoders/PixelSource.h"

#include <cstdint>
#include <string>
#include <vector>

class OutputStream;

class GIFEncoder_LZW {
public:
    // A colour plane indexed [x][y]: one inner vector per column.
    using ColorPlane = std::vector<std::vector<uint8_t>>;

    explicit GIFEncoder_LZW(const PixelSource& image);
    // Width is the number of columns of red, height the length of its first
    // column; the three planes must all have that shape.
    GIFEncoder_LZW(const ColorPlane& red, const ColorPlane& green, const ColorPlane& blue);

    // The whole file, or why it cannot be made; the same bytes every time.
    EncodedImage Write() const;

    int getWidth() const { return width_; }
    int getHeight() const { return height_; }
    // Colour table size: a power of two, at least 2.
    int getNumColors() const { return numColors_; }
    // Red, green, blue per entry; 3 * getNumColors() bytes.
    const std::vector<uint8_t>& getColors() const { return colors_; }
    // Palette index per pixel, row by row.
    const std::vector<uint8_t>& getPixels() const { return pixels_; }
    // Why the file cannot be made; empty when it can.
    const std::string& getFailure() const { return failure_; }

private:
    // Palette and indexes from pixels given row by row (alpha ignored).
    void ToIndexedColor(const uint32_t* argb);
    void renumberPixels(const uint8_t* renumber, int count);
    void takeImage(const PixelSource& image);
    void write(OutputStream& output) const;

    int width_ = 0;
    int height_ = 0;
    int numColors_ = 0;
    std::vector<uint8_t> pixels_;
    std::vector<uint8_t> colors_;
    std::string failure_;
};
