// Printers of the embedded print system through the spooler API: open, close, enumerate, read
// and change their level-2 information.
#include "EmbeddedPrintSystem.h"
#include "PackedBuffer.h"
#include "PrinterHandles.h"
#include "PrinterStore.h"
#include "RawDocument.h"
#include "SpoolFolder.h"
#include "SpoolerCalls.h"
#include "Status.h"

#include <qv/diagnostics.h>
#include <qv/status_text.h>
#include <qv/utf.h>

#include <vector>

namespace qv::spool {
namespace {

// A printer's level-2 information, its strings in wide text.
struct PrinterInfo {
  PrinterRecord record;
  DWORD jobs = 0;
  std::u16string name, share, port, driver, comment, location, separator, processor, datatype,
      parameters;

  explicit PrinterInfo(const PrinterRecord& from, DWORD jobCount) : record(from), jobs(jobCount) {
    name = ToUtf16(record.name);
    share = ToUtf16(record.shareName);
    port = ToUtf16(record.port);
    driver = ToUtf16(record.driver);
    comment = ToUtf16(record.comment);
    location = ToUtf16(record.location);
    separator = ToUtf16(record.separatorFile);
    processor = ToUtf16(record.printProcessor);
    datatype = ToUtf16(record.datatype);
    parameters = ToUtf16(record.parameters);
  }

  size_t Size() const {
    size_t size = sizeof(PRINTER_INFO_2W);
    for (const std::u16string* text : Strings()) size += PackedSize(*text);
    return size;
  }

  PRINTER_INFO_2W Fill(PackedBuffer& buffer) const {
    PRINTER_INFO_2W info{};
    info.pServerName = nullptr;  // the local print system
    info.pPrinterName = buffer.Put(name);
    info.pShareName = buffer.Put(share);
    info.pPortName = buffer.Put(port);
    info.pDriverName = buffer.Put(driver);
    info.pComment = buffer.Put(comment);
    info.pLocation = buffer.Put(location);
    info.pDevMode = nullptr;
    info.pSepFile = buffer.Put(separator);
    info.pPrintProcessor = buffer.Put(processor);
    info.pDatatype = buffer.Put(datatype);
    info.pParameters = buffer.Put(parameters);
    info.pSecurityDescriptor = nullptr;
    info.Attributes = record.attributes;
    info.Priority = record.priority;
    info.DefaultPriority = record.defaultPriority;
    info.StartTime = record.startTime;
    info.UntilTime = record.untilTime;
    info.Status = record.status;
    info.cJobs = jobs;
    info.AveragePPM = 0;
    return info;
  }

 private:
  std::vector<const std::u16string*> Strings() const {
    return {&name, &share, &port, &driver, &comment, &location, &separator, &processor, &datatype,
            &parameters};
  }
};

DWORD JobCount(const std::string& printer) {
  DWORD count = 0;
  for (const SpooledJob& job : SpooledJobs())
    if (EqualNoCase(job.printer, printer)) ++count;
  return count;
}

// Lays printers out in the caller's buffer; ERROR_INSUFFICIENT_BUFFER leaves it untouched.
BOOL PackPrinters(const std::vector<PrinterInfo>& printers, LPBYTE buffer, DWORD cbBuf,
                  LPDWORD needed, LPDWORD returned) {
  size_t size = 0;
  for (const PrinterInfo& printer : printers) size += printer.Size();
  if (size > 0xFFFFFFFFu) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  *needed = static_cast<DWORD>(size);
  if (returned) *returned = 0;
  if (size > cbBuf || (size > 0 && !buffer)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  PackedBuffer packed(buffer, printers.size() * sizeof(PRINTER_INFO_2W));
  for (size_t i = 0; i < printers.size(); ++i) packed.PutRecord(i, printers[i].Fill(packed));
  if (returned) *returned = static_cast<DWORD>(printers.size());
  return TRUE;
}

std::string TextOr(LPWSTR text, const std::string& fallback) {
  return text ? ToUtf8(text) : fallback;
}

}  // namespace

BOOL EmbeddedPrintSystem::OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  if (!printer) return Fail(ERROR_INVALID_PARAMETER);
  *printer = nullptr;
  if (!name || !*name) return Fail(ERROR_INVALID_PRINTER_NAME);
  std::string createdName;
  if (DWORD status = FindPrinter(ToUtf8(name), createdName); status != ERROR_SUCCESS) return Fail(status);
  OpenPrinterEntry entry{createdName, PRINTER_ACCESS_USE};
  if (defaults) {
    if (defaults->pDatatype && !EqualNoCase(ToUtf8(defaults->pDatatype), "RAW"))
      return Fail(ERROR_INVALID_DATATYPE);
    if (defaults->DesiredAccess) entry.access = defaults->DesiredAccess;
  }
  *printer = PrinterHandles::Add(entry);
  return TRUE;
}

BOOL EmbeddedPrintSystem::OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) {
  WideOpenPrinterArguments wide(name, defaults);
  if (OpenPrinterW(wide.Name(), printer, wide.Defaults())) return TRUE;
  // Raw documents are opened this way (a port's script printing a job again). The job processor
  // stays silent about a refusal, so the print system tells the host which printer is missing.
  if (GetLastError() == ERROR_INVALID_PRINTER_NAME) {
    Failure failure;
    failure.number = ERROR_INVALID_PRINTER_NAME;
    failure.description = "Not printed on \"" + std::string(name ? name : "") + "\": no such printer";
    failure.source = "OpenPrinterA";
    failure.systemText = StatusText(ERROR_INVALID_PRINTER_NAME);
    ReportFailure(std::move(failure));
    SetLastError(ERROR_INVALID_PRINTER_NAME);
  }
  return FALSE;
}

