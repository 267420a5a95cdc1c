#include "encoders/PngEncoder.h"

#include "support/Compiler.h"
#include "support/KeptScratch.h"

#include <libdeflate.h>

#if defined(ZK_HAS_SSSE3_PATHS)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <string>

namespace {

constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
// Pixels are grabbed and filtered into rows in blocks of about this many raw
// bytes (one extra byte per pixel counted); the rows of the whole image are
// then compressed at once.
constexpr size_t BLOCK_BYTES = 32767;
// Scanlines of images up to this size stay allocated for the thread's next
// image (a 1920x1080 RGB image is 6 MB of them).
constexpr size_t KEPT_SCANLINE_BYTES = 8u << 20;

uint32_t byteSwap(uint32_t v) { return zk::byteSwap(v); }

// The value whose bytes in memory, lowest address first, are its bytes from
// least to most significant.
uint32_t toLittleEndian(uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        return v;
    } else {
        return byteSwap(v);
    }
}

#if defined(ZK_HAS_SSSE3_PATHS)
// Red, green, blue of 16 pixels at a time with byte shuffles, where the
// processor has them. Returns how many leading pixels it packed, always
// leaving at least the last one to the caller.
ZK_TARGET_SSSE3 size_t packRgbShuffle(const uint32_t* src, size_t w, uint8_t* out) {
    // Little-endian 0xAARRGGBB is B G R A in memory: take R G B of each.
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    size_t x = 0;
    // Each store writes 16 bytes of which 12 count: stop while 4 spare
    // bytes of this row remain ahead.
    for (; x + 5 < w; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(pixels, order));
    }
    return x;
}

size_t packRgbFast(const uint32_t* src, size_t w, uint8_t* out) {
    static const bool hasShuffle = zk::cpuHasSsse3();
    return hasShuffle ? packRgbShuffle(src, w, out) : 0;
}
#else
size_t packRgbFast(const uint32_t*, size_t, uint8_t*) { return 0; }
#endif

// What an encoding needs besides the image, kept for the next one: a
// compressor per level (setting one up costs more than compressing a chart
// at the low levels) and the scanlines.
struct Scratch {
    libdeflate_compressor* byLevel[10] = {};
    std::vector<uint8_t> lines;

    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        for (libdeflate_compressor* c : byLevel) libdeflate_free_compressor(c);
    }
};

KeptScratch<Scratch>& keptScratch() {
    static KeptScratch<Scratch> pool;
    return pool;
}

// Scanlines of a large image are not kept past its encoding.
struct DropOversizedScanLines {
    std::vector<uint8_t>& lines;
    ~DropOversizedScanLines() {
        if (lines.size() > KEPT_SCANLINE_BYTES) std::vector<uint8_t>().swap(lines);
    }
};

}  // namespace

PngEncoder::PngEncoder() : PngEncoder(nullptr, false, FILTER_NONE, 0) {}

PngEncoder::PngEncoder(const PixelSource* image) : PngEncoder(image, false, FILTER_NONE, 0) {}
PngEncoder::PngEncoder(const PixelSource* image, bool encodeAlpha)
    : PngEncoder(image, encodeAlpha, FILTER_NONE, 0) {}
PngEncoder::PngEncoder(const PixelSource* image, bool encodeAlpha, int filter)
    : PngEncoder(image, encodeAlpha, filter, 0) {}
PngEncoder::PngEncoder(const PixelSource* image, bool encodeAlpha, int filter, int compressionLevel)
    : image(image), encodeAlpha(encodeAlpha) {
    setFilter(filter);
    setCompressionLevel(compressionLevel);
}

void PngEncoder::setImage(const PixelSource* newImage) {
    image = newImage;
    pngBytes.clear();
    pngBytes.shrink_to_fit();
}

// A negative number would be written as an invalid filter type byte, so it
// counts as unknown like the numbers above FILTER_LAST.
void PngEncoder::setFilter(int whichFilter) {
    filter = (whichFilter < FILTER_NONE || whichFilter > FILTER_LAST) ? FILTER_NONE : whichFilter;
}

void PngEncoder::setCompressionLevel(int level) {
    if (level >= 0 && level <= 9) compressionLevel = level;
}

