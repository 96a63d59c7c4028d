// A job whose port's script fails is never lost and never silent: through the command on a
// fresh installation, each cause of failure is told on stderr with the job and the host path or
// printer, the print exits 1, the job stays listed as failed, a retry succeeds once the cause is
// fixed, and the log file that install set holds the loggers' lines as they always were.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

const char kPortKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane\\Archive";
constexpr unsigned kNobody = 65534;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The log's entries without their date and time (the job processor's lines: 20 characters).
std::vector<std::string> LogEntries(const std::string& path) {
  std::vector<std::string> entries;
  std::istringstream in(Read(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    entries.push_back(line.size() > 20 ? line.substr(20) : line);
  }
  return entries;
}

void RunOk(const std::vector<std::string>& args) {
  CliResult result = RunQuorvane(args);
  ASSERT_EQ(result.exitCode, 0) << result.err;
}

void SetScript(const std::string& script) { RunOk({"reg", "add", kPortKey, "/v", "Script", "/d", script, "/f"}); }

// Opens the whole prefix to every user, so that a test can print as another user.
void OpenToEveryone(const std::string& dir) {
  chmod(dir.c_str(), 0777);
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    chmod(entry.path().c_str(), entry.is_directory() ? 0777 : 0666);
}

struct Cause {
  const char* what;
  std::string script;  // of the port "Archive"; "" : the port has no key at all
  std::string title;
  bool asOtherUser;    // print as "nobody" (root may write anywhere)
  std::function<void(const std::string& prefix)> breakIt;
  std::vector<std::string> told;    // stderr lines for the job ({P} the prefix, {ID} the job)
  std::vector<std::string> logged;  // the log's entries after date and time
  std::function<void(const std::string& prefix)> fix;
  std::string written;  // the file the retry writes, below the prefix
};

TEST(FailedJobsTest, EveryCauseIsToldKeptAndRetriedOnceFixed) {
  const Cause causes[] = {
      {"relative template", "WriteFile: Jobs\\?DN?.prn", "report", false, nullptr,
       {"Path must start with a drive qualifier, ie 'C:\\'",
        "Error writing file: Jobs\\report.prn: not an absolute path: it needs a drive (C:\\...) or must start with /"},
       {"516        ActionWriteFile::CreateFilePath Path must start with a drive qualifier, ie 'C:\\'",
        "517        ActionWriteFile::Run Error writing file: Jobs\\report.prn"},
       [](const std::string&) { SetScript("WriteFile: C:\\Jobs\\?DN?.prn"); }, "drive_c/Jobs/report.prn"},
      {"unmapped drive", "WriteFile: Q:\\Jobs\\?DN?.prn", "report", false, nullptr,
       {"The path could not be found: drive Q: is not mapped to a folder (\"quorvane drive Q: DIR\" maps it)",
        "Error writing file: Q:\\Jobs\\report.prn: drive Q: is not mapped to a folder (\"quorvane drive Q: DIR\" maps it)"},
       {"3          ActionWriteFile::CreateFilePath The path could not be found.",
        "517        ActionWriteFile::Run Error writing file: Q:\\Jobs\\report.prn"},
       [](const std::string& prefix) { RunOk({"drive", "Q:", prefix + "/q", "--create"}); }, "q/Jobs/report.prn"},
      {"unwritable folder", "WriteFile: C:\\Locked\\?DN?.prn", "report", true,
       [](const std::string& prefix) {
         fs::create_directories(prefix + "/drive_c/Locked");
         chmod((prefix + "/drive_c/Locked").c_str(), 0555);
       },
       {"Error writing file: C:\\Locked\\report.prn ({P}/drive_c/Locked/report.prn): Access was denied."},
       {"517        ActionWriteFile::Run Error writing file: C:\\Locked\\report.prn"},
       [](const std::string& prefix) { chmod((prefix + "/drive_c/Locked").c_str(), 0777); },
       "drive_c/Locked/report.prn"},
      {"\"/\" in the title", "WriteFile: C:\\Jobs\\?DN?.prn", "https://example.org/page", false, nullptr,
       {"Error writing file: C:\\Jobs\\https://example.org/page.prn ({P}/drive_c/Jobs/https:/example.org/page.prn): "
        "The path could not be found."},
       {"517        ActionWriteFile::Run Error writing file: C:\\Jobs\\https://example.org/page.prn"},
       [](const std::string&) { SetScript("WriteFile: C:\\Jobs\\page-?ID?.prn"); }, "drive_c/Jobs/page-{ID}.prn"},
      // The job processor keeps a refused reprint out of the log; the print system tells it.
      {"reprint to a missing printer", "Reprint: Ofice", "report", false, nullptr,
       {"Not printed on \"Ofice\": no such printer: The printer name is not valid."}, {},
       [](const std::string&) { RunOk({"printer", "add", "Ofice", "--port", "FILE:"}); }, ""},
      {"port with no key", "", "report", false, nullptr,
       {"no monitor has a port \"Archive\": The port is not known."}, {},
       [](const std::string&) { SetScript("WriteFile: C:\\Jobs\\?DN?.prn"); }, "drive_c/Jobs/report.prn"},
  };
  for (const Cause& cause : causes) {
    SCOPED_TRACE(cause.what);
    if (cause.asOtherUser && geteuid() != 0) {
      std::printf("(%s: only as root, who can print as another user)\n", cause.what);
      continue;
    }
    TempPrefix prefix;
    const std::string& dir = prefix.Dir();
    RunOk({"install"});
    if (!cause.script.empty()) SetScript(cause.script);
    RunOk({"printer", "add", "Archive", "--port", "Archive", "--force"});
    const std::string input = prefix.Path("input.txt");
    std::ofstream(input) << "the job's data\n";
    if (cause.asOtherUser) OpenToEveryone(dir);
    if (cause.breakIt) cause.breakIt(dir);
    auto print = [&](const std::vector<std::string>& args) {
      return cause.asOtherUser ? RunQuorvaneAs(kNobody, kNobody, args) : RunQuorvane(args);
    };

    const CliResult printed = print({"print", "--title", cause.title, input});
    EXPECT_EQ(printed.exitCode, 1) << printed.err;
    const std::string id = JobId(printed.out);
    ASSERT_FALSE(id.empty()) << printed.out;
    std::string told;
    for (const std::string& line : cause.told)
      told += "quorvane: job " + id + " (printer \"Archive\", port \"Archive\"): " + Replaced(line, "{P}", dir) + "\n";
    told += "quorvane: job " + id + " failed; it is kept in the spool (\"quorvane jobs --retry " + id +
            "\" runs it again)\n";
    EXPECT_EQ(printed.err, told);

    const std::string jobs = RunQuorvane({"jobs"}).out;
    EXPECT_NE(jobs.find("Archive  " + cause.title), std::string::npos) << jobs;
    EXPECT_NE(jobs.find("failed    " + Replaced(cause.told.front(), "{P}", dir)), std::string::npos) << jobs;
    EXPECT_EQ(LogEntries(prefix.Path("quorvane.log")), cause.logged);

    EXPECT_EQ(print({"jobs", "--retry", id}).exitCode, 1) << "the cause is still there";
    cause.fix(dir);
    const CliResult retried = print({"jobs", "--retry", id});
    EXPECT_EQ(retried.exitCode, 0) << retried.err;
    EXPECT_EQ(retried.err, "");
    EXPECT_EQ(RunQuorvane({"jobs"}).out, "") << "the job is done";
    if (!cause.written.empty()) {
      EXPECT_EQ(Read(prefix.Path(Replaced(cause.written, "{ID}", id))), "the job's data\n");
    } else {
      EXPECT_EQ(std::distance(fs::directory_iterator(prefix.Path("spool/printed/Ofice")), {}), 1);
    }
  }
}

}  // namespace
}  // namespace qv::testing
