#include "chart/Raster.h"

#include <algorithm>
#include <cstring>

namespace {

// Products of two coordinate differences reach 2^65; the clipping arithmetic
// is done in 128 bits and only the bounded stepping state is kept in 64.
using i128 = __int128;

i128 floorDiv(i128 a, i128 b) {  // b > 0
    i128 q = a / b;
    if (a % b != 0 && a < 0) --q;
    return q;
}

i128 ceilDiv(i128 a, i128 b) {  // b > 0
    i128 q = a / b;
    if (a % b != 0 && a > 0) ++q;
    return q;
}

// Steps a line along its major axis m (|dm| >= |dn|). Step k (0..|dm|) is at
// m1 + k*sm on the major axis and n1 + sn*floor((2k|dn| + |dm|) / 2|dm|) on
// the minor one: the minor offset rounded half up. The range of k is first
// narrowed to the steps that land inside the buffer, so the loop never runs
// longer than the buffer is wide or tall.
void stepLine(PixelBuffer& dst, int64_t m1, int64_t n1, int64_t dm, int64_t dn, int64_t mLimit,
              int64_t nLimit, int64_t mStride, int64_t nStride, uint32_t value) {
    const int64_t adm = dm < 0 ? -dm : dm;
    const int64_t adn = dn < 0 ? -dn : dn;
    const int64_t sm = dm < 0 ? -1 : 1;
    const int64_t sn = dn < 0 ? -1 : 1;

    i128 kLo = 0;
    i128 kHi = adm;
    // Major axis inside [0, mLimit).
    if (sm > 0) {
        kLo = std::max<i128>(kLo, -m1);
        kHi = std::min<i128>(kHi, mLimit - 1 - m1);
    } else {
        kLo = std::max<i128>(kLo, m1 - (mLimit - 1));
        kHi = std::min<i128>(kHi, m1);
    }
    // Minor offset inside [a, b].
    const i128 a = sn > 0 ? -n1 : n1 - (nLimit - 1);
    const i128 b = sn > 0 ? nLimit - 1 - n1 : n1;
    if (b < 0) return;
    if (a > 0) {
        if (adn == 0) return;
        kLo = std::max<i128>(kLo, ceilDiv((2 * a - 1) * adm, i128(2) * adn));
    }
    if (adn > 0) kHi = std::min<i128>(kHi, ceilDiv((2 * b + 1) * adm, i128(2) * adn) - 1);
    if (kLo > kHi) return;

    const int64_t twoAdm = 2 * adm;
    const int64_t twoAdn = 2 * adn;
    int64_t off = 0;
    int64_t rem = adm;
    if (adm > 0) {
        const i128 n = i128(2) * kLo * adn + adm;
        off = static_cast<int64_t>(n / twoAdm);
        rem = static_cast<int64_t>(n % twoAdm);
    }
    const int64_t m = m1 + sm * static_cast<int64_t>(kLo);
    const int64_t nn = n1 + sn * off;
    int64_t idx = m * mStride + nn * nStride;
    const int64_t mStep = sm * mStride;
    const int64_t nStep = sn * nStride;
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

void rasterLine(PixelBuffer& dst, int x1, int y1, int x2, int y2, uint32_t value) {
    if (dst.pixels == nullptr || dst.width <= 0 || dst.height <= 0) return;
    const int64_t dx = int64_t(x2) - x1;
    const int64_t dy = int64_t(y2) - y1;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    if (adx >= ady) {
        stepLine(dst, x1, y1, dx, dy, dst.width, dst.height, 1, dst.width, value);
    } else {
        stepLine(dst, y1, x1, dy, dx, dst.height, dst.width, dst.width, 1, value);
    }
}

void rasterFillRect(PixelBuffer& dst, int64_t x, int64_t y, int64_t w, int64_t h, uint32_t value) {
    if (dst.pixels == nullptr || w <= 0 || h <= 0) return;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(x + w, dst.width);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(y + h, dst.height);
    if (left >= right || top >= bottom) return;
    for (int64_t row = top; row < bottom; ++row) {
        uint32_t* p = dst.pixels + row * dst.width;
        std::fill(p + left, p + right, value);
    }
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
        std::memmove(dst.pixels + row * dst.width + left, from, bytes);
    };
    // Copying an image onto itself downward must go bottom-up so that no
    // source row is overwritten before it is read.
    if (src == dst.pixels && y > 0) {
        for (int64_t row = bottom - 1; row >= top; --row) copyRow(row);
    } else {
        for (int64_t row = top; row < bottom; ++row) copyRow(row);
    }
}

void PolygonFiller::fill(PixelBuffer& dst, const Polygon& polygon, uint32_t value) {
    const size_t n = polygon.size();
    if (dst.pixels == nullptr || n < 3) return;
    const int64_t width = dst.width;
    const int64_t height = dst.height;

    // Each non-horizontal edge covers the rows whose centre lies in
    // [yTop, yBottom). Along it we track v = (crossing x) - 0.5 as q + r/den
    // with 0 <= r < den; the first pixel whose centre is at or right of the
    // crossing is then ceil(v).
    edges_.clear();
    for (size_t i = 0; i < n; ++i) {
        Point a = polygon[i];
        Point b = polygon[(i + 1) % n];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        const int64_t rowStart = std::max<int64_t>(a.y, 0);
        const int64_t rowEnd = std::min<int64_t>(b.y, height);
        if (rowStart >= rowEnd) continue;
        const int64_t dy = int64_t(b.y) - a.y;
        const int64_t dx = int64_t(b.x) - a.x;
        const int64_t den = 2 * dy;
        const i128 num = i128(2 * int64_t(a.x) - 1) * dy + i128(2 * rowStart + 1 - 2 * int64_t(a.y)) * dx;
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
    for (int64_t row = edges_.front().rowStart; row < lastRow; ++row) {
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
            row = edges_[next].rowStart - 1;
            continue;
        }

        crossings_.clear();
        for (Edge* e : active_) {
            crossings_.push_back(e->q + (e->r > 0 ? 1 : 0));
            e->q += e->stepQ;
            e->r += e->stepR;
            if (e->r >= e->den) {
                e->r -= e->den;
                ++e->q;
            }
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
        uint32_t* line = dst.pixels + row * width;
        for (size_t i = 0; i + 1 < crossings_.size(); i += 2) {
            const int64_t left = std::clamp<int64_t>(crossings_[i], 0, width);
            const int64_t right = std::clamp<int64_t>(crossings_[i + 1], 0, width);
            if (left < right) std::fill(line + left, line + right, value);
        }
    }
}
