#pragma once
// The Windows console launcher zkQuoteForge.exe: it starts the execution
// engine through COM, points it at the module container in its own
// resources, has it run the entry module with the command-line arguments on
// a worker thread while the main thread pumps messages, and turns every
// start-up failure into a line on standard error and exit code 1.
// Windows builds only; no <windows.h> here (a long is an HRESULT, an
// unsigned long a DWORD).

#include <cstdint>

struct LaunchBlock;

// String-table identifiers of the launcher's messages.
enum LauncherMessage : unsigned {
    kMsgInitFailed = 65008,  // COM, the engine object or the worker failed
    kMsgNoEngine = 65009,  // the engine's class cannot be obtained
    kMsgModulesFailed = 65010,  // the container or the entry module
    kMsgNewerEngine = 65011,  // the engine does not know the container
    kMsgEntryNameFailed = 65012,  // the entry-name resource does not load
};

// Process entry: never returns (ExitProcess with 0 or 1).
[[noreturn]] void LauncherMain();

// The worker: runs the request through the engine, posts WM_QUIT with the
// result to the main thread and returns the result.
unsigned long __stdcall EngineThreadProc(void* launchBlock);

// Dispatches the thread's messages until WM_QUIT; returns its wParam. The
// thread's message queue must exist before anyone posts to it.
int PumpMessages();

// Copies RCDATA resource id of the executable into destination. *size gives
// the room and comes back as the resource's size (also when it does not fit).
bool LoadRcData(unsigned id, void* destination, unsigned long* size);

// UTF-16 to the ANSI code page into a LocalAlloc'd buffer (free with
// LocalFree), with a terminator. count < 0: text is terminated.
long WideToAnsi(const wchar_t* text, int count, char** out);

// The text and a line end on standard error; null writes only the line end.
void WriteStdErrLine(const char* text);
// The string-table text id on standard error; nothing when it is empty.
void ShowResourceMessage(unsigned id);
// The text id (when id is not 0 and it is not empty), then, when code is not
// 0 and the system has a text for it, a blank line and that text; always
// written, so both missing give an empty line.
void ShowErrorMessage(unsigned id, long code);
