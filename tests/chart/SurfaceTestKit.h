#pragma once
// Shared set-up of the chart surface tests: the chart test platform (Paris
// time, fake clock, captured console and log, graph and data files held in
// memory) plus a real temporary folder for the image files.

#include "ChartTestKit.h"
#include "chart/Indication_Graph.h"
#include "tests/common/ReferenceDecoders.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace surfacetest {

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir() {
        path = makeTempDir("zksurface");
        if (path.empty()) throw std::runtime_error("cannot make a temporary folder");
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return path + "/" + name; }
    // Names of the entries in the folder.
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path)) names.insert(e.path().filename().string());
        return names;
    }

    std::string path;
};

inline std::optional<std::string> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The w x h block at the top-left corner of an image's pixels.
inline std::vector<uint32_t> topLeft(const Image& image, int w, int h) {
    std::vector<uint32_t> block;
    block.reserve(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) block.push_back(image.data()[size_t(y) * image.getWidth() + x]);
    }
    return block;
}

inline std::vector<uint32_t> allPixels(const Image& image) {
    return topLeft(image, image.getWidth(), image.getHeight());
}

// Makes the current directory the given one for the object's lifetime.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& dir) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedCurrentDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
    }
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::filesystem::path previous_;
};

class SurfaceTest : public charttest::ChartTest {
protected:
    // Hourly values over the last five days up to the fake clock's now, so a
    // five-day window in day mode always holds data.
    std::string dataFile() {
        std::ostringstream text;
        const int64_t now = platform.now.load();
        for (int i = 5 * 24; i >= 0; --i) {
            const int64_t t = now - int64_t(i) * Indication_Data::TIME_HOURTOMILLISECOND;
            text << Indication_Tools::getBddDate(t) << ';' << Indication_Tools::getBddTime(t) << ';'
                 << 4000 + (i * 37) % 500 << ".5\n";
        }
        return file(text.str());
    }

    // A graph file of a 120 x 80 chart over that data; extra lines add keys
    // the base does not set.
    std::string graph(const std::string& extra = "", bool withData = true) {
        std::string text = "GRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=5\n"
                           "GRAPH_PRINT_WIDTH=120\nGRAPH_PRINT_HEIGHT=80\n";
        if (withData) text += "GRAPH_DATA_FILE=" + dataFile() + "\n";
        return file(text + extra);
    }

    static std::string channel(const std::string& message) { return "[Indication_Graph] : " + message; }

    // The log file's text (the log is captured in memory).
    std::string log() { return platform.file(Indication_Tools::DEFAULT_LOG_FILE); }

    std::optional<ref::GifImage> gifAt(const std::string& path) {
        auto bytes = readBytes(path);
        if (!bytes) return std::nullopt;
        return ref::decodeGif(*bytes);
    }
    std::optional<ref::PngImage> pngAt(const std::string& path) {
        auto bytes = readBytes(path);
        if (!bytes) return std::nullopt;
        return ref::decodePng(*bytes);
    }

    TempDir dir;
};

}  // namespace surfacetest
