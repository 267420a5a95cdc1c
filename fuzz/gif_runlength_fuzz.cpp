// The run-length GIF encoder on images made from the input, decoded back by
// giflib and compared pixel by pixel.
//
// Input: option byte (0x01 a transparent colour, 0x02 a corner one pixel
// wider and taller than the image, 0x04 the rows read where they lie), a
// byte for the transparent index, two bytes (unused), then an image
// (FuzzImage.h).

#include "encoders/GIFEncoder.h"
#include "fuzz/FuzzImage.h"
#include "tests/common/MemoryPixelSource.h"
#include "tests/common/ReferenceDecoders.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t options = in.u8();
    const int transparent = in.u8();
    in.u16();
    fuzz::Image img = fuzz::makeImage(in);
    const int grow = (options & 0x02) ? 1 : 0;
    const int w = img.width + grow;
    const int h = img.height + grow;
    // What the file must show: the image, 0 where the corner goes beyond it.
    std::vector<uint32_t> corner(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            corner[static_cast<size_t>(y) * w + x] = img.argb[static_cast<size_t>(y) * img.width + x];
    fuzz::Image expected{w, h, corner};
    const bool tooBig = w > 65535 || h > 65535 || int64_t{w} * h > (int64_t{1} << 26);
    const bool tooManyColours = expected.distinct(0xFFFFFFFFu) > 256;

    MemoryPixelSource source(img.width, img.height, img.argb);
    if (options & 0x04) source.showRows();
    GIFEncoder encoder(source, w, h);
    if (options & 0x01) encoder.setTransparentColor(transparent);
    const EncodedImage gif = encoder.encode(0);
    if (!gif) {
        const std::string& why = gif.failure();
        FUZZ_CHECK(tooBig || (tooManyColours && why == "Too many colors"), why);
        return 0;
    }
    FUZZ_CHECK(!tooBig && !tooManyColours, "encoder accepted what it must refuse");
    FUZZ_CHECK(encoder.encode(0).bytes() == gif.bytes(), "the same image gave other bytes");

    std::string error;
    auto decoded = ref::decodeGif(gif.bytes(), &error);
    if (w == 0 || h == 0) return 0;  // giflib has no use for empty images
    FUZZ_CHECK(decoded.has_value(), error);
    FUZZ_CHECK(decoded->width == w && decoded->height == h, "size");
    if (options & 0x01) FUZZ_CHECK(decoded->transparentIndex == transparent, "transparent index");
    const auto argb = decoded->argb();
    for (size_t i = 0; i < argb.size(); ++i)
        FUZZ_CHECK(argb[i] == (corner[i] | 0xFF000000u), "pixel " + std::to_string(i));
    return 0;
}
