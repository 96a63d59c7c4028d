// One job between StartDocPort and EndDocPort: its temporary file and the snapshot of the
// spooler's job information taken at StartDocPort. Fields carry the names of the job
// processor's Job properties they feed.
#pragma once
#include <windows.h>

#include "TempFile.h"

#include <string>
#include "win/WideString.h"

namespace Quorvane {

class JobRecord {
 public:
  JobRecord() = default;
  ~JobRecord() = default;
  JobRecord(JobRecord&&) = default;
  JobRecord& operator=(JobRecord&&) = default;  // the replaced job's file is deleted
  JobRecord(const JobRecord&) = delete;
  JobRecord& operator=(const JobRecord&) = delete;

  // Reads the job's level-2 information from the spooler through `printerName` (not the name
  // in the information). S_OK, or the failure of the open or of GetJobW.
  HRESULT Load(DWORD jobId, LPCWSTR printerName);

  // Hands the job to the job processor and returns when the port's script has run. A Job that
  // can't be created ends the hand-off silently; a Controller that can't be created or a failed
  // PrintFile throws ComError.
  void Submit(const win::WideString& portName);

  Quorvane::TempFile TempFile;
  win::WideString PrinterName;
  DWORD ID = 0;
  win::WideString MachineName;
  win::WideString UserName;
  win::WideString DocumentName;
  win::WideString NotifyName;
  win::WideString DataType;
  win::WideString DriverName;
  DWORD Priority = 0;
  DWORD TotalPages = 0;
  DWORD Size = 0;
};

}  // namespace Quorvane
