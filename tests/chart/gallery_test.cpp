// The documentation's gallery and key reference against the code: every
// gallery graph file loads and draws with no report but those of keys it
// leaves at their defaults, its picture is in the reference, and every key
// the program reads is described there, in a row of its own, and on no other
// page. The same sweep checks every chart's SVG (well-formed, drawn where the
// PNG is drawn) and its 2x image (the 1x layout at twice the size, not the 1x
// pixels repeated, its curve drawn on the 2x grid and on the SVG's).

#include "SurfaceTestKit.h"
#include "chart/GraphFileKeys.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kSource = ZK_SOURCE_DIR;
const fs::path kGallery = kSource / "docs" / "gallery";

std::string text(const fs::path& path) { return surfacetest::readBytes(path.string()).value_or(""); }

std::set<std::string> matches(const std::string& in, const std::regex& pattern) {
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(in.begin(), in.end(), pattern); it != std::sregex_iterator(); ++it)
        out.insert((*it)[1]);
    return out;
}

// Graph-file keys named in a text.
const std::regex kGraphKey(R"(\b((?:GRAPH|LEGENDE|COLOR|FONT)_[A-Z_]*[A-Z])\b)");

using Pixels = std::vector<uint32_t>;

// Pixels of a that bear one of the chart's own colours without that colour
// within a pixel in b. A viewer's smoothing blends colours at the edges of
// what it draws; with nearBlend, a blended pixel within a pixel in b will do.
int misplaced(const Pixels& a, const Pixels& b, int w, int h, const std::set<uint32_t>& own, bool nearBlend) {
    int count = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = a[size_t(y) * w + x];
            if (own.count(c) == 0) continue;
            // Beside a blended pixel (a smoothed edge, text) a blend may match one of ours by chance.
            bool found = false;
            for (int dy = -1; dy <= 1 && !found && nearBlend == false; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int u = x + dx, v = y + dy;
                    found = u >= 0 && v >= 0 && u < w && v < h && own.count(a[size_t(v) * w + u]) == 0;
                }
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int u = x + dx, v = y + dy;
                    if (u < 0 || v < 0 || u >= w || v >= h) continue;
                    const uint32_t n = b[size_t(v) * w + u];
                    found = n == c || (nearBlend && own.count(n) == 0);
                }
            }
            count += found ? 0 : 1;
        }
    }
    return count;
}

// The 2x image against the 1x one: 1x pixels inside a patch of one colour
// (backgrounds, bars) that do not become a 2x2 block of it, and the axes'
// pixels that do not, exactly.
struct ScaleCheck {
    int uniform = 0;
    int uniformMoved = 0;
    int axis = 0;
    int axisMoved = 0;
    bool repeated = true;  // every 2x2 block is one colour
};

ScaleCheck compareScaled(const ref::PngImage& one, const ref::PngImage& two, const Indication_Data& model,
                         const ChartLayout& layout) {
    ScaleCheck r;
    const int w = one.width, h = one.height;
    auto at1 = [&](int x, int y) { return one.argb[size_t(y) * w + x]; };
    auto block = [&](int x, int y, uint32_t c) {
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i)
                if (two.argb[size_t(2 * y + j) * two.width + 2 * x + i] != c) return false;
        return true;
    };
    const uint32_t axe = model.colorGraph_Axe.argb();
    int xR = layout.rect_AppletGraphique.width;
    if (model.bLegende_Y_Display && !model.bLegende_Y_Gauche) xR -= layout.xLgLegende + 3;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t c = at1(x, y);
            if (r.repeated && !block(x, y, two.argb[size_t(2 * y) * two.width + 2 * x])) r.repeated = false;
            bool inside = x > 0 && y > 0 && x + 1 < w && y + 1 < h;
            for (int dy = -1; inside && dy <= 1; ++dy)
                for (int dx = -1; inside && dx <= 1; ++dx) inside = at1(x + dx, y + dy) == c;
            if (inside) {
                ++r.uniform;
                r.uniformMoved += block(x, y, c) ? 0 : 1;
            }
            const Rectangle& graph = layout.rect_AppletGraphique;
            const bool onAxis =
                (y == layout.RepereGraph_y0 && x >= layout.RepereGraph_x0 - 1 && x <= xR) ||
                (x == layout.RepereGraph_x0 && y >= graph.y && y <= layout.RepereGraph_y0);
            if (c == axe && onAxis) {
                ++r.axis;
                r.axisMoved += block(x, y, c) ? 0 : 1;
            }
        }
    }
    return r;
}

