// quorvane install, uninstall, ports and port delete on the embedded print system.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using qv::testing::CliResult;
using qv::testing::RunQuorvane;

const std::string kMonitorKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";
const std::string kFilePortLine = "FILE:  Local Port  Local Port\n";
const std::string kHeader = "NAME   MONITOR     DESCRIPTION\n";
const std::string kDemoLine = "Demo   Quorvane    Redirection of print jobs\n";

void Succeeds(const std::vector<std::string>& args) {
  const CliResult result = RunQuorvane(args);
  ASSERT_EQ(result.exitCode, 0) << args[0] << ": " << result.err;
}

// The port "Demo", written as the port dialog would write it.
void AddDemoPort() {
  Succeeds({"reg", "add", kMonitorKey + "\\Demo", "/v", "Script", "/t", "REG_SZ", "/d", "WriteFile: C:\\Jobs\\?DN?.prn",
            "/f"});
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(InstallCommandTest, AnUpgradeKeepsThePortsAndPurgingRemovesThem) {
  qv::testing::TempPrefix prefix;
  const std::string log = prefix.Path("quorvane.log");
  Succeeds({"log", log});
  Succeeds({"install"});
  Succeeds({"install"});
  const std::string logged = Slurp(log);
  EXPECT_NE(logged.find("3006       DLLRegisterServer    "), std::string::npos) << logged;
  EXPECT_EQ(logged.find("\r\n"), logged.size() - 2) << "one entry: " << logged;

  AddDemoPort();
  EXPECT_EQ(RunQuorvane({"ports"}).out, kHeader + kFilePortLine + kDemoLine);
  Succeeds({"printer", "add", "Office", "--port", "Demo"});

  const CliResult uninstalled = RunQuorvane({"uninstall"});
  ASSERT_EQ(uninstalled.exitCode, 0) << uninstalled.err;
  EXPECT_EQ(uninstalled.out.rfind("Office: Quorvane: Demo\n", 0), 0u) << uninstalled.out;
  EXPECT_NE(RunQuorvane({"printer"}).out.find("Office  FILE:"), std::string::npos);
  EXPECT_EQ(RunQuorvane({"ports"}).out, kHeader + kFilePortLine);
  EXPECT_EQ(RunQuorvane({"port", "show", "Demo"}).out, "WriteFile: C:\\Jobs\\?DN?.prn\n");

  Succeeds({"install"});
  EXPECT_EQ(RunQuorvane({"ports"}).out, kHeader + kFilePortLine + kDemoLine);
  Succeeds({"uninstall", "--purge"});
  EXPECT_EQ(RunQuorvane({"port", "show", "Demo"}).exitCode, 1);
  EXPECT_EQ(RunQuorvane({"reg", "query", "HKCR\\MarrowjetUI.Controller"}).exitCode, 1)
      << "the job processor is unregistered too";
}

TEST(InstallCommandTest, PortDeleteGoesThroughTheMonitor) {
  qv::testing::TempPrefix prefix;
  Succeeds({"install"});
  AddDemoPort();
  Succeeds({"port", "delete", "Demo"});
  EXPECT_EQ(RunQuorvane({"ports"}).out, kHeader + kFilePortLine);
  struct Case {
    const char* port;
    const char* message;
  };
  for (const Case& test : {Case{"Demo", "no port named \"Demo\""}, Case{"FILE:", "\"FILE:\" can't be deleted"}}) {
    const CliResult refused = RunQuorvane({"port", "delete", test.port});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find(test.message), std::string::npos) << refused.err;
  }
}

// A printer pooled over a Quorvane port and another keeps the monitor installed; the job
// processor then stays too, so that its jobs still run.
TEST(InstallCommandTest, UninstallReportsAMonitorThePrintSystemKept) {
  qv::testing::TempPrefix prefix;
  Succeeds({"install"});
  AddDemoPort();
  Succeeds({"printer", "add", "Pool", "--port", "Demo,LPT1:", "--force"});
  const CliResult kept = RunQuorvane({"uninstall", "--purge"});
  EXPECT_EQ(kept.exitCode, 1);
  EXPECT_NE(kept.err.find("kept the monitor"), std::string::npos) << kept.err;
  EXPECT_EQ(RunQuorvane({"reg", "query", "HKCR\\MarrowjetUI.Controller"}).exitCode, 0);
  EXPECT_EQ(RunQuorvane({"ports"}).out, kHeader + kFilePortLine + kDemoLine);
}

// The message names the printer that keeps the monitor and why.
TEST(InstallCommandTest, UninstallNamesThePrinterThatKeepsTheMonitorAndWhy) {
  struct Case {
    const char* name;
    const char* port;
    const char* reason;
  } cases[] = {
      {"pooled", "Demo,LPT1:",
       "the printer \"Keeper\" uses the port \"Demo\" together with other ports (\"Demo,LPT1:\")"},
      {"pooled in other case", "LPT1:, DEMO",
       "the printer \"Keeper\" uses the port \"Demo\" together with other ports (\"LPT1:, DEMO\")"},
      {"letter case alone", "demo",
       "the printer \"Keeper\" is on the port \"demo\", which differs from the port \"Demo\" only in letter case"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qv::testing::TempPrefix prefix;
    Succeeds({"install"});
    AddDemoPort();
    Succeeds({"printer", "add", "Keeper", "--port", c.port, "--force"});  // LPT1: is no port here
    Succeeds({"printer", "add", "Mover", "--port", "Demo"});
    const CliResult kept = RunQuorvane({"uninstall"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(kept.out, "Mover: Quorvane: Demo\n") << "the exact port is moved";
    EXPECT_NE(kept.err.find("kept the monitor \"Quorvane\":\n  " + std::string(c.reason)), std::string::npos)
        << kept.err;
    EXPECT_EQ(kept.err.find("Mover"), std::string::npos) << kept.err;
  }
}

// A fresh installation logs its failures from the start; an administrator's own choice stays.
TEST(InstallCommandTest, InstallSetsALogFileOnlyWhenNoneIsSet) {
  for (bool chosenBefore : {false, true}) {
    SCOPED_TRACE(chosenBefore ? "chosen before" : "fresh");
    qv::testing::TempPrefix prefix;
    const std::string expected = prefix.Path(chosenBefore ? "mine.log" : "quorvane.log");
    if (chosenBefore) Succeeds({"log", expected});
    Succeeds({"install"});
    Succeeds({"install"});  // again: the setting stays
    EXPECT_EQ(RunQuorvane({"log"}).out, expected + "\n");
  }
}

}  // namespace
