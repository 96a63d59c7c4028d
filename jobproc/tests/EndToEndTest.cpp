// The whole road on the embedded print system: `quorvane print` spools a job, the monitor
// captures it and hands it to the job processor, whose write-file action stores it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <qv/prefix.h>
#include <qv/print_system.h>
#include <qv/registry_store.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <filesystem>
#include <algorithm>
#include <set>

#include "RunProgram.h"
#include "TempPrefix.h"
#include "TestRegistry.h"

using namespace jobproc_testing;
namespace fs = std::filesystem;

namespace {

const std::string kScript = "WriteFile: C:\\Jobs\\?UN?\\?DN?-?SN?.prn";

// Every byte value, and more than one chunk of the spooler's writes.
std::string JobData(int seed) {
  std::string data;
  for (int i = 0; i < 200000; ++i) data += static_cast<char>((i * 7 + seed) & 0xFF);
  return data;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& needed : {qv::testing::BinDir() + "/quorvane", qv::LibraryDir() + "/libqvpm.so",
                                      qv::LibraryDir() + "/libmarrowjetui.so"})
      if (!fs::exists(needed)) GTEST_SKIP() << needed << " is not built";
    InstallMonitor();
    RegisterJobProcessor();
    SetText(std::string(kMonitorKey) + "\\QV1", "Script", kScript);
    ASSERT_EQ(qv::AddPrinter("Jobs", "QV1", "Generic"), 0u);
  }

  void InstallMonitor() {
    std::u16string name = u"Quorvane", environment = u"Windows NT x86", library = u"QVPM.DLL";
    MONITOR_INFO_2W info{name.data(), environment.data(), library.data()};
    ASSERT_TRUE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info))) << GetLastError();
  }

  void RegisterJobProcessor() {
    void* library = dlopen((qv::LibraryDir() + "/libmarrowjetui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    EXPECT_EQ(registerServer(), S_OK);
    dlclose(library);
  }

  ProgramResult Print(const std::string& file, const std::string& title) {
    return RunProgram("quorvane", {"print", "--printer", "Jobs", "--user", "alice", "--title", title, file},
                      prefix.Dir());
  }

  fs::path UserFolder() const { return fs::path(prefix.Path("drive_c")) / "Jobs" / "alice"; }

  qv::testing::TempPrefix prefix;
};

TEST_F(EndToEndTest, PrintedJobLandsInTheFileItsTemplateNames) {
  const std::string input = prefix.Path("input.bin");
  WriteFile(input, JobData(0));
  LogFile log(prefix.Path("quorvane.log"));

  const ProgramResult first = Print(input, "report");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(ReadFile((UserFolder() / "report-1.prn").string()), JobData(0));
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "1");

  const ProgramResult second = Print(input, "report");
  ASSERT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(ReadFile((UserFolder() / "report-2.prn").string()), JobData(0));
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "2");
  EXPECT_EQ(log.Contents(), "");
}

