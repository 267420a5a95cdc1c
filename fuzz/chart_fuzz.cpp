// A whole chart: the input becomes a graph file and a data file, the chart
// surface loads, renders and writes it (both GIF coders and PNG), and every
// file written is decoded by giflib or libpng and compared with the pixels
// drawn in the off-screen image.
//
// Input: one flag byte (0x01 verbose mode), then the graph file, the line
// "----", and the data file. Whatever GRAPH_DATA_FILE names reads the data
// file; image files land in memory, whatever their names.

#include "chart/Indication_Graph.h"
#include "fuzz/FuzzSupport.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "tests/common/ReferenceDecoders.h"
#include "tests/common/TestPlatform.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* kGraphPath = "fuzz/chart.ini";
// Larger charts are loaded but not drawn: drawing and encoding them is bounded
// but takes seconds, which only slows the search down.
constexpr int64_t kMaxDrawnPixels = 1 << 20;

class ChartPlatform : public PlatformWrapper {
public:
    ChartPlatform() : PlatformWrapper(Platform::current()) { Platform::install(this); }

    std::string graph, data;
    std::map<std::string, std::string> written;

    int64_t nowMillis() override { return now; }
    bool readFile(const std::string& path, std::string& out, std::string&) override {
        out = path == kGraphPath ? graph : data;
        return true;
    }
    bool appendFile(const std::string&, std::string_view, std::string&) override { return true; }
    bool appendLogLine(const std::string&, std::string_view, const LogRotation&, std::string&, std::string&) override {
        return true;
    }
    bool writeFileAtomic(const std::string& path, std::string_view bytes, std::string&) override {
        written[path] = std::string(bytes);
        return true;
    }
    bool isReadableFile(const std::string&) override { return true; }
    void writeStdout(std::string_view) override {}
    void writeStderr(std::string_view) override {}
    void sleepMillis(int64_t) override {}

    int64_t now = 0;
};

struct Setup {
    // No cache folder: the font-file cache stays off, so every file a chart
    // writes is one of its images and no run depends on an earlier one.
    bool noCache = [] {
        ::unsetenv("XDG_CACHE_HOME");
        ::unsetenv("HOME");
        return true;
    }();
    ScopedTimeZone zone{"Europe/Paris"};
    ChartPlatform platform;
    Setup() { platform.now = localMillis(2001, 11, 21, 18, 0, 0); }
};

Setup& setup() {
    static Setup* s = new Setup;
    return *s;
}

std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

// The drawn pixels of the top-left w x h corner (0 outside the image).
std::vector<uint32_t> drawn(const Image& image, int w, int h) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    const int gw = std::min(w, image.getWidth()), gh = std::min(h, image.getHeight());
    if (gw > 0 && gh > 0) image.grabPixels(0, 0, gw, gh, px.data(), 0, w, nullptr);
    return px;
}

void compare(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want, uint32_t mask,
             const std::string& what) {
    FUZZ_CHECK(got.size() == want.size(), what + ": pixel count");
    for (size_t i = 0; i < got.size(); ++i) {
        FUZZ_CHECK((got[i] & mask) == (want[i] & mask),
                   what + ": pixel " + std::to_string(i) + " is " + hex(got[i]) + ", drawn " + hex(want[i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup& s = setup();
    fuzz::Input in(data, size);
    Indication_Tools::debugMode = (in.u8() & 1) != 0;
    const std::string rest = in.rest();
    const size_t cut = rest.find("\n----\n");
    s.platform.graph = rest.substr(0, cut);
    s.platform.data = cut == std::string::npos ? std::string() : rest.substr(cut + 6);
    s.platform.written.clear();

    Indication_Graph surface;
    if (!surface.initGraphique(kGraphPath)) return 0;
    FUZZ_CHECK(surface.offScrImage != nullptr, "ready without an image");
    const Image& image = *surface.offScrImage;
    if (static_cast<int64_t>(image.getWidth()) * image.getHeight() > kMaxDrawnPixels) return 0;
    surface.init();
    const std::string summary = surface.SaveToImage();
    const Indication_Data& model = *surface.idMesDonnees;
    if (std::getenv("ZK_FUZZ_VERBOSE")) {
        std::fprintf(stderr, "%dx%d, %zu points, \"%s\":", image.getWidth(), image.getHeight(),
                     model.vecGraph_Date.size(), summary.c_str());
        for (const auto& [path, bytes] : s.platform.written) std::fprintf(stderr, " %s (%zu)", path.c_str(), bytes.size());
        std::fprintf(stderr, "\n");
    }

    bool gif = false, png = false;
    for (const auto& [path, bytes] : s.platform.written) {
        std::string error;
        if (bytes.rfind("GIF8", 0) == 0) {
            gif = true;
            const auto decoded = ref::decodeGif(bytes, &error);
            int w = image.getWidth(), h = image.getHeight();
            if (!model.bPrintGIF_LZWCompress) w = model.iDimension_Width, h = model.iDimension_Height;
            if (w == 0 || h == 0) continue;  // giflib has no use for empty images
            FUZZ_CHECK(decoded.has_value(), path + ": " + error);
            FUZZ_CHECK(decoded->width == w && decoded->height == h, path + ": size");
            compare(decoded->argb(), drawn(image, w, h), 0xFFFFFFu, path);
        } else {
            FUZZ_CHECK(bytes.rfind("\x89PNG", 0) == 0, path + ": neither GIF nor PNG");
            png = true;
            const auto decoded = ref::decodePng(bytes, &error);
            FUZZ_CHECK(decoded.has_value(), path + ": " + error);
            FUZZ_CHECK(decoded->width == image.getWidth() && decoded->height == image.getHeight(), path + ": size");
            compare(decoded->argb, drawn(image, image.getWidth(), image.getHeight()),
                    model.bPrintPNG_Alpha ? 0xFFFFFFFFu : 0xFFFFFFu, path);
        }
    }
    // The summary names exactly what was written (both names may be one file).
    const bool gifOk = summary.find("GIF ok; ") != std::string::npos;
    const bool pngOk = summary.find("PNG ok; ") != std::string::npos;
    FUZZ_CHECK(pngOk == png, summary);
    FUZZ_CHECK(gifOk == gif || (pngOk && png && !gif), summary);
    return 0;
}
