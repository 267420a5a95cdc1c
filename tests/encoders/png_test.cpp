#include "encoders/PngEncoder.h"
#include "tests/common/MemoryPixelSource.h"
#include "tests/common/ReferenceDecoders.h"
#include "tests/common/TestPlatform.h"
#include "tests/encoders/EncoderTestUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>

using namespace enc_test;

namespace {

// The file's bytes, or nothing.
std::optional<std::vector<uint8_t>> encodePng(PngEncoder& encoder) {
    const EncodedImage png = encoder.pngEncode();
    if (!png) return std::nullopt;
    return std::vector<uint8_t>(png.bytes().begin(), png.bytes().end());
}

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
    uint32_t crc = 0;
};

uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The chunks after the signature, in order.
std::vector<Chunk> chunks(const std::vector<uint8_t>& png) {
    std::vector<Chunk> out;
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const uint32_t length = be32(&png[pos]);
        Chunk c;
        c.type.assign(reinterpret_cast<const char*>(&png[pos + 4]), 4);
        c.data.assign(png.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                      png.begin() + static_cast<std::ptrdiff_t>(pos + 8 + length));
        c.crc = be32(&png[pos + 8 + length]);
        out.push_back(std::move(c));
        pos += 12 + length;
    }
    EXPECT_EQ(pos, png.size());
    return out;
}

// The inflated image data: the scanlines with their filter bytes.
std::vector<uint8_t> scanLines(const std::vector<uint8_t>& png, size_t expectedSize) {
    std::vector<uint8_t> idat;
    for (const Chunk& c : chunks(png))
        if (c.type == "IDAT") idat.insert(idat.end(), c.data.begin(), c.data.end());
    std::vector<uint8_t> raw(expectedSize + 1);
    uLongf size = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &size, idat.data(), idat.size()), Z_OK);
    raw.resize(size);
    return raw;
}

std::vector<uint32_t> opaque(std::vector<uint32_t> pixels) {
    for (auto& p : pixels) p |= 0xFF000000u;
    return pixels;
}

TEST(Png, DefaultsWriteStoredRgbRowsWithoutFilter) {
    MemoryPixelSource image(3, 2, {0xFF010203u, 0xFF040506u, 0xFF070809u, 0xFF0A0B0Cu, 0xFF0D0E0Fu, 0x80101112u});
    TestPlatform platform;
    PngEncoder encoder(&image);
    auto png = encodePng(encoder);
    ASSERT_TRUE(png);
    EXPECT_TRUE(platform.err().empty());

    const std::vector<uint8_t> signature{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(std::vector<uint8_t>(png->begin(), png->begin() + 8), signature);
    const auto list = chunks(*png);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].type, "IHDR");
    EXPECT_EQ(list[0].data, (std::vector<uint8_t>{0, 0, 0, 3, 0, 0, 0, 2, 8, 2, 0, 0, 0}));
    EXPECT_EQ(list[1].type, "IDAT");
    EXPECT_EQ(png->size(), 57 + list[1].data.size());
    // The IEND chunk never varies.
    EXPECT_EQ(std::vector<uint8_t>(png->end() - 12, png->end()),
              (std::vector<uint8_t>{0, 0, 0, 0, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}));
    for (const Chunk& c : list) {
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(c.type.data()), 4);
        if (!c.data.empty()) crc = crc32(crc, c.data.data(), static_cast<uInt>(c.data.size()));
        EXPECT_EQ(c.crc, crc) << c.type;
    }

    const std::vector<uint8_t> rows{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    EXPECT_EQ(scanLines(*png, rows.size()), rows);
    // Level 0: the rows sit in the zlib stream as they are.
    const auto& idat = list[1].data;
    EXPECT_NE(std::search(idat.begin(), idat.end(), rows.begin(), rows.end()), idat.end());

    auto decoded = ref::decodePng(*png);
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->hasAlpha);
    EXPECT_EQ(decoded->argb, opaque(image.pixels()));
}

TEST(Png, AlphaAddsAFourthByteAfterBlue) {
    MemoryPixelSource image(2, 1, {0xFF102030u, 0x80405060u});
    PngEncoder encoder(&image, PngEncoder::ENCODE_ALPHA);
    auto png = encodePng(encoder);
    ASSERT_TRUE(png);
    EXPECT_EQ(chunks(*png)[0].data[9], 6);
    EXPECT_EQ(scanLines(*png, 9), (std::vector<uint8_t>{0, 0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60, 0x80}));
    auto decoded = ref::decodePng(*png);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->hasAlpha);
    EXPECT_EQ(decoded->argb, image.pixels());
}

TEST(Png, SettingsKeepTheirRanges) {
    PngEncoder encoder(nullptr, false, 1, 12);
    EXPECT_EQ(encoder.getFilter(), 1);
    EXPECT_EQ(encoder.getCompressionLevel(), 0);
    encoder.setCompressionLevel(7);
    encoder.setCompressionLevel(10);
    encoder.setCompressionLevel(-1);
    EXPECT_EQ(encoder.getCompressionLevel(), 7);
    encoder.setFilter(3);
    EXPECT_EQ(encoder.getFilter(), PngEncoder::FILTER_NONE);
    encoder.setFilter(2);
    EXPECT_EQ(encoder.getFilter(), PngEncoder::FILTER_UP);
    // A negative filter would be written as an invalid filter byte.
    encoder.setFilter(-1);
    EXPECT_EQ(encoder.getFilter(), PngEncoder::FILTER_NONE);
    encoder.setEncodeAlpha(true);
    EXPECT_TRUE(encoder.getEncodeAlpha());
}

