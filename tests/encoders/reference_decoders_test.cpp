// The reference decoders refuse what they cannot read with a reason, never a
// crash: fuzzing found giflib giving no text for some of its error codes.

#include "encoders/GIFEncoder_LZW.h"
#include "tests/common/ReferenceDecoders.h"

#include <gtest/gtest.h>

namespace {

TEST(ReferenceDecoders, EmptyTruncatedAndImagelessInputIsRefusedWithAReason) {
    const std::string empty = GIFEncoder_LZW({}, {}, {}).Write().bytes();  // a 0 x 0 image
    const std::string gifs[] = {"", "GIF8", "GIF87a\x01\x00", empty};
    for (const std::string& bytes : gifs) {
        std::string error;
        auto image = ref::decodeGif(bytes, &error);
        if (!image) {
            EXPECT_FALSE(error.empty()) << bytes.size() << " bytes";
        }
    }
    for (const std::string& bytes : {std::string(), std::string("\x89PNG\r\n\x1a\n", 8)}) {
        std::string error;
        EXPECT_FALSE(ref::decodePng(bytes, &error).has_value());
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
