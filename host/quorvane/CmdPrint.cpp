// quorvane print: spools each file (or standard input) whole as a job of a printer, sends the
// jobs through the printer's port, prints the jobs' numbers once each is printed or safely in
// the spool, and then sends any job left waiting in the spool.
#include "Command.h"
#include "CupsCommands.h"
#include "InputFile.h"
#include "PrintSystemChoice.h"
#include "OptionParser.h"
#include "StatusText.h"
#include "StderrSink.h"

#include <qv/durability_group.h>
#include <qv/prefix.h>
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
#include <memory>
#include <algorithm>

namespace qv::cli {
namespace {

const char kUsage[] =
    "usage: quorvane print [-d|--printer NAME] [--title TITLE] [--user USER] [--machine MACHINE]\n"
    "                      [--] [FILE... | -]\n"
    "Prints each FILE as a job of its own, or standard input when FILE is \"-\" or not given.\n"
    "Without a printer the only printer is used. Once each job is printed, or safely in the\n"
    "spool, one line per job tells its request id: \"request id is PRINTER-NUMBER (1 file(s))\".\n"
    "A job that fails is told on standard error, kept in the spool (\"quorvane jobs\") and\n"
    "makes the command exit 1.\n"
    "Under CUPS each file is submitted as a raw job of the CUPS queue, owned by USER, and the\n"
    "command returns once CUPS has them (\"quorvane jobs\" and lpstat show them).";

// "-d PRINTER" and "-dPRINTER" as lp takes them, as --printer; any other short option is refused
// rather than read as a file name ("--" ends the options, for a file named "-x").
std::vector<std::string> LongOptions(const std::vector<std::string>& args) {
  std::vector<std::string> result;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      result.insert(result.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-' || arg[1] == '-') {
      result.push_back(arg);
    } else if (arg == "-d") {
      if (i + 1 >= args.size()) throw UsageError("-d needs a printer");
      result.push_back("--printer=" + args[++i]);
    } else if (arg.compare(0, 2, "-d") == 0) {
      result.push_back("--printer=" + arg.substr(2));
    } else {
      throw UsageError("unknown option \"" + arg + "\"");
    }
  }
  return result;
}

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

// Sends a job through its port, and the jobs its port printed again; false when anything
// failed. The failures have been told on stderr by then, one line each; a failed job stays in
// the spool for a retry.
bool Despool(DWORD id) {
  const size_t toldBefore = StderrSink::Delivered();
  DWORD status = DespoolJob(id);
  if (status == ERROR_FILE_NOT_FOUND) {
    std::fprintf(stderr, "quorvane: job %u failed: its data vanished from the spool before it was sent\n",
                 static_cast<unsigned>(id));
    return false;
  }
  if (status != ERROR_SUCCESS && status != ERROR_INVALID_PARAMETER) {  // 87: sent by another
    std::fprintf(stderr, "quorvane: %s\n", JobFailedText(id, status, toldBefore).c_str());
    return false;
  }
  if (StderrSink::Delivered() == toldBefore) return true;
  std::fprintf(stderr, "quorvane: a job printed from job %u failed; it is kept in the spool (\"quorvane jobs\" lists it)\n",
               static_cast<unsigned>(id));
  return false;
}

std::string Shown(const std::string& path) { return path == "-" ? "standard input" : path; }

// A file that could not be spooled. What failed is the spool, not the file (it was opened
// already): the message names the spool folder, or the registry that numbers the jobs, with its
// path. When the spool folder (or the prefix it would be made in) refuses this user, that is
// said, whatever status the spool met first.
std::string SpoolFailure(const std::string& shown, DWORD status) {
  const std::string prefix = qv::ChosenPrefixDir();
  const std::string spool = prefix + "/spool";
  std::error_code ignored;
  const bool made = std::filesystem::exists(spool, ignored);
  const std::string what = "cannot spool " + shown;
  if (made && !std::filesystem::is_directory(spool, ignored))
    return what + ": the spool folder " + spool + " is not a folder";
  const std::string folder = made ? spool : prefix;
  if (access(folder.c_str(), W_OK | X_OK) != 0 && errno == EACCES) return PermissionText(folder);
  if (IsStoreFailure(status) && status != ERROR_ACCESS_DENIED) return StatusFailureText(what, status);
  if (const std::string lock = SpoolLockFailureFile(); !lock.empty())
    return what + ": the spool's lock file " + lock + " (remove it: it is made again): " + StatusText(status);
  return what + ": the spool folder " + spool + ": " + StatusText(status);
}

int RunPrint(const std::vector<std::string>& args) {
  OptionParser options(LongOptions(args), {"--printer", "--title", "--user", "--machine"});
  std::vector<std::string> paths = options.Operands();
  if (paths.empty()) paths.push_back("-");
  if (std::count(paths.begin(), paths.end(), "-") > 1)
    throw UsageError("standard input (\"-\") can be printed only once");
  // An empty name is most often a script's unset variable: refused, rather than left waiting
  // on standard input.
  if (std::count(paths.begin(), paths.end(), "") > 0)
    throw UsageError("an empty file name can't be printed (\"-\" prints standard input)");
  // A folder without an installation is told as such, and nothing is made in it.
  RequireInstallation();
  if (UsingCups()) {
    if (options.Value("--machine")) throw UsageError("CUPS records the machine of a job itself: leave out --machine");
    return PrintWithCups(options.Value("--printer"), paths, options.Value("--title"),
                         options.Value("--user").value_or(LoginName()));
  }
  JobSubmission job;
  job.printer = ChoosePrinter(options);
  job.user = options.Value("--user").value_or(LoginName());
  job.machine = options.Value("--machine").value_or(HostName());
  const std::optional<std::string> title = options.Value("--title");

  // Every file is opened before any is spooled: a name mistyped prints nothing.
  std::vector<std::unique_ptr<InputFile>> inputs;
  for (const std::string& path : paths) inputs.push_back(std::make_unique<InputFile>(path));

  // Spooled one after the other and accepted in batches, then sent. Nothing of a job is flushed
  // in the spool unless it stays there: a job its port takes in full needs its output on disk,
  // which its port's despool flushes. A job's number is shown once it is sent, or once it is
  // durable in the spool (it failed, or its output could not be flushed); until then a crash of
  // the process leaves it to the next despool, and a crash of the machine drops it unshown.
  // Files after one that fails are not spooled; the jobs accepted before it are sent.
  ReserveJobIds(static_cast<DWORD>(paths.size()));
  std::vector<DWORD> ids;        // accepted
  std::vector<DWORD> unflushed;  // spooled, not accepted yet
  std::string failure;
  size_t failedFile = paths.size();  // the file the failure is about
  bool failureNamesFile = true;      // else it is about the printer, which no file got to
  auto accept = [&] {
    if (unflushed.empty()) return true;
    DWORD status = AcceptSpoolToSendNow();
    if (status != ERROR_SUCCESS) {
      std::fprintf(stderr, "quorvane: the spool folder %s/spool can't take the jobs: %s\n", qv::ChosenPrefixDir().c_str(),
                   StatusText(status).c_str());
      failedFile = ids.size();
      failure = Shown(paths[failedFile]) + (unflushed.size() > 1 ? " and the files after it" : "") +
                " were not accepted into the spool";
      unflushed.clear();
      return false;
    }
    ids.insert(ids.end(), unflushed.begin(), unflushed.end());
    unflushed.clear();
    return true;
  };
  for (size_t i = 0; i < paths.size(); ++i) {
    job.document = title.value_or(paths[i] == "-" ? "stdin" : std::filesystem::path(paths[i]).filename().string());
    DWORD id = 0;
    ProgressBar bar;
    DWORD status = SpoolJobUnflushed(job, inputs[i]->Fd(), id, [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
    inputs[i].reset();
    if (status != ERROR_SUCCESS) {
      if (!accept()) break;  // the jobs before the file that failed are accepted all the same
      failedFile = i;
      failureNamesFile = status != ERROR_INVALID_PRINTER_NAME;
      failure = status == ERROR_INVALID_PRINTER_NAME ? "printer \"" + job.printer + "\" does not exist" + InPrefix()
                                                     : SpoolFailure(Shown(paths[i]), status);
      break;
    }
    unflushed.push_back(id);
    if ((unflushed.size() == kUnflushedJobsMax || i + 1 == paths.size()) && !accept()) break;
  }
  if (!failure.empty()) std::fprintf(stderr, "quorvane: %s\n", failure.c_str());
  bool sent = true;
  {
    // The batch's outputs are made durable together, before its jobs leave the spool.
    DespoolGroup group;
    for (DWORD id : ids) sent = Despool(id) && sent;
    if (DWORD status = group.End(); status != ERROR_SUCCESS) {
      const std::string folder = qv::DurabilityFailureFolder();
      std::fprintf(stderr, "quorvane: the output folder %s can't be flushed, the jobs stay in the spool: %s\n",
                   folder.empty() ? "of a job" : folder.c_str(), StatusText(status).c_str());
      sent = false;
    }
  }
  // Every job is now sent or in the spool; one still there is made durable before its number
  // is shown.
  for (DWORD id : ids) {
    if (DWORD status = KeepJobInSpool(id); status != ERROR_SUCCESS) {
      std::fprintf(stderr,
                   "quorvane: job %u stays in the spool, but it could not be flushed there (a crash of the machine "
                   "may lose it): %s\n",
                   static_cast<unsigned>(id), StatusText(status).c_str());
      sent = false;
    }
    std::printf("request id is %s-%u (1 file(s))\n", job.printer.c_str(), static_cast<unsigned>(id));
  }
  std::fflush(stdout);
  DespoolWaitingJobs();  // jobs a crash or a reprint left behind; their failures stay listed
  if (!failure.empty()) {
    if (!failureNamesFile)
      std::fprintf(stderr, "quorvane: %zu file(s) were not printed\n", paths.size() - failedFile);
    else if (paths.size() > failedFile + 1)
      std::fprintf(stderr, "quorvane: %zu file(s) after it were not printed\n", paths.size() - failedFile - 1);
    return 1;
  }
  return sent ? 0 : 1;
}

const CommandRegistrar kRegister({"print", "print a file through a printer", kUsage, &RunPrint});

}  // namespace
}  // namespace qv::cli
