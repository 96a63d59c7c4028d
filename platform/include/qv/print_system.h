// The embedded print system, seen from the Linux side (the quorvane command and tests). The
// monitor reaches the same printers and jobs only through the spooler API of winspool.h.
// Every call returns 0 or a Win32 status code; none throws.
#pragma once
#include <windef.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

struct PrinterEntry {
  std::string name;
  std::string port;
  std::string driver;
};

struct JobSubmission {
  std::string printer;
  std::string document;  // the job's document name
  std::string user;      // also the notify name
  std::string machine;
  unsigned hops = 0;     // how many times this job's data has already been reprinted
};

struct JobEntry {
  DWORD id = 0;
  std::string printer;
  std::string document;
  std::string user;
  uint64_t size = 0;
  std::string state;  // "waiting", "printing", "failed"
  std::string error;  // the failure's text, for a failed job
};

// Called while data is spooled: bytes so far (total is 0 when unknown).
using SpoolProgress = std::function<void(uint64_t done, uint64_t total)>;

DWORD AddPrinter(const std::string& name, const std::string& port, const std::string& driver);
DWORD DeletePrinter(const std::string& name);
DWORD ListPrinters(std::vector<PrinterEntry>& printers);

// Spools the data read from `fd` whole into <prefix>/spool/ as a new job of `job.printer` and
// returns its id. Nothing is left in the spool when this fails.
DWORD SpoolJob(const JobSubmission& job, int fd, DWORD& jobId, const SpoolProgress& progress = {});

// Sends a spooled job through its printer's port; the spool file is deleted once the port has
// taken it. A job that fails stays in the spool, marked failed with its error.
DWORD DespoolJob(DWORD jobId);

// Despools every job waiting in the spool, oldest first (jobs left by a crash, reprints).
DWORD DespoolWaitingJobs();

DWORD ListJobs(std::vector<JobEntry>& jobs);

}  // namespace qv
