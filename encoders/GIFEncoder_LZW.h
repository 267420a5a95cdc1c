#pragma once
// Writes an image as a GIF87a stream compressed with a true LZW string table.
//
// The palette (at most 256 colours, alpha ignored) is fixed at construction,
// in order of first appearance going down each column in turn, so the
// top-left pixel is always entry 0. Construction fails with "Too many colors."
// for a 257th colour and with "Grabber returned false: <status>" when the
// pixels cannot be read; an image wider or taller than 65535 pixels is
// refused. One thread at a time.

#include "encoders/OutputStream.h"
#include "encoders/PixelSource.h"

#include <cstdint>
#include <vector>

class GIFEncoder_LZW {
public:
    // A colour plane indexed [x][y]: one inner vector per column.
    using ColorPlane = std::vector<std::vector<uint8_t>>;

    explicit GIFEncoder_LZW(const PixelSource& image);
    // Width is the number of columns of red, height the length of its first
    // column; the three planes must all have that shape.
    GIFEncoder_LZW(const ColorPlane& red, const ColorPlane& green, const ColorPlane& blue);

    // Writes the whole stream and flushes the output; does not close it.
    // Errors of the output stream propagate. May be called again.
    void Write(OutputStream& output) const;

    int getWidth() const { return width_; }
    int getHeight() const { return height_; }
    // Colour table size: a power of two, at least 2.
    int getNumColors() const { return numColors_; }
    // Red, green, blue per entry; 3 * getNumColors() bytes.
    const std::vector<uint8_t>& getColors() const { return colors_; }
    // Palette index per pixel, row by row.
    const std::vector<uint8_t>& getPixels() const { return pixels_; }

private:
    // Palette and indexes from pixels given row by row (alpha ignored).
    void ToIndexedColor(const uint32_t* argb);
    void renumberPixels(const uint8_t* renumber, int count);

    int width_ = 0;
    int height_ = 0;
    int numColors_ = 0;
    std::vector<uint8_t> pixels_;
    std::vector<uint8_t> colors_;
};
