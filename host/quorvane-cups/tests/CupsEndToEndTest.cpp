// Quorvane under a real CUPS scheduler: jobs printed with lp reach the port's script through
// the backend, reprints become CUPS jobs, failures keep the job and stop the queue.
#include "CupsFixture.h"

#include <sys/stat.h>

#include <fstream>
#include <set>

namespace qv::testing {
namespace {

using CupsBackendTest = CupsFixture;

TEST_F(CupsBackendTest, ArchivesAndReprintsByteForByte) {
  SetScript("Arch", "WriteFile: C:\\Jobs\\?UN?\\?DN?-?SN?.prn\r\nReprint: Capture");
  AddQueue("Arch", "Arch");
  AddQueue("Capture", "capture:/");
  std::string data = MakeData("report.bin", 1 << 20);
  Ran lp = RunCommand({"lp", "-d", "Arch", "-U", "alice", "-t", "report", data});
  ASSERT_EQ(lp.exitCode, 0) << lp.err;
  ASSERT_TRUE(AllJobsDone()) << Scheduler().ErrorLog();

  std::string archived = DriveC() + "/Jobs/alice/report-1.prn";
  EXPECT_EQ(ReadFile(archived), ReadFile(data)) << Log();
  std::vector<std::string> captured = FilesUnder(Scheduler().CaptureDir());
  ASSERT_EQ(captured.size(), 1u) << Scheduler().ErrorLog();
  // <job>-<user>-<title>.bin: the reprint belongs to alice, as the job it repeats.
  EXPECT_EQ(captured[0], "2-alice-report.bin");
  EXPECT_EQ(ReadFile(Scheduler().CaptureDir() + "/" + captured[0]), ReadFile(data));
  EXPECT_EQ(QueueState("Arch").state, 3) << QueueState("Arch").stateMessage;
}

TEST_F(CupsBackendTest, TwentyJobsAtOnceGetTwentySerialNumbers) {
  SetScript("P1", "WriteFile: C:\\Out\\?SN?.prn");
  SetScript("P2", "WriteFile: C:\\Out\\?SN?.prn");
  AddQueue("Q1", "P1");
  AddQueue("Q2", "P2");
  std::string data = MakeData("small.bin", 1000);
  {
    std::vector<std::unique_ptr<Started>> submitted;
    for (int i = 0; i < 20; ++i)
      submitted.push_back(std::make_unique<Started>(std::vector<std::string>{"lp", "-d", i % 2 ? "Q2" : "Q1", data}));
    for (auto& one : submitted) EXPECT_EQ(one->Wait().exitCode, 0);
  }
  ASSERT_TRUE(AllJobsDone()) << Scheduler().ErrorLog();
  std::vector<std::string> files = FilesUnder(DriveC() + "/Out");
  EXPECT_EQ(files.size(), 20u) << Log();
  EXPECT_EQ(std::set<std::string>(files.begin(), files.end()).size(), files.size());
  for (const std::string& file : files) EXPECT_EQ(ReadFile(DriveC() + "/Out/" + file).size(), 1000u) << file;
}

TEST_F(CupsBackendTest, CancelWhileTheScriptRunsLeavesNoTemporaryFile) {
  // Eight copies of 24 MiB, each flushed to disk: the script runs long enough to be cancelled.
  std::string script;
  for (int i = 0; i < 8; ++i) script += "WriteFile: C:\\Slow\\" + std::to_string(i) + "-?SN?.prn\r\n";
  SetScript("Slow", script);
  AddQueue("Slow", "Slow");
  std::string data = MakeData("big.bin", 24 << 20);
  ASSERT_EQ(RunCommand({"lp", "-d", "Slow", data}).exitCode, 0);
  // The first copy exists once the data was captured and the script started.
  ASSERT_TRUE(WaitFor([&] { return !FilesUnder(DriveC() + "/Slow").empty(); })) << Scheduler().ErrorLog();
  Ran cancel = RunCommand({"cancel", "-a", "Slow"});
  EXPECT_EQ(cancel.exitCode, 0) << cancel.err;
  ASSERT_TRUE(AllJobsDone());
  // The backend has gone once the queue is idle again.
  ASSERT_TRUE(WaitFor([&] { return QueueState("Slow").state == 3; }));
  EXPECT_EQ(FilesUnder(Scheduler().TempDir()), std::vector<std::string>{}) << "temporary files left";
  for (const std::string& file : FilesUnder(DriveC() + "/Slow"))
    EXPECT_EQ(file.find('.'), file.rfind('.')) << "a partial copy is left: " << file;
}

struct FailureRow {
  const char* name;
  const char* port;
  const char* script;  // null: the port has no key
  const char* logged;  // in the log file and in the queue's message
};

const FailureRow kFailures[] = {
    {"port_without_key", "NoKey", nullptr, "Error opening key"},
    {"folder_not_writable", "Blocked", "WriteFile: C:\\Blocker\\inside\\?SN?.prn", "Blocker"},
};

class CupsFailureTest : public CupsFixture, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(CupsFailureTest, FailedJobStopsTheQueueAndStaysHeld) {
  const FailureRow& row = GetParam();
  if (row.script) SetScript(row.port, row.script);
  // A file where the script needs a folder: no one can write below it, root included.
  std::ofstream(DriveC() + "/Blocker") << "in the way";
  AddQueue("Failing", row.port);
  std::string data = MakeData("data.bin", 5000);
  ASSERT_EQ(RunCommand({"lp", "-d", "Failing", data}).exitCode, 0);
  ASSERT_TRUE(WaitFor([&] { return QueueState("Failing").state == 5; })) << Scheduler().ErrorLog();
  EXPECT_NE(Log().find(row.logged), std::string::npos) << Log();
  // lpstat shows the backend's ERROR: line as the queue's reason.
  Ran lpstat = RunCommand({"lpstat", "-p", "Failing"});
  EXPECT_NE(lpstat.out.find(row.logged), std::string::npos) << lpstat.out;
  // Nothing lost: CUPS still holds the job.
  std::vector<cups::CupsJob> jobs;
  ASSERT_EQ(cups::ListActiveJobs(jobs), ERROR_SUCCESS);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].queue, "Failing");
}

