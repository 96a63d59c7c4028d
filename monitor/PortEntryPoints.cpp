// OpenPort, ClosePort and ReadPort. A port is only a name: any name opens, and the handle is
// the next value of a counter that only grows (until it wraps, after 2^32-1 opens).
#include "EntryPoint.h"
#include "Monitor.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

// The counter's next value that names no open port and no running job. After 2^32-1 opens the
// counter wraps: 0 (no handle at all) and values still in use are passed over, so a handle
// never stands for two ports. The tables are far smaller than the counter's range, so a free
// value always comes.
DWORD NextPortHandle() {
  DWORD handle = LastPortHandle;
  do {
    ++handle;
  } while (handle == 0 || PortTable.count(handle) != 0 || JobTable.count(handle) != 0);
  return handle;
}

}  // namespace

// Any name opens, one without a port key too: its jobs reach the job processor under that name.
BOOL WINAPI LocalOpenPort(LPWSTR pName, PHANDLE pHandle) {
  return RunEntryPoint([&] {
    if (!pHandle) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    // This process's tables only: other processes are not held back.
    MonitorLock::Guard guard(Lock, MonitorLock::Guard::Reach::ThisProcess);
    const DWORD handle = NextPortHandle();
    PortTable.emplace(handle, pName ? pName : WSTR(""));
    LastPortHandle = handle;  // only once the entry exists, so a failed open uses up no number
    *pHandle = PortHandle(handle);
    return TRUE;
  });
}

BOOL WINAPI LocalClosePort(HANDLE hPort) {
  return RunEntryPoint([&] {
    MonitorLock::Guard guard(Lock, MonitorLock::Guard::Reach::ThisProcess);
    DWORD handle = 0;
    if (PortHandleValue(hPort, handle)) PortTable.erase(handle);
    return TRUE;
  });
}

// The port never has anything to read; no state is touched, so no lock is taken.
BOOL WINAPI LocalReadPort(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
  if (pcbRead) *pcbRead = 0;
  return TRUE;
}

}  // namespace Quorvane

int WINAPI LocalOpenPort(unsigned short* pName, void** pHandle) {
  return Quorvane::RunEntryPoint([&] {
    win::WideString name;
    for (const unsigned short* c = pName; c && *c; ++c) name.push_back(static_cast<WCHAR>(*c));
    return Quorvane::LocalOpenPort(name.data(), pHandle);
  });
}
