#include "support/Platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
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

}  // namespace
