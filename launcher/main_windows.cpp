// The Windows console entry of the application, without the engine: the
// arguments after the program name go to the application as UTF-8.

#include "app/zkQuoteForge.h"
#include "platform/windows/WinText.h"
#include "support/Platform.h"

int main() {
    ProcessSetup::atEntry();
    // Ctrl-C and Ctrl-Break stop the application after the pass in progress.
    Platform::current().watchStopRequests([] { zkQuoteForge::requestStop(); });
    zkQuoteForge::main(win::commandLineArguments());
    return zkQuoteForge::waitForEnd();
}
