// The PNG encoder on images made from the input, with every alpha, filter and
// level setting (unknown ones included), decoded back by libpng and compared
// pixel by pixel.
//
// Input: option byte (0x01 alpha, 0x02 the pixel grab fails, 0x04 a second
// encoding after a settings change), filter byte (signed), level byte
// (signed), then an image (FuzzImage.h).

#include "encoders/PngEncoder.h"
#include "fuzz/FuzzImage.h"
#include "tests/common/MemoryPixelSource.h"
#include "tests/common/ReferenceDecoders.h"

#include <string>

namespace {

void checkDecodes(const std::string& bytes, const fuzz::Image& img, bool alpha) {
    std::string error;
    auto decoded = ref::decodePng(bytes, &error);
    FUZZ_CHECK(decoded.has_value(), error);
    FUZZ_CHECK(decoded->width == img.width && decoded->height == img.height, "size");
    FUZZ_CHECK(decoded->hasAlpha == alpha, "colour type");
    for (size_t i = 0; i < decoded->argb.size(); ++i) {
        const uint32_t want = alpha ? img.argb[i] : img.argb[i] | 0xFF000000u;
        FUZZ_CHECK(decoded->argb[i] == want, "pixel " + std::to_string(i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t options = in.u8();
    const int filter = static_cast<int8_t>(in.u8());
    const int level = static_cast<int8_t>(in.u8());
    const fuzz::Image img = fuzz::makeImage(in);
    const bool alpha = options & 0x01;

    MemoryPixelSource source(img.width, img.height, img.argb);
    if (options & 0x02) source.failGrabs(false, PixelSource::GRAB_ABORTED, options >> 4);
    PngEncoder encoder(&source, alpha, filter, level);
    FUZZ_CHECK(encoder.getFilter() == (filter >= 0 && filter <= 2 ? filter : 0), "filter");
    FUZZ_CHECK(encoder.getCompressionLevel() == (level >= 0 && level <= 9 ? level : 0), "level");
    const EncodedImage bytes = encoder.pngEncode();
    if (options & 0x02 || img.width == 0 || img.height == 0) {
        // Without pixels there is nothing to write; when bytes come, they must read back.
        if (bytes && img.width > 0 && img.height > 0) checkDecodes(bytes.bytes(), img, alpha);
        if (!bytes) FUZZ_CHECK(!bytes.failure().empty(), "a failure without its line");
        return 0;
    }
    FUZZ_CHECK(bytes.ok(), "no bytes for a readable image");
    checkDecodes(bytes.bytes(), img, alpha);

    if (options & 0x04) {
        // Every call rebuilds all state: a second encoding after changes reads back too.
        encoder.setEncodeAlpha(!alpha);
        encoder.setFilter(filter + 1);
        encoder.setCompressionLevel(level + 1);
        const EncodedImage second = encoder.pngEncode();
        FUZZ_CHECK(second.ok(), "no bytes the second time");
        checkDecodes(second.bytes(), img, !alpha);
    }
    return 0;
}
