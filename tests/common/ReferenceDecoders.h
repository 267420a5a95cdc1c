#pragma once
// Decodes GIF and PNG files with the reference libraries (giflib, libpng), so
// tests can check that what we write reads back as intended.
//
//   auto gif = ref::decodeGif(bytes);   // palette + index per pixel
//   auto png = ref::decodePng(bytes);   // 0xAARRGGBB per pixel
//
// Both return nothing when the library refuses the file; the library's
// reason is then in *error when given.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ref {

struct GifImage {
    int screenWidth = 0;
    int screenHeight = 0;
    // The first image of the file.
    int width = 0;
    int height = 0;
    // The colour table in force for the image, 0x00RRGGBB per entry.
    std::vector<uint32_t> palette;
    // Palette index per pixel, row by row (width * height).
    std::vector<uint8_t> indexes;
    // From a Graphic Control Extension; -1 when there is none.
    int transparentIndex = -1;

    // The pixels as opaque 0xFFRRGGBB values.
    std::vector<uint32_t> argb() const;
};

std::optional<GifImage> decodeGif(const void* data, size_t size, std::string* error = nullptr);
inline std::optional<GifImage> decodeGif(std::string_view bytes, std::string* error = nullptr) {
    return decodeGif(bytes.data(), bytes.size(), error);
}
inline std::optional<GifImage> decodeGif(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
    return decodeGif(bytes.data(), bytes.size(), error);
}

struct PngImage {
    int width = 0;
    int height = 0;
    // True for a colour type with an alpha channel.
    bool hasAlpha = false;
    // 0xAARRGGBB per pixel, row by row; alpha 0xFF when the file has none.
    std::vector<uint32_t> argb;
};

// Accepts 8-bit RGB and RGBA files (what our encoder writes).
std::optional<PngImage> decodePng(const void* data, size_t size, std::string* error = nullptr);
inline std::optional<PngImage> decodePng(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
    return decodePng(bytes.data(), bytes.size(), error);
}
inline std::optional<PngImage> decodePng(std::string_view bytes, std::string* error = nullptr) {
    return decodePng(bytes.data(), bytes.size(), error);
}

}  // namespace ref
