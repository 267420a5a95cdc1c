// A whole chart written at 2x, 3x or 4x as well as 1x: each scaled file is
// decoded by giflib or libpng and compared with a fresh scaled rendering of
// the chart; it has k times the 1x file's size, and a chart's later images
// start from the state its 1x image left, so rendering again gives the same.
//
// Input: one byte whose low bits choose k (2 + byte % 3), then the chart
// targets' input. Whatever GRAPH_DATA_FILE names reads the data file.

#include "chart/ScaledGraphics.h"
#include "fuzz/FuzzChart.h"
#include "tests/common/ReferenceDecoders.h"

using namespace fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup& s = setup();
    Input in(data, size);
    const int k = 2 + in.u8() % 3;
    loadInput(in, "\nGRAPH_PRINT_SCALES=1;" + std::to_string(k) + "\nGRAPH_PRINT_PNG_VALID=yes\n"
                  "GRAPH_PRINT_GIF_NAME=fuzz.gif\nGRAPH_PRINT_PNG_NAME=fuzz.png\n");

    Indication_Graph surface;
    if (!surface.initGraphique(kGraphPath)) return 0;
    const Image& image = *surface.offScrImage;
    if (static_cast<int64_t>(image.getWidth()) * image.getHeight() * k * k > kMaxDrawnPixels) return 0;
    surface.init();
    const std::string summary = surface.SaveToImage();
    const Indication_Data& model = *surface.idMesDonnees;
    const std::string suffix = "@" + std::to_string(k) + "x";
    const std::string pngPath = "fuzz" + suffix + ".png", gifPath = "fuzz" + suffix + ".gif";
    auto& written = s.platform.written;
    FUZZ_CHECK(written.count(pngPath) == 1, "no " + pngPath + ": " + summary);
    FUZZ_CHECK(written.count(gifPath) == (model.bPrintGIF_Valid ? 1u : 0u), gifPath + ": " + summary);

    const std::unique_ptr<Image> again = Image::create(k * image.getWidth(), k * image.getHeight());
    FUZZ_CHECK(again != nullptr, "no image at " + suffix);
    {
        const std::unique_ptr<Graphics> target = again->getGraphics();
        ScaledGraphics scaled(*target, k);
        surface.paintApplet(scaled);
    }
    FUZZ_CHECK(again->getWidth() == k * image.getWidth() && again->getHeight() == k * image.getHeight(), "size");

    std::string error;
    const auto png = ref::decodePng(written[pngPath], &error);
    FUZZ_CHECK(png.has_value(), pngPath + ": " + error);
    FUZZ_CHECK(png->width == again->getWidth() && png->height == again->getHeight(), pngPath + ": size");
    compare(png->argb, drawn(*again, again->getWidth(), again->getHeight()),
            model.bPrintPNG_Alpha ? 0xFFFFFFFFu : 0xFFFFFFu, pngPath);

    if (model.bPrintGIF_Valid) {
        int w = again->getWidth(), h = again->getHeight();
        if (!model.bPrintGIF_LZWCompress && !model.bPrint_ExactSize)
            w = model.iDimension_Width * k, h = model.iDimension_Height * k;
        const auto gif = ref::decodeGif(written[gifPath], &error);
        FUZZ_CHECK(gif.has_value(), gifPath + ": " + error);
        FUZZ_CHECK(gif->width == w && gif->height == h, gifPath + ": size");
        compare(gif->argb(), drawn(*again, w, h), 0xFFFFFFu, gifPath);
    }
    return 0;
}
