// Printers and ports refer to each other: a printer is only put on a port the print system has,
// a port is only deleted while no printer uses it, and a printer can move to another port.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

namespace qv::testing {
namespace {

const std::string kMonitorKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";

class CheckedReferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Ok({"install"});
    Ok({"reg", "add", kMonitorKey + "\\Archive", "/v", "Script", "/d", "WriteFile: C:\\Jobs\\?ID?.prn", "/f"});
  }
  static void Ok(const std::vector<std::string>& args) {
    CliResult result = RunQuorvane(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }
  static std::string Printers() { return RunQuorvane({"printer", "list"}).out; }
  TempPrefix prefix;
};

TEST_F(CheckedReferencesTest, APrinterGoesOnlyOnAPortThereIs) {
  const std::string missing =
      "quorvane: there is no port \"Archiv\" in " + prefix.Dir() + " (the ports are \"FILE:\" and \"Archive\"; --force takes a port that "
      "will be made later)\n";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {
      {"misspelled port", {"printer", "add", "A", "--port", "Archiv"}, 1, missing},
      {"one of a pool missing", {"printer", "add", "A", "--port", "Archive,Archiv"}, 1, missing},
      {"the monitor's port, any case", {"printer", "add", "A", "--port", "archive"}, 0, ""},
      {"FILE:", {"printer", "add", "B", "--port", "FILE:"}, 0, ""},
      {"a port made later", {"printer", "add", "C", "--port", "Later", "--force"}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CliResult result = RunQuorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.err, c.err);
  }
  EXPECT_EQ(Printers(),
            "NAME  PORT     DRIVER\n"
            "A     archive  Generic / Text Only\n"
            "B     FILE:    Generic / Text Only\n"
            "C     Later    Generic / Text Only\n");
}

TEST_F(CheckedReferencesTest, APortInUseIsDeletedOnlyByMovingItsPrintersToFile) {
  Ok({"printer", "add", "Office", "--port", "Archive"});
  Ok({"printer", "add", "Pool", "--port", "FILE:,Archive", "--force"});
  Ok({"printer", "add", "Other", "--port", "FILE:"});

  CliResult refused = RunQuorvane({"port", "delete", "Archive"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.err,
            "quorvane: port \"Archive\" is used by the printer(s) \"Office\", \"Pool\" (move them with \"quorvane "
            "printer set NAME --port PORT\", or use --force to move them to \"FILE:\")\n");
  EXPECT_EQ(RunQuorvane({"port", "show", "Archive"}).exitCode, 0) << "the port is still there";

  CliResult forced = RunQuorvane({"port", "delete", "--force", "Archive"});
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_EQ(forced.out,
            "printer \"Office\" moved from port \"Archive\" to \"FILE:\"\n"
            "printer \"Pool\" moved from port \"Archive\" to \"FILE:\"\n");
  EXPECT_EQ(Printers(),
            "NAME    PORT   DRIVER\n"
            "Office  FILE:  Generic / Text Only\n"
            "Other   FILE:  Generic / Text Only\n"
            "Pool    FILE:  Generic / Text Only\n");
  EXPECT_EQ(RunQuorvane({"port", "show", "Archive"}).exitCode, 1) << "the port is gone";
}

TEST_F(CheckedReferencesTest, APrinterMovesToAnotherPort) {
  Ok({"printer", "add", "Office", "--port", "FILE:"});
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    std::string err;
    std::string port;  // Office's port afterwards
  } cases[] = {
      {"to a port there is", {"printer", "set", "Office", "--port", "Archive"}, 0, "", "Archive"},
      {"to no port", {"printer", "set", "Office", "--port", "Nowhere"}, 1, "there is no port \"Nowhere\" in " + prefix.Dir(), "Archive"},
      {"to a port made later", {"printer", "set", "Office", "--port", "Later", "--force"}, 0, "", "Later"},
      {"no such printer", {"printer", "set", "Ofice", "--port", "FILE:"}, 1, "printer \"Ofice\" does not exist in " + prefix.Dir(), "Later"},
      {"no port given", {"printer", "set", "Office"}, 2, "printer set needs --port PORT", "Later"},
      {"back to FILE:", {"printer", "set", "Office", "--port", "FILE:"}, 0, "", "FILE:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CliResult result = RunQuorvane(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    EXPECT_NE(Printers().find("Office  " + c.port), std::string::npos) << Printers();
  }
}

}  // namespace
}  // namespace qv::testing
