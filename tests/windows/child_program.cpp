// A program for the update-program tests on Windows. The first argument says
// what to do:
//   args       print each further argument on a line of its own, as "[arg]"
//   exit N     end with exit code N
//   flood N    write N lines to standard output and to standard error
//   hang       start a copy of itself that hangs too, then sleep for good
//   leave      start a copy of itself that hangs, then end

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string what = argv[1];
    if (what == "args") {
        for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
        return 0;
    }
    if (what == "exit" && argc > 2) return std::atoi(argv[2]);
    if (what == "flood" && argc > 2) {
        const int lines = std::atoi(argv[2]);
        for (int i = 0; i < lines; ++i) {
            std::fprintf(stdout, "out %d ..........................................................\n", i);
            std::fprintf(stderr, "err %d ..........................................................\n", i);
        }
        return 0;
    }
    if (what == "hang" || what == "leave") {
        if (argc == 2) {
            // A child of its own, which the end of the run must end as well.
            wchar_t self[MAX_PATH];
            GetModuleFileNameW(nullptr, self, MAX_PATH);
            std::wstring line = L"\"" + std::wstring(self) + L"\" hang child";
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info{};
            if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
                std::printf("child %lu\n", info.dwProcessId);
                std::fflush(stdout);
                CloseHandle(info.hThread);
                CloseHandle(info.hProcess);
            }
        }
        if (what == "leave") return 0;
        Sleep(INFINITE);
    }
    return 2;
}
