#include "app/zkQuoteForge.h"

#include <string>
#include <vector>

// The arguments after the program name go to the application unchanged.
int main(int argc, char** argv) { return zkQuoteForge::runProcess(std::vector<std::string>(argv + 1, argv + argc)); }
