#include "FakeSpooler.h"

#include <cstring>
#include <mutex>

namespace {

std::mutex lock;

struct FakePrinter {
  std::u16string name;
};

// Copies `text` to the end of the string area and returns where it went.
LPWSTR Place(const std::optional<std::u16string>& text, BYTE*& area) {
  if (!text) return nullptr;
  auto* place = reinterpret_cast<LPWSTR>(area);
  std::memcpy(place, text->c_str(), (text->size() + 1) * sizeof(WCHAR));
  area += (text->size() + 1) * sizeof(WCHAR);
  return place;
}

DWORD Needed(const FakeJob& job) {
  size_t bytes = sizeof(JOB_INFO_2W);
  for (const auto* text : {&job.machine, &job.user, &job.document, &job.notify, &job.datatype,
                           &job.driver, &job.printerInInfo})
    if (*text) bytes += ((*text)->size() + 1) * sizeof(WCHAR);
  return static_cast<DWORD>(bytes);
}

}  // namespace

FakeSpooler& Spooler() {
  static FakeSpooler spooler;
  return spooler;
}

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  std::lock_guard<std::mutex> guard(lock);
  FakeSpooler& spooler = Spooler();
  *phPrinter = nullptr;
  spooler.openedDatatypes.push_back(pDefault && pDefault->pDatatype ? pDefault->pDatatype : WSTR("(none)"));
  spooler.openedAccess.push_back(pDefault ? pDefault->DesiredAccess : 0);
  if (!pPrinterName || !spooler.printers.count(pPrinterName)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  *phPrinter = new FakePrinter{pPrinterName};
  ++spooler.openPrinters;
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  std::lock_guard<std::mutex> guard(lock);
  if (!hPrinter) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete static_cast<FakePrinter*>(hPrinter);
  --Spooler().openPrinters;
  return TRUE;
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
  std::lock_guard<std::mutex> guard(lock);
  FakeSpooler& spooler = Spooler();
  if (!hPrinter) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (spooler.getJobFailure) {
    SetLastError(spooler.getJobFailure);
    return FALSE;
  }
  auto found = spooler.jobs.find(JobId);
  if (Level != 2 || found == spooler.jobs.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const FakeJob& job = found->second;
  *pcbNeeded = Needed(job);
  if (!pJob && spooler.sizeQuerySucceeds) {
    SetLastError(ERROR_GEN_FAILURE);  // whatever was left: a success says nothing about it
    return TRUE;
  }
  if (!pJob || cbBuf < *pcbNeeded) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* info = reinterpret_cast<JOB_INFO_2W*>(pJob);
  *info = JOB_INFO_2W{};
  BYTE* area = pJob + sizeof(JOB_INFO_2W);
  info->JobId = JobId;
  info->pPrinterName = Place(job.printerInInfo, area);
  info->pMachineName = Place(job.machine, area);
  info->pUserName = Place(job.user, area);
  info->pDocument = Place(job.document, area);
  info->pNotifyName = Place(job.notify, area);
  info->pDatatype = Place(job.datatype, area);
  info->pDriverName = Place(job.driver, area);
  info->Priority = job.priority;
  info->TotalPages = job.totalPages;
  info->Size = job.size;
  return TRUE;
}

BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD, LPBYTE, DWORD Command) {
  std::lock_guard<std::mutex> guard(lock);
  auto* printer = static_cast<FakePrinter*>(hPrinter);
  Spooler().setJobCalls.push_back({printer ? printer->name : std::u16string(), JobId, Command});
  if (!printer) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
