#pragma once
// The operating-system services the application uses, behind one interface.
//
// One implementation per operating system (platform/posix, platform/windows)
// is installed at process entry; support/ only sees this interface. Tests
// install a fake (or a PlatformWrapper that overrides one call) with
// ScopedPlatform to move a fake clock or make chosen calls fail. Every method
// may be called from any thread.

#include "support/CivilCalendar.h"
#include "support/FontLookup.h"
#include "support/HttpGet.h"
#include "support/ProcessRunner.h"

#include <algorithm>
#include <compare>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Thrown by exitProcess on a thread that asks to end the process while
// another thread is already ending it: the late thread unwinds and ends, so
// that nobody waiting for it (a join in the teardown) is kept waiting.
struct ProcessEnding {};

// Identity of a file for as long as it exists, whatever its name: a file
// replaced whole (a new file renamed over the old one) has another. Both
// numbers are 0 when the platform cannot tell.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t object = 0;
    bool known() const { return device != 0 || object != 0; }
    auto operator<=>(const FileIdentity&) const = default;
};

// The file a path names, told apart from other files whatever the path's
// spelling ("out/x.png", "./out/x.png", a symlink to out/): the identity of
// the folder that holds it and the file's name there as the file system
// compares names (case-folded on Windows). A folder that cannot be opened
// (not made yet) is known by its path instead, normalised as text.
struct FilePlace {
    FileIdentity folder;
    std::string folderPath;  // only when the folder's identity is unknown
    std::string name;
    // The same folder, no file named.
    FilePlace folderOnly() const { return FilePlace{folder, folderPath, std::string()}; }
    auto operator<=>(const FilePlace&) const = default;
};

// How a log file is kept from growing for ever: moved aside once a line
// would take it past maxBytes (0: never), with the last keep files kept
// beside it as path.1 (the newest) to path.<keep>.
struct LogRotation {
    int64_t maxBytes = 0;
    int keep = 1;
};

// Memory figures of the process: bytes held from the system, and the part of
// it not in use.
struct MemoryFigures {
    int64_t held = 0;
    int64_t freeWithin = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Clock and local calendar (the process's local time zone).
    virtual int64_t nowMillis() = 0;
    virtual CalendarFields toLocal(int64_t millis) = 0;
    // Fields out of range carry into the next unit, as a calendar does.
    virtual int64_t fromLocal(const CalendarFields& fields) = 0;

    // Operating-system name and path separator; false when unknown.
    virtual bool osName(std::string& out) = 0;
    virtual bool fileSeparator(char& out) = 0;

    // Files. On failure the text describes why (with the path). readFile reads
    // regular files only, up to 512 MiB.
    virtual bool readFile(const std::string& path, std::string& out, std::string& error) = 0;
    // Opens for appending (creating when missing), writes data in one write, closes.
    virtual bool appendFile(const std::string& path, std::string_view data, std::string& error) = 0;
    // Appends one log line as appendFile does, safe with other processes
    // appending to the same file at the same time. With rotation.maxBytes > 0,
    // a regular file that holds bytes and would pass maxBytes with the line
    // is first moved aside, one writer at a time: path.1 to path.2 and so on
    // up to the first free name (path.<keep> is dropped when none is free),
    // then path to path.1, and the line starts a new file. A line is never
    // split and goes whole into one file. A rotation that cannot be done (a
    // name held open elsewhere, on Windows) stops before the move that
    // failed, so no file is lost, appends the line to the file as it is, and
    // says why in rotationError. The default appends with appendFile and
    // never rotates.
    virtual bool appendLogLine(const std::string& path, std::string_view line, const LogRotation& rotation,
                               std::string& error, std::string& rotationError);
    // A file's next content, written whole to a temporary file beside it but
    // not yet in its place: the steps of replacing a file whole and durably,
    // one call each, so that the files of a chart share one flush and a test
    // sees their order. Dropped unplaced, its temporary file goes.
    class StagedFile {
    public:
        virtual ~StagedFile() = default;
        // Makes the written bytes durable, so that a power cut after the
        // rename never leaves an empty or partial file under the target's name.
        virtual bool flush(std::string& error) = 0;
        // Renames it over the target: a reader finds the old file or the new
        // one, never part of either.
        virtual bool place(std::string& error) = 0;
        // Makes the rename itself durable (the folder's entry), where the
        // system allows; after place.
        virtual void syncFolder() = 0;
    };
    // Writes data to a new temporary file beside path; null, with why, when
    // it cannot, leaving nothing behind.
    virtual std::unique_ptr<StagedFile> stageFile(const std::string& path, std::string_view data,
                                                  std::string& error) = 0;
    // Makes durable the bytes of every file of staged, before any is placed.
    // The default flushes each; a system that can flush many files in one
    // call does so.
    virtual bool flushStaged(const std::vector<StagedFile*>& staged, std::string& error);
    // Replaces path whole and durably: stageFile, flushStaged, place,
    // syncFolder. On failure the target is untouched and no temporary file
    // stays behind.
    bool writeFileAtomic(const std::string& path, std::string_view data, std::string& error);
    // Which file path names (see FilePlace). The default knows no folder
    // identity: it compares the paths as text, normalised.
    virtual FilePlace placeOf(const std::string& path);
    virtual bool isReadableFile(const std::string& path) = 0;
    // True only when nothing at all is at path (no file, no folder of that
    // name, or no folder to hold it): a file that cannot be read is not
    // missing. The default knows no such case.
    virtual bool isMissingFile(const std::string& path);
    // Removes, in the folder of path, the temporary files writeFileAtomic
    // leaves (for any target) when a process dies mid-write (killed, power
    // cut) once they are older than minAgeMillis, and nothing else; returns
    // the names removed.
    virtual std::vector<std::string> removeStaleTemporaries(const std::string& path, int64_t minAgeMillis) = 0;
    // Files read as they stream in (data files, parsed part by part): the
    // bytes of the regular file at path, handed to take in order, at most
    // kReadPartBytes at a time, so that no more than a part is held. size
    // (the whole file's, from the same opened file) is set before the
    // first part. take returns false to stop the read there, which is no
    // failure. Fails as readFile does, with the same texts and the same
    // limit. The default reads the whole file through readFile.
    static constexpr size_t kReadPartBytes = 65536;
    using ReadPart = std::function<bool(std::string_view part)>;
    virtual bool readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error);

