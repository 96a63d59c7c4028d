// quorvane port add and port configure: the port dialogs played from options, with the
// dialogs' own checks, and the ports they make used by a real job.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

using qv::testing::CliResult;
using qv::testing::RunQuorvane;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PortDialogCommandTest : public ::testing::Test {
 protected:
  PortDialogCommandTest() {
    Succeeds({"install"});
    Succeeds({"printer", "add", "Office", "--port", "FILE:"});
  }

  static void Succeeds(const std::vector<std::string>& args) {
    const CliResult result = RunQuorvane(args);
    ASSERT_EQ(result.exitCode, 0) << args[0] << ": " << result.err;
  }

  qv::testing::TempPrefix prefix_;
};

TEST_F(PortDialogCommandTest, AddShowConfigureAndPrint) {
  const CliResult added = RunQuorvane({"port", "add", "Demo", "--write-file", "C:\\Jobs\\?DN?.prn", "--reprint", "Office"});
  ASSERT_EQ(added.exitCode, 0) << added.err;
  EXPECT_EQ(added.err, "");
  EXPECT_EQ(RunQuorvane({"port", "show", "Demo"}).out, "WriteFile: C:\\Jobs\\?DN?.prn\nReprint: Office\n");

  const CliResult duplicate = RunQuorvane({"port", "add", "DEMO", "--reprint", "Office"});
  EXPECT_EQ(duplicate.exitCode, 1);
  EXPECT_EQ(duplicate.err, "quorvane: Duplicate port name, each port must have a unique name\n");
  EXPECT_EQ(RunQuorvane({"port", "show", "Demo"}).out, "WriteFile: C:\\Jobs\\?DN?.prn\nReprint: Office\n");

  Succeeds({"port", "configure", "Demo", "--move-down", "1"});
  EXPECT_EQ(RunQuorvane({"port", "show", "Demo"}).out, "Reprint: Office\nWriteFile: C:\\Jobs\\?DN?.prn\n");

  Succeeds({"printer", "add", "Redirected", "--port", "Demo"});
  const std::string input = prefix_.Path("input.txt");
  std::ofstream(input) << "page one\n";
  Succeeds({"print", "--printer", "Redirected", "--title", "report", input});
  EXPECT_EQ(Slurp(prefix_.Path("drive_c/Jobs/report.prn")), "page one\n");
}

struct RefusalRow {
  const char* row;
  std::vector<std::string> args;
  std::string err;
  int exitCode;
};

TEST_F(PortDialogCommandTest, RefusedInputSaysWhyAndStoresNothing) {
  Succeeds({"port", "add", "Kept", "--reprint", "Office", "--write-file", "C:\\a.prn"});
  const RefusalRow rows[] = {
      {"backslash in the name", {"port", "add", "A\\B", "--reprint", "Office"},
       "quorvane: You can not use the \\ character in a port name\n", 1},
      {"name too long", {"port", "add", std::string(251, 'n'), "--reprint", "Office"},
       "quorvane: The maximum size of a port name is 250 characters\n", 1},
      {"duplicate in other letter case", {"port", "add", "kept", "--reprint", "Office"},
       "quorvane: Duplicate port name, each port must have a unique name\n", 1},
      {"network printer", {"port", "add", "Net", "--reprint", "\\\\server\\queue"},
       "quorvane: The LocalSystem account does not have permission to access network printers, use a local printer "
       "instead\n",
       1},
      {"every action removed", {"port", "configure", "Kept", "--clear"},
       "quorvane: You must have at least one action defined before adding a port\n", 1},
      {"no such action", {"port", "configure", "Kept", "--delete", "3"},
       "quorvane: --delete 3: the port has 2 actions at that point\n", 1},
      {"no such port", {"port", "configure", "Missing", "--reprint", "Office"},
       "quorvane: no port named \"Missing\" in " + prefix_.Dir() + "\n", 1},
  };
  for (const RefusalRow& row : rows) {
    SCOPED_TRACE(row.row);
    const CliResult result = RunQuorvane(row.args);
    EXPECT_EQ(result.exitCode, row.exitCode);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(RunQuorvane({"port", "show", "Kept"}).out, "Reprint: Office\nWriteFile: C:\\a.prn\n");
  }
  EXPECT_EQ(RunQuorvane({"ports"}).out.find("Net"), std::string::npos);
  EXPECT_EQ(RunQuorvane({"ports"}).out.find("A\\B"), std::string::npos);
}

TEST_F(PortDialogCommandTest, UnknownPrintersAndFieldCodesAreStoredWithAWarning) {
  const CliResult result =
      RunQuorvane({"port", "add", "Warned", "--reprint", "nowhere", "--reprint", "office", "--write-file",
                   "C:\\?dn?\\?XY?-?DN?.prn", "--reprint", "?PN?-copy"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("warning: there is no printer \"nowhere\""), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("\"office\""), std::string::npos) << result.err;  // printers compare without case
  EXPECT_NE(result.err.find("\"?dn?\" in"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("\"?XY?\" in"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("?PN?-copy"), std::string::npos) << result.err;  // a name made by codes
  EXPECT_EQ(RunQuorvane({"port", "show", "Warned"}).out,
            "Reprint: nowhere\nReprint: office\nWriteFile: C:\\?dn?\\?XY?-?DN?.prn\nReprint: ?PN?-copy\n");
}

TEST_F(PortDialogCommandTest, ConfigureAppliesItsOptionsInOrder) {
  Succeeds({"port", "add", "Edited", "--reprint", "A", "--reprint", "B", "--reprint", "C"});
  Succeeds({"port", "configure", "Edited", "--delete", "2", "--write-file", "C:\\x.prn", "--move-up", "3"});
  EXPECT_EQ(RunQuorvane({"port", "show", "Edited"}).out, "Reprint: A\nWriteFile: C:\\x.prn\nReprint: C\n");
  Succeeds({"port", "configure", "Edited", "--clear", "--reprint", "Office"});
  EXPECT_EQ(RunQuorvane({"port", "show", "Edited"}).out, "Reprint: Office\n");
}

TEST_F(PortDialogCommandTest, WithoutOptionsOrDisplayItSaysWhatToPass) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  const CliResult add = RunQuorvane({"port", "add", "Demo"});
  const CliResult configure = RunQuorvane({"port", "configure", "Demo"});
  if (display) setenv("DISPLAY", saved.c_str(), 1);
  EXPECT_EQ(add.exitCode, 2);
  EXPECT_NE(add.err.find("no display"), std::string::npos) << add.err;
  EXPECT_NE(add.err.find("--write-file"), std::string::npos) << add.err;
  EXPECT_EQ(configure.exitCode, 2);
  EXPECT_EQ(RunQuorvane({"port", "show", "Demo"}).exitCode, 1);
}

TEST_F(PortDialogCommandTest, HelpListsTheFieldCodesAndAnExample) {
  const CliResult help = RunQuorvane({"port", "--help"});
  ASSERT_EQ(help.exitCode, 0);
  for (const char* line : {"  ?ID?  Job Identifier\n", "  ?DN?  Document Name\n", "  ?WD?  Date - Weekday\n",
                           "quorvane port add Demo --write-file"})
    EXPECT_NE(help.out.find(line), std::string::npos) << line;
  const CliResult bad = RunQuorvane({"port", "add", "X", "--bogus"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("unknown option \"--bogus\""), std::string::npos) << bad.err;
}

}  // namespace
