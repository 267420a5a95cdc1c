// POSIX implementation of the platform interface.

#include "support/Mutex.h"
#include "support/Platform.h"
#include "platform/SystemPlatform.h"
#include "support/TemporaryNames.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/PosixSignals.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <random>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <thread>
#include <utility>
#include <vector>
#include <unistd.h>

namespace {


// The folder ("." when none is given) and the file name of path.
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string errnoText(const std::string& what, const std::string& path, int err) {
    return what + " " + path + " (" + std::strerror(err) + ")";
}

// The system would silently take a path only up to a NUL byte: a value such
// as "log.txt<NUL>.off" must not name log.txt.
bool checkPath(const std::string& path, std::string& error) {
    const size_t nul = path.find('\0');
    if (nul == std::string::npos) return true;
    std::string shown;
    for (char c : path) shown += c == '\0' ? std::string("<NUL>") : std::string(1, c);
    error = "refused path " + shown + " (it holds a NUL byte)";
    return false;
}

// Writes all of data, retrying short writes and interrupted calls.
bool writeAll(int fd, std::string_view data, int& err) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// A new file written whole beside its target, closed, and not yet renamed
// over it. Everything goes through the folder's descriptor: a folder moved
// or replaced meanwhile still gets the file and loses the temporary one,
// instead of keeping it for good. Only the folder stays open, so that a
// pass can stage many files at once.
class PosixStaged : public Platform::StagedFile {
public:
    static std::unique_ptr<PosixStaged> write(const std::string& path, std::string_view data, std::string& error) {
        if (!checkPath(path, error)) return nullptr;
        auto staged = std::unique_ptr<PosixStaged>(new PosixStaged(path));
        const std::string dir = splitPath(path).first;
        staged->folder_ = Descriptor(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st{};
        if (!staged->folder_.open() || ::fstat(staged->folder_.get(), &st) != 0) {
            error = errnoText("cannot create a temporary file in", dir, errno);
            return nullptr;
        }
        staged->device_ = st.st_dev;
        const int dirFd = staged->folder_.get();
        Descriptor file;
        for (int attempt = 0; attempt < 100 && !file.open(); ++attempt) {
            staged->tmp_ = TemporaryNames::prefix(staged->base_) + TemporaryNames::randomSuffix();
            file = Descriptor(::openat(dirFd, staged->tmp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (!file.open() && errno != EEXIST) break;
        }
        if (!file.open()) {
            error = errnoText("cannot create a temporary file in", dir, errno);
            staged->tmp_.clear();  // nothing was made
            return nullptr;
        }
        int err = 0;
        if (!writeAll(file.get(), data, err)) {
            error = errnoText("cannot write", path, err);
            return nullptr;
        }
        if (fchmod(file.get(), 0644) != 0) {
            // Not fatal: the file keeps the temporary file's mode.
        }
        if (!file.close()) {
            error = errnoText("cannot close", path, errno);
            return nullptr;
        }
        return staged;
    }

    ~PosixStaged() override {
        if (!placed_ && !tmp_.empty()) ::unlinkat(folder_.get(), tmp_.c_str(), 0);
    }

    dev_t device() const { return device_; }

    bool flush(std::string& error) override {
        // Any descriptor of the file flushes its data, read-only included.
        const Descriptor file(::openat(folder_.get(), tmp_.c_str(), O_RDONLY | O_CLOEXEC));
        if (!file.open() || ::fdatasync(file.get()) != 0) {
            error = errnoText("cannot flush", path_, errno);
            return false;
        }
        return true;
    }

    // Every file of the file system this one is on, this one's included.
    bool flushFileSystem(std::string& error) {
        if (::syncfs(folder_.get()) != 0) {
            error = errnoText("cannot flush", path_, errno);
            return false;
        }
        return true;
    }

    bool place(std::string& error) override {
        if (::renameat(folder_.get(), tmp_.c_str(), folder_.get(), base_.c_str()) != 0) {
            error = errnoText("cannot replace", path_, errno);
            return false;
        }
        placed_ = true;
        return true;
    }

    void syncFolder() override {
        // A folder that cannot be synced (some network file systems refuse)
        // still has the file; only the rename's durability is the system's.
        if (placed_) ::fsync(folder_.get());
    }

private:
    explicit PosixStaged(const std::string& path) : path_(path), base_(splitPath(path).second) {}

    std::string path_, base_, tmp_;
    Descriptor folder_;
    dev_t device_ = 0;
    bool placed_ = false;
};

// A log file moved aside this many times while one writer waited for it
// is written as it is: the line is not held back for ever.
constexpr int kRotationAttempts = 8;

// Opens for appending, creating when missing. Without blocking: a FIFO with
// no reader must not hold the service (nor its stop) for ever. A FIFO or
// socket stays non-blocking, so a stalled reader costs the line instead of
// the service; files, terminals and devices block as usual.
Descriptor openForAppend(const std::string& path, std::string& error) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    const int fd = file.get();
    if (fd < 0) {
        error = errnoText("cannot open", path, errno);
        return file;
    }
    struct stat st{};
    if (fstat(fd, &st) == 0 && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return file;
}

// Writes data in one write (O_APPEND makes each whole line land after the
// others), then closes the file.
bool appendTo(Descriptor& file, const std::string& path, std::string_view data, std::string& error) {
    int err = 0;
    bool ok = false;
    ssize_t n = ::write(file.get(), data.data(), data.size());
    if (n == static_cast<ssize_t>(data.size())) {
        ok = true;
    } else if (n >= 0) {
        ok = writeAll(file.get(), data.substr(static_cast<size_t>(n)), err);
        if (!ok) error = errnoText("cannot write", path, err);
    } else {
        error = errnoText("cannot write", path, errno);
    }
    if (!file.close() && ok) {
        error = errnoText("cannot close", path, errno);
        ok = false;
    }
    return ok;
}

// An exclusive lock on the whole file, held until it is closed; false where
// the file system has none.
bool lockFile(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Write end of the pipe that turns SIGTERM and SIGINT into a byte to read.
std::atomic<int> stopPipeWrite{-1};

void onStopSignal(int) {
    // Only async-signal-safe calls here: a thread reading the pipe does the rest.
    const int saved = errno;
    const int fd = stopPipeWrite.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

class PosixPlatform final : public os::SystemServices {
public:
    PosixPlatform() {
        // Every chart takes and gives back about a megabyte (image, pixels,
        // encoder buffers). Kept in the heap during a pass, it is used again
        // without the page faults of fresh memory each time; reclaimMemory
        // hands it back to the system after the pass.
        mallopt(M_MMAP_THRESHOLD, 16 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
    }

    int64_t nowMillis() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }

    CalendarFields toLocal(int64_t millis) override {
        int64_t secs = millis / 1000;
        int ms = static_cast<int>(millis % 1000);
        if (ms < 0) {
            ms += 1000;
            secs -= 1;
        }
        time_t t = static_cast<time_t>(secs);
        struct tm tmv{};
        localtime_r(&t, &tmv);
        CalendarFields f;
        f.year = tmv.tm_year + 1900;
        f.month = tmv.tm_mon + 1;
        f.day = tmv.tm_mday;
        f.hour = tmv.tm_hour;
        f.minute = tmv.tm_min;
        f.second = tmv.tm_sec;
        f.millisecond = ms;
        f.weekday = tmv.tm_wday;
        return f;
    }

    int64_t fromLocal(const CalendarFields& f) override {
        struct tm fields{};
        fields.tm_year = f.year - 1900;
        fields.tm_mon = f.month - 1;
        fields.tm_mday = f.day;
        fields.tm_hour = f.hour;
        fields.tm_min = f.minute;
        fields.tm_sec = f.second;
        // Out-of-range fields carried as a calendar does (day 32 of January
        // is 1 February), on a clock without zone.
        const time_t naiveSeconds = timegm(&fields);
        // The instant is the wall reading less the offset then in force. The
        // offsets a day either side and at the reading itself cover any clock
        // change near it; a reading that maps back to itself is valid. (mktime
        // is not used: asked for a summer reading in a zone or season without
        // one, it searches months of offsets, which data files pay per day.)
        auto offsetAt = [](time_t s) -> long {
            struct tm local{};
            return localtime_r(&s, &local) != nullptr ? local.tm_gmtoff : 0;
        };
        const long before = offsetAt(naiveSeconds - 86400);
        const long offsets[] = {before, offsetAt(naiveSeconds), offsetAt(naiveSeconds + 86400)};
        if (offsets[1] == before && offsets[2] == before) {
            // No change within a day either side (nearly every call): the one
            // candidate, checked once rather than three times.
            const time_t candidate = naiveSeconds - before;
            if (offsetAt(candidate) == before) return static_cast<int64_t>(candidate) * 1000 + f.millisecond;
        }
        bool found = false;
        time_t t = naiveSeconds - before;
        for (long offset : offsets) {
            const time_t candidate = naiveSeconds - offset;
            if (offsetAt(candidate) != offset) continue;
            // A repeated hour reads as its first occurrence.
            if (!found || candidate < t) t = candidate;
            found = true;
        }
        // A skipped hour reads with the offset before the change (02:30 becomes 03:30).
        return static_cast<int64_t>(t) * 1000 + f.millisecond;
    }

    bool osName(std::string& out) override {
        struct utsname u{};
        if (uname(&u) != 0) return false;
        out = u.sysname;
        return true;
    }

    bool fileSeparator(char& out) override {
        out = '/';
        return true;
    }

    bool readFile(const std::string& path, std::string& out, std::string& error) override {
        // A whole read is a read in parts: one place for the refusals.
        return gatherFileParts(path, out, error);
    }

    bool readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error) override {
        if (!checkPath(path, error)) return false;
        // Non-blocking so that opening a FIFO cannot hang; regular files ignore it.
        const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (fd.get() < 0) {
            error = errnoText("cannot open", path, errno);
            return false;
        }
        struct stat st{};
        if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            // Devices, pipes and folders could block or never end (/dev/zero).
            error = errnoText("cannot read (not a regular file)", path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
            return false;
        }
        int err = 0;
        const auto readSome = [&](char* buf, size_t n) -> int64_t {
            for (;;) {
                const ssize_t got = ::read(fd.get(), buf, n);
                if (got >= 0) return got;
                if (errno != EINTR) {
                    err = errno;
                    return -1;
                }
            }
        };
        switch (readParts(st.st_size, readSome, take, size)) {
            case PartsRead::done: return true;
            case PartsRead::failed: error = errnoText("cannot read", path, err); return false;
            case PartsRead::tooLarge: error = errnoText("cannot read", path, EFBIG); return false;
        }
        return false;
    }

    bool appendFile(const std::string& path, std::string_view data, std::string& error) override {
        if (!checkPath(path, error)) return false;
        Descriptor file = openForAppend(path, error);
        return file.get() >= 0 && appendTo(file, path, data, error);
    }

    bool appendLogLine(const std::string& path, std::string_view line, const LogRotation& rotation,
                       std::string& error, std::string& rotationError) override {
        // O_APPEND alone keeps each line whole, whoever else writes.
        if (rotation.maxBytes <= 0) return appendFile(path, line, error);
        if (!checkPath(path, error)) return false;
        // Moves the full log aside; true when the line must start a new file.
        const auto rotateIfFull = [&](int fd) {
            struct stat mine{};
            if (fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode) || mine.st_size <= 0 ||
                static_cast<uint64_t>(mine.st_size) + line.size() <= static_cast<uint64_t>(rotation.maxBytes))
                return false;
            return shiftLogFiles(
                path, rotation.keep,
                [](const std::string& name) {
                    struct stat st{};
                    return ::lstat(name.c_str(), &st) == 0;
                },
                [](const std::string& from, const std::string& to, std::string& why) {
                    if (::rename(from.c_str(), to.c_str()) == 0) return Move::done;
                    if (errno == ENOENT) return Move::absent;
                    why = errnoText("cannot rename", from, errno) + " to " + to;
                    return Move::failed;
                },
                rotationError);
        };
        // Writers that rotate, threads or processes, take turns on a lock of
        // the log's folder, which no rename moves; writers that do not rotate
        // need none, their line lands whole in this file or the next.
        const Descriptor folder(::open(splitPath(path).first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() >= 0 && lockFile(folder.get())) {
            Descriptor file = openForAppend(path, error);
            if (file.get() < 0) return false;
            if (rotateIfFull(file.get())) {
                file = openForAppend(path, error);
                if (file.get() < 0) return false;
            }
            return appendTo(file, path, line, error);
        }
        // A folder that cannot be locked (unreadable, or a file system with
        // no locks): turns on the file itself, which a rotation moves away
        // from the writers waiting on it, so they try again a few times.
        for (int attempt = 1;; ++attempt) {
            Descriptor file = openForAppend(path, error);
            if (file.get() < 0) return false;
            struct stat mine{};
            if (attempt <= kRotationAttempts && fstat(file.get(), &mine) == 0 && S_ISREG(mine.st_mode) &&
                lockFile(file.get())) {
                struct stat named{};
                fstat(file.get(), &mine);
                // Moved aside (or removed) while this writer waited: the name
                // is another file's now.
                if (::stat(path.c_str(), &named) != 0 || named.st_dev != mine.st_dev || named.st_ino != mine.st_ino)
                    continue;
                if (rotateIfFull(file.get())) continue;  // the line starts the new file
            }
            return appendTo(file, path, line, error);
        }
    }

    std::unique_ptr<StagedFile> stageFile(const std::string& path, std::string_view data,
                                          std::string& error) override {
        return PosixStaged::write(path, data, error);
    }

    bool flushStaged(const std::vector<StagedFile*>& staged, std::string& error) override {
        // One file: its own data. Several: one sync of each file system they
        // are on, which writes them all back at once, instead of a journal
        // commit and a disk-cache flush for each.
        if (staged.size() < 2) return Platform::flushStaged(staged, error);
        std::vector<dev_t> synced;
        for (StagedFile* file : staged) {
            auto* own = dynamic_cast<PosixStaged*>(file);
            if (own == nullptr) {
                if (!file->flush(error)) return false;
                continue;
            }
            if (std::find(synced.begin(), synced.end(), own->device()) != synced.end()) continue;
            if (!own->flushFileSystem(error)) return false;
            synced.push_back(own->device());
        }
        return true;
    }

    FilePlace placeOf(const std::string& path) override {
        FilePlace place = placeByText(path, "/");
        // The folder as the system finds it, symlinks followed: any spelling
        // of it leads to the same device and inode.
        struct stat st{};
        if (path.find('\0') == std::string::npos && ::stat(splitPath(path).first.c_str(), &st) == 0 &&
            S_ISDIR(st.st_mode)) {
            place.folder = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
            place.folderPath.clear();
        }
        return place;
    }

    std::vector<std::string> removeStaleTemporaries(const std::string& path, int64_t minAgeMillis) override {
        std::vector<std::string> removed;
        std::string error;
        if (!checkPath(path, error)) return removed;
        const std::string dir = splitPath(path).first;
        Descriptor folderFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folderFd.open()) return removed;
        const int dirFd = folderFd.get();
        DIR* folder = ::fdopendir(dirFd);
        if (folder == nullptr) return removed;
        folderFd.release();  // closedir closes it
        const int64_t now = nowMillis();
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            if (!TemporaryNames::isTemporary(name)) continue;
            struct stat st{};
            if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
            const int64_t modified = int64_t{st.st_mtim.tv_sec} * 1000 + st.st_mtim.tv_nsec / 1000000;
            // A live write of another run is never that old.
            if (now - modified < minAgeMillis) continue;
            if (::unlinkat(dirFd, entry->d_name, 0) == 0) removed.emplace_back(name);
        }
        ::closedir(folder);
        return removed;
    }

    bool isReadableFile(const std::string& path) override {
        if (path.find('\0') != std::string::npos) return false;
        struct stat st{};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), R_OK) == 0;
    }

