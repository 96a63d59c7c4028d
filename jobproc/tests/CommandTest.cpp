// The quorvane command's log and port commands, run as a user runs them.
#include <gtest/gtest.h>

#include <filesystem>

#include "RunProgram.h"
#include "TempPrefix.h"
#include "TestRegistry.h"

using namespace jobproc_testing;

namespace {

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(qv::testing::BinDir() + "/quorvane")) GTEST_SKIP() << "quorvane is not built";
  }
  ProgramResult Quorvane(const std::vector<std::string>& args) { return RunProgram("quorvane", args, prefix.Dir()); }

  qv::testing::TempPrefix prefix;
};

TEST_F(CommandTest, LogShowsSetsAndTurnsOff) {
  EXPECT_EQ(Quorvane({"log"}).exitCode, 1) << "no installation yet";
  EXPECT_EQ(Quorvane({"log", "--off"}).exitCode, 0);  // a change makes the prefix
  ProgramResult shown = Quorvane({"log"});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_EQ(shown.out, "no log file: failures are not logged (\"quorvane log PATH\" sets one)\n");

  EXPECT_EQ(Quorvane({"log", "C:\\logs\\quorvane.log", "--create"}).exitCode, 0);
  EXPECT_EQ(ReadText(kConfigurationKey, "LogFile"), "C:\\logs\\quorvane.log");
  EXPECT_EQ(Quorvane({"log"}).out, "C:\\logs\\quorvane.log\n");

  EXPECT_EQ(Quorvane({"log", "/var/log/quorvane.log"}).exitCode, 0);
  EXPECT_EQ(Quorvane({"log"}).out, "/var/log/quorvane.log\n");

  EXPECT_EQ(Quorvane({"log", "--off"}).exitCode, 0);
  EXPECT_EQ(ReadText(kConfigurationKey, "LogFile"), "<absent>");
  EXPECT_EQ(Quorvane({"log", "--off"}).exitCode, 0);  // already off
}

TEST_F(CommandTest, LogRefusesPathsThatWouldNeverBeWritten) {
  const ProgramResult relative = Quorvane({"log", "quorvane.log"});
  EXPECT_EQ(relative.exitCode, 2);
  EXPECT_NE(relative.err.find("bad log file"), std::string::npos) << relative.err;
  EXPECT_EQ(ReadText(kConfigurationKey, "LogFile"), "<absent>");

  SetDword(kConfigurationKey, "LogFile", 1);
  const ProgramResult notText = Quorvane({"log"});
  EXPECT_EQ(notText.exitCode, 1);
  EXPECT_NE(notText.err.find("not text"), std::string::npos) << notText.err;
}

// A log in a folder that does not exist would lose every later failure: it is refused.
TEST_F(CommandTest, LogRefusesAMissingFolderUnlessAskedToCreateIt) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    std::string err;
    std::string stored;  // "LogFile" afterwards
  } cases[] = {
      {"host folder missing", {"log", prefix.Path("logs/q.log")}, 1,
       "the folder " + prefix.Path("logs") + " of the log file does not exist", "<absent>"},
      {"drive folder missing", {"log", "C:\\logs\\q.log"}, 1,
       "the folder " + prefix.Path("drive_c/logs") + " of the log file does not exist", "<absent>"},
      {"unmapped drive", {"log", "Q:\\q.log"}, 1, "the log file Q:\\q.log", "<absent>"},
      {"a folder", {"log", prefix.Dir()}, 1, "is a folder", "<absent>"},
      {"created", {"log", "--create", prefix.Path("logs/q.log")}, 0, "", prefix.Path("logs/q.log")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramResult result = Quorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    EXPECT_EQ(ReadText(kConfigurationKey, "LogFile"), c.stored);
  }
}

TEST_F(CommandTest, LogShowPrintsTheLastLines) {
  EXPECT_EQ(Quorvane({"log", "--show"}).exitCode, 1) << "no log file set";
  const std::string log = prefix.Path("q.log");
  ASSERT_EQ(Quorvane({"log", log}).exitCode, 0);
  const ProgramResult empty = Quorvane({"log", "--show"});
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_NE(empty.err.find("nothing logged yet"), std::string::npos) << empty.err;
  std::string lines;
  for (int i = 1; i <= 30; ++i) lines += "line " + std::to_string(i) + "\r\n";
  WriteFile(log, lines);
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out;
  } cases[] = {
      {{"log", "--show"}, 0, [] { std::string t; for (int i = 11; i <= 30; ++i) t += "line " + std::to_string(i) + "\n"; return t; }()},
      {{"log", "--show", "-n", "2"}, 0, "line 29\nline 30\n"},
      {{"log", "--show", "-n", "0"}, 0, ""},
      {{"log", "--show", "-n", "x"}, 2, ""},
      {{"log", "--show", "2"}, 2, ""},
  };
  for (const Case& c : cases) {
    const ProgramResult result = Quorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
}

TEST_F(CommandTest, PortShowPrintsOneActionPerLine) {
  const std::string portKey = std::string(kMonitorKey) + "\\QV1";
  SetText(portKey, "Script", "WriteFile: C:\\Jobs\\?UN?\\?DN?-?SN?.prn\r\nReprint: Archive");
  const ProgramResult shown = Quorvane({"port", "show", "qv1"});
  EXPECT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_EQ(shown.out, "WriteFile: C:\\Jobs\\?UN?\\?DN?-?SN?.prn\nReprint: Archive\n");

  SetText(portKey, "Script", "");
  EXPECT_EQ(Quorvane({"port", "show", "QV1"}).out, "");
}

TEST_F(CommandTest, PortShowOfAnUnknownPortFails) {
  CreateKey(kMonitorKey);
  const ProgramResult shown = Quorvane({"port", "show", "NOPE"});
  EXPECT_EQ(shown.exitCode, 1);
  EXPECT_EQ(shown.err, "quorvane: no port named \"NOPE\" in " + prefix.Dir() + "\n");
  EXPECT_EQ(Quorvane({"port", "show"}).exitCode, 2);
  EXPECT_EQ(Quorvane({"port", "frobnicate", "QV1"}).exitCode, 2);
}

}  // namespace
