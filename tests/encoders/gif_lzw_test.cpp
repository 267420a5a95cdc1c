#include "encoders/BitUtils.h"
#include "encoders/GIFEncoder_LZW.h"
#include "encoders/LZWCompressor.h"
#include "tests/common/MemoryPixelSource.h"
#include "tests/common/ReferenceDecoders.h"
#include "tests/encoders/EncoderTestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace enc_test;

namespace {

std::string writeLzw(const PixelSource& image) {
    const EncodedImage gif = GIFEncoder_LZW(image).Write();
    EXPECT_TRUE(gif) << gif.failure();
    return gif.bytes();
}

std::string failureOf(const GIFEncoder_LZW& encoder) {
    const EncodedImage gif = encoder.Write();
    EXPECT_TRUE(gif.bytes().empty());
    return gif ? "no failure" : gif.failure();
}

uint8_t at(const std::string& s, size_t i) { return static_cast<uint8_t>(s.at(i)); }

// Decodes with giflib and checks every pixel comes back with its colour.
void expectDecodesTo(const std::string& gif, const MemoryPixelSource& image) {
    std::string error;
    auto decoded = ref::decodeGif(gif, &error);
    ASSERT_TRUE(decoded) << error;
    ASSERT_EQ(decoded->width, image.getWidth());
    ASSERT_EQ(decoded->height, image.getHeight());
    std::vector<uint32_t> expected = image.pixels();
    for (auto& p : expected) p |= 0xFF000000u;
    ASSERT_EQ(decoded->argb(), expected);
}

// An image whose first `count` pixels, in column order, are distinct colours.
MemoryPixelSource imageWithColours(int width, int height, int count) {
    auto colours = distinctColours(count);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, colours[0]);
    for (int i = 0; i < width * height; ++i) {
        const int x = i / height, y = i % height;
        pixels[static_cast<size_t>(y) * width + x] = colours[static_cast<size_t>(i % count)];
    }
    return MemoryPixelSource(width, height, pixels);
}

TEST(BitUtils, BitsNeededCountsBitsForValuesBelowN) {
    const std::map<int, int> expected = {{0, 0},  {1, 1},  {2, 1},   {3, 2},   {4, 2},   {5, 3},  {8, 3},
                                         {9, 4},  {16, 4}, {17, 5},  {128, 7}, {129, 8}, {256, 8}};
    for (auto [n, bits] : expected) EXPECT_EQ(BitUtils::BitsNeeded(n), bits) << "n = " << n;
}

struct HeaderCase {
    int colours;
    uint8_t packed;
    int tableEntries;
    int codeSize;
};

class LzwHeader : public testing::TestWithParam<HeaderCase> {};

// The whole layout: header, colour table, descriptor, code size, sub-blocks,
// terminator and the ten-byte trailer record, and the file length they add to.
TEST_P(LzwHeader, WritesTheLayoutForTheColourCount) {
    const HeaderCase c = GetParam();
    MemoryPixelSource image = imageWithColours(20, 17, c.colours);
    const std::string gif = writeLzw(image);

    EXPECT_EQ(gif.substr(0, 6), "GIF87a");
    EXPECT_EQ(at(gif, 6), 20);
    EXPECT_EQ(at(gif, 7), 0);
    EXPECT_EQ(at(gif, 8), 17);
    EXPECT_EQ(at(gif, 9), 0);
    EXPECT_EQ(at(gif, 10), c.packed);
    EXPECT_EQ(at(gif, 11), 0);  // background
    EXPECT_EQ(at(gif, 12), 0);  // aspect ratio

    auto colours = distinctColours(c.colours);
    for (int i = 0; i < c.tableEntries; ++i) {
        const uint32_t rgb = i < c.colours ? colours[static_cast<size_t>(i)] & 0xFFFFFF : 0;
        EXPECT_EQ(at(gif, 13 + 3 * i), (rgb >> 16) & 0xFF) << "entry " << i;
        EXPECT_EQ(at(gif, 14 + 3 * i), (rgb >> 8) & 0xFF) << "entry " << i;
        EXPECT_EQ(at(gif, 15 + 3 * i), rgb & 0xFF) << "entry " << i;
    }
    size_t pos = 13 + 3 * static_cast<size_t>(c.tableEntries);
    const std::string descriptor = gif.substr(pos, 10);
    EXPECT_EQ(descriptor, std::string("\x2C\0\0\0\0\x14\0\x11\0\0", 10));
    pos += 10;
    EXPECT_EQ(at(gif, pos), c.codeSize);
    const SubBlocks blocks = readSubBlocks(gif, pos + 1);
    ASSERT_FALSE(blocks.sizes.empty());
    for (size_t i = 0; i + 1 < blocks.sizes.size(); ++i) EXPECT_EQ(blocks.sizes[i], 255);
    EXPECT_EQ(gif.substr(blocks.end), std::string("\x3B\0\0\0\0\0\0\0\0\0", 10));
    EXPECT_EQ(gif.size(), 13 + 3 * static_cast<size_t>(c.tableEntries) + 10 + 1 +
                              (blocks.data.size() + blocks.sizes.size()) + 1 + 10);
    expectDecodesTo(gif, image);
}