    bool isMissingFile(const std::string& path) override {
        if (path.empty() || path.find('\0') != std::string::npos) return false;
        struct stat st{};
        return ::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
    }

    void writeStdout(std::string_view text) override {
        MutexLock lock(consoleMutex_);
        int err = 0;
        writeAll(STDOUT_FILENO, text, err);
    }

    void writeStderr(std::string_view text) override {
        MutexLock lock(consoleMutex_);
        int err = 0;
        writeAll(STDERR_FILENO, text, err);
    }

    void sleepMillis(int64_t ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int64_t ms,
                 const std::function<bool()>& ready) override {
        if (ms <= 0) return ready();
        // The steady clock: a change of the wall clock neither shortens nor stretches a pause.
        return cv.wait_for(lock, std::chrono::milliseconds(ms), ready);
    }

    void setCurrentThreadLowestPriority() override {
        // On Linux nice values are per thread; 19 is the lowest priority.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    }

    [[noreturn]] void exitProcess(int status) override {
        // std::exit would destroy static objects under the feet of the worker
        // threads that are still running; the handlers registered for a quick
        // exit stop what must be stopped first. Files are closed after every
        // write and the console is unbuffered, so nothing is lost.
        static std::atomic<bool> ending{false};
        if (ending.exchange(true)) throw ProcessEnding{};
        std::fflush(nullptr);
        std::quick_exit(status);
    }

    void watchStopRequests(std::function<void()> onStop) override {
        static std::once_flag once;
        std::call_once(once, [&] {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0) return;
            stopPipeWrite = fds[1];
            // The stop signals reach this watcher only: blocked here, they stay
            // blocked in every thread started from now on. A runtime that defers
            // a handler until its thread next enters the library (a sanitizer)
            // could otherwise hold a signal that landed on a worker busy drawing,
            // or on a thread waiting in a call it does not see, for ever.
            sigset_t stops;
            sigemptyset(&stops);
            sigaddset(&stops, SIGTERM);
            sigaddset(&stops, SIGINT);
            pthread_sigmask(SIG_BLOCK, &stops, nullptr);
            std::thread([readFd = fds[0], stops, onStop = std::move(onStop)] {
                pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
                // Waits in poll, not in read: a signal that lands on this
                // thread while it waits then always runs its handler (which
                // writes the byte) at once, even under a runtime that defers
                // handlers outside blocking calls and restarts the read.
                pollfd waiting{readFd, POLLIN, 0};
                char byte = 0;
                ssize_t n = -1;
                for (;;) {
                    if (::poll(&waiting, 1, -1) < 0) {
                        if (errno == EINTR) continue;
                        break;
                    }
                    n = ::read(readFd, &byte, 1);
                    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                    break;
                }
                if (n == 1) onStop();
            }).detach();
            struct sigaction action{};
            action.sa_handler = onStopSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            sigaction(SIGTERM, &action, nullptr);
            sigaction(SIGINT, &action, nullptr);
        });
    }

