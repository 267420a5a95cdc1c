#pragma once
// A drawing context for layout tests: it records every call with the colour
// and font in force, and measures text with fixed fake metrics, so a test can
// check the exact coordinates a chart asks for.

#include "chart/Graphics.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Every character (UTF-8 code point) is charWidth pixels wide.
class FixedFontMetrics : public FontMetrics {
public:
    FixedFontMetrics(int charWidth, int ascent, int descent, int leading = 0)
        : charWidth_(charWidth), ascent_(ascent), descent_(descent), leading_(leading) {}
    int stringWidth(std::string_view text) const override;
    int getHeight() const override { return ascent_ + descent_ + leading_; }
    int getAscent() const override { return ascent_; }
    int getDescent() const override { return descent_; }

private:
    int charWidth_;
    int ascent_;
    int descent_;
    int leading_;
};

class RecordingGraphics : public Graphics {
public:
    enum class Op { Line, FillRect, FillPolygon, String, Fill3DRect, Draw3DRect, Image };
    struct Call {
        Op op;
        Color color;
        Font font;
        int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // line end points; rectangle x, y, w, h; text x, y
        std::string text;
        Polygon polygon;
        std::optional<Rectangle> clip;  // the clip in force
    };

    // Metrics of a font of size s unless set otherwise: ascent s, descent
    // (s + 3) / 4, no leading, characters (s + 1) / 2 wide.
    void setMetrics(const Font& f, int charWidth, int ascent, int descent, int leading = 0);

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
    void drawImage(const Image& image, int x, int y) override;
    void setClip(const Rectangle* area) override {
        clip_ = area ? std::optional<Rectangle>(*area) : std::nullopt;
    }

    std::vector<Call> calls;
    // Calls of one kind, optionally in one colour only.
    std::vector<Call> of(Op op) const;
    std::vector<Call> of(Op op, const Color& c) const;
    std::vector<std::string> strings() const;

private:
    void record(Op op, int a, int b, int c, int d);
    Color color_;
    Font font_;
    std::optional<Rectangle> clip_;
    std::map<std::string, std::unique_ptr<FixedFontMetrics>> metrics_;
};