BOOL EmbeddedPrintSystem::ClosePrinter(HANDLE printer) {
  if (!PrinterHandles::Remove(printer)) return Fail(ERROR_INVALID_HANDLE);
  RawDocuments::Take(printer);  // an unended document goes, its data with it
  return TRUE;
}

BOOL EmbeddedPrintSystem::EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printers,
                                        DWORD cbBuf, LPDWORD needed, LPDWORD returned) {
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  *returned = 0;
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!IsLocalServer(name)) return Fail(ERROR_INVALID_NAME);
  std::vector<PrinterInfo> found;
  if (flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME | PRINTER_ENUM_DEFAULT)) {
    std::vector<std::string> names;
    if (DWORD status = PrinterNames(names); status != ERROR_SUCCESS) return Fail(status);
    for (const std::string& printer : names) {
      PrinterRecord record;
      if (ReadPrinter(printer, record) == ERROR_SUCCESS) found.emplace_back(record, JobCount(record.name));
    }
  }
  return PackPrinters(found, printers, cbBuf, needed, returned);
}

BOOL EmbeddedPrintSystem::GetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD cbBuf,
                                      LPDWORD needed) {
  OpenPrinterEntry entry;
  if (!PrinterHandles::Find(printer, entry)) return Fail(ERROR_INVALID_HANDLE);
  if (!needed) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  PrinterRecord record;
  if (DWORD status = ReadPrinter(entry.printer, record); status != ERROR_SUCCESS) return Fail(status);
  std::vector<PrinterInfo> one;
  one.emplace_back(record, JobCount(record.name));
  return PackPrinters(one, info, cbBuf, needed, nullptr);
}

BOOL EmbeddedPrintSystem::SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  OpenPrinterEntry entry;
  if (!PrinterHandles::Find(printer, entry)) return Fail(ERROR_INVALID_HANDLE);
  if (!(entry.access & PRINTER_ACCESS_ADMINISTER)) return Fail(ERROR_ACCESS_DENIED);
  if (level == 0) return Fail(ERROR_NOT_SUPPORTED);  // pausing and purging are not offered
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!info || command != 0) return Fail(ERROR_INVALID_PARAMETER);
  PRINTER_INFO_2W given;
  std::memcpy(&given, info, sizeof given);
  PrinterRecord record;
  if (DWORD status = ReadPrinter(entry.printer, record); status != ERROR_SUCCESS) return Fail(status);
  // A printer keeps its name: renaming would strand the jobs spooled under the old one.
  if (given.pPrinterName && !EqualNoCase(ToUtf8(given.pPrinterName), record.name))
    return Fail(ERROR_NOT_SUPPORTED);
  std::string port = TextOr(given.pPortName, "");
  if (PrimaryPort(port).empty()) return Fail(ERROR_UNKNOWN_PORT);
  record.port = port;
  // A string left null keeps its value; the numbers are taken as given.
  record.shareName = TextOr(given.pShareName, record.shareName);
  record.driver = TextOr(given.pDriverName, record.driver);
  record.comment = TextOr(given.pComment, record.comment);
  record.location = TextOr(given.pLocation, record.location);
  record.separatorFile = TextOr(given.pSepFile, record.separatorFile);
  record.printProcessor = TextOr(given.pPrintProcessor, record.printProcessor);
  record.datatype = TextOr(given.pDatatype, record.datatype);
  record.parameters = TextOr(given.pParameters, record.parameters);
  record.attributes = given.Attributes | PRINTER_ATTRIBUTE_LOCAL;
  record.priority = given.Priority;
  record.defaultPriority = given.DefaultPriority;
  record.startTime = given.StartTime;
  record.untilTime = given.UntilTime;
  if (DWORD status = UpdatePrinter(record); status != ERROR_SUCCESS) return Fail(status);
  return TRUE;
}

}  // namespace qv::spool