class Gallery : public surfacetest::SurfaceTest {
protected:
    void checkDrawings(const Indication_Graph& surface, const std::string& pngName, const std::string& stem) {
        const Indication_Data& model = *surface.idMesDonnees;
        const std::string svg = surfacetest::readBytes(stem + ".svg").value_or("");
        EXPECT_LT(svg.size(), 50u * 1024) << stem;
        const auto png = pngAt(pngName);
        const auto twice = pngAt(fs::path(pngName).stem().string() + "@2x.png");
        ASSERT_TRUE(png && twice) << stem;
        ASSERT_EQ(std::system(("rsvg-convert -o " + stem + "-svg.png " + stem + ".svg").c_str()), 0) << stem;
        const auto drawn = pngAt(stem + "-svg.png");
        ASSERT_TRUE(drawn) << stem;
        ASSERT_EQ(drawn->width, png->width) << stem;
        ASSERT_EQ(drawn->height, png->height) << stem;
        const std::set<uint32_t> own(png->argb.begin(), png->argb.end());
        const int w = png->width, h = png->height;
        EXPECT_EQ(misplaced(drawn->argb, png->argb, w, h, own, false), 0) << stem << ": drawn off the PNG";
        EXPECT_EQ(misplaced(png->argb, drawn->argb, w, h, own, true), 0) << stem << ": missing from the SVG";

        ASSERT_EQ(twice->width, 2 * w) << stem;
        ASSERT_EQ(twice->height, 2 * h) << stem;
        const ScaleCheck scaled = compareScaled(*png, *twice, model, surface.layout());
        EXPECT_FALSE(scaled.repeated) << stem;
        EXPECT_GT(scaled.axis, 0) << stem;
        EXPECT_EQ(scaled.axisMoved, 0) << stem;
        EXPECT_LE(scaled.uniformMoved * 100, scaled.uniform) << stem << ": more than 1% moved";
        // Labels set at calendar steps stand apart from each other.
        const FontMetrics& m = surface.offScrGraphics->getFontMetrics(model.fontGraph_Pen);
        int previousRight = INT_MIN;
        for (const auto& [x, label] : surface.layout().vecLegende_X) {
            if (label.empty()) continue;
            const int left = model.iLegende_X_Align == Indication_Data::ALIGN_CENTER
                                 ? x - m.stringWidth(label) / 2
                                 : (model.iLegende_X_Align == Indication_Data::ALIGN_RIGHT ? x - m.stringWidth(label) - 2
                                                                                          : x + 2);
            EXPECT_GT(left, previousRight) << stem << ": " << label << " overlaps the label before";
            previousRight = left + m.stringWidth(label);
        }
        checkCurveDetail(model, surface.layout(), *twice, stem);
    }

