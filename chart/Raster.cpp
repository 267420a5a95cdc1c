#include "chart/Raster.h"

#include "support/Compiler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Products of two coordinate differences reach 2^65; the clipping arithmetic
// is done in 128 bits and only the bounded stepping state is kept in 64.
using i128 = zk::Int128;

i128 floorDiv(i128 a, i128 b) {  // b > 0
    // Chart-sized values fit 64 bits, whose division is many times faster.
    if (a >= INT64_MIN && a <= INT64_MAX && b <= INT64_MAX) {
        const int64_t a64 = static_cast<int64_t>(a), b64 = static_cast<int64_t>(b);
        int64_t q = a64 / b64;
        if (a64 % b64 != 0 && a64 < 0) --q;
        return q;
    }
    i128 q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

i128 ceilDiv(i128 a, i128 b) {  // b > 0
    i128 q = a / b;
    if (a % b != 0 && a > 0) ++q;
    return q;
}

// A line stepped along its major axis m (|dm| >= |dn|). Step k (0..|dm|) is
// at m1 + k*sm on the major axis and n1 + sn*floor((2k|dn| + |dm|) / 2|dm|)
// on the minor one: the minor offset rounded half up.
struct LineSteps {
    int64_t m1, n1, adm, adn, sm, sn;
};

// Narrows [kLo, kHi] to the steps that land inside an mLimit x nLimit
// buffer, so the loop never runs longer than the buffer is wide or tall.
// False when no step lands inside.
bool clipSteps(const LineSteps& l, int64_t mLimit, int64_t nLimit, i128& kLo, i128& kHi) {
    if (l.sm > 0) {
        kLo = std::max<i128>(kLo, -l.m1);
        kHi = std::min<i128>(kHi, mLimit - 1 - l.m1);
    } else {
        kLo = std::max<i128>(kLo, l.m1 - (mLimit - 1));
        kHi = std::min<i128>(kHi, l.m1);
    }
    // The minor offset must stay within [a, b].
    const i128 a = l.sn > 0 ? -l.n1 : l.n1 - (nLimit - 1);
    const i128 b = l.sn > 0 ? nLimit - 1 - l.n1 : l.n1;
    if (b < 0) return false;
    if (a > 0) {
        if (l.adn == 0) return false;
        kLo = std::max<i128>(kLo, ceilDiv((2 * a - 1) * l.adm, i128(2) * l.adn));
    }
    if (l.adn > 0) kHi = std::min<i128>(kHi, ceilDiv((2 * b + 1) * l.adm, i128(2) * l.adn) - 1);
    return kLo <= kHi;
}

void stepLine(PixelBuffer& dst, int64_t m1, int64_t n1, int64_t dm, int64_t dn, int64_t mLimit,
              int64_t nLimit, int64_t mStride, int64_t nStride, uint32_t value) {
    const LineSteps l{m1, n1, dm < 0 ? -dm : dm, dn < 0 ? -dn : dn, dm < 0 ? -1 : 1, dn < 0 ? -1 : 1};
    const int64_t m2 = m1 + dm, n2 = n1 + dn;
    const bool inside = m1 >= 0 && m1 < mLimit && n1 >= 0 && n1 < nLimit && m2 >= 0 && m2 < mLimit &&
                        n2 >= 0 && n2 < nLimit;
    i128 kLo = 0;
    i128 kHi = l.adm;
    if (!inside && !clipSteps(l, mLimit, nLimit, kLo, kHi)) return;

    const int64_t twoAdm = 2 * l.adm;
    const int64_t twoAdn = 2 * l.adn;
    int64_t off = 0;
    int64_t rem = l.adm;
    if (kLo > 0) {
        const i128 n = i128(2) * kLo * l.adn + l.adm;
        off = static_cast<int64_t>(n / twoAdm);
        rem = static_cast<int64_t>(n % twoAdm);
    }
    int64_t idx = (m1 + l.sm * static_cast<int64_t>(kLo)) * mStride + (n1 + l.sn * off) * nStride;
    const int64_t mStep = l.sm * mStride;
    const int64_t nStep = l.sn * nStride;
    uint32_t* px = dst.pixels;
    for (int64_t count = static_cast<int64_t>(kHi - kLo) + 1; count > 0; --count) {
        px[idx] = value;
        idx += mStep;
        rem += twoAdn;
        if (rem >= twoAdm) {
            rem -= twoAdm;
            idx += nStep;
        }
    }
}

}  // namespace

