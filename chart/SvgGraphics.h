#pragma once
// A drawing context that writes an SVG document instead of pixels, so the
// chart code that draws the raster image draws its vector twin.
//
// It keeps the raster's pixel grid: fills sit on pixel edges, one-pixel lines
// on pixel centres, and straight edges are drawn with crispEdges, so the
// document is as sharp as the raster at 1x and sharper at any other scale.
// The chart's data alone is placed in tenths of a pixel (fineScale), so that
// a document shown larger shows the detail the 1x raster loses.
// Lines that follow on from each other in one colour become one path in
// relative moves, and the mountain's quadrilaterals one filled area. Text is
// made of the outlines of the face the raster draws with, each glyph defined
// once and placed with <use>, its words kept in an aria-label. Every id
// starts with a prefix drawn from a hash of the document, so any number of
// these documents can be placed inline in one page.
//
// Used by one thread; the fonts are the shared FontCache.

#include "chart/Graphics.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CachedFont;

class SvgGraphics final : public Graphics {
public:
    // A document of width x height pixels, titled title.
    SvgGraphics(int width, int height, std::string_view title);

    void setColor(const Color& c) override { color_ = c; }
    Color getColor() const override { return color_; }
    void setFont(const Font& f) override { font_ = f; }
    Font getFont() const override { return font_; }
    const FontMetrics& getFontMetrics(const Font& f) override;

    void drawLine(int x1, int y1, int x2, int y2) override;
    void fillRect(int x, int y, int w, int h) override;
    void fillPolygon(const Polygon& polygon) override;
    void drawString(std::string_view text, int x, int y) override;
    void fill3DRect(int x, int y, int w, int h, bool raised) override;
    void draw3DRect(int x, int y, int w, int h, bool raised) override;
    // A vector document holds no pixels to copy: nothing is drawn.
    void drawImage(const Image& image, int x, int y) override;
    void setClip(const Rectangle* area) override;

    // The data in tenths of a pixel: as much of it as the eye can tell, in
    // few digits.
    static constexpr int kFine = 10;
    int fineScale() const override { return kFine; }
    void drawFineLine(int x1, int y1, int x2, int y2) override { line(x1, y1, x2, y2, kFine); }
    void fillFineRect(int x, int y, int w, int h) override { fill(x, y, w, h, kFine); }
    void fillFinePolygon(const Polygon& polygon) override { polygon_(polygon, kFine); }

    // The whole document; drawing is over once it is taken.
    std::string finish();

private:
    struct Glyph {
        std::string id;  // empty for a blank glyph
        int advance = 0;
    };
    // A path still growing: a polyline of lines that follow on from each
    // other, or the top edge of a mountain over its base line.
    struct Pending {
        bool area = false;
        Color color;
        std::vector<Point> points;
        int base = 0;   // the area's base line
        int scale = 1;  // its units per pixel
    };
    struct Box {
        int64_t left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
        void add(int64_t x0, int64_t y0, int64_t x1, int64_t y1);
        bool meets(int64_t x0, int64_t y0, int64_t x1, int64_t y1) const;
    };

    // Writes what is pending when the box given meets it: what comes later
    // covers what came earlier.
    void before(int64_t x0, int64_t y0, int64_t x1, int64_t y1);
    void flush();
    void writePending(const Pending& p);
    // The drawing operations in units of 1/scale pixel.
    void line(int x1, int y1, int x2, int y2, int scale);
    void fill(int x, int y, int w, int h, int scale);
    void polygon_(const Polygon& polygon, int scale);
    void rect(int64_t x, int64_t y, int64_t w, int64_t h, int scale);
    void openGroup(const std::string& attributes);
    void closeGroup();
    void closeClip();
    const Glyph& glyph(const CachedFont& font, char32_t cp);

    int width_;
    int height_;
    std::string title_;
    Color color_{};
    Font font_{};
    std::string body_;
    std::string defs_;
    std::string group_;  // attributes of the open <g>, empty for none
    std::vector<Pending> pending_;
    Box pendingBox_;
    std::map<std::pair<const CachedFont*, char32_t>, Glyph> glyphs_;
    int clips_ = 0;
    bool clipOpen_ = false;
};
