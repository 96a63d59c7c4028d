// A document printed raw through a printer handle (StartDocPrinterA to EndDocPrinter): a new
// job of the handle's printer whose data is written to the spool as it comes. Until the document
// is ended its data lies under a temporary name, claimed, so no despooler sees it; ending it
// puts the job into the spool whole. A document that is dropped instead leaves nothing behind.
#pragma once
#include "SpoolBatch.h"

#include <windef.h>
#include <winerror.h>

#include <memory>
#include <mutex>
#include <string>

namespace qv::spool {

class RawDocument {
 public:
  // Takes a job id and creates the claimed data file for a job of `printer`.
  DWORD Start(const std::string& printer, const std::string& document, unsigned hops, unsigned reprintBudget);
  DWORD Id() const { return staged_->job.id; }

  void StartPage();
  void EndPage();  // a page ended without being started is not counted
  // Appends to the data. After a failed write the document can't be completed: every later
  // write fails with the same status, and so does Finish.
  DWORD Write(const void* data, DWORD size);
  // Puts the job into the spool whole (AcceptJobs: durably, or unflushed for a caller that
  // sends it at once). The claim on its data is released when the document is destroyed, after
  // which the job can be despooled.
  DWORD Finish(Acceptance how);

 private:
  std::mutex mutex_;
  std::unique_ptr<StagedJob> staged_ = std::make_unique<StagedJob>();
  bool pageStarted_ = false;
  DWORD failure_ = ERROR_SUCCESS;
};

// The documents started through open printer handles, at most one per handle.
class RawDocuments {
 public:
  // ERROR_INVALID_PRINTER_STATE when the handle has a document already.
  static DWORD Add(HANDLE printer, std::shared_ptr<RawDocument> document);
  // Null when the handle has no document.
  static std::shared_ptr<RawDocument> Find(HANDLE printer);
  // Removes the handle's document from the table and hands it over (null when there is none).
  static std::shared_ptr<RawDocument> Take(HANDLE printer);
};

}  // namespace qv::spool
