// Image files are replaced whole or not at all: a failed write (encoder error,
// missing or blocked folder, full disk or file-size limit) leaves the previous
// file byte-identical with no temporary file beside it, and a reader polling
// the file while it is rewritten only ever sees complete images.

#include "SurfaceTestKit.h"

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using surfacetest::readBytes;
using surfacetest::SurfaceTest;
using surfacetest::writeBytes;

const std::string kPrevious = "previous image bytes";

class SurfaceFiles : public SurfaceTest {
protected:
    void SetUp() override {
        SurfaceTest::SetUp();
        ASSERT_TRUE(surface.initGraphique(graph("GRAPH_PRINT_PNG_VALID=yes\n")));
    }

    // Draws more than 256 colours on the image, which no GIF palette holds.
    void paintManyColours() {
        for (int i = 0; i < 300; ++i) {
            surface.offScrGraphics->setColor(Color(i % 256, i / 256, 7));
            surface.offScrGraphics->fillRect(i % 120, i / 120, 1, 1);
        }
    }

    Indication_Graph surface;
};

TEST_F(SurfaceFiles, TooManyColoursFailWithTheEncodersTextAndTouchNothing) {
    for (const bool lzw : {true, false}) {
        SCOPED_TRACE(lzw ? "LZW" : "run-length");
        const std::string path = dir / "colours.gif";
        writeBytes(path, kPrevious);
        surface.idMesDonnees->bPrintGIF_LZWCompress = lzw;
        paintManyColours();
        platform.clearOut();
        EXPECT_FALSE(surface.SaveToGif(false, path));
        EXPECT_TRUE(printed(channel(std::string("Error during the writing of the GIF : ") +
                                    (lzw ? "Too many colors." : "Too many colors"))));
        EXPECT_EQ(readBytes(path), kPrevious);
        EXPECT_EQ(dir.entries(), std::set<std::string>{"colours.gif"});
    }
    // The summary leaves the failed format out; the PNG holds any colours.
    surface.idMesDonnees->szPrintGIF_FileName = dir / "colours.gif";
    surface.idMesDonnees->szPrintPNG_FileName = dir / "colours.png";
    paintManyColours();
    EXPECT_FALSE(surface.SaveToGif(false));
    EXPECT_TRUE(surface.SaveToPNG(false));
    EXPECT_TRUE(log().find("Error during the writing of the GIF : Too many colors") != std::string::npos);
}

TEST_F(SurfaceFiles, MissingFolderOrAFileInPlaceOfTheFolderIsReportedAndLeavesNothing) {
    writeBytes(dir / "plain", "a file, not a folder");
    for (const std::string& path : {dir / "missing/chart", dir / "plain/chart"}) {
        SCOPED_TRACE(path);
        platform.clearOut();
        EXPECT_FALSE(surface.SaveToGif(path + ".gif"));
        EXPECT_FALSE(surface.SaveToPNG(path + ".png"));
        EXPECT_EQ(count("[Indication_Graph] : Error during the writing of the GIF : "), 1u);
        EXPECT_EQ(count("[Indication_Graph] : Error during the writing of the PNG : "), 1u);
    }
    EXPECT_EQ(dir.entries(), std::set<std::string>{"plain"});
    EXPECT_EQ(readBytes(dir / "plain"), "a file, not a folder");
}

TEST_F(SurfaceFiles, PlatformWriteFailureIsReportedWithItsReason) {
    struct FailingWrites : PlatformWrapper {
        using PlatformWrapper::PlatformWrapper;
        std::unique_ptr<StagedFile> stageFile(const std::string&, std::string_view, std::string& error) override {
            error = "disk on fire";
            return nullptr;
        }
    } failing(platform);
    ScopedPlatform scoped(failing);
    surface.idMesDonnees->szPrintGIF_FileName = dir / "x.gif";
    surface.idMesDonnees->szPrintPNG_FileName = dir / "x.png";
    EXPECT_EQ(surface.SaveToImage(), "");
    EXPECT_TRUE(printed(channel("Error during the writing of the GIF : disk on fire")));
    EXPECT_TRUE(printed(channel("Error during the writing of the PNG : disk on fire")));
    EXPECT_NE(log().find("  |_ [Indication_Graph] : Error during the writing of the PNG : disk on fire"),
              std::string::npos);
}

