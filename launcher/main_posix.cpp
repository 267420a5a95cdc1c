#include "app/zkQuoteForge.h"

#include <string>
#include <vector>

// The arguments after the program name go to the application unchanged.
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    zkQuoteForge::main(args);
    return zkQuoteForge::waitForEnd();
}