EncodedImage PngEncoder::pngEncode() {
    if (image == nullptr) return EncodedImage::failed("");
    try {
        width = image->getWidth();
        height = image->getHeight();
        if (width < 0 || height < 0) return EncodedImage::failed("image fetch aborted or errored");
        pngBytes.assign((static_cast<size_t>(width) + 1) * static_cast<size_t>(height) * 3 + 200, '\0');
        bytePos = 0;
        maxPos = 0;

        bytePos = writeBytes(PNG_SIGNATURE, sizeof PNG_SIGNATURE, bytePos);
        writeHeader();
        const std::string failure = writeImageData();
        if (!failure.empty()) {
            pngBytes.clear();
            return EncodedImage::failed(failure);
        }
        writeEnd();
        pngBytes.resize(maxPos);
        return EncodedImage::of(std::move(pngBytes));
    } catch (const std::exception& e) {
        // Chiefly memory exhaustion on an absurd image size.
        pngBytes.clear();
        return EncodedImage::failed(e.what());
    }
}

void PngEncoder::writeHeader() {
    bytePos = writeInt4(13, bytePos);
    const size_t start = bytePos;
    bytePos = writeString("IHDR", bytePos);
    bytePos = writeInt4(static_cast<uint32_t>(width), bytePos);
    bytePos = writeInt4(static_cast<uint32_t>(height), bytePos);
    bytePos = writeByte(8, bytePos);                    // bit depth
    bytePos = writeByte(encodeAlpha ? 6 : 2, bytePos);  // RGBA or RGB
    bytePos = writeByte(0, bytePos);                    // compression method
    bytePos = writeByte(0, bytePos);                    // filter method
    bytePos = writeByte(0, bytePos);                    // no interlacing
    writeChunkCrc(start);
}

void PngEncoder::writeEnd() {
    bytePos = writeInt4(0, bytePos);
    const size_t start = bytePos;
    bytePos = writeString("IEND", bytePos);
    writeChunkCrc(start);
}

void PngEncoder::writeChunkCrc(size_t start) {
    crcValue = libdeflate_crc32(0, pngBytes.data() + start, bytePos - start);
    bytePos = writeInt4(crcValue, bytePos);
}

// The block's rows as scanlines: filter byte, then red, green, blue (and
// alpha) per pixel, filtered in place.
void PngEncoder::buildRows(const uint32_t* argb, size_t rows, uint8_t* scanLines) {
    const size_t w = static_cast<size_t>(width);
    const size_t bpp = static_cast<size_t>(bytesPerPixel);
    const size_t rowBytes = w * bpp;
    for (size_t r = 0; r < rows; ++r) {
        const uint32_t* src = argb + r * w;
        uint8_t* line = scanLines + r * (rowBytes + 1);
        *line++ = static_cast<uint8_t>(filter);
        // Byte-swapped, 0xAARRGGBB gives the bytes B G R A in memory order on
        // a little-endian machine; shifted, R G B; A put back on top.
        if (encodeAlpha) {
            for (size_t x = 0; x < w; ++x) {
                const uint32_t p = src[x];
                const uint32_t rgba = toLittleEndian((byteSwap(p) >> 8) | (p & 0xFF000000u));
                std::memcpy(line + 4 * x, &rgba, 4);
            }
        } else if (w > 0) {
            const size_t done = packRgbFast(src, w, line);
            // Four bytes per pixel written three apart: the fourth is
            // overwritten by the next pixel; the last pixel is written alone.
            for (size_t x = done; x + 1 < w; ++x) {
                const uint32_t rgb = toLittleEndian(byteSwap(src[x]) >> 8);
                std::memcpy(line + 3 * x, &rgb, 4);
            }
            const uint32_t last = src[w - 1];
            line[3 * (w - 1)] = static_cast<uint8_t>(last >> 16);
            line[3 * (w - 1) + 1] = static_cast<uint8_t>(last >> 8);
            line[3 * (w - 1) + 2] = static_cast<uint8_t>(last);
        }
        if (filter == FILTER_SUB) {
            // Right to left, so the byte to the left is still raw when used;
            // the first pixel stays raw.
            for (size_t i = rowBytes; i-- > bpp;) line[i] = static_cast<uint8_t>(line[i] - line[i - bpp]);
        } else if (filter == FILTER_UP) {
            // priorRow holds the previous row's raw bytes, across blocks too;
            // zeros before the first row.
            uint8_t* prior = priorRow.data();
            for (size_t i = 0; i < rowBytes; ++i) {
                const uint8_t raw = line[i];
                line[i] = static_cast<uint8_t>(raw - prior[i]);
                prior[i] = raw;
            }
        }
    }
}

