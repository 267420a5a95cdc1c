// The launcher's pieces under Wine: the resources actually linked into
// zkQuoteForge.exe (read back from the executable) and the manifests of both
// programs, the reporting
// primitives, WideToAnsi, LoadRcData and the message pump. The message texts
// are those of the French string table: scripts/test-launcher-wine runs this
// with LC_ALL=fr_FR.UTF-8 (the English table is empty on purpose).

#include "launcher/EngineContract.h"
#include "launcher/Launcher.h"
#include "launcher/ModuleContainer.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const char kInitFailed[] = "The application failed to initialize correctly.";
const char kNewerEngine[] = "Unable to start the application--a newer Java Virtual Machine must be installed.";
const char* const kFrenchTexts[] = {
    kInitFailed,
    "Unable to start the application--the Java Virtual Machine cannot be loaded.",
    "Unable to start the application--the class files could not be loaded.",
    kNewerEngine,
    "Unable to start the application--the main class resource failed to load.",
};

// zkQuoteForge.exe loaded for its resources only.
class LauncherImage : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExA(ZK_LAUNCHER_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << ZK_LAUNCHER_EXE << " error " << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    std::string resource(LPCWSTR type, WORD id, WORD language) {
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), language);
        if (found == nullptr) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module_, found));
    }
    bool has(LPCWSTR type, WORD id, WORD language) {
        return FindResourceExW(module_, type, MAKEINTRESOURCEW(id), language) != nullptr;
    }
    // The 16 counted UTF-16 strings of a string-table block, as ASCII.
    std::vector<std::string> stringBlock(WORD language) {
        const std::string bytes = resource(MAKEINTRESOURCEW(6), 4064, language);
        std::vector<std::string> texts;
        size_t at = 0;
        while (texts.size() < 16 && at + 2 <= bytes.size()) {
            const size_t length = static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
            at += 2;
            std::string text;
            for (size_t i = 0; i < length && at + 2 <= bytes.size(); ++i, at += 2) text += bytes[at];
            texts.push_back(text);
        }
        return texts;
    }

    HMODULE module_ = nullptr;
};

TEST_F(LauncherImage, CarriesAConsistentContainerWithItsEntryModule) {
    ASSERT_TRUE(has(MAKEINTRESOURCEW(10), kContainerResourceId, 0));
    const std::string bytes = resource(MAKEINTRESOURCEW(10), kContainerResourceId, 0);
    std::vector<ContainerModule> modules;
    std::string error;
    ASSERT_TRUE(readModuleContainer(bytes, modules, error)) << error;
    // Top-folder modules first in case-insensitive order, then subfolder ones.
    for (size_t i = 1; i < modules.size(); ++i) {
        const std::string& a = modules[i - 1].name;
        const std::string& b = modules[i].name;
        const bool subA = a.find('/') != std::string::npos;
        const bool subB = b.find('/') != std::string::npos;
        ASSERT_TRUE(subA < subB || (subA == subB && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1,
                                                                  b.c_str(), -1) == CSTR_LESS_THAN))
            << a << " before " << b;
    }
    const auto entry = findEntryModule(modules, "zkQuoteForge");
    ASSERT_TRUE(entry.has_value());
    EXPECT_NE(std::string(entry->payload).find("Entry: zkQuoteForge::main"), std::string::npos);
}

TEST_F(LauncherImage, EntryNameIsTerminatedUtf16) {
    const std::u16string name = u"zkQuoteForge";
    const std::string expected(reinterpret_cast<const char*>(name.c_str()), (name.size() + 1) * 2);
    EXPECT_EQ(resource(MAKEINTRESOURCEW(10), kEntryNameResourceId, 0), expected);
}

