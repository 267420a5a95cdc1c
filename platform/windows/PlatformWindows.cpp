// Windows implementation of the platform interface.

#include "support/Platform.h"
#include "platform/SystemPlatform.h"
#include "support/TemporaryNames.h"

#include "platform/windows/LocalZone.h"
#include "platform/windows/WinText.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include "platform/windows/WinHandles.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

// A reader (a web server sending the old image) may hold the target open for
// a moment; the replacement is tried again for about this long.
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplacePauseMs = 50;

using win::Handle;
using win::kEpochOffsetMs;

// Win32 would take a path only up to a NUL byte: a value such as
// "log.txt<NUL>.off" must not name log.txt.
bool checkPath(const std::string& path, std::wstring& wide, std::string& error) {
    if (win::fileSystemPath(path, wide)) return true;
    std::string shown;
    for (char c : path) shown += c == '\0' ? std::string("<NUL>") : std::string(1, c);
    error = "refused path " + shown + " (it holds a NUL byte)";
    return false;
}

// The folder part of a UTF-16 path, with its separator; empty for none.
std::wstring folderOf(const std::wstring& path) {
    const auto cut = path.find_last_of(L"\\:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

// Text in one case, as the file system compares names.
std::string foldCase(const std::string& text) {
    if (text.empty()) return text;
    std::wstring wide = win::widen(text);
    const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()),
                                wide.data(), static_cast<int>(wide.size()), nullptr, nullptr, 0);
    return n > 0 ? win::narrow(wide) : text;
}

