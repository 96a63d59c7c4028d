// StartDocPort, WritePort and EndDocPort: a job is captured whole in its temporary file, then
// handed to the job processor, which runs the port's script while EndDocPort waits.
#include "ComError.h"
#include "EntryPoint.h"
#include "HandOffReport.h"
#include "Monitor.h"
#include "PrinterHandle.h"
#include "SystemErrorOf.h"
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

BOOL WINAPI LocalStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD, LPBYTE) {
  return RunEntryPoint([&] {
    // This process's tables and the job's own file only: other processes are not held back.
    MonitorLock::Guard guard(Lock, MonitorLock::Guard::Reach::ThisProcess);
    DWORD handle = 0;
    if (!PortHandleValue(hPort, handle)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    const win::WideString printerName = pPrinterName ? pPrinterName : WSTR("");
    HRESULT result = S_OK;
    {
      JobRecord record;
      record.TempFile.Create();
      result = record.Load(JobId, printerName.c_str());
      if (SUCCEEDED(result)) {
        record.PrinterName = printerName;
        // A job still running on this handle is replaced, and its file deleted with it.
        JobTable.insert_or_assign(handle, std::move(record));
        return TRUE;
      }
    }
    // Set once the new record (and its file) is gone, so that deleting can't overwrite it.
    SetLastError(SystemErrorOf(result, ERROR_GEN_FAILURE));
    return FALSE;
  });
}

BOOL WINAPI LocalWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  return RunEntryPoint([&] {
    // The job's own file only: other processes are not held back.
    MonitorLock::Guard guard(Lock, MonitorLock::Guard::Reach::ThisProcess);
    if (pcbWritten) *pcbWritten = 0;
    DWORD handle = 0;
    auto job = PortHandleValue(hPort, handle) ? JobTable.find(handle) : JobTable.end();
    if (job == JobTable.end()) return FALSE;
    if (DWORD error = job->second.TempFile.Append(pBuffer, cbBuf)) {
      // The spooler must learn that these bytes are not in the job.
      SetLastError(error);
      return FALSE;
    }
    if (pcbWritten) *pcbWritten = cbBuf;
    return TRUE;
  });
}

BOOL WINAPI LocalEndDocPort(HANDLE hPort) {
  return RunEntryPoint([&] {
    PrinterHandle printer;  // declared first: closed after the lock is released
    MonitorLock::Guard guard(Lock);
    DWORD handle = 0;
    auto job = PortHandleValue(hPort, handle) ? JobTable.find(handle) : JobTable.end();
    if (job == JobTable.end()) return FALSE;
    auto port = PortTable.find(handle);
    const win::WideString portName = port == PortTable.end() ? win::WideString() : port->second;

    try {
      job->second.Submit(portName);
    } catch (const ComError& error) {
      ReportHandOffFailure(error.Result());
    }

    // The job has been dealt with either way: the spooler may let it go.
    printer.Open(job->second.PrinterName.c_str());
    SetJobW(printer.Get(), job->second.ID, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
    JobTable.erase(job);
    return TRUE;
  });
}

}  // namespace Quorvane