TEST_F(LauncherImage, FrenchBlockHoldsTheMessagesAndTheEnglishOneIsEmpty) {
    const std::vector<std::string> french = stringBlock(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    ASSERT_EQ(french.size(), 16u);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(french[i], i < 5 ? kFrenchTexts[i] : "") << "string " << 65008 + i;
    ASSERT_TRUE(has(MAKEINTRESOURCEW(6), 4064, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    const std::vector<std::string> english = stringBlock(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_EQ(english.size(), 16u);
    for (const std::string& text : english) EXPECT_EQ(text, "");
}

TEST_F(LauncherImage, VersionBlockIsFrenchWithItsFields) {
    ASSERT_TRUE(has(MAKEINTRESOURCEW(16), 1, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(ZK_LAUNCHER_EXE, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(ZK_LAUNCHER_EXE, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010005u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010005u);
    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "1.05"},
        {"ProductVersion", "1.05"},
        {"FileDescription", "Constructeur d'image GIF pour des indices boursiers"},
        {"Comments", "Constructeur d'image GIF pour des indices boursiers"},
        {"ProductName", "zkQuoteForge"},
        {"InternalName", "zkQuoteForge"},
        {"OriginalFilename", "zkQuoteForge.exe"},
    };
    for (const auto& [key, value] : strings) {
        char* text = nullptr;
        const std::string path = std::string("\\StringFileInfo\\040C04B0\\") + key;
        ASSERT_TRUE(VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) << key;
        EXPECT_STREQ(text, value) << key;
    }
}

TEST(Manifests, BothProgramsAreLongPathAware) {
    for (const char* program : {ZK_LAUNCHER_EXE, ZK_APP_EXE}) {
        HMODULE module = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << program;
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        ASSERT_NE(found, nullptr) << program;
        const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                                   SizeofResource(module, found));
        EXPECT_NE(manifest.find(">true</ws2:longPathAware>"), std::string::npos) << program;
        FreeLibrary(module);
    }
}

// What the reporting primitives write on standard error, captured in a file.
class StdErrCapture {
public:
    StdErrCapture() {
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "zke", 0, path_);
        file_ = CreateFileA(path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        saved_ = GetStdHandle(STD_ERROR_HANDLE);
        SetStdHandle(STD_ERROR_HANDLE, file_);
    }
    ~StdErrCapture() {
        SetStdHandle(STD_ERROR_HANDLE, saved_);
        CloseHandle(file_);
    }
    std::string text() {
        std::string out(65536, '\0');
        DWORD n = 0;
        SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
        ReadFile(file_, out.data(), static_cast<DWORD>(out.size()), &n, nullptr);
        out.resize(n);
        return out;
    }

private:
    char path_[MAX_PATH]{};
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE saved_ = INVALID_HANDLE_VALUE;
};

std::string systemText(DWORD code) {
    char text[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0x0400,
                                   text, sizeof text, nullptr);
    return std::string(text, n);
}

TEST(LauncherMessages, ErrorMessageIsTextThenBlankLineThenSystemText) {
    // A code the system has a text for, and one it has none for.
    const long known = static_cast<long>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    const long unknown = static_cast<long>(0x8004DEADu);
    ASSERT_EQ(systemText(static_cast<DWORD>(unknown)), "");
    const std::string known_text = systemText(static_cast<DWORD>(known));
    const std::string withSystem = known_text.empty() ? "" : "\r\n\r\n" + known_text;
    const struct {
        unsigned id;
        long code;
        std::string expected;
    } cases[] = {
        {kMsgInitFailed, 0, std::string(kInitFailed) + "\r\n"},
        {kMsgInitFailed, unknown, std::string(kInitFailed) + "\r\n"},
        {kMsgInitFailed, known, kInitFailed + withSystem + "\r\n"},
        {0, known, withSystem + "\r\n"},
        {65013, known, withSystem + "\r\n"},  // an empty text counts as absent
        {0, 0, "\r\n"},
        {65013, unknown, "\r\n"},
    };
    for (const auto& c : cases) {
        StdErrCapture capture;
        ShowErrorMessage(c.id, c.code);
        EXPECT_EQ(capture.text(), c.expected) << c.id << " " << std::hex << c.code;
    }
}

TEST(LauncherMessages, ResourceMessageWritesNothingForAnEmptyText) {
    {
        StdErrCapture capture;
        ShowResourceMessage(kMsgNewerEngine);
        EXPECT_EQ(capture.text(), std::string(kNewerEngine) + "\r\n");
    }
    {
        StdErrCapture capture;
        ShowResourceMessage(65013);
        ShowResourceMessage(65030);  // no such string at all
        EXPECT_EQ(capture.text(), "");
    }
}

TEST(LauncherMessages, StdErrLineOfNullIsALineEndAndNoHandleWritesNothing) {
    {
        StdErrCapture capture;
        WriteStdErrLine(nullptr);
        WriteStdErrLine("x");
        EXPECT_EQ(capture.text(), "\r\nx\r\n");
    }
    HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, INVALID_HANDLE_VALUE);
    WriteStdErrLine("lost");
    SetStdHandle(STD_ERROR_HANDLE, saved);
}

TEST(WideToAnsi, AddsATerminatorOnlyWhenTheInputHasNone) {
    const struct {
        const wchar_t* text;
        int count;
        std::string expected;
    } cases[] = {
        {L"abc", -1, "abc"},
        {L"abcdef", 3, "abc"},
        {L"abc", 4, "abc"},  // the terminator counted and converted
        {L"a", 1, "a"},
    };
    for (const auto& c : cases) {
        char* out = nullptr;
        ASSERT_EQ(WideToAnsi(c.text, c.count, &out), S_OK) << c.count;
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out), c.expected);
        LocalFree(out);
    }
    char* out = reinterpret_cast<char*>(1);
    EXPECT_EQ(WideToAnsi(L"", 0, &out), E_UNEXPECTED);
    EXPECT_EQ(out, nullptr);
}

TEST(LoadRcData, CopiesOnlyWhenTheWholeResourceFits) {
    char buffer[64];
    unsigned long size = 26;
    ASSERT_TRUE(LoadRcData(kEntryNameResourceId, buffer, &size));
    EXPECT_EQ(size, 26u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer)), u"zkQuoteForge");

    size = 25;
    EXPECT_FALSE(LoadRcData(kEntryNameResourceId, buffer, &size));
    EXPECT_EQ(size, 26u);  // the size needed
    size = sizeof buffer;
    EXPECT_FALSE(LoadRcData(4242, buffer, &size));
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(LoadRcData(kEntryNameResourceId, nullptr, &size));
    EXPECT_FALSE(LoadRcData(kEntryNameResourceId, buffer, nullptr));
}

TEST(PumpMessages, ReturnsTheResultPostedWithTheQuitMessage) {
    MSG peek;
    PeekMessageA(&peek, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const DWORD self = GetCurrentThreadId();
    std::thread worker([self] {
        PostThreadMessageA(self, WM_USER, 0, 0);
        PostThreadMessageA(self, WM_QUIT, static_cast<WPARAM>(E_ACCESSDENIED), 0);
    });
    EXPECT_EQ(PumpMessages(), static_cast<int>(E_ACCESSDENIED));
    worker.join();
}

}  // namespace
