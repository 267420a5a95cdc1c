// The chart surface: loading a chart, rendering it into the off-screen image,
// and writing that image as GIF and PNG files.

#include "chart/Indication_Graph.h"

#include "chart/ChartFrame.h"
#include "chart/ChartMath.h"
#include "chart/ChartOutput.h"
#include "chart/ScaledGraphics.h"
#include "chart/SvgGraphics.h"
#include "encoders/GIFEncoder.h"
#include "encoders/GIFEncoder_LZW.h"
#include "encoders/PngEncoder.h"
#include "support/AtomicWrites.h"
#include "support/Indication_Tools.h"
#include "support/MessageBuffer.h"
#include "support/Platform.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

const char* trueFalse(bool b) { return b ? "true" : "false"; }

// W + 1 without overflow, for a width that may come straight from a file.
int plusOne(int v) { return v < INT_MAX ? v + 1 : v; }

}  // namespace

Indication_Graph::Indication_Graph() : idMesDonnees(std::make_unique<Indication_Data>()) {}

void Indication_Graph::setChartContext(const ChartContext& context) {
    context_ = context;
    if (idMesDonnees) idMesDonnees->setChartContext(context);
}

Indication_Graph::Indication_Graph(const std::optional<std::string>& path, int width, int height)
    : Indication_Graph() {
    initGraphique(path, width, height);
}

Indication_Graph::~Indication_Graph() { stop(); }

// ---- Loading ----------------------------------------------------------------

bool Indication_Graph::initGraphique(const std::optional<std::string>& path) {
    return initGraphique(path, -1, -1);
}

bool Indication_Graph::initGraphique(const std::optional<std::string>& path, int width, int height) {
    offScrGraphics.reset();
    offScrImage.reset();
    // Released by finalize: there is nothing left to load into.
    if (!idMesDonnees) return false;
    Indication_Data& model = *idMesDonnees;

    model.ResetConfiguration();
    if (!model.SetConfigurationFile(path)) return false;
    bDataReady = model.GetConfiguration();
    if (!bDataReady) return false;
    bDataReady = bDataReady && model.ReadData();
    model.startLayout(layout_);
    windowFixed_ = false;

    const int sizeW = width > 0 ? width : model.iDimension_Width;
    const int sizeH = height > 0 ? height : model.iDimension_Height;
    const std::string size = std::to_string(sizeW) + "x" + std::to_string(sizeH);
    // The frame spans one row and column beyond the surface's size: an image
    // of exactly the size asked for is laid out on one pixel less each way,
    // so that everything drawn fits it.
    const bool exact = model.bPrint_ExactSize && sizeW > 0 && sizeH > 0;
    iApplet_Largeur = exact ? sizeW - 1 : sizeW;
    iApplet_Hauteur = exact ? sizeH - 1 : sizeH;
    if (iApplet_Largeur < INT_MAX && iApplet_Hauteur < INT_MAX) {
        offScrImage = Image::create(iApplet_Largeur + 1, iApplet_Hauteur + 1);
    }
    if (!offScrImage) {
        // Said here already: the pass adds no line of its own for it.
        model.loadFailed(ChartFailure::configuration, "");
        // Otherwise the pass would only say "configuration failed!".
        Indication_Tools::Outils_AfficheMsg_System(
            thisClassName, "Error with the image size " + size + " : cannot be made (the image" +
                               (exact ? "" : ", one pixel wider and taller,") + " must have sides from 1 to " +
                               std::to_string(Image::kMaxSide) + " and at most " +
                               std::to_string(Image::kMaxPixels) + " pixels)",
            true);
        return false;
    }
    offScrGraphics = offScrImage->getGraphics();
    // The captions and margins may leave the graph no room at all: a
    // mistake in the size, not a chart.
    const Rectangle graph = chartGraphRectangle(*offScrGraphics, model, iApplet_Largeur, iApplet_Hauteur, iMarge);
    if (graph.width < 1 || graph.height < 1) {
        offScrGraphics.reset();
        offScrImage.reset();
        // Said here already, and it outweighs what the data file said.
        model.loadFailure = ChartLoadFailure{ChartFailure::configuration, false, ""};
        Indication_Tools::Outils_AfficheMsg_System(
            thisClassName, "Error with the image size " + size + " : too small to hold the graph (its margins and "
                               "captions leave it " + std::to_string(graph.width) + "x" +
                               std::to_string(graph.height) + " pixels), no image is written",
            true);
        return false;
    }
    // A new image holds nothing yet: the next update must draw it.
    bUpdateImage = true;
    return bDataReady;
}

