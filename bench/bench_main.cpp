// The benchmark programs' entry: the system's platform installed, as the
// program's own entry does.

#include "platform/SystemPlatform.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    Platform::install(&systemPlatform());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
