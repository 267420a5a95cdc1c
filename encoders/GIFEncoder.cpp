#include "encoders/GIFEncoder.h"

#include "encoders/GifLimits.h"
#include "encoders/PixelRuns.h"
#include "support/Compiler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>


namespace {

// The corner is copied when the image does not hold it whole: no more than
// the drawing surface's own largest image (256 MB of pixels).
constexpr int64_t kMaxCopiedPixels = int64_t(1) << 26;

}  // namespace

GIFEncoder::GIFEncoder(const PixelSource& image) : GIFEncoder(image, image.getWidth(), image.getHeight()) {}

GIFEncoder::GIFEncoder(const PixelSource& image, int width, int height) : width(width), height(height) {
    if (width < 0 || height < 0) {
        failure = "Pixel Array size is wrong";
    } else if (int64_t{width} * height > kMaxCopiedPixels) {
        failure = "image size " + std::to_string(width) + "x" + std::to_string(height) + " out of range";
    } else {
        failure = GifLimits::sizeFailure(width, height);
    }
    if (!failure.empty()) return;
    try {
        takeImage(image);
    } catch (const std::exception& e) {
        failure = e.what();  // the palette is full, or memory ran out
    }
}

void GIFEncoder::takeImage(const PixelSource& image) {
    const int iw = image.getWidth();
    const int ih = image.getHeight();
    if (width <= iw && height <= ih && image.data() != nullptr) {
        takeRuns(image.data(), static_cast<size_t>(iw));
        return;
    }
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0);
    const int gw = std::min(width, iw);
    const int gh = std::min(height, ih);
    if (gw > 0 && gh > 0) image.grabPixels(0, 0, gw, gh, pixels.data(), 0, width, nullptr);
    takeRuns(pixels.data(), static_cast<size_t>(width));
}

// Run by run: one palette look-up for each run of equal values. Equal
// colours have equal indexes, so these are also the runs of indexes. Rows
// are searched one by one; a run that goes on into the next row is joined.
void GIFEncoder::takeRuns(const uint32_t* pixels, size_t stride) {
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    runs.reserve(std::min<size_t>(w * h, 4096));
    uint32_t index = 0;
    uint64_t length = 0;  // of the run not yet kept
    auto keep = [&] {
        for (; length > MAX_RUN; length -= MAX_RUN) runs.push_back(index | MAX_RUN);
        if (length > 0) runs.push_back(index | static_cast<uint32_t>(length));
        length = 0;
    };
    // A contiguous image is one row as far as runs go.
    const bool whole = stride == w;
    const size_t rows = whole ? (w * h > 0 ? 1 : 0) : h;
    const size_t rowLength = whole ? w * h : w;
    for (size_t y = 0; y < rows; ++y) {
        const uint32_t* in = pixels + y * stride;
        PixelRuns::forEachRun(in, rowLength, 0xFFFFFFFFu, [&](size_t start, size_t count) ZK_ALWAYS_INLINE {
            const auto found = static_cast<uint32_t>(allocateColor(in[start])) << 24;
            if (length > 0 && found != index) keep();
            index = found;
            length += count;
        });
    }
    keep();
    BitsPerPixel = colorstobpp(colorsTotal);
    initialize();
}

// ---- palette ----

inline int GIFEncoder::allocateColor(uint32_t colour) {
    const int index = colorIndex(colour);
    if (index != -1) return index;
    if (colorsTotal == 256) throw std::runtime_error("Too many colors");
    colors[static_cast<size_t>(colorsTotal)] = colour;
    lookup.add(colour, colorsTotal);
    return colorsTotal++;
}

// The palette holds each colour once, so the hashed answer is the first match.
inline int GIFEncoder::colorIndex(uint32_t colour) { return lookup.find(colour); }

int GIFEncoder::colorstobpp(int colors) {
    int bpp = 1;
    while (bpp < 8 && (1 << bpp) < colors) ++bpp;
    return bpp;
}

// ---- pixel walk ----

void GIFEncoder::initialize() { nextRun = 0; }

inline int GIFEncoder::GIFNextRun(int64_t& length) {
    if (nextRun == runs.size()) {
        length = 0;
        return EOF_PIXEL;
    }
    const uint32_t run = runs[nextRun++];
    length = static_cast<int64_t>(run & MAX_RUN);
    return static_cast<int>(run >> 24);
}

// ---- byte output ----

void GIFEncoder::PutByte(int value) { out.write(static_cast<uint8_t>(value & 0xFF)); }

void GIFEncoder::PutWord(int value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF)};
    out.write(bytes, 2);
}

void GIFEncoder::PutString(std::string_view text) { out.write(text); }

void GIFEncoder::PutBytes(const uint8_t* bytes, size_t n) { out.write(bytes, n); }

// ---- file ----