    // The curve at 2x is computed on the 2x grid, yet lies on the SVG's curve
    // drawn at 2x (librsvg) within a pixel, exactly or blended by the
    // viewer's smoothing. The 1x geometry doubled puts every peak of the
    // curve (a run of columns whose topmost curve pixel is higher than on
    // either side) on an even row; points of the 2x grid put some on odd ones.
    void checkCurveDetail(const Indication_Data& model, const ChartLayout& layout, const ref::PngImage& two,
                          const std::string& stem) {
        const uint32_t curve = model.colorGraph_Courbe.argb();
        // Text of the curve's colour is drawn from the 2x font, not the SVG's outlines.
        if (!model.bGraphCourbe_Display || curve == model.colorGraph_Pen.argb()) return;
        ASSERT_EQ(std::system(("rsvg-convert -z 2 -o " + stem + "-svg2.png " + stem + ".svg").c_str()), 0) << stem;
        const auto svg = pngAt(stem + "-svg2.png");
        ASSERT_TRUE(svg && svg->width == two.width && svg->height == two.height) << stem;
        const std::set<uint32_t> own(two.argb.begin(), two.argb.end());
        const int w = two.width, h = two.height;
        auto onSvgCurve = [&](int x, int y) {
            for (int v = std::max(y - 1, 0); v <= std::min(y + 1, h - 1); ++v)
                for (int u = std::max(x - 1, 0); u <= std::min(x + 1, w - 1); ++u) {
                    const uint32_t c = svg->argb[size_t(v) * w + u];
                    if (c == curve || own.count(c) == 0) return true;
                }
            return false;
        };
        const Rectangle& r = layout.rect_AppletGraphique;
        const int right = std::min(2 * (r.x + r.width + 1), w), bottom = std::min(2 * (r.y + r.height + 1), h);
        int pixels = 0, off = 0;
        std::vector<int> tops;
        for (int x = 2 * r.x; x < right; ++x) {
            tops.push_back(-1);
            for (int y = 2 * r.y; y < bottom; ++y) {
                if (two.argb[size_t(y) * w + x] != curve) continue;
                if (tops.back() < 0) tops.back() = y;
                ++pixels;
                off += onSvgCurve(x, y) ? 0 : 1;
            }
        }
        EXPECT_GT(pixels, 0) << stem;
        EXPECT_EQ(off, 0) << stem << ": 2x curve pixels off the SVG's curve";
        int peaks = 0, oddPeaks = 0;
        for (size_t i = 1; i < tops.size(); ++i) {
            size_t j = i;
            while (j + 1 < tops.size() && tops[j + 1] == tops[i]) ++j;
            if (tops[i] >= 0 && tops[i - 1] > tops[i] && j + 1 < tops.size() && tops[j + 1] > tops[i]) {
                ++peaks;
                oddPeaks += tops[i] % 2;
            }
            i = j;
        }
        // A curve with a few peaks has some between the 1x rows.
        if (peaks >= 6) {
            EXPECT_GT(oddPeaks, 0) << stem << ": every peak of the 2x curve on the doubled 1x grid";
        }
    }
};

TEST_F(Gallery, EveryGraphFileLoadsAndDrawsWithOnlyDefaultReports) {
    fs::copy(kGallery, dir.path, fs::copy_options::recursive);
    surfacetest::ScopedCurrentDir cwd(dir.path);
    Indication_Tools::debugMode = true;
    platform.now = localMillis(2025, 12, 5, 17, 30, 0);  // the gallery's window end, not records ahead of the clock
    const Properties config = Indication_Tools::GetFileProperties("zkQuoteForge.ini");
    const std::string reference = text(kSource / "docs" / "configuration.md");
    std::set<std::string> listed;
    Indication_Graph surface;
    std::string svgs;
    for (int n = 1;; ++n) {
        const auto entry = config.find("INDICEGIF_FILE_" + std::to_string(n));
        if (entry == config.end()) break;
        const std::string& path = entry->second;
        listed.insert(path);
        const std::string stem = fs::path(path).stem().string();
        std::ofstream(path, std::ios::app) << "\nGRAPH_PRINT_SVG_VALID=yes\nGRAPH_PRINT_SVG_NAME=" << stem
                                           << ".svg\nGRAPH_PRINT_SCALES=1;2\n";
        const Properties keys = Indication_Tools::GetFileProperties(path);
        platform.clearOut();
        ASSERT_TRUE(surface.initGraphique(path)) << path << "\n" << platform.out();
        EXPECT_EQ(surface.SaveToImage(), "PNG ok; SVG ok; PNG@2x ok; ") << path << "\n" << platform.out();
        svgs += " " + stem + ".svg";
        checkDrawings(surface, keys.at("GRAPH_PRINT_PNG_NAME"), stem);

        std::istringstream out(platform.out());
        for (std::string line; std::getline(out, line);) {
            static const std::regex progress(
                R"(\[Indication_Data\] : (\* Read (Configuration|Data) from|Image from) .*|)"
                R"(\[Indication_Graph\] : (Writing (PNG|SVG) Image in|PNG Alpha Compression:) .*)");
            if (std::regex_match(line, progress)) continue;
            // A default's report names its one key, which the file leaves out.
            const std::set<std::string> named = matches(line, kGraphKey);
            const bool model = line.rfind("[Indication_Data] : ", 0) == 0 || line.rfind("[Indication_Tools] : ", 0) == 0;
            EXPECT_TRUE(model && named.size() == 1 && keys.count(*named.begin()) == 0)
                << path << ": " << line;
        }
        // The reference shows the picture beside the file's keys.
        const std::string picture = fs::path(path).stem().string() + ".png";
        EXPECT_TRUE(fs::exists(kGallery / picture)) << picture;
        EXPECT_NE(reference.find("gallery/" + picture), std::string::npos) << picture;
    }
    // Every graph file of the folder is in the gallery.
    for (const auto& e : fs::directory_iterator(kGallery)) {
        if (e.path().extension() == ".ini" && e.path().filename() != "zkQuoteForge.ini") {
            EXPECT_EQ(listed.count(e.path().filename().string()), 1u) << e.path();
        }
    }
    EXPECT_GE(listed.size(), 20u);
    EXPECT_EQ(std::system(("/usr/bin/python3 -c \"import sys, xml.etree.ElementTree as E\n"
                           "for f in sys.argv[1:]: E.parse(f)\"" + svgs).c_str()), 0);
}