// A file-size limit makes the real write fail part-way: in a child process
// (the limit is per process) with SIGXFSZ ignored so the write returns EFBIG.
TEST_F(SurfaceFiles, FileSizeLimitPartWayLeavesThePreviousFileWhole) {
    for (const bool png : {false, true}) {
        SCOPED_TRACE(png ? "PNG" : "GIF");
        const std::string path = dir / (png ? "limited.png" : "limited.gif");
        writeBytes(path, kPrevious);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 64;
            setrlimit(RLIMIT_FSIZE, &limit);
            platform.clearOut();
            const bool written = png ? surface.SaveToPNG(path) : surface.SaveToGif(path);
            const bool reported =
                count(std::string("[Indication_Graph] : Error during the writing of the ") + (png ? "PNG" : "GIF") +
                      " : ") == 1;
            _exit(!written && reported ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not fail, or was not reported";
        EXPECT_EQ(readBytes(path), kPrevious);
        EXPECT_EQ(dir.entries().size(), png ? 2u : 1u);  // no temporary file
    }
}

TEST_F(SurfaceFiles, ReaderPollingWhileTheFileIsRewrittenOnlySeesWholeImages) {
    // Two renderings of different sizes, so a mix of old and new bytes or a
    // truncated file cannot pass for either.
    Indication_Graph other;
    ASSERT_TRUE(other.initGraphique(graph(), 180, 130));
    const std::string gif = dir / "live.gif";
    const std::string png = dir / "live.png";
    ASSERT_TRUE(surface.SaveToGif(gif));
    ASSERT_TRUE(other.SaveToGif(dir / "other.gif"));
    const auto shapeA = gifAt(gif);
    const auto shapeB = gifAt(dir / "other.gif");
    ASSERT_TRUE(shapeA && shapeB);
    ASSERT_TRUE(surface.SaveToPNG(png));

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!done) {
            for (const std::string* path : {&gif, &png}) {
                auto bytes = readBytes(*path);
                if (!bytes) {
                    ++bad;
                    continue;
                }
                bool whole = false;
                if (path == &gif) {
                    auto img = ref::decodeGif(*bytes);
                    whole = img && ((img->width == shapeA->width && img->indexes == shapeA->indexes) ||
                                    (img->width == shapeB->width && img->indexes == shapeB->indexes));
                } else {
                    auto img = ref::decodePng(*bytes);
                    whole = img && (img->width == 121 || img->width == 181);
                }
                if (!whole) ++bad;
                ++reads;
            }
        }
    });
    for (int i = 0; i < 150; ++i) {
        Indication_Graph& writer = i % 2 ? other : surface;
        ASSERT_TRUE(writer.SaveToGif(false, gif));
        ASSERT_TRUE(writer.SaveToPNG(false, png));
    }
    // Let the reader see the last version at least once.
    while (reads < 20) std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0) << "of " << reads.load() << " reads";
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"live.gif", "live.png", "other.gif"}));
}

// ---- Refresh thread ---------------------------------------------------------------

// Counts the images copied onto it, forwarding everything to a real context.
class CountingGraphics : public Graphics {
public:
    explicit CountingGraphics(Graphics& target) : target_(target) {}
    void setColor(const Color& c) override { target_.setColor(c); }
    Color getColor() const override { return target_.getColor(); }
    void setFont(const Font& f) override { target_.setFont(f); }
    Font getFont() const override { return target_.getFont(); }
    const FontMetrics& getFontMetrics(const Font& f) override { return target_.getFontMetrics(f); }
    void drawLine(int a, int b, int c, int d) override { target_.drawLine(a, b, c, d); }
    void fillRect(int x, int y, int w, int h) override { target_.fillRect(x, y, w, h); }
    void fillPolygon(const Polygon& p) override { target_.fillPolygon(p); }
    void drawString(std::string_view t, int x, int y) override { target_.drawString(t, x, y); }
    void fill3DRect(int x, int y, int w, int h, bool r) override { target_.fill3DRect(x, y, w, h, r); }
    void draw3DRect(int x, int y, int w, int h, bool r) override { target_.draw3DRect(x, y, w, h, r); }
    void drawImage(const Image& image, int x, int y) override {
        target_.drawImage(image, x, y);
        ++images;
    }
    void setClip(const Rectangle* area) override { target_.setClip(area); }
    std::atomic<int> images{0};

private:
    Graphics& target_;
};

TEST_F(SurfaceFiles, RefreshThreadDrawsOnTheWindowAndStopsAtOnce) {
    auto window = Image::create(121, 81);
    auto windowContext = window->getGraphics();
    CountingGraphics counting(*windowContext);
    surface.setWindowGraphics(&counting);
    surface.iVitesseRefresh = 1;
    surface.start();
    surface.start();  // already running: no second thread
    for (int i = 0; i < 5000 && counting.images == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    surface.stop();
    EXPECT_FALSE(surface.thLaRoutine);
    ASSERT_EQ(counting.images.load(), 1);  // rendered once, then nothing left to do
    EXPECT_EQ(surfacetest::allPixels(*window), surfacetest::allPixels(*surface.offScrImage));

    // A long pause does not delay the stop, and the thread can start again.
    surface.iVitesseRefresh = 3600 * 1000;
    surface.start();
    const auto begin = std::chrono::steady_clock::now();
    surface.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    surface.stop();  // nothing held: nothing to do
}

TEST_F(SurfaceFiles, WithoutAWindowTheRefreshThreadIsHarmlessAndEndsWithTheSurface) {
    {
        Indication_Graph idle;
        idle.iVitesseRefresh = 1;
        idle.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }  // the destructor stops and joins it
    surface.iVitesseRefresh = 1;
    surface.start();
    surface.finalize();  // ends the thread before dropping the model
    EXPECT_FALSE(surface.thLaRoutine);
    EXPECT_FALSE(surface.idMesDonnees);
}

}  // namespace