void rasterLine(PixelBuffer& dst, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value) {
    if (dst.pixels == nullptr || dst.width <= 0 || dst.height <= 0) return;
    const int64_t dx = x2 - x1;
    const int64_t dy = y2 - y1;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    if (adx >= ady) {
        stepLine(dst, x1, y1, dx, dy, dst.width, dst.height, 1, dst.pitch(), value);
    } else {
        stepLine(dst, y1, x1, dy, dx, dst.height, dst.width, dst.pitch(), 1, value);
    }
}

void rasterFillRect(PixelBuffer& dst, int64_t x, int64_t y, int64_t w, int64_t h, uint32_t value) {
    if (dst.pixels == nullptr || w <= 0 || h <= 0) return;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(x + w, dst.width);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(y + h, dst.height);
    if (left >= right || top >= bottom) return;
    const int64_t span = right - left;
    const int64_t pitch = dst.pitch();
    int64_t at = top * pitch + left;
    if (span == 1) {  // a column: bars and mountain pieces one pixel wide
        for (int64_t row = top; row < bottom; ++row, at += pitch) dst.pixels[at] = value;
        return;
    }
    for (int64_t row = top; row < bottom; ++row, at += pitch) std::fill_n(dst.pixels + at, span, value);
}

void rasterCopy(PixelBuffer& dst, const uint32_t* src, int srcWidth, int srcHeight, int x, int y) {
    if (dst.pixels == nullptr || src == nullptr || srcWidth <= 0 || srcHeight <= 0) return;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(int64_t(x) + srcWidth, dst.width);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(int64_t(y) + srcHeight, dst.height);
    if (left >= right || top >= bottom) return;
    const size_t bytes = size_t(right - left) * sizeof(uint32_t);
    auto copyRow = [&](int64_t row) {
        const uint32_t* from = src + (row - y) * srcWidth + (left - x);
        std::memmove(dst.pixels + row * dst.pitch() + left, from, bytes);
    };
    // Copying an image onto itself downward must go bottom-up so that no
    // source row is overwritten before it is read.
    if (src == dst.pixels && y > 0) {
        for (int64_t row = bottom - 1; row >= top; --row) copyRow(row);
    } else {
        for (int64_t row = top; row < bottom; ++row) copyRow(row);
    }
}

