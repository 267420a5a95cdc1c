#include "encoders/GIFEncoder.h"
#include "tests/common/MemoryPixelSource.h"
#include "tests/common/ReferenceDecoders.h"
#include "tests/encoders/EncoderTestUtil.h"

#include <gtest/gtest.h>

#include <random>

using namespace enc_test;

namespace {

constexpr uint32_t A = 0xFF2040FFu;
constexpr uint32_t B = 0xFFFFFFFFu;

std::string encode(int width, int height, const std::vector<uint32_t>& pixels, int background = 0,
                   int transparent = -1) {
    GIFEncoder encoder(MemoryPixelSource(width, height, pixels));
    if (transparent >= 0) encoder.setTransparentColor(transparent);
    const EncodedImage gif = encoder.encode(background);
    EXPECT_TRUE(gif) << gif.failure();
    return gif.bytes();
}

// A row of pixels given as runs of (colour, length).
std::vector<uint32_t> runs(const std::vector<std::pair<uint32_t, int>>& list) {
    std::vector<uint32_t> pixels;
    for (auto [colour, n] : list) pixels.insert(pixels.end(), static_cast<size_t>(n), colour);
    return pixels;
}

// The image data of a file with a two-entry table and no extension.
std::vector<uint8_t> imageData(const std::string& gif) {
    EXPECT_EQ(static_cast<uint8_t>(gif.at(13 + 6 + 10)), 2);  // minimum code size
    return readSubBlocks(gif, 13 + 6 + 10 + 1).data;
}

// giflib reads back exactly the colours given (all opaque).
void expectRoundTrip(int width, int height, const std::vector<uint32_t>& pixels) {
    const std::string gif = encode(width, height, pixels);
    std::string error;
    auto decoded = ref::decodeGif(gif, &error);
    ASSERT_TRUE(decoded) << error;
    ASSERT_EQ(decoded->width, width);
    ASSERT_EQ(decoded->height, height);
    ASSERT_EQ(decoded->argb(), pixels);
    ASSERT_EQ(gif.substr(gif.size() - 2), std::string("\0\x3B", 2));
}

TEST(GifRunLength, TenPixelsOfOneColourTeachRunsAfterTheClear) {
    const std::string gif = encode(10, 1, std::vector<uint32_t>(10, A));
    const std::string expected("GIF87a\x0A\0\x01\0\x80\0\0"
                               "\x20\x40\xFF\0\0\0"
                               "\x2C\0\0\0\0\x0A\0\x01\0\0"
                               "\x02\x03\x84\x8F\x05\x00\x3B",
                               13 + 6 + 10 + 7);
    EXPECT_EQ(gif, expected);
}

// Plain codes force a clear after the ninth; the width has grown to 4 bits
// after the third and drops back to 3 after the clear.
TEST(GifRunLength, TwelveAlternatingPixelsClearAfterNinePlainCodes) {
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 12; ++i) pixels.push_back(i % 2 == 0 ? A : B);
    const std::string gif = encode(12, 1, pixels);
    EXPECT_EQ(imageData(gif), packCodes({{4, 3}, {0, 3}, {1, 3}, {0, 3}, {1, 4}, {0, 4}, {1, 4}, {0, 4}, {1, 4},
                                         {0, 4}, {4, 4}, {1, 3}, {0, 3}, {1, 3}, {5, 4}}));
    expectRoundTrip(12, 1, pixels);
}

// Runs of the pixel the decoder already knows reuse its longest run code.
TEST(GifRunLength, KnownRunsAreSentAsTheLongestKnownRunCode) {
    const auto pixels = runs({{A, 10}, {B, 1}, {A, 9}});
    const std::string gif = encode(20, 1, pixels);
    EXPECT_EQ(imageData(gif), packCodes({{4, 3}, {0, 3}, {6, 3}, {7, 3}, {8, 4}, {1, 4}, {8, 4}, {8, 4}, {0, 4}, {5, 4}}));
    expectRoundTrip(20, 1, pixels);
}

TEST(GifRunLength, EmptyImageHasATwoEntryBlackTable) {
    const std::string gif = encode(0, 0, {});
    const std::string expected("GIF87a\0\0\0\0\x80\0\0"
                               "\0\0\0\0\0\0"
                               "\x2C\0\0\0\0\0\0\0\0\0"
                               "\x02\x01\x2C\x00\x3B",
                               13 + 6 + 10 + 5);
    EXPECT_EQ(gif, expected);
}

