#include "launcher/EngineServer.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <exception>
#include <optional>
#include <string>

namespace {

HINSTANCE thisModule = nullptr;
// Objects alive and factory locks: the DLL may be unloaded when both are 0.
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

const GUID& asGuid(const ComGuid& g) { return reinterpret_cast<const GUID&>(g); }
static_assert(sizeof(ComGuid) == sizeof(GUID));

// An IErrorInfo that only carries a description.
class ErrorObject final : public IErrorInfo {
public:
    explicit ErrorObject(std::u16string description) : description_(std::move(description)) { ++liveObjects; }
    ~ErrorObject() { --liveObjects; }

    HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IErrorInfo)) {
            *out = static_cast<IErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG __stdcall AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG __stdcall Release() override {
        const long left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT __stdcall GetGUID(GUID* out) override {
        if (out == nullptr) return E_POINTER;
        *out = asGuid(kEngineInterfaceId);
        return S_OK;
    }
    HRESULT __stdcall GetSource(BSTR* out) override { return copy(u"zkQuoteForgeEngine", out); }
    HRESULT __stdcall GetDescription(BSTR* out) override { return copy(description_, out); }
    HRESULT __stdcall GetHelpFile(BSTR* out) override { return copy(u"", out); }
    HRESULT __stdcall GetHelpContext(DWORD* out) override {
        if (out == nullptr) return E_POINTER;
        *out = 0;
        return S_OK;
    }

private:
    static HRESULT copy(const std::u16string& text, BSTR* out) {
        if (out == nullptr) return E_POINTER;
        *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
        return *out != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    std::atomic<long> references_{1};
    std::u16string description_;
};

class Engine final : public EngineInterface {
public:
    Engine() { ++liveObjects; }
    ~Engine() { --liveObjects; }

    long __stdcall QueryInterface(const ComGuid& iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(asGuid(iid), IID_IUnknown) || IsEqualIID(asGuid(iid), asGuid(kEngineInterfaceId))) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    unsigned long __stdcall AddRef() override { return static_cast<unsigned long>(++references_); }
    unsigned long __stdcall Release() override {
        const long left = --references_;
        if (left == 0) delete this;
        return static_cast<unsigned long>(left);
    }
    long __stdcall GetClassPath(char16_t** out) override {
        if (out != nullptr) *out = nullptr;
        return E_NOTIMPL;
    }
    long __stdcall Execute(const ExecutionRequest* request, void** errorInfo) override {
        if (errorInfo != nullptr) *errorInfo = nullptr;
        std::optional<std::u16string> failure;
        HRESULT result;
        if (request == nullptr) {
            result = E_POINTER;
            failure = u"zkQuoteForgeEngine: no execution request";
        } else if (request->size != sizeof(ExecutionRequest)) {
            // A launcher built for the other pointer width, or an older record.
            result = E_INVALIDARG;
            failure = u"zkQuoteForgeEngine: the execution request has the size " +
                      toU16(std::to_string(request->size)) + u", not " + toU16(std::to_string(sizeof(ExecutionRequest)));
        } else {
            try {
                result = engineExecute(*request, failure);
            } catch (const std::exception& e) {
                result = E_FAIL;
                failure = u"zkQuoteForgeEngine: " + toU16(e.what());
            } catch (...) {
                result = E_FAIL;
                failure = u"zkQuoteForgeEngine: the application failed";
            }
        }
        if (failure && errorInfo != nullptr) *errorInfo = static_cast<IErrorInfo*>(new ErrorObject(*failure));
        return result;
    }
    long __stdcall SetSystemProperties(const char16_t* const*, std::int32_t) override { return E_NOTIMPL; }
    long __stdcall SetClassSource(std::uint32_t kind, const void* data, std::uint32_t size) override {
        try {
            return engineSetClassSource(kind, data, size);
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    // ASCII texts (numbers, exception messages) only.
    static std::u16string toU16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

    std::atomic<long> references_{1};
};

class Factory final : public IClassFactory {
public:
    HRESULT __stdcall QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // One factory for the DLL's lifetime; locks keep the DLL loaded.
    ULONG __stdcall AddRef() override {
        ++serverLocks;
        return 2;
    }
    ULONG __stdcall Release() override {
        --serverLocks;
        return 1;
    }
    HRESULT __stdcall CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* engine = new (std::nothrow) Engine;
        if (engine == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = engine->QueryInterface(reinterpret_cast<const ComGuid&>(iid), out);
        engine->Release();
        return result;
    }
    HRESULT __stdcall LockServer(BOOL lock) override {
        if (lock) {
            ++serverLocks;
        } else {
            --serverLocks;
        }
        return S_OK;
    }
};

Factory theFactory;

// ---- Registration -------------------------------------------------------------
// Under the machine's classes: Windows would honour the current user's too,
// without administrator rights, but Wine looks for servers only there.

constexpr wchar_t kClasses[] = L"Software\\Classes\\CLSID\\";

std::wstring classKeyName() {
    wchar_t text[40];
    StringFromGUID2(asGuid(kEngineClassId), text, 40);
    return std::wstring(kClasses) + text;
}

std::wstring ownPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(thisModule, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The registry's description of our class: a registration carrying it is
// one of ours, even when its DLL has been moved or deleted since.
constexpr wchar_t kDescription[] = L"zkQuoteForge execution engine";

// The absolute form of a path, with any "\\?\" prefix taken off so that
// both spellings of one path compare equal; empty when it has none.
std::wstring fullPath(const std::wstring& path) {
    std::wstring plain = path;
    if (plain.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        plain = L"\\\\" + plain.substr(8);
    } else if (plain.rfind(L"\\\\?\\", 0) == 0) {
        plain = plain.substr(4);
    }
    const DWORD needed = GetFullPathNameW(plain.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD n = GetFullPathNameW(plain.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed) return {};
    full.resize(n);
    return full;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
    const std::wstring fullA = fullPath(a);
    const std::wstring fullB = fullPath(b);
    if (fullA.empty() || fullB.empty()) return false;
    return CompareStringOrdinal(fullA.c_str(), static_cast<int>(fullA.size()), fullB.c_str(),
                                static_cast<int>(fullB.size()), TRUE) == CSTR_EQUAL;
}

// A string value read at its real length (a path may be far longer than
// MAX_PATH); nothing when it is missing or not a string.
std::optional<std::wstring> readString(HKEY key, const wchar_t* subKey, const wchar_t* name) {
    std::wstring value;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        LSTATUS status = RegGetValueW(key, subKey, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
        if (status != ERROR_SUCCESS) return std::nullopt;
        value.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        status = RegGetValueW(key, subKey, name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes);
        if (status == ERROR_MORE_DATA) continue;  // it grew meanwhile
        if (status != ERROR_SUCCESS) return std::nullopt;
        value.resize(bytes / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0') value.pop_back();
        return value;
    }
    return std::nullopt;
}

bool fileMissing(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

enum class Holder {
    nobody,
    us,       // names this DLL
    ourGone,  // ours (our description), naming a DLL that no longer exists: moved or deleted
    another
};

// Who the class's registration under root names.
Holder registeredHolder(HKEY root) {
    HKEY classKey = nullptr;
    if (RegOpenKeyExW(root, classKeyName().c_str(), 0, KEY_READ, &classKey) != ERROR_SUCCESS) return Holder::nobody;
    Holder holder = Holder::another;
    if (const auto server = readString(classKey, L"InprocServer32", nullptr)) {
        if (samePath(*server, ownPath())) {
            holder = Holder::us;
        } else if (readString(classKey, nullptr, nullptr) == kDescription && !server->empty() &&
                   fileMissing(*server)) {
            holder = Holder::ourGone;
        }
    }
    RegCloseKey(classKey);
    return holder;
}

bool setString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT __stdcall DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(classId, asGuid(kEngineClassId))) return CLASS_E_CLASSNOTAVAILABLE;
    return theFactory.QueryInterface(iid, out);
}

HRESULT __stdcall DllCanUnloadNow() { return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE; }

// Refuses (SELFREG_E_CLASS) when the class is already registered, for the
// machine or for this user (whose registration Windows prefers), to another
// file: other software may own this class. A registration of ours whose DLL
// is gone (moved or deleted) is replaced; the user's is removed, since it
// would hide the machine's.
HRESULT __stdcall DllRegisterServer() {
    const Holder user = registeredHolder(HKEY_CURRENT_USER);
    if (user == Holder::another || registeredHolder(HKEY_LOCAL_MACHINE) == Holder::another) return SELFREG_E_CLASS;
    const std::wstring path = ownPath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring name = classKeyName();
    if (user == Holder::ourGone) RegDeleteTreeW(HKEY_CURRENT_USER, name.c_str());
    HKEY server = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (name + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                                     KEY_WRITE, nullptr, &server, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    // Apartment: the launcher's worker calls the engine it did not create,
    // directly; a free-threaded object would hand it a proxy it cannot use.
    const bool ok = setString(server, nullptr, path) && setString(server, L"ThreadingModel", L"Apartment");
    RegCloseKey(server);
    HKEY classKey = nullptr;
    if (ok && RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_WRITE, &classKey) == ERROR_SUCCESS) {
        setString(classKey, nullptr, kDescription);
        RegCloseKey(classKey);
    }
    if (!ok) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, name.c_str());
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

// Removes a registration that names this DLL, or one of ours whose DLL is
// gone, for the machine and for this user; another file's stays
// (SELFREG_E_CLASS). Nothing registered is not a failure.
HRESULT __stdcall DllUnregisterServer() {
    const std::wstring name = classKeyName();
    const Holder user = registeredHolder(HKEY_CURRENT_USER);
    if (user == Holder::us || user == Holder::ourGone) RegDeleteTreeW(HKEY_CURRENT_USER, name.c_str());
    switch (registeredHolder(HKEY_LOCAL_MACHINE)) {
        case Holder::nobody:
            return S_OK;
        case Holder::another:
            return SELFREG_E_CLASS;
        case Holder::us:
        case Holder::ourGone:
            break;
    }
    const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, name.c_str());
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // extern "C"
