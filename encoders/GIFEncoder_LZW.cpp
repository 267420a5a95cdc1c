#include "encoders/GIFEncoder_LZW.h"

#include "encoders/BitUtils.h"
#include "encoders/ColorLookup.h"
#include "encoders/GifLimits.h"
#include "encoders/ImageDescriptor.h"
#include "encoders/LZWCompressor.h"
#include "encoders/OutputStream.h"
#include "encoders/PixelRuns.h"
#include "encoders/ScreenDescriptor.h"
#include "support/Compiler.h"
#include "support/KeptScratch.h"

#include <algorithm>
#if defined(ZK_HAS_SSSE3_PATHS)
#include <immintrin.h>
#endif
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

#if defined(ZK_HAS_SSSE3_PATHS)
// Indexes below 16 only. Returns how many leading indexes it replaced.
ZK_TARGET_SSSE3 size_t renumberShuffle(uint8_t* p, size_t n, const uint8_t* renumber) {
    uint8_t table[16] = {};
    std::memcpy(table, renumber, 16);
    const __m128i lookup = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_shuffle_epi8(lookup, v));
    }
    return i;
}
#endif

// Pixels of the last image grabbed, kept for the next: charts are redrawn
// and encoded again and again at one size, and a fresh buffer of that size
// would have its pages faulted in and zeroed by the system on every
// encoding. Only images up to this many pixels keep their buffer, so no
// buffer kept is over 4 MB.
constexpr size_t KEPT_PIXELS = size_t{1} << 20;

KeptScratch<std::vector<uint32_t>>& keptPixels() {
    static KeptScratch<std::vector<uint32_t>> pool;
    return pool;
}

class GrabBuffer {
public:
    explicit GrabBuffer(size_t count) : kept_(keptPixels().take()) {
        if (count <= KEPT_PIXELS) {
            if (kept_->size() < count) kept_->resize(count);
            data_ = kept_->data();
        } else {
            // Not cleared first: the grab fills every pixel.
            own_.reset(new uint32_t[count]);
            data_ = own_.get();
        }
    }
    GrabBuffer(const GrabBuffer&) = delete;
    GrabBuffer& operator=(const GrabBuffer&) = delete;
    uint32_t* data() const { return data_; }

private:
    const KeptScratch<std::vector<uint32_t>>::Lent kept_;
    std::unique_ptr<uint32_t[]> own_;
    uint32_t* data_ = nullptr;
};

}  // namespace

GIFEncoder_LZW::GIFEncoder_LZW(const PixelSource& image)
    : width_(image.getWidth()), height_(image.getHeight()) {
    failure_ = GifLimits::sizeFailure(width_, height_);
    if (!failure_.empty()) return;
    try {
        takeImage(image);
    } catch (const std::exception& e) {
        failure_ = e.what();  // the palette is full, or memory ran out
    }
}

void GIFEncoder_LZW::takeImage(const PixelSource& image) {
    const size_t count = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    GrabBuffer argb(count == 0 ? 1 : count);
    int status = 0;
    if (!image.grabPixels(0, 0, width_, height_, argb.data(), 0, width_, &status)) {
        failure_ = "Grabber returned false: " + std::to_string(status);
        return;
    }
    ToIndexedColor(argb.data());
}

GIFEncoder_LZW::GIFEncoder_LZW(const ColorPlane& red, const ColorPlane& green,
                               const ColorPlane& blue) {
    const size_t columns = red.size();
    const size_t rows = columns == 0 ? 0 : red[0].size();
    bool sameShape = green.size() == columns && blue.size() == columns;
    for (size_t x = 0; sameShape && x < columns; ++x) {
        sameShape = red[x].size() == rows && green[x].size() == rows && blue[x].size() == rows;
    }
    if (!sameShape) {
        failure_ = "Colour planes differ in size";
        return;
    }
    failure_ = GifLimits::sizeFailure(static_cast<int64_t>(columns), static_cast<int64_t>(rows));
    if (!failure_.empty()) return;
    width_ = static_cast<int>(columns);
    height_ = static_cast<int>(rows);
    try {
        std::vector<uint32_t> rgb(columns * rows);
        for (size_t x = 0; x < columns; ++x) {
            for (size_t y = 0; y < rows; ++y) {
                rgb[y * columns + x] = (static_cast<uint32_t>(red[x][y]) << 16) |
                                       (static_cast<uint32_t>(green[x][y]) << 8) | blue[x][y];
            }
        }
        ToIndexedColor(rgb.data());
    } catch (const std::exception& e) {
        failure_ = e.what();
    }
}

