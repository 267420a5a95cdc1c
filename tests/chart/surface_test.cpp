// The chart surface end to end: a graph file and a data file become GIF and
// PNG files that read back as exactly the pixels drawn; image sizes, output
// names, the summary, the messages, and the not-loaded box.

#include "SurfaceTestKit.h"

#include "chart/ScaledGraphics.h"

#include <sstream>

namespace {

using surfacetest::allPixels;
using surfacetest::readBytes;
using surfacetest::SurfaceTest;
using surfacetest::topLeft;

class Surface : public SurfaceTest {
protected:
    Indication_Graph surface;
};

// ---- Loading ------------------------------------------------------------------

TEST_F(Surface, LoadedChartGetsAnImageOnePixelLargerThanItsSize) {
    EXPECT_TRUE(surface.initGraphique(graph()));
    EXPECT_TRUE(surface.bDataReady);
    EXPECT_EQ(surface.iApplet_Largeur, 120);
    EXPECT_EQ(surface.iApplet_Hauteur, 80);
    ASSERT_TRUE(surface.offScrImage);
    EXPECT_EQ(surface.offScrImage->getWidth(), 121);
    EXPECT_EQ(surface.offScrImage->getHeight(), 81);

    // A size given by the caller wins over the graph file's.
    EXPECT_TRUE(surface.initGraphique(graph(), 200, 150));
    EXPECT_EQ(surface.offScrImage->getWidth(), 201);
    EXPECT_EQ(surface.offScrImage->getHeight(), 151);
    // Zero or negative means "the graph file's".
    EXPECT_TRUE(surface.initGraphique(graph(), 0, -3));
    EXPECT_EQ(surface.offScrImage->getWidth(), 121);

    Indication_Graph sized(graph(), 640, 480);
    ASSERT_TRUE(sized.offScrImage);
    EXPECT_EQ(sized.offScrImage->getWidth(), 641);
    EXPECT_EQ(sized.offScrImage->getHeight(), 481);
}

TEST_F(Surface, DataThatDoesNotLoadLeavesAnImageButNotReady) {
    const std::string missing = "mem/no_such_data.txt";
    platform.setMissing(missing);
    EXPECT_FALSE(surface.initGraphique(graph("GRAPH_DATA_FILE=" + missing + "\n", false)));
    EXPECT_FALSE(surface.bDataReady);
    ASSERT_TRUE(surface.offScrImage);
    EXPECT_EQ(surface.offScrImage->getWidth(), 121);
}

TEST_F(Surface, GraphFileThatDoesNotLoadLeavesNoImageAndWritesNothing) {
    ASSERT_TRUE(surface.initGraphique(graph()));
    EXPECT_FALSE(surface.initGraphique(std::nullopt));
    EXPECT_FALSE(surface.offScrImage);
    EXPECT_FALSE(surface.offScrGraphics);

    const std::string empty = file("");
    EXPECT_FALSE(surface.initGraphique(empty));
    EXPECT_FALSE(surface.offScrImage);
    // Without a mode the chart definition is unusable.
    EXPECT_FALSE(surface.initGraphique(file("GRAPH_NAME=x\n")));
    EXPECT_FALSE(surface.bDataReady);
    EXPECT_FALSE(surface.offScrImage);

    surface.update(nullptr);  // no image: nothing to do, nothing to fail
    EXPECT_FALSE(surface.SaveToGif(dir / "a.gif"));
    EXPECT_TRUE(printed(channel("Error during the writing of the GIF : no chart image")));
    EXPECT_FALSE(surface.SaveToPNG(dir / "a.png"));
    EXPECT_TRUE(printed(channel("Error during the writing of the PNG : no valid datas (bytes)")));
    EXPECT_TRUE(dir.entries().empty());
}

TEST_F(Surface, ImpossibleSizesFailWithoutAnImage) {
    EXPECT_FALSE(surface.initGraphique(graph(), 2147483647, 10));
    EXPECT_FALSE(surface.offScrImage);
    EXPECT_FALSE(surface.initGraphique(graph(), 100000, 100000));
    EXPECT_FALSE(surface.offScrImage);
    // The pass would only say "configuration failed!": the reason is shown too.
    EXPECT_TRUE(printed(channel("Error with the image size 100000x100000 : cannot be made (the image, one pixel "
                                "wider and taller, must have sides from 1 to 65535 and at most 67108864 pixels)")));
    EXPECT_FALSE(surface.initGraphique(file("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"
                                            "GRAPH_PRINT_WIDTH=-1\nGRAPH_DATA_FILE=" +
                                            dataFile() + "\n")));
    EXPECT_FALSE(surface.offScrImage);
}

// ---- Round trips: what is drawn is what is written ------------------------------

TEST_F(Surface, RunLengthGifHoldsTheConfiguredSizeFromTheTopLeftCorner) {
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_PRINT_GIF_NAME=" + (dir / "chart.gif") + "\n")));
    EXPECT_EQ(surface.SaveToImage(), "GIF ok; ");
    auto gif = gifAt(dir / "chart.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->width, 120);
    EXPECT_EQ(gif->height, 80);
    EXPECT_EQ(gif->argb(), topLeft(*surface.offScrImage, 120, 80));
}

TEST_F(Surface, LzwGifAndPngHoldTheWholeImage) {
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_PRINT_GIF_LZWCOMPRESS=yes\nGRAPH_PRINT_PNG_VALID=yes\n"
                                            "GRAPH_PRINT_GIF_NAME=" + (dir / "c.gif") + "\n"
                                            "GRAPH_PRINT_PNG_NAME=" + (dir / "c.png") + "\n"),
                                      200, 150));
    EXPECT_EQ(surface.SaveToImage(), "GIF ok; PNG ok; ");
    const auto drawn = allPixels(*surface.offScrImage);

    auto gif = gifAt(dir / "c.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->width, 201);
    EXPECT_EQ(gif->height, 151);
    EXPECT_EQ(gif->argb(), drawn);

    auto png = pngAt(dir / "c.png");
    ASSERT_TRUE(png);
    EXPECT_EQ(png->width, 201);
    EXPECT_EQ(png->height, 151);
    EXPECT_FALSE(png->hasAlpha);
    EXPECT_EQ(png->argb, drawn);
}

