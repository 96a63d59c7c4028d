// The spooler API of winspool.h: every call goes to the chosen print system. Nothing thrown
// inside a print system leaves here: it becomes a failure with a last error.
#include <qv/print_system.h>

#include <winbase.h>
#include <winspool.h>

#include <new>

namespace {

template <typename Result, typename Call>
Result Guarded(Result failed, Call call) {
  try {
    return call(qv::CurrentPrintSystem());
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_GEN_FAILURE);
  }
  return failed;
}

}  // namespace

using qv::PrintSystem;

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.OpenPrinterW(pPrinterName, phPrinter, pDefault); });
}
BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.OpenPrinterA(pPrinterName, phPrinter, pDefault); });
}
BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.ClosePrinter(hPrinter); });
}
BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                    LPDWORD pcbNeeded) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.GetJobW(hPrinter, JobId, Level, pJob, cbBuf, pcbNeeded); });
}
BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.SetJobW(hPrinter, JobId, Level, pJob, Command); });
}
DWORD WINAPI StartDocPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  return Guarded(DWORD{0}, [&](PrintSystem& s) { return s.StartDocPrinterA(hPrinter, Level, pDocInfo); });
}
BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.StartPagePrinter(hPrinter); });
}
BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.WritePrinter(hPrinter, pBuf, cbBuf, pcWritten); });
}
BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.EndPagePrinter(hPrinter); });
}
BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.EndDocPrinter(hPrinter); });
}
BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  return Guarded(FALSE, [&](PrintSystem& s) {
    return s.EnumPrintersW(Flags, Name, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
  });
}
BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPort, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.EnumPortsW(pName, Level, pPort, cbBuf, pcbNeeded, pcReturned); });
}
BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.GetPrinterW(hPrinter, Level, pPrinter, cbBuf, pcbNeeded); });
}
BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.SetPrinterW(hPrinter, Level, pPrinter, Command); });
}
BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitors) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.AddMonitorW(pName, Level, pMonitors); });
}
BOOL WINAPI DeleteMonitorW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pMonitorName) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.DeleteMonitorW(pName, pEnvironment, pMonitorName); });
}
BOOL WINAPI AddPortW(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.AddPortW(pName, hWnd, pMonitorName); });
}
BOOL WINAPI ConfigurePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.ConfigurePortW(pName, hWnd, pPortName); });
}
BOOL WINAPI DeletePortW(LPWSTR pName, HWND hWnd, LPWSTR pPortName) {
  return Guarded(FALSE, [&](PrintSystem& s) { return s.DeletePortW(pName, hWnd, pPortName); });
}

}  // extern "C"