INSTANTIATE_TEST_SUITE_P(ColourCounts, LzwHeader,
                         testing::Values(HeaderCase{1, 0xF0, 2, 2}, HeaderCase{2, 0xF0, 2, 2},
                                         HeaderCase{3, 0xF1, 4, 2}, HeaderCase{5, 0xF2, 8, 3},
                                         HeaderCase{17, 0xF4, 32, 5}, HeaderCase{256, 0xF7, 256, 8}));

TEST(GifLzw, OneColourImageStartsWithClearCodeFourInThreeBits) {
    MemoryPixelSource image(3, 1, 0xFF123456u);
    const std::string gif = writeLzw(image);
    const size_t data = 13 + 6 + 10 + 1;
    // Clear 4, then 0 in 3 bits, then "0 0" as the new string 6, then end 5 in 3 bits.
    const SubBlocks blocks = readSubBlocks(gif, data);
    EXPECT_EQ(blocks.data, packCodes({{4, 3}, {0, 3}, {6, 3}, {5, 3}}));
}

TEST(GifLzw, TooManyColoursFailsOnTheTwoHundredFiftySeventh) {
    writeLzw(imageWithColours(16, 16, 256));
    EXPECT_EQ(failureOf(GIFEncoder_LZW(imageWithColours(17, 17, 257))), "Too many colors.");
}

TEST(GifLzw, PaletteFollowsColumnOrderAndIgnoresAlpha) {
    const uint32_t a = 0xFF102030u, b = 0xFF405060u, c = 0xFF708090u;
    // Row order would meet b before c; columns meet c first. The last pixel
    // is a with another alpha: the same entry.
    MemoryPixelSource image(2, 2, {a, b, c, 0x00102030u});
    GIFEncoder_LZW encoder(image);
    EXPECT_EQ(encoder.getNumColors(), 4);
    EXPECT_EQ(encoder.getColors(), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x70, 0x80, 0x90, 0x40, 0x50, 0x60, 0, 0, 0}));
    EXPECT_EQ(encoder.getPixels(), (std::vector<uint8_t>{0, 2, 1, 0}));
}

// The palette built from runs along the rows must equal the plain definition:
// a column-by-column scan searching the palette in order.
TEST(GifLzw, PaletteEqualsAColumnByColumnSearch) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 40; ++trial) {
        const int w = 1 + static_cast<int>(rng() % 60), h = 1 + static_cast<int>(rng() % 60);
        const int count = 1 + static_cast<int>(rng() % 256);
        auto pixels = noise(w, h, distinctColours(count), static_cast<uint32_t>(trial));
        // Runs along rows, so run detection matters too.
        for (size_t i = 1; i < pixels.size(); ++i)
            if (rng() % 3 == 0) pixels[i] = pixels[i - 1] ^ (rng() % 2 ? 0x01000000u : 0u);
        MemoryPixelSource image(w, h, pixels);
        GIFEncoder_LZW encoder(image);

        std::vector<uint32_t> palette;
        std::vector<uint8_t> indexes(pixels.size());
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) {
                const uint32_t rgb = image.at(x, y) & 0xFFFFFF;
                size_t i = 0;
                while (i < palette.size() && palette[i] != rgb) ++i;
                if (i == palette.size()) palette.push_back(rgb);
                indexes[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(i);
            }
        ASSERT_EQ(encoder.getPixels(), indexes) << "trial " << trial;
        const auto& colours = encoder.getColors();
        for (size_t i = 0; i < palette.size(); ++i)
            ASSERT_EQ((uint32_t{colours[3 * i]} << 16) | (uint32_t{colours[3 * i + 1]} << 8) | colours[3 * i + 2], palette[i]);
    }
}

