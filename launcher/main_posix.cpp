#include "app/zkQuoteForge.h"
#include "support/Platform.h"

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

// The arguments after the program name go to the application unchanged.
int main(int argc, char** argv) {
    // Without TZ the C library looks at /etc/localtime again on every local
    // time conversion; naming it once keeps each conversion cheap. An explicit
    // TZ is left as it is.
    setenv("TZ", ":/etc/localtime", 0);
    // A console reader that goes away (zkQuoteForge | tee, a restarted log
    // pipe) or a file-size limit must fail a write, not kill the service:
    // the console then goes unwritten and the image write is reported.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // SIGTERM and SIGINT stop the application after the pass in progress.
    Platform::current().watchStopRequests([] { zkQuoteForge::requestStop(); });
    std::vector<std::string> args(argv + 1, argv + argc);
    zkQuoteForge::main(args);
    return zkQuoteForge::waitForEnd();
}
