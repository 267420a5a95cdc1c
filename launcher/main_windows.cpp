// The Windows console entry of the application, without the engine: the
// arguments after the program name go to the application as UTF-8.

#include "app/zkQuoteForge.h"
#include "platform/windows/WinText.h"

int main() { return zkQuoteForge::runProcess(win::commandLineArguments()); }
