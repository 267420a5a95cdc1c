#include "chart/ChartFrame.h"

#include "chart/ChartMath.h"
#include "support/Indication_Tools.h"

#include <algorithm>
#include <optional>
#include <string>

using chart::clampToInt;

namespace {

struct Caption {
    bool display;
    int hAlign;
    int vAlign;
    const std::optional<std::string>* text;
    const Font* font;
    const Color* color;
    const FontMetrics* metrics;
    // x when the horizontal alignment is none of left, center, right.
    bool otherOnLeft;
    // The copyright sits at the bottom unless asked on top; the others the
    // other way round.
    bool bottomUnlessTop;
};

// The heights the shown captions take at the top and at the bottom.
struct CaptionBands {
    int topH = 0;
    int botD = 0;
    int botH = 0;
    bool hasTop = false;
    bool hasBottom = false;
};

CaptionBands captionBands(Caption (&captions)[3], Graphics& g) {
    using D = Indication_Data;
    CaptionBands b;
    for (Caption& c : captions) {
        c.metrics = &g.getFontMetrics(*c.font);
        if (!c.display) continue;
        if (c.vAlign == D::ALIGN_TOP) {
            b.hasTop = true;
            b.topH = std::max(b.topH, c.metrics->getHeight());
        } else if (c.vAlign == D::ALIGN_BOTTOM) {
            b.hasBottom = true;
            b.botD = std::max(b.botD, c.metrics->getDescent());
            b.botH = std::max(b.botH, c.metrics->getHeight());
        }
    }
    return b;
}

Rectangle graphRectangleOf(const CaptionBands& b, int W, int H, int64_t m) {
    int64_t y = m;
    int64_t height = int64_t{H} - 2 * m - y;
    if (b.hasTop) {
        y = int64_t{b.topH} + 6;
        height = int64_t{H} - 2 * m - y;
    }
    if (b.hasBottom) height = int64_t{H} - b.botH - b.botD - 2 * m - y;
    return Rectangle{clampToInt(m), clampToInt(y), clampToInt(int64_t{W} - 2 * m), clampToInt(height)};
}

}  // namespace

Rectangle paintChartFrame(Graphics& g, const Indication_Data& model, ChartLayout& layout, int W, int H, int margin) {
    using D = Indication_Data;
    const int64_t m = margin;

    std::optional<std::string> periodText;
    Caption captions[3] = {
        {model.bDisplay_Title, model.iHAlign_Title, model.iVAlign_Title, &model.szGraph_Title,
         &model.fontImage_Pen_Title, &model.colorImage_Pen_Title, nullptr, true, false},
        {model.bDisplay_DataPeriod, model.iHAlign_DataPeriod, model.iVAlign_DataPeriod, &periodText,
         &model.fontImage_Pen_DataPeriod, &model.colorImage_Pen_DataPeriod, nullptr, false, false},
        {model.bDisplay_CopyRight, model.iHAlign_CopyRight, model.iVAlign_CopyRight, &model.szGraph_CopyRight,
         &model.fontImage_Pen_CopyRight, &model.colorImage_Pen_CopyRight, nullptr, false, true},
    };

    const CaptionBands bands = captionBands(captions, g);

    // The period text needs a series to describe.
    if (model.bDisplay_DataPeriod && !model.vecGraph_Date.empty()) periodText = model.Data_getData();

    g.setColor(model.colorImage_Fond);
    g.fillRect(0, 0, clampToInt(int64_t{W} + 1), clampToInt(int64_t{H} + 1));

    const int maxWidth = clampToInt(int64_t{W} - m - 2);
    const int top = clampToInt(int64_t{bands.topH} + m);
    const int bottom = clampToInt(int64_t{H} - bands.botD - m);
    for (const Caption& c : captions) {
        if (!c.display) continue;
        g.setColor(*c.color);
        g.setFont(*c.font);
        const std::optional<std::string> text = Indication_Tools::TruncateString(*c.text, maxWidth, *c.metrics);
        if (!text || text->empty()) continue;  // nothing to measure or draw
        const int64_t tw = c.metrics->stringWidth(*text);
        int64_t x = c.otherOnLeft ? m : W - tw - m;
        if (c.hAlign == D::ALIGN_LEFT) x = m;
        else if (c.hAlign == D::ALIGN_CENTER) x = (W - tw) / 2;
        else if (c.hAlign == D::ALIGN_RIGHT) x = W - tw - m;
        const bool atBottom = c.bottomUnlessTop ? c.vAlign != D::ALIGN_TOP : c.vAlign == D::ALIGN_BOTTOM;
        g.drawString(*text, clampToInt(x), atBottom ? bottom : top);
    }

    const Rectangle r = graphRectangleOf(bands, W, H, m);
    model.paint_Graphics(&g, layout, &r);
    return r;
}

Rectangle chartGraphRectangle(Graphics& g, const Indication_Data& model, int W, int H, int margin) {
    std::optional<std::string> none;
    Caption captions[3] = {
        {model.bDisplay_Title, model.iHAlign_Title, model.iVAlign_Title, &none, &model.fontImage_Pen_Title, nullptr,
         nullptr, true, false},
        {model.bDisplay_DataPeriod, model.iHAlign_DataPeriod, model.iVAlign_DataPeriod, &none,
         &model.fontImage_Pen_DataPeriod, nullptr, nullptr, false, false},
        {model.bDisplay_CopyRight, model.iHAlign_CopyRight, model.iVAlign_CopyRight, &none,
         &model.fontImage_Pen_CopyRight, nullptr, nullptr, false, true},
    };
    return graphRectangleOf(captionBands(captions, g), W, H, margin);
}