TEST_F(Surface, RunLengthGifOfASurfaceSmallerThanItsConfigurationIsPaddedNotGarbage) {
    // The image holds 61 x 41 pixels; the file keeps the configured 120 x 80.
    ASSERT_TRUE(surface.initGraphique(graph(), 60, 40));
    ASSERT_TRUE(surface.SaveToGif(dir / "small.gif"));
    auto gif = gifAt(dir / "small.gif");
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->width, 120);
    ASSERT_EQ(gif->height, 80);
    const auto pixels = gif->argb();
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 120; ++x) {
            const uint32_t expected =
                x < 61 && y < 41 ? surface.offScrImage->data()[y * 61 + x] : 0xFF000000u;
            ASSERT_EQ(pixels[size_t(y) * 120 + x], expected) << x << "," << y;
        }
    }
}

TEST_F(Surface, EveryPngFilterAndAlphaReadBackExactly) {
    for (const char* alpha : {"no", "yes"}) {
        for (int filter = 0; filter <= 2; ++filter) {
            SCOPED_TRACE(std::string("alpha ") + alpha + ", filter " + std::to_string(filter));
            const std::string path = dir / ("f" + std::to_string(filter) + alpha + ".png");
            ASSERT_TRUE(surface.initGraphique(graph(std::string("GRAPH_PRINT_GIF_VALID=no\n"
                                                                "GRAPH_PRINT_PNG_VALID=yes\n"
                                                                "GRAPH_PRINT_PNG_COMPRESS=9\n"
                                                                "GRAPH_PRINT_PNG_ALPHA=") +
                                                    alpha + "\nGRAPH_PRINT_PNG_FILTER=" + std::to_string(filter) +
                                                    "\nGRAPH_PRINT_PNG_NAME=" + path + "\n")));
            EXPECT_EQ(surface.SaveToImage(), "PNG ok; ");
            auto png = pngAt(path);
            ASSERT_TRUE(png);
            EXPECT_EQ(png->hasAlpha, std::string(alpha) == "yes");
            EXPECT_EQ(png->argb, allPixels(*surface.offScrImage));
        }
    }
}

// ---- Output names and the summary ---------------------------------------------

