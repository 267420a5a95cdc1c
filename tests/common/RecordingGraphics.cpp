#include "RecordingGraphics.h"

namespace {

std::string fontKey(const Font& f) { return f.name + "/" + std::to_string(f.style) + "/" + std::to_string(f.size); }

}  // namespace

int FixedFontMetrics::stringWidth(std::string_view text) const {
    int n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n * charWidth_;
}

void RecordingGraphics::setMetrics(const Font& f, int charWidth, int ascent, int descent, int leading) {
    metrics_[fontKey(f)] = std::make_unique<FixedFontMetrics>(charWidth, ascent, descent, leading);
}

const FontMetrics& RecordingGraphics::getFontMetrics(const Font& f) {
    auto& slot = metrics_[fontKey(f)];
    if (!slot) slot = std::make_unique<FixedFontMetrics>((f.size + 1) / 2, f.size, (f.size + 3) / 4);
    return *slot;
}

void RecordingGraphics::record(Op op, int a, int b, int c, int d) {
    Call call{op, color_, font_, a, b, c, d, {}, {}, clip_};
    calls.push_back(std::move(call));
}

void RecordingGraphics::drawLine(int x1, int y1, int x2, int y2) { record(Op::Line, x1, y1, x2, y2); }
void RecordingGraphics::fillRect(int x, int y, int w, int h) { record(Op::FillRect, x, y, w, h); }
void RecordingGraphics::fillPolygon(const Polygon& polygon) {
    record(Op::FillPolygon, 0, 0, 0, 0);
    calls.back().polygon = polygon;
}
void RecordingGraphics::drawString(std::string_view text, int x, int y) {
    record(Op::String, x, y, 0, 0);
    calls.back().text = std::string(text);
}
void RecordingGraphics::fill3DRect(int x, int y, int w, int h, bool) { record(Op::Fill3DRect, x, y, w, h); }
void RecordingGraphics::draw3DRect(int x, int y, int w, int h, bool) { record(Op::Draw3DRect, x, y, w, h); }
void RecordingGraphics::drawImage(const Image&, int x, int y) { record(Op::Image, x, y, 0, 0); }

std::vector<RecordingGraphics::Call> RecordingGraphics::of(Op op) const {
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.op == op) out.push_back(c);
    return out;
}

std::vector<RecordingGraphics::Call> RecordingGraphics::of(Op op, const Color& color) const {
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.op == op && c.color == color) out.push_back(c);
    return out;
}

std::vector<std::string> RecordingGraphics::strings() const {
    std::vector<std::string> out;
    for (const Call& c : calls)
        if (c.op == Op::String) out.push_back(c.text);
    return out;
}