// ---- Rendering --------------------------------------------------------------

bool Indication_Graph::hasDataToDraw() const {
    return bDataReady && idMesDonnees && idMesDonnees->Data_HasDisplayedRange();
}

void Indication_Graph::fixDataWindow(bool again) {
    if (!idMesDonnees || (windowFixed_ && !again)) return;
    idMesDonnees->Data_InitMinMax();
    windowFixed_ = true;
}

void Indication_Graph::update(Graphics* g) {
    if (!offScrImage || !offScrGraphics || !bUpdateImage) return;
    // Each update shows the window as it is now (it may end now).
    fixDataWindow(true);
    paintApplet(*offScrGraphics);
    paint(g);
    bUpdateImage = false;
}

void Indication_Graph::paint(Graphics* g) {
    // Copying the image onto its own context would change nothing.
    if (g == nullptr || !offScrImage || g == offScrGraphics.get()) return;
    g->drawImage(*offScrImage, 0, 0);
}

void Indication_Graph::paintApplet(Graphics& g) {
    const int W = iApplet_Largeur;
    const int H = iApplet_Hauteur;
    // An empty frame labelled 0 would pass for a real chart: say so instead.
    if (!hasDataToDraw()) {
        g.setColor(SCREEN_COLOR_BACKGROUND);
        g.fillRect(0, 0, plusOne(W), plusOne(H));
        paintDialog(g, "Données non chargées !");
        return;
    }
    fixDataWindow(false);
    rect_Graphique = paintChartFrame(g, *idMesDonnees, layout_, W, H, iMarge);
}

void Indication_Graph::paintDialog(Graphics& g, const std::string& text) {
    const int W = iApplet_Largeur;
    const int H = iApplet_Hauteur;
    const FontMetrics& f = g.getFontMetrics(SCREEN_FONT_PEN);
    const int p = 8;
    const int tw = f.stringWidth(text);

    rect_dialog.width = tw + 2 * p;
    rect_dialog.height = f.getHeight() + 2 * p;
    rect_dialog.x = W / 2 - rect_dialog.width / 2;
    rect_dialog.y = H / 2 - rect_dialog.height / 2;

    const int boxX = W / 2 - tw / 2 - p;
    const int boxY = rect_dialog.y - 10 - p;
    g.setColor(POPUP_COLOR_BACKGROUND);
    g.fill3DRect(boxX, boxY, tw + 2 * p, rect_dialog.height, true);
    g.setColor(POPUP_COLOR_CADRE);
    g.draw3DRect(boxX, boxY, tw + 2 * p, rect_dialog.height, true);

    g.setFont(SCREEN_FONT_PEN);
    g.setColor(Color(0, 0, 0));
    g.drawString(text, W / 2 - tw / 2, rect_dialog.y + f.getHeight() / 2 - f.getAscent() + 2);
}

// ---- Export -----------------------------------------------------------------

std::string Indication_Graph::outputName(const std::optional<std::string>& configured,
                                         const char* extension) const {
    // An empty name ("GRAPH_PRINT_GIF_NAME=") names no file: the title does, as when the key is missing.
    if (configured && !configured->empty()) return *configured;
    std::string name = idMesDonnees->szGraph_Title.value_or("");
    std::replace(name.begin(), name.end(), ' ', '_');
    return name + extension;
}

