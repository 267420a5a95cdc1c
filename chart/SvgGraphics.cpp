#include "chart/SvgGraphics.h"

#include "chart/FontCache.h"
#include "support/Utf8.h"

#include <algorithm>
#include <charconv>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

// Stands for the document's id prefix until the document is whole: escaped
// text and outlines never hold it.
constexpr char kIdMark = '\x01';

void appendInt(std::string& out, int64_t v) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
}

// The centre of pixel v: v + 0.5.
void appendCentre(std::string& out, int64_t v) {
    if (v >= 0) {
        out += std::to_string(v);
    } else {
        out += '-';
        out += std::to_string(-v - 1);
    }
    out += ".5";
}

// v / scale pixels, for a scale that divides 10: one decimal at most.
void appendScaled(std::string& out, int64_t v, int scale) {
    if (scale == 1) {
        appendInt(out, v);
        return;
    }
    if (v < 0) out += '-';
    const int64_t a = v < 0 ? -v : v;
    appendInt(out, a / scale);
    if (const int64_t part = a % scale; part != 0) {
        out += '.';
        out += char('0' + part * 10 / scale);
    }
}

// The centre of the unit v, a one-pixel line's middle: v / scale + 0.5.
void appendScaledCentre(std::string& out, int64_t v, int scale) {
    if (scale == 1) {
        appendCentre(out, v);
    } else {
        appendScaled(out, v + scale / 2, scale);
    }
}

// The pixels v / scale falls in, rounded outward.
int64_t pixelBelow(int64_t v, int scale) { return v >= 0 ? v / scale : -((-v + scale - 1) / scale); }
int64_t pixelAbove(int64_t v, int scale) { return -pixelBelow(-v, scale); }

void appendColor(std::string& out, const Color& c) {
    static const char* digits = "0123456789abcdef";
    out += '#';
    for (uint8_t v : {c.r, c.g, c.b}) {
        out += digits[v >> 4];
        out += digits[v & 15];
    }
}

// A 1/64-pixel value in pixels with at most two decimals: the outlines are
// hinted to the pixel grid, so most points need none. Integer arithmetic
// keeps the text the same on every system.
void appendPixels(std::string& out, int64_t v26) {
    const int64_t hundredths = (v26 * 100 + (v26 >= 0 ? 32 : -32)) / 64;
    if (hundredths < 0) out += '-';
    const int64_t a = hundredths < 0 ? -hundredths : hundredths;
    out += std::to_string(a / 100);
    if (const int64_t f = a % 100; f != 0) {
        out += '.';
        out += char('0' + f / 10);
        if (f % 10 != 0) out += char('0' + f % 10);
    }
}

// A glyph as path data in pixels from the pen on the baseline, y downward;
// a bitmap face's runs as one-pixel-high rectangles.
std::string glyphPath(const CachedFont::Outline& outline) {
    std::string path;
    for (const CachedFont::Outline::Step& step : outline.steps) {
        if (step.command == 'M' && !path.empty()) path += 'Z';
        path += step.command;
        for (uint8_t i = 0; i < step.points; ++i) {
            if (i != 0) path += ' ';
            appendPixels(path, step.at[i].x);
            path += ' ';
            appendPixels(path, -step.at[i].y);
        }
    }
    if (!path.empty()) path += 'Z';
    for (const CachedFont::Outline::Run& run : outline.runs) {
        path += 'M' + std::to_string(run.x) + ' ' + std::to_string(run.y) + 'h' + std::to_string(run.width) + "v1h-" +
                std::to_string(run.width) + 'z';
    }
    return path;
}

// Text for an attribute or an element: what XML does not allow (control
// characters, malformed bytes) is left out or replaced, so any caption keeps
// the document well-formed.
void appendEscaped(std::string& out, std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        const char32_t cp = utf8::decode(text, pos);
        switch (cp) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if ((cp < 0x20 && cp != '\t') || cp == 0xFFFE || cp == 0xFFFF) break;
                utf8::append(out, cp);
        }
    }
}

}  // namespace

void SvgGraphics::Box::add(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    if (right < left) {
        *this = Box{x0, y0, x1, y1};
        return;
    }
    left = std::min(left, x0);
    top = std::min(top, y0);
    right = std::max(right, x1);
    bottom = std::max(bottom, y1);
}