// Colour resolution follows the bits per pixel; the table is padded with
// black to a power of two; the background index is the one given.
TEST(GifRunLength, HeaderFollowsTheColourCount) {
    // colours, packed byte, table entries, minimum code size
    const std::vector<std::tuple<int, uint8_t, int, int>> cases = {
        {1, 0x80, 2, 2},    {2, 0x80, 2, 2},    {3, 0x91, 4, 2},     {5, 0xA2, 8, 3},
        {9, 0xB3, 16, 4},   {17, 0xC4, 32, 5},  {33, 0xD5, 64, 6},   {65, 0xE6, 128, 7},
        {129, 0xF7, 256, 8}, {256, 0xF7, 256, 8}};
    for (auto [count, packed, entries, codeSize] : cases) {
        SCOPED_TRACE(count);
        const auto colours = distinctColours(count);
        const std::string gif = encode(count, 1, colours, 3);
        ASSERT_EQ(static_cast<uint8_t>(gif[10]), packed);
        EXPECT_EQ(static_cast<uint8_t>(gif[11]), 3);
        for (int i = 0; i < entries; ++i) {
            const uint32_t rgb = i < count ? colours[static_cast<size_t>(i)] & 0xFFFFFF : 0;
            const std::string entry = gif.substr(13 + 3 * static_cast<size_t>(i), 3);
            EXPECT_EQ(entry, std::string({static_cast<char>(rgb >> 16), static_cast<char>(rgb >> 8),
                                          static_cast<char>(rgb)}))
                << "entry " << i;
        }
        const size_t codeSizePos = 13 + 3 * static_cast<size_t>(entries) + 10;
        EXPECT_EQ(static_cast<uint8_t>(gif[codeSizePos]), codeSize);
        expectRoundTrip(count, 1, colours);
    }
}

TEST(GifRunLength, PaletteKeepsWholeValuesInRowOrder) {
    // Same red, green and blue, different alpha: two entries.
    GIFEncoder encoder(MemoryPixelSource(2, 2, {A, B, 0x002040FFu, A}));
    EXPECT_EQ(encoder.getColorsTotal(), 3);
    EXPECT_EQ(encoder.getColors()[0], A);
    EXPECT_EQ(encoder.getColors()[1], B);
    EXPECT_EQ(encoder.getColors()[2], 0x002040FFu);
    EXPECT_EQ(encoder.getColors()[3], 0u);
}

TEST(GifRunLength, FailuresGiveTheirTextAndNoBytes) {
    auto failure = [](const PixelSource& image, int w, int h) {
        const EncodedImage gif = GIFEncoder(image, w, h).encode(0);
        EXPECT_TRUE(gif.bytes().empty());
        return gif ? "no failure" : gif.failure();
    };
    const MemoryPixelSource small(2, 2, A);
    EXPECT_EQ(failure(small, -1, 2), "Pixel Array size is wrong");
    EXPECT_EQ(failure(MemoryPixelSource(257, 1, distinctColours(257)), 257, 1), "Too many colors");
    // GIF cannot state a size above 65535: refused rather than written wrong.
    EXPECT_EQ(failure(MemoryPixelSource(65536, 1, A), 65536, 1),
              "Image size 65536x1 does not fit in a GIF (0 to 65535 pixels each way)");
    EXPECT_EQ(failure(small, 10000, 10000), "image size 10000x10000 out of range");
}

TEST(GifRunLength, TransparentColourMakesAGif89aWithAControlExtension) {
    const std::string gif = encode(4, 1, runs({{A, 2}, {B, 2}}), 0, 1);
    EXPECT_EQ(gif.substr(0, 6), "GIF89a");
    EXPECT_EQ(gif.substr(13 + 6, 8), std::string("\x21\xF9\x04\x01\0\0\x01\0", 8));
    auto decoded = ref::decodeGif(gif);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->transparentIndex, 1);
    EXPECT_EQ(decoded->indexes, (std::vector<uint8_t>{0, 0, 1, 1}));
}