std::string PngEncoder::writeImageData() {
    bytesPerPixel = encodeAlpha ? 4 : 3;
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    const size_t rowBytes = w * static_cast<size_t>(bytesPerPixel);
    // At least one row per block, however wide the image.
    const size_t bytesPerRow = w * static_cast<size_t>(bytesPerPixel + 1);
    const size_t rowsPerBlock = std::max<size_t>(1, bytesPerRow == 0 ? BLOCK_BYTES : BLOCK_BYTES / bytesPerRow);
    priorRow.assign(rowBytes, 0);

    if (compressionLevel == 0) return writeStoredImageData(rowsPerBlock);

    const KeptScratch<Scratch>::Lent scratch = keptScratch().take();
    const DropOversizedScanLines drop{scratch->lines};
    libdeflate_compressor*& compressor = scratch->byLevel[compressionLevel];
    if (compressor == nullptr) compressor = libdeflate_alloc_compressor(compressionLevel);
    if (compressor == nullptr) return "cannot start the compressor";

    // The compressor takes the whole image's scanlines at once, which costs
    // one image's worth of them in memory (3 or 4 bytes a pixel, plus one a
    // row) but compresses several times faster than feeding blocks of rows.
    const size_t lineBytes = h * (rowBytes + 1);
    std::vector<uint8_t>& lines = scratch->lines;
    if (lines.size() < lineBytes) lines.resize(lineBytes);
    // Kept from one call to the next: every byte is written before it is read.
    if (argbBlock.size() < w * rowsPerBlock) argbBlock.resize(w * rowsPerBlock);
    for (size_t row = 0; row < h;) {
        const size_t rows = std::min(rowsPerBlock, h - row);
        if (std::string why = grabRows(row, rows); !why.empty()) return why;
        buildRows(argbBlock.data(), rows, lines.data() + row * (rowBytes + 1));
        row += rows;
    }

    // The compressor writes straight into the chunk; its length is filled in
    // once known.
    const size_t lengthPos = bytePos;
    bytePos = writeInt4(0, bytePos);
    const size_t typePos = bytePos;
    bytePos = writeString("IDAT", bytePos);
    const size_t bound = libdeflate_zlib_compress_bound(compressor, lineBytes);
    ensureRoom(bytePos, bound);
    const size_t dataLength =
        libdeflate_zlib_compress(compressor, lines.data(), lineBytes, pngBytes.data() + bytePos, bound);
    if (dataLength == 0) return "compression failed";
    bytePos += dataLength;
    maxPos = std::max(maxPos, bytePos);

    writeInt4(static_cast<uint32_t>(dataLength), lengthPos);
    writeChunkCrc(typePos);
    return {};
}

// The pixels of rows [row, row + rows) into argbBlock; what went wrong when
// the source gives none.
std::string PngEncoder::grabRows(size_t row, size_t rows) {
    int status = 0;
    const bool grabbed = image->grabPixels(0, static_cast<int>(row), width, static_cast<int>(rows), argbBlock.data(), 0,
                                           width, &status);
    if (!grabbed && (status & PixelSource::GRAB_ABORTED) == 0) return "interrupted waiting for pixels!";
    if ((status & PixelSource::GRAB_ABORTED) != 0) return "image fetch aborted or errored";
    return {};
}

