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
#include <map>
#include <memory>
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

// Each step of replacing files, as the platform sees it: the new files'
// bytes are flushed before any of them is renamed, and the folder synced
// after; a flush that fails puts none of them in place.
TEST(PlatformContract, ReplacedFilesAreFlushedBeforeTheirRename) {
    struct Recording : PlatformWrapper {
        using PlatformWrapper::PlatformWrapper;
        std::vector<std::string> steps;
        bool failFlush = false;
        struct Staged : StagedFile {
            Recording& owner;
            std::unique_ptr<StagedFile> inner;
            std::string name;
            Staged(Recording& o, std::unique_ptr<StagedFile> i, std::string n)
                : owner(o), inner(std::move(i)), name(std::move(n)) {}
            bool flush(std::string& e) override {
                owner.steps.push_back("flush " + name);
                if (owner.failFlush) {
                    e = "flush refused";
                    return false;
                }
                return inner->flush(e);
            }
            bool place(std::string& e) override {
                owner.steps.push_back("place " + name);
                return inner->place(e);
            }
            void syncFolder() override {
                owner.steps.push_back("sync " + name);
                inner->syncFolder();
            }
        };
        std::unique_ptr<StagedFile> stageFile(const std::string& p, std::string_view d, std::string& e) override {
            std::unique_ptr<StagedFile> inner = target_.stageFile(p, d, e);
            if (!inner) return nullptr;
            return std::make_unique<Staged>(*this, std::move(inner), fs::path(p).filename().string());
        }
    } recording(Platform::current());
    ScopedPlatform scoped(recording);
    const TempFolder folder("durable");
    std::string error;
    ASSERT_TRUE(recording.writeFileAtomic(folder / "a.gif", "old", error)) << error;
    EXPECT_EQ(recording.steps, (std::vector<std::string>{"flush a.gif", "place a.gif", "sync a.gif"}));

    recording.steps.clear();
    std::vector<AtomicWrites::File> files(2);
    files[0].path = folder / "a.gif";
    files[0].bytes = "new a";
    files[1].path = folder / "b.png";
    files[1].bytes = "new b";
    AtomicWrites::replace(files, false);
    EXPECT_EQ(recording.steps, (std::vector<std::string>{"flush a.gif", "flush b.png", "place a.gif", "place b.png",
                                                         "sync b.png"}));
    std::string back;
    ASSERT_TRUE(recording.readFile(folder / "b.png", back, error));
    EXPECT_EQ(back, "new b");

    recording.failFlush = true;
    files[0].bytes = "newer a";
    AtomicWrites::replace(files, false);
    for (const AtomicWrites::File& f : files) {
        EXPECT_EQ(f.outcome, AtomicWrites::Replaced::failed);
        EXPECT_EQ(f.error, "flush refused");
    }
    ASSERT_TRUE(recording.readFile(folder / "a.gif", back, error));
    EXPECT_EQ(back, "new a");
    EXPECT_EQ(folder.count(), 2u);  // no temporary file left
}

// A file that holds its bytes already is left alone (its modification time
// stays); any difference, of size or of a byte, or no file, writes it. A
// file given twice is written twice and ends with its last bytes.
TEST(PlatformContract, FilesHoldingTheirBytesAreLeftAlone) {
    const TempFolder folder("unchanged");
    folder.makeStale(".same.gif.tmpAB12cd");  // swept at the folder's first visit, written or not
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(2);
    struct Case {
        const char* name;
        const char* before;  // null: no file
        const char* bytes;
        AtomicWrites::Replaced expected;
    };
    using R = AtomicWrites::Replaced;
    const std::vector<Case> cases{
        {"same.gif", "GIF89a chart", "GIF89a chart", R::unchanged}, {"byte.gif", "GIF89a chart", "GIF89a chars", R::written},
        {"longer.png", "PNG", "PNG and more", R::written},          {"shorter.png", "PNG and more", "PNG", R::written},
        {"empty.svg", "", "", R::unchanged},                        {"missing.svg", nullptr, "<svg/>", R::written},
        {"twice.gif", "first", "second", R::written},               {"twice.gif", nullptr, "second", R::written},
        {"back.gif", "first", "second", R::written},                {"back.gif", nullptr, "first", R::written},
    };
    std::vector<AtomicWrites::File> files;
    std::map<std::string, fs::file_time_type> times;  // as the system keeps them (Wine rounds)
    for (const Case& c : cases) {
        if (c.before != nullptr) {
            std::ofstream(folder.path / c.name, std::ios::binary) << c.before;
            fs::last_write_time(folder.path / c.name, old);
            times[c.name] = fs::last_write_time(folder.path / c.name);
        }
        AtomicWrites::File file;
        file.path = folder / c.name;
        file.bytes = c.bytes;
        files.push_back(file);
    }
    AtomicWrites::replace(files, true);
    Platform& p = Platform::current();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(files[i].outcome, cases[i].expected) << files[i].error;
        std::string back, error;
        ASSERT_TRUE(p.readFile(folder / cases[i].name, back, error));
        EXPECT_EQ(back, std::string(cases[i].name) == "back.gif" ? "first" : cases[i].bytes);
        if (cases[i].expected == R::unchanged && cases[i].before != nullptr) {
            EXPECT_EQ(fs::last_write_time(folder.path / cases[i].name), times[cases[i].name]);
        }
    }
    EXPECT_EQ(files[0].swept, std::vector<std::string>{".same.gif.tmpAB12cd"});
    EXPECT_EQ(folder.count(), 8u);  // no temporary file left

    // Off, every file is written.
    AtomicWrites::replace(files, false);
    for (const AtomicWrites::File& f : files) EXPECT_EQ(f.outcome, R::written) << f.path;
    EXPECT_NE(fs::last_write_time(folder.path / "same.gif"), times["same.gif"]);
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
