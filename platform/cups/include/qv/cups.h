// CUPS as the print system: the queues of a CUPS scheduler are the printers, a CUPS backend
// job is the job in hand, raw printing submits CUPS jobs. Linux-side only (hosts and tests);
// the monitor and the job processor reach it through the spooler API. Nothing here throws.
// The scheduler is the one libcups finds (CUPS_SERVER, then the client configuration).
#pragma once
#include <qv/print_system.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv::cups {

// The device URI scheme of Quorvane's ports: "quorvane:/<port name, percent-encoded>".
inline constexpr const char* kScheme = "quorvane";
// The job option that carries how often a job's data has already been reprinted.
inline constexpr const char* kHopsOption = "quorvane-hops";
// The job option that carries how many reprints the job may still cause (kReprintBudget when
// absent: an original job).
inline constexpr const char* kBudgetOption = "quorvane-budget";
// Where a queue moved to "FILE:" sends its jobs: accepted and dropped.
inline constexpr const char* kNullDeviceUri = "file:///dev/null";

// The ports `monitor` reports through the embedded print system's EnumPorts (names compared
// without case); none when its listing fails.
std::vector<std::string> PortsOfMonitor(const std::string& monitor);
// The port a device URI names: the port of a "quorvane:" URI (percent-decoded), "FILE:" for a
// "file:" URI, else the URI itself.
std::string PortOfDeviceUri(const std::string& uri);
// The device URI for a port: the inverse of PortOfDeviceUri ("FILE:" gives kNullDeviceUri; a
// port that already is a URI stays as it is).
std::string DeviceUriOfPort(const std::string& port);
// The port of a "quorvane:" URI, or nothing for any other URI or a bad encoding.
std::optional<std::string> QuorvanePort(const std::string& uri);
std::string PercentDecode(const std::string& text, bool& ok);
std::string PercentEncode(const std::string& text);

// The value of `name` in a backend's option text ("a=1 b='x y' c"), when it is there.
std::optional<std::string> OptionValue(const std::string& options, const std::string& name);

// The job a CUPS backend was started for, as its arguments and environment give it.
struct BackendJob {
  DWORD id = 0;
  std::string printer;      // PRINTER: the queue
  std::string user;         // argv[2]: the original user
  std::string title;        // argv[3]
  std::string options;      // argv[5]
  std::string contentType;  // CONTENT_TYPE
  uint64_t size = 0;        // the document's size (0 when it comes on standard input)
  unsigned hops = 0;        // from kHopsOption
  unsigned reprintBudget = kReprintBudget;  // from kBudgetOption; each reprint takes its share
};

// The CUPS print system. With a backend job, GetJobW and SetJobW answer that job; printers
// are the scheduler's queues; monitors and ports stay in the registry as in the embedded
// print system, and installing the monitor installs the backend too.
class CupsPrintSystem : public PrintSystem {
 public:
  explicit CupsPrintSystem(std::optional<BackendJob> job = std::nullopt);
  ~CupsPrintSystem() override;
  CupsPrintSystem(const CupsPrintSystem&) = delete;
  CupsPrintSystem& operator=(const CupsPrintSystem&) = delete;

  // Whether SetJobW recorded the backend's job as printed (JOB_CONTROL_LAST_PAGE_EJECTED).
  bool JobPrinted() const;

  BOOL OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) override;
  BOOL OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) override;
  BOOL ClosePrinter(HANDLE printer) override;
  BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD cbBuf, LPDWORD needed) override;
  BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) override;
  DWORD StartDocPrinterA(HANDLE printer, DWORD level, LPBYTE docInfo) override;
  BOOL StartPagePrinter(HANDLE printer) override;
  BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD cbBuf, LPDWORD written) override;
  BOOL EndPagePrinter(HANDLE printer) override;
  BOOL EndDocPrinter(HANDLE printer) override;
  BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printers, DWORD cbBuf, LPDWORD needed,
                     LPDWORD returned) override;
  BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD cbBuf, LPDWORD needed) override;
  BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) override;
  BOOL EnumPortsW(LPWSTR name, DWORD level, LPBYTE ports, DWORD cbBuf, LPDWORD needed, LPDWORD returned) override;
  BOOL AddMonitorW(LPWSTR name, DWORD level, LPBYTE monitor) override;
  BOOL DeleteMonitorW(LPWSTR name, LPWSTR environment, LPWSTR monitorName) override;
  BOOL AddPortW(LPWSTR name, HWND window, LPWSTR monitorName) override;
  BOOL ConfigurePortW(LPWSTR name, HWND window, LPWSTR portName) override;
  BOOL DeletePortW(LPWSTR name, HWND window, LPWSTR portName) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- Queues and jobs, for the quorvane command ----------------------------------------------

