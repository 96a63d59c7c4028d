// Raw printing on the embedded print system: a document started on a printer handle becomes a
// new job of that printer, spooled whole when the document ends and then despooled through the
// printer's port. Printed from inside a despool (a port's script printing the job again), the
// job waits until the running job has ended and carries that job's hop count plus one.
#include "Despooler.h"
#include "EmbeddedPrintSystem.h"
#include "PrinterHandles.h"
#include "PrinterStore.h"
#include "RawDocument.h"
#include "Status.h"

#include <qv/print_system.h>

namespace qv::spool {
namespace {

bool IsRaw(LPCSTR datatype) { return !datatype || EqualNoCase(datatype, "RAW"); }

// The handle's document; on failure the status to answer: a handle that is not open, or one
// without a started document.
DWORD FindDocument(HANDLE printer, std::shared_ptr<RawDocument>& document) {
  OpenPrinterEntry entry;
  if (!PrinterHandles::Find(printer, entry)) return ERROR_INVALID_HANDLE;
  document = RawDocuments::Find(printer);
  return document ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_SPL_NO_STARTDOC);
}

}  // namespace

DWORD EmbeddedPrintSystem::StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo) {
  OpenPrinterEntry entry;
  if (!PrinterHandles::Find(printer, entry)) return Fail(ERROR_INVALID_HANDLE);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!docInfo) return Fail(ERROR_INVALID_PARAMETER);
  if (!(entry.access & PRINTER_ACCESS_USE)) return Fail(ERROR_ACCESS_DENIED);
  const auto* info = reinterpret_cast<const DOC_INFO_1A*>(docInfo);
  if (!IsRaw(info->pDatatype)) return Fail(ERROR_INVALID_DATATYPE);
  if (info->pOutputFile) return Fail(ERROR_NOT_SUPPORTED);  // printing to a file is the port's business
  if (RawDocuments::Find(printer)) return Fail(ERROR_INVALID_PRINTER_STATE);
  unsigned hops = 0;
  unsigned budget = kReprintBudget;
  if (DespoolingJobHops(hops)) {
    if (hops >= kMaxReprintHops) return Fail(ERROR_PRINTQ_FULL);
    if (!TakeReprintBudget(budget)) return Fail(ERROR_NOT_ENOUGH_QUOTA);
    ++hops;
  }
  auto document = std::make_shared<RawDocument>();
  if (DWORD status = document->Start(entry.printer, info->pDocName ? info->pDocName : "", hops, budget);
      status != ERROR_SUCCESS)
    return Fail(status);
  if (DWORD status = RawDocuments::Add(printer, document); status != ERROR_SUCCESS) return Fail(status);
  return document->Id();
}

BOOL EmbeddedPrintSystem::StartPagePrinter(HANDLE printer) {
  std::shared_ptr<RawDocument> document;
  if (DWORD status = FindDocument(printer, document); status != ERROR_SUCCESS) return Fail(status);
  document->StartPage();
  return TRUE;
}

BOOL EmbeddedPrintSystem::WritePrinter(HANDLE printer, LPVOID data, DWORD cbBuf, LPDWORD written) {
  if (written) *written = 0;
  std::shared_ptr<RawDocument> document;
  if (DWORD status = FindDocument(printer, document); status != ERROR_SUCCESS) return Fail(status);
  if (!written || (!data && cbBuf > 0)) return Fail(ERROR_INVALID_PARAMETER);
  if (DWORD status = document->Write(data, cbBuf); status != ERROR_SUCCESS) return Fail(status);
  *written = cbBuf;
  return TRUE;
}

BOOL EmbeddedPrintSystem::EndPagePrinter(HANDLE printer) {
  std::shared_ptr<RawDocument> document;
  if (DWORD status = FindDocument(printer, document); status != ERROR_SUCCESS) return Fail(status);
  document->EndPage();
  return TRUE;
}

BOOL EmbeddedPrintSystem::EndDocPrinter(HANDLE printer) {
  OpenPrinterEntry entry;
  if (!PrinterHandles::Find(printer, entry)) return Fail(ERROR_INVALID_HANDLE);
  std::shared_ptr<RawDocument> document = RawDocuments::Take(printer);
  if (!document) return Fail(ERROR_SPL_NO_STARTDOC);
  const DWORD id = document->Id();
  // A job sent before this call returns is flushed in the spool only if it stays there, as
  // `quorvane print` does: a job its port takes in full needs its output on disk (its despool
  // flushes it), not its spool files. Printed from inside a despool, or inside a despool group,
  // the job is sent later: it is accepted durably.
  const bool sentNow = !InsideDespool() && !InDespoolGroup();
  const DWORD finished = document->Finish(sentNow ? Acceptance::kToSendNow : Acceptance::kDurable);
  document.reset();  // releases the claim on the job's data
  if (finished != ERROR_SUCCESS) return Fail(finished);
  // The job is in the spool now. Whether its port takes it is the job's own outcome, kept with
  // the job; inside a despool it waits until the running job has ended.
  DespoolJob(id, true, false);
  // A job that stays (it failed, or another despooler holds it) is durable before the document
  // is reported ended; a failed despool made it so already.
  if (sentNow)
    if (DWORD status = KeepJobInSpool(id); status != ERROR_SUCCESS) return Fail(status);
  return TRUE;
}

}  // namespace qv::spool
