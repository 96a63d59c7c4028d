// The print systems behind the spooler API of winspool.h, seen from the Linux side (the quorvane
// command, hosts and tests). The monitor and the job processor reach the same printers and jobs
// only through winspool.h.
// Every function here returns 0 or a Win32 status code; none throws.
#pragma once
#include <windef.h>
#include <winspool.h>
#include <winsplp.h>
#include <qv/status_text.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

// ---- Choosing the print system -------------------------------------------------------------

// What answers the spooler API. Each member has the signature and the duty of the spooler
// function of the same name: it returns the function's result and sets the last error. The
// defaults refuse with ERROR_NOT_SUPPORTED, so a print system (or a recording one in a test)
// overrides only what it offers. No member may throw.
class PrintSystem {
 public:
  virtual ~PrintSystem() = default;

  virtual BOOL OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
  virtual BOOL OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults);
  virtual BOOL ClosePrinter(HANDLE printer);
  virtual BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD cbBuf,
                       LPDWORD needed);
  virtual BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);
  virtual DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo);
  virtual BOOL StartPagePrinter(HANDLE printer);
  virtual BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD cbBuf, LPDWORD written);
  virtual BOOL EndPagePrinter(HANDLE printer);
  virtual BOOL EndDocPrinter(HANDLE printer);
  virtual BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printers,
                             DWORD cbBuf, LPDWORD needed, LPDWORD returned);
  virtual BOOL EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD cbBuf, LPDWORD needed,
                          LPDWORD returned);
  virtual BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD cbBuf,
                           LPDWORD needed);
  virtual BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command);
  virtual BOOL AddMonitorW(LPWSTR name, DWORD level, LPBYTE monitor);
  virtual BOOL DeleteMonitorW(LPWSTR name, LPWSTR environment, LPWSTR monitorName);
  virtual BOOL AddPortW(LPWSTR name, HWND window, LPWSTR monitorName);
  virtual BOOL ConfigurePortW(LPWSTR name, HWND window, LPWSTR portName);
  virtual BOOL DeletePortW(LPWSTR name, HWND window, LPWSTR portName);
};

// The print system that answers the spooler API: the embedded one unless a host chose another.
PrintSystem& CurrentPrintSystem();
// Makes `system` answer the spooler API from now on; null returns to the embedded one. The
// caller keeps `system` alive while it is chosen.
void SetPrintSystem(PrintSystem* system);
// The embedded print system itself, whichever is chosen: another print system keeps its
// monitors and ports there (they live in the registry in every print system).
PrintSystem& EmbeddedSystem();

// The installed monitor `name`, loaded and initialised once for the process as the embedded
// print system loads it; `table` receives its entry points. ERROR_UNKNOWN_PRINT_MONITOR when it
// is not installed; a library that can't be loaded gives its status and, in `problem`, why.
DWORD LoadPortMonitor(const std::string& name, MONITOR& table, std::string& problem);

// ---- The embedded print system --------------------------------------------------------------
// Printers and monitors live in the registry as on Windows; jobs are spooled whole to
// <prefix>/spool/ and despooled through their printer's port.

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
  unsigned hops = 0;
};

// How often one job's data may be printed again in a row. A job printed from inside the despool
// of a job that already has this many hops (StartDocPrinterA, or SpoolJob with more hops) is
// refused with ERROR_PRINTQ_FULL: a port whose script prints back to its own printer would
// otherwise fill the spool forever.
inline constexpr unsigned kMaxReprintHops = 4;

// How many reprints one original job may cause in all, over every hop: a script with several
// reprints to its own printer would otherwise multiply jobs with each hop. Past it a document
// printed from inside a despool is refused with ERROR_NOT_ENOUGH_QUOTA.
inline constexpr unsigned kReprintBudget = 64;

// Called while data is spooled: bytes so far (total is 0 when unknown).
using SpoolProgress = std::function<void(uint64_t done, uint64_t total)>;

// The driver a printer gets when none is named.
inline constexpr const char* kDefaultPrinterDriver = "Generic / Text Only";

// Adds a printer on `port` (any non-empty port name: a monitor may report it later).
// ERROR_INVALID_PRINTER_NAME for a name that can't be a printer's, ERROR_UNKNOWN_PORT for an
// empty port, ERROR_PRINTER_ALREADY_EXISTS.
DWORD AddPrinter(const std::string& name, const std::string& port, const std::string& driver);
// ERROR_INVALID_PRINTER_NAME when there is no such printer, ERROR_PRINTER_HAS_JOBS_QUEUED while
// jobs of the printer are in the spool.
DWORD DeletePrinter(const std::string& name);
DWORD ListPrinters(std::vector<PrinterEntry>& printers);

