#include "JobRecord.h"

#include "ComApartment.h"
#include "ComError.h"
#include "win/ComPtr.h"
#include "CreateObject.h"
#include "win/ComBstr.h"
#include "PrinterHandle.h"

#include <MarrowjetInterfaces.h>

#include <new>
#include <vector>
#include "win/WideString.h"

#include <qv/macros.h>

namespace Quorvane {

namespace {

// Not HRESULT_FROM_WIN32: an error of 0 must still make a failure (0x80070000).
HRESULT FromWin32(DWORD error) { return static_cast<HRESULT>(0x80070000u | error); }

win::WideString Text(LPCWSTR value) { return value ? value : WSTR(""); }

}  // namespace

HRESULT JobRecord::Load(DWORD jobId, LPCWSTR printerName) {
  ID = 0;
  PrinterHandle printer;
  HRESULT result = printer.Open(printerName);
  if (FAILED(result)) return result;

  // The size query is expected to fail for want of a buffer; only another failure ends the
  // load. A spooler that answers it with success has still reported the size.
  DWORD needed = 0;
  if (!GetJobW(printer.Get(), jobId, 2, nullptr, 0, &needed)) {
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) return FromWin32(error);
  }
  if (needed < sizeof(JOB_INFO_2W)) return FromWin32(ERROR_INVALID_DATA);

  std::vector<BYTE> buffer;
  try {
    buffer.resize(needed);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (!GetJobW(printer.Get(), jobId, 2, buffer.data(), needed, &needed)) return FromWin32(GetLastError());
  const auto& info = *reinterpret_cast<const JOB_INFO_2W*>(buffer.data());

  ID = jobId;
  DataType = Text(info.pDatatype);
  DocumentName = Text(info.pDocument);
  DriverName = Text(info.pDriverName);
  MachineName = Text(info.pMachineName);
  NotifyName = Text(info.pNotifyName);
  UserName = Text(info.pUserName);
  Priority = info.Priority;
  Size = info.Size;
  TotalPages = info.TotalPages;
  return S_OK;
}

void JobRecord::Submit(const win::WideString& portName) {
  ComApartment apartment;

  win::ComPtr<_Job> job;
  if (FAILED(CreateObjectByProgID(PROGID_Job, IID__Job, job.Out()))) return;

  // The job processor sees the properties set in this order; their results are not looked at.
  job->put_DataType(win::ComBstr(DataType).Get());
  job->put_DocumentName(win::ComBstr(DocumentName).Get());
  job->put_DriverName(win::ComBstr(DriverName).Get());
  job->put_ID(static_cast<LONG>(ID));
  job->put_MachineName(win::ComBstr(MachineName).Get());
  job->put_NotifyName(win::ComBstr(NotifyName).Get());
  job->put_PrinterName(win::ComBstr(PrinterName).Get());
  job->put_Priority(static_cast<LONG>(Priority));
  job->put_Size(static_cast<LONG>(Size));
  job->put_TotalPages(static_cast<LONG>(TotalPages));
  job->put_UserName(win::ComBstr(UserName).Get());

  win::ComPtr<_Controller> controller;
  HRESULT result = CreateObjectByProgID(PROGID_Controller, IID__Controller, controller.Out());
  if (FAILED(result)) throw ComError(result);

  result = controller->PrintFile(win::ComBstr(portName).Get(), win::ComBstr(TempFile.Path()).Get(), job.Get());
  controller.Reset();
  job.Reset();
  if (FAILED(result)) throw ComError(result);
}

}  // namespace Quorvane
