#pragma once
// What zkQuoteForgeService.exe tells the Service Control Manager, kept apart
// from the Win32 calls so that tests can drive it control by control. No
// <windows.h> here: the numbers are the SCM's own, checked against the SDK in
// ServiceControl.cpp.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace winservice {

// SERVICE_STATUS's fields as the SCM reads them.
struct Status {
    uint32_t state = 0;
    uint32_t controlsAccepted = 0;
    uint32_t exitCode = 0;
    uint32_t specificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

enum State : uint32_t { kStopped = 1, kStartPending = 2, kStopPending = 3, kRunning = 4 };
enum Control : uint32_t { kStop = 1, kInterrogate = 4, kShutdown = 5, kPreshutdown = 15 };
enum Accept : uint32_t { kAcceptStop = 1, kAcceptShutdown = 4, kAcceptPreshutdown = 0x100 };
constexpr uint32_t kNoError = 0;
constexpr uint32_t kCallNotImplemented = 120;  // ERROR_CALL_NOT_IMPLEMENTED
constexpr uint32_t kServiceSpecificError = 1066;  // ERROR_SERVICE_SPECIFIC_ERROR
// How long the SCM is told to wait between two reports while the service
// starts (configuration, fonts) or a pass in progress ends.
constexpr uint32_t kWaitHintMs = 30000;

class Controller {
public:
    // report sends a status to the SCM; requestStop asks the application to
    // stop after the pass in progress (it must not block).
    Controller(std::function<void(const Status&)> report, std::function<void()> requestStop);

    void starting();
    // Start-up done: stop, shutdown and pre-shutdown are accepted from now on.
    void running();
    // The control handler's work; its return value is the handler's. Stop,
    // shutdown and pre-shutdown all take the stop path (once).
    uint32_t control(uint32_t code);
    // While a stop is pending: one more checkpoint, so that the SCM keeps
    // waiting for a long pass. Nothing otherwise.
    void stillStopping();
    // The end: exit code 0 for a clean stop, otherwise a service-specific
    // code that the SCM shows. Later reports are dropped.
    void stopped(uint32_t specificExitCode);

    Status current() const;

private:
    void send(std::unique_lock<std::mutex>& lock);

    std::function<void(const Status&)> report_;
    std::function<void()> requestStop_;
    mutable std::mutex mutex_;
    Status status_;
};

// What the service writes to the Application event log (source
// "zkQuoteForge"), kept apart from ReportEventW so that tests read it: Wine
// shows no event log. id is the message table's entry (ServiceMessages.mc),
// type the event type (EVENTLOG_INFORMATION_TYPE and so on).
enum class Event { kStarted, kStopped, kStartFailed, kNoWorkingFolder };
struct EventEntry {
    uint16_t type = 0;
    uint32_t id = 0;
    std::string text;
};
// folder: the working folder; cause: the system's text for a folder that
// could not be entered.
EventEntry eventFor(Event event, const std::string& folder, const std::string& cause = {});

}  // namespace winservice
