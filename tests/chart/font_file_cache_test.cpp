// The font files kept between runs: used only while nothing they depend on
// changed, and never a reason to fail where the cache cannot be written.

#include "SurfaceTestKit.h"
#include "platform/posix/FontFileCache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

using surfacetest::TempDir;
namespace fs = std::filesystem;

class FontFiles : public ::testing::Test {
protected:
    void SetUp() override {
        surfacetest::writeBytes(font, "a font");
        surfacetest::writeBytes(config, "<fontconfig/>");
        fs::create_directory(dir / "fonts");
    }
    std::vector<std::string> watched() const { return {config, dir / "fonts", dir / "user.conf"}; }
    void remember() {
        FontFileCache cache(file, "context 1");
        cache.add("Helvetica", 1, FontFileCache::Entry{font, 2, true, false}, watched());
    }
    bool known(const std::string& context = "context 1") {
        const auto entry = FontFileCache(file, context).find("Helvetica", 1);
        if (!entry) return false;
        EXPECT_EQ(entry->file, font);
        EXPECT_EQ(entry->index, 2);
        EXPECT_TRUE(entry->embolden);
        EXPECT_FALSE(entry->oblique);
        return true;
    }
    static void touch(const std::string& path) {
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
    }

    TempDir dir;
    std::string file = dir / "cache/zkQuoteForge/font-files.txt";
    std::string font = dir / "face.ttf";
    std::string config = dir / "fonts.conf";
};

TEST_F(FontFiles, KeptWhileNothingChanged) {
    remember();
    EXPECT_TRUE(known());
    EXPECT_FALSE(FontFileCache(file, "context 1").find("Helvetica", 0));
    EXPECT_FALSE(FontFileCache(file, "context 1").find("Times", 1));
}

TEST_F(FontFiles, IgnoredOnceAnythingItDependsOnChanged) {
    remember();
    EXPECT_FALSE(known("context 2"));  // another fontconfig, language or configuration folder

    touch(config);
    EXPECT_FALSE(known());
    remember();
    surfacetest::writeBytes(dir / "fonts/new.ttf", "another font");  // the folder changes
    EXPECT_FALSE(known());
    remember();
    surfacetest::writeBytes(dir / "user.conf", "<fontconfig/>");  // appeared since
    EXPECT_FALSE(known());
    remember();
    surfacetest::writeBytes(font, "the font changed");
    EXPECT_FALSE(known());
    remember();
    EXPECT_TRUE(known());

    // Cut short or not ours.
    const std::string whole = *surfacetest::readBytes(file);
    surfacetest::writeBytes(file, whole.substr(0, whole.size() - 5));
    EXPECT_FALSE(known());
    surfacetest::writeBytes(file, "something else\n");
    EXPECT_FALSE(known());
}

TEST_F(FontFiles, NothingKeptWhereItCannotBeWritten) {
    surfacetest::writeBytes(dir / "cache", "a file where the folder should be");
    FontFileCache cache(file, "context 1");
    cache.add("Helvetica", 1, FontFileCache::Entry{font, 2, true, false}, watched());
    EXPECT_FALSE(known());
    EXPECT_FALSE(fs::exists(file));
    // Nor without a cache folder at all.
    FontFileCache none("", "context 1");
    none.add("Helvetica", 1, FontFileCache::Entry{font, 2, true, false}, watched());
    EXPECT_FALSE(none.find("Sans", 0));
}

}  // namespace
