#include "CupsCommands.h"
#include "Command.h"
#include "CupsLibrary.h"
#include "InputFile.h"

#include <qv/cups.h>
#include <qv/status_text.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace qv::cli {
namespace {

std::vector<cups::Queue> Queues() {
  std::vector<cups::Queue> queues;
  if (DWORD status = Cups().listQueues(queues)) FailWithScheduler("the CUPS queues", status);
  return queues;
}

bool IsQuorvaneQueue(const cups::Queue& queue) { return Cups().quorvanePort(queue.deviceUri).has_value(); }

std::string StateText(const cups::Queue& queue) {
  std::string state = queue.state == 5 ? "stopped" : queue.state == 4 ? "printing" : "idle";
  if (!queue.accepting) state += ", rejecting jobs";
  if (!queue.stateMessage.empty()) state += ": " + queue.stateMessage;
  return state;
}

}  // namespace

void FailWithScheduler(const std::string& what, unsigned long status) {
  std::string text = what + ": " + StatusText(static_cast<DWORD>(status));
  std::string words = Cups().lastSchedulerMessage();
  if (!words.empty()) text += " (" + words + ")";
  throw Failure(text);
}

int ListCupsPrinters() {
  std::vector<cups::Queue> queues = Queues();
  if (queues.empty()) return 0;
  size_t nameWidth = 4, portWidth = 4;
  for (const cups::Queue& queue : queues) {
    nameWidth = std::max(nameWidth, queue.name.size());
    portWidth = std::max(portWidth, queue.port.size());
  }
  std::printf("%-*s  %-*s  %s\n", static_cast<int>(nameWidth), "NAME", static_cast<int>(portWidth), "PORT", "STATE");
  for (const cups::Queue& queue : queues)
    std::printf("%-*s  %-*s  %s\n", static_cast<int>(nameWidth), queue.name.c_str(), static_cast<int>(portWidth),
                queue.port.c_str(), StateText(queue).c_str());
  return 0;
}

int AddCupsPrinter(const std::string& name, const std::string& port) {
  DWORD status = Cups().addRawQueue(name, port, "Quorvane port " + port);
  if (status == ERROR_PRINTER_ALREADY_EXISTS) throw Failure("CUPS queue \"" + name + "\" already exists");
  if (status == ERROR_INVALID_PRINTER_NAME)
    throw Failure("\"" + name + "\" can't name a CUPS queue (no spaces, '/', '#' or '\\')");
  if (status) FailWithScheduler("CUPS queue \"" + name + "\"", status);
  std::printf("CUPS queue \"%s\" added on %s\n", name.c_str(), Cups().deviceUriOfPort(port).c_str());
  return 0;
}

int DeleteCupsPrinter(const std::string& name) {
  DWORD status = Cups().deleteQueue(name);
  if (status == ERROR_INVALID_PRINTER_NAME) throw Failure("CUPS queue \"" + name + "\" does not exist");
  if (status) FailWithScheduler("CUPS queue \"" + name + "\"", status);
  return 0;
}

int MoveCupsPrinter(const std::string& name, const std::string& port) {
  DWORD status = Cups().setQueuePort(name, port);
  if (status == ERROR_INVALID_PRINTER_NAME) throw Failure("CUPS queue \"" + name + "\" does not exist");
  if (status) FailWithScheduler("CUPS queue \"" + name + "\"", status);
  return 0;
}

int PrintWithCups(const std::optional<std::string>& printer, const std::vector<std::string>& paths,
                  const std::optional<std::string>& title, const std::string& user) {
  std::string queue;
  if (printer) {
    queue = *printer;
  } else {
    std::vector<cups::Queue> queues = Queues();
    queues.erase(std::remove_if(queues.begin(), queues.end(), [](const cups::Queue& q) { return !IsQuorvaneQueue(q); }),
                 queues.end());
    if (queues.empty()) throw Failure("no CUPS queue is on a Quorvane port (add one with \"quorvane printer add\")");
    if (queues.size() > 1) throw UsageError("several CUPS queues are on Quorvane ports: name one with --printer");
    queue = queues[0].name;
  }
  // Every file is opened before any is submitted: a name mistyped prints nothing.
  std::vector<std::unique_ptr<InputFile>> inputs;
  for (const std::string& path : paths) inputs.push_back(std::make_unique<InputFile>(path));
  for (size_t i = 0; i < paths.size(); ++i) {
    std::string name = title.value_or(paths[i] == "-" ? "stdin" : std::filesystem::path(paths[i]).filename().string());
    DWORD id = 0;
    DWORD status = Cups().submitRawJob(queue, name, user, inputs[i]->Fd(), id);
    inputs[i].reset();
    if (status == ERROR_INVALID_PRINTER_NAME) throw Failure("CUPS queue \"" + queue + "\" does not exist");
    if (status) {
      if (i + 1 < paths.size())
        std::fprintf(stderr, "quorvane: %zu file(s) after it were not printed\n", paths.size() - i - 1);
      FailWithScheduler("printing " + (paths[i] == "-" ? std::string("standard input") : paths[i]) +
                            " to CUPS queue \"" + queue + "\"",
                        status);
    }
    std::printf("request id is %s-%u (1 file(s))\n", queue.c_str(), static_cast<unsigned>(id));
    std::fflush(stdout);
  }
  return 0;
}

int ListCupsJobs() {
  std::vector<cups::Queue> queues = Queues();
  std::vector<cups::CupsJob> jobs;
  if (DWORD status = Cups().listActiveJobs(jobs)) FailWithScheduler("the CUPS jobs", status);
  // Only the jobs of queues on Quorvane's ports.
  jobs.erase(std::remove_if(jobs.begin(), jobs.end(),
                            [&](const cups::CupsJob& job) {
                              return std::none_of(queues.begin(), queues.end(), [&](const cups::Queue& queue) {
                                return queue.name == job.queue && IsQuorvaneQueue(queue);
                              });
                            }),
             jobs.end());
  if (jobs.empty()) return 0;
  size_t queueWidth = 7, titleWidth = 8, userWidth = 4;
  for (const cups::CupsJob& job : jobs) {
    queueWidth = std::max(queueWidth, job.queue.size());
    titleWidth = std::max(titleWidth, job.title.size());
    userWidth = std::max(userWidth, job.user.size());
  }
  auto row = [&](const std::string& id, const std::string& queue, const std::string& title, const std::string& user,
                 const std::string& size, const std::string& state) {
    std::printf("%6s  %-*s  %-*s  %-*s  %12s  %s\n", id.c_str(), static_cast<int>(queueWidth), queue.c_str(),
                static_cast<int>(titleWidth), title.c_str(), static_cast<int>(userWidth), user.c_str(), size.c_str(),
                state.c_str());
  };
  row("ID", "PRINTER", "DOCUMENT", "USER", "SIZE", "STATE");
  for (const cups::CupsJob& job : jobs)
    row(std::to_string(job.id), job.queue, job.title, job.user, std::to_string(job.size), job.state);
  return 0;
}

int CancelCupsJob(unsigned long id) {
  if (DWORD status = Cups().cancelJob(static_cast<DWORD>(id))) {
    if (status == ERROR_INVALID_PRINTER_NAME) throw Failure("job " + std::to_string(id) + " is not in CUPS");
    FailWithScheduler("job " + std::to_string(id), status);
  }
  return 0;
}

}  // namespace qv::cli