TEST_F(Surface, UnnamedOutputsTakeTheTitleWithUnderscores) {
    surfacetest::ScopedCurrentDir cwd(dir.path);
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_NAME=CAC 40  daily\nGRAPH_PRINT_PNG_VALID=yes\n")));
    EXPECT_EQ(surface.SaveToImage(), "GIF ok; PNG ok; ");
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"CAC_40__daily.gif", "CAC_40__daily.png"}));
    EXPECT_TRUE(printed(channel("Writing GIF Image in CAC_40__daily.gif")));
    EXPECT_TRUE(printed(channel("Writing PNG Image in CAC_40__daily.png")));
}

TEST_F(Surface, EmptyOutputNamesAreTakenAsMissing) {
    surfacetest::ScopedCurrentDir cwd(dir.path);
    ASSERT_TRUE(surface.initGraphique(
        graph("GRAPH_NAME=Daily\nGRAPH_PRINT_GIF_NAME=\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_NAME=\n")));
    EXPECT_EQ(surface.SaveToImage(), "GIF ok; PNG ok; ");
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"Daily.gif", "Daily.png"}));
}

// ---- SVG and zoomed images ------------------------------------------------------

TEST_F(Surface, ZoomedImagesTakeTheirFactorBeforeTheExtensionOrAtTheEnd) {
    surfacetest::ScopedCurrentDir cwd(dir.path);
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_NAME=Daily\nGRAPH_PRINT_GIF_NAME=v1.0/plain\n"
                                            "GRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_SVG_VALID=yes\n"
                                            "GRAPH_PRINT_SCALES=3;2\n")));
    std::filesystem::create_directory("v1.0");
    // "2" and "3" alone: no 1x GIF or PNG; the SVG has no scale.
    EXPECT_EQ(surface.SaveToImage(), "SVG ok; GIF@2x ok; PNG@2x ok; GIF@3x ok; PNG@3x ok; ");
    EXPECT_EQ(count("Image from "), 1u);  // each rendering draws the window the first one reported
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"Daily.svg", "Daily@2x.png", "Daily@3x.png", "v1.0"}));
    EXPECT_TRUE(std::filesystem::exists("v1.0/plain@2x"));
    const auto gif = gifAt("v1.0/plain@3x");
    const auto png = pngAt("Daily@3x.png");
    ASSERT_TRUE(gif && png);
    EXPECT_EQ(gif->width, 3 * 120);  // the run-length GIF: k times the configured size
    EXPECT_EQ(png->width, 3 * 121);  // the PNG: k times the image
    EXPECT_EQ(png->height, 3 * 81);
    const std::string svg = readBytes("Daily.svg").value_or("");
    EXPECT_NE(svg.find("width=\"121\" height=\"81\" viewBox=\"0 0 121 81\""), std::string::npos);
    EXPECT_NE(svg.find("title\">Daily</title>"), std::string::npos);
}

// One path for the curve, glyphs defined once, and caption text that stays
// well-formed XML whatever it holds.
TEST_F(Surface, SvgKeepsTheCurveWholeAndTheWordsReadable) {
    // A byte that is not UTF-8 is read as Latin-1; a control character is left out.
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_NAME=A<B & \"C\" \x01\xff\nGRAPH_PRINT_GIF_VALID=no\n"
                                            "GRAPH_PRINT_SVG_VALID=yes\nGRAPH_PRINT_SVG_NAME=" + (dir / "c.svg") +
                                            "\nGRAPH_COPYRIGHT=ZZZZ\n")));
    EXPECT_EQ(surface.SaveToImage(), "SVG ok; ");
    const std::string svg = readBytes(dir / "c.svg").value_or("");
    auto count = [&svg](const std::string& what) {
        size_t n = 0;
        for (size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("stroke=\""), 1u) << svg;
    // Every id carries the document's own prefix, so documents can share a page.
    const size_t title = svg.find("<title id=\"zq");
    ASSERT_NE(title, std::string::npos) << svg;
    const std::string prefix = svg.substr(title + 11, 15);
    EXPECT_EQ(svg.substr(title + 26, 44), "title\">A&lt;B &amp; &quot;C&quot; \xc3\xbf</title>");
    EXPECT_NE(svg.find("aria-labelledby=\"" + prefix + "title\""), std::string::npos);
    EXPECT_EQ(count(" id=\""), count(" id=\"" + prefix)) << prefix;
    EXPECT_NE(svg.find("aria-label=\"ZZZZ\""), std::string::npos);
    // The four Z share one glyph.
    const size_t at = svg.find("aria-label=\"ZZZZ\"");
    const size_t use = svg.find("xlink:href=\"#", at);
    const std::string id = svg.substr(use + 12, svg.find('"', use + 12) - use - 12);
    EXPECT_EQ(count("xlink:href=\"" + id + "\""), 4u) << id;
    EXPECT_EQ(count("<path id=\"" + id.substr(1) + "\""), 1u) << id;
}