EncodedImage GIFEncoder::encode(int background) {
    if (!failure.empty()) return EncodedImage::failed(failure);
    out.clear();
    try {
        initialize();
        const int initCodeSize = BitsPerPixel <= 1 ? 2 : BitsPerPixel;

        PutString(transparent < 0 ? "GIF87a" : "GIF89a");
        PutWord(width);
        PutWord(height);
        PutByte(0x80 | ((BitsPerPixel - 1) << 4) | (BitsPerPixel - 1));
        PutByte(background);
        PutByte(0);

        const size_t tableEntries = size_t{1} << BitsPerPixel;
        uint8_t table[256 * 3];
        for (size_t i = 0; i < tableEntries; ++i) {
            const uint32_t c = colors[i];
            table[3 * i] = static_cast<uint8_t>(c >> 16);
            table[3 * i + 1] = static_cast<uint8_t>(c >> 8);
            table[3 * i + 2] = static_cast<uint8_t>(c);
        }
        PutBytes(table, 3 * tableEntries);

        if (transparent >= 0) {
            // Graphic Control Extension: transparent-colour flag, no delay.
            const uint8_t gce[8] = {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, static_cast<uint8_t>(transparent & 0xFF), 0x00};
            PutBytes(gce, sizeof gce);
        }

        PutByte(',');
        PutWord(0);
        PutWord(0);
        PutWord(width);
        PutWord(height);
        PutByte(interlace ? 0x40 : 0x00);

        PutByte(initCodeSize);
        compress(initCodeSize + 1);
        PutByte(0);
        PutByte(';');
    } catch (const std::exception& e) {
        out.clear();
        return EncodedImage::failed(e.what());  // memory ran out
    }
    return EncodedImage::of(out.take());
}

// ---- coding ----

void GIFEncoder::compress(int init_bits) {
    obuf = 0;
    obits = 0;
    oblen = 0;
    code_clear = 1 << (init_bits - 1);
    code_eof = code_clear + 1;
    rl_basecode = code_eof + 1;
    out_bump_init = (1 << (init_bits - 1)) - 1;
    // With 3-bit codes a clear every out_bump_init codes would come too often
    // to pay; letting the width grow to 4 bits once does better.
    out_clear_init = init_bits <= 3 ? 9 : out_bump_init - 1;
    out_bits_init = init_bits;
    max_ocodes = (int64_t{1} << GIFBITS) - ((int64_t{1} << (init_bits - 1)) + 3);
    did_clear();
    output(code_clear);

    rl_count = 0;
    for (;;) {
        // Runs are taken whole; the same as counting their pixels one by one.
        int64_t n = 0;
        const int c = GIFNextRun(n);
        if (rl_count > 0 && c != rl_pixel) rl_flush();
        if (c == EOF_PIXEL) break;
        if (c == rl_pixel) {
            rl_count += n;
        } else {
            rl_pixel = c;
            rl_count = n;
        }
    }
    output(code_eof);
    output_flush();
}

inline void GIFEncoder::output(int code) {
    obuf |= static_cast<uint64_t>(code) << obits;
    obits += out_bits;
    if (obits >= 32) {
        // Four bytes at a time, in the order of taking them one by one.
        if (oblen <= 255 - 4) {
            const uint32_t four = static_cast<uint32_t>(obuf);
            const uint8_t bytes[4] = {static_cast<uint8_t>(four), static_cast<uint8_t>(four >> 8),
                                      static_cast<uint8_t>(four >> 16), static_cast<uint8_t>(four >> 24)};
            std::memcpy(oblock + 1 + oblen, bytes, 4);
            oblen += 4;
            if (oblen == 255) write_block();
        } else {
            for (int k = 0; k < 4; ++k) block_out(static_cast<uint8_t>(obuf >> (8 * k)));
        }
        obuf >>= 32;
        obits -= 32;
    }
}

inline void GIFEncoder::output_plain(int code) {
    just_cleared = false;
    output(code);
    ++out_count;
    if (out_count >= out_bump) {
        ++out_bits;
        out_bump += int64_t{1} << (out_bits - 1);
    }
    if (out_count >= out_clear) {
        output(code_clear);
        did_clear();
    }
}

void GIFEncoder::output_flush() {
    for (; obits > 0; obits -= 8) {
        block_out(static_cast<uint8_t>(obuf & 0xFF));
        obuf >>= 8;
    }
    obits = 0;
    block_flush();
}

inline void GIFEncoder::block_out(uint8_t byte) {
    oblock[1 + oblen++] = byte;
    if (oblen >= 255) write_block();
}

void GIFEncoder::block_flush() {
    if (oblen > 0) write_block();
}

void GIFEncoder::write_block() {
    oblock[0] = static_cast<uint8_t>(oblen);
    PutBytes(oblock, static_cast<size_t>(oblen) + 1);
    oblen = 0;
}

void GIFEncoder::did_clear() {
    out_bits = out_bits_init;
    out_bump = out_bump_init;
    out_clear = out_clear_init;
    out_count = 0;
    rl_table_max = 0;
    just_cleared = true;
}

