#include "SpoolBatch.h"

#include "SpoolFolder.h"
#include "Status.h"

#include <unistd.h>

#include <cerrno>

namespace qv::spool {

DWORD AcceptJobs(std::vector<std::unique_ptr<StagedJob>>& jobs, Acceptance how) {
  if (jobs.empty()) return ERROR_SUCCESS;
  const bool durable = how == Acceptance::kDurable || BootId().empty();
  std::vector<AtomicFile> descriptions(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    jobs[i]->job.unflushedBoot = durable ? std::string() : BootId();
    const std::string text = FormatDescription(jobs[i]->job);
    if (DWORD status = descriptions[i].Create(DescriptionPath(jobs[i]->job.id)); status != ERROR_SUCCESS) return status;
    if (DWORD status = descriptions[i].Write(text.data(), text.size()); status != ERROR_SUCCESS) return status;
  }
  // Guards the content of every job's data and description: each is on disk in full before any
  // of them gets its name, so a rename that outlives a crash never names a partial file.
  if (!durable) {
    // Flushed later, and only if the job stays in the spool (MakeJobDurable).
  } else if (jobs.size() >= kWholeFileSystemFlushFrom) {
    if (syncfs(jobs.front()->data.Fd()) != 0) return StatusFromErrno(errno);
  } else {
    for (size_t i = 0; i < jobs.size(); ++i) {
      if (DWORD status = jobs[i]->data.Flush(); status != ERROR_SUCCESS) return status;
      if (DWORD status = descriptions[i].Flush(); status != ERROR_SUCCESS) return status;
    }
  }
  // A job exists once its description does: the data takes its name first. A batch that
  // fails is taken back whole, so that no job its caller was told is not accepted gets sent.
  size_t placed = 0;
  auto takeBack = [&](DWORD status) {
    for (size_t i = 0; i < placed; ++i) RemoveJobFiles(jobs[i]->job.id);
    return status;
  };
  for (; placed < jobs.size(); ++placed) {
    if (DWORD status = jobs[placed]->data.Place(); status != ERROR_SUCCESS) return takeBack(status);
    if (DWORD status = descriptions[placed].Place(); status != ERROR_SUCCESS) {
      unlink(DataPath(jobs[placed]->job.id).c_str());
      return takeBack(status);
    }
  }
  // Guards the renames: only once the spool folder is flushed are the jobs accepted.
  if (durable)
    if (DWORD status = FlushSpoolFolder(); status != ERROR_SUCCESS) return takeBack(status);
  return ERROR_SUCCESS;
}

}  // namespace qv::spool