bool writeAll(HANDLE h, std::string_view data, DWORD& err) {
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, data.data(), chunk, &written, nullptr)) {
            err = GetLastError();
            return false;
        }
        if (written == 0) {
            err = ERROR_WRITE_FAULT;
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

// A new file written beside its target and not yet moved over it; removed
// unless it was.
class WindowsStaged : public Platform::StagedFile {
public:
    static std::unique_ptr<WindowsStaged> write(const std::string& path, std::string_view data, std::string& error) {
        std::wstring target;
        if (!checkPath(path, target, error)) return nullptr;
        auto staged = std::unique_ptr<WindowsStaged>(new WindowsStaged(path, target));
        const std::wstring dir = folderOf(target);
        const std::wstring base = target.substr(dir.size());
        DWORD err = 0;
        for (int attempt = 0; attempt < 100 && !staged->file_.valid(); ++attempt) {
            // Longer than the target: it may need the long form where the target does not.
            staged->tmp_ = win::extendedPath(dir + win::widen(TemporaryNames::prefix(win::narrow(base)) +
                                                              TemporaryNames::randomSuffix()));
            staged->file_.reset(
                CreateFileW(staged->tmp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!staged->file_.valid()) {
                err = GetLastError();
                if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) break;
            }
        }
        if (!staged->file_.valid()) {
            error = win::describe("cannot create a temporary file in", dir.empty() ? "." : win::narrow(dir), err);
            staged->tmp_.clear();  // nothing was made
            return nullptr;
        }
        if (!writeAll(staged->file_.get(), data, err)) {
            error = win::describe("cannot write", path, err);
            return nullptr;
        }
        return staged;
    }

    ~WindowsStaged() override {
        file_.close();
        if (!placed_ && !tmp_.empty()) DeleteFileW(tmp_.c_str());
    }

    bool flush(std::string& error) override {
        if (file_.valid() && !FlushFileBuffers(file_.get())) {
            error = win::describe("cannot flush", path_, GetLastError());
            return false;
        }
        return true;
    }

    bool place(std::string& error) override {
        if (!file_.close()) {
            error = win::describe("cannot close", path_, GetLastError());
            return false;
        }
        DWORD err = 0;
        for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
            if (MoveFileExW(tmp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                placed_ = true;
                return true;
            }
            err = GetLastError();
            // A reader holding the old image: wait a moment and try again.
            if (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED && err != ERROR_LOCK_VIOLATION) break;
            Sleep(kReplacePauseMs);
        }
        error = win::describe("cannot replace", path_, err);
        return false;
    }

    // MOVEFILE_WRITE_THROUGH returns once the move is on the disk.
    void syncFolder() override {}

private:
    WindowsStaged(const std::string& path, const std::wstring& target) : path_(path), target_(target) {}

    std::string path_;
    std::wstring target_, tmp_;
    Handle file_;
    bool placed_ = false;
};

// A log file moved aside this many times while one writer waited for it
// is written as it is: the line is not held back for ever.
constexpr int kRotationAttempts = 8;

// Opens for appending, creating when missing, shared so that another
// writer may append and a rotation may rename it meanwhile.
Handle openForAppend(const std::wstring& wide, const std::string& path, std::string& error) {
    Handle h(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) error = win::describe("cannot open", path, GetLastError());
    return h;
}

// Writes data at the end of the file, then closes it.
bool appendTo(Handle& h, const std::string& path, std::string_view data, std::string& error) {
    LARGE_INTEGER zero{};
    if (GetFileType(h.get()) == FILE_TYPE_DISK && !SetFilePointerEx(h.get(), zero, nullptr, FILE_END)) {
        error = win::describe("cannot write", path, GetLastError());
        return false;
    }
    if (GetFileType(h.get()) == FILE_TYPE_PIPE) {
        // A pipe whose reader stalls would hold the service: never block
        // on the log; a line the pipe cannot take at once is lost.
        DWORD mode = PIPE_NOWAIT;
        SetNamedPipeHandleState(h.get(), &mode, nullptr, nullptr);
    }
    DWORD err = 0;
    bool ok = writeAll(h.get(), data, err);
    if (!ok) error = win::describe("cannot write", path, err);
    if (!h.close() && ok) {
        error = win::describe("cannot close", path, GetLastError());
        ok = false;
    }
    return ok;
}

std::string windowsName() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    auto fn = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (fn == nullptr || fn(&v) != 0) return "Windows";
    if (v.dwMajorVersion == 10) return v.dwBuildNumber >= 22000 ? "Windows 11" : "Windows 10";
    if (v.dwMajorVersion == 6 && v.dwMinorVersion == 3) return "Windows 8.1";
    if (v.dwMajorVersion == 6 && v.dwMinorVersion == 2) return "Windows 8";
    if (v.dwMajorVersion == 6 && v.dwMinorVersion == 1) return "Windows 7";
    return "Windows NT " + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion);
}

// ---- Quick exit and stop requests -----------------------------------------------

std::mutex quickExitMutex;
std::vector<void (*)()>& quickExitHandlers() {
    static auto* handlers = new std::vector<void (*)()>;
    return *handlers;
}

HANDLE stopEvent = nullptr;
std::atomic<bool> stopRequested{false};

BOOL WINAPI onConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            // The same clean stop as SIGTERM: after the pass in progress.
            if (!stopRequested.exchange(true) && stopEvent != nullptr) SetEvent(stopEvent);
            return TRUE;
        default:
            // Console closed, log-off or shut-down: Windows ends the process a
            // few seconds later whatever it does. End now; atomic replacement
            // keeps every image whole.
            TerminateProcess(GetCurrentProcess(), 0);
            return TRUE;
    }
}

HANDLE runtimeHeap() {
    const intptr_t heap = _get_heap_handle();
    return heap != 0 ? reinterpret_cast<HANDLE>(heap) : GetProcessHeap();
}

