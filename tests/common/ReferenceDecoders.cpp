#include "tests/common/ReferenceDecoders.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace ref {

std::vector<uint32_t> GifImage::argb() const {
    std::vector<uint32_t> out(indexes.size());
    for (size_t i = 0; i < indexes.size(); ++i) {
        const uint8_t index = indexes[i];
        out[i] = 0xFF000000u | (index < palette.size() ? palette[index] : 0u);
    }
    return out;
}

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    size_t read(uint8_t* out, size_t n) {
        n = std::min(n, size - pos);
        std::memcpy(out, data + pos, n);
        pos += n;
        return n;
    }
};

int gifRead(GifFileType* gif, GifByteType* out, int n) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    return static_cast<int>(reader->read(out, n < 0 ? 0 : static_cast<size_t>(n)));
}

// giflib has no text for some codes (a zero-size image gives one).
std::string gifError(int code) {
    const char* text = GifErrorString(code);
    return text != nullptr ? std::string(text) : "giflib error " + std::to_string(code);
}

void setError(std::string* error, std::string text) {
    if (error != nullptr) *error = std::move(text);
}

}  // namespace

std::optional<GifImage> decodeGif(const void* data, size_t size, std::string* error) {
    MemoryReader reader{static_cast<const uint8_t*>(data), size};
    int code = 0;
    GifFileType* gif = DGifOpen(&reader, gifRead, &code);
    if (gif == nullptr) {
        setError(error, "DGifOpen: " + gifError(code));
        return std::nullopt;
    }
    std::optional<GifImage> result;
    if (DGifSlurp(gif) != GIF_OK) {
        setError(error, "DGifSlurp: " + gifError(gif->Error));
    } else if (gif->ImageCount < 1) {
        setError(error, "no image in the file");
    } else {
        const SavedImage& image = gif->SavedImages[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
        GifImage out;
        out.screenWidth = gif->SWidth;
        out.screenHeight = gif->SHeight;
        out.width = image.ImageDesc.Width;
        out.height = image.ImageDesc.Height;
        if (map != nullptr) {
            for (int i = 0; i < map->ColorCount; ++i) {
                const GifColorType& c = map->Colors[i];
                out.palette.push_back((uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue);
            }
        }
        const size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
        out.indexes.assign(image.RasterBits, image.RasterBits + count);
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK) out.transparentIndex = gcb.TransparentColor;
        result = std::move(out);
    }
    DGifCloseFile(gif, &code);
    return result;
}

namespace {

struct PngState {
    MemoryReader reader{nullptr, 0};
    std::string message;
    int width = 0;
    int height = 0;
    bool hasAlpha = false;
    std::vector<uint8_t> raw;
    std::vector<png_bytep> rows;
};

void pngRead(png_structp png, png_bytep out, png_size_t n) {
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    if (state->reader.read(out, n) != n) png_error(png, "file ends early");
}

void pngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    state->message = message;
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Only plain data lives in this frame, so leaving it by longjmp is safe.
bool readPng(PngState* state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state, pngError, pngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, state, pngRead);
    png_read_info(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int type = png_get_color_type(png, info);
    if (depth != 8 || (type != PNG_COLOR_TYPE_RGB && type != PNG_COLOR_TYPE_RGBA)) {
        png_error(png, "not an 8-bit RGB or RGBA file");
    }
    state->width = static_cast<int>(png_get_image_width(png, info));
    state->height = static_cast<int>(png_get_image_height(png, info));
    state->hasAlpha = type == PNG_COLOR_TYPE_RGBA;
    const size_t rowBytes = png_get_rowbytes(png, info);
    state->raw.resize(rowBytes * static_cast<size_t>(state->height));
    state->rows.resize(static_cast<size_t>(state->height));
    for (int y = 0; y < state->height; ++y) state->rows[static_cast<size_t>(y)] = state->raw.data() + rowBytes * y;
    png_read_image(png, state->rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

std::optional<PngImage> decodePng(const void* data, size_t size, std::string* error) {
    PngState state;
    state.reader = MemoryReader{static_cast<const uint8_t*>(data), size};
    if (!readPng(&state)) {
        setError(error, "libpng: " + (state.message.empty() ? std::string("cannot start") : state.message));
        return std::nullopt;
    }
    PngImage out;
    out.width = state.width;
    out.height = state.height;
    out.hasAlpha = state.hasAlpha;
    const size_t channels = state.hasAlpha ? 4 : 3;
    const size_t count = static_cast<size_t>(state.width) * static_cast<size_t>(state.height);
    out.argb.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = state.raw.data() + i * channels;
        const uint32_t alpha = state.hasAlpha ? p[3] : 0xFFu;
        out.argb[i] = (alpha << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    return out;
}

}  // namespace ref
