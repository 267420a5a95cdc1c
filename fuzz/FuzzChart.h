#pragma once
// What the chart fuzz targets share: a platform that reads the graph file and
// the data file from the input and keeps written files in memory, a fixed
// clock and zone, and pixel comparisons.
//
// Input of every chart target: one flag byte (0x01 verbose mode), then the
// graph file, the line "----", and the data file.

#include "chart/Indication_Graph.h"
#include "fuzz/FuzzSupport.h"
#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "tests/common/TestPlatform.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

inline constexpr const char* kGraphPath = "fuzz/chart.ini";
// Larger charts are loaded but not drawn: drawing and encoding them is bounded
// but takes seconds, which only slows the search down.
inline constexpr int64_t kMaxDrawnPixels = 1 << 20;

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
    // Images kept in written, never on disk.
    struct InMemory : StagedFile {
        ChartPlatform& owner;
        std::string path, bytes;
        InMemory(ChartPlatform& o, std::string p, std::string_view b) : owner(o), path(std::move(p)), bytes(b) {}
        bool flush(std::string&) override { return true; }
        bool place(std::string&) override {
            owner.written[path] = std::move(bytes);
            return true;
        }
        void syncFolder() override {}
    };
    std::unique_ptr<StagedFile> stageFile(const std::string& path, std::string_view bytes, std::string&) override {
        return std::make_unique<InMemory>(*this, path, bytes);
    }
    bool flushStaged(const std::vector<StagedFile*>&, std::string&) override { return true; }
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

inline Setup& setup() {
    static Setup* s = new Setup;
    return *s;
}

inline std::string hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

// The drawn pixels of the top-left w x h corner (0 outside the image).
inline std::vector<uint32_t> drawn(const Image& image, int w, int h) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    const int gw = std::min(w, image.getWidth()), gh = std::min(h, image.getHeight());
    if (gw > 0 && gh > 0) image.grabPixels(0, 0, gw, gh, px.data(), 0, w, nullptr);
    return px;
}

inline void compare(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want, uint32_t mask,
             const std::string& what) {
    FUZZ_CHECK(got.size() == want.size(), what + ": pixel count");
    for (size_t i = 0; i < got.size(); ++i) {
        FUZZ_CHECK((got[i] & mask) == (want[i] & mask),
                   what + ": pixel " + std::to_string(i) + " is " + hex(got[i]) + ", drawn " + hex(want[i]));
    }
}

// Takes the input apart; keys appended to the graph file win over its own.
inline void loadInput(Input& in, const std::string& appendedKeys = "") {
    Setup& s = setup();
    Indication_Tools::debugMode = (in.u8() & 1) != 0;
    const std::string rest = in.rest();
    const size_t cut = rest.find("\n----\n");
    s.platform.graph = rest.substr(0, cut) + appendedKeys;
    s.platform.data = cut == std::string::npos ? std::string() : rest.substr(cut + 6);
    s.platform.written.clear();
}

}  // namespace fuzz