// Level 0 stores the rows as they are, so they are built where they go: a
// zlib stream of stored blocks of 65535 bytes (the last holding the rest,
// one empty block for no rows), the same bytes libdeflate's level 0 makes,
// without an image's worth of scanlines in between.
std::string PngEncoder::writeStoredImageData(size_t rowsPerBlock) {
    constexpr size_t STORED_MAX = 65535;
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    const size_t lineLength = w * static_cast<size_t>(bytesPerPixel) + 1;
    const size_t lineBytes = h * lineLength;
    const size_t blocks = std::max<size_t>(1, (lineBytes + STORED_MAX - 1) / STORED_MAX);
    const size_t dataLength = 2 + 5 * blocks + lineBytes + 4;

    bytePos = writeInt4(static_cast<uint32_t>(dataLength), bytePos);
    const size_t typePos = bytePos;
    bytePos = writeString("IDAT", bytePos);
    ensureRoom(bytePos, dataLength);
    uint8_t* out = reinterpret_cast<uint8_t*>(pngBytes.data()) + bytePos;
    *out++ = 0x78;  // deflate, 32 KB window, fastest
    *out++ = 0x01;
    size_t blocked = 0;  // bytes of the rows in the blocks started so far
    size_t roomInBlock = 0;
    auto startBlock = [&] {
        const size_t length = std::min(STORED_MAX, lineBytes - blocked);
        out[0] = blocked + length == lineBytes ? 1 : 0;  // the last block
        out[1] = static_cast<uint8_t>(length);
        out[2] = static_cast<uint8_t>(length >> 8);
        out[3] = static_cast<uint8_t>(~length);
        out[4] = static_cast<uint8_t>(~length >> 8);
        out += 5;
        roomInBlock = length;
        blocked += length;
    };
    if (lineBytes == 0) startBlock();
    uint32_t adler = 1;
    std::vector<uint8_t> split;  // a row that crosses from one block to the next
    if (argbBlock.size() < w * rowsPerBlock) argbBlock.resize(w * rowsPerBlock);
    for (size_t row = 0; row < h;) {
        const size_t rows = std::min(rowsPerBlock, h - row);
        if (std::string why = grabRows(row, rows); !why.empty()) return why;
        for (size_t r = 0; r < rows; ++r) {
            if (roomInBlock == 0) startBlock();
            const uint32_t* argb = argbBlock.data() + r * w;
            if (lineLength <= roomInBlock) {
                buildRows(argb, 1, out);
                adler = libdeflate_adler32(adler, out, lineLength);
                out += lineLength;
                roomInBlock -= lineLength;
            } else {
                split.resize(lineLength);
                buildRows(argb, 1, split.data());
                adler = libdeflate_adler32(adler, split.data(), lineLength);
                for (size_t done = 0; done < lineLength;) {
                    if (roomInBlock == 0) startBlock();
                    const size_t n = std::min(roomInBlock, lineLength - done);
                    std::memcpy(out, split.data() + done, n);
                    out += n;
                    done += n;
                    roomInBlock -= n;
                }
            }
        }
        row += rows;
    }
    for (int shift = 24; shift >= 0; shift -= 8) *out++ = static_cast<uint8_t>(adler >> shift);
    bytePos += dataLength;
    maxPos = std::max(maxPos, bytePos);
    writeChunkCrc(typePos);
    return {};
}

// ---- byte writers ----

void PngEncoder::ensureRoom(size_t pos, size_t n) {
    if (pos + n <= pngBytes.size()) return;
    pngBytes.resize(pngBytes.size() + std::max<size_t>(1000, pos + n - pngBytes.size()));
}

size_t PngEncoder::writeBytes(const uint8_t* data, size_t n, size_t pos) {
    ensureRoom(pos, n);
    if (n != 0) std::memcpy(pngBytes.data() + pos, data, n);
    maxPos = std::max(maxPos, pos + n);
    return pos + n;
}

size_t PngEncoder::writeByte(int b, size_t pos) {
    const uint8_t byte = static_cast<uint8_t>(b);
    return writeBytes(&byte, 1, pos);
}

size_t PngEncoder::writeInt2(int n, size_t pos) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
    return writeBytes(bytes, 2, pos);
}

size_t PngEncoder::writeInt4(uint32_t n, size_t pos) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                              static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
    return writeBytes(bytes, 4, pos);
}

size_t PngEncoder::writeString(std::string_view s, size_t pos) {
    return writeBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size(), pos);
}
