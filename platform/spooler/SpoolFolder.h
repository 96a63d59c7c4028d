// The spool folder, <prefix>/spool/: for each job its data "<id>.spl" and its description
// "<id>.shd" beside it. A job exists once its description does: the data is renamed into place
// before, and the description removed before the data when the job goes.
#pragma once
#include "OwnedFd.h"
#include "JobDescription.h"

#include <windef.h>

#include <string>
#include <vector>

namespace qv::spool {

std::string SpoolDir();  // created on first use
std::string DataPath(DWORD id);
std::string DescriptionPath(DWORD id);
// Where the port "FILE:" leaves the jobs of `printer`: <prefix>/spool/printed/<printer>/.
std::string PrintedDir(const std::string& printer);

// The next job number, from the registry counter HKLM\SYSTEM\CurrentControlSet\Control\Print
// "NextJobId". The read and the write are two registry calls, so an flock on
// <prefix>/spool/.jobid.lock makes them one step between processes.
DWORD AllocateJobId(DWORD& id);

// ERROR_INVALID_PARAMETER when the job is not in the spool, ERROR_INVALID_DATA when its
// description can't be read.
DWORD ReadJob(DWORD id, JobDescription& job);
DWORD WriteJob(const JobDescription& job);  // atomically
// Job ids with a description in the spool, in ascending order.
std::vector<DWORD> SpooledJobIds();
// Removes the job's files, its description first.
void RemoveJobFiles(DWORD id);
// A despooler that sent a job leaves a note ("<id>.sent", swept after ten minutes), so that
// another one that finds the job gone can tell "sent by someone else" from "data vanished".
void RecordSent(DWORD id);
bool WasSent(DWORD id);
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

 private:
  OwnedFd fd_;
};

// Whether another open description of the job's data holds its claim right now.
bool IsJobClaimed(DWORD id);

}  // namespace qv::spool
