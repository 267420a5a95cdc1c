// What every platform's files must do alike, run on Linux and on Windows:
// whole-file writes, trial writes, and the sweep of the temporary files a
// killed write leaves behind.

#include "support/AtomicWrites.h"
#include "support/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A new empty folder, removed with what it holds at the end.
struct TempFolder {
    explicit TempFolder(const std::string& name)
        : path(fs::temp_directory_path() / ("zk_" + name + "_" + std::to_string(std::random_device{}()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    size_t count() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path), {})); }
    void makeStale(const std::string& name) const {
        std::ofstream(path / name) << "x";
        fs::last_write_time(path / name, fs::file_time_type::clock::now() - std::chrono::hours(2));
    }
    fs::path path;
};

TEST(PlatformContract, AtomicWriteReplacesWholeAndLeavesNoTemporary) {
    Platform& p = Platform::current();
    const TempFolder folder("atomic");
    const std::string path = folder / "x.bin";
    std::string error;
    ASSERT_TRUE(p.writeFileAtomic(path, "first", error)) << error;
    ASSERT_TRUE(p.writeFileAtomic(path, std::string(100000, 'x'), error)) << error;
    std::string back;
    ASSERT_TRUE(p.readFile(path, back, error));
    EXPECT_EQ(back, std::string(100000, 'x'));
    EXPECT_EQ(folder.count(), 1u);

    // A folder that does not exist: the write fails and reports the path.
    EXPECT_FALSE(p.writeFileAtomic(folder / "no_such_folder/x.gif", "data", error));
    EXPECT_NE(error.find("no_such_folder"), std::string::npos);
}

// Temporary files of a killed run go once an hour old; nothing else does.
TEST(PlatformContract, StaleTemporariesAreRemovedAndNothingElse) {
    const TempFolder folder("stale");
    fs::create_directories(folder.path / ".dir.gif.tmpAB12cd");
    // An old folder of that name stays too (Windows' C runtime cannot age a folder: it is then young).
    std::error_code ec;
    fs::last_write_time(folder.path / ".dir.gif.tmpAB12cd", fs::file_time_type::clock::now() - std::chrono::hours(2), ec);
    const std::vector<std::string> names{".chart.gif.tmpAB12cd", ".other.png.tmpXY34zz", ".chart.gif.tmpAB12c",
                                         ".chart.gif.tmpAB12c_", "chart.gif.tmpAB12cd",  "chart.gif",
                                         ".tmpAB12cd"};
    for (const std::string& n : names) folder.makeStale(n);
    std::ofstream(folder.path / ".young.gif.tmpQQ11aa") << "x";

    std::vector<std::string> removed =
        Platform::current().removeStaleTemporaries(folder / "chart.gif", AtomicWrites::kStaleMillis);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<std::string>{".chart.gif.tmpAB12cd", ".other.png.tmpXY34zz"}));
    EXPECT_EQ(folder.count(), names.size() + 2 - 2);
}

// The first whole-file write of the process into a folder sweeps it, and
// says what it removed; later writes there leave it alone.
TEST(PlatformContract, TheFirstAtomicWriteIntoAFolderSweepsIt) {
    const TempFolder folder("first_write");
    folder.makeStale(".status.prom.tmpAB12cd");
    std::string error;
    std::vector<std::string> swept;
    ASSERT_TRUE(AtomicWrites::write(folder / "status.prom", "a", error, &swept)) << error;
    EXPECT_EQ(swept, std::vector<std::string>{".status.prom.tmpAB12cd"});
    folder.makeStale(".status.prom.tmpXY34zz");
    ASSERT_TRUE(AtomicWrites::write(folder / "status.prom", "b", error, &swept)) << error;
    EXPECT_TRUE(swept.empty());
    EXPECT_TRUE(fs::exists(folder.path / ".status.prom.tmpXY34zz"));
}

// Reads in parts hand the file in order, in bounded parts, and stop when
// asked; past the read limit nothing is handed and the path is named.
TEST(PlatformContract, FilesReadInPartsAndRefusedPastTheLimit) {
    Platform& p = Platform::current();
    const TempFolder folder("parts");
    const std::string path = folder / "data.txt";
    std::string content;
    for (int i = 0; content.size() < 3 * Platform::kReadPartBytes; ++i) content += std::to_string(i) + "\n";
    std::string error;
    ASSERT_TRUE(p.writeFileAtomic(path, content, error)) << error;
    std::string gathered;
    int64_t size = -1;
    size_t largest = 0;
    ASSERT_TRUE(p.readFileParts(path, [&](std::string_view part) {
        largest = std::max(largest, part.size());
        gathered += part;
        return true;
    }, size, error)) << error;
    EXPECT_EQ(gathered, content);
    EXPECT_EQ(size, static_cast<int64_t>(content.size()));
    EXPECT_LE(largest, Platform::kReadPartBytes);
    int parts = 0;
    EXPECT_TRUE(p.readFileParts(path, [&](std::string_view) { return ++parts < 2; }, size, error));
    EXPECT_EQ(parts, 2);

    // Sparse: no disk space taken.
    fs::resize_file(path, (int64_t{512} << 20) + 1);
    parts = 0;
    EXPECT_FALSE(p.readFileParts(path, [&](std::string_view) { return ++parts > 0; }, size, error));
    EXPECT_EQ(parts, 0);
    EXPECT_NE(error.find("data.txt"), std::string::npos) << error;
    std::string whole;
    EXPECT_FALSE(p.readFile(path, whole, error));
}

}  // namespace
