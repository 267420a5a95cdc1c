// The Windows console entry of the application, without the engine: the
// arguments after the program name go to the application as UTF-8.

#include "app/zkQuoteForge.h"
#include "platform/windows/WinText.h"
#include "support/Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

int main() {
    ProcessSetup::atEntry();
    // Ctrl-C and Ctrl-Break stop the application after the pass in progress.
    Platform::current().watchStopRequests([] { zkQuoteForge::requestStop(); });
    std::vector<std::string> args;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) args.push_back(win::narrow(wide[i]));
        LocalFree(wide);
    }
    zkQuoteForge::main(args);
    return zkQuoteForge::waitForEnd();
}