    MemoryFigures memoryFigures() override {
        // The allocator's own view: bytes obtained from the system (arena plus
        // mapped blocks) and the free bytes it holds within them.
        struct mallinfo2 mi = mallinfo2();
        MemoryFigures f;
        f.held = static_cast<int64_t>(mi.arena + mi.hblkhd);
        f.freeWithin = static_cast<int64_t>(mi.fordblks);
        return f;
    }

    void reclaimMemory() override { malloc_trim(0); }

    double randomUnit() override {
        MutexLock lock(randomMutex_);
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
    }

private:
    // The temporary file beside path, written whole and closed, then renamed
    // over path; removed when that fails.
    Mutex consoleMutex_;  // one line at a time on the console
    Mutex randomMutex_;
    std::mt19937_64 engine_ ZK_GUARDED_BY(randomMutex_){std::random_device{}()};
};

}  // namespace

Platform& systemPlatform() {
    static PosixPlatform p;
    return p;
}

namespace ProcessSetup {

void atEntry() {
    Platform::install(&systemPlatform());
    // Without TZ the C library looks at /etc/localtime again on every local
    // time conversion; naming it once keeps each conversion cheap. An
    // explicit TZ is left as it is.
    setenv("TZ", ":/etc/localtime", 0);
    tzset();
    // A console reader that goes away (zkQuoteForge | tee, a restarted log
    // pipe) or a file-size limit must fail a write, not kill the service:
    // the console then goes unwritten and the image write is reported.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

void atQuickExit(void (*handler)()) { std::at_quick_exit(handler); }

}  // namespace ProcessSetup