    // Console.
    virtual void writeStdout(std::string_view text) = 0;
    virtual void writeStderr(std::string_view text) = 0;

    // Threads and process.
    virtual void sleepMillis(int64_t ms) = 0;
    // Waits on cv, whose mutex lock holds, until ready() is true or ms
    // milliseconds have passed; returns ready(). Whoever makes ready() true
    // notifies cv, which ends the wait at once. ms <= 0 does not wait. The
    // platform measures the time, so a fake clock can end a long wait.
    virtual bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int64_t ms,
                         const std::function<bool()>& ready) = 0;
    virtual void setCurrentThreadLowestPriority() = 0;
    // Ends the process with status without running static destructors, after
    // the handlers registered with std::at_quick_exit. Only the first caller
    // ends it; a later caller gets ProcessEnding thrown.
    [[noreturn]] virtual void exitProcess(int status) = 0;
    // Calls onStop once, on a thread of its own, when the process is asked to
    // stop from outside (SIGTERM or SIGINT on POSIX). For the process entry;
    // later calls are ignored.
    virtual void watchStopRequests(std::function<void()> onStop) = 0;

    // Memory.
    virtual MemoryFigures memoryFigures() = 0;
    virtual void reclaimMemory() = 0;

    // Randomness for data-maker mode: uniform in [0, 1).
    virtual double randomUnit() = 0;

    // Programs, HTTP and fonts: see ProcessRunner.h, HttpGet.h, FontLookup.h.
    virtual ProcessRunResult runProgram(const std::vector<std::string>& args,
                                        const std::function<void(const std::string& line)>& onLine,
                                        const ProcessLimits& limits) = 0;
    virtual bool isUsableHttpUrl(const std::string& url) = 0;
    virtual HttpGetResult httpGet(const std::string& url, const std::optional<std::string>& authorization,
                                  const HttpGetLimits& limits) = 0;
    // The default sends no extra header and keeps no body: httpGet.
    virtual HttpGetResult httpFetch(const std::string& url, const HttpFetchRequest& request,
                                    const HttpGetLimits& limits);
    virtual bool lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out) = 0;
    virtual void releaseFontLookup() = 0;

    // The platform in force for the process: the system's own, installed at
    // process entry, or one a test installed. None installed ends the process.
    static Platform& current();
    // Installs p; returns the previous one.
    static Platform* install(Platform* p);

protected:
    // The most readFile and readFileParts read of a file: configuration and
    // data files are small, anything larger is refused rather than held.
    static constexpr int64_t kMaxReadBytes = int64_t{512} << 20;
    // The reading both systems' readFileParts share once the file is open
    // and sizeSeen known: parts to the end, even past sizeSeen (a writer may
    // be appending now), size raised to what was read. readSome fills up to
    // n bytes of buf and gives the count, 0 at the end, -1 on a failure
    // whose reason it keeps. A file past kMaxReadBytes, at the start or
    // while read, is tooLarge, and take never sees a byte past the limit.
    enum class PartsRead { done, failed, tooLarge };
    static PartsRead readParts(int64_t sizeSeen, const std::function<int64_t(char* buf, size_t n)>& readSome,
                               const ReadPart& take, int64_t& size);
    // The whole file through readFileParts: readFile for a platform that
    // reads in parts.
    bool gatherFileParts(const std::string& path, std::string& out, std::string& error);

    // What moving a file over another gave.
    enum class Move { done, absent, failed };
    // The moves of a log rotation (see appendLogLine), through the
    // platform's own calls: exists(name), and moveOver(from, to, error) that
    // replaces to. Stops at the first move that fails; false then, with why.
    static bool shiftLogFiles(const std::string& path, int keep, const std::function<bool(const std::string&)>& exists,
                              const std::function<Move(const std::string&, const std::string&, std::string&)>& moveOver,
                              std::string& error);
    // The place of path by its text alone: the folder (before the last of
    // separators; "." when none) without empty and "." steps, ".." taking
    // back the step before it, joined by the first of separators.
    static FilePlace placeByText(std::string_view path, std::string_view separators);
};

