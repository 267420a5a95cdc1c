#include "encoders/GIFEncoder.h"

#include "encoders/GifLimits.h"

#include <cstring>
#include <stdexcept>

GIFEncoder::GIFEncoder(int width, int height, std::span<const uint32_t> pixelArray, OutputStream& out)
    : width(width), height(height), out(out) {
    if (static_cast<int64_t>(width) * height != static_cast<int64_t>(pixelArray.size())) {
        throw std::runtime_error("Pixel Array size is wrong");
    }
    GifLimits::checkSize(width, height);
    pixels.resize(pixelArray.size());
    for (size_t i = 0; i < pixelArray.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(allocateColor(pixelArray[i]));
    }
    BitsPerPixel = colorstobpp(colorsTotal);
    initialize();
}

// ---- palette ----

int GIFEncoder::allocateColor(uint32_t colour) {
    const int index = colorIndex(colour);
    if (index != -1) return index;
    if (colorsTotal == 256) throw std::runtime_error("Too many colors");
    colors[static_cast<size_t>(colorsTotal)] = colour;
    lookup.add(colour, colorsTotal);
    return colorsTotal++;
}

// The palette holds each colour once, so the hashed answer is the first match.
int GIFEncoder::colorIndex(uint32_t colour) { return lookup.find(colour); }

int GIFEncoder::colorstobpp(int colors) {
    int bpp = 1;
    while (bpp < 8 && (1 << bpp) < colors) ++bpp;
    return bpp;
}

// ---- pixel walk ----

void GIFEncoder::initialize() {
    curx = 0;
    cury = 0;
    CountDown = static_cast<int64_t>(width) * height;
}

void GIFEncoder::BumpPixel() {
    if (++curx == width) {
        curx = 0;
        ++cury;
    }
}

int GIFEncoder::GIFNextPixel() {
    if (CountDown == 0) return EOF_PIXEL;
    --CountDown;
    const int r = pixels[static_cast<size_t>(cury) * static_cast<size_t>(width) + static_cast<size_t>(curx)];
    BumpPixel();
    return r;
}

namespace {

// Number of bytes equal to value from p on, at most end - p; eight at a time.
size_t runLength(const uint8_t* p, const uint8_t* end, uint8_t value) {
    const uint8_t* start = p;
    const uint64_t pattern = 0x0101010101010101ull * value;
    while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        const uint64_t diff = word ^ pattern;
        if (diff != 0) {
            // Little-endian: the lowest byte is the first pixel.
            return static_cast<size_t>(p - start) + static_cast<size_t>(__builtin_ctzll(diff) / 8);
        }
        p += 8;
    }
    while (p < end && *p == value) ++p;
    return static_cast<size_t>(p - start);
}

}  // namespace

// Walks past the pixels equal to pixel from the current position and returns
// how many there were: the same as taking them one by one, without a call per
// pixel.
int64_t GIFEncoder::GIFSkipRun(int pixel) {
    if (CountDown == 0) return 0;
    const size_t start = static_cast<size_t>(cury) * static_cast<size_t>(width) + static_cast<size_t>(curx);
    const uint8_t* p = pixels.data() + start;
    const size_t n = runLength(p, p + CountDown, static_cast<uint8_t>(pixel));
    CountDown -= static_cast<int64_t>(n);
    const size_t next = start + n;
    curx = static_cast<int>(next % static_cast<size_t>(width));
    cury = static_cast<int>(next / static_cast<size_t>(width));
    return static_cast<int64_t>(n);
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

void GIFEncoder::encode(int background) {
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
    } catch (const IOException& e) {
        throw std::runtime_error(e.what());
    }
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
        const int c = GIFNextPixel();
        if (rl_count > 0 && c != rl_pixel) rl_flush();
        if (c == EOF_PIXEL) break;
        if (c == rl_pixel) {
            ++rl_count;
        } else {
            rl_pixel = c;
            rl_count = 1;
        }
        rl_count += GIFSkipRun(c);
    }
    output(code_eof);
    output_flush();
}

void GIFEncoder::output(int code) {
    obuf |= static_cast<uint32_t>(code) << obits;
    obits += out_bits;
    while (obits >= 8) {
        block_out(static_cast<uint8_t>(obuf & 0xFF));
        obuf >>= 8;
        obits -= 8;
    }
}

void GIFEncoder::output_plain(int code) {
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
    if (obits > 0) block_out(static_cast<uint8_t>(obuf & 0xFF));
    block_flush();
}

void GIFEncoder::block_out(uint8_t byte) {
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

void GIFEncoder::rl_flush() {
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
    const int64_t perrep = nrepcodes * (nrepcodes + 1) / 2;
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

int64_t GIFEncoder::isqrt(int64_t x) {
    if (x < 2) return x;
    int64_t r = 1;
    for (int64_t v = x; v != 0; v >>= 2) r <<= 1;
    for (;;) {
        const int64_t v = (x / r + r) / 2;
        if (v == r || v == r + 1) return r;
        r = v;
    }
}
