#pragma once
// The application: start-up, command line and the application object.

#include <string>
#include <vector>

class zkQuoteForge {
public:
    static constexpr const char* ZeVersion = "1.05";
    static constexpr const char* ZeDate = "27/03/2001";
    static constexpr const char* ZeDateModif = "21/11/2001";
    static constexpr const char* ZeProgram = "zkQuoteForge";

    // Process entry with the arguments after the program name.
    static void main(const std::vector<std::string>& args);
    // Blocks while the application's worker threads keep the process alive;
    // returns the process exit status.
    static int waitForEnd();
};