void GIFEncoder::max_out_clear() { out_clear = max_ocodes; }

void GIFEncoder::reset_out_clear() {
    out_clear = out_clear_init;
    if (out_count >= out_clear) {
        output(code_clear);
        did_clear();
    }
}

inline void GIFEncoder::rl_flush() {
    if (rl_count == 1) {
        output_plain(rl_pixel);
        rl_count = 0;
        return;
    }
    if (just_cleared) {
        rl_flush_fromclear(rl_count);
    } else if (rl_table_max < 2 || rl_table_pixel != rl_pixel) {
        rl_flush_clearorrep(rl_count);
    } else {
        rl_flush_withtable(rl_count);
    }
    rl_count = 0;
}

// The table is fresh: send the run as pieces of 1, 2, 3, ... pixels, each
// piece's code being the one the decoder is defining or has just defined.
void GIFEncoder::rl_flush_fromclear(int64_t count) {
    max_out_clear();
    rl_table_pixel = rl_pixel;
    int64_t n = 1;
    while (count > 0) {
        if (n == 1) {
            rl_table_max = 1;
            output_plain(rl_pixel);
            --count;
        } else if (count >= n) {
            rl_table_max = n;
            output_plain(rl_basecode + static_cast<int>(n) - 2);
            count -= n;
        } else if (count == 1) {
            ++rl_table_max;
            output_plain(rl_pixel);
            count = 0;
        } else {
            ++rl_table_max;
            output_plain(rl_basecode + static_cast<int>(count) - 2);
            count = 0;
        }
        n = out_count == 0 ? 1 : n + 1;
    }
    reset_out_clear();
}

// The table knows nothing useful for this pixel: plain codes, or a clear and
// a fresh series when that takes fewer codes.
void GIFEncoder::rl_flush_clearorrep(int64_t count) {
    const int64_t withclr = 1 + compute_triangle_count(count, max_ocodes);
    if (withclr < count) {
        output(code_clear);
        did_clear();
        rl_flush_fromclear(count);
    } else {
        for (; count > 0; --count) output_plain(rl_pixel);
    }
}

// The table holds runs of this pixel up to rl_table_max: repeat the longest,
// then one code for the remainder, unless starting over takes fewer codes.
void GIFEncoder::rl_flush_withtable(int64_t count) {
    int64_t repmax = count / rl_table_max;
    int64_t leftover = count % rl_table_max;
    int64_t repleft = leftover != 0 ? 1 : 0;
    if (out_count + repmax + repleft > max_ocodes) {
        repmax = max_ocodes - out_count;
        leftover = count - repmax * rl_table_max;
        repleft = 1 + compute_triangle_count(leftover, max_ocodes);
    }
    if (1 + compute_triangle_count(count, max_ocodes) < repmax + repleft) {
        output(code_clear);
        did_clear();
        rl_flush_fromclear(count);
        return;
    }
    max_out_clear();
    for (; repmax > 0; --repmax) output_plain(rl_basecode + static_cast<int>(rl_table_max) - 2);
    if (leftover != 0) {
        if (just_cleared) {
            rl_flush_fromclear(leftover);
        } else if (leftover == 1) {
            output_plain(rl_pixel);
        } else {
            output_plain(rl_basecode + static_cast<int>(leftover) - 2);
        }
    }
    reset_out_clear();
}

// Codes needed to send a run of count pixels from a fresh table when at most
// nrepcodes codes may follow a clear.
int64_t GIFEncoder::compute_triangle_count(int64_t count, int64_t nrepcodes) {
    // Most runs are short: their answer comes from a table.
    static const auto small = [] {
        std::array<uint8_t, 1024> t{};
        for (int64_t c = 1, n = 1; c < static_cast<int64_t>(t.size()); ++c) {
            while (n * (n + 1) / 2 < c) ++n;
            t[static_cast<size_t>(c)] = static_cast<uint8_t>(n);
        }
        return t;
    }();
    const int64_t perrep = nrepcodes * (nrepcodes + 1) / 2;
    if (count < static_cast<int64_t>(small.size()) && count < perrep) return small[static_cast<size_t>(count)];
    int64_t cost = 0;
    if (count >= perrep) {
        cost += (count / perrep) * nrepcodes;
        count %= perrep;
    }
    if (count > 0) {
        int64_t n = isqrt(count);
        while (n * (n + 1) >= 2 * count) --n;
        while (n * (n + 1) < 2 * count) ++n;
        cost += n;
    }
    return cost;
}

// The whole square root of x. Through the floating-point root, corrected to
// be exact; Newton's iteration gives the same value but costs divisions.
int64_t GIFEncoder::isqrt(int64_t x) {
    if (x < 2) return x;
    auto r = static_cast<int64_t>(std::sqrt(static_cast<double>(x)));
    while (r * r > x) --r;
    while ((r + 1) * (r + 1) <= x) ++r;
    return r;
}