TEST_F(EndToEndTest, ConcurrentPrintsGetDistinctSerialNumbers) {
  constexpr int kJobs = 8;
  std::vector<std::unique_ptr<RunningProgram>> running;
  for (int i = 0; i < kJobs; ++i) {
    const std::string input = prefix.Path("input" + std::to_string(i) + ".bin");
    WriteFile(input, JobData(i));
    running.push_back(std::make_unique<RunningProgram>(
        "quorvane", std::vector<std::string>{"print", "--printer", "Jobs", "--user", "alice", "--title",
                                             "doc" + std::to_string(i), input},
        prefix.Dir()));
  }
  for (auto& program : running) {
    const ProgramResult result = program->Wait();
    EXPECT_EQ(result.exitCode, 0) << result.err;
  }

  std::set<int> serials;
  for (const auto& entry : fs::directory_iterator(UserFolder())) {
    // doc<job>-<serial>.prn
    const std::string file = entry.path().filename().string();
    const size_t dash = file.find('-');
    ASSERT_TRUE(file.rfind("doc", 0) == 0 && dash == 4 && file.size() > 9 && file.substr(file.size() - 4) == ".prn")
        << file;
    EXPECT_EQ(ReadFile(entry.path().string()), JobData(std::stoi(file.substr(3, 1)))) << file;
    serials.insert(std::stoi(file.substr(dash + 1)));
  }
  EXPECT_EQ(serials, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(ReadText(kMonitorKey, "SerialNumber"), "8");
}

// What one `quorvane print` does, in a new process: choose the printer, spool, send the job
// through the monitor and the job processor (a template with ?SN?, which writes the counter),
// look for waiting jobs. Repeated reads are answered from what the connection remembers.
TEST_F(EndToEndTest, AJobCostsAtMostFifteenRegistryTransactions) {
  const std::string input = prefix.Path("input.bin");
  WriteFile(input, JobData(3));
  pid_t child = fork();  // the child opens the store afresh, as a new command does
  ASSERT_GE(child, 0);
  if (child == 0) {
    const uint64_t before = qv::RegistryTransactionCount();
    std::vector<qv::PrinterEntry> printers;
    qv::ListPrinters(printers);
    qv::ReserveJobIds(1);
    int fd = open(input.c_str(), O_RDONLY);
    qv::JobSubmission job{"Jobs", "counted", "alice", "pc", 0};
    DWORD id = 0;
    if (qv::SpoolJobUnflushed(job, fd, id) != 0 || qv::FlushSpool() != 0) _exit(101);
    close(fd);
    if (qv::DespoolJob(id) != 0) _exit(102);
    qv::DespoolWaitingJobs();
    _exit(static_cast<int>(std::min<uint64_t>(qv::RegistryTransactionCount() - before, 100)));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_LE(WEXITSTATUS(status), 100) << "the job failed";
  EXPECT_LE(WEXITSTATUS(status), 15) << "registry transactions for one job";
  EXPECT_EQ(ReadFile((UserFolder() / "counted-1.prn").string()), JobData(3));
}

// A port whose script archives the job and prints it again on a printer of the "FILE:" port.
TEST_F(EndToEndTest, ArchivedAndReprintedJobsAreBothTheInputUnchanged) {
  SetText(std::string(kMonitorKey) + "\\QV1", "Script", "WriteFile: C:\\Archive\\?DN?.prn\r\nReprint: Office");
  ASSERT_EQ(qv::AddPrinter("Archive", "QV1", "Generic"), 0u);
  ASSERT_EQ(qv::AddPrinter("Office", "FILE:", ""), 0u);
  const std::string input = prefix.Path("input.bin");
  WriteFile(input, JobData(5));
  LogFile log(prefix.Path("quorvane.log"));

  const ProgramResult printed =
      RunProgram("quorvane", {"print", "--printer", "Archive", "--title", "report", input}, prefix.Dir());
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  // "request id is Archive-N (1 file(s))"
  const int id = std::stoi(printed.out.substr(printed.out.rfind('-') + 1));
  EXPECT_EQ(ReadFile(prefix.Path("drive_c/Archive/report.prn")), JobData(5));
  EXPECT_EQ(ReadFile(prefix.Path("spool/printed/Office/" + std::to_string(id + 1) + ".prn")), JobData(5));
  const ProgramResult jobs = RunProgram("quorvane", {"jobs"}, prefix.Dir());
  EXPECT_EQ(jobs.out, "") << "nothing is left in the spool";
  EXPECT_EQ(log.Contents(), "");
}

TEST_F(EndToEndTest, APortReprintingToItsOwnPrinterStopsAfterFourHops) {
  SetText(std::string(kMonitorKey) + "\\QV1", "Script", "WriteFile: C:\\Loop\\?SN?.prn\r\nReprint: Jobs");
  const std::string input = prefix.Path("input.bin");
  WriteFile(input, JobData(9));
  LogFile log(prefix.Path("quorvane.log"));

  // The refused fifth reprint is told, and the job that could not print again is kept.
  const ProgramResult printed = Print(input, "loop");
  EXPECT_EQ(printed.exitCode, 1) << printed.err;
  EXPECT_NE(printed.err.find("job 5 (printer \"Jobs\", port \"QV1\"): Too many reprints in a row, not printed on Jobs"),
            std::string::npos)
      << printed.err;
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(prefix.Path("drive_c/Loop"))) {
    files.insert(entry.path().filename().string());
    EXPECT_EQ(ReadFile(entry.path().string()), JobData(9));
  }
  EXPECT_EQ(files, (std::set<std::string>{"1.prn", "2.prn", "3.prn", "4.prn", "5.prn"})) << "the job and four reprints";
  EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                               Entry(518, "ActionReprint::Run", "Too many reprints in a row, not printed on Jobs")}));
  const std::string jobs = RunProgram("quorvane", {"jobs"}, prefix.Dir()).out;
  EXPECT_NE(jobs.find("failed    Too many reprints in a row, not printed on Jobs"), std::string::npos) << jobs;
}

}  // namespace
