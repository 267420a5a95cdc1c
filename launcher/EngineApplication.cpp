// The engine of zkQuoteForgeEngine.dll: it reads the launcher's module
// container and runs the application the entry module names.
//
// The application's code is linked into this DLL; the container's payloads
// are module manifests, lines of "Key: value": every module carries
// "Module" and "Version" (the version must be this engine's: a launcher and
// an engine of different versions do not run together), and the entry module
// carries "Entry", the start-up to call.

#include "launcher/EngineServer.h"
#include "launcher/ModuleContainer.h"

#include "app/zkQuoteForge.h"
#include "platform/windows/WinText.h"
#include "support/ProgramInfo.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kEntryPoint = "zkQuoteForge::main";
constexpr size_t kEntryNameUnits = 2048 / sizeof(char16_t);

std::mutex containerMutex;
std::string containerBytes;
std::vector<ContainerModule> containerModules;  // point into containerBytes
bool haveContainer = false;

std::u16string u16(const std::string& utf8) {
    const std::wstring wide = win::widen(utf8);
    return std::u16string(wide.begin(), wide.end());
}

std::string utf8(const char16_t* text) {
    if (text == nullptr) return {};
    return win::narrow(reinterpret_cast<const wchar_t*>(text));
}

// The value of "key: value" in a manifest, trimmed; empty when absent.
std::string manifestValue(std::string_view manifest, std::string_view key) {
    while (!manifest.empty()) {
        const size_t end = manifest.find('\n');
        std::string_view line = manifest.substr(0, end);
        manifest = end == std::string_view::npos ? std::string_view{} : manifest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ':') {
            line.remove_prefix(key.size() + 1);
            while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
            return std::string(line);
        }
    }
    return {};
}

}  // namespace

long engineSetClassSource(std::uint32_t kind, const void* data, std::uint32_t size) {
    // A kind this engine does not know comes from a newer launcher.
    if (kind != kClassSourceResource) return S_FALSE;
    if (data == nullptr) return E_POINTER;
    if (size != sizeof(ClassSource)) return E_INVALIDARG;
    const auto& source = *static_cast<const ClassSource*>(data);
    auto module = static_cast<HMODULE>(source.module);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(source.resourceId), MAKEINTRESOURCEW(10));
    if (found == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    const DWORD bytes = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* at = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (at == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    std::string copy(static_cast<const char*>(at), bytes);
    // The header of a later layout: a newer engine is needed.
    if (isLaterContainerLayout(copy)) return S_FALSE;
    std::vector<ContainerModule> modules;
    std::string error;
    std::lock_guard lock(containerMutex);
    containerBytes = std::move(copy);
    haveContainer = readModuleContainer(containerBytes, modules, error);
    containerModules = std::move(modules);
    return haveContainer ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

long engineExecute(const ExecutionRequest& request, std::optional<std::u16string>& failure) {
    // The launcher's name buffer holds 2048 bytes: a name not terminated
    // within them would be read past its end.
    if (request.entryName == nullptr ||
        std::char_traits<char16_t>::find(request.entryName, kEntryNameUnits, u'\0') == nullptr) {
        failure = u"zkQuoteForgeEngine: the entry-module name is missing or not terminated";
        return E_INVALIDARG;
    }
    std::optional<ContainerModule> entry;
    const std::string entryName = utf8(request.entryName);
    {
        std::lock_guard lock(containerMutex);
        if (!haveContainer) {
            failure = u"zkQuoteForgeEngine: no module container was given before execute";
            return E_UNEXPECTED;
        }
        for (const ContainerModule& m : containerModules) {
            const std::string version = manifestValue(m.payload, "Version");
            if (version != ProgramInfo::ZeVersion) {
                failure = u16("zkQuoteForgeEngine: module " + m.name + " is of version " + version +
                              ", this engine runs version " + ProgramInfo::ZeVersion);
                return E_FAIL;
            }
        }
        entry = findEntryModule(containerModules, entryName);
    }
    if (!entry) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const std::string start = manifestValue(entry->payload, "Entry");
    if (start != kEntryPoint) {
        failure = u16("zkQuoteForgeEngine: module " + entry->name + " names the entry \"" + start +
                      "\", which this engine does not have");
        return E_FAIL;
    }

    std::vector<std::string> args;
    for (std::int32_t i = 0; request.arguments != nullptr && i < request.argumentCount; ++i) {
        args.push_back(utf8(request.arguments[i]));
    }
    // The application starts threads that outlive this call (the watcher of
    // stop requests waits for the whole process): the engine stays loaded
    // until the process ends, or the launcher's CoUninitialize would unload
    // it under them, and a thread not yet started would start in freed code.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&engineExecute), &self);
    // The start-up returns while the service's threads run on: the launcher
    // must not end the process before they do. A one-shot pass ends the
    // process itself, with its own exit status.
    if (zkQuoteForge::runProcess(args) != 0) {
        // The launcher's exit status is 1 for a failed execution.
        failure = u"zkQuoteForge: the configuration could not be read (see above)";
        return E_FAIL;
    }
    return S_OK;
}
