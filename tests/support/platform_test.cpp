#include "support/AtomicWrites.h"
#include "support/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>
#include <unistd.h>

namespace {

// Reading a path that is not a regular file must fail at once instead of
// blocking (a FIFO with no writer) or growing without end (/dev/zero).
TEST(PosixPlatform, ReadFileRefusesWhatIsNotARegularFile) {
    Platform& p = Platform::current();
    std::string out, error;
    EXPECT_FALSE(p.readFile("/dev/zero", out, error));
    EXPECT_NE(error.find("/dev/zero"), std::string::npos);
    EXPECT_TRUE(out.empty());

    const std::string fifo = "platform_test_fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(p.readFile(fifo, out, error));
    ::unlink(fifo.c_str());

    EXPECT_FALSE(p.readFile(".", out, error));
    EXPECT_FALSE(p.readFile("no_such_file_here.txt", out, error));
}

// A path value holding a NUL byte would silently name a shorter path.
TEST(PosixPlatform, PathsHoldingANulByteAreRefused) {
    Platform& p = Platform::current();
    const std::string path("platform_test_nul.txt\0.off", 26);
    std::string out, error;
    EXPECT_FALSE(p.appendFile(path, "line", error));
    EXPECT_NE(error.find("platform_test_nul.txt<NUL>.off"), std::string::npos) << error;
    EXPECT_FALSE(p.writeFileAtomic(path, "data", error));
    EXPECT_FALSE(p.readFile(path, out, error));
    EXPECT_FALSE(p.isReadableFile(path));
    EXPECT_FALSE(std::filesystem::exists("platform_test_nul.txt"));
}

// Temporary files of a killed run go once an hour old; nothing else does.
TEST(PosixPlatform, StaleTemporariesAreRemovedAndNothingElse) {
    namespace fs = std::filesystem;
    Platform& p = Platform::current();
    const fs::path folder = fs::temp_directory_path() / ("zk_stale_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / ".dir.gif.tmpAB12cd");
    const std::vector<std::string> names{".chart.gif.tmpAB12cd", ".other.png.tmpXY34zz", ".young.gif.tmpQQ11aa",
                                         ".chart.gif.tmpAB12c",  ".chart.gif.tmpAB12c_", "chart.gif.tmpAB12cd",
                                         "chart.gif",            ".tmpAB12cd"};
    for (const std::string& n : names) std::ofstream(folder / n) << "x";
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(2);
    for (const std::string& n : names)
        if (n != ".young.gif.tmpQQ11aa") fs::last_write_time(folder / n, old);
    fs::last_write_time(folder / ".dir.gif.tmpAB12cd", old);

    std::vector<std::string> removed = p.removeStaleTemporaries((folder / "chart.gif").string(), 3600 * 1000);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<std::string>{".chart.gif.tmpAB12cd", ".other.png.tmpXY34zz"}));
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.insert(e.path().filename().string());
    EXPECT_EQ(left.size(), names.size() + 1 - 2);
    fs::remove_all(folder);
}

// The first whole-file write of the process into a folder sweeps it, and
// says what it removed; later writes there leave it alone.
TEST(PosixPlatform, TheFirstAtomicWriteIntoAFolderSweepsIt) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("zk_first_write_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    auto stale = [&](const std::string& name) {
        std::ofstream(folder / name) << "x";
        fs::last_write_time(folder / name, fs::file_time_type::clock::now() - std::chrono::hours(2));
    };
    stale(".status.prom.tmpAB12cd");
    const std::string target = (folder / "status.prom").string();
    std::string error;
    std::vector<std::string> swept;
    ASSERT_TRUE(AtomicWrites::write(target, "a", error, &swept)) << error;
    EXPECT_EQ(swept, std::vector<std::string>{".status.prom.tmpAB12cd"});
    stale(".status.prom.tmpXY34zz");
    ASSERT_TRUE(AtomicWrites::write(target, "b", error, &swept)) << error;
    EXPECT_TRUE(swept.empty());
    EXPECT_TRUE(fs::exists(folder / ".status.prom.tmpXY34zz"));
    fs::remove_all(folder);
}

// A FIFO as the log with nobody reading: the line is lost at once, never waited for.
TEST(PosixPlatform, AppendToAFifoNeverBlocks) {
    const std::string fifo = "platform_test_log_fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(Platform::current().appendFile(fifo, "line\r\n", error));
    EXPECT_NE(error.find(fifo), std::string::npos);
    ::unlink(fifo.c_str());
}