// A table of one entry cannot be stated in the screen descriptor, so an
// image without pixels still gets a two-entry black table.
TEST(GifLzw, EmptyImageWritesAConsistentFile) {
    MemoryPixelSource image(0, 0, std::vector<uint32_t>{});
    const std::string gif = writeLzw(image);
    const std::string expected("GIF87a\0\0\0\0\xF0\0\0"
                               "\0\0\0\0\0\0"
                               "\x2C\0\0\0\0\0\0\0\0\0"
                               "\x02\x01\x2C\x00"
                               "\x3B\0\0\0\0\0\0\0\0\0",
                               13 + 6 + 10 + 4 + 10);
    EXPECT_EQ(gif, expected);
}

// Enough distinct strings to fill the table many times over: the width grows
// to 12 bits, the table is cleared and coding restarts, and giflib follows.
TEST(GifLzw, NoiseThatFillsTheStringTableDecodes) {
    for (int count : {2, 4, 16, 256}) {
        SCOPED_TRACE(count);
        MemoryPixelSource image(300, 211, noise(300, 211, distinctColours(count), 7u + count));
        expectDecodesTo(writeLzw(image), image);
    }
}

TEST(GifLzw, SizesAndColourCountsRoundTrip) {
    for (int w : {1, 2, 3, 7, 64, 255, 256, 257}) {
        for (int h : {1, 2, 5, 33}) {
            for (int count : {1, 2, 3, 9, 200}) {
                SCOPED_TRACE(testing::Message() << w << "x" << h << " " << count << " colours");
                MemoryPixelSource image(w, h, noise(w, h, distinctColours(count), static_cast<uint32_t>(w * h + count)));
                expectDecodesTo(writeLzw(image), image);
            }
        }
    }
    for (int count = 1; count <= 256; ++count) {
        SCOPED_TRACE(count);
        MemoryPixelSource image = imageWithColours(23, 19, count);
        expectDecodesTo(writeLzw(image), image);
    }
}

TEST(GifLzw, LongFlatRunsRoundTrip) {
    MemoryPixelSource flat(1000, 400, 0xFFFFFFFFu);
    expectDecodesTo(writeLzw(flat), flat);
    MemoryPixelSource bands(640, 480, 0xFF000000u);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if ((y / 7 + x / 13) % 3 == 0) bands.set(x, y, 0xFF00FF00u);
    expectDecodesTo(writeLzw(bands), bands);
}

TEST(GifLzw, GrabFailureReportsTheStatus) {
    MemoryPixelSource image(4, 4, 0xFF000000u);
    image.failGrabs(false, 192);
    EXPECT_EQ(failureOf(GIFEncoder_LZW(image)), "Grabber returned false: 192");
}

// GIF's size fields hold 16 bits: a larger image is refused before any
// pixel is read instead of being written with a wrong size.
TEST(GifLzw, SizeBeyondSixteenBitsIsRefused) {
    MemoryPixelSource wide(65536, 1, 0xFF000000u);
    EXPECT_EQ(failureOf(GIFEncoder_LZW(wide)), "Image size 65536x1 does not fit in a GIF (0 to 65535 pixels each way)");
    EXPECT_EQ(wide.grabCount(), 0);

    MemoryPixelSource widest(65535, 2, 0xFF000000u);
    widest.set(65534, 1, 0xFFFF0000u);
    expectDecodesTo(writeLzw(widest), widest);
}

TEST(GifLzw, PlanesGiveTheSameFileAsTheImage) {
    MemoryPixelSource image(37, 23, noise(37, 23, distinctColours(60), 3));
    GIFEncoder_LZW::ColorPlane r(37, std::vector<uint8_t>(23)), g = r, b = r;
    for (int x = 0; x < 37; ++x)
        for (int y = 0; y < 23; ++y) {
            const uint32_t p = image.at(x, y);
            r[x][y] = static_cast<uint8_t>(p >> 16);
            g[x][y] = static_cast<uint8_t>(p >> 8);
            b[x][y] = static_cast<uint8_t>(p);
        }
    EXPECT_EQ(GIFEncoder_LZW(r, g, b).Write().bytes(), writeLzw(image));

    g[2].pop_back();
    EXPECT_EQ(failureOf(GIFEncoder_LZW(r, g, b)), "Colour planes differ in size");
}

