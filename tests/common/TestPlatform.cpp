#include "tests/common/TestPlatform.h"

#include "platform/SystemPlatform.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string_view>

Platform& platformInForce() {
    static const bool installed = [] {
        Platform* before = Platform::install(nullptr);
        Platform::install(before != nullptr ? before : &systemPlatform());
        return true;
    }();
    (void)installed;
    return Platform::current();
}

TestPlatform::TestPlatform() : PlatformWrapper(platformInForce()), previous_(Platform::install(this)) {}

TestPlatform::~TestPlatform() { Platform::install(previous_); }

void TestPlatform::standInExit(int status) const {
    if (std::this_thread::get_id() == testThread_) throw ProcessExit{status};
    throw ProcessEnding{};
}

void TestPlatform::setFile(const std::string& path, std::string content) {
    std::lock_guard<std::mutex> lock(mutex_);
    missing_.erase(path);
    files_[path] = std::move(content);
}

void TestPlatform::setMissing(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(path);
    missing_.insert(path);
}

std::string TestPlatform::file(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(path);
    return it == files_.end() ? std::string() : it->second;
}

std::string TestPlatform::out() {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
}

std::string TestPlatform::err() {
    std::lock_guard<std::mutex> lock(mutex_);
    return err_;
}

void TestPlatform::clearOut() {
    std::lock_guard<std::mutex> lock(mutex_);
    out_.clear();
    err_.clear();
}

bool TestPlatform::osName(std::string& out) {
    if (!osNameValue) return false;
    out = *osNameValue;
    return true;
}

bool TestPlatform::fileSeparator(char& out) {
    out = '/';
    return true;
}

bool TestPlatform::readFile(const std::string& path, std::string& out, std::string& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files_.find(path);
        if (it != files_.end()) {
            out = it->second;
            return true;
        }
        if (missing_.count(path)) {
            error = "cannot open " + path + " (No such file or directory)";
            return false;
        }
    }
    return PlatformWrapper::readFile(path, out, error);
}

bool TestPlatform::readFileParts(const std::string& path, const ReadPart& take, int64_t& size, std::string& error) {
    bool inMemory = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inMemory = files_.count(path) != 0 || missing_.count(path) != 0;
    }
    // Files held in memory are read whole, through readFile.
    if (inMemory) return Platform::readFileParts(path, take, size, error);
    return PlatformWrapper::readFileParts(path, take, size, error);
}

bool TestPlatform::appendInMemory(const std::string& path, std::string_view data, std::string& error, bool& done) {
    done = true;
    if (failAppends) {
        error = "cannot open " + path + " (Permission denied)";
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(path);
    if (captureAll_ || it != files_.end()) {
        files_[path] += data;
        return true;
    }
    done = false;
    return false;
}

bool TestPlatform::appendFile(const std::string& path, std::string_view data, std::string& error) {
    bool done = false;
    const bool ok = appendInMemory(path, data, error, done);
    return done ? ok : PlatformWrapper::appendFile(path, data, error);
}

bool TestPlatform::appendLogLine(const std::string& path, std::string_view line, const LogRotation& rotation,
                                 std::string& error, std::string& rotationError) {
    bool done = false;
    const bool ok = appendInMemory(path, line, error, done);
    return done ? ok : PlatformWrapper::appendLogLine(path, line, rotation, error, rotationError);
}

void TestPlatform::writeStdout(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    out_ += text;
}

void TestPlatform::writeStderr(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    err_ += text;
}

namespace {

constexpr int64_t kHourMs = 3'600'000;

// The instant of 01:00 UTC on the last Sunday of month.
int64_t lastSundayOneAm(int64_t year, int month) {
    const int64_t lastDay = civil::daysFromCivil(year, month + 1, 1) - 1;
    return (lastDay - civil::weekdayOfDays(lastDay)) * civil::kDayMillis + kHourMs;
}

}  // namespace

ScopedTimeZone::ScopedTimeZone(const char* zone)
    : PlatformWrapper(platformInForce()), summerTime_(std::string_view(zone) == "Europe/Paris") {
    if (!summerTime_ && std::string_view(zone) != "UTC")
        throw std::invalid_argument(std::string("no fixed rule for the zone ") + zone);
    previous_ = Platform::install(this);
}

ScopedTimeZone::~ScopedTimeZone() { Platform::install(previous_); }

int64_t ScopedTimeZone::offsetAt(int64_t millis) const {
    if (!summerTime_) return 0;
    const int64_t year = civil::civilFromDays(civil::floorDiv(millis, civil::kDayMillis)).year;
    const bool summer = millis >= lastSundayOneAm(year, 3) && millis < lastSundayOneAm(year, 10);
    return summer ? 2 * kHourMs : kHourMs;
}

CalendarFields ScopedTimeZone::toLocal(int64_t millis) { return civil::fieldsOfWallMillis(millis + offsetAt(millis)); }

int64_t ScopedTimeZone::fromLocal(const CalendarFields& fields) {
    const int64_t wall = civil::wallMillisOfFields(fields);
    if (!summerTime_) return wall;
    // As the system's: a repeated hour reads as its first occurrence, a
    // skipped one with the winter offset (02:30 becomes 03:30).
    const int64_t summer = wall - 2 * kHourMs;
    const int64_t winter = wall - kHourMs;
    return offsetAt(summer) == 2 * kHourMs ? summer : winter;
}

std::string makeTempDir(const std::string& prefix) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto dir = base / (prefix + std::to_string(random() % 1000000000));
        std::error_code ec;
        if (std::filesystem::create_directory(dir, ec)) return dir.string();
    }
    return {};
}

namespace {

std::map<std::string, ChildRole::Run>& childRoles() {
    static std::map<std::string, ChildRole::Run> roles;
    return roles;
}

std::string& testProgram() {
    static std::string path;
    return path;
}

}  // namespace

ChildRole::ChildRole(const std::string& name, Run run) { childRoles()[name] = run; }

std::vector<std::string> childCommand(const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> command{testProgram(), "--child=" + name};
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

std::optional<int> runChildRole(int argc, char** argv) {
    if (argc > 0) testProgram() = argv[0];
    const std::string flag = "--child=";
    if (argc < 2 || std::string(argv[1]).rfind(flag, 0) != 0) return std::nullopt;
    auto it = childRoles().find(std::string(argv[1]).substr(flag.size()));
    if (it == childRoles().end()) return 2;
    return it->second(std::vector<std::string>(argv + 2, argv + argc));
}

int64_t localMillis(int year, int month, int day, int hour, int minute, int second, int millis) {
    CalendarFields f;
    f.year = year;
    f.month = month;
    f.day = day;
    f.hour = hour;
    f.minute = minute;
    f.second = second;
    f.millisecond = millis;
    return Platform::current().fromLocal(f);
}
