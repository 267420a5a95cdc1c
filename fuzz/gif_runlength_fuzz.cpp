// The run-length GIF encoder on images made from the input, decoded back by
// giflib and compared pixel by pixel.
//
// Input: option byte (0x01 a transparent colour, 0x02 a pixel array of the
// wrong size, 0x04 the output fails after a number of bytes), a byte for the
// transparent index, two bytes of the byte limit, then an image (FuzzImage.h).

#include "encoders/GIFEncoder.h"
#include "fuzz/FuzzImage.h"
#include "tests/common/ReferenceDecoders.h"

#include <memory>
#include <span>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t options = in.u8();
    const int transparent = in.u8();
    const size_t limit = in.u16();
    fuzz::Image img = fuzz::makeImage(in);
    const bool tooBig = img.width > 65535 || img.height > 65535;
    const bool tooManyColours = img.distinct(0xFFFFFFFFu) > 256;
    const bool wrongSize = (options & 0x02) != 0;
    std::span<const uint32_t> pixels(img.argb);
    if (wrongSize) {
        if (options & 0x80 || pixels.empty())
            img.argb.push_back(0xFF000000u), pixels = img.argb;
        else
            pixels = pixels.first(pixels.size() - 1);
    }

    fuzz::LimitedStream out((options & 0x04) ? limit : SIZE_MAX);
    std::unique_ptr<GIFEncoder> encoder;
    try {
        encoder = std::make_unique<GIFEncoder>(img.width, img.height, pixels, out);
    } catch (const std::exception& e) {
        const std::string what = e.what();
        if (wrongSize) {
            FUZZ_CHECK(what == "Pixel Array size is wrong", what);
        } else if (!tooBig) {
            FUZZ_CHECK(tooManyColours && what == "Too many colors", what);
        }
        return 0;
    }
    FUZZ_CHECK(!tooBig && !tooManyColours && !wrongSize, "encoder accepted what it must refuse");
    if (options & 0x01) encoder->setTransparentColor(transparent);
    try {
        encoder->encode(0);
    } catch (const std::exception&) {
        FUZZ_CHECK(options & 0x04, "write failed without a failing stream");
        return 0;
    }
    if (options & 0x04) return 0;
    fuzz::LimitedStream again(SIZE_MAX);
    GIFEncoder second(img.width, img.height, pixels, again);
    if (options & 0x01) second.setTransparentColor(transparent);
    second.encode(0);
    FUZZ_CHECK(again.bytes == out.bytes, "the same image gave other bytes");

    std::string error;
    auto decoded = ref::decodeGif(out.bytes, &error);
    if (img.width == 0 || img.height == 0) return 0;  // giflib has no use for empty images
    FUZZ_CHECK(decoded.has_value(), error);
    FUZZ_CHECK(decoded->width == img.width && decoded->height == img.height, "size");
    if (options & 0x01) FUZZ_CHECK(decoded->transparentIndex == transparent, "transparent index");
    const auto argb = decoded->argb();
    for (size_t i = 0; i < argb.size(); ++i)
        FUZZ_CHECK(argb[i] == (img.argb[i] | 0xFF000000u), "pixel " + std::to_string(i));
    return 0;
}
