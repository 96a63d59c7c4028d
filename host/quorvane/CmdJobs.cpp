// quorvane jobs: the jobs in the spool (waiting, being printed, or failed with their error),
// and sending, retrying or removing them.
#include "Command.h"
#include "CupsCommands.h"
#include "PrintSystemChoice.h"
#include "OptionParser.h"
#include "StatusText.h"
#include "StderrSink.h"

#include <qv/print_system.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace qv::cli {
namespace {

const char kUsage[] =
    "usage: quorvane jobs               list the jobs in the spool\n"
    "       quorvane jobs --run         send every waiting job through its printer's port\n"
    "       quorvane jobs --retry ID    send a failed job again\n"
    "       quorvane jobs --delete ID   remove a job from the spool\n"
    "Under CUPS the list shows the unfinished CUPS jobs of the queues on Quorvane's ports, and\n"
    "--delete cancels one; a failed job stays held by CUPS (cupsenable QUEUE sends it again).";

DWORD JobId(const std::string& text) {
  DWORD id = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size() || id == 0)
    throw UsageError("bad job number \"" + text + "\"");
  return id;
}

int List() {
  RequireInstallation();
  std::vector<JobEntry> jobs;
  if (DWORD status = ListJobs(jobs)) FailWithStatus("the spool", status);
  if (jobs.empty()) return 0;
  size_t printerWidth = 7, documentWidth = 8, userWidth = 4;
  for (const JobEntry& job : jobs) {
    printerWidth = std::max(printerWidth, job.printer.size());
    documentWidth = std::max(documentWidth, job.document.size());
    userWidth = std::max(userWidth, job.user.size());
  }
  auto row = [&](const std::string& id, const std::string& printer, const std::string& document,
                 const std::string& user, const std::string& size, const std::string& state,
                 const std::string& error) {
    std::printf("%6s  %-*s  %-*s  %-*s  %12s  %-8s  %s\n", id.c_str(), static_cast<int>(printerWidth),
                printer.c_str(), static_cast<int>(documentWidth), document.c_str(),
                static_cast<int>(userWidth), user.c_str(), size.c_str(), state.c_str(), error.c_str());
  };
  row("ID", "PRINTER", "DOCUMENT", "USER", "SIZE", "STATE", "ERROR");
  for (const JobEntry& job : jobs)
    row(std::to_string(job.id), job.printer, job.document, job.user, std::to_string(job.size), job.state,
        job.error);
  return 0;
}

int Send(DWORD id, bool retry) {
  const size_t toldBefore = StderrSink::Delivered();
  DWORD status = DespoolJob(id, retry);
  if (status == ERROR_SUCCESS) return 0;
  if (status == ERROR_INVALID_PARAMETER || status == ERROR_FILE_NOT_FOUND)
    throw Failure("job " + std::to_string(id) + " is not in the spool" + InPrefix());
  throw Failure(JobFailedText(id, status, toldBefore));
}

int RunJobs(const std::vector<std::string>& args) {
  OptionParser options(args, {"--retry", "--delete"}, {"--run"});
  options.ExpectOperands(0, 0);
  int chosen = options.Flag("--run") + options.Value("--retry").has_value() + options.Value("--delete").has_value();
  if (chosen > 1) throw UsageError("give one of --run, --retry and --delete");
  if (UsingCups()) {
    if (options.Flag("--run") || options.Value("--retry"))
      throw Failure("CUPS sends its jobs itself: \"cupsenable QUEUE\" restarts a stopped queue and its held job");
    if (std::optional<std::string> text = options.Value("--delete")) return CancelCupsJob(JobId(*text));
    return ListCupsJobs();
  }
  if (options.Flag("--run")) {
    if (DWORD status = DespoolWaitingJobs())
      throw Failure("a job failed: " + StatusText(status) + " (\"quorvane jobs\" lists it)");
    return 0;
  }
  if (std::optional<std::string> id = options.Value("--retry")) return Send(JobId(*id), true);
  if (std::optional<std::string> text = options.Value("--delete")) {
    DWORD id = JobId(*text);
    DWORD status = DeleteJob(id);
    if (status == ERROR_INVALID_PARAMETER) throw Failure("job " + *text + " is not in the spool" + InPrefix());
    if (status == ERROR_BUSY) throw Failure("job " + *text + " is being printed");
    if (status) FailWithStatus("job " + *text, status);
    return 0;
  }
  return List();
}

const CommandRegistrar kRegister({"jobs", "list, send and remove the jobs in the spool", kUsage, &RunJobs});

}  // namespace
}  // namespace qv::cli
