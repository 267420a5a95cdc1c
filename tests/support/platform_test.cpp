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
    // Each state lasts until the writer has begun and ended a write in it.
    const auto awaitWholeWrite = [&] {
        const int before = written + failed;
        while (written + failed < before + 2) std::this_thread::yield();
    };
    for (int i = 0; i < 500; ++i) {
        fs::rename(folder, away);
        std::ofstream(folder) << "not a folder";
        awaitWholeWrite();
        fs::remove(folder);
        fs::rename(away, folder);
        awaitWholeWrite();
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

}  // namespace
