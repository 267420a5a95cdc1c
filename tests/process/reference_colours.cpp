// Prints what the reference decoders (giflib, libpng) see in an image file,
// as one JSON object: {"width": W, "height": H, "colours": ["RRGGBBAA", ...]}
// with the distinct pixel values sorted. For tests that compare another
// decoder's view (a browser's) with theirs.
//
//     reference_colours FILE

#include "tests/common/ReferenceDecoders.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reference_colours FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
    std::string error;
    if (bytes.rfind("GIF", 0) == 0) {
        auto gif = ref::decodeGif(bytes, &error);
        if (!gif) {
            std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
            return 1;
        }
        width = gif->width;
        height = gif->height;
        argb = gif->argb();
    } else {
        auto png = ref::decodePng(bytes, &error);
        if (!png) {
            std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
            return 1;
        }
        width = png->width;
        height = png->height;
        argb = png->argb;
    }
    std::set<uint32_t> colours(argb.begin(), argb.end());
    std::printf("{\"width\": %d, \"height\": %d, \"colours\": [", width, height);
    const char* separator = "";
    for (uint32_t c : colours) {
        std::printf("%s\"%06X%02X\"", separator, c & 0xFFFFFFu, c >> 24);
        separator = ", ";
    }
    std::printf("]}\n");
    return 0;
}
