#pragma once
// A platform for tests: a settable clock, captured console output, files held
// in memory (others go to the real file system), chosen failures, and a
// process exit that throws instead of ending the test. Calendar work stays
// with the real platform, in the zone set by ScopedTimeZone.

#include "support/Platform.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

// Thrown by TestPlatform::exitProcess.
struct ProcessExit {
    int status;
};

class TestPlatform : public PlatformWrapper {
public:
    // Wraps the platform in force when created; installs itself until destroyed.
    TestPlatform();
    ~TestPlatform() override;

    std::atomic<int64_t> now{0};
    std::atomic<bool> failAppends{false};
    std::optional<std::string> osNameValue;  // unset: the osName call fails
    double random = 0.5;

    // Files served from memory for reads; appends to them are kept in memory too.
    void setFile(const std::string& path, std::string content);
    // Reads of path fail as for a missing file.
    void setMissing(const std::string& path);
    // Content appended to (or set for) an in-memory file; empty when none.
    std::string file(const std::string& path);
    // Keeps appends to every path in memory instead of on disk.
    void captureAllAppends() { captureAll_ = true; }

    std::string out();  // everything written to standard output so far
    std::string err();
    void clearOut();

    int64_t nowMillis() override { return now.load(); }
    bool osName(std::string& out) override;
    bool fileSeparator(char& out) override;
    bool readFile(const std::string& path, std::string& out, std::string& error) override;
    bool readFileParts(const std::string& path, int64_t offset, const ReadPart& take, FileIdentity& identity,
                       int64_t& size, std::string& error) override;
    bool appendFile(const std::string& path, std::string_view data, std::string& error) override;
    void writeStdout(std::string_view text) override;
    void writeStderr(std::string_view text) override;
    void sleepMillis(int64_t) override {}
    [[noreturn]] void exitProcess(int status) override { throw ProcessExit{status}; }
    double randomUnit() override { return random; }

private:
    std::mutex mutex_;
    std::map<std::string, std::string> files_;
    std::set<std::string> missing_;
    bool captureAll_ = false;
    std::string out_, err_;
    Platform* previous_;
};

// Sets the local time zone for the lifetime of the object, then restores the previous one.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

// A new empty folder under the system's temporary folder, named prefix and a
// random suffix; empty when none could be made.
std::string makeTempDir(const std::string& prefix);

// The instant of a local date and time (in the current zone).
int64_t localMillis(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millis = 0);
