// The test programs' entry: the system's platform under every test, as the
// program's own entry installs it.

#include "tests/common/TestPlatform.h"
#include "tests/common/ThreadCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    platformInForce();
    if (std::optional<int> status = runChildRole(argc, argv)) return *status;
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    const char* threaded = std::getenv("ZK_TEST_THREADS");
    if (threaded != nullptr && std::strcmp(threaded, "no") == 0 && threadsStarted()) {
        std::fputs("This test program started a thread: label it \"threads\" in tests/CMakeLists.txt "
                   "(ZK_THREADED_TESTS), so that the ThreadSanitizer stage runs it.\n",
                   stderr);
        return 1;
    }
    return status;
}
