// Our GIF and PNG encoders against giflib, libpng, bare zlib and libdeflate,
// on the same pixels in the same process. Sizes: a chart of 321x201 (arg 0)
// and a full-HD image of the same drawing (arg 1), about 8 colours each.
//
//   build/bench/encoders_bench --benchmark_min_time=1 --benchmark_repetitions=5
//
// What each side does per iteration:
//   OurLzwGif, OurRunLengthGif: the whole job from ARGB pixels (LZW: through
//     the pixel source's grab): palette, indexes, header, colour table, code
//     stream, into a fresh in-memory stream.
//   GiflibEGifPutLine: header, colour table and code stream from palette and
//     indexes made beforehand (giflib has no palette building), into a fresh
//     string. It does less than ours; OurLzwCodeStreamOnly is our part that
//     matches its code stream.
//   OurPng, LibpngSameLevelNoFilter: the whole file from ARGB pixels (libpng
//     from scanlines made beforehand).
//   ZlibLevel0Scanlines: compress2 at level 0 of the finished scanlines into
//     a fresh buffer; WithCrc adds zlib's CRC-32 of that output, which every
//     IDAT needs, so it is the least a level-0 PNG costs with zlib.
//   ZlibScanlines, LibdeflateScanlines: the chart's scanlines at each level
//     (the argument), time and size, for the choice of compressor.

#include "encoders/GIFEncoder.h"
#include "encoders/GIFEncoder_LZW.h"
#include "encoders/LZWCompressor.h"
#include "encoders/OutputStream.h"
#include "encoders/PngEncoder.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

struct BenchImage : PixelSource {
    BenchImage(int w, int h, uint32_t fill) : width(w), height(h), argb(static_cast<size_t>(w) * h, fill) {}
    int width;
    int height;
    std::vector<uint32_t> argb;

    int getWidth() const override { return width; }
    int getHeight() const override { return height; }
    const uint32_t* data() const override { return argb.data(); }
    bool grabPixels(int x, int y, int w, int h, uint32_t* dst, int offset, int scan, int* status) const override {
        for (int j = 0; j < h; ++j)
            std::memcpy(dst + offset + static_cast<size_t>(j) * scan,
                        argb.data() + static_cast<size_t>(y + j) * width + x, static_cast<size_t>(w) * 4);
        if (status != nullptr) *status = 0;
        return true;
    }
};

// A chart drawn the way the service draws one: background, frame, grid,
// filled mountain under a curve, histogram bars with shadows, caption text.
BenchImage chartImage(int w, int h) {
    const uint32_t background = 0xFFFFFFFF, plot = 0xFFF4F0E0, frame = 0xFF000000, grid = 0xFFC0C0C0,
                   curve = 0xFF0000C0, mountain = 0xFF9090FF, bar = 0xFF40A040, shadow = 0xFF205020;
    BenchImage img(w, h, background);
    auto set = [&](int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < w && y < h) img.argb[static_cast<size_t>(y) * w + x] = c;
    };
    const int left = w / 10, right = w * 95 / 100, top = h / 8, bottom = h * 85 / 100;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) set(x, y, plot);
    for (int k = 1; k < 8; ++k)
        for (int x = left; x < right; ++x) set(x, top + (bottom - top) * k / 8, grid);
    for (int k = 1; k < 10; ++k)
        for (int y = top; y < bottom; ++y) set(left + (right - left) * k / 10, y, grid);
    int previous = -1;
    for (int x = left; x < right; ++x) {
        const double t = static_cast<double>(x - left) / (right - left);
        const int y = top + static_cast<int>((bottom - top) * (0.45 + 0.25 * std::sin(t * 9) + 0.1 * std::sin(t * 41)));
        for (int yy = y + 1; yy < bottom; ++yy) set(x, yy, mountain);
        const int from = previous < 0 ? y : std::min(previous, y), to = previous < 0 ? y : std::max(previous, y);
        for (int yy = from; yy <= to; ++yy) set(x, yy, curve);
        previous = y;
    }
    const int bars = 40, barWidth = std::max(1, (right - left) / bars - 2);
    for (int b = 0; b < bars; ++b) {
        const int x0 = left + b * (right - left) / bars;
        const int height = (bottom - top) / 6 + (b * 37 % 23) * (bottom - top) / 100;
        for (int y = bottom - height; y < bottom; ++y)
            for (int x = x0; x < x0 + barWidth; ++x) {
                set(x + 2, y - 2, shadow);
                set(x, y, bar);
            }
    }
    for (int x = left; x <= right; ++x) set(x, top, frame), set(x, bottom, frame);
    for (int y = top; y <= bottom; ++y) set(left, y, frame), set(right, y, frame);
    // Caption and axis labels: glyph-sized blocks of dots.
    const int glyph = std::max(3, h / 40);
    for (int g = 0; g < 30; ++g)
        for (int y = 0; y < glyph * 2; ++y)
            for (int x = 0; x < glyph; ++x)
                if (((x * 7 + y * 3 + g * 5) % 5) < 2) set(left + g * (glyph + 2) + x, top / 4 + y, frame);
    for (int k = 0; k <= 8; ++k)
        for (int y = 0; y < glyph * 2; ++y)
            for (int x = 0; x < glyph * 4; ++x)
                if (((x + y * 2 + k) % 4) == 0) set(left - glyph * 5 + x, top + (bottom - top) * k / 8 - glyph + y, frame);
    return img;
}