namespace {

void reportStaleTemporaries(const std::vector<std::string>& names, const std::string& path) {
    for (const std::string& name : names) {
        Indication_Tools::Outils_AfficheMsg_System(Indication_Graph::thisClassName,
                                                   "Removed the stale temporary file " + name + " left beside " + path +
                                                       " by a write that never ended",
                                                   true);
    }
}

}  // namespace

bool Indication_Graph::writeImageFile(const char* kind, const std::string& path, std::string_view bytes) {
    // Whole file or nothing: a web server may be serving the previous image
    // while this one is written, and the service may be stopped at any time.
    std::vector<AtomicWrites::File> files(1);
    files[0].path = path;
    files[0].bytes = bytes;
    AtomicWrites::replace(files, false);
    reportImageWrite(kind, path, files[0]);
    return files[0].outcome != AtomicWrites::Replaced::failed;
}

void Indication_Graph::reportImageWrite(const char* kind, const std::string& path, const AtomicWrites::File& file) {
    reportStaleTemporaries(file.swept, path);
    if (file.outcome != AtomicWrites::Replaced::failed) return;
    Indication_Tools::Outils_AfficheMsg_System(
        thisClassName, std::string("Error during the writing of the ") + kind + " : " + file.error, true);
}

bool Indication_Graph::SaveToGif() { return SaveToGif(true); }

bool Indication_Graph::SaveToGif(bool render) {
    if (!idMesDonnees || !idMesDonnees->bPrintGIF_Valid) return false;
    return SaveToGif(render, outputName(idMesDonnees->szPrintGIF_FileName, ".gif"));
}

bool Indication_Graph::SaveToGif(const std::string& path) { return SaveToGif(true, path); }

bool Indication_Graph::SaveToGif(bool render, const std::string& path) {
    int w = idMesDonnees ? idMesDonnees->iDimension_Width : 0;
    int h = idMesDonnees ? idMesDonnees->iDimension_Height : 0;
    // An exact image is the size asked for, in every format.
    if (offScrImage && idMesDonnees && idMesDonnees->bPrint_ExactSize) {
        w = offScrImage->getWidth();
        h = offScrImage->getHeight();
    }
    return writeGif(offScrImage.get(), w, h, render, path, "no chart image");
}

bool Indication_Graph::writeGif(const Image* image, int w, int h, bool render, const std::string& path,
                                const std::string& why) {
    Indication_Tools::Outils_AfficheMsg_System(thisClassName, "Writing GIF Image in " + path, true);
    const bool lzw = idMesDonnees && idMesDonnees->bPrintGIF_LZWCompress;
    Indication_Tools::Outils_AfficheMsg(thisClassName, std::string("GIF LZW Compression: ") + trueFalse(lzw), true);

    if (render) {
        bUpdateImage = true;
        update(offScrGraphics.get());
    }

    EncodedImage gif = EncodedImage::failed(why);
    if (image != nullptr && idMesDonnees) {
        // LZW: the whole image, extra row and column included; run-length:
        // the configured size, read from the top-left corner.
        gif = lzw ? GIFEncoder_LZW(*image).Write() : GIFEncoder(*image, w, h).encode(0);
    }
    if (!gif) {
        Indication_Tools::Outils_AfficheMsg_System(
            thisClassName, "Error during the writing of the GIF : " + gif.failure(), true);
        return false;
    }
    return putImage("GIF", path, gif.takeBytes());
}

bool Indication_Graph::SaveToPNG() { return SaveToPNG(true); }

bool Indication_Graph::SaveToPNG(bool render) {
    if (!idMesDonnees || !idMesDonnees->bPrintPNG_Valid) return false;
    return SaveToPNG(render, outputName(idMesDonnees->szPrintPNG_FileName, ".png"));
}

bool Indication_Graph::SaveToPNG(const std::string& path) { return SaveToPNG(true, path); }

