// Files on Windows: replacing an image that a reader holds open, names
// beyond ASCII, and the same refusals as on Linux.

#include "platform/windows/WinText.h"
#include "support/Platform.h"
#include "tests/common/TestPlatform.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

class WindowsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = makeTempDir("zkwinfiles");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(fs::u8path(dir_), ec);
    }
    std::string path(const std::string& name) const { return dir_ + "\\" + name; }
    size_t entries() const {
        size_t n = 0;
        for (auto it = fs::directory_iterator(fs::u8path(dir_)); it != fs::directory_iterator(); ++it) ++n;
        return n;
    }
    // Opens like a web server sending the file: reading, sharing as asked.
    static HANDLE holdOpen(const std::string& file, DWORD share) {
        const std::wstring wide = fs::u8path(file).wstring();
        return CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    std::string read(const std::string& file) {
        std::string out, error;
        EXPECT_TRUE(Platform::current().readFile(file, out, error)) << error;
        return out;
    }

    std::string dir_;
};

// Windows replaces a file its reader shares for deletion; Wine refuses with
// "access denied" as for any other reader. Either way the image stays whole
// and no temporary file is left.
TEST_F(WindowsFiles, AReaderSharingForDeletionGetsAWholeImage) {
    Platform& p = Platform::current();
    std::string error;
    const std::string image = path("chart.gif");
    ASSERT_TRUE(p.writeFileAtomic(image, "old", error)) << error;
    HANDLE reader = holdOpen(image, FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const bool replaced = p.writeFileAtomic(image, "new", error);
    CloseHandle(reader);
    EXPECT_EQ(read(image), replaced ? "new" : "old") << error;
    EXPECT_EQ(entries(), 1u);
}

TEST_F(WindowsFiles, WaitsForAReaderThatLetsGoSoon) {
    Platform& p = Platform::current();
    std::string error;
    const std::string image = path("chart.png");
    ASSERT_TRUE(p.writeFileAtomic(image, "old", error)) << error;
    HANDLE reader = holdOpen(image, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread letGo([reader] {
        Sleep(200);
        CloseHandle(reader);
    });
    EXPECT_TRUE(p.writeFileAtomic(image, "new", error)) << error;
    letGo.join();
    EXPECT_EQ(read(image), "new");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(WindowsFiles, AReaderThatHoldsOnKeepsTheOldImageAndLeavesNoTemporaryFile) {
    Platform& p = Platform::current();
    std::string error;
    const std::string image = path("chart.png");
    ASSERT_TRUE(p.writeFileAtomic(image, "old", error)) << error;
    HANDLE reader = holdOpen(image, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(p.writeFileAtomic(image, "new", error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    CloseHandle(reader);
    EXPECT_EQ(read(image), "old");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(WindowsFiles, NamesBeyondAsciiWork) {
    Platform& p = Platform::current();
    std::string error;
    const std::string folder = path("Donn\xc3\xa9" "es \xe2\x82\xac");
    ASSERT_TRUE(fs::create_directory(fs::u8path(folder)));
    const std::string file = folder + "/\xc3\xa9t\xc3\xa9.txt";
    ASSERT_TRUE(p.writeFileAtomic(file, "a", error)) << error;
    ASSERT_TRUE(p.appendFile(file, "b", error)) << error;
    EXPECT_EQ(read(file), "ab");
    EXPECT_TRUE(p.isReadableFile(file));
    EXPECT_TRUE(fs::exists(fs::u8path(folder) / fs::u8path("\xc3\xa9t\xc3\xa9.txt")));
}

TEST_F(WindowsFiles, FoldersDevicesAndNulBytesAreRefused) {
    Platform& p = Platform::current();
    std::string out, error;
    EXPECT_FALSE(p.readFile(dir_, out, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(p.readFile("NUL", out, error));
    EXPECT_FALSE(p.isReadableFile("NUL"));
    EXPECT_FALSE(p.isReadableFile(dir_));
    const std::string withNul = path("log.txt") + std::string(1, '\0') + ".off";
    EXPECT_FALSE(p.appendFile(withNul, "x", error));
    EXPECT_FALSE(p.writeFileAtomic(withNul, "x", error));
    EXPECT_EQ(entries(), 0u);
}

// Wine takes long paths as they are, so this shows only that the long form
// reaches the same files; extendedPath's own test shows the form.
TEST_F(WindowsFiles, PathsPastMaxPathWork) {
    Platform& p = Platform::current();
    std::string error;
    const std::string part(100, 'p');
    const std::string folder = path(part + "\\" + part + "\\" + part);
    ASSERT_TRUE(fs::create_directories(fs::u8path(folder)));
    const std::string file = path(part + "/./" + part + "/x/../" + part + "/chart.png");
    ASSERT_GT(file.size(), 320u);
    ASSERT_TRUE(p.writeFileAtomic(file, "a", error)) << error;
    ASSERT_TRUE(p.appendFile(file, "b", error)) << error;
    EXPECT_EQ(read(file), "ab");
    EXPECT_TRUE(p.isReadableFile(file));
    EXPECT_TRUE(fs::exists(fs::u8path(folder + "\\chart.png")));
}

TEST(WindowsLongPaths, LongPathsAreMadeAbsoluteResolvedAndMarked) {
    const std::wstring part(100, L'p');
    const std::wstring parts = part + L"\\" + part + L"\\" + part + L"\\" + part;
    // Short enough: left to Win32 as given.
    EXPECT_EQ(win::extendedPath(L"C:\\data\\..\\chart.png"), L"C:\\data\\..\\chart.png");
    EXPECT_EQ(win::extendedPath(L"out/chart.png"), L"out/chart.png");
    EXPECT_EQ(win::extendedPath(L"C:/data/./" + part + L"/../" + parts + L"/chart.png"),
              L"\\\\?\\C:\\data\\" + parts + L"\\chart.png");
    EXPECT_EQ(win::extendedPath(L"\\\\server\\share\\" + parts), L"\\\\?\\UNC\\server\\share\\" + parts);
    // Already marked, or a device: taken literally.
    const std::wstring marked = L"\\\\?\\C:\\" + parts + L"\\.\\a/b";
    EXPECT_EQ(win::extendedPath(marked), marked);
    EXPECT_EQ(win::extendedPath(L"\\\\.\\NUL"), L"\\\\.\\NUL");
    // Relative: from the current folder.
    std::wstring base(32768, L'\0');
    base.resize(GetCurrentDirectoryW(static_cast<DWORD>(base.size()), base.data()));
    if (base.back() != L'\\') base += L'\\';
    EXPECT_EQ(win::extendedPath(parts + L"\\..\\chart.png"),
              L"\\\\?\\" + base + part + L"\\" + part + L"\\" + part + L"\\chart.png");
}

// One file whatever the separators and the case of its path.
TEST_F(WindowsFiles, PlaceOfAFileIgnoresSpellingAndCase) {
    Platform& p = Platform::current();
    ASSERT_TRUE(fs::create_directory(fs::u8path(path("Out"))));
    const FilePlace place = p.placeOf(path("Out\\chart.png"));
    EXPECT_TRUE(place.folder.known());
    for (const std::string& same : {path("out/CHART.png"), path("OUT\\.\\chart.PNG"), path("x\\..\\Out\\chart.png")})
        EXPECT_TRUE(p.placeOf(same) == place) << same;
    EXPECT_FALSE(p.placeOf(path("Out\\chart.gif")) == place);
    const FilePlace missing = p.placeOf(path("New\\chart.png"));
    EXPECT_FALSE(missing.folder.known());
    EXPECT_TRUE(p.placeOf(path("new/./CHART.png")) == missing);
}

// The memory watcher's figures come from the process heap: blocks taken show
// in what it holds, blocks given back in what is free within it.
TEST(WindowsMemory, HeapFiguresFollowAllocations) {
    Platform& p = Platform::current();
    const MemoryFigures before = p.memoryFigures();
    EXPECT_GT(before.held, 0);
    EXPECT_GE(before.held, before.freeWithin);
    std::vector<std::unique_ptr<char[]>> blocks;
    for (int i = 0; i < 4096; ++i) {
        blocks.emplace_back(new char[1024]);
        blocks.back()[0] = static_cast<char>(i);
    }
    const MemoryFigures during = p.memoryFigures();
    EXPECT_GE(during.held - during.freeWithin, before.held - before.freeWithin + 4 * 1024 * 1024 - 65536);
    blocks.clear();
    const MemoryFigures after = p.memoryFigures();
    EXPECT_LT(after.held - after.freeWithin, during.held - during.freeWithin - 2 * 1024 * 1024);
}

TEST(WindowsConsole, SeparatorAndSystemName) {
    char separator = 0;
    ASSERT_TRUE(Platform::current().fileSeparator(separator));
    EXPECT_EQ(separator, '\\');
    std::string name;
    ASSERT_TRUE(Platform::current().osName(name));
    EXPECT_EQ(name.rfind("Windows", 0), 0u) << name;
}

}  // namespace
