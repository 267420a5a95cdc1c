#pragma once
// The drawing surface the chart engine draws on: an off-screen ARGB32 image
// and a drawing context over it. Coordinates are integer pixels, origin at the
// top-left, y downward. Everything is clipped to the image; nothing is
// anti-aliased, so a drawing holds only the colours it was given.

#include "encoders/PixelSource.h"
#include "support/ValueTypes.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rectangle {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rectangle&, const Rectangle&) = default;
};

using Polygon = std::vector<Point>;

class Image;

// A drawing context. Text is UTF-8.
class Graphics {
public:
    virtual ~Graphics() = default;
    virtual void setColor(const Color& c) = 0;
    virtual Color getColor() const = 0;
    virtual void setFont(const Font& f) = 0;
    virtual Font getFont() const = 0;
    // Metrics of the given font, current or not. The reference stays valid
    // for the life of the process (metrics are cached).
    virtual const FontMetrics& getFontMetrics(const Font& f) = 0;
    const FontMetrics& getFontMetrics() { return getFontMetrics(getFont()); }

    // A one-pixel line, both end points included.
    virtual void drawLine(int x1, int y1, int x2, int y2) = 0;
    // Columns x..x+w-1, rows y..y+h-1; nothing when w or h is 0 or less.
    virtual void fillRect(int x, int y, int w, int h) = 0;
    virtual void fillPolygon(const Polygon& polygon) = 0;
    // Left edge at x, baseline at y, in the current font and colour.
    virtual void drawString(std::string_view text, int x, int y) = 0;
    // A bevelled box in the current colour, lighter and darker edges.
    virtual void fill3DRect(int x, int y, int w, int h, bool raised) = 0;
    virtual void draw3DRect(int x, int y, int w, int h, bool raised) = 0;
    virtual void drawImage(const Image& image, int x, int y) = 0;
    // Whatever is drawn from now on stays within area (columns x..x+width-1,
    // rows y..y+height-1) as well as the image; null lifts that limit.
    virtual void setClip(const Rectangle* area) = 0;

    // The chart's data (curve, mountain, bars, trend) is drawn at the
    // context's own resolution, on a grid this many times finer than the
    // layout's pixels, so that a zoomed image or a vector document shows
    // more of it than the layout's grid holds; text and layout stay on the
    // layout's grid. 1 for a context that draws as laid out.
    virtual int fineScale() const { return 1; }
    // On that grid: a line one layout pixel wide, both ends included ...
    virtual void drawFineLine(int x1, int y1, int x2, int y2) { drawLine(x1, y1, x2, y2); }
    // ... and fills, as fillRect and fillPolygon.
    virtual void fillFineRect(int x, int y, int w, int h) { fillRect(x, y, w, h); }
    virtual void fillFinePolygon(const Polygon& polygon) { fillPolygon(polygon); }
};

// The bevelled box of fill3DRect (fill set) and draw3DRect drawn through
// fillRect: top and left edges lit, bottom and right edges in shade when
// raised, the other way round when sunken. For contexts that are not a raster.
inline void drawBevelledBox(Graphics& g, int x, int y, int w, int h, bool raised, bool fill) {
    if (w <= 0 || h <= 0) return;
    const Color color = g.getColor();
    if (fill) g.fillRect(x + 1, y + 1, w - 2, h - 2);
    g.setColor(raised ? color.brighter() : color.darker());
    g.fillRect(x, y, w, 1);
    g.fillRect(x, y, 1, h);
    g.setColor(raised ? color.darker() : color.brighter());
    g.fillRect(x + 1, y + h - 1, w - 1, 1);
    g.fillRect(x + w - 1, y + 1, 1, h - 1);
    g.setColor(color);
}

// An off-screen RGB image (every pixel opaque) with its pixels in 0xAARRGGBB.
class Image : public PixelSource {
public:
    // Returns null when the size cannot be had (not positive, or too large).
    static std::unique_ptr<Image> create(int width, int height);
    // Large enough for any chart, small enough that a mistyped size in a
    // graph file cannot take the machine's memory (256 MB at most).
    static constexpr int kMaxSide = 65535;
    static constexpr int64_t kMaxPixels = int64_t(1) << 26;

    ~Image() override = default;
    // A drawing context whose drawing changes this image; it must not
    // outlive the image.
    virtual std::unique_ptr<Graphics> getGraphics() = 0;
    // Direct access to the pixel rows (width * height values, top row first).
    const uint32_t* data() const override = 0;
};
