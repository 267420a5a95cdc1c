#pragma once
// Text and error helpers shared by the Windows platform files. UTF-8 inside
// the program, UTF-16 for every Win32 call. No <windows.h> here.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace win {

// Invalid UTF-8 becomes U+FFFD.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

// A path for Win32: UTF-16 with "/" turned into "\\". False for a path that
// holds a NUL byte (it would be cut short there).
bool widePath(const std::string& path, std::wstring& out);

// The form Win32 takes for a path longer than MAX_PATH allows: made
// absolute, with "/", "." and ".." resolved, then marked "\\?\" (a share
// "\\?\UNC\"), since that mark turns the resolving off. A path short enough,
// one already marked and a device path stay as they are.
std::wstring extendedPath(const std::wstring& path);
// widePath, then extendedPath: for every path handed to a file function.
bool fileSystemPath(const std::string& path, std::wstring& out);

// The system's text for an error code, without its line end.
std::string errorText(uint32_t code);
// what + " " + path + " (" + the system's text + ")"
std::string describe(const std::string& what, const std::string& path, uint32_t code);

// The process's command-line arguments after the program name, as UTF-8.
std::vector<std::string> commandLineArguments();

}  // namespace win