// Trading time as drawn: closed time takes no column, a live session's curve
// grows from the left of an axis that runs to the close.
TEST_F(Gallery, TradingTimeClosesUpClosedTimeAndKeepsTheSessionsAxis) {
    fs::copy(kGallery, dir.path, fs::copy_options::recursive);
    surfacetest::ScopedCurrentDir cwd(dir.path);
    Indication_Graph surface;
    // The curve's columns within the graph, as fractions of its width.
    auto curveColumns = [&](const std::string& file) {
        EXPECT_TRUE(surface.initGraphique(file)) << platform.out();
        EXPECT_EQ(surface.SaveToImage(), "PNG ok; ");
        const ChartLayout& layout = surface.layout();
        const auto png = pngAt(fs::path(file).stem().string() + ".png");
        const uint32_t curve = surface.idMesDonnees->colorGraph_Courbe.argb();
        const int x0 = layout.RepereGraph_x0;
        const int xR = layout.rect_AppletGraphique.x + layout.rect_AppletGraphique.width;
        std::vector<bool> drawn;
        for (int x = x0 + 1; png && x < xR - 1; ++x) {
            bool any = false;
            for (int y = 0; y < png->height; ++y) any = any || png->argb[size_t(y) * png->width + x] == curve;
            drawn.push_back(any);
        }
        return drawn;
    };
    // Five sessions over Christmas: every column up to the wedge holds curve
    // (a closed day or night would leave columns of one flat line).
    const std::vector<bool> five = curveColumns("trading_5days.ini");
    ASSERT_FALSE(five.empty());
    const size_t upTo12 = five.size() * 9 / 10;  // the last session ends at its wedge, 12:00
    EXPECT_EQ(std::count(five.begin(), five.begin() + upTo12, false), 0);
    // Live at 11:00: the curve fills about the first quarter of a 09:00-17:30 axis.
    const std::vector<bool> live = curveColumns("trading_live.ini");
    ASSERT_FALSE(live.empty());
    const size_t last = static_cast<size_t>(std::find(live.rbegin(), live.rend(), true) - live.rbegin());
    const double reach = 1.0 - double(last) / double(live.size());
    EXPECT_GT(reach, 0.2);
    EXPECT_LT(reach, 0.3);
    auto labelsOf = [&](const std::string& graphFile) {
        std::vector<std::string> labels;
        EXPECT_TRUE(surface.initGraphique(graphFile)) << graphFile;
        surface.SaveToImage();
        for (const auto& [x, label] : surface.layout().vecLegende_X)
            if (!label.empty()) labels.push_back(label);
        return labels;
    };
    // Labels at session starts: one a trading day, Christmas left out.
    EXPECT_EQ(labelsOf("trading_5days.ini"),
              (std::vector<std::string>{"23 Dec", "24 Dec", "29 Dec", "30 Dec", "31 Dec"}));
    // Hours over two days: each day's first label is its date.
    EXPECT_EQ(labelsOf("trading_lunch.ini"),
              (std::vector<std::string>{"29 Dec", "14:00", "16:00", "30 Dec", "14:00", "16:00"}));

    // The same five sessions with their boundaries marked: a line one pixel
    // wide down the graph where each session after the first opens, that is
    // where its label stands, and two pixels wide at 2x.
    std::ofstream("trading_boundaries.ini", std::ios::app) << "\nGRAPH_PRINT_SCALES=1;2\n";
    ASSERT_TRUE(surface.initGraphique("trading_boundaries.ini"));
    EXPECT_EQ(surface.SaveToImage(), "PNG ok; PNG@2x ok; ");
    const ChartLayout& layout = surface.layout();
    const uint32_t line = surface.idMesDonnees->colorGraph_Sessions.value().argb();
    auto lineColumns = [&](const std::string& name, int k) {
        std::vector<int> xs;  // the columns of the line's colour down most of the graph
        const auto png = pngAt(name);
        const int top = k * layout.rect_AppletGraphique.y, bottom = k * layout.RepereGraph_y0;
        for (int x = 0; png && x < png->width; ++x) {
            int n = 0;
            for (int y = top; y < bottom; ++y) n += png->argb[size_t(y) * png->width + x] == line;
            if (2 * n > bottom - top) xs.push_back(x);
        }
        return xs;
    };
    std::vector<int> opens, doubled;
    for (size_t i = 1; i < layout.vecLegende_X.size(); ++i) {
        opens.push_back(layout.vecLegende_X[i].first);
        doubled.insert(doubled.end(), {2 * opens.back(), 2 * opens.back() + 1});
    }
    EXPECT_EQ(opens.size(), 4u);
    EXPECT_EQ(lineColumns("trading_boundaries.png", 1), opens);
    EXPECT_EQ(lineColumns("trading_boundaries@2x.png", 2), doubled);
}

