// A whole chart: the input becomes a graph file and a data file, the chart
// surface loads, renders and writes it (both GIF coders and PNG), and every
// file written is decoded by giflib or libpng and compared with the pixels
// drawn in the off-screen image.
//
// Whatever GRAPH_DATA_FILE names reads the data file; image files land in
// memory, whatever their names.

#include "fuzz/FuzzChart.h"
#include "tests/common/ReferenceDecoders.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup& s = setup();
    Input in(data, size);
    loadInput(in);

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
            if (!model.bPrintGIF_LZWCompress && !model.bPrint_ExactSize)
                w = model.iDimension_Width, h = model.iDimension_Height;
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