TEST(PosixPlatform, AtomicWriteReplacesWholeAndLeavesNoTemporary) {
    Platform& p = Platform::current();
    const std::string path = "platform_test_atomic.bin";
    std::string error;
    ASSERT_TRUE(p.writeFileAtomic(path, "first", error)) << error;
    ASSERT_TRUE(p.writeFileAtomic(path, std::string(100000, 'x'), error)) << error;
    std::string back;
    ASSERT_TRUE(p.readFile(path, back, error));
    EXPECT_EQ(back, std::string(100000, 'x'));

    // A folder that does not exist: the write fails and reports the path.
    EXPECT_FALSE(p.writeFileAtomic("no_such_folder/x.gif", "data", error));
    EXPECT_NE(error.find("no_such_folder"), std::string::npos);
    std::remove(path.c_str());
}

// The image folder moved away and a file put in its place while images are
// written (what a careless deployment script does): a write caught in the
// middle must not leave its temporary file behind, in either place.
TEST(PosixPlatform, AtomicWriteLeavesNoTemporaryWhenItsFolderIsMovedMidWrite) {
    namespace fs = std::filesystem;
    Platform& p = Platform::current();
    const fs::path root = fs::temp_directory_path() / ("zk_moved_" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path folder = root / "img", away = root / "img.away";
    fs::create_directories(folder);
    const std::string image(200000, 'x');  // long enough to be caught in the middle

    std::atomic<bool> done{false};
    std::atomic<int> written{0}, failed{0};
    std::thread writer([&] {
        std::string error;
        while (!done) ++(p.writeFileAtomic((folder / "chart.gif").string(), image, error) ? written : failed);
    });
    for (int i = 0; i < 2000; ++i) {
        fs::rename(folder, away);
        std::ofstream(folder) << "not a folder";
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        fs::remove(folder);
        fs::rename(away, folder);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    done = true;
    writer.join();

    EXPECT_GT(written.load(), 0);
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root)) names.insert(e.path().lexically_relative(root));
    EXPECT_EQ(names, (std::set<std::string>{"img", "img/chart.gif"})) << failed.load() << " writes failed";
    EXPECT_EQ(fs::file_size(folder / "chart.gif"), image.size());
    fs::remove_all(root);
}

// One file however its path is spelt, a symlinked folder included; a folder
// not made yet is told by its path's text, normalised.
TEST(PosixPlatform, PlaceOfAFileIsItsFolderAndName) {
    namespace fs = std::filesystem;
    Platform& p = Platform::current();
    const fs::path root = fs::temp_directory_path() / ("zk_place_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "out");
    fs::create_directory_symlink(root / "out", root / "link");
    const std::string r = root.string();
    const FilePlace place = p.placeOf(r + "/out/x.png");
    EXPECT_TRUE(place.folder.known());
    EXPECT_EQ(place.name, "x.png");
    for (const std::string& same : {r + "/./out/x.png", r + "//out/x.png", r + "/link/x.png", r + "/out/../out/x.png"})
        EXPECT_EQ(p.placeOf(same), place) << same;
    EXPECT_NE(p.placeOf(r + "/out/X.png"), place);
    EXPECT_NE(p.placeOf(r + "/x.png"), place);

    const FilePlace missing = p.placeOf(r + "/new/x.png");
    EXPECT_FALSE(missing.folder.known());
    EXPECT_EQ(missing.folderPath, r + "/new");
    EXPECT_EQ(p.placeOf(r + "/./new//sub/../x.png"), missing);
    EXPECT_EQ(p.placeOf("no_such_folder/x.png").folderPath, "no_such_folder");
    EXPECT_EQ(p.placeOf("../no_such_folder/./x.png").folderPath, "../no_such_folder");
    EXPECT_EQ(p.placeOf("x.png"), p.placeOf("./x.png"));
    fs::remove_all(root);
}

// A trial write fails where the real one would, and never touches the target.
TEST(PosixPlatform, TrialWriteLeavesTheTargetAndNoTemporary) {
    namespace fs = std::filesystem;
    Platform& p = Platform::current();
    const fs::path folder = fs::temp_directory_path() / ("zk_trial_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string target = (folder / "x.png").string();
    std::string error, back;
    EXPECT_TRUE(p.trialWriteFile(target, "new", error)) << error;
    EXPECT_FALSE(fs::exists(target));
    ASSERT_TRUE(p.writeFileAtomic(target, "old", error)) << error;
    EXPECT_TRUE(p.trialWriteFile(target, "new", error)) << error;
    ASSERT_TRUE(p.readFile(target, back, error));
    EXPECT_EQ(back, "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    std::string trialError, realError;
    EXPECT_FALSE(p.trialWriteFile((folder / "missing/x.png").string(), "new", trialError));
    EXPECT_FALSE(p.writeFileAtomic((folder / "missing/x.png").string(), "new", realError));
    EXPECT_EQ(trialError, realError);
    fs::remove_all(folder);
}

}  // namespace
