#pragma once
// Fonts of the drawing surface. A request (family, style, point size) is
// resolved through the system's font lookup (fontconfig, or GDI on Windows),
// so "Helvetica" gives whatever sans face the system substitutes and an unknown family falls back to the default sans
// face. One point is one pixel. Each face file is opened once, each size
// keeps its metrics and its rendered glyphs, and nothing is ever released:
// the references handed out stay valid for the life of the process.
//
// Glyphs are hinted and rendered in monochrome, so text is made of whole
// pixels in exactly the colour it is drawn with.
//
// Thread-safe: one lock guards the font lookup, FreeType and the caches.
// Both start on the first request, not before.

#include "chart/Raster.h"
#include "support/ValueTypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CachedFont : public FontMetrics {
public:
    // Text with its left edge at x and its baseline at y, clipped to dst.
    virtual void draw(PixelBuffer& dst, uint32_t value, std::string_view text, int x, int y) const = 0;
    // The face file the request resolved to; empty when the system has no
    // usable font at all (the metrics are then estimated and nothing is drawn).
    virtual const std::string& faceFile() const = 0;
    // The pixel size actually used, after clamping.
    virtual int pixelSize() const = 0;

    // One glyph for vector output: its advance as the raster draws it, and
    // the shape the raster's bitmap is made from. For a face with outlines,
    // the hinted outline's steps, points in 1/64 pixel from the pen on the
    // baseline, y upward as the face has them; each 'M' starts a contour,
    // 'L' draws a line, 'Q' a quadratic curve (control, end), 'C' a cubic
    // one (two controls, end). For a face without outlines, the bitmap's
    // runs of set pixels, in pixels from the pen, y downward. A blank glyph
    // has neither.
    struct Outline {
        struct Point {
            int64_t x = 0;
            int64_t y = 0;
        };
        struct Step {
            char command = 'M';
            uint8_t points = 1;
            std::array<Point, 3> at{};
        };
        struct Run {
            int x = 0;
            int y = 0;
            int width = 0;
        };
        int advance = 0;
        std::vector<Step> steps;
        std::vector<Run> runs;
    };
    virtual Outline outline(char32_t cp) const = 0;
};

namespace FontCache {

// Sizes are clamped into this range; a request outside it is not an error.
constexpr int kMinPixelSize = 1;
constexpr int kMaxPixelSize = 1000;

const CachedFont& get(const Font& font);

// Text drawn in font, which has no face (the system has no usable font):
// reports it the first time for the font's name, console and log, and marks
// the calling thread's chart as having text not drawn.
void textNotDrawn(const Font& font);
// Whether text was not drawn on this thread since the last call; clears the mark.
bool takeTextNotDrawn();

}  // namespace FontCache