void PolygonFiller::fill(PixelBuffer& dst, const Polygon& polygon, uint32_t value, int64_t dx0, int64_t dy0) {
    const size_t n = polygon.size();
    if (dst.pixels == nullptr || n < 3) return;
    const int64_t width = dst.width;
    const int64_t height = dst.height;

    // A polygon without width or height has no pixel centre inside, and one
    // wholly off the image has none to fill: a mountain piece between two
    // samples in the same column is the common case.
    int64_t minX = polygon[0].x, maxX = minX, minY = polygon[0].y, maxY = minY;
    for (const Point& p : polygon) {
        minX = std::min<int64_t>(minX, p.x);
        maxX = std::max<int64_t>(maxX, p.x);
        minY = std::min<int64_t>(minY, p.y);
        maxY = std::max<int64_t>(maxY, p.y);
    }
    minX -= dx0, maxX -= dx0, minY -= dy0, maxY -= dy0;
    if (minX == maxX || minY == maxY || maxX <= 0 || maxY <= 0 || minX >= width || minY >= height) return;

    // Each non-horizontal edge covers the rows whose centre lies in
    // [yTop, yBottom). Along it we track v = (crossing x) - 0.5 as q + r/den
    // with 0 <= r < den; the first pixel whose centre is at or right of the
    // crossing is then ceil(v).
    edges_.clear();
    for (size_t i = 0; i < n; ++i) {
        struct At {
            int64_t x, y;
        };
        At a{polygon[i].x - dx0, polygon[i].y - dy0};
        At b{polygon[(i + 1) % n].x - dx0, polygon[(i + 1) % n].y - dy0};
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        const int64_t rowStart = std::max<int64_t>(a.y, 0);
        const int64_t rowEnd = std::min<int64_t>(b.y, height);
        if (rowStart >= rowEnd) continue;
        const int64_t dy = b.y - a.y;
        const int64_t dx = b.x - a.x;
        const int64_t den = 2 * dy;
        const i128 num = i128(2 * a.x - 1) * dy + i128(2 * rowStart + 1 - 2 * a.y) * dx;
        Edge e{};
        e.rowStart = rowStart;
        e.rowEnd = rowEnd;
        e.den = den;
        e.q = static_cast<int64_t>(floorDiv(num, den));
        e.r = static_cast<int64_t>(num - i128(e.q) * den);
        e.stepQ = static_cast<int64_t>(floorDiv(i128(2) * dx, den));
        e.stepR = 2 * dx - e.stepQ * den;
        edges_.push_back(e);
    }
    if (edges_.empty()) return;
    std::sort(edges_.begin(), edges_.end(),
              [](const Edge& l, const Edge& r) { return l.rowStart < r.rowStart; });

    int64_t lastRow = 0;
    for (const Edge& e : edges_) lastRow = std::max(lastRow, e.rowEnd);

    active_.clear();
    size_t next = 0;
    int64_t row = edges_.front().rowStart;
    while (row < lastRow) {
        for (size_t i = 0; i < active_.size();) {
            if (active_[i]->rowEnd <= row) {
                active_[i] = active_.back();
                active_.pop_back();
            } else {
                ++i;
            }
        }
        while (next < edges_.size() && edges_[next].rowStart == row) active_.push_back(&edges_[next++]);
        if (active_.empty()) {
            if (next == edges_.size()) break;
            row = edges_[next].rowStart;
            continue;
        }
        // Rows up to the next edge start or end share one set of edges.
        int64_t bandEnd = next < edges_.size() ? edges_[next].rowStart : lastRow;
        for (const Edge* e : active_) bandEnd = std::min(bandEnd, e->rowEnd);

        if (active_.size() == 2) {
            // The usual case (any convex shape): one span per row.
            Edge& a = *active_[0];
            Edge& b = *active_[1];
            if (a.stepQ == 0 && a.stepR == 0 && b.stepQ == 0 && b.stepR == 0) {
                // Two vertical edges: a plain rectangle, such as the body of
                // a mountain piece below its curve.
                int64_t left = crossing(a), right = crossing(b);
                if (left > right) std::swap(left, right);
                rasterFillRect(dst, left, row, right - left, bandEnd - row, value);
                row = bandEnd;
                continue;
            }
            for (; row < bandEnd; ++row) {
                int64_t left = crossing(a), right = crossing(b);
                if (left > right) std::swap(left, right);
                left = std::clamp<int64_t>(left, 0, width);
                right = std::clamp<int64_t>(right, 0, width);
                uint32_t* line = dst.pixels + row * dst.pitch();
                for (int64_t x = left; x < right; ++x) line[x] = value;
                advance(a);
                advance(b);
            }
            continue;
        }
        for (; row < bandEnd; ++row) {
            crossings_.clear();
            for (Edge* e : active_) {
                crossings_.push_back(crossing(*e));
                advance(*e);
            }
            // Few crossings per row: insertion sort beats the general sort.
            for (size_t i = 1; i < crossings_.size(); ++i) {
                int64_t c = crossings_[i];
                size_t j = i;
                while (j > 0 && crossings_[j - 1] > c) {
                    crossings_[j] = crossings_[j - 1];
                    --j;
                }
                crossings_[j] = c;
            }
            uint32_t* line = dst.pixels + row * dst.pitch();
            for (size_t i = 0; i + 1 < crossings_.size(); i += 2) {
                const int64_t left = std::clamp<int64_t>(crossings_[i], 0, width);
                const int64_t right = std::clamp<int64_t>(crossings_[i + 1], 0, width);
                if (left < right) std::fill(line + left, line + right, value);
            }
        }
    }
}