INSTANTIATE_TEST_SUITE_P(Failures, CupsFailureTest, ::testing::ValuesIn(kFailures),
                         [](const ::testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

TEST_F(CupsBackendTest, ReprintToItsOwnQueueStopsAfterFourHops) {
  SetScript("Loop", "WriteFile: C:\\Loop\\?SN?.prn\r\nReprint: Loop");
  AddQueue("Loop", "Loop");
  std::string data = MakeData("loop.bin", 3000);
  ASSERT_EQ(RunCommand({"lp", "-d", "Loop", data}).exitCode, 0);
  // The job and four reprints are archived; the fifth reprint is refused and stops the queue.
  ASSERT_TRUE(WaitFor([&] { return QueueState("Loop").state == 5; })) << Scheduler().ErrorLog();
  EXPECT_EQ(FilesUnder(DriveC() + "/Loop").size(), 5u) << Log();
  EXPECT_NE(Log().find("Too many reprints"), std::string::npos) << Log();
  EXPECT_NE(QueueState("Loop").stateMessage.find("Too many reprints"), std::string::npos)
      << QueueState("Loop").stateMessage;
}

TEST_F(CupsBackendTest, CommandAddsPrintsAndUninstalls) {
  SetScript("Desk", "WriteFile: C:\\Desk\\?UN?-?DN?.prn");
  Ran add = Quorvane({"printer", "add", "Desk", "--port", "Desk"});
  ASSERT_EQ(add.exitCode, 0) << add.err;
  Ran list = Quorvane({"printer", "list"});
  EXPECT_NE(list.out.find("Desk  Desk  idle"), std::string::npos) << list.out;
  std::string data = MakeData("memo.txt", 2000);
  Ran print = Quorvane({"print", "--printer", "Desk", "--user", "carol", "--title", "memo", data});
  ASSERT_EQ(print.exitCode, 0) << print.err;
  ASSERT_TRUE(AllJobsDone());
  EXPECT_EQ(ReadFile(DriveC() + "/Desk/carol-memo.prn"), ReadFile(data)) << Log();

  Ran missing = Quorvane({"print", "--printer", "Nowhere", data});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;

  Ran uninstall = Quorvane({"uninstall"});
  ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err;
  EXPECT_NE(uninstall.out.find("Desk: Quorvane: Desk"), std::string::npos) << uninstall.out;
  EXPECT_EQ(QueueState("Desk").deviceUri, "file:///dev/null");
  struct stat info {};
  EXPECT_NE(stat((Scheduler().ServerBin() + "/backend/quorvane").c_str(), &info), 0) << "backend left installed";
  // Back to the embedded print system: the CUPS queue is not one of its printers.
  EXPECT_EQ(Quorvane({"printer", "list"}).out, "");
  EXPECT_NE(Quorvane({"--print-system", "cups", "printer", "list"}).out.find("Desk  FILE:"), std::string::npos);
}

}  // namespace
}  // namespace qv::testing
