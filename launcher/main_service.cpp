// zkQuoteForgeService.exe: the application's service mode as a Windows
// service named "zkQuoteForge", working in %ProgramData%\zkQuoteForge. A stop
// (or the system's shutdown) ends the pass in progress and shuts the
// application down, as SIGTERM does on Linux. The command line of the
// service's registration goes to the application, less "-m": the memory
// watcher ends the process after 20 minutes, which a service must not do.

#include "app/zkQuoteForge.h"
#include "platform/SystemPlatform.h"
#include "platform/windows/ServiceControl.h"
#include "platform/windows/WinText.h"
#include "support/Platform.h"
#include "ServiceMessages.h"

#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kServiceName[] = L"zkQuoteForge";
// Start-up failures (no configuration, no working folder): the SCM shows it
// as the service-specific exit code.
constexpr uint32_t kStartFailed = 1;

static_assert(ZK_EVENT_INFORMATION == 1 && ZK_EVENT_WARNING == 2 && ZK_EVENT_ERROR == 3);

SERVICE_STATUS_HANDLE statusHandle = nullptr;
winservice::Controller* controller = nullptr;
HANDLE stopPendingEvent = nullptr;

void reportToScm(const winservice::Status& s) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = s.state;
    status.dwControlsAccepted = s.controlsAccepted;
    status.dwWin32ExitCode = s.exitCode;
    status.dwServiceSpecificExitCode = s.specificExitCode;
    status.dwCheckPoint = s.checkPoint;
    status.dwWaitHint = s.waitHint;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI onControl(DWORD code, DWORD, void*, void*) {
    const uint32_t result = controller->control(code);
    if (controller->current().state == winservice::kStopPending) SetEvent(stopPendingEvent);
    return result;
}

std::string workingFolder = "%ProgramData%\\zkQuoteForge";

// Start, stop and start-up failures also go to the Application event log,
// where an administrator looks first. Best effort: the log is not the
// service's own record (its log file is).
void reportEvent(winservice::Event event, const std::string& cause = {}) {
    const winservice::EventEntry entry = winservice::eventFor(event, workingFolder, cause);
    HANDLE source = RegisterEventSourceW(nullptr, kServiceName);
    if (source == nullptr) return;
    const std::wstring text = win::widen(entry.text);
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source, entry.type, 0, entry.id, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

// The application ends the process itself (ShutdownApplication, the end of
// a one-shot pass): the SCM hears of it just before.
void reportStoppedAtExit() {
    if (controller->current().state == winservice::kStopped) return;
    controller->stopped(0);
    reportEvent(winservice::Event::kStopped);
}

// Empty when entered, otherwise the system's reason.
std::string enterWorkingFolder() {
    wchar_t* data = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data))) return "no ProgramData folder";
    const std::wstring folder = std::wstring(data) + L"\\zkQuoteForge";
    CoTaskMemFree(data);
    workingFolder = win::narrow(folder);
    return SetCurrentDirectoryW(folder.c_str()) != 0 ? std::string() : win::errorText(GetLastError());
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, onControl, nullptr);
    if (statusHandle == nullptr) return;
    static winservice::Controller theController(reportToScm, [] { zkQuoteForge::requestStop(); });
    controller = &theController;
    stopPendingEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    controller->starting();
    ProcessSetup::atQuickExit(reportStoppedAtExit);

    if (const std::string cause = enterWorkingFolder(); !cause.empty()) {
        controller->stopped(kStartFailed);
        reportEvent(winservice::Event::kNoWorkingFolder, cause);
        return;
    }
    std::vector<std::string> args;
    for (std::string& arg : win::commandLineArguments())
        if (arg != "-m" && arg != "-M") args.push_back(std::move(arg));
    zkQuoteForge::main(args);
    if (!zkQuoteForge::running()) {
        controller->stopped(kStartFailed);
        reportEvent(winservice::Event::kStartFailed);
        return;
    }
    controller->running();
    reportEvent(winservice::Event::kStarted);
    // A pass may outlast the wait hint: keep telling the SCM the stop goes on.
    std::thread([] {
        if (stopPendingEvent == nullptr || WaitForSingleObject(stopPendingEvent, INFINITE) != WAIT_OBJECT_0) return;
        for (;;) {
            Sleep(winservice::kWaitHintMs / 3);
            controller->stillStopping();
        }
    }).detach();
    zkQuoteForge::waitForEnd();
    // Every worker ended without ending the process.
    controller->stopped(0);
    reportEvent(winservice::Event::kStopped);
}

}  // namespace

int main() {
    ProcessSetup::atEntry();
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(kServiceName), serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
            Platform::current().writeStderr(
                "zkQuoteForgeService.exe runs as the Windows service zkQuoteForge: start it with "
                "\"net start zkQuoteForge\"; zkQuoteForgeApp.exe runs the application in a console.\n");
        return 1;
    }
    return 0;
}
