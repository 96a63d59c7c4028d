// The embedded print system: the spooler API answered from the registry and the spool folder.
#pragma once
#include <qv/print_system.h>

namespace qv::spool {

class EmbeddedPrintSystem : public PrintSystem {
 public:
  // Printers (EmbeddedPrinters.cpp).
  BOOL OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) override;
  BOOL OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) override;
  // A document started on the handle and not ended is dropped: it is not known to be whole.
  BOOL ClosePrinter(HANDLE printer) override;
  BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printers, DWORD cbBuf,
                     LPDWORD needed, LPDWORD returned) override;
  BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD cbBuf, LPDWORD needed) override;
  BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) override;

  // Raw printing (EmbeddedRawPrinting.cpp). Refusals as Windows gives them: ERROR_INVALID_HANDLE
  // for a handle that is not open, ERROR_SPL_NO_STARTDOC for page, data or end without a
  // started document, ERROR_INVALID_PRINTER_STATE for a second document on one handle;
  // ERROR_PRINTQ_FULL for a document printed from inside the despool of a job that has been
  // reprinted kMaxReprintHops times already; ERROR_NOT_ENOUGH_QUOTA for one whose original job
  // has caused kReprintBudget reprints already.
  DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo) override;
  BOOL StartPagePrinter(HANDLE printer) override;
  BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD cbBuf, LPDWORD written) override;
  BOOL EndPagePrinter(HANDLE printer) override;
  // A document whose data was not taken in full is dropped (ERROR_PRINT_CANCELLED).
  BOOL EndDocPrinter(HANDLE printer) override;

  // Jobs (EmbeddedJobs.cpp).
  BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD cbBuf,
               LPDWORD needed) override;
  BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) override;

  // Monitors and ports (EmbeddedPorts.cpp).
  BOOL EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD cbBuf, LPDWORD needed,
                  LPDWORD returned) override;
  BOOL AddMonitorW(LPWSTR name, DWORD level, LPBYTE monitor) override;
  BOOL DeleteMonitorW(LPWSTR name, LPWSTR environment, LPWSTR monitorName) override;
  BOOL AddPortW(LPWSTR name, HWND window, LPWSTR monitorName) override;
  BOOL ConfigurePortW(LPWSTR name, HWND window, LPWSTR portName) override;
  BOOL DeletePortW(LPWSTR name, HWND window, LPWSTR portName) override;
};

// Only the local print system is served: a server name must be absent or empty.
inline bool IsLocalServer(LPCWSTR name) { return !name || !*name; }

}  // namespace qv::spool
