#pragma once
// Writes an image as a GIF that any LZW decoder reads, without a string table.
//
// Pixels are coded as runs of one palette index. The coder sends only codes
// whose meaning it can predict in the decoder's table: single pixels and,
// right after a clear, a growing series of codes through which the decoder
// learns runs of 2, 3, 4, ... of one pixel, reused for later runs of that
// pixel. When that does not pay it sends plain codes and clears the decoder's
// table often enough that the code width stays small.
//
// The palette holds whole 32-bit colour values (alpha included) in order of
// first appearance, row by row. The file cannot be made for a negative size
// ("Pixel Array size is wrong"), a 257th colour ("Too many colors"), or an
// image wider or taller than 65535 pixels. One thread at a time.

#include "encoders/ColorLookup.h"
#include "encoders/EncodedImage.h"
#include "encoders/OutputStream.h"
#include "encoders/PixelSource.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class GIFEncoder {
public:
    // The whole image.
    explicit GIFEncoder(const PixelSource& image);
    // The top-left width x height corner of image, which may be smaller: the
    // pixels of the corner it does not hold are 0. Rows the image has in
    // memory are read where they lie, others are grabbed (whatever the grab
    // says). The image is read here and not kept.
    GIFEncoder(const PixelSource& image, int width, int height);

    // The whole file, or why it cannot be made; the same bytes every time.
    EncodedImage encode(int background);

    // Any index >= 0 makes the file GIF89a with that colour transparent.
    void setTransparentColor(int index) { transparent = index; }
    int getTransparentColor() const { return transparent; }

    int getWidth() const { return width; }
    int getHeight() const { return height; }
    const std::array<uint32_t, 256>& getColors() const { return colors; }
    int getColorsTotal() const { return colorsTotal; }
    int getInterlace() const { return interlace; }

private:
    // Palette.
    int allocateColor(uint32_t colour);
    int colorIndex(uint32_t colour);
    bool hasColor(uint32_t colour) { return colorIndex(colour) != -1; }
    static int colorstobpp(int colors);
    void takeRuns(const uint32_t* pixels, size_t stride);
    void takeImage(const PixelSource& image);

    // Byte output.
    void PutByte(int value);
    void PutWord(int value);
    void PutString(std::string_view text);
    void PutBytes(const uint8_t* bytes, size_t n);

    // The image data: the code stream of the runs, in sub-blocks.
    void compress(int init_bits);

    int width;
    int height;
    std::array<uint32_t, 256> colors{};
    int colorsTotal = 0;
    ColorLookup lookup;
    // The image as runs of one palette index, index << 24 | length, found
    // while the palette is built so the coder never walks single pixels.
    // Runs longer than MAX_RUN are split; the coder joins them again.
    static constexpr uint32_t MAX_RUN = 0xFFFFFF;
    std::vector<uint32_t> runs;
    int BitsPerPixel = 1;
    int transparent = -1;
    int interlace = 0;
    // Why the file cannot be made; empty while it can.
    std::string failure;
    StringOutputStream out;
};
