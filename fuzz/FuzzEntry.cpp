// Every fuzz target's set-up: the system's platform installed before the
// first input, as the program's own entry does (a target may still install
// its own over it).

#include "tests/common/TestPlatform.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platformInForce();
    return 0;
}