// A spike of 1e19 or a range of +-1e30 is drawn within the graph, not over
// the captions around it, at 1x as at 2x.
TEST_F(Surface, ValuesFarPastTheIntRangeStayInsideTheGraph) {
    const Color curve{255, 0, 255};
    for (const char* kind : {"spike", "range"}) {
        std::ostringstream text;
        const int64_t now = platform.now.load();
        for (int i = 5 * 24; i >= 0; --i) {
            const int64_t t = now - int64_t(i) * Indication_Data::TIME_HOURTOMILLISECOND;
            const char* v = kind[0] == 's' ? (i == 60 ? "1e19" : "4000") : (i % 2 ? "1e30" : "-1e30");
            text << Indication_Tools::getBddDate(t) << ';' << Indication_Tools::getBddTime(t) << ';' << v << "\n";
        }
        const std::string data = file(text.str());
        ASSERT_TRUE(surface.initGraphique(file("GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\nGRAPH_NAME=Title\n"
                                               "GRAPH_PRINT_WIDTH=160\nGRAPH_PRINT_HEIGHT=100\nGRAPH_DATA_FILE=" + data +
                                               "\nGRAPH_CURVE_COLOR=255;0;255\nGRAPH_CURVE_MOUNTAIN=yes\n"
                                               "GRAPH_PRINT_GIF_VALID=no\n")));
        surface.exportImages();
        const Image& image = *surface.offScrImage;
        const Rectangle r = surface.rect_Graphique;
        ASSERT_GT(r.y, 0) << "no caption above the graph";
        int inside = 0;
        const std::vector<uint32_t> px = allPixels(image);
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x) {
                if (px[size_t(y) * image.getWidth() + x] != curve.argb()) continue;
                const bool in = x >= r.x && x <= r.x + r.width && y >= r.y && y <= r.y + r.height;
                ASSERT_TRUE(in) << kind << ": curve at " << x << "," << y;
                ++inside;
            }
        EXPECT_GT(inside, 0) << kind;
        {
            const int k = 2;
            const std::unique_ptr<Image> big = Image::create(k * image.getWidth(), k * image.getHeight());
            ASSERT_TRUE(big);
            const std::unique_ptr<Graphics> target = big->getGraphics();
            ScaledGraphics scaled(*target, k);
            surface.paintApplet(scaled);
            const std::vector<uint32_t> bp = allPixels(*big);
            for (int y = 0; y < big->getHeight(); ++y) {
                for (int x = 0; x < big->getWidth(); ++x) {
                    if (bp[size_t(y) * big->getWidth() + x] != curve.argb()) continue;
                    ASSERT_TRUE(x >= k * r.x && x < k * (r.x + r.width + 1) && y >= k * r.y &&
                                y < k * (r.y + r.height + 1))
                        << kind << " at " << k << "x: curve at " << x << "," << y;
                }
            }
        }
    }
}

