// Port management: the monitor lists no ports yet and neither adds, configures nor deletes
// any; the port dialogs of the job processor will answer these.
#include "Monitor.h"

BOOL WINAPI LocalEnumPorts(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (pcbNeeded) *pcbNeeded = 0;
  if (pcReturned) *pcReturned = 0;
  return TRUE;
}

BOOL WINAPI LocalAddPort(LPWSTR, HWND, LPWSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI LocalConfigurePort(LPWSTR, HWND, LPWSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL WINAPI LocalDeletePort(LPWSTR, HWND, LPWSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