// Every filter, level and alpha setting, on an image taller than one block
// (25 rows at 320 pixels, 20 with alpha): libpng restores every pixel, the
// first row of each block and the second pixel of each row included.
TEST(Png, EveryFilterLevelAndAlphaRoundTrips) {
    auto colours = distinctColours(40);
    colours.push_back(0x00FFFFFFu);
    colours.push_back(0x7F000000u);
    MemoryPixelSource image(320, 61, noise(320, 61, colours, 77));
    for (int filter : {0, 1, 2}) {
        for (int level : {0, 1, 6, 9}) {
            for (bool alpha : {false, true}) {
                SCOPED_TRACE(testing::Message() << "filter " << filter << " level " << level << " alpha " << alpha);
                PngEncoder encoder(&image, alpha, filter, level);
                auto png = encodePng(encoder);
                ASSERT_TRUE(png);
                const auto lines = scanLines(*png, 61 * (320 * (alpha ? 4 : 3) + 1));
                for (int y = 0; y < 61; ++y) ASSERT_EQ(lines[static_cast<size_t>(y) * (320 * (alpha ? 4 : 3) + 1)], filter);
                std::string error;
                auto decoded = ref::decodePng(*png, &error);
                ASSERT_TRUE(decoded) << error;
                EXPECT_EQ(decoded->argb, alpha ? image.pixels() : opaque(image.pixels()));
            }
        }
    }
}

TEST(Png, RowsAreGrabbedInBlocksOfAbout32KB) {
    MemoryPixelSource image(320, 60, 0xFF336699u);
    PngEncoder plain(&image);
    ASSERT_TRUE(encodePng(plain));
    EXPECT_EQ(image.grabCount(), 3);  // 25 + 25 + 10 rows
    MemoryPixelSource again(320, 60, 0xFF336699u);
    PngEncoder alpha(&again, true);
    ASSERT_TRUE(encodePng(alpha));
    EXPECT_EQ(again.grabCount(), 3);  // 20 + 20 + 20 rows
    EXPECT_EQ(image.badRequests() + again.badRequests(), 0);
}

// Wider than one row per 32 KB: still one row per block, not zero.
TEST(Png, VeryWideImagesStillEncode) {
    for (bool alpha : {false, true}) {
        MemoryPixelSource image(9000, 3, noise(9000, 3, distinctColours(9), 5));
        PngEncoder encoder(&image, alpha, PngEncoder::FILTER_UP, 6);
        auto png = encodePng(encoder);
        ASSERT_TRUE(png);
        EXPECT_EQ(image.grabCount(), 3);
        auto decoded = ref::decodePng(*png);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->argb, alpha ? image.pixels() : opaque(image.pixels()));
    }
}

TEST(Png, SizesRoundTrip) {
    for (int w : {1, 2, 3, 5, 64, 101})
        for (int h : {1, 2, 26, 27}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            MemoryPixelSource image(w, h, noise(w, h, distinctColours(6), static_cast<uint32_t>(w + h)));
            for (int filter : {0, 1, 2}) {
                PngEncoder encoder(&image, true, filter, 1);
                auto png = encodePng(encoder);
                ASSERT_TRUE(png);
                auto decoded = ref::decodePng(*png);
                ASSERT_TRUE(decoded);
                EXPECT_EQ(decoded->argb, image.pixels());
            }
        }
}

TEST(Png, FailuresGiveNoBytesAndTheirLineButPrintNothing) {
    TestPlatform platform;
    auto failure = [](PngEncoder&& encoder) {
        const EncodedImage png = encoder.pngEncode();
        EXPECT_TRUE(png.bytes().empty());
        return png ? "no failure" : png.failure();
    };
    EXPECT_EQ(failure(PngEncoder()), "");

    MemoryPixelSource interrupted(10, 10, 0xFF000000u);
    interrupted.failGrabs(false, 0);
    EXPECT_EQ(failure(PngEncoder(&interrupted)), "interrupted waiting for pixels!");

    // The abort arrives on the second block of rows.
    MemoryPixelSource aborted(320, 60, 0xFF000000u);
    aborted.failGrabs(false, PixelSource::GRAB_ABORTED, 1);
    EXPECT_EQ(failure(PngEncoder(&aborted)), "image fetch aborted or errored");
    EXPECT_EQ(platform.err(), "");
}

TEST(Png, SetImageReplacesTheImage) {
    MemoryPixelSource first(2, 2, 0xFF000000u), second(3, 1, 0xFFFFFFFFu);
    PngEncoder encoder(&first);
    ASSERT_TRUE(encodePng(encoder));
    encoder.setImage(&second);
    auto png = encodePng(encoder);
    ASSERT_TRUE(png);
    auto decoded = ref::decodePng(*png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 3);
    EXPECT_EQ(decoded->argb, second.pixels());
}

}  // namespace
