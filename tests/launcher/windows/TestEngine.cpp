// A test-only engine for the launcher's failure paths: the same COM server as
// zkQuoteForgeEngine.dll, with results chosen by ZK_TEST_ENGINE:
//   newer        set-class-source returns S_FALSE
//   refuse       set-class-source fails with E_ACCESSDENIED
//   missing      execute returns 0x80070002 (the entry module is missing)
//   error        execute fails with an error object and a description
//   error-empty  the same with an empty description
//   positive     execute returns S_FALSE without an error object
//   (otherwise)  execute writes the entry name and each argument, UTF-8,
//                one per line, "<none>" for a null array, and returns S_OK
// It also checks the class-source record: kind 1, its size, and that the
// container resource is in the module it names.

#include "launcher/EngineServer.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string mode() {
    const char* value = std::getenv("ZK_TEST_ENGINE");
    return value != nullptr ? value : "";
}

void writeLine(std::string_view prefix, const std::string& value, std::string_view suffix = "") {
    std::string text(prefix);
    text.append(value).append(suffix).append("\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string utf8(const char16_t* text) {
    if (text == nullptr) return "<null>";
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

long engineSetClassSource(std::uint32_t kind, const void* data, std::uint32_t size) {
    if (mode() == "newer") return S_FALSE;
    if (mode() == "refuse") return E_ACCESSDENIED;
    if (kind != kClassSourceResource || data == nullptr || size != sizeof(ClassSource)) return E_INVALIDARG;
    const auto& source = *static_cast<const ClassSource*>(data);
    if (FindResourceW(static_cast<HMODULE>(source.module), MAKEINTRESOURCEW(source.resourceId),
                      MAKEINTRESOURCEW(10)) == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return S_OK;
}

long engineExecute(const ExecutionRequest& request, std::optional<std::u16string>& failure) {
    const std::string m = mode();
    if (m == "missing") return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (m == "error") {
        failure = u"test engine: the application failed";
        return E_FAIL;
    }
    if (m == "error-empty") {
        failure = u"";
        return E_FAIL;
    }
    if (m == "positive") return S_FALSE;
    writeLine("entry=", utf8(request.entryName));
    writeLine("count=", std::to_string(request.argumentCount));
    if (request.arguments == nullptr) writeLine("<none>", "");
    for (std::int32_t i = 0; request.arguments != nullptr && i < request.argumentCount; ++i) {
        writeLine("[", utf8(request.arguments[i]), "]");
    }
    return S_OK;
}
