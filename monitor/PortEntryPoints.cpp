// OpenPort, ClosePort and ReadPort. A port is only a name: any name opens, and the handle is
// the next value of a counter that only grows.
#include "EntryPoint.h"
#include "Monitor.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

BOOL WINAPI LocalOpenPort(LPWSTR pName, PHANDLE pHandle) {
  return RunEntryPoint([&] {
    if (!pHandle) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    MonitorLock::Guard guard(Lock);
    const DWORD handle = LastPortHandle + 1;
    PortTable.emplace(handle, pName ? pName : WSTR(""));
    LastPortHandle = handle;  // only once the entry exists, so a failed open uses up no number
    *pHandle = PortHandle(handle);
    return TRUE;
  });
}

BOOL WINAPI LocalClosePort(HANDLE hPort) {
  return RunEntryPoint([&] {
    MonitorLock::Guard guard(Lock);
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
