#pragma once
// Pixel-exact rasterisation onto an ARGB32 buffer: lines, rectangles,
// polygons and block copies. Every routine clips to the buffer before it
// steps, so coordinates anywhere in the int range cost at most one pass over
// the visible pixels and never touch memory outside the buffer.
//
// Pixel (x, y) is the unit square [x, x+1) x [y, y+1); its centre is
// (x + 0.5, y + 0.5). Nothing is blended: every pixel written takes exactly
// the given value.

#include <cstdint>
#include <vector>

#include "chart/Graphics.h"

struct PixelBuffer {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    // Pixels from one row to the next; 0 for width. A window into a larger
    // buffer has the larger one's.
    int64_t stride = 0;
    int64_t pitch() const { return stride > 0 ? stride : width; }
};

// Bresenham line, both end points included. Clipping keeps exactly the
// pixels the unclipped line would have had inside the buffer.
void rasterLine(PixelBuffer& dst, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value);

// Columns x..x+w-1, rows y..y+h-1; nothing when w or h is 0 or less.
void rasterFillRect(PixelBuffer& dst, int64_t x, int64_t y, int64_t w, int64_t h, uint32_t value);

// Copies a w x h block of source rows (stride srcWidth) with its top-left
// corner at (x, y). Source and destination may be the same buffer.
void rasterCopy(PixelBuffer& dst, const uint32_t* src, int srcWidth, int srcHeight, int x, int y);

// Even-odd scanline fill: a pixel is filled when its centre lies inside the
// polygon. Adjacent polygons sharing an edge therefore neither overlap nor
// leave a gap. Keeps its edge tables between calls to avoid reallocating.
class PolygonFiller {
public:
    // Each point is taken as (x - dx, y - dy): a polygon drawn into a window of a larger buffer.
    void fill(PixelBuffer& dst, const Polygon& polygon, uint32_t value, int64_t dx = 0, int64_t dy = 0);

private:
    struct Edge {
        int64_t rowEnd;  // first row past the edge
        int64_t q;       // floor of (crossing x - 0.5) ...
        int64_t r;       // ... and its remainder over den
        int64_t den;
        int64_t stepQ;
        int64_t stepR;
        int64_t rowStart;
    };
    // First pixel whose centre is at or right of the edge on the current row.
    static int64_t crossing(const Edge& e) { return e.q + (e.r > 0 ? 1 : 0); }
    static void advance(Edge& e) {
        e.q += e.stepQ;
        e.r += e.stepR;
        if (e.r >= e.den) {
            e.r -= e.den;
            ++e.q;
        }
    }
    std::vector<Edge> edges_;
    std::vector<Edge*> active_;
    std::vector<int64_t> crossings_;
};
