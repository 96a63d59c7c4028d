// The port monitor: its shared state and its entry points. The spooler finds
// InitializePrintMonitor by name and reaches everything else through the table it returns.
#pragma once
#include <windows.h>
#include <qv/macros.h>
#include <winsplp.h>

#include "JobRecord.h"
#include "MonitorLock.h"

#include <map>
#include <string>
#include "win/WideString.h"

namespace Quorvane {

// Monitor-wide state. Created at load, destroyed at unload (which deletes the temporary files
// of jobs never ended), and touched only while Lock is held.
extern MonitorLock Lock;
extern win::WideString RegistryRoot;            // below HKEY_LOCAL_MACHINE; empty until initialised
extern const win::WideString MonitorName;       // "Quorvane"
extern const win::WideString PortDescription;   // "Redirection of print jobs"
extern DWORD LastPortHandle;                   // the last port handle handed out; never reused
extern std::map<DWORD, win::WideString> PortTable;  // open ports: handle value -> port name
extern std::map<DWORD, JobRecord> JobTable;        // running jobs: handle value -> job

// A port handle is the value of LastPortHandle at its opening, never a pointer.
inline HANDLE PortHandle(DWORD value) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)); }
// False for a handle wider than a port handle can be: it was never handed out.
inline bool PortHandleValue(HANDLE handle, DWORD& value) {
  const ULONG_PTR raw = reinterpret_cast<ULONG_PTR>(handle);
  value = static_cast<DWORD>(raw);
  return raw == value;
}

// Ports.
BOOL WINAPI LocalOpenPort(LPWSTR pName, PHANDLE pHandle);
BOOL WINAPI LocalClosePort(HANDLE hPort);
BOOL WINAPI LocalReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);

// Jobs.
BOOL WINAPI LocalStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
BOOL WINAPI LocalWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
BOOL WINAPI LocalEndDocPort(HANDLE hPort);

// Port management.
BOOL WINAPI LocalEnumPorts(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                           LPDWORD pcReturned);
BOOL WINAPI LocalAddPort(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
BOOL WINAPI LocalConfigurePort(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
BOOL WINAPI LocalDeletePort(LPWSTR pName, HWND hWnd, LPWSTR pPortName);

}  // namespace Quorvane

// The exports, outside the namespace: the spooler and other programs find them by these names.
QV_EXPORT_C LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);
// LocalOpenPort again under the decorated name other programs link to ("_Z13LocalOpenPortPtPPv",
// with the wide characters as unsigned short): kept global and with this signature, since
// those programs look the name up as it stands.
QV_EXPORT int WINAPI LocalOpenPort(unsigned short* pName, void** pHandle);

// Installation and the component-object exports; the library's load and unload set-up is the
// module state of Module.h.
QV_EXPORT_C HRESULT STDAPICALLTYPE DllRegisterServer();
QV_EXPORT_C HRESULT STDAPICALLTYPE DllUnregisterServer();
QV_EXPORT_C HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
QV_EXPORT_C HRESULT STDAPICALLTYPE DllCanUnloadNow();
