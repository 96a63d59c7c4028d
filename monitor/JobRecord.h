// One job between StartDocPort and EndDocPort: its temporary file and the snapshot of the
// spooler's job information taken at StartDocPort. Fields carry the names of the job
// processor's Job properties they feed.
#pragma once
#include <windows.h>

#include "TempFile.h"

#include <string>

class JobRecord {
 public:
  JobRecord() = default;
  virtual ~JobRecord() = default;
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
  void Submit(const std::u16string& portName);

  ::TempFile TempFile;
  std::u16string PrinterName;
  DWORD ID = 0;
  std::u16string MachineName;
  std::u16string UserName;
  std::u16string DocumentName;
  std::u16string NotifyName;
  std::u16string DataType;
  std::u16string DriverName;
  DWORD Priority = 0;
  DWORD TotalPages = 0;
  DWORD Size = 0;
};
