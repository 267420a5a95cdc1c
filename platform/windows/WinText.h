#pragma once
// Text and error helpers shared by the Windows platform files. UTF-8 inside
// the program, UTF-16 for every Win32 call. No <windows.h> here.

#include <cstdint>
#include <string>
#include <string_view>

namespace win {

// Invalid UTF-8 becomes U+FFFD.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);

// A path for Win32: UTF-16 with "/" turned into "\\". False for a path that
// holds a NUL byte (it would be cut short there).
bool widePath(const std::string& path, std::wstring& out);

// The system's text for an error code, without its line end.
std::string errorText(uint32_t code);
// what + " " + path + " (" + the system's text + ")"
std::string describe(const std::string& what, const std::string& path, uint32_t code);

}  // namespace win