TEST(Reference, DocumentsEveryKeyTheProgramReads) {
    const std::string reference = text(kSource / "docs" / "configuration.md");
    ASSERT_FALSE(reference.empty());
    std::set<std::string> keys = matches(text(kSource / "chart" / "GraphFileKeys.cpp"),
                                         std::regex("\"((?:GRAPH|LEGENDE|COLOR|FONT)_[A-Z_]*[A-Z])\""));
    EXPECT_EQ(keys.size(), 89u);
    const std::regex appKey("\"((?:APPLI|INDICEGIF)_[A-Z_]*[A-Z])_?\"");
    for (const char* folder : {"app", "support"}) {
        for (const auto& e : fs::directory_iterator(kSource / folder))
            for (const std::string& k : matches(text(e.path()), appKey)) keys.insert(k);
    }
    // A key is described in one place: the row it heads in the reference
    // (numbered keys by their first), and no row of another page.
    auto rowsOf = [](const std::string& page, const std::string& key) {
        std::istringstream lines(page);
        int rows = 0;
        for (std::string line; std::getline(lines, line);)
            rows += line.rfind("| `" + key + "`", 0) == 0 || line.rfind("| `" + key + "_1`", 0) == 0 ? 1 : 0;
        return rows;
    };
    std::vector<fs::path> others = {kSource / "README.md"};
    for (const auto& e : fs::directory_iterator(kSource / "docs"))
        if (e.path().extension() == ".md" && e.path().filename() != "configuration.md") others.push_back(e.path());
    for (const std::string& key : keys) {
        EXPECT_EQ(rowsOf(reference, key), 1) << key << " has no row of its own in docs/configuration.md";
        for (const fs::path& page : others) EXPECT_EQ(rowsOf(text(page), key), 0) << key << " is described in " << page;
    }
    // The default each row states is the one the program sets.
    for (const auto& [key, byDefault] : graphfile::documentedDefaults()) {
        std::istringstream lines(reference);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("| `" + key + "`", 0) != 0) continue;
            std::vector<std::string> cells;
            for (size_t from = 2, bar; (bar = line.find(" | ", from)) != std::string::npos; from = bar + 3)
                cells.push_back(line.substr(from, bar - from));
            ASSERT_GE(cells.size(), 3u) << line;
            EXPECT_EQ(cells[2], byDefault) << key << "'s default in docs/configuration.md";
        }
    }
}

}  // namespace
