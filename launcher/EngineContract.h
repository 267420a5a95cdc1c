#pragma once
// What the launcher (zkQuoteForge.exe) and the execution engine
// (zkQuoteForgeEngine.dll) exchange through COM: the class and interface
// identifiers, the engine interface's slots and the two records the launcher
// hands over. Windows builds only; plain types here so that <windows.h>
// stays in the .cpp files (a COM GUID has the layout of ComGuid, an HRESULT
// is a long, an HMODULE a pointer).
//
// The records keep their fields in this order with these types; pointers and
// handles take the native width, so the size fields hold 24 and 8 on 32-bit
// Windows and 40 and 16 on 64-bit. The engine checks them.

#include <cstdint>

struct ComGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// The engine's class, asked for in-process, as a handler or as a local server.
inline constexpr ComGuid kEngineClassId{0x3EFB1800, 0xC2A1, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xC2, 0xBA, 0x87}};
inline constexpr unsigned long kEngineClassContext = 7;
inline constexpr ComGuid kEngineInterfaceId{0xD7658820, 0x01DD, 0x11D0, {0x97, 0x46, 0x00, 0xAA, 0x00, 0x34, 0x2B, 0xD8}};

// Resources of the launcher: the module container and the entry-module name.
inline constexpr unsigned kContainerResourceId = 1000;
inline constexpr unsigned kEntryNameResourceId = 1001;
// Set-class-source kind: the container is a resource of a loaded module.
inline constexpr std::uint32_t kClassSourceResource = 1;

// The execution request: which entry module to run, with which arguments
// (UTF-16, program name left out). Zeroed, then filled.
struct ExecutionRequest {
    std::uint32_t size;  // sizeof(ExecutionRequest)
    std::uint32_t flags;  // 0
    const char16_t* entryName;
    char16_t** arguments;  // null when there are none
    std::int32_t argumentCount;
    const char16_t* classPath;  // null
};

// Where the module container is: a resource of a loaded module.
struct ClassSource {
    void* module;  // HMODULE
    std::uint32_t resourceId;
};

#if defined(_WIN64)
static_assert(sizeof(ExecutionRequest) == 40 && sizeof(ClassSource) == 16);
#else
static_assert(sizeof(ExecutionRequest) == 24 && sizeof(ClassSource) == 8);
#endif

// The engine interface: IUnknown's three slots, then these four in this
// order. The launcher calls SetClassSource, Execute and Release only.
struct EngineInterface {
    virtual long __stdcall QueryInterface(const ComGuid& iid, void** out) = 0;
    virtual unsigned long __stdcall AddRef() = 0;
    virtual unsigned long __stdcall Release() = 0;
    // Not called by the launcher; the engine answers E_NOTIMPL.
    virtual long __stdcall GetClassPath(char16_t** out) = 0;
    // Runs the request's entry module and returns when the application has
    // ended. A failure may come back as an IErrorInfo in *errorInfo.
    virtual long __stdcall Execute(const ExecutionRequest* request, void** errorInfo) = 0;
    // Not called by the launcher; the engine answers E_NOTIMPL.
    virtual long __stdcall SetSystemProperties(const char16_t* const* properties, std::int32_t count) = 0;
    // S_OK: the container is usable; S_FALSE: a container layout this engine
    // does not know; an error otherwise.
    virtual long __stdcall SetClassSource(std::uint32_t kind, const void* data, std::uint32_t size) = 0;

protected:
    ~EngineInterface() = default;
};

// The launch block the main thread hands its worker; lives in the main
// thread's frame for the whole run.
struct LaunchBlock {
    std::int32_t argumentCount;  // program name included
    char16_t** arguments;
    EngineInterface* engine;
    std::uint32_t mainThreadId;
};
