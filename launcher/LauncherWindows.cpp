#include "launcher/Launcher.h"

#include "launcher/EngineContract.h"
#include "launcher/SplitCommandLine.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "platform/windows/WinHandles.h"

#include <cstring>

namespace {

constexpr DWORD kEntryNameBufferSize = 2048;
constexpr int kStringBufferSize = 512;
constexpr DWORD kWorkerWaitMs = 5000;

// wchar_t and char16_t are both UTF-16 code units here.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

void* processHeapAllocate(std::size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }
void* processHeapReallocate(void* block, std::size_t bytes) { return HeapReAlloc(GetProcessHeap(), 0, block, bytes); }
constexpr SplitterHeap kProcessHeap{processHeapAllocate, processHeapReallocate};

const GUID& asGuid(const ComGuid& g) { return reinterpret_cast<const GUID&>(g); }
static_assert(sizeof(ComGuid) == sizeof(GUID));

}  // namespace

void WriteStdErrLine(const char* text) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (text != nullptr) WriteFile(err, text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
    WriteFile(err, "\r\n", 2, &written, nullptr);
}

void ShowResourceMessage(unsigned id) {
    char text[kStringBufferSize];
    if (LoadStringA(GetModuleHandleA(nullptr), id, text, kStringBufferSize) > 0) WriteStdErrLine(text);
}

void ShowErrorMessage(unsigned id, long code) {
    char output[1032];
    output[0] = 0;
    if (id != 0) {
        char text[kStringBufferSize];
        if (LoadStringA(GetModuleHandleA(nullptr), id, text, kStringBufferSize) > 0) lstrcpyA(output, text);
    }
    if (code != 0) {
        char system[kStringBufferSize];
        const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                       static_cast<DWORD>(code), 0x0400, system, kStringBufferSize, nullptr);
        if (n > 0) {
            lstrcatA(output, "\r\n\r\n");
            lstrcatA(output, system);
        }
    }
    WriteStdErrLine(output);
}

long WideToAnsi(const wchar_t* text, int count, char** out) {
    *out = nullptr;
    const bool addTerminator = count == 0 || (count > 0 && text[count - 1] != 0);
    int n = WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return E_UNEXPECTED;
    const int room = addTerminator ? n + 1 : n;
    auto* buffer = static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(room)));
    if (buffer == nullptr) return E_OUTOFMEMORY;
    n = WideCharToMultiByte(CP_ACP, 0, text, count, buffer, room, nullptr, nullptr);
    if (n <= 0) {
        LocalFree(buffer);
        return E_UNEXPECTED;
    }
    if (addTerminator) buffer[n] = 0;
    *out = buffer;
    return S_OK;
}

bool LoadRcData(unsigned id, void* destination, unsigned long* size) {
    HMODULE module = GetModuleHandleA(nullptr);
    if (destination == nullptr || size == nullptr) return false;
    const DWORD capacity = *size;
    *size = 0;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));
    if (found == nullptr) return false;
    *size = SizeofResource(module, found);
    if (capacity < *size) return false;
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return false;
    std::memcpy(destination, LockResource(loaded), *size);
    FreeResource(loaded);
    return true;
}

int PumpMessages() {
    MSG msg{};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        // -1 is a failure of the call itself: looping on it would spin for ever.
        if (got == -1) return static_cast<int>(E_UNEXPECTED);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

unsigned long __stdcall EngineThreadProc(void* parameter) {
    auto& block = *static_cast<LaunchBlock*>(parameter);
    ExecutionRequest request;
    std::memset(&request, 0, sizeof request);
    request.size = sizeof request;
    HRESULT result = S_OK;
    alignas(char16_t) char entryName[kEntryNameBufferSize];
    DWORD entryNameSize = kEntryNameBufferSize;
    if (!LoadRcData(kEntryNameResourceId, entryName, &entryNameSize)) {
        ShowErrorMessage(kMsgEntryNameFailed, static_cast<long>(GetLastError()));
        result = E_FAIL;
    } else {
        request.entryName = reinterpret_cast<const char16_t*>(entryName);
        if (block.argumentCount - 1 > 0) {
            request.arguments = block.arguments + 1;
            request.argumentCount = block.argumentCount - 1;
        }
        const ClassSource source{GetModuleHandleA(nullptr), kContainerResourceId};
        result = block.engine->SetClassSource(kClassSourceResource, &source, sizeof source);
        if (result == S_FALSE) {
            ShowResourceMessage(kMsgNewerEngine);
            // The application never ran: that is a failure, not a success.
            result = E_FAIL;
        } else if (result != S_OK) {
            ShowErrorMessage(kMsgModulesFailed, result);
        } else {
            IErrorInfo* error = nullptr;
            result = block.engine->Execute(&request, reinterpret_cast<void**>(&error));
            if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
                ShowResourceMessage(kMsgModulesFailed);
                if (error != nullptr) error->Release();
            } else if (error != nullptr) {
                BSTR description = nullptr;
                if (error->GetDescription(&description) == S_OK) {
                    char* text = nullptr;
                    WideToAnsi(description, static_cast<int>(SysStringLen(description)), &text);
                    WriteStdErrLine(text);
                    if (text != nullptr) LocalFree(text);
                    SysFreeString(description);
                }
                error->Release();
                result = E_FAIL;
            } else if (FAILED(result)) {
                ShowErrorMessage(0, result);
            }
        }
    }
    PostThreadMessageA(block.mainThreadId, WM_QUIT, static_cast<WPARAM>(result), 0);
    return static_cast<unsigned long>(result);
}

void LauncherMain() {
    HRESULT result = CoInitialize(nullptr);
    if (FAILED(result)) {
        ShowErrorMessage(kMsgInitFailed, result);
        ExitProcess(1);
    }
    IClassFactory* factory = nullptr;
    result = CoGetClassObject(asGuid(kEngineClassId), kEngineClassContext, nullptr, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory));
    if (FAILED(result)) {
        ShowErrorMessage(kMsgNoEngine, result);
        CoUninitialize();
        ExitProcess(1);
    }
    EngineInterface* engine = nullptr;
    result = factory->CreateInstance(nullptr, asGuid(kEngineInterfaceId), reinterpret_cast<void**>(&engine));
    if (result != S_OK) {
        ShowErrorMessage(kMsgInitFailed, result);
        factory->Release();
        CoUninitialize();
        // A positive result other than S_OK gave no engine either: a failure.
        ExitProcess(1);
    }

    LaunchBlock block{};
    char16_t** arguments = nullptr;
    block.argumentCount = SplitCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()), &arguments, kProcessHeap);
    block.arguments = arguments;
    block.engine = engine;
    block.mainThreadId = GetCurrentThreadId();

    // The worker posts its end to this thread: its message queue must exist
    // first (Windows drops a message posted to a thread that has none).
    MSG peek;
    PeekMessageA(&peek, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const win::Handle worker(CreateThread(nullptr, 0, EngineThreadProc, &block, 0, nullptr));
    if (worker.valid()) {
        result = PumpMessages();
        WaitForSingleObject(worker.get(), kWorkerWaitMs);
    } else {
        const DWORD e = GetLastError();
        ShowErrorMessage(kMsgInitFailed, static_cast<long>(e));
        result = e != 0 ? static_cast<HRESULT>(e | 0x80070000u) : 0;
    }
    engine->Release();
    factory->Release();
    CoUninitialize();
    ExitProcess(FAILED(result) ? 1 : 0);
}
