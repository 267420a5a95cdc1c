// The bytes of every gallery and example chart, pinned: each image's size and
// XXH64 hash, one line of pinned_images.txt (beside this file) per image.
// The generation pass draws them at a fixed clock, in a fixed zone, from
// fixed data, with one worker and with several, seeing only the fonts of the
// folder CTest's FONTCONFIG_FILE names (GDI under Wine reads it too), so the
// Windows build must give the very same bytes. An image whose bytes changed
// is named, and kept in pinned-images/ under the test's working folder.
//
// After a drawing change made on purpose, rewrite the table (and the
// README's picture, the example's day chart), then review each changed line:
//     ZK_PINNED_IMAGES=rewrite ctest -R PinnedImages

#include "app/ChartPass.h"
#include "app/zkQuoteForge.h"
#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/SysProperties.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const fs::path kSources = ZK_SOURCE_DIR;
const fs::path kTable = kSources / "tests" / "chart" / "pinned_images.txt";

struct Pinned {
    size_t size = 0;
    uint64_t hash = 0;
    bool operator==(const Pinned&) const = default;
};
// (chart, image file) -> bytes; the chart named by its set and graph file.
using Images = std::map<std::pair<std::string, std::string>, std::string>;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Pinned pinOf(const std::string& bytes) { return {bytes.size(), XXH64(bytes.data(), bytes.size(), 0)}; }