// A mountain under a jagged curve with its X labels over the axis, at 1x and
// 2x: the curve and the labels keep every pixel they have without the mountain.
TEST_F(Surface, TheMountainLeavesTheCurveAndTheXLabelsWhole) {
    surfacetest::ScopedCurrentDir cwd(dir.path);
    const uint32_t curve = Color{255, 0, 255}.argb();
    const uint32_t pen = Color{0, 0, 255}.argb();
    const std::string keys = "GRAPH_PRINT_GIF_VALID=no\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_SCALES=1;2\n"
                             "GRAPH_CURVE_COLOR=255;0;255\nGRAPH_CURVE_MOUNTAIN_COLOR=0;255;0\n"
                             "COLOR_GRAPH_PEN=0;0;255\nLEGENDE_X_OVERAXIS=yes\n";
    ASSERT_TRUE(surface.initGraphique(graph(keys + "GRAPH_PRINT_PNG_NAME=bare.png\n")));
    ASSERT_EQ(surface.SaveToImage(), "PNG ok; PNG@2x ok; ");
    ASSERT_TRUE(surface.initGraphique(graph(keys + "GRAPH_PRINT_PNG_NAME=filled.png\nGRAPH_CURVE_MOUNTAIN=yes\n")));
    ASSERT_EQ(surface.SaveToImage(), "PNG ok; PNG@2x ok; ");
    const int x0 = surface.layout().RepereGraph_x0;
    const int y0 = surface.layout().RepereGraph_y0;
    for (const int k : {1, 2}) {
        const std::string suffix = k == 1 ? "" : "@2x";
        const auto bare = pngAt("bare" + suffix + ".png");
        const auto filled = pngAt("filled" + suffix + ".png");
        ASSERT_TRUE(bare && filled);
        ASSERT_EQ(bare->argb.size(), filled->argb.size());
        size_t curvePixels = 0, labelPixels = 0, lost = 0;
        for (size_t i = 0; i < bare->argb.size(); ++i) {
            const int x = int(i % bare->width) / k, y = int(i / bare->width) / k;
            // Inside the plot, off the Y ticks and the X ticks: the X labels.
            const bool label = bare->argb[i] == pen && x > x0 + 1 && y < y0 - 1;
            if (bare->argb[i] != curve && !label) continue;
            ++(label ? labelPixels : curvePixels);
            lost += filled->argb[i] != bare->argb[i] ? 1 : 0;
        }
        EXPECT_GT(curvePixels, 100u * k) << suffix;
        EXPECT_GT(labelPixels, 10u * k) << suffix;
        EXPECT_EQ(lost, 0u) << suffix << ": of " << curvePixels << " + " << labelPixels;
    }
}

TEST_F(Surface, AZoomedSizePastTheLimitFailsThatImageOnly) {
    surfacetest::ScopedCurrentDir cwd(dir.path);
    // 20000 x 60 at 1x, 80004 pixels wide at 4x: past the 65535 limit.
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_NAME=Wide\nGRAPH_PRINT_WIDTH=20000\nGRAPH_PRINT_HEIGHT=60\n"
                                            "GRAPH_PRINT_GIF_VALID=no\nGRAPH_PRINT_PNG_VALID=yes\n"
                                            "GRAPH_PRINT_SCALES=1;2;4\n")));
    const Indication_Graph::ImageExport written = surface.exportImages();
    EXPECT_FALSE(written.complete());
    EXPECT_EQ(written.outcomes(), "PNG ok; PNG@2x ok; PNG@4x failed!");
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"Wide.png", "Wide@2x.png"}));
    EXPECT_TRUE(printed(channel("Error during the writing of the PNG : no valid datas (bytes) - the image at 4x, "
                                "80004x244, cannot be made (sides from 1 to 65535 and at most 67108864 pixels)")));
}

// A window whose only record sits at its start has nothing to draw: the
// image says so rather than showing an empty frame labelled 0.
TEST_F(Surface, WindowWithNothingToDrawShowsTheNotLoadedBox) {
    const std::string data = file("20011119;173000;5\n");
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_DATA_FILE=" + data +
                                            "\nGRAPH_DURATION_PERIOD=1\nGRAPH_DURATION_PERIOD_WEDGE_DATE=20011120\n"
                                            "GRAPH_DURATION_PERIOD_WEDGE_TIME=173000\n")));
    EXPECT_EQ(surface.idMesDonnees->vecGraph_Date.size(), 1u);  // read, as the window's first record
    EXPECT_FALSE(surface.hasDataToDraw());
    ASSERT_TRUE(surface.SaveToGif(dir / "empty.gif"));
    EXPECT_GT(surface.rect_dialog.width, 16);

    ASSERT_TRUE(surface.initGraphique(graph()));
    EXPECT_TRUE(surface.hasDataToDraw());
}

TEST_F(Surface, MacrosInOutputNamesAndTitleAreExpandedAtLoading) {
    surfacetest::ScopedCurrentDir cwd(dir.path);
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_NAME=Day %d-%m\nGRAPH_PRINT_PNG_VALID=yes\n"
                                            "GRAPH_PRINT_GIF_NAME=g_%Y%m%d_%H%M.gif\n")));
    // The clock moves on between loading and writing: the names do not.
    platform.now = platform.now.load() + Indication_Data::TIME_DAYTOMILLISECOND;
    EXPECT_EQ(surface.SaveToImage(), "GIF ok; PNG ok; ");
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"g_20011121_1800.gif", "Day_21-11.png"}));
}