bool Indication_Graph::SaveToPNG(bool render, const std::string& path) {
    return writePng(offScrImage.get(), render, path, "");
}

bool Indication_Graph::writePng(const Image* image, bool render, const std::string& path, const std::string& why) {
    Indication_Tools::Outils_AfficheMsg_System(thisClassName, "Writing PNG Image in " + path, true);

    const bool alpha = idMesDonnees && idMesDonnees->bPrintPNG_Alpha;
    const int filter = idMesDonnees ? idMesDonnees->iPrintPNG_Filter : 0;
    const int level = idMesDonnees ? idMesDonnees->iPrintPNG_CoefCompress : 0;
    PngEncoder encoder(image);
    encoder.setEncodeAlpha(alpha);
    encoder.setFilter(filter);
    encoder.setCompressionLevel(level);
    Indication_Tools::Outils_AfficheMsg(thisClassName,
                                        std::string("PNG Alpha Compression: ") + trueFalse(alpha) +
                                            "; Filter: " + std::to_string(filter) +
                                            "; Compression Level: " + std::to_string(level),
                                        true);

    if (render) {
        bUpdateImage = true;
        update(offScrGraphics.get());
    }

    EncodedImage png = encoder.pngEncode();
    if (!png) {
        // The encoder's reason, on standard error as always and in the log too.
        if (!png.failure().empty()) MessageBuffer::writeStderr(png.failure() + "\n");
        const std::string failure = image == nullptr ? why : png.failure();
        Indication_Tools::Outils_AfficheMsg_System(
            thisClassName,
            "Error during the writing of the PNG : no valid datas (bytes)" + (failure.empty() ? "" : " - " + failure),
            true);
        return false;
    }
    return putImage("PNG", path, png.takeBytes());
}

bool Indication_Graph::putImage(const char* kind, const std::string& path, std::string bytes) {
    held_ = -1;
    if (context_.output == nullptr) return writeImageFile(kind, path, bytes);
    held_ = static_cast<int>(context_.output->holdImage(kind, path, std::move(bytes)));
    return true;
}

void Indication_Graph::ImageExport::settle(const std::vector<AtomicWrites::Replaced>& written) {
    auto settled = [&written](bool& flag, bool& unchanged, int file) {
        if (file < 0) return;
        const AtomicWrites::Replaced r =
            static_cast<size_t>(file) < written.size() ? written[static_cast<size_t>(file)] : AtomicWrites::Replaced::failed;
        flag = r != AtomicWrites::Replaced::failed;
        unchanged = r == AtomicWrites::Replaced::unchanged;
    };
    settled(gifWritten, gifUnchanged, gifFile);
    settled(pngWritten, pngUnchanged, pngFile);
    for (Further& f : further) settled(f.written, f.unchanged, f.file);
}

int Indication_Graph::ImageExport::filesWritten() const {
    int n = (gifWritten && !gifUnchanged) + (pngWritten && !pngUnchanged);
    for (const Further& f : further) n += f.written && !f.unchanged;
    return n;
}

int Indication_Graph::ImageExport::filesUnchanged() const {
    int n = gifUnchanged + pngUnchanged;
    for (const Further& f : further) n += f.unchanged;
    return n;
}

bool Indication_Graph::ImageExport::complete() const {
    if ((gifAsked && !gifWritten) || (pngAsked && !pngWritten)) return false;
    return std::all_of(further.begin(), further.end(), [](const Further& f) { return f.written; });
}

namespace {

const char* okText(bool unchanged) { return unchanged ? " ok (unchanged)" : " ok"; }

}  // namespace

std::string Indication_Graph::ImageExport::summary() const {
    std::string text;
    if (gifWritten) text += std::string("GIF") + okText(gifUnchanged) + "; ";
    if (pngWritten) text += std::string("PNG") + okText(pngUnchanged) + "; ";
    for (const Further& f : further)
        if (f.written) text += f.kind + okText(f.unchanged) + "; ";
    return text;
}

