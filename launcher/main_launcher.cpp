// zkQuoteForge.exe: the console launcher that runs the application through
// the execution engine (zkQuoteForgeEngine.dll).

#include "launcher/Launcher.h"

int main() { LauncherMain(); }
