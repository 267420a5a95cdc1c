#include "chart/ScaledGraphics.h"

#include "chart/ChartMath.h"
#include "chart/FontCache.h"
#include "support/Utf8.h"

#include <algorithm>
#include <cstdlib>

ScaledGraphics::ScaledGraphics(Graphics& target, int k) : target_(target), k_(std::max(k, 1)) {}

int ScaledGraphics::scale(int64_t v) const { return chart::clampToInt(v * k_); }

void ScaledGraphics::setFont(const Font& f) {
    font_ = f;
    Font big = f;
    big.size = chart::clampToInt(int64_t{f.size} * k_);
    target_.setFont(big);
}

const FontMetrics& ScaledGraphics::getFontMetrics(const Font& f) { return FontCache::get(f); }

void ScaledGraphics::fillRect(int x, int y, int w, int h) {
    if (w <= 0 || h <= 0) return;
    target_.fillRect(scale(x), scale(y), scale(w), scale(h));
}

void ScaledGraphics::drawLine(int x1, int y1, int x2, int y2) {
    const int64_t k = k_;
    if (x1 == x2 || y1 == y2) {
        // Along the grid: exactly the blocks of the 1x pixels.
        fillRect(std::min(x1, x2), std::min(y1, y2), chart::clampToInt(std::abs(int64_t{x2} - x1) + 1),
                 chart::clampToInt(std::abs(int64_t{y2} - y1) + 1));
        return;
    }
    // k lines side by side across the line's main direction, each running
    // from the block of one end to the far side of the block of the other.
    const bool alongX = std::abs(int64_t{x2} - x1) >= std::abs(int64_t{y2} - y1);
    int64_t a1 = (alongX ? x1 : y1) * k;
    int64_t a2 = (alongX ? x2 : y2) * k;
    (a2 >= a1 ? a2 : a1) += k - 1;
    const int64_t b1 = (alongX ? y1 : x1) * k;
    const int64_t b2 = (alongX ? y2 : x2) * k;
    for (int64_t j = 0; j < k; ++j) {
        const int p1 = chart::clampToInt(a1), p2 = chart::clampToInt(a2);
        const int q1 = chart::clampToInt(b1 + j), q2 = chart::clampToInt(b2 + j);
        if (alongX) {
            target_.drawLine(p1, q1, p2, q2);
        } else {
            target_.drawLine(q1, p1, q2, p2);
        }
    }
}

void ScaledGraphics::drawFineLine(int x1, int y1, int x2, int y2) {
    const bool alongX = std::abs(int64_t{x2} - x1) >= std::abs(int64_t{y2} - y1);
    for (int64_t j = 0; j < k_; ++j) {
        if (alongX) {
            target_.drawLine(x1, chart::clampToInt(y1 + j), x2, chart::clampToInt(y2 + j));
        } else {
            target_.drawLine(chart::clampToInt(x1 + j), y1, chart::clampToInt(x2 + j), y2);
        }
    }
}

void ScaledGraphics::fillPolygon(const Polygon& polygon) {
    scaled_.resize(polygon.size());
    for (size_t i = 0; i < polygon.size(); ++i) scaled_[i] = {scale(polygon[i].x), scale(polygon[i].y)};
    target_.fillPolygon(scaled_);
}

void ScaledGraphics::drawString(std::string_view text, int x, int y) {
    const FontMetrics& small = getFontMetrics(font_);
    int64_t pen = x;
    for (size_t pos = 0; pos < text.size();) {
        const size_t from = pos;
        utf8::decode(text, pos);
        const std::string_view one = text.substr(from, pos - from);
        target_.drawString(one, scale(pen), scale(y));
        pen += small.stringWidth(one);
    }
}

void ScaledGraphics::fill3DRect(int x, int y, int w, int h, bool raised) {
    drawBevelledBox(*this, x, y, w, h, raised, true);
}

void ScaledGraphics::draw3DRect(int x, int y, int w, int h, bool raised) {
    drawBevelledBox(*this, x, y, w, h, raised, false);
}

void ScaledGraphics::drawImage(const Image& image, int x, int y) { target_.drawImage(image, scale(x), scale(y)); }

void ScaledGraphics::setClip(const Rectangle* area) {
    if (area == nullptr) {
        target_.setClip(nullptr);
        return;
    }
    // The blocks of the 1x pixels the area holds.
    const Rectangle big{scale(area->x), scale(area->y), scale(std::max(area->width, 0)),
                        scale(std::max(area->height, 0))};
    target_.setClip(&big);
}
