#include "app/zkQuoteForge.h"
#include "support/Platform.h"

#include <string>
#include <vector>

// The arguments after the program name go to the application unchanged.
int main(int argc, char** argv) {
    // Time zone and signal settings first (see ProcessSetup::atEntry).
    ProcessSetup::atEntry();
    // SIGTERM and SIGINT stop the application after the pass in progress.
    Platform::current().watchStopRequests([] { zkQuoteForge::requestStop(); });
    std::vector<std::string> args(argv + 1, argv + argc);
    zkQuoteForge::main(args);
    return zkQuoteForge::waitForEnd();
}
