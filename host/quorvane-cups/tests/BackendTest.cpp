// The backend on its own: its discovery lines, its ERROR: lines, and how it ends when it must
// not or can't run a job (wrong user, no installation, cancelled while capturing).
#include "CupsFixture.h"
#include "Discovery.h"
#include "ErrorLineSink.h"
#include "TempPrefix.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace qv::testing {
namespace {

struct DescribeRow {
  const char* name;
  Failure failure;
  const char* line;
};

Failure WithJob(Failure failure) {
  failure.job = JobInHand{"Arch", 7, "Arch", "report", "alice"};
  return failure;
}

const DescribeRow kDescriptions[] = {
    {"logger_failure", WithJob({0, "Error opening key NoKey", "Script::LoadFromRegistry", "", "", {}}),
     "Job 7 on port \"Arch\": Error opening key NoKey [Script::LoadFromRegistry, 0]"},
    {"with_host_path",
     WithJob({517, "Error writing file: C:\\X\\a.prn", "ActionWriteFile::Run", "/srv/x/a.prn", "Access was denied.", {}}),
     "Job 7 on port \"Arch\": Error writing file: C:\\X\\a.prn (/srv/x/a.prn: Access was denied.) "
     "[ActionWriteFile::Run, 517]"},
    {"without_job", {5, "Out of luck", "", "", "", {}}, "Out of luck"},
    {"empty_description", WithJob({1, "", "X", "", "", {}}), "Job 7 on port \"Arch\": a failure was reported [X, 1]"},
};

class DescribeTest : public ::testing::TestWithParam<DescribeRow> {};

TEST_P(DescribeTest, NamesJobPortAndFailure) {
  EXPECT_EQ(backend::DescribeFailure(GetParam().failure), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Lines, DescribeTest, ::testing::ValuesIn(kDescriptions),
                         [](const ::testing::TestParamInfo<DescribeRow>& info) { return info.param.name; });

TEST(DiscoveryTest, OneLineForTheSchemeAndOnePerPort) {
  EXPECT_EQ(backend::DiscoveryLines({"Arch", "My Port"}),
            "direct quorvane \"Unknown\" \"Quorvane print-job redirection\"\n"
            "direct quorvane:/Arch \"Unknown\" \"Quorvane port Arch\"\n"
            "direct quorvane:/My%20Port \"Unknown\" \"Quorvane port My Port\"\n");
}

std::string Backend() { return BinDir() + "/quorvane-cups"; }

// A prefix with Quorvane installed (embedded: no scheduler needed) and one port with a script.
class InstalledPrefix {
 public:
  InstalledPrefix() {
    Ran install = Quorvane({"install"});
    EXPECT_EQ(install.exitCode, 0) << install.err;
    SetScript("Arch", "WriteFile: C:\\Jobs\\?SN?.prn");
    // The backend must never reach the machine's scheduler.
    setenv("CUPS_SERVER", (prefix_.Dir() + "/no-scheduler.sock").c_str(), 1);
  }
  ~InstalledPrefix() { unsetenv("CUPS_SERVER"); }
  const TempPrefix& Prefix() const { return prefix_; }

 private:
  TempPrefix prefix_;
};

TEST(BackendTest, DiscoveryListsThePortsOfTheInstalledPrefix) {
  if (geteuid() != 0) GTEST_SKIP() << "Skipped: the backend runs jobs only as root";
  InstalledPrefix installed;
  Ran ran = RunCommand({Backend()});
  EXPECT_EQ(ran.exitCode, 0) << ran.err;
  EXPECT_NE(ran.out.find("direct quorvane:/Arch \"Unknown\""), std::string::npos) << ran.out;
}

// A job that fails: its ERROR: line names what failed with its path (the job's temporary file,
// the destination), and the document only when the document is what failed.
TEST(BackendTest, AFailedJobNamesWhatFailed) {
  if (geteuid() != 0) GTEST_SKIP() << "Skipped: the backend runs jobs only as root";
  InstalledPrefix installed;
  const TempPrefix& prefix = installed.Prefix();
  const std::string document = prefix.Path("document.bin");
  std::ofstream(document) << "data";
  struct Row {
    const char* name;
    std::string tmpdir;
    std::string file;      // the document the backend is given
    std::string blocker;   // made a file where a folder is needed, when not empty
    std::string named;     // a part of the ERROR: line
  } rows[] = {
      {"TemporaryFolderIsAFile", document, document, "",
       "ERROR: Job 3 on port \"Arch\": WritePort of the port \"Arch\" failed (" + document + "/DRN"},
      {"DestinationFolderIsAFile", prefix.Dir(), document, prefix.Path("drive_c/Jobs"),
       "ERROR: Job 3 on port \"Arch\": Error writing file: C:\\Jobs\\"},
      {"DocumentIsMissing", prefix.Dir(), prefix.Path("missing.bin"), "",
       "ERROR: Job 3: its file " + prefix.Path("missing.bin") + " can't be read: No such file or directory"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!row.blocker.empty()) std::ofstream(row.blocker) << "in the way";
    Ran ran = RunCommand({"/usr/bin/env", "TMPDIR=" + row.tmpdir, "DEVICE_URI=quorvane:/Arch", "PRINTER=Arch", Backend(),
                          "3", "alice", "t", "1", "", row.file});
    if (!row.blocker.empty()) std::filesystem::remove(row.blocker);
    EXPECT_EQ(ran.exitCode, 1) << ran.err;
    EXPECT_NE(ran.err.find(row.named), std::string::npos) << ran.err;
  }
}

TEST(BackendTest, NotInstalledStopsTheQueue) {
  if (geteuid() != 0) GTEST_SKIP() << "Skipped: the backend runs jobs only as root";
  TempPrefix empty;
  setenv("DEVICE_URI", "quorvane:/Arch", 1);
  setenv("PRINTER", "Arch", 1);
  Ran ran = RunCommand({Backend(), "3", "alice", "t", "1", ""});
  unsetenv("DEVICE_URI");
  unsetenv("PRINTER");
  EXPECT_EQ(ran.exitCode, 4);
  EXPECT_NE(ran.err.find("ERROR: Quorvane is not installed"), std::string::npos) << ran.err;
}

TEST(BackendTest, RunningAsAnotherUserStopsAndSaysWhy) {
  if (geteuid() != 0) GTEST_SKIP() << "Skipped: needs root to run the backend as lp";
  const passwd* lp = getpwnam("lp");
  if (!lp) GTEST_SKIP() << "Skipped: no user lp";
  std::string err = std::filesystem::temp_directory_path() / ("qvlp-" + std::to_string(getpid()));
  pid_t child = fork();
  if (child == 0) {
    int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    dup2(fd, 2);
    if (setgid(lp->pw_gid) != 0 || setuid(lp->pw_uid) != 0) _exit(99);
    setenv("DEVICE_URI", "quorvane:/Arch", 1);
    setenv("PRINTER", "Arch", 1);
    std::string path = Backend();
    execl(path.c_str(), path.c_str(), "3", "alice", "t", "1", "", static_cast<char*>(nullptr));
    _exit(98);
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::string text = ReadFile(err);
  unlink(err.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 4) << text;
  EXPECT_NE(text.find("ERROR: "), std::string::npos) << text;
  EXPECT_NE(text.find("root"), std::string::npos) << text;
  EXPECT_NE(text.find("0700"), std::string::npos) << text;
}

TEST(BackendTest, CancelWhileCapturingLeavesNoFileAndRunsNoScript) {
  if (geteuid() != 0) GTEST_SKIP() << "Skipped: the backend runs jobs only as root";
  InstalledPrefix installed;
  std::string temp = installed.Prefix().Path("tmp");
  std::filesystem::create_directories(temp);
  setenv("TMPDIR", temp.c_str(), 1);
  setenv("DEVICE_URI", "quorvane:/Arch", 1);
  setenv("PRINTER", "Arch", 1);
  // The job comes on standard input, from a pipe that stays open: the backend is mid-capture.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[0], 0);
    close(pipeFds[1]);
    std::string path = Backend();
    execl(path.c_str(), path.c_str(), "5", "alice", "partial", "1", "", static_cast<char*>(nullptr));
    _exit(98);
  }
  close(pipeFds[0]);
  std::string chunk(100000, 'x');
  ASSERT_EQ(write(pipeFds[1], chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
  // The job's temporary file exists once StartDocPort has run.
  EXPECT_TRUE(WaitFor([&] { return !FilesUnder(temp).empty(); }));
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  close(pipeFds[1]);
  unsetenv("TMPDIR");
  unsetenv("DEVICE_URI");
  unsetenv("PRINTER");
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(FilesUnder(temp), std::vector<std::string>{});
  EXPECT_EQ(FilesUnder(installed.Prefix().Path("drive_c/Jobs")), std::vector<std::string>{}) << "the script ran";
}

}  // namespace
}  // namespace qv::testing
