// A one-byte job of `printer` in the embedded print system, for StartDocPort to read.
#pragma once
#include <qv/print_system.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace qv::bench {

inline DWORD SpoolSmallJob(const std::string& printer) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  (void)!write(pipeFds[1], "x", 1);
  close(pipeFds[1]);
  qv::JobSubmission job;
  job.printer = printer;
  job.document = "bench";
  job.user = "bench";
  job.machine = "bench";
  DWORD jobId = 0;
  DWORD status = qv::SpoolJob(job, pipeFds[0], jobId);
  close(pipeFds[0]);
  if (status != 0) throw std::runtime_error("cannot spool a job");
  return jobId;
}

}  // namespace qv::bench