TEST_F(Surface, FormatsSwitchedOffStillRenderAndGiveAnEmptySummary) {
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_PRINT_GIF_VALID=no\nGRAPH_NAME=" + (dir / "x") + "\n")));
    const auto before = allPixels(*surface.offScrImage);
    EXPECT_EQ(surface.SaveToImage(), "");
    EXPECT_NE(allPixels(*surface.offScrImage), before);  // drawn all the same
    EXPECT_FALSE(surface.bUpdateImage);
    EXPECT_FALSE(surface.SaveToGif());
    EXPECT_FALSE(surface.SaveToPNG());
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_EQ(count("Writing "), 0u);
}

TEST_F(Surface, FormsGivenAPathWriteWhateverTheValidFlagsSay) {
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_PRINT_GIF_VALID=no\n")));
    EXPECT_TRUE(surface.SaveToGif(dir / "forced.gif"));
    EXPECT_TRUE(surface.SaveToPNG(dir / "forced.png"));
    EXPECT_TRUE(gifAt(dir / "forced.gif"));
    EXPECT_TRUE(pngAt(dir / "forced.png"));
}

// ---- Messages -------------------------------------------------------------------

TEST_F(Surface, ReportsWritingOnConsoleAndLogAndSettingsInVerboseMode) {
    const std::string gif = dir / "m.gif";
    const std::string png = dir / "m.png";
    ASSERT_TRUE(surface.initGraphique(graph("GRAPH_PRINT_GIF_LZWCOMPRESS=yes\nGRAPH_PRINT_PNG_VALID=yes\n"
                                            "GRAPH_PRINT_PNG_ALPHA=yes\nGRAPH_PRINT_PNG_FILTER=2\n"
                                            "GRAPH_PRINT_PNG_COMPRESS=9\nGRAPH_PRINT_GIF_NAME=" +
                                            gif + "\nGRAPH_PRINT_PNG_NAME=" + png + "\n")));
    platform.clearOut();
    EXPECT_EQ(surface.SaveToImage(), "GIF ok; PNG ok; ");
    EXPECT_TRUE(printed(channel("Writing GIF Image in " + gif)));
    EXPECT_TRUE(printed(channel("GIF LZW Compression: true")));
    EXPECT_TRUE(printed(channel("Writing PNG Image in " + png)));
    EXPECT_TRUE(printed(channel("PNG Alpha Compression: true; Filter: 2; Compression Level: 9")));
    EXPECT_NE(log().find("  |_ [Indication_Graph] : Writing GIF Image in " + gif + "\r\n"), std::string::npos);
    EXPECT_NE(log().find("  |_ [Indication_Graph] : PNG Alpha Compression: true"), std::string::npos);

    // Outside verbose mode only the writing lines remain.
    Indication_Tools::debugMode = false;
    platform.clearOut();
    EXPECT_TRUE(surface.SaveToGif(false));
    EXPECT_TRUE(printed(channel("Writing GIF Image in " + gif)));
    EXPECT_EQ(count("Compression"), 0u);
}

// ---- Rendering ------------------------------------------------------------------

TEST_F(Surface, UpdateRendersOnlyWhenAskedAndCopiesOntoTheGivenSurface) {
    ASSERT_TRUE(surface.initGraphique(graph()));
    auto window = Image::create(121, 81);
    auto windowGraphics = window->getGraphics();
    ASSERT_TRUE(surface.SaveToGif(dir / "a.gif"));
    const auto rendered = allPixels(*surface.offScrImage);

    // A mark on the image survives a further update: nothing is rendered
    // and nothing is copied.
    surface.offScrGraphics->setColor(Color(1, 2, 3));
    surface.offScrGraphics->fillRect(0, 0, 5, 5);
    const auto marked = allPixels(*surface.offScrImage);
    surface.update(windowGraphics.get());
    EXPECT_EQ(allPixels(*surface.offScrImage), marked);
    EXPECT_EQ(allPixels(*window), std::vector<uint32_t>(121 * 81, 0xFF000000u));

    // Asked again: rendered anew and copied.
    surface.bUpdateImage = true;
    surface.update(windowGraphics.get());
    EXPECT_EQ(allPixels(*surface.offScrImage), rendered);
    EXPECT_EQ(allPixels(*window), rendered);
    EXPECT_FALSE(surface.bUpdateImage);
}