std::string Indication_Graph::ImageExport::outcomes() const {
    std::string text;
    auto add = [&text](bool asked, bool written, bool unchanged, const std::string& kind) {
        if (!asked) return;
        if (!text.empty()) text += "; ";
        text += kind + (written ? okText(unchanged) : " failed!");
    };
    add(gifAsked, gifWritten, gifUnchanged, "GIF");
    add(pngAsked, pngWritten, pngUnchanged, "PNG");
    for (const Further& f : further) add(true, f.written, f.unchanged, f.kind);
    return text;
}

namespace {

// "name@2x.png" for "name.png", "name@2x" for "name": the srcset convention.
std::string scaledName(const std::string& path, int k) {
    const size_t folder = path.find_last_of("/\\");
    const size_t start = folder == std::string::npos ? 0 : folder + 1;
    size_t dot = path.find_last_of('.');
    // A dot that starts the name, or sits in a folder's name, opens no extension.
    if (dot == std::string::npos || dot <= start) dot = path.size();
    return path.substr(0, dot) + "@" + std::to_string(k) + "x" + path.substr(dot);
}

}  // namespace

bool Indication_Graph::SaveToSVG(const std::string& path) {
    Indication_Tools::Outils_AfficheMsg_System(thisClassName, "Writing SVG Image in " + path, true);
    if (!offScrImage || !idMesDonnees) {
        Indication_Tools::Outils_AfficheMsg_System(thisClassName, "Error during the writing of the SVG : no chart image",
                                                   true);
        return false;
    }
    const std::string title = idMesDonnees->szGraph_Title.value_or("");
    // The PNG's size: the surface's, one pixel more each way.
    SvgGraphics svg(offScrImage->getWidth(), offScrImage->getHeight(), title.empty() ? "Chart" : title);
    paintApplet(svg);
    return putImage("SVG", path, svg.finish());
}

std::unique_ptr<Image> Indication_Graph::renderScaled(int k, std::string& why) {
    const int64_t w = (int64_t{iApplet_Largeur} + 1) * k;
    const int64_t h = (int64_t{iApplet_Hauteur} + 1) * k;
    std::unique_ptr<Image> image = w <= INT_MAX && h <= INT_MAX ? Image::create(int(w), int(h)) : nullptr;
    if (!image) {
        why = "the image at " + std::to_string(k) + "x, " + std::to_string(w) + "x" + std::to_string(h) +
              ", cannot be made (sides from 1 to " + std::to_string(Image::kMaxSide) + " and at most " +
              std::to_string(Image::kMaxPixels) + " pixels)";
        return nullptr;
    }
    std::unique_ptr<Graphics> target = image->getGraphics();
    ScaledGraphics scaled(*target, k);
    paintApplet(scaled);
    return image;
}

