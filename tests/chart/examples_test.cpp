// Every chart of the bundled example is built from a fresh data-maker series
// and written as the images its graph file asks for, each reading back as
// exactly the pixels drawn. For a look at the images, set
// ZK_EXAMPLE_CHARTS_OUT to a folder: they are copied there.

#include "SurfaceTestKit.h"
#include "app/DataSources.h"
#include "app/zkQuoteForge.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using surfacetest::allPixels;
using surfacetest::topLeft;

const fs::path kExamples = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples";

class Examples : public surfacetest::SurfaceTest {
protected:
    void SetUp() override {
        SurfaceTest::SetUp();
        Indication_Tools::debugMode = false;
        work = dir.path;
        fs::create_directories(work / "out");
        fs::copy(kExamples / "zkQuoteForge.ini", work / "zkQuoteForge.ini");
        fs::copy(kExamples / "charts", work / "charts", fs::copy_options::recursive);
        fs::copy(kExamples / "source", work / "source", fs::copy_options::recursive);
        fs::copy(kExamples / "trading", work / "trading", fs::copy_options::recursive);
        fs::copy(kExamples / "calendars", work / "calendars", fs::copy_options::recursive);
        // The data file, as scripts/run-example makes it.
        zkQuoteForge::main({"-datamaker"});
        surfacetest::writeBytes((work / "data.txt").string(), platform.out());
        platform.clearOut();
    }

    static std::string outputName(const Indication_Data& m, const std::optional<std::string>& name,
                                  const std::string& extension) {
        if (name) return *name;
        std::string title = m.szGraph_Title.value_or("");
        std::replace(title.begin(), title.end(), ' ', '_');
        return title + extension;
    }

    fs::path work;
};

// The pass line of a chart whose images were all written; the example's
// zoomed charts have PNG images at 1x and 2x only.
std::string summaryOf(const Indication_Data& m) {
    std::string text = std::string(m.bPrintGIF_Valid ? "GIF ok; " : "") + (m.bPrintPNG_Valid ? "PNG ok; " : "");
    if (m.bPrintSVG_Valid) text += "SVG ok; ";
    if (m.vecPrint_Scales.size() > 1) text += "PNG@2x ok; ";
    return text;
}

