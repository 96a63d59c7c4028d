// The embedded print system's Linux-side interface (qv/print_system.h): printers, spooling and
// despooling, the job list.
#include "AtomicFile.h"
#include "Despooler.h"
#include "PrinterStore.h"
#include "SpoolBatch.h"
#include "SpoolFolder.h"
#include "Status.h"

#include <qv/print_system.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <vector>

namespace qv {
namespace {

template <typename Call>
DWORD Guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

JobEntry EntryOf(const spool::JobDescription& job) {
  JobEntry entry;
  entry.id = job.id;
  entry.printer = job.printer;
  entry.document = job.document;
  entry.user = job.user;
  entry.size = job.size;
  entry.hops = job.hops;
  // A claimed job is being sent right now; one left "printing" by an older version that ended
  // is waiting to be sent again.
  if (spool::IsJobClaimed(job.id))
    entry.state = "printing";
  else
    entry.state = job.state == "printing" ? "waiting" : job.state;
  entry.error = job.error;
  return entry;
}

int64_t NowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Steps of at least this size are handed to the disk's writeback as soon as they are copied.
constexpr size_t kWritebackFrom = 1u << 20;

// Whether the spool copy hands its steps to the disk as it goes: for a job about to be flushed
// (SpoolJob), not for one whose acceptance comes later and may flush nothing (a job sent at
// once, whose data then never needs to reach the disk at all).
enum class Writeback { kAhead, kNone };

// Copies `fd` into the job's data file, not flushed yet. The file is claimed (flocked) from its
// creation until the caller is done, so no despooler takes the job before it is accepted. A
// regular file is copied in the kernel (copy_file_range); a pipe, or a file the kernel won't
// copy (another file system on an old kernel), goes through a buffer.
DWORD CopyInput(int fd, spool::AtomicFile& data, uint64_t& size, const SpoolProgress& progress, Writeback writeback) {
  struct stat info {};
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  uint64_t total = regular ? static_cast<uint64_t>(info.st_size) : 0;
  size = 0;
  if (regular) {
    constexpr size_t kStep = 8u << 20;  // progress is shown between steps
    for (;;) {
      ssize_t copied = copy_file_range(fd, nullptr, data.Fd(), nullptr, kStep, 0);
      if (copied < 0 && errno == EINTR) continue;
      if (copied < 0) {
        // Refused before anything was copied: the buffer below does the whole copy. A failure
        // after some data went is a real one.
        if (size == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                          errno == EOPNOTSUPP || errno == EBADF))
          break;
        return spool::StatusFromErrno(errno);
      }
      if (copied == 0 && size == 0) break;  // empty, or a file only reading can tell (/proc)
      if (copied == 0) return ERROR_SUCCESS;
      // Not a flush: the disk starts on this step while the next one is copied, so that the
      // flush that accepts the job finds little left to write.
      if (writeback == Writeback::kAhead && static_cast<size_t>(copied) >= kWritebackFrom)
        sync_file_range(data.Fd(), static_cast<off64_t>(size), copied, SYNC_FILE_RANGE_WRITE);
      size += static_cast<uint64_t>(copied);
      if (progress) progress(size, total);
    }
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return spool::StatusFromErrno(errno);
    if (got == 0) break;
    if (DWORD status = data.Write(buffer.data(), static_cast<size_t>(got)); status != ERROR_SUCCESS)
      return status;
    size += static_cast<uint64_t>(got);
    if (progress) progress(size, total);
  }
  return ERROR_SUCCESS;
}

// Writes one job's data into the spool under a temporary name; AcceptJobs gives it its names.
DWORD Stage(const JobSubmission& submission, int fd, spool::StagedJob& staged, const SpoolProgress& progress,
            Writeback writeback) {
  spool::PrinterRecord printer;
  if (DWORD status = spool::ReadPrinter(submission.printer, printer); status != ERROR_SUCCESS)
    return status;
  if (submission.hops > kMaxReprintHops) return ERROR_PRINTQ_FULL;
  DWORD id = 0;
  if (DWORD status = spool::AllocateJobId(id); status != ERROR_SUCCESS) return status;
  spool::AtomicFile& data = staged.data;
  if (DWORD status = data.Create(spool::DataPath(id)); status != ERROR_SUCCESS) return status;
  flock(data.Fd(), LOCK_EX);  // a new file: nobody else can hold it
  spool::JobDescription& job = staged.job;
  if (DWORD status = CopyInput(fd, data, job.size, progress, writeback); status != ERROR_SUCCESS) return status;
  job.id = id;
  job.printer = printer.name;
  job.machine = submission.machine;
  job.user = submission.user;
  job.notifyName = submission.user;
  job.document = submission.document;
  job.datatype = "RAW";
  job.driver = printer.driver;
  job.priority = 1;
  job.totalPages = 0;
  job.submitted = NowMilliseconds();
  job.hops = submission.hops;
  return ERROR_SUCCESS;
}

// The jobs this thread spooled with SpoolJobUnflushed and FlushSpool has not accepted yet.
thread_local std::vector<std::unique_ptr<spool::StagedJob>> unaccepted;

}  // namespace

