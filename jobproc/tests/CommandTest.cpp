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
  ProgramResult shown = Quorvane({"log"});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_EQ(shown.out, "no log file: failures are not logged\n");

  EXPECT_EQ(Quorvane({"log", "C:\\logs\\quorvane.log"}).exitCode, 0);
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
  const ProgramResult shown = Quorvane({"port", "show", "NOPE"});
  EXPECT_EQ(shown.exitCode, 1);
  EXPECT_EQ(shown.err, "quorvane: no port named \"NOPE\"\n");
  EXPECT_EQ(Quorvane({"port", "show"}).exitCode, 2);
  EXPECT_EQ(Quorvane({"port", "frobnicate", "QV1"}).exitCode, 2);
}

}  // namespace
