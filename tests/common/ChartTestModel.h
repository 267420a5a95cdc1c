#pragma once
// Helpers for chart rendering tests: UTC as the local time zone, instants from
// calendar fields, and a model with distinct colours for every role so a
// recording can tell what each call drew.

#include "chart/Indication_Data.h"
#include "support/Platform.h"
#include "tests/common/RecordingGraphics.h"
#include "tests/common/TestPlatform.h"

#include <memory>

namespace charttest {

// Set before any test runs: every calendar field below is UTC.
inline ScopedTimeZone kUtcZone{"UTC"};

inline int64_t at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return localMillis(y, mo, d, h, mi, s); }

inline const Color kFond{255, 255, 254};
inline const Color kGraphFond{221, 221, 221};
inline const Color kCourbe{255, 0, 0};
inline const Color kRemplie{237, 123, 123};
inline const Color kAxe{0, 0, 1};
inline const Color kAxeBis{200, 200, 200};
inline const Color kPen{0, 0, 2};
inline const Color kHisto{240, 100, 100};
inline const Color kShadow{10, 10, 10};
inline const Color kTrend{50, 139, 214};

// Graph font of size 8: characters 4 wide, ascent 8, descent 2, height 10.
inline std::unique_ptr<Indication_Data> makeModel() {
    auto m = std::make_unique<Indication_Data>();
    m->fontGraph_Pen = Font{"Helvetica", Font::PLAIN, 8};
    m->colorImage_Fond = kFond;
    m->colorGraph_Fond = kGraphFond;
    m->colorGraph_Courbe = kCourbe;
    m->colorGraph_CourbeRemplie = kRemplie;
    m->colorGraph_Axe = kAxe;
    m->colorGraph_AxeBis = kAxeBis;
    m->colorGraph_Pen = kPen;
    m->colorGraph_Histogram = kHisto;
    m->colorGraph_HistogramShadow = kShadow;
    m->colorTendance_MoyenneMobile = kTrend;
    m->iModeGraphicsData = Indication_Data::MODEGRAPH_DAY;
    m->iModeGraphicsData_Duration = 5;
    return m;
}

// A model and the layout its drawing steps read and write.
struct Drawn {
    std::unique_ptr<Indication_Data> model = makeModel();
    ChartLayout L;
    Indication_Data* operator->() const { return model.get(); }
    Indication_Data& operator*() const { return *model; }
};

// Appends samples (instant, value) and shows all of them.
inline void setSeries(Indication_Data& m, std::initializer_list<std::pair<int64_t, double>> samples) {
    m.vecGraph_Date.clear();
    m.vecGraph_Data.clear();
    for (auto [t, v] : samples) {
        m.vecGraph_Date.push_back(t);
        m.vecGraph_Data.push_back(v);
    }
    m.xi_Min = 0;
    m.xi_Max = static_cast<int>(m.vecGraph_Date.size()) - 1;
}

}  // namespace charttest
