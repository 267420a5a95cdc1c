#include "app/zkQuoteForge.h"

#include "support/Platform.h"

void zkQuoteForge::main(const std::vector<std::string>&) {
    Platform::current().writeStdout(std::string("\n  ") + ZeProgram + " v" + ZeVersion + " of " + ZeDate +
                                    " (last: " + ZeDateModif + ")\n\n  [-h for help]\n\n");
}

int zkQuoteForge::waitForEnd() { return 0; }
