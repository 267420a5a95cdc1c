#pragma once
// A drawing context that draws what it is asked k times larger on another
// context: the same chart at k times the resolution for high-density
// screens, from the same layout code.
//
// The layout stays the 1x layout: the font metrics it hands out are those of
// the 1x fonts, every coordinate is multiplied by k, a one-pixel line becomes
// k pixels thick, and text is drawn from the font at k times its size, each
// character where the 1x advances put it (hinted text at k times may be a
// little wider or narrower; the 1x layout decides). Nothing is smoothed: the
// target keeps only the colours it is given. The chart's data alone is
// drawn on the target's own grid (fineScale), so it shows the detail the
// 1x grid loses.

#include "chart/Graphics.h"

class ScaledGraphics final : public Graphics {
public:
    // target must outlive this context; k is at least 1.
    ScaledGraphics(Graphics& target, int k);

    void setColor(const Color& c) override { target_.setColor(c); }
    Color getColor() const override { return target_.getColor(); }
    void setFont(const Font& f) override;
    Font getFont() const override { return font_; }
    const FontMetrics& getFontMetrics(const Font& f) override;

    void drawLine(int x1, int y1, int x2, int y2) override;
    void fillRect(int x, int y, int w, int h) override;
    void fillPolygon(const Polygon& polygon) override;
    void drawString(std::string_view text, int x, int y) override;
    void fill3DRect(int x, int y, int w, int h, bool raised) override;
    void draw3DRect(int x, int y, int w, int h, bool raised) override;
    // Copied as it is, its corner at k times (x, y).
    void drawImage(const Image& image, int x, int y) override;
    void setClip(const Rectangle* area) override;

    // The data on the target's own pixels: a line is k of them wide, side
    // by side across its main direction.
    int fineScale() const override { return k_; }
    void drawFineLine(int x1, int y1, int x2, int y2) override;
    void fillFineRect(int x, int y, int w, int h) override { target_.fillRect(x, y, w, h); }
    void fillFinePolygon(const Polygon& polygon) override { target_.fillPolygon(polygon); }

private:
    int scale(int64_t v) const;

    Graphics& target_;
    int k_;
    Font font_{};
    Polygon scaled_;
};
