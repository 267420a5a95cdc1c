// The raster drawing surface: an off-screen ARGB32 image and the drawing
// context over it.

#include "chart/FontCache.h"
#include "chart/Graphics.h"
#include "chart/Raster.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000u;

// The pixels start unwritten: a chart's first drawing fills the whole image
// with its background, and clearing it to black before that as well would
// be a second pass over every pixel. The first other use of the pixels
// (drawing, reading) makes them opaque black first.
class CanvasImage final : public Image {
public:
    CanvasImage(int width, int height)
        : width_(width), height_(height), count_(size_t(width) * size_t(height)), pixels_(new uint32_t[count_]) {}

    int getWidth() const override { return width_; }
    int getHeight() const override { return height_; }
    const uint32_t* data() const override {
        settle();
        return pixels_.get();
    }
    PixelBuffer buffer() { return PixelBuffer{pixels_.get(), width_, height_}; }

    // Before the pixels are drawn on or read.
    void settle() const {
        if (settled_) return;
        std::fill_n(pixels_.get(), count_, kOpaqueBlack);
        settled_ = true;
    }
    bool settled() const { return settled_; }
    // Every pixel set to value, without clearing them first.
    void fillWhole(uint32_t value) {
        std::fill_n(pixels_.get(), count_, value);
        settled_ = true;
    }

    std::unique_ptr<Graphics> getGraphics() override;

    bool grabPixels(int x, int y, int w, int h, uint32_t* dst, int offset, int scan, int* status) const override {
        const bool ok = grab(x, y, w, h, dst, offset, scan);
        if (status != nullptr) *status = ok ? 0 : GRAB_ABORTED;
        return ok;
    }

private:
    bool grab(int x, int y, int w, int h, uint32_t* dst, int offset, int scan) const {
        settle();
        if (w < 0 || h < 0 || x < 0 || y < 0 || offset < 0) return false;
        if (int64_t(x) + w > width_ || int64_t(y) + h > height_) return false;
        if (w == 0 || h == 0) return true;
        // Rows must not overlap or run backwards in the caller's array.
        if (dst == nullptr || scan < w) return false;
        for (int j = 0; j < h; ++j) {
            const uint32_t* from = pixels_.get() + size_t(y + j) * width_ + x;
            std::memcpy(dst + size_t(offset) + size_t(j) * size_t(scan), from, size_t(w) * sizeof(uint32_t));
        }
        return true;
    }

    int width_;
    int height_;
    size_t count_;
    std::unique_ptr<uint32_t[]> pixels_;
    mutable bool settled_ = false;
};

// Draws on a CanvasImage, which must outlive it.
class CanvasGraphics final : public Graphics {
public:
    explicit CanvasGraphics(CanvasImage& image) : image_(image), full_(image.buffer()), buffer_(full_) {}

    void setColor(const Color& c) override {
        color_ = c;
        value_ = c.argb();
    }
    Color getColor() const override { return color_; }

    void setFont(const Font& f) override {
        if (f == font_) return;
        font_ = f;
        current_ = nullptr;
    }
    Font getFont() const override { return font_; }

    const FontMetrics& getFontMetrics(const Font& f) override {
        if (f == font_) return currentFont();
        return FontCache::get(f);
    }

    void setClip(const Rectangle* area) override {
        if (area == nullptr) {
            buffer_ = full_;
            ox_ = oy_ = 0;
            return;
        }
        // A window into the image: the raster routines clip to it exactly as
        // they clip to the image.
        const int64_t left = std::clamp<int64_t>(area->x, 0, full_.width);
        const int64_t top = std::clamp<int64_t>(area->y, 0, full_.height);
        const int64_t right = std::clamp<int64_t>(int64_t{area->x} + std::max(area->width, 0), left, full_.width);
        const int64_t bottom = std::clamp<int64_t>(int64_t{area->y} + std::max(area->height, 0), top, full_.height);
        buffer_ = PixelBuffer{full_.pixels + top * full_.width + left, static_cast<int>(right - left),
                              static_cast<int>(bottom - top), full_.width};
        ox_ = left;
        oy_ = top;
    }

