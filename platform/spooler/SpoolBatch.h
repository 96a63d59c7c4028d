// Jobs written into the spool under temporary names and accepted together. Their files are
// flushed first (one syncfs of the spool's file system for a batch, a flush per file for one or
// two jobs), then renamed into place, data before description, then the spool folder is flushed
// once: only then are the jobs accepted.
#pragma once
#include "AtomicFile.h"
#include "JobDescription.h"

#include <windef.h>

#include <memory>
#include <vector>

namespace qv::spool {

// A job whose data is written under a temporary name. The data file is flocked from its
// creation until the job is accepted or given up, so the sweep leaves it alone; its description
// is only written when the job is accepted, so that a long batch leaves no description under a
// temporary name for the sweep to find old.
struct StagedJob {
  JobDescription job;
  AtomicFile data;
};

// From this many jobs on, one syncfs of the spool's file system costs less than a flush per
// file: a flush waits for the disk's cache each time, a syncfs once.
inline constexpr size_t kWholeFileSystemFlushFrom = 3;

enum class Acceptance {
  kDurable,    // flushed and placed: the job survives a crash of the machine
  kToSendNow,  // placed unflushed, marked with the boot, for a caller that sends it at once
};

// Writes the descriptions, flushes, places and accepts `jobs`, in order. On failure no job of
// the batch is accepted: the jobs already placed are removed again, the files still under
// temporary names go with `jobs`.
// kToSendNow skips every flush: a job its port takes in full needs its output on disk, not its
// spool files, so the caller makes durable (MakeJobDurable) only the jobs that stay in the spool,
// before it shows their numbers. Where the boot can't be told (BootId() empty) the jobs are
// accepted durably.
DWORD AcceptJobs(std::vector<std::unique_ptr<StagedJob>>& jobs, Acceptance how = Acceptance::kDurable);

}  // namespace qv::spool