// Forwards every call to another platform, so a test overrides only what it needs.
class PlatformWrapper : public Platform {
public:
    explicit PlatformWrapper(Platform& target) : target_(target) {}
    int64_t nowMillis() override { return target_.nowMillis(); }
    CalendarFields toLocal(int64_t m) override { return target_.toLocal(m); }
    int64_t fromLocal(const CalendarFields& f) override { return target_.fromLocal(f); }
    bool osName(std::string& out) override { return target_.osName(out); }
    bool fileSeparator(char& out) override { return target_.fileSeparator(out); }
    bool readFile(const std::string& p, std::string& out, std::string& e) override {
        return target_.readFile(p, out, e);
    }
    bool appendFile(const std::string& p, std::string_view d, std::string& e) override {
        return target_.appendFile(p, d, e);
    }
    bool appendLogLine(const std::string& p, std::string_view line, const LogRotation& r, std::string& e,
                       std::string& re) override {
        return target_.appendLogLine(p, line, r, e, re);
    }
    std::unique_ptr<StagedFile> stageFile(const std::string& p, std::string_view d, std::string& e) override {
        return target_.stageFile(p, d, e);
    }
    bool flushStaged(const std::vector<StagedFile*>& staged, std::string& e) override {
        return target_.flushStaged(staged, e);
    }
    FilePlace placeOf(const std::string& p) override { return target_.placeOf(p); }
    bool isReadableFile(const std::string& p) override { return target_.isReadableFile(p); }
    bool isMissingFile(const std::string& p) override { return target_.isMissingFile(p); }
    std::vector<std::string> removeStaleTemporaries(const std::string& p, int64_t age) override {
        return target_.removeStaleTemporaries(p, age);
    }
    bool readFileParts(const std::string& p, const ReadPart& take, int64_t& size, std::string& e) override {
        return target_.readFileParts(p, take, size, e);
    }
    void writeStdout(std::string_view t) override { target_.writeStdout(t); }
    void writeStderr(std::string_view t) override { target_.writeStderr(t); }
    void sleepMillis(int64_t ms) override { target_.sleepMillis(ms); }
    bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int64_t ms,
                 const std::function<bool()>& ready) override {
        return target_.waitFor(cv, lock, ms, ready);
    }
    void setCurrentThreadLowestPriority() override { target_.setCurrentThreadLowestPriority(); }
    [[noreturn]] void exitProcess(int s) override {
        target_.exitProcess(s);
        std::abort();  // not reached: the target does not return either
    }
    void watchStopRequests(std::function<void()> onStop) override { target_.watchStopRequests(std::move(onStop)); }
    MemoryFigures memoryFigures() override { return target_.memoryFigures(); }
    void reclaimMemory() override { target_.reclaimMemory(); }
    double randomUnit() override { return target_.randomUnit(); }
    ProcessRunResult runProgram(const std::vector<std::string>& args,
                                const std::function<void(const std::string& line)>& onLine,
                                const ProcessLimits& limits) override {
        return target_.runProgram(args, onLine, limits);
    }
    bool isUsableHttpUrl(const std::string& url) override { return target_.isUsableHttpUrl(url); }
    HttpGetResult httpGet(const std::string& url, const std::optional<std::string>& authorization,
                          const HttpGetLimits& limits) override {
        return target_.httpGet(url, authorization, limits);
    }
    HttpGetResult httpFetch(const std::string& url, const HttpFetchRequest& request,
                            const HttpGetLimits& limits) override {
        return target_.httpFetch(url, request, limits);
    }
    bool lookupFontFace(const std::string& family, bool bold, bool italic, FontFaceSource& out) override {
        return target_.lookupFontFace(family, bold, italic, out);
    }
    void releaseFontLookup() override { target_.releaseFontLookup(); }

protected:
    Platform& target_;
};

// Installs a platform for the lifetime of the object (tests).
class ScopedPlatform {
public:
    explicit ScopedPlatform(Platform& p) : previous_(Platform::install(&p)) {}
    ~ScopedPlatform() { Platform::install(previous_); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    Platform* previous_;
};
