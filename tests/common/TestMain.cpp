// The test programs' entry: the system's platform under every test, as the
// program's own entry installs it.

#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    platformInForce();
    if (std::optional<int> status = runChildRole(argc, argv)) return *status;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
