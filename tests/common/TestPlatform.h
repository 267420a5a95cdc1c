#pragma once
// A platform for tests: a settable clock, captured console output, files held
// in memory (others go to the real file system), chosen failures, and a
// process exit that throws instead of ending the test, and local time by a
// fixed rule (ScopedTimeZone).

#include "support/Platform.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

// The platform in force, the system's installed first when none is yet: a
// test's platform can be made before main runs (a global).
Platform& platformInForce();

// Thrown by TestPlatform::exitProcess on the thread that made the platform
// (the test's own). Any other thread gets ProcessEnding, as a late caller of
// the system's exit does, and unwinds to its end.
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
    bool readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error) override;
    bool appendFile(const std::string& path, std::string_view data, std::string& error) override;
    // In-memory files do not rotate.
    bool appendLogLine(const std::string& path, std::string_view line, const LogRotation& rotation, std::string& error,
                       std::string& rotationError) override;
    void writeStdout(std::string_view text) override;
    void writeStderr(std::string_view text) override;
    void sleepMillis(int64_t) override {}
    [[noreturn]] void exitProcess(int status) override { standInExit(status); }
    double randomUnit() override { return random; }

protected:
    [[noreturn]] void standInExit(int status) const;

private:
    // Appends to a file held in memory (or fails as asked); done false for a file on disk.
    bool appendInMemory(const std::string& path, std::string_view data, std::string& error, bool& done);

    std::mutex mutex_;
    std::map<std::string, std::string> files_;
    std::set<std::string> missing_;
    bool captureAll_ = false;
    std::string out_, err_;
    Platform* previous_;
    std::thread::id testThread_ = std::this_thread::get_id();
};

// Local time by a fixed rule, installed for the lifetime of the object over
// the platform in force: "UTC", or "Europe/Paris" (an hour ahead, two in
// summer: from the last Sunday of March to the last Sunday of October, both
// changes at 01:00 UTC, in every year). The system's own local time is
// checked by local_time_test, run in the zone its environment names.
class ScopedTimeZone : public PlatformWrapper {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone() override;
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    CalendarFields toLocal(int64_t millis) override;
    int64_t fromLocal(const CalendarFields& fields) override;

private:
    int64_t offsetAt(int64_t millis) const;

    bool summerTime_ = false;  // Europe/Paris; UTC otherwise
    Platform* previous_;
};

// A new empty folder under the system's temporary folder, named prefix and a
// random suffix; empty when none could be made.
std::string makeTempDir(const std::string& prefix);

// A test program started again by its own tests as a helper process (a
// writer in another process, say): given "--child=NAME" first, main runs the
// role registered under NAME (by a global ChildRole) with the arguments
// after it, and ends with what the role returns, instead of the tests.
struct ChildRole {
    using Run = int (*)(const std::vector<std::string>& args);
    ChildRole(const std::string& name, Run run);
};
// The command line that starts this test program as the role name.
std::vector<std::string> childCommand(const std::string& name, const std::vector<std::string>& args);
// For main: the role's exit status when the command line asks for a role.
std::optional<int> runChildRole(int argc, char** argv);

// The instant of a local date and time (in the current zone).
int64_t localMillis(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int millis = 0);
