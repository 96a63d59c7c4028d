// quorvane (CUPS backend): plays the spooler for one CUPS job on a queue whose device URI is
// "quorvane:/<port>". The job's data goes through the monitor's entry points, so the port's
// script runs on it exactly as on any other print system. Run with no arguments it lists its
// devices, as CUPS's device daemon expects.
#include "Cancellation.h"
#include "Discovery.h"
#include "ErrorLineSink.h"
#include "ExitCodes.h"
#include "Messages.h"
#include "PortJob.h"

#include <qv/cups.h>
#include <qv/diagnostics.h>
#include <qv/prefix.h>

#include <windows.h>

#include <algorithm>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qv::backend {
namespace {

const char kMonitor[] = "Quorvane";
const char kSystemPrefix[] = "/var/lib/quorvane";
const char16_t kJobProcessor[] = u"MarrowjetUI.Job";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The backend always works on the system prefix, or on the one cupsd passes (SetEnv in
// cups-files.conf); never on a per-user prefix.
std::string ChoosePrefix() {
  std::string prefix = Env("QUORVANE_PREFIX");
  if (prefix.empty()) {
    prefix = kSystemPrefix;
    setenv("QUORVANE_PREFIX", prefix.c_str(), 1);
  }
  return prefix;
}

bool Installed(const std::string& prefix) {
  struct stat info {};
  return stat((prefix + "/registry.db").c_str(), &info) == 0;
}

std::string UserName(uid_t uid) {
  if (const passwd* entry = getpwuid(uid); entry && entry->pw_name) return entry->pw_name;
  return std::to_string(uid);
}

int Discover() {
  std::vector<std::string> ports;
  if (Installed(ChoosePrefix())) ports = cups::PortsOfMonitor(kMonitor);
  std::string lines = DiscoveryLines(ports);
  std::fwrite(lines.data(), 1, lines.size(), stdout);
  return std::fflush(stdout) == 0 ? kOk : kFailed;
}

// The document: the spool file named by the scheduler, or standard input. Closed on exit.
class Document {
 public:
  explicit Document(const char* path) {
    if (!path) return;
    fd_ = open(path, O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    struct stat info {};
    if (fstat(fd_, &info) == 0) size_ = static_cast<uint64_t>(info.st_size);
  }
  ~Document() {
    if (fd_ > STDIN_FILENO) close(fd_);
  }
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;
  int Fd() const { return fd_; }
  uint64_t Size() const { return size_; }

 private:
  int fd_ = STDIN_FILENO;
  uint64_t size_ = 0;
};

int RunJob(int argc, char** argv) {
  if (geteuid() != 0) {
    Error("The quorvane backend runs as \"" + UserName(geteuid()) +
          "\": it must be owned by root with mode 0700 (chown root:root, chmod 0700) so that CUPS runs it as root");
    return kStop;
  }
  std::string uri = Env("DEVICE_URI");
  if (uri.empty()) uri = argv[0];
  std::optional<std::string> port = cups::QuorvanePort(uri);
  if (!port) {
    Error("Bad device URI \"" + uri + "\": expected quorvane:/PORT");
    return kStop;
  }
  std::string prefix = ChoosePrefix();
  if (!Installed(prefix)) {
    Error("Quorvane is not installed in " + prefix + " (run \"quorvane install --cups\")");
    return kStop;
  }
  cups::BackendJob job;
  job.id = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  job.user = argv[2];
  job.title = argv[3];
  job.options = argv[5];
  job.printer = Env("PRINTER");
  job.contentType = Env("CONTENT_TYPE");
  if (job.contentType.empty()) job.contentType = "application/octet-stream";
  job.hops = static_cast<unsigned>(std::strtoul(cups::OptionValue(job.options, cups::kHopsOption).value_or("0").c_str(), nullptr, 10));
  if (std::optional<std::string> budget = cups::OptionValue(job.options, cups::kBudgetOption))
    job.reprintBudget = static_cast<unsigned>(std::min<unsigned long>(std::strtoul(budget->c_str(), nullptr, 10), kReprintBudget));
  if (job.printer.empty()) {
    Error("PRINTER is not set: the backend must be run by the CUPS scheduler");
    return kFailed;
  }

  Document document(argc > 6 ? argv[6] : nullptr);
  if (document.Fd() < 0) {
    Error("Job " + std::to_string(job.id) + ": its file " + argv[6] + " can't be read: " + std::strerror(errno));
    return kFailed;
  }
  job.size = document.Size();

  cups::CupsPrintSystem printSystem(job);
  SetPrintSystem(&printSystem);
  ErrorLineSink sink;
  SetDiagnosticsSink(&sink);
  struct Restore {
    ~Restore() {
      SetDiagnosticsSink(nullptr);
      SetPrintSystem(nullptr);
    }
  } restore;

  MONITOR monitor{};
  std::string problem;
  if (DWORD status = LoadPortMonitor(kMonitor, monitor, problem); status != ERROR_SUCCESS) {
    Error("The monitor \"" + std::string(kMonitor) + "\" can't be used: " +
          (problem.empty() ? StatusText(status) : problem) + " (run \"quorvane install --cups\")");
    return kStop;
  }
  CLSID processor{};
  if (FAILED(CLSIDFromProgID(kJobProcessor, &processor))) {
    Error("The job processor is not registered (run \"quorvane install --cups\")");
    return kStop;
  }

  JobInHandScope inHand(JobInHand{job.printer, job.id, *port, job.title, job.user});
  Info("Capturing job " + std::to_string(job.id) + " for port \"" + *port + "\"");
  PortJobResult result = RunPortJob(monitor, *port, job.printer, job.id, job.title, job.contentType, document.Fd());
  if (result.cancelled) {
    Info("Job " + std::to_string(job.id) + " cancelled");
    return kOk;
  }
  if (!result.ok) {
    if (!result.failure.empty()) Error("Job " + std::to_string(job.id) + " on port \"" + *port + "\": " + result.failure);
    return kFailed;
  }
  if (sink.SawFailure()) return kFailed;  // each failure has had its ERROR: line
  if (!printSystem.JobPrinted()) {
    Error("Job " + std::to_string(job.id) + " on port \"" + *port + "\": the monitor did not finish the job");
    return kFailed;
  }
  Info("Job " + std::to_string(job.id) + " done: " + std::to_string(result.bytes) + " bytes through port \"" + *port + "\"");
  return kOk;
}

}  // namespace
}  // namespace qv::backend

int main(int argc, char** argv) {
  using namespace qv::backend;
  try {
    setvbuf(stderr, nullptr, _IONBF, 0);
    WatchForCancel();
    if (argc == 1) return Discover();
    if (argc < 6 || argc > 7) {
      std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
      return kFailed;
    }
    return RunJob(argc, argv);
  } catch (const std::exception& error) {
    Error(std::string("The quorvane backend failed: ") + error.what());
  } catch (...) {
    Error("The quorvane backend failed");
  }
  return kFailed;
}
