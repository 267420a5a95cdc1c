// The documentation's gallery and key reference against the code: every
// gallery graph file loads and draws with no report but those of keys it
// leaves at their defaults, its picture is in the reference, and every key
// the program reads is documented there.

#include "SurfaceTestKit.h"

#include <filesystem>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;

const fs::path kSource = ZK_SOURCE_DIR;
const fs::path kGallery = kSource / "docs" / "gallery";

std::string text(const fs::path& path) { return surfacetest::readBytes(path.string()).value_or(""); }

std::set<std::string> matches(const std::string& in, const std::regex& pattern) {
    std::set<std::string> out;
    for (auto it = std::sregex_iterator(in.begin(), in.end(), pattern); it != std::sregex_iterator(); ++it)
        out.insert((*it)[1]);
    return out;
}

// Graph-file keys named in a text.
const std::regex kGraphKey(R"(\b((?:GRAPH|LEGENDE|COLOR|FONT)_[A-Z_]*[A-Z])\b)");

class Gallery : public surfacetest::SurfaceTest {};

TEST_F(Gallery, EveryGraphFileLoadsAndDrawsWithOnlyDefaultReports) {
    fs::copy(kGallery, dir.path, fs::copy_options::recursive);
    surfacetest::ScopedCurrentDir cwd(dir.path);
    Indication_Tools::debugMode = true;
    const Properties config = Indication_Tools::GetFileProperties("zkQuoteForge.ini");
    const std::string reference = text(kSource / "docs" / "configuration.md");
    std::set<std::string> listed;
    Indication_Graph surface;
    for (int n = 1;; ++n) {
        const auto entry = config.find("INDICEGIF_FILE_" + std::to_string(n));
        if (entry == config.end()) break;
        const std::string& path = entry->second;
        listed.insert(path);
        const Properties keys = Indication_Tools::GetFileProperties(path);
        platform.clearOut();
        ASSERT_TRUE(surface.initGraphique(path)) << path << "\n" << platform.out();
        EXPECT_EQ(surface.SaveToImage(), "PNG ok; ") << path << "\n" << platform.out();

        std::istringstream out(platform.out());
        for (std::string line; std::getline(out, line);) {
            static const std::regex progress(
                R"(\[Indication_Data\] : (\* Read (Configuration|Data) from|Image from) .*|)"
                R"(\[Indication_Graph\] : (Writing PNG Image in|PNG Alpha Compression:) .*)");
            if (std::regex_match(line, progress)) continue;
            // A default's report names its one key, which the file leaves out.
            const std::set<std::string> named = matches(line, kGraphKey);
            const bool model = line.rfind("[Indication_Data] : ", 0) == 0 || line.rfind("[Indication_Tools] : ", 0) == 0;
            EXPECT_TRUE(model && named.size() == 1 && keys.count(*named.begin()) == 0)
                << path << ": " << line;
        }
        // The reference shows the picture beside the file's keys.
        const std::string picture = fs::path(path).stem().string() + ".png";
        EXPECT_TRUE(fs::exists(kGallery / picture)) << picture;
        EXPECT_NE(reference.find("gallery/" + picture), std::string::npos) << picture;
    }
    // Every graph file of the folder is in the gallery.
    for (const auto& e : fs::directory_iterator(kGallery)) {
        if (e.path().extension() == ".ini" && e.path().filename() != "zkQuoteForge.ini") {
            EXPECT_EQ(listed.count(e.path().filename().string()), 1u) << e.path();
        }
    }
    EXPECT_GE(listed.size(), 20u);
}

TEST(Reference, DocumentsEveryKeyTheProgramReads) {
    const std::string reference = text(kSource / "docs" / "configuration.md");
    ASSERT_FALSE(reference.empty());
    std::set<std::string> keys = matches(text(kSource / "chart" / "Indication_Data.cpp"),
                                         std::regex("\"((?:GRAPH|LEGENDE|COLOR|FONT)_[A-Z_]*[A-Z])\""));
    EXPECT_EQ(keys.size(), 70u);
    const std::regex appKey("\"((?:APPLI|INDICEGIF)_[A-Z_]*[A-Z])_?\"");
    for (const char* folder : {"app", "support"}) {
        for (const auto& e : fs::directory_iterator(kSource / folder))
            for (const std::string& k : matches(text(e.path()), appKey)) keys.insert(k);
    }
    for (const std::string& key : keys) {
        // Each key in a code span of its own; numbered keys by their first.
        const bool documented = reference.find("`" + key + "`") != std::string::npos ||
                                reference.find("`" + key + "_1`") != std::string::npos;
        EXPECT_TRUE(documented) << key << " is not in docs/configuration.md";
    }
}

}  // namespace
