// quorvane print: spools a file (or standard input) whole as a job of a printer, prints the
// job's number, then sends the job through the printer's port, and after it any job left
// waiting in the spool.
#include "Command.h"
#include "CupsCommands.h"
#include "PrintSystemChoice.h"
#include "OptionParser.h"
#include "StatusText.h"

#include <qv/print_system.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace qv::cli {
namespace {

const char kUsage[] =
    "usage: quorvane print [--printer NAME] [--title TITLE] [--user USER] [--machine MACHINE]\n"
    "                      [FILE | -]\n"
    "Prints FILE, or standard input when FILE is \"-\" or not given. Without --printer the\n"
    "only printer is used. The job's number is written to standard output.\n"
    "Under CUPS the file is submitted as a raw job of the CUPS queue, owned by USER, and the\n"
    "command returns once CUPS has it (\"quorvane jobs\" and lpstat show it).";

// Jobs larger than this show their spooling progress on a terminal.
constexpr uint64_t kProgressThreshold = 4ull << 20;

// A bar on standard error, redrawn at most ten times a second.
class ProgressBar {
 public:
  ProgressBar() : enabled_(isatty(STDERR_FILENO) == 1) {}
  ~ProgressBar() {
    if (!shown_) return;
    Draw();  // the final figures, which the rate limit may have skipped
    std::fputc('\n', stderr);
  }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(uint64_t done, uint64_t total) {
    if (!enabled_ || std::max(done, total) < kProgressThreshold) return;
    done_ = done;
    total_ = total;
    auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    Draw();
  }

 private:
  void Draw() const {
    double mib = static_cast<double>(done_) / (1 << 20);
    if (total_ == 0) {
      std::fprintf(stderr, "\rspooling %.1f MiB", mib);
    } else {
      const int width = 30;
      uint64_t shown = std::min(done_, total_);  // a file may grow while it is read
      int filled = static_cast<int>(width * shown / total_);
      std::fprintf(stderr, "\r[%-*s] %3d%% %.1f/%.1f MiB", width, std::string(filled, '#').c_str(),
                   static_cast<int>(100 * shown / total_), mib, static_cast<double>(total_) / (1 << 20));
    }
    std::fflush(stderr);
  }

  bool enabled_;
  bool shown_ = false;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
  std::chrono::steady_clock::time_point last_;
};

std::string LoginName() {
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name && *entry->pw_name)
    return entry->pw_name;
  const char* user = std::getenv("USER");
  return user && *user ? user : std::to_string(getuid());
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || !*name) return "localhost";
  return name;
}

std::string ChoosePrinter(const OptionParser& options) {
  if (std::optional<std::string> printer = options.Value("--printer")) return *printer;
  std::vector<PrinterEntry> printers;
  if (DWORD status = ListPrinters(printers)) FailWithStatus("the printers", status);
  if (printers.empty()) throw Failure("no printer is installed (add one with \"quorvane printer add\")");
  if (printers.size() > 1) throw UsageError("several printers are installed: name one with --printer");
  return printers[0].name;
}

// Opens the input: the file, or standard input for "-" or none. Closes what it opened.
class Input {
 public:
  explicit Input(const std::string& path) {
    if (path.empty() || path == "-") return;
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw Failure("cannot read " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
      close(fd_);
      throw Failure("cannot read " + path + ": it is a folder");
    }
  }
  ~Input() {
    if (fd_ != STDIN_FILENO) close(fd_);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_ = STDIN_FILENO;
};

void Despool(DWORD id) {
  DWORD status = DespoolJob(id);
  if (status == ERROR_SUCCESS || status == ERROR_INVALID_PARAMETER) return;  // 87: sent by another
  JobEntry job;
  std::string error = GetJobEntry(id, job) == ERROR_SUCCESS && !job.error.empty() ? job.error : StatusText(status);
  throw Failure("job " + std::to_string(id) + " failed: " + error);
}

int RunPrint(const std::vector<std::string>& args) {
  OptionParser options(args, {"--printer", "--title", "--user", "--machine"});
  options.ExpectOperands(0, 1);
  std::string path = options.Operands().empty() ? "-" : options.Operands()[0];
  if (UsingCups()) {
    if (options.Value("--machine")) throw UsageError("CUPS records the machine of a job itself: leave out --machine");
    return PrintWithCups(options.Value("--printer"), path,
                         options.Value("--title").value_or(
                             path == "-" ? "stdin" : std::filesystem::path(path).filename().string()),
                         options.Value("--user").value_or(LoginName()));
  }
  JobSubmission job;
  job.printer = ChoosePrinter(options);
  job.user = options.Value("--user").value_or(LoginName());
  job.machine = options.Value("--machine").value_or(HostName());
  job.document = options.Value("--title").value_or(
      path == "-" ? "stdin" : std::filesystem::path(path).filename().string());

  DWORD id = 0;
  {
    Input input(path);
    ProgressBar bar;
    DWORD status = SpoolJob(job, input.Fd(), id, [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
    if (status == ERROR_INVALID_PRINTER_NAME) throw Failure("printer \"" + job.printer + "\" does not exist");
    if (status) FailWithStatus(path == "-" ? "standard input" : path, status);
  }
  std::printf("%u\n", static_cast<unsigned>(id));
  std::fflush(stdout);
  Despool(id);
  DespoolWaitingJobs();  // jobs a crash or a reprint left behind; their failures stay listed
  return 0;
}

const CommandRegistrar kRegister({"print", "print a file through a printer", kUsage, &RunPrint});

}  // namespace
}  // namespace qv::cli
