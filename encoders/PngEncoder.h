#pragma once
// Encodes an image as the bytes of a PNG file: true colour, 8 bits per
// sample, optionally with alpha, one row filter (none, Sub or Up) for every
// row, one zlib stream at the chosen level in a single IDAT chunk, made by
// libdeflate from the whole image's rows.
//
// pngEncode gives no bytes when there is no image (and no reason) or the
// image data cannot be produced (the reason, the line the caller prints on
// standard error). Every call rebuilds all state. One thread at a time.

#include "encoders/EncodedImage.h"
#include "encoders/PixelSource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class PngEncoder {
public:
    static constexpr bool ENCODE_ALPHA = true;
    static constexpr bool NO_ALPHA = false;
    static constexpr int FILTER_NONE = 0;
    static constexpr int FILTER_SUB = 1;
    static constexpr int FILTER_UP = 2;
    static constexpr int FILTER_LAST = 2;

    // The image is not owned and may be null; it must outlive pngEncode.
    PngEncoder();
    explicit PngEncoder(const PixelSource* image);
    PngEncoder(const PixelSource* image, bool encodeAlpha);
    PngEncoder(const PixelSource* image, bool encodeAlpha, int filter);
    // A level outside 0-9 leaves the default 0.
    PngEncoder(const PixelSource* image, bool encodeAlpha, int filter, int compressionLevel);

    // Replaces the image and drops the bytes of an earlier encoding.
    void setImage(const PixelSource* image);
    void setEncodeAlpha(bool encodeAlpha) { this->encodeAlpha = encodeAlpha; }
    bool getEncodeAlpha() const { return encodeAlpha; }
    // A number that is not a known filter selects FILTER_NONE.
    void setFilter(int whichFilter);
    int getFilter() const { return filter; }
    // Kept only when 0 <= level <= 9; otherwise the previous level stays.
    void setCompressionLevel(int level);
    int getCompressionLevel() const { return compressionLevel; }

    // The complete PNG file, or why there is none (see above).
    EncodedImage pngEncode();

protected:
    // Byte writers: each writes at pos and returns the position after what it
    // wrote, growing pngBytes when the write does not fit.
    size_t writeBytes(const uint8_t* data, size_t n, size_t pos);
    size_t writeByte(int b, size_t pos);
    size_t writeInt2(int n, size_t pos);
    size_t writeInt4(uint32_t n, size_t pos);
    size_t writeString(std::string_view s, size_t pos);

private:
    // Room for n more bytes at pos: grows by the larger of 1000 bytes and the
    // shortfall.
    void ensureRoom(size_t pos, size_t n);
    void writeHeader();
    // Empty, or why the image data cannot be produced.
    std::string writeImageData();
    std::string writeStoredImageData(size_t rowsPerBlock);
    std::string grabRows(size_t row, size_t rows);
    void writeEnd();
    // Writes the chunk CRC over pngBytes[start, bytePos) (type and data).
    void writeChunkCrc(size_t start);
    void buildRows(const uint32_t* argb, size_t rows, uint8_t* scanLines);

    const PixelSource* image = nullptr;
    bool encodeAlpha = false;
    int filter = FILTER_NONE;
    int compressionLevel = 0;
    int width = 0;
    int height = 0;
    int bytesPerPixel = 3;
    // The file being built; bytes, held as the text the result carries.
    std::string pngBytes;
    size_t bytePos = 0;
    size_t maxPos = 0;
    uint32_t crcValue = 0;
    std::vector<uint8_t> priorRow;
    // Scratch: one block of grabbed pixels.
    std::vector<uint32_t> argbBlock;
};