Indication_Graph::ImageExport Indication_Graph::exportImages() {
    ImageExport result;
    Indication_Data* model = idMesDonnees.get();
    // A drawing may lower the bar count for the drawings after it: each image
    // of this chart starts from the count its 1x image started from, and the
    // layout keeps what the 1x drawing left.
    const int bars = layout_.iGraphHistogram_NumberBar;
    // One rendering serves both files.
    bUpdateImage = true;
    update(offScrGraphics.get());
    const std::vector<int> scales = model ? model->vecPrint_Scales : std::vector<int>{1};
    const bool at1x = std::find(scales.begin(), scales.end(), 1) != scales.end();
    // The number the writer gives the image an attempt left it, or -1.
    auto attempt = [this](bool& written, auto&& save) {
        held_ = -1;
        written = save();
        return written ? held_ : -1;
    };
    result.gifAsked = at1x && model && model->bPrintGIF_Valid;
    if (at1x) result.gifFile = attempt(result.gifWritten, [&] { return SaveToGif(false); });
    result.pngAsked = at1x && model && model->bPrintPNG_Valid;
    if (at1x) result.pngFile = attempt(result.pngWritten, [&] { return SaveToPNG(false); });
    if (model == nullptr) return result;
    // Whatever happens below, the layout stays as the 1x drawing left it.
    const ChartLayout after1x = layout_;
    struct Restore {
        ChartLayout& layout;
        const ChartLayout& kept;
        ~Restore() { layout = kept; }
    } restore{layout_, after1x};

    if (model->bPrintSVG_Valid) {
        layout_.iGraphHistogram_NumberBar = bars;
        ImageExport::Further svg;
        svg.kind = "SVG";
        svg.file = attempt(svg.written, [&] { return SaveToSVG(outputName(model->szPrintSVG_FileName, ".svg")); });
        result.further.push_back(svg);
    }
    for (const int k : scales) {
        if (k == 1 || (!model->bPrintGIF_Valid && !model->bPrintPNG_Valid)) continue;
        layout_.iGraphHistogram_NumberBar = bars;
        std::string why;
        const std::unique_ptr<Image> image = renderScaled(k, why);
        // Built in steps: GCC 12's -Wrestrict misreads "@" + to_string(k) at -O3.
        std::string suffix = "@";
        suffix += std::to_string(k);
        suffix += 'x';
        if (model->bPrintGIF_Valid) {
            int w = chart::clampToInt(int64_t{model->iDimension_Width} * k);
            int h = chart::clampToInt(int64_t{model->iDimension_Height} * k);
            if (image && model->bPrint_ExactSize) {
                w = image->getWidth();
                h = image->getHeight();
            }
            const std::string path = scaledName(outputName(model->szPrintGIF_FileName, ".gif"), k);
            ImageExport::Further gif;
            gif.kind = "GIF" + suffix;
            gif.file = attempt(gif.written, [&] { return writeGif(image.get(), w, h, false, path, why); });
            result.further.push_back(gif);
        }
        if (model->bPrintPNG_Valid) {
            const std::string path = scaledName(outputName(model->szPrintPNG_FileName, ".png"), k);
            ImageExport::Further png;
            png.kind = "PNG" + suffix;
            png.file = attempt(png.written, [&] { return writePng(image.get(), false, path, why); });
            result.further.push_back(png);
        }
    }
    return result;
}

std::string Indication_Graph::SaveToImage() { return exportImages().summary(); }

// ---- Refresh thread and release --------------------------------------------

void Indication_Graph::start() {
    std::lock_guard<std::mutex> lock(refreshMutex_);
    if (thLaRoutine) return;
    thLaRoutine = true;
    refreshThread_ = std::thread([this] { run(); });
}

void Indication_Graph::stop() {
    std::thread ending;
    {
        std::lock_guard<std::mutex> lock(refreshMutex_);
        thLaRoutine = false;
        ending = std::move(refreshThread_);
    }
    refreshWake_.notify_all();
    if (!ending.joinable()) return;
    if (ending.get_id() == std::this_thread::get_id()) {
        ending.detach();  // stopped from its own body: it ends on return
    } else {
        ending.join();
    }
}

void Indication_Graph::run() {
    std::unique_lock<std::mutex> lock(refreshMutex_);
    while (thLaRoutine) {
        // Waits on the stop signal rather than sleeping, so stop() never
        // waits out a pause and no update starts after it.
        const auto pause = std::chrono::milliseconds(std::max(1, iVitesseRefresh));
        if (refreshWake_.wait_for(lock, pause, [this] { return !thLaRoutine; })) break;
        if (windowGraphics_ != nullptr) {
            lock.unlock();
            update(windowGraphics_);
            lock.lock();
        }
    }
}

void Indication_Graph::finalize() {
    // The refresh thread draws from the model: end it first.
    stop();
    bDataReady = false;
    if (idMesDonnees) {
        idMesDonnees->finalize();
        idMesDonnees.reset();
    }
}