bool SvgGraphics::Box::meets(int64_t x0, int64_t y0, int64_t x1, int64_t y1) const {
    return right >= left && x0 <= right && x1 >= left && y0 <= bottom && y1 >= top;
}

SvgGraphics::SvgGraphics(int width, int height, std::string_view title)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
    appendEscaped(title_, title);
}

const FontMetrics& SvgGraphics::getFontMetrics(const Font& f) { return FontCache::get(f); }

void SvgGraphics::before(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    if (pendingBox_.meets(x0, y0, x1, y1)) flush();
}

void SvgGraphics::flush() {
    if (pending_.empty()) return;
    closeGroup();
    for (const Pending& p : pending_) writePending(p);
    pending_.clear();
    pendingBox_ = Box{};
}

void SvgGraphics::openGroup(const std::string& attributes) {
    if (group_ == attributes) return;
    closeGroup();
    body_ += "<g " + attributes + ">";
    group_ = attributes;
}

void SvgGraphics::closeGroup() {
    if (group_.empty()) return;
    body_ += "</g>\n";
    group_.clear();
}

// Clipped to the document, as the raster clips to its image.
void SvgGraphics::rect(int64_t x, int64_t y, int64_t w, int64_t h, int scale) {
    const int64_t x0 = std::max<int64_t>(x, 0);
    const int64_t y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(x + w, int64_t{width_} * scale);
    const int64_t y1 = std::min<int64_t>(y + h, int64_t{height_} * scale);
    if (x1 <= x0 || y1 <= y0) return;
    std::string fill = "fill=\"";
    appendColor(fill, color_);
    fill += '"';
    openGroup(fill);
    body_ += "<rect x=\"";
    appendScaled(body_, x0, scale);
    body_ += "\" y=\"";
    appendScaled(body_, y0, scale);
    body_ += "\" width=\"";
    appendScaled(body_, x1 - x0, scale);
    body_ += "\" height=\"";
    appendScaled(body_, y1 - y0, scale);
    body_ += "\"/>";
}

void SvgGraphics::fillRect(int x, int y, int w, int h) { fill(x, y, w, h, 1); }

void SvgGraphics::fill(int x, int y, int w, int h, int scale) {
    if (w <= 0 || h <= 0) return;
    before(pixelBelow(x, scale), pixelBelow(y, scale), pixelAbove(int64_t{x} + w, scale) - 1,
           pixelAbove(int64_t{y} + h, scale) - 1);
    rect(x, y, w, h, scale);
}

void SvgGraphics::drawLine(int x1, int y1, int x2, int y2) { line(x1, y1, x2, y2, 1); }

void SvgGraphics::line(int x1, int y1, int x2, int y2, int scale) {
    const Point from{x1, y1};
    const Point to{x2, y2};
    const int64_t left = pixelBelow(std::min(x1, x2), scale) - 1, right = pixelAbove(std::max(x1, x2), scale) + 1;
    const int64_t top = pixelBelow(std::min(y1, y2), scale) - 1, bottom = pixelAbove(std::max(y1, y2), scale) + 1;
    // Carry on the line this one follows on from, when its colour is the same.
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        if (!it->area && it->color == color_ && it->scale == scale && it->points.back() == from) {
            if (!(to == from)) it->points.push_back(to);
            pendingBox_.add(left, top, right, bottom);
            return;
        }
    }
    // A new path is written after everything pending: no need to write those first.
    Pending path;
    path.color = color_;
    path.scale = scale;
    path.points = {from};
    if (!(to == from)) path.points.push_back(to);
    pending_.push_back(std::move(path));
    pendingBox_.add(left, top, right, bottom);
}

void SvgGraphics::fillPolygon(const Polygon& polygon) { polygon_(polygon, 1); }

