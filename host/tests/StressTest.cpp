// Many processes printing at once to a script whose file names carry the serial number: every
// job gets a file of its own and a number of its own, also while a loop keeps removing the
// monitor's lock file (as one clearing a lock that looks stale would). Labelled "stress".
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

namespace qv::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kProcesses = 8;
constexpr int kJobsEach = 100;

class StressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunQuorvane({"install"}).exitCode, 0);
    ASSERT_EQ(RunQuorvane({"reg", "add", "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane\\QV1",
                           "/v", "Script", "/d", "WriteFile: C:\\Out\\?SN?.prn", "/f"})
                  .exitCode,
              0);
    ASSERT_EQ(RunQuorvane({"printer", "add", "Stress", "--port", "QV1"}).exitCode, 0);
  }

  // Runs kProcesses printers of kJobsEach jobs each; each job's data names its printer and job.
  void PrintFromManyProcesses(bool removeLockFile) {
    std::vector<pid_t> printers;
    for (int p = 0; p < kProcesses; ++p) {
      const std::string input = prefix.Path("in-" + std::to_string(p));
      pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        int failures = 0;
        for (int j = 0; j < kJobsEach; ++j) {
          std::ofstream(input, std::ios::trunc) << "process " << p << " job " << j << "\n";
          failures += RunQuorvane({"print", "--printer", "Stress", input}).exitCode != 0;
        }
        _exit(failures == 0 ? 0 : 1);
      }
      printers.push_back(child);
    }
    std::atomic<bool> done{false};
    std::thread remover([&] {
      while (removeLockFile && !done) {
        unlink(prefix.Path("monitor.lock").c_str());
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
    for (pid_t child : printers) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a print failed";
    }
    done = true;
    remover.join();
  }

  TempPrefix prefix;
};

TEST_F(StressTest, EveryJobGetsItsOwnSerialNumberAndFile) {
  struct Row {
    const char* name;
    bool removeLockFile;
  };
  const Row rows[] = {{"Plain", false}, {"WhileTheLockFileIsRemovedAgainAndAgain", true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(prefix.Path("drive_c/Out"));
    PrintFromManyProcesses(row.removeLockFile);
    std::set<std::string> contents;
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(prefix.Path("drive_c/Out"))) {
      names.insert(entry.path().filename().string());
      std::ifstream in(entry.path());
      std::string line;
      std::getline(in, line);
      contents.insert(line);
    }
    EXPECT_EQ(names.size(), size_t{kProcesses * kJobsEach}) << "one file, and one serial number, per job";
    EXPECT_EQ(contents.size(), size_t{kProcesses * kJobsEach}) << "no job overwrote another";
    EXPECT_EQ(RunQuorvane({"jobs"}).out, "") << "none left in the spool";
  }
}

}  // namespace
}  // namespace qv::testing
