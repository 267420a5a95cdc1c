// The module container as the build script writes it, read back and checked,
// and every rule of its layout broken once.

#include "launcher/ModuleContainer.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void putWord(std::string& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

class ModuleContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A folder of its own: ctest runs this program's tests side by side,
        // and in one shared folder each rewrote the other's input files.
        dir = makeTempDir("zkmodule");
        ASSERT_FALSE(dir.empty());
        const std::vector<std::pair<std::string, std::string>> files{
            {"b.txt", "second"}, {"A.txt", "first!"}, {"empty.txt", ""}, {"z.txt", "in a folder"}};
        std::string command = std::string("python3 ") + ZK_SOURCE_DIR + "/scripts/make-module-container " + dir +
                              "/c.dnrc";
        for (const auto& [file, content] : files) {
            std::ofstream(dir + "/" + file, std::ios::binary) << content;
        }
        command += " zkQuoteForge.module=" + dir + "/b.txt Alpha.module=" + dir + "/A.txt empty.bin=" + dir +
                   "/empty.txt sub/Deep.module=" + dir + "/z.txt";
        ASSERT_EQ(std::system(command.c_str()), 0);
        bytes = readAll(dir + "/c.dnrc");
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
    std::string bytes;
};

TEST_F(ModuleContainerTest, WrittenInOrderAndReadBackWhole) {
    std::vector<ContainerModule> modules;
    std::string error;
    ASSERT_TRUE(readModuleContainer(bytes, modules, error)) << error;
    ASSERT_EQ(modules.size(), 4u);
    // Top folder first, case ignored, then the subfolder.
    EXPECT_EQ(modules[0].name, "Alpha.module");
    EXPECT_EQ(modules[1].name, "empty.bin");
    EXPECT_EQ(modules[2].name, "zkQuoteForge.module");
    EXPECT_EQ(modules[3].name, "sub/Deep.module");
    EXPECT_EQ(modules[0].payload, "first!");
    EXPECT_EQ(modules[1].payload, "");
    EXPECT_EQ(modules[3].payload, "in a folder");
    EXPECT_EQ(bytes.size(), 16 + 4 * 20 + 13 + 10 + 20 + 16 + 6 + 0 + 6 + 11);

    ASSERT_TRUE(findEntryModule(modules, "ZKQUOTEFORGE"));
    EXPECT_EQ(findEntryModule(modules, "zkQuoteForge")->payload, "second");
    EXPECT_FALSE(findEntryModule(modules, "missing"));
    EXPECT_FALSE(findEntryModule(modules, "Deep"));  // a subfolder's module is not an entry
}

TEST_F(ModuleContainerTest, EveryBrokenRuleIsRefused) {
    const size_t names = 16 + 4 * 20;
    struct Break {
        const char* what;
        std::function<void(std::string&)> change;
    };
    const std::vector<Break> breaks{
        {"magic", [](std::string& b) { b[0] = 'X'; }},
        {"header 2", [](std::string& b) { putWord(b, 8, 3); }},
        {"header 0", [](std::string& b) { putWord(b, 12, 1); }},
        {"count too large", [](std::string& b) { putWord(b, 4, 100000); }},
        {"count 0", [](std::string& b) { putWord(b, 4, 0); }},
        {"-1 word", [](std::string& b) { putWord(b, 16 + 20 + 12, 0); }},
        {"name outside", [](std::string& b) { putWord(b, 16, 5); }},
        {"payload gap", [](std::string& b) { putWord(b, 16 + 20 + 8, 100000); }},
        {"payload past the end", [](std::string& b) { putWord(b, 16 + 3 * 20 + 4, 1000); }},
        {"trailing bytes", [](std::string& b) { b += "x"; }},
        {"cut short", [](std::string& b) { b.pop_back(); }},
        {"name without its 0", [&](std::string& b) { b.resize(names + 5); }},
    };
    for (const Break& x : breaks) {
        std::string broken = bytes;
        x.change(broken);
        std::vector<ContainerModule> modules;
        std::string error;
        EXPECT_FALSE(readModuleContainer(broken, modules, error)) << x.what;
        EXPECT_FALSE(error.empty()) << x.what;
    }

    // Other header values are a later layout, told apart from a broken one
    // by whole words (0x102 has 2 as its low byte).
    EXPECT_FALSE(isLaterContainerLayout(bytes));
    for (auto [at, value] : {std::pair{8, 0x102u}, {8, 3u}, {12, 0x100u}}) {
        std::string later = bytes;
        putWord(later, static_cast<size_t>(at), value);
        EXPECT_TRUE(isLaterContainerLayout(later)) << at << " " << value;
    }
    EXPECT_FALSE(isLaterContainerLayout("DNRC"));
}

}  // namespace
