// The spool folder, <prefix>/spool/: for each job its data "<id>.spl" and its description
// "<id>.shd" beside it. A job exists once its description does: the data is renamed into place
// before, and the description removed before the data when the job goes.
#pragma once
#include "../files/UniqueFd.h"
#include "JobDescription.h"

#include <windef.h>

#include <functional>
#include <string>
#include <vector>

namespace qv::spool {

std::string SpoolDir();  // created on first use
std::string DataPath(DWORD id);
std::string DescriptionPath(DWORD id);
// Where the port "FILE:" leaves the jobs of `printer`: <prefix>/spool/printed/<printer>/.
std::string PrintedDir(const std::string& printer);

// The next job number. Numbers are reserved in blocks of kJobIdBlock: the registry counter
// HKLM\SYSTEM\CurrentControlSet\Control\Print "NextJobId" holds the end of the last block
// reserved, committed before any of its numbers is used, so a restart begins after it and no
// number is ever handed out twice. The rest of that block is shared by the processes of this
// boot through the content of <prefix>/spool/.jobid.lock (whose flock makes taking numbers one
// step between processes), so a command that prints one file takes the next number without a
// commit. Within a process, numbers are taken as large as ReserveJobIds asked (1 by default)
// and then twice the last, up to kJobIdBlock; a process that ends leaves the rest of what it
// took unused. The rest is tied to the boot and to the lock file it was written in, so a copy of
// the file put in its place offers nothing. Where the boot or the lock file's birth time can't
// be told, or the lock file is a link to another file (never written then), each process
// reserves its own blocks in the counter.
DWORD AllocateJobId(DWORD& id);
// After AllocateJobId failed on the lock file (a folder or a dangling link put in its place):
// that file's path; empty when the last call did not fail there.
const std::string& JobIdFailureFile();
inline constexpr DWORD kJobIdBlock = 256;
// Sizes this process's next block for `count` jobs about to be spooled.
void ReserveJobIds(DWORD count);

// Flushes the spool folder, making the renames that put jobs into it durable.
DWORD FlushSpoolFolder();

// This machine's boot, as the kernel names it; empty when that can't be read (jobs are then
// always accepted durably).
const std::string& BootId();

// ERROR_INVALID_PARAMETER when the job is not in the spool, ERROR_INVALID_DATA when its
// description can't be read. A job accepted without a flush in an earlier boot is not in the
// spool: its files are removed on the way (see JobDescription::unflushedBoot), unless this
// process can't read its own boot.
DWORD ReadJob(DWORD id, JobDescription& job);
// Atomically: the description is flushed before it is renamed into place, so a crash leaves the
// old description or the new one, never an empty one. The rename itself is made durable by
// FlushSpoolFolder where a job is accepted.
DWORD WriteJob(const JobDescription& job);
// Makes a job accepted without a flush durable: its data (`dataFd`, the claim's descriptor) is
// flushed, then its description, rewritten without the mark, is flushed and renamed into place,
// then the spool folder is flushed. Nothing to do for a job accepted durably.
DWORD MakeJobDurable(JobDescription& job, int dataFd);
// Job ids with a description in the spool, in ascending order.
std::vector<DWORD> SpooledJobIds();

// What a scan of the spool needs of each job: its printer and its state.
struct SpooledJob {
  DWORD id = 0;
  std::string printer;
  std::string state;
};
// The jobs in the spool, in ascending order of id. A description is read only when it changed
// since this process last read it (a description is only ever replaced by a rename, which its
// file's identity, size and times tell), so a scan costs a status call per job, not a read.
// Only the jobs up to id `upTo` that `skip` (when given) does not name are looked at.
std::vector<SpooledJob> SpooledJobs(DWORD upTo = 0xFFFFFFFFu, const std::function<bool(DWORD)>& skip = {});
// Removes the job's files, its description first. Nothing is flushed: should the removal be
// lost in a crash, the job is sent again (a duplicate), which beats losing one.
void RemoveJobFiles(DWORD id);
// A despooler that sent a job leaves a note ("sent/<id>", swept after ten minutes), so that
// another one that finds the job gone can tell "sent by someone else" from "data vanished".
void RecordSent(DWORD id);
bool WasSent(DWORD id);
// Removes a job its port took in full and leaves its note, in that order: the description is
// renamed to the note, then the data removed.
void RetireSentJob(DWORD id);
// The description of a job its port reported printed in full becomes the job's note (one
// rename, where a removed description and a new note would make and free an inode each).
// False when the rename failed; the description is then removed and no note is left.
bool RetireDescriptionAsSent(DWORD id);
// Removes a job's data alone (its description already went) / its note (the job came back or
// was not sent after all).
void RemoveJobData(DWORD id);
void ForgetSent(DWORD id);
// Removes the description of a job its port reported printed in full; its data goes when the
// despooler lets go of it, or with the sweep.
void RemoveJobDescription(DWORD id);
// Removes a job that nobody is despooling: ERROR_BUSY while someone is, ERROR_INVALID_PARAMETER
// when it is not in the spool.
DWORD RemoveJob(DWORD id);

// Removes what spooling processes that ended left behind: data not yet renamed into place, or
// data whose description was never written. Such data is flocked while its spooler lives, so
// only abandoned files go; files under a temporary name must also be ten minutes old.
void SweepSpool();

// The claim on one job: an exclusive flock on its data file. Whoever holds it despools,
// changes or removes the job; a crash releases it.
class JobLock {
 public:
  // ERROR_INVALID_PARAMETER when the job's data is not there, ERROR_BUSY when `wait` is false
  // and another holds the claim.
  DWORD Acquire(DWORD id, bool wait);
  int Fd() const { return fd_.Get(); }
  // Hands the claim's descriptor (and so the claim) to the caller.
  int ReleaseFd() { return fd_.Release(); }

 private:
  files::UniqueFd fd_;
};

// Whether another open description of the job's data holds its claim right now.
bool IsJobClaimed(DWORD id);

}  // namespace qv::spool
