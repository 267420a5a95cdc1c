#pragma once
// The chart surface: owns one chart model and one off-screen image, loads a
// graph file and its data into the model, renders the chart into the image
// and writes it as GIF (LZW or run-length) and/or PNG. Every image file is
// replaced atomically: a reader sees the old file or the new one, never a
// partial one.
//
// Used by one thread at a time: the generation thread, or one worker of a
// pass built by several (each with a surface of its own); the optional
// refresh thread (start/stop) shares the image and the model without a lock,
// as it always has. Within a pass the surface only draws and encodes: the
// image files are left to the pass's writer (ChartContext::output).

#include "chart/ChartContext.h"
#include "chart/Graphics.h"
#include "chart/Indication_Data.h"
#include "support/AtomicWrites.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>


class Indication_Graph {
public:
    static constexpr const char* thisClassName = "Indication_Graph";
    static inline const Font SCREEN_FONT_PEN{"Helvetica", Font::PLAIN, 11};
    static constexpr Color SCREEN_COLOR_BACKGROUND{255, 255, 255};
    static constexpr Color POPUP_COLOR_BACKGROUND{151, 202, 204};
    static constexpr Color POPUP_COLOR_CADRE{0, 109, 143};

    Indication_Graph();
    Indication_Graph(const std::optional<std::string>& path, int width, int height);
    ~Indication_Graph();
    Indication_Graph(const Indication_Graph&) = delete;
    Indication_Graph& operator=(const Indication_Graph&) = delete;

    bool initGraphique(const std::optional<std::string>& path);
    bool initGraphique(const std::optional<std::string>& path, int width, int height);

    void update(Graphics* g);
    void paint(Graphics* g);
    void paintApplet(Graphics& g);
    // The loaded chart has something in its time window: otherwise the image
    // shows the "no data" notice instead of an empty frame.
    bool hasDataToDraw() const;
    void paintDialog(Graphics& g, const std::string& text);

    bool SaveToGif();
    bool SaveToGif(bool render);
    bool SaveToGif(const std::string& path);
    bool SaveToGif(bool render, const std::string& path);
    bool SaveToPNG();
    bool SaveToPNG(bool render);
    bool SaveToPNG(const std::string& path);
    bool SaveToPNG(bool render, const std::string& path);
    // Renders the chart into an SVG document and writes it to path.
    bool SaveToSVG(const std::string& path);
    // What exporting a chart's images did: for each format, whether the
    // graph file asks for it and whether it was written.
    // Within a pass, written means encoded and left to the writer, until
    // settle() says whether the writer wrote it.
    // Unchanged: the file held the image's bytes already and was left alone
    // (it counts as written).
    struct ImageExport {
        bool gifAsked = false;
        bool gifWritten = false;
        bool gifUnchanged = false;
        int gifFile = -1;  // its number among the images left to the writer; -1 for none
        bool pngAsked = false;
        bool pngWritten = false;
        bool pngUnchanged = false;
        int pngFile = -1;
        // The images asked for beyond the 1x GIF and PNG, in writing order:
        // "SVG", then "GIF@2x", "PNG@2x" and so on.
        struct Further {
            std::string kind;
            bool written = false;
            bool unchanged = false;
            int file = -1;
        };
        std::vector<Further> further;
        // What the writer did with the images left to it: written[i] for the i-th.
        void settle(const std::vector<AtomicWrites::Replaced>& written);
        // The image files written anew, and those left as they were.
        int filesWritten() const;
        int filesUnchanged() const;
        // Every image asked for was written.
        bool complete() const;
        // The graph file turns every image off: how a chart of the list is paused.
        bool nothingAsked() const { return !gifAsked && !pngAsked && further.empty(); }
        // The pass line's part: "GIF ok; " and "PNG ok; " for those written,
        // "GIF ok (unchanged); " for one left as it was.
        std::string summary() const;
        // Each image asked for and how it went, for a line that must not say
        // "done": "GIF ok; PNG failed!".
        std::string outcomes() const;
    };
    // Renders once and writes every image the graph file asks for.
    ImageExport exportImages();
    std::string SaveToImage();

    void init() {}
    // The refresh thread redraws on the window's drawing context every
    // iVitesseRefresh ms. Without a window (the service never gives one) it
    // only waits. stop() returns once the thread has ended.
    void start();
    void stop();
    void run();
    // The drawing context of the window showing the surface; null for none.
    // Set it while the refresh thread is stopped.
    void setWindowGraphics(Graphics* g) { windowGraphics_ = g; }
    void finalize();

    // ---- Fields -------------------------------------------------------------
    bool bDataReady = false;
    std::unique_ptr<Indication_Data> idMesDonnees;
    int iMarge = 2;
    int iApplet_Largeur = 0;
    int iApplet_Hauteur = 0;
    std::atomic<bool> thLaRoutine{false};
    bool bUpdateImage = true;
    int iVitesseRefresh = 20;
    Rectangle rect_dialog;
    Rectangle rect_Graphique;
    std::unique_ptr<Image> offScrImage;
    std::unique_ptr<Graphics> offScrGraphics;
    // The context of the chart about to be built, given to the model too;
    // ChartContext{} once it is over. With an output, the images go to it
    // for the pass's writer; without one, they are written at once.
    void setChartContext(const ChartContext& context);

    // Writes bytes over path atomically; on failure reports
    // "Error during the writing of the <kind> : " and the reason. The first
    // write of the process into a folder sweeps its stale temporary files
    // and reports them.
    static bool writeImageFile(const char* kind, const std::string& path, std::string_view bytes);
    // Reports what writing the image file of kind at path did (the stale
    // temporary files its folder's sweep removed, its failure), as
    // writeImageFile does.
    static void reportImageWrite(const char* kind, const std::string& path, const AtomicWrites::File& file);

    // What the last drawing of the loaded chart derived, and hands on.
    const ChartLayout& layout() const { return layout_; }

private:
    ChartContext context_;
    ChartLayout layout_;
    // The model's data window was fixed since the chart was loaded.
    bool windowFixed_ = false;
    // Fixes the data window for drawing: again, or when not yet since the load.
    void fixDataWindow(bool again);
    // Within a pass, leaves the image to its writer (its number in held_)
    // and returns true; otherwise writes it at once.
    bool putImage(const char* kind, const std::string& path, std::string bytes);
    int held_ = -1;
    // Encode image (null when it could not be made, for the reason why) and
    // write it; the run-length GIF covers its w x h corner.
    bool writeGif(const Image* image, int w, int h, bool render, const std::string& path, const std::string& why);
    bool writePng(const Image* image, bool render, const std::string& path, const std::string& why);
    // The chart drawn at k times the resolution; null, with the reason in
    // why, when an image of that size cannot be had.
    std::unique_ptr<Image> renderScaled(int k, std::string& why);
    std::string outputName(const std::optional<std::string>& configured, const char* extension) const;

    std::thread refreshThread_;
    std::mutex refreshMutex_;
    std::condition_variable refreshWake_;
    Graphics* windowGraphics_ = nullptr;
};