TEST(GifRunLength, EncodeAgainGivesTheSameBytes) {
    GIFEncoder encoder(MemoryPixelSource(40, 30, noise(40, 30, distinctColours(7), 5)));
    const EncodedImage first = encoder.encode(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(encoder.encode(0).bytes(), first.bytes());
}

// Random mixes of runs exercise every way a run is sent: fresh series after
// a clear, plain codes, clear-then-series, and repeats of known runs.
TEST(GifRunLength, RandomRunsRoundTrip) {
    std::mt19937 rng(1234);
    for (int colours : {1, 2, 3, 4, 8, 16, 200}) {
        for (int trial = 0; trial < 6; ++trial) {
            SCOPED_TRACE(testing::Message() << colours << " colours, trial " << trial);
            const auto palette = distinctColours(colours);
            std::uniform_int_distribution<size_t> pick(0, palette.size() - 1);
            // Mostly short runs, some long ones, biased to reuse the last pixel.
            std::vector<uint32_t> pixels;
            const int width = 1 + static_cast<int>(rng() % 300), height = 1 + static_cast<int>(rng() % 40);
            const size_t total = static_cast<size_t>(width) * height;
            uint32_t previous = palette[0];
            while (pixels.size() < total) {
                const uint32_t colour = (rng() % 3 == 0) ? previous : palette[pick(rng)];
                const int kind = static_cast<int>(rng() % 10);
                const size_t n = kind < 5 ? 1 + rng() % 4 : kind < 9 ? 1 + rng() % 60 : 1 + rng() % 5000;
                pixels.insert(pixels.end(), std::min(n, total - pixels.size()), colour);
                previous = colour;
            }
            expectRoundTrip(width, height, pixels);
        }
    }
}

// The corner of a wider, taller image coded where it lies gives the bytes of
// the same corner copied out, runs that go on into the next row included;
// what lies right of and below the corner never shows.
TEST(GifRunLength, CornerOfALargerImageCodesAsItsCopy) {
    std::mt19937 rng(99);
    const auto palette = distinctColours(5);
    for (int trial = 0; trial < 20; ++trial) {
        const int width = static_cast<int>(rng() % 50), height = static_cast<int>(rng() % 20);
        const size_t stride = static_cast<size_t>(width) + rng() % 3;
        // Rows of a few long runs, so that many run on across the row end.
        std::vector<uint32_t> big(stride * static_cast<size_t>(height + 1), 0xFF000001u), corner;
        for (int y = 0; y < height; ++y) {
            uint32_t colour = palette[rng() % 3];
            for (int x = 0; x < width; ++x) {
                if (rng() % 12 == 0) colour = palette[rng() % 3];
                big[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] = colour;
                corner.push_back(colour);
            }
        }
        // Read where the rows lie, and grabbed.
        MemoryPixelSource image(static_cast<int>(stride), height + 1, big);
        const std::string copied = encode(width, height, corner);
        EXPECT_EQ(GIFEncoder(image, width, height).encode(0).bytes(), copied) << width << "x" << height;
        image.showRows();
        EXPECT_EQ(GIFEncoder(image, width, height).encode(0).bytes(), copied) << width << "x" << height
                                                                              << " in rows of " << stride;
    }
    // A corner beyond the image: what the image does not hold is 0.
    const MemoryPixelSource two(2, 1, {A, B});
    EXPECT_EQ(GIFEncoder(two, 3, 2).encode(0).bytes(), encode(3, 2, {A, B, 0, 0, 0, 0}));
}

TEST(GifRunLength, AlternationsAndPatternsRoundTrip) {
    const int w = 97, h = 23;
    std::vector<std::vector<uint32_t>> images;
    const auto palette = distinctColours(256);
    std::vector<uint32_t> abab, aabb, aaab, every, growing;
    for (int i = 0; i < w * h; ++i) {
        abab.push_back(i % 2 ? A : B);
        aabb.push_back((i / 2) % 2 ? A : B);
        aaab.push_back(i % 4 == 3 ? B : A);
        every.push_back(palette[static_cast<size_t>(i % 256)]);
    }
    // Runs of one pixel growing by one, interrupted by another pixel.
    for (int n = 1; static_cast<int>(growing.size()) < w * h; ++n) {
        growing.insert(growing.end(), static_cast<size_t>(n), A);
        growing.push_back(palette[static_cast<size_t>(n % 5)]);
    }
    growing.resize(static_cast<size_t>(w * h));
    for (const auto& pixels : {abab, aabb, aaab, every, growing}) expectRoundTrip(w, h, pixels);
}

// A run longer than one clear-to-clear series can describe.
TEST(GifRunLength, VeryLongRunsRoundTrip) {
    expectRoundTrip(4096, 2100, std::vector<uint32_t>(4096u * 2100u, A));
    auto pixels = std::vector<uint32_t>(1500u * 1000u, A);
    pixels[700000] = B;
    pixels[700001] = 0xFF00FF00u;
    expectRoundTrip(1500, 1000, pixels);
    // One run of more pixels than a 24-bit length holds.
    auto huge = std::vector<uint32_t>(4100u * 4100u, A);
    huge.back() = B;
    expectRoundTrip(4100, 4100, huge);
}

TEST(GifRunLength, SizesRoundTrip) {
    const auto palette = distinctColours(5);
    for (int w : {1, 2, 3, 7, 255, 256, 257})
        for (int h : {1, 2, 9})
            expectRoundTrip(w, h, noise(w, h, palette, static_cast<uint32_t>(w * 31 + h)));
    std::vector<uint32_t> wide(65535u * 2u, A);
    wide.back() = B;
    expectRoundTrip(65535, 2, wide);
}

}  // namespace
