// zkQuoteForgeService.exe: the application's service mode as a Windows
// service named "zkQuoteForge", working in %ProgramData%\zkQuoteForge. A stop
// (or the system's shutdown) ends the pass in progress and shuts the
// application down, as SIGTERM does on Linux. The command line of the
// service's registration goes to the application, less "-m": the memory
// watcher ends the process after 20 minutes, which a service must not do.

#include "app/zkQuoteForge.h"
#include "platform/windows/ServiceControl.h"
#include "platform/windows/WinText.h"
#include "support/Platform.h"

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

// The application ends the process itself (ShutdownApplication, the end of
// a one-shot pass): the SCM hears of it just before.
void reportStoppedAtExit() { controller->stopped(0); }

bool enterWorkingFolder() {
    wchar_t* data = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data))) return false;
    const std::wstring folder = std::wstring(data) + L"\\zkQuoteForge";
    CoTaskMemFree(data);
    return SetCurrentDirectoryW(folder.c_str()) != 0;
}

void WINAPI serviceMain(DWORD, wchar_t**) {
    statusHandle = RegisterServiceCtrlHandlerExW(kServiceName, onControl, nullptr);
    if (statusHandle == nullptr) return;
    static winservice::Controller theController(reportToScm, [] { zkQuoteForge::requestStop(); });
    controller = &theController;
    stopPendingEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    controller->starting();
    ProcessSetup::atQuickExit(reportStoppedAtExit);

    if (!enterWorkingFolder()) {
        controller->stopped(kStartFailed);
        return;
    }
    std::vector<std::string> args;
    for (std::string& arg : win::commandLineArguments())
        if (arg != "-m" && arg != "-M") args.push_back(std::move(arg));
    zkQuoteForge::main(args);
    if (!zkQuoteForge::running()) {
        controller->stopped(kStartFailed);
        return;
    }
    controller->running();
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