void SvgGraphics::polygon_(const Polygon& polygon, int scale) {
    if (polygon.size() < 3) return;
    int64_t left = polygon[0].x, right = left, top = polygon[0].y, bottom = top;
    for (const Point& p : polygon) {
        left = std::min<int64_t>(left, p.x);
        right = std::max<int64_t>(right, p.x);
        top = std::min<int64_t>(top, p.y);
        bottom = std::max<int64_t>(bottom, p.y);
    }
    left = pixelBelow(left, scale);
    top = pixelBelow(top, scale);
    right = pixelAbove(right, scale);
    bottom = pixelAbove(bottom, scale);
    // The mountain under a curve comes as quadrilaterals standing on one base
    // line, each starting where the one before ended: one area for them all.
    const bool standing = polygon.size() == 4 && polygon[2].x == polygon[1].x && polygon[3].x == polygon[0].x &&
                          polygon[2].y == polygon[3].y && polygon[1].x >= polygon[0].x;
    if (standing) {
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
            if (it->area && it->color == color_ && it->scale == scale && it->base == polygon[2].y &&
                it->points.back() == polygon[0]) {
                it->points.push_back(polygon[1]);
                pendingBox_.add(left, top, right, bottom);
                return;
            }
        }
        Pending area;
        area.area = true;
        area.color = color_;
        area.points = {polygon[0], polygon[1]};
        area.base = polygon[2].y;
        area.scale = scale;
        pending_.push_back(std::move(area));
        pendingBox_.add(left, top, right, bottom);
        return;
    }
    before(left, top, right, bottom);
    closeGroup();
    body_ += "<path d=\"M";
    appendScaled(body_, polygon[0].x, scale);
    body_ += ' ';
    appendScaled(body_, polygon[0].y, scale);
    for (size_t i = 1; i < polygon.size(); ++i) {
        body_ += 'l';
        appendScaled(body_, int64_t{polygon[i].x} - polygon[i - 1].x, scale);
        body_ += ' ';
        appendScaled(body_, int64_t{polygon[i].y} - polygon[i - 1].y, scale);
    }
    body_ += "z\" fill=\"";
    appendColor(body_, color_);
    body_ += "\" fill-rule=\"evenodd\"/>\n";
}

void SvgGraphics::writePending(const Pending& p) {
    const std::vector<Point>& pts = p.points;
    const int scale = p.scale;
    if (!p.area) {
        const Point a = pts.front();
        const Point b = pts.back();
        if (pts.size() <= 2 && (a.x == b.x || a.y == b.y)) {
            // A straight line along the grid is a row or column of pixels.
            const Color kept = color_;
            color_ = p.color;
            rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(int64_t{b.x} - a.x) + scale,
                 std::abs(int64_t{b.y} - a.y) + scale, scale);
            color_ = kept;
            return;
        }
    }
    closeGroup();
    body_ += "<path d=\"M";
    bool slanted = false;
    if (p.area) {
        appendScaled(body_, pts[0].x, scale);
        body_ += ' ';
        appendScaled(body_, p.base, scale);
        body_ += 'V';
        appendScaled(body_, pts[0].y, scale);
    } else {
        appendScaledCentre(body_, pts[0].x, scale);
        body_ += ' ';
        appendScaledCentre(body_, pts[0].y, scale);
    }
    for (size_t i = 1; i < pts.size(); ++i) {
        const int64_t dx = int64_t{pts[i].x} - pts[i - 1].x;
        const int64_t dy = int64_t{pts[i].y} - pts[i - 1].y;
        slanted = slanted || (dx != 0 && dy != 0);
        // A minus sign parts two numbers as well as a space does.
        body_ += i == 1 ? "l" : (dx < 0 ? "" : " ");
        appendScaled(body_, dx, scale);
        if (dy >= 0) body_ += ' ';
        appendScaled(body_, dy, scale);
    }
    if (p.area) {
        body_ += 'V';
        appendScaled(body_, p.base, scale);
        body_ += "Z\" fill=\"";
        appendColor(body_, p.color);
        body_ += "\"/>\n";
        return;
    }
    body_ += "\" fill=\"none\" stroke=\"";
    appendColor(body_, p.color);
    // Round joins keep a sharp turn within half a pixel of the raster's line;
    // a slanted curve is left to the viewer's smoothing.
    body_ += "\" stroke-linecap=\"square\" stroke-linejoin=\"round\"";
    if (slanted) body_ += " shape-rendering=\"auto\"";
    body_ += "/>\n";
}