class WindowsPlatform final : public os::SystemServices {
public:
    int64_t nowMillis() override {
        FILETIME ft;
        GetSystemTimePreciseAsFileTime(&ft);
        const uint64_t ticks = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
        return static_cast<int64_t>(ticks / 10'000) - kEpochOffsetMs;
    }

    CalendarFields toLocal(int64_t millis) override { return win::localFields(millis); }

    int64_t fromLocal(const CalendarFields& fields) override { return win::instantOfLocal(fields); }

    bool osName(std::string& out) override {
        out = windowsName();
        return true;
    }

    bool fileSeparator(char& out) override {
        out = '\\';
        return true;
    }

    bool readFile(const std::string& path, std::string& out, std::string& error) override {
        // A whole read is a read in parts: one place for the refusals.
        return gatherFileParts(path, out, error);
    }

    bool readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error) override {
        std::wstring wide;
        if (!checkPath(path, wide, error)) return false;
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = "cannot read (not a regular file) " + path + " (is a folder)";
            return false;
        }
        Handle h(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.valid()) {
            error = win::describe("cannot open", path, GetLastError());
            return false;
        }
        // Devices (NUL, CON, COM1) and pipes could block or never end.
        if (GetFileType(h.get()) != FILE_TYPE_DISK) {
            error = "cannot read (not a regular file) " + path + " (a device or pipe)";
            return false;
        }
        LARGE_INTEGER seen{};
        if (!GetFileSizeEx(h.get(), &seen)) {
            error = win::describe("cannot read", path, GetLastError());
            return false;
        }
        DWORD err = 0;
        const auto readSome = [&](char* buf, size_t n) -> int64_t {
            DWORD got = 0;
            if (ReadFile(h.get(), buf, static_cast<DWORD>(n), &got, nullptr)) return got;
            err = GetLastError();
            return -1;
        };
        switch (readParts(seen.QuadPart, readSome, take, size)) {
            case PartsRead::done: return true;
            case PartsRead::failed: error = win::describe("cannot read", path, err); return false;
            case PartsRead::tooLarge: error = win::describe("cannot read", path, ERROR_FILE_TOO_LARGE); return false;
        }
        return false;
    }

    bool appendFile(const std::string& path, std::string_view data, std::string& error) override {
        std::wstring wide;
        if (!checkPath(path, wide, error)) return false;
        // Appending is a seek to the end then a write (Wine has no atomic
        // append): the lock keeps lines from two threads off each other.
        std::lock_guard lock(appendMutex_);
        Handle h = openForAppend(wide, path, error);
        return h.valid() && appendTo(h, path, data, error);
    }

    bool appendLogLine(const std::string& path, std::string_view line, const LogRotation& rotation,
                       std::string& error, std::string& rotationError) override {
        std::wstring wide;
        if (!checkPath(path, wide, error)) return false;
        std::lock_guard lock(appendMutex_);
        for (int attempt = 1;; ++attempt) {
            Handle h = openForAppend(wide, path, error);
            if (!h.valid()) return false;
            // A lock far past any end of file, so that it holds back no
            // reader or writer of the bytes: the log writers of every
            // process take turns for their seek to the end and write, and
            // for a rotation. Closing the file releases it.
            OVERLAPPED lockAt{};
            lockAt.OffsetHigh = 0x7FFFFFFF;
            if (attempt <= kRotationAttempts && GetFileType(h.get()) == FILE_TYPE_DISK &&
                LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) && rotation.maxBytes > 0) {
                BY_HANDLE_FILE_INFORMATION mine{}, named{};
                // Moved aside (or removed) while this writer waited: the name
                // is another file's now.
                Handle now(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
                if (!GetFileInformationByHandle(h.get(), &mine) || !now.valid() ||
                    !GetFileInformationByHandle(now.get(), &named) ||
                    mine.dwVolumeSerialNumber != named.dwVolumeSerialNumber ||
                    mine.nFileIndexHigh != named.nFileIndexHigh || mine.nFileIndexLow != named.nFileIndexLow)
                    continue;
                now.close();
                const uint64_t size = (uint64_t{mine.nFileSizeHigh} << 32) | mine.nFileSizeLow;
                if (size > 0 && size + line.size() > static_cast<uint64_t>(rotation.maxBytes)) {
                    // Renaming a file open elsewhere works where every opener
                    // shares deleting, as this program's writers and readers do.
                    if (shiftLogFiles(
                            path, rotation.keep,
                            [](const std::string& name) {
                                std::wstring w;
                                return win::fileSystemPath(name, w) &&
                                       GetFileAttributesW(w.c_str()) != INVALID_FILE_ATTRIBUTES;
                            },
                            [](const std::string& from, const std::string& to, std::string& why) {
                                std::wstring f, t;
                                if (!win::fileSystemPath(from, f) || !win::fileSystemPath(to, t)) {
                                    why = "cannot rename " + from + " (it holds a NUL byte)";
                                    return Move::failed;
                                }
                                if (MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_REPLACE_EXISTING)) return Move::done;
                                const DWORD code = GetLastError();
                                if (code == ERROR_FILE_NOT_FOUND) return Move::absent;
                                why = win::describe("cannot rename", from, code) + " to " + to;
                                return Move::failed;
                            },
                            rotationError))
                        continue;  // the line starts the new file
                }
            }
            return appendTo(h, path, line, error);
        }
    }

    std::unique_ptr<StagedFile> stageFile(const std::string& path, std::string_view data,
                                          std::string& error) override {
        return WindowsStaged::write(path, data, error);
    }

    FilePlace placeOf(const std::string& path) override {
        FilePlace place = placeByText(path, "\\/");
        std::wstring wide;
        std::string error;
        if (checkPath(path, wide, error)) {
            std::wstring folder = folderOf(wide);
            // Opened without a trailing separator, except a root's.
            if (folder.size() > 1 && folder.back() == L'\\' && folder[folder.size() - 2] != L':') folder.pop_back();
            if (folder.empty()) folder = L".";
            // The folder opened as itself (links followed): its volume and index
            // are the same whatever the spelling.
            Handle h(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            BY_HANDLE_FILE_INFORMATION info{};
            if (h.valid() && GetFileInformationByHandle(h.get(), &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                place.folder.device = info.dwVolumeSerialNumber;
                place.folder.object = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
                place.folderPath.clear();
            }
        }
        // Names that differ only in case name one file.
        place.folderPath = foldCase(place.folderPath);
        place.name = foldCase(place.name);
        return place;
    }

    std::vector<std::string> removeStaleTemporaries(const std::string& path, int64_t minAgeMillis) override {
        std::vector<std::string> removed;
        std::wstring wide;
        std::string error;
        if (!checkPath(path, wide, error)) return removed;
        const std::wstring dir = folderOf(wide);
        WIN32_FIND_DATAW found;
        const win::FindHandle search(FindFirstFileW(win::extendedPath(dir + L"*").c_str(), &found));
        if (!search.valid()) return removed;
        const int64_t now = nowMillis();
        do {
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
            const std::string name = win::narrow(found.cFileName);
            if (!TemporaryNames::isTemporary(name)) continue;
            const uint64_t ticks =
                (uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32) | found.ftLastWriteTime.dwLowDateTime;
            const int64_t modified = static_cast<int64_t>(ticks / 10'000) - kEpochOffsetMs;
            // A live write of another run is never that old.
            if (now - modified < minAgeMillis) continue;
            if (DeleteFileW(win::extendedPath(dir + found.cFileName).c_str())) removed.push_back(name);
        } while (FindNextFileW(search.get(), &found));
        return removed;
    }

    bool isReadableFile(const std::string& path) override {
        std::wstring wide;
        if (!win::fileSystemPath(path, wide)) return false;
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        Handle h(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return h.valid() && GetFileType(h.get()) == FILE_TYPE_DISK;
    }

    bool isMissingFile(const std::string& path) override {
        std::wstring wide;
        if (path.empty() || !win::fileSystemPath(path, wide)) return false;
        if (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    }

    void writeStdout(std::string_view text) override { writeConsole(STD_OUTPUT_HANDLE, text); }
    void writeStderr(std::string_view text) override { writeConsole(STD_ERROR_HANDLE, text); }

    void sleepMillis(int64_t ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int64_t ms,
                 const std::function<bool()>& ready) override {
        if (ms <= 0) return ready();
        return cv.wait_for(lock, std::chrono::milliseconds(ms), ready);
    }

    void setCurrentThreadLowestPriority() override { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST); }

    [[noreturn]] void exitProcess(int status) override {
        static std::atomic<bool> ending{false};
        if (ending.exchange(true)) throw ProcessEnding{};
        std::vector<void (*)()> handlers;
        {
            std::lock_guard lock(quickExitMutex);
            handlers = quickExitHandlers();
        }
        for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) (*it)();
        std::fflush(nullptr);
        // Static objects stay as they are under the worker threads' feet;
        // files are closed after every write, so nothing is lost.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
        std::abort();  // not reached
    }

    void watchStopRequests(std::function<void()> onStop) override {
        static std::once_flag once;
        std::call_once(once, [&] {
            stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (stopEvent == nullptr) return;
            std::thread([onStop = std::move(onStop)] {
                if (WaitForSingleObject(stopEvent, INFINITE) == WAIT_OBJECT_0) onStop();
            }).detach();
            SetConsoleCtrlHandler(onConsoleControl, TRUE);
        });
    }

    MemoryFigures memoryFigures() override {
        // The heap the C runtime's allocator draws from (msvcrt keeps one of
        // its own beside the process heap): every block counted, the free
        // ones apart.
        MemoryFigures f;
        HANDLE heap = runtimeHeap();
        if (!HeapLock(heap)) return f;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry)) {
            if (entry.wFlags & (PROCESS_HEAP_REGION | PROCESS_HEAP_UNCOMMITTED_RANGE)) continue;
            const int64_t bytes = int64_t{entry.cbData} + entry.cbOverhead;
            f.held += bytes;
            if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) f.freeWithin += entry.cbData;
        }
        HeapUnlock(heap);
        return f;
    }

    void reclaimMemory() override { HeapCompact(runtimeHeap(), 0); }

    double randomUnit() override {
        std::lock_guard<std::mutex> lock(randomMutex_);
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
    }