    void drawLine(int x1, int y1, int x2, int y2) override {
        rasterLine(target(), x1 - ox_, y1 - oy_, x2 - ox_, y2 - oy_, value_);
    }

    void fillRect(int x, int y, int w, int h) override {
        // The background of a fresh image: its one clearing.
        if (!image_.settled() && ox_ == 0 && oy_ == 0 && buffer_.width == full_.width &&
            buffer_.height == full_.height && x <= 0 && y <= 0 && int64_t{x} + w >= full_.width &&
            int64_t{y} + h >= full_.height) {
            image_.fillWhole(value_);
            return;
        }
        rasterFillRect(target(), x - ox_, y - oy_, w, h, value_);
    }

    void fillPolygon(const Polygon& polygon) override { filler_.fill(target(), polygon, value_, ox_, oy_); }

    void drawString(std::string_view text, int x, int y) override {
        if (text.empty()) return;
        const CachedFont& font = currentFont();
        if (font.faceFile().empty()) FontCache::textNotDrawn(font_);
        font.draw(target(), value_, text, shifted(x, ox_), shifted(y, oy_));
    }

    void fill3DRect(int x, int y, int w, int h, bool raised) override {
        if (w <= 0 || h <= 0) return;
        rasterFillRect(target(), int64_t(x) + 1 - ox_, int64_t(y) + 1 - oy_, int64_t(w) - 2, int64_t(h) - 2, value_);
        bevel(x, y, w, h, raised);
    }

    void draw3DRect(int x, int y, int w, int h, bool raised) override {
        if (w <= 0 || h <= 0) return;
        bevel(x, y, w, h, raised);
    }

    void drawImage(const Image& image, int x, int y) override {
        rasterCopy(target(), image.data(), image.getWidth(), image.getHeight(), shifted(x, ox_), shifted(y, oy_));
    }

private:
    // Text far off the image stays far off it.
    static int shifted(int v, int64_t by) {
        return static_cast<int>(std::clamp<int64_t>(int64_t{v} - by, INT32_MIN, INT32_MAX));
    }

    const CachedFont& currentFont() {
        if (current_ == nullptr) current_ = &FontCache::get(font_);
        return *current_;
    }

    // The box's border: top and left edges lit, bottom and right edges in
    // shade when raised, the other way round when sunken.
    void bevel(int x, int y, int w, int h, bool raised) {
        const uint32_t light = color_.brighter().argb();
        const uint32_t dark = color_.darker().argb();
        const int64_t left = int64_t(x) - ox_, upper = int64_t(y) - oy_;
        const int64_t right = left + w - 1;
        const int64_t bottom = upper + h - 1;
        const uint32_t topLeft = raised ? light : dark;
        const uint32_t bottomRight = raised ? dark : light;
        rasterFillRect(target(), left, upper, w, 1, topLeft);
        rasterFillRect(buffer_, left, upper, 1, h, topLeft);
        rasterFillRect(buffer_, left + 1, bottom, int64_t(w) - 1, 1, bottomRight);
        rasterFillRect(buffer_, right, upper + 1, 1, int64_t(h) - 1, bottomRight);
    }

    // The pixels to draw on, the image cleared first when it is fresh.
    PixelBuffer& target() {
        image_.settle();
        return buffer_;
    }

    CanvasImage& image_;
    PixelBuffer full_;
    PixelBuffer buffer_;  // the whole image, or the window clipped to
    int64_t ox_ = 0, oy_ = 0;  // the window's corner in the image
    Color color_{};
    uint32_t value_ = Color{}.argb();
    Font font_{};
    const CachedFont* current_ = nullptr;
    PolygonFiller filler_;
};

std::unique_ptr<Graphics> CanvasImage::getGraphics() { return std::make_unique<CanvasGraphics>(*this); }

}  // namespace

std::unique_ptr<Image> Image::create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
    if (int64_t(width) * height > kMaxPixels) return nullptr;
    try {
        return std::make_unique<CanvasImage>(width, height);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