TEST_F(Surface, RenderFlagDecidesWhetherTheFileShowsAFreshRendering) {
    ASSERT_TRUE(surface.initGraphique(graph()));
    ASSERT_TRUE(surface.SaveToGif(dir / "fresh.gif"));
    const auto rendered = allPixels(*surface.offScrImage);
    auto mark = [&] {
        surface.offScrGraphics->setColor(Color(1, 2, 3));
        surface.offScrGraphics->fillRect(10, 10, 4, 4);
    };

    mark();
    ASSERT_TRUE(surface.SaveToGif(false, dir / "kept.gif"));
    ASSERT_TRUE(surface.SaveToPNG(false, dir / "kept.png"));
    EXPECT_EQ(gifAt(dir / "kept.gif")->argb()[10 * 120 + 10], 0xFF010203u);
    EXPECT_EQ(pngAt(dir / "kept.png")->argb[10 * 121 + 10], 0xFF010203u);

    mark();
    ASSERT_TRUE(surface.SaveToPNG(dir / "again.png"));
    EXPECT_EQ(pngAt(dir / "again.png")->argb, rendered);
    mark();
    ASSERT_TRUE(surface.SaveToGif(dir / "again.gif"));
    EXPECT_EQ(gifAt(dir / "again.gif")->argb(), topLeft(*surface.offScrImage, 120, 80));
    EXPECT_EQ(allPixels(*surface.offScrImage), rendered);
}

TEST_F(Surface, NotLoadedBoxIsCentredAndDrawnAboveItsRectangle) {
    platform.setMissing("mem/none.txt");
    EXPECT_FALSE(surface.initGraphique(graph("GRAPH_PRINT_WIDTH=320\nGRAPH_PRINT_HEIGHT=200\n"
                                             "GRAPH_DATA_FILE=mem/none.txt\n",
                                             false),
                                       320, 200));
    ASSERT_TRUE(surface.SaveToGif(dir / "box.gif"));
    const Rectangle r = surface.rect_dialog;
    EXPECT_LE(std::abs(r.x + r.width / 2 - 160), 1);
    EXPECT_LE(std::abs(r.y + r.height / 2 - 100), 1);
    EXPECT_GT(r.width, 16);

    const Image& img = *surface.offScrImage;
    auto at = [&](int x, int y) { return img.data()[y * img.getWidth() + x]; };
    const uint32_t white = Color(255, 255, 255).argb();
    const uint32_t fill = Indication_Graph::POPUP_COLOR_BACKGROUND.argb();
    // Background everywhere outside the box, the box's fill inside it; the
    // box starts 10 + 8 pixels above rect_dialog.
    const int boxTop = r.y - 18;
    const int boxBottom = boxTop + r.height - 1;
    EXPECT_EQ(at(0, 0), white);
    EXPECT_EQ(at(320, 200), white);
    EXPECT_EQ(at(r.x + 2, boxTop - 1), white);
    EXPECT_EQ(at(r.x + 2, boxTop + 2), fill);
    EXPECT_EQ(at(r.x + 2, boxBottom - 2), fill);
    EXPECT_EQ(at(r.x + 2, boxBottom + 1), white);
    EXPECT_NE(at(r.x + 2, boxTop), fill);  // the bevelled outline
    // The text is drawn in black somewhere inside the box.
    bool black = false;
    for (int y = boxTop; y <= boxBottom; ++y) {
        for (int x = r.x; x < r.x + r.width; ++x) black = black || at(x, y) == 0xFF000000u;
    }
    EXPECT_TRUE(black);
}

// ---- Release --------------------------------------------------------------------

TEST_F(Surface, AfterFinalizeOnlyTheNotLoadedBoxIsDrawnAndNothingFails) {
    ASSERT_TRUE(surface.initGraphique(graph()));
    surface.finalize();
    EXPECT_FALSE(surface.bDataReady);
    EXPECT_FALSE(surface.idMesDonnees);
    surface.bUpdateImage = true;
    surface.update(nullptr);
    EXPECT_GT(surface.rect_dialog.width, 0);  // the box was drawn
    EXPECT_FALSE(surface.SaveToGif());
    EXPECT_FALSE(surface.SaveToPNG());
    EXPECT_EQ(surface.SaveToImage(), "");
    EXPECT_FALSE(surface.SaveToGif(dir / "late.gif"));
    EXPECT_FALSE(surface.initGraphique(graph()));
    surface.finalize();  // twice is harmless
}

}  // namespace
