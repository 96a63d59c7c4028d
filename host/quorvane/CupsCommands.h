// The printer, print and jobs commands when the print system is CUPS: queues and jobs of the
// scheduler, reached through libcups (IPP), never through CUPS's command-line tools.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace qv::cli {

// Throws Failure("<what>: <system text> (<the scheduler's words>)").
[[noreturn]] void FailWithScheduler(const std::string& what, unsigned long status);

int ListCupsPrinters();
int AddCupsPrinter(const std::string& name, const std::string& port);
int DeleteCupsPrinter(const std::string& name);
int MoveCupsPrinter(const std::string& name, const std::string& port);
// Submits each file (or standard input for "-") as a raw job of its own, titled `title` or
// the file's name; prints each job's number once CUPS has the job.
int PrintWithCups(const std::optional<std::string>& printer, const std::vector<std::string>& paths,
                  const std::optional<std::string>& title, const std::string& user);
int ListCupsJobs();
int CancelCupsJob(unsigned long id);

}  // namespace qv::cli
