// Jobs of the embedded print system through the spooler API: a monitor reads a job's level-2
// information while it takes the job and tells the print system when the job is printed.
#include "Despooler.h"
#include "EmbeddedPrintSystem.h"
#include "PackedBuffer.h"
#include "PrinterHandles.h"
#include "PrinterStore.h"
#include "SpoolFolder.h"
#include "SpoolerCalls.h"
#include "Status.h"

#include <qv/utf.h>

#include <ctime>
#include <vector>

namespace qv::spool {
namespace {

DWORD StatusBits(const JobDescription& job, bool claimed) {
  DWORD bits = 0;
  if (job.state == "failed") bits |= JOB_STATUS_ERROR;
  if (claimed) bits |= JOB_STATUS_PRINTING;
  if (job.printed) bits |= JOB_STATUS_PRINTED;
  return bits;
}

// The job's place in its printer's queue, from 1. Only the jobs before it are looked at, and
// not those this thread already sent in its despool group (they only wait for their outputs'
// flush to leave). The job itself counts without its description being looked at again: it was
// just read to find the job.
DWORD Position(const JobDescription& job) {
  DWORD position = SentInDespoolGroup(job.id) ? 0 : 1;
  for (const SpooledJob& other : SpooledJobs(job.id == 0 ? 0 : job.id - 1, SentInDespoolGroup))
    if (EqualNoCase(other.printer, job.printer)) ++position;
  return position;
}

struct JobInfo {
  const JobDescription& job;
  std::u16string printer, machine, user, document, notify, datatype, processor, parameters,
      driver, status;

  explicit JobInfo(const JobDescription& from) : job(from) {
    printer = ToUtf16(job.printer);
    machine = ToUtf16(job.machine);
    user = ToUtf16(job.user);
    document = ToUtf16(job.document);
    notify = ToUtf16(job.notifyName);
    datatype = ToUtf16(job.datatype);
    processor = u"winprint";
    driver = ToUtf16(job.driver);
    status = ToUtf16(job.error);
  }

  size_t Size() const {
    size_t size = sizeof(JOB_INFO_2W);
    for (const std::u16string* text : {&printer, &machine, &user, &document, &notify, &datatype,
                                       &processor, &parameters, &driver})
      size += PackedSize(*text);
    if (!status.empty()) size += PackedSize(status);
    return size;
  }

  JOB_INFO_2W Fill(PackedBuffer& buffer) const {
    JOB_INFO_2W info{};
    info.JobId = job.id;
    info.pPrinterName = buffer.Put(printer);
    info.pMachineName = buffer.Put(machine);
    info.pUserName = buffer.Put(user);
    info.pDocument = buffer.Put(document);
    info.pNotifyName = buffer.Put(notify);
    info.pDatatype = buffer.Put(datatype);
    info.pPrintProcessor = buffer.Put(processor);
    info.pParameters = buffer.Put(parameters);
    info.pDriverName = buffer.Put(driver);
    info.pDevMode = nullptr;
    info.pStatus = status.empty() ? nullptr : buffer.Put(status);  // a failed job's error
    info.pSecurityDescriptor = nullptr;
    // The job this thread is sending is claimed by this thread: its data need not be opened to
    // tell.
    info.Status = StatusBits(job, IsJobInHand(job.id) || IsJobClaimed(job.id));
    info.Priority = job.priority;
    info.Position = Position(job);
    info.StartTime = 0;
    info.UntilTime = 0;
    info.TotalPages = job.totalPages;
    info.Size = job.size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(job.size);
    info.Submitted = UtcSystemTime(job.submitted);
    info.Time = 0;
    info.PagesPrinted = 0;
    return info;
  }
};

// The job `jobId` of the printer behind `printer`; a job of another printer is not found.
DWORD FindJob(HANDLE printer, DWORD jobId, JobDescription& job) {
  OpenPrinterEntry entry;
  if (!PrinterHandles::Find(printer, entry)) return ERROR_INVALID_HANDLE;
  if (!ReadJobInHand(jobId, job) || !EqualNoCase(job.printer, entry.printer))
    return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

}  // namespace

BOOL EmbeddedPrintSystem::GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer,
                                  DWORD cbBuf, LPDWORD needed) {
  JobDescription job;
  if (DWORD status = FindJob(printer, jobId, job); status != ERROR_SUCCESS) return Fail(status);
  if (level != 2) return Fail(ERROR_INVALID_LEVEL);
  if (!needed) return Fail(ERROR_INVALID_PARAMETER);
  JobInfo info(job);
  size_t size = info.Size();
  *needed = static_cast<DWORD>(size);
  if (size > cbBuf || !buffer) return Fail(ERROR_INSUFFICIENT_BUFFER);
  PackedBuffer packed(buffer, sizeof(JOB_INFO_2W));
  packed.PutRecord(0, info.Fill(packed));
  return TRUE;
}

BOOL EmbeddedPrintSystem::SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE, DWORD command) {
  JobDescription job;
  if (DWORD status = FindJob(printer, jobId, job); status != ERROR_SUCCESS) return Fail(status);
  if (level != 0) return Fail(ERROR_NOT_SUPPORTED);  // job settings can't be changed
  switch (command) {
    case 0:
    case JOB_CONTROL_SENT_TO_PRINTER:
      return TRUE;
    case JOB_CONTROL_LAST_PAGE_EJECTED:
      // The port has the job in full (its outputs are flushed, or inside a despool group will be
      // before it goes): the job leaves the spool. Not flushed: should a crash undo the
      // removal, the job is sent again, which loses nothing.
      if (!DespoolReportedFailures(jobId)) ReleasePrintedJob(jobId);
      return TRUE;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
      if (DWORD status = RemoveJob(jobId); status != ERROR_SUCCESS) return Fail(status);
      return TRUE;
    case JOB_CONTROL_PAUSE:
    case JOB_CONTROL_RESUME:
    case JOB_CONTROL_RESTART:
      return Fail(ERROR_NOT_SUPPORTED);
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }
}

}  // namespace qv::spool
