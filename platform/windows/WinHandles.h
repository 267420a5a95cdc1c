#pragma once
// One owning holder for Windows handles, whatever their kind: every way out
// of a function closes what it opened. Each kind's traits say which values
// are empty (kernel objects come back as INVALID_HANDLE_VALUE from some calls
// and as null from others; a search is INVALID_HANDLE_VALUE) and how it is
// closed. Included after <windows.h>, which stays out of headers.

#include <utility>

namespace win {

template <class Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() = default;
    explicit UniqueHandle(Value v) : v_(v) {}
    ~UniqueHandle() { close(); }
    UniqueHandle(UniqueHandle&& other) noexcept : v_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Value get() const { return v_; }
    bool valid() const { return !Traits::isEmpty(v_); }
    // For a call that hands the handle back through a pointer.
    Value* put() {
        close();
        return &v_;
    }
    Value release() { return std::exchange(v_, Traits::empty()); }
    void reset(Value v) {
        close();
        v_ = v;
    }
    // Closes it now; false when closing failed (a write not yet on disk).
    bool close() {
        if (!valid()) {
            v_ = Traits::empty();
            return true;
        }
        return Traits::close(release());
    }

private:
    Value v_ = Traits::empty();
};

// Files, pipes, processes, threads, jobs.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value empty() { return nullptr; }
    static bool isEmpty(Value v) { return v == nullptr || v == INVALID_HANDLE_VALUE; }
    static bool close(Value v) { return CloseHandle(v) != 0; }
};
using Handle = UniqueHandle<KernelHandleTraits>;

// A FindFirstFileW search.
struct FindHandleTraits {
    using Value = HANDLE;
    static Value empty() { return INVALID_HANDLE_VALUE; }
    static bool isEmpty(Value v) { return v == INVALID_HANDLE_VALUE; }
    static bool close(Value v) { return FindClose(v) != 0; }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// A memory device context (CreateCompatibleDC).
struct DeviceContextTraits {
    using Value = HDC;
    static Value empty() { return nullptr; }
    static bool isEmpty(Value v) { return v == nullptr; }
    static bool close(Value v) { return DeleteDC(v) != 0; }
};
using DeviceContext = UniqueHandle<DeviceContextTraits>;

// A GDI object: font, pen, brush, bitmap.
template <class Object>
struct GdiObjectTraits {
    using Value = Object;
    static Value empty() { return nullptr; }
    static bool isEmpty(Value v) { return v == nullptr; }
    static bool close(Value v) { return DeleteObject(v) != 0; }
};
using Font = UniqueHandle<GdiObjectTraits<HFONT>>;

}  // namespace win