const BenchImage& image(int which) {
    static const BenchImage chart = chartImage(321, 201);
    static const BenchImage hd = chartImage(1920, 1080);
    return which == 0 ? chart : hd;
}

// Palette and indexes, as giflib wants them.
struct Indexed {
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indexes;
};

const Indexed& indexed(int which) {
    static std::map<int, Indexed> cache;
    auto it = cache.find(which);
    if (it != cache.end()) return it->second;
    Indexed out;
    std::map<uint32_t, uint8_t> seen;
    for (uint32_t p : image(which).argb) {
        auto [pos, added] = seen.emplace(p & 0xFFFFFF, static_cast<uint8_t>(out.palette.size()));
        if (added) out.palette.push_back(p & 0xFFFFFF);
        out.indexes.push_back(pos->second);
    }
    return cache.emplace(which, std::move(out)).first->second;
}

// Filterless scanlines, RGB or RGBA, each led by its filter byte.
const std::vector<uint8_t>& scanLines(int which, bool alpha) {
    static std::map<std::pair<int, bool>, std::vector<uint8_t>> cache;
    auto key = std::make_pair(which, alpha);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    const BenchImage& img = image(which);
    std::vector<uint8_t> lines;
    for (int y = 0; y < img.height; ++y) {
        lines.push_back(0);
        for (int x = 0; x < img.width; ++x) {
            const uint32_t p = img.argb[static_cast<size_t>(y) * img.width + x];
            lines.push_back(static_cast<uint8_t>(p >> 16));
            lines.push_back(static_cast<uint8_t>(p >> 8));
            lines.push_back(static_cast<uint8_t>(p));
            if (alpha) lines.push_back(static_cast<uint8_t>(p >> 24));
        }
    }
    return cache.emplace(key, std::move(lines)).first->second;
}

