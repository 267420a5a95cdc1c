#pragma once
// GIF states the image size in two 16-bit fields: a larger image cannot be
// described truthfully, so both GIF encoders refuse it up front.

#include <cstdint>
#include <string>

namespace GifLimits {

inline constexpr int64_t MAX_DIMENSION = 0xFFFF;

// Why an image of this size cannot be a GIF; empty when it can.
inline std::string sizeFailure(int64_t width, int64_t height) {
    if (width >= 0 && height >= 0 && width <= MAX_DIMENSION && height <= MAX_DIMENSION) return {};
    return "Image size " + std::to_string(width) + "x" + std::to_string(height) +
           " does not fit in a GIF (0 to 65535 pixels each way)";
}

}  // namespace GifLimits
