// The monitor's one report of a failure: the system's text for the code, a message box on
// request, and one entry in the log file when one is configured.
#pragma once
#include <windows.h>

namespace Quorvane {

// Shows "Error", "Description" and "Source" in a message box owned by `owner` when `show` is
// true, then appends one entry to the file named by the value "LogFile" of the configuration
// key HKEY_LOCAL_MACHINE\SOFTWARE\Drennic\Quorvane. Its own failures end it silently.
void ErrorHandler(LONG code, LPCWSTR source, bool show, HWND owner) noexcept;

// Where ErrorHandler takes the local time of an entry from; tests put a fixed clock here.
using LocalTimeSource = void(WINAPI*)(LPSYSTEMTIME);
extern LocalTimeSource ErrorHandlerClock;

}  // namespace Quorvane
