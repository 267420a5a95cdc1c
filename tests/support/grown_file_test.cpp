// Data files read in parts, on either platform: a file that grew is read
// from where it ended and keeps its identity; one replaced whole gets
// another; the size is the file's wherever the read starts (a shrunk file
// must not look as long as the offset asked for).

#include "support/Platform.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(GrownFile, ReadFromWhereItEndedAndReplacedFilesChangeIdentity) {
    const std::string dir = makeTempDir("zkgrown");
    ASSERT_FALSE(dir.empty());
    Platform& p = Platform::current();
    const std::string path = (std::filesystem::path(dir) / "data.txt").string();
    std::string out, error;
    ASSERT_TRUE(p.appendFile(path, "line one\n", error)) << error;
    FileIdentity first, again, replaced;
    int64_t size = 0;
    ASSERT_TRUE(p.readFileFrom(path, 0, out, first, size, error)) << error;
    EXPECT_EQ(out, "line one\n");
    EXPECT_EQ(size, 9);
    EXPECT_TRUE(first.known());

    ASSERT_TRUE(p.appendFile(path, "line two\n", error)) << error;
    ASSERT_TRUE(p.readFileFrom(path, 9, out, again, size, error)) << error;
    EXPECT_EQ(out, "line two\n");
    EXPECT_EQ(size, 18);
    EXPECT_EQ(again, first);
    ASSERT_TRUE(p.readFileFrom(path, 40, out, again, size, error)) << error;
    EXPECT_EQ(out, "");
    EXPECT_EQ(size, 18);

    ASSERT_TRUE(p.writeFileAtomic(path, "new\n", error)) << error;
    ASSERT_TRUE(p.readFileFrom(path, 0, out, replaced, size, error)) << error;
    EXPECT_EQ(out, "new\n");
    EXPECT_NE(replaced, first);
    // Folders are refused as a whole read refuses them.
    EXPECT_FALSE(p.readFileFrom(dir, 0, out, replaced, size, error));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