struct Queue {
  std::string name;
  std::string deviceUri;
  std::string port;  // PortOfDeviceUri(deviceUri)
  std::string makeAndModel;
  std::string info;
  std::string location;
  int state = 3;           // 3 idle, 4 processing, 5 stopped
  std::string stateMessage;
  bool accepting = true;
  DWORD jobCount = 0;
};

// The scheduler's queues, by name (case-insensitive), so the order is stable.
DWORD ListQueues(std::vector<Queue>& queues);
// ERROR_INVALID_PRINTER_NAME when there is no such queue.
DWORD GetQueue(const std::string& name, Queue& queue);
// A raw queue (no driver) on `port`, enabled and accepting jobs. ERROR_PRINTER_ALREADY_EXISTS,
// ERROR_INVALID_PRINTER_NAME for a name CUPS can't take.
DWORD AddRawQueue(const std::string& name, const std::string& port, const std::string& info);
DWORD DeleteQueue(const std::string& name);
DWORD SetQueuePort(const std::string& name, const std::string& port);

// Submits the data read from `fd` as one raw job of `queue`, owned by `user`, and returns its
// id. Does not wait for it to print.
DWORD SubmitRawJob(const std::string& queue, const std::string& title, const std::string& user, int fd,
                   DWORD& jobId);

struct CupsJob {
  DWORD id = 0;
  std::string queue;
  std::string title;
  std::string user;
  uint64_t size = 0;
  std::string state;  // "pending", "held", "processing", "stopped", ...
};
// The scheduler's unfinished jobs, oldest first.
DWORD ListActiveJobs(std::vector<CupsJob>& jobs);

// ---- The backend -----------------------------------------------------------------------------

// CUPS's folder of helper programs: CUPS_SERVERBIN when set (cupsd sets it for its backends),
// else the folder CUPS was built with.
std::string ServerBin();
// Where the backend is installed: <ServerBin()>/backend/quorvane.
std::string InstalledBackendPath();
// The backend program to install: the one built beside this library in a build tree, else the
// one an installed tree put in <prefix>/lib/cups/backend, else the one in CUPS's own folder.
std::string BackendSource();
// Copies `source` to InstalledBackendPath(), root-owned and mode 0700 (so that cupsd runs it as
// root), replacing what is there in one rename.
DWORD InstallBackend(const std::string& source);
// ERROR_SUCCESS when there was nothing to remove.
DWORD RemoveBackend();

}  // namespace qv::cups

namespace qv::cups {
// The scheduler's own words for this thread's last failed request ("The printer or class does
// not exist."), for messages that add them to the status text.
std::string LastSchedulerMessage();
}  // namespace qv::cups

namespace qv::cups {
// Cancels a job of the scheduler; ERROR_INVALID_PRINTER_NAME when there is no such job.
DWORD CancelJob(DWORD jobId);
}  // namespace qv::cups

namespace qv::cups {
// Makes this thread's requests go to `server` (a socket path or host); empty: back to
// CUPS_SERVER and the client configuration.
void UseScheduler(const std::string& server);
}  // namespace qv::cups

namespace qv::cups {
// Every function the quorvane command needs from this library, in one table. The command loads
// the library (and with it libcups) only when CUPS is the print system in use: it opens it with
// dlopen and looks the table up by kEntryPointsSymbol, so the embedded print system's commands
// start without libcups and the libraries it pulls in.
struct EntryPoints {
  // sizeof(EntryPoints) as the library was built: a table of another layout is refused.
  size_t size = sizeof(EntryPoints);
  std::unique_ptr<PrintSystem> (*newPrintSystem)();
  DWORD (*listQueues)(std::vector<Queue>& queues);
  DWORD (*addRawQueue)(const std::string& name, const std::string& port, const std::string& info);
  DWORD (*deleteQueue)(const std::string& name);
  DWORD (*setQueuePort)(const std::string& name, const std::string& port);
  DWORD (*submitRawJob)(const std::string& queue, const std::string& title, const std::string& user, int fd,
                        DWORD& jobId);
  DWORD (*listActiveJobs)(std::vector<CupsJob>& jobs);
  DWORD (*cancelJob)(DWORD jobId);
  std::string (*lastSchedulerMessage)();
  std::optional<std::string> (*quorvanePort)(const std::string& uri);
  std::string (*deviceUriOfPort)(const std::string& port);
  std::string (*serverBin)();
  std::string (*installedBackendPath)();
  std::string (*backendSource)();
  DWORD (*installBackend)(const std::string& source);
};

// The table, filled in.
const EntryPoints& LibraryEntryPoints();
// LibraryEntryPoints' name in the library's dynamic symbol table.
inline constexpr const char* kEntryPointsSymbol = "_ZN2qv4cups18LibraryEntryPointsEv";
}  // namespace qv::cups
