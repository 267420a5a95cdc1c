// The service host's answers to the Service Control Manager.

#include "platform/windows/ServiceControl.h"

#include <gtest/gtest.h>
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace {

using winservice::Controller;
using winservice::Status;

struct Recorder {
    std::vector<Status> reports;
    int stopRequests = 0;
    Controller controller{[this](const Status& s) { reports.push_back(s); }, [this] { ++stopRequests; }};
};

TEST(ServiceControl, StartsThenAcceptsStopAndPreshutdown) {
    Recorder r;
    r.controller.starting();
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0].state, DWORD{SERVICE_START_PENDING});
    EXPECT_EQ(r.reports[0].controlsAccepted, 0u);
    EXPECT_GT(r.reports[0].waitHint, 0u);
    r.controller.running();
    EXPECT_EQ(r.reports.back().state, DWORD{SERVICE_RUNNING});
    EXPECT_EQ(r.reports.back().controlsAccepted,
              DWORD{SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN});
    EXPECT_EQ(r.stopRequests, 0);
}

// Wine never sends shutdown or pre-shutdown: all three take the stop path,
// once, and the process's end reports a clean stop.
TEST(ServiceControl, StopShutdownAndPreshutdownStopOnce) {
    for (DWORD code : {SERVICE_CONTROL_STOP, SERVICE_CONTROL_SHUTDOWN, SERVICE_CONTROL_PRESHUTDOWN}) {
        Recorder r;
        r.controller.starting();
        r.controller.running();
        EXPECT_EQ(r.controller.control(code), DWORD{NO_ERROR}) << code;
        EXPECT_EQ(r.stopRequests, 1) << code;
        const Status pending = r.reports.back();
        EXPECT_EQ(pending.state, DWORD{SERVICE_STOP_PENDING}) << code;
        EXPECT_EQ(pending.controlsAccepted, 0u) << code;
        EXPECT_GT(pending.waitHint, 0u) << code;
        // A long pass: each report moves the checkpoint on.
        r.controller.stillStopping();
        EXPECT_EQ(r.reports.back().checkPoint, pending.checkPoint + 1) << code;
        EXPECT_EQ(r.controller.control(SERVICE_CONTROL_STOP), DWORD{NO_ERROR}) << code;
        EXPECT_EQ(r.stopRequests, 1) << code;
        r.controller.stopped(0);
        EXPECT_EQ(r.reports.back().state, DWORD{SERVICE_STOPPED}) << code;
        EXPECT_EQ(r.reports.back().exitCode, DWORD{NO_ERROR}) << code;
        const size_t count = r.reports.size();
        r.controller.stopped(0);
        r.controller.stillStopping();
        EXPECT_EQ(r.reports.size(), count) << code;
    }
}

TEST(ServiceControl, InterrogateRepeatsAndOthersAreNotImplemented) {
    Recorder r;
    r.controller.starting();
    r.controller.running();
    EXPECT_EQ(r.controller.control(SERVICE_CONTROL_INTERROGATE), DWORD{NO_ERROR});
    ASSERT_EQ(r.reports.size(), 3u);
    EXPECT_EQ(r.reports[2].state, DWORD{SERVICE_RUNNING});
    for (DWORD code : {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_PARAMCHANGE})
        EXPECT_EQ(r.controller.control(code), DWORD{ERROR_CALL_NOT_IMPLEMENTED}) << code;
    EXPECT_EQ(r.reports.size(), 3u);
    EXPECT_EQ(r.stopRequests, 0);
}

TEST(ServiceControl, StartFailureShowsTheServiceSpecificCode) {
    Recorder r;
    r.controller.starting();
    r.controller.stopped(1);
    EXPECT_EQ(r.reports.back().state, DWORD{SERVICE_STOPPED});
    EXPECT_EQ(r.reports.back().exitCode, DWORD{ERROR_SERVICE_SPECIFIC_ERROR});
    EXPECT_EQ(r.reports.back().specificExitCode, 1u);
    // A stop that came during start-up is not undone by a late "running".
    Recorder early;
    early.controller.starting();
    early.controller.control(SERVICE_CONTROL_STOP);
    early.controller.running();
    EXPECT_EQ(early.reports.back().state, DWORD{SERVICE_STOP_PENDING});
}

}  // namespace

// Wine shows no event log: what the service would write there.
TEST(ServiceControl, EventLogEntriesNameTheFolderAndTheCause) {
    using winservice::Event;
    const std::string folder = "C:\\ProgramData\\zkQuoteForge";
    const auto started = winservice::eventFor(Event::kStarted, folder);
    EXPECT_EQ(started.type, WORD{EVENTLOG_INFORMATION_TYPE});
    EXPECT_EQ(started.text, "zkQuoteForge started in C:\\ProgramData\\zkQuoteForge.");
    EXPECT_EQ(winservice::eventFor(Event::kStopped, folder).type, WORD{EVENTLOG_INFORMATION_TYPE});
    for (Event failure : {Event::kStartFailed, Event::kNoWorkingFolder}) {
        const auto entry = winservice::eventFor(failure, folder, "Access denied.");
        EXPECT_EQ(entry.type, WORD{EVENTLOG_ERROR_TYPE});
        EXPECT_EQ(entry.id, 3u);
        EXPECT_NE(entry.text.find(folder), std::string::npos) << entry.text;
        EXPECT_NE(entry.text.find("exit code 1"), std::string::npos) << entry.text;
    }
    EXPECT_NE(winservice::eventFor(Event::kNoWorkingFolder, folder, "Access denied").text.find(": Access denied."),
              std::string::npos);
}