DWORD AddPrinter(const std::string& name, const std::string& port, const std::string& driver) {
  return Guarded([&]() -> DWORD {
    if (!spool::IsValidPrinterName(name)) return ERROR_INVALID_PRINTER_NAME;
    spool::PrinterRecord record;
    record.name = name;
    record.port = Trimmed(port);
    if (spool::PrimaryPort(record.port).empty()) return ERROR_UNKNOWN_PORT;
    record.driver = driver.empty() ? kDefaultPrinterDriver : driver;
    return spool::CreatePrinter(record);
  });
}

DWORD DeletePrinter(const std::string& name) {
  return Guarded([&]() -> DWORD {
    spool::PrinterRecord record;
    if (DWORD status = spool::ReadPrinter(name, record); status != ERROR_SUCCESS) return status;
    for (const spool::SpooledJob& job : spool::SpooledJobs())
      if (spool::EqualNoCase(job.printer, record.name)) return ERROR_PRINTER_HAS_JOBS_QUEUED;
    return spool::RemovePrinter(record.name);
  });
}

DWORD ListPrinters(std::vector<PrinterEntry>& printers) {
  return Guarded([&]() -> DWORD {
    printers.clear();
    std::vector<std::string> names;
    if (DWORD status = spool::PrinterNames(names); status != ERROR_SUCCESS) return status;
    for (const std::string& name : names) {
      spool::PrinterRecord record;
      if (spool::ReadPrinter(name, record) == ERROR_SUCCESS)
        printers.push_back({record.name, record.port, record.driver});
    }
    return ERROR_SUCCESS;
  });
}

DWORD SpoolJob(const JobSubmission& submission, int fd, DWORD& jobId, const SpoolProgress& progress) {
  return Guarded([&]() -> DWORD {
    std::vector<std::unique_ptr<spool::StagedJob>> batch;
    batch.push_back(std::make_unique<spool::StagedJob>());
    if (DWORD status = Stage(submission, fd, *batch.back(), progress, Writeback::kAhead); status != ERROR_SUCCESS)
      return status;
    if (DWORD status = spool::AcceptJobs(batch); status != ERROR_SUCCESS) return status;
    jobId = batch.back()->job.id;
    return ERROR_SUCCESS;
  });
}

DWORD SpoolJobUnflushed(const JobSubmission& submission, int fd, DWORD& jobId, const SpoolProgress& progress) {
  return Guarded([&]() -> DWORD {
    if (unaccepted.size() >= kUnflushedJobsMax) return ERROR_TOO_MANY_OPEN_FILES;
    auto staged = std::make_unique<spool::StagedJob>();
    if (DWORD status = Stage(submission, fd, *staged, progress, Writeback::kNone); status != ERROR_SUCCESS)
      return status;
    jobId = staged->job.id;
    unaccepted.push_back(std::move(staged));
    return ERROR_SUCCESS;
  });
}

namespace {

DWORD AcceptUnaccepted(spool::Acceptance how) {
  return Guarded([&]() -> DWORD {
    // Taken out first: whatever happens, these jobs are accepted now or never.
    std::vector<std::unique_ptr<spool::StagedJob>> batch = std::move(unaccepted);
    unaccepted.clear();
    return spool::AcceptJobs(batch, how);
  });
}

}  // namespace

DWORD FlushSpool() { return AcceptUnaccepted(spool::Acceptance::kDurable); }

DWORD AcceptSpoolToSendNow() { return AcceptUnaccepted(spool::Acceptance::kToSendNow); }

std::string SpoolLockFailureFile() {
  try {
    return spool::JobIdFailureFile();
  } catch (...) {
    return {};  // out of memory for the copy: the message names the folder instead
  }
}

DWORD KeepJobInSpool(DWORD jobId) {
  return Guarded([&] { return spool::KeepJobInSpool(jobId); });
}

void ReserveJobIds(DWORD count) {
  try {
    spool::ReserveJobIds(count);
  } catch (...) {
    // Only a size hint: the next block is then the default one.
  }
}

DWORD DespoolJob(DWORD jobId, bool retryFailed) {
  return Guarded([&] { return spool::DespoolJob(jobId, true, retryFailed); });
}

DespoolGroup::DespoolGroup() noexcept { spool::BeginDespoolGroup(); }

DespoolGroup::~DespoolGroup() { End(); }

DWORD DespoolGroup::End() noexcept {
  if (ended_) return ERROR_SUCCESS;
  ended_ = true;
  return spool::EndDespoolGroup();
}

DWORD DespoolWaitingJobs() {
  return Guarded([&] { return spool::DespoolWaitingJobs(); });
}

DWORD ListJobs(std::vector<JobEntry>& jobs) {
  return Guarded([&]() -> DWORD {
    jobs.clear();
    for (DWORD id : spool::SpooledJobIds()) {
      spool::JobDescription job;
      if (spool::ReadJob(id, job) == ERROR_SUCCESS) jobs.push_back(EntryOf(job));
    }
    return ERROR_SUCCESS;
  });
}

DWORD GetJobEntry(DWORD jobId, JobEntry& entry) {
  return Guarded([&]() -> DWORD {
    spool::JobDescription job;
    if (DWORD status = spool::ReadJob(jobId, job); status != ERROR_SUCCESS) return status;
    entry = EntryOf(job);
    return ERROR_SUCCESS;
  });
}

DWORD DeleteJob(DWORD jobId) {
  return Guarded([&] { return spool::RemoveJob(jobId); });
}

}  // namespace qv
