// quorvane port show and port check: the script as stored, and a warning for everything in it
// that will silently not run.
#include "CliRunner.h"

#include <TempPrefix.h>
#include <gtest/gtest.h>

namespace qv::testing {
namespace {

const std::string kMonitorKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvane";

class PortCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Ok({"install"});
    Ok({"printer", "add", "Office", "--port", "FILE:"});
  }
  static void Ok(const std::vector<std::string>& args) {
    CliResult result = RunQuorvane(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }
  static void SetScript(const std::string& port, const std::string& script) {
    Ok({"reg", "add", kMonitorKey + "\\" + port, "/v", "Script", "/d", script, "/f"});
  }
  TempPrefix prefix;
};

TEST_F(PortCheckTest, EachThingThatWillNotRunIsWarnedAbout) {
  struct Case {
    const char* what;
    std::string script;
    std::string warning;  // "" : none
  } cases[] = {
      {"a sound script", "WriteFile: C:\\Jobs\\?YE?\\?DN?.prn\r\nReprint: Office\r\nReprint: Copy-?UN?", ""},
      {"a script ending in CR LF", "WriteFile: C:\\a.prn\r\n", ""},
      {"an absolute host path", "WriteFile: /srv/jobs/?ID?.prn", ""},
      {"an unknown action", "WriteFile: C:\\a.prn\r\nCopy: C:\\b.prn\r\nWriteFile: C:\\c.prn",
       "line 2 (\"Copy: C:\\b.prn\") names no action: loading stops there, so it and every line after it never run"},
      {"a lower-case prefix", "writefile: C:\\a.prn",
       "line 1 (\"writefile: C:\\a.prn\") names no action (the names are case-sensitive: \"WriteFile: \" and "
       "\"Reprint: \"): loading stops there, so it and every line after it never run"},
      {"an empty line in between", "WriteFile: C:\\a.prn\r\n\r\nReprint: Office",
       "line 2 (\"\") is empty: loading stops there, so it and every line after it never run"},
      {"a lone LF", "WriteFile: C:\\a.prn\nReprint: Office",
       "line 1 holds a line break that is not CR LF: what follows it is part of the same action"},
      {"a literal \\r\\n", "WriteFile: C:\\a.prn\\r\\nReprint: Office",
       "line 1 holds the characters \\r\\n or \\n: lines are separated by a real CR LF"},
      {"an unknown field code", "WriteFile: C:\\?DATE?\\?XY?.prn",
       "line 1 holds ?XY?, which is no field code: it stays in the text as it is"},
      {"a missing printer", "Reprint: Ofice", "line 1 prints on \"Ofice\", a printer the print system does not have"},
      {"a relative template", "WriteFile: Jobs\\a.prn",
       "line 1 has a template with no drive (C:\\...) or absolute path: nothing is written"},
      {"an unmapped drive", "WriteFile: Q:\\a.prn", "line 1 writes to drive Q:, which is not mapped (\"quorvane drive\")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetScript("Archive", c.script);
    const std::string warned =
        c.warning.empty() ? "" : "quorvane: warning: port \"Archive\": " + c.warning + "\n";
    CliResult shown = RunQuorvane({"port", "show", "Archive"});
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.err, warned);
    CliResult checked = RunQuorvane({"port", "check", "Archive"});
    EXPECT_EQ(checked.exitCode, c.warning.empty() ? 0 : 1);
    EXPECT_EQ(checked.err, warned);
    EXPECT_EQ(checked.out, c.warning.empty() ? "port \"Archive\": ok\n" : "");
  }
}

TEST_F(PortCheckTest, CheckingEveryPortExitsOneWhenAnyWouldLoseJobs) {
  SetScript("Good", "WriteFile: C:\\a.prn");
  Ok({"reg", "add", kMonitorKey + "\\NoScript", "/f"});
  CliResult all = RunQuorvane({"port", "check"});
  EXPECT_EQ(all.exitCode, 1);
  EXPECT_EQ(all.out, "port \"Good\": ok\n");
  EXPECT_EQ(all.err, "quorvane: warning: port \"NoScript\": the port has no \"Script\" value: its jobs run no action\n");
  CliResult unknown = RunQuorvane({"port", "check", "Nope"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.err, "quorvane: no port named \"Nope\" in " + prefix.Dir() + "\n");
  Ok({"reg", "delete", kMonitorKey + "\\NoScript", "/f"});
  Ok({"port", "check"});
}

}  // namespace
}  // namespace qv::testing