private:
    // A console gets wide characters (its code page may be anything); a file or
    // pipe gets UTF-8. Lines end in CR LF either way.
    void writeConsole(DWORD which, std::string_view text) {
        std::string withCr;
        withCr.reserve(text.size() + 16);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) withCr.push_back('\r');
            withCr.push_back(text[i]);
        }
        std::lock_guard<std::mutex> lock(consoleMutex_);
        HANDLE h = GetStdHandle(which);
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return;
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode)) {
            const std::wstring wide = win::widen(withCr);
            size_t done = 0;
            while (done < wide.size()) {
                DWORD written = 0;
                const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - done, 16384));
                if (!WriteConsoleW(h, wide.data() + done, chunk, &written, nullptr) || written == 0) break;
                done += written;
            }
            return;
        }
        DWORD err = 0;
        writeAll(h, withCr, err);  // a console nobody reads is skipped silently
    }

    std::mutex consoleMutex_;
    std::mutex appendMutex_;
    std::mutex randomMutex_;
    std::mt19937_64 engine_{std::random_device{}()};
};

}  // namespace

Platform& systemPlatform() {
    static WindowsPlatform p;
    return p;
}

namespace ProcessSetup {

void atEntry() {
    Platform::install(&systemPlatform());
    // No "program has stopped" or "insert a disk" dialog boxes for a service
    // that nobody watches: failures come back as error codes.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

void atQuickExit(void (*handler)()) {
    std::lock_guard lock(quickExitMutex);
    quickExitHandlers().push_back(handler);
}

}  // namespace ProcessSetup
