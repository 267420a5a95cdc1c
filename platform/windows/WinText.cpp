#include "platform/windows/WinText.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>
#include <shellapi.h>

namespace win {

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool widePath(const std::string& path, std::wstring& out) {
    if (path.find('\0') != std::string::npos) return false;
    out = widen(path);
    for (wchar_t& c : out)
        if (c == L'/') c = L'\\';
    return true;
}

std::wstring extendedPath(const std::wstring& path) {
    // MAX_PATH counts the terminator.
    constexpr size_t kLongest = MAX_PATH - 1;
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
    const bool absolute = (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
                          (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
                           (path[1] == L'\\' || path[1] == L'/'));
    if (absolute && path.size() <= kLongest) return path;
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed) return path;
    full.resize(n);
    if (full.size() <= kLongest) return path;
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool fileSystemPath(const std::string& path, std::wstring& out) {
    if (!widePath(path, out)) return false;
    out = extendedPath(out);
    return true;
}

std::string errorText(uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer != nullptr) text = narrow(std::wstring_view(buffer, n));
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return text;
}

std::string describe(const std::string& what, const std::string& path, uint32_t code) {
    return what + " " + path + " (" + errorText(code) + ")";
}

std::vector<std::string> commandLineArguments() {
    std::vector<std::string> args;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) args.push_back(narrow(wide[i]));
        LocalFree(wide);
    }
    return args;
}

}  // namespace win