void label(benchmark::State& state, size_t bytes) {
    state.counters["file_bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(state.iterations() * image(static_cast<int>(state.range(0))).argb.size());
}

// ---- ours ----

void BM_OurLzwGif(benchmark::State& state) {
    const BenchImage& img = image(static_cast<int>(state.range(0)));
    size_t size = 0;
    for (auto _ : state) {
        const EncodedImage gif = GIFEncoder_LZW(img).Write();
        if (!gif) throw std::runtime_error("GIF encoding failed");
        size = gif.bytes().size();
        benchmark::DoNotOptimize(gif.bytes().data());
    }
    label(state, size);
}

// The LZW coder alone, on indexes computed beforehand, as giflib gets them.
void BM_OurLzwCodeStreamOnly(benchmark::State& state) {
    const Indexed& ix = indexed(static_cast<int>(state.range(0)));
    size_t size = 0;
    for (auto _ : state) {
        StringOutputStream out;
        LZWCompressor::LZWCompress(out, 3, ix.indexes.data(), ix.indexes.size());
        size = out.str().size();
        benchmark::DoNotOptimize(out.str().data());
    }
    label(state, size);
}

void BM_OurRunLengthGif(benchmark::State& state) {
    const BenchImage& img = image(static_cast<int>(state.range(0)));
    size_t size = 0;
    for (auto _ : state) {
        const EncodedImage gif = GIFEncoder(img).encode(0);
        if (!gif) throw std::runtime_error("GIF encoding failed");
        size = gif.bytes().size();
        benchmark::DoNotOptimize(gif.bytes().data());
    }
    label(state, size);
}

void BM_OurPng(benchmark::State& state) {
    const BenchImage& img = image(static_cast<int>(state.range(0)));
    PngEncoder encoder(&img, false, PngEncoder::FILTER_NONE, static_cast<int>(state.range(1)));
    size_t size = 0;
    for (auto _ : state) {
        auto png = encoder.pngEncode();
        if (!png) throw std::runtime_error("PNG encoding failed");
        size = png.bytes().size();
        benchmark::DoNotOptimize(png.bytes().data());
    }
    label(state, size);
}

// ---- references ----

int gifWrite(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::string*>(gif->UserData);
    out->append(reinterpret_cast<const char*>(data), static_cast<size_t>(n));
    return n;
}

void BM_GiflibEGifPutLine(benchmark::State& state) {
    const BenchImage& img = image(static_cast<int>(state.range(0)));
    const Indexed& ix = indexed(static_cast<int>(state.range(0)));
    int bits = 1;
    while ((1u << bits) < ix.palette.size()) ++bits;
    std::vector<GifColorType> colours(size_t{1} << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < ix.palette.size(); ++i)
        colours[i] = GifColorType{static_cast<GifByteType>(ix.palette[i] >> 16),
                                  static_cast<GifByteType>(ix.palette[i] >> 8), static_cast<GifByteType>(ix.palette[i])};
    size_t size = 0;
    std::vector<GifPixelType> row(static_cast<size_t>(img.width));
    for (auto _ : state) {
        std::string out;
        int error = 0;
        GifFileType* gif = EGifOpen(&out, gifWrite, &error);
        ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
        EGifPutScreenDesc(gif, img.width, img.height, bits, 0, map);
        EGifPutImageDesc(gif, 0, 0, img.width, img.height, false, nullptr);
        for (int y = 0; y < img.height; ++y) {
            // EGifPutLine may modify the line it is given.
            std::memcpy(row.data(), ix.indexes.data() + static_cast<size_t>(y) * img.width, row.size());
            EGifPutLine(gif, row.data(), img.width);
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    label(state, size);
}

void pngWrite(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void pngFlush(png_structp) {}

void BM_LibpngSameLevelNoFilter(benchmark::State& state) {
    const BenchImage& img = image(static_cast<int>(state.range(0)));
    const std::vector<uint8_t>& lines = scanLines(static_cast<int>(state.range(0)), false);
    const size_t stride = static_cast<size_t>(img.width) * 3 + 1;
    size_t size = 0;
    for (auto _ : state) {
        std::vector<uint8_t> out;
        out.reserve(lines.size() + 1024);
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) throw std::runtime_error("libpng failed");
        png_set_write_fn(png, &out, pngWrite, pngFlush);
        png_set_compression_level(png, static_cast<int>(state.range(1)));
        png_set_filter(png, 0, PNG_FILTER_NONE);
        png_set_IHDR(png, info, static_cast<png_uint_32>(img.width), static_cast<png_uint_32>(img.height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < img.height; ++y)
            png_write_row(png, const_cast<png_bytep>(lines.data() + static_cast<size_t>(y) * stride + 1));
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    label(state, size);
}

// zlib alone storing the finished scanlines, into a fresh buffer as ours
// writes into a fresh file: the reference for a level-0 PNG. It does not
// build the scanlines from pixels nor compute the chunk's CRC-32, both of
// which a PNG needs.
void BM_ZlibLevel0Scanlines(benchmark::State& state) {
    const std::vector<uint8_t>& lines = scanLines(static_cast<int>(state.range(0)), false);
    size_t size = 0;
    for (auto _ : state) {
        std::vector<uint8_t> out(compressBound(lines.size()));
        uLongf n = out.size();
        compress2(out.data(), &n, lines.data(), lines.size(), 0);
        size = n;
        benchmark::DoNotOptimize(out.data());
    }
    label(state, size);
}

// The same plus zlib's CRC-32 over what it produced, which every IDAT chunk
// needs: the least a level-0 PNG can cost with zlib's deflate and CRC-32.
void BM_ZlibLevel0ScanlinesWithCrc(benchmark::State& state) {
    const std::vector<uint8_t>& lines = scanLines(static_cast<int>(state.range(0)), false);
    size_t size = 0;
    for (auto _ : state) {
        std::vector<uint8_t> out(compressBound(lines.size()));
        uLongf n = out.size();
        compress2(out.data(), &n, lines.data(), lines.size(), 0);
        benchmark::DoNotOptimize(crc32(0, out.data(), static_cast<uInt>(n)));
        size = n;
        benchmark::DoNotOptimize(out.data());
    }
    label(state, size);
}

// zlib's CRC-32 alone over the same bytes.
void BM_ZlibCrc32Scanlines(benchmark::State& state) {
    const std::vector<uint8_t>& lines = scanLines(static_cast<int>(state.range(0)), false);
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0, lines.data(), static_cast<uInt>(lines.size())));
    label(state, lines.size());
}

// zlib and libdeflate side by side on the chart's scanlines, level by level:
// time and size of one zlib stream from the whole buffer. zlib's compressor
// is set up afresh each time, as a PNG needs; libdeflate's is kept, as ours
// keeps it.
void BM_ZlibScanlines(benchmark::State& state) {
    const std::vector<uint8_t>& lines = scanLines(0, false);
    const int level = static_cast<int>(state.range(0));
    std::vector<uint8_t> out(compressBound(lines.size()));
    size_t size = 0;
    for (auto _ : state) {
        uLongf n = out.size();
        compress2(out.data(), &n, lines.data(), lines.size(), level);
        size = n;
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_bytes"] = static_cast<double>(size);
}

void BM_LibdeflateScanlines(benchmark::State& state) {
    const std::vector<uint8_t>& lines = scanLines(0, false);
    libdeflate_compressor* c = libdeflate_alloc_compressor(static_cast<int>(state.range(0)));
    std::vector<uint8_t> out(libdeflate_zlib_compress_bound(c, lines.size()));
    size_t size = 0;
    for (auto _ : state) {
        size = libdeflate_zlib_compress(c, lines.data(), lines.size(), out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_compressor(c);
    state.counters["file_bytes"] = static_cast<double>(size);
}

void BM_LibdeflateCrc32Scanlines(benchmark::State& state) {
    const std::vector<uint8_t>& lines = scanLines(static_cast<int>(state.range(0)), false);
    for (auto _ : state) benchmark::DoNotOptimize(libdeflate_crc32(0, lines.data(), lines.size()));
    label(state, lines.size());
}

}  // namespace

BENCHMARK(BM_ZlibScanlines)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibdeflateScanlines)->DenseRange(0, 12)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibdeflateCrc32Scanlines)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OurLzwGif)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OurLzwCodeStreamOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GiflibEGifPutLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OurRunLengthGif)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OurPng)->ArgsProduct({{0, 1}, {0, 6}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibpngSameLevelNoFilter)->ArgsProduct({{0, 1}, {0, 6}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibLevel0Scanlines)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibLevel0ScanlinesWithCrc)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZlibCrc32Scanlines)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
