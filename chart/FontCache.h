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

#include <string>
#include <string_view>

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
    // the hinted outline the raster's bitmap is made from, as SVG path data
    // in pixels from the pen on the baseline, y downward. A face without
    // outlines gives its bitmap as pixel squares; a blank glyph gives "".
    struct Outline {
        int advance = 0;
        std::string path;
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