TEST_F(Examples, EveryChartBecomesItsImages) {
    surfacetest::ScopedCurrentDir cwd(work.string());
    const Properties config = Indication_Tools::GetFileProperties("zkQuoteForge.ini");
    ASSERT_EQ(config.count("INDICEGIF_SERVICE"), 1u);
    EXPECT_EQ(config.at("INDICEGIF_SERVICE"), "yes");
    // The pass's data sources first: they make the data files of the charts drawn from them.
    const SourcesRun sources = runSources(config.at("INDICEGIF_SOURCES"), platform.nowMillis());
    ASSERT_TRUE(sources.ok) << platform.out();
    EXPECT_EQ(sources.sources.size(), 1u);

    Indication_Graph surface;
    std::map<std::string, int> seen;  // what the example shows, counted
    int charts = 0;
    for (int n = 1;; ++n) {
        const auto key = config.find("INDICEGIF_FILE_" + std::to_string(n));
        if (key == config.end()) break;
        const std::string& path = key->second;
        SCOPED_TRACE(path);
        ++charts;
        ASSERT_TRUE(surface.initGraphique(path)) << "the data window holds no data";
        const Indication_Data& m = *surface.idMesDonnees;
        const std::string expected = summaryOf(m);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(surface.SaveToImage(), expected);
        const auto drawn = allPixels(*surface.offScrImage);

        if (m.bPrintGIF_Valid) {
            const std::string name = outputName(m, m.szPrintGIF_FileName, ".gif");
            ASSERT_EQ(name.rfind("out/", 0), 0u) << "images go to out/";
            auto gif = gifAt(name);
            ASSERT_TRUE(gif);
            if (m.bPrintGIF_LZWCompress) {
                EXPECT_EQ(gif->argb(), drawn);
            } else {
                EXPECT_EQ(gif->argb(), topLeft(*surface.offScrImage, m.iDimension_Width, m.iDimension_Height));
            }
            ++seen[m.bPrintGIF_LZWCompress ? "gif lzw" : "gif run-length"];
        }
        if (m.bPrintPNG_Valid) {
            auto png = pngAt(outputName(m, m.szPrintPNG_FileName, ".png"));
            ASSERT_TRUE(png);
            EXPECT_EQ(png->argb, drawn);
            ++seen["png filter " + std::to_string(m.iPrintPNG_Filter)];
            seen["png alpha"] += m.bPrintPNG_Alpha;
        }
        ++seen["mode " + std::to_string(m.iModeGraphicsData)];
        seen["curve"] += m.bGraphCourbe_Display && !m.bGraphCourbe_Rempli;
        seen["mountain"] += m.bGraphCourbe_Rempli;
        seen["histogram"] += m.bGraphHistogram_Display;
        seen["trend"] += m.bTendance_MoyenneMobile;
        seen["grid"] += m.bAxe_AfficheVerticales || m.bAxe_AfficheHorizontales;
        seen["y legend right"] += m.bLegende_Y_Display && !m.bLegende_Y_Gauche;
        seen["y legend left"] += m.bLegende_Y_Display && m.bLegende_Y_Gauche;
        seen["weekends hidden"] += !m.bDate_DispWeekDay;
        seen["no file names"] += !m.szPrintGIF_FileName && !m.szPrintPNG_FileName;
        seen["trading sessions"] += m.calendar != nullptr;
        seen["session lines"] += m.calendar && m.bAxe_AfficheSessions;
    }
    EXPECT_GE(charts, 7);
    for (const char* feature :
         {"mode 10", "mode 20", "mode 30", "mode 40", "curve", "mountain", "histogram", "trend", "grid",
          "y legend right", "y legend left", "weekends hidden", "gif lzw", "gif run-length", "png filter 0",
          "png filter 1", "png filter 2", "png alpha", "no file names", "trading sessions", "session lines"}) {
        EXPECT_GT(seen[feature], 0) << "the example no longer shows " << feature;
    }
    // Date macros in the file names: today's date (the fake clock's).
    EXPECT_TRUE(fs::exists("out/dated_20011121.gif"));
    EXPECT_TRUE(fs::exists("out/dated_2001-11-21.png"));
    EXPECT_TRUE(fs::exists("out/Title_names_the_files.gif"));

    if (const char* keep = std::getenv("ZK_EXAMPLE_CHARTS_OUT")) {
        fs::create_directories(keep);
        fs::copy("out", keep, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
}

// The one-shot pass of the Windows build, run under Wine by
// scripts/test-windows, which names the folder it ran in: every chart's line
// says done, and every image decodes (giflib, libpng) to the configured size
// with no colour but the configured ones and their bevel shades.
TEST(WindowsExampleRun, EveryImageHasTheConfiguredSizeAndColours) {
    const char* folder = std::getenv("ZK_WINDOWS_EXAMPLE");
    if (folder == nullptr) GTEST_SKIP() << "set by scripts/test-windows";
    const fs::path dir = folder;
    std::string console = surfacetest::readBytes((dir / "console.txt").string()).value_or("");
    // The second pass finds the first pass's images unchanged (the
    // example's INDICEGIF_KEEP_UNCHANGED): each was drawn to the same bytes.
    for (size_t at; (at = console.find(" ok (unchanged);")) != std::string::npos;) console.erase(at + 3, 12);
    const Properties config = Indication_Tools::GetFileProperties((dir / "zkQuoteForge.ini").string());
    surfacetest::ScopedCurrentDir cwd(dir.string());
    // The files written, in the order the pass wrote them (names may carry the date).
    std::vector<std::string> written;
    for (size_t at = console.find(" Image in "); at != std::string::npos; at = console.find(" Image in ", at + 1)) {
        const size_t from = at + 10;
        written.push_back(console.substr(from, console.find_first_of("\r\n", from) - from));
    }
    size_t next = 0;
    auto nextFile = [&]() -> std::string { return next < written.size() ? written[next++] : std::string(); };
    int images = 0;
    for (int n = 1;; ++n) {
        const auto key = config.find("INDICEGIF_FILE_" + std::to_string(n));
        if (key == config.end()) break;
        SCOPED_TRACE(key->second);
        Indication_Data m;
        ASSERT_TRUE(m.GetConfiguration(key->second));
        EXPECT_NE(console.find("[QuoteForge] :  - file... " + key->second + ": " + summaryOf(m) + "done"),
                  std::string::npos)
            << console;
        std::set<uint32_t> allowed;
        for (const Color& c : {m.colorImage_Fond, m.colorImage_Pen, m.colorImage_Pen_Title, m.colorImage_Pen_CopyRight,
                               m.colorImage_Pen_DataPeriod, m.colorGraph_Fond, m.colorGraph_Courbe,
                               m.colorGraph_CourbeRemplie, m.colorGraph_Axe, m.colorGraph_AxeBis, m.colorGraph_Pen,
                               m.colorGraph_Histogram, m.colorGraph_HistogramShadow, m.colorTendance_MoyenneMobile,
                               m.colorGraph_Sessions.value_or(m.colorGraph_AxeBis)}) {
            for (const Color& shade : {c, c.brighter(), c.darker()}) allowed.insert(shade.argb() & 0xFFFFFFu);
        }
        // The surface is one pixel wider and taller than the configured
        // size; the run-length GIF keeps the configured size itself, and an
        // exact size holds for every image.
        auto check = [&](const std::vector<uint32_t>& pixels, int width, int height, int margin) {
            if (m.bPrint_ExactSize) margin = 0;
            EXPECT_EQ(width, m.iDimension_Width + margin);
            EXPECT_EQ(height, m.iDimension_Height + margin);
            std::set<uint32_t> foreign;
            for (uint32_t p : pixels)
                if (!allowed.count(p & 0xFFFFFFu)) foreign.insert(p & 0xFFFFFFu);
            EXPECT_TRUE(foreign.empty()) << foreign.size() << " colours not configured, such as " << std::hex
                                         << (foreign.empty() ? 0 : *foreign.begin());
            ++images;
        };
        if (m.bPrintGIF_Valid) {
            const auto bytes = surfacetest::readBytes(nextFile());
            ASSERT_TRUE(bytes);
            auto gif = ref::decodeGif(*bytes);
            ASSERT_TRUE(gif);
            check(gif->argb(), gif->width, gif->height, m.bPrintGIF_LZWCompress ? 1 : 0);
        }
        if (m.bPrintPNG_Valid) {
            const auto bytes = surfacetest::readBytes(nextFile());
            ASSERT_TRUE(bytes);
            auto png = ref::decodePng(*bytes);
            ASSERT_TRUE(png);
            check(png->argb, png->width, png->height, 1);
        }
        if (m.bPrintSVG_Valid) {
            EXPECT_EQ(fs::path(nextFile()).extension(), ".svg");
        }
        if (m.bPrintPNG_Valid && m.vecPrint_Scales.size() > 1) {
            const auto png = ref::decodePng(surfacetest::readBytes(nextFile()).value_or(""));
            ASSERT_TRUE(png);
            EXPECT_EQ(png->width, 2 * (m.iDimension_Width + (m.bPrint_ExactSize ? 0 : 1)));
        }
    }
    EXPECT_GE(images, 12);
}

#ifdef ZK_PROGRAM
// The example as scripts/run-example runs it: the program makes the data,
// then one generation pass in one-shot mode writes every chart and exits.
TEST(ExampleRun, OneShotPassWritesEveryChart) {
    surfacetest::TempDir dir;
    fs::copy(kExamples / "zkQuoteForge.ini", dir / "zkQuoteForge.ini");
    fs::copy(kExamples / "charts", dir / "charts", fs::copy_options::recursive);
    fs::copy(kExamples / "source", dir / "source", fs::copy_options::recursive);
    fs::copy(kExamples / "trading", dir / "trading", fs::copy_options::recursive);
    fs::copy(kExamples / "calendars", dir / "calendars", fs::copy_options::recursive);
    fs::create_directories(dir / "out");
    const std::string in = "cd '" + dir.path + "' && ";
    ASSERT_EQ(std::system((in + "'" ZK_PROGRAM "' -datamaker > data.txt").c_str()), 0);
    ASSERT_EQ(std::system((in + "timeout 120 '" ZK_PROGRAM "' -unique > console.txt 2>&1").c_str()), 0);
    const std::string console = surfacetest::readBytes(dir / "console.txt").value_or("");

    // Paths in graph files (a calendar's) count from the example's folder.
    surfacetest::ScopedCurrentDir cwd(dir.path);
    const Properties config = Indication_Tools::GetFileProperties("zkQuoteForge.ini");
    size_t images = 0;
    for (int n = 1;; ++n) {
        const auto key = config.find("INDICEGIF_FILE_" + std::to_string(n));
        if (key == config.end()) break;
        Indication_Data model;
        ASSERT_TRUE(model.GetConfiguration(key->second));
        const std::string summary = summaryOf(model);
        images += model.bPrintGIF_Valid + model.bPrintPNG_Valid + model.bPrintSVG_Valid +
                  (model.vecPrint_Scales.size() > 1 && model.bPrintPNG_Valid);
        EXPECT_NE(console.find("[QuoteForge] :  - file... " + key->second + ": " + summary + "done"),
                  std::string::npos)
            << key->second << "\n" << console;
    }
    size_t decoded = 0;
    for (const auto& e : fs::directory_iterator(dir / "out")) {
        const auto bytes = surfacetest::readBytes(e.path().string());
        ASSERT_TRUE(bytes);
        const auto ext = e.path().extension();
        const bool ok = ext == ".gif"   ? ref::decodeGif(*bytes).has_value()
                        : ext == ".svg" ? bytes->rfind("</svg>\n") == bytes->size() - 7
                                        : ref::decodePng(*bytes).has_value();
        EXPECT_TRUE(ok) << e.path();
        decoded += ok;
    }
    EXPECT_EQ(decoded, images);
}
#endif

}  // namespace