std::string hex(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

std::string pad(const std::string& text, size_t width) {
    return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

std::map<std::pair<std::string, std::string>, Pinned> readTable() {
    std::map<std::pair<std::string, std::string>, Pinned> table;
    std::istringstream lines(readAll(kTable));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string chart, file, hash;
        Pinned pin;
        if (fields >> chart >> file >> pin.size >> hash) table[{chart, file}] = {pin.size, std::stoull(hash, nullptr, 16)};
    }
    return table;
}

// Every 10 minutes from 7 days before now to 3.5 days after it, as the data
// maker writes, but a wave of whole cents (a parabola per half period) so
// that no library's sine enters the pinned bytes.
std::string exampleData(int64_t now) {
    std::string text;
    constexpr int64_t kHalf = 94;  // ten-minute steps per half wave
    int64_t k = 0;
    for (int64_t offset = 604800000; offset > -302400000; offset -= 600000, ++k) {
        const int64_t x = k % kHalf;
        const int64_t wave = 200000 * 4 * x * (kHalf - x) / (kHalf * kHalf);
        const int64_t cents = 600000 + ((k / kHalf) % 2 ? -wave : wave);
        const int64_t t = now - offset;
        char value[32];
        std::snprintf(value, sizeof value, "%lld.%02lld", static_cast<long long>(cents / 100),
                      static_cast<long long>(cents % 100));
        text += Indication_Tools::getBddDate(t) + ";" + Indication_Tools::getBddTime(t) + ";" + value + "\n";
    }
    return text;
}

struct ChartSet {
    const char* name;
    const char* zone;  // the gallery is drawn in UTC, the example where the service runs
};
const ChartSet kSets[] = {{"gallery", "UTC"}, {"example", "Europe/Paris"}};

// One pass of the set's application configuration in a copy of its folder;
// the images it wrote, each under the graph file whose chart wrote it.
Images draw(const ChartSet& set, int workers) {
    ScopedTimeZone zone(set.zone);
    TestPlatform platform;
    platform.captureAllAppends();
    platform.now = localMillis(2025, 12, 5, 17, 30);
    const fs::path work = makeTempDir("zkpinned");
    const fs::path before = fs::current_path();
    if (set.name == std::string("gallery")) {
        for (const auto& e : fs::directory_iterator(kSources / "docs" / "gallery")) {
            const auto ext = e.path().extension();
            if (ext == ".ini" || ext == ".txt" || ext == ".calendar") fs::copy(e.path(), work / e.path().filename());
        }
    } else {
        fs::copy(kSources / "examples" / "zkQuoteForge.ini", work / "zkQuoteForge.ini");
        fs::copy(kSources / "examples" / "charts", work / "charts", fs::copy_options::recursive);
        fs::copy(kSources / "examples" / "source", work / "source", fs::copy_options::recursive);
        fs::copy(kSources / "examples" / "trading", work / "trading", fs::copy_options::recursive);
        fs::copy(kSources / "examples" / "calendars", work / "calendars", fs::copy_options::recursive);
        fs::create_directories(work / "out");
        std::ofstream(work / "data.txt", std::ios::binary) << exampleData(platform.now);
    }
    fs::current_path(work);
    Properties config = Indication_Tools::GetFileProperties("zkQuoteForge.ini");
    config["INDICEGIF_THREADS"] = std::to_string(workers);
    SysProperties.store(std::make_shared<const Properties>(std::move(config)));
    const bool debug = Indication_Tools::debugMode;
    Indication_Tools::debugMode = true;  // the "Writing ... Image in" lines
    {
        Indication_Graph surface;
        ChartPass charts(surface, &zkQuoteForge::buildChart);
        EXPECT_TRUE(zkQuoteForge::generationPass(charts)) << set.name << "\n" << platform.out();
    }
    Indication_Tools::debugMode = debug;
    SysProperties.store(nullptr);

    // A chart's lines come together, its images' lines before its own.
    Images images;
    std::vector<std::string> pending;
    std::istringstream lines(platform.out());
    for (std::string line; std::getline(lines, line);) {
        if (const size_t at = line.find(" Image in "); at != std::string::npos) {
            pending.push_back(line.substr(at + 10));
        } else if (const size_t file = line.find(" - file... "); file != std::string::npos) {
            const size_t from = file + 11;
            const std::string chart = std::string(set.name) + "/" + line.substr(from, line.find(": ", from) - from);
            for (const std::string& image : pending) images[{chart, image}] = readAll(work / image);
            pending.clear();
        }
    }
    EXPECT_TRUE(pending.empty()) << set.name;
    fs::current_path(before);
    fs::remove_all(work);
    return images;
}

// The README's picture is the bundled example's day chart as this build draws it.
void checkPreview(const Images& example, bool rewrite) {
    const fs::path preview = kSources / "examples" / "preview.png";
    const auto day = example.find({"example/charts/day_curve.ini", "out/day_curve.png"});
    ASSERT_NE(day, example.end()) << "the example's day chart wrote no PNG";
    if (rewrite) {
        std::ofstream(preview, std::ios::binary | std::ios::trunc) << day->second;
        return;
    }
    EXPECT_TRUE(readAll(preview) == day->second)
        << preview.string() << " is not the day chart as drawn now; rewrite it with ZK_PINNED_IMAGES=rewrite";
}

TEST(PinnedImages, EveryGalleryAndExampleChartKeepsItsBytes) {
    ASSERT_NE(std::getenv("FONTCONFIG_FILE"), nullptr) << "run through CTest, which names the pinned fonts";
    const char* mode = std::getenv("ZK_PINNED_IMAGES");
    const bool rewrite = mode != nullptr && std::string(mode) == "rewrite";
    const auto table = readTable();
    const fs::path kept = fs::absolute("pinned-images");
    fs::remove_all(kept);

    std::map<std::pair<std::string, std::string>, Pinned> drawn;
    for (const ChartSet& set : kSets) {
        const Images one = draw(set, 1);
        const Images several = draw(set, 3);
        if (set.name == std::string("example")) checkPreview(one, rewrite);
        for (const auto& [key, bytes] : one) {
            const auto other = several.find(key);
            EXPECT_TRUE(other != several.end() && other->second == bytes)
                << key.first << ": " << key.second << " differs with several workers";
            const Pinned now = drawn[key] = pinOf(bytes);
            const auto pinned = table.find(key);
            if (pinned != table.end() && pinned->second == now) continue;
            const fs::path copy = kept / set.name / key.second;
            fs::create_directories(copy.parent_path());
            std::ofstream(copy, std::ios::binary) << bytes;
            if (rewrite) continue;
            ADD_FAILURE() << key.first << ": " << key.second << " is now " << now.size << " bytes, " << hex(now.hash)
                          << ", pinned "
                          << (pinned == table.end()
                                  ? std::string("nowhere")
                                  : std::to_string(pinned->second.size) + " bytes, " + hex(pinned->second.hash))
                          << "; kept as " << copy.string();
        }
        EXPECT_EQ(one.size(), several.size()) << set.name;
    }
    EXPECT_GE(drawn.size(), 40u) << "charts lost from the gallery or the example";
    if (rewrite) {
        std::ofstream out(kTable, std::ios::binary | std::ios::trunc);
        out << "# Every gallery and example chart's images: graph file, image, size, XXH64.\n"
               "# Rewritten by ZK_PINNED_IMAGES=rewrite ctest -R PinnedImages; review each change.\n";
        for (const auto& [key, pin] : drawn)
            out << pad(key.first, 38) << pad(key.second, 36) << pad(std::to_string(pin.size), 8) << hex(pin.hash) << '\n';
        return;
    }
    for (const auto& [key, pin] : table) {
        EXPECT_TRUE(drawn.count(key)) << key.first << ": " << key.second << " is pinned but no longer drawn";
    }
}

}  // namespace
