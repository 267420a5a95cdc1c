// The LZW GIF encoder on images made from the input, decoded back by giflib
// and compared pixel by pixel.
//
// Input: option byte (0x01 build from colour planes, 0x02 the pixel grab
// fails), two bytes (unused), then an image (FuzzImage.h).

#include "encoders/GIFEncoder_LZW.h"
#include "fuzz/FuzzImage.h"
#include "tests/common/MemoryPixelSource.h"
#include "tests/common/ReferenceDecoders.h"

#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t options = in.u8();
    in.u16();
    const fuzz::Image img = fuzz::makeImage(in);
    // Planes hold one vector per column: only for narrow images, or the search crawls.
    const bool fromPlanes = (options & 0x01) && img.width <= 1024;
    const bool grabFails = (options & 0x02) && !fromPlanes;
    // Planes without a column hold no height at all, however tall the image.
    const bool tooBig = img.width > 65535 || (img.height > 65535 && !(fromPlanes && img.width == 0));
    const bool tooManyColours = img.distinct(0xFFFFFFu) > 256;

    MemoryPixelSource source(img.width, img.height, img.argb);
    if (grabFails) source.failGrabs(false, PixelSource::GRAB_ABORTED | options);
    std::unique_ptr<GIFEncoder_LZW> encoder;
    if (fromPlanes) {
        GIFEncoder_LZW::ColorPlane r(static_cast<size_t>(img.width)), g(r.size()), b(r.size());
        for (int x = 0; x < img.width; ++x) {
            for (int y = 0; y < img.height; ++y) {
                const uint32_t p = img.argb[static_cast<size_t>(y) * img.width + x];
                r[x].push_back(static_cast<uint8_t>(p >> 16));
                g[x].push_back(static_cast<uint8_t>(p >> 8));
                b[x].push_back(static_cast<uint8_t>(p));
            }
        }
        encoder = std::make_unique<GIFEncoder_LZW>(r, g, b);
    } else {
        encoder = std::make_unique<GIFEncoder_LZW>(source);
    }
    const EncodedImage gif = encoder->Write();
    if (!gif) {
        const std::string& what = gif.failure();
        FUZZ_CHECK(what == encoder->getFailure(), what);
        if (tooBig) return 0;
        if (grabFails) {
            FUZZ_CHECK(what.rfind("Grabber returned false: ", 0) == 0, what);
            return 0;
        }
        // Planes of an image without columns hold no height at all.
        FUZZ_CHECK(tooManyColours && what == "Too many colors.", what);
        return 0;
    }
    FUZZ_CHECK(!tooBig && !grabFails && !tooManyColours, "encoder accepted what it must refuse");
    const int n = encoder->getNumColors();
    FUZZ_CHECK(n >= 2 && n <= 256 && (n & (n - 1)) == 0, std::to_string(n));
    FUZZ_CHECK(encoder->getColors().size() == static_cast<size_t>(n) * 3, "colour table size");
    FUZZ_CHECK(encoder->Write().bytes() == gif.bytes(), "a second Write gave other bytes");

    const int w = fromPlanes && img.width == 0 ? 0 : img.width;
    const int h = fromPlanes && img.width == 0 ? 0 : img.height;
    std::string error;
    auto decoded = ref::decodeGif(gif.bytes(), &error);
    if (w == 0 || h == 0) return 0;  // giflib has no use for empty images
    FUZZ_CHECK(decoded.has_value(), error);
    FUZZ_CHECK(decoded->width == w && decoded->height == h, "size");
    FUZZ_CHECK(decoded->screenWidth == w && decoded->screenHeight == h, "screen size");
    const auto argb = decoded->argb();
    for (size_t i = 0; i < argb.size(); ++i)
        FUZZ_CHECK(argb[i] == (img.argb[i] | 0xFF000000u), "pixel " + std::to_string(i));
    return 0;
}