// Replaces every index p by renumber[p]; with up to 16 colours, 16 indexes
// at a time by a byte shuffle.
void GIFEncoder_LZW::renumberPixels(const uint8_t* renumber, int count) {
    uint8_t* p = pixels_.data();
    const size_t n = pixels_.size();
    size_t i = 0;
#if defined(ZK_HAS_SSSE3_PATHS)
    if (count <= 16 && zk::cpuHasSsse3()) i = renumberShuffle(p, n, renumber);
#else
    (void)count;
#endif
    for (; i < n; ++i) p[i] = renumber[p[i]];
}

// The palette is in order of first appearance going down each column in
// turn. Walking the rows run by run is much faster than walking columns, so
// colours are indexed in the order met along the rows, with the position
// where each first shows in column order, then renumbered by that position.
// The result is the one of a column-wise scan with an in-order palette search.
void GIFEncoder_LZW::ToIndexedColor(const uint32_t* argb) {
    const size_t w = static_cast<size_t>(width_);
    const size_t h = static_cast<size_t>(height_);
    pixels_.assign(w * h, 0);

    ColorLookup lookup;
    uint32_t rgbOf[256];
    uint64_t firstInColumns[256];
    int count = 0;
    uint8_t* const first = pixels_.data();
    uint8_t* const last = first + w * h;
    for (size_t y = 0; y < h; ++y) {
        const uint32_t* row = argb + y * w;
        uint8_t* out = first + y * w;
        PixelRuns::forEachRun(row, w, 0xFFFFFFu, [&](size_t x, size_t length) ZK_ALWAYS_INLINE {
            const uint32_t rgb = row[x] & 0xFFFFFFu;
            int index = lookup.find(rgb);
            if (index == ColorLookup::NOT_FOUND) {
                if (count == 256) throw std::runtime_error("Too many colors.");
                index = count++;
                rgbOf[index] = rgb;
                firstInColumns[index] = UINT64_MAX;
                lookup.add(rgb, index);
            }
            firstInColumns[index] = std::min<uint64_t>(firstInColumns[index], x * h + y);
            if (length <= 8 && out + x + 8 <= last) {
                // A short run in one store; the bytes past it are rewritten
                // by the runs that follow.
                const uint64_t eight = 0x0101010101010101ull * static_cast<uint8_t>(index);
                std::memcpy(out + x, &eight, 8);
            } else {
                std::memset(out + x, index, length);
            }
        });
    }

    int order[256];
    for (int i = 0; i < count; ++i) order[i] = i;
    std::sort(order, order + count, [&](int a, int b) { return firstInColumns[a] < firstInColumns[b]; });
    uint8_t renumber[256] = {};
    bool same = true;
    colors_.assign(256 * 3, 0);
    for (int k = 0; k < count; ++k) {
        const uint32_t rgb = rgbOf[order[k]];
        renumber[order[k]] = static_cast<uint8_t>(k);
        same = same && order[k] == k;
        colors_[3 * k] = static_cast<uint8_t>(rgb >> 16);
        colors_[3 * k + 1] = static_cast<uint8_t>(rgb >> 8);
        colors_[3 * k + 2] = static_cast<uint8_t>(rgb);
    }
    if (!same) renumberPixels(renumber, count);
    // At least 2 entries even for an image without pixels: a one-entry table
    // cannot be stated in the screen descriptor.
    numColors_ = 1 << BitUtils::BitsNeeded(count < 2 ? 2 : count);
    colors_.resize(static_cast<size_t>(numColors_) * 3);
}

EncodedImage GIFEncoder_LZW::Write() const {
    if (!failure_.empty()) return EncodedImage::failed(failure_);
    StringOutputStream output;
    try {
        write(output);
    } catch (const std::exception& e) {
        return EncodedImage::failed(e.what());  // memory ran out
    }
    return EncodedImage::of(output.take());
}

void GIFEncoder_LZW::write(OutputStream& output) const {
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
}
