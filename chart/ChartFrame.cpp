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

}  // namespace

Rectangle paintChartFrame(Graphics& g, Indication_Data& model, int W, int H, int margin) {
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

    int topH = 0;
    int botD = 0;
    int botH = 0;
    bool hasTop = false;
    bool hasBottom = false;
    for (Caption& c : captions) {
        c.metrics = &g.getFontMetrics(*c.font);
        if (!c.display) continue;
        if (c.vAlign == D::ALIGN_TOP) {
            hasTop = true;
            topH = std::max(topH, c.metrics->getHeight());
        } else if (c.vAlign == D::ALIGN_BOTTOM) {
            hasBottom = true;
            botD = std::max(botD, c.metrics->getDescent());
            botH = std::max(botH, c.metrics->getHeight());
        }
    }

    model.Data_InitMinMax();
    // The period text needs a series to describe.
    if (model.bDisplay_DataPeriod && !model.vecGraph_Date.empty()) periodText = model.Data_getData();

    g.setColor(model.colorImage_Fond);
    g.fillRect(0, 0, clampToInt(int64_t{W} + 1), clampToInt(int64_t{H} + 1));

    const int maxWidth = clampToInt(int64_t{W} - m - 2);
    const int top = clampToInt(int64_t{topH} + m);
    const int bottom = clampToInt(int64_t{H} - botD - m);
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

    int64_t y = m;
    int64_t height = int64_t{H} - 2 * m - y;
    if (hasTop) {
        y = int64_t{topH} + 6;
        height = int64_t{H} - 2 * m - y;
    }
    if (hasBottom) height = int64_t{H} - botH - botD - 2 * m - y;
    Rectangle r{clampToInt(m), clampToInt(y), clampToInt(int64_t{W} - 2 * m), clampToInt(height)};

    model.paint_Graphics(&g, &r);
    return r;
}