// Spools the data read from `fd` whole into <prefix>/spool/ as a new job of `job.printer` and
// returns its id. Nothing is left in the spool when this fails. ERROR_PRINTQ_FULL when
// `job.hops` is above kMaxReprintHops.
DWORD SpoolJob(const JobSubmission& job, int fd, DWORD& jobId, const SpoolProgress& progress = {});

// Group commit for a batch of jobs: each is written into the spool like SpoolJob (its number
// is known at once) but stays under temporary names, unflushed; FlushSpool flushes the whole
// batch at once (one syncfs for three jobs or more), renames its files into place and flushes
// the spool folder. A job spooled this way is not accepted (its number must not be shown, it
// can't be despooled) until FlushSpool has succeeded; when it fails, no job of the batch counts
// as spooled. A thread holds at most kUnflushedJobsMax such jobs (each keeps a file open):
// beyond, ERROR_TOO_MANY_OPEN_FILES until FlushSpool.
DWORD SpoolJobUnflushed(const JobSubmission& job, int fd, DWORD& jobId, const SpoolProgress& progress = {});
DWORD FlushSpool();
// Accepts this thread's jobs spooled with SpoolJobUnflushed like FlushSpool, but flushes
// nothing, for a caller that sends them at once (DespoolJob): a job its port takes in full
// needs its output on disk, not its spool files. Before the caller shows a job's number it
// calls KeepJobInSpool, which makes the job durable if it is still in the spool (it failed, or
// its output could not be flushed); a job that failed is made durable by its despool already.
// Until then a crash of the process leaves the job to be sent by the next despool; a crash of
// the machine may cut its files short, so it is dropped at the next start (its number was never
// shown). Where the boot can't be told apart, the jobs are accepted as FlushSpool does.
DWORD AcceptSpoolToSendNow();
// ERROR_SUCCESS once job `id` is durable in the spool or has left it; waits while another
// process sends it. Call it outside a DespoolGroup that sent the job (ERROR_BUSY there).
DWORD KeepJobInSpool(DWORD id);
// After SpoolJob or SpoolJobUnflushed failed: the file in the spool it failed on when that was
// the lock file that numbers jobs (a folder or a dangling link in its place), else empty.
std::string SpoolLockFailureFile();
inline constexpr size_t kUnflushedJobsMax = 64;
// Tells the print system that `count` jobs are about to be spooled by this process, so their
// numbers are reserved in one step (and stay consecutive).
void ReserveJobIds(DWORD count);

// Sends a spooled job through its printer's port; the spool files are deleted once the port has
// taken it. A job that fails stays in the spool, marked failed with its error, and its status
// code is returned. When another process is despooling the job, this waits for it and reports
// its outcome. A job that failed earlier is only tried again with `retryFailed`; without it, its
// earlier status is returned. ERROR_INVALID_PARAMETER: the job is no longer in the spool because
// a despooler sent it (another process, meanwhile); ERROR_FILE_NOT_FOUND: its spool files are
// gone without having been sent (or it never existed), a failure.
// Called while this process despools another job (a job printed from inside a job), it leaves
// the job waiting: the outer despool sends it once its own job has ended.
DWORD DespoolJob(DWORD jobId, bool retryFailed = false);

// Despools jobs as a group, for a process that sends many: while a DespoolGroup is open on the
// calling thread, a job sent in full keeps its spool entry (and its claim) until End, which
// flushes the folders the group's outputs were renamed into, once per folder, and only then
// lets the jobs leave the spool. Each output is still flushed and renamed by its copy, so a
// crash before End leaves a job both delivered and spooled (sent again: a duplicate, never a
// loss). End returns the flush's failure; the jobs then stay in the spool. Groups nest.
class DespoolGroup {
 public:
  DespoolGroup() noexcept;
  ~DespoolGroup();  // ends the group if End was not called
  DespoolGroup(const DespoolGroup&) = delete;
  DespoolGroup& operator=(const DespoolGroup&) = delete;
  DWORD End() noexcept;

 private:
  bool ended_ = false;
};

// Despools every job waiting in the spool, oldest first (jobs left by a crash, reprints); jobs
// that another process is despooling are left to it. Returns the first failure's status.
DWORD DespoolWaitingJobs();

DWORD ListJobs(std::vector<JobEntry>& jobs);
// ERROR_INVALID_PARAMETER when the job is not in the spool.
DWORD GetJobEntry(DWORD jobId, JobEntry& job);
// Removes a job that is not being despooled; ERROR_BUSY while it is.
DWORD DeleteJob(DWORD jobId);

}  // namespace qv
