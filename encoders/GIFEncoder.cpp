#include "encoders/GIFEncoder.h"

#include "encoders/GifLimits.h"
#include "encoders/PixelRuns.h"
#include "support/Compiler.h"

#include <algorithm>
#include <bit>
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
    auto keep = [&]() ZK_ALWAYS_INLINE {
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

namespace {

constexpr int GIFBITS = 12;
// The length bits of a run (GIFEncoder::MAX_RUN).
constexpr uint32_t RUN_LENGTH = 0xFFFFFF;

// Answers for the runs most images are made of, from tables.
struct SmallRuns {
    static constexpr int64_t SIZE = 4096;
    // Least n with n (n + 1) / 2 >= count: codes for count pixels from a
    // fresh table.
    uint8_t triangle[SIZE];
    // Most k with k (k + 1) / 2 <= count: whole pieces of 1, 2, ... k.
    uint8_t pieces[SIZE];
    constexpr SmallRuns() : triangle{}, pieces{} {
        for (int64_t c = 1, n = 1, k = 1; c < SIZE; ++c) {
            while (n * (n + 1) / 2 < c) ++n;
            while ((k + 1) * (k + 2) / 2 <= c) ++k;
            triangle[c] = static_cast<uint8_t>(n);
            pieces[c] = static_cast<uint8_t>(k);
        }
    }
};
// Made by the compiler, not at each process start.
constexpr SmallRuns smallRuns;

// The whole square root of x. Through the floating-point root, corrected to
// be exact; Newton's iteration gives the same value but costs divisions.
int64_t isqrt(int64_t x) {
    if (x < 2) return x;
    auto r = static_cast<int64_t>(std::sqrt(static_cast<double>(x)));
    while (r * r > x) --r;
    while ((r + 1) * (r + 1) <= x) ++r;
    return r;
}

// Codes needed to send a run of count pixels from a fresh table when at most
// nrepcodes codes may follow a clear.
ZK_ALWAYS_INLINE inline int64_t compute_triangle_count(int64_t count, int64_t nrepcodes) {
    const int64_t perrep = nrepcodes * (nrepcodes + 1) / 2;
    if (count < SmallRuns::SIZE && count < perrep) [[likely]]
        return smallRuns.triangle[count];
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

// Most k with k (k + 1) / 2 <= count.
ZK_ALWAYS_INLINE inline int64_t wholePieces(int64_t count) {
    if (count < SmallRuns::SIZE) [[likely]]
        return smallRuns.pieces[count];
    return (isqrt(8 * count + 1) - 1) / 2;
}

// More room for the code stream, keeping what it holds.
[[gnu::noinline]] uint8_t* growStream(std::vector<uint8_t>& stream, uint8_t* at) {
    const size_t used = static_cast<size_t>(at - stream.data());
    stream.resize(stream.size() * 2);
    return stream.data() + used;
}

// The coder of the runs. An object of it lives in one function, code(), so
// that the compiler keeps its fields in registers: the stores of the code
// stream's bytes might otherwise alias any of them and send them back to
// memory at every code.
class RunCoder {
public:
    // The code stream of the runs (index << 24 | length, neighbours of one
    // index taken as one run) between a clear and the end code, into stream;
    // returns its length in bytes.
    static size_t code(std::vector<uint8_t>& stream, const uint32_t* runs, size_t n, int init_bits) {
        RunCoder c(stream, init_bits);
        c.did_clear();
        c.output(c.code_clear);
        for (size_t i = 0; i < n;) {
            c.rl_pixel = static_cast<int>(runs[i] >> 24);
            int64_t count = 0;
            do {
                count += runs[i++] & RUN_LENGTH;
            } while (i < n && (runs[i] >> 24) == static_cast<uint32_t>(c.rl_pixel));
            c.rl_flush(count);
        }
        c.output(c.code_eof);
        c.output_flush();
        return static_cast<size_t>(c.at - stream.data());
    }

private:
    RunCoder(std::vector<uint8_t>& stream, int init_bits) : stream(stream) {
        code_clear = 1 << (init_bits - 1);
        code_eof = code_clear + 1;
        rl_basecode = code_eof + 1;
        out_bump_init = (1 << (init_bits - 1)) - 1;
        // With 3-bit codes a clear every out_bump_init codes would come too
        // often to pay; letting the width grow to 4 bits once does better.
        out_clear_init = init_bits <= 3 ? 9 : out_bump_init - 1;
        out_bits_init = init_bits;
        max_ocodes = (int64_t{1} << GIFBITS) - ((int64_t{1} << (init_bits - 1)) + 3);
        at = stream.data();
        roomEnd = stream.data() + stream.size() - 8;
    }

    // The code goes into the free bits of obuf above the obits pending ones;
    // then the eight low bytes are stored at once and as many kept as are
    // complete: least-significant bit first, as a decoder reads them.
    ZK_ALWAYS_INLINE void output(int code) {
        if (at > roomEnd) [[unlikely]] {
            at = growStream(stream, at);
            roomEnd = stream.data() + stream.size() - 8;
        }
        obuf |= static_cast<uint64_t>(code) << obits;
        obits += out_bits;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(at, &obuf, 8);
        } else {
            for (int k = 0; k < 8; ++k) at[k] = static_cast<uint8_t>(obuf >> (8 * k));
        }
        at += obits >> 3;
        obuf >>= obits & ~7;
        obits &= 7;
    }

    ZK_ALWAYS_INLINE void output_flush() {
        if (obits > 0) *at++ = static_cast<uint8_t>(obuf);
        obuf = 0;
        obits = 0;
    }

    // A code the decoder counts: the width grows after 2^n - 1 of them, and a
    // clear follows the out_clear-th.
    ZK_ALWAYS_INLINE void output_plain(int code) {
        output(code);
        counted(1);
        clear_when_due();
    }

    // output_plain of first, first + step, ..., times codes in all, which
    // leave out_count at out_clear at most: stretches of one width in a
    // loop of their own.
    ZK_ALWAYS_INLINE void output_codes(int first, int step, int64_t times) {
        int code = first;
        while (times > 0) {
            const int64_t same = std::min(times, out_bump - out_count);
            for (int64_t k = 0; k < same; ++k, code += step) output(code);
            counted(same);
            times -= same;
        }
        clear_when_due();
    }

    // n more codes of the current width, never past its bump.
    ZK_ALWAYS_INLINE void counted(int64_t n) {
        out_count += n;
        if (out_count >= out_bump) {
            ++out_bits;
            out_bump += int64_t{1} << (out_bits - 1);
        }
    }

    ZK_ALWAYS_INLINE void clear_when_due() {
        if (out_count >= out_clear) {
            output(code_clear);
            did_clear();
        }
    }

    ZK_ALWAYS_INLINE void did_clear() {
        out_bits = out_bits_init;
        out_bump = out_bump_init;
        out_clear = out_clear_init;
        out_count = 0;
        rl_table_max = 0;
    }

    ZK_ALWAYS_INLINE void max_out_clear() { out_clear = max_ocodes; }

    ZK_ALWAYS_INLINE void reset_out_clear() {
        out_clear = out_clear_init;
        clear_when_due();
    }

    // A run of count pixels rl_pixel. Plain codes when the table knows
    // nothing useful for it and starting over would not take fewer codes; the
    // longest known run repeated when the table holds runs of it; otherwise
    // (and for what a repeat leaves after a forced clear) a fresh table.
    ZK_ALWAYS_INLINE void rl_flush(int64_t count) {
        if (count == 1) {
            output_plain(rl_pixel);
            return;
        }
        if (out_count != 0) {
            if (rl_table_max < 2 || rl_table_pixel != rl_pixel) {
                if (count <= 1 + compute_triangle_count(count, max_ocodes)) {
                    for (; count > 0; --count) output_plain(rl_pixel);
                    return;
                }
                output(code_clear);
                did_clear();
            } else {
                count = rl_flush_withtable(count);
                if (count == 0) return;
            }
        }
        rl_flush_fromclear(count);
    }

    // The table is fresh: send the run as pieces of 1, 2, 3, ... pixels, each
    // piece's code being the one the decoder is defining or has just defined.
    // The whole pieces go as one series; the table is fresh again after
    // max_ocodes codes; a last piece shorter than the one due ends the run.
    ZK_ALWAYS_INLINE void rl_flush_fromclear(int64_t count) {
        max_out_clear();
        rl_table_pixel = rl_pixel;
        while (count > 0) {
            const int64_t k = std::min(wholePieces(count), max_ocodes);
            count -= k * (k + 1) / 2;
            rl_table_max = k;
            output_plain(rl_pixel);
            output_codes(rl_basecode, 1, k - 1);
            if (count > 0 && out_count != 0) {
                ++rl_table_max;
                output_plain(count == 1 ? rl_pixel : rl_basecode + static_cast<int>(count) - 2);
                count = 0;
            }
        }
        reset_out_clear();
    }

    // The table holds runs of this pixel up to rl_table_max: repeat the
    // longest, then one code for the remainder, unless starting over takes
    // fewer codes. Returns what is left to send from a fresh table: the whole
    // run after a clear, the remainder after a forced one, or 0.
    ZK_ALWAYS_INLINE int64_t rl_flush_withtable(int64_t count) {
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
            return count;
        }
        max_out_clear();
        output_codes(rl_basecode + static_cast<int>(rl_table_max) - 2, 0, repmax);
        if (leftover != 0) {
            if (out_count == 0) return leftover;
            output_plain(leftover == 1 ? rl_pixel : rl_basecode + static_cast<int>(leftover) - 2);
        }
        reset_out_clear();
        return 0;
    }

    std::vector<uint8_t>& stream;
    // Where the next byte goes, and where fewer than 8 bytes of room are left.
    uint8_t* at;
    uint8_t* roomEnd;
    // Pending bits, fewer than 8 between codes.
    uint64_t obuf = 0;
    int obits = 0;

    int rl_pixel = 0;
    int rl_basecode = 0;
    // The pixel whose runs the decoder's table holds, and the longest of them.
    int rl_table_pixel = 0;
    int64_t rl_table_max = 0;

    int code_clear = 0;
    int code_eof = 0;
    int out_bits = 0;
    int out_bits_init = 0;
    // Codes counted since the last clear; 0 also means the table is fresh.
    int64_t out_count = 0;
    int64_t out_bump = 0;
    int64_t out_bump_init = 0;
    int64_t out_clear = 0;
    int64_t out_clear_init = 0;
    int64_t max_ocodes = 0;
};

}  // namespace

void GIFEncoder::compress(int init_bits) {
    static_assert(MAX_RUN == RUN_LENGTH);
    // Room for about the bytes a run takes in a chart (some 3) to start with.
    std::vector<uint8_t> stream(std::max<size_t>(256, runs.size() * 4));
    const size_t n = RunCoder::code(stream, runs.data(), runs.size(), init_bits);
    // Sub-blocks of 255 bytes, the last holding the rest.
    out.reserve(out.size() + n + n / 255 + 3);
    for (size_t done = 0; done < n;) {
        const size_t block = std::min<size_t>(n - done, 255);
        PutByte(static_cast<int>(block));
        PutBytes(stream.data() + done, block);
        done += block;
    }
}
