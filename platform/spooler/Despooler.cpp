#include "Despooler.h"

#include "AtomicFile.h"

#include "Monitors.h"
#include "PrinterStore.h"
#include "SpoolFolder.h"
#include "Status.h"

#include <qv/diagnostics.h>
#include <qv/durability_group.h>
#include <qv/print_system.h>
#include <qv/registry_store.h>
#include <qv/utf.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace qv::spool {
namespace {

// Per thread, because a port's script runs on the thread that despools its job.
thread_local int despoolDepth = 0;
thread_local unsigned despoolHops = 0;
thread_local unsigned despoolBudget = 0;  // reprints the job in hand may still cause
thread_local std::deque<DWORD> deferredJobs;

class DespoolScope {
 public:
  DespoolScope(unsigned hops, unsigned budget) : outerHops_(despoolHops), outerBudget_(despoolBudget) {
    ++despoolDepth;
    despoolHops = hops;
    despoolBudget = budget;
  }
  ~DespoolScope() {
    --despoolDepth;
    despoolHops = outerHops_;
    despoolBudget = outerBudget_;
  }
  DespoolScope(const DespoolScope&) = delete;
  DespoolScope& operator=(const DespoolScope&) = delete;

 private:
  unsigned outerHops_;
  unsigned outerBudget_;
};

struct Outcome {
  DWORD status = ERROR_SUCCESS;
  std::string detail;  // what failed, in words; the status text is added to it
};

Outcome Failure(DWORD status, std::string detail) { return {status, std::move(detail)}; }

// A monitor call that answered FALSE: its last error, named after the entry point.
Outcome MonitorFailure(const char* entry, const std::string& port) {
  return Failure(GetLastErrorOrFailure(), std::string(entry) + " of the port \"" + port + "\" failed");
}

// Closes the monitor's port handle when the despool leaves, however it leaves.
class PortHandle {
 public:
  PortHandle(const MONITOR& table, HANDLE handle) : table_(table), handle_(handle) {}
  ~PortHandle() {
    if (table_.pfnClosePort) table_.pfnClosePort(handle_);
  }
  PortHandle(const PortHandle&) = delete;
  PortHandle& operator=(const PortHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  const MONITOR& table_;
  HANDLE handle_;
};

Outcome WriteAll(const MONITOR& table, HANDLE port, const std::string& portName, int fd) {
  // As large as the job (a small job needs no 1 MiB), and not cleared: every byte given to the
  // port is read into it first.
  struct stat info {};
  const size_t size = fstat(fd, &info) == 0 && info.st_size >= 0 && static_cast<uint64_t>(info.st_size) < kWritePortChunk
                          ? std::max<size_t>(static_cast<size_t>(info.st_size), 1)
                          : kWritePortChunk;
  std::unique_ptr<BYTE[]> chunk = std::make_unique_for_overwrite<BYTE[]>(size);
  for (off_t offset = 0;;) {
    ssize_t got = pread(fd, chunk.get(), size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Failure(StatusFromErrno(errno), "the job's spool file can't be read");
    if (got == 0) return {};
    offset += got;
    // A port may take less than it is given; what it leaves is offered again.
    for (DWORD done = 0; done < static_cast<DWORD>(got);) {
      DWORD written = 0;
      SetLastError(ERROR_SUCCESS);
      if (!table.pfnWritePort(port, chunk.get() + done, static_cast<DWORD>(got) - done, &written))
        return MonitorFailure("WritePort", portName);
      if (written == 0) return Failure(ERROR_WRITE_FAULT, "WritePort of the port \"" + portName + "\" took nothing");
      done += written;
    }
  }
}

Outcome SendThroughMonitor(const LoadedMonitor& monitor, const std::string& portName,
                           const JobDescription& job, int fd) {
  const MONITOR& table = monitor.table;
  if (!table.pfnOpenPort || !table.pfnStartDocPort || !table.pfnWritePort || !table.pfnEndDocPort)
    return Failure(ERROR_INVALID_PRINT_MONITOR, "the monitor \"" + monitor.name + "\" can't print");
  std::u16string port = ToUtf16(portName);
  std::u16string printer = ToUtf16(job.printer);
  std::u16string document = ToUtf16(job.document);
  std::u16string datatype = ToUtf16(job.datatype);
  HANDLE handle = nullptr;
  SetLastError(ERROR_SUCCESS);
  if (!table.pfnOpenPort(port.data(), &handle)) return MonitorFailure("OpenPort", portName);
  PortHandle open(table, handle);
  DOC_INFO_1W docInfo{document.data(), nullptr, datatype.data()};
  SetLastError(ERROR_SUCCESS);
  if (!table.pfnStartDocPort(open.Get(), printer.data(), job.id, 1, reinterpret_cast<LPBYTE>(&docInfo)))
    return MonitorFailure("StartDocPort", portName);
  // After a failed write the document is not ended: an end would hand the port a job that is
  // not whole.
  if (Outcome written = WriteAll(table, open.Get(), portName, fd); written.status != ERROR_SUCCESS)
    return written;
  SetLastError(ERROR_SUCCESS);
  if (!table.pfnEndDocPort(open.Get())) return MonitorFailure("EndDocPort", portName);
  return {};
}

Outcome SaveToFile(const PrinterRecord& printer, DWORD id, int fd) {
  std::string dir = PrintedDir(printer.name);
  if (DWORD status = MakeFolders(dir); status != ERROR_SUCCESS)
    return Failure(status, "the folder " + dir + " can't be created");
  std::string path = dir + "/" + std::to_string(id) + ".prn";
  if (DWORD status = CopyToFile(fd, path); status != ERROR_SUCCESS)
    return Failure(status, path + " can't be written");
  // Guards the output's rename before the job leaves the spool (inside a despool group, the
  // group's end flushes the folder, before any of its jobs leaves).
  files::UniqueFd folder(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DWORD status = folder.Valid() ? FlushFolderOrDefer(folder.Get()) : StatusFromErrno(errno);
  if (status != ERROR_SUCCESS) return Failure(status, "the folder " + dir + " can't be flushed");
  return {};
}

Outcome SendToPort(const JobDescription& job, int fd) {
  PrinterRecord printer;
  if (DWORD status = ReadPrinter(job.printer, printer); status != ERROR_SUCCESS)
    return Failure(status, "the printer \"" + job.printer + "\" does not exist");
  std::string port = PrimaryPort(printer.port);
  if (port.empty()) return Failure(ERROR_UNKNOWN_PORT, "the printer \"" + printer.name + "\" has no port");
  if (EqualNoCase(port, kFilePort)) return SaveToFile(printer, job.id, fd);
  MonitorProblem problem;
  const LoadedMonitor* monitor = PortOwner(port, problem);
  if (!monitor) return Failure(problem.status, problem.detail);
  return SendThroughMonitor(*monitor, port, job, fd);
}

std::string Describe(const Outcome& outcome) {
  std::string text = StatusText(outcome.status);
  return outcome.detail.empty() ? text : outcome.detail + ": " + text;
}

// A job no longer in the spool: sent by another despooler (ERROR_INVALID_PARAMETER), or its
// files vanished, which is a failure (ERROR_FILE_NOT_FOUND), never a job quietly reported
// printed.
DWORD GoneStatus(DWORD id) {
  return static_cast<DWORD>(WasSent(id) ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND);
}

// The job this thread is despooling and the failures reported meanwhile.
thread_local DWORD watchedJob = 0;
thread_local const FailureCollector* watchedFailures = nullptr;

class ReportedFailuresScope {
 public:
  ReportedFailuresScope(DWORD id, const FailureCollector& failures)
      : outerJob_(std::exchange(watchedJob, id)), outerFailures_(std::exchange(watchedFailures, &failures)) {}
  ~ReportedFailuresScope() {
    watchedJob = outerJob_;
    watchedFailures = outerFailures_;
  }
  ReportedFailuresScope(const ReportedFailuresScope&) = delete;
  ReportedFailuresScope& operator=(const ReportedFailuresScope&) = delete;

 private:
  DWORD outerJob_;
  const FailureCollector* outerFailures_;
};

// The job as the diagnostics name it while its port takes it.
JobInHand InHand(const JobDescription& job) {
  JobInHand inHand;
  inHand.printer = job.printer;
  inHand.jobId = job.id;
  inHand.document = job.document;
  inHand.user = job.user;
  PrinterRecord printer;
  if (ReadPrinter(job.printer, printer) == ERROR_SUCCESS) inHand.port = PrimaryPort(printer.port);
  return inHand;
}

// A port that refused the job, as the diagnostics tell it.
qv::Failure PortFailure(const Outcome& outcome) {
  qv::Failure failure;
  failure.number = static_cast<LONG>(outcome.status);
  failure.description = outcome.detail.empty() ? StatusText(outcome.status) : outcome.detail;
  failure.source = "Despool";
  failure.systemText = StatusText(outcome.status);
  return failure;
}

// What the failures reported while the port took the job say, one after the other.
std::string Describe(const std::vector<qv::Failure>& failures) {
  std::string text;
  for (const qv::Failure& failure : failures) {
    if (!text.empty()) text += "; ";
    text += FailureText(failure);
  }
  return text;
}

// The status a job carries when its port took it but failures were reported meanwhile (a port's
// script that could not write its file): the first platform status among them, else a general
// failure.
DWORD StatusOf(const std::vector<qv::Failure>& failures) {
  for (const qv::Failure& failure : failures)
    if (failure.number > 0) return static_cast<DWORD>(failure.number);
  return ERROR_GEN_FAILURE;
}

// A job sent inside the thread's despool group: still in the spool, its claim held, until the
// group ends.
struct HeldJob {
  DWORD id = 0;
  std::unique_ptr<files::UniqueFd> claim;
  bool sent = false;  // taken by its port in full (else the port reported it printed, then failed)
};

struct DespoolGroupState {
  int depth = 0;
  std::optional<DurabilityGroup> outputs;
  std::vector<HeldJob> held;
  std::vector<DWORD> released;  // jobs in hand whose port reported them printed (SetJob)
};

thread_local DespoolGroupState despoolGroup;

bool HeldInGroup(DWORD id) {
  return std::any_of(despoolGroup.held.begin(), despoolGroup.held.end(), [id](const HeldJob& job) { return job.id == id; });
}

// Whether the port reported job `id` printed inside the group (and forgets it).
bool TakeReleased(DWORD id) {
  auto found = std::find(despoolGroup.released.begin(), despoolGroup.released.end(), id);
  if (found == despoolGroup.released.end()) return false;
  despoolGroup.released.erase(found);
  return true;
}

// The job this thread is sending whose description already became its "sent" note, when its
// port reported it printed outside a despool group (ReleasePrintedJob); 0 when none.
thread_local DWORD describedAsSent = 0;

// The job leaves the spool: now, or, inside a despool group, once the group's outputs are
// flushed. `sent`: its port took it in full, which a note tells other despoolers.
// `noteLeft`: the note is there already (its description became it), only the data goes.
void LeaveSpool(DWORD id, JobLock& lock, bool sent, bool noteLeft) {
  if (despoolGroup.depth > 0) {
    try {
      despoolGroup.held.push_back({id, std::make_unique<files::UniqueFd>(lock.ReleaseFd()), sent});
      return;
    } catch (...) {
      // Not kept (out of memory): its outputs are flushed now, then it goes as outside a group.
      if (despoolGroup.outputs->Commit() != ERROR_SUCCESS) return;  // stays: sent again later
    }
  }
  if (sent && noteLeft) {
    RemoveJobData(id);
  } else if (sent) {
    RetireSentJob(id);
  } else {
    RemoveJobFiles(id);
    // Not sent after all: no note says otherwise.
    if (noteLeft) ForgetSent(id);
  }
}

// The description of the job this thread is sending, as it was read from the spool: only the
// claim's holder (this thread) changes it on disk, so the port's reads of it (GetJob, SetJob)
// need not read the file again.
thread_local const JobDescription* descriptionInHand = nullptr;

class DescriptionInHandScope {
 public:
  explicit DescriptionInHandScope(const JobDescription& job) : outer_(std::exchange(descriptionInHand, &job)) {}
  ~DescriptionInHandScope() { descriptionInHand = outer_; }
  DescriptionInHandScope(const DescriptionInHandScope&) = delete;
  DescriptionInHandScope& operator=(const DescriptionInHandScope&) = delete;

 private:
  const JobDescription* outer_;
};

// Despools a job whose claim this thread holds.
DWORD DespoolClaimed(DWORD id, JobLock& lock, bool retryFailed) {
  JobDescription job;
  DWORD status = ReadJob(id, job);
  if (status == ERROR_INVALID_PARAMETER) return GoneStatus(id);
  if (status != ERROR_SUCCESS) return status;
  if (job.printed) {  // taken by its port before a crash kept the files from going
    RetireSentJob(id);
    return ERROR_SUCCESS;
  }
  if (job.state == "failed" && !retryFailed)
    return job.errorCode ? job.errorCode : static_cast<DWORD>(ERROR_GEN_FAILURE);
  const JobDescription disk = job;  // as the port reads it meanwhile
  // The description is not rewritten while the job is sent: the claim on its data tells who is
  // printing it, and a crash releases the claim, leaving the job as it was.
  job.state = "printing";
  job.errorCode = 0;
  job.error.clear();
  DescriptionInHandScope inHandDescription(disk);

  Outcome outcome;
  FailureCollector reported;
  {
    ReportedFailuresScope watched(id, reported);
    JobInHandScope inHand(InHand(job));
    describedAsSent = 0;
    {
      DespoolScope inside(job.hops, job.reprintBudget);
      outcome = SendToPort(job, lock.Fd());
    }
    if (outcome.status != ERROR_SUCCESS) ReportFailure(PortFailure(outcome));
  }
  const bool noteLeft = std::exchange(describedAsSent, 0) == id;
  if (outcome.status == ERROR_SUCCESS && reported.Failures().empty()) {
    TakeReleased(id);
    LeaveSpool(id, lock, true, noteLeft);
    return ERROR_SUCCESS;
  }
  // The port may have changed the job meanwhile (SetJob). A port that reported the job printed
  // in full has removed its description (or made it the job's note): it is not brought back.
  // (A job whose despool reported failures keeps its description: SetJob leaves it, see
  // DespoolReportedFailures.)
  const JobDescription sent = job;
  bool restored = false;
  const bool removed = ReadJob(id, job) == ERROR_INVALID_PARAMETER;
  if (TakeReleased(id) || removed) {
    if (reported.Failures().empty()) {
      LeaveSpool(id, lock, outcome.status == ERROR_SUCCESS, noteLeft);
      return outcome.status;
    }
    job = sent;  // failures came after the port's report: the job is brought back to be kept
    restored = true;
    // Back in the spool: no note may say it was sent.
    if (noteLeft) ForgetSent(id);
  }
  // A job during whose despool a failure was reported is kept, even when its port took it:
  // its data is all that is left of it, and a retry runs the port's whole script again.
  job.state = "failed";
  job.printed = false;
  job.errorCode = outcome.status != ERROR_SUCCESS ? outcome.status : StatusOf(reported.Failures());
  job.error = Describe(reported.Failures());
  if (job.error.empty()) job.error = Describe(outcome);
  // A job accepted without a flush stays in the spool from here on: it is made durable now
  // (data, then this description, then the folder). Should that fail, its description keeps
  // the mark and whoever shows its number makes it durable or says it could not.
  if (!job.unflushedBoot.empty() && MakeJobDurable(job, lock.Fd()) == ERROR_SUCCESS) return job.errorCode;
  // Flushed before its rename (WriteJob): it replaces the job's only description.
  WriteJob(job);
  if (restored) FlushSpoolFolder();
  return job.errorCode;
}

DWORD DespoolOne(DWORD id, bool wait, bool retryFailed) {
  // Sent by this thread in its open group (its claim, on another descriptor, would make a
  // wait here wait forever).
  if (HeldInGroup(id)) return ERROR_INVALID_PARAMETER;
  JobLock lock;
  if (DWORD status = lock.Acquire(id, wait); status != ERROR_SUCCESS)
    return status == ERROR_INVALID_PARAMETER ? GoneStatus(id) : status;
  // The job's registry reads (printer, monitor, port, classes) look for other processes'
  // commits once, after the claim, and again after the monitor's lock.
  RegistryReadsOfOneJob reads;
  return DespoolClaimed(id, lock, retryFailed);
}

// Sends the jobs that were printed from inside the jobs this thread despooled.
void DespoolDeferred() {
  while (!deferredJobs.empty()) {
    DWORD id = deferredJobs.front();
    deferredJobs.pop_front();
    DespoolOne(id, true, false);
  }
}

}  // namespace

bool InsideDespool() { return despoolDepth > 0; }

bool TakeReprintBudget(unsigned& reprintBudget) {
  if (!InsideDespool() || despoolBudget == 0) return false;
  --despoolBudget;
  // Half of what is left travels with the reprint, the rest stays for the job's later
  // reprints: together they never exceed what the original job was given.
  reprintBudget = despoolBudget / 2;
  despoolBudget -= reprintBudget;
  return true;
}

bool SentInDespoolGroup(DWORD id) { return HeldInGroup(id); }

bool InDespoolGroup() { return despoolGroup.depth > 0; }

void BeginDespoolGroup() noexcept {
  if (despoolGroup.depth++ == 0) despoolGroup.outputs.emplace();
}

DWORD EndDespoolGroup() noexcept {
  if (despoolGroup.depth == 0 || --despoolGroup.depth > 0) return ERROR_SUCCESS;
  // Guards the outputs of every job of the group (their folders' entries) before any of them
  // leaves the spool.
  const DWORD status = despoolGroup.outputs->Commit();
  despoolGroup.outputs.reset();
  std::vector<HeldJob> held = std::move(despoolGroup.held);
  despoolGroup.held.clear();
  despoolGroup.released.clear();
  if (status != ERROR_SUCCESS) return status;  // all stay, to be sent again; the claims go with `held`
  for (const HeldJob& job : held) {
    try {
      if (job.sent)
        RetireSentJob(job.id);
      else
        RemoveJobFiles(job.id);
    } catch (...) {
      // Out of memory for a path: the job stays, sent again later (a duplicate, not a loss).
    }
  }
  return ERROR_SUCCESS;
}

DWORD KeepJobInSpool(DWORD id) {
  if (HeldInGroup(id)) return ERROR_BUSY;  // its claim is this thread's until the group ends
  JobLock lock;
  DWORD status = lock.Acquire(id, true);
  if (status == ERROR_INVALID_PARAMETER) return ERROR_SUCCESS;  // it left the spool
  if (status != ERROR_SUCCESS) return status;
  JobDescription job;
  status = ReadJob(id, job);
  if (status == ERROR_INVALID_PARAMETER) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  return MakeJobDurable(job, lock.Fd());
}

bool ReadJobInHand(DWORD id, JobDescription& job) {
  if (!descriptionInHand || descriptionInHand->id != id) return ReadJob(id, job) == ERROR_SUCCESS;
  job = *descriptionInHand;
  return true;
}

bool IsJobInHand(DWORD id) { return descriptionInHand && descriptionInHand->id == id; }

void ReleasePrintedJob(DWORD id) {
  if (descriptionInHand && descriptionInHand->id == id) descriptionInHand = nullptr;  // gone now, or soon
  if (despoolGroup.depth > 0 && InsideDespool() && watchedJob == id) {
    despoolGroup.released.push_back(id);
    return;
  }
  // The job in hand: its description becomes the note that says it was sent, so that when the
  // despool ends only its data goes (the note is what the job would leave anyway).
  if (InsideDespool() && watchedJob == id) {
    if (RetireDescriptionAsSent(id)) describedAsSent = id;
    return;
  }
  RemoveJobDescription(id);
}

bool DespoolReportedFailures(DWORD id) {
  return watchedFailures && watchedJob == id && !watchedFailures->Failures().empty();
}

bool DespoolingJobHops(unsigned& hops) {
  if (!InsideDespool()) return false;
  hops = despoolHops;
  return true;
}

DWORD DespoolJob(DWORD id, bool wait, bool retryFailed) {
  if (InsideDespool()) {
    deferredJobs.push_back(id);
    return ERROR_SUCCESS;
  }
  DWORD status = DespoolOne(id, wait, retryFailed);
  DespoolDeferred();
  return status;
}

DWORD DespoolWaitingJobs() {
  if (InsideDespool()) return ERROR_SUCCESS;
  SweepSpool();
  DWORD first = ERROR_SUCCESS;
  for (const SpooledJob& job : SpooledJobs()) {
    const DWORD id = job.id;
    if (job.state == "failed") continue;
    DWORD status = DespoolOne(id, false, false);
    if (status == ERROR_BUSY || status == ERROR_INVALID_PARAMETER) continue;  // another has it
    if (first == ERROR_SUCCESS) first = status;
    DespoolDeferred();
  }
  return first;
}

}  // namespace qv::spool
