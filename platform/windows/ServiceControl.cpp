#include "platform/windows/ServiceControl.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <utility>

namespace winservice {

static_assert(kStopped == SERVICE_STOPPED && kStartPending == SERVICE_START_PENDING &&
              kStopPending == SERVICE_STOP_PENDING && kRunning == SERVICE_RUNNING);
static_assert(kStop == SERVICE_CONTROL_STOP && kInterrogate == SERVICE_CONTROL_INTERROGATE &&
              kShutdown == SERVICE_CONTROL_SHUTDOWN && kPreshutdown == SERVICE_CONTROL_PRESHUTDOWN);
static_assert(kAcceptStop == SERVICE_ACCEPT_STOP && kAcceptShutdown == SERVICE_ACCEPT_SHUTDOWN &&
              kAcceptPreshutdown == SERVICE_ACCEPT_PRESHUTDOWN);
static_assert(kCallNotImplemented == ERROR_CALL_NOT_IMPLEMENTED &&
              kServiceSpecificError == ERROR_SERVICE_SPECIFIC_ERROR);

Controller::Controller(std::function<void(const Status&)> report, std::function<void()> requestStop)
    : report_(std::move(report)), requestStop_(std::move(requestStop)) {}

// Under mutex_, so that reports reach the SCM in the order of the changes:
// it keeps the last one it got.
void Controller::send(std::unique_lock<std::mutex>&) { report_(status_); }

void Controller::starting() {
    std::unique_lock lock(mutex_);
    if (status_.state != 0) return;
    status_ = Status{kStartPending, 0, kNoError, 0, 1, kWaitHintMs};
    send(lock);
}

void Controller::running() {
    std::unique_lock lock(mutex_);
    if (status_.state != kStartPending) return;  // a stop came first
    status_ = Status{kRunning, kAcceptStop | kAcceptShutdown | kAcceptPreshutdown, kNoError, 0, 0, 0};
    send(lock);
}

uint32_t Controller::control(uint32_t code) {
    std::unique_lock lock(mutex_);
    switch (code) {
    case kStop:
    case kShutdown:
    case kPreshutdown:
        if (status_.state == kStartPending || status_.state == kRunning) {
            status_ = Status{kStopPending, 0, kNoError, 0, 1, kWaitHintMs};
            send(lock);
            lock.unlock();
            requestStop_();
        }
        return kNoError;
    case kInterrogate:
        if (status_.state != 0) send(lock);
        return kNoError;
    default:
        return kCallNotImplemented;
    }
}

void Controller::stillStopping() {
    std::unique_lock lock(mutex_);
    if (status_.state != kStopPending) return;
    ++status_.checkPoint;
    send(lock);
}

void Controller::stopped(uint32_t specificExitCode) {
    std::unique_lock lock(mutex_);
    if (status_.state == kStopped) return;
    status_ = Status{kStopped, 0, specificExitCode == 0 ? kNoError : kServiceSpecificError, specificExitCode, 0, 0};
    send(lock);
}

EventEntry eventFor(Event event, const std::string& folder, const std::string& cause) {
    constexpr uint32_t kInformation = 1, kError = 3;  // ServiceMessages.mc
    switch (event) {
    case Event::kStarted:
        return {EVENTLOG_INFORMATION_TYPE, kInformation, "zkQuoteForge started in " + folder + "."};
    case Event::kStopped:
        return {EVENTLOG_INFORMATION_TYPE, kInformation, "zkQuoteForge stopped."};
    case Event::kStartFailed:
        return {EVENTLOG_ERROR_TYPE, kError,
                "zkQuoteForge could not start (service-specific exit code 1): zkQuoteForge.ini in " + folder +
                    " is missing, empty or unreadable; its log there says why."};
    case Event::kNoWorkingFolder:
        return {EVENTLOG_ERROR_TYPE, kError,
                "zkQuoteForge could not start (service-specific exit code 1): its working folder " + folder +
                    " cannot be entered" + (cause.empty() ? "" : ": " + cause) + "."};
    }
    return {};
}

Status Controller::current() const {
    std::lock_guard lock(mutex_);
    return status_;
}

}  // namespace winservice