const SvgGraphics::Glyph& SvgGraphics::glyph(const CachedFont& font, char32_t cp) {
    const auto key = std::make_pair(&font, cp);
    if (auto it = glyphs_.find(key); it != glyphs_.end()) return it->second;
    const CachedFont::Outline outline = font.outline(cp);
    const std::string path = glyphPath(outline);
    Glyph g;
    g.advance = outline.advance;
    if (!path.empty()) {
        g.id.assign(1, kIdMark);
        g.id += 'g';
        g.id += std::to_string(glyphs_.size());
        defs_ += "<path id=\"" + g.id + "\" d=\"" + path + "\"/>\n";
    }
    return glyphs_.emplace(key, std::move(g)).first->second;
}

void SvgGraphics::drawString(std::string_view text, int x, int y) {
    if (text.empty()) return;
    const CachedFont& font = FontCache::get(font_);
    std::string uses;
    int64_t pen = x;
    for (size_t pos = 0; pos < text.size();) {
        const Glyph& g = glyph(font, utf8::decode(text, pos));
        if (!g.id.empty()) {
            uses += "<use xlink:href=\"#" + g.id + "\" x=\"";
            appendInt(uses, pen);
            uses += "\" y=\"";
            appendInt(uses, y);
            uses += "\"/>";
        }
        pen += g.advance;
    }
    if (uses.empty()) return;
    // Glyphs may reach past their advance: a pixel of slack.
    before(int64_t{x} - 2, int64_t{y} - font.getAscent() - 1, pen + 2, int64_t{y} + font.getDescent() + 1);
    closeGroup();
    body_ += "<g fill=\"";
    appendColor(body_, color_);
    body_ += "\" shape-rendering=\"auto\" aria-label=\"";
    appendEscaped(body_, text);
    body_ += "\">" + uses + "</g>\n";
}

void SvgGraphics::fill3DRect(int x, int y, int w, int h, bool raised) {
    drawBevelledBox(*this, x, y, w, h, raised, true);
}

void SvgGraphics::draw3DRect(int x, int y, int w, int h, bool raised) {
    drawBevelledBox(*this, x, y, w, h, raised, false);
}

void SvgGraphics::drawImage(const Image&, int, int) {}

void SvgGraphics::setClip(const Rectangle* area) {
    flush();
    closeGroup();
    closeClip();
    if (area == nullptr) return;
    std::string id(1, kIdMark);
    id += 'c';
    id += std::to_string(clips_++);
    defs_ += "<clipPath id=\"" + id + "\"><rect x=\"";
    appendInt(defs_, area->x);
    defs_ += "\" y=\"";
    appendInt(defs_, area->y);
    defs_ += "\" width=\"";
    appendInt(defs_, std::max(area->width, 0));
    defs_ += "\" height=\"";
    appendInt(defs_, std::max(area->height, 0));
    defs_ += "\"/></clipPath>\n";
    body_ += "<g clip-path=\"url(#" + id + ")\">\n";
    clipOpen_ = true;
}

void SvgGraphics::closeClip() {
    if (!clipOpen_) return;
    body_ += "</g>\n";
    clipOpen_ = false;
}

std::string SvgGraphics::finish() {
    flush();
    closeGroup();
    closeClip();
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                      "version=\"1.1\" width=\"";
    appendInt(out, width_);
    out += "\" height=\"";
    appendInt(out, height_);
    out += "\" viewBox=\"0 0 ";
    appendInt(out, width_);
    out += ' ';
    appendInt(out, height_);
    out += "\" shape-rendering=\"crispEdges\" role=\"img\" aria-labelledby=\"";
    out += kIdMark;
    out += "title\">\n<title id=\"";
    out += kIdMark;
    out += "title\">";
    out += title_;
    out += "</title>\n";
    if (!defs_.empty()) out += "<defs>\n" + defs_ + "</defs>\n";
    out += body_;
    out += "</svg>\n";
    // Ids of their own, so that documents placed in one page keep their
    // glyphs apart: the same document always gets the same ones.
    std::string prefix = "zq";
    const uint64_t hash = XXH3_64bits(out.data(), out.size());
    for (int shift = 60; shift >= 16; shift -= 4) prefix += "0123456789abcdef"[(hash >> shift) & 15];
    prefix += '-';
    std::string named;
    named.reserve(out.size() + 16 * static_cast<size_t>(std::count(out.begin(), out.end(), kIdMark)));
    for (char c : out) {
        if (c == kIdMark) named += prefix;
        else named += c;
    }
    return named;
}