TEST(GifLzw, WriteAgainGivesTheSameBytes) {
    GIFEncoder_LZW encoder(MemoryPixelSource(50, 40, noise(50, 40, distinctColours(5), 11)));
    const EncodedImage first = encoder.Write();
    ASSERT_TRUE(first);
    EXPECT_EQ(encoder.Write().bytes(), first.bytes());
}

// Encoders on one thread share the pixel buffer; one encoding another image
// from inside its pixel read must not see its own pixels overwritten.
class EncodingSource : public MemoryPixelSource {
public:
    EncodingSource(MemoryPixelSource image, const MemoryPixelSource& inner)
        : MemoryPixelSource(std::move(image)), inner_(inner) {}
    bool grabPixels(int x, int y, int w, int h, uint32_t* dst, int offset, int scan, int* status) const override {
        const bool grabbed = MemoryPixelSource::grabPixels(x, y, w, h, dst, offset, scan, status);
        innerGif = writeLzw(inner_);
        return grabbed;
    }
    mutable std::string innerGif;

private:
    const MemoryPixelSource& inner_;
};

TEST(GifLzw, ImagesEncodedOneAfterAnotherOrNestedKeepTheirPixels) {
    MemoryPixelSource small(30, 20, noise(30, 20, distinctColours(7), 3));
    MemoryPixelSource large(200, 150, noise(200, 150, distinctColours(9), 4));
    const std::string smallGif = writeLzw(small), largeGif = writeLzw(large);
    expectDecodesTo(smallGif, small);
    expectDecodesTo(largeGif, large);
    EXPECT_EQ(writeLzw(small), smallGif);

    EncodingSource outer(small, large);
    EXPECT_EQ(writeLzw(outer), smallGif);
    EXPECT_EQ(outer.innerGif, largeGif);
}

// Dictionary LZW written the plain way: codes widen when code 2^width is
// made, and a full table of 4096 strings is cleared with a 12-bit clear code.
std::vector<std::pair<int, int>> plainLzwCodes(int codeSize, const std::vector<uint8_t>& pixels) {
    const int clear = 1 << codeSize;
    int width = codeSize + 1, next = clear + 2, prefix = -1;
    std::map<std::pair<int, int>, int> strings;
    std::vector<std::pair<int, int>> codes{{clear, width}};
    for (const uint8_t c : pixels) {
        if (prefix == -1) {
            prefix = c;
            continue;
        }
        const auto found = strings.find({prefix, c});
        if (found != strings.end()) {
            prefix = found->second;
            continue;
        }
        codes.emplace_back(prefix, width);
        if (next < 4096) {
            strings[{prefix, c}] = next;
            if (next > (1 << width) - 1) ++width;
            ++next;
        } else {
            codes.emplace_back(clear, 12);
            strings.clear();
            next = clear + 2;
            width = codeSize + 1;
        }
        prefix = c;
    }
    if (prefix != -1) codes.emplace_back(prefix, width);
    codes.emplace_back(clear + 1, width);
    return codes;
}

// Few colours and many take different table layouts; both must give the
// plain codes, through table clears, for empty and one-pixel inputs too.
TEST(LzwCompressor, CodesEqualPlainDictionaryLzw) {
    std::mt19937 rng(99);
    for (int codeSize : {2, 3, 4, 5, 8}) {
        for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{5000}, size_t{60000}}) {
            const int colours = std::min(1 << codeSize, codeSize == 8 ? 256 : 1 << codeSize);
            std::vector<uint8_t> pixels(n);
            // Runs and noise mixed, so strings grow long and the table fills.
            for (size_t i = 0; i < n; ++i)
                pixels[i] = (i > 0 && rng() % 3 != 0) ? pixels[i - 1] : static_cast<uint8_t>(rng() % colours);
            SCOPED_TRACE(testing::Message() << "code size " << codeSize << ", " << n << " pixels");
            StringOutputStream out;
            LZWCompressor::LZWCompress(out, codeSize, pixels.data(), pixels.size());
            EXPECT_EQ(readSubBlocks(out.str() + std::string(1, '\0'), 0).data, packCodes(plainLzwCodes(codeSize, pixels)));
        }
    }
    // Indexes beyond the code size make no sensible GIF, but must not take
    // the coder outside its table (the sanitizer builds would see it).
    const std::vector<uint8_t> wide = {1, 200, 1, 200, 1, 200, 15, 3};
    StringOutputStream out;
    LZWCompressor::LZWCompress(out, 3, wide.data(), wide.size());
    EXPECT_FALSE(out.str().empty());
}

}  // namespace
